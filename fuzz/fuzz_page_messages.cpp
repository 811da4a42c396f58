// Messages the page posts to the client: any text, any JSON shape.
#include "FuzzSupport.h"

#include "web/Web2NativeMessage.h"

#include <QJsonDocument>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzz::startQuietly(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = QString::fromUtf8(fuzz::bytes(data, size));
    const std::optional<Web2NativeMessage> message = Web2NativeMessage::fromJSONString(text);
    if (!message) {
        return 0;
    }
    for (const char* key : {"deviceId", "deviceid", "index", "x"}) {
        (void)message->intValue(QString::fromLatin1(key));
    }
    // A message rebuilt from its own dictionary is the same message.
    const std::optional<Web2NativeMessage> again =
        Web2NativeMessage::fromDictionary(message->toDictionary());
    if (!again || again->toDictionary() != message->toDictionary()) {
        fuzz::violated("a page message does not survive its dictionary");
    }
    (void)Web2NativeMessage::fromDictionary(message->toDictionary().toVariantMap());
    return 0;
}
