#pragma once

#include "session/UserIdentityProviding.h"

class CDYUserTool;

// The signed-in user as the user store has it on disk: the record's uid and its sign, read
// afresh on every call, both empty when nobody is signed in.
class StoredUserIdentityProvider : public UserIdentityProviding {
public:
    // The shared user store.
    StoredUserIdentityProvider();
    explicit StoredUserIdentityProvider(const CDYUserTool& users);

    QString userID() const override;
    QString userToken() const override;

private:
    const CDYUserTool& m_users;
};
