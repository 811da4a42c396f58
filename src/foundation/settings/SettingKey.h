#pragma once

#include <QString>

#include <array>

// The client's persistent setting names. The raw text of each case is the key it is stored
// under; the texts are fixed (the page and earlier installations use them as written).
enum class SettingKey {
    summarizedMode,
    closePanel,
    macAddress,
    pcId,
    cloudphoneSize,
    windowPixi,
    cloudphonePix,
    cloudphoneRefresh,
    usedDeviceApplication,
    showWindowShortcutKey,
    switchPrevDevShortcutKey,
    switchNextDevShortcutKey,
    cloudphonePositionCentre,
    mainWindowScale,
    cloudphoneDirection,
    canOpenCamera,
    canOpenMicrophone,
    previewAutoRefresh,
    syncCtlCloseOtherDevices,
    syncTime,
    useShortkey,
    useHttpserverGetPrevPic,
    screenshotHttpPort,
    saveShootDir,
    cloudphoneRotate,
    windowsVersion,
    webVersion,
    nVersion,
    clientVersion,
    pcChannelId,
    pcPChannelId,
    toolbarOrder,
    closeWebviewDebugMode,
    webviewDebugMode,
    frontendNewLoginInfo,
    frontendNewLoginList,
    kxsdkLoginInfo,
    loginUsertoken,
    accountUserToken,
    frontendSysLocale,
    frontendSysLocaleCloudPhone,
    defaultSystemLanguage,
    frontendFixFoldOpen,
    frontendArrangeCloudphone,
    batchCloudphonePositionSort,
    frontendMessageReadStateMap,
    frontendPcDirection,
    batchPreviewRefreshDelay,
    reduceBitrateMode,
    cloudphoneMuted,
};

inline constexpr int kSettingKeyCount = 50;

// The stored key text of a case.
QString settingKeyText(SettingKey key);

// Every case, in declaration order.
const std::array<SettingKey, kSettingKeyCount>& allSettingKeys();
