#pragma once

#include "BitWriter.h"
#include "Box.h"
#include "ByteSink.h"

#include <cstdint>
#include <vector>

// Writers for the records of a bitmap movie, one function per record, each writing its
// fields in the order the format lays them out. Coordinates are in twips (1/20 pixel).
namespace gif2swf::swf {

// Version 8: the first with the non-smoothed bitmap fill, so pixels stay sharp at 1:1;
// it requires the FileAttributes tag first.
constexpr uint8_t kVersion = 8;
constexpr int32_t kTwipsPerPixel = 20;
// A straight edge's delta field has at most 17 bits (a 4-bit count plus 2), so one edge moves
// at most this far; longer sides are drawn as several edges.
constexpr int32_t kMaxEdgeTwips = 65535;
// Tags of this length or longer need the long record header.
constexpr uint32_t kLongTagLength = 63;
// Players draw bitmaps up to 8192 pixels a side (the surface limit) and refuse bitmaps of
// more than 4096 x 4096 pixels.
constexpr int kMaxBitmapSide = 8192;
constexpr uint64_t kMaxBitmapPixels = uint64_t{4096} * 4096;
// Character ids are 16-bit.
constexpr uint32_t kMaxCharacterId = 65535;

enum TagCode : uint16_t {
    kEnd = 0,
    kShowFrame = 1,
    kDefineShape = 2,
    kDoAction = 12,
    kSetBackgroundColor = 9,
    kDefineBitsLossless = 20,
    kPlaceObject2 = 26,
    kRemoveObject2 = 28,
    kDefineBitsLossless2 = 36,
    kFileAttributes = 69,
};

// Colour-mapped (up to 256 colours) and direct 32-bit pixels.
enum BitmapFormat : uint8_t { kColourMapped8 = 3, kDirect32 = 5 };

// The format's RECT record, in twips.
struct Rect {
    int32_t xMin = 0;
    int32_t xMax = 0;
    int32_t yMin = 0;
    int32_t yMax = 0;
};
// A box of pixels as the record holds it.
inline Rect inTwips(const Box& box) {
    return {box.left * kTwipsPerPixel, box.right * kTwipsPerPixel, box.top * kTwipsPerPixel,
            box.bottom * kTwipsPerPixel};
}
// A length of `pixels` picture pixels on a stage shown at `scalePercent`, to the nearest
// twip (a pixel is scalePercent / 5 twips: exact for every multiple of 5 %).
inline int32_t scaledTwips(int pixels, int scalePercent) {
    return static_cast<int32_t>((int64_t{pixels} * scalePercent * 2 + 5) / 10);
}

// The movie's opening bytes up to the first tag. FileLength and FrameCount are written as
// given and overwritten by patchFileHeader once the movie is complete.
struct FileHeader {
    Rect frameSize;
    uint16_t frameRate = 0; // 8.8 fixed point: 12 fps is 0x0C00
    uint16_t frameCount = 0;
};

// Byte offsets of the header fields that are patched at the end.
struct FileHeaderLayout {
    uint64_t fileLengthOffset = 0;
    uint64_t frameCountOffset = 0;
};

void writeRect(BitWriter& bits, const Rect& rect);
// 1.0 in the 16.16 fixed point of matrix scales.
constexpr int32_t kFixedOne = 1 << 16;
// A scale in percent as a matrix scale, to the nearest 1/65536.
inline int32_t fixedScale(int scalePercent) {
    return static_cast<int32_t>((int64_t{scalePercent} * kFixedOne + 50) / 100);
}

// A matrix that scales (16.16 fixed point; the scale fields are left out at 1.0) and
// translates (twips), without rotation.
void writeMatrix(BitWriter& bits, int32_t scaleX, int32_t scaleY, int32_t translateX,
                 int32_t translateY);

FileHeaderLayout writeFileHeader(ByteSink& out, const FileHeader& header);
void patchFileHeader(ByteSink& out, const FileHeaderLayout& layout, uint32_t fileLength,
                     uint16_t frameCount);

// RECORDHEADER: short form for lengths under 63 unless the long form is asked for.
void writeTagHeader(ByteSink& out, TagCode code, uint64_t length, bool forceLong = false);

void writeFileAttributes(ByteSink& out);
void writeSetBackgroundColor(ByteSink& out, uint8_t red, uint8_t green, uint8_t blue);

struct LosslessBitmap {
    TagCode code = kDefineBitsLossless; // or kDefineBitsLossless2 for one with alpha
    uint16_t characterId = 0;
    BitmapFormat format = kColourMapped8;
    uint16_t width = 0;
    uint16_t height = 0;
    int colourCount = 0;           // colour-mapped only: 1..256
    std::vector<uint8_t> zlibData; // colour table and padded rows, or pixels, zlib-compressed
};
void writeDefineBitsLossless(ByteSink& out, const LosslessBitmap& bitmap);

// A rectangle of `widthPixels` x `heightPixels`, its top-left corner at the origin, filled
// unsmoothed and clipped with the bitmap's pixels from row `bitmapTop` and column
// `bitmapLeft` on (a bitmap that holds several pictures, one below the other or side by side,
// shows one of them).
void writeDefineBitmapRectangle(ByteSink& out, uint16_t shapeId, uint16_t bitmapId, int widthPixels,
                                int heightPixels, int bitmapTop = 0, int bitmapLeft = 0);

// Places a character at a depth, moved by (x, y) twips and scaled by `scale` (16.16), with
// no matrix at all when it is neither moved nor scaled; `replace` sets the move flag so that
// the character replaces the one already there (without it, players ignore the placement).
void writePlaceObject2(ByteSink& out, uint16_t depth, uint16_t characterId, bool replace,
                       int32_t x = 0, int32_t y = 0, int32_t scale = kFixedOne);
void writeRemoveObject2(ByteSink& out, uint16_t depth);
void writeShowFrame(ByteSink& out);

// Actions that make the movie play a set number of times (ActionScript 1, which every
// player runs). The first frame sets a counter unless it is set already; the last frame
// counts it down and stops the movie at 0.
void writeSetPlayCounter(ByteSink& out, uint32_t plays);
void writeCountPlayAndStop(ByteSink& out);
// Stops the movie where it is.
void writeStop(ByteSink& out);
void writeEnd(ByteSink& out);

} // namespace gif2swf::swf
