#include "web/Native2WebMessageType.h"

#include "web/WireText.h"

namespace {

// Index = case position.
constexpr std::array<const char*, kNative2WebMessageTypeCount> kTexts = {
    "batch-response-install",
    "batch-response-preview",
    "batch-control-status",
    "open-upload",
    "response-deivce-application",
    "download-update-progress",
    "restart-device",
    "response-token-auth-fail",
    "window-max",
    "window-normal",
    "upload-detail",
    "upload-progress",
    "upload-complete",
    "obs-upload-fail",
    "upload-state",
    "press-title",
    "release-key",
    "upload-log",
    "response-showWindow-shortcut-key",
    "response-show-message-box",
    "adb-launcher-changeImage",
    "notify-power-suspend",
    "notify-power-resumeAutomatic",
    "show-keyboard-select-plan",
    "notify-open-new-cloudphone",
    "notify-cancel-dev-authorize",
    "notify-stop-macro-record",
    "notify-stop-macro",
    "from-main-to-macro",
    "from-macro-to-main",
    "from-child-to-main",
    "response-input-macro-record",
    "response-download-macro-record",
    "upload-macro-record-complete",
    "response-macro-record-is-exist",
    "response-fileurl-isexist",
    "response-file-dir",
    "response-report-event",
    "response-mac-get",
};

static_assert(static_cast<int>(Native2WebMessageType::responseMacGet) ==
              kNative2WebMessageTypeCount - 1);

}  // namespace

QString native2WebMessageTypeText(Native2WebMessageType type) {
    return wiretext::textOf(kTexts, type);
}

std::optional<Native2WebMessageType> native2WebMessageTypeFromText(const QString& text) {
    return wiretext::caseOf<Native2WebMessageType>(kTexts, text);
}

const std::array<Native2WebMessageType, kNative2WebMessageTypeCount>& allNative2WebMessageTypes() {
    static constexpr auto types = wiretext::allCases<Native2WebMessageType>(
        std::make_index_sequence<kNative2WebMessageTypeCount>{});
    return types;
}
