#pragma once

#include <QTreeWidget>

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
    void clearEntries();
    bool isEntrySelected(int index) const;
    void selectEntry(int index);
    // The entry the list reports as current, or 0 when there is none.
    int currentEntry() const;
    // The entry under a point in the list's viewport coordinates, or 0.
    int hitTest(const QPoint& viewportPos) const;
    void ensureEntryVisible(int index);
    // The texts of all entries in display order.
    QStringList texts() const;

    // The header's one column, with its caption; the list starts without one.
    void createColumn(const QString& caption, int widthPixels);
    bool hasColumn() const { return hasColumn_; }

Q_SIGNALS:
    // Emitted before entry `index` is removed, and with 0 before the list is cleared.
    void entryAboutToBeRemoved(int index);

private:
    bool hasColumn_ = false;
};

} // namespace korvane
