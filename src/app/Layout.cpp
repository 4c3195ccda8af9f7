#include "Layout.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace korvane {

std::optional<FormLayout> ComputeLayout(int clientWidth, int clientHeight, bool minimized,
                                        bool listHasColumn) {
    if (minimized)
        return std::nullopt;

    // Each value builds on the one set before it, as the controls read their sizes back.
    FormLayout l;
    l.tabTop = 1600; // leaves the band above to the menu bar and the toolbar
    l.tabWidth = std::max(0, clientWidth - 240);
    l.tabHeight = std::abs(clientHeight - 2260);
    l.listWidth = std::max(0, l.tabWidth - 480);
    l.listHeight = std::abs(l.tabHeight - 730);
    l.frameWidth = std::max(0, clientWidth - 720);
    l.pushButton1Width = l.frameWidth;
    l.text2Width = std::max(0, l.frameWidth - 1300);
    l.pushButton2Left = kText2DesignLeft + l.text2Width + 100;
    l.progressTop = l.tabHeight + 1750; // 150 twips below the tab control
    if (listHasColumn) {
        l.progressWidth = l.tabWidth;
    }
    return l;
}

int TwipsToPixels(int twips, double dpi) {
    return static_cast<int>(std::lround(twips * dpi / 1440.0));
}

int PixelsToTwips(int pixels, double dpi) {
    return static_cast<int>(std::lround(pixels * 1440.0 / dpi));
}

} // namespace korvane
