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

void TagSink::defineBitmap(uint16_t characterId, BitmapEncoder& encoder, bool sizeFirst) {
    BitmapJob& job = jobs_.claim();
    job.hasBitmap = true;
    job.characterId = characterId;
    job.bitmap = encoder.take(std::move(job.bitmap.buffer));
    job.bitmap.sizeFirst = sizeFirst;
    job.byteBudget = 0;
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
        compressors_[static_cast<size_t>(worker)]->compress(job.bitmap, job.deflated);
        job.deflated.characterId = job.characterId;
    }
}

void TagSink::write(BitmapJob& job) {
    out_.write(job.tagsBefore.data(), job.tagsBefore.size());
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
