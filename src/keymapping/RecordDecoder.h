#pragma once

#include "foundation/JsonReader.h"
#include "foundation/Result.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <optional>

// Reads one stored record by the rules of the plan files: an optional key may be missing or
// null; a key that is present must hold its type; a required key must be present. Reads go on
// after a failure (answering defaults) so that callers read a whole record, then ask `failure`,
// which holds the first problem found.
class RecordDecoder {
public:
    RecordDecoder(QJsonObject object, QString recordName);

    // The JSON text as one object, or the decoding error.
    static Result<QJsonObject> parseObject(const QByteArray& data, const QString& recordName);
    static Error decodingError(const QString& message);

    std::optional<int> optionalInt(const QString& key);
    std::optional<qint64> optionalInt64(const QString& key);
    std::optional<quint16> optionalKeyCode(const QString& key);
    std::optional<double> optionalNumber(const QString& key);
    std::optional<QString> optionalString(const QString& key);
    std::optional<QJsonObject> optionalObject(const QString& key);
    std::optional<QJsonArray> optionalArray(const QString& key);

    qint64 requiredInt64(const QString& key);
    bool requiredBool(const QString& key);
    double requiredNumber(const QString& key);
    QString requiredString(const QString& key);
    QJsonObject requiredObject(const QString& key);
    QJsonArray requiredArray(const QString& key);

    void fail(const QString& problem);
    // A nested record's failure, kept as this record's first failure.
    void adopt(const Error& nested);
    const std::optional<Error>& failure() const { return m_failure; }

private:
    template <typename T>
    std::optional<T> optionalField(const QString& key, const JsonField<T>& field);
    template <typename T>
    T requiredField(const QString& key, const JsonField<T>& field);

    JsonReader m_reader;
    QString m_recordName;
    std::optional<Error> m_failure;
};
