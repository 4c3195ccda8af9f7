#include "Reordering.h"

#include "FileListView.h"

#include <QPixmap>

namespace korvane {

int EntryToReveal(int screenY, int position, int count) {
    if (screenY < kScrollUpBelowY && position > 1)
        return position - 1;
    if (screenY >= kScrollDownFromY && position + 1 <= count)
        return position + 1;
    return 0;
}

void ExchangeEntries(FileListView& list, int dragged, int target) {
    const QString draggedText = list.text(dragged);
    const bool draggedSelected = list.isEntrySelected(dragged);
    list.setText(dragged, list.text(target));
    list.selectEntry(dragged, list.isEntrySelected(target));
    list.setText(target, draggedText);
    list.selectEntry(target, draggedSelected);
    // The dragged entry stays the one Delete and a double click act on.
    list.setCurrentItem(list.topLevelItem(target - 1), 0, QItemSelectionModel::NoUpdate);
}

void MoveSelectedEntries(FileListView& list, int step) {
    const int count = list.count();
    const int current = list.currentEntry();
    int newCurrent = current;
    // Walking from the end the entries move towards, a block of selected entries moves whole.
    const int first = step < 0 ? 2 : count - 1;
    for (int entry = first; entry >= 1 && entry <= count; entry -= step) {
        const int neighbour = entry + step;
        if (!list.isEntrySelected(entry) || list.isEntrySelected(neighbour))
            continue;
        ExchangeEntries(list, entry, neighbour);
        if (newCurrent == entry)
            newCurrent = neighbour;
        else if (newCurrent == neighbour)
            newCurrent = entry;
    }
    if (newCurrent > 0) {
        list.setCurrentItem(list.topLevelItem(newCurrent - 1), 0, QItemSelectionModel::NoUpdate);
        list.ensureEntryVisible(newCurrent);
    }
}

QCursor LoadDragPointer(const QString& iconPath) {
    const QPixmap image(iconPath);
    if (image.isNull())
        return QCursor(Qt::DragMoveCursor);
    // An icon file carries no hot spot; the drag pointer is drawn around its centre.
    return QCursor(image, image.width() / 2, image.height() / 2);
}

} // namespace korvane
