#include "app/MainWindow.h"

#include "app/WebViewController.h"
#include "devicewindow/CommandProcessor.h"

#include <QCloseEvent>
#include <QMenuBar>

MainWindow::MainWindow(Actions actions, WebViewController* content)
    : m_actions(std::move(actions)), m_content(content) {
    setCentralWidget(m_content);
    setMinimumSize(kMinimumSize);
    setupMenus();
}

void MainWindow::setupMenus() {
    QMenu* application = menuBar()->addMenu(QStringLiteral("应用"));
    QAction* check = application->addAction(QStringLiteral("检查更新…"));
    connect(check, &QAction::triggered, this, [this] {
        if (m_actions.checkForUpdates) {
            m_actions.checkForUpdates();
        }
    });

    QMenu* windows = menuBar()->addMenu(QStringLiteral("窗口"));
    QAction* newWindow = windows->addAction(QStringLiteral("新建窗口"));
    newWindow->setShortcut(QKeySequence::New);
    connect(newWindow, &QAction::triggered, this, [this] {
        if (m_actions.newWindow) {
            m_actions.newWindow();
        }
    });
    QMenu* ratios = windows->addMenu(QStringLiteral("宽高比"));
    for (const CommandProcessor::AspectRatio ratio : CommandProcessor::allAspectRatios()) {
        QAction* item = ratios->addAction(CommandProcessor::rawValue(ratio));
        item->setData(CommandProcessor::rawValue(ratio));
        connect(item, &QAction::triggered, this, [this, item] {
            if (m_actions.setAspectRatio) {
                m_actions.setAspectRatio(item->data());
            }
        });
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (m_actions.windowShouldClose) {
        m_actions.windowShouldClose();
    }
}
