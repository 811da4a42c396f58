#pragma once

#include "foundation/settings/TextBundle.h"

#include <QObject>
#include <QString>

#include <optional>

// The language of the native interface texts. Windows observe "languageDidChange" and redraw
// their labels from `bundle()`.
class LanguageManager : public QObject {
    Q_OBJECT
public:
    enum class Language {
        simplifiedChinese,
    };

    static LanguageManager& shared();

    explicit LanguageManager(QObject* parent = nullptr);

    Language currentLanguage() const { return m_currentLanguage; }
    const TextBundle& bundle() const { return *m_bundle; }

    // Announces, switches, posts "languageDidChange" (also when the language is the same).
    void setLanguage(Language language);
    void setCurrentLanguage(Language language) { setLanguage(language); }

    static QString rawValue(Language language);
    // Exactly "zh".
    static std::optional<Language> languageFromRawValue(const QString& text);

Q_SIGNALS:
    void currentLanguageWillChange();

private:
    Language m_currentLanguage = Language::simplifiedChinese;
    const TextBundle* m_bundle = &TextBundle::main();
};
