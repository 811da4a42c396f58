#pragma once

#include <QHash>
#include <QString>

// Interface texts by key. The client's native texts are written in Simplified Chinese and use
// the text itself as the key, so a key without a translation looks up as the given default.
class TextBundle {
public:
    TextBundle() = default;
    explicit TextBundle(QHash<QString, QString> translations);

    static const TextBundle& main();

    QString localizedString(const QString& key, const QString& defaultValue = {}) const;

private:
    QHash<QString, QString> m_translations;
};
