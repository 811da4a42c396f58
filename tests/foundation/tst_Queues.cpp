#include "foundation/concurrency/MainQueue.h"
#include "foundation/concurrency/NotificationCenter.h"
#include "foundation/concurrency/SerialQueue.h"

#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

class QueuesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void mainQueueRunsOnGuiThreadInOrder() {
        std::vector<int> order;
        std::atomic<int> offMain{0};
        std::thread worker([&] {
            for (int i = 0; i < 100; ++i) {
                MainQueue::async([&, i] {
                    if (!MainQueue::isMainThread()) {
                        ++offMain;
                    }
                    order.push_back(i);
                });
            }
        });
        worker.join();
        QTRY_COMPARE(order.size(), size_t(100));
        QCOMPARE(offMain.load(), 0);
        QVERIFY(std::is_sorted(order.begin(), order.end()));
    }

    void mainQueueIsQueuedEvenOnGuiThread() {
        bool ran = false;
        MainQueue::async([&] { ran = true; });
        QVERIFY(!ran);
        QTRY_VERIFY(ran);
    }

    void deadContextDropsTheCall() {
        bool ran = false;
        auto context = std::make_unique<QObject>();
        MainQueue::async(context.get(), [&] { ran = true; });
        MainQueue::asyncAfter(1ms, context.get(), [&] { ran = true; });
        context.reset();
        QTest::qWait(50);  // past the delayed call's 1 ms: neither runs
        QVERIFY(!ran);
    }

    void asyncAfterWaitsOnGuiThread() {
        QElapsedTimer clock;
        clock.start();
        std::atomic<qint64> elapsed{-1};
        std::atomic<bool> onMain{false};
        std::thread worker([&] {
            MainQueue::asyncAfter(80ms, [&] {
                onMain = MainQueue::isMainThread();
                elapsed = clock.elapsed();
            });
        });
        worker.join();
        QTRY_VERIFY(elapsed >= 0);
        QVERIFY(elapsed >= 80);
        QVERIFY(onMain);
    }

    void serialQueueRunsOneAtATimeInOrder() {
        SerialQueue queue(QStringLiteral("com.brisca.test"));
        QCOMPARE(queue.label(), QStringLiteral("com.brisca.test"));
        std::vector<int> order;
        std::atomic<int> running{0};
        std::atomic<int> overlaps{0};
        std::atomic<int> wrongThread{0};
        std::vector<std::thread> producers;
        std::mutex orderMutex;
        for (int p = 0; p < 4; ++p) {
            producers.emplace_back([&, p] {
                for (int i = 0; i < 50; ++i) {
                    queue.async([&, p, i] {
                        if (++running != 1) {
                            ++overlaps;
                        }
                        if (!queue.isCurrent() ||
                            QThread::currentThread()->objectName() != queue.label()) {
                            ++wrongThread;
                        }
                        std::this_thread::sleep_for(20us);
                        {
                            std::lock_guard lock(orderMutex);
                            order.push_back(p * 1000 + i);
                        }
                        --running;
                    });
                }
            });
        }
        for (auto& producer : producers) {
            producer.join();
        }
        queue.sync([] {});
        QCOMPARE(order.size(), size_t(200));
        QCOMPARE(overlaps.load(), 0);
        QCOMPARE(wrongThread.load(), 0);
        // FIFO per producer: each producer's items appear in the order it queued them.
        for (int p = 0; p < 4; ++p) {
            int last = -1;
            for (int value : order) {
                if (value / 1000 == p) {
                    QVERIFY(value % 1000 > last);
                    last = value % 1000;
                }
            }
        }
        QVERIFY(!queue.isCurrent());
    }

    void serialQueueSyncAndShutdown() {
        std::atomic<int> done{0};
        {
            SerialQueue queue(QStringLiteral("drain"));
            int value = 0;
            queue.sync([&] {
                value = 42;
                queue.sync([&] { ++value; });  // re-entrant sync runs at once
            });
            QCOMPARE(value, 43);
            for (int i = 0; i < 20; ++i) {
                queue.async([&] {
                    std::this_thread::sleep_for(1ms);
                    ++done;
                });
            }
        }
        QCOMPARE(done.load(), 20);  // destruction drains what was queued
    }

    void serialQueueLetGoByItsOwnWorkEndsAfterIt() {
        std::atomic<bool> bothQueued{false};
        std::atomic<int> ran{0};
        auto queue = std::make_shared<SerialQueue>(QStringLiteral("let go"));
        SerialQueue* const raw = queue.get();
        raw->async([&, owner = queue]() mutable {
            while (!bothQueued) {
                std::this_thread::sleep_for(1ms);
            }
            owner.reset();  // the last owner: the queue is destroyed on its own thread
            ++ran;
        });
        raw->async([&] { ++ran; });
        queue.reset();
        bothQueued = true;
        QTRY_COMPARE(ran.load(), 2);
    }

    void notificationsReachObserversOfTheirName() {
        NotificationCenter center;
        QObject owner;
        QStringList heard;
        QVariantMap info;
        center.addObserver(&owner, QStringLiteral("a"), [&](const Notification& n) {
            heard << QStringLiteral("first:") + n.name;
            info = n.userInfo;
        });
        center.addObserver(&owner, QStringLiteral("a"), [&](const Notification& n) {
            heard << QStringLiteral("second:") + n.name;
        });
        center.addObserver(&owner, QStringLiteral("b"),
                           [&](const Notification& n) { heard << QStringLiteral("b:") + n.name; });
        center.post(QStringLiteral("a"), &owner, {{QStringLiteral("k"), 7}});
        QCOMPARE(heard, (QStringList{QStringLiteral("first:a"), QStringLiteral("second:a")}));
        QCOMPARE(info.value(QStringLiteral("k")).toInt(), 7);

        heard.clear();
        center.removeObserver(&owner, QStringLiteral("a"));
        center.post(QStringLiteral("a"));
        center.post(QStringLiteral("b"));
        QCOMPARE(heard, QStringList{QStringLiteral("b:b")});
    }

    void notificationsArriveSynchronouslyOnThePostingThread() {
        NotificationCenter center;
        QObject owner;
        std::atomic<bool> sameThread{false};
        std::thread::id poster;
        center.addObserver(&owner, QStringLiteral("n"), [&](const Notification&) {
            sameThread = std::this_thread::get_id() == poster;
        });
        std::thread worker([&] {
            poster = std::this_thread::get_id();
            center.post(QStringLiteral("n"));
        });
        worker.join();
        QVERIFY(sameThread);
    }

    void observersGoWithTheirOwner() {
        NotificationCenter center;
        int calls = 0;
        {
            QObject owner;
            center.addObserver(&owner, QStringLiteral("n"), [&](const Notification&) { ++calls; });
            QCOMPARE(center.observerCount(QStringLiteral("n")), 1);
        }
        QCOMPARE(center.observerCount(QStringLiteral("n")), 0);
        center.post(QStringLiteral("n"));
        QCOMPARE(calls, 0);
    }

    void observerRemovedDuringPostIsNotCalled() {
        NotificationCenter center;
        auto second = std::make_unique<QObject>();
        QObject first;
        int secondCalls = 0;
        center.addObserver(&first, QStringLiteral("n"),
                           [&](const Notification&) { second.reset(); });
        center.addObserver(second.get(), QStringLiteral("n"),
                           [&](const Notification&) { ++secondCalls; });
        const auto id = center.addObserver(nullptr, QStringLiteral("n"),
                                           [&](const Notification&) { ++secondCalls; });
        center.removeObserver(id);
        center.post(QStringLiteral("n"));
        QCOMPARE(secondCalls, 0);
    }
};

QTEST_GUILESS_MAIN(QueuesTest)
#include "tst_Queues.moc"
