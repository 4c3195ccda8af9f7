#include "PictureQueue.h"

#include "Errors.h"

#include <algorithm>

namespace gif2swf {

PictureQueue::PictureQueue(MovieWriter& movie) : movie_(movie) {
    thread_ = std::thread([this] { run(); });
}

PictureQueue::~PictureQueue() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
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

template <typename Fill>
void PictureQueue::fillNext(Slot::Kind kind, int width, int height, const std::string& subject,
                            int image, Fill fill) {
    std::unique_lock<std::mutex> lock(mutex_);
    Slot& slot = slots_[nextToFill_];
    changed_.wait(lock, [&] { return !slot.full || failure_; });
    rethrowFailure();
    lock.unlock();
    fill(slot); // the slot is ours until it is marked full
    slot.kind = kind;
    slot.width = width;
    slot.height = height;
    slot.subject = subject;
    slot.image = image;
    lock.lock();
    slot.full = true;
    nextToFill_ = 1 - nextToFill_;
    changed_.notify_all();
}

void PictureQueue::push(const std::vector<uint32_t>& pixels, int width, int height,
                        const MovieWriter::Box& changed, uint32_t frames,
                        const std::string& subject, int image) {
    const MovieWriter::Box stale = changed.united(lastChanged_);
    fillNext(Slot::kPicture, width, height, subject, image, [&](Slot& slot) {
        // The slot holds the picture of two pushes ago when it holds a picture: only what
        // changed since then is copied.
        if (slot.kind == Slot::kPicture && slot.width == width && slot.height == height &&
            slot.pixels.size() == pixels.size()) {
            for (int y = std::max(stale.top, 0); y < std::min(stale.bottom, height); ++y) {
                const size_t at = static_cast<size_t>(y) * width;
                std::copy(pixels.begin() + at + stale.left, pixels.begin() + at + stale.right,
                          slot.pixels.begin() + at + stale.left);
            }
        } else {
            slot.pixels.assign(pixels.begin(), pixels.end());
        }
        slot.frames = frames;
        slot.changed = changed;
    });
    lastChanged_ = changed;
}

void PictureQueue::pushKeyTile(const std::vector<uint32_t>& pixels, int width, int height, int top,
                               int rows, const std::string& subject, int image) {
    fillNext(Slot::kTile, width, height, subject, image, [&](Slot& slot) {
        const auto begin = pixels.begin() + static_cast<ptrdiff_t>(top) * width;
        slot.pixels.assign(begin, begin + static_cast<ptrdiff_t>(rows) * width);
        slot.top = top;
        slot.rows = rows;
    });
    lastChanged_ = {0, 0, width, height};
}

void PictureQueue::pushFromTiles(int width, int height, uint32_t frames, const std::string& subject,
                                 int image) {
    fillNext(Slot::kFromTiles, width, height, subject, image,
             [&](Slot& slot) { slot.frames = frames; });
    lastChanged_ = {0, 0, width, height};
}

void PictureQueue::finish() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return (!slots_[0].full && !slots_[1].full) || failure_; });
    rethrowFailure();
}

void PictureQueue::run() {
    size_t next = 0;
    for (;;) {
        std::unique_lock<std::mutex> lock(mutex_);
        Slot& slot = slots_[next];
        changed_.wait(lock, [&] { return slot.full || stopping_; });
        if (stopping_) {
            return;
        }
        lock.unlock();
        try {
            try {
                if (slot.kind == Slot::kTile) {
                    movie_.preloadKeyTile(slot.pixels.data(), slot.width, slot.height, slot.top);
                } else if (slot.kind == Slot::kFromTiles) {
                    movie_.showPreloaded(slot.width, slot.height, slot.frames);
                } else {
                    movie_.show(slot.pixels.data(), slot.width, slot.height, slot.frames,
                                &slot.changed);
                }
            } catch (const ConvertError& error) {
                if (!error.subject().empty()) {
                    throw;
                }
                throw ConvertError(error.error(), slot.subject, error.detail(), slot.image);
            }
        } catch (...) {
            lock.lock();
            failure_ = std::current_exception();
            changed_.notify_all();
            return;
        }
        lock.lock();
        slot.full = false;
        next = 1 - next;
        changed_.notify_all();
    }
}

} // namespace gif2swf
