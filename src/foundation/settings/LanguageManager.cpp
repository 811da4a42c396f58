#include "foundation/settings/LanguageManager.h"

#include "foundation/concurrency/NotificationCenter.h"
#include "foundation/concurrency/NotificationNames.h"

LanguageManager& LanguageManager::shared() {
    static LanguageManager instance;
    return instance;
}

LanguageManager::LanguageManager(QObject* parent) : QObject(parent) {}

void LanguageManager::setLanguage(Language language) {
    Q_EMIT currentLanguageWillChange();
    m_currentLanguage = language;
    NotificationCenter::defaultCenter().post(NotificationNames::languageDidChange);
    m_bundle = &TextBundle::main();
}

QString LanguageManager::rawValue(Language language) {
    switch (language) {
        case Language::simplifiedChinese:
            break;
    }
    return QStringLiteral("zh");
}

std::optional<LanguageManager::Language> LanguageManager::languageFromRawValue(
    const QString& text) {
    if (text == QLatin1String("zh")) {
        return Language::simplifiedChinese;
    }
    return std::nullopt;
}
