#pragma once

#include "foundation/settings/SettingKey.h"
#include "web/Web2NativeMessageHandler.h"

#include <QJsonValue>
#include <QString>

#include <functional>
#include <optional>

class CDYUserTool;
class CloudPhoneCommunicator;
class LanguageManager;
class NotificationCenter;
class SettingsManager;

// The page's "set", "get" and "mac-get": settings stored as texts, a few keys refused or acted
// upon (the signed-in user, the devices, the interface language, developer tools, the devices'
// bit-rate mode). "get" and "mac-get" answer "response-mac-get"; "set" never answers.
class SettingMessageHandler : public Web2NativeMessageHandler {
public:
    struct Environment {
        SettingsManager* settings = nullptr;
        CDYUserTool* users = nullptr;
        CloudPhoneCommunicator* communicator = nullptr;
        NotificationCenter* notifications = nullptr;
        LanguageManager* language = nullptr;
        std::function<bool()> inspectorEnabledInBundle;
        // The answer to a "get" of `key`.
        std::function<void(const QJsonValue& value, const QString& requestId, const QString& key)>
            reply;

        // The shared stores, the shared sender and the application's bundle switch.
        static Environment shared();
    };

    explicit SettingMessageHandler(Environment environment = Environment::shared());

    void handle(const Web2NativeMessage& message) override;

    // A page value as the text that is stored: texts as they are, booleans "true"/"false",
    // integers in decimal, objects and arrays as compact JSON; nothing for anything else.
    static std::optional<QString> convertedText(const QJsonValue& value);
    // Strictly a finite number above 0 with nothing around it ("720", "1.5e2").
    static bool isValidWindowSize(const QString& text);

private:
    struct WritableKey;
    using Write = void (SettingMessageHandler::*)(const WritableKey& row, const QJsonValue& value,
                                                  const Web2NativeMessage& message);

    // The listed keys the page may write with checks or effects of their own, else nothing.
    static const WritableKey* writableKey(SettingKey key);

    void set(const Web2NativeMessage& message);
    void get(const Web2NativeMessage& message);
    // The text the row takes from the value, or nothing, with the row's warning when it has one.
    std::optional<QString> accepted(const WritableKey& row, const QJsonValue& value) const;
    void storeAccepted(const WritableKey& row, const QJsonValue& value,
                       const Web2NativeMessage& message);
    void storeMuting(const WritableKey& row, const QJsonValue& value,
                     const Web2NativeMessage& message);
    void storeBitrateMode(const WritableKey& row, const QJsonValue& value,
                          const Web2NativeMessage& message);
    void storeLocale(const WritableKey& row, const QJsonValue& value,
                     const Web2NativeMessage& message);
    void setLoginInfo(const WritableKey& row, const QJsonValue& value,
                      const Web2NativeMessage& message);
    void setDebugMode(const WritableKey& row, const QJsonValue& value,
                      const Web2NativeMessage& message);
    QString debugModeValue(SettingKey key) const;
    void store(SettingKey key, const QString& text);
    void store(const QString& key, const QString& text);

    Environment m_environment;
};
