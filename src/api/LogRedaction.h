#pragma once

#include <QJsonValue>
#include <QString>
#include <QStringView>

// What console and log lines may show (logs are uploaded and readable by others); every line
// that carries values from the page, the service, settings or the user's typing goes through
// here. A value is hidden as "***" when its key names a credential (token, sign, password,
// secret, ak, sk, security token, access or secret key, auth params and the like) or a personal
// field (phone, real name, ID-card number), in any case and with "_", "-" or "." anywhere. Text
// the user types, pastes or copies is shown by its length only.
class LogRedaction {
public:
    static constexpr QStringView kMask = u"***";

    static bool isCredentialKey(QStringView key);
    static bool isPersonalKey(QStringView key);
    // A credential or a personal field: the keys whose values lines hide.
    static bool isHiddenKey(QStringView key);

    // JSON text with the string and number values of hidden keys replaced by "***", at any
    // depth and inside arrays and objects held by such a key. Everything else stays byte for byte,
    // so the body keeps its shape; text that is not JSON is scanned the same way and never
    // rejected.
    static QString maskedJson(const QString& text);

    // The same rule over a parsed value: the string and number values of hidden keys become
    // "***" at any depth, a text holding JSON is masked as `maskedJson` masks it, and an object
    // {"key": <a hidden key>, "value": ...} (a setting as the page sends it) hides its value.
    // `wholly`: the value is itself a secret, so every string and number in it is hidden.
    static QJsonValue maskedValue(const QJsonValue& value, bool wholly = false);
    // The value of the field or setting `key`: wholly hidden when the key is hidden, otherwise
    // masked inside as `maskedValue` masks it.
    static QJsonValue maskedField(QStringView key, const QJsonValue& value);

    // "key=value" pairs after "?" or "&" (URLs, query strings, error texts) with the values of
    // hidden keys replaced by "***".
    static QString maskedQuery(const QString& text);

    // Text the user typed, pasted or copied as lines show it: "<12 chars>", counted in
    // characters as the user sees them.
    static QString textLength(QStringView text);
    // Whether a key's characters are text it types (something printable, not a control such as
    // Return, Tab or Escape, and not empty as an arrow's or a modifier's are).
    static bool isTypedText(QStringView characters);
};
