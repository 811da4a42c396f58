#pragma once

#include "foundation/json/Result.h"

#include <QJsonObject>
#include <QString>

#include <optional>

// A social account linked to the signed-in user.
struct KXDomesticUserThirdAccount {
    enum class KXDomesticUserThirdAccountType { WX, QQ };

    // Exactly "WX" or "QQ" (case-sensitive), else nothing.
    static std::optional<KXDomesticUserThirdAccountType> typeFromRaw(const QString& raw);
    static QString rawValue(KXDomesticUserThirdAccountType type);

    std::optional<KXDomesticUserThirdAccountType> thirdAccountType;
    std::optional<QString> thirdAccountNickName;
    std::optional<QString> thirdAccountPortrait;

    static Result<KXDomesticUserThirdAccount> fromJson(const QJsonValue& json,
                                                       const QString& codingPath = {});
    QJsonObject toJson() const;

    bool operator==(const KXDomesticUserThirdAccount&) const = default;
};
