#include "update/UpdateInfo.h"

#include "foundation/JsonReader.h"

namespace {

Error decodingError(const QString& key, const QString& problem) {
    return Error{QStringLiteral("UpdateInfo"), 0, problem + QStringLiteral(": ") + key};
}

template <typename T>
Result<T> requiredMember(const JsonField<T>& field, const QString& key) {
    if (field.hasValue()) {
        return field.value();
    }
    return decodingError(key, field.isMissing() ? QStringLiteral("missing member")
                                                : QStringLiteral("member of the wrong type"));
}

template <typename T>
Result<std::optional<T>> optionalMember(const JsonField<T>& field, const QString& key) {
    if (field.isWrongType()) {
        return decodingError(key, QStringLiteral("member of the wrong type"));
    }
    return field.optional();
}

// Keeps the first failure; later members are not stored once one has failed.
template <typename T>
void assign(Result<T> member, T& target, std::optional<Error>& failure) {
    if (failure) {
        return;
    }
    if (member) {
        target = std::move(member).value();
    } else {
        failure = member.error();
    }
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
    const JsonReader reader(json.toObject());
    const auto key = [](const char* name) { return QString::fromLatin1(name); };
    UpdateInfo info;
    QString urlText;
    std::optional<Error> failure;
    assign(requiredMember(reader.string(key("version")), key("version")), info.version, failure);
    assign(requiredMember(reader.string(key("downloadURL")), key("downloadURL")), urlText, failure);
    assign(requiredMember(reader.boolean(key("isMandatory")), key("isMandatory")), info.isMandatory,
           failure);
    assign(optionalMember(reader.int64(key("build")), key("build")), info.build, failure);
    assign(optionalMember(reader.string(key("sha256")), key("sha256")), info.sha256, failure);
    assign(optionalMember(reader.string(key("releaseNotes")), key("releaseNotes")),
           info.releaseNotes, failure);
    if (failure) {
        return *failure;
    }
    info.downloadURL = QUrl(urlText, QUrl::StrictMode);
    if (urlText.isEmpty() || !info.downloadURL.isValid()) {
        return decodingError(key("downloadURL"), QStringLiteral("not a URL"));
    }
    return info;
}
