#include "api/CDYUserTool.h"

#include "foundation/concurrency/NotificationCenter.h"
#include "foundation/concurrency/NotificationNames.h"
#include "foundation/logging/ConsoleOutput.h"
#include "foundation/storage/SecureStorageManager.h"

#include <cstdio>

namespace {

void writeLineToStandardOutput(const QString& line) {
    ConsoleOutput::print(line);
}

}  // namespace

CDYUserTool& CDYUserTool::shared() {
    static CDYUserTool instance;
    return instance;
}

CDYUserTool::CDYUserTool()
    : CDYUserTool(SecureStorageManager::shared(), NotificationCenter::defaultCenter()) {}

CDYUserTool::CDYUserTool(const SecureStorageManager& storageManager,
                         NotificationCenter& notificationCenter, ConsoleSink console)
    : m_storageManager(storageManager),
      m_notificationCenter(notificationCenter),
      m_console(console ? std::move(console) : ConsoleSink(writeLineToStandardOutput)) {}

bool CDYUserTool::saveUserData(const KXDomesticUser& user) {
    if (!m_storageManager.saveEncrypted(user, userDataFile)) {
        m_console(QStringLiteral("用户数据保存失败"));
        return false;
    }
    m_console(QStringLiteral("用户数据保存成功"));
    m_notificationCenter.post(NotificationNames::userLogin);
    return true;
}

bool CDYUserTool::logout() {
    if (!m_storageManager.deleteFile(userDataFile)) {
        m_console(QStringLiteral("用户登出失败"));
        return false;
    }
    m_console(QStringLiteral("用户登出成功"));
    m_notificationCenter.post(NotificationNames::userLogout);
    return true;
}

std::optional<KXDomesticUser> CDYUserTool::loadUser() const {
    return m_storageManager.loadEncrypted<KXDomesticUser>(userDataFile);
}

QString CDYUserTool::currentUserSign() const {
    const std::optional<KXDomesticUser> user = loadUser();
    return user ? user->sign.value_or(QString()) : QString();
}

QString CDYUserTool::currentUserID() const {
    const std::optional<KXDomesticUser> user = loadUser();
    return user ? user->uid() : QString();
}

UserCredentials CDYUserTool::currentCredentials() const {
    const std::optional<KXDomesticUser> user = loadUser();
    if (!user) {
        return {};
    }
    return {user->uid(), user->sign.value_or(QString())};
}
