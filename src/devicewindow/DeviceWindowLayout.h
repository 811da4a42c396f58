#pragma once

#include <QRect>
#include <QSize>

// The device window's view tree: the video viewport at the top left, the right button strip
// beside it, the bottom strip under both and the key-mapping panel along the right edge.
struct DeviceWindowLayout {
    static constexpr int kRightStripWidth = 40;
    static constexpr int kBottomStripHeight = 30;

    QRect mainViewportContainer;
    QRect rightButtonsContainer;
    QRect bottomButtonsContainer;
    QRect keyMappingPanel;

    // A closed panel has width 0, so the strips and the viewport reach the right edge.
    static DeviceWindowLayout compute(const QSize& content, int panelWidth);

    bool operator==(const DeviceWindowLayout&) const = default;
};
