#pragma once

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

    // "key=value" pairs after "?" or "&" (URLs, query strings, error texts) with the values of
    // credential keys replaced by "***".
    static QString maskedQuery(const QString& text);
};
