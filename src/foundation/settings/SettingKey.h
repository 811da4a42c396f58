#pragma once

#include <QString>

#include <optional>
#include <span>

// The client's persistent setting names, one row per case: the case and the key it is stored
// under. The texts are fixed (the page and earlier installations use them as written).
// clang-format off
#define KX_SETTING_KEYS(ROW)                                            \
    ROW(summarizedMode, "summarized-mode")                              \
    ROW(closePanel, "close-panel")                                      \
    ROW(macAddress, "mac-address")                                      \
    ROW(pcId, "pc-id")                                                  \
    ROW(cloudphoneSize, "cloudphone-size")                              \
    ROW(windowPixi, "window-pixi")                                      \
    ROW(cloudphonePix, "cloudphone-pix")                                \
    ROW(cloudphoneRefresh, "cloudphone-refresh")                        \
    ROW(usedDeviceApplication, "used-deivce-application")               \
    ROW(showWindowShortcutKey, "showWindow-shortcut-key")               \
    ROW(switchPrevDevShortcutKey, "switch-prev-dev-shortcut-key")       \
    ROW(switchNextDevShortcutKey, "switch-next-dev-shortcut-key")       \
    ROW(cloudphonePositionCentre, "cloundphone-position-centre")        \
    ROW(mainWindowScale, "main-window-scale")                           \
    ROW(cloudphoneDirection, "cloundphone-direction")                   \
    ROW(canOpenCamera, "can-open-camera")                               \
    ROW(canOpenMicrophone, "can-open-microphone")                       \
    ROW(previewAutoRefresh, "preview-auto-refresh")                     \
    ROW(syncCtlCloseOtherDevices, "sync-ctl-close-other-devices")       \
    ROW(syncTime, "sync-time")                                          \
    ROW(useShortkey, "use-shortkey")                                    \
    ROW(useHttpserverGetPrevPic, "use-httpserver-get-prev-pic")         \
    ROW(screenshotHttpPort, "screenshotHttpPort")                       \
    ROW(saveShootDir, "save-shoot-dir")                                 \
    ROW(cloudphoneRotate, "cloundphone-rotate")                         \
    ROW(windowsVersion, "windows-version")                              \
    ROW(webVersion, "web-version")                                      \
    ROW(nVersion, "NVERSION")                                           \
    ROW(clientVersion, "client-version")                                \
    ROW(pcChannelId, "pc-channelid")                                    \
    ROW(pcPChannelId, "pc-pchannelid")                                  \
    ROW(toolbarOrder, "toolbar-order")                                  \
    ROW(closeWebviewDebugMode, "close-webview-debug-mode")              \
    ROW(webviewDebugMode, "webview-debug-mode")                         \
    ROW(frontendNewLoginInfo, "frontend-new-login-info")                \
    ROW(frontendNewLoginList, "frontend-new-login-list")                \
    ROW(kxsdkLoginInfo, "kxsdk-login-info")                             \
    ROW(loginUsertoken, "login-usertoken")                              \
    ROW(accountUserToken, "account-user_token")                         \
    ROW(frontendSysLocale, "frontend-sys-locale")                       \
    ROW(frontendSysLocaleCloudPhone, "frontend-sys-locale-cloud-phone") \
    ROW(defaultSystemLanguage, "default_system_language")               \
    ROW(frontendFixFoldOpen, "frontend-fixFoldOpen")                    \
    ROW(frontendArrangeCloudphone, "frontend-arrange-cloundphone")      \
    ROW(batchCloudphonePositionSort, "batch-cloundphone-position-sort") \
    ROW(frontendMessageReadStateMap, "frontend-message-readState-map")  \
    ROW(frontendPcDirection, "frontend-pcDirection")                    \
    ROW(batchPreviewRefreshDelay, "batch-preview-refreshDelay")         \
    ROW(reduceBitrateMode, "reduce-bitrate-mode")                       \
    ROW(cloudphoneMuted, "cloudphone-muted")
// clang-format on

enum class SettingKey {
#define KX_CASE(name, text) name,
    KX_SETTING_KEYS(KX_CASE)
#undef KX_CASE
};

// The stored key text of a case.
QString settingKeyText(SettingKey key);

// The case stored under exactly this text (case-sensitive, untrimmed), else nothing.
std::optional<SettingKey> settingKeyFromText(const QString& text);

// Every case, in declaration order.
std::span<const SettingKey> allSettingKeys();
