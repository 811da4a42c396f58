#include "sdk/VideoSampleBuffer.h"

VideoSampleBuffer VideoSampleBuffer::decoded(QImage image, MediaTime presentationTime,
                                             bool keyFrame) {
    VideoSampleBuffer buffer;
    buffer.m_format = VideoFormatDescription(VideoCodec::decoded, image.size());
    buffer.m_image = std::move(image);
    buffer.m_presentationTime = presentationTime;
    buffer.m_keyFrame = keyFrame;
    return buffer;
}

VideoSampleBuffer VideoSampleBuffer::encoded(VideoFormatDescription format, QByteArray data,
                                             MediaTime presentationTime, bool keyFrame) {
    VideoSampleBuffer buffer;
    buffer.m_format = format;
    buffer.m_data = std::move(data);
    buffer.m_presentationTime = presentationTime;
    buffer.m_keyFrame = keyFrame;
    return buffer;
}
