#pragma once

#include <QSize>
#include <QString>

// How the frames of a stream are coded. `decoded` frames carry their picture; the others carry
// the coded bytes of one picture each.
enum class VideoCodec {
    decoded,
    jpeg,
    png,
};

// What a stream's frames are until the next description: their coding and picture size.
class VideoFormatDescription {
public:
    VideoFormatDescription() = default;
    VideoFormatDescription(VideoCodec codec, QSize dimensions)
        : m_codec(codec), m_dimensions(dimensions) {}

    VideoCodec codec() const { return m_codec; }
    QSize dimensions() const { return m_dimensions; }
    QString description() const;

    bool operator==(const VideoFormatDescription&) const = default;

private:
    VideoCodec m_codec = VideoCodec::decoded;
    QSize m_dimensions;
};
