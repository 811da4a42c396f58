#pragma once

#include <QTimer>
#include <QWidget>

// The spinning indicator shown while a device connects; hidden while it is stopped.
class ConnectionSpinner : public QWidget {
    Q_OBJECT

public:
    explicit ConnectionSpinner(QWidget* parent = nullptr);

    void startAnimation();
    void stopAnimation();
    bool isAnimating() const { return m_timer.isActive(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer m_timer;
    int m_step = 0;
};
