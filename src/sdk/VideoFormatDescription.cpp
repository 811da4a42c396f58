#include "sdk/VideoFormatDescription.h"

namespace {

QString codecName(VideoCodec codec) {
    switch (codec) {
        case VideoCodec::decoded:
            return QStringLiteral("decoded");
        case VideoCodec::jpeg:
            return QStringLiteral("jpeg");
        case VideoCodec::png:
            return QStringLiteral("png");
    }
    return QStringLiteral("unknown");
}

}  // namespace

QString VideoFormatDescription::description() const {
    return QStringLiteral("<VideoFormatDescription codec=%1 dimensions=%2x%3>")
        .arg(codecName(m_codec))
        .arg(m_dimensions.width())
        .arg(m_dimensions.height());
}
