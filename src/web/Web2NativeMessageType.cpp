#include "web/Web2NativeMessageType.h"

#include "web/WireText.h"

namespace {

// Index = case position.
constexpr std::array<const char*, kWeb2NativeMessageTypeCount> kTexts = {
    "repair-web-content",
    "write-local-log",
    "batch-request-install",
    "batch-request-preview",
    "batch-control-status",
    "batch-control",
    "start-update",
    "download-update",
    "open-browser",
    "page-loaded",
    "window-min",
    "window-max",
    "window-normal",
    "window-close",
    "add-cloundphone",
    "request-delete-cloundphone",
    "cloudphone-open",
    "cloudphone-open-at-exist",
    "close-all-cloudphone",
    "close-select-cloudphone",
    "more-cloudphone-open",
    "request-paste-to-cloudphone",
    "set",
    "get",
    "mac-get",
    "debug-inspect",
    "debug-change-url",
    "request-deivce-application",
    "control-deivce-application",
    "open-log",
    "open-shoot",
    "request-open-dir",
    "loginState",
    "showWindFrame",
    "open-upload",
    "start-upload",
    "close-upload",
    "request-upload-log",
    "request-upload-del-item",
    "request-fileurl-isexist",
    "client-clipboardData",
    "request-can-open-prev",
    "request-can-open-max-prev",
    "request-has-open-prev",
    "arrange-cloundphone",
    "local-preview-path",
    "open-notice",
    "current-page",
    "update-cloudphone-userstatus",
    "domain-whitelist",
    "encrypt",
    "decrypt",
    "shield-title-dbclick",
    "keyboard-plan",
    "c-tips",
    "request-cancel-dev-authorize",
    "request-start-macro-record",
    "request-start-macro-command",
    "request-stop-macro-command",
    "request-open-macro-record-video",
    "request-delete-macro-command",
    "request-macro-record-is-exist",
    "output-macro-record",
    "input-macro-record",
    "download-macro-record",
    "upload-macro-record",
    "request-open-new-window",
    "from-main-to-child",
    "from-child-to-main",
    "change-wnd-size",
};

static_assert(static_cast<int>(Web2NativeMessageType::changeWndSize) ==
              kWeb2NativeMessageTypeCount - 1);

}  // namespace

QString web2NativeMessageTypeText(Web2NativeMessageType type) {
    return wiretext::textOf(kTexts, type);
}

std::optional<Web2NativeMessageType> web2NativeMessageTypeFromText(const QString& text) {
    return wiretext::caseOf<Web2NativeMessageType>(kTexts, text);
}

const std::array<Web2NativeMessageType, kWeb2NativeMessageTypeCount>& allWeb2NativeMessageTypes() {
    static constexpr auto types = wiretext::allCases<Web2NativeMessageType>(
        std::make_index_sequence<kWeb2NativeMessageTypeCount>{});
    return types;
}
