#pragma once

#include <QtGlobal>

// One contact on the device's screen: coordinates normalised to 0..1 in the device's own
// orientation (not clamped), and the contact's index.
class KXTouchObc {
public:
    KXTouchObc() = default;
    KXTouchObc(float x, float y, qint32 index) : m_x(x), m_y(y), m_index(index) {}

    void setX(float x) { m_x = x; }
    float x() const { return m_x; }

    void setY(float y) { m_y = y; }
    float y() const { return m_y; }

    void setIndex(qint32 index) { m_index = index; }
    qint32 index() const { return m_index; }

    bool operator==(const KXTouchObc&) const = default;

private:
    float m_x = 0;
    float m_y = 0;
    qint32 m_index = 0;
};
