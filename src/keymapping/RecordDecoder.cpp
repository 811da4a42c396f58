#include "keymapping/RecordDecoder.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <limits>

RecordDecoder::RecordDecoder(QJsonObject object, QString recordName)
    : m_reader(std::move(object)), m_recordName(std::move(recordName)) {}

Error RecordDecoder::decodingError(const QString& message) {
    return Error{QStringLiteral("DecodingError"), 1, message};
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

void RecordDecoder::fail(const QString& problem) {
    if (!m_failure) {
        m_failure = decodingError(m_recordName + QStringLiteral(": ") + problem);
    }
}

void RecordDecoder::adopt(const Error& nested) {
    if (!m_failure) {
        m_failure = nested;
    }
}

template <typename T>
std::optional<T> RecordDecoder::optionalField(const QString& key, const JsonField<T>& field) {
    if (field.isWrongType()) {
        fail(QStringLiteral("value of \"%1\" has the wrong type").arg(key));
    }
    return field.optional();
}

template <typename T>
T RecordDecoder::requiredField(const QString& key, const JsonField<T>& field) {
    if (field.isAbsent()) {
        fail(QStringLiteral("no value for the key \"%1\"").arg(key));
    }
    return optionalField(key, field).value_or(T{});
}

std::optional<int> RecordDecoder::optionalInt(const QString& key) {
    return optionalField(key, m_reader.int32(key));
}

std::optional<qint64> RecordDecoder::optionalInt64(const QString& key) {
    return optionalField(key, m_reader.int64(key));
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
    return optionalField(key, m_reader.number(key));
}

std::optional<QString> RecordDecoder::optionalString(const QString& key) {
    return optionalField(key, m_reader.string(key));
}

std::optional<QJsonObject> RecordDecoder::optionalObject(const QString& key) {
    return optionalField(key, m_reader.object(key));
}

std::optional<QJsonArray> RecordDecoder::optionalArray(const QString& key) {
    return optionalField(key, m_reader.array(key));
}

qint64 RecordDecoder::requiredInt64(const QString& key) {
    return requiredField(key, m_reader.int64(key));
}

bool RecordDecoder::requiredBool(const QString& key) {
    return requiredField(key, m_reader.boolean(key));
}

double RecordDecoder::requiredNumber(const QString& key) {
    return requiredField(key, m_reader.number(key));
}

QString RecordDecoder::requiredString(const QString& key) {
    return requiredField(key, m_reader.string(key));
}

QJsonObject RecordDecoder::requiredObject(const QString& key) {
    return requiredField(key, m_reader.object(key));
}

QJsonArray RecordDecoder::requiredArray(const QString& key) {
    return requiredField(key, m_reader.array(key));
}
