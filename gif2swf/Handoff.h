#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <vector>

// Work crossing from one thread to others: a ring of reusable slots that one producer fills
// and one or more consumers process. Every place where the converter's work changes threads
// goes through this one type, so its rules are stated once:
//
// - Bounds. At most `slots` items are in flight (handed over and not yet retired), and their
//   bytes add up to at most `bytes`; an item larger than that is admitted when nothing is in
//   flight, so it waits for the queue to drain but never for ever.
// - Order. Consumers `process` items side by side, each taking the next; `retire` then runs
//   once per item, in the order handed over, one item at a time, on whichever consumer
//   finished the item that is next (the others go on processing). Retiring frees the slot.
// - Batches. A consumer that finds nothing to take sleeps until a batch is ready: `batch`
//   items or `batchBytes` bytes waiting, or an urgent item, or the producer waiting, or the
//   end. So on small items the threads do not wake each other for every one.
// - Waits, and who ends each:
//   * the producer, for a free slot (claim) or for room for its bytes (publish): before it
//     sleeps it wakes every idle consumer and makes whatever waits count as a batch; the
//     consumer that retires the item which lets it go on wakes it (when a batch of slots is
//     free again, or when its bytes fit, or when nothing is in flight);
//   * a consumer, for a batch: woken by the producer's publish, claim or publish wait,
//     close() or stop(), or by another consumer's failure.
//   Neither side waits on a condition that only the other side's sleeping can keep false.
//   Wake-ups on the way (a publish, a retired item) are sent once the lock is released, so the
//   thread woken does not run only to block on the lock its waker still holds.
// - Failure. An exception out of `process` or `retire` is kept (the first one only), every
//   waiting thread is woken, the consumers end, and the producer's next claim, publish or
//   throwIfFailed throws it: the failure reaches the producer's one error path once. A failure on
//   the producer's side ends the hand-off with stop(): waiting consumers wake and end, and a
//   consumer blocked as the producer of a later hand-off gets HandoffStopped there.
// - Inline mode (not `threaded`, for small movies where waking threads costs more than it
//   saves): one slot; publish() processes and retires the item at once on the producer's
//   thread, and its exceptions reach the caller directly.
namespace gif2swf {

// What a thread waiting in a stopped hand-off gets: the producer's side has failed already.
struct HandoffStopped {};

struct HandoffLimits {
    size_t slots = 2;                 // items in flight at most
    uint64_t bytes = UINT64_MAX;      // their bytes at most
    size_t batch = 1;                 // items waiting that wake an idle consumer
    uint64_t batchBytes = UINT64_MAX; // or bytes waiting
};

template <typename Item> class Handoff {
public:
    using Limits = HandoffLimits;
    // `process` is told which consumer runs it (0 to consumers - 1; 0 inline).
    using Process = std::function<void(Item&, int consumer)>;
    using Retire = std::function<void(Item&)>;

    Handoff(const Limits& limits, bool threaded, Process process, Retire retire)
        : limits_(limits), threaded_(threaded), process_(std::move(process)),
          retire_(std::move(retire)) {
        if (!threaded_) {
            limits_.slots = 1;
        }
        limits_.slots = std::max<size_t>(limits_.slots, 1);
        limits_.batch = std::min(std::max<size_t>(limits_.batch, 1), limits_.slots);
        slots_.resize(limits_.slots);
        states_.resize(limits_.slots);
    }
    Handoff(const Handoff&) = delete;
    Handoff& operator=(const Handoff&) = delete;

    bool threaded() const { return threaded_; }
    size_t slotCount() const { return limits_.slots; }
    // Whether the producer sleeps in claim() or publish(), and how many consumers sleep
    // waiting for a batch: for a test that raises a failure while the other side waits.
    bool producerWaiting() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return producerWaiting_;
    }
    int idleConsumers() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return idle_;
    }

    // Producer: the slot to fill next (it holds whatever it held when last retired), once
    // one is free. The slot is the producer's until publish().
    Item& claim() {
        if (!threaded_) {
            return slots_.front();
        }
        std::unique_lock<std::mutex> lock(mutex_);
        if (inFlight() == limits_.slots) {
            // Full: wait until a batch of slots is free again.
            waitAsProducer(lock, Need::Slots);
        }
        throwIfEnded();
        return slots_[published_ % limits_.slots];
    }
    // Producer: the slot filled before the one claimed (for comparing with it); only its
    // producer's fields may be read.
    const Item& previous() const {
        return slots_[(published_ + limits_.slots - 1) % limits_.slots];
    }
    // Producer: hands the claimed slot over, weighing `bytes`. `urgent`: the consumers start
    // on it without waiting for a batch.
    void publish(uint64_t bytes = 0, bool urgent = false) {
        if (!threaded_) {
            Item& item = slots_.front();
            process_(item, 0);
            retire_(item);
            return;
        }
        std::unique_lock<std::mutex> lock(mutex_);
        if (!fits(bytes)) {
            neededBytes_ = bytes;
            waitAsProducer(lock, Need::Bytes);
        }
        throwIfEnded();
        states_[published_ % limits_.slots] = {bytes, false};
        bytesInFlight_ += bytes;
        waitingBytes_ += bytes;
        ++published_;
        flush_ = flush_ || urgent;
        const bool wake = idle_ > 0 && batchReady();
        lock.unlock();
        if (wake) {
            wakeConsumers_.notify_all();
        }
    }
    // Producer: whether at least a batch waits for the consumers (they are behind).
    bool behind() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return inFlight() >= limits_.batch;
    }
    // Producer: nothing more comes; the consumers end once they have retired everything.
    void close() {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        wakeConsumers_.notify_all();
    }
    // Producer, after close() and after the consumers have ended: throws the failure, if any.
    void throwIfFailed() {
        std::lock_guard<std::mutex> lock(mutex_);
        if (failure_) {
            std::rethrow_exception(failure_);
        }
    }
    // Either side: ends the hand-off without finishing its work; waiting threads wake.
    void stop() {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
        wakeConsumers_.notify_all();
        wakeProducer_.notify_all();
    }

    // Consumer number `consumer`: processes and retires items until the hand-off is closed
    // and drained, stopped, or failed. Run by each consumer thread.
    void consume(int consumer = 0) {
        for (;;) {
            std::unique_lock<std::mutex> lock(mutex_);
            if (taken_ == published_ && !ended() && !closed_) {
                flush_ = false; // everything handed over is taken: wait for a batch
                ++idle_;
                wakeConsumers_.wait(lock, [&] { return batchReady() || closed_ || ended(); });
                --idle_;
            }
            if (ended() || taken_ == published_) {
                return; // stopped, failed, or closed with everything taken
            }
            const uint64_t number = taken_++;
            waitingBytes_ -= states_[number % limits_.slots].bytes;
            Item& item = slots_[number % limits_.slots];
            lock.unlock();
            try {
                process_(item, consumer);
                lock.lock();
                states_[number % limits_.slots].processed = true;
                if (!retiring_) {
                    retireInOrder(lock);
                }
            } catch (...) {
                if (!lock.owns_lock()) {
                    lock.lock();
                }
                retiring_ = false;
                if (!failure_) {
                    failure_ = std::current_exception();
                }
                wakeConsumers_.notify_all();
                wakeProducer_.notify_all();
                return;
            }
        }
    }

private:
    enum class Need { Slots, Bytes };
    struct SlotState {
        uint64_t bytes = 0;
        bool processed = false;
    };

    size_t inFlight() const { return static_cast<size_t>(published_ - retired_); }
    bool ended() const { return stopped_ || failure_ != nullptr; }
    bool fits(uint64_t bytes) const {
        return inFlight() == 0 || bytesInFlight_ + bytes <= limits_.bytes;
    }
    bool batchReady() const {
        const uint64_t waiting = published_ - taken_;
        return waiting > 0 &&
               (flush_ || waiting >= limits_.batch || waitingBytes_ >= limits_.batchBytes);
    }
    bool producerMayGo() const {
        return need_ == Need::Slots ? inFlight() + limits_.batch <= limits_.slots
                                    : fits(neededBytes_);
    }
    void throwIfEnded() const {
        if (failure_) {
            std::rethrow_exception(failure_);
        }
        if (stopped_) {
            throw HandoffStopped{};
        }
    }
    void waitAsProducer(std::unique_lock<std::mutex>& lock, Need need) {
        need_ = need;
        // Whatever waits is a batch now, and the idle consumers start on it.
        flush_ = true;
        if (idle_ > 0 && batchReady()) {
            lock.unlock();
            wakeConsumers_.notify_all();
            lock.lock();
            if (producerMayGo() || ended()) {
                return;
            }
        }
        producerWaiting_ = true;
        wakeProducer_.wait(lock, [&] { return producerMayGo() || ended(); });
        producerWaiting_ = false;
    }
    // Retires the processed items that are next in order; the lock is released while each
    // is retired, and may be released on return.
    void retireInOrder(std::unique_lock<std::mutex>& lock) {
        retiring_ = true;
        bool wakeProducer = false;
        while (retired_ < taken_ && states_[retired_ % limits_.slots].processed && !ended()) {
            lock.unlock();
            if (wakeProducer) {
                wakeProducer_.notify_one();
                wakeProducer = false;
            }
            retire_(slots_[retired_ % limits_.slots]);
            lock.lock();
            SlotState& state = states_[retired_ % limits_.slots];
            bytesInFlight_ -= state.bytes;
            state = {};
            ++retired_;
            if (producerWaiting_ && producerMayGo()) {
                producerWaiting_ = false; // woken once, below
                wakeProducer = true;
            }
        }
        retiring_ = false;
        if (wakeProducer) {
            lock.unlock();
            wakeProducer_.notify_one();
        }
    }

    Limits limits_;
    const bool threaded_;
    Process process_;
    Retire retire_;
    std::vector<Item> slots_;
    std::vector<SlotState> states_;
    mutable std::mutex mutex_;
    std::condition_variable wakeConsumers_;
    std::condition_variable wakeProducer_;
    uint64_t published_ = 0; // items handed over, taken, retired: counts since the start
    uint64_t taken_ = 0;
    uint64_t retired_ = 0;
    uint64_t bytesInFlight_ = 0;
    uint64_t waitingBytes_ = 0; // of the items not yet taken
    int idle_ = 0;              // consumers waiting for a batch
    bool flush_ = false;        // what waits is taken without waiting for a batch
    bool retiring_ = false;     // a consumer is retiring items
    bool producerWaiting_ = false;
    Need need_ = Need::Slots;
    uint64_t neededBytes_ = 0;
    bool closed_ = false;
    bool stopped_ = false;
    std::exception_ptr failure_;
};

} // namespace gif2swf
