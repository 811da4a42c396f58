#include "session/SnapshotOptions.h"

#include "foundation/logging/ConsoleFormat.h"

std::optional<ImageFormat> imageFormatFromRaw(qint64 raw) {
    switch (raw) {
        case 0:
            return ImageFormat::jpeg;
        case 1:
            return ImageFormat::webP;
        case 2:
            return ImageFormat::png;
        default:
            return std::nullopt;
    }
}

QString SnapshotOptions::description() const {
    static const QString formats[] = {QStringLiteral("jpeg"), QStringLiteral("webP"),
                                      QStringLiteral("png")};
    return QStringLiteral("SnapshotOptions(size: (%1, %2), quality: %3, format: %4)")
        .arg(size.width())
        .arg(size.height())
        .arg(quality)
        .arg(formats[static_cast<int>(format)]);
}

SnapshotInfo SnapshotInfo::fromImage(const KXImageObc& image) {
    ConsoleFormat::print(QStringLiteral("obj.rotation:%1, deviceOrientation:%2")
                             .arg(image.rotation())
                             .arg(image.device_rotation()));
    SnapshotInfo info;
    info.options.size = QSizeF(image.size().width(), image.size().height());
    info.options.quality = -1;
    info.options.format = image.format() == 1   ? ImageFormat::webP
                          : image.format() == 2 ? ImageFormat::png
                                                : ImageFormat::jpeg;
    if (!image.imageData().isNull()) {
        info.data = image.imageData();
    }
    info.rotation = image.rotation();
    info.deviceOrientation = image.device_rotation();
    return info;
}
