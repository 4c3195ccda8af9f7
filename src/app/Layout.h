#pragma once

#include <optional>

// The main window's layout on every size change, in twips (1/1440 inch; 15 twips make one pixel
// at 96 dpi). Only the values that change with the window's size are computed; every other
// position keeps its design value.
namespace korvane {

struct FormLayout {
    int tabTop = 0; // TabControl1
    int tabWidth = 0;
    int tabHeight = 0;
    int listWidth = 0; // ListView1
    int listHeight = 0;
    int frameWidth = 0; // Frame1 and Frame2
    int pushButton1Width = 0;
    int text2Width = 0;
    int pushButton2Left = 0;
    int progressTop = 0; // ProgressBar1
    // Only set once the list has its column; before that the progress bar's width stays as it
    // is. The list's column fills the list's width by itself.
    std::optional<int> progressWidth;
};

// Design positions that the layout builds on.
inline constexpr int kDesignClientWidth = 8625;
inline constexpr int kDesignClientHeight = 8040;
inline constexpr int kText2DesignLeft = 240;

// The layout for a client area of the given size; nothing while the window is minimised.
// Widths never go below 0, however narrow the window.
std::optional<FormLayout> ComputeLayout(int clientWidth, int clientHeight, bool minimized,
                                        bool listHasColumn);

// Twips to pixels at the given logical dpi, rounded to the nearest pixel.
int TwipsToPixels(int twips, double dpi);
int PixelsToTwips(int pixels, double dpi);

} // namespace korvane
