#include "foundation/logging/LogRedaction.h"

#include "foundation/logging/HiddenKeyNames.h"
#include "foundation/logging/LogLineMasker.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QTextBoundaryFinder>

#include <algorithm>

bool LogRedaction::isCredentialKey(QStringView key) {
    return (HiddenKeyNames::kindsOf(key) & HiddenKeyNames::credential) != 0;
}

bool LogRedaction::isPersonalKey(QStringView key) {
    return (HiddenKeyNames::kindsOf(key) & HiddenKeyNames::personal) != 0;
}

bool LogRedaction::isHiddenKey(QStringView key) {
    return (HiddenKeyNames::kindsOf(key) &
            (HiddenKeyNames::credential | HiddenKeyNames::personal)) != 0;
}

bool LogRedaction::isWholeLineKey(QStringView key) {
    return (HiddenKeyNames::kindsOf(key) & HiddenKeyNames::wholeLine) != 0;
}

QString LogRedaction::maskedLine(const QString& line) {
    return LogLineMasker(line).masked();
}

QJsonValue LogRedaction::hiddenValue(const QJsonValue& value) {
    switch (value.type()) {
        case QJsonValue::String:
        case QJsonValue::Double:
            return mask();
        case QJsonValue::Array: {
            QJsonArray items;
            for (const QJsonValue& item : value.toArray()) {
                items.append(hiddenValue(item));
            }
            return items;
        }
        case QJsonValue::Object: {
            QJsonObject object = value.toObject();
            for (auto it = object.begin(); it != object.end(); ++it) {
                it.value() = hiddenValue(it.value());
            }
            return object;
        }
        case QJsonValue::Null:
        case QJsonValue::Bool:
        case QJsonValue::Undefined:
            break;
    }
    return value;
}

QJsonValue LogRedaction::maskedField(QStringView key, const QJsonValue& value) {
    return isHiddenKey(key) ? hiddenValue(value) : value;
}

QString LogRedaction::textLength(QStringView text) {
    qsizetype characters = 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.data(), text.size());
    while (finder.toNextBoundary() > 0) {
        ++characters;
    }
    return QStringLiteral("<%1 chars>").arg(characters);
}

bool LogRedaction::isTypedText(QStringView characters) {
    return !characters.isEmpty() && std::ranges::none_of(characters, [](QChar character) {
        return character.category() == QChar::Other_Control;
    });
}
