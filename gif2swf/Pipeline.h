#pragma once

#include "ByteSink.h"
#include "ColourRegistry.h"
#include "Handoff.h"
#include "LargeAllocator.h"
#include "MovieWriter.h"
#include "TagSink.h"

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <thread>
#include <vector>

// The converter's stages and the threads between them, built and finished here alone:
//
//   source (the caller's thread: decodes and composites each picture, ahead of the writer)
//     -> pictures ->  writer (MovieWriter, one thread: keys, patches, reuse, layer bound)
//     -> bitmaps  ->  sink   (TagSink, two workers: deflates, writes in order)
//
// Each arrow is a Handoff. A movie too small for threads to pay runs every stage on the
// caller's thread (the hand-offs inline). No stage starts or ends another stage's thread.
namespace gif2swf {

// How much work may wait between the stages.
struct PipelineLimits {
    // Pictures in flight between source and writer: 2 to maxPictures of them, at most
    // pictureBytes together.
    uint64_t pictureBytes = 4 * 1024 * 1024;
    size_t maxPictures = 8;
    HandoffLimits bitmaps = TagSink::defaultLimits();
#ifdef GIF2SWF_TEST_HOOKS
    // Tests: how many threads the system lets start (-1: as many as it gives).
    int threadsThatStart = -1;
#endif
};

// Thrown by a threaded Pipeline's constructor when the system would not start the writer and
// one worker at least: the movie can still be made on the caller's thread.
struct ThreadsUnavailable : std::runtime_error {
    ThreadsUnavailable() : std::runtime_error("no thread could be started") {}
};

// The movie the pipeline makes: a stage of `width` x `height` at most at `frameRate` (8.8
// fixed point), playing `plays` times (0: for ever) over its `frames` frames, shown as `look`
// says.
struct MovieLayout {
    int width = 0;
    int height = 0;
    uint16_t frameRate = 0;
    uint32_t plays = 0;
    uint32_t frames = 0;
    MovieLook look;
};

// How the pipeline runs: on threads of its own or all on the caller's, and how much may wait.
struct PipelineOptions {
    bool threaded = true;
    PipelineLimits limits;
};

// Where a picture comes from: image `image` of input number `input` (0-based), which errors
// about it name; `paid`, the bytes of the GIFs read up to the end of its image, over all
// inputs, which the movie so far must not exceed (see MovieWriter::paidUpTo; 0: no bound).
struct PictureOrigin {
    int input = 0;
    int image = 0;
    uint64_t paid = 0;
};

class Pipeline {
public:
    // Threaded, a worker that cannot be started means one worker fewer; without the writer
    // or any worker, ThreadsUnavailable.
    Pipeline(ByteSink& out, const ColourRegistry& colours, const MovieLayout& movie,
             const PipelineOptions& options);
    // Without finish(): ends the threads, dropping what is not written (the caller failed).
    ~Pipeline();
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    // What picture() gives back for the pixels it took: the buffer holds an older picture
    // (or nothing yet), which differs from the one handed over within `stale`; the one handed
    // over stays readable at `current` until the next picture or tile is handed over.
    struct Exchange {
        Box stale;
        const uint32_t* current = nullptr;
    };
    // Shows a picture for `frames` frames; `changed` holds every pixel that may differ from
    // the picture before; `drawn`, what its GIF image drew (see MovieWriter::show). Threaded,
    // the pixels are not copied: their buffer is exchanged for an older picture's of the same
    // size, which the caller brings up to date where (and when) it needs to. Inline, `pixels`
    // stays as it is and nothing is stale.
    Exchange picture(PictureBuffer& pixels, int width, int height, const Box& changed,
                     uint32_t frames, const PictureOrigin& origin, const DrawnPixels& drawn = {});
    // Hands over the tile of a key picture whose rows are final (see MovieWriter::keyTile);
    // with the last one the picture is shown for `frames` frames.
    void keyTile(const PictureBuffer& pixels, int width, int height, int top, uint32_t frames,
                 const PictureOrigin& origin);
    // Ends the movie, waits until every byte is written and ends the threads.
    void finish();

    // Called on the writer's thread with the frame count each time a picture's frames are
    // written out (the point where a frame is finished, for progress reports).
    void onFramesShown(std::function<void(uint32_t)> listener) {
        writer_.onFramesShown(std::move(listener));
    }

    uint32_t frameCount() const { return writer_.frameCount(); }
    uint32_t bitmapCount() const { return writer_.bitmapCount(); }
    // Bitmap tags written, and those that needed a deflate level above their first (once
    // finished).
    uint32_t bitmapsWritten() const { return sink_.bitmapsWritten(); }
    uint32_t bitmapsDeflatedHarder() const { return sink_.bitmapsDeflatedHarder(); }

private:
    // A picture, or a key's tile, on its way to the writer.
    struct Message {
        enum Kind { Picture, KeyTile } kind = Picture;
        PictureBuffer storage; // the pixels when threaded; inline they are the caller's
        const uint32_t* pixels = nullptr;
        int width = 0;
        int height = 0;
        uint32_t frames = 0;
        Box changed;
        MovieWriter::Change change; // from the picture before, when changeKnown
        bool changeKnown = false;
        int top = 0; // a tile's first row
        PictureOrigin origin;
        DrawnPixels drawn;
        std::vector<uint8_t> drawnStorage; // the mask when threaded
    };

    void layOut(Message& message);
    // Puts a picture into the slot `message` in exchange for the slot's older one, and finds
    // its change from the picture before when the writer is behind.
    Exchange exchangePicture(Message& message, PictureBuffer& pixels, int width, int height,
                             const Box& changed);
    // Marks every slot's picture stale within `box`.
    void staleAll(const Box& box);
    void stopThreads();

    TagSink sink_;
    MovieWriter writer_;
    Handoff<Message> pictures_;
    // Per slot of pictures_, in the order they are filled: where the pictures handed over
    // since the slot's one may differ from it (so only that needs bringing up to date).
    std::vector<Box> stale_;
    size_t nextSlot_ = 0;
    std::vector<std::thread> threads_;
};

} // namespace gif2swf
