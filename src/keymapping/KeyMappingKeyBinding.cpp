#include "keymapping/KeyMappingKeyBinding.h"

#include "foundation/RecordDecoder.h"
#include "keymapping/KeyToken.h"

std::optional<QString> KeyMappingKeyBinding::firstKeyToken() const {
    return keyToken(windowsKey, keyCode);
}

std::optional<QString> KeyMappingKeyBinding::secondKeyToken() const {
    return keyToken(secondWindowsKey, secondKeyCode);
}

QSet<QString> KeyMappingKeyBinding::keyTokens() const {
    return keyTokenSet(firstKeyToken(), secondKeyToken());
}

QJsonObject KeyMappingKeyBinding::toJson() const {
    QJsonObject object;
    if (keyCode) {
        object.insert(QStringLiteral("keyCode"), *keyCode);
    }
    if (windowsKey) {
        object.insert(QStringLiteral("windowsKey"), *windowsKey);
    }
    if (secondKeyCode) {
        object.insert(QStringLiteral("secondKeyCode"), *secondKeyCode);
    }
    if (secondWindowsKey) {
        object.insert(QStringLiteral("secondWindowsKey"), *secondWindowsKey);
    }
    object.insert(QStringLiteral("displayName"), displayName);
    return object;
}

Result<KeyMappingKeyBinding> KeyMappingKeyBinding::fromJson(const QJsonObject& object) {
    RecordDecoder decoder(object, QStringLiteral("KeyMappingKeyBinding"));
    KeyMappingKeyBinding binding;
    binding.keyCode = decoder.optionalKeyCode(QStringLiteral("keyCode"));
    binding.windowsKey = decoder.optionalInt(QStringLiteral("windowsKey"));
    binding.secondKeyCode = decoder.optionalKeyCode(QStringLiteral("secondKeyCode"));
    binding.secondWindowsKey = decoder.optionalInt(QStringLiteral("secondWindowsKey"));
    binding.displayName = decoder.requiredString(QStringLiteral("displayName"));
    if (auto failure = decoder.failure()) {
        return *failure;
    }
    return binding;
}
