// Benchmark of the converter (not a test): makes a corpus of GIFs with giflib's encoder,
// converts each file with the real gif2swf and, where ffmpeg is installed, with
// `ffmpeg -threads 1`, and prints time, throughput, peak memory and output size side by side.
//
//   bench_gif2swf [--runs N] [--keep FOLDER]
//
// The converter is looked up beside this program (both build into the application folder).
#include "Converter.h"
#include "GifMaker.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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
};

long long fileSize(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

// Runs a program without a shell; the best wall time of `runs` runs and the largest peak
// resident size the child reported.
Measure runChild(const std::vector<std::string>& command, const std::string& output, int runs) {
    Measure m;
    m.seconds = 1e9;
    for (int run = 0; run < runs; ++run) {
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
            return m;
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            return m;
        }
        if (seconds < m.seconds) {
            m.seconds = seconds;
            m.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        }
        m.maxRssKb = std::max(m.maxRssKb, usage.ru_maxrss);
    }
    m.outputBytes = fileSize(output);
    m.ok = m.outputBytes > 0;
    return m;
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
    return corpus;
}

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

// Conversion in this process at several deflate levels: what the level choice costs.
void compareLevels(const CorpusFile& file) {
    std::printf("\ndeflate level on %s (in process, best of 3):\n", file.name.c_str());
    std::printf("  %-6s %10s %12s\n", "level", "ms", "movie bytes");
    for (int level : {1, 3, 6, 9}) {
        double best = 1e9;
        size_t size = 0;
        for (int run = 0; run < 3; ++run) {
            gif2swf::MemorySink sink;
            gif2swf::ConvertOptions options;
            options.compressionLevel = level;
            const auto start = std::chrono::steady_clock::now();
            gif2swf::convertGifs({gif2swf::inputFromPath(file.path)}, options, sink);
            best = std::min(
                best,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            size = sink.data().size();
        }
        std::printf("  %-6d %10.1f %12zu\n", level, best * 1000, size);
    }
}

} // namespace

int main(int argc, char** argv) {
    int runs = 3;
    std::string keep;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--keep") == 0 && i + 1 < argc) {
            keep = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--runs N] [--keep FOLDER]\n", argv[0]);
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

    // ms: wall time of the best run; cpu ms: its user + system time; speed-up: ffmpeg's
    // wall time over ours.
    std::printf("\n%-27s %7s %6s | %7s %7s %7s %9s %7s %7s |", "file", "GIF MB", "frames", "ms",
                "cpu ms", "MB/s", "frames/s", "RSS MB", "out/in");
    if (ffmpeg) {
        std::printf(" %7s %7s %7s %7s | %9s", "ff ms", "ff cpu", "ff RSS", "ff o/i", "speed-up");
    }
    std::printf("\n");
    bool allFaster = true;
    for (const CorpusFile& file : corpus) {
        const double inMb = fileSize(file.path) / 1e6;
        const std::string out = folder + "/" + file.name + ".swf";
        const Measure ours = runChild({converter, file.path, "-o", out}, out, runs);
        std::printf("%-27s %7.2f %6d |", file.name.c_str(), inMb, file.frames);
        if (ours.ok) {
            std::printf(" %7.1f %7.1f %7.1f %9.0f %7.1f %7.2f |", ours.seconds * 1000,
                        ours.cpuSeconds * 1000, inMb / ours.seconds, file.frames / ours.seconds,
                        ours.maxRssKb / 1024.0, ours.outputBytes / (inMb * 1e6));
        } else {
            std::printf(" %7s %7s %7s %9s %7s %7s |", "FAILED", "", "", "", "", "");
        }
        if (ffmpeg) {
            const std::string ffOut = folder + "/" + file.name + ".ffmpeg.swf";
            const Measure theirs = runChild({"ffmpeg", "-nostdin", "-v", "error", "-y", "-threads",
                                             "1", "-i", file.path, ffOut},
                                            ffOut, runs);
            if (theirs.ok && ours.ok) {
                std::printf(" %7.1f %7.1f %7.1f %7.2f | %8.2fx", theirs.seconds * 1000,
                            theirs.cpuSeconds * 1000, theirs.maxRssKb / 1024.0,
                            theirs.outputBytes / (inMb * 1e6), theirs.seconds / ours.seconds);
                allFaster = allFaster && theirs.seconds > ours.seconds;
            } else {
                std::printf(" %8s", "FAILED");
            }
        }
        std::printf("\n");
    }
    if (ffmpeg) {
        std::printf("\nfaster than ffmpeg on every file: %s\n", allFaster ? "yes" : "NO");
    }
    compareLevels(corpus.front());
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
