#pragma once

#include <QString>

#include <array>
#include <optional>

// What the client tells the page: the "type" of a native notification.
// The wire texts are fixed by the page, misspellings included; the case order is fixed too.
enum class Native2WebMessageType {
    batchResponseInstall,
    batchResponsePreview,
    batchControlStatus,
    openUpload,
    responseDeviceApplication,
    downloadUpdateProgress,
    restartDevice,
    responseTokenAuthFail,
    windowMax,
    windowNormal,
    uploadDetail,
    uploadProgress,
    uploadComplete,
    obsUploadFail,
    uploadState,
    pressTitle,
    releaseKey,
    uploadLog,
    responseShowWindowShortcutKey,
    responseShowMessageBox,
    adbLauncherChangeImage,
    notifyPowerSuspend,
    notifyPowerResumeAutomatic,
    showKeyboardSelectPlan,
    notifyOpenNewCloudphone,
    notifyCancelDevAuthorize,
    notifyStopMacroRecord,
    notifyStopMacro,
    fromMainToMacro,
    fromMacroToMain,
    fromChildToMain,
    responseInputMacroRecord,
    responseDownloadMacroRecord,
    uploadMacroRecordComplete,
    responseMacroRecordIsExist,
    responseFileURLIsExist,
    responseFileDir,
    responseReportEvent,
    responseMacGet,
};

inline constexpr int kNative2WebMessageTypeCount = 39;

// The wire text of a case.
QString native2WebMessageTypeText(Native2WebMessageType type);

// The case whose wire text is exactly this text (case-sensitive, untrimmed), else nothing.
std::optional<Native2WebMessageType> native2WebMessageTypeFromText(const QString& text);

// Every case, in declaration order.
const std::array<Native2WebMessageType, kNative2WebMessageTypeCount>& allNative2WebMessageTypes();
