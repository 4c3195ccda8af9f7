// Start-up and shutdown of the main window.
#include "Form1.h"

#include "Layout.h"
#include "filelist/FileListView.h"
#include "util/Constants.h"

namespace korvane {

void Form1::Form_Load() {
    setWindowTitle(kAppTitle);
    ListView1->createColumn(
        QStringLiteral("Drag and drop GIF files here. Drag files up and down to change order."),
        TwipsToPixels(3000, dpi()));
}

void Form1::ApplySkin() {}

void Form1::OpenHomePageOccasionally() {}

void Form1::SaveFormPlacement() {}

} // namespace korvane
