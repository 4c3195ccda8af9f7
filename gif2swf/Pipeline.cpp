#include "Pipeline.h"

#include "Errors.h"
#include "ThreadPolicy.h"

#include <algorithm>
#include <new>
#include <system_error>

namespace gif2swf {

namespace {

HandoffLimits pictureLimits(const PipelineLimits& limits, int width, int height) {
    // Whole pictures: as many as fit the bytes, at least two so that one is filled while the
    // other is laid out; half of them make a batch.
    const uint64_t bytes = std::max<uint64_t>(1, uint64_t(width) * uint64_t(height) * 4);
    const size_t depth = static_cast<size_t>(std::clamp<uint64_t>(
        limits.pictureBytes / bytes, 2, std::max<uint64_t>(2, limits.maxPictures)));
    return {depth, UINT64_MAX, depth / 2, UINT64_MAX};
}

} // namespace

Pipeline::Pipeline(ByteSink& out, const ColourRegistry& colours, const MovieLayout& movie,
                   const PipelineOptions& options)
    : sink_(out, options.threaded, options.limits.bitmaps),
      writer_(sink_, colours, movie.width, movie.height, movie.frameRate, movie.look),
      pictures_(
          pictureLimits(options.limits, movie.width, movie.height), options.threaded,
          [this](Message& message, int) { layOut(message); }, [](Message&) {}),
      stale_(pictures_.slotCount()) {
    writer_.playTimes(movie.plays, movie.frames);
    if (!options.threaded) {
        return;
    }
    const auto start = [&](auto body) {
#ifdef GIF2SWF_TEST_HOOKS
        const int allowed = options.limits.threadsThatStart;
        if (allowed >= 0 && threads_.size() >= size_t(allowed)) {
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        }
#endif
        threads_.emplace_back(std::move(body));
    };
    try {
        start([this] { pictures_.consume(); });
        for (int worker = 0; worker < TagSink::kWorkers; ++worker) {
            try {
                start([this, worker] {
                    // With more threads than cores, workers that preempted the writer each
                    // time a batch woke them made the one serial stage wait its turn.
                    scheduleAsBatchWork();
                    sink_.work(worker);
                });
            } catch (const std::system_error&) {
                if (worker == 0) {
                    throw;
                }
                break; // the workers that started take every bitmap
            }
        }
    } catch (const std::system_error&) {
        stopThreads();
        throw ThreadsUnavailable();
    } catch (...) {
        stopThreads();
        throw;
    }
}

Pipeline::~Pipeline() {
    stopThreads();
}

void Pipeline::stopThreads() {
    pictures_.stop();
    sink_.stop();
    for (std::thread& thread : threads_) {
        if (thread.joinable()) {
            thread.join();
        }
    }
}

void Pipeline::staleAll(const Box& box) {
    for (Box& stale : stale_) {
        stale = stale.united(box);
    }
}

Pipeline::Exchange Pipeline::picture(PictureBuffer& pixels, int width, int height,
                                     const Box& changed, uint32_t frames,
                                     const PictureOrigin& origin, const DrawnPixels& drawn) {
    const bool threaded = pictures_.threaded();
    if (threaded) {
        staleAll(changed);
    }
    Message& message = pictures_.claim();
    Exchange exchange;
    if (threaded) {
        exchange = exchangePicture(message, pixels, width, height, changed);
    } else {
        // Laid out at once: the writer copies what it keeps.
        message.changeKnown = false;
    }
    message.kind = Message::Picture;
    message.pixels = threaded ? message.storage.data() : pixels.data();
    message.width = width;
    message.height = height;
    message.frames = frames;
    message.changed = changed;
    message.origin = origin;
    message.drawn = drawn;
    if (threaded && drawn.mask != nullptr) {
        // Its rows, one after another: the compositor's mask may be the next image's by the time
        // the writer reads it.
        const size_t areaWidth =
            static_cast<size_t>(std::max(0, drawn.area.right - drawn.area.left));
        const size_t rows = static_cast<size_t>(std::max(0, drawn.area.bottom - drawn.area.top));
        message.drawnStorage.resize(areaWidth * rows);
        for (size_t y = 0; y < rows; ++y) {
            std::copy_n(drawn.mask + y * drawn.stride, areaWidth,
                        message.drawnStorage.data() + y * areaWidth);
        }
        message.drawn.mask = message.drawnStorage.data();
        message.drawn.stride = areaWidth;
    }
    pictures_.publish();
    return exchange;
}

Pipeline::Exchange Pipeline::exchangePicture(Message& message, PictureBuffer& pixels, int width,
                                             int height, const Box& changed) {
    const bool writerBehind = pictures_.behind();
    Box& stale = stale_[nextSlot_];
    nextSlot_ = (nextSlot_ + 1) % stale_.size();
    // The slot holds the picture of some hand-overs ago when it holds one of this size: it
    // differs from this one where the pictures since changed. (Changes of other inputs'
    // pictures, of other sizes, may reach beyond this one: a new input's first change covers
    // its whole screen anyway.)
    const bool older = message.kind == Message::Picture && message.width == width &&
                       message.height == height && message.storage.size() == pixels.size();
    Exchange exchange;
    exchange.stale = older ? stale.clipped(width, height) : Box{0, 0, width, height};
    message.storage.swap(pixels);
    pixels.resize(message.storage.size());
    exchange.current = message.storage.data();
    stale = {};
    // When the writer is behind (a batch or more waits), the change from the picture before
    // is found here, which takes work off it (where decoding is the slower side, the writer
    // finds it itself); that picture is in the slot before, unless it went as tiles.
    const Message& before = pictures_.previous();
    message.changeKnown = writerBehind && before.kind == Message::Picture &&
                          before.width == width && before.height == height &&
                          before.storage.size() == message.storage.size();
    if (message.changeKnown) {
        message.change = MovieWriter::compare(message.storage.data(), before.storage.data(), width,
                                              height, changed.clipped(width, height));
    }
    return exchange;
}

void Pipeline::keyTile(const PictureBuffer& pixels, int width, int height, int top, uint32_t frames,
                       const PictureOrigin& origin) {
    const uint32_t* rows = pixels.data() + static_cast<size_t>(top) * width;
    Message& message = pictures_.claim();
    message.kind = Message::KeyTile;
    if (pictures_.threaded()) {
        const int count = std::min(MovieWriter::tileRows(width, height), height - top);
        message.storage.assign(rows, rows + static_cast<size_t>(count) * width);
        rows = message.storage.data();
        nextSlot_ = (nextSlot_ + 1) % stale_.size();
    }
    message.pixels = rows;
    message.width = width;
    message.height = height;
    message.top = top;
    message.frames = frames;
    message.origin = origin;
    // Tiles are deflated while the rows below them are decoded: they go at once.
    pictures_.publish(0, true);
    staleAll({0, 0, width, height});
}

void Pipeline::layOut(Message& message) {
    writer_.paidUpTo(message.origin.paid);
    try {
        if (message.kind == Message::KeyTile) {
            writer_.keyTile(message.pixels, message.width, message.height, message.top,
                            message.frames);
        } else {
            writer_.show(message.pixels, message.width, message.height, message.frames,
                         &message.changed, message.changeKnown ? &message.change : nullptr,
                         message.drawn);
        }
    } catch (const ConvertError& error) {
        throw error.about(message.origin.input, message.origin.image);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& error) {
        // A fault of the converter itself: named after its input, without the frame.
        throw ConvertError(Error::Internal, {}, error.what()).about(message.origin.input, 0);
    }
}

void Pipeline::finish() {
    if (!pictures_.threaded()) {
        writer_.finish();
        return;
    }
    pictures_.close();
    threads_.front().join();
    pictures_.throwIfFailed();
    writer_.finish();
    for (std::thread& thread : threads_) {
        if (thread.joinable()) {
            thread.join();
        }
    }
    sink_.throwIfFailed();
}

} // namespace gif2swf
