#pragma once

#include "sdk/MediaTime.h"
#include "sdk/VideoFormatDescription.h"

#include <QByteArray>
#include <QImage>

// One video frame as a stream hands it to a frame sink: its format, its presentation time, the
// picture (decoded) or its coded bytes, whether it is a key frame (decodable on its own), and
// whether the buffer is valid and its data ready to be read.
class VideoSampleBuffer {
public:
    static VideoSampleBuffer decoded(QImage image, MediaTime presentationTime,
                                     bool keyFrame = true);
    static VideoSampleBuffer encoded(VideoFormatDescription format, QByteArray data,
                                     MediaTime presentationTime, bool keyFrame);

    const VideoFormatDescription& formatDescription() const { return m_format; }
    MediaTime presentationTimeStamp() const { return m_presentationTime; }
    bool isKeyFrame() const { return m_keyFrame; }
    const QImage& image() const { return m_image; }
    const QByteArray& data() const { return m_data; }

    bool isValid() const { return m_valid; }
    void invalidate() { m_valid = false; }
    bool dataIsReady() const { return m_dataReady; }
    void setDataReady(bool ready) { m_dataReady = ready; }

private:
    VideoFormatDescription m_format;
    MediaTime m_presentationTime;
    bool m_keyFrame = false;
    QImage m_image;
    QByteArray m_data;
    bool m_valid = true;
    bool m_dataReady = true;
};
