// The application delegate's windows: the main window, the launch window and the fade between.
#include "app/AppDelegate.h"

#include "app/LaunchViewController.h"
#include "app/MainWindow.h"
#include "foundation/concurrency/MainQueue.h"
#include "foundation/logging/KXLog.h"
#include "foundation/settings/SettingsManager.h"

#include <QGuiApplication>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QScreen>
#include <QVBoxLayout>

namespace {

void centreOnScreen(QWidget* window) {
    if (const QScreen* screen = window->screen()) {
        window->move(screen->availableGeometry().center() -
                     QPoint(window->width() / 2, window->height() / 2));
    }
}

void orderFront(QWidget* window) {
    window->show();
    window->raise();
    window->activateWindow();
}

// Whether the platform sets a window's opacity: X does; Wayland and the offscreen platform only
// warn on each change, so there windows are shown at once instead of fading.
bool canFadeWindows() {
    return QGuiApplication::platformName() == QStringLiteral("xcb");
}

}  // namespace

MainWindow* AppDelegate::buildMainWindow() {
    LogInfo(QStringLiteral("🔨 创建主窗口"), LogTag::window);
    MainWindow::Actions actions;
    actions.checkForUpdates = [this] { checkForUpdates(); };
    actions.newWindow = [this] { newWindow(); };
    actions.setAspectRatio = [this](const QVariant& value) { setAspectRatio(value); };
    actions.windowShouldClose = [this] { return windowShouldClose(); };
    auto* mainWindow =
        new MainWindow(std::move(actions), new WebViewController(m_options.mainWebViewFactory));
    mainWindow->setWindowTitle(QStringLiteral("Corvane"));
    mainWindow->resize(MainWindow::kContentSize);
    centreOnScreen(mainWindow);
    if (canFadeWindows()) {
        mainWindow->setWindowOpacity(0.0);
    }
    LogInfo(QStringLiteral("✅ 主窗口已创建（未显示）"), LogTag::window);
    return mainWindow;
}

void AppDelegate::openMainWindow() {
    MainWindow* mainWindow = buildMainWindow();
    if (canFadeWindows()) {
        mainWindow->setWindowOpacity(1.0);
    }
    orderFront(mainWindow);
    m_window = mainWindow;
}

QWidget* AppDelegate::buildLaunchWindow(const QString& urlString, const QString& webVersion) {
    auto* launchWindow =
        new QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    launchWindow->setAttribute(Qt::WA_TranslucentBackground);
    launchWindow->resize(LaunchViewController::kViewSize);
    auto* layout = new QVBoxLayout(launchWindow);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* screen = new LaunchViewController(nullptr, launchWindow);
    screen->urlString = urlString;
    screen->webVersion = webVersion;
    screen->completionHandler = [self = QPointer<AppDelegate>(this)] {
        MainQueue::async([self] {
            if (self) {
                self->transitionToMainWindow();
            }
        });
    };
    layout->addWidget(screen);
    centreOnScreen(launchWindow);
    return launchWindow;
}

void AppDelegate::showLaunchWindow(const QString& urlString, const QString& webVersion) {
    if (m_launchWindow || m_isTransitioning) {
        LogWarning(QStringLiteral("⚠️ 启动窗口已存在，忽略重复展示"),
                   LogTag::app);
        return;
    }
    LogInfo(QStringLiteral("🎬 显示启动窗口"), LogTag::app);
    QWidget* launchWindow = buildLaunchWindow(urlString, webVersion);
    orderFront(launchWindow);
    m_launchWindow = launchWindow;
    LogInfo(QStringLiteral("✅ 启动窗口已显示"), LogTag::app);
}

void AppDelegate::transitionToMainWindow() {
    if (m_isTransitioning) {
        LogWarning(QStringLiteral("⚠️ 过渡已在进行中"), LogTag::app);
        return;
    }
    m_isTransitioning = true;
    LogInfo(QStringLiteral("🎬 开始过渡到主窗口"), LogTag::app);
    QPointer<MainWindow> mainWindow = buildMainWindow();
    MainQueue::asyncAfter(kTransitionDelay, this, [this, mainWindow] {
        if (mainWindow) {
            performTransitionAnimation(mainWindow);
        }
    });
}

void AppDelegate::performTransitionAnimation(MainWindow* mainWindow) {
    LogInfo(QStringLiteral("🎬 执行过渡动画"), LogTag::window);
    orderFront(mainWindow);
    MainQueue::async(this, [this, target = QPointer<MainWindow>(mainWindow)] {
        if (!target) {
            return;
        }
        m_window = target.data();
        if (!canFadeWindows()) {
            cleanupLaunchWindow();
            LogInfo(QStringLiteral("✅ 过渡完成"), LogTag::window);
            return;
        }
        auto* group = new QParallelAnimationGroup(this);
        if (m_launchWindow) {
            auto* fadeOut = new QPropertyAnimation(m_launchWindow.data(), "windowOpacity");
            fadeOut->setDuration(static_cast<int>(kFadeDuration.count()));
            fadeOut->setEasingCurve(QEasingCurve::InOutQuad);
            fadeOut->setEndValue(0.0);
            group->addAnimation(fadeOut);
        }
        auto* fadeIn = new QPropertyAnimation(target.data(), "windowOpacity");
        fadeIn->setDuration(static_cast<int>(kFadeDuration.count()));
        fadeIn->setEasingCurve(QEasingCurve::InOutQuad);
        fadeIn->setEndValue(1.0);
        group->addAnimation(fadeIn);
        connect(group, &QAbstractAnimation::finished, this, [self = QPointer<AppDelegate>(this)] {
            MainQueue::async([self] {
                if (self) {
                    self->cleanupLaunchWindow();
                }
                LogInfo(QStringLiteral("✅ 过渡完成"), LogTag::window);
            });
        });
        group->start(QAbstractAnimation::DeleteWhenStopped);
    });
}

void AppDelegate::cleanupLaunchWindow() {
    LogInfo(QStringLiteral("🧹 清理启动窗口"), LogTag::window);
    if (!m_launchWindow) {
        return;
    }
    // Closed and freed, so no invisible window stays on top of everything.
    QWidget* launchWindow = m_launchWindow.data();
    m_launchWindow = nullptr;
    launchWindow->hide();
    launchWindow->deleteLater();
    m_isTransitioning = false;
    LogInfo(QStringLiteral("✅ 启动窗口已清理"), LogTag::window);
}

bool AppDelegate::windowShouldClose() {
    if (SettingsManager::shared().boolean(TypedSettings::minimiseOnClose)) {
        if (m_window) {
            m_window->showMinimized();
        }
    } else {
        requestTermination();
    }
    return false;
}
