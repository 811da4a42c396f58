#include "devicewindow/DeviceWindowLayout.h"

#include <algorithm>

DeviceWindowLayout DeviceWindowLayout::compute(const QSize& content, int panelWidth) {
    const int width = std::max(content.width(), 0);
    const int height = std::max(content.height(), 0);
    const int panel = std::clamp(panelWidth, 0, width);
    const int stripsRight = width - panel;
    const int bottomTop = std::max(height - kBottomStripHeight, 0);
    const int rightLeft = std::max(stripsRight - kRightStripWidth, 0);

    DeviceWindowLayout layout;
    layout.keyMappingPanel = QRect(stripsRight, 0, panel, height);
    layout.rightButtonsContainer = QRect(rightLeft, 0, stripsRight - rightLeft, bottomTop);
    layout.bottomButtonsContainer = QRect(0, bottomTop, stripsRight, height - bottomTop);
    layout.mainViewportContainer = QRect(0, 0, rightLeft, bottomTop);
    return layout;
}
