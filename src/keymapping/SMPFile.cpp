#include "keymapping/SMPFile.h"

#include "foundation/RecordDecoder.h"

#include <QJsonDocument>
#include <QJsonObject>

QByteArray SMPFile::encode() const {
    const QJsonObject relatives{{QStringLiteral("keyboardId"), resolutionRelatives.keyboardId},
                                {QStringLiteral("joystickId"), resolutionRelatives.joystickId}};
    // A JSON object keeps its keys sorted, which is the order the file needs.
    const QJsonObject record{{QStringLiteral("reduceInertia"), reduceInertia},
                             {QStringLiteral("keyboardShowGreet"), keyboardShowGreet},
                             {QStringLiteral("joystickShowGreet"), joystickShowGreet},
                             {QStringLiteral("keyboardFirstGreet"), keyboardFirstGreet},
                             {QStringLiteral("joystickFirstGreet"), joystickFirstGreet},
                             {QStringLiteral("keyboardShowHints"), keyboardShowHints},
                             {QStringLiteral("joystickShowHints"), joystickShowHints},
                             {QStringLiteral("keyboardIgnoreVersion"), keyboardIgnoreVersion},
                             {QStringLiteral("joystickIgnoreVersion"), joystickIgnoreVersion},
                             {QStringLiteral("noticeTimes"), noticeTimes},
                             {QStringLiteral("noticeHash"), noticeHash},
                             {QStringLiteral("resolutionRelatives"), relatives}};
    // A "/" can only occur inside a string here, so escaping every one is safe.
    return QJsonDocument(record).toJson(QJsonDocument::Compact).replace("/", "\\/");
}

Result<SMPFile> SMPFile::decode(const QByteArray& data) {
    Result<QJsonObject> object = RecordDecoder::parseObject(data, QStringLiteral("SMPFile"));
    if (!object) {
        return object.error();
    }
    // Only the keyboard plan is used, but a record lacking any key is not trusted for it either.
    RecordDecoder decoder(object.value(), QStringLiteral("SMPFile"));
    SMPFile file;
    file.reduceInertia = decoder.requiredBool(QStringLiteral("reduceInertia"));
    file.keyboardShowGreet = decoder.requiredBool(QStringLiteral("keyboardShowGreet"));
    file.joystickShowGreet = decoder.requiredBool(QStringLiteral("joystickShowGreet"));
    file.keyboardFirstGreet = decoder.requiredBool(QStringLiteral("keyboardFirstGreet"));
    file.joystickFirstGreet = decoder.requiredBool(QStringLiteral("joystickFirstGreet"));
    file.keyboardShowHints = decoder.requiredBool(QStringLiteral("keyboardShowHints"));
    file.joystickShowHints = decoder.requiredBool(QStringLiteral("joystickShowHints"));
    file.keyboardIgnoreVersion = decoder.requiredInt64(QStringLiteral("keyboardIgnoreVersion"));
    file.joystickIgnoreVersion = decoder.requiredInt64(QStringLiteral("joystickIgnoreVersion"));
    file.noticeTimes = decoder.requiredInt64(QStringLiteral("noticeTimes"));
    file.noticeHash = decoder.requiredInt64(QStringLiteral("noticeHash"));
    const QJsonObject relatives = decoder.requiredObject(QStringLiteral("resolutionRelatives"));
    if (decoder.failure()) {
        return *decoder.failure();
    }
    RecordDecoder inner(relatives, QStringLiteral("ResolutionRelatives"));
    file.resolutionRelatives.keyboardId = inner.requiredString(QStringLiteral("keyboardId"));
    file.resolutionRelatives.joystickId = inner.requiredString(QStringLiteral("joystickId"));
    if (inner.failure()) {
        return *inner.failure();
    }
    return file;
}
