#include "foundation/storage/FileNameSanitizer.h"

namespace {

bool isLineBreak(char16_t unit) {
    return (unit >= 0x000A && unit <= 0x000D) || unit == 0x0085 || unit == 0x2028 || unit == 0x2029;
}

// Judged per UTF-16 unit: a character outside the basic plane is never replaced, as surrogate
// halves are neither control nor format characters.
bool isSeparator(QChar character) {
    const char16_t unit = character.unicode();
    if (unit == u'/' || unit == u'\\' || unit == u':' || isLineBreak(unit)) {
        return true;
    }
    const QChar::Category category = character.category();
    return category == QChar::Other_Control || category == QChar::Other_Format;
}

}  // namespace

QString sanitizedFileName(const QString& name) {
    QString result = name;
    for (QChar& character : result) {
        if (isSeparator(character)) {
            character = QLatin1Char('_');
        }
    }
    return result;
}
