#pragma once

#include "devicewindow/AspectRatioWindowController.h"
#include "devicewindow/WindowActiveManager.h"
#include "devicewindow/WindowManager.h"
#include "sdk/KXClient.h"
#include "sdk/simulated/SimulatedCloud.h"
#include "session/CloudPhoneCommunicator.h"
#include "session/UserIdentityProviding.h"

#include <QCoreApplication>
#include <QMainWindow>
#include <QTemporaryDir>
#include <QTest>

inline CloudPhoneCommunicator& communicator() {
    return CloudPhoneCommunicator::shared();
}

inline std::shared_ptr<SimulatedDevice> simulated(qint64 id) {
    return SimulatedCloud::shared()->device(QString::number(id));
}

// Devices of the simulated cloud, registered and opened through the window manager as the page
// does it.
class PlayingDevices {
public:
    // False when the folder for the video logs could not be made.
    bool setUp() {
        communicator().setupWithLogPath(m_dir.filePath(QStringLiteral("videoLogs")));
        communicator().configClient(ClientInitOptions{}, std::make_shared<Identity>());
        return m_dir.isValid();
    }
    static void tearDown() {
        communicator().destory();
        for (const QString& id : SimulatedCloud::shared()->deviceIDs()) {
            SimulatedCloud::shared()->device(id)->drain();
        }
        KXClient::sdkCleanup();
    }

    // Registers the device as the page does before it opens a window; false when refused.
    static bool add(qint64 id) {
        std::optional<bool> added;
        communicator().add(QString::number(id), std::nullopt, QStringLiteral("u1"),
                           QStringLiteral("t1"), [&added](bool value) { added = value; });
        if (!QTest::qWaitFor([&added] { return added.has_value(); }) || !*added) {
            return false;
        }
        simulated(id)->drain();
        QCoreApplication::processEvents();
        return true;
    }

    // The device's window once its first picture arrived; the device is registered first unless
    // it already is.
    static AspectRatioWindowController* open(qint64 id) {
        if (!communicator().isDeviceAdded(QString::number(id)) && !add(id)) {
            return nullptr;
        }
        AspectRatioWindowController* window =
            WindowManager::shared().openWindow(id, QStringLiteral("P%1").arg(id));
        return waitForFirstFrame(window) ? window : nullptr;
    }

    // Whether the connection overlay gave way to the device's picture in time.
    static bool waitForFirstFrame(AspectRatioWindowController* window) {
        return QTest::qWaitFor([window] {
            return !window->cloudPhoneConnectionOverlay()->isVisibleTo(window->window());
        });
    }

    // As open(), the window then being the one that takes the keyboard.
    static AspectRatioWindowController* openActive(qint64 id) {
        AspectRatioWindowController* window = open(id);
        if (window) {
            WindowActiveManager::shared().setActiveDevice(id);
        }
        return window;
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
