#pragma once

#include "sdk/KXSizeObc.h"

#include <QByteArray>

// A preview picture of a device, encoded in `format` (0 JPEG, 1 WebP, 2 PNG).
class KXImageObc {
public:
    void setImageData(const QByteArray& imageData) { m_imageData = imageData; }
    const QByteArray& imageData() const { return m_imageData; }

    void setSize(const KXSizeObc& size) { m_size = size; }
    const KXSizeObc& size() const { return m_size; }

    void setFormat(int format) { m_format = format; }
    int format() const { return m_format; }

    void setRotation(int rotation) { m_rotation = rotation; }
    int rotation() const { return m_rotation; }

    void setDevice_rotation(int deviceRotation) { m_deviceRotation = deviceRotation; }
    int device_rotation() const { return m_deviceRotation; }

private:
    QByteArray m_imageData;
    KXSizeObc m_size;
    int m_format = 0;
    int m_rotation = 0;
    int m_deviceRotation = 0;
};
