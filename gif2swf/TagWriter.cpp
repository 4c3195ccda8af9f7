#include "TagWriter.h"

#include "Errors.h"

namespace gif2swf {

TagWriter::TagWriter(ByteSink& out, int compressionLevel)
    : out_(out), compressor_(compressionLevel) {
    thread_ = std::thread([this] { run(); });
}

TagWriter::~TagWriter() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wakeWriter_.notify_one();
    thread_.join();
}

void TagWriter::rethrowFailure() {
    // Kept: the thread has ended, so every later call fails the same way.
    if (failure_) {
        std::rethrow_exception(failure_);
    }
}

void TagWriter::hand(Job job, bool urgent) {
    const uint64_t bytes = job.bitmap.buffer.size() + job.tagsBefore.size();
    std::unique_lock<std::mutex> lock(mutex_);
    // Full: wait until the writer has caught up by half, so the threads do not take turns
    // for every bitmap.
    if (queue_.size() >= kMaxQueued || (queuedBytes_ + bytes > kQueueBytes && !queue_.empty())) {
        wakeCaller_.wait(lock, [&] {
            return failure_ || (queue_.size() <= kMaxQueued / 2 &&
                                (queuedBytes_ + bytes <= kQueueBytes || queue_.empty()));
        });
    }
    rethrowFailure();
    queuedBytes_ += bytes;
    queue_.push_back(std::move(job));
    // Small bitmaps are handed over in batches, so the threads do not wake each other for
    // every one of them.
    if (writerWaiting_ &&
        (urgent || queue_.size() >= kMaxQueued / 2 || queuedBytes_ >= kBatchBytes)) {
        wakeWriter_.notify_one();
    }
}

void TagWriter::defineBitmap(uint16_t characterId, PreparedBitmap bitmap) {
    Job job;
    job.tagsBefore = pending_.take();
    job.hasBitmap = true;
    job.characterId = characterId;
    job.bitmap = std::move(bitmap);
    hand(std::move(job), false);
}

std::vector<uint8_t> TagWriter::spareBuffer() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (spares_.empty()) {
        return {};
    }
    std::vector<uint8_t> spare = std::move(spares_.back());
    spares_.pop_back();
    return spare;
}

void TagWriter::flush() {
    Job job;
    job.tagsBefore = pending_.take();
    hand(std::move(job), true);
    std::unique_lock<std::mutex> lock(mutex_);
    wakeCaller_.wait(lock, [&] { return failure_ || (queue_.empty() && !writing_); });
    rethrowFailure();
}

void TagWriter::write(Job& job) {
    out_.write(job.tagsBefore.data(), job.tagsBefore.size());
    if (!job.hasBitmap) {
        return;
    }
    compressor_.compress(job.bitmap, bitmap_);
    bitmap_.characterId = job.characterId;
    // The file length field is 32-bit: refuse before writing past it.
    if (out_.position() + bitmap_.zlibData.size() + 64 > UINT32_MAX - 1024) {
        throw ConvertError(Error::OutputTooLarge, {});
    }
    swf::writeDefineBitsLossless(out_, bitmap_);
}

void TagWriter::run() {
    for (;;) {
        std::unique_lock<std::mutex> lock(mutex_);
        writerWaiting_ = true;
        wakeWriter_.wait(lock, [&] { return !queue_.empty() || stopping_; });
        writerWaiting_ = false;
        if (stopping_) {
            return;
        }
        Job job = std::move(queue_.front());
        queue_.pop_front();
        writing_ = true;
        lock.unlock();
        try {
            write(job);
        } catch (...) {
            lock.lock();
            failure_ = std::current_exception();
            writing_ = false;
            wakeCaller_.notify_one();
            return;
        }
        lock.lock();
        writing_ = false;
        queuedBytes_ -= job.bitmap.buffer.size() + job.tagsBefore.size();
        if (job.hasBitmap && spares_.size() < kMaxQueued) {
            spares_.push_back(std::move(job.bitmap.buffer));
        }
        if (queue_.size() <= kMaxQueued / 2) {
            wakeCaller_.notify_one();
        }
    }
}

} // namespace gif2swf
