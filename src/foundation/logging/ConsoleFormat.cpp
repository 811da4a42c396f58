#include "foundation/logging/ConsoleFormat.h"

#include "foundation/logging/ConsoleOutput.h"

#include <QLocale>
#include <QStringList>

#include <cmath>

namespace ConsoleFormat {

void print(const QString& line) {
    ConsoleOutput::print(line);
}

QString number(double value) {
    if (std::isnan(value)) {
        return QStringLiteral("nan");
    }
    if (std::isinf(value)) {
        return value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");
    }
    QString text = QString::number(value, 'g', QLocale::FloatingPointShortest);
    if (!text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('e'))) {
        text += QStringLiteral(".0");
    }
    if (value == 0 && std::signbit(value) && !text.startsWith(QLatin1Char('-'))) {
        text.prepend(QLatin1Char('-'));
    }
    return text;
}

QString boolean(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

QString point(const QPointF& point) {
    return QStringLiteral("(%1, %2)").arg(number(point.x()), number(point.y()));
}

QString size(const QSizeF& size) {
    return QStringLiteral("(%1, %2)").arg(number(size.width()), number(size.height()));
}

QString rect(const QRectF& rect) {
    return QStringLiteral("(%1, %2)").arg(point(rect.topLeft()), size(rect.size()));
}

QString transform(const QTransform& transform) {
    return QStringLiteral("[%1, %2, %3, %4, %5, %6]")
        .arg(number(transform.m11()), number(transform.m12()), number(transform.m21()),
             number(transform.m22()), number(transform.dx()), number(transform.dy()));
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
            return boolean(value.toBool());
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

}  // namespace ConsoleFormat
