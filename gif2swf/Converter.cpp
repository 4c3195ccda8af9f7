#include "Converter.h"

#include "Compositor.h"
#include "Errors.h"
#include "Fingerprint.h"
#include "GifReader.h"
#include "MovieWriter.h"
#include "Pipeline.h"
#include "SwfTags.h"
#include "Timing.h"

#include <cmath>
#include <map>
#include <new>
#include <numeric>
#include <stdexcept>

namespace gif2swf {

InputFile inputFromPath(const std::string& path) {
    if (readOnlyOnce(path)) {
        // Read at the first opening, then both passes read the same bytes, and so does every
        // input of the movie with that name: a FIFO given twice is read once, not waited on.
        using Bytes = std::optional<std::vector<uint8_t>>;
        static std::map<std::string, std::weak_ptr<Bytes>> read;
        std::shared_ptr<Bytes> bytes = read[path].lock();
        if (!bytes) {
            bytes = std::make_shared<Bytes>();
            read[path] = bytes;
        }
        return {path, [path, bytes]() -> std::unique_ptr<ByteSource> {
                    if (!*bytes) {
                        *bytes = readWhole(path);
                    }
                    return std::make_unique<MemorySource>((*bytes)->data(), (*bytes)->size());
                }};
    }
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

namespace {

// Fingerprints every byte read, so that a second reading can tell whether it saw the same
// bytes as the first; in the second, delivers at most the bytes the first read: a file that
// grew since cannot make the decoding read (and keep) more.
class FingerprintedBytes : public ByteSource {
public:
    explicit FingerprintedBytes(ByteSource& source, uint64_t limit = UINT64_MAX)
        : source_(source), limit_(limit) {}
    size_t read(uint8_t* data, size_t size) override {
        const uint64_t left = limit_ - source_.consumed();
        if (size > left) {
            exceeded_ = true;
            size = static_cast<size_t>(left);
        }
        const size_t count = source_.read(data, size);
        fingerprint_.add(data, count);
        return count;
    }
    int failure() const override { return source_.failure(); }
    uint64_t consumed() const override { return source_.consumed(); }
    bool exceeded() const { return exceeded_; }
    uint64_t fingerprint() const { return fingerprint_.value(); }

private:
    ByteSource& source_;
    uint64_t limit_;
    bool exceeded_ = false;
    StreamFingerprint fingerprint_;
};

} // namespace

GifSummary scanGif(ByteSource& file, const std::string& name) {
    FingerprintedBytes source(file);
    GifReader reader(source, name);
    GifSummary summary;
    summary.width = reader.screenWidth();
    summary.height = reader.screenHeight();
    // A screen too large is refused once the file has been read through: where the file is
    // broken, its "size" may be any bytes that follow "GIF89a" (a text file), and the fault
    // to report is the file's. The scan allocates nothing for pixels either way.
    const auto checkScreen = [&] { checkPictureSize(summary.width, summary.height, name); };
    int right = 0;
    int bottom = 0;
    std::optional<ConvertError> outside;
    GifImage image;
    while (reader.nextImage(image)) {
        checkPictureSize(image.width, image.height, name, image.number);
        summary.imageFingerprints.push_back(source.fingerprint());
        summary.largestImagePixels =
            std::max(summary.largestImagePixels, uint64_t(image.width) * uint64_t(image.height));
        right = std::max(right, image.left + image.width);
        bottom = std::max(bottom, image.top + image.height);
        // A screen of no size shows the images' extent: the first image that takes it past
        // what a picture may be is named with its own place and size (as the screen, once
        // the file has been read through).
        if ((summary.width == 0 || summary.height == 0) && !outside &&
            (right > swf::kMaxBitmapSide || bottom > swf::kMaxBitmapSide ||
             uint64_t(right) * uint64_t(bottom) > swf::kMaxBitmapPixels)) {
            outside = ConvertError(Error::ImageOutsideScreen, name,
                                   std::to_string(image.width) + "x" +
                                       std::to_string(image.height) + " at " +
                                       std::to_string(image.left) + "," + std::to_string(image.top),
                                   image.number);
        }
        summary.delays.push_back(static_cast<uint16_t>(shownDelay(image.delayCentiseconds)));
        if (image.greyColours && summary.firstGreyImage == 0) {
            summary.firstGreyImage = image.number;
        }
        reader.skipImageData();
    }
    summary.loopCount = reader.loopCount();
    summary.bytes = source.consumed();
    summary.fingerprint = source.fingerprint();
    checkScreen();
    if (outside) {
        throw *outside;
    }
    if (summary.delays.empty()) {
        throw ConvertError(Error::NoImage, name);
    }
    // A screen of no size: viewers show the images' extent instead.
    if (summary.width == 0 || summary.height == 0) {
        summary.width = right;
        summary.height = bottom;
        checkScreen();
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

// Frames for every delay at a frame rate (8.8 fixed point), at most `limit` + 1 (enough to
// tell that they do not fit).
uint64_t framesAtRate(const std::vector<GifSummary>& summaries, uint16_t frameRate,
                      uint64_t limit) {
    uint64_t total = 0;
    for (const GifSummary& s : summaries) {
        for (uint16_t delay : s.delays) {
            total += framesForDelay(delay, frameRate);
            if (total > limit) {
                return total;
            }
        }
    }
    return total;
}

// The input in which the movie passes `limit` frames at a frame rate (for a refusal).
const std::string& inputPassing(const std::vector<InputFile>& inputs,
                                const std::vector<GifSummary>& summaries, uint16_t frameRate,
                                uint64_t limit) {
    uint64_t total = 0;
    for (size_t i = 0; i < summaries.size(); ++i) {
        for (uint16_t delay : summaries[i].delays) {
            total += framesForDelay(delay, frameRate);
        }
        if (total > limit) {
            return inputs[i].name;
        }
    }
    return inputs.back().name;
}

// "1/10 s", "2 s", "0.07 s": a frame of `step` centiseconds.
std::string periodText(uint32_t step) {
    if (100 % step == 0) {
        return "1/" + std::to_string(100 / step) + " s";
    }
    std::string text = std::to_string(step / 100);
    if (step % 100 != 0) {
        text += "." + std::to_string(step % 100 / 10) +
                (step % 10 != 0 ? std::to_string(step % 10) : std::string());
    }
    return text + " s";
}

TimingPlan planTiming(const std::vector<InputFile>& inputs,
                      const std::vector<GifSummary>& summaries, const ConvertOptions& options) {
    TimingPlan plan;
    uint64_t total = 0;
    if (options.rate) {
        const FixedRatePlan fixed = planFixedRate(*options.rate, options.rateSubject);
        plan.frameRate = fixed.frameRate;
        plan.fixedFrames = fixed.framesPerImage;
        for (const GifSummary& s : summaries) {
            total += uint64_t(s.delays.size()) * plan.fixedFrames;
        }
        // Refused here, from the scan's counts, before any pixel is decoded.
        if (total > kMaxFrames) {
            const uint32_t each = plan.fixedFrames;
            throw ConvertError(Error::TooManyFrames, options.rateSubject,
                               std::to_string(total / each) + " images take " +
                                   std::to_string(total) + " frames, " + std::to_string(each) +
                                   (each == 1 ? " frame" : " frames") + " each; at most " +
                                   std::to_string(kMaxFrames / each) + " images fit at this rate");
        }
        plan.totalFrames = static_cast<uint32_t>(total);
        return plan;
    }
    uint32_t divisor = 0;
    for (const GifSummary& s : summaries) {
        for (uint16_t delay : s.delays) {
            divisor = std::gcd(divisor, uint32_t{delay});
        }
    }
    plan.frameRate = frameRateForDelays(divisor);
    total = framesAtRate(summaries, plan.frameRate, kMaxFrames);
    if (total > kMaxFrames) {
        // A slide show whose delays share no step coarse enough: the highest frame rate at
        // which it fits (a frame of `step` centiseconds; the frames only get fewer as the
        // step grows), each delay rounded to whole frames, at least one.
        const auto rateFor = [](uint32_t step) {
            return static_cast<uint16_t>(std::lround(25600.0 / step));
        };
        uint32_t low = 1;
        uint32_t high = 25600; // 1/256 frames per second, the slowest rate a movie stores
        if (framesAtRate(summaries, rateFor(high), kMaxFrames) > kMaxFrames) {
            const uint16_t slowest = rateFor(high);
            throw ConvertError(Error::TooManyFrames,
                               inputPassing(inputs, summaries, slowest, kMaxFrames),
                               std::to_string(framesAtRate(summaries, slowest, UINT64_MAX)) +
                                   " frames needed at the slowest rate");
        }
        while (low < high) {
            const uint32_t step = low + (high - low) / 2;
            if (framesAtRate(summaries, rateFor(step), kMaxFrames) <= kMaxFrames) {
                high = step;
            } else {
                low = step + 1;
            }
        }
        plan.frameRate = rateFor(high);
        total = framesAtRate(summaries, plan.frameRate, kMaxFrames);
        // How far the rounded timing is off, at most, for any image: in hundredths, up.
        double worst = 0;
        for (const GifSummary& s : summaries) {
            for (uint16_t delay : s.delays) {
                const double shown =
                    framesForDelay(delay, plan.frameRate) * 25600.0 / plan.frameRate;
                worst = std::max(worst, std::fabs(shown - delay));
            }
        }
        const int off = static_cast<int>(std::ceil(worst - 1e-6));
        if (options.warn) {
            options.warn(formatMessage(
                ConvertError(Error::TimingRounded, options.movieName,
                             periodText(high) + ": at most " + std::to_string(off / 100) + "." +
                                 std::to_string(off % 100 / 10) + std::to_string(off % 10) +
                                 " s off per image")));
        }
    }
    plan.totalFrames = static_cast<uint32_t>(total);
    return plan;
}

// A single GIF plays as often as viewers play it: once without a looping extension, the
// count and once more with one, for ever for a count of 0. A slide show of several files,
// or one at a rate of its own, loops for ever. A count asked for overrides both.
uint32_t playsFor(const std::vector<GifSummary>& summaries, const ConvertOptions& options) {
    if (options.plays) {
        return *options.plays;
    }
    if (summaries.size() != 1 || options.rate) {
        return 0;
    }
    const int count = summaries.front().loopCount;
    return count < 0 ? 1 : count == 0 ? 0 : static_cast<uint32_t>(count) + 1;
}

// Input number `number`'s pictures into the pipeline. `startsWithKey`: the first picture is
// certain to go in whole (the first of the movie, or of a new size), so its tiles are handed
// over as soon as their rows are final.
void decodeOne(const InputFile& input, int number, FingerprintedBytes& source,
               const GifSummary& summary, const TimingPlan& plan, bool startsWithKey,
               uint64_t paidBefore, ColourRegistry& colours, Pipeline& pipeline) {
    GifReader reader(source, input.name);
    Compositor compositor(summary.width, summary.height);
    const ConvertError changed(Error::ChangedWhileConverting, input.name);
    GifImage image;
    size_t index = 0;
    while (reader.nextImage(image)) {
        // Every byte up to the image's pixels is the scan's, its place and size too; its
        // pixels are checked with the next image's bytes, or at the end.
        if (index >= summary.delays.size() ||
            source.fingerprint() != summary.imageFingerprints[index] ||
            uint64_t(image.width) * uint64_t(image.height) > summary.largestImagePixels) {
            throw changed;
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
        int nextTop = 0;
        const uint64_t imageStart = source.consumed();
        // Hands over the tiles whose rows are all above `finalRows`; the last one shows the
        // picture. The reader holds the image's whole data before its first row, so each tile
        // is paid its rows' share of it: the first tile must not take the whole picture's
        // budget and leave the others none.
        const auto tilesUpTo = [&](int finalRows) {
            while (streamTiles && nextTop < height &&
                   std::min(height, nextTop + tileRows) <= finalRows) {
                const int end = std::min(height, nextTop + tileRows);
                const uint64_t paid = imageStart + (source.consumed() - imageStart) *
                                                       uint64_t(end) / uint64_t(height);
                pipeline.keyTile(compositor.pixels(), width, height, nextTop, frames,
                                 {number, image.number, paidBefore + paid});
                nextTop += tileRows;
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
        const Box changedArea = compositor.takeChanged();
        if (!streamTiles) {
            const Pipeline::Exchange exchange = pipeline.picture(
                compositor.canvas(), width, height, changedArea, frames,
                {number, image.number, paidBefore + source.consumed()}, compositor.drawn());
            compositor.exchanged(exchange.stale, exchange.current);
        }
        compositor.disposeImage();
    }
    if (index != summary.delays.size() || source.fingerprint() != summary.fingerprint) {
        throw changed;
    }
}

// Decodes a file the scan has seen; a file that is not what the scan saw is refused.
// `paidBefore`: the bytes of the inputs before it, which with its own bound the movie's size.
void convertOne(const InputFile& input, int number, const GifSummary& summary,
                const TimingPlan& plan, bool startsWithKey, uint64_t paidBefore,
                ColourRegistry& colours, Pipeline& pipeline) {
    std::unique_ptr<ByteSource> file = input.open();
    FingerprintedBytes source(*file, summary.bytes);
    try {
        decodeOne(input, number, source, summary, plan, startsWithKey, paidBefore, colours,
                  pipeline);
    } catch (const ConvertError& error) {
        if (source.exceeded() && error.subject() == input.name) {
            throw ConvertError(Error::ChangedWhileConverting, input.name);
        }
        throw;
    }
}

} // namespace

namespace {

// `reading`: the number of the input being read, which a fault of the converter itself names.
ConvertResult convertAll(const std::vector<InputFile>& inputs, const ConvertOptions& options,
                         ByteSink& out, int& reading) {
    const auto startReading = [&](int input) {
        reading = input;
        if (options.reading) {
            options.reading(input);
        }
    };
    if (inputs.empty()) {
        throw ConvertError(Error::NoInput, {});
    }
    // The stage is the largest screen and the frame rate depends on every delay, so every
    // file is scanned before the movie starts; this also finds most broken files before
    // any work is done.
    std::vector<GifSummary> summaries;
    ConvertResult result;
    for (const InputFile& input : inputs) {
        startReading(static_cast<int>(summaries.size()));
        std::unique_ptr<ByteSource> source = input.open();
        summaries.push_back(scanGif(*source, input.name));
        result.stageWidth = std::max(result.stageWidth, summaries.back().width);
        result.stageHeight = std::max(result.stageHeight, summaries.back().height);
    }
    const TimingPlan plan = planTiming(inputs, summaries, options);
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
    PipelineOptions running;
    uint64_t threadedPixels = kThreadedPixels;
#ifdef GIF2SWF_TEST_HOOKS
    if (options.smallQueues) {
        running.limits.pictureBytes = 1;
        running.limits.maxPictures = 2;
        running.limits.bitmaps = {2, 64, 1, 64};
        threadedPixels = 0;
    }
    running.limits.threadsThatStart = options.threadsThatStart;
#endif
    running.threaded = options.threaded.value_or(pixels >= threadedPixels);
    // Transparent pixels show the stage: the pictures are composited over its colour and stay
    // opaque, so they show the same whatever a player does with alpha.
    ColourRegistry colours(0xFF000000u | options.look.background);
    const MovieLayout movie{result.stageWidth, result.stageHeight,
                            plan.frameRate,    playsFor(summaries, options),
                            plan.totalFrames,  options.look};
    const uint64_t movieStart = out.position();
    std::optional<Pipeline> started;
    try {
        started.emplace(out, colours, movie, running);
    } catch (const ThreadsUnavailable&) {
        // The system has no threads to spare: all on this one, as small movies are.
        running.threaded = false;
        started.emplace(out, colours, movie, running);
    }
    Pipeline& pipeline = *started;
    if (options.progress) {
        options.progress(0, plan.totalFrames);
        // The whole count is told only once the last bitmap is written.
        pipeline.onFramesShown([&options, total = plan.totalFrames](uint32_t shown) {
            options.progress(std::min(shown, total - 1), total);
        });
    }
#ifdef GIF2SWF_TEST_HOOKS
    if (options.betweenPasses) {
        options.betweenPasses();
    }
#endif
    uint64_t paid = 0;
    for (size_t i = 0; i < inputs.size(); ++i) {
        startReading(static_cast<int>(i));
        const bool newSize = i == 0 || summaries[i].width != summaries[i - 1].width ||
                             summaries[i].height != summaries[i - 1].height;
        convertOne(inputs[i], static_cast<int>(i), summaries[i], plan, newSize, paid, colours,
                   pipeline);
        paid += summaries[i].bytes;
    }
    startReading(-1);
    pipeline.finish();
    result.movieBytes = out.position() - movieStart;
    // At most the GIF's size, unless even the levels worth their time could not make it so.
    // (A movie's own tags cost a few hundred bytes however small the GIF: below
    // kSizeKeptBytes the size is not kept.)
    if (result.movieBytes > paid && paid >= kSizeKeptBytes && options.warn) {
        const uint64_t hundredths = (result.movieBytes * 100 + paid - 1) / paid; // rounded up
        options.warn(formatMessage(ConvertError(Error::LargerThanGif, options.movieName,
                                                std::to_string(hundredths / 100) + "." +
                                                    std::to_string(hundredths % 100 / 10) +
                                                    std::to_string(hundredths % 10))));
    }
    result.frameCount = pipeline.frameCount();
    result.bitmapCount = pipeline.bitmapCount();
    result.bitmapsWritten = pipeline.bitmapsWritten();
    result.bitmapsDeflatedHarder = pipeline.bitmapsDeflatedHarder();
    return result;
}

} // namespace

ConvertResult convertGifs(const std::vector<InputFile>& inputs, const ConvertOptions& options,
                          ByteSink& out) {
    int reading = -1;
    // Errors carry their input's number; here it becomes the input's name.
    const auto named = [&](const ConvertError& error) {
        return nameInput(error, [&](int input) { return inputs[static_cast<size_t>(input)].name; });
    };
    const auto internal = [&](const std::string& detail) {
        return named(ConvertError(Error::Internal, {}, detail).about(reading, 0));
    };
    try {
        return convertAll(inputs, options, out, reading);
    } catch (const ConvertError& error) {
        throw named(error);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& error) {
        throw internal(error.what());
    } catch (...) {
        throw internal("unknown exception");
    }
}

} // namespace gif2swf
