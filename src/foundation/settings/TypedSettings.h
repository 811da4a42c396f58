#pragma once

#include "foundation/settings/SettingKey.h"

#include <QLatin1StringView>

#include <limits>
#include <span>

// How a stored text is compared with the texts a yes-or-no setting lists.
enum class TextMatch {
    exact,
    lowerCased,         // the stored text lower-cased first
    trimmedLowerCased,  // the stored text trimmed of white space, then lower-cased
};

// A setting read as yes or no: a stored text that matches one of `texts` reads as `matchMeans`,
// any other stored text as its opposite, and nothing stored as `whenAbsent`.
struct BooleanSetting {
    SettingKey key;
    std::span<const QLatin1StringView> texts;
    TextMatch match;
    bool matchMeans;
    bool whenAbsent;
};

// A setting read as a decimal number (QString::toDouble); nothing stored, a text that is no
// number and NaN read as nothing. Out of [minimum, maximum] a number is moved to the nearer end
// when `clampsIntoRange`, else it reads as nothing.
struct NumberSetting {
    SettingKey key;
    double minimum;
    double maximum;
    bool clampsIntoRange;
    // Otherwise a text with white space around the number reads as nothing.
    bool ignoresSpaceAround;
};

// Each setting that is read as yes or no or as a number, with the one rule its readers apply.
namespace TypedSettings {

inline constexpr QLatin1StringView kOff[] = {QLatin1StringView("off")};
inline constexpr QLatin1StringView kOn[] = {QLatin1StringView("on")};
inline constexpr QLatin1StringView kOnTrueOrOne[] = {
    QLatin1StringView("on"), QLatin1StringView("true"), QLatin1StringView("1")};
inline constexpr QLatin1StringView kTrue[] = {QLatin1StringView("true")};
inline constexpr QLatin1StringView kMin[] = {QLatin1StringView("min")};

// A device window's stream is muted unless the page wrote exactly "off".
inline constexpr BooleanSetting streamMuted{.key = SettingKey::cloudphoneMuted,
                                            .texts = kOff,
                                            .match = TextMatch::exact,
                                            .matchMeans = false,
                                            .whenAbsent = true};

// Idle device windows lower their quality instead of disconnecting.
inline constexpr BooleanSetting reduceBitrateMode{.key = SettingKey::reduceBitrateMode,
                                                  .texts = kOnTrueOrOne,
                                                  .match = TextMatch::trimmedLowerCased,
                                                  .matchMeans = true,
                                                  .whenAbsent = false};

// A new device window is centred, else cascaded from the last visible one.
inline constexpr BooleanSetting centreNewWindows{.key = SettingKey::cloudphonePositionCentre,
                                                 .texts = kOff,
                                                 .match = TextMatch::lowerCased,
                                                 .matchMeans = false,
                                                 .whenAbsent = true};

// The batch input-sync control closes the other device windows, keeping the main device's.
inline constexpr BooleanSetting closeOtherDevicesOnSync{.key = SettingKey::syncCtlCloseOtherDevices,
                                                        .texts = kOn,
                                                        .match = TextMatch::exact,
                                                        .matchMeans = true,
                                                        .whenAbsent = true};

// Device windows opened together are arranged (tiled).
inline constexpr BooleanSetting arrangeBatchOpenedWindows{
    .key = SettingKey::batchCloudphonePositionSort,
    .texts = kTrue,
    .match = TextMatch::lowerCased,
    .matchMeans = true,
    .whenAbsent = true};

// Closing the main window minimises it instead of quitting.
inline constexpr BooleanSetting minimiseOnClose{.key = SettingKey::closePanel,
                                                .texts = kMin,
                                                .match = TextMatch::lowerCased,
                                                .matchMeans = true,
                                                .whenAbsent = false};

// Seconds before input is replayed on the input-sync devices.
inline constexpr NumberSetting syncDelaySeconds{.key = SettingKey::syncTime,
                                                .minimum = 0,
                                                .maximum = 1000,
                                                .clampsIntoRange = true,
                                                .ignoresSpaceAround = true};

// The size the page chose for device windows: a finite number above 0, nothing around it.
inline constexpr NumberSetting windowSize{.key = SettingKey::cloudphoneSize,
                                          .minimum = std::numeric_limits<double>::denorm_min(),
                                          .maximum = std::numeric_limits<double>::max(),
                                          .clampsIntoRange = false,
                                          .ignoresSpaceAround = false};

}  // namespace TypedSettings
