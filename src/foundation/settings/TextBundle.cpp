#include "foundation/settings/TextBundle.h"

TextBundle::TextBundle(QHash<QString, QString> translations)
    : m_translations(std::move(translations)) {}

const TextBundle& TextBundle::main() {
    static const TextBundle bundle;
    return bundle;
}

QString TextBundle::localizedString(const QString& key, const QString& defaultValue) const {
    const auto it = m_translations.constFind(key);
    if (it != m_translations.constEnd()) {
        return it.value();
    }
    return defaultValue.isEmpty() ? key : defaultValue;
}
