#pragma once

#include "api/KXDomesticUser.h"
#include "api/UserCredentials.h"

#include <QString>

#include <functional>
#include <optional>

class NotificationCenter;
class SecureStorageManager;

// Keeps the signed-in user's record in one encrypted file and announces each change: "user_login"
// after a save, "user_logout" after the file is deleted. Nothing is held in memory; every reader
// loads the file again, and a file that cannot be read counts as nobody signed in.
class CDYUserTool {
public:
    using ConsoleSink = std::function<void(const QString& line)>;

    static CDYUserTool& shared();

    // The shared encrypted store and the default notification centre.
    CDYUserTool();
    CDYUserTool(const SecureStorageManager& storageManager, NotificationCenter& notificationCenter,
                ConsoleSink console = {});

    const QString userDataFile = QStringLiteral("user_data.encrypted");

    bool saveUserData(const KXDomesticUser& user);
    bool logout();

    std::optional<KXDomesticUser> loadUser() const;
    // The record's sign, or empty without a record or a sign.
    QString currentUserSign() const;
    // The record's uid, or empty without a record.
    QString currentUserID() const;
    // What the API sends for the signed-in user, read from one load of the record.
    UserCredentials currentCredentials() const;

private:
    const SecureStorageManager& m_storageManager;
    NotificationCenter& m_notificationCenter;
    ConsoleSink m_console;
};
