#pragma once

#include <QString>

// Who the SDK acts for: the signed-in user's id and token, both empty when nobody is signed in.
// Read on each use, so a new login is seen at once.
class UserIdentityProviding {
public:
    virtual ~UserIdentityProviding() = default;

    virtual QString userID() const = 0;
    virtual QString userToken() const = 0;
};
