#pragma once

#include "update/UpdateState.h"

#include <QObject>
#include <QPointer>
#include <QRect>

#include <functional>
#include <memory>

class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;
class UpdateManager;

// The one window of an update: the pending offer with its notes and the buttons to accept or
// postpone it, then the download and each later step, and the outcome. GUI thread only.
class UpdateProgressWindowController : public QObject {
    Q_OBJECT

public:
    static constexpr int kContentWidth = 440;
    static constexpr int kContentHeight = 190;

    struct Layout {
        QRect status;
        QRect detail;
        QRect progress;
        QRect updateButton;
        QRect cancelButton;
    };
    // Where the controls go in the fixed-size content, from their natural heights.
    static Layout layout(int statusHeight, int detailHeight, int progressHeight, int buttonHeight);

    // The buttons act on `manager`; nothing happens once it is gone.
    explicit UpdateProgressWindowController(UpdateManager* manager);
    ~UpdateProgressWindowController() override;

    void render(const UpdateState& state);
    // Shows, raises and centres the window.
    void bringToFront();
    // Hides the window; the update's state stays as it is.
    void close();

    void cancelClicked();
    void updateClicked();

    QWidget* window() const { return m_window.get(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setDetailText(const QString& text);
    void setCloseButtonVisible(bool visible);
    void setBusy(bool busy);
    void setProgressValue(double fraction);

    QPointer<UpdateManager> m_manager;
    std::unique_ptr<QWidget> m_window;
    QLabel* m_statusLabel = nullptr;
    QLabel* m_detailLabel = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QPushButton* m_updateButton = nullptr;
    std::function<void()> m_cancelAction;
    bool m_closeButtonVisible = true;
};
