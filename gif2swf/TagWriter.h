#pragma once

#include "BitmapEncoder.h"
#include "ByteSink.h"
#include "SwfTags.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Writes the movie's tags in order from threads of its own, where the bitmaps are deflated:
// the thread that lays out the pictures hands a bitmap over and goes on with the next one.
// Two workers each take the next bitmap and deflate it, so large bitmaps are deflated two at
// a time. A deflated bitmap waits for the ones before it without holding its worker up:
// whichever worker finishes the next one to write writes it and every finished one after it,
// while the other goes on deflating. A few bitmaps are in flight at most (kMaxQueued,
// kQueueBytes). An error there (a full disk, a movie too large) is thrown by the next call.
namespace gif2swf {

class TagWriter {
public:
    // `threaded`: two workers deflate and write; else the caller does it as bitmaps are
    // handed over (a short movie, where starting and waking threads costs more than they
    // save).
    TagWriter(ByteSink& out, int compressionLevel, bool threaded = true);
    // Stops the workers; what was not yet written is dropped.
    ~TagWriter();
    TagWriter(const TagWriter&) = delete;
    TagWriter& operator=(const TagWriter&) = delete;

    // Where tags go: they are written after everything handed over before them.
    ByteSink& tags() { return pending_; }
    // Writes a lossless bitmap tag of `bitmap`, deflated by a worker, after the tags so far.
    void defineBitmap(uint16_t characterId, PreparedBitmap bitmap);
    // A buffer for laying out the next bitmap: one already written, when there is one.
    std::vector<uint8_t> spareBuffer();
    // Returns once everything handed over is written to the sink, and ends the workers
    // (they end on their own once nothing is left); nothing may be handed over after.
    void finish();

private:
    struct Job {
        std::vector<uint8_t> tagsBefore;
        bool hasBitmap = false;
        uint16_t characterId = 0;
        PreparedBitmap bitmap;
        swf::LosslessBitmap deflated;
    };
    static constexpr size_t kMaxQueued = 16;
    static constexpr uint64_t kQueueBytes = 16 * 1024 * 1024;
    static constexpr uint64_t kBatchBytes = 512 * 1024;

    // `urgent`: a worker starts on it without waiting for a batch.
    void hand(Job job, bool urgent);
    struct Worker {
        explicit Worker(int compressionLevel) : compressor(compressionLevel) {}
        BitmapCompressor compressor;
        std::thread thread;
    };
    void run(Worker& worker);
    // Writes a deflated job's tags to the sink.
    void write(const Job& job);
    // Keeps a written job's buffers for later bitmaps, and gives a job one to deflate into;
    // with the lock held.
    void recycle(Job& job);
    void takeZlibSpare(Job& job);
    // Writes the finished jobs that are next in order, as long as there are some; with the
    // lock held, released while writing.
    void writeFinished(std::unique_lock<std::mutex>& lock);
    void rethrowFailure(); // with the lock held

    ByteSink& out_;
    MemorySink pending_;
    std::mutex mutex_;
    std::condition_variable wakeWorkers_;
    std::condition_variable wakeCaller_;
    std::deque<Job> queue_;
    std::map<uint64_t, Job> finished_; // deflated, waiting for the ones before them
    bool writing_ = false;             // a worker is writing finished jobs
    uint64_t queuedBytes_ = 0;
    uint64_t taken_ = 0;   // jobs taken by a worker, in order
    uint64_t written_ = 0; // jobs written, in order
    int idleWorkers_ = 0;
    bool stopping_ = false;
    bool finishing_ = false; // the workers end once nothing is left to take
    std::exception_ptr failure_;
    std::vector<std::vector<uint8_t>> spares_;     // for laying out bitmaps
    std::vector<std::vector<uint8_t>> zlibSpares_; // for deflating them
    // Two: on two cores one deflates while another lays out; where deflating is most of
    // the work (large pictures), two bitmaps are deflated at once.
    std::vector<std::unique_ptr<Worker>> workers_;
    bool threaded_;
};

} // namespace gif2swf
