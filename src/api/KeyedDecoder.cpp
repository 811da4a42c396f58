#include "api/KeyedDecoder.h"

namespace DecodingError {

Error make(Code code, const QString& codingPath, const QString& detail) {
    static const char* const kinds[] = {"", "类型不匹配", "值为空", "缺少键", "数据无效"};
    const QString where = codingPath.isEmpty() ? QStringLiteral("顶层值") : codingPath;
    return Error{domain, code,
                 QString::fromUtf8(kinds[code]) + QStringLiteral(": \"") + where +
                     QStringLiteral("\" ") + detail};
}

QString describe(const QJsonValue& value) {
    switch (value.type()) {
        case QJsonValue::Null:
            return QStringLiteral("null");
        case QJsonValue::Bool:
            return QStringLiteral("布尔值");
        case QJsonValue::Double:
            return QStringLiteral("数字");
        case QJsonValue::String:
            return QStringLiteral("文本");
        case QJsonValue::Array:
            return QStringLiteral("数组");
        case QJsonValue::Object:
            return QStringLiteral("对象");
        case QJsonValue::Undefined:
            break;
    }
    return QStringLiteral("无值");
}

}  // namespace DecodingError

KeyedDecoder::KeyedDecoder(const QJsonValue& value, QString codingPath)
    : m_path(std::move(codingPath)) {
    const JsonField<QJsonObject> object = JsonReader::asObject(value);
    if (object.hasValue()) {
        m_object = object.value();
    } else {
        m_error = mismatch(object.presence(), value, m_path, QStringLiteral("对象"));
    }
}

void KeyedDecoder::require(const QString& key, QString& field) {
    if (m_error) {
        return;
    }
    if (!m_object.contains(key)) {
        m_error = DecodingError::make(DecodingError::keyNotFound, childPath(key),
                                      QStringLiteral("不存在"));
        return;
    }
    Result<QString> value = decodeValue<QString>(m_object.value(key), childPath(key));
    if (!value) {
        m_error = value.error();
        return;
    }
    field = std::move(value).value();
}

std::optional<QJsonValue> KeyedDecoder::presentValue(const QString& key) const {
    if (m_error) {
        return std::nullopt;
    }
    const auto it = m_object.constFind(key);
    if (it == m_object.constEnd() || it.value().isNull()) {
        return std::nullopt;
    }
    return it.value();
}

QString KeyedDecoder::childPath(const QString& key) const {
    return m_path.isEmpty() ? key : m_path + QLatin1Char('.') + key;
}

Error KeyedDecoder::mismatch(JsonPresence presence, const QJsonValue& value,
                             const QString& codingPath, const QString& expected) {
    if (presence == JsonPresence::null || presence == JsonPresence::missing) {
        return DecodingError::make(DecodingError::valueNotFound, codingPath,
                                   QStringLiteral("应为%1，实际为 null").arg(expected));
    }
    return DecodingError::make(
        DecodingError::typeMismatch, codingPath,
        QStringLiteral("应为%1，实际为%2").arg(expected, DecodingError::describe(value)));
}
