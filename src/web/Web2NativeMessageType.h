#pragma once

#include <QString>

#include <optional>
#include <span>

// What the page asks of the client: the "type" of a page message, one row per case: the case
// and its wire text. The texts are fixed by the page, misspellings included; the order is fixed
// too.
// clang-format off
#define KX_WEB2NATIVE_MESSAGE_TYPES(ROW)                                \
    ROW(repairWebContent, "repair-web-content")                         \
    ROW(writeLocalLog, "write-local-log")                               \
    ROW(batchRequestInstall, "batch-request-install")                   \
    ROW(batchRequestPreview, "batch-request-preview")                   \
    ROW(batchControlStatus, "batch-control-status")                     \
    ROW(batchControl, "batch-control")                                  \
    ROW(startUpdate, "start-update")                                    \
    ROW(downloadUpdate, "download-update")                              \
    ROW(openBrowser, "open-browser")                                    \
    ROW(pageLoaded, "page-loaded")                                      \
    ROW(windowMin, "window-min")                                        \
    ROW(windowMax, "window-max")                                        \
    ROW(windowNormal, "window-normal")                                  \
    ROW(windowClose, "window-close")                                    \
    ROW(addCloudphone, "add-cloundphone")                               \
    ROW(requestDeleteCloudphone, "request-delete-cloundphone")          \
    ROW(cloudphoneOpen, "cloudphone-open")                              \
    ROW(cloudphoneOpenAtExist, "cloudphone-open-at-exist")              \
    ROW(closeAllCloudphone, "close-all-cloudphone")                     \
    ROW(closeSelectCloudphone, "close-select-cloudphone")               \
    ROW(moreCloudphoneOpen, "more-cloudphone-open")                     \
    ROW(requestPasteToCloudphone, "request-paste-to-cloudphone")        \
    ROW(set, "set")                                                     \
    ROW(get, "get")                                                     \
    ROW(macGet, "mac-get")                                              \
    ROW(debugInspect, "debug-inspect")                                  \
    ROW(debugChangeURL, "debug-change-url")                             \
    ROW(requestDeviceApplication, "request-deivce-application")         \
    ROW(controlDeviceApplication, "control-deivce-application")         \
    ROW(openLog, "open-log")                                            \
    ROW(openShoot, "open-shoot")                                        \
    ROW(requestOpenDir, "request-open-dir")                             \
    ROW(loginState, "loginState")                                       \
    ROW(showWindFrame, "showWindFrame")                                 \
    ROW(openUpload, "open-upload")                                      \
    ROW(startUpload, "start-upload")                                    \
    ROW(closeUpload, "close-upload")                                    \
    ROW(requestUploadLog, "request-upload-log")                         \
    ROW(requestUploadDelItem, "request-upload-del-item")                \
    ROW(requestFileURLIsExist, "request-fileurl-isexist")               \
    ROW(clientClipboardData, "client-clipboardData")                    \
    ROW(requestCanOpenPrev, "request-can-open-prev")                    \
    ROW(requestCanOpenMaxPrev, "request-can-open-max-prev")             \
    ROW(requestHasOpenPrev, "request-has-open-prev")                    \
    ROW(arrangeCloudphone, "arrange-cloundphone")                       \
    ROW(localPreviewPath, "local-preview-path")                         \
    ROW(openNotice, "open-notice")                                      \
    ROW(currentPage, "current-page")                                    \
    ROW(updateCloudphoneUserStatus, "update-cloudphone-userstatus")     \
    ROW(domainWhitelist, "domain-whitelist")                            \
    ROW(encrypt, "encrypt")                                             \
    ROW(decrypt, "decrypt")                                             \
    ROW(shieldTitleDblClick, "shield-title-dbclick")                    \
    ROW(keyboardPlan, "keyboard-plan")                                  \
    ROW(cTips, "c-tips")                                                \
    ROW(requestCancelDevAuthorize, "request-cancel-dev-authorize")      \
    ROW(requestStartMacroRecord, "request-start-macro-record")          \
    ROW(requestStartMacroCommand, "request-start-macro-command")        \
    ROW(requestStopMacroCommand, "request-stop-macro-command")          \
    ROW(requestOpenMacroRecordVideo, "request-open-macro-record-video") \
    ROW(requestDeleteMacroCommand, "request-delete-macro-command")      \
    ROW(requestMacroRecordIsExist, "request-macro-record-is-exist")     \
    ROW(outputMacroRecord, "output-macro-record")                       \
    ROW(inputMacroRecord, "input-macro-record")                         \
    ROW(downloadMacroRecord, "download-macro-record")                   \
    ROW(uploadMacroRecord, "upload-macro-record")                       \
    ROW(requestOpenNewWindow, "request-open-new-window")                \
    ROW(fromMainToChild, "from-main-to-child")                          \
    ROW(fromChildToMain, "from-child-to-main")                          \
    ROW(changeWndSize, "change-wnd-size")
// clang-format on

enum class Web2NativeMessageType {
#define KX_CASE(name, text) name,
    KX_WEB2NATIVE_MESSAGE_TYPES(KX_CASE)
#undef KX_CASE
};

// The wire text of a case.
QString web2NativeMessageTypeText(Web2NativeMessageType type);

// The case whose wire text is exactly this text (case-sensitive, untrimmed), else nothing.
std::optional<Web2NativeMessageType> web2NativeMessageTypeFromText(const QString& text);

// Every case, in declaration order.
std::span<const Web2NativeMessageType> allWeb2NativeMessageTypes();
