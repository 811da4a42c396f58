// Update offers from the service and hand-over tasks read back from disk.
#include "FuzzSupport.h"

#include "update/UpdateInfo.h"
#include "update/UpdateTask.h"

#include <QJsonArray>
#include <QJsonDocument>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::startQuietly(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes = fuzz::bytes(data, size);
    (void)UpdateTask::fromJson(bytes);
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    const QJsonValue json =
        document.isArray() ? QJsonValue(document.array()) : QJsonValue(document.object());
    if (const Result<UpdateInfo> info = UpdateInfo::fromJson(json); info) {
        const Result<UpdateInfo> again = UpdateInfo::fromJson(info.value().toJson());
        if (!again || !(again.value() == info.value())) {
            fuzz::violated("an update offer does not survive encoding");
        }
    }
    return 0;
}
