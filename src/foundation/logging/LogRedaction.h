#pragma once

#include "foundation/logging/LogText.h"

#include <QJsonValue>
#include <QString>
#include <QStringView>

// What console and log lines may show (logs are uploaded and readable by others). A value is
// hidden as "***" when its key names a credential (token, sign, password, secret, ak, sk,
// security token, access or secret key, auth params, the object store's signature parts and the
// like) or a personal field (phone, real name, ID-card number), in any case and with "_", "-" or
// "." anywhere. Text the user types, pastes or copies is shown by its length only.
//
// Every line takes `shownLine` as its last pass where it is written (the console, the log and
// its file, the page's log file), so a line needs nothing from its writer to be masked or kept to
// one line. Writers that know more than the text shows (a setting's key, typed text, a protected
// value) mask that part themselves before.
class LogRedaction {
public:
    static constexpr QStringView kMask = LogText::kMask;
    // "***" as a QString without an allocation.
    static QString mask() { return QStringLiteral("***"); }

    static bool isCredentialKey(QStringView key);
    static bool isPersonalKey(QStringView key);
    // A credential or a personal field: the keys whose values lines hide. The key may be written
    // with JSON (\u0074oken) or URL (%74oken) escapes.
    static bool isHiddenKey(QStringView key);
    // A header whose value runs to the end of its line ("Authorization: Bearer …", cookies).
    static bool isWholeLineKey(QStringView key);

    // The last pass: the values of hidden keys in the line read "***", wherever they stand: JSON
    // at any depth, JSON text inside JSON text to any depth, key=value pairs (queries, fragments,
    // form bodies), quoted, single-quoted and unquoted malformed bodies, headers ("name: value"),
    // XML elements, the value of a setting {"key": <a hidden key>, "value": …} or of a list's
    // entry {"name": <a hidden key>, "value": …}, and each of these written with URL escapes
    // once or twice ("%3D", "%26", "%22", "%253D"). A number written in groups is hidden
    // whole ("phone: 138 0000 0000"). The line
    // keeps its prefix and shape. A line with no hidden key name comes back as the same string,
    // found in one scan and not copied. Its cost grows with the line's length alone.
    static QString maskedLine(const QString& line);
    // The text as one line that sends a terminal nothing: control characters (C0 but the tab, DEL
    // and C1) are shown escaped, "\n", "\r" and "\x1b" for instance, and so are Unicode's line
    // and paragraph separators and its marks of direction ("\u2028", "\u202e"). Without any, the
    // same string.
    static QString singleLine(const QString& text);
    // What a sink writes of a line: masked, then one line.
    static QString shownLine(const QString& line) { return singleLine(maskedLine(line)); }

    // Every string and number in the value read "***"; flags, nulls and the shape stay.
    static QJsonValue hiddenValue(const QJsonValue& value);
    // The value of the field or setting `key`: wholly hidden when the key is hidden, otherwise
    // unchanged (the last pass looks inside it).
    static QJsonValue maskedField(QStringView key, const QJsonValue& value);

    // Text the user typed, pasted or copied as lines show it: "<12 chars>", counted in
    // characters as the user sees them.
    static QString textLength(QStringView text);
    // Whether a key's characters are text it types (something printable, not a control such as
    // Return, Tab or Escape, and not empty as an arrow's or a modifier's are).
    static bool isTypedText(QStringView characters);
};
