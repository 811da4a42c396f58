#include "session/StoredUserIdentityProvider.h"

#include "api/CDYUserTool.h"

StoredUserIdentityProvider::StoredUserIdentityProvider()
    : StoredUserIdentityProvider(CDYUserTool::shared()) {}

StoredUserIdentityProvider::StoredUserIdentityProvider(const CDYUserTool& users) : m_users(users) {}

QString StoredUserIdentityProvider::userID() const {
    return m_users.currentUserID();
}

QString StoredUserIdentityProvider::userToken() const {
    return m_users.currentUserSign();
}
