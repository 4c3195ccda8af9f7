#include "GifMaker.h"

#include <gif_lib.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testgif {
namespace {

// giflib wants colour tables of a power-of-two size.
ColorMapObject* makeMap(const std::vector<Rgb>& colours) {
    int size = 2;
    while (size < static_cast<int>(colours.size())) {
        size *= 2;
    }
    std::vector<GifColorType> entries(static_cast<size_t>(size), GifColorType{0, 0, 0});
    for (size_t i = 0; i < colours.size(); ++i) {
        entries[i] = GifColorType{colours[i].r, colours[i].g, colours[i].b};
    }
    return GifMakeMapObject(size, entries.data());
}

void check(int result, GifFileType* gif, const char* what) {
    if (result == GIF_ERROR) {
        throw std::runtime_error(std::string("giflib failed to ") + what + ": " +
                                 GifErrorString(gif->Error));
    }
}

} // namespace

void writeGif(const std::string& path, const Gif& picture) {
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    if (gif == nullptr) {
        throw std::runtime_error("cannot create " + path + ": " + GifErrorString(error));
    }
    EGifSetGifVersion(gif, true);
    // giflib refuses images without any colour table: such a file gets a placeholder global
    // table, taken out of the file afterwards.
    bool withoutTables = false;
    for (const Frame& frame : picture.frames) {
        withoutTables |= picture.globalColours.empty() && frame.localColours.empty();
    }
    ColorMapObject* global = withoutTables                   ? makeMap(std::vector<Rgb>(256))
                             : picture.globalColours.empty() ? nullptr
                                                             : makeMap(picture.globalColours);
    check(EGifPutScreenDesc(gif, picture.width, picture.height, 8, picture.background, global), gif,
          "write the screen");
    GifFreeMapObject(global);
    if (picture.loopCount >= 0) {
        const GifByteType name[] = "NETSCAPE2.0";
        const GifByteType count[] = {1, static_cast<GifByteType>(picture.loopCount),
                                     static_cast<GifByteType>(picture.loopCount >> 8)};
        check(EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE), gif, "start an extension");
        check(EGifPutExtensionBlock(gif, 11, name), gif, "write an extension");
        check(EGifPutExtensionBlock(gif, 3, count), gif, "write an extension");
        check(EGifPutExtensionTrailer(gif), gif, "end an extension");
    }
    for (const Frame& frame : picture.frames) {
        if (frame.control) {
            GraphicsControlBlock control{};
            control.DisposalMode = frame.disposal;
            control.DelayTime = frame.delay;
            control.TransparentColor = frame.transparent;
            GifByteType bytes[4];
            const size_t length = EGifGCBToExtension(&control, bytes);
            check(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), bytes),
                  gif, "write a control block");
        }
        ColorMapObject* local = frame.localColours.empty() ? nullptr : makeMap(frame.localColours);
        check(EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height,
                               frame.interlaced, local),
              gif, "write an image descriptor");
        GifFreeMapObject(local);
        std::vector<int> order;
        if (frame.interlaced) {
            for (int y = 0; y < frame.height; y += 8)
                order.push_back(y);
            for (int y = 4; y < frame.height; y += 8)
                order.push_back(y);
            for (int y = 2; y < frame.height; y += 4)
                order.push_back(y);
            for (int y = 1; y < frame.height; y += 2)
                order.push_back(y);
        } else {
            for (int y = 0; y < frame.height; ++y)
                order.push_back(y);
        }
        std::vector<GifPixelType> row(static_cast<size_t>(frame.width));
        for (int y : order) {
            for (int x = 0; x < frame.width; ++x) {
                row[static_cast<size_t>(x)] =
                    frame.indices[static_cast<size_t>(y) * frame.width + x];
            }
            check(EGifPutLine(gif, row.data(), frame.width), gif, "write a row");
        }
    }
    if (EGifCloseFile(gif, &error) == GIF_ERROR) {
        throw std::runtime_error("cannot finish " + path + ": " + GifErrorString(error));
    }
    if (withoutTables) {
        std::ifstream in(path, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        in.close();
        bytes[10] = static_cast<char>(bytes[10] & 0x7F); // no global table
        bytes.erase(13, 256 * 3);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }
}

std::vector<Rgb> palette(int n, int seed) {
    std::vector<Rgb> colours;
    for (int i = 0; i < n; ++i) {
        const int v = i + seed * 7919;
        colours.push_back(Rgb{static_cast<uint8_t>(v * 37 + 11),
                              static_cast<uint8_t>(v / 256 * 53 + i * 5),
                              static_cast<uint8_t>(v % 256)});
    }
    return colours;
}

Frame patternFrame(int left, int top, int width, int height, int colours, int seed) {
    Frame frame;
    frame.left = left;
    frame.top = top;
    frame.width = width;
    frame.height = height;
    frame.indices.resize(static_cast<size_t>(width) * height);
    uint32_t state = 2166136261u ^ static_cast<uint32_t>(seed);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            // Bands with some noise: runs like real pictures, and every row differs.
            state = state * 1664525u + 1013904223u;
            const int band = (x / 3 + y / 2 + seed) % colours;
            const int noisy = (state >> 24) < 40 ? static_cast<int>((state >> 8) % colours) : band;
            frame.indices[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(noisy);
        }
    }
    return frame;
}

// A fire as the old demos drew it: each cell the average of those below it, fed by a random
// bottom row; colours from black through red and yellow to white.
Gif flame(int width, int height, int frames, int colours) {
    Gif gif{width, height, {}, 0, {}};
    for (int i = 0; i < colours; ++i) {
        const int v = i * 256 / colours * 3;
        gif.globalColours.push_back(Rgb{static_cast<uint8_t>(std::min(255, v)),
                                        static_cast<uint8_t>(std::clamp(v - 255, 0, 255)),
                                        static_cast<uint8_t>(std::clamp(v - 510, 0, 255))});
    }
    std::vector<int> heat(static_cast<size_t>(width) * (height + 2), 0);
    uint32_t seed = 12345;
    const auto random = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 16; };
    for (int i = 0; i < frames + 40; ++i) {
        for (size_t at = static_cast<size_t>(width) * height; at < heat.size(); ++at) {
            heat[at] = random() % 2 == 0 ? 255 : 0;
        }
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const auto at = [&](int row, int column) {
                    return heat[static_cast<size_t>(row) * width + (column + width) % width];
                };
                const int sum = at(y + 1, x - 1) + at(y + 1, x) + at(y + 1, x + 1) + at(y + 2, x);
                heat[static_cast<size_t>(y) * width + x] = sum * 63 / 256;
            }
        }
        if (i < 40) {
            continue; // until the fire has risen
        }
        Frame f;
        f.width = width;
        f.height = height;
        f.delay = 4;
        f.indices.resize(static_cast<size_t>(width) * height);
        for (size_t p = 0; p < f.indices.size(); ++p) {
            f.indices[p] = static_cast<uint8_t>(heat[p] * colours / 256);
        }
        gif.frames.push_back(std::move(f));
    }
    return gif;
}

Gif life(int width, int height, int frames, int alivePer256) {
    Gif gif{width, height, {Rgb{0, 0, 0}, Rgb{40, 220, 60}}, 0, {}};
    std::vector<uint8_t> board(static_cast<size_t>(width) * height);
    uint32_t seed = 777;
    for (uint8_t& cell : board) {
        seed = seed * 1664525u + 1013904223u;
        cell = (seed >> 24) < static_cast<uint32_t>(alivePer256) ? 1 : 0;
    }
    for (int i = 0; i < frames; ++i) {
        Frame f;
        f.width = width;
        f.height = height;
        f.delay = 4;
        f.indices = board;
        gif.frames.push_back(std::move(f));
        std::vector<uint8_t> next(board.size());
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                int around = 0;
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        if (dx != 0 || dy != 0) {
                            around +=
                                board[static_cast<size_t>((y + dy + height) % height) * width +
                                      (x + dx + width) % width];
                        }
                    }
                }
                const uint8_t alive = board[static_cast<size_t>(y) * width + x];
                next[static_cast<size_t>(y) * width + x] = around == 3 || (alive && around == 2);
            }
        }
        board.swap(next);
    }
    return gif;
}

} // namespace testgif
