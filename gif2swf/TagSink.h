#pragma once

#include "BitmapEncoder.h"
#include "ByteSink.h"
#include "DeflateBudget.h"
#include "Handoff.h"
#include "SwfTags.h"

#include <array>
#include <climits>
#include <cstdint>
#include <memory>
#include <mutex>
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
    // The bytes of the GIFs up to the picture this bitmap shows (0: no bound): once it is
    // written, the movie is at most that, less kPaidReserve for the tags that follow.
    uint64_t paid = 0;
    // What the deflated bitmap may take, in bytes: what the GIFs paid for the pictures since
    // the bitmap before, less the tags that go with this one; the DeflateBudget's `paid`. 0:
    // none (later tiles of one picture: the first tile's bound is the picture's).
    uint64_t byteBudget = 0;
    bool sizeFirst = false; // deflated for size (see DeflateBudget)
    int level = 0;          // the level `deflated` was made at last
    uint64_t fastBytes = 0; // what the fast level made of it (0: not deflated there)
    uint64_t number = 0;    // jobs handed over before this one
    // How the movie stood after the job TagSink::kSpareLag jobs before this one, which is
    // written when this one is handed over, whatever the threads did.
    DeflateBudget::Outcome before;
    DeflateBudget budget() const {
        return DeflateBudget(byteBudget, bitmap.size(), sizeFirst, before);
    }
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
    TagSink(ByteSink& out, bool threaded, const HandoffLimits& limits = defaultLimits());
    TagSink(const TagSink&) = delete;
    TagSink& operator=(const TagSink&) = delete;

    // Where tags go: they are written after everything handed over before them.
    ByteSink& tags() { return pending_; }
    // Hands the bitmap `encoder` has prepared over, to be written as character
    // `characterId` after the tags so far; the encoder gets a written bitmap's buffer back.
    // `sizeFirst`: see DeflateBudget. `paid`: see BitmapJob. `tagBytes`: the tags that go
    // with it (a shared bitmap's: every shape and placing of its pictures).
    void defineBitmap(uint16_t characterId, BitmapEncoder& encoder, bool sizeFirst,
                      uint64_t paid = 0, uint64_t tagBytes = kBitmapTagsBytes);
    // Bitmaps written, and those of them that needed a level above the first one (see
    // DeflateBudget::harder). Read once the movie is written.
    uint32_t bitmapsWritten() const { return bitmapsWritten_; }
    uint32_t bitmapsDeflatedHarder() const { return bitmapsHarder_; }
    // The tags that go with a bitmap beside its data: its tag header and fields, its shape,
    // its placing, a frame.
    static constexpr uint64_t kBitmapTagsBytes = 64;
    // Hands the last tags over; once they are written the header at `header` gets the
    // movie's length and `frameCount`. Nothing may be handed over after.
    void end(const swf::FileHeaderLayout& header, uint16_t frameCount);

    // A worker's thread: deflates and writes until the movie is ended and written.
    void work(int worker) { jobs_.consume(worker); }
    // After end() and after the workers have ended: throws what failed there, if anything.
    void throwIfFailed() { jobs_.throwIfFailed(); }
    // Ends the workers without writing what is left (the movie has failed).
    void stop() { jobs_.stop(); }

private:
    // The next job's slot, with how the movie stood kSpareLag jobs before.
    BitmapJob& claim();
    void hand(BitmapJob& job, bool urgent);
    void deflate(BitmapJob& job, int worker);
    void write(BitmapJob& job);
    // Deflates a bitmap harder where the movie would otherwise pass what the GIFs paid.
    void keepWithinPaid(BitmapJob& job);

    // Room kept below what the GIFs paid, for the tags after the last bitmap (its shape, its
    // placing, the frames, the end).
    static constexpr uint64_t kPaidReserve = 256;

    ByteSink& out_;
    MemorySink pending_;
    // Deflates harder, where a bitmap would take the movie past what the GIFs paid; used
    // only while writing, which is one job at a time. Made when first needed.
    std::unique_ptr<BitmapCompressor> harder_;
    uint64_t lastPaid_ = 0; // `paid` of the bitmap before
    uint32_t bitmapsWritten_ = 0;
    uint32_t bitmapsHarder_ = 0;
    // The header and the tags before the first bitmap (its length and rate, the background).
    static constexpr uint64_t kHeaderBytes = 64;
    // What the workers leave of the movie's spare, for pictures later in the file that cannot
    // keep to their own budget.
    static uint64_t spareMargin(uint64_t paid) { return paid / 128; }
    // Jobs are handed over knowing the spare after the job this many before them: at most
    // this many are in flight, so that one is written, by whichever thread, and the workers'
    // choices stay the same on one thread or four.
    static constexpr size_t kSpareLag = DeflateBudget::kInFlight;
    std::array<DeflateBudget::Outcome, kSpareLag> outcomes_{}; // by job number, modulo kSpareLag
    DeflateBudget::Outcome lastBitmap_; // how the last bitmap written came out
    uint64_t handedOver_ = 0;           // jobs claimed, by the producer
    uint64_t written_ = 0;              // jobs written, by whichever retires them
    std::vector<std::unique_ptr<BitmapCompressor>> compressors_; // one per worker
    // Buffers of written bitmaps, laid out and deflated, for jobs whose slot has none yet: a
    // movie of few large bitmaps (strips side by side) would otherwise take fresh memory for
    // every one, and a page the system has not given before costs more than its copy.
    class BufferPool {
    public:
        // `buffer`, or where it has no memory, a kept one.
        std::vector<uint8_t> reuse(std::vector<uint8_t> buffer);
        void keep(std::vector<uint8_t> buffer);

    private:
        static constexpr size_t kKept = 8;
        std::mutex lock_;
        std::vector<std::vector<uint8_t>> kept_;
    } buffers_;
    Handoff<BitmapJob> jobs_;
};

} // namespace gif2swf
