// The client's entry: the application object, the delegate and the event loop.
#include "app/AppDelegate.h"
#include "app/TerminationSignalHandler.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    // Web views in several windows share one GPU context.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication application(argc, argv);
    application.setQuitOnLastWindowClosed(true);

    TerminationSignalHandler terminationSignals;
    // The update helper mode, the update manager and the page-log clean-up plug in here.
    AppDelegate::Options options;
    AppDelegate delegate(std::move(options));
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &delegate,
                     &AppDelegate::applicationWillTerminate);
    // Start-up runs once the loop runs.
    QMetaObject::invokeMethod(
        &delegate, [&delegate] { delegate.applicationDidFinishLaunching(QApplication::arguments()); },
        Qt::QueuedConnection);
    return QApplication::exec();
}
