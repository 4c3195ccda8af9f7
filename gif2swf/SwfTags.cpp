#include "SwfTags.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <stdexcept>

namespace gif2swf::swf {

void writeRect(BitWriter& bits, const Rect& rect) {
    const int nbits = BitWriter::signedBits({rect.xMin, rect.xMax, rect.yMin, rect.yMax});
    bits.writeUnsigned(static_cast<uint32_t>(nbits), 5); // Nbits
    bits.writeSigned(rect.xMin, nbits);                  // Xmin
    bits.writeSigned(rect.xMax, nbits);                  // Xmax
    bits.writeSigned(rect.yMin, nbits);                  // Ymin
    bits.writeSigned(rect.yMax, nbits);                  // Ymax
    bits.align();
}

void writeMatrix(BitWriter& bits, int32_t scaleX, int32_t scaleY, int32_t translateX,
                 int32_t translateY) {
    const bool hasScale = scaleX != kFixedOne || scaleY != kFixedOne;
    bits.writeFlag(hasScale); // HasScale
    if (hasScale) {
        const int scaleBits = BitWriter::signedBits({scaleX, scaleY});
        bits.writeUnsigned(static_cast<uint32_t>(scaleBits), 5); // NScaleBits
        bits.writeSigned(scaleX, scaleBits);                     // ScaleX
        bits.writeSigned(scaleY, scaleBits);                     // ScaleY
    }
    bits.writeFlag(false); // HasRotate
    const int translateBits = BitWriter::signedBits({translateX, translateY});
    bits.writeUnsigned(static_cast<uint32_t>(translateBits), 5); // NTranslateBits
    bits.writeSigned(translateX, translateBits);                 // TranslateX
    bits.writeSigned(translateY, translateBits);                 // TranslateY
    bits.align();
}

FileHeaderLayout writeFileHeader(ByteSink& out, const FileHeader& header) {
    FileHeaderLayout layout;
    // The bitmaps are already compressed, so the movie is stored uncompressed ("FWS").
    out.u8('F'); // Signature
    out.u8('W');
    out.u8('S');
    out.u8(kVersion); // Version
    layout.fileLengthOffset = out.position();
    out.u32(0); // FileLength
    BitWriter frameSize;
    writeRect(frameSize, header.frameSize);
    out.bytes(frameSize.bytes()); // FrameSize
    out.u16(header.frameRate);    // FrameRate: fraction byte first
    layout.frameCountOffset = out.position();
    out.u16(header.frameCount); // FrameCount
    return layout;
}

void patchFileHeader(ByteSink& out, const FileHeaderLayout& layout, uint32_t fileLength,
                     uint16_t frameCount) {
    const uint8_t length[4] = {
        static_cast<uint8_t>(fileLength), static_cast<uint8_t>(fileLength >> 8),
        static_cast<uint8_t>(fileLength >> 16), static_cast<uint8_t>(fileLength >> 24)};
    out.patch(layout.fileLengthOffset, length, 4);
    const uint8_t count[2] = {static_cast<uint8_t>(frameCount),
                              static_cast<uint8_t>(frameCount >> 8)};
    out.patch(layout.frameCountOffset, count, 2);
}

void writeTagHeader(ByteSink& out, TagCode code, uint64_t length, bool forceLong) {
    if (length > UINT32_MAX) {
        throw std::length_error("tag longer than its length field holds");
    }
    if (length < kLongTagLength && !forceLong) {
        out.u16(static_cast<uint16_t>(code << 6 | length)); // TagCodeAndLength
        return;
    }
    out.u16(static_cast<uint16_t>(code << 6 | 0x3F)); // TagCodeAndLength: long form
    out.u32(static_cast<uint32_t>(length));           // Length
}

void writeFileAttributes(ByteSink& out) {
    writeTagHeader(out, kFileAttributes, 4);
    // No network access, no ActionScript 3, no metadata, no GPU or direct blitting.
    out.u32(0); // Reserved, UseDirectBlit, UseGPU, HasMetadata, ActionScript3, UseNetwork
}

void writeSetBackgroundColor(ByteSink& out, uint8_t red, uint8_t green, uint8_t blue) {
    writeTagHeader(out, kSetBackgroundColor, 3);
    out.u8(red); // BackgroundColor: RGB
    out.u8(green);
    out.u8(blue);
}

void writeDefineBitsLossless(ByteSink& out, const LosslessBitmap& bitmap) {
    const bool colourMapped = bitmap.format == kColourMapped8;
    if (colourMapped && (bitmap.colourCount < 1 || bitmap.colourCount > 256)) {
        throw std::invalid_argument("a colour-mapped bitmap has 1 to 256 colours");
    }
    const uint64_t length = 2 + 1 + 2 + 2 + (colourMapped ? 1 : 0) + bitmap.zlibData.size();
    // Bitmap tags always use the long header, which some players expect of them.
    writeTagHeader(out, bitmap.code, length, true);
    out.u16(bitmap.characterId); // CharacterId
    out.u8(bitmap.format);       // BitmapFormat
    out.u16(bitmap.width);       // BitmapWidth
    out.u16(bitmap.height);      // BitmapHeight
    if (colourMapped) {
        out.u8(static_cast<uint8_t>(bitmap.colourCount - 1)); // BitmapColorTableSize
    }
    out.bytes(bitmap.zlibData); // ZlibBitmapData (or AlphaBitmapData)
}

namespace {

// One side of the rectangle as straight edges of at most kMaxEdgeTwips each.
void writeSide(BitWriter& bits, int32_t length, bool vertical) {
    const int32_t direction = length < 0 ? -1 : 1;
    int32_t remaining = length < 0 ? -length : length;
    while (remaining > 0) {
        const int32_t step = std::min(remaining, kMaxEdgeTwips) * direction;
        remaining -= std::min(remaining, kMaxEdgeTwips);
        const int nbits = std::max(2, BitWriter::signedBits(step));
        bits.writeFlag(true);                                    // TypeFlag: edge
        bits.writeFlag(true);                                    // StraightFlag
        bits.writeUnsigned(static_cast<uint32_t>(nbits - 2), 4); // NumBits
        bits.writeFlag(false);                                   // GeneralLineFlag
        bits.writeFlag(vertical);                                // VertLineFlag
        bits.writeSigned(step, nbits);                           // DeltaX or DeltaY
    }
}

} // namespace

void writeDefineBitmapRectangle(ByteSink& out, uint16_t shapeId, uint16_t bitmapId, int widthPixels,
                                int heightPixels, int bitmapTop, int bitmapLeft) {
    const int32_t width = widthPixels * kTwipsPerPixel;
    const int32_t height = heightPixels * kTwipsPerPixel;

    BitWriter bounds;
    writeRect(bounds, inTwips({0, 0, widthPixels, heightPixels}));
    // One bitmap pixel is 20 twips: a scale of 20.0 in 16.16 fixed point.
    BitWriter matrix;
    writeMatrix(matrix, kTwipsPerPixel * kFixedOne, kTwipsPerPixel * kFixedOne,
                -bitmapLeft * kTwipsPerPixel, -bitmapTop * kTwipsPerPixel);

    BitWriter records;
    records.writeUnsigned(1, 4); // NumFillBits
    records.writeUnsigned(0, 4); // NumLineBits
    // StyleChangeRecord: move to the origin and take fill style 1 on the right-hand side of
    // the edges, which run clockwise on screen.
    records.writeFlag(false);    // TypeFlag: non-edge
    records.writeFlag(false);    // StateNewStyles
    records.writeFlag(false);    // StateLineStyle
    records.writeFlag(true);     // StateFillStyle1
    records.writeFlag(false);    // StateFillStyle0
    records.writeFlag(true);     // StateMoveTo
    records.writeUnsigned(1, 5); // MoveBits
    records.writeSigned(0, 1);   // MoveDeltaX
    records.writeSigned(0, 1);   // MoveDeltaY
    records.writeUnsigned(1, 1); // FillStyle1
    writeSide(records, width, false);
    writeSide(records, height, true);
    writeSide(records, -width, false);
    writeSide(records, -height, true);
    records.writeUnsigned(0, 6); // EndShapeRecord: TypeFlag and five zero flags
    records.align();

    const uint64_t length =
        2 + bounds.bytes().size() + 1 + 1 + 2 + matrix.bytes().size() + 1 + records.bytes().size();
    writeTagHeader(out, kDefineShape, length);
    out.u16(shapeId);           // ShapeId
    out.bytes(bounds.bytes());  // ShapeBounds
    out.u8(1);                  // FillStyleCount
    out.u8(0x43);               // FillStyleType: clipped bitmap, not smoothed
    out.u16(bitmapId);          // BitmapId
    out.bytes(matrix.bytes());  // BitmapMatrix
    out.u8(0);                  // LineStyleCount
    out.bytes(records.bytes()); // NumFillBits, NumLineBits, ShapeRecords
}

void writePlaceObject2(ByteSink& out, uint16_t depth, uint16_t characterId, bool replace, int32_t x,
                       int32_t y, int32_t scale) {
    BitWriter matrix;
    const bool moved = x != 0 || y != 0 || scale != kFixedOne;
    if (moved) {
        writeMatrix(matrix, scale, scale, x, y);
    }
    writeTagHeader(out, kPlaceObject2, 5 + matrix.bytes().size());
    // PlaceFlagHasClipActions .. PlaceFlagHasColorTransform clear: no name, no transform.
    const uint8_t hasMatrix = 0x04;
    const uint8_t hasCharacter = 0x02;
    const uint8_t move = 0x01;
    out.u8(static_cast<uint8_t>((moved ? hasMatrix : 0) | hasCharacter |
                                (replace ? move : 0))); // PlaceFlag*
    out.u16(depth);                                     // Depth
    out.u16(characterId);                               // CharacterId
    out.bytes(matrix.bytes());                          // Matrix
}

void writeRemoveObject2(ByteSink& out, uint16_t depth) {
    writeTagHeader(out, kRemoveObject2, 2);
    out.u16(depth); // Depth
}

void writeShowFrame(ByteSink& out) {
    writeTagHeader(out, kShowFrame, 0);
}

namespace {

// The counter's name: a variable of the movie's main timeline.
constexpr char kPlaysLeft[] = "playsLeft";

enum ActionCode : uint8_t {
    kActionEnd = 0x00,
    kActionStop = 0x07,
    kActionGetVariable = 0x1C,
    kActionSetVariable = 0x1D,
    kActionDecrement = 0x51,
    kActionPush = 0x96,
    kActionIf = 0x9D,
};

// Assembles a DoAction tag's actions.
class Actions {
public:
    void op(ActionCode code) { bytes_.push_back(code); }
    // Push of string and 32-bit integer values.
    void push(std::initializer_list<const char*> strings, std::optional<int32_t> integer = {}) {
        std::vector<uint8_t> values;
        for (const char* text : strings) {
            values.push_back(0); // Type: string
            values.insert(values.end(), text, text + std::strlen(text) + 1);
        }
        if (integer) {
            values.push_back(7); // Type: integer
            for (int shift = 0; shift < 32; shift += 8) {
                values.push_back(static_cast<uint8_t>(static_cast<uint32_t>(*integer) >> shift));
            }
        }
        withData(kActionPush, values);
    }
    // Jumps over the next `bytes` bytes of actions when the value popped is true.
    void ifTrueSkip(int16_t bytes) {
        withData(kActionIf, {static_cast<uint8_t>(bytes), static_cast<uint8_t>(bytes >> 8)});
    }
    size_t size() const { return bytes_.size(); }
    void write(ByteSink& out) {
        op(kActionEnd);
        writeTagHeader(out, kDoAction, bytes_.size());
        out.bytes(bytes_);
    }

private:
    void withData(ActionCode code, const std::vector<uint8_t>& data) {
        op(code);
        bytes_.push_back(static_cast<uint8_t>(data.size()));
        bytes_.push_back(static_cast<uint8_t>(data.size() >> 8));
        bytes_.insert(bytes_.end(), data.begin(), data.end());
    }
    std::vector<uint8_t> bytes_;
};

} // namespace

void writeSetPlayCounter(ByteSink& out, uint32_t plays) {
    Actions set; // playsLeft = plays
    set.push({kPlaysLeft}, static_cast<int32_t>(plays));
    set.op(kActionSetVariable);
    Actions actions; // if (!playsLeft) ...
    actions.push({kPlaysLeft});
    actions.op(kActionGetVariable);
    actions.ifTrueSkip(static_cast<int16_t>(set.size()));
    actions.push({kPlaysLeft}, static_cast<int32_t>(plays));
    actions.op(kActionSetVariable);
    actions.write(out);
}

void writeCountPlayAndStop(ByteSink& out) {
    Actions actions; // playsLeft = playsLeft - 1; if (!playsLeft) stop();
    actions.push({kPlaysLeft, kPlaysLeft});
    actions.op(kActionGetVariable);
    actions.op(kActionDecrement);
    actions.op(kActionSetVariable);
    actions.push({kPlaysLeft});
    actions.op(kActionGetVariable);
    actions.ifTrueSkip(1);
    actions.op(kActionStop);
    actions.write(out);
}

void writeStop(ByteSink& out) {
    Actions actions;
    actions.op(kActionStop);
    actions.write(out);
}

void writeEnd(ByteSink& out) {
    writeTagHeader(out, kEnd, 0);
}

} // namespace gif2swf::swf
