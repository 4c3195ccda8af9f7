#pragma once

#include "ByteSource.h"
#include "LzwDecoder.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct GifFileType;

// Reads a GIF record by record through giflib: one image's rows at a time, never the whole
// file. Hides giflib's version differences and turns its error codes into our errors.
namespace gif2swf {

enum class Disposal { Unspecified = 0, None = 1, Background = 2, Previous = 3 };

// One image of a GIF with the graphic control values that precede it.
struct GifImage {
    int number = 0; // 1-based within the file
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool interlaced = false;
    Disposal disposal = Disposal::Unspecified;
    int delayCentiseconds = 0;
    // The image's colour table (local, else global) as 0xAARRGGBB; the transparent index
    // maps to 0 (nothing drawn) and indices beyond the table to opaque black. An image
    // without either table gets the grey levels viewers use (index i as i,i,i).
    std::array<uint32_t, 256> colours{};
    bool greyColours = false;
};

class GifReader {
public:
    // Reads the header and the global colour table; throws ConvertError naming `name`.
    GifReader(ByteSource& source, std::string name);
    ~GifReader();
    GifReader(const GifReader&) = delete;
    GifReader& operator=(const GifReader&) = delete;

    int screenWidth() const { return screenWidth_; }
    int screenHeight() const { return screenHeight_; }
    // How often viewers repeat the animation after its first play, from the looping
    // extension read so far: -1 without one, 0 for ever, else the count.
    int loopCount() const { return loopCount_; }

    // Moves to the next image, reading the extensions before it; false at the end of the
    // file. After true, read the image's rows with readRow or skip them with skipImageData.
    bool nextImage(GifImage& image);
    // The next row of the current image in file order (see interlacedRowY): the image's
    // width of indices, valid until the next image.
    const uint8_t* readRow();
    void skipImageData();

    // The row of the image that the n-th row in an interlaced file holds.
    static int interlacedRowY(int fileRow, int height);

private:
    static int readFromSource(GifFileType* gif, uint8_t* buffer, int size);
    [[noreturn]] void fail(int gifError, bool inImage);
    void readExtension();
    using ImageData = std::vector<uint8_t, LargeAllocator<uint8_t>>;
    void readImageData();
    // Reads the sub-blocks after an image's first one up to their end, appending their
    // bytes to `data` unless it is null; returns 0, or giflib's error for a short file.
    int readFollowingBlocks(ImageData* data);

    ByteSource& source_;
    bool firstRead_ = true;
    bool signatureFits_ = true; // the first bytes read begin "GIF", as far as they go
    // The last read giflib asked for: whole, and its last byte (giflib reports an LZW code
    // size above 8, the byte read last before decoding, as a failed read).
    bool lastReadWhole_ = false;
    uint8_t lastByte_ = 0;
    int loopCount_ = -1;
    std::string name_;
    GifFileType* gif_ = nullptr;
    int screenWidth_ = 0;
    int screenHeight_ = 0;
    int imageCount_ = 0;
    int rowsLeft_ = 0;
    int rowWidth_ = 0;
    int rowsRead_ = 0;
    // The current image's LZW data, read whole at its first row and decoded row by row;
    // giflib's error if reading it failed before its end.
    ImageData imageData_;
    int imageDataError_ = 0;
    LzwDecoder decoder_;
    // Graphic control values for the next image; reset after every image because the
    // control block is optional.
    Disposal pendingDisposal_ = Disposal::Unspecified;
    int pendingDelay_ = 0;
    int pendingTransparent_ = -1;
};

} // namespace gif2swf
