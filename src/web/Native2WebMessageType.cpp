#include "web/Native2WebMessageType.h"

#include "foundation/json/TextVocabulary.h"

namespace {

constexpr auto kVocabulary = textVocabulary<Native2WebMessageType>(std::array{
#define KX_TEXT(name, text) text,
    KX_NATIVE2WEB_MESSAGE_TYPES(KX_TEXT)
#undef KX_TEXT
});

}  // namespace

QString native2WebMessageTypeText(Native2WebMessageType type) {
    return kVocabulary.text(type);
}

std::optional<Native2WebMessageType> native2WebMessageTypeFromText(const QString& text) {
    return kVocabulary.find(text);
}

std::span<const Native2WebMessageType> allNative2WebMessageTypes() {
    return kVocabulary.cases();
}
