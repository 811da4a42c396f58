#pragma once

#include "web/ClientUpdateRequester.h"

class ClientUpdateCheck;
class KXNetworkManager;

// Sends the version-record request and hands its result to the client-update check in its
// manual form (alerts also for "no update" and for a failed request).
class ManualUpdateCheckRequester : public ClientUpdateRequester {
public:
    // The shared API client; the check's defaults (the running version, the update manager).
    ManualUpdateCheckRequester();
    ManualUpdateCheckRequester(KXNetworkManager& network, const ClientUpdateCheck& check);
    ~ManualUpdateCheckRequester() override;

    void requestManualUpdateCheck() override;

private:
    KXNetworkManager& m_network;
    const ClientUpdateCheck* m_check = nullptr;
};
