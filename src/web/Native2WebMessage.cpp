#include "web/Native2WebMessage.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>

namespace {

bool isSerialisable(const QJsonValue& value) {
    switch (value.type()) {
        case QJsonValue::Undefined:
            return false;
        case QJsonValue::Double:
            return std::isfinite(value.toDouble());
        case QJsonValue::Array: {
            const QJsonArray array = value.toArray();
            for (const QJsonValue& element : array) {
                if (!isSerialisable(element)) {
                    return false;
                }
            }
            return true;
        }
        case QJsonValue::Object: {
            const QJsonObject object = value.toObject();
            for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
                if (!isSerialisable(it.value())) {
                    return false;
                }
            }
            return true;
        }
        case QJsonValue::Null:
        case QJsonValue::Bool:
        case QJsonValue::String:
            return true;
    }
    return false;
}

}  // namespace

std::optional<QString> Native2WebMessage::toJSONString() const {
    if (!isSerialisable(data)) {
        return std::nullopt;
    }
    QJsonObject object{{QStringLiteral("type"), type}, {QStringLiteral("data"), data}};
    if (macrequestid) {
        object.insert(QStringLiteral("macrequestid"), *macrequestid);
    }
    if (deviceId) {
        object.insert(QStringLiteral("deviceId"), *deviceId);
    }
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}
