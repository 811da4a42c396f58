#pragma once

#include <QJsonValue>
#include <QString>
#include <QStringView>

// Keeps credentials out of log lines (logs are uploaded and readable by others). A value is
// hidden as "***" when its key names a credential: token, sign, password, secret, ak, sk,
// security token, access or secret key and the like, in any case and with "_" or "-" anywhere.
class LogRedaction {
public:
    static constexpr QStringView kMask = u"***";

    static bool isCredentialKey(QStringView key);

    // JSON text with the string and number values of credential keys replaced by "***", at any
    // depth and inside arrays and objects held by such a key. Everything else stays byte for byte,
    // so the body keeps its shape; text that is not JSON is scanned the same way and never
    // rejected.
    static QString maskedJson(const QString& text);

    // The same rule over a parsed value: the string and number values of credential keys become
    // "***" at any depth, a text holding JSON is masked as `maskedJson` masks it, and an object
    // {"key": <a credential key>, "value": ...} (a setting as the page sends it) hides its value.
    // `wholly`: the value is itself a credential's, so every string and number in it is hidden.
    static QJsonValue maskedValue(const QJsonValue& value, bool wholly = false);

    // "key=value" pairs after "?" or "&" (URLs, query strings, error texts) with the values of
    // credential keys replaced by "***".
    static QString maskedQuery(const QString& text);
};
