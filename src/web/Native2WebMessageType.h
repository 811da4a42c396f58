#pragma once

#include <QString>

#include <optional>
#include <span>

// What the client tells the page: the "type" of a native notification, one row per case: the
// case and its wire text. The texts are fixed by the page, misspellings included; the order is
// fixed too.
// clang-format off
#define KX_NATIVE2WEB_MESSAGE_TYPES(ROW)                                   \
    ROW(batchResponseInstall, "batch-response-install")                    \
    ROW(batchResponsePreview, "batch-response-preview")                    \
    ROW(batchControlStatus, "batch-control-status")                        \
    ROW(openUpload, "open-upload")                                         \
    ROW(responseDeviceApplication, "response-deivce-application")          \
    ROW(downloadUpdateProgress, "download-update-progress")                \
    ROW(restartDevice, "restart-device")                                   \
    ROW(responseTokenAuthFail, "response-token-auth-fail")                 \
    ROW(windowMax, "window-max")                                           \
    ROW(windowNormal, "window-normal")                                     \
    ROW(uploadDetail, "upload-detail")                                     \
    ROW(uploadProgress, "upload-progress")                                 \
    ROW(uploadComplete, "upload-complete")                                 \
    ROW(obsUploadFail, "obs-upload-fail")                                  \
    ROW(uploadState, "upload-state")                                       \
    ROW(pressTitle, "press-title")                                         \
    ROW(releaseKey, "release-key")                                         \
    ROW(uploadLog, "upload-log")                                           \
    ROW(responseShowWindowShortcutKey, "response-showWindow-shortcut-key") \
    ROW(responseShowMessageBox, "response-show-message-box")               \
    ROW(adbLauncherChangeImage, "adb-launcher-changeImage")                \
    ROW(notifyPowerSuspend, "notify-power-suspend")                        \
    ROW(notifyPowerResumeAutomatic, "notify-power-resumeAutomatic")        \
    ROW(showKeyboardSelectPlan, "show-keyboard-select-plan")               \
    ROW(notifyOpenNewCloudphone, "notify-open-new-cloudphone")             \
    ROW(notifyCancelDevAuthorize, "notify-cancel-dev-authorize")           \
    ROW(notifyStopMacroRecord, "notify-stop-macro-record")                 \
    ROW(notifyStopMacro, "notify-stop-macro")                              \
    ROW(fromMainToMacro, "from-main-to-macro")                             \
    ROW(fromMacroToMain, "from-macro-to-main")                             \
    ROW(fromChildToMain, "from-child-to-main")                             \
    ROW(responseInputMacroRecord, "response-input-macro-record")           \
    ROW(responseDownloadMacroRecord, "response-download-macro-record")     \
    ROW(uploadMacroRecordComplete, "upload-macro-record-complete")         \
    ROW(responseMacroRecordIsExist, "response-macro-record-is-exist")      \
    ROW(responseFileURLIsExist, "response-fileurl-isexist")                \
    ROW(responseFileDir, "response-file-dir")                              \
    ROW(responseReportEvent, "response-report-event")                      \
    ROW(responseMacGet, "response-mac-get")
// clang-format on

enum class Native2WebMessageType {
#define KX_CASE(name, text) name,
    KX_NATIVE2WEB_MESSAGE_TYPES(KX_CASE)
#undef KX_CASE
};

// The wire text of a case.
QString native2WebMessageTypeText(Native2WebMessageType type);

// The case whose wire text is exactly this text (case-sensitive, untrimmed), else nothing.
std::optional<Native2WebMessageType> native2WebMessageTypeFromText(const QString& text);

// Every case, in declaration order.
std::span<const Native2WebMessageType> allNative2WebMessageTypes();
