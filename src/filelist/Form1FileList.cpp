// The main window's file-list operations: adding files, folders and dropped items, reordering
// and removing entries.
#include "app/Form1.h"

#include "AddFiles.h"
#include "FileListView.h"
#include "util/Constants.h"
#include "util/Seams.h"

namespace korvane {

void Form1::AddFiles() {
    const QStringList chosen = services_.dialogs.openFiles(
        this, QStringLiteral("Add File(s) - Hold Ctrl to select multiple files"),
        QStringLiteral("GIF Files (*.gif)"));
    if (chosen.isEmpty())
        return;
    AddChosenFiles(chosen, *ListView1, [this](const QString& message) {
        services_.dialogs.message(this, message, MessageIcon::None, kAppTitle);
    });
}

void Form1::AddFolder() {}

void Form1::ClearSelected() {}

void Form1::ClearList() {}

void Form1::connectFileListEvents() {}

} // namespace korvane
