#include "devicewindow/ControlButtonStrip.h"

#include <QFontMetrics>
#include <QResizeEvent>
#include <QStyle>

const std::array<ControlButtonID, 12>& allControlButtonIDs() {
    static const std::array<ControlButtonID, 12> ids = {
        ControlButtonID::back,     ControlButtonID::home,     ControlButtonID::overview,
        ControlButtonID::ping,     ControlButtonID::volumeUp, ControlButtonID::volumeDown,
        ControlButtonID::rotation, ControlButtonID::snapshot, ControlButtonID::keyboardMapping,
        ControlButtonID::install,  ControlButtonID::previous, ControlButtonID::next,
    };
    return ids;
}

QString rawValue(ControlButtonID id) {
    switch (id) {
        case ControlButtonID::back:
            return QStringLiteral("back");
        case ControlButtonID::home:
            return QStringLiteral("home");
        case ControlButtonID::overview:
            return QStringLiteral("overview");
        case ControlButtonID::ping:
            return QStringLiteral("ping");
        case ControlButtonID::volumeUp:
            return QStringLiteral("volumeUp");
        case ControlButtonID::volumeDown:
            return QStringLiteral("volumeDown");
        case ControlButtonID::rotation:
            return QStringLiteral("rotation");
        case ControlButtonID::snapshot:
            return QStringLiteral("snapshot");
        case ControlButtonID::keyboardMapping:
            return QStringLiteral("keyboardMapping");
        case ControlButtonID::install:
            return QStringLiteral("install");
        case ControlButtonID::previous:
            return QStringLiteral("previous");
        case ControlButtonID::next:
            return QStringLiteral("next");
    }
    return {};
}

std::optional<ControlButtonID> controlButtonIDFromRawValue(const QString& text) {
    for (ControlButtonID id : allControlButtonIDs()) {
        if (rawValue(id) == text) {
            return id;
        }
    }
    return std::nullopt;
}

ControlButtonStrip::ControlButtonStrip(ControlButtonPlacement placement, QWidget* parent)
    : QWidget(parent), m_placement(placement) {}

void ControlButtonStrip::setButtons(const QList<QAbstractButton*>& buttons, QWidget* holder) {
    for (QObject* child : children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (!widget || buttons.contains(widget)) {
            continue;
        }
        widget->hide();
        if (holder) {
            widget->setParent(holder);
        } else {
            widget->deleteLater();
        }
    }
    m_buttons.clear();
    for (QAbstractButton* button : buttons) {
        if (!button) {
            continue;
        }
        button->setParent(this);
        button->show();
        m_buttons.append(button);
    }
    placeButtons();
}

QList<QAbstractButton*> ControlButtonStrip::buttons() const {
    QList<QAbstractButton*> list;
    for (const auto& button : m_buttons) {
        if (button) {
            list.append(button);
        }
    }
    return list;
}

QList<QRect> ControlButtonStrip::buttonRects(ControlButtonPlacement placement, int count,
                                             const QSize& container) {
    QList<QRect> rects;
    for (int i = 0; i < count; ++i) {
        if (placement == ControlButtonPlacement::right) {
            rects.append(QRect(0, i * (kRightButtonSize + kRightButtonGap), kRightButtonSize,
                               kRightButtonSize));
        } else {
            // Rounded edges so that the buttons meet without gaps and end at the strip's end.
            const int left = qRound(qreal(i) * container.width() / count);
            const int right = qRound(qreal(i + 1) * container.width() / count);
            rects.append(QRect(left, 0, right - left, container.height()));
        }
    }
    return rects;
}

QFont ControlButtonStrip::titleFont(const QFont& base, const QString& title, int width) {
    QFont font = base;
    for (int size = kTitlePixelSize; size >= kSmallestTitlePixelSize; --size) {
        font.setPixelSize(size);
        if (QFontMetrics(font).horizontalAdvance(title) + 2 * kTitleMargin <= width) {
            break;
        }
    }
    return font;
}

void ControlButtonStrip::setRightButtonTitle(QAbstractButton* button, const QString& title) {
    // The style draws the title inside the button's frame and elides what does not fit.
    const int frame = button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
    button->setFont(titleFont(button->font(), title, kRightButtonSize - 2 * frame));
    button->setText(title);
}

void ControlButtonStrip::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeButtons();
}

void ControlButtonStrip::placeButtons() {
    const QList<QAbstractButton*> list = buttons();
    const QList<QRect> rects = buttonRects(m_placement, int(list.size()), size());
    for (int i = 0; i < list.size(); ++i) {
        list.at(i)->setGeometry(rects.at(i));
    }
}
