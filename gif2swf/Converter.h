#pragma once

#include "BitmapEncoder.h"
#include "ByteSink.h"
#include "ByteSource.h"
#include "MovieLook.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// GIF files in, one movie out: every image of every file, in order, shown as a GIF viewer
// shows it, for as long as its delay (or 1/rate) says.
namespace gif2swf {

struct InputFile {
    std::string name; // for messages
    // Opens the data from its start; called twice (a quick scan, then the decoding).
    std::function<std::unique_ptr<ByteSource>()> open;
};

InputFile inputFromPath(const std::string& path);

// Movies of fewer pixels than this (screen times images, over all inputs) are made on the
// caller's thread alone.
constexpr uint64_t kThreadedPixels = 256 * 1024;

// A movie of GIFs of this many bytes or more is at most their size, or a warning says how
// much larger it is.
constexpr uint64_t kSizeKeptBytes = 10 * 1000;

struct ConvertOptions {
    // Images per second; without it each image keeps its GIF delay.
    std::optional<double> rate;
    std::string rateSubject = "-r"; // names the rate in messages
    // How often the movie plays before it stops on its last frame, 0: for ever. Unset: a
    // single GIF as often as it says, several inputs or a rate for ever.
    std::optional<uint32_t> plays;
    MovieLook look;
    // Lays out and deflates the pictures on threads of their own; unset: when the movie has
    // enough pixels for it to pay (see kThreadedPixels).
    std::optional<bool> threaded;
    // Receives warnings (complete lines without the newline); the conversion goes on.
    std::function<void(const std::string&)> warn;
    std::string movieName; // names the movie in warnings about it as a whole
    // Told how many frames of the movie are done of how many planned: (0, total) once the
    // plan is known, then after each picture laid out (from the writing thread), at most
    // total - 1: the caller tells the whole count once the movie is where it belongs.
    std::function<void(uint32_t done, uint32_t total)> progress;
    // Told the number (0-based) of each input as it starts being read (scanned, then decoded),
    // and -1 once all are read: for a failure that ends the process before convertGifs can
    // report it (an exception escaping a thread).
    std::function<void(int input)> reading;
#ifdef GIF2SWF_TEST_HOOKS
    // Test and fuzz builds only: every movie on threads, through hand-offs of a bitmap or
    // two, so that small inputs meet every edge of the threaded path.
    bool smallQueues = false;
    // Called once every input is scanned, before any is read again: a test changes a file
    // there, the fuzzer too.
    std::function<void()> betweenPasses;
    // How many threads the system lets start, as one short of them would (-1: as many as it
    // gives).
    int threadsThatStart = -1;
#endif
};

// What a GIF holds, from a scan that reads its structure without decoding pixels.
struct GifSummary {
    int width = 0; // the logical screen (or the images' extent when the screen is 0 wide)
    int height = 0;
    std::vector<uint16_t> delays; // per image, as shown (see shownDelay)
    int loopCount = -1;           // from the looping extension (see GifReader::loopCount)
    int firstGreyImage = 0;       // the first image without a colour table; 0: none
    // What the decoding checks, so that a file that changed since in any byte (one still
    // being written, rewritten in place, another renamed over it) is refused and nothing is
    // allocated beyond what the scan allowed: the bytes up to the trailer, the largest image,
    // the keyed fingerprint of the bytes before each image's pixels and of the whole.
    uint64_t bytes = 0;
    uint64_t largestImagePixels = 0;
    std::vector<uint64_t> imageFingerprints;
    uint64_t fingerprint = 0;
};

// Scans a GIF; throws ConvertError for a broken file or a screen or image too large for a
// movie, before anything is allocated for its pixels.
GifSummary scanGif(ByteSource& source, const std::string& name);

// Throws ImageTooLarge when players cannot show a picture of this size.
void checkPictureSize(int width, int height, const std::string& name, int frame = 0);

struct ConvertResult {
    int stageWidth = 0;
    int stageHeight = 0;
    uint16_t frameRate = 0; // 8.8 fixed point
    uint32_t frameCount = 0;
    uint32_t bitmapCount = 0;           // pictures defined
    uint32_t bitmapsWritten = 0;        // bitmap tags (small pictures share one)
    uint32_t bitmapsDeflatedHarder = 0; // of those, the ones that needed a level above their first
    uint64_t movieBytes = 0;
};

// Converts the inputs into a movie written to `out`; throws ConvertError (a fault of the
// converter itself as Error::Internal, naming the input being read) or std::bad_alloc.
ConvertResult convertGifs(const std::vector<InputFile>& inputs, const ConvertOptions& options,
                          ByteSink& out);

} // namespace gif2swf
