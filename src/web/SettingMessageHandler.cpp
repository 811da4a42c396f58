#include "web/SettingMessageHandler.h"

#include "api/CDYUserTool.h"
#include "api/LogRedaction.h"
#include "foundation/concurrency/NotificationCenter.h"
#include "foundation/concurrency/NotificationNames.h"
#include "foundation/json/JsonReader.h"
#include "foundation/logging/ConsoleFormat.h"
#include "foundation/logging/KXLog.h"
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

const QString kCloudphoneMuted = QStringLiteral("cloudphone-muted");
const QString kSummarizedMode = QStringLiteral("summarized-mode");
const QString kCloudphoneSize = QStringLiteral("cloudphone-size");
const QString kPositionSort = QStringLiteral("batch-cloundphone-position-sort");
const QString kLoginInfo = QStringLiteral("kxsdk-login-info");
const QString kReduceBitrate = QStringLiteral("reduce-bitrate-mode");
const QString kAccountToken = QStringLiteral("account-user_token");
const QString kCloseDebug = QStringLiteral("close-webview-debug-mode");
const QString kDebug = QStringLiteral("webview-debug-mode");
const QString kSysLocale = QStringLiteral("frontend-sys-locale");

// Keys that take any converted text.
const QStringList kConvertedKeys{
    QStringLiteral("sync-ctl-close-other-devices"), QStringLiteral("sync-time"),
    QStringLiteral("frontend-arrange-cloundphone"), QStringLiteral("cloundphone-position-centre"),
    QStringLiteral("close-panel")};

void warnSettings(const QString& text, const QJsonValue& value) {
    KXLog(text + describeJson(LogRedaction::maskedValue(value)), LogTag::settings,
          LogLevel::warning);
}

bool isTruthy(const std::optional<QString>& text) {
    return text && WebInspectorPolicy::booleanText(*text).value_or(false);
}

}  // namespace

SettingMessageHandler::Environment SettingMessageHandler::Environment::shared() {
    Environment environment;
    environment.settings = &SettingsManager::shared();
    environment.users = &CDYUserTool::shared();
    environment.communicator = &CloudPhoneCommunicator::shared();
    environment.notifications = &NotificationCenter::defaultCenter();
    environment.language = &LanguageManager::shared();
    environment.inspectorEnabledInBundle = [] { return WebInspectorPolicy::isEnabledInBundle(); };
    environment.reply = [](const QJsonValue& value, const QString& requestId) {
        Native2WebMessageSender::shared().sendMacGetResponse(value, requestId);
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

void SettingMessageHandler::store(const QString& key, const QString& text) {
    m_environment.settings->set(text, key);
}

void SettingMessageHandler::set(const Web2NativeMessage& message) {
    const QJsonObject data = message.data.toObject();
    const std::optional<QString> key = JsonReader(data).string(QStringLiteral("key")).optional();
    if (!key) {
        Web2NativeMessage shown = message;
        shown.data = LogRedaction::maskedValue(message.data);
        ConsoleFormat::print(QStringLiteral("❌ 设置参数不完整 ") + describeMessage(shown));
        return;
    }
    const auto found = data.constFind(QStringLiteral("value"));
    const QJsonValue value = found != data.constEnd() ? found.value() : QJsonValue(QString());
    ConsoleFormat::print(
        QStringLiteral("⚙️ 设置: ") + *key + QStringLiteral(" = ") +
        describeJson(LogRedaction::maskedValue(value, LogRedaction::isCredentialKey(*key))));

    if (*key == kCloudphoneMuted) {
        if (value.isString()) {
            ConsoleFormat::print(QStringLiteral("  静音设置: ") + value.toString());
            m_environment.settings->set(value.toString(), SettingKey::cloudphoneMuted);
        }
    } else if (*key == kSummarizedMode) {
        if (value.isString()) {
            m_environment.settings->set(value.toString(), SettingKey::summarizedMode);
        }
    } else if (*key == kCloudphoneSize) {
        const std::optional<QString> text = convertedText(value);
        if (text && isValidWindowSize(*text)) {
            m_environment.settings->set(*text, SettingKey::cloudphoneSize);
        } else {
            warnSettings(QStringLiteral("云手机窗口尺寸无效: "), value);
        }
    } else if (*key == kPositionSort) {
        const std::optional<QString> text = convertedText(value);
        if (text == QLatin1String("true") || text == QLatin1String("false")) {
            m_environment.settings->set(*text, SettingKey::batchCloudphonePositionSort);
        } else {
            warnSettings(QStringLiteral("批量自动排列设置无效: "), value);
        }
    } else if (kConvertedKeys.contains(*key)) {
        if (const std::optional<QString> text = convertedText(value)) {
            store(*key, *text);
        } else {
            warnSettings(QStringLiteral("同步设置值无法序列化: "), value);
        }
    } else if (*key == kLoginInfo) {
        setLoginInfo(value);
    } else if (*key == kReduceBitrate) {
        if (value.isString()) {
            store(*key, value.toString());
            m_environment.notifications->post(NotificationNames::reduceBitrateMode, nullptr,
                                              message.toDictionary().toVariantMap());
        }
    } else if (*key == kAccountToken) {
        if (const std::optional<QString> text = convertedText(value)) {
            m_environment.settings->set(*text, SettingKey::accountUserToken);
        } else {
            warnSettings(QStringLiteral("⚠️ accountUserToken 设置值无法序列化: "),
                         value);
        }
    } else if (*key == kCloseDebug || *key == kDebug) {
        setDebugMode(*key, value);
    } else if (value.isString()) {
        if (*key == kSysLocale) {
            m_environment.language->setLanguage(
                LanguageManager::languageFromRawValue(value.toString())
                    .value_or(LanguageManager::Language::simplifiedChinese));
        }
        store(*key, value.toString());
    }
}

void SettingMessageHandler::setLoginInfo(const QJsonValue& value) {
    if (value.isString()) {
        store(kLoginInfo, value.toString());
    }
    const std::optional<QString> text = convertedText(value);
    if (!text) {
        warnSettings(QStringLiteral("⚠️ kxsdk-login-info 设置值格式错误: "), value);
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

void SettingMessageHandler::setDebugMode(const QString& key, const QJsonValue& value) {
    if (!m_environment.inspectorEnabledInBundle()) {
        m_environment.settings->set(QStringLiteral("true"), SettingKey::closeWebviewDebugMode);
        m_environment.notifications->post(NotificationNames::webViewDebugModeDidChange);
        return;
    }
    const std::optional<QString> text = convertedText(value);
    if (!text) {
        warnSettings(QStringLiteral("⚠️ WebView 调试设置值无法序列化: "), value);
        return;
    }
    store(key, *text);
    m_environment.notifications->post(NotificationNames::webViewDebugModeDidChange);
}

QString SettingMessageHandler::debugModeValue(const QString& key) const {
    const bool enabled = m_environment.inspectorEnabledInBundle();
    const std::optional<QString> closeDebug = m_environment.settings->string(kCloseDebug);
    const std::optional<QString> debug = m_environment.settings->string(kDebug);
    const QString trueText = QStringLiteral("true");
    const QString falseText = QStringLiteral("false");
    if (key == kCloseDebug) {
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

    QString value;
    if (*key == kAccountToken) {
        value = m_environment.settings->string(SettingKey::accountUserToken).value_or(QString());
    } else if (*key == kCloseDebug || *key == kDebug) {
        value = debugModeValue(*key);
    } else if (const std::optional<QString> stored = m_environment.settings->string(*key)) {
        value = *stored;
    } else {
        KXLog(QStringLiteral("🔍 获取不到设置信息: ") + printed, LogTag::web, LogLevel::warning);
    }
    m_environment.reply(value, *requestId);
}
