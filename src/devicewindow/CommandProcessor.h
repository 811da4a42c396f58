#pragma once

#include <QString>

#include <array>
#include <optional>

// The aspect-ratio command of the application menu: asks device windows to show their video at
// another ratio. Poster and windows share only the notification name and its two keys; each
// device window observes the name on the default NotificationCenter.
class CommandProcessor {
public:
    enum class AspectRatio {
        portrait_9_16,
        portrait_3_4,
        square,
        landscape_4_3,
        landscape_16_9,
        landscape_21_9,
    };

    inline static const QString kAspectRatioCommand = QStringLiteral("aspectRatioCommand");
    inline static const QString kAspectRatioKey = QStringLiteral("aspectRatio");  // double
    inline static const QString kDeviceIDKey = QStringLiteral("deviceID");        // int, 0: all

    static const std::array<AspectRatio, 6>& allAspectRatios();
    // "9:16", "3:4", "1:1", "4:3", "16:9", "21:9".
    static QString rawValue(AspectRatio ratio);
    // Exactly one of the raw values, else nothing.
    static std::optional<AspectRatio> aspectRatio(const QString& rawValue);
    // Video width divided by height.
    static double ratioValue(AspectRatio ratio);

    // Observers run before this returns.
    static void postAspectRatioCommand(AspectRatio ratio, int deviceID);
};
