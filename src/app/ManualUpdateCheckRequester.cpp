#include "app/ManualUpdateCheckRequester.h"

#include "api/KXNetworkManager.h"
#include "api/VersionResponse.h"
#include "api/XDYGlobalAPI.h"
#include "update/ClientUpdateCheck.h"

namespace {

const ClientUpdateCheck& defaultCheck() {
    static const ClientUpdateCheck check;
    return check;
}

}  // namespace

ManualUpdateCheckRequester::ManualUpdateCheckRequester()
    : ManualUpdateCheckRequester(KXNetworkManager::shared(), defaultCheck()) {}

ManualUpdateCheckRequester::ManualUpdateCheckRequester(KXNetworkManager& network,
                                                       const ClientUpdateCheck& check)
    : m_network(network), m_check(&check) {}

ManualUpdateCheckRequester::~ManualUpdateCheckRequester() {
    if (ClientUpdateRequester::installed() == this) {
        ClientUpdateRequester::install(nullptr);
    }
}

void ManualUpdateCheckRequester::requestManualUpdateCheck() {
    const ClientUpdateCheck* check = m_check;
    m_network.request<VersionResponse>(
        XDYGlobalAPI::versionJson(), std::nullopt,
        [check](const Result<VersionResponse, NetworkError>& result) {
            check->handleClientVersionResult(result);
        });
}
