#include "foundation/settings/SettingKey.h"

#include <utility>

namespace {

// Index = case position.
constexpr std::array<const char*, kSettingKeyCount> kKeyTexts = {
    "summarized-mode",
    "close-panel",
    "mac-address",
    "pc-id",
    "cloudphone-size",
    "window-pixi",
    "cloudphone-pix",
    "cloudphone-refresh",
    "used-deivce-application",
    "showWindow-shortcut-key",
    "switch-prev-dev-shortcut-key",
    "switch-next-dev-shortcut-key",
    "cloundphone-position-centre",
    "main-window-scale",
    "cloundphone-direction",
    "can-open-camera",
    "can-open-microphone",
    "preview-auto-refresh",
    "sync-ctl-close-other-devices",
    "sync-time",
    "use-shortkey",
    "use-httpserver-get-prev-pic",
    "screenshotHttpPort",
    "save-shoot-dir",
    "cloundphone-rotate",
    "windows-version",
    "web-version",
    "NVERSION",
    "client-version",
    "pc-channelid",
    "pc-pchannelid",
    "toolbar-order",
    "close-webview-debug-mode",
    "webview-debug-mode",
    "frontend-new-login-info",
    "frontend-new-login-list",
    "kxsdk-login-info",
    "login-usertoken",
    "account-user_token",
    "frontend-sys-locale",
    "frontend-sys-locale-cloud-phone",
    "default_system_language",
    "frontend-fixFoldOpen",
    "frontend-arrange-cloundphone",
    "batch-cloundphone-position-sort",
    "frontend-message-readState-map",
    "frontend-pcDirection",
    "batch-preview-refreshDelay",
    "reduce-bitrate-mode",
    "cloudphone-muted",
};

static_assert(static_cast<int>(SettingKey::cloudphoneMuted) == kSettingKeyCount - 1);

template <std::size_t... I>
constexpr std::array<SettingKey, kSettingKeyCount> makeAllKeys(std::index_sequence<I...>) {
    return {static_cast<SettingKey>(I)...};
}

}  // namespace

QString settingKeyText(SettingKey key) {
    return QString::fromUtf8(kKeyTexts.at(static_cast<std::size_t>(key)));
}

const std::array<SettingKey, kSettingKeyCount>& allSettingKeys() {
    static constexpr auto keys = makeAllKeys(std::make_index_sequence<kSettingKeyCount>{});
    return keys;
}
