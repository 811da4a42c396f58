#include "foundation/settings/LocaleExtensions.h"

#include <QLocale>
#include <QRegularExpression>

namespace {

struct LanguageTag {
    std::optional<QString> language;
    std::optional<QString> region;
};

bool isAlpha(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
               (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
    });
}

bool isDigits(const QString& text) {
    return std::all_of(text.begin(), text.end(),
                       [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
}

// language ["-" script] ["-" region] …, with "_" accepted as a separator too.
LanguageTag parseTag(const QString& tag) {
    static const QRegularExpression separators(QStringLiteral("[-_]"));
    const QStringList subtags = tag.trimmed().split(separators);
    LanguageTag parsed;
    if (subtags.isEmpty()) {
        return parsed;
    }
    const QString& first = subtags.first();
    if (first.size() < 2 || first.size() > 3 || !isAlpha(first)) {
        return parsed;
    }
    parsed.language = first.toLower();
    int next = 1;
    if (next < subtags.size() && subtags[next].size() == 4 && isAlpha(subtags[next])) {
        ++next;  // script
    }
    if (next < subtags.size()) {
        const QString& candidate = subtags[next];
        if ((candidate.size() == 2 && isAlpha(candidate)) ||
            (candidate.size() == 3 && isDigits(candidate))) {
            parsed.region = candidate.toUpper();
        }
    }
    return parsed;
}

}  // namespace

QString preferredLanguageCode(const QStringList& preferredLanguages) {
    if (preferredLanguages.isEmpty()) {
        return QStringLiteral("en");
    }
    return parseTag(preferredLanguages.first()).language.value_or(QStringLiteral("en"));
}

std::optional<QString> preferredRegionCode(const QStringList& preferredLanguages) {
    if (preferredLanguages.isEmpty()) {
        return std::nullopt;
    }
    return parseTag(preferredLanguages.first()).region;
}

QString preferredLanguageCode() {
    return preferredLanguageCode(QLocale::system().uiLanguages());
}

std::optional<QString> preferredRegionCode() {
    return preferredRegionCode(QLocale::system().uiLanguages());
}
