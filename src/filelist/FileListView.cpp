#include "FileListView.h"

#include <QHeaderView>

namespace korvane {

FileListView::FileListView(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true); // keeps a list of thousands of entries fast
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setDragEnabled(false); // entries are reordered by the window's own press/move/release
    setColumnCount(1);
    header()->setStretchLastSection(false);
    headerItem()->setText(0, QString());
}

void FileListView::append(const QString& text) {
    auto* item = new QTreeWidgetItem;
    item->setText(0, text);
    addTopLevelItem(item);
}

void FileListView::append(const QStringList& texts) {
    QList<QTreeWidgetItem*> items;
    items.reserve(texts.size());
    for (const QString& text : texts) {
        auto* item = new QTreeWidgetItem;
        item->setText(0, text);
        items.append(item);
    }
    addTopLevelItems(items);
}

int FileListView::count() const {
    return topLevelItemCount();
}

QString FileListView::text(int index) const {
    const QTreeWidgetItem* item = topLevelItem(index - 1);
    return item ? item->text(0) : QString();
}

void FileListView::setText(int index, const QString& text) {
    if (QTreeWidgetItem* item = topLevelItem(index - 1))
        item->setText(0, text);
}

void FileListView::remove(int index) {
    if (index < 1 || index > count())
        return;
    Q_EMIT entryAboutToBeRemoved(index);
    delete takeTopLevelItem(index - 1);
}

void FileListView::clearEntries() {
    Q_EMIT entryAboutToBeRemoved(0);
    clear();
}

bool FileListView::isEntrySelected(int index) const {
    const QTreeWidgetItem* item = topLevelItem(index - 1);
    return item && item->isSelected();
}

void FileListView::selectEntry(int index) {
    if (QTreeWidgetItem* item = topLevelItem(index - 1))
        item->setSelected(true);
}

int FileListView::currentEntry() const {
    QTreeWidgetItem* item = currentItem();
    return item ? indexOfTopLevelItem(item) + 1 : 0;
}

int FileListView::hitTest(const QPoint& viewportPos) const {
    QTreeWidgetItem* item = itemAt(viewportPos);
    return item ? indexOfTopLevelItem(item) + 1 : 0;
}

void FileListView::ensureEntryVisible(int index) {
    if (QTreeWidgetItem* item = topLevelItem(index - 1))
        scrollToItem(item);
}

QStringList FileListView::texts() const {
    QStringList all;
    all.reserve(count());
    for (int i = 0; i < count(); ++i)
        all.append(topLevelItem(i)->text(0));
    return all;
}

void FileListView::createColumn(const QString& caption, int widthPixels) {
    headerItem()->setText(0, caption);
    setColumnWidth(0, widthPixels);
    hasColumn_ = true;
}

} // namespace korvane
