#include "keymapping/KMPDirectory.h"

#include "foundation/RecordDecoder.h"

namespace {

Result<KMPIndexEntry> decodeEntry(const QJsonValue& value) {
    if (!value.isObject()) {
        return RecordDecoder::decodingError(QStringLiteral("KMPIndexEntry: expected an object"));
    }
    RecordDecoder decoder(value.toObject(), QStringLiteral("KMPIndexEntry"));
    KMPIndexEntry entry;
    std::optional<QString> pattern = decoder.optionalString(QStringLiteral("packageNamePattern"));
    if (!pattern) {
        pattern = decoder.optionalString(QStringLiteral("packageNamePatternWj"));
    }
    entry.packageNamePattern = pattern.value_or(QString());
    entry.resolutionType = decoder.optionalInt64(QStringLiteral("resolutionType"));
    if (const auto resolution = decoder.optionalObject(QStringLiteral("resolutionPattern"))) {
        RecordDecoder inner(*resolution, QStringLiteral("ResolutionPattern"));
        entry.resolutionPattern = ResolutionPattern{inner.requiredNumber(QStringLiteral("width")),
                                                    inner.requiredNumber(QStringLiteral("height"))};
        if (inner.failure()) {
            decoder.adopt(*inner.failure());
        }
    }
    entry.priority = decoder.optionalInt64(QStringLiteral("priority"));
    entry.fileName = decoder.requiredString(QStringLiteral("fileName"));
    if (decoder.failure()) {
        return *decoder.failure();
    }
    return entry;
}

}  // namespace

Result<KMPDirectory> KMPDirectory::decode(const QByteArray& data) {
    Result<QJsonObject> object = RecordDecoder::parseObject(data, QStringLiteral("KMPDirectory"));
    if (!object) {
        return object.error();
    }
    RecordDecoder decoder(object.value(), QStringLiteral("KMPDirectory"));
    const QJsonArray entries = decoder.requiredArray(QStringLiteral("kmps"));
    if (decoder.failure()) {
        return *decoder.failure();
    }
    KMPDirectory directory;
    for (const QJsonValue& value : entries) {
        Result<KMPIndexEntry> entry = decodeEntry(value);
        if (!entry) {
            return entry.error();
        }
        directory.kmps.append(std::move(entry).value());
    }
    return directory;
}
