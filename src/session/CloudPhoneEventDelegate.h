#pragma once

#include "sdk/KXDeviceDelegate.h"

#include <QPointer>

#include <memory>

class CloudPhoneCommunicator;

// The SDK's device delegate of every device the communicator makes. The SDK reports on its own
// threads; whatever touches the communicator is moved to the GUI thread first, in order.
class CloudPhoneEventDelegate : public KXDeviceDelegate,
                                public std::enable_shared_from_this<CloudPhoneEventDelegate> {
public:
    // Made on the GUI thread by the communicator itself.
    explicit CloudPhoneEventDelegate(CloudPhoneCommunicator* communicator);

    void onError(const Device& device, const std::optional<Error>& error) override;

private:
    // Read on the GUI thread only.
    QPointer<CloudPhoneCommunicator> m_communicatorRef;
};
