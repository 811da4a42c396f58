#include "web/LoginRecordDecoder.h"

#include "foundation/json/JsonReader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

std::optional<QString> LoginRecordDecoder::text(const QJsonValue& value) {
    if (value.isString()) {
        return value.toString();
    }
    if (const JsonField<qint64> number = JsonReader::asInt64(value); number.hasValue()) {
        return QString::number(number.value());
    }
    return std::nullopt;
}

std::optional<qint64> LoginRecordDecoder::integer(const QJsonValue& value) {
    if (const JsonField<qint64> number = JsonReader::asInt64(value); number.hasValue()) {
        return number.value();
    }
    if (value.isBool()) {
        return value.toBool() ? 1 : 0;
    }
    if (value.isString()) {
        bool ok = false;
        const qint64 parsed = value.toString().trimmed().toLongLong(&ok);
        if (ok) {
            return parsed;
        }
    }
    return std::nullopt;
}

std::optional<bool> LoginRecordDecoder::boolean(const QJsonValue& value) {
    if (value.isBool()) {
        return value.toBool();
    }
    if (const std::optional<qint64> number = integer(value);
        number && (*number == 0 || *number == 1)) {
        return *number == 1;
    }
    if (value.isString()) {
        const QString lowered = value.toString().trimmed().toLower();
        if (lowered == QLatin1String("true")) {
            return true;
        }
        if (lowered == QLatin1String("false")) {
            return false;
        }
    }
    return std::nullopt;
}

std::optional<KXDomesticUser> LoginRecordDecoder::decode(const QString& jsonText) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(jsonText.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    return decode(QJsonValue(document.object()));
}

std::optional<KXDomesticUser> LoginRecordDecoder::decode(const QJsonValue& json) {
    if (!json.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = json.toObject();
    const auto textAt = [&](const char* key) { return text(object.value(QLatin1String(key))); };
    const auto integerAt = [&](const char* key) {
        return integer(object.value(QLatin1String(key)));
    };

    KXDomesticUser user(textAt("uid").value_or(QString()), textAt("token").value_or(QString()));
    user.username = textAt("username");
    user.nickname = textAt("nickname");
    user.portraiturl = textAt("portraiturl");
    user.isbindphone = integerAt("isbindphone");
    user.isadult = integerAt("isadult");
    user.phone = textAt("phone");
    user.firstlogin = integerAt("firstlogin");
    user.isreg = integerAt("isreg");
    user.realname = textAt("realname");
    user.cardID = textAt("cardID");
    if (const std::optional<qint64> bind = integerAt("isbindwxqq")) {
        user.isbindwxqq = KXDomesticUser::thirdBindTypeFromRaw(*bind);
    }
    user.sign = textAt("sign");
    user.kxOrbVerify = integerAt("kxOrbVerify");
    const QJsonArray accounts = object.value(QLatin1String("thirdAccountList")).toArray();
    for (const QJsonValue& entry : accounts) {
        if (!entry.isObject()) {
            continue;
        }
        const QJsonObject fields = entry.toObject();
        KXDomesticUserThirdAccount account;
        if (const auto type = text(fields.value(QLatin1String("thirdAccountType")))) {
            account.thirdAccountType = KXDomesticUserThirdAccount::typeFromRaw(*type);
        }
        account.thirdAccountNickName = text(fields.value(QLatin1String("thirdAccountNickName")));
        account.thirdAccountPortrait = text(fields.value(QLatin1String("thirdAccountPortrait")));
        user.thirdAccountList.append(account);
    }
    user.unsetPassword = boolean(object.value(QLatin1String("unsetPassword")));
    user.createTime = textAt("createTime");
    return user;
}
