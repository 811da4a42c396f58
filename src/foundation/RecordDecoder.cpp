#include "foundation/RecordDecoder.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <limits>

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

RecordDecoder::RecordDecoder(QJsonObject object, QString recordName, FailurePolicy policy)
    : m_reader(std::move(object)), m_name(std::move(recordName)), m_policy(policy) {}

RecordDecoder::RecordDecoder(QJsonObject object, Wording wording, FailurePolicy policy)
    : m_reader(std::move(object)), m_wording(std::move(wording)), m_policy(policy) {}

RecordDecoder RecordDecoder::atCodingPath(const QJsonValue& value, QString codingPath,
                                          FailurePolicy policy) {
    const JsonField<QJsonObject> object = JsonReader::asObject(value);
    RecordDecoder decoder(object.valueOr(QJsonObject()), std::move(codingPath), policy);
    if (!object.hasValue()) {
        decoder.adopt(mismatch(object.presence(), value, decoder.m_name, QStringLiteral("对象")));
    }
    return decoder;
}

Error RecordDecoder::decodingError(const QString& message) {
    return Error{DecodingError::domain, 1, message};
}

Result<QJsonObject> RecordDecoder::parseObject(const QByteArray& data, const QString& recordName) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        return decodingError(recordName + QStringLiteral(": the data is not valid JSON (") +
                             parseError.errorString() + QStringLiteral(" at offset ") +
                             QString::number(parseError.offset) + QLatin1Char(')'));
    }
    if (!document.isObject()) {
        return decodingError(recordName + QStringLiteral(": expected a JSON object"));
    }
    return document.object();
}

bool RecordDecoder::skipping() const {
    return m_policy == FailurePolicy::firstFailureSticks && m_failure;
}

void RecordDecoder::fail(const QString& problem) {
    adopt(decodingError(m_name + QStringLiteral(": ") + problem));
}

void RecordDecoder::adopt(const Error& nested) {
    if (!m_failure) {
        m_failure = nested;
    }
}

// Record-name reads ------------------------------------------------------------------------------

template <typename T>
std::optional<T> RecordDecoder::optionalField(const QString& key, const JsonField<T>& field) {
    if (field.isWrongType()) {
        if (m_wording) {
            adopt(m_wording(key, field.presence(), false));
        } else {
            fail(QStringLiteral("value of \"%1\" has the wrong type").arg(key));
        }
    }
    return field.optional();
}

template <typename T>
T RecordDecoder::requiredField(const QString& key, const JsonField<T>& field) {
    if (!field.hasValue() && m_wording) {
        adopt(m_wording(key, field.presence(), true));
        return T{};
    }
    if (field.isAbsent()) {
        fail(QStringLiteral("no value for the key \"%1\"").arg(key));
    }
    return optionalField(key, field).value_or(T{});
}

std::optional<int> RecordDecoder::optionalInt(const QString& key) {
    return skipping() ? std::nullopt : optionalField(key, m_reader.int32(key));
}

std::optional<qint64> RecordDecoder::optionalInt64(const QString& key) {
    return skipping() ? std::nullopt : optionalField(key, m_reader.int64(key));
}

std::optional<quint16> RecordDecoder::optionalKeyCode(const QString& key) {
    const std::optional<int> wide = optionalInt(key);
    if (!wide) {
        return std::nullopt;
    }
    if (*wide < 0 || *wide > std::numeric_limits<quint16>::max()) {
        fail(QStringLiteral("value of \"%1\" does not fit a key code").arg(key));
        return std::nullopt;
    }
    return static_cast<quint16>(*wide);
}

std::optional<double> RecordDecoder::optionalNumber(const QString& key) {
    return skipping() ? std::nullopt : optionalField(key, m_reader.number(key));
}

std::optional<bool> RecordDecoder::optionalBool(const QString& key) {
    return skipping() ? std::nullopt : optionalField(key, m_reader.boolean(key));
}

std::optional<QString> RecordDecoder::optionalString(const QString& key) {
    return skipping() ? std::nullopt : optionalField(key, m_reader.string(key));
}

std::optional<QJsonObject> RecordDecoder::optionalObject(const QString& key) {
    return skipping() ? std::nullopt : optionalField(key, m_reader.object(key));
}

std::optional<QJsonArray> RecordDecoder::optionalArray(const QString& key) {
    return skipping() ? std::nullopt : optionalField(key, m_reader.array(key));
}

qint64 RecordDecoder::requiredInt64(const QString& key) {
    return skipping() ? 0 : requiredField(key, m_reader.int64(key));
}

bool RecordDecoder::requiredBool(const QString& key) {
    return skipping() ? false : requiredField(key, m_reader.boolean(key));
}

double RecordDecoder::requiredNumber(const QString& key) {
    return skipping() ? 0 : requiredField(key, m_reader.number(key));
}

QString RecordDecoder::requiredString(const QString& key) {
    return skipping() ? QString() : requiredField(key, m_reader.string(key));
}

QJsonObject RecordDecoder::requiredObject(const QString& key) {
    return skipping() ? QJsonObject() : requiredField(key, m_reader.object(key));
}

QJsonArray RecordDecoder::requiredArray(const QString& key) {
    return skipping() ? QJsonArray() : requiredField(key, m_reader.array(key));
}

// Coding-path reads ------------------------------------------------------------------------------

void RecordDecoder::require(const QString& key, QString& field) {
    if (skipping()) {
        return;
    }
    const QJsonObject& object = m_reader.object();
    if (!object.contains(key)) {
        adopt(DecodingError::make(DecodingError::keyNotFound, childPath(key),
                                  QStringLiteral("不存在")));
        return;
    }
    Result<QString> value = decodeValue<QString>(object.value(key), childPath(key));
    if (!value) {
        adopt(value.error());
        return;
    }
    field = std::move(value).value();
}

std::optional<QJsonValue> RecordDecoder::presentValue(const QString& key) const {
    if (skipping()) {
        return std::nullopt;
    }
    const QJsonObject& object = m_reader.object();
    const auto it = object.constFind(key);
    if (it == object.constEnd() || it.value().isNull()) {
        return std::nullopt;
    }
    return it.value();
}

QString RecordDecoder::childPath(const QString& key) const {
    return m_name.isEmpty() ? key : m_name + QLatin1Char('.') + key;
}

Error RecordDecoder::mismatch(JsonPresence presence, const QJsonValue& value,
                              const QString& codingPath, const QString& expected) {
    if (presence == JsonPresence::null || presence == JsonPresence::missing) {
        return DecodingError::make(DecodingError::valueNotFound, codingPath,
                                   QStringLiteral("应为%1，实际为 null").arg(expected));
    }
    return DecodingError::make(
        DecodingError::typeMismatch, codingPath,
        QStringLiteral("应为%1，实际为%2").arg(expected, DecodingError::describe(value)));
}
