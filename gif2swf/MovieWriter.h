#pragma once

#include "BitmapEncoder.h"
#include "Box.h"
#include "ByteSink.h"
#include "LargeAllocator.h"
#include "MovieLook.h"
#include "SwfTags.h"
#include "TagSink.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// Writes a movie of opaque pictures. A picture goes in whole (a "key": a bitmap and a
// rectangle shape filled with it, at depth 1, replacing the one before) or as a patch: a
// bitmap of the changed rectangle, the pixels that did not change transparent, placed over
// what is shown at the next depth up. So a frame costs about what its changes cost, as in
// the GIF. A key also removes the patches; it is used when nearly every pixel changes and
// when the patches reach their bound (see kMaxPatches). Bitmaps that show again (same
// pixels, same size) are reused. Each picture then lasts its frames as ShowFrame tags.
namespace gif2swf {

class MovieWriter {
public:
    using Pixels = PictureBuffer;

    struct Change {
        Box box;             // where the picture differs from the one shown; empty if equal
        uint64_t pixels = 0; // how many pixels differ
    };
    // Where and how much a picture `width` x `height` differs from `before`, comparing
    // within `region` (inside the picture) only.
    static Change compare(const uint32_t* pixels, const uint32_t* before, int width, int height,
                          const Box& region);

    // Writes the header (stage size in pixels, frame rate in 8.8 fixed point), the file
    // attributes and the background to `sink`, the stage that deflates the bitmaps and
    // writes the movie; the stage and every picture are shown at `look`'s scale. Pictures
    // hold ids of `colours`' colours (it must outlive the writer). The writer is one stage on
    // one thread: it decides and hands over, in order.
    MovieWriter(TagSink& sink, const ColourRegistry& colours, int stageWidth, int stageHeight,
                uint16_t frameRate, const MovieLook& look = {});

    // Makes the movie stop after playing `plays` times (0: it loops for ever, as players do
    // by themselves); `frames` is the movie's length.
    void playTimes(uint32_t plays, uint32_t frames);
    // Shows a picture (colour ids) at the stage's top-left corner for `frames`
    // frames. Throws ConvertError without a subject when the movie cannot hold more.
    // `changed`, when given, holds every pixel that may differ from the picture shown before
    // (the images drawn and disposed of since), so only that area is compared.
    // `known`, when given, is its change from the picture shown before, compared within
    // `changed` (clipped to the picture), as compare() finds it. `drawn`: what the GIF image
    // of this picture drew, where known.
    void show(const uint32_t* pixels, int width, int height, uint32_t frames,
              const Box* changed = nullptr, const Change* known = nullptr,
              const DrawnPixels& drawn = {});
    // One tile of a key that comes in tiles as its rows are decoded (the first picture, or
    // one of a new size), so that a large picture is deflated while the rest of it is still
    // being decoded: `pixels` holds the tile's rows, from row `top` (a multiple of
    // tileRows()) of a picture `height` rows high, shown for `frames` frames. The tile is
    // defined at once; with the last tile the picture is shown.
    void keyTile(const uint32_t* pixels, int width, int height, int top, uint32_t frames);
    // A key of a large picture is placed as horizontal tiles of this many rows, side by
    // side at depths 1, 2, ... (tiles are not stacked layers); small pictures are one tile.
    static int tileRows(int width, int height);
    // Ends the movie; the sink writes its length and frame count into the header.
    void finish();
    // The bytes of the GIFs read up to the picture shown next (0: no bound): the bitmaps it
    // defines are deflated harder where the movie would otherwise grow past them.
    void paidUpTo(uint64_t bytes) { paid_ = bytes; }
    // Called with the frame count after each picture shown (for progress reports).
    void onFramesShown(std::function<void(uint32_t)> listener) {
        framesShown_ = std::move(listener);
    }

    uint32_t frameCount() const { return frameCount_; }
    // Pictures defined (bitmaps, or parts of a shared one).
    uint32_t bitmapCount() const { return static_cast<uint32_t>(shapes_.size()); }

private:
    // The shape showing these pixels, defining its bitmap and shape when new.
    // `wholeKey`: the pixels are a key of the whole screen in one tile.
    uint16_t shapeFor(const uint32_t* pixels, int width, int height, bool wholeKey = false);
    // The same for the bitmap the encoder has prepared.
    uint16_t shapeForPrepared(const Fingerprint& fingerprint, int width, int height,
                              bool wholeKey = false);
    // Where the writer's tags go: after the strip, while one is being filled.
    ByteSink& tags() { return strip_.bitmapId != 0 ? strip_.tags : sink_.tags(); }
    // Adds the picture the encoder has prepared, when small or a whole key, to the strip,
    // when it fits there; returns its shape, or 0.
    uint16_t shapeInStrip(int width, int height, bool wholeKey);
    // Defines the strip's bitmap and writes the tags that waited for it.
    void closeStrip();
    void showKey(const uint32_t* pixels, int width, int height);
    // Unchanged pixels between the changed ones in a patch: transparent, filled where that
    // keeps areas whole (see layPatchRow), all shown (the whole rectangle), or shown where
    // the GIF image drew them.
    enum class Gaps { Transparent, Filled, Whole, AsDrawn };
    // How a patch of `box` over `below` shows its unchanged pixels, by an estimate of each
    // way's deflated size.
    Gaps chooseGaps(const uint32_t* pixels, int width, const Box& box, const Pixels& below);
    // A patch of the pixels in `box` that differ from `below`, the picture it is placed over,
    // its unchanged ones shown as `gaps` says (or transparent where their colours would not
    // fit a palette).
    void showPatch(const uint32_t* pixels, int width, const Box& box, const Pixels& below,
                   Gaps gaps);
    // What becomes of a picture, decided before anything is written: the first key or one
    // of a new size, the same picture again, a key over everything, the last patch replaced
    // (by one over what it covered, or by nothing), or a patch stacked on the others.
    struct Step {
        enum Kind { NewKey, Repeat, Key, Revert, Stack } kind;
        Box region; // where the picture may differ from the one shown
        Box patch;  // the new patch's rectangle; empty: none
    };
    Step choose(const uint32_t* pixels, int width, int height, const Box* changed,
                const Change* known) const;
    void apply(const Step& step, const uint32_t* pixels, int width, int height);

    // Lays out row `y` of the patch of `box` over `below` into `row`, below `above` (the row
    // laid out before; nullptr for the first), as layPatchRow does; returns its size
    // estimate, or 0 without `estimate`.
    uint64_t patchRow(const uint32_t* pixels, int width, const Box& box, const Pixels& below,
                      Gaps gaps, bool estimate, int y, const uint32_t* above, uint32_t* row);
    // Rows `first` to `first + rows` of that patch into `out`, the first as if at the top;
    // returns the sum of their size estimates.
    uint64_t patchRows(const uint32_t* pixels, int width, const Box& box, const Pixels& below,
                       Gaps gaps, int first, int rows, uint32_t* out);
    // Compares within `region` only.
    Change changeFrom(const uint32_t* pixels, const Pixels& shown, const Box& region) const;
    // The change from `shown` within `region` when its patch would cost less than `limit`
    // (see patchCost); else nothing, found from its first and last changed rows alone where
    // they already tell (a picture that differs from the one below the last patch as much as
    // from the one shown, as every frame of a film does).
    std::optional<Change> changeCheaperThan(const uint32_t* pixels, const Pixels& shown,
                                            const Box& region, uint64_t limit) const;
    // About what a patch of the change costs in the movie, to compare two of them.
    static uint64_t patchCost(const Change& change);
    // Copies the pixels of `region` into `picture`.
    void copyRegion(Pixels& picture, const uint32_t* pixels, const Box& region) const;
    void removeTopPatch();
    // Places a shape at a depth with its top-left corner at picture pixel (x, y), scaled.
    void place(uint16_t depth, uint16_t shape, bool replace, int x, int y);

    static constexpr uint16_t kKeyDepth = 1;
    static constexpr uint64_t kTilePixels = 256 * 1024;
    static constexpr int kMaxTiles = 16;
    // Patches stack up to this many, and their rectangles add up to at most this many
    // times the screen's area or kMaxPatchPixels, whichever is more, before a key replaces
    // them: players never draw more than a few screens' (or a large picture's) pixels.
    static constexpr uint16_t kMaxPatches = 1024;
    static constexpr uint64_t kMaxPatchScreens = 8;
    static constexpr uint64_t kMaxPatchPixels = 2 * 1024 * 1024;

    // Whether `frames` more frames fit the movie; throws ConvertError without a subject.
    void checkRoomFor(uint32_t frames) const;
    // Shows the picture now on screen for `frames` frames, with the play count's actions.
    void advanceFrames(uint32_t frames);

    TagSink& sink_;
    int scalePercent_;
    swf::FileHeaderLayout layout_;
    BitmapEncoder encoder_;
    std::unordered_map<Fingerprint, uint16_t, FingerprintHash> shapes_;
    uint32_t nextCharacterId_ = 1;
    uint32_t frameCount_ = 0;
    uint32_t plays_ = 0;
    uint32_t lastFrame_ = 0;
    std::function<void(uint32_t)> framesShown_;
    uint64_t paid_ = 0;

    // What the screen shows now: the key's shape, the patches over it and their pixels.
    std::vector<uint16_t> keyShapes_; // the key's tiles; empty: nothing placed yet
    std::vector<uint16_t> keyTiles_;  // tiles of the key coming in tiles, defined so far
    Pixels tiledKey_;                 // the picture they make up
    uint16_t patches_ = 0;
    uint64_t patchArea_ = 0;
    Pixels shown_;
    // The picture below the last patch, while the last thing placed is a patch.
    bool topIsPatch_ = false;
    Pixels belowTop_;
    uint64_t topPatchArea_ = 0;
    Box topPatchBox_;
    int shownWidth_ = 0;
    int shownHeight_ = 0;
    Pixels patchPixels_;
    std::vector<uint32_t> zeroRow_;  // "nothing shown" above a patch's first row
    DrawnPixels drawn_;              // of the picture being shown
    std::vector<uint32_t> drawnRow_; // the row below a patch row, 0 where drawn

    // Small pictures (at most kStripPicturePixels) share a bitmap, the strip: one below the
    // other, each shape showing its part. A movie of small frames so pays for a colour table
    // per strip, as the GIF does once, instead of one per frame, and deflate finds what
    // repeats from one frame to the next. A strip holds at most 256 colours (the transparent
    // one too) and kStripPixels; the tags after its first picture wait until it is defined.
    static constexpr uint64_t kStripPicturePixels = 16 * 1024;
    // A screen of at most this many pixels shows a change of a quarter of them whole (see
    // choose).
    static constexpr uint64_t kSmallScreenPixels = 16 * 1024;
    static constexpr uint64_t kStripPixels = 64 * 1024;
    static constexpr uint64_t kSmallPatchPixels = 16 * 1024;
    // Keys of the whole screen, larger than that but in one tile, share a strip side by side
    // instead, up to this width (the widest bitmap Flash Player 9 shows): deflate finds each
    // row in the picture before, which on two-colour noise (a cellular automaton, say) makes
    // the movie a tenth smaller at the same level.
    static constexpr int kSideBySideWidth = 2880;
    struct Strip {
        uint16_t bitmapId = 0;   // 0: none being filled
        bool sideBySide = false; // pictures of one height left to right, not top to bottom
        int width = 0;
        int height = 0;
        std::vector<int> widths; // each picture's, one after another from the top
        std::vector<int> heights;
        // The pictures' rows, each its own width, as palette indices (each written whole).
        std::vector<uint8_t, LargeAllocator<uint8_t>> indices;
        std::vector<uint32_t> ids; // its palette: the colour id of each index
        uint64_t paid = 0;         // what the GIFs paid up to its last picture
        uint64_t largest = 0;      // its largest picture's pixels
        uint32_t stamp = 0;        // marks, in colourStamps_, the ids it holds
        MemorySink tags;           // what waits for its bitmap
    } strip_;
    std::vector<uint32_t> colourStamps_;  // per colour id: the stamp of the last strip with it
    std::vector<uint8_t> stripIndexOfId_; // per colour id: its index in the strip, when stamped
    BitmapEncoder stripEncoder_;          // the strips' own, beside the pictures' one
    const ColourRegistry& colours_;
};

} // namespace gif2swf
