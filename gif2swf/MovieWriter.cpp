#include "MovieWriter.h"

#include "Errors.h"
#include "PatchRow.h"
#include "Timing.h"

#include <algorithm>
#include <bitset>
#include <cmath>
#include <cstring>

namespace gif2swf {
namespace {

// An estimate of a patch's deflated size from sampled rows: the pixels that repeat neither
// the one to the left nor the one above (see layPatchRow), each costing about the bits that
// tell apart the values the patch holds. Filled gaps keep a transparent value beside the
// picture's colours: two-colour noise with gaps is three values, and its whole rectangle the
// smaller.
struct SampleCost {
    uint64_t literals = 0;
    uint64_t seen[4] = {}; // the values met in the rows marked, hashed to 256 bits

    // Every fourth pixel tells the values well enough.
    void mark(const uint32_t* pixels, size_t count) {
        for (size_t i = 0; i < count; i += 4) {
            const uint32_t bit = (pixels[i] * 0x9E3779B1u) >> 24;
            seen[bit >> 6] |= uint64_t{1} << (bit & 63);
        }
    }
    double bits() const {
        int values = 0;
        for (const uint64_t word : seen) {
            values += static_cast<int>(std::bitset<64>(word).count());
        }
        return static_cast<double>(literals) * std::log2(std::max(2, values));
    }
};

} // namespace

MovieWriter::MovieWriter(TagSink& sink, const ColourRegistry& colours, int stageWidth,
                         int stageHeight, uint16_t frameRate, const MovieLook& look)
    : sink_(sink), scalePercent_(look.scalePercent), encoder_(colours), stripEncoder_(colours),
      colours_(colours) {
    swf::FileHeader header;
    header.frameSize = {0, swf::scaledTwips(stageWidth, scalePercent_), 0,
                        swf::scaledTwips(stageHeight, scalePercent_)};
    header.frameRate = frameRate;
    layout_ = swf::writeFileHeader(sink_.tags(), header);
    swf::writeFileAttributes(sink_.tags());
    swf::writeSetBackgroundColor(sink_.tags(), static_cast<uint8_t>(look.background >> 16),
                                 static_cast<uint8_t>(look.background >> 8),
                                 static_cast<uint8_t>(look.background));
}

void MovieWriter::place(uint16_t depth, uint16_t shape, bool replace, int x, int y) {
    swf::writePlaceObject2(tags(), depth, shape, replace, swf::scaledTwips(x, scalePercent_),
                           swf::scaledTwips(y, scalePercent_), swf::fixedScale(scalePercent_));
}

uint16_t MovieWriter::shapeFor(const uint32_t* pixels, int width, int height, bool wholeKey) {
    return shapeForPrepared(encoder_.prepare(pixels, width, height), width, height, wholeKey);
}

uint16_t MovieWriter::shapeForPrepared(const Fingerprint& fingerprint, int width, int height,
                                       bool wholeKey) {
    const auto known = shapes_.find(fingerprint);
    if (known != shapes_.end()) {
        return known->second;
    }
    if (nextCharacterId_ + 2 > swf::kMaxCharacterId) {
        throw ConvertError(Error::TooManyPictures, {});
    }
    uint16_t shape = encoder_.colourMapped() ? shapeInStrip(width, height, wholeKey) : 0;
    if (shape == 0) {
        // A bitmap of its own goes after what waits for the strip.
        closeStrip();
        const uint16_t bitmapId = static_cast<uint16_t>(nextCharacterId_);
        shape = static_cast<uint16_t>(nextCharacterId_ + 1);
        nextCharacterId_ += 2;
        // The first picture is deflated for size: in an optimised GIF it holds most of the
        // file's bytes (what follows is small patches), while in a whole-frame animation it
        // is one picture of many, whose speed counts.
        sink_.defineBitmap(bitmapId, encoder_, frameCount_ == 0, paid_);
        swf::writeDefineBitmapRectangle(tags(), shape, bitmapId, width, height);
    }
    shapes_.emplace(fingerprint, shape);
    return shape;
}

uint16_t MovieWriter::shapeInStrip(int width, int height, bool wholeKey) {
    const uint64_t area = uint64_t(width) * uint64_t(height);
    // Larger pictures go side by side when they are whole keys of the screen after the first
    // picture (which is deflated for size alone).
    const bool sideBySide = area > kStripPicturePixels;
    if (sideBySide && (!wholeKey || frameCount_ == 0 || 2 * width > kSideBySideWidth)) {
        return 0;
    }
    // The colours it would add (the prepared picture's palette); a strip that cannot take them
    // all is defined first.
    const std::vector<uint32_t>& ids = encoder_.paletteIds();
    if (colourStamps_.size() < colours_.size()) {
        colourStamps_.resize(colours_.size(), 0);
    }
    const auto added = [&] {
        uint32_t count = 0;
        for (const uint32_t id : ids) {
            count += colourStamps_[id] != strip_.stamp ? 1 : 0;
        }
        return count;
    };
    const bool fits =
        strip_.bitmapId != 0 && strip_.sideBySide == sideBySide &&
        (sideBySide ? strip_.height == height && strip_.width + width <= kSideBySideWidth
                    : strip_.height + height <= swf::kMaxBitmapSide &&
                          // Rows as the bitmap pads them.
                          (uint64_t(std::max(strip_.width, width)) + 3) / 4 * 4 *
                                  uint64_t(strip_.height + height) <=
                              kStripPixels);
    const uint32_t count = fits ? added() : 0;
    if (!fits || strip_.ids.size() + count > 256) {
        closeStrip();
        strip_.bitmapId = static_cast<uint16_t>(nextCharacterId_++);
        strip_.sideBySide = sideBySide;
        ++strip_.stamp; // marks the ids in the new strip
        // Room for a full strip at once: growing by copies cost the writer more than filling.
        strip_.indices.reserve(sideBySide ? size_t(kSideBySideWidth) * size_t(height)
                                          : size_t(kStripPixels));
    }
    // The picture's palette indices, as the encoder laid them out, become the strip's.
    if (stripIndexOfId_.size() < colourStamps_.size()) {
        stripIndexOfId_.resize(colourStamps_.size(), 0);
    }
    uint8_t toStrip[256];
    bool same = true; // the picture's indices are the strip's
    for (size_t i = 0; i < ids.size(); ++i) {
        const uint32_t id = ids[i];
        if (colourStamps_[id] != strip_.stamp) {
            colourStamps_[id] = strip_.stamp;
            stripIndexOfId_[id] = static_cast<uint8_t>(strip_.ids.size());
            strip_.ids.push_back(id);
        }
        toStrip[i] = stripIndexOfId_[id];
        same = same && toStrip[i] == i;
    }
    const size_t at = strip_.indices.size();
    strip_.indices.resize(at + area);
    uint8_t* to = strip_.indices.data() + at;
    for (int y = 0; y < height; ++y, to += width) {
        const uint8_t* from = encoder_.indexRow(y);
        if (same) {
            std::memcpy(to, from, static_cast<size_t>(width));
            continue;
        }
        int x = 0;
        for (; x + 8 <= width; x += 8) {
            for (int i = 0; i < 8; ++i) {
                to[x + i] = toStrip[from[x + i]];
            }
        }
        for (; x < width; ++x) {
            to[x] = toStrip[from[x]];
        }
    }
    const uint16_t shape = static_cast<uint16_t>(nextCharacterId_++);
    strip_.widths.push_back(width);
    strip_.heights.push_back(height);
    if (sideBySide) {
        swf::writeDefineBitmapRectangle(tags(), shape, strip_.bitmapId, width, height, 0,
                                        strip_.width);
        strip_.width += width;
        strip_.height = height;
    } else {
        swf::writeDefineBitmapRectangle(tags(), shape, strip_.bitmapId, width, height,
                                        strip_.height);
        strip_.width = std::max(strip_.width, width);
        strip_.height += height;
    }
    strip_.paid = paid_;
    strip_.largest = std::max(strip_.largest, area);
    return shape;
}

void MovieWriter::closeStrip() {
    if (strip_.bitmapId == 0) {
        return;
    }
    stripEncoder_.startIndexed(strip_.width, strip_.height);
    const uint8_t* from = strip_.indices.data();
    int left = 0;
    int top = 0;
    for (size_t i = 0; i < strip_.widths.size(); ++i) {
        const int width = strip_.widths[i];
        for (int y = 0; y < strip_.heights[i]; ++y) {
            if (strip_.sideBySide) {
                std::copy(from, from + width, stripEncoder_.indexRow(y) + left);
            } else {
                // Pictures narrower than the strip repeat their last pixel to its width, which
                // keeps them opaque and costs deflate next to nothing.
                uint8_t* to = stripEncoder_.indexRow(top + y);
                std::copy(from, from + width, to);
                std::fill(to + width, to + strip_.width, from[width - 1]);
            }
            from += width;
        }
        left += width;
        top += strip_.heights[i];
    }
    stripEncoder_.finishIndexed(strip_.ids);
    const uint16_t bitmapId = strip_.bitmapId;
    strip_.bitmapId = 0; // tags() is the sink's again
    // Its tags are every shape and placing of its pictures, which follow it. A strip of
    // patches of at most 16 K pixels is deflated for size, as those patches were alone
    // (whole small frames, one after another, deflate well at the fast level).
    sink_.defineBitmap(bitmapId, stripEncoder_, strip_.largest <= kSmallPatchPixels, strip_.paid,
                       strip_.tags.position() + TagSink::kBitmapTagsBytes);
    const std::vector<uint8_t> waiting = strip_.tags.take();
    sink_.tags().write(waiting.data(), waiting.size());
    strip_.width = 0;
    strip_.height = 0;
    strip_.widths.clear();
    strip_.heights.clear();
    strip_.indices.clear();
    strip_.ids.clear();
    strip_.largest = 0;
}

MovieWriter::Change MovieWriter::changeFrom(const uint32_t* pixels, const Pixels& shown,
                                            const Box& region) const {
    return compare(pixels, shown.data(), shownWidth_, shownHeight_, region);
}

std::optional<MovieWriter::Change> MovieWriter::changeCheaperThan(const uint32_t* pixels,
                                                                  const Pixels& shown,
                                                                  const Box& region,
                                                                  uint64_t limit) const {
    if (region.area() == 0) {
        return changeFrom(pixels, shown, region);
    }
    const uint32_t* before = shown.data();
    const size_t span = static_cast<size_t>(region.right - region.left);
    const auto row = [&](int y) { return static_cast<size_t>(y) * shownWidth_ + region.left; };
    const auto differs = [&](int y) {
        return std::memcmp(pixels + row(y), before + row(y), span * sizeof(uint32_t)) != 0;
    };
    int top = region.top;
    while (top < region.bottom && !differs(top)) {
        ++top;
    }
    if (top == region.bottom) {
        return Change{}; // no change
    }
    int bottom = region.bottom - 1;
    while (!differs(bottom)) {
        --bottom;
    }
    // The box holds those two rows' changed spans, and every row between them.
    const auto rowChange = [&](int y) {
        return compare(pixels, before, shownWidth_, shownHeight_,
                       {region.left, y, region.right, y + 1});
    };
    const Change first = rowChange(top);
    const Change last = bottom > top ? rowChange(bottom) : Change{};
    const Change least{first.box.united(last.box), first.pixels + last.pixels};
    if (patchCost(least) >= limit) {
        return std::nullopt;
    }
    const Change change = changeFrom(pixels, shown, region);
    if (patchCost(change) >= limit) {
        return std::nullopt;
    }
    return change;
}

MovieWriter::Change MovieWriter::compare(const uint32_t* pixels, const uint32_t* before, int width,
                                         int height, const Box& region) {
    Change change;
    Box& box = change.box;
    box = Box{width, height, 0, 0};
    if (region.area() == 0) {
        return Change{};
    }
    const size_t spanBytes = static_cast<size_t>(region.right - region.left) * sizeof(uint32_t);
    for (int y = region.top; y < region.bottom; ++y) {
        const size_t row = static_cast<size_t>(y) * width;
        // Most rows of most pictures are unchanged, which memcmp tells fastest.
        if (std::memcmp(pixels + row + region.left, before + row + region.left, spanBytes) == 0) {
            continue;
        }
        int first = 0;
        int last = 0;
        const uint64_t changed =
            differingPixels(pixels + row, before + row, region.left, region.right, first, last);
        change.pixels += changed;
        box.left = std::min(box.left, first);
        box.right = std::max(box.right, last + 1);
        box.top = std::min(box.top, y);
        box.bottom = y + 1;
    }
    if (box.right <= box.left) {
        box = Box{};
    }
    return change;
}

void MovieWriter::copyRegion(Pixels& picture, const uint32_t* pixels, const Box& region) const {
    const size_t spanBytes = static_cast<size_t>(region.right - region.left) * sizeof(uint32_t);
    for (int y = region.top; y < region.bottom && spanBytes > 0; ++y) {
        const size_t at = static_cast<size_t>(y) * shownWidth_ + region.left;
        std::memcpy(picture.data() + at, pixels + at, spanBytes);
    }
}

int MovieWriter::tileRows(int width, int height) {
    const int rows = static_cast<int>((kTilePixels + uint64_t(width) - 1) / uint64_t(width));
    return std::min(height, std::max(rows, (height + kMaxTiles - 1) / kMaxTiles));
}

void MovieWriter::keyTile(const uint32_t* pixels, int width, int height, int top, uint32_t frames) {
    const int rows = tileRows(width, height);
    const size_t tile = static_cast<size_t>(top / rows);
    const int count = std::min(rows, height - top);
    if (keyTiles_.size() <= tile) {
        keyTiles_.resize(tile + 1, 0);
    }
    keyTiles_[tile] = shapeFor(pixels, width, count);
    // The movie's last picture (a still) is never compared with another: its pixels are not
    // kept, which spares touching as much memory again.
    const bool last = lastFrame_ != 0 && uint64_t(frameCount_) + frames >= lastFrame_;
    if (!last) {
        tiledKey_.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
        std::memcpy(tiledKey_.data() + static_cast<size_t>(top) * width, pixels,
                    static_cast<size_t>(width) * static_cast<size_t>(count) * sizeof(uint32_t));
    }
    if (top + count < height) {
        return;
    }
    // The last tile: the picture is a key (its tiles all defined), and becomes the one shown
    // without a copy.
    checkRoomFor(frames);
    showKey(tiledKey_.data(), width, height);
    shown_.swap(tiledKey_);
    shownWidth_ = width;
    shownHeight_ = height;
    advanceFrames(frames);
}

void MovieWriter::showKey(const uint32_t* pixels, int width, int height) {
    // Patches go first: they sit above the tiles, whose number may change.
    for (uint16_t i = 0; i < patches_; ++i) {
        swf::writeRemoveObject2(tags(), static_cast<uint16_t>(kKeyDepth + keyShapes_.size() + i));
    }
    patches_ = 0;
    patchArea_ = 0;
    topIsPatch_ = false;
    const int rows = tileRows(width, height);
    const size_t tiles = static_cast<size_t>((height + rows - 1) / rows);
    while (keyShapes_.size() > tiles) {
        swf::writeRemoveObject2(tags(), static_cast<uint16_t>(kKeyDepth + keyShapes_.size() - 1));
        keyShapes_.pop_back();
    }
    for (size_t t = 0; t < tiles; ++t) {
        const int top = static_cast<int>(t) * rows;
        const uint16_t shape = t < keyTiles_.size() && keyTiles_[t] != 0
                                   ? keyTiles_[t]
                                   : shapeFor(pixels + static_cast<size_t>(top) * width, width,
                                              std::min(rows, height - top), tiles == 1);
        const bool placed = t < keyShapes_.size();
        if (!placed || keyShapes_[t] != shape) {
            place(static_cast<uint16_t>(kKeyDepth + t), shape, placed, 0, top);
        }
        if (!placed) {
            keyShapes_.push_back(shape);
        }
        keyShapes_[t] = shape;
    }
    keyTiles_.clear();
}

void MovieWriter::removeTopPatch() {
    swf::writeRemoveObject2(tags(),
                            static_cast<uint16_t>(kKeyDepth + keyShapes_.size() + patches_ - 1));
    --patches_;
    patchArea_ -= topPatchArea_;
    topIsPatch_ = false;
}

uint64_t MovieWriter::patchRow(const uint32_t* pixels, int width, const Box& box,
                               const Pixels& below, Gaps gaps, bool estimate, int y,
                               const uint32_t* above, uint32_t* row) {
    const int patchWidth = box.right - box.left;
    const int pictureRow = box.top + y;
    const size_t from = static_cast<size_t>(pictureRow) * width + box.left;
    const uint32_t* now = pixels + from;
    const uint32_t* before = below.data() + from;
    const bool firstRow = above == nullptr;
    if (firstRow) {
        if (zeroRow_.size() < static_cast<size_t>(patchWidth)) {
            zeroRow_.assign(static_cast<size_t>(patchWidth), 0u);
        }
        above = zeroRow_.data();
    }
    if (gaps == Gaps::AsDrawn && pictureRow >= drawn_.area.top && pictureRow < drawn_.area.bottom) {
        // Drawn pixels count as changed: 0 is never a pixel.
        drawnRow_.assign(before, before + patchWidth);
        const uint8_t* mask =
            drawn_.whole
                ? nullptr
                : drawn_.mask + static_cast<size_t>(pictureRow - drawn_.area.top) * drawn_.stride -
                      drawn_.area.left;
        const int left = std::max(box.left, drawn_.area.left);
        const int right = std::min(box.right, drawn_.area.right);
        // The image may have drawn beside the patch on this row: then right <= left.
        uint32_t* masked = drawnRow_.data() - box.left;
        for (int x = left; x < right; ++x) {
            masked[x] &= mask == nullptr ? 0u : 0u - static_cast<uint32_t>(mask[x] == 0);
        }
        before = drawnRow_.data();
    }
    return layPatchRow(now, before, above, firstRow, patchWidth, gaps == Gaps::Filled, estimate,
                       row);
}

uint64_t MovieWriter::patchRows(const uint32_t* pixels, int width, const Box& box,
                                const Pixels& below, Gaps gaps, int first, int rows,
                                uint32_t* out) {
    const size_t patchWidth = static_cast<size_t>(box.right - box.left);
    uint64_t cost = 0;
    for (int y = 0; y < rows; ++y) {
        uint32_t* row = out + y * patchWidth;
        cost += patchRow(pixels, width, box, below, gaps, true, first + y,
                         y == 0 ? nullptr : row - patchWidth, row);
    }
    return cost;
}

MovieWriter::Gaps MovieWriter::chooseGaps(const uint32_t* pixels, int width, const Box& box,
                                          const Pixels& below) {
    // The changed pixels over transparent ones, which leave what is shown below them: a
    // patch costs about what its changes cost. Unchanged pixels may also show their own
    // colour, to keep the opaque areas whole: smaller on video-like GIFs, larger on bands
    // shifting across a gradient (README.md), so it is taken only when the estimate says it
    // is clearly better. Or the whole rectangle shows, where that is estimated no larger
    // (two-colour noise: a live cell's neighbours change back and forth, and filled gaps
    // mix three colours where the picture has two).
    // Or they show where the GIF image drew them, as the GIF did, when that is estimated no
    // larger. The estimate looks at two rows in every 32.
    const int patchHeight = box.bottom - box.top;
    const size_t patchWidth = static_cast<size_t>(box.right - box.left);
    patchPixels_.resize(2 * patchWidth); // the sampled rows
    SampleCost plain;
    SampleCost filled;
    SampleCost whole;
    uint64_t asDrawn = 0;
    const bool drawnKnown = drawn_.known();
    const auto sample = [&](Gaps gaps, int y, int rows, SampleCost& cost) {
        cost.literals += patchRows(pixels, width, box, below, gaps, y, rows, patchPixels_.data());
        cost.mark(patchPixels_.data(), patchWidth); // the first row tells the values well enough
    };
    for (int y = 0; y < patchHeight; y += 32) {
        const int rows = std::min(2, patchHeight - y);
        sample(Gaps::Transparent, y, rows, plain);
        sample(Gaps::Filled, y, rows, filled);
        // The whole rectangle is the picture's own rows: estimated where they are.
        for (int row = 0; row < rows; ++row) {
            const uint32_t* now =
                pixels + static_cast<size_t>(box.top + y + row) * width + box.left;
            whole.literals += patchRowCost(now, row == 0 ? zeroRow_.data() : now - width, row == 0,
                                           static_cast<int>(patchWidth));
        }
        whole.mark(pixels + static_cast<size_t>(box.top + y) * width + box.left, patchWidth);
        if (drawnKnown) {
            asDrawn +=
                patchRows(pixels, width, box, below, Gaps::AsDrawn, y, rows, patchPixels_.data());
        }
    }
    // An image with transparent pixels that also drew unchanged ones shows what its encoder
    // chose to draw: the estimate misjudges that (ImageMagick's optimised pan: 0.91 of the
    // GIF as drawn, 0.99 as estimated). Where it drew just what changed (ffmpeg's), that is
    // the plain patch, and the estimate decides as before.
    if (drawnKnown &&
        (drawn_.leftTransparent ? asDrawn != plain.literals
                                : asDrawn <= std::min(plain.literals, filled.literals))) {
        return Gaps::AsDrawn;
    }
    if (filled.literals * 8 < plain.literals * 7 && filled.bits() * 8 < whole.bits() * 7) {
        return Gaps::Filled;
    }
    return whole.bits() <= plain.bits() ? Gaps::Whole : Gaps::Transparent;
}

void MovieWriter::showPatch(const uint32_t* pixels, int width, const Box& box, const Pixels& below,
                            Gaps gaps) {
    const int patchWidth = box.right - box.left;
    const int patchHeight = box.bottom - box.top;
    // Each row is laid out as the encoder asks for it, over the row before: the patch never
    // exists whole.
    patchPixels_.resize(2 * static_cast<size_t>(patchWidth));
    const auto laidOut = [&](Gaps rowGaps) {
        return encoder_.prepare(
            [&, rowGaps](int y) -> const uint32_t* {
                if (rowGaps == Gaps::Whole) {
                    return pixels + static_cast<size_t>(box.top + y) * width + box.left;
                }
                uint32_t* row = patchPixels_.data() + (y & 1) * patchWidth;
                const uint32_t* above =
                    y == 0 ? nullptr : patchPixels_.data() + ((y - 1) & 1) * patchWidth;
                patchRow(pixels, width, box, below, rowGaps, false, y, above, row);
                return row;
            },
            patchWidth, patchHeight);
    };
    Fingerprint fingerprint = laidOut(gaps);
    if (!encoder_.colourMapped() && gaps != Gaps::Transparent) {
        // The unchanged pixels' colours made too many for a palette.
        fingerprint = laidOut(Gaps::Transparent);
    }
    if (!encoder_.colourMapped()) {
        // The transparent colour made one too many for a palette: the whole rectangle may
        // still fit one.
        fingerprint = laidOut(Gaps::Whole);
    }
    const uint16_t shape = shapeForPrepared(fingerprint, patchWidth, patchHeight);
    ++patches_;
    patchArea_ += box.area();
    topPatchArea_ = box.area();
    topPatchBox_ = box;
    place(static_cast<uint16_t>(kKeyDepth + keyShapes_.size() + patches_ - 1), shape, false,
          box.left, box.top);
}

uint64_t MovieWriter::patchCost(const Change& change) {
    // Transparent pixels between the changed ones break up deflate's runs and matches
    // nearly as much as changed pixels do: a patch costs about its rectangle, the changed
    // pixels in it add a little (on a sprite moving over a still scene, replacing the last
    // patch with a clean one of the sprite is clearly smaller than stacking the difference).
    return change.box.area() * 16 + change.pixels;
}

void MovieWriter::show(const uint32_t* pixels, int width, int height, uint32_t frames,
                       const Box* changed, const Change* known, const DrawnPixels& drawn) {
    checkRoomFor(frames);
    drawn_ = drawn;
    apply(choose(pixels, width, height, changed, known), pixels, width, height);
    drawn_ = DrawnPixels{};
    advanceFrames(frames);
}

MovieWriter::Step MovieWriter::choose(const uint32_t* pixels, int width, int height,
                                      const Box* changed, const Change* known) const {
    const Box whole{0, 0, width, height};
    if (keyShapes_.empty() || width != shownWidth_ || height != shownHeight_) {
        return {Step::NewKey, whole, {}};
    }
    const uint64_t screen = whole.area();
    const Box region = changed != nullptr ? changed->clipped(width, height) : whole;
    const Change change = known != nullptr ? *known : changeFrom(pixels, shown_, region);
    if (change.box.area() == 0) {
        return {Step::Repeat, region, {}};
    }
    // The picture may be closer to the one below the last patch, as when a GIF image is
    // disposed of to what was there before it: then that patch goes and a new one is placed
    // over what it covered. The two differ only under that patch.
    std::optional<Change> revert;
    if (topIsPatch_) {
        revert =
            changeCheaperThan(pixels, belowTop_, region.united(topPatchBox_), patchCost(change));
    }
    const bool reverts = revert.has_value();
    const Change& chosen = reverts ? *revert : change;
    const uint16_t patches = reverts ? patches_ - 1 : patches_;
    const uint64_t patchArea = reverts ? patchArea_ - topPatchArea_ : patchArea_;
    if (patches >= kMaxPatches ||
        patchArea + chosen.box.area() > std::max(kMaxPatchScreens * screen, kMaxPatchPixels) ||
        chosen.pixels * 10 >= screen * 9 ||
        (screen <= kSmallScreenPixels && chosen.pixels * 4 >= screen)) {
        // Too many layers to draw, or a change of nearly every pixel, which costs about as
        // much as the whole picture: a key clears the patches. On a small screen a key of a
        // quarter changed is smaller still: it goes into a strip beside the picture before
        // it, which deflate matches, and its placing is the shortest.
        return {Step::Key, region, {}};
    }
    return {reverts ? Step::Revert : Step::Stack, region, chosen.box};
}

void MovieWriter::apply(const Step& step, const uint32_t* pixels, int width, int height) {
    const uint64_t screen = uint64_t(width) * uint64_t(height);
    if (step.kind == Step::NewKey) {
        showKey(pixels, width, height);
        shown_.assign(pixels, pixels + screen);
        shownWidth_ = width;
        shownHeight_ = height;
        return;
    }
    const Pixels& below = step.kind == Step::Revert ? belowTop_ : shown_;
    const bool patched =
        (step.kind == Step::Revert || step.kind == Step::Stack) && step.patch.area() > 0;
    const Gaps gaps = patched ? chooseGaps(pixels, width, step.patch, below) : Gaps::Transparent;
    // A patch of the whole screen with nothing transparent is a key, which also clears the
    // patches below it.
    const bool key = step.kind == Step::Key || (gaps == Gaps::Whole && step.patch.area() == screen);
    if (key) {
        showKey(pixels, width, height);
    } else if (step.kind == Step::Revert) {
        removeTopPatch();
        if (patched) {
            showPatch(pixels, width, step.patch, belowTop_, gaps);
            topIsPatch_ = true; // still over the same picture
        }
    } else if (step.kind == Step::Stack) {
        const bool topWasPatch = topIsPatch_;
        const Box oldTop = topPatchBox_;
        showPatch(pixels, width, step.patch, shown_, gaps);
        belowTop_.swap(shown_);
        topIsPatch_ = true;
        if (topWasPatch && shown_.size() == screen) {
            // Now the picture below the patch before: it differs from this one in the
            // changed area and under that patch.
            copyRegion(shown_, pixels, step.region.united(oldTop));
        } else {
            shown_.assign(pixels, pixels + screen);
        }
        return;
    }
    copyRegion(shown_, pixels, step.region);
}

void MovieWriter::checkRoomFor(uint32_t frames) const {
    if (frames > kMaxFrames - frameCount_) {
        throw ConvertError(Error::TooManyFrames, {});
    }
}

void MovieWriter::advanceFrames(uint32_t frames) {
    for (uint32_t i = 0; i < frames; ++i) {
        if (frameCount_ == 0 && plays_ > 1) {
            swf::writeSetPlayCounter(tags(), plays_);
        }
        if (frameCount_ + 1 == lastFrame_ && plays_ == 1) {
            swf::writeStop(tags());
        } else if (frameCount_ + 1 == lastFrame_ && plays_ > 1) {
            swf::writeCountPlayAndStop(tags());
        }
        swf::writeShowFrame(tags());
        ++frameCount_;
    }
    if (framesShown_) {
        framesShown_(frameCount_);
    }
}

void MovieWriter::playTimes(uint32_t plays, uint32_t frames) {
    plays_ = plays;
    lastFrame_ = frames;
}

void MovieWriter::finish() {
    closeStrip();
    swf::writeEnd(sink_.tags());
    sink_.end(layout_, static_cast<uint16_t>(frameCount_));
}

} // namespace gif2swf
