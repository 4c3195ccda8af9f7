#include "TagWriter.h"

#include "Errors.h"

namespace gif2swf {

TagWriter::TagWriter(ByteSink& out, int compressionLevel, bool threaded)
    : out_(out), threaded_(threaded) {
    workers_.resize(threaded ? 2 : 1);
    for (std::unique_ptr<Worker>& worker : workers_) {
        worker = std::make_unique<Worker>(compressionLevel);
    }
    for (std::unique_ptr<Worker>& worker : workers_) {
        Worker* w = worker.get();
        if (threaded_) {
            w->thread = std::thread([this, w] { run(*w); });
        }
    }
}

TagWriter::~TagWriter() {
    if (!workers_.front()->thread.joinable()) {
        return; // finished, or never threaded
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wakeWorkers_.notify_all();
    for (std::unique_ptr<Worker>& worker : workers_) {
        worker->thread.join();
    }
}

void TagWriter::rethrowFailure() {
    // Kept: the workers have ended, so every later call fails the same way.
    if (failure_) {
        std::rethrow_exception(failure_);
    }
}

void TagWriter::hand(Job job, bool urgent) {
    if (!threaded_) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            takeZlibSpare(job);
        }
        if (job.hasBitmap) {
            workers_.front()->compressor.compress(job.bitmap, job.deflated);
            job.deflated.characterId = job.characterId;
        }
        write(job);
        std::lock_guard<std::mutex> lock(mutex_);
        recycle(job);
        return;
    }
    const uint64_t bytes = job.bitmap.buffer.size() + job.tagsBefore.size();
    std::unique_lock<std::mutex> lock(mutex_);
    // Full: wait until the workers have caught up by half, so the threads do not take
    // turns for every bitmap.
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
    if (idleWorkers_ > 0 &&
        (urgent || queue_.size() >= kMaxQueued / 2 || queuedBytes_ >= kBatchBytes)) {
        wakeWorkers_.notify_all();
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

void TagWriter::finish() {
    Job job;
    job.tagsBefore = pending_.take();
    hand(std::move(job), true);
    if (!threaded_) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finishing_ = true;
    }
    wakeWorkers_.notify_all();
    for (std::unique_ptr<Worker>& worker : workers_) {
        worker->thread.join();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    rethrowFailure();
}

void TagWriter::run(Worker& worker) {
    for (;;) {
        std::unique_lock<std::mutex> lock(mutex_);
        ++idleWorkers_;
        wakeWorkers_.wait(lock,
                          [&] { return !queue_.empty() || stopping_ || failure_ || finishing_; });
        --idleWorkers_;
        if (stopping_ || failure_ || queue_.empty()) {
            return; // stopped, failed, or finished with everything taken
        }
        Job job = std::move(queue_.front());
        queue_.pop_front();
        const uint64_t number = taken_++;
        takeZlibSpare(job);
        lock.unlock();
        try {
            if (job.hasBitmap) {
                worker.compressor.compress(job.bitmap, job.deflated);
                job.deflated.characterId = job.characterId;
            }
            lock.lock();
            finished_.emplace(number, std::move(job));
            if (!writing_) {
                writeFinished(lock);
            }
        } catch (...) {
            if (!lock.owns_lock()) {
                lock.lock();
            }
            failure_ = std::current_exception();
            wakeCaller_.notify_one();
            wakeWorkers_.notify_all();
            return;
        }
    }
}

void TagWriter::writeFinished(std::unique_lock<std::mutex>& lock) {
    writing_ = true;
    for (auto next = finished_.find(written_); next != finished_.end() && !stopping_ && !failure_;
         next = finished_.find(written_)) {
        Job job = std::move(next->second);
        finished_.erase(next);
        lock.unlock();
        try {
            write(job);
        } catch (...) {
            lock.lock();
            writing_ = false;
            throw;
        }
        lock.lock();
        ++written_;
        queuedBytes_ -= job.bitmap.buffer.size() + job.tagsBefore.size();
        recycle(job);
        if (queue_.size() <= kMaxQueued / 2) {
            wakeCaller_.notify_one();
        }
    }
    writing_ = false;
}

void TagWriter::write(const Job& job) {
    out_.write(job.tagsBefore.data(), job.tagsBefore.size());
    if (job.hasBitmap) {
        // The file length field is 32-bit: refuse before writing past it.
        if (out_.position() + job.deflated.zlibData.size() + 64 > UINT32_MAX - 1024) {
            throw ConvertError(Error::OutputTooLarge, {});
        }
        swf::writeDefineBitsLossless(out_, job.deflated);
    }
}

void TagWriter::recycle(Job& job) {
    if (!job.hasBitmap) {
        return;
    }
    if (spares_.size() < kMaxQueued) {
        spares_.push_back(std::move(job.bitmap.buffer));
    }
    if (zlibSpares_.size() < kMaxQueued) {
        zlibSpares_.push_back(std::move(job.deflated.zlibData));
    }
}

void TagWriter::takeZlibSpare(Job& job) {
    if (job.hasBitmap && !zlibSpares_.empty()) {
        job.deflated.zlibData = std::move(zlibSpares_.back());
        zlibSpares_.pop_back();
    }
}

} // namespace gif2swf
