#pragma once

#include <QAbstractButton>
#include <QFont>
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
    static constexpr int kTitlePixelSize = 10;
    static constexpr int kSmallestTitlePixelSize = 7;
    // Room kept free on either side of a title, so that no title runs from edge to edge.
    static constexpr int kTitleMargin = 2;

    explicit ControlButtonStrip(ControlButtonPlacement placement, QWidget* parent = nullptr);

    ControlButtonPlacement placement() const { return m_placement; }

    // Replaces the strip's content with these buttons, in order. Widgets that were in the strip
    // and are not among them are hidden and handed to `holder`.
    void setButtons(const QList<QAbstractButton*>& buttons, QWidget* holder);
    QList<QAbstractButton*> buttons() const;

    // Where the strip's buttons go, in order, in a container of that size.
    static QList<QRect> buttonRects(ControlButtonPlacement placement, int count,
                                    const QSize& container);
    // `base` at the title size, or smaller where the title would not fit whole into a label
    // `width` wide with the margins kept; never below the smallest title size.
    static QFont titleFont(const QFont& base, const QString& title, int width);
    // Gives a button of the right strip its title, in the font that fits it whole.
    static void setRightButtonTitle(QAbstractButton* button, const QString& title);

    // Puts the buttons where the strip's size has them. A hidden strip gets no resize events,
    // so whoever sizes it while hidden calls this.
    void placeButtons();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    ControlButtonPlacement m_placement;
    QList<QPointer<QAbstractButton>> m_buttons;
};
