#include "api/KXDomesticUser.h"

#include "api/KeyedEncoder.h"

std::optional<KXDomesticUser::ThirdBindType> KXDomesticUser::thirdBindTypeFromRaw(
    const qint64& raw) {
    if (raw < 0 || raw > static_cast<int>(ThirdBindType::wxqq)) {
        return std::nullopt;
    }
    return static_cast<ThirdBindType>(raw);
}

KXDomesticUser::KXDomesticUser(QString uid, QString token)
    : m_uid(std::move(uid)), m_token(std::move(token)) {}

// Coding order: "sign" comes after "isbindwxqq", not where it is declared.
Result<KXDomesticUser> KXDomesticUser::fromJson(const QJsonValue& json, const QString& codingPath) {
    KeyedDecoder decoder(json, codingPath);
    KXDomesticUser user({}, {});
    decoder.require(QStringLiteral("uid"), user.m_uid);
    decoder.require(QStringLiteral("token"), user.m_token);
    decoder.decodeIfPresent(QStringLiteral("username"), user.username);
    decoder.decodeIfPresent(QStringLiteral("nickname"), user.nickname);
    decoder.decodeIfPresent(QStringLiteral("portraiturl"), user.portraiturl);
    decoder.decodeIfPresent(QStringLiteral("isbindphone"), user.isbindphone);
    decoder.decodeIfPresent(QStringLiteral("isadult"), user.isadult);
    decoder.decodeIfPresent(QStringLiteral("phone"), user.phone);
    decoder.decodeIfPresent(QStringLiteral("firstlogin"), user.firstlogin);
    decoder.decodeIfPresent(QStringLiteral("isreg"), user.isreg);
    decoder.decodeIfPresent(QStringLiteral("realname"), user.realname);
    decoder.decodeIfPresent(QStringLiteral("cardID"), user.cardID);
    decoder.decodeIfPresent(QStringLiteral("isbindwxqq"), user.isbindwxqq, &thirdBindTypeFromRaw);
    decoder.decodeIfPresent(QStringLiteral("sign"), user.sign);
    decoder.decodeIfPresent(QStringLiteral("kxOrbVerify"), user.kxOrbVerify);
    std::optional<QList<KXDomesticUserThirdAccount>> accounts;
    decoder.decodeIfPresent(QStringLiteral("thirdAccountList"), accounts);
    user.thirdAccountList = accounts.value_or(QList<KXDomesticUserThirdAccount>{});
    decoder.decodeIfPresent(QStringLiteral("unsetPassword"), user.unsetPassword);
    decoder.decodeIfPresent(QStringLiteral("createTime"), user.createTime);
    return decoder.finish(std::move(user));
}

QJsonObject KXDomesticUser::toJson() const {
    KeyedEncoder encoder;
    encoder.encode(QStringLiteral("uid"), m_uid);
    encoder.encode(QStringLiteral("token"), m_token);
    encoder.encodeIfPresent(QStringLiteral("username"), username);
    encoder.encodeIfPresent(QStringLiteral("nickname"), nickname);
    encoder.encodeIfPresent(QStringLiteral("portraiturl"), portraiturl);
    encoder.encodeIfPresent(QStringLiteral("isbindphone"), isbindphone);
    encoder.encodeIfPresent(QStringLiteral("isadult"), isadult);
    encoder.encodeIfPresent(QStringLiteral("phone"), phone);
    encoder.encodeIfPresent(QStringLiteral("firstlogin"), firstlogin);
    encoder.encodeIfPresent(QStringLiteral("isreg"), isreg);
    encoder.encodeIfPresent(QStringLiteral("realname"), realname);
    encoder.encodeIfPresent(QStringLiteral("cardID"), cardID);
    if (isbindwxqq) {
        encoder.encode(QStringLiteral("isbindwxqq"), qint64(static_cast<int>(*isbindwxqq)));
    }
    encoder.encodeIfPresent(QStringLiteral("sign"), sign);
    encoder.encodeIfPresent(QStringLiteral("kxOrbVerify"), kxOrbVerify);
    encoder.encode(QStringLiteral("thirdAccountList"), thirdAccountList);
    encoder.encodeIfPresent(QStringLiteral("unsetPassword"), unsetPassword);
    encoder.encodeIfPresent(QStringLiteral("createTime"), createTime);
    return encoder.object();
}
