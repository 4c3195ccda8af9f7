#include "MovieWriter.h"

#include "Errors.h"
#include "Timing.h"

namespace gif2swf {

MovieWriter::MovieWriter(ByteSink& out, int stageWidth, int stageHeight, uint16_t frameRate,
                         int compressionLevel)
    : out_(out), encoder_(compressionLevel) {
    swf::FileHeader header;
    header.frameSize = {0, stageWidth * swf::kTwipsPerPixel, 0, stageHeight * swf::kTwipsPerPixel};
    header.frameRate = frameRate;
    layout_ = swf::writeFileHeader(out_, header);
    swf::writeFileAttributes(out_);
    swf::writeSetBackgroundColor(out_, 0xFF, 0xFF, 0xFF);
}

void MovieWriter::show(const uint32_t* pixels, int width, int height, uint32_t frames) {
    if (frames > kMaxFrames - frameCount_) {
        throw ConvertError(Error::TooManyFrames, {});
    }
    const Fingerprint fingerprint = encoder_.prepare(pixels, width, height);
    auto known = shapes_.find(fingerprint);
    uint16_t shape = 0;
    if (known != shapes_.end()) {
        shape = known->second;
    } else {
        if (nextCharacterId_ + 1 > swf::kMaxCharacterId) {
            throw ConvertError(Error::TooManyPictures, {});
        }
        encoder_.compress(bitmap_);
        // The file length field is 32-bit: refuse before writing past it.
        const uint64_t tagBytes = bitmap_.zlibData.size() + 64;
        if (out_.position() + tagBytes > UINT32_MAX - 1024) {
            throw ConvertError(Error::OutputTooLarge, {});
        }
        bitmap_.characterId = static_cast<uint16_t>(nextCharacterId_);
        shape = static_cast<uint16_t>(nextCharacterId_ + 1);
        nextCharacterId_ += 2;
        swf::writeDefineBitsLossless(out_, bitmap_);
        swf::writeDefineBitmapRectangle(out_, shape, bitmap_.characterId, width, height);
        shapes_.emplace(fingerprint, shape);
    }
    if (shape != shownShape_) {
        swf::writePlaceObject2(out_, kDepth, shape, shownShape_ != 0);
        shownShape_ = shape;
    }
    for (uint32_t i = 0; i < frames; ++i) {
        swf::writeShowFrame(out_);
    }
    frameCount_ += frames;
}

void MovieWriter::finish() {
    swf::writeEnd(out_);
    const uint64_t length = out_.position();
    if (length > UINT32_MAX) {
        throw ConvertError(Error::OutputTooLarge, {});
    }
    swf::patchFileHeader(out_, layout_, static_cast<uint32_t>(length),
                         static_cast<uint16_t>(frameCount_));
}

} // namespace gif2swf
