#pragma once

#include "keymapping/KeyMappingDirection.h"
#include "keymapping/KeyMappingItem.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QWidget>

#include <functional>
#include <map>
#include <optional>

class QMouseEvent;
class QWheelEvent;

// One key mapping's marker over the device's video while a plan is edited: a pill with the key
// name (tap and joystick) or the stick picture with four direction names (move). It reports
// clicks, drags and wheel turns through its callbacks and knows nothing of plans beyond its
// own bounds; the device window sizes and places it.
//
// The close button (straddling the top-right corner) and the hint below the marker reach past
// its bounds, so they live beside the marker in its parent widget and follow it. Remove markers
// with deleteLater(): the callbacks run inside the marker's own event handling.
class KeyMappingMarkerView : public QWidget {
    Q_OBJECT

public:
    using Action = std::function<void()>;
    using DragAction =
        std::function<void(KeyMappingMarkerView* marker, QMouseEvent* event, bool finished)>;
    using ScrollAction = std::function<void(KeyMappingMarkerView* marker, QWheelEvent* event)>;

    inline static const QString kJoystickImageName = QStringLiteral("keymapping_joystick_marker");

    // A move marker without a direction's title shows W, A, S or D there.
    KeyMappingMarkerView(const QString& title, KeyMappingType type,
                         const std::map<KeyMappingDirection, QString>& moveKeyTitles,
                         QWidget* parent = nullptr);
    ~KeyMappingMarkerView() override;

    Action closeAction;
    Action editAction;       // a press and release without a drag
    Action showCloseAction;  // pointer entered, or a press
    Action hideCloseAction;  // pointer left
    DragAction dragAction;   // each step beyond the tolerance (false), and the release (true)
    ScrollAction scrollAction;
    qreal dragTolerance = 5;  // a press must move farther than this to drag

    void setCloseButtonVisible(bool visible);
    // A conflict shows `message` in yellow below the marker and outlines it in red.
    void setConflictVisible(bool visible, const QString& message);

    KeyMappingType type() const { return m_type; }
    const QString& displayTitle() const { return m_displayTitle; }
    bool isConflictVisible() const { return m_conflictVisible; }
    bool isCloseButtonShown() const { return m_closeButtonShown; }
    bool didDrag() const { return m_didDrag; }
    QLabel* titleLabel() const { return m_titleLabel; }
    QLabel* hintLabel() const { return m_hintLabel; }
    QLabel* imageView() const { return m_imageView; }
    QPushButton* closeButton() const { return m_closeButton; }
    const std::map<KeyMappingDirection, QLabel*>& moveKeyLabels() const { return m_moveKeyLabels; }

    static QString hintText(KeyMappingType type);
    static QPixmap joystickMarkerImage();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void buildDirectionLabels();
    void fitTitle();
    void layoutDirectionLabels();
    void layoutImage();
    void updateCompanions();
    void showHint(bool visible, const QString& text, const QColor& color);
    void reportLeaveUnlessInside();
    QWidget* companionHost();

    KeyMappingType m_type;
    std::map<KeyMappingDirection, QString> m_moveKeyTitles;
    QLabel* m_titleLabel = nullptr;
    QLabel* m_imageView = nullptr;
    std::map<KeyMappingDirection, QLabel*> m_moveKeyLabels;
    // Beside the marker in its parent; guarded, as the parent may delete them first.
    QPointer<QLabel> m_hintLabel;
    QPointer<QPushButton> m_closeButton;
    bool m_hintShown = false;
    bool m_closeButtonShown = false;
    bool m_conflictVisible = false;
    bool m_didDrag = false;
    std::optional<QPointF> m_mouseDownPoint;
    QString m_displayTitle;
};
