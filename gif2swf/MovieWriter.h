#pragma once

#include "BitmapEncoder.h"
#include "ByteSink.h"
#include "SwfTags.h"

#include <string>
#include <unordered_map>

// Writes a movie of pictures: each distinct picture once as a bitmap and a rectangle shape
// filled with it, placed at depth 1 (replacing the one before), followed by one ShowFrame
// per frame it lasts. A picture that shows again reuses its shape, and one that repeats the
// picture on screen costs only its ShowFrame tags.
namespace gif2swf {

class MovieWriter {
public:
    // Writes the header (stage size in pixels, frame rate in 8.8 fixed point), the file
    // attributes and the white background.
    MovieWriter(ByteSink& out, int stageWidth, int stageHeight, uint16_t frameRate,
                int compressionLevel = kDefaultCompressionLevel);

    // Shows a picture of 0xAARRGGBB pixels at the stage's top-left corner for `frames`
    // frames. Throws ConvertError without a subject when the movie cannot hold more.
    void show(const uint32_t* pixels, int width, int height, uint32_t frames);
    // Ends the movie and writes its length and frame count into the header.
    void finish();

    uint32_t frameCount() const { return frameCount_; }
    uint32_t pictureCount() const { return static_cast<uint32_t>(shapes_.size()); }

private:
    static constexpr uint16_t kDepth = 1;

    ByteSink& out_;
    swf::FileHeaderLayout layout_;
    BitmapEncoder encoder_;
    swf::LosslessBitmap bitmap_;
    std::unordered_map<Fingerprint, uint16_t, FingerprintHash> shapes_;
    uint32_t nextCharacterId_ = 1;
    uint16_t shownShape_ = 0; // 0: nothing placed yet
    uint32_t frameCount_ = 0;
};

} // namespace gif2swf
