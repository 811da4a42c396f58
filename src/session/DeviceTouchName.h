#pragma once

#include <QString>

#include <array>

// The device's function keys, in the SDK's order: the SDK code is the position plus one.
enum class DeviceTouchName : int {
    back,
    home,
    overview,
    volumeDown,
    volumeUp,
    power,
    mute,
    keyboardUp,
    keyboardDown,
    keyboardLeft,
    keyboardRight,
    keyboardBackSpace,
    keyboardEnter,
    keyboardDelete,
};

inline constexpr std::array<DeviceTouchName, 14> kAllDeviceTouchNames{
    DeviceTouchName::back,          DeviceTouchName::home,
    DeviceTouchName::overview,      DeviceTouchName::volumeDown,
    DeviceTouchName::volumeUp,      DeviceTouchName::power,
    DeviceTouchName::mute,          DeviceTouchName::keyboardUp,
    DeviceTouchName::keyboardDown,  DeviceTouchName::keyboardLeft,
    DeviceTouchName::keyboardRight, DeviceTouchName::keyboardBackSpace,
    DeviceTouchName::keyboardEnter, DeviceTouchName::keyboardDelete};

enum class DeviceTouchEvent : int {
    downAndUp = 0,
    down = 1,
    up = 2,
};

int sdkCode(DeviceTouchName name);
// The key's display text ("返回", "主页", …).
QString displayText(DeviceTouchName name);
