#pragma once

#include <QAbstractButton>
#include <QHashFunctions>
#include <QList>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include <array>
#include <optional>

// The device window's control buttons, in the order they are described and built.
enum class ControlButtonID {
    back,
    home,
    overview,
    ping,
    volumeUp,
    volumeDown,
    rotation,
    snapshot,
    keyboardMapping,
    install,
    previous,
    next,
};

enum class ControlButtonPlacement { bottom, right };

const std::array<ControlButtonID, 12>& allControlButtonIDs();
QString rawValue(ControlButtonID id);
std::optional<ControlButtonID> controlButtonIDFromRawValue(const QString& text);

inline size_t qHash(ControlButtonID id, size_t seed = 0) noexcept {
    return ::qHash(rawValue(id), seed);
}

// One strip of control buttons beside the video. The bottom strip shares its width equally
// among its buttons; the right strip stacks 40 × 40 buttons 6 apart from the top.
class ControlButtonStrip : public QWidget {
    Q_OBJECT

public:
    static constexpr int kRightButtonSize = 40;
    static constexpr int kRightButtonGap = 6;

    explicit ControlButtonStrip(ControlButtonPlacement placement, QWidget* parent = nullptr);

    ControlButtonPlacement placement() const { return m_placement; }

    // Replaces the strip's content with these buttons, in order. Widgets that were in the strip
    // and are not among them are hidden and handed to `holder`.
    void setButtons(const QList<QAbstractButton*>& buttons, QWidget* holder);
    QList<QAbstractButton*> buttons() const;

    // Where the strip's buttons go, in order, in a container of that size.
    static QList<QRect> buttonRects(ControlButtonPlacement placement, int count,
                                    const QSize& container);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void placeButtons();

    ControlButtonPlacement m_placement;
    QList<QPointer<QAbstractButton>> m_buttons;
};
