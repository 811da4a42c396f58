// The client's entry: the application object, the delegate and the event loop.
#include "app/AppDelegate.h"
#include "app/DisplayAvailability.h"
#include "app/TerminationSignalHandler.h"
#include "app/WebEngineSandbox.h"
#include "foundation/concurrency/ProcessMemory.h"
#include "foundation/concurrency/ProcessSignals.h"
#include "foundation/logging/ForeignLogLines.h"
#include "update/ClientUpdateCheck.h"
#include "update/UpdateHelper.h"
#include "update/UpdateManager.h"
#include "web/LogMessageHandler.h"

#include <QApplication>

#include <sys/stat.h>

int main(int argc, char* argv[]) {
    // Qt's messages go through the logger, masked, from the first one on.
    ForeignLogLines::installQtMessageHandler();
    // A peer gone in the middle of a reply fails that write, not the process.
    ProcessSignals::ignoreBrokenPipe();
    // Whatever the process creates, Qt's caches and the web engine's files included, is writable
    // by its user alone; a stricter mask it was started with stays. (The mask is read by setting
    // it, before any other thread exists.)
    ::umask(::umask(0) | S_IWGRP | S_IWOTH);
    ProcessMemory::limitAllocatorArenas();
    // A copy started to swap in a downloaded client does only that, without any window.
    if (UpdateHelper::runIfRequested(argc, argv)) {
        return 0;
    }
    // The helper opens no window; everything from here on needs a display.
    DisplayAvailability display;
    if (!display.check(argc, argv)) {
        return 1;
    }

    WebEngineSandbox::turnOffForRoot();
    // Web views in several windows share one GPU context.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    display.qtConnected();
    application.setQuitOnLastWindowClosed(true);

    TerminationSignalHandler terminationSignals;
    AppDelegate::Options options;
    options.recoverApplicationFolder = [] { UpdateHelper::recoverAtStartUp(); };
    options.createUpdateManager = [] { UpdateManager::shared(); };
    options.checkClientUpdate = [](const VersionResponse& response) {
        ClientUpdateCheck().checkClientUpdate(response, false);
    };
    options.handleClientVersionResult = [](const AppDelegate::VersionResult& result) {
        ClientUpdateCheck().handleClientVersionResult(result);
    };
    options.cleanOldLogFiles = [] { LogMessageHandler::cleanOldLogFiles(); };
    AppDelegate delegate(std::move(options));
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &delegate,
                     &AppDelegate::applicationWillTerminate);
    // Start-up runs once the loop runs.
    QMetaObject::invokeMethod(
        &delegate,
        [&delegate] { delegate.applicationDidFinishLaunching(QApplication::arguments()); },
        Qt::QueuedConnection);
    return QApplication::exec();
}
