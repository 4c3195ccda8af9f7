#pragma once

#include "util/NameOrder.h"

#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <functional>

// Turning folder trees and dropped items into file-list entries.
namespace korvane {

// Receives the entries a few at a time (never more than one folder's), so they reach the list
// while the scan goes on and stay there whatever happens later.
using AppendEntries = std::function<void(const QStringList& entries)>;

enum class RootRepair { Repair, Keep };

// A file-name wildcard ("*.gif", "*.*", "a?.t[xy]t") matched without regard to letter case;
// "*.*" matches every name, dotted or not, as it does on Windows.
class NamePattern {
public:
    explicit NamePattern(const QString& pattern);
    bool matches(const QString& name) const;

private:
    enum class Kind { Everything, Suffix, Wildcard };
    Kind kind_ = Kind::Everything;
    QString suffix_;
    QRegularExpression wildcard_;
};

// One scan of folder trees. It follows links to folders but lists each real folder of a tree
// once, so a link cycle ends. AddTree reads the folders and orders the names on threads of their
// own and appends on the calling one. Folders and dropped items that cannot be read, and names
// that are not valid text, are passed over and remembered for a report at the end.
class FolderScan {
public:
    // serviceEvents runs at least every few milliseconds (at every listed entry when subfolders
    // are collected), so the window keeps painting and answering during a long scan.
    // stopRequested is asked after each of those and before each append: once it answers true
    // the scan ends there and appends nothing more.
    explicit FolderScan(std::function<void()> serviceEvents = {},
                        std::function<bool()> stopRequested = {});

    // Extends `folders` (each ending in the separator) with the folders beneath them: all
    // folders one level down, then two levels down and so on (breadth first); within a level
    // grouped by parent in the parents' order, each group in the order a file manager shows
    // names (NameOrder). Only one level when recurse is false.
    void CollectSubfolders(QStringList& folders, bool recurse);

    // Appends every file matching `pattern` in the tree of `folder`, folder by folder in the
    // order above and each folder's files in NameOrder, each as folder + separator + name;
    // names beginning with "~" are left out. RootRepair::Repair mends the doubled separator
    // after a root.
    void AddTree(const QString& folder, const QString& pattern, RootRepair repair,
                 const AppendEntries& append);

    // Appends the dropped items in their order: a folder contributes every file of its tree
    // (no extension test, no root repair), anything else is appended exactly as dropped.
    void AddDroppedItems(const QStringList& items, const AppendEntries& append);

    // What could not be read, each path once, in the order met.
    const QStringList& unreadable() const { return unreadable_; }
    // Files (matching the pattern) and folders whose names are not valid text, each shown with
    // its undecodable bytes as \xNN, in the order met.
    const QStringList& invalidNames() const { return invalidNames_; }

private:
    struct Folder {
        QString path;     // as it is listed, ending in the separator
        QString realPath; // with links resolved; tells a folder reached twice
    };
    // Visits the folders breadth first from `start`, giving each one's matching file names
    // (none when `files` is null; in listing order) and its subfolders (in NameOrder). keepGoing is
    // asked at every folder and entry; the walk ends once it answers false.
    using Visit = std::function<void(const Folder& folder, const QStringList& files,
                                     const QList<Folder>& subfolders)>;
    using KeepGoing = std::function<bool()>;
    void walk(QList<Folder> start, bool recurse, const NamePattern* files,
              const KeepGoing& keepGoing, const Visit& visit);
    bool readFolder(const Folder& folder, const NamePattern* pattern, const KeepGoing& keepGoing,
                    QStringList& files, QList<Folder>& subfolders);
    QList<Folder> startingFolders(const QStringList& paths);
    void noteUnreadable(const QString& path);
    // Services the window's events; false once the scan is to stop.
    bool service();
    bool stopped();

    std::function<void()> serviceEvents_;
    std::function<bool()> stopRequested_;
    bool stopped_ = false;
    QSet<QString> visited_;
    QStringList unreadable_;
    QStringList invalidNames_;
    NameOrder order_;
};

// The file pattern for an extension as people type it: "gif", ".gif" and "*.gif" all give
// "*.gif"; "*" gives "*.*".
QString ExtensionPattern(const QString& extension);

// The extension as the user meant it, without a leading "*." or ".".
QString BareExtension(const QString& extension);

// The message for an Add Folder that found nothing: the extension as given, the folder native.
QString NoFilesFoundMessage(const QString& extension, const QString& folder);

// The one message about what could not be read: at most ten paths, then how many more.
QString UnreadableReport(const QStringList& paths);

// The one message about names that are not valid text, in the same form.
QString InvalidNamesReport(const QStringList& paths);

} // namespace korvane
