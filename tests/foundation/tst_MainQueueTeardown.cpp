// The GUI-thread queue across the application's teardown: each test makes its own application.
#include "foundation/concurrency/MainQueue.h"

#include <QCoreApplication>
#include <QTest>

#include <atomic>
#include <thread>

using namespace std::chrono_literals;

class MainQueueTeardownTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void postsDuringTeardownAreDroppedAndALaterApplicationIsServed() {
        int argc = 1;
        char name[] = "test_main_queue_teardown";
        char* argv[] = {name, nullptr};
        std::atomic<bool> stop = false;
        std::atomic<int> posted = 0;
        std::thread poster;
        {
            QCoreApplication application(argc, argv);
            poster = std::thread([&] {
                while (!stop) {
                    MainQueue::async([] {});
                    ++posted;
                    std::this_thread::sleep_for(20us);
                }
            });
            QTRY_VERIFY(posted > 200);
        }
        // The thread goes on posting through the teardown and after it.
        const int atTeardown = posted;
        while (posted < atTeardown + 200) {
            std::this_thread::sleep_for(1ms);
        }
        stop = true;
        poster.join();

        QCoreApplication again(argc, argv);
        bool ran = false;
        MainQueue::async([&ran] { ran = true; });
        QTRY_VERIFY(ran);
    }
};

QTEST_APPLESS_MAIN(MainQueueTeardownTest)
#include "tst_MainQueueTeardown.moc"
