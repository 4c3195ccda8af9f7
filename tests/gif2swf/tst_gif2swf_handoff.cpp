// The hand-off between the converter's threads, on its own: its edges, where a missed
// wake-up would stall a conversion for ever. A stall fails the test through its time limit.
#include "Handoff.h"

#include <QtTest>

#include <atomic>
#include <numeric>
#include <stdexcept>
#include <thread>

using namespace gif2swf;

namespace {

struct Item {
    int number = -1;
    uint64_t bytes = 0;
};

// A hand-off whose consumers record what they process and retire; `failAt` makes processing
// that item throw once the producer sleeps (or at once, without failWhenProducerWaits).
struct Recorder {
    explicit Recorder(const HandoffLimits& limits, int consumers = 1, bool threaded = true)
        : handoff(
              limits, threaded,
              [this](Item& item, int) {
                  if (item.number == failAt) {
                      while (failWhenProducerWaits && !handoff.producerWaiting()) {
                          std::this_thread::yield();
                      }
                      throw std::runtime_error("consumer failed");
                  }
                  processed.fetch_add(1);
              },
              [this](Item& item) { retired.push_back(item.number); }) {
        for (int c = 0; threaded && c < consumers; ++c) {
            threads.emplace_back([this, c] { handoff.consume(c); });
        }
    }
    ~Recorder() {
        handoff.stop();
        join();
    }
    void join() {
        for (std::thread& thread : threads) {
            if (thread.joinable()) {
                thread.join();
            }
        }
    }
    void hand(int number, uint64_t bytes, bool urgent = false) {
        Item& item = handoff.claim();
        item.number = number;
        item.bytes = bytes;
        handoff.publish(bytes, urgent);
    }
    void finish() {
        handoff.close();
        join();
        handoff.throwIfFailed();
    }

    int failAt = -1;
    bool failWhenProducerWaits = true;
    std::atomic<int> processed{0};
    std::vector<int> retired; // only the retiring consumer writes it, in turn
    Handoff<Item> handoff;
    std::vector<std::thread> threads;
};

std::vector<int> upTo(int count) {
    std::vector<int> numbers(static_cast<size_t>(count));
    std::iota(numbers.begin(), numbers.end(), 0);
    return numbers;
}

} // namespace

class HandoffTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyItemGoesThroughInOrder_data();
    void everyItemGoesThroughInOrder();
    void consumerFailureReachesTheWaitingProducerOnce();
    void stopEndsIdleConsumers();
    void inlineProcessesAtOnce();
};

void HandoffTest::everyItemGoesThroughInOrder_data() {
    QTest::addColumn<int>("consumers");
    QTest::addColumn<QVector<quint64>>("sizes"); // bytes of the items, handed over in turn
    // Capacity 100 bytes in 4 slots; a batch is 3 items or 1000 bytes, so one small item
    // alone wakes nobody.
    for (const int consumers : {1, 2}) {
        const QByteArray c = QByteArray::number(consumers) + " consumer(s): ";
        QTest::newRow(c + "exactly the capacity after a small unflushed item")
            << consumers << QVector<quint64>{1, 100, 1};
        QTest::newRow(c + "larger than the capacity after a small unflushed item")
            << consumers << QVector<quint64>{1, 250, 1};
        QTest::newRow(c + "larger than the capacity first") << consumers << QVector<quint64>{250};
        QTest::newRow(c + "more items than slots, each below a batch")
            << consumers << QVector<quint64>(40, 10);
        QTest::newRow(c + "sizes in turn")
            << consumers << QVector<quint64>{5, 60, 1, 99, 100, 0, 300, 2, 2, 40};
    }
}

void HandoffTest::everyItemGoesThroughInOrder() {
    QFETCH(int, consumers);
    QFETCH(QVector<quint64>, sizes);
    Recorder recorder({4, 100, 3, 1000}, consumers);
    for (int i = 0; i < sizes.size(); ++i) {
        recorder.hand(i, sizes[i]);
    }
    recorder.finish();
    QCOMPARE(recorder.processed.load(), sizes.size());
    QCOMPARE(recorder.retired, upTo(sizes.size()));
}

void HandoffTest::consumerFailureReachesTheWaitingProducerOnce() {
    // The producer fills every slot and sleeps for a free one; the consumer then fails on
    // the first item. The producer's wait ends in the consumer's exception, and so does
    // every later call, while nothing after the failure is retired.
    for (const bool forRoom : {false, true}) {
        Recorder recorder(forRoom ? HandoffLimits{8, 100, 8, 1000}
                                  : HandoffLimits{2, 100, 2, 1000});
        recorder.failAt = 0;
        QString thrown;
        int handed = 0;
        try {
            for (; handed < 10; ++handed) {
                recorder.hand(handed, forRoom ? 60 : 1, handed == 0);
            }
        } catch (const std::runtime_error& error) {
            thrown = error.what();
        }
        QCOMPARE(thrown, QStringLiteral("consumer failed"));
        QVERIFY(handed < 10);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, recorder.finish());
        QCOMPARE(recorder.retired, std::vector<int>());
    }
}

void HandoffTest::stopEndsIdleConsumers() {
    // The producer fails with an item waiting below a batch while both consumers sleep: its
    // stop() wakes and ends them, and the item is dropped.
    Recorder recorder({4, 100, 3, 1000}, 2);
    QTRY_COMPARE(recorder.handoff.idleConsumers(), 2);
    recorder.hand(0, 1);
    QCOMPARE(recorder.handoff.idleConsumers(), 2);
    recorder.handoff.stop();
    recorder.join();
    QCOMPARE(recorder.processed.load(), 0);
    QVERIFY_THROWS_EXCEPTION(HandoffStopped, recorder.handoff.claim());
}

void HandoffTest::inlineProcessesAtOnce() {
    Recorder recorder({4, 100, 3, 1000}, 0, false);
    recorder.hand(0, 1000);
    QCOMPARE(recorder.retired, std::vector<int>{0});
    // Inline the producer never waits: a failure comes straight out of publish.
    recorder.failAt = 1;
    recorder.failWhenProducerWaits = false;
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, recorder.hand(1, 1));
    QCOMPARE(recorder.retired, std::vector<int>{0});
}

QTEST_GUILESS_MAIN(HandoffTest)
#include "tst_gif2swf_handoff.moc"
