#include "GifMaker.h"

#include <gif_lib.h>

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
    ColorMapObject* global =
        picture.globalColours.empty() ? nullptr : makeMap(picture.globalColours);
    check(EGifPutScreenDesc(gif, picture.width, picture.height, 8, picture.background, global), gif,
          "write the screen");
    GifFreeMapObject(global);
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

} // namespace testgif
