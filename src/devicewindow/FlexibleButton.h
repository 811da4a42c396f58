#pragma once

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSize>
#include <QWidget>

// A push button that draws its own image and title, with the image on any side of the title.
// The button's `text()`, `icon()` and enabled state are the inputs; the position, spacing and
// image size may change at any time and take effect at the next layout pass.
class FlexibleButton : public QPushButton {
    Q_OBJECT

public:
    enum class FlexibleImagePosition { top, bottom, left, right };

    explicit FlexibleButton(QWidget* parent = nullptr);

    FlexibleImagePosition flexibleImagePosition = FlexibleImagePosition::left;
    qreal spacing = 8;
    QSize customImageSize{20, 20};

    QWidget* containerView() const { return m_containerView; }
    QLabel* customImageView() const { return m_customImageView; }
    QLabel* textField() const { return m_textField; }

    // Places the image and title inside the container and centres the container.
    void layoutContent();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QSizeF imageSize() const;
    QSizeF textSize() const;

    QPointer<QWidget> m_containerView;
    QPointer<QLabel> m_customImageView;
    QPointer<QLabel> m_textField;
};
