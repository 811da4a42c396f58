#pragma once

#include <QString>
#include <QtGlobal>

class KXSizeObc {
public:
    KXSizeObc() = default;
    KXSizeObc(quint32 width, quint32 height) : m_width(width), m_height(height) {}

    void setWidth(quint32 width) { m_width = width; }
    quint32 width() const { return m_width; }

    void setHeight(quint32 height) { m_height = height; }
    quint32 height() const { return m_height; }

    QString description() const {
        return QStringLiteral("KXSizeObc(width: %1, height: %2)").arg(m_width).arg(m_height);
    }

    bool operator==(const KXSizeObc&) const = default;

private:
    quint32 m_width = 0;
    quint32 m_height = 0;
};
