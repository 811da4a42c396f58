#pragma once

#include "api/KXDomesticUserThirdAccount.h"

#include <QList>

// The signed-in user's account record as the page hands it over and the user store keeps it.
// Only `sign` is ever rewritten; `uid` and `token` are fixed once decoded.
class KXDomesticUser {
public:
    // Which social accounts are linked; coded as its integer.
    enum class ThirdBindType : int { none = 0, wx = 1, qq = 2, wxqq = 3 };
    // Exactly 0 to 3, else nothing.
    static std::optional<ThirdBindType> thirdBindTypeFromRaw(const qint64& raw);

    // Only decoding makes records in the running client; this is for callers that build one.
    KXDomesticUser(QString uid, QString token);

    const QString& uid() const { return m_uid; }
    const QString& token() const { return m_token; }

    std::optional<QString> sign;
    std::optional<QString> username;
    std::optional<QString> nickname;
    std::optional<QString> portraiturl;
    std::optional<qint64> isbindphone;
    std::optional<qint64> isadult;
    std::optional<QString> phone;
    std::optional<qint64> firstlogin;
    std::optional<qint64> isreg;
    std::optional<QString> realname;
    std::optional<QString> cardID;
    std::optional<ThirdBindType> isbindwxqq;
    std::optional<qint64> kxOrbVerify;
    QList<KXDomesticUserThirdAccount> thirdAccountList;
    std::optional<bool> unsetPassword;
    std::optional<QString> createTime;

    static Result<KXDomesticUser> fromJson(const QJsonValue& json, const QString& codingPath = {});
    QJsonObject toJson() const;

    bool operator==(const KXDomesticUser&) const = default;

private:
    QString m_uid;
    QString m_token;
};
