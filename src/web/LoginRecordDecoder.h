#pragma once

#include "api/KXDomesticUser.h"

#include <QJsonValue>
#include <QString>

#include <optional>

// Reads the page's login value into the signed-in user record, forgiving what the page gets
// wrong: a missing, null or mistyped entry takes its default (empty text, absent, empty list),
// numbers stand for texts and numeric texts for numbers. Only a value that is no JSON object at
// all is refused.
class LoginRecordDecoder {
public:
    static std::optional<KXDomesticUser> decode(const QString& jsonText);
    static std::optional<KXDomesticUser> decode(const QJsonValue& json);

    static std::optional<QString> text(const QJsonValue& value);
    static std::optional<qint64> integer(const QJsonValue& value);
    static std::optional<bool> boolean(const QJsonValue& value);
};
