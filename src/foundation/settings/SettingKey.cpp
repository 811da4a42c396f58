#include "foundation/settings/SettingKey.h"

#include "foundation/json/TextVocabulary.h"

namespace {

constexpr auto kVocabulary = textVocabulary<SettingKey>(std::array{
#define KX_TEXT(name, text) text,
    KX_SETTING_KEYS(KX_TEXT)
#undef KX_TEXT
});

}  // namespace

QString settingKeyText(SettingKey key) {
    return kVocabulary.text(key);
}

std::optional<SettingKey> settingKeyFromText(const QString& text) {
    return kVocabulary.find(text);
}

std::span<const SettingKey> allSettingKeys() {
    return kVocabulary.cases();
}
