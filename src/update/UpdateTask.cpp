#include "update/UpdateTask.h"

#include "foundation/RecordDecoder.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <array>
#include <utility>

namespace {

const QString kDomain = QStringLiteral("UpdateTask");

using Member = std::pair<const char*, QString UpdateTask::*>;
constexpr std::array<Member, 5> kMembers{{
    {"sourceAppPath", &UpdateTask::sourceAppPath},
    {"targetAppPath", &UpdateTask::targetAppPath},
    {"mountedVolumePath", &UpdateTask::mountedVolumePath},
    {"packagePath", &UpdateTask::packagePath},
    {"targetVersion", &UpdateTask::targetVersion},
}};

// A JSON string literal, quotes included.
QByteArray quoted(const QString& text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

}  // namespace

// Written by hand because QJsonObject would sort the members.
QByteArray UpdateTask::toJson() const {
    QByteArray json("{");
    for (const auto& [name, field] : kMembers) {
        if (json.size() > 1) {
            json += ',';
        }
        json += quoted(QString::fromLatin1(name)) + ':' + quoted(this->*field);
    }
    return json + '}';
}

Result<UpdateTask> UpdateTask::fromJson(const QByteArray& json) {
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        return Error{kDomain, 0, parseError.errorString()};
    }
    if (!document.isObject()) {
        return Error{kDomain, 0, QStringLiteral("not a JSON object")};
    }
    RecordDecoder decoder(
        document.object(),
        [](const QString& key, JsonPresence, bool) {
            return Error{kDomain, 0, QStringLiteral("missing or not a string: ") + key};
        },
        RecordDecoder::FailurePolicy::firstFailureSticks);
    UpdateTask task;
    for (const auto& [name, field] : kMembers) {
        task.*field = decoder.requiredString(QString::fromLatin1(name));
    }
    return decoder.finish(std::move(task));
}

Result<UpdateTask> UpdateTask::readFromFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return Error{kDomain, 0, file.errorString()};
    }
    return fromJson(file.readAll());
}
