#pragma once

#include <QString>

#include <array>
#include <optional>

// What the page asks of the client: the "type" of a page message.
// The wire texts are fixed by the page, misspellings included; the case order is fixed too.
enum class Web2NativeMessageType {
    repairWebContent,
    writeLocalLog,
    batchRequestInstall,
    batchRequestPreview,
    batchControlStatus,
    batchControl,
    startUpdate,
    downloadUpdate,
    openBrowser,
    pageLoaded,
    windowMin,
    windowMax,
    windowNormal,
    windowClose,
    addCloudphone,
    requestDeleteCloudphone,
    cloudphoneOpen,
    cloudphoneOpenAtExist,
    closeAllCloudphone,
    closeSelectCloudphone,
    moreCloudphoneOpen,
    requestPasteToCloudphone,
    set,
    get,
    macGet,
    debugInspect,
    debugChangeURL,
    requestDeviceApplication,
    controlDeviceApplication,
    openLog,
    openShoot,
    requestOpenDir,
    loginState,
    showWindFrame,
    openUpload,
    startUpload,
    closeUpload,
    requestUploadLog,
    requestUploadDelItem,
    requestFileURLIsExist,
    clientClipboardData,
    requestCanOpenPrev,
    requestCanOpenMaxPrev,
    requestHasOpenPrev,
    arrangeCloudphone,
    localPreviewPath,
    openNotice,
    currentPage,
    updateCloudphoneUserStatus,
    domainWhitelist,
    encrypt,
    decrypt,
    shieldTitleDblClick,
    keyboardPlan,
    cTips,
    requestCancelDevAuthorize,
    requestStartMacroRecord,
    requestStartMacroCommand,
    requestStopMacroCommand,
    requestOpenMacroRecordVideo,
    requestDeleteMacroCommand,
    requestMacroRecordIsExist,
    outputMacroRecord,
    inputMacroRecord,
    downloadMacroRecord,
    uploadMacroRecord,
    requestOpenNewWindow,
    fromMainToChild,
    fromChildToMain,
    changeWndSize,
};

inline constexpr int kWeb2NativeMessageTypeCount = 70;

// The wire text of a case.
QString web2NativeMessageTypeText(Web2NativeMessageType type);

// The case whose wire text is exactly this text (case-sensitive, untrimmed), else nothing.
std::optional<Web2NativeMessageType> web2NativeMessageTypeFromText(const QString& text);

// Every case, in declaration order.
const std::array<Web2NativeMessageType, kWeb2NativeMessageTypeCount>& allWeb2NativeMessageTypes();
