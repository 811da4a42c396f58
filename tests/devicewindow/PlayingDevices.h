#pragma once

#include "devicewindow/AspectRatioWindowController.h"
#include "devicewindow/WindowManager.h"
#include "sdk/KXClient.h"
#include "sdk/SimulatedCloud.h"
#include "session/CloudPhoneCommunicator.h"
#include "session/UserIdentityProviding.h"

#include <QCoreApplication>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTest>

// Devices of the simulated cloud, registered and opened through the window manager as the page
// does it.
class PlayingDevices {
public:
    static CloudPhoneCommunicator& communicator() { return CloudPhoneCommunicator::shared(); }
    static std::shared_ptr<SimulatedDevice> simulated(qint64 id) {
        return SimulatedCloud::shared()->device(QString::number(id));
    }

    void setUp() {
        communicator().setupWithLogPath(m_dir.filePath(QStringLiteral("videoLogs")));
        communicator().configClient(ClientInitOptions{}, std::make_shared<Identity>());
    }
    static void tearDown() {
        communicator().destory();
        for (const QString& id : SimulatedCloud::shared()->deviceIDs()) {
            SimulatedCloud::shared()->device(id)->drain();
        }
        KXClient::sdkCleanup();
    }

    // The device's window once its first picture arrived.
    static AspectRatioWindowController* open(qint64 id) {
        const QString key = QString::number(id);
        if (!communicator().isDeviceAdded(key)) {
            std::optional<bool> added;
            communicator().add(key, std::nullopt, QStringLiteral("u1"), QStringLiteral("t1"),
                               [&added](bool value) { added = value; });
            if (!QTest::qWaitFor([&added] { return added.has_value(); }) || !*added) {
                return nullptr;
            }
            simulated(id)->drain();
        }
        AspectRatioWindowController* window =
            WindowManager::shared().openWindow(id, QStringLiteral("P%1").arg(id));
        const bool playing = QTest::qWaitFor([window] {
            return !window->cloudPhoneConnectionOverlay()->isVisibleTo(window->window());
        });
        return playing ? window : nullptr;
    }

    static bool isStreaming(qint64 id) {
        return !communicator().isNotPlaying(QString::number(id)) &&
               simulated(id)->streamingSessionCount() > 0;
    }

    static void closeAll() {
        const QList<AspectRatioWindowController*> open = WindowManager::shared().windows();
        for (AspectRatioWindowController* window : open) {
            window->close();
        }
        flushDeletes();
    }
    static void flushDeletes() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

private:
    struct Identity : UserIdentityProviding {
        QString userID() const override { return QStringLiteral("u1"); }
        QString userToken() const override { return QStringLiteral("t1"); }
    };
    QTemporaryDir m_dir;
};
