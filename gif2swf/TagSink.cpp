#include "TagSink.h"

#include "Errors.h"

#include <algorithm>
#include <climits>

namespace gif2swf {

namespace {

HandoffLimits withinLag(HandoffLimits limits, size_t lag) {
    limits.slots = std::min(limits.slots, lag);
    return limits;
}

} // namespace

TagSink::TagSink(ByteSink& out, bool threaded, const HandoffLimits& limits)
    : out_(out), jobs_(
                     withinLag(limits, kSpareLag), threaded,
                     [this](BitmapJob& job, int worker) { deflate(job, worker); },
                     [this](BitmapJob& job) { write(job); }) {
    for (int i = 0; i < (threaded ? kWorkers : 1); ++i) {
        compressors_.push_back(std::make_unique<BitmapCompressor>());
    }
}

std::vector<uint8_t> TagSink::BufferPool::reuse(std::vector<uint8_t> buffer) {
    if (buffer.capacity() == 0) {
        const std::lock_guard<std::mutex> hold(lock_);
        if (!kept_.empty()) {
            buffer = std::move(kept_.back());
            kept_.pop_back();
        }
    }
    return buffer;
}

void TagSink::BufferPool::keep(std::vector<uint8_t> buffer) {
    const std::lock_guard<std::mutex> hold(lock_);
    if (buffer.capacity() != 0 && kept_.size() < kKept) {
        kept_.push_back(std::move(buffer));
    }
}

BitmapJob& TagSink::claim() {
    BitmapJob& job = jobs_.claim();
    const uint64_t number = handedOver_++;
    job.number = number;
    job.before = number >= kSpareLag ? outcomes_[number % kSpareLag] : DeflateBudget::Outcome{};
    return job;
}

void TagSink::hand(BitmapJob& job, bool urgent) {
    job.tagsBefore = pending_.take();
    jobs_.publish(job.tagsBefore.size() + (job.hasBitmap ? job.bitmap.buffer.size() : 0), urgent);
}

void TagSink::defineBitmap(uint16_t characterId, BitmapEncoder& encoder, bool sizeFirst,
                           uint64_t paid, uint64_t tagBytes) {
    BitmapJob& job = claim();
    job.hasBitmap = true;
    job.paid = paid;
    // At least a byte where the pictures paid less than the tags: 0 means no budget. The
    // first bitmap's also leaves out the header and the room kept for the tags at the end,
    // so that keeping to it keeps the movie within what was paid.
    tagBytes += lastPaid_ == 0 ? kHeaderBytes + kPaidReserve : 0;
    job.byteBudget = paid == 0 || paid <= lastPaid_    ? 0
                     : paid > lastPaid_ + tagBytes + 1 ? paid - lastPaid_ - tagBytes
                                                       : 1;
    lastPaid_ = std::max(lastPaid_, paid);
    job.characterId = characterId;
    job.bitmap = encoder.take(buffers_.reuse(std::move(job.bitmap.buffer)));
    job.sizeFirst = sizeFirst;
    job.last = false;
    hand(job, false);
}

void TagSink::end(const swf::FileHeaderLayout& header, uint16_t frameCount) {
    BitmapJob& job = claim();
    job.hasBitmap = false;
    job.last = true;
    job.header = header;
    job.frameCount = frameCount;
    hand(job, true);
    jobs_.close();
}

void TagSink::deflate(BitmapJob& job, int worker) {
    if (job.hasBitmap) {
        // Each worker decides from its job alone (how the movie stood a fixed number of jobs
        // before), so the bytes do not depend on which was faster.
        const DeflateBudget budget = job.budget();
        job.deflated.zlibData = buffers_.reuse(std::move(job.deflated.zlibData));
        job.level = compressors_[static_cast<size_t>(worker)]->deflate(
            job.bitmap, job.deflated, budget.levels(), budget.allowance());
        job.fastBytes = compressors_[static_cast<size_t>(worker)]->fastBytes();
        job.deflated.characterId = job.characterId;
    }
}

void TagSink::keepWithinPaid(BitmapJob& job) {
    // After this bitmap the movie is at most what the GIFs paid so far, less room for the
    // tags still to come, where the levels the budget leaves can make it so.
    const uint64_t tagBytes = 14; // the long tag header and the bitmap's fields
    const uint64_t start = out_.position() + tagBytes;
    const uint64_t bound = job.paid > kPaidReserve ? job.paid - kPaidReserve : 0;
    const uint64_t room = bound > start ? bound - start : 0;
    if (job.deflated.zlibData.size() <= room) {
        return;
    }
    const std::vector<int> levels = job.budget().levelsAbove(job.level);
    if (!levels.empty()) {
        if (!harder_) {
            harder_ = std::make_unique<BitmapCompressor>();
        }
        job.level = harder_->deflateAgain(job.bitmap, job.deflated, job.level, levels, room);
    }
}

void TagSink::write(BitmapJob& job) {
    out_.write(job.tagsBefore.data(), job.tagsBefore.size());
    if (job.hasBitmap && job.paid != 0) {
        keepWithinPaid(job);
    }
    if (job.hasBitmap) {
        // The file length field is 32-bit: refuse before writing past it.
        if (out_.position() + job.deflated.zlibData.size() + 64 > UINT32_MAX - 1024) {
            throw ConvertError(Error::OutputTooLarge, {});
        }
        swf::writeDefineBitsLossless(out_, job.deflated);
    }
    // How the movie stands now, for the job kSpareLag later.
    if (job.hasBitmap) {
        const DeflateBudget budget = job.budget();
        const uint64_t size = job.deflated.zlibData.size();
        lastBitmap_.level = job.level;
        lastBitmap_.within = size <= budget.allowance();
        lastBitmap_.roomy = size <= budget.allowance() - budget.allowance() / 8;
        lastBitmap_.bytes = size;
        lastBitmap_.fastBytes = job.fastBytes;
        lastBitmap_.rawBytes = job.bitmap.size();
        ++bitmapsWritten_;
        bitmapsHarder_ += budget.harder(job.level) ? 1 : 0;
        buffers_.keep(std::move(job.bitmap.buffer));
        buffers_.keep(std::move(job.deflated.zlibData));
    }
    DeflateBudget::Outcome& outcome = outcomes_[written_++ % kSpareLag];
    outcome = lastBitmap_;
    const uint64_t bound = job.paid > kPaidReserve ? job.paid - kPaidReserve : 0;
    outcome.spare = job.hasBitmap && job.paid != 0
                        ? int64_t(bound) - int64_t(out_.position()) - int64_t(spareMargin(job.paid))
                        : INT64_MAX;
    if (job.last) {
        const uint64_t length = out_.position();
        if (length > UINT32_MAX) {
            throw ConvertError(Error::OutputTooLarge, {});
        }
        swf::patchFileHeader(out_, job.header, static_cast<uint32_t>(length), job.frameCount);
    }
}

} // namespace gif2swf
