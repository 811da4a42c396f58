#pragma once

// The page's "start-update" and "download-update": ask the service for its version record and
// hand the answer to the client-update check in its manual form, which tells the user also when
// there is nothing to update or the request failed. The self-update module sits beside this
// library, so the application installs the requester at start-up; until then the request is
// dropped. Called on the GUI thread.
class ClientUpdateRequester {
public:
    virtual ~ClientUpdateRequester() = default;

    virtual void requestManualUpdateCheck() = 0;

    // The installed requester, or nullptr. The caller keeps ownership and uninstalls before it
    // dies.
    static ClientUpdateRequester* installed() { return current(); }
    static void install(ClientUpdateRequester* requester) { current() = requester; }

private:
    static ClientUpdateRequester*& current() {
        static ClientUpdateRequester* requester = nullptr;
        return requester;
    }
};
