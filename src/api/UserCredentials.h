#pragma once

#include <QString>

#include <functional>

// What the API sends to name the signed-in user: the record's uid and its sign (sent as the
// "token" parameter). Both empty when nobody is signed in.
struct UserCredentials {
    QString uid;
    QString token;

    bool operator==(const UserCredentials&) const = default;
};

// Asked each time a request's parameters are built; nothing is cached.
using UserCredentialsProvider = std::function<UserCredentials()>;
