#pragma once

#include "web/Web2NativeMessageHandler.h"

#include <QString>

#include <optional>

class CloudPhoneCommunicator;
class Native2WebMessageSender;

// The page's "batch-request-install": each item installs an application file on one device
// (type 1) or only transfers the file there (any other type). Every item with all its fields
// gets one "batch-response-install", code 0 on success and -1 with the error's text on failure.
class InstallMessageHandler : public Web2NativeMessageHandler {
public:
    struct Environment {
        CloudPhoneCommunicator* communicator = nullptr;
        Native2WebMessageSender* sender = nullptr;

        static Environment shared();
    };

    explicit InstallMessageHandler(Environment environment = Environment::shared());

    void handle(const Web2NativeMessage& message) override;

    void batchInstall(const Web2NativeMessage& message);
    // "batch-response-install" for one item; `failure` is the error's text.
    static void sendInstallResponse(Native2WebMessageSender& sender,
                                    const std::optional<QString>& failure, const QString& requestId,
                                    const QString& deviceId, const QString& url);

private:
    Environment m_environment;
};
