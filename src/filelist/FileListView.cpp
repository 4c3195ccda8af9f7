#include "FileListView.h"

#include "FileDrop.h"

#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

namespace korvane {

namespace {

// An entry of the list. It keeps its one text itself: a plain item keeps each column's data in
// two lists of variants, which costs more than the text when there are 100,000 entries.
class EntryItem : public QTreeWidgetItem {
public:
    explicit EntryItem(const QString& text) : QTreeWidgetItem(UserType), text_(text) {}
    QVariant data(int column, int role) const override {
        // The full path is also the entry's tooltip: the column may show it elided.
        if (column == 0 &&
            (role == Qt::DisplayRole || role == Qt::EditRole || role == Qt::ToolTipRole))
            return text_;
        return QTreeWidgetItem::data(column, role);
    }
    void setData(int column, int role, const QVariant& value) override {
        if (column != 0 || (role != Qt::DisplayRole && role != Qt::EditRole)) {
            QTreeWidgetItem::setData(column, role, value);
            return;
        }
        const QString text = value.toString();
        if (text == text_)
            return;
        text_ = text;
        emitDataChanged();
    }
    QTreeWidgetItem* clone() const override { return new EntryItem(*this); }

private:
    QString text_;
};

} // namespace

FileListView::FileListView(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true); // keeps a list of thousands of entries fast
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setDragEnabled(false); // entries are reordered by the window's own press/move/release
    setAcceptDrops(true);  // files and folders from the file manager
    viewport()->setAcceptDrops(true);
    setColumnCount(1);
    // Deep paths lose their middle, never the file name at their end.
    setTextElideMode(Qt::ElideMiddle);
    header()->setStretchLastSection(true);
    headerItem()->setText(0, QString());
}

void FileListView::append(const QString& text) {
    addTopLevelItem(new EntryItem(text));
}

void FileListView::append(const QStringList& texts) {
    QList<QTreeWidgetItem*> items;
    items.reserve(texts.size());
    for (const QString& text : texts)
        items.append(new EntryItem(text));
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

void FileListView::removeSelected() {
    QList<bool> selected(count());
    for (int i = 0; i < count(); ++i)
        selected[i] = topLevelItem(i)->isSelected();
    if (!selected.contains(true))
        return;
    for (int i = count(); i >= 1; --i) {
        if (selected[i - 1])
            Q_EMIT entryAboutToBeRemoved(i);
    }
    // Taking the entries out one by one would shift the rows after each of them.
    const int current = currentEntry() - 1;
    const QList<QTreeWidgetItem*> taken = invisibleRootItem()->takeChildren();
    QList<QTreeWidgetItem*> kept;
    kept.reserve(taken.size());
    for (qsizetype i = 0; i < taken.size(); ++i) {
        if (selected[i])
            delete taken[i];
        else
            kept.append(taken[i]);
    }
    addTopLevelItems(kept);
    if (current >= 0 && !selected[current])
        setCurrentItem(taken[current], 0, QItemSelectionModel::NoUpdate);
}

void FileListView::clearEntries() {
    Q_EMIT entryAboutToBeRemoved(0);
    clear();
}

bool FileListView::isEntrySelected(int index) const {
    const QTreeWidgetItem* item = topLevelItem(index - 1);
    return item && item->isSelected();
}

void FileListView::selectEntry(int index, bool selected) {
    if (QTreeWidgetItem* item = topLevelItem(index - 1))
        item->setSelected(selected);
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

void FileListView::createColumn(const QString& caption) {
    headerItem()->setText(0, caption);
    hasColumn_ = true;
}

void FileListView::setDropsAllowed(std::function<bool()> allowed) {
    dropsAllowed_ = std::move(allowed);
}

void FileListView::mousePressEvent(QMouseEvent* event) {
    QTreeWidget::mousePressEvent(event);
    Q_EMIT mousePressed(event->position().toPoint());
}

void FileListView::mouseMoveEvent(QMouseEvent* event) {
    // With a button held the move belongs to the reordering drag; the view's own drag
    // selection would select every row the pointer passes.
    if (event->buttons() == Qt::NoButton)
        QTreeWidget::mouseMoveEvent(event);
    Q_EMIT mouseMoved(event->position().toPoint(), event->globalPosition().toPoint());
}

void FileListView::mouseReleaseEvent(QMouseEvent* event) {
    QTreeWidget::mouseReleaseEvent(event);
    Q_EMIT mouseReleased();
}

void FileListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeWidget::mouseDoubleClickEvent(event);
    Q_EMIT listDoubleClicked();
}

void FileListView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete) {
        event->accept();
        Q_EMIT deleteKeyPressed();
        return;
    }
    const bool alt = (event->modifiers() & ~Qt::KeypadModifier) == Qt::AltModifier;
    if (alt && (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)) {
        event->accept();
        Q_EMIT moveSelectedRequested(event->key() == Qt::Key_Up ? -1 : 1);
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

bool FileListView::acceptFileDrag(QDropEvent* event) {
    if (!DroppedLocalFiles(*event->mimeData()) || (dropsAllowed_ && !dropsAllowed_())) {
        event->ignore();
        return false;
    }
    if (event->possibleActions() & Qt::CopyAction)
        event->setDropAction(Qt::CopyAction);
    else
        event->setDropAction(event->proposedAction());
    event->accept();
    return true;
}

void FileListView::dragEnterEvent(QDragEnterEvent* event) {
    acceptFileDrag(event);
}

void FileListView::dragMoveEvent(QDragMoveEvent* event) {
    acceptFileDrag(event);
}

void FileListView::dragLeaveEvent(QDragLeaveEvent* event) {
    event->accept();
}

void FileListView::dropEvent(QDropEvent* event) {
    if (!acceptFileDrag(event))
        return;
    // The drop position does not matter: entries are always appended at the end.
    Q_EMIT localFilesDropped(*DroppedLocalFiles(*event->mimeData()));
}

} // namespace korvane
