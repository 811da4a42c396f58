#pragma once

#include "foundation/logging/HiddenKeyNames.h"
#include "foundation/logging/LogText.h"

#include <QJsonValue>
#include <QString>
#include <QStringView>

// What console and log lines may show: hidden keys' values read "***", typed text its length. Every
// line takes `shownLine` where it is written; writers that know more mask that part before.
class LogRedaction {
public:
    static constexpr QStringView kMask = LogText::kMask;
    // "***" as a QString without an allocation.
    static QString mask() { return QStringLiteral("***"); }

    static bool isCredentialKey(QStringView key) {
        return (HiddenKeyNames::kindsOf(key) & HiddenKeyNames::credential) != 0;
    }
    // A credential or a personal field: the keys whose values lines hide. The key may be written
    // with JSON (\u0074oken) or URL (%74oken) escapes.
    static bool isHiddenKey(QStringView key) { return HiddenKeyNames::isHidden(key); }

    // The last pass: hidden keys' values read "***" in any shape and encoding. A line with nothing
    // to hide comes back as the same string. Its cost grows with the line's length alone.
    static QString maskedLine(const QString& line);
    // The text as one line that sends a terminal nothing: its control characters, Unicode's line
    // separators and controls of direction escaped ("\n", "\x1b", "\u2028", "\u202e").
    static QString singleLine(const QString& text);
    // What a sink writes of a line: masked, then one line.
    static QString shownLine(const QString& line) { return singleLine(maskedLine(line)); }

    // Every string and number in the value read "***"; flags, nulls and the shape stay.
    static QJsonValue hiddenValue(const QJsonValue& value);
    // The value of the field or setting `key`: wholly hidden when the key is hidden.
    static QJsonValue maskedField(QStringView key, const QJsonValue& value);

    // Text the user typed, pasted or copied as lines show it: "<12 chars>", as the user counts.
    static QString textLength(QStringView text);
    // Whether a key's characters are text it types: printable, not Return, Tab or an arrow's.
    static bool isTypedText(QStringView characters);
};
