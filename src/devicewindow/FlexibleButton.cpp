#include "devicewindow/FlexibleButton.h"

#include <QEvent>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <algorithm>

FlexibleButton::FlexibleButton(QWidget* parent) : QPushButton(parent) {
    setFlat(false);
    m_containerView = new QWidget(this);
    m_containerView->setGeometry(rect());
    m_containerView->setAttribute(Qt::WA_TransparentForMouseEvents);

    m_customImageView = new QLabel(m_containerView);
    m_customImageView->setAlignment(Qt::AlignCenter);

    m_textField = new QLabel(m_containerView);
    m_textField->setAlignment(Qt::AlignCenter);
    m_textField->setTextInteractionFlags(Qt::NoTextInteraction);
    m_textField->setAutoFillBackground(false);
    QFont font = m_textField->font();
    font.setPixelSize(13);
    m_textField->setFont(font);
}

QSizeF FlexibleButton::imageSize() const {
    return icon().isNull() ? QSizeF(0, 0) : QSizeF(customImageSize);
}

QSizeF FlexibleButton::textSize() const {
    return m_textField ? QSizeF(m_textField->sizeHint()) : QSizeF(0, 0);
}

void FlexibleButton::layoutContent() {
    if (!m_containerView || !m_customImageView || !m_textField) {
        return;
    }
    const QPixmap image = icon().isNull() ? QPixmap() : icon().pixmap(customImageSize);
    m_customImageView->setPixmap(image.isNull() ? QPixmap()
                                                : image.scaled(customImageSize, Qt::KeepAspectRatio,
                                                               Qt::SmoothTransformation));
    m_textField->setText(text());
    QPalette palette = m_textField->palette();
    palette.setColor(QPalette::WindowText,
                     this->palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                           QPalette::ButtonText));
    m_textField->setPalette(palette);

    const QSizeF imageSize = this->imageSize();
    const QSizeF textSize = this->textSize();
    const qreal iw = imageSize.width(), ih = imageSize.height();
    const qreal tw = textSize.width(), th = textSize.height();
    const qreal s = spacing;
    const qreal w = std::max(iw, tw);
    const qreal h = std::max(ih, th);

    // Frames inside the container, top-left origin.
    QPointF imageOrigin, textOrigin;
    QSizeF containerSize;
    switch (flexibleImagePosition) {
        case FlexibleImagePosition::top:
            imageOrigin = {(w - iw) / 2, 0};
            textOrigin = {(w - tw) / 2, ih + s};
            containerSize = {w, th + ih + s};
            break;
        case FlexibleImagePosition::bottom:
            imageOrigin = {(w - iw) / 2, th + s};
            textOrigin = {(w - tw) / 2, 0};
            containerSize = {w, th + ih + s};
            break;
        case FlexibleImagePosition::left:
            imageOrigin = {0, (h - ih) / 2};
            textOrigin = {iw + s, (h - th) / 2};
            containerSize = {tw + iw + s, h};
            break;
        case FlexibleImagePosition::right:
            imageOrigin = {tw + s, (h - ih) / 2};
            textOrigin = {0, (h - th) / 2};
            containerSize = {tw + iw + s, h};
            break;
    }
    m_customImageView->setGeometry(QRectF(imageOrigin, imageSize).toRect());
    m_textField->setGeometry(QRectF(textOrigin, textSize).toRect());
    const QPointF containerOrigin((width() - containerSize.width()) / 2,
                                  (height() - containerSize.height()) / 2);
    m_containerView->setGeometry(QRectF(containerOrigin, containerSize).toRect());
}

QSize FlexibleButton::sizeHint() const {
    if (!m_textField) {
        return QPushButton::sizeHint();
    }
    const QSizeF image = imageSize();
    const QSizeF text = textSize();
    QSizeF size;
    if (flexibleImagePosition == FlexibleImagePosition::left ||
        flexibleImagePosition == FlexibleImagePosition::right) {
        size = {text.width() + image.width() + spacing + 32,
                std::max(image.height(), text.height()) + 16};
    } else {
        size = {std::max(image.width(), text.width()) + 32,
                text.height() + image.height() + spacing + 16};
    }
    return size.toSize();
}

void FlexibleButton::paintEvent(QPaintEvent*) {
    // The bezel only: the subviews draw the image and the title.
    layoutContent();
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    option.icon = QIcon();
    painter.drawControl(QStyle::CE_PushButton, option);
}

void FlexibleButton::resizeEvent(QResizeEvent* event) {
    QPushButton::resizeEvent(event);
    layoutContent();
}

void FlexibleButton::changeEvent(QEvent* event) {
    QPushButton::changeEvent(event);
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::FontChange ||
        event->type() == QEvent::PaletteChange) {
        layoutContent();
    }
}
