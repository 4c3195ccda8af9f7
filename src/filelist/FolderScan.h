#pragma once

#include <QSet>
#include <QStringList>

#include <functional>

// Turning folder trees and dropped items into file-list entries.
namespace korvane {

// Receives the entries one folder (or one run of dropped files) at a time, so they reach the
// list while the scan goes on and stay there whatever happens later.
using AppendEntries = std::function<void(const QStringList& entries)>;

enum class RootRepair { Repair, Keep };

// One scan of folder trees. It follows links to folders but lists each real folder of a tree
// once, so a link cycle ends; folders and dropped items that cannot be read are passed over and
// remembered for one report at the end.
class FolderScan {
public:
    // serviceEvents runs at every listing, every listed entry and every folder found, so the
    // window keeps painting and answering during a long scan. stopRequested is asked after each
    // of those and before each append: once it answers true the scan ends there, appends nothing
    // more and notes nothing more.
    explicit FolderScan(std::function<void()> serviceEvents = {},
                        std::function<bool()> stopRequested = {});

    // Extends `folders` (each ending in the separator) with the folders beneath them: all
    // folders one level down, then two levels down and so on (breadth first); within a level
    // grouped by parent in the parents' order, each group in listing order. Only one level when
    // recurse is false. On Windows, folders whose listed name contains "?" (a character the
    // listing could not show) are left out with their trees.
    void CollectSubfolders(QStringList& folders, bool recurse);

    // Appends every file matching `pattern` (see ListFiles) in the tree of `folder`, folder by
    // folder in the order above, each as folder + separator + name; names beginning with "~"
    // are left out. RootRepair::Repair mends the doubled separator after a root.
    void AddTree(const QString& folder, const QString& pattern, RootRepair repair,
                 const AppendEntries& append);

    // Appends the dropped items in their order: a folder contributes every file of its tree
    // (no extension test, no root repair), anything else is appended exactly as dropped.
    void AddDroppedItems(const QStringList& items, const AppendEntries& append);

    // What could not be read, each path once, in the order met.
    const QStringList& unreadable() const { return unreadable_; }

private:
    struct Folder {
        QString path;     // as it is listed, ending in the separator
        QString realPath; // with links resolved; tells a folder reached twice
    };
    void listSubfolders(const Folder& folder, QList<Folder>& found);
    void noteUnreadable(const QString& path);
    // Services the window's events; false once the scan is to stop.
    bool service();
    bool stopped();

    std::function<void()> serviceEvents_;
    std::function<bool()> stopRequested_;
    bool stopped_ = false;
    QSet<QString> visited_;
    QStringList unreadable_;
};

// The file pattern for an extension typed by the user, used exactly as typed: "*." + extension.
QString ExtensionPattern(const QString& extension);

// The one message about what could not be read: at most ten paths, then how many more.
QString UnreadableReport(const QStringList& paths);

} // namespace korvane
