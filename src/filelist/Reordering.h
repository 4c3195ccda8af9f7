#pragma once

#include <QCursor>
#include <QString>

// The in-list drag that reorders entries: the exchange of two entries and the scrolling that
// goes with it.
namespace korvane {

class FileListView;

// Rows of the screen that scroll the list during a drag: above kScrollUpBelowY the entry above
// the new position is revealed, from kScrollDownFromY on the entry below it. Screen pixels from
// the top of the screen, wherever the window stands.
inline constexpr int kScrollUpBelowY = 305;
inline constexpr int kScrollDownFromY = 365;

// The entry to scroll into view after an exchange that left the dragged entry at `position` of
// `count` entries, with the pointer at screen row screenY; 0 for none.
int EntryToReveal(int screenY, int position, int count);

// Gives entry `dragged` the text and the selected state of entry `target` and the other way
// round, then makes the target's row the current entry: each entry keeps its own selection.
void ExchangeEntries(FileListView& list, int dragged, int target);

// Alt+Up (step -1) and Alt+Down (1): each selected entry with an unselected neighbour on that
// side trades places with it, as a drag would exchange them; a selected entry already at the
// end of the list holds the ones behind it. The current entry moves with its text.
void MoveSelectedEntries(FileListView& list, int step);

// The pointer shown while an entry is dragged, read from an icon file each time; a stock drag
// pointer when the file is missing or unreadable.
QCursor LoadDragPointer(const QString& iconPath);

} // namespace korvane
