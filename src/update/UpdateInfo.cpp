#include "update/UpdateInfo.h"

#include "foundation/RecordDecoder.h"

namespace {

Error decodingError(const QString& key, const QString& problem) {
    return Error{QStringLiteral("UpdateInfo"), 0, problem + QStringLiteral(": ") + key};
}

Error memberError(const QString& key, JsonPresence found, bool) {
    return decodingError(key, found == JsonPresence::missing
                                  ? QStringLiteral("missing member")
                                  : QStringLiteral("member of the wrong type"));
}

// Fully encoded, except that a "#" inside the fragment stays as it came: encoding it as "%23"
// would read back as another URL.
QString urlText(const QUrl& url) {
    QString text = url.toString(QUrl::FullyEncoded | QUrl::RemoveFragment);
    if (url.hasFragment()) {
        text += QLatin1Char('#') +
                url.fragment(QUrl::EncodeSpaces | QUrl::EncodeUnicode | QUrl::EncodeReserved);
    }
    return text;
}

}  // namespace

QJsonObject UpdateInfo::toJson() const {
    QJsonObject object;
    object.insert(QStringLiteral("version"), version);
    if (build) {
        object.insert(QStringLiteral("build"), *build);
    }
    object.insert(QStringLiteral("downloadURL"), urlText(downloadURL));
    if (sha256) {
        object.insert(QStringLiteral("sha256"), *sha256);
    }
    object.insert(QStringLiteral("isMandatory"), isMandatory);
    if (releaseNotes) {
        object.insert(QStringLiteral("releaseNotes"), *releaseNotes);
    }
    return object;
}

Result<UpdateInfo> UpdateInfo::fromJson(const QJsonValue& json) {
    if (!json.isObject()) {
        return Error{QStringLiteral("UpdateInfo"), 0, QStringLiteral("not a JSON object")};
    }
    RecordDecoder decoder(json.toObject(), memberError,
                          RecordDecoder::FailurePolicy::firstFailureSticks);
    const auto key = [](const char* name) { return QString::fromLatin1(name); };
    UpdateInfo info;
    info.version = decoder.requiredString(key("version"));
    const QString urlText = decoder.requiredString(key("downloadURL"));
    info.isMandatory = decoder.requiredBool(key("isMandatory"));
    info.build = decoder.optionalInt64(key("build"));
    info.sha256 = decoder.optionalString(key("sha256"));
    info.releaseNotes = decoder.optionalString(key("releaseNotes"));
    if (const std::optional<Error>& failure = decoder.failure()) {
        return *failure;
    }
    info.downloadURL = QUrl(urlText, QUrl::StrictMode);
    if (urlText.isEmpty() || !info.downloadURL.isValid()) {
        return decodingError(key("downloadURL"), QStringLiteral("not a URL"));
    }
    return info;
}
