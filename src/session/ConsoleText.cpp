#include "session/ConsoleText.h"

#include <QDebug>
#include <QStringList>

namespace ConsoleText {

void print(const QString& line) {
    qInfo().noquote() << line;
}

QString describe(const QVariantMap& dictionary) {
    if (dictionary.isEmpty()) {
        return QStringLiteral("[:]");
    }
    QStringList entries;
    for (auto it = dictionary.cbegin(); it != dictionary.cend(); ++it) {
        entries << describe(QVariant(it.key())) + QStringLiteral(": ") + describe(it.value());
    }
    return QLatin1Char('[') + entries.join(QStringLiteral(", ")) + QLatin1Char(']');
}

QString describe(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::QString:
            return QLatin1Char('"') + value.toString() + QLatin1Char('"');
        case QMetaType::Bool:
            return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
        case QMetaType::QVariantMap:
            return describe(value.toMap());
        case QMetaType::QVariantList:
        case QMetaType::QStringList: {
            QStringList items;
            for (const QVariant& item : value.toList()) {
                items << describe(item);
            }
            return QLatin1Char('[') + items.join(QStringLiteral(", ")) + QLatin1Char(']');
        }
        case QMetaType::UnknownType:
            return QStringLiteral("nil");
        default:
            return value.toString();
    }
}

QString describe(const Error& error) {
    return QStringLiteral("Error Domain=%1 Code=%2 \"%3\"")
        .arg(error.domain)
        .arg(error.code)
        .arg(error.message);
}

}  // namespace ConsoleText
