// The main window's file-list operations: adding files, folders and dropped items, reordering
// and removing entries.
#include "app/Form1.h"

#include "AddFiles.h"
#include "FileListView.h"
#include "FolderScan.h"
#include "Reordering.h"
#include "preview/PreviewWindow.h"
#include "util/Constants.h"
#include "util/PathHelpers.h"
#include "util/Seams.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QScopedValueRollback>

namespace korvane {

namespace {

const QString kAddFolderPrompt = QStringLiteral(
    "Enter file extension to load:\r\r(* for all files, txt for all txt files, doc for all doc "
    "files, etc.)");
const QString kDefaultExtension = QStringLiteral("gif");
const QString kBrowseTitle = QStringLiteral("Please select folder:");
const QString kDragPointerFile = QStringLiteral("drag.ico");

// Lets the window's pending events through while a folder tree is scanned, so it keeps painting
// and answering. The scan offers a chance often (at every entry while it collects subfolders);
// a pass of the event loop costs some forty times more than reading the clock, so a pass runs
// at most once a millisecond, which the user cannot tell from one at every chance.
std::function<void()> WindowEventPump() {
    return [sinceLastPass = QElapsedTimer()]() mutable {
        constexpr qint64 kPassEveryNs = 1000 * 1000;
        if (sinceLastPass.isValid() && sinceLastPass.nsecsElapsed() < kPassEveryNs)
            return;
        QCoreApplication::processEvents();
        sinceLastPass.start();
    };
}

// Shows the busy pointer for its lifetime, so every way out of a scan restores the arrow.
class BusyPointer {
public:
    explicit BusyPointer(Form1& window) : window_(window) {
        window_.SetMousePointer(MousePointer::Busy);
    }
    ~BusyPointer() { window_.SetMousePointer(MousePointer::Default); }
    BusyPointer(const BusyPointer&) = delete;
    BusyPointer& operator=(const BusyPointer&) = delete;

private:
    Form1& window_;
};

} // namespace

void Form1::AddFiles() {
    if (conversionRunning())
        return;
    const QStringList chosen = services_.dialogs.openFiles(
        this, QStringLiteral("Add File(s) - Hold Ctrl to select multiple files"),
        QStringLiteral("GIF Files (*.gif)"));
    if (chosen.isEmpty())
        return;
    AddChosenFiles(chosen, *ListView1, [this](const QString& message) {
        services_.dialogs.message(this, message, MessageIcon::None, kAppTitle);
    });
}

void Form1::AddFolder() {
    if (conversionRunning())
        return;
    const QString extension =
        services_.dialogs.inputBox(this, kAddFolderPrompt, kAppTitle, kDefaultExtension);
    if (extension.isEmpty())
        return;
    const QString folder = BrowseForFolder(services_.dialogs, this, kBrowseTitle);
    if (folder.isEmpty() || conversionRunning())
        return;
    FolderScan scan(WindowEventPump(), [this] { return closing_; });
    qsizetype added = 0;
    {
        const BusyPointer busy(*this);
        const QScopedValueRollback<bool> adding(addingFiles_, true);
        scan.AddTree(folder, ExtensionPattern(extension), RootRepair::Repair,
                     [&](const QStringList& entries) {
                         ListView1->append(entries);
                         added += entries.size();
                     });
    }
    ReportScanOutcome(scan);
    if (added == 0 && scan.invalidNames().isEmpty() && !closing_)
        services_.dialogs.message(this, NoFilesFoundMessage(extension, folder),
                                  MessageIcon::Information, kAppTitle);
}

void Form1::ClearSelected() {
    if (conversionRunning())
        return;
    ListView1->removeSelected();
}

void Form1::ClearList() {
    if (conversionRunning())
        return;
    ListView1->clearEntries();
}

void Form1::connectFileListEvents() {
    ListView1->setDropsAllowed([this] { return !conversionRunning(); });
    connect(ListView1, &FileListView::mousePressed, this, &Form1::ListView1_MouseDown);
    connect(ListView1, &FileListView::mouseMoved, this, &Form1::ListView1_MouseMove);
    connect(ListView1, &FileListView::mouseReleased, this, &Form1::ListView1_MouseUp);
    connect(ListView1, &FileListView::deleteKeyPressed, this, &Form1::ListView1_KeyDown);
    connect(ListView1, &FileListView::listDoubleClicked, this, &Form1::ListView1_DblClick);
    connect(ListView1, &FileListView::moveSelectedRequested, this, [this](int step) {
        if (!conversionRunning())
            MoveSelectedEntries(*ListView1, step);
    });
    connect(ListView1, &FileListView::localFilesDropped, this, &Form1::ListView1_OLEDragDrop);
    connect(ListView1, &FileListView::entryAboutToBeRemoved, this,
            &Form1::ListView1_EntryAboutToBeRemoved);
}

void Form1::ListView1_MouseDown(const QPoint& position) {
    if (conversionRunning())
        return;
    // A press beside the entries starts no drag, so an entry clicked earlier is never moved.
    if (ListView1->hitTest(position) != 0)
        ListView1_ItemClick();
    else
        DragItem = 0;
    MouseIsDown = true;
}

void Form1::ListView1_ItemClick() {
    ListView1->setCursor(
        LoadDragPointer(services_.applicationFolder + QDir::separator() + kDragPointerFile));
    ListView1->setDragEnabled(false);
    DragItem = ListView1->currentEntry();
}

void Form1::ListView1_MouseMove(const QPoint& position, const QPoint& screenPosition) {
    if (!MouseIsDown || conversionRunning())
        return;
    const int target = ListView1->hitTest(position);
    if (target == 0 || DragItem == 0)
        return;
    // Also keeps two entries with the same path from trading places.
    if (ListView1->text(target) == ListView1->text(DragItem))
        return;
    ExchangeEntries(*ListView1, DragItem, target);
    DragItem = target;
    if (const int reveal = EntryToReveal(screenPosition.y(), target, ListView1->count()))
        ListView1->ensureEntryVisible(reveal);
}

void Form1::ListView1_MouseUp() {
    MouseIsDown = false;
    ListView1->unsetCursor(); // back to the window's own pointer, the arrow
}

void Form1::ListView1_KeyDown() {
    RemoveCurrentEntry();
}

void Form1::ListView1_DblClick() {
    RemoveCurrentEntry();
}

void Form1::RemoveCurrentEntry() {
    if (conversionRunning())
        return;
    if (const int current = ListView1->currentEntry())
        ListView1->remove(current);
}

void Form1::ListView1_EntryAboutToBeRemoved(int index) {
    if (index == 0 || index == DragItem)
        DragItem = 0;
    else if (index < DragItem)
        --DragItem; // the dragged row moves up with the rows after the removed one
}

void Form1::ListView1_OLEDragDrop(const DroppedFiles& dropped) {
    // Movies open in a preview each; the rest goes to the list.
    QStringList items;
    for (const QString& path : dropped.paths) {
        if (IsMovieFile(path))
            PreviewWindow::Open(path, services_.dialogs, this);
        else
            items.append(path);
    }
    if (conversionRunning() || (items.isEmpty() && dropped.invalidNames.isEmpty()))
        return;
    FolderScan scan(WindowEventPump(), [this] { return closing_; });
    {
        const QScopedValueRollback<bool> adding(addingFiles_, true);
        scan.AddDroppedItems(items,
                             [this](const QStringList& entries) { ListView1->append(entries); });
    }
    ReportScanOutcome(scan, dropped.invalidNames);
}

void Form1::ReportScanOutcome(const FolderScan& scan, const QStringList& invalidDropped) {
    // A window closed during the scan ends with the application, without a report.
    if (closing_)
        return;
    if (!scan.unreadable().isEmpty())
        services_.dialogs.message(this, UnreadableReport(scan.unreadable()),
                                  MessageIcon::Exclamation, kAppTitle);
    const QStringList invalidNames = invalidDropped + scan.invalidNames();
    if (!invalidNames.isEmpty())
        services_.dialogs.message(this, InvalidNamesReport(invalidNames), MessageIcon::Exclamation,
                                  kAppTitle);
}

} // namespace korvane
