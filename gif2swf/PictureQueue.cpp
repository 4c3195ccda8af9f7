#include "PictureQueue.h"

#include "Errors.h"

#include <algorithm>

namespace gif2swf {

namespace {

// The queue holds at most this many bytes of pictures, and 2 to kMaxQueued pictures.
constexpr uint64_t kQueueBytes = 4 * 1024 * 1024;
constexpr uint64_t kMaxQueued = 8;

} // namespace

PictureQueue::PictureQueue(MovieWriter& movie, int width, int height, bool threaded)
    : movie_(movie), threaded_(threaded) {
    if (!threaded_) {
        return;
    }
    const uint64_t bytes = std::max<uint64_t>(1, uint64_t(width) * uint64_t(height) * 4);
    const size_t depth =
        static_cast<size_t>(std::clamp<uint64_t>(kQueueBytes / bytes, 2, kMaxQueued));
    slots_.resize(depth);
    batch_ = static_cast<int>(depth / 2);
    thread_ = std::thread([this] { run(); });
}

PictureQueue::~PictureQueue() {
    if (!thread_.joinable()) {
        return; // finished
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wakeWriter_.notify_one();
    thread_.join();
}

void PictureQueue::rethrowFailure() {
    if (failure_) {
        std::exception_ptr failure = failure_;
        failure_ = nullptr;
        stopping_ = true;
        std::rethrow_exception(failure);
    }
}

void PictureQueue::staleAll(const MovieWriter::Box& box) {
    for (Slot& slot : slots_) {
        slot.stale = slot.stale.united(box);
    }
}

template <typename Fill>
void PictureQueue::fillNext(Slot::Kind kind, int width, int height, const std::string& subject,
                            int image, bool urgent, Fill fill) {
    const int depth = static_cast<int>(slots_.size());
    std::unique_lock<std::mutex> lock(mutex_);
    if (queued_ == depth) {
        // Full: wait until a batch is free again.
        callerWaitsFor_ = depth - batch_;
        wakeCaller_.wait(lock, [&] { return queued_ <= depth - batch_ || failure_; });
        callerWaitsFor_ = -1;
    }
    rethrowFailure();
    const bool writerBehind = queued_ >= batch_;
    lock.unlock();
    Slot& slot = slots_[nextToFill_];
    fill(slot, writerBehind); // the slot is ours until it is counted as queued
    slot.kind = kind;
    slot.width = width;
    slot.height = height;
    slot.subject = subject;
    slot.image = image;
    lock.lock();
    ++queued_;
    urgent_ = urgent_ || urgent;
    nextToFill_ = (nextToFill_ + 1) % slots_.size();
    if (writerWaiting_ && (queued_ >= batch_ || urgent_)) {
        wakeWriter_.notify_one();
    }
}

void PictureQueue::push(const PictureBuffer& pixels, int width, int height,
                        const MovieWriter::Box& changed, uint32_t frames,
                        const std::string& subject, int image) {
    if (!threaded_) {
        // Laid out at once: the writer copies what it keeps.
        naming(subject, image,
               [&] { movie_.show(pixels.data(), width, height, frames, &changed, nullptr); });
        return;
    }
    staleAll(changed);
    fillNext(
        Slot::kPicture, width, height, subject, image, false, [&](Slot& slot, bool writerBehind) {
            // The slot holds the picture of some pushes ago when it holds a picture: only what
            // changed since then is copied.
            // (Changes of other inputs' pictures, of other sizes, may reach beyond this one: a
            // new input's first change covers its whole screen anyway.)
            const MovieWriter::Box stale = slot.stale.clipped(width, height);
            if (slot.kind == Slot::kPicture && slot.width == width && slot.height == height &&
                slot.pixels.size() == pixels.size()) {
                for (int y = stale.top; y < stale.bottom && stale.left < stale.right; ++y) {
                    const size_t at = static_cast<size_t>(y) * width;
                    std::copy(pixels.begin() + at + stale.left, pixels.begin() + at + stale.right,
                              slot.pixels.begin() + at + stale.left);
                }
            } else {
                slot.pixels.assign(pixels.begin(), pixels.end());
            }
            // When the writer is behind (half the queue or more waits), the change from the
            // picture before is found here, which takes work off it; that picture is in the slot
            // before, unless it went as tiles. (Where decoding is the slower side, the writer
            // finds it: on 3000 160x120 frames that thread does 7 % less.)
            const Slot& before = slots_[(nextToFill_ + slots_.size() - 1) % slots_.size()];
            slot.changeKnown = writerBehind && before.kind == Slot::kPicture &&
                               before.width == width && before.height == height &&
                               before.pixels.size() == pixels.size();
            if (slot.changeKnown) {
                slot.change = MovieWriter::compare(slot.pixels.data(), before.pixels.data(), width,
                                                   height, changed.clipped(width, height));
            }
            slot.stale = {};
            slot.frames = frames;
            slot.changed = changed;
        });
}

void PictureQueue::pushKeyTile(const PictureBuffer& pixels, int width, int height, int top,
                               int rows, const std::string& subject, int image) {
    if (!threaded_) {
        naming(subject, image, [&] {
            movie_.preloadKeyTile(pixels.data() + static_cast<size_t>(top) * width, width, height,
                                  top);
        });
        return;
    }
    // Tiles are deflated while the rows below them are decoded: they go at once.
    fillNext(Slot::kTile, width, height, subject, image, true, [&](Slot& slot, bool) {
        const auto begin = pixels.begin() + static_cast<ptrdiff_t>(top) * width;
        slot.pixels.assign(begin, begin + static_cast<ptrdiff_t>(rows) * width);
        slot.top = top;
        slot.rows = rows;
    });
    staleAll({0, 0, width, height});
}

void PictureQueue::pushFromTiles(int width, int height, uint32_t frames, const std::string& subject,
                                 int image) {
    if (!threaded_) {
        naming(subject, image, [&] { movie_.showPreloaded(width, height, frames); });
        return;
    }
    fillNext(Slot::kFromTiles, width, height, subject, image, true,
             [&](Slot& slot, bool) { slot.frames = frames; });
    staleAll({0, 0, width, height});
}

void PictureQueue::finish() {
    if (!threaded_) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finishing_ = true;
        if (writerWaiting_) {
            wakeWriter_.notify_one();
        }
    }
    thread_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    rethrowFailure();
}

void PictureQueue::run() {
    size_t next = 0;
    for (;;) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (queued_ == 0 && !finishing_) {
            // Everything pushed is written: wait for the next batch.
            urgent_ = false;
            writerWaiting_ = true;
            wakeWriter_.wait(lock, [&] {
                return queued_ >= batch_ || (urgent_ && queued_ > 0) || stopping_ || finishing_;
            });
            writerWaiting_ = false;
        }
        if (stopping_ || queued_ == 0) {
            return; // stopped, or finished with everything written
        }
        lock.unlock();
        Slot& slot = slots_[next];
        try {
            layOut(slot);
        } catch (...) {
            lock.lock();
            failure_ = std::current_exception();
            wakeCaller_.notify_one();
            return;
        }
        lock.lock();
        --queued_;
        next = (next + 1) % slots_.size();
        if (queued_ <= callerWaitsFor_) {
            wakeCaller_.notify_one();
        }
    }
}

void PictureQueue::layOut(const Slot& slot) {
    naming(slot.subject, slot.image, [&] {
        if (slot.kind == Slot::kTile) {
            movie_.preloadKeyTile(slot.pixels.data(), slot.width, slot.height, slot.top);
        } else if (slot.kind == Slot::kFromTiles) {
            movie_.showPreloaded(slot.width, slot.height, slot.frames);
        } else {
            movie_.show(slot.pixels.data(), slot.width, slot.height, slot.frames, &slot.changed,
                        slot.changeKnown ? &slot.change : nullptr);
        }
    });
}

} // namespace gif2swf
