#pragma once

#include "Errors.h"
#include "MovieWriter.h"

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Hands composited pictures to a thread of their own that lays them out (MovieWriter::show),
// so that decoding the next image and deflating the last one run side by side. A few pictures
// are in flight at most (up to 8 small ones, 2 large ones), whatever the number of frames.
// They are handed over in batches: a waiting writer is woken once half the queue is full, a
// waiting caller once half of it is free, so the threads do not wake each other for every
// small frame. An error on the writing thread is carried back and thrown on the caller's
// thread, by the next call of push...() or finish().
namespace gif2swf {

class PictureQueue {
public:
    // `width` x `height`: the largest picture to come, which bounds how many are queued.
    // Not `threaded`: each picture is laid out as it is pushed, on the caller's thread.
    PictureQueue(MovieWriter& movie, int width, int height, bool threaded = true);
    // Stops the writing thread; pictures not yet written are dropped.
    ~PictureQueue();
    PictureQueue(const PictureQueue&) = delete;
    PictureQueue& operator=(const PictureQueue&) = delete;

    // Copies a picture into the queue, to be shown for `frames` frames; errors about it are
    // reported as about `subject`'s image number `image`.
    // `changed` holds every pixel that may differ from the picture pushed before.
    void push(const PictureBuffer& pixels, int width, int height, const MovieWriter::Box& changed,
              uint32_t frames, const std::string& subject, int image);
    // Copies rows [top, top + rows) of a picture `height` rows high that will be shown next
    // as a key: one of its tiles (see MovieWriter::preloadKeyTile).
    void pushKeyTile(const PictureBuffer& pixels, int width, int height, int top, int rows,
                     const std::string& subject, int image);
    // Shows the picture whose tiles were all pushed, without copying it again.
    void pushFromTiles(int width, int height, uint32_t frames, const std::string& subject,
                       int image);
    // Waits until every picture is written and ends the writing thread (it ends on its own
    // once the queue is empty, so no wake-up is spent on stopping it); nothing may be pushed
    // after.
    void finish();

private:
    struct Slot {
        PictureBuffer pixels;
        int width = 0;
        int height = 0;
        uint32_t frames = 0;
        MovieWriter::Box changed;
        MovieWriter::Change change; // from the picture before, when changeKnown
        bool changeKnown = false;
        std::string subject;
        int image = 0;
        enum Kind { kPicture, kTile, kFromTiles } kind = kPicture;
        int top = 0;  // a tile's first row
        int rows = 0; // a tile's rows
        // Where the pictures pushed since this slot's one may differ from it.
        MovieWriter::Box stale;
    };

    // Waits for the next slot to be free; fills it (outside the lock; `fill(slot, behind)`
    // sees what the slot held before, and whether half the queue or more waits for the
    // writer) and hands it over.
    // `urgent`: the writer starts on it without waiting for a batch.
    template <typename Fill>
    void fillNext(Slot::Kind kind, int width, int height, const std::string& subject, int image,
                  bool urgent, Fill fill);
    // Marks every slot's picture stale in `box`.
    void staleAll(const MovieWriter::Box& box);
    void run();
    // Shows a slot's picture (or defines its tile).
    void layOut(const Slot& slot);
    // Runs `layOut`, giving an error that names no file `subject`'s image `image`.
    template <typename LayOut>
    static void naming(const std::string& subject, int image, LayOut layOut) {
        try {
            layOut();
        } catch (const ConvertError& error) {
            if (!error.subject().empty()) {
                throw;
            }
            throw ConvertError(error.error(), subject, error.detail(), image);
        }
    }
    void rethrowFailure(); // with the lock held

    MovieWriter& movie_;
    std::mutex mutex_;
    std::condition_variable wakeWriter_;
    std::condition_variable wakeCaller_;
    std::vector<Slot> slots_;
    int batch_ = 1;           // pictures handed over at a time
    int queued_ = 0;          // full slots
    int callerWaitsFor_ = -1; // the caller waits until at most this many are queued
    bool writerWaiting_ = false;
    bool urgent_ = false; // the writer takes what is queued without waiting for a batch
    size_t nextToFill_ = 0;
    bool stopping_ = false;
    bool finishing_ = false; // the writer ends once the queue is empty
    bool threaded_;
    std::exception_ptr failure_;
    std::thread thread_;
};

} // namespace gif2swf
