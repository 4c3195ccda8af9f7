#pragma once

#include "BitmapEncoder.h"
#include "ByteSink.h"
#include "Handoff.h"
#include "SwfTags.h"

#include <cstdint>
#include <memory>
#include <vector>

// The movie's last stage: takes its tags in order, deflates the bitmaps among them and writes
// everything to the output in the order handed over, the header's length and frame count
// last. Threaded, two workers each take the next bitmap and deflate it, so large bitmaps are
// deflated two at a time, and whichever finishes the next one to write writes it and every
// finished one after it (Handoff's retire) while the other goes on deflating. Only this
// stage touches the output. Its workers are threads the pipeline runs (work()).
namespace gif2swf {

// A bitmap on its way to the output, with the tags that go before it.
struct BitmapJob {
    std::vector<uint8_t> tagsBefore;
    bool hasBitmap = false;
    uint16_t characterId = 0;
    PreparedBitmap bitmap;
    swf::LosslessBitmap deflated;
    // What the deflated bitmap may take, in bytes (as what the GIF paid for these pixels):
    // the writer fills it, the sink reads it where it chooses how hard to deflate. 0: none.
    uint64_t byteBudget = 0;
    // The last job: once written, the header gets the movie's length and frame count.
    bool last = false;
    swf::FileHeaderLayout header;
    uint16_t frameCount = 0;
};

class TagSink {
public:
    static constexpr int kWorkers = 2;
    // The bounds of the hand-off to the workers (see Handoff): bitmaps in flight, their
    // bytes, and the batch that wakes an idle worker.
    static HandoffLimits defaultLimits() { return {16, 16 * 1024 * 1024, 8, 512 * 1024}; }

    // Not `threaded`: each bitmap is deflated and written as it is handed over, on the
    // caller's thread.
    TagSink(ByteSink& out, int compressionLevel, bool threaded,
            const HandoffLimits& limits = defaultLimits());
    TagSink(const TagSink&) = delete;
    TagSink& operator=(const TagSink&) = delete;

    // Where tags go: they are written after everything handed over before them.
    ByteSink& tags() { return pending_; }
    // Hands the bitmap `encoder` has prepared over, to be written as character
    // `characterId` after the tags so far; the encoder gets a written bitmap's buffer back.
    // `sizeFirst`: deflated for size rather than speed (see BitmapCompressor).
    void defineBitmap(uint16_t characterId, BitmapEncoder& encoder, bool sizeFirst);
    // Hands the last tags over; once they are written the header at `header` gets the
    // movie's length and `frameCount`. Nothing may be handed over after.
    void end(const swf::FileHeaderLayout& header, uint16_t frameCount);

    bool threaded() const { return jobs_.threaded(); }
    // A worker's thread: deflates and writes until the movie is ended and written.
    void work(int worker) { jobs_.consume(worker); }
    // After end() and after the workers have ended: throws what failed there, if anything.
    void throwIfFailed() { jobs_.throwIfFailed(); }
    // Ends the workers without writing what is left (the movie has failed).
    void stop() { jobs_.stop(); }

private:
    void hand(BitmapJob& job, bool urgent);
    void deflate(BitmapJob& job, int worker);
    void write(BitmapJob& job);

    ByteSink& out_;
    MemorySink pending_;
    std::vector<std::unique_ptr<BitmapCompressor>> compressors_; // one per worker
    Handoff<BitmapJob> jobs_;
};

} // namespace gif2swf
