#pragma once

#include "keymapping/KeyMappingItem.h"

#include <QFrame>

#include <functional>

class QGridLayout;
class QLabel;
class QPushButton;

// The small dark editor that opens beside a key-mapping marker: the item's title over one key
// button (tap and joystick) or a 3 × 3 grid of the four direction keys around "移动" (move).
// A key button's object name says what it binds: the item's UUID text, or that text, "|" and a
// direction's raw value. Closes when the user clicks elsewhere.
class KeyEditorPopup : public QFrame {
    Q_OBJECT

public:
    using CaptureAction = std::function<void(QPushButton* button)>;

    inline static const QSize kMoveSize{170, 178};
    inline static const QSize kTapSize{150, 92};

    KeyEditorPopup(const KeyMappingItem& item, const QString& markerTitle,
                   CaptureAction captureAction, QWidget* parent = nullptr);

    // Beside `anchor`'s right edge, vertically centred on it.
    void showBeside(QWidget* anchor);

    QString titleText() const;
    QList<QPushButton*> keyButtons() const;

    static QString title(const KeyMappingItem& item);
    static QString identifier(const KeyMappingItem& item);
    static QString identifier(const KeyMappingItem& item, KeyMappingDirection direction);
    static QString defaultDirectionTitle(KeyMappingDirection direction);

private:
    QGridLayout* makeDirectionKeyGrid(const KeyMappingItem& item);
    QPushButton* makeDirectionKeyButton(const KeyMappingItem& item, KeyMappingDirection direction);
    QPushButton* makeKeyCaptureButton(const QString& title, const QString& identifier);
    QLabel* directionGridCenterLabel();

    CaptureAction m_captureAction;
    QLabel* m_title = nullptr;
};
