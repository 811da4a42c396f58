#pragma once

#include <QPointer>
#include <QWidget>

class ControlButtonStrip;
class QMainWindow;

// The view tree of one device window. The window makes the views and fills this in as it
// builds them; its parts read the views from here, so a part made before a view sees it once it
// exists. The window owns every view.
struct DeviceWindowViews {
    QPointer<QMainWindow> window;
    QPointer<QWidget> contentView;
    QPointer<QWidget> mainViewportContainer;
    // The video area: the stream's player and the key-mapping markers sit in it.
    QPointer<QWidget> mainView;
    QPointer<ControlButtonStrip> rightButtonsContainer;
    QPointer<ControlButtonStrip> bottomButtonsContainer;
    QPointer<QWidget> keyMappingPanel;
    // Holds the buttons that no strip shows, hidden.
    QPointer<QWidget> unplacedButtons;

    // Keys go to the window's keyboard focus again (the content's focus proxy once the window
    // took keys), where key mapping hears them first.
    void focusContentView() const {
        if (contentView) {
            contentView->setFocus(Qt::OtherFocusReason);
        }
    }
};
