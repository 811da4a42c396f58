#include "update/UpdateProgressWindowController.h"

#include "update/UpdateManager.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace {

constexpr int kMargin = 28;
constexpr int kTopMargin = 25;
constexpr int kDetailGap = 9;
constexpr int kSectionGap = 18;
constexpr int kButtonWidth = 86;
constexpr int kButtonGap = 10;
constexpr int kProgressSteps = 1000;

}  // namespace

UpdateProgressWindowController::Layout UpdateProgressWindowController::layout(int statusHeight,
                                                                              int detailHeight,
                                                                              int progressHeight,
                                                                              int buttonHeight) {
    Layout result;
    const int width = kContentWidth - 2 * kMargin;
    result.status = QRect(kMargin, kTopMargin, width, statusHeight);
    result.detail = QRect(kMargin, result.status.bottom() + 1 + kDetailGap, width, detailHeight);
    result.progress =
        QRect(kMargin, result.detail.bottom() + 1 + kSectionGap, width, progressHeight);
    const int buttonTop = result.progress.bottom() + 1 + kSectionGap;
    result.updateButton =
        QRect(kContentWidth - kMargin - kButtonWidth, buttonTop, kButtonWidth, buttonHeight);
    result.cancelButton = QRect(result.updateButton.left() - kButtonGap - kButtonWidth, buttonTop,
                                kButtonWidth, buttonHeight);
    return result;
}

UpdateProgressWindowController::UpdateProgressWindowController(UpdateManager* manager)
    : m_manager(manager), m_window(std::make_unique<QWidget>()) {
    m_window->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                             Qt::WindowCloseButtonHint);
    m_window->setWindowTitle(QStringLiteral("应用更新"));
    m_window->setFixedSize(kContentWidth, kContentHeight);
    m_window->installEventFilter(this);

    m_statusLabel = new QLabel(QStringLiteral("准备更新"), m_window.get());
    m_statusLabel->setObjectName(QStringLiteral("statusLabel"));
    QFont statusFont = m_statusLabel->font();
    statusFont.setPixelSize(16);
    statusFont.setWeight(QFont::Medium);
    m_statusLabel->setFont(statusFont);

    m_detailLabel = new QLabel(m_window.get());
    m_detailLabel->setObjectName(QStringLiteral("detailLabel"));
    QPalette secondary = m_detailLabel->palette();
    secondary.setColor(QPalette::WindowText, secondary.color(QPalette::PlaceholderText));
    m_detailLabel->setPalette(secondary);

    m_progress = new QProgressBar(m_window.get());
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setRange(0, kProgressSteps);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);

    m_cancelButton = new QPushButton(QStringLiteral("取消"), m_window.get());
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    m_updateButton = new QPushButton(QStringLiteral("立即更新"), m_window.get());
    m_updateButton->setObjectName(QStringLiteral("updateButton"));
    connect(m_cancelButton, &QPushButton::clicked, this,
            &UpdateProgressWindowController::cancelClicked);
    connect(m_updateButton, &QPushButton::clicked, this,
            &UpdateProgressWindowController::updateClicked);
    m_cancelAction = [manager = QPointer<UpdateManager>(manager)] {
        if (manager) {
            manager->cancel();
        }
    };

    const Layout frames =
        layout(m_statusLabel->sizeHint().height(), m_detailLabel->fontMetrics().height(),
               m_progress->sizeHint().height(), m_updateButton->sizeHint().height());
    m_statusLabel->setGeometry(frames.status);
    m_detailLabel->setGeometry(frames.detail);
    m_progress->setGeometry(frames.progress);
    m_updateButton->setGeometry(frames.updateButton);
    m_cancelButton->setGeometry(frames.cancelButton);
}

UpdateProgressWindowController::~UpdateProgressWindowController() {
    m_window->removeEventFilter(this);
}

void UpdateProgressWindowController::render(const UpdateState& state) {
    using Case = UpdateState::Case;
    if (state.stateCase() == Case::idle) {
        return;
    }
    bringToFront();
    switch (state.stateCase()) {
        case Case::available: {
            const UpdateInfo& offer = *state.info();
            m_statusLabel->setText(QStringLiteral("发现新版本 ") + offer.version);
            setDetailText(offer.releaseNotes && !offer.releaseNotes->isEmpty()
                              ? *offer.releaseNotes
                              : QStringLiteral("准备下载更新"));
            m_progress->hide();
            m_updateButton->show();
            m_updateButton->setEnabled(true);
            m_cancelButton->setVisible(!offer.isMandatory);
            m_cancelButton->setText(QStringLiteral("稍后更新"));
            setCloseButtonVisible(!offer.isMandatory);
            break;
        }
        case Case::downloading: {
            const double fraction = state.fraction().value_or(0);
            m_statusLabel->setText(QStringLiteral("正在下载更新"));
            setDetailText(QStringLiteral("已下载 ") +
                          QString::number(static_cast<int>(fraction * 100)) + QLatin1Char('%'));
            setBusy(false);
            setProgressValue(fraction);
            m_progress->show();
            m_updateButton->hide();
            m_cancelButton->setText(QStringLiteral("取消"));
            m_cancelButton->setEnabled(true);
            setCloseButtonVisible(false);
            break;
        }
        case Case::failed:
            m_statusLabel->setText(QStringLiteral("更新失败"));
            setDetailText(state.error()->message);
            setBusy(false);
            m_progress->show();
            m_updateButton->hide();
            m_cancelButton->setEnabled(false);
            break;
        case Case::verifying:
        case Case::mounting:
        case Case::installing: {
            const bool verifying = state.stateCase() == Case::verifying;
            const bool mounting = state.stateCase() == Case::mounting;
            m_statusLabel->setText(verifying  ? QStringLiteral("正在校验安装包")
                                   : mounting ? QStringLiteral("正在准备安装")
                                              : QStringLiteral("正在安装更新"));
            setDetailText(verifying  ? QStringLiteral("请稍候")
                          : mounting ? QStringLiteral("正在挂载 DMG")
                                     : QStringLiteral("请不要退出应用"));
            setBusy(true);
            m_progress->show();
            m_updateButton->hide();
            m_cancelButton->setEnabled(false);
            break;
        }
        case Case::restarting:
        case Case::completed:
            m_statusLabel->setText(state.stateCase() == Case::restarting
                                       ? QStringLiteral("更新完成，正在重启")
                                       : QStringLiteral("更新完成"));
            setDetailText(state.stateCase() == Case::restarting ? QStringLiteral("应用即将重新打开")
                                                                : QString());
            setBusy(false);
            setProgressValue(1);
            m_progress->show();
            m_updateButton->hide();
            m_cancelButton->setEnabled(false);
            break;
        case Case::cancelled:
            m_statusLabel->setText(QStringLiteral("已取消更新"));
            setDetailText(QString());
            setBusy(false);
            m_progress->show();
            m_updateButton->hide();
            m_cancelButton->setEnabled(false);
            break;
        case Case::idle:
            break;
    }
}

void UpdateProgressWindowController::bringToFront() {
    if (!m_window->isVisible()) {
        m_window->show();
    }
    m_window->raise();
    m_window->activateWindow();
    QScreen* screen = m_window->screen() ? m_window->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        QRect frame = m_window->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        m_window->move(frame.topLeft());
    }
}

void UpdateProgressWindowController::close() {
    m_window->hide();
}

void UpdateProgressWindowController::cancelClicked() {
    if (m_cancelAction) {
        m_cancelAction();
    }
}

void UpdateProgressWindowController::updateClicked() {
    if (!m_manager) {
        return;
    }
    const std::optional<UpdateInfo> offer = m_manager->takePendingUpdate();
    if (offer) {
        m_manager->startDownload(*offer);
    }
}

bool UpdateProgressWindowController::eventFilter(QObject* watched, QEvent* event) {
    // Without a close button (a mandatory offer, a running update) the window manager's close
    // shortcut must not close it either.
    if (watched == m_window.get() && event->type() == QEvent::Close && !m_closeButtonVisible) {
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void UpdateProgressWindowController::setDetailText(const QString& text) {
    // One line, cut at the tail; the whole text stays readable as the tool tip.
    QString oneLine = text;
    oneLine.replace(QLatin1Char('\n'), QLatin1Char(' '));
    m_detailLabel->setText(
        m_detailLabel->fontMetrics().elidedText(oneLine, Qt::ElideRight, m_detailLabel->width()));
    m_detailLabel->setToolTip(m_detailLabel->text() == oneLine ? QString() : text);
}

void UpdateProgressWindowController::setCloseButtonVisible(bool visible) {
    if (visible == m_closeButtonVisible) {
        return;
    }
    m_closeButtonVisible = visible;
    const bool wasVisible = m_window->isVisible();
    m_window->setWindowFlag(Qt::WindowCloseButtonHint, visible);
    if (wasVisible) {
        m_window->show();
    }
}

void UpdateProgressWindowController::setBusy(bool busy) {
    if (busy) {
        m_progress->setRange(0, 0);
    } else if (m_progress->maximum() == 0) {
        m_progress->setRange(0, kProgressSteps);
    }
}

void UpdateProgressWindowController::setProgressValue(double fraction) {
    m_progress->setValue(static_cast<int>(std::clamp(fraction, 0.0, 1.0) * kProgressSteps));
}
