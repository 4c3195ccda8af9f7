#include "TagSink.h"

#include "Errors.h"

namespace gif2swf {

TagSink::TagSink(ByteSink& out, int compressionLevel, bool threaded, const HandoffLimits& limits)
    : out_(out), jobs_(
                     limits, threaded, [this](BitmapJob& job, int worker) { deflate(job, worker); },
                     [this](BitmapJob& job) { write(job); }) {
    for (int i = 0; i < (threaded ? kWorkers : 1); ++i) {
        compressors_.push_back(std::make_unique<BitmapCompressor>(compressionLevel));
    }
}

void TagSink::hand(BitmapJob& job, bool urgent) {
    job.tagsBefore = pending_.take();
    jobs_.publish(job.tagsBefore.size() + (job.hasBitmap ? job.bitmap.buffer.size() : 0), urgent);
}

void TagSink::defineBitmap(uint16_t characterId, BitmapEncoder& encoder, bool sizeFirst,
                           uint64_t paid) {
    BitmapJob& job = jobs_.claim();
    job.hasBitmap = true;
    job.paid = paid;
    // At least a byte where the pictures paid less than the tags: 0 means no budget.
    job.byteBudget = paid == 0 || paid <= lastPaid_            ? 0
                     : paid > lastPaid_ + kBitmapTagsBytes + 1 ? paid - lastPaid_ - kBitmapTagsBytes
                                                               : 1;
    lastPaid_ = std::max(lastPaid_, paid);
    job.characterId = characterId;
    job.bitmap = encoder.take(std::move(job.bitmap.buffer));
    job.bitmap.sizeFirst = sizeFirst;
    job.last = false;
    hand(job, false);
}

void TagSink::end(const swf::FileHeaderLayout& header, uint16_t frameCount) {
    BitmapJob& job = jobs_.claim();
    job.hasBitmap = false;
    job.last = true;
    job.header = header;
    job.frameCount = frameCount;
    hand(job, true);
    jobs_.close();
}

void TagSink::deflate(BitmapJob& job, int worker) {
    if (job.hasBitmap) {
        BitmapCompressor& compressor = *compressors_[static_cast<size_t>(worker)];
        job.level = compressor.compress(job.bitmap, job.deflated);
        // Over its own budget by more than an eighth (more than level 2 gains on the fast
        // level), deflated at level 6 here, beside the other worker; what is less over is
        // the writer's, which knows, in order, what the movie has to spare (on optimised
        // GIFs, whose patches often pass their own budgets, it nearly always does). Workers
        // decide from their bitmap alone, so the bytes do not depend on which was faster.
        const uint64_t size = job.deflated.zlibData.size();
        const uint64_t budget = job.byteBudget;
        if (budget != 0 && size > budget + budget / kWorkerSlack) {
            job.level = compressor.deflateWithin(job.bitmap, job.deflated, budget,
                                                 std::max(job.level, 2), kWorkerMaxLevel);
        }
        job.deflated.characterId = job.characterId;
    }
}

void TagSink::keepWithinPaid(BitmapJob& job) {
    // After this bitmap the movie is at most what the GIFs paid so far, less room for the
    // tags still to come. While there is more to spare than a margin (a 64th of what was
    // paid), a bitmap may take more than its own share, which saves the slowest level where
    // the pictures before paid for it; within the margin a bitmap keeps to its share, so
    // that the spare is there for pictures later in the file that cannot.
    const uint64_t tagBytes = 14; // the long tag header and the bitmap's fields
    const uint64_t start = out_.position() + tagBytes;
    const uint64_t bound = job.paid > kPaidReserve ? job.paid - kPaidReserve : 0;
    const uint64_t room = bound > start ? bound - start : 0;
    const uint64_t size = job.deflated.zlibData.size();
    const uint64_t margin = job.paid / 64;
    uint64_t budget = UINT64_MAX;
    if (size > room) {
        budget = room;
    } else if (job.byteBudget != 0 && size > job.byteBudget && size + margin > room) {
        budget = job.byteBudget;
    }
    if (budget != UINT64_MAX) {
        if (!harder_) {
            harder_ = std::make_unique<BitmapCompressor>();
        }
        job.level = harder_->deflateWithin(job.bitmap, job.deflated, budget, job.level);
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
    if (job.last) {
        const uint64_t length = out_.position();
        if (length > UINT32_MAX) {
            throw ConvertError(Error::OutputTooLarge, {});
        }
        swf::patchFileHeader(out_, job.header, static_cast<uint32_t>(length), job.frameCount);
    }
}

} // namespace gif2swf
