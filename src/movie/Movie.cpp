#include "Movie.h"

#include "SwfTags.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <optional>
#include <unordered_map>

namespace korvane::movie {

namespace {

constexpr double kTwips = 20;
constexpr int kMaxSide = 8192; // pixels, stage or bitmap: what the player itself draws
constexpr uint64_t kMaxBitmapPixels = uint64_t{4096} * 4096;
constexpr qint64 kMaxMovieBytes = qint64{1} << 30;
// What the reader holds on the heap stays bounded, whatever a compressed movie inflates to.
constexpr size_t kMaxInflatedBytes = size_t{256} << 20;
constexpr size_t kMaxFrames = 65535;
constexpr size_t kMaxChanges = size_t{1} << 22;

QString cannotShow(int frame, const QString& what) {
    return QStringLiteral("Frame %1 uses %2, which Korvane's preview cannot show. A Flash player "
                          "such as Ruffle can.")
        .arg(frame)
        .arg(what);
}

QString damaged(int frame, const QString& what) {
    return QStringLiteral("The movie is damaged in frame %1 (%2), so Korvane's preview cannot "
                          "show it.")
        .arg(frame)
        .arg(what);
}

QString cutShort(int frame) {
    return QStringLiteral("The movie is cut short in frame %1, so Korvane's preview cannot show "
                          "it.")
        .arg(frame);
}

// What a tag outside the subset holds, as the refusal names it.
QString tagContent(int code) {
    switch (code) {
    case 6:
    case 8:
    case 21:
    case 35:
    case 90:
        return QStringLiteral("a JPEG picture");
    case 7:
    case 34:
        return QStringLiteral("a button");
    case 10:
    case 13:
    case 48:
    case 62:
    case 73:
    case 75:
    case 88:
    case 91:
        return QStringLiteral("a font");
    case 11:
    case 33:
    case 37:
        return QStringLiteral("text");
    case 14:
    case 15:
    case 18:
    case 19:
    case 45:
        return QStringLiteral("sound");
    case 22:
    case 32:
    case 83:
        return QStringLiteral("a kind of shape");
    case 39:
        return QStringLiteral("a movie clip");
    case 46:
    case 84:
        return QStringLiteral("a morphing shape");
    case 60:
    case 61:
        return QStringLiteral("a video stream");
    case 59:
        return QStringLiteral("ActionScript");
    case 72:
    case 76:
    case 82:
        return QStringLiteral("ActionScript 3");
    case 4:
    case 5:
    case 70:
        return QStringLiteral("a kind of placement");
    default:
        return QStringLiteral("a tag of type %1").arg(code);
    }
}

// Tags that change nothing on the stage.
bool harmless(int code) {
    switch (code) {
    case 24: // Protect
    case 40: // NameCharacter
    case 41: // ProductInfo
    case 43: // FrameLabel
    case 58: // EnableDebugger
    case 63: // DebugID
    case 64: // EnableDebugger2
    case 65: // ScriptLimits
    case 77: // Metadata
    case 86: // DefineSceneAndFrameLabelData
        return true;
    default:
        return false;
    }
}

// Little-endian fields and bit fields, bounded by the end of what it reads: a read past it
// gives zeros and marks the reader failed.
class Fields {
public:
    Fields(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool failed() const { return failed_; }
    size_t position() const { return position_; }
    size_t left() const { return size_ - position_; }
    bool skip(size_t count) {
        align();
        if (count > left()) {
            failed_ = true;
            position_ = size_;
            return false;
        }
        position_ += count;
        return true;
    }
    uint32_t u8() {
        align();
        if (left() < 1) {
            failed_ = true;
            return 0;
        }
        return data_[position_++];
    }
    // The operands of | are read in no set order: one statement a byte.
    uint32_t u16() {
        const uint32_t low = u8();
        return low | u8() << 8;
    }
    uint32_t u32() {
        const uint32_t low = u16();
        return low | u16() << 16;
    }
    uint32_t bits(int count) {
        uint32_t value = 0;
        for (int i = 0; i < count; ++i) {
            if (bitsLeft_ == 0) {
                if (left() < 1) {
                    failed_ = true;
                    return 0;
                }
                bitByte_ = data_[position_++];
                bitsLeft_ = 8;
            }
            --bitsLeft_;
            value = value << 1 | ((bitByte_ >> bitsLeft_) & 1u);
        }
        return value;
    }
    int32_t signedBits(int count) {
        if (count == 0) {
            return 0;
        }
        const uint32_t value = bits(count);
        const uint32_t sign = 1u << (count - 1);
        return static_cast<int32_t>((value ^ sign) - sign);
    }
    void align() { bitsLeft_ = 0; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
    uint32_t bitByte_ = 0;
    int bitsLeft_ = 0;
    bool failed_ = false;
};

struct Rect {
    int32_t xMin = 0, xMax = 0, yMin = 0, yMax = 0;
};

Rect readRect(Fields& in) {
    const int bits = static_cast<int>(in.bits(5));
    Rect rect;
    rect.xMin = in.signedBits(bits);
    rect.xMax = in.signedBits(bits);
    rect.yMin = in.signedBits(bits);
    rect.yMax = in.signedBits(bits);
    in.align();
    return rect;
}

// A matrix, or nothing when it rotates or skews.
std::optional<Scaling> readMatrix(Fields& in) {
    Scaling matrix;
    if (in.bits(1) != 0) {
        const int bits = static_cast<int>(in.bits(5));
        matrix.scaleX = in.signedBits(bits) / 65536.0;
        matrix.scaleY = in.signedBits(bits) / 65536.0;
    }
    bool rotates = false;
    if (in.bits(1) != 0) {
        const int bits = static_cast<int>(in.bits(5));
        rotates = in.signedBits(bits) != 0;
        rotates = in.signedBits(bits) != 0 || rotates;
    }
    const int bits = static_cast<int>(in.bits(5));
    matrix.translateX = in.signedBits(bits);
    matrix.translateY = in.signedBits(bits);
    in.align();
    if (rotates) {
        return std::nullopt;
    }
    return matrix;
}

// The body of a DoAction tag the converter writes.
std::vector<uint8_t> actionBody(const std::function<void(gif2swf::ByteSink&)>& write) {
    gif2swf::MemorySink sink;
    write(sink);
    std::vector<uint8_t> bytes = sink.take();
    const size_t header = bytes.size() >= 2 && (bytes[0] & 0x3F) == 0x3F ? 6 : 2;
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(header));
    return bytes;
}

// The converter's play-count actions, recognised by writing them the same way; nothing when
// the actions are anything else.
std::optional<FrameScript> recogniseActions(const uint8_t* body, size_t size, uint32_t& plays) {
    const auto same = [&](const std::vector<uint8_t>& expected) {
        return expected.size() == size && std::memcmp(expected.data(), body, size) == 0;
    };
    static const std::vector<uint8_t> stop = actionBody(gif2swf::swf::writeStop);
    static const std::vector<uint8_t> countPlay = actionBody(gif2swf::swf::writeCountPlayAndStop);
    if (same(stop)) {
        return FrameScript::Stop;
    }
    if (same(countPlay)) {
        return FrameScript::CountPlay;
    }
    const auto setPlays = [](uint32_t count) {
        return actionBody(
            [count](gif2swf::ByteSink& out) { gif2swf::swf::writeSetPlayCounter(out, count); });
    };
    static const std::vector<uint8_t> two = setPlays(2);
    static const std::vector<uint8_t> three = setPlays(3);
    static const size_t countAt = static_cast<size_t>(
        std::mismatch(two.begin(), two.end(), three.begin()).first - two.begin());
    if (size != two.size() || countAt + 4 > size) {
        return std::nullopt;
    }
    Fields count(body + countAt, 4);
    const uint32_t value = count.u32();
    if (!same(setPlays(value))) {
        return std::nullopt;
    }
    plays = value;
    return FrameScript::SetPlays;
}

// Inflates a zlib stream into exactly `size` bytes; false when it holds fewer.
bool inflateExactly(const uint8_t* data, size_t dataSize, uint8_t* out, size_t size) {
    // libdeflate inflates a whole stream several times as fast as zlib; a stream with more
    // than the bitmap needs is left to zlib, which stops where the bitmap is full.
    struct Release {
        void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
    };
    static thread_local std::unique_ptr<libdeflate_decompressor, Release> fast(
        libdeflate_alloc_decompressor());
    if (fast) {
        size_t produced = 0;
        const libdeflate_result result =
            libdeflate_zlib_decompress(fast.get(), data, dataSize, out, size, &produced);
        if (result == LIBDEFLATE_SUCCESS) {
            return produced == size;
        }
        if (result != LIBDEFLATE_INSUFFICIENT_SPACE) {
            return false;
        }
    }
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        return false;
    }
    stream.next_in = const_cast<Bytef*>(data);
    stream.next_out = out;
    int status = Z_OK;
    size_t given = 0;
    size_t taken = 0;
    // zlib counts in 32-bit units: feed and drain in pieces.
    while (status == Z_OK) {
        if (stream.avail_in == 0 && given < dataSize) {
            stream.avail_in = static_cast<uInt>(std::min<size_t>(dataSize - given, 1u << 30));
            given += stream.avail_in;
        }
        if (stream.avail_out == 0 && taken < size) {
            stream.avail_out = static_cast<uInt>(std::min<size_t>(size - taken, 1u << 30));
            taken += stream.avail_out;
        }
        if (stream.avail_out == 0) {
            break;
        }
        status = inflate(&stream, Z_NO_FLUSH);
        if (status == Z_BUF_ERROR && stream.avail_in == 0 && given == dataSize) {
            break;
        }
    }
    const bool full = stream.total_out == size;
    inflateEnd(&stream);
    return full;
}

// A compressed movie's tags, inflated; at most `limit` bytes.
QByteArray inflateMovie(const uint8_t* data, size_t size, size_t limit) {
    QByteArray out;
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        return out;
    }
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = static_cast<uInt>(std::min<size_t>(size, UINT32_MAX));
    int status = Z_OK;
    while (status == Z_OK && static_cast<size_t>(out.size()) < limit) {
        const size_t have = static_cast<size_t>(out.size());
        const size_t grow = std::min<size_t>(limit - have, std::max<size_t>(have, 1 << 16));
        out.resize(static_cast<qsizetype>(have + grow));
        stream.next_out = reinterpret_cast<Bytef*>(out.data() + have);
        stream.avail_out = static_cast<uInt>(grow);
        status = inflate(&stream, Z_NO_FLUSH);
        out.resize(static_cast<qsizetype>(stream.total_out));
    }
    inflateEnd(&stream);
    return out;
}

} // namespace

struct Movie::Bitmap {
    int format = 0;
    bool alpha = false;
    int width = 0;
    int height = 0;
    int colours = 0;
    size_t offset = 0; // of the zlib stream in body_
    size_t size = 0;
    int frame = 0; // where it is defined, from 1
};

struct Movie::Shape {
    int bitmap = -1; // none: the shape shows nothing
    bool repeat = false;
    Scaling fill;
    Rect area; // twips
};

struct Movie::Change {
    enum Kind : uint8_t { Place, Replace, Modify, Remove } kind = Place;
    bool hasMatrix = false;
    uint16_t depth = 0;
    int shape = -1;
    Scaling matrix;
};

// A bitmap as drawing reads it: colour-mapped ones stay one byte a pixel.
struct Movie::Decoded {
    bool mapped = false;
    std::vector<uint8_t> indices; // the colour table's bytes, then rows padded to 32 bits
    size_t firstRow = 0;
    size_t stride = 0;
    uint32_t table[256] = {}; // premultiplied 0xAARRGGBB; colours past the table are clear
    std::vector<uint32_t> pixels;
    size_t bytes() const { return indices.size() + pixels.size() * 4; }
};

Movie::Movie() = default;
Movie::~Movie() = default;

std::unique_ptr<Movie> Movie::read(const QByteArray& bytes, QString& refusal) {
    std::unique_ptr<Movie> movie(new Movie);
    movie->bytes_ = bytes;
    if (!movie->parse(refusal)) {
        return nullptr;
    }
    return movie;
}

std::unique_ptr<Movie> Movie::readFile(const QString& path, QString& refusal) {
    std::unique_ptr<Movie> movie(new Movie);
    movie->file_.setFileName(path);
    if (!movie->file_.open(QIODevice::ReadOnly)) {
        refusal = QStringLiteral("The movie cannot be read: %1.").arg(movie->file_.errorString());
        return nullptr;
    }
    const qint64 size = movie->file_.size();
    if (size > kMaxMovieBytes) {
        refusal = QStringLiteral("The file is too large for Korvane's preview.");
        return nullptr;
    }
    // An uncompressed movie is read where it lies: only the bitmaps shown are ever decoded.
    uchar* mapped = size > 0 ? movie->file_.map(0, size) : nullptr;
    if (mapped != nullptr) {
        movie->bytes_ = QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), size);
    } else {
        movie->bytes_ = movie->file_.readAll();
    }
    if (!movie->parse(refusal)) {
        return nullptr;
    }
    return movie;
}

bool Movie::parse(QString& refusal) {
    const auto* raw = reinterpret_cast<const uint8_t*>(bytes_.constData());
    const size_t rawSize = static_cast<size_t>(bytes_.size());
    if (rawSize < 8 || raw[1] != 'W' || raw[2] != 'S' ||
        (raw[0] != 'F' && raw[0] != 'C' && raw[0] != 'Z')) {
        refusal = QStringLiteral("The file is not a Flash movie.");
        return false;
    }
    if (raw[0] == 'Z') {
        refusal = cannotShow(1, QStringLiteral("LZMA compression"));
        return false;
    }
    const uint32_t fileLength = Fields(raw + 4, 4).u32();
    const QString tooLarge = QStringLiteral("The movie is too large for Korvane's preview.");
    if (raw[0] == 'C') {
        if (fileLength > kMaxInflatedBytes + 8) {
            refusal = tooLarge;
            return false;
        }
        body_ = inflateMovie(raw + 8, rawSize - 8, fileLength < 8 ? 0 : fileLength - 8);
    } else {
        body_ = QByteArray::fromRawData(bytes_.constData() + 8, bytes_.size() - 8);
    }
    const auto* data = reinterpret_cast<const uint8_t*>(body_.constData());
    const size_t size = static_cast<size_t>(body_.size());
    const bool shorter = fileLength > 8 && size < fileLength - 8;

    Fields header(data, size);
    const Rect stage = readRect(header);
    frameRate_ = static_cast<uint16_t>(header.u16());
    header.u16(); // frame count: the ShowFrame tags count
    if (header.failed()) {
        refusal = cutShort(1);
        return false;
    }
    stageLeft_ = stage.xMin;
    stageTop_ = stage.yMin;
    width_ = static_cast<int>(std::lround((int64_t{stage.xMax} - stage.xMin) / kTwips));
    height_ = static_cast<int>(std::lround((int64_t{stage.yMax} - stage.yMin) / kTwips));
    if (width_ < 1 || height_ < 1 || width_ > kMaxSide || height_ > kMaxSide) {
        refusal = QStringLiteral("The movie's stage is %1 x %2 pixels, which Korvane's preview "
                                 "cannot show.")
                      .arg(width_)
                      .arg(height_);
        return false;
    }

    enum class Kind { Bitmap, Shape };
    std::unordered_map<uint16_t, std::pair<Kind, int>> characters;
    firstChange_.assign(1, 0);
    FrameScript script = FrameScript::None;
    size_t at = header.position();
    for (;;) {
        const int frame = frameCount() + 1;
        Fields tag(data + at, size - at);
        const uint32_t codeAndLength = tag.u16();
        const int code = static_cast<int>(codeAndLength >> 6);
        uint32_t length = codeAndLength & 0x3F;
        if (length == 0x3F) {
            length = tag.u32();
        }
        if (tag.failed() || length > tag.left()) {
            refusal = cutShort(frame);
            return false;
        }
        const uint8_t* body = data + at + tag.position();
        at += tag.position() + length;
        Fields in(body, length);
        const auto unreadable = [&](const QString& what) {
            refusal = shorter ? cutShort(frame) : damaged(frame, what);
            return false;
        };

        if (changes_.size() == kMaxChanges) {
            refusal = tooLarge;
            return false;
        }
        switch (code) {
        case 0: // End
            if (scripts_.empty()) {
                refusal = QStringLiteral("The movie has no frames to show.");
                return false;
            }
            return true;
        case 1: // ShowFrame
            if (scripts_.size() == kMaxFrames) {
                refusal = tooLarge;
                return false;
            }
            scripts_.push_back(script);
            script = FrameScript::None;
            firstChange_.push_back(static_cast<uint32_t>(changes_.size()));
            break;
        case 69: // FileAttributes
            if ((in.u8() & 0x08) != 0) {
                refusal = cannotShow(frame, tagContent(82));
                return false;
            }
            break;
        case 9: { // SetBackgroundColor
            const int red = static_cast<int>(in.u8());
            const int green = static_cast<int>(in.u8());
            background_ = qRgb(red, green, static_cast<int>(in.u8()));
            if (in.failed()) {
                return unreadable(QStringLiteral("a background colour is cut off"));
            }
            break;
        }
        case 20:   // DefineBitsLossless
        case 36: { // DefineBitsLossless2
            const uint16_t id = static_cast<uint16_t>(in.u16());
            Bitmap bitmap;
            bitmap.alpha = code == 36;
            bitmap.format = static_cast<int>(in.u8());
            bitmap.width = static_cast<int>(in.u16());
            bitmap.height = static_cast<int>(in.u16());
            bitmap.frame = frame;
            if (bitmap.format == 3) {
                bitmap.colours = static_cast<int>(in.u8()) + 1;
            }
            if (in.failed()) {
                return unreadable(QStringLiteral("a bitmap is cut off"));
            }
            if (bitmap.format != 3 && bitmap.format != 5) {
                refusal =
                    cannotShow(frame, bitmap.format == 4 ? QStringLiteral("a 15-bit bitmap")
                                                         : QStringLiteral("a kind of bitmap"));
                return false;
            }
            if (bitmap.width > kMaxSide || bitmap.height > kMaxSide ||
                uint64_t(bitmap.width) * uint64_t(bitmap.height) > kMaxBitmapPixels) {
                refusal = cannotShow(frame, QStringLiteral("a bitmap of %1 x %2 pixels")
                                                .arg(bitmap.width)
                                                .arg(bitmap.height));
                return false;
            }
            bitmap.offset = static_cast<size_t>(body - data) + in.position();
            bitmap.size = in.left();
            if (characters.count(id) == 0) { // a player keeps the first definition
                characters[id] = {Kind::Bitmap, static_cast<int>(bitmaps_.size())};
                bitmaps_.push_back(bitmap);
            }
            break;
        }
        case 2: { // DefineShape
            const uint16_t id = static_cast<uint16_t>(in.u16());
            readRect(in);
            const int fillCount = static_cast<int>(in.u8());
            std::vector<Shape> fills;
            for (int i = 0; i < fillCount && !in.failed(); ++i) {
                const uint32_t type = in.u8();
                if (type == 0x00) {
                    refusal = cannotShow(frame, QStringLiteral("a shape filled with one colour"));
                    return false;
                }
                if (type == 0x10 || type == 0x12 || type == 0x13) {
                    refusal = cannotShow(frame, QStringLiteral("a shape with a gradient fill"));
                    return false;
                }
                if (type < 0x40 || type > 0x43) {
                    return unreadable(QStringLiteral("a shape has an unknown fill"));
                }
                Shape fill;
                fill.repeat = type == 0x40 || type == 0x42;
                const uint16_t bitmapId = static_cast<uint16_t>(in.u16());
                const auto matrix = readMatrix(in);
                if (!matrix) {
                    refusal = cannotShow(frame, QStringLiteral("a rotated bitmap fill"));
                    return false;
                }
                fill.fill = *matrix;
                const auto known = characters.find(bitmapId);
                if (known != characters.end() && known->second.first == Kind::Bitmap) {
                    fill.bitmap = known->second.second;
                }
                fills.push_back(fill);
            }
            if (in.u8() != 0) {
                refusal = cannotShow(frame, QStringLiteral("a shape with outlines"));
                return false;
            }
            const int fillBits = static_cast<int>(in.bits(4));
            const int lineBits = static_cast<int>(in.bits(4));
            // The outline: one closed path of straight edges along a rectangle's sides.
            int64_t x = 0, y = 0, travelled = 0;
            std::vector<std::pair<int64_t, int64_t>> points;
            uint32_t style = 0;
            for (;;) {
                if (in.failed()) {
                    return unreadable(QStringLiteral("a shape is cut off"));
                }
                if (in.bits(1) == 0) {
                    const uint32_t flags = in.bits(5);
                    if (flags == 0) {
                        break;
                    }
                    if ((flags & 0x10) != 0) {
                        refusal = cannotShow(frame, tagContent(22));
                        return false;
                    }
                    if ((flags & 0x01) != 0) {
                        if (!points.empty() && points.size() > 1) {
                            refusal = cannotShow(frame, tagContent(22));
                            return false;
                        }
                        const int bits = static_cast<int>(in.bits(5));
                        x = in.signedBits(bits);
                        y = in.signedBits(bits);
                        points.assign(1, {x, y});
                    }
                    for (const uint32_t flag : {0x02u, 0x04u}) {
                        if ((flags & flag) != 0) {
                            const uint32_t chosen = in.bits(fillBits);
                            if (chosen != 0 && style != 0 && chosen != style) {
                                refusal = cannotShow(frame, tagContent(22));
                                return false;
                            }
                            style = chosen != 0 ? chosen : style;
                        }
                    }
                    if ((flags & 0x08) != 0 && in.bits(lineBits) != 0) {
                        refusal = cannotShow(frame, QStringLiteral("a shape with outlines"));
                        return false;
                    }
                    continue;
                }
                if (in.bits(1) == 0) {
                    refusal = cannotShow(frame, QStringLiteral("a shape with curves"));
                    return false;
                }
                const int bits = static_cast<int>(in.bits(4)) + 2;
                int64_t dx = 0, dy = 0;
                if (in.bits(1) != 0) {
                    dx = in.signedBits(bits);
                    dy = in.signedBits(bits);
                } else if (in.bits(1) != 0) {
                    dy = in.signedBits(bits);
                } else {
                    dx = in.signedBits(bits);
                }
                if (dx != 0 && dy != 0) {
                    refusal = cannotShow(frame, QStringLiteral("a shape that is not a rectangle"));
                    return false;
                }
                if (points.empty()) {
                    points.assign(1, {x, y});
                }
                x += dx;
                y += dy;
                travelled += std::abs(dx) + std::abs(dy);
                points.push_back({x, y});
            }
            Shape shape;
            if (style > fills.size()) {
                return unreadable(QStringLiteral("a shape uses a fill it does not have"));
            }
            if (style != 0 && points.size() > 1) {
                shape = fills[style - 1];
                int64_t left = x, right = x, top = y, bottom = y;
                for (const auto& [px, py] : points) {
                    left = std::min(left, px);
                    right = std::max(right, px);
                    top = std::min(top, py);
                    bottom = std::max(bottom, py);
                }
                bool onSides = points.front() == points.back();
                for (const auto& [px, py] : points) {
                    onSides = onSides && (px == left || px == right || py == top || py == bottom);
                }
                if (!onSides || travelled != 2 * ((right - left) + (bottom - top))) {
                    refusal = cannotShow(frame, QStringLiteral("a shape that is not a rectangle"));
                    return false;
                }
                shape.area = {static_cast<int32_t>(left), static_cast<int32_t>(right),
                              static_cast<int32_t>(top), static_cast<int32_t>(bottom)};
            } else {
                shape.bitmap = -1;
            }
            if (characters.count(id) == 0) {
                characters[id] = {Kind::Shape, static_cast<int>(shapes_.size())};
                shapes_.push_back(shape);
            }
            break;
        }
        case 26: { // PlaceObject2
            const uint32_t flags = in.u8();
            Change change;
            change.depth = static_cast<uint16_t>(in.u16());
            const bool move = (flags & 0x01) != 0;
            const bool hasCharacter = (flags & 0x02) != 0;
            if (hasCharacter) {
                const auto known = characters.find(static_cast<uint16_t>(in.u16()));
                if (!in.failed() && known == characters.end()) {
                    return unreadable(QStringLiteral("it places a picture it does not define"));
                }
                if (!in.failed() && known->second.first != Kind::Shape) {
                    refusal = cannotShow(frame, QStringLiteral("a bitmap placed without a shape"));
                    return false;
                }
                change.shape = in.failed() ? -1 : known->second.second;
            }
            if ((flags & 0x04) != 0) {
                const auto matrix = readMatrix(in);
                if (!matrix) {
                    refusal = cannotShow(frame, QStringLiteral("a rotated picture"));
                    return false;
                }
                change.hasMatrix = true;
                change.matrix = *matrix;
            }
            if ((flags & 0x08) != 0) {
                refusal = cannotShow(frame, QStringLiteral("a colour effect"));
                return false;
            }
            if ((flags & 0x40) != 0) {
                refusal = cannotShow(frame, QStringLiteral("a mask"));
                return false;
            }
            if ((flags & 0x80) != 0) {
                refusal = cannotShow(frame, tagContent(59));
                return false;
            }
            if (in.failed()) {
                return unreadable(QStringLiteral("a placement is cut off"));
            }
            change.kind = hasCharacter ? (move ? Change::Replace : Change::Place) : Change::Modify;
            if (hasCharacter || (move && change.hasMatrix)) {
                changes_.push_back(change);
            }
            break;
        }
        case 28: { // RemoveObject2
            Change change;
            change.kind = Change::Remove;
            change.depth = static_cast<uint16_t>(in.u16());
            if (in.failed()) {
                return unreadable(QStringLiteral("a removal is cut off"));
            }
            changes_.push_back(change);
            break;
        }
        case 12: { // DoAction
            uint32_t plays = 0;
            const auto recognised = recogniseActions(body, length, plays);
            if (!recognised) {
                refusal = cannotShow(frame, tagContent(59));
                return false;
            }
            if (*recognised == FrameScript::SetPlays) {
                playsSet_ = plays;
            }
            // A frame's later actions win: the converter writes one set per frame at most.
            script = *recognised;
            break;
        }
        default:
            if (!harmless(code)) {
                refusal = cannotShow(frame, tagContent(code));
                return false;
            }
        }
    }
}

uint32_t Movie::plays() const {
    if (playsSet_ != 0) {
        return playsSet_;
    }
    const bool stops = std::any_of(scripts_.begin(), scripts_.end(),
                                   [](FrameScript s) { return s != FrameScript::None; });
    return stops ? 1 : 0;
}

void Movie::setCacheLimit(size_t bytes) {
    cacheLimit_ = bytes;
    evictDownTo(cacheLimit_);
}

void Movie::evictDownTo(size_t bytes) {
    while (!recent_.empty() && cachedBytes_ > bytes) {
        const int oldest = recent_.back();
        recent_.pop_back();
        cachedBytes_ -= cache_[oldest]->bytes();
        cache_.erase(oldest);
    }
}

void Movie::apply(const Change& change) {
    const auto placed = layers_.find(change.depth);
    switch (change.kind) {
    case Change::Remove:
        if (placed != layers_.end()) {
            layers_.erase(placed);
        }
        return;
    case Change::Place:
        // A player leaves an occupied depth as it is.
        if (placed == layers_.end()) {
            layers_[change.depth] = {change.shape, change.hasMatrix ? change.matrix : Scaling{}};
        }
        return;
    case Change::Replace:
        if (placed == layers_.end()) {
            layers_[change.depth] = {change.shape, change.hasMatrix ? change.matrix : Scaling{}};
            return;
        }
        placed->second.shape = change.shape;
        if (change.hasMatrix) {
            placed->second.matrix = change.matrix;
        }
        return;
    case Change::Modify:
        if (placed != layers_.end()) {
            placed->second.matrix = change.matrix;
        }
        return;
    }
}

std::shared_ptr<const Movie::Decoded> Movie::decode(int index, QString* refusal) {
    const auto cached = cache_.find(index);
    if (cached != cache_.end()) {
        recent_.remove(index);
        recent_.push_front(index);
        return cached->second;
    }
    const Bitmap& bitmap = bitmaps_[static_cast<size_t>(index)];
    const size_t pixelCount = size_t(bitmap.width) * size_t(bitmap.height);
    auto decoded = std::make_shared<Decoded>();
    const uint8_t* data = reinterpret_cast<const uint8_t*>(body_.constData()) + bitmap.offset;
    bool whole = true;
    if (bitmap.format == 5) {
        // Stored A R G B (the first byte unused without alpha), premultiplied.
        decoded->pixels.resize(pixelCount);
        auto* bytes = reinterpret_cast<uint8_t*>(decoded->pixels.data());
        whole = inflateExactly(data, bitmap.size, bytes, pixelCount * 4);
        for (size_t i = 0; i < pixelCount && whole; ++i) {
            const uint8_t* p = bytes + i * 4;
            const uint32_t alpha = bitmap.alpha ? p[0] : 0xFF;
            decoded->pixels[i] = alpha << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
        }
    } else {
        // A colour table, then rows of indices padded to 32 bits.
        decoded->mapped = true;
        const size_t entry = bitmap.alpha ? 4 : 3;
        decoded->stride = (size_t(bitmap.width) + 3) & ~size_t{3};
        decoded->firstRow = entry * size_t(bitmap.colours);
        decoded->indices.resize(decoded->firstRow + decoded->stride * size_t(bitmap.height));
        whole = inflateExactly(data, bitmap.size, decoded->indices.data(), decoded->indices.size());
        for (int c = 0; c < bitmap.colours && whole; ++c) {
            const uint8_t* p = decoded->indices.data() + entry * size_t(c);
            const uint32_t alpha = bitmap.alpha ? p[3] : 0xFF;
            decoded->table[c] = alpha << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
        }
    }
    if (!whole) {
        if (refusal != nullptr) {
            *refusal = damaged(bitmap.frame, QStringLiteral("a bitmap cannot be decoded"));
        }
        return nullptr;
    }
    const size_t bytes = decoded->bytes();
    evictDownTo(cacheLimit_ > bytes ? cacheLimit_ - bytes : 0);
    if (cachedBytes_ + bytes <= cacheLimit_) {
        cache_[index] = decoded;
        recent_.push_front(index);
        cachedBytes_ += bytes;
    }
    return decoded;
}

bool Movie::draw(int frame, QImage& stage, QString* refusal) {
    if (frame < 0 || frame >= frameCount()) {
        return false;
    }
    if (frame < shownFrame_) {
        layers_.clear();
        shownFrame_ = -1;
    }
    while (shownFrame_ < frame) {
        ++shownFrame_;
        const size_t end = firstChange_[static_cast<size_t>(shownFrame_) + 1];
        for (size_t i = firstChange_[static_cast<size_t>(shownFrame_)]; i < end; ++i) {
            apply(changes_[i]);
        }
    }
    if (stage.size() != QSize(width_, height_) || stage.format() != QImage::Format_RGB32) {
        stage = QImage(width_, height_, QImage::Format_RGB32);
    }
    if (stage.isNull()) {
        return false;
    }
    stage.fill(background_);
    for (const auto& layer : layers_) {
        const int bitmap = shapes_[static_cast<size_t>(layer.second.shape)].bitmap;
        if (bitmap < 0) {
            continue;
        }
        const auto decoded = decode(bitmap, refusal);
        if (!decoded) {
            return false;
        }
        drawShape(layer.second, *decoded, stage);
    }
    return true;
}

namespace {

// The stage pixels whose centres lie in [from, to) twips along one axis, and for each the
// bitmap pixel nearest-neighbour sampling shows there (`scale` and `offset` take bitmap
// pixels to stage twips).
struct Span {
    int first = 0;
    std::vector<int> source;
};

Span sample(double from, double to, double scale, double offset, int stagePixels, int bitmapPixels,
            bool repeat) {
    Span span;
    if (from > to) {
        std::swap(from, to);
    }
    const double first = std::ceil(from / kTwips - 0.5);
    const double last = std::ceil(to / kTwips - 0.5);
    span.first = static_cast<int>(std::clamp(first, 0.0, double(stagePixels)));
    const int end = static_cast<int>(std::clamp(last, 0.0, double(stagePixels)));
    if (scale == 0 || bitmapPixels == 0) {
        return span;
    }
    for (int pixel = span.first; pixel < end; ++pixel) {
        const double at = std::floor(((pixel + 0.5) * kTwips - offset) / scale);
        int64_t index = at < -1e15 ? -1 : at > 1e15 ? int64_t{1} << 50 : int64_t(at);
        if (repeat) {
            index %= bitmapPixels;
            index += index < 0 ? bitmapPixels : 0;
        } else {
            index = std::clamp<int64_t>(index, 0, bitmapPixels - 1);
        }
        span.source.push_back(static_cast<int>(index));
    }
    return span;
}

// A premultiplied colour over what is below; a colour brighter than its alpha adds to it, as a
// player shows it.
inline void composite(uint32_t& below, uint32_t source) {
    const uint32_t alpha = source >> 24;
    if (alpha == 0xFF) {
        below = source;
        return;
    }
    uint32_t out = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t mixed =
            ((source >> shift) & 0xFF) + (((below >> shift) & 0xFF) * (255 - alpha) + 127) / 255;
        out |= std::min<uint32_t>(mixed, 255) << shift;
    }
    below = out;
}

} // namespace

void Movie::drawShape(const Placed& placed, const Decoded& decoded, QImage& stage) const {
    const Shape& shape = shapes_[static_cast<size_t>(placed.shape)];
    const Bitmap& bitmap = bitmaps_[static_cast<size_t>(shape.bitmap)];
    const Scaling& place = placed.matrix;
    const Scaling& fill = shape.fill;
    const double originX = place.translateX - stageLeft_;
    const double originY = place.translateY - stageTop_;
    const Span columns =
        sample(place.scaleX * shape.area.xMin + originX, place.scaleX * shape.area.xMax + originX,
               place.scaleX * fill.scaleX, place.scaleX * fill.translateX + originX, width_,
               bitmap.width, shape.repeat);
    const Span rows =
        sample(place.scaleY * shape.area.yMin + originY, place.scaleY * shape.area.yMax + originY,
               place.scaleY * fill.scaleY, place.scaleY * fill.translateY + originY, height_,
               bitmap.height, shape.repeat);
    const size_t count = columns.source.size();
    for (size_t r = 0; r < rows.source.size(); ++r) {
        auto* to = reinterpret_cast<uint32_t*>(stage.scanLine(rows.first + int(r))) + columns.first;
        const size_t row = size_t(rows.source[r]);
        if (decoded.mapped) {
            const uint8_t* from = decoded.indices.data() + decoded.firstRow + row * decoded.stride;
            for (size_t c = 0; c < count; ++c) {
                composite(to[c], decoded.table[from[columns.source[c]]]);
            }
        } else {
            const uint32_t* from = decoded.pixels.data() + row * size_t(bitmap.width);
            for (size_t c = 0; c < count; ++c) {
                composite(to[c], from[columns.source[c]]);
            }
        }
    }
}

Playhead::Playhead(const Movie& movie) : movie_(movie) {
    restart();
}

void Playhead::restart() {
    playsLeft_ = 0;
    finished_ = false;
    playing_ = true;
    enter(0);
}

void Playhead::play() {
    if (finished_ && frame_ == movie_.frameCount() - 1) {
        restart();
        return;
    }
    playing_ = movie_.frameCount() > 1;
}

void Playhead::seek(int frame) {
    playing_ = false;
    frame_ = std::clamp(frame, 0, movie_.frameCount() - 1);
}

void Playhead::tick() {
    if (playing_) {
        enter(frame_ + 1 < movie_.frameCount() ? frame_ + 1 : 0);
    }
}

void Playhead::enter(int frame) {
    frame_ = frame;
    switch (movie_.script(frame)) {
    case FrameScript::None:
        break;
    case FrameScript::Stop:
        playing_ = false;
        break;
    case FrameScript::SetPlays:
        if (playsLeft_ == 0) {
            playsLeft_ = movie_.playsSet();
        }
        break;
    case FrameScript::CountPlay:
        // Counting down from nothing leaves no number, which stops as zero does.
        playsLeft_ = playsLeft_ == 0 ? 0 : playsLeft_ - 1;
        playing_ = playing_ && playsLeft_ != 0;
        break;
    }
    finished_ = !playing_;
    playing_ = playing_ && movie_.frameCount() > 1;
}

} // namespace korvane::movie
