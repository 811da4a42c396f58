#pragma once

// What the loopback server's tests share: the server as the client runs it, on a port nobody
// held, over a documents folder in a home of the test's own, with the console lines caught. What
// the process is given for it (SIGPIPE ignored, the descriptor limit the server may raise) is
// the process's own again once the server stops.

#include "AppTestSupport.h"
#include "LoopbackServerTestSupport.h"
#include "ProcessSettingsRestorer.h"

#include "app/LocalImageServer.h"
#include "foundation/concurrency/ProcessSignals.h"
#include "foundation/settings/SettingsManager.h"

#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class LoopbackServerTestCase : public QObject {
protected:
    QTemporaryDir m_home;
    QString m_documents = m_home.filePath(QStringLiteral("Documents"));
    std::unique_ptr<SettingsManager> m_settings;
    std::unique_ptr<LocalImageServer> m_server;
    std::unique_ptr<ConsoleLines> m_console;
    ProcessSettingsRestorer m_processSettings;

    QString url(const QString& path) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_server->port()).arg(path);
    }

    // Before the test's files are written: the process as the client sets it up.
    void prepareProcess() {
        m_processSettings.saveSignal(SIGPIPE);
        m_processSettings.saveLimit(RLIMIT_NOFILE);
        ProcessSignals::ignoreBrokenPipe();
        m_console = std::make_unique<ConsoleLines>();
    }

    // The port the server was asked to take; whether it runs is for the test to check.
    quint16 startServer() {
        m_settings = std::make_unique<SettingsManager>(m_home.filePath("settings.ini"));
        const quint16 port = freePort();
        m_settings->set(QString::number(port), SettingKey::screenshotHttpPort);
        m_server = std::make_unique<LocalImageServer>(*m_settings);
        m_server->setDocumentsRootProvider([documents = m_documents] { return documents; });
        m_server->start();
        return port;
    }

    void stopServer() {
        m_server.reset();
        m_console.reset();
        m_processSettings.restore();
    }
};
