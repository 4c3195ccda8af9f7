#include "SwfPlayback.h"

#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testswf {
namespace {

// Bit fields most significant bit first, then byte reads after alignment.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t u8() {
        align();
        need(1);
        return data_[pos_++];
    }
    uint16_t u16() {
        const uint16_t low = u8();
        return static_cast<uint16_t>(low | u8() << 8);
    }
    uint32_t u32() {
        const uint32_t low = u16();
        return low | uint32_t{u16()} << 16;
    }
    const uint8_t* take(size_t n) {
        align();
        need(n);
        pos_ += n;
        return data_ + pos_ - n;
    }
    uint32_t bits(int count) {
        uint32_t value = 0;
        for (int i = 0; i < count; ++i) {
            if (bit_ == 0) {
                need(1);
                current_ = data_[pos_++];
                bit_ = 8;
            }
            --bit_;
            value = value << 1 | ((current_ >> bit_) & 1u);
        }
        return value;
    }
    int32_t signedBits(int count) {
        uint32_t v = bits(count);
        if (count > 0 && count < 32 && ((v >> (count - 1)) & 1u)) {
            v |= ~0u << count;
        }
        return static_cast<int32_t>(v);
    }
    std::vector<int32_t> rect() {
        const int n = static_cast<int>(bits(5));
        std::vector<int32_t> values;
        for (int i = 0; i < 4; ++i) {
            values.push_back(signedBits(n));
        }
        align();
        return values;
    }
    void align() { bit_ = 0; }
    size_t pos() const { return pos_; }
    size_t left() const { return size_ - pos_; }

private:
    void need(size_t n) const {
        if (n > size_ - pos_) {
            throw std::runtime_error("movie ends inside a record");
        }
    }
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    uint8_t current_ = 0;
    int bit_ = 0;
};

std::vector<uint8_t> inflate(const uint8_t* data, size_t size, size_t expected) {
    std::vector<uint8_t> out(expected);
    uLongf outSize = static_cast<uLongf>(expected);
    if (uncompress(out.data(), &outSize, data, static_cast<uLong>(size)) != Z_OK ||
        outSize != expected) {
        throw std::runtime_error("bitmap data does not inflate to its size");
    }
    return out;
}

struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> argb; // premultiplied
};

uint32_t premultiplied(uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
    if (r > a || g > a || b > a) {
        throw std::runtime_error("premultiplied colour above its alpha");
    }
    return uint32_t{a} << 24 | uint32_t{r} << 16 | uint32_t{g} << 8 | b;
}

Bitmap decodeBitmap(int code, Reader& tag, size_t length) {
    const size_t end = length;
    const uint8_t format = tag.u8();
    Bitmap p;
    p.width = tag.u16();
    p.height = tag.u16();
    const bool alpha = code == 36;
    p.argb.resize(static_cast<size_t>(p.width) * p.height);
    if (format == 3) {
        const int colours = tag.u8() + 1;
        const size_t entry = alpha ? 4 : 3;
        const size_t rowBytes = (static_cast<size_t>(p.width) + 3) / 4 * 4;
        const size_t zsize = end - tag.pos();
        const std::vector<uint8_t> raw =
            inflate(tag.take(zsize), zsize, colours * entry + rowBytes * p.height);
        for (int y = 0; y < p.height; ++y) {
            for (int x = 0; x < p.width; ++x) {
                const int index = raw[colours * entry + rowBytes * y + x];
                if (index >= colours) {
                    throw std::runtime_error("pixel index beyond the colour table");
                }
                const uint8_t* c = raw.data() + index * entry;
                p.argb[static_cast<size_t>(y) * p.width + x] =
                    premultiplied(alpha ? c[3] : 255, c[0], c[1], c[2]);
            }
        }
    } else if (format == 5) {
        const size_t zsize = end - tag.pos();
        const std::vector<uint8_t> raw = inflate(tag.take(zsize), zsize, p.argb.size() * 4);
        for (size_t i = 0; i < p.argb.size(); ++i) {
            const uint8_t* c = raw.data() + i * 4;
            p.argb[i] = premultiplied(alpha ? c[0] : 255, c[1], c[2], c[3]);
        }
    } else {
        throw std::runtime_error("unexpected bitmap format " + std::to_string(format));
    }
    return p;
}

struct Layer {
    uint16_t shape = 0;
    int32_t x = 0; // twips
    int32_t y = 0;
    int64_t scaleX = 1 << 16; // 16.16
    int64_t scaleY = 1 << 16;
};

// The bitmap pixel under the centre of stage pixel `at` along one axis, for a layer placed at
// `origin` twips with `scale` (16.16); may be outside the bitmap. A bitmap pixel is 20 twips
// before the placement's scale.
int64_t bitmapPixelUnder(int at, int32_t origin, int64_t scale) {
    const int64_t offset = (int64_t{at} * 20 + 10 - origin) * 65536; // in 1/65536 twips
    const int64_t size = 20 * scale;
    return offset >= 0 ? offset / size : -((-offset + size - 1) / size);
}

} // namespace

Playback play(const std::vector<uint8_t>& movie) {
    Reader in(movie.data(), movie.size());
    const uint8_t* signature = in.take(3);
    if (signature[0] != 'F' || signature[1] != 'W' || signature[2] != 'S') {
        throw std::runtime_error("not an uncompressed movie");
    }
    in.u8(); // version
    if (in.u32() != movie.size()) {
        throw std::runtime_error("file length field differs from the file's size");
    }
    Playback play;
    const std::vector<int32_t> frame = in.rect();
    play.stageWidth = frame[1] / 20;
    play.stageHeight = frame[3] / 20;
    play.frameRate = in.u16();
    play.headerFrameCount = in.u16();

    std::map<uint16_t, Bitmap> bitmaps;
    std::map<uint16_t, Bitmap> shapePixels; // the part of its bitmap each shape shows
    std::map<uint16_t, Layer> layers;       // by depth
    bool changed = true;
    const auto drawLayer = [&](const Layer& layer, std::vector<uint32_t>& stage) {
        const Bitmap& bitmap = shapePixels.at(layer.shape);
        // The stage pixels the layer may cover, a pixel more on each side.
        const auto span = [](int32_t origin, int64_t scale, int size, int stage) {
            const int64_t first = origin / 20 - 1;
            const int64_t last = (origin + int64_t{size} * 20 * scale / 65536) / 20 + 1;
            return std::make_pair(static_cast<int>(std::max<int64_t>(0, first)),
                                  static_cast<int>(std::min<int64_t>(stage, last + 1)));
        };
        const auto [firstX, endX] = span(layer.x, layer.scaleX, bitmap.width, play.stageWidth);
        const auto [firstY, endY] = span(layer.y, layer.scaleY, bitmap.height, play.stageHeight);
        for (int sy = firstY; sy < endY; ++sy) {
            const int64_t y = bitmapPixelUnder(sy, layer.y, layer.scaleY);
            if (y < 0 || y >= bitmap.height) {
                continue;
            }
            for (int sx = firstX; sx < endX; ++sx) {
                const int64_t x = bitmapPixelUnder(sx, layer.x, layer.scaleX);
                if (x < 0 || x >= bitmap.width) {
                    continue;
                }
                const uint32_t c = bitmap.argb[static_cast<size_t>(y * bitmap.width + x)];
                uint32_t& d = stage[static_cast<size_t>(sy) * play.stageWidth + sx];
                const uint32_t a = c >> 24;
                uint32_t out = 0;
                for (int shift = 0; shift <= 16; shift += 8) {
                    const uint32_t channel =
                        ((c >> shift) & 0xFF) + ((d >> shift) & 0xFF) * (255 - a) / 255;
                    out |= channel << shift;
                }
                d = out;
            }
        }
    };
    for (;;) {
        const uint16_t head = in.u16();
        const int code = head >> 6;
        size_t length = head & 0x3F;
        if (length == 0x3F) {
            length = in.u32();
        }
        if (length > in.left()) {
            throw std::runtime_error("tag runs past the end of the file");
        }
        play.tagCodes.push_back(code);
        if (code == 0) {
            break;
        }
        Reader tag(in.take(length), length);
        if (code == 9) {
            play.background = uint32_t{tag.u8()} << 16;
            play.background |= uint32_t{tag.u8()} << 8;
            play.background |= tag.u8();
        } else if (code == 20 || code == 36) {
            const uint16_t id = tag.u16();
            Bitmap bitmap = decodeBitmap(code, tag, length);
            ++play.bitmapTags;
            play.colourMappedBitmaps += movie[in.pos() - length + 2] == 3 ? 1 : 0;
            play.widestBitmap = std::max(play.widestBitmap, bitmap.width);
            bitmaps[id] = std::move(bitmap);
        } else if (code == 2) {
            const uint16_t id = tag.u16();
            const std::vector<int32_t> bounds = tag.rect();
            if (tag.u8() != 1) {
                throw std::runtime_error("expected one fill style");
            }
            tag.u8(); // fill type
            const Bitmap& bitmap = bitmaps.at(tag.u16());
            // The fill: a bitmap pixel to a pixel (a scale of 20), moved by whole pixels.
            const int scaleBits = tag.bits(1) != 0 ? static_cast<int>(tag.bits(5)) : 0;
            if (scaleBits == 0 || tag.signedBits(scaleBits) != 20 << 16 ||
                tag.signedBits(scaleBits) != 20 << 16 || tag.bits(1) != 0) {
                throw std::runtime_error("bitmap fill not at one pixel a pixel");
            }
            const int moveBits = static_cast<int>(tag.bits(5));
            const int32_t moveX = tag.signedBits(moveBits);
            const int32_t moveY = tag.signedBits(moveBits);
            const int32_t left = bounds[0] - moveX;
            const int32_t top = bounds[2] - moveY;
            Bitmap part;
            part.width = (bounds[1] - bounds[0]) / 20;
            part.height = (bounds[3] - bounds[2]) / 20;
            if (left % 20 != 0 || top % 20 != 0 || left < 0 || top < 0 ||
                left / 20 + part.width > bitmap.width || top / 20 + part.height > bitmap.height) {
                throw std::runtime_error("shape shows more than its bitmap");
            }
            for (int y = 0; y < part.height; ++y) {
                const auto row = bitmap.argb.begin() + (top / 20 + y) * bitmap.width + left / 20;
                part.argb.insert(part.argb.end(), row, row + part.width);
            }
            shapePixels[id] = std::move(part);
        } else if (code == 26) {
            const uint8_t flags = tag.u8();
            const uint16_t depth = tag.u16();
            const bool move = flags & 0x01;
            const bool hasCharacter = flags & 0x02;
            const bool hasMatrix = flags & 0x04;
            if ((flags & 0xF8) != 0) {
                throw std::runtime_error("placement with more than a matrix");
            }
            if (move != (layers.count(depth) != 0)) {
                throw std::runtime_error("placement ignored by players: depth " +
                                         std::to_string(depth));
            }
            Layer& layer = layers[depth];
            if (hasCharacter) {
                layer.shape = tag.u16();
                if (shapePixels.count(layer.shape) == 0) {
                    throw std::runtime_error("placement of an undefined shape");
                }
            }
            layer.x = layer.y = 0;
            layer.scaleX = layer.scaleY = 1 << 16;
            if (hasMatrix) {
                if (tag.bits(1) != 0) {
                    const int n = static_cast<int>(tag.bits(5));
                    layer.scaleX = tag.signedBits(n);
                    layer.scaleY = tag.signedBits(n);
                    if (layer.scaleX <= 0 || layer.scaleY <= 0) {
                        throw std::runtime_error("placement mirrors or hides its shape");
                    }
                }
                if (tag.bits(1) != 0) {
                    throw std::runtime_error("placement rotates");
                }
                const int n = static_cast<int>(tag.bits(5));
                layer.x = tag.signedBits(n);
                layer.y = tag.signedBits(n);
                const bool oneToOne = layer.scaleX == 1 << 16 && layer.scaleY == 1 << 16;
                if (oneToOne && (layer.x % 20 != 0 || layer.y % 20 != 0)) {
                    throw std::runtime_error("placement between pixels");
                }
            }
            play.deepestLayer = std::max(play.deepestLayer, int{depth});
            changed = true;
        } else if (code == 28) {
            if (layers.erase(tag.u16()) != 1) {
                throw std::runtime_error("removal of an empty depth");
            }
            changed = true;
        } else if (code == 1) {
            if (layers.empty()) {
                throw std::runtime_error("a frame shows before anything is placed");
            }
            if (changed) {
                std::vector<uint32_t> stage(static_cast<size_t>(play.stageWidth) * play.stageHeight,
                                            play.background);
                for (const auto& [depth, layer] : layers) {
                    drawLayer(layer, stage);
                }
                play.frames.push_back(std::move(stage));
                changed = false;
            } else {
                play.frames.push_back(play.frames.back());
            }
        }
    }
    if (in.left() != 0) {
        throw std::runtime_error("bytes after the End tag");
    }
    return play;
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::runtime_error("cannot read " + path);
    }
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

} // namespace testswf
