#include "web/SettingMessageHandler.h"

#include "api/CDYUserTool.h"
#include "foundation/concurrency/NotificationCenter.h"
#include "foundation/concurrency/NotificationNames.h"
#include "foundation/json/JsonReader.h"
#include "foundation/logging/ConsoleFormat.h"
#include "foundation/logging/KXLog.h"
#include "foundation/logging/LogRedaction.h"
#include "foundation/settings/LanguageManager.h"
#include "foundation/settings/SettingsManager.h"
#include "session/CloudPhoneCommunicator.h"
#include "web/JsonDescription.h"
#include "web/LoginRecordDecoder.h"
#include "web/Native2WebMessageSender.h"
#include "web/Web2NativeMessageType.h"
#include "web/WebInspectorPolicy.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <locale.h>
#include <stdlib.h>
#include <cctype>
#include <cmath>
#include <string>

namespace {

// What a key takes from the page: a text value only, or any value as its converted text.
enum class Takes { text, convertedText };

bool isTrueOrFalse(const QString& text) {
    return text == QLatin1String("true") || text == QLatin1String("false");
}

void warnSettings(const QString& text, SettingKey key, const QJsonValue& value) {
    KXLog(text + describeJson(LogRedaction::maskedField(settingKeyText(key), value)),
          LogTag::settings, LogLevel::warning);
}

bool isTruthy(const std::optional<QString>& text) {
    return text && WebInspectorPolicy::booleanText(*text).value_or(false);
}

}  // namespace

// How the page may write one listed key. A key without a row, listed or not, takes texts only and
// stores them as they come.
struct SettingMessageHandler::WritableKey {
    SettingKey key;
    Takes takes;
    // Whether a taken text may be stored; nullptr takes every one.
    bool (*isAcceptable)(const QString& text);
    // The warning for a value refused; nullptr refuses without a word.
    const char* refusal;
    Write write;
};

const SettingMessageHandler::WritableKey* SettingMessageHandler::writableKey(SettingKey key) {
    using Handler = SettingMessageHandler;
    const char* const unconvertible = "同步设置值无法序列化: ";
    const char* const debugUnconvertible = "⚠️ WebView 调试设置值无法序列化: ";
    static const WritableKey rows[] = {
        {SettingKey::cloudphoneMuted, Takes::text, nullptr, nullptr, &Handler::storeMuting},
        {SettingKey::summarizedMode, Takes::text, nullptr, nullptr, &Handler::storeAccepted},
        {SettingKey::cloudphoneSize, Takes::convertedText, &Handler::isValidWindowSize,
         "云手机窗口尺寸无效: ", &Handler::storeAccepted},
        {SettingKey::batchCloudphonePositionSort, Takes::convertedText, &isTrueOrFalse,
         "批量自动排列设置无效: ", &Handler::storeAccepted},
        {SettingKey::syncCtlCloseOtherDevices, Takes::convertedText, nullptr, unconvertible,
         &Handler::storeAccepted},
        {SettingKey::syncTime, Takes::convertedText, nullptr, unconvertible,
         &Handler::storeAccepted},
        {SettingKey::frontendArrangeCloudphone, Takes::convertedText, nullptr, unconvertible,
         &Handler::storeAccepted},
        {SettingKey::cloudphonePositionCentre, Takes::convertedText, nullptr, unconvertible,
         &Handler::storeAccepted},
        {SettingKey::closePanel, Takes::convertedText, nullptr, unconvertible,
         &Handler::storeAccepted},
        {SettingKey::kxsdkLoginInfo, Takes::convertedText, nullptr,
         "⚠️ kxsdk-login-info 设置值格式错误: ", &Handler::setLoginInfo},
        {SettingKey::reduceBitrateMode, Takes::text, nullptr, nullptr, &Handler::storeBitrateMode},
        {SettingKey::accountUserToken, Takes::convertedText, nullptr,
         "⚠️ accountUserToken 设置值无法序列化: ", &Handler::storeAccepted},
        {SettingKey::closeWebviewDebugMode, Takes::convertedText, nullptr, debugUnconvertible,
         &Handler::setDebugMode},
        {SettingKey::webviewDebugMode, Takes::convertedText, nullptr, debugUnconvertible,
         &Handler::setDebugMode},
        {SettingKey::frontendSysLocale, Takes::text, nullptr, nullptr, &Handler::storeLocale},
    };
    for (const WritableKey& row : rows) {
        if (row.key == key) {
            return &row;
        }
    }
    return nullptr;
}

SettingMessageHandler::Environment SettingMessageHandler::Environment::shared() {
    Environment environment;
    environment.settings = &SettingsManager::shared();
    environment.users = &CDYUserTool::shared();
    environment.communicator = &CloudPhoneCommunicator::shared();
    environment.notifications = &NotificationCenter::defaultCenter();
    environment.language = &LanguageManager::shared();
    environment.inspectorEnabledInBundle = [] { return WebInspectorPolicy::isEnabledInBundle(); };
    environment.reply = [](const QJsonValue& value, const QString& requestId, const QString& key) {
        Native2WebMessageSender::shared().sendMacGetResponse(value, requestId, key);
    };
    return environment;
}

SettingMessageHandler::SettingMessageHandler(Environment environment)
    : m_environment(std::move(environment)) {}

std::optional<QString> SettingMessageHandler::convertedText(const QJsonValue& value) {
    if (value.isString()) {
        return value.toString();
    }
    if (value.isBool()) {
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    }
    if (const JsonField<qint64> integer = JsonReader::asInt64(value); integer.hasValue()) {
        return QString::number(integer.value());
    }
    if (value.isObject()) {
        return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
    }
    if (value.isArray()) {
        return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    }
    return std::nullopt;
}

bool SettingMessageHandler::isValidWindowSize(const QString& text) {
    const std::string bytes = text.toStdString();
    if (bytes.empty() || std::isspace(static_cast<unsigned char>(bytes.front())) != 0) {
        return false;
    }
    // The POSIX locale: a decimal point whatever the user's locale says.
    static const locale_t posix = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    char* end = nullptr;
    const double number = strtod_l(bytes.c_str(), &end, posix);
    return end == bytes.c_str() + bytes.size() && std::isfinite(number) && number > 0;
}

void SettingMessageHandler::handle(const Web2NativeMessage& message) {
    if (message.type == web2NativeMessageTypeText(Web2NativeMessageType::set)) {
        set(message);
    } else if (message.type == web2NativeMessageTypeText(Web2NativeMessageType::get) ||
               message.type == web2NativeMessageTypeText(Web2NativeMessageType::macGet)) {
        get(message);
    }
}

void SettingMessageHandler::store(SettingKey key, const QString& text) {
    store(settingKeyText(key), text);
}

// The text-keyed form for every key: the store logs what is written under the locale key then.
void SettingMessageHandler::store(const QString& key, const QString& text) {
    m_environment.settings->set(text, key);
}

void SettingMessageHandler::set(const Web2NativeMessage& message) {
    const QJsonObject data = message.data.toObject();
    const std::optional<QString> key = JsonReader(data).string(QStringLiteral("key")).optional();
    if (!key) {
        ConsoleFormat::print(QStringLiteral("❌ 设置参数不完整 ") + describeMessage(message));
        return;
    }
    const auto found = data.constFind(QStringLiteral("value"));
    const QJsonValue value = found != data.constEnd() ? found.value() : QJsonValue(QString());
    ConsoleFormat::print(QStringLiteral("⚙️ 设置: ") + *key + QStringLiteral(" = ") +
                         describeJson(LogRedaction::maskedField(*key, value)));

    const std::optional<SettingKey> listed = settingKeyFromText(*key);
    if (const WritableKey* row = listed ? writableKey(*listed) : nullptr) {
        (this->*row->write)(*row, value, message);
    } else if (value.isString()) {
        store(*key, value.toString());
    }
}

std::optional<QString> SettingMessageHandler::accepted(const WritableKey& row,
                                                       const QJsonValue& value) const {
    std::optional<QString> text;
    if (row.takes == Takes::convertedText) {
        text = convertedText(value);
    } else if (value.isString()) {
        text = value.toString();
    }
    if (text && (!row.isAcceptable || row.isAcceptable(*text))) {
        return text;
    }
    if (row.refusal) {
        warnSettings(QString::fromUtf8(row.refusal), row.key, value);
    }
    return std::nullopt;
}

void SettingMessageHandler::storeAccepted(const WritableKey& row, const QJsonValue& value,
                                          const Web2NativeMessage&) {
    if (const std::optional<QString> text = accepted(row, value)) {
        store(row.key, *text);
    }
}

void SettingMessageHandler::storeMuting(const WritableKey& row, const QJsonValue& value,
                                        const Web2NativeMessage&) {
    if (const std::optional<QString> text = accepted(row, value)) {
        ConsoleFormat::print(QStringLiteral("  静音设置: ") + *text);
        store(row.key, *text);
    }
}

void SettingMessageHandler::storeBitrateMode(const WritableKey& row, const QJsonValue& value,
                                             const Web2NativeMessage& message) {
    if (const std::optional<QString> text = accepted(row, value)) {
        store(row.key, *text);
        m_environment.notifications->post(NotificationNames::reduceBitrateMode, nullptr,
                                          message.toDictionary().toVariantMap());
    }
}

void SettingMessageHandler::storeLocale(const WritableKey& row, const QJsonValue& value,
                                        const Web2NativeMessage&) {
    if (const std::optional<QString> text = accepted(row, value)) {
        m_environment.language->setLanguage(LanguageManager::languageFromRawValue(*text).value_or(
            LanguageManager::Language::simplifiedChinese));
        store(row.key, *text);
    }
}

void SettingMessageHandler::setLoginInfo(const WritableKey& row, const QJsonValue& value,
                                         const Web2NativeMessage&) {
    if (value.isString()) {
        store(row.key, value.toString());
    }
    const std::optional<QString> text = accepted(row, value);
    if (!text) {
        m_environment.users->logout();
        return;
    }
    const std::optional<KXDomesticUser> user = LoginRecordDecoder::decode(*text);
    if (!user) {
        m_environment.users->logout();
        return;
    }
    m_environment.communicator->closeIdleDevices();
    m_environment.users->saveUserData(*user);
    m_environment.communicator->refreshUserToken();
}

void SettingMessageHandler::setDebugMode(const WritableKey& row, const QJsonValue& value,
                                         const Web2NativeMessage&) {
    if (!m_environment.inspectorEnabledInBundle()) {
        store(SettingKey::closeWebviewDebugMode, QStringLiteral("true"));
        m_environment.notifications->post(NotificationNames::webViewDebugModeDidChange);
        return;
    }
    if (const std::optional<QString> text = accepted(row, value)) {
        store(row.key, *text);
        m_environment.notifications->post(NotificationNames::webViewDebugModeDidChange);
    }
}

QString SettingMessageHandler::debugModeValue(SettingKey key) const {
    const bool enabled = m_environment.inspectorEnabledInBundle();
    const std::optional<QString> closeDebug =
        m_environment.settings->string(SettingKey::closeWebviewDebugMode);
    const std::optional<QString> debug =
        m_environment.settings->string(SettingKey::webviewDebugMode);
    const QString trueText = QStringLiteral("true");
    const QString falseText = QStringLiteral("false");
    if (key == SettingKey::closeWebviewDebugMode) {
        if (!enabled) {
            return trueText;
        }
        if (closeDebug) {
            return *closeDebug;
        }
        if (!debug) {
            return falseText;
        }
        return isTruthy(debug) ? falseText : trueText;
    }
    if (!enabled) {
        return falseText;
    }
    if (closeDebug) {
        return isTruthy(closeDebug) ? falseText : trueText;
    }
    return debug.value_or(trueText);
}

void SettingMessageHandler::get(const Web2NativeMessage& message) {
    const JsonReader data(message.data.toObject());
    const std::optional<QString> key = data.string(QStringLiteral("key")).optional();
    if (!key) {
        ConsoleFormat::print(QStringLiteral("❌ 获取参数key不完整"));
        return;
    }
    const std::optional<QString> requestId = data.string(QStringLiteral("requestid")).optional();
    if (!requestId) {
        ConsoleFormat::print(QStringLiteral("❌ 获取参数requestid不完整"));
        return;
    }
    const QString printed = describeMessage(message) + QStringLiteral("- ") + *key;
    ConsoleFormat::print(QStringLiteral("🔍 获取: ") + printed);

    const std::optional<SettingKey> listed = settingKeyFromText(*key);
    QString value;
    if (listed == SettingKey::accountUserToken) {
        value = m_environment.settings->string(SettingKey::accountUserToken).value_or(QString());
    } else if (listed == SettingKey::closeWebviewDebugMode ||
               listed == SettingKey::webviewDebugMode) {
        value = debugModeValue(*listed);
    } else if (const std::optional<QString> stored = m_environment.settings->string(*key)) {
        value = *stored;
    } else {
        KXLog(QStringLiteral("🔍 获取不到设置信息: ") + printed, LogTag::web, LogLevel::warning);
    }
    m_environment.reply(value, *requestId, *key);
}
