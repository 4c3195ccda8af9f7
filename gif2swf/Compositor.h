#pragma once

#include "Box.h"
#include "ColourRegistry.h"
#include "GifReader.h"
#include "LargeAllocator.h"

#include <cstdint>
#include <vector>

// The picture a GIF viewer shows after each image: images drawn over what the previous
// ones left, then disposed of as their control block says. Pixels are the images' colour
// table entries as given to beginImage (colour ids of a ColourRegistry); 0 is transparent
// and never a pixel. Where no image has drawn, or disposal cleared to the background
// (browsers clear to transparent whatever the background colour index says), the stage
// shows through, so those pixels are kStage.
namespace gif2swf {

class Compositor {
public:
    static constexpr uint32_t kStage = ColourRegistry::kStage;

    Compositor(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }
    const PictureBuffer& pixels() const { return pixels_; }
    // The picture's buffer, to exchange for an older picture's of the same size (see
    // Pipeline::picture), after which exchanged() says where that one is out of date.
    PictureBuffer& canvas() { return pixels_; }
    // The canvas now holds an older picture, which differs from the one handed over (still
    // at `current`) within `stale`. Those pixels are copied from `current` when first needed,
    // and not at all where the next image covers them with opaque ones: in a whole-frame
    // animation, each image covers the screen.
    void exchanged(const Box& stale, const uint32_t* current);

    // Starts drawing an image: remembers the area that "previous" disposal restores.
    void beginImage(const GifImage& image);
    // Draws the image's n-th row in file order (interlaced rows are put in their place);
    // the part outside the screen is clipped.
    void drawRow(int fileRow, const uint8_t* indices);
    // Disposes of the image drawn last, before the next one is drawn.
    void disposeImage();

    // The area where pixels may have changed since the last call (at first the screen):
    // the images drawn and the areas disposed of.
    Box takeChanged();
    // The pixels the image begun last drew (not transparent in it), until the next begins;
    // no mask where it drew its whole rectangle.
    DrawnPixels drawn() const {
        if (!hasTransparent_ || !leftTransparent_) {
            return {nullptr, 0, area_, false, true};
        }
        if (!drewUnchanged_) {
            return {}; // what it drew is what changed: the plain patch
        }
        return {drawn_.data() + static_cast<size_t>(area_.top) * width_ + area_.left,
                static_cast<size_t>(width_), area_, leftTransparent_};
    }

private:
    void addChanged(const Box& area);
    // Copies the stale pixels from the picture handed over, except those in `skip`.
    void bringUpToDate(const Box& skip = {});

    int width_;
    int height_;
    PictureBuffer pixels_;
    Box stale_; // where pixels_ is older than the picture at current_
    const uint32_t* current_ = nullptr;
    // The current image, its clipped area and, for "previous" disposal, the area's pixels
    // before it was drawn.
    GifImage image_;
    bool hasTransparent_ = false; // its colour table has a transparent entry
    uint8_t transparentIndex_ = 0;
    Box area_;
    PictureBuffer saved_;
    Box changed_;
    std::vector<uint8_t> drawn_; // per pixel of the screen: 1 where the image drew
    bool leftTransparent_ = false;
    bool drewUnchanged_ = false; // it drew a pixel in the colour already there
};

} // namespace gif2swf
