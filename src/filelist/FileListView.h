#pragma once

#include "FileDrop.h"

#include <QTreeWidget>

#include <functional>

// The ordered list of input files: one column, entries numbered 1 to count() in display order,
// each holding only the full path of one file. Duplicates are allowed; the list is never sorted.
namespace korvane {

class FileListView : public QTreeWidget {
    Q_OBJECT
public:
    explicit FileListView(QWidget* parent = nullptr);

    void append(const QString& text);
    void append(const QStringList& texts);
    int count() const;
    QString text(int index) const;
    void setText(int index, const QString& text);
    void remove(int index);
    // Removes every selected entry in one change of the list, however many there are; each is
    // announced as remove() announces it, the last one first. The current entry stays current
    // when it is kept.
    void removeSelected();
    void clearEntries();
    bool isEntrySelected(int index) const;
    void selectEntry(int index, bool selected = true);
    // The entry the list reports as current, or 0 when there is none.
    int currentEntry() const;
    // The entry under a point in the list's viewport coordinates, or 0.
    int hitTest(const QPoint& viewportPos) const;
    void ensureEntryVisible(int index);
    // The texts of all entries in display order.
    QStringList texts() const;

    // The header's one column, with its caption; the list starts without one. The column fills
    // the list's width.
    void createColumn(const QString& caption);
    bool hasColumn() const { return hasColumn_; }

    // Asked while local files are dragged over the list and when they are dropped; a drag is
    // refused while it answers false. Drops are taken when none is set.
    void setDropsAllowed(std::function<bool()> allowed);

Q_SIGNALS:
    // Emitted before entry `index` is removed, and with 0 before the list is cleared.
    void entryAboutToBeRemoved(int index);

    // The list's own mouse and key notifications, positions in the viewport's coordinates. A
    // press of any button arrives after the list has made the entry under it current.
    void mousePressed(const QPoint& position);
    void mouseMoved(const QPoint& position, const QPoint& screenPosition);
    void mouseReleased();
    void listDoubleClicked();
    void deleteKeyPressed();
    // Alt+Up (-1) or Alt+Down (1): the selected entries are to move by one.
    void moveSelectedRequested(int step);
    // Local files and folders dropped on the list, in the dropped order.
    void localFilesDropped(const korvane::DroppedFiles& dropped);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // Accepts a drag of local files, with a copy where the source offers one: the list only
    // refers to the files, so the source must never take them as moved.
    bool acceptFileDrag(QDropEvent* event);

    bool hasColumn_ = false;
    std::function<bool()> dropsAllowed_;
};

} // namespace korvane
