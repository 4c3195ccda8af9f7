#include "Converter.h"

#include "Compositor.h"
#include "Errors.h"
#include "GifReader.h"
#include "MovieWriter.h"
#include "PictureQueue.h"
#include "SwfTags.h"
#include "Timing.h"

#include <atomic>
#include <new>
#include <numeric>
#include <stdexcept>

namespace gif2swf {

InputFile inputFromPath(const std::string& path) {
    return {path,
            [path]() -> std::unique_ptr<ByteSource> { return std::make_unique<FileSource>(path); }};
}

void checkPictureSize(int width, int height, const std::string& name, int frame) {
    const uint64_t pixels = uint64_t(width) * uint64_t(height);
    if (width > swf::kMaxBitmapSide || height > swf::kMaxBitmapSide ||
        pixels > swf::kMaxBitmapPixels) {
        throw ConvertError(Error::ImageTooLarge, name,
                           std::to_string(width) + "x" + std::to_string(height), frame);
    }
}

GifSummary scanGif(ByteSource& source, const std::string& name) {
    GifReader reader(source, name);
    GifSummary summary;
    summary.width = reader.screenWidth();
    summary.height = reader.screenHeight();
    checkPictureSize(summary.width, summary.height, name);
    int right = 0;
    int bottom = 0;
    GifImage image;
    while (reader.nextImage(image)) {
        checkPictureSize(image.width, image.height, name, image.number);
        right = std::max(right, image.left + image.width);
        bottom = std::max(bottom, image.top + image.height);
        summary.delays.push_back(static_cast<uint16_t>(shownDelay(image.delayCentiseconds)));
        if (image.greyColours && summary.firstGreyImage == 0) {
            summary.firstGreyImage = image.number;
        }
        reader.skipImageData();
    }
    summary.loopCount = reader.loopCount();
    if (summary.delays.empty()) {
        throw ConvertError(Error::NoImage, name);
    }
    // A screen of no size: viewers show the images' extent instead.
    if (summary.width == 0 || summary.height == 0) {
        summary.width = std::min(right, swf::kMaxBitmapSide);
        summary.height = std::min(bottom, swf::kMaxBitmapSide);
        checkPictureSize(summary.width, summary.height, name);
    }
    if (summary.width == 0 || summary.height == 0) {
        throw ConvertError(Error::NoImage, name);
    }
    return summary;
}

namespace {

struct TimingPlan {
    uint16_t frameRate = 0;
    uint32_t fixedFrames = 0; // frames per image with a rate; 0: from the delays
    uint32_t totalFrames = 0;
};

TimingPlan planTiming(const std::vector<GifSummary>& summaries, const ConvertOptions& options) {
    TimingPlan plan;
    uint64_t total = 0;
    if (options.rate) {
        const FixedRatePlan fixed = planFixedRate(*options.rate, options.rateSubject);
        plan.frameRate = fixed.frameRate;
        plan.fixedFrames = fixed.framesPerImage;
        for (const GifSummary& s : summaries) {
            total += uint64_t(s.delays.size()) * plan.fixedFrames;
        }
    } else {
        uint32_t divisor = 0;
        for (const GifSummary& s : summaries) {
            for (uint16_t delay : s.delays) {
                divisor = std::gcd(divisor, uint32_t{delay});
            }
        }
        plan.frameRate = frameRateForDelays(divisor);
        for (const GifSummary& s : summaries) {
            for (uint16_t delay : s.delays) {
                total += framesForDelay(delay, plan.frameRate);
            }
        }
    }
    // Refused here, from the scan's counts, before any pixel is decoded.
    if (total > kMaxFrames && plan.fixedFrames != 0) {
        const uint32_t each = plan.fixedFrames;
        throw ConvertError(Error::TooManyFrames, options.rateSubject,
                           std::to_string(total / each) + " images take " + std::to_string(total) +
                               " frames, " + std::to_string(each) +
                               (each == 1 ? " frame" : " frames") + " each; at most " +
                               std::to_string(kMaxFrames / each) + " images fit at this rate");
    }
    if (total > kMaxFrames) {
        throw ConvertError(Error::TooManyFrames, {}, std::to_string(total) + " frames needed");
    }
    plan.totalFrames = static_cast<uint32_t>(total);
    return plan;
}

// A single GIF plays as often as viewers play it: once without a looping extension, the
// count and once more with one, for ever for a count of 0. A slide show of several files,
// or one at a rate of its own, loops for ever.
uint32_t playsFor(const std::vector<GifSummary>& summaries, const ConvertOptions& options) {
    if (summaries.size() != 1 || options.rate) {
        return 0;
    }
    const int count = summaries.front().loopCount;
    return count < 0 ? 1 : count == 0 ? 0 : static_cast<uint32_t>(count) + 1;
}

// `startsWithKey`: the first picture is certain to go in whole (the first of the movie, or of
// a new size), so its tiles are handed over as soon as their rows are final.
void convertOne(const InputFile& input, const GifSummary& summary, const TimingPlan& plan,
                bool startsWithKey, ColourRegistry& colours, PictureQueue& movie) {
    std::unique_ptr<ByteSource> source = input.open();
    GifReader reader(*source, input.name);
    Compositor compositor(summary.width, summary.height);
    GifImage image;
    size_t index = 0;
    while (reader.nextImage(image)) {
        if (index >= summary.delays.size()) {
            throw ConvertError(Error::CorruptImage, input.name, "the file changed while read",
                               image.number);
        }
        const uint32_t frames = plan.fixedFrames != 0
                                    ? plan.fixedFrames
                                    : framesForDelay(summary.delays[index], plan.frameRate);
        ++index;
        colours.toIds(image.colours);
        compositor.beginImage(image);
        const int width = compositor.width();
        const int height = compositor.height();
        const int tileRows = MovieWriter::tileRows(width, height);
        const bool streamTiles =
            startsWithKey && index == 1 && !image.interlaced && tileRows < height;
        int nextTile = 0;
        // Hands over the tiles whose rows are all above `finalRows`.
        const auto tilesUpTo = [&](int finalRows) {
            while (streamTiles && nextTile * tileRows < height &&
                   std::min(height, (nextTile + 1) * tileRows) <= finalRows) {
                const int top = nextTile * tileRows;
                movie.pushKeyTile(compositor.pixels(), width, height, top,
                                  std::min(tileRows, height - top), input.name, image.number);
                ++nextTile;
            }
        };
        if (image.width > 0 && image.height > 0) {
            for (int r = 0; r < image.height; ++r) {
                compositor.drawRow(r, reader.readRow());
                tilesUpTo(std::min(height, image.top + r + 1));
            }
        } else {
            reader.skipImageData();
        }
        tilesUpTo(height);
        const Compositor::Area changed = compositor.takeChanged();
        if (streamTiles) {
            movie.pushFromTiles(width, height, frames, input.name, image.number);
        } else {
            movie.push(compositor.pixels(), width, height,
                       {changed.left, changed.top, changed.right, changed.bottom}, frames,
                       input.name, image.number);
        }
        compositor.disposeImage();
    }
}

} // namespace

namespace {

// The input being read, for a failure that names no file.
std::atomic<const std::string*> reading{nullptr};

ConvertResult convertAll(const std::vector<InputFile>& inputs, const ConvertOptions& options,
                         ByteSink& out) {
    if (inputs.empty()) {
        throw ConvertError(Error::NoInput, {});
    }
    // The stage is the largest screen and the frame rate depends on every delay, so every
    // file is scanned before the movie starts; this also finds most broken files before
    // any work is done.
    std::vector<GifSummary> summaries;
    ConvertResult result;
    for (const InputFile& input : inputs) {
        reading = &input.name;
        std::unique_ptr<ByteSource> source = input.open();
        summaries.push_back(scanGif(*source, input.name));
        result.stageWidth = std::max(result.stageWidth, summaries.back().width);
        result.stageHeight = std::max(result.stageHeight, summaries.back().height);
    }
    const TimingPlan plan = planTiming(summaries, options);
    result.frameRate = plan.frameRate;
    for (size_t i = 0; i < inputs.size(); ++i) {
        if (summaries[i].firstGreyImage > 0 && options.warn) {
            options.warn(formatMessage(
                ConvertError(Error::GreyColours, inputs[i].name, {}, summaries[i].firstGreyImage)));
        }
    }

    // Threads pay when there is work to spread: starting them and waking them (up to half a
    // millisecond a time on a busy virtual machine) costs more than a small GIF's pixels.
    uint64_t pixels = 0;
    for (const GifSummary& s : summaries) {
        pixels += uint64_t(s.width) * uint64_t(s.height) * s.delays.size();
    }
    const bool threaded = options.threaded.value_or(pixels >= kThreadedPixels);
    ColourRegistry colours;
    MovieWriter movie(out, colours, result.stageWidth, result.stageHeight, plan.frameRate,
                      options.compressionLevel, threaded);
    movie.playTimes(playsFor(summaries, options), plan.totalFrames);
    if (options.progress) {
        options.progress(0, plan.totalFrames);
        // The whole count is told only once the last bitmap is written.
        movie.onFramesShown([&options, total = plan.totalFrames](uint32_t shown) {
            options.progress(std::min(shown, total - 1), total);
        });
    }
    {
        PictureQueue queue(movie, result.stageWidth, result.stageHeight, threaded);
        for (size_t i = 0; i < inputs.size(); ++i) {
            reading = &inputs[i].name;
            const bool newSize = i == 0 || summaries[i].width != summaries[i - 1].width ||
                                 summaries[i].height != summaries[i - 1].height;
            convertOne(inputs[i], summaries[i], plan, newSize, colours, queue);
        }
        queue.finish();
    }
    reading = nullptr;
    movie.finish();
    if (options.progress) {
        options.progress(movie.frameCount(), plan.totalFrames);
    }
    result.frameCount = movie.frameCount();
    result.bitmapCount = movie.bitmapCount();
    return result;
}

} // namespace

const std::string* inputBeingRead() {
    return reading.load();
}

ConvertResult convertGifs(const std::vector<InputFile>& inputs, const ConvertOptions& options,
                          ByteSink& out) {
    auto internal = [](const std::string& detail) {
        const std::string* name = reading.exchange(nullptr);
        return ConvertError(Error::Internal, name != nullptr ? *name : std::string(), detail);
    };
    try {
        return convertAll(inputs, options, out);
    } catch (const ConvertError&) {
        reading = nullptr;
        throw;
    } catch (const std::bad_alloc&) {
        reading = nullptr;
        throw;
    } catch (const std::exception& error) {
        throw internal(error.what());
    } catch (...) {
        throw internal("unknown exception");
    }
}

} // namespace gif2swf
