#include "session/CloudPhoneEventDelegate.h"

#include "foundation/MainQueue.h"
#include "sdk/KXDevice.h"
#include "sdk/KXErrorCode.h"
#include "session/CloudPhoneCommunicator.h"

CloudPhoneEventDelegate::CloudPhoneEventDelegate(CloudPhoneCommunicator* communicator)
    : m_communicatorRef(communicator) {}

void CloudPhoneEventDelegate::onError(const Device& device, const std::optional<Error>& error) {
    if (!error || error->code != KXErrorCode::authenticationFailed) {
        return;
    }
    const QString deviceID = device ? device->config().deviceID() : QString();
    MainQueue::async([self = shared_from_this(), deviceID, device] {
        if (self->m_communicatorRef) {
            self->m_communicatorRef->handleAuthenticationFailure(deviceID, device);
        }
    });
}
