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

TagSink::TagSink(ByteSink& out, int compressionLevel, bool threaded, const HandoffLimits& limits)
    : out_(out), jobs_(
                     withinLag(limits, kSpareLag), threaded,
                     [this](BitmapJob& job, int worker) { deflate(job, worker); },
                     [this](BitmapJob& job) { write(job); }) {
    for (int i = 0; i < (threaded ? kWorkers : 1); ++i) {
        compressors_.push_back(std::make_unique<BitmapCompressor>(compressionLevel));
    }
}

BitmapJob& TagSink::claim() {
    BitmapJob& job = jobs_.claim();
    const uint64_t number = handedOver_++;
    job.number = number;
    job.before = number >= kSpareLag ? outcomes_[number % kSpareLag] : BitmapJob::Outcome{};
    job.levelTwoRatio = 0; // the slot may hold an earlier job's
    return job;
}

void TagSink::hand(BitmapJob& job, bool urgent) {
    job.tagsBefore = pending_.take();
    jobs_.publish(job.tagsBefore.size() + (job.hasBitmap ? job.bitmap.buffer.size() : 0), urgent);
}

void TagSink::defineBitmap(uint16_t characterId, BitmapEncoder& encoder, bool sizeFirst,
                           uint64_t paid) {
    BitmapJob& job = claim();
    job.hasBitmap = true;
    job.paid = paid;
    // At least a byte where the pictures paid less than the tags: 0 means no budget. The
    // first bitmap's also leaves out the header and the room kept for the tags at the end,
    // so that keeping to it keeps the movie within what was paid.
    const uint64_t tagBytes = kBitmapTagsBytes + (lastPaid_ == 0 ? kHeaderBytes + kPaidReserve : 0);
    job.byteBudget = paid == 0 || paid <= lastPaid_    ? 0
                     : paid > lastPaid_ + tagBytes + 1 ? paid - lastPaid_ - tagBytes
                                                       : 1;
    lastPaid_ = std::max(lastPaid_, paid);
    job.characterId = characterId;
    job.bitmap = encoder.take(std::move(job.bitmap.buffer));
    job.bitmap.sizeFirst = sizeFirst;
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
        BitmapCompressor& compressor = *compressors_[static_cast<size_t>(worker)];
        job.level = compressor.compress(job.bitmap, job.deflated);
        // A large bitmap over its own budget is deflated harder here, beside the other
        // worker, so that the serial writer seldom has to: level 2 where what it gained on
        // the bitmaps before would bring this one within its budget (on some pictures it gains
        // a 16th, on others an eighth and more), else (or still over) level 6; until that is
        // known, where it is at most a 16th over, and on one bitmap in eight to find out;
        // still over by more than the movie had to spare beyond the writer's margin, level
        // 10, which the writer would otherwise run on it alone (on GIFs whose LZW beats
        // deflate, nearly every bitmap). Small ones, already at level 4 and cheap to redo,
        // are left to the writer, which deflates them again only where the movie has little
        // to spare (the optimised sprite animations keep their time). Workers decide from
        // their job alone, so the bytes do not depend on which was faster.
        const uint64_t size = job.deflated.zlibData.size();
        const uint64_t budget = job.byteBudget;
        if (budget != 0 && size > budget && job.bitmap.size() > BitmapCompressor::kSmallBytes) {
            const uint32_t known = job.before.levelTwoRatio;
            const bool tryTwo = known != 0 ? size * known / 4096 <= budget
                                           : size - budget <= budget / 16 || job.number % 8 == 0;
            if (tryTwo && job.level < 2) {
                job.level =
                    compressor.deflateWithin(job.bitmap, job.deflated, budget, job.level, 2);
                job.levelTwoRatio =
                    static_cast<uint32_t>(job.deflated.zlibData.size() * 4096 / size);
            }
            job.level = compressor.deflateWithin(job.bitmap, job.deflated, budget,
                                                 std::max(job.level, 2), kWorkerLevel);
            const uint64_t now = job.deflated.zlibData.size();
            if (now > budget && int64_t(now - budget) > job.before.spare) {
                job.level = compressor.deflateWithin(job.bitmap, job.deflated, budget, job.level,
                                                     kWorkerMaxLevel);
            }
        }
        job.deflated.characterId = job.characterId;
    }
}

void TagSink::keepWithinPaid(BitmapJob& job) {
    // After this bitmap the movie is at most what the GIFs paid so far, less room for the
    // tags still to come. A bitmap over its own budget (which its worker could not bring
    // within it) takes from what the bitmaps before it left to spare while that is more than
    // a margin (a 128th of what was paid); within the margin it keeps to its budget, so that
    // the spare stays for pictures later in the file that cannot keep to theirs.
    const uint64_t tagBytes = 14; // the long tag header and the bitmap's fields
    const uint64_t start = out_.position() + tagBytes;
    const uint64_t bound = job.paid > kPaidReserve ? job.paid - kPaidReserve : 0;
    const uint64_t room = bound > start ? bound - start : 0;
    const uint64_t size = job.deflated.zlibData.size();
    const uint64_t margin = spareMargin(job.paid);
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
    // How the movie stands now, for the job kSpareLag later.
    BitmapJob::Outcome& outcome = outcomes_[written_++ % kSpareLag];
    const uint64_t bound = job.paid > kPaidReserve ? job.paid - kPaidReserve : 0;
    outcome.spare = job.hasBitmap && job.paid != 0
                        ? int64_t(bound) - int64_t(out_.position()) - int64_t(spareMargin(job.paid))
                        : INT64_MAX;
    if (job.hasBitmap && job.levelTwoRatio != 0) {
        lastLevelTwoRatio_ = job.levelTwoRatio;
    }
    outcome.levelTwoRatio = lastLevelTwoRatio_;
    if (job.last) {
        const uint64_t length = out_.position();
        if (length > UINT32_MAX) {
            throw ConvertError(Error::OutputTooLarge, {});
        }
        swf::patchFileHeader(out_, job.header, static_cast<uint32_t>(length), job.frameCount);
    }
}

} // namespace gif2swf
