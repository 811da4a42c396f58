#pragma once

#include "keymapping/KeyMappingItem.h"

#include <QPointF>
#include <QSizeF>
#include <QWidget>

#include <functional>
#include <optional>

class KeyMappingMarkerView;

// The transparent layer over a device's video that holds the key-mapping markers. It covers its
// parent and follows its size. While marker interaction is off, mouse events pass through it
// (and its markers) to the video below.
class KeyMappingOverlayView : public QWidget {
    Q_OBJECT

public:
    // Where a marker's diagnostic line says it went.
    struct PointTrace {
        std::optional<QPointF> rawTouch;
        std::optional<QPointF> playerPoint;
        std::optional<QPointF> mainViewPoint;
        QPointF unclamped;
        QPointF final;
        QSizeF bounds;
    };

    static constexpr qreal kMarkerHeight = 42;

    explicit KeyMappingOverlayView(QWidget* parent = nullptr);

    bool allowsMarkerInteraction() const { return m_allowsMarkerInteraction; }
    void setAllowsMarkerInteraction(bool allows);

    // The markers in the order they were added.
    QList<KeyMappingMarkerView*> markers() const;
    KeyMappingMarkerView* marker(const QString& identifier) const;
    // Removed later, as a marker's own callback may be running.
    void removeMarkers();

    // Takes the parent's size now; a hidden parent reports its resizes only once shown.
    void fitToParent();
    // Runs after the layer took its parent's new size.
    std::function<void()> onBoundsChanged;

    // A normalised point (clamped to 0...1) in bounds whose sides count as at least 1; y runs
    // from the top and the bounds' origin is not added.
    static QPointF layoutPoint(const QPointF& normalized, const QSizeF& bounds);
    static QPointF unclampedLayoutPoint(const QPointF& normalized, const QSizeF& bounds);
    static qreal markerDiameter(const KeyMappingItem& item);
    static qreal markerWidth(const KeyMappingItem& item);
    // "up:W(mac:13,win:87)"; "nil" for what is missing.
    static QString directionBindingDescription(KeyMappingDirection direction,
                                               const KeyMappingItem& item);
    static QString markerDirectionSummary(const KeyMappingItem& item);
    static QString markerLogLine(const KeyMappingItem& item, const PointTrace& trace);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool m_allowsMarkerInteraction = true;
};
