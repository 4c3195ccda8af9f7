#include "SwfPlayback.h"

#include <zlib.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testswf {
namespace {

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t u8() {
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
        need(n);
        pos_ += n;
        return data_ + pos_ - n;
    }
    // A RECT's bit fields, most significant bit first, then byte alignment.
    std::vector<int32_t> rect() {
        uint64_t bitPos = 0;
        auto bits = [&](int count) {
            uint32_t value = 0;
            for (int i = 0; i < count; ++i, ++bitPos) {
                need(bitPos / 8 + 1);
                const uint8_t byte = data_[pos_ + bitPos / 8];
                value = value << 1 | ((byte >> (7 - bitPos % 8)) & 1u);
            }
            return value;
        };
        const int n = static_cast<int>(bits(5));
        std::vector<int32_t> values;
        for (int i = 0; i < 4; ++i) {
            uint32_t v = bits(n);
            if (n > 0 && (v >> (n - 1)) & 1u) {
                v |= ~0u << n; // sign-extend
            }
            values.push_back(static_cast<int32_t>(v));
        }
        pos_ += static_cast<size_t>((bitPos + 7) / 8);
        return values;
    }
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

// Over white: c * a / 255 + 255 * (1 - a / 255) for premultiplied c.
uint8_t overWhite(uint8_t premultiplied, uint8_t alpha) {
    if (premultiplied > alpha) {
        throw std::runtime_error("premultiplied colour above its alpha");
    }
    return static_cast<uint8_t>(premultiplied + (255 - alpha));
}

Picture decodeBitmap(int code, Reader& tag, size_t length) {
    const size_t end = tag.pos() + length;
    tag.u16(); // id, read by the caller
    const uint8_t format = tag.u8();
    Picture p;
    p.width = tag.u16();
    p.height = tag.u16();
    const bool alpha = code == 36;
    p.rgb.resize(static_cast<size_t>(p.width) * p.height);
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
                const uint8_t a = alpha ? c[3] : 255;
                p.rgb[static_cast<size_t>(y) * p.width + x] = uint32_t{overWhite(c[0], a)} << 16 |
                                                              uint32_t{overWhite(c[1], a)} << 8 |
                                                              overWhite(c[2], a);
            }
        }
    } else if (format == 5) {
        const size_t zsize = end - tag.pos();
        const std::vector<uint8_t> raw = inflate(tag.take(zsize), zsize, p.rgb.size() * 4);
        for (size_t i = 0; i < p.rgb.size(); ++i) {
            const uint8_t* c = raw.data() + i * 4;
            const uint8_t a = alpha ? c[0] : 255;
            p.rgb[i] = uint32_t{overWhite(c[1], a)} << 16 | uint32_t{overWhite(c[2], a)} << 8 |
                       overWhite(c[3], a);
        }
    } else {
        throw std::runtime_error("unexpected bitmap format " + std::to_string(format));
    }
    return p;
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

    std::map<uint16_t, Picture> bitmaps;
    std::map<uint16_t, uint16_t> shapeBitmap;
    uint16_t placed = 0;
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
        const size_t start = in.pos();
        if (code == 0) {
            break;
        }
        Reader tag(in.take(length), length);
        if (code == 20 || code == 36) {
            Reader idReader = tag;
            const uint16_t id = idReader.u16();
            Picture picture = decodeBitmap(code, tag, length);
            ++play.bitmapTags;
            play.colourMappedBitmaps += movie[start + 2] == 3 ? 1 : 0;
            bitmaps[id] = std::move(picture);
        } else if (code == 2) {
            const uint16_t id = tag.u16();
            tag.rect();
            if (tag.u8() != 1) {
                throw std::runtime_error("expected one fill style");
            }
            tag.u8(); // fill type
            shapeBitmap[id] = tag.u16();
        } else if (code == 26) {
            tag.u8(); // flags
            if (tag.u16() != 1) {
                throw std::runtime_error("placement at a depth other than 1");
            }
            placed = tag.u16();
        } else if (code == 1) {
            if (placed == 0) {
                throw std::runtime_error("a frame shows before anything is placed");
            }
            if (play.shapePictures.count(placed) == 0) {
                // The stage over white, the bitmap at its top-left corner.
                const Picture& bitmap = bitmaps.at(shapeBitmap.at(placed));
                Picture stage;
                stage.width = play.stageWidth;
                stage.height = play.stageHeight;
                stage.rgb.assign(static_cast<size_t>(stage.width) * stage.height, 0xFFFFFFu);
                for (int y = 0; y < bitmap.height && y < stage.height; ++y) {
                    for (int x = 0; x < bitmap.width && x < stage.width; ++x) {
                        stage.rgb[static_cast<size_t>(y) * stage.width + x] =
                            bitmap.rgb[static_cast<size_t>(y) * bitmap.width + x];
                    }
                }
                play.shapePictures[placed] = std::move(stage);
            }
            play.frameShapes.push_back(placed);
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
