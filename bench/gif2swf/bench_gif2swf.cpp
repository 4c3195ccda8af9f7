// Benchmark of the converter (not a test): makes a corpus of GIFs with giflib's encoder and,
// where installed, with the tools that make GIFs in the wild (ffmpeg's GIF encoder, with its
// default palette and with a colour table per frame, and ImageMagick's `-layers optimize` and
// `optimizeplus`; also a fire and a grainy film), converts each file with the
// real gif2swf and with ffmpeg (its default threads), and prints per file: our time, ffmpeg's,
// the limit (giflib's decoding plus libdeflate level 1 over the frames' index rasters, in this
// process, one thread), output size over GIF size and peak memory. Times are the best of
// --runs runs, wall clock, with the CPU time of that run beside it; the three take turns.
// Against a baseline also the ratio of the medians, for a second look.
//
//   bench_gif2swf [--runs N] [--keep FOLDER] [--baseline CONVERTER]
//
// The converter is looked up beside this program (both build into the application folder).
// --baseline takes turns with another build of the converter (an earlier commit's, say) and
// prints, per file, both times, ours over its, and whether the movies are byte for byte the
// same: a change is measured against what it replaces in one run.
#include "Converter.h"
#include "GifMaker.h"

#include <gif_lib.h>
#include <libdeflate.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Measure {
    bool ok = false;
    double seconds = 0;    // wall time, best run
    double cpuSeconds = 0; // user + system time of that run
    long maxRssKb = 0;
    long long outputBytes = 0;
    std::vector<double> walls; // every run's wall time

    // A second look beside the best: on a shared machine either moves by a tenth and more
    // from one run of the bench to the next (the still's slowest runs take twice its best).
    double medianSeconds() const {
        std::vector<double> sorted = walls;
        std::sort(sorted.begin(), sorted.end());
        const size_t n = sorted.size();
        return n == 0 ? 0 : n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    }
};

long long fileSize(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

// Runs a program once without a shell and keeps in `m` the best wall time (with that run's
// CPU time), the largest peak resident size the child reported and the output's size. A run
// that fails marks `m` failed for good.
void runChildOnce(const std::vector<std::string>& command, const std::string& output, Measure& m) {
    if (m.seconds == 0) {
        m.seconds = 1e9;
        m.ok = true;
    }
    if (!m.ok) {
        return;
    }
    m.ok = false;
    std::remove(output.c_str());
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        std::vector<char*> argv;
        for (const std::string& a : command) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) {
        return;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return;
    }
    m.walls.push_back(seconds);
    if (seconds < m.seconds) {
        m.seconds = seconds;
        m.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    m.maxRssKb = std::max(m.maxRssKb, usage.ru_maxrss);
    m.outputBytes = fileSize(output);
    m.ok = m.outputBytes > 0;
}

bool sameBytes(const std::string& a, const std::string& b) {
    std::FILE* fa = std::fopen(a.c_str(), "rb");
    std::FILE* fb = std::fopen(b.c_str(), "rb");
    bool same = fa != nullptr && fb != nullptr;
    while (same) {
        const int ca = std::fgetc(fa);
        same = ca == std::fgetc(fb);
        if (ca == EOF) {
            break;
        }
    }
    if (fa != nullptr) {
        std::fclose(fa);
    }
    if (fb != nullptr) {
        std::fclose(fb);
    }
    return same;
}

bool haveProgram(const char* name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "";
    size_t start = 0;
    while (start <= dirs.size()) {
        const size_t end = dirs.find(':', start);
        const std::string dir = dirs.substr(start, end == std::string::npos ? end : end - start);
        if (access((dir + "/" + name).c_str(), X_OK) == 0) {
            return true;
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return false;
}

// ---- the corpus ------------------------------------------------------------------------

using testgif::Frame;
using testgif::Gif;
using testgif::Rgb;

std::vector<Rgb> rampPalette(int n) {
    std::vector<Rgb> colours;
    for (int i = 0; i < n; ++i) {
        const double t = i / double(n);
        colours.push_back(Rgb{static_cast<uint8_t>(127.5 + 127.5 * std::sin(6.283 * t)),
                              static_cast<uint8_t>(127.5 + 127.5 * std::sin(6.283 * t + 2.1)),
                              static_cast<uint8_t>(255 * t)});
    }
    return colours;
}

// A photograph-like picture: smooth shapes quantised with ordered dithering, as GIF encoders
// make of photos. `phase` moves it.
Frame photoFrame(int width, int height, int colours, double phase) {
    static const int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    Frame f;
    f.width = width;
    f.height = height;
    f.indices.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double v = 0.5 + 0.2 * std::sin(x / 37.0 + phase) +
                             0.2 * std::cos(y / 53.0 - phase * 0.7) +
                             0.1 * std::sin((x + y) / 19.0 + phase * 1.3);
            const double dithered = v * (colours - 1) + (bayer[y & 3][x & 3] / 16.0 - 0.5);
            const int index = std::clamp(static_cast<int>(std::lround(dithered)), 0, colours - 1);
            f.indices[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(index);
        }
    }
    return f;
}

struct CorpusFile {
    std::string name;
    std::string path;
    int frames = 0;
};

CorpusFile make(const std::string& folder, const std::string& name, const Gif& gif) {
    const std::string path = folder + "/" + name;
    testgif::writeGif(path, gif);
    return {name, path, static_cast<int>(gif.frames.size())};
}

// An animation whose every frame covers the screen, as made from videos.
Gif wholeFrames(int width, int height, int colours, int frames, int delay, double step) {
    Gif gif{width, height, rampPalette(colours), 0, {}};
    for (int i = 0; i < frames; ++i) {
        Frame f = photoFrame(width, height, colours, i * step);
        f.delay = delay;
        gif.frames.push_back(std::move(f));
    }
    return gif;
}

// Full-screen noise over a slowly moving picture, every frame new: a grainy film.
Gif noise(int width, int height, int frames) {
    Gif gif{width, height, rampPalette(32), 0, {}};
    uint32_t seed = 777;
    for (int i = 0; i < frames; ++i) {
        Frame f = photoFrame(width, height, 32, i * 0.1);
        for (uint8_t& index : f.indices) {
            seed = seed * 1664525u + 1013904223u;
            index = static_cast<uint8_t>(std::clamp(int(index) + int(seed >> 29) - 3, 0, 31));
        }
        f.delay = 6;
        gif.frames.push_back(std::move(f));
    }
    return gif;
}

// A scene in which a few things move, each image after the first only the rectangle that
// changed, opaque, as simple encoders write them.
Gif changedRectangles(int width, int height, int frames) {
    Gif gif{width, height, rampPalette(64), 0, {}};
    Frame before;
    for (int i = 0; i < frames; ++i) {
        Frame f = photoFrame(width, height, 64, 0);
        for (int s = 0; s < 3; ++s) {
            const int size = 12 + 6 * s;
            const Frame sprite = photoFrame(size, size, 64, i * 0.3 + s);
            const int left = (i * (2 + s) + 40 * s) % (width - size);
            const int top = (i * (1 + s) + 30 * s) % (height - size);
            for (int y = 0; y < size; ++y) {
                std::copy_n(sprite.indices.begin() + y * size, size,
                            f.indices.begin() + (top + y) * width + left);
            }
        }
        f.delay = 4;
        Frame image = f;
        if (i > 0) {
            int left = width, top = height, right = 0, bottom = 0;
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    if (f.indices[y * width + x] != before.indices[y * width + x]) {
                        left = std::min(left, x);
                        right = std::max(right, x + 1);
                        top = std::min(top, y);
                        bottom = std::max(bottom, y + 1);
                    }
                }
            }
            if (right <= left) {
                left = top = 0;
                right = bottom = 1;
            }
            image.left = left;
            image.top = top;
            image.width = right - left;
            image.height = bottom - top;
            image.indices.clear();
            for (int y = top; y < bottom; ++y) {
                image.indices.insert(image.indices.end(), f.indices.begin() + y * width + left,
                                     f.indices.begin() + y * width + right);
            }
        }
        before = std::move(f);
        gif.frames.push_back(std::move(image));
    }
    return gif;
}

std::vector<CorpusFile> makeCorpus(const std::string& folder) {
    std::vector<CorpusFile> corpus;
    {
        Gif gif{2048, 2048, rampPalette(256), 0, {photoFrame(2048, 2048, 256, 0)}};
        corpus.push_back(make(folder, "still-2048x2048.gif", gif));
    }
    corpus.push_back(make(folder, "anim-320x240x300.gif", wholeFrames(320, 240, 64, 300, 4, 0.05)));
    {
        // An optimised animation: one full frame, then small changed rectangles with
        // transparency, as GIF optimisers write them.
        Gif gif{320, 240, rampPalette(64), 0, {photoFrame(320, 240, 64, 0)}};
        for (int i = 1; i < 300; ++i) {
            Frame f = photoFrame(48, 48, 64, i * 0.3);
            f.left = (i * 7) % (320 - 48);
            f.top = (i * 3) % (240 - 48);
            f.delay = 4;
            f.disposal = 1;
            f.transparent = 0;
            for (size_t p = 0; p < f.indices.size(); p += 5) {
                f.indices[p] = 0;
            }
            gif.frames.push_back(std::move(f));
        }
        corpus.push_back(make(folder, "sprites-320x240x300.gif", gif));
    }
    {
        Gif gif{640, 480, rampPalette(128), 0, {}};
        for (int i = 0; i < 50; ++i) {
            Frame f = photoFrame(640 - i * 4, 480 - i * 3, 128, i * 0.1);
            f.left = i * 2;
            f.top = i;
            f.transparent = 0;
            f.disposal = 2;
            f.delay = 8;
            gif.frames.push_back(std::move(f));
        }
        corpus.push_back(make(folder, "transparent-640x480x50.gif", gif));
    }
    corpus.push_back(
        make(folder, "long-160x120x3000.gif", wholeFrames(160, 120, 32, 3000, 2, 0.01)));
    {
        Gif gif{100, 80, rampPalette(16), 0, {photoFrame(100, 80, 16, 1)}};
        corpus.push_back(make(folder, "icon-100x80.gif", gif));
    }
    // GIFs as the tools that make most of them write them.
    const auto byTool = [&](const std::string& name, const std::vector<std::string>& command,
                            int frames) {
        const std::string path = folder + "/" + name;
        std::vector<std::string> full = command;
        full.push_back(path);
        Measure made;
        runChildOnce(full, path, made);
        if (made.ok) {
            corpus.push_back({name, path, frames});
        } else {
            std::printf("(%s not made: %s failed)\n", name.c_str(), command.front().c_str());
        }
    };
    const std::vector<std::string> video = {
        "ffmpeg", "-nostdin", "-v",
        "error",  "-y",       "-f",
        "lavfi",  "-i",       "testsrc=size=320x240:rate=25:duration=12"};
    byTool("ffmpeg-320x240x300.gif", video, 300);
    std::vector<std::string> local = video;
    local.insert(local.end(), {"-lavfi", "split[a][b];[a]palettegen=stats_mode=single[p];"
                                         "[b][p]paletteuse=new=1"});
    byTool("ffmpeg-local-320x240x300.gif", local, 300);
    {
        // Whole frames of a scene in which a few things move, optimised by ImageMagick.
        Gif gif{320, 240, rampPalette(64), 0, {}};
        for (int i = 0; i < 300; ++i) {
            Frame f = photoFrame(320, 240, 64, 0);
            const Frame sprite = photoFrame(40, 40, 64, i * 0.2);
            for (int y = 0; y < 40; ++y) {
                for (int x = 0; x < 40; ++x) {
                    f.indices[static_cast<size_t>((i + y) % 240) * 320 + (i * 3 + x) % 320] =
                        sprite.indices[static_cast<size_t>(y) * 40 + x];
                }
            }
            f.delay = 4;
            gif.frames.push_back(std::move(f));
        }
        const std::string whole = folder + "/whole-frames.gif";
        testgif::writeGif(whole, gif);
        byTool("magick-optimized-320x240x300.gif", {"convert", whole, "-layers", "optimize"}, 300);
        byTool("magick-optplus-320x240x300.gif", {"convert", whole, "-layers", "optimizeplus"},
               300);
        std::remove(whole.c_str());
    }
    // The kinds whose movies came out larger than the GIF before each bitmap had a budget.
    {
        // Moving content, not only sprites: a view panning over a smooth picture, reduced to
        // 64 colours and optimised both ways ImageMagick offers (with and without dither).
        const std::string scene = folder + "/scene.png";
        Measure made;
        runChildOnce(
            {"convert", "-seed", "5", "-size", "400x200", "plasma:fractal", "-blur", "0x3", scene},
            scene, made);
        std::vector<std::string> views = {"convert", scene};
        for (int i = 0; i < 30; ++i) {
            views.insert(views.end(),
                         {"(", "-clone", "0", "-crop",
                          "240x180+" + std::to_string(i * 5) + "+" + std::to_string(i / 2),
                          "+repage", ")"});
        }
        views.insert(views.end(), {"-delete", "0", "-delay", "4", "-loop", "0"});
        const std::string whole = folder + "/whole.gif";
        for (const bool dither : {false, true}) {
            // 64 colours, dithered as ImageMagick does by default, or not at all.
            std::vector<std::string> command = views;
            if (!dither) {
                command.push_back("+dither");
            }
            command.insert(command.end(), {"-colors", "64", whole});
            runChildOnce(command, whole, made);
            if (dither) {
                byTool("magick-optplus-pan-240x180x30.gif",
                       {"convert", whole, "-layers", "optimizeplus"}, 30);
            } else {
                byTool("magick-opt-pan-240x180x30.gif", {"convert", whole, "-layers", "optimize"},
                       30);
            }
        }
        std::remove(whole.c_str());
        std::remove(scene.c_str());
    }
    // ffmpeg's GIF encoder with its default palette (no palettegen).
    byTool("ffmpeg-testsrc2-320x240x100.gif",
           {"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
            "testsrc2=size=320x240:rate=25", "-t", "4"},
           100);
    byTool("ffmpeg-noisy-320x240x100.gif",
           {"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
            "testsrc2=size=320x240:rate=25", "-t", "4", "-vf", "noise=alls=30:allf=t"},
           100);
    corpus.push_back(make(folder, "flame-256x160x120.gif", testgif::flame(256, 160, 120)));
    corpus.push_back(make(folder, "noise-200x150x60.gif", noise(200, 150, 60)));
    // Small frames with one global colour table, which each frame's bitmap would repeat.
    corpus.push_back(make(folder, "fire-30x60x33.gif", testgif::flame(30, 60, 33)));
    corpus.push_back(make(folder, "fire256-30x60x60.gif", testgif::flame(30, 60, 60, 256)));
    corpus.push_back(make(folder, "small-32x64x90.gif", wholeFrames(32, 64, 128, 90, 5, 0.2)));
    corpus.push_back(make(folder, "rects-160x120x300.gif", changedRectangles(160, 120, 300)));
    {
        Gif gif{2048, 2048, rampPalette(256), 0, {photoFrame(2048, 2048, 256, 0)}};
        uint32_t seed = 99;
        for (uint8_t& index : gif.frames.front().indices) {
            seed = seed * 1664525u + 1013904223u;
            index = static_cast<uint8_t>(std::clamp(int(index) + int(seed >> 29) - 3, 0, 255));
        }
        corpus.push_back(make(folder, "noisy-2048x2048.gif", gif));
    }
    // Two-colour noise, which GIF's LZW codes better than deflate can.
    byTool("ffmpeg-life-320x240x100.gif",
           {"ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-t", "4", "-i",
            "life=s=320x240:r=25"},
           100);
    return corpus;
}

int readFile(GifFileType* gif, GifByteType* buffer, int size) {
    return static_cast<int>(
        std::fread(buffer, 1, static_cast<size_t>(size), static_cast<std::FILE*>(gif->UserData)));
}

// What a converter that did nothing else would pay: giflib decodes every image's index
// raster, libdeflate level 1 compresses it; one thread. The compressor and the buffers are
// kept from run to run, warm, as a converter's would be.
class Limit {
public:
    Limit() : compressor_(libdeflate_alloc_compressor(1)), six_(libdeflate_alloc_compressor(6)) {}
    ~Limit() {
        libdeflate_free_compressor(compressor_);
        libdeflate_free_compressor(six_);
    }
    Limit(const Limit&) = delete;
    Limit& operator=(const Limit&) = delete;

    // Wall time of one run over the file, in seconds.
    double seconds(const std::string& path) {
        const auto start = std::chrono::steady_clock::now();
        deflateRasters(path, compressor_);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    // What libdeflate's level 6 makes of the GIF's own pictures (each image's index raster,
    // its transparent pixels kept), in bytes.
    uint64_t levelSixBytes(const std::string& path) { return deflateRasters(path, six_); }

private:
    uint64_t deflateRasters(const std::string& path, libdeflate_compressor* compressor) {
        uint64_t total = 0;
        std::FILE* file = std::fopen(path.c_str(), "rb");
        int error = 0;
        GifFileType* gif = DGifOpen(file, readFile, &error);
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        while (gif != nullptr && DGifGetRecordType(gif, &type) == GIF_OK &&
               type != TERMINATE_RECORD_TYPE) {
            if (type == EXTENSION_RECORD_TYPE) {
                int code = 0;
                GifByteType* block = nullptr;
                DGifGetExtension(gif, &code, &block);
                while (block != nullptr && DGifGetExtensionNext(gif, &block) == GIF_OK) {
                }
                continue;
            }
            if (type != IMAGE_DESC_RECORD_TYPE || DGifGetImageDesc(gif) == GIF_ERROR) {
                break;
            }
            const size_t width = static_cast<size_t>(gif->Image.Width);
            const size_t height = static_cast<size_t>(gif->Image.Height);
            raster_.resize(width * height);
            for (size_t y = 0; y < height; ++y) {
                DGifGetLine(gif, raster_.data() + y * width, static_cast<int>(width));
            }
            packed_.resize(libdeflate_zlib_compress_bound(compressor, raster_.size()));
            total += libdeflate_zlib_compress(compressor, raster_.data(), raster_.size(),
                                              packed_.data(), packed_.size());
            GifFreeSavedImages(gif);
            gif->SavedImages = nullptr;
            gif->ImageCount = 0;
        }
        if (gif != nullptr) {
            DGifCloseFile(gif, &error);
        }
        std::fclose(file);
        return total;
    }

    libdeflate_compressor* compressor_;
    libdeflate_compressor* six_;
    std::vector<uint8_t> raster_;
    std::vector<uint8_t> packed_;
};

std::string converterBeside(const char* argv0) {
    std::string self = argv0;
    char resolved[4096];
    const ssize_t n = readlink("/proc/self/exe", resolved, sizeof(resolved) - 1);
    if (n > 0) {
        self.assign(resolved, static_cast<size_t>(n));
    }
    const size_t slash = self.find_last_of('/');
    return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/gif2swf";
}

// The converter's own account of a file, in this process: its bitmaps, how many of them
// needed a deflate level above their first, and its warning about the size, if any.
struct Account {
    uint32_t bitmaps = 0;
    uint32_t harder = 0;
    bool warned = false;
};

Account account(const CorpusFile& file) {
    Account result;
    gif2swf::MemorySink sink;
    gif2swf::ConvertOptions options;
    options.warn = [&result](const std::string& line) {
        result.warned = result.warned || line.find("compress better") != std::string::npos;
    };
    const gif2swf::ConvertResult converted =
        gif2swf::convertGifs({gif2swf::inputFromPath(file.path)}, options, sink);
    result.bitmaps = converted.bitmapsWritten;
    result.harder = converted.bitmapsDeflatedHarder;
    return result;
}

} // namespace

int main(int argc, char** argv) {
    int runs = 3;
    std::string keep;
    std::string baseline;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--keep") == 0 && i + 1 < argc) {
            keep = argv[++i];
        } else if (std::strcmp(argv[i], "--baseline") == 0 && i + 1 < argc) {
            baseline = argv[++i];
        } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
            only = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: %s [--runs N] [--keep FOLDER] [--baseline CONVERTER] "
                         "[--only TEXT]\n",
                         argv[0]);
            return 1;
        }
    }
    const std::string converter = converterBeside(argv[0]);
    if (access(converter.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "no converter at %s: build the gif2swf target\n", converter.c_str());
        return 1;
    }
    std::string folder = keep;
    if (folder.empty()) {
        char pattern[] = "/tmp/bench-gif2swf-XXXXXX";
        folder = mkdtemp(pattern);
    } else {
        mkdir(folder.c_str(), 0777);
    }
    std::printf("making the corpus in %s ...\n", folder.c_str());
    const std::vector<CorpusFile> corpus = makeCorpus(folder);
    const bool ffmpeg = haveProgram("ffmpeg");
    if (!ffmpeg) {
        std::printf("ffmpeg not found: gif2swf alone\n");
    }
    std::printf("runs per figure: %d, taking turns (best wall time; cpu: that run's user + "
                "system time)\n",
                runs);

    // limit: giflib decoding + libdeflate level 1 of the index rasters, one thread, in
    // process; x limit: our wall time over it; speed-up: ffmpeg's median wall time (one
    // thread) over ours; own 6: what libdeflate's level 6 makes of the GIF's own pictures,
    // over the GIF; harder: bitmaps that needed a deflate level above their first, of all;
    // warned: the converter said the movie is larger than the GIF.
    std::printf("\n%-33s %7s %6s | %8s %8s %8s %7s | %8s %8s | %7s %7s %9s %6s | %7s\n", "file",
                "GIF MB", "frames", "ms", "cpu ms", "limit ms", "x limit", "ff ms", "speed-up",
                "out/GIF", "own 6", "harder", "warned", "RSS MB");
    bool allWithin = true;
    bool allFaster = true;
    bool allSmaller = true;
    uint32_t harderBitmaps = 0;
    uint32_t allBitmaps = 0;
    struct AgainstBaseline {
        std::string name;
        Measure ours;
        Measure theirs;
        bool same = false;
    };
    std::vector<AgainstBaseline> againstBaseline;
    for (const CorpusFile& file : corpus) {
        if (file.name.find(only) == std::string::npos) {
            continue;
        }
        const double inMb = fileSize(file.path) / 1e6;
        const std::string out = folder + "/" + file.name + ".swf";
        const std::string ffOut = folder + "/" + file.name + ".ffmpeg.swf";
        // The three take turns, so that a slower spell of a shared machine (whose speed
        // varies by a third here) weighs on all of them alike.
        Measure ours;
        Measure theirs;
        Measure old;
        const std::string oldOut = folder + "/" + file.name + ".baseline.swf";
        double limit = 1e9;
        Limit limiter;
        for (int run = 0; run < runs; ++run) {
            // Ours and the baseline go first in turn, so neither always follows ffmpeg.
            const bool baselineFirst = !baseline.empty() && run % 2 == 1;
            if (baselineFirst) {
                runChildOnce({baseline, file.path, "-o", oldOut}, oldOut, old);
            }
            runChildOnce({converter, file.path, "-o", out}, out, ours);
            if (!baseline.empty() && !baselineFirst) {
                runChildOnce({baseline, file.path, "-o", oldOut}, oldOut, old);
            }
            limit = std::min(limit, limiter.seconds(file.path));
            if (ffmpeg) {
                runChildOnce({"ffmpeg", "-nostdin", "-v", "error", "-threads", "1", "-y", "-i",
                              file.path, ffOut},
                             ffOut, theirs);
            }
        }
        if (!baseline.empty()) {
            againstBaseline.push_back({file.name, ours, old, sameBytes(out, oldOut)});
            std::remove(oldOut.c_str());
        }
        std::printf("%-33s %7.2f %6d |", file.name.c_str(), inMb, file.frames);
        if (!ours.ok) {
            std::printf(" FAILED\n");
            allWithin = allFaster = allSmaller = false;
            continue;
        }
        const double sizeRatio = ours.outputBytes / (inMb * 1e6);
        const double ownSix = limiter.levelSixBytes(file.path) / (inMb * 1e6);
        const Account said = account(file);
        std::printf(" %8.1f %8.1f %8.1f %6.2fx |", ours.medianSeconds() * 1000,
                    ours.cpuSeconds * 1000, limit * 1000, ours.seconds / limit);
        allWithin = allWithin && ours.seconds <= 1.3 * limit;
        // At most the GIF's size, or (warned) what level 6 makes of the GIF's own pictures.
        allSmaller = allSmaller && (inMb < 0.01 || sizeRatio <= (said.warned ? ownSix : 1.0));
        // Animations at least 4 times as fast as ffmpeg; a still, or a file whose pictures
        // GIF's format codes better, 2.5 times.
        const double speedUp = theirs.ok ? theirs.medianSeconds() / ours.medianSeconds() : 0;
        const bool faster = speedUp >= (file.frames > 1 && !said.warned ? 4.0 : 2.5);
        if (theirs.ok) {
            std::printf(" %8.1f %7.2fx", theirs.medianSeconds() * 1000, speedUp);
        } else {
            std::printf(" %8s %8s", "-", "-");
        }
        allFaster = allFaster && faster;
        const std::string harder = std::to_string(said.harder) + "/" + std::to_string(said.bitmaps);
        std::printf(" | %7.3f %7.3f %9s %6s | %7.1f\n", sizeRatio, ownSix, harder.c_str(),
                    said.warned ? "yes" : "", ours.maxRssKb / 1024.0);
        harderBitmaps += said.harder;
        allBitmaps += said.bitmaps;
    }
    std::printf("\nwithin 1.3x of the limit on every file: %s\n", allWithin ? "yes" : "NO");
    std::printf("at least 4x faster than ffmpeg on every animation, 2.5x on stills and warned "
                "files (medians): %s\n",
                allFaster ? "yes" : "NO");
    std::printf("at most the GIF's size on every file of 10 kB or more (warned: at most its own "
                "pictures at level 6): %s\n",
                allSmaller ? "yes" : "NO");
    std::printf("bitmaps deflated at a level above their first: %u of %u (%.1f %%)\n",
                harderBitmaps, allBitmaps,
                allBitmaps == 0 ? 0.0 : 100.0 * harderBitmaps / allBitmaps);
    if (!baseline.empty()) {
        std::printf("\nagainst %s (taking turns with ours):\n", baseline.c_str());
        std::printf("%-33s %8s %8s %8s %8s %8s %11s\n", "file", "ms", "base ms", "ms/base",
                    "med/base", "cpu/base", "same bytes");
        bool allKept = true;
        bool sameKept = true; // on the files whose movie did not change
        bool allSame = true;
        for (const AgainstBaseline& b : againstBaseline) {
            if (!b.ours.ok || !b.theirs.ok) {
                std::printf("%-33s FAILED\n", b.name.c_str());
                allKept = allSame = false;
                continue;
            }
            const double ratio = b.ours.seconds / b.theirs.seconds;
            const double medianRatio = b.ours.medianSeconds() / b.theirs.medianSeconds();
            std::printf("%-33s %8.1f %8.1f %8.3f %8.3f %8.3f %11s\n", b.name.c_str(),
                        b.ours.seconds * 1000, b.theirs.seconds * 1000, ratio, medianRatio,
                        b.ours.cpuSeconds / b.theirs.cpuSeconds, b.same ? "yes" : "NO");
            allKept = allKept && ratio <= 1.05;
            sameKept = sameKept && (!b.same || ratio <= 1.05);
            allSame = allSame && b.same;
        }
        std::printf("within 5 %% of the baseline's time or faster on every file: %s\n",
                    allKept ? "yes" : "NO");
        std::printf("the same on every file whose movie is the baseline's: %s\n",
                    sameKept ? "yes" : "NO");
        std::printf("byte for byte the baseline's movie on every file: %s\n",
                    allSame ? "yes" : "NO");
    }
    if (keep.empty()) {
        for (const CorpusFile& file : corpus) {
            std::remove(file.path.c_str());
            std::remove((folder + "/" + file.name + ".swf").c_str());
            std::remove((folder + "/" + file.name + ".ffmpeg.swf").c_str());
        }
        rmdir(folder.c_str());
    }
    return 0;
}
