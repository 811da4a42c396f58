#include "devicewindow/CommandProcessor.h"

#include "foundation/NotificationCenter.h"

#include <QVariantMap>

const std::array<CommandProcessor::AspectRatio, 6>& CommandProcessor::allAspectRatios() {
    static const std::array<AspectRatio, 6> ratios = {
        AspectRatio::portrait_9_16, AspectRatio::portrait_3_4,   AspectRatio::square,
        AspectRatio::landscape_4_3, AspectRatio::landscape_16_9, AspectRatio::landscape_21_9,
    };
    return ratios;
}

QString CommandProcessor::rawValue(AspectRatio ratio) {
    switch (ratio) {
        case AspectRatio::portrait_9_16:
            return QStringLiteral("9:16");
        case AspectRatio::portrait_3_4:
            return QStringLiteral("3:4");
        case AspectRatio::square:
            return QStringLiteral("1:1");
        case AspectRatio::landscape_4_3:
            return QStringLiteral("4:3");
        case AspectRatio::landscape_16_9:
            return QStringLiteral("16:9");
        case AspectRatio::landscape_21_9:
            return QStringLiteral("21:9");
    }
    return {};
}

std::optional<CommandProcessor::AspectRatio> CommandProcessor::aspectRatio(
    const QString& rawValue) {
    for (AspectRatio ratio : allAspectRatios()) {
        if (CommandProcessor::rawValue(ratio) == rawValue) {
            return ratio;
        }
    }
    return std::nullopt;
}

double CommandProcessor::ratioValue(AspectRatio ratio) {
    switch (ratio) {
        case AspectRatio::portrait_9_16:
            return 9.0 / 16.0;
        case AspectRatio::portrait_3_4:
            return 3.0 / 4.0;
        case AspectRatio::square:
            return 1.0;
        case AspectRatio::landscape_4_3:
            return 4.0 / 3.0;
        case AspectRatio::landscape_16_9:
            return 16.0 / 9.0;
        case AspectRatio::landscape_21_9:
            return 21.0 / 9.0;
    }
    return 1.0;
}

void CommandProcessor::postAspectRatioCommand(AspectRatio ratio, int deviceID) {
    const QVariantMap userInfo{
        {kAspectRatioKey, QVariant(ratioValue(ratio))},
        {kDeviceIDKey, QVariant(deviceID)},
    };
    NotificationCenter::defaultCenter().post(kAspectRatioCommand, nullptr, userInfo);
}
