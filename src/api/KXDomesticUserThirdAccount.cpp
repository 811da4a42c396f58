#include "api/KXDomesticUserThirdAccount.h"

#include "api/KeyedEncoder.h"

using AccountType = KXDomesticUserThirdAccount::KXDomesticUserThirdAccountType;

std::optional<AccountType> KXDomesticUserThirdAccount::typeFromRaw(const QString& raw) {
    if (raw == QLatin1String("WX")) {
        return AccountType::WX;
    }
    if (raw == QLatin1String("QQ")) {
        return AccountType::QQ;
    }
    return std::nullopt;
}

QString KXDomesticUserThirdAccount::rawValue(AccountType type) {
    return type == AccountType::WX ? QStringLiteral("WX") : QStringLiteral("QQ");
}

Result<KXDomesticUserThirdAccount> KXDomesticUserThirdAccount::fromJson(const QJsonValue& json,
                                                                        const QString& codingPath) {
    KeyedDecoder decoder(json, codingPath);
    KXDomesticUserThirdAccount account;
    decoder.decodeIfPresent(QStringLiteral("thirdAccountType"), account.thirdAccountType,
                            &typeFromRaw);
    decoder.decodeIfPresent(QStringLiteral("thirdAccountNickName"), account.thirdAccountNickName);
    decoder.decodeIfPresent(QStringLiteral("thirdAccountPortrait"), account.thirdAccountPortrait);
    return decoder.finish(std::move(account));
}

QJsonObject KXDomesticUserThirdAccount::toJson() const {
    KeyedEncoder encoder;
    if (thirdAccountType) {
        encoder.encode(QStringLiteral("thirdAccountType"), rawValue(*thirdAccountType));
    }
    encoder.encodeIfPresent(QStringLiteral("thirdAccountNickName"), thirdAccountNickName);
    encoder.encodeIfPresent(QStringLiteral("thirdAccountPortrait"), thirdAccountPortrait);
    return encoder.object();
}
