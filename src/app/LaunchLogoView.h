#pragma once

#include <QPixmap>
#include <QWidget>

// The launch screen's logo: the application's icon, or a plain app symbol when there is none,
// drawn at a scale and opacity the entrance animation drives.
class LaunchLogoView : public QWidget {
    Q_OBJECT

public:
    explicit LaunchLogoView(QWidget* parent = nullptr);

    bool showsSymbol() const { return m_icon.isNull(); }
    void setScale(double scale);
    void setOpacity(double opacity);
    double opacity() const { return m_opacity; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_icon;
    double m_scale = 1.0;
    double m_opacity = 1.0;
};
