#include "web/Web2NativeMessageType.h"

#include "foundation/json/TextVocabulary.h"

namespace {

constexpr auto kVocabulary = textVocabulary<Web2NativeMessageType>(std::array{
#define KX_TEXT(name, text) text,
    KX_WEB2NATIVE_MESSAGE_TYPES(KX_TEXT)
#undef KX_TEXT
});

}  // namespace

QString web2NativeMessageTypeText(Web2NativeMessageType type) {
    return kVocabulary.text(type);
}

std::optional<Web2NativeMessageType> web2NativeMessageTypeFromText(const QString& text) {
    return kVocabulary.find(text);
}

std::span<const Web2NativeMessageType> allWeb2NativeMessageTypes() {
    return kVocabulary.cases();
}
