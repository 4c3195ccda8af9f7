#pragma once

#include <cstdint>

// One row of a patch: the pixels of `now` that differ from `before` (what the patch is
// placed over), the others transparent (0); with `fillGaps`, an unchanged pixel also shows
// its own colour where that continues the run to its left (the same colour as the shown
// pixel there) or where the pixels to the left and above are shown, which keeps opaque
// areas whole for deflate. `above` is the row above in the patch, or zeros for the first
// row. With `estimate`, returns an estimate of the row's deflated size: the pixels that
// repeat neither the one to the left nor the one above; else 0.
// 0 is never a pixel's value (pixels are opaque colours or their ids).
namespace gif2swf {

uint64_t layPatchRow(const uint32_t* now, const uint32_t* before, const uint32_t* above,
                     bool firstRow, int width, bool fillGaps, bool estimate, uint32_t* row);

// The estimate alone, of a row laid out already (a whole row of the picture, say).
uint64_t patchRowCost(const uint32_t* row, const uint32_t* above, bool firstRow, int width);

// How many pixels in [from, to) differ between `now` and `before`, and the first and last of
// them (untouched where none does). In one pass, eight pixels at a time: finding the ends
// by themselves walked each row's equal pixels a second time, one by one.
uint64_t differingPixels(const uint32_t* now, const uint32_t* before, int from, int to, int& first,
                         int& last);

} // namespace gif2swf
