#include "FolderScan.h"

#include "util/PathHelpers.h"

#include <QDir>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#else
#include <QDirIterator>
#endif

namespace korvane {

namespace {

const QChar kSeparator = QDir::separator();
constexpr int kReportedPathsAtMost = 10;

struct ListedEntry {
    QString name;
    bool isFolder = false; // links are followed to tell
    bool isLink = false;
};

// Calls visit for every entry of `folder` (which ends in the separator) but "." and "..", in
// the order the file system yields them, until it answers false. An entry whose type cannot be
// read is not a folder. False when the folder cannot be opened.
bool ForEachEntry(const QString& folder, const std::function<bool(const ListedEntry&)>& visit) {
#ifdef Q_OS_UNIX
    // readdir gives each entry's type without a stat call for ordinary files and folders, and
    // opendir tells a folder that cannot be read from an empty one.
    DIR* dir = opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return false;
    while (const dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        ListedEntry listed{QFile::decodeName(name)};
        unsigned char type = entry->d_type;
        struct stat status;
        if (type == DT_UNKNOWN && fstatat(dirfd(dir), name, &status, AT_SYMLINK_NOFOLLOW) == 0)
            type = S_ISLNK(status.st_mode) ? DT_LNK : S_ISDIR(status.st_mode) ? DT_DIR : DT_REG;
        listed.isLink = type == DT_LNK;
        listed.isFolder =
            type == DT_DIR || (type == DT_LNK && fstatat(dirfd(dir), name, &status, 0) == 0 &&
                               S_ISDIR(status.st_mode));
        if (!visit(listed))
            break;
    }
    closedir(dir);
    return true;
#else
    const QFileInfo self(folder);
    if (!self.isDir() || !self.isReadable())
        return false;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (!visit({info.fileName(), info.isDir(), info.isSymLink() || info.isJunction()}))
            break;
    }
    return true;
#endif
}

// Windows listings put a "?" where a character of a name cannot be shown; such a folder cannot
// be opened by that name. Elsewhere "?" is an ordinary character of a name.
bool IsUnrepresentedName(const QString& name) {
#ifdef Q_OS_WIN
    return name.contains(QLatin1Char('?'));
#else
    Q_UNUSED(name);
    return false;
#endif
}

QString JoinRealPath(const QString& realFolder, const QString& name) {
    return realFolder.endsWith(QLatin1Char('/')) ? realFolder + name
                                                 : realFolder + QLatin1Char('/') + name;
}

} // namespace

FolderScan::FolderScan(std::function<void()> serviceEvents, std::function<bool()> stopRequested)
    : serviceEvents_(std::move(serviceEvents)), stopRequested_(std::move(stopRequested)) {}

bool FolderScan::stopped() {
    if (!stopped_ && stopRequested_)
        stopped_ = stopRequested_();
    return stopped_;
}

bool FolderScan::service() {
    if (stopped())
        return false;
    if (serviceEvents_)
        serviceEvents_();
    return !stopped();
}

void FolderScan::noteUnreadable(const QString& path) {
    if (!stopped() && !unreadable_.contains(path))
        unreadable_.append(path);
}

void FolderScan::CollectSubfolders(QStringList& folders, bool recurse) {
    QList<Folder> level;
    for (const QString& path : folders) {
        const QString realPath = QFileInfo(path).canonicalFilePath();
        if (!realPath.isEmpty())
            visited_.insert(realPath);
        level.append({path, realPath});
    }
    while (!level.isEmpty()) {
        QList<Folder> found;
        for (const Folder& folder : level)
            listSubfolders(folder, found);
        for (const Folder& folder : found) {
            if (!service())
                return;
            folders.append(folder.path);
        }
        if (!recurse)
            break;
        level = std::move(found);
    }
}

void FolderScan::listSubfolders(const Folder& folder, QList<Folder>& found) {
    if (!service())
        return;
    const bool listed = ForEachEntry(folder.path, [&](const ListedEntry& entry) {
        if (!service())
            return false;
        if (!entry.isFolder || IsUnrepresentedName(entry.name))
            return true;
        const QString path = folder.path + entry.name;
        const QString realPath = entry.isLink || folder.realPath.isEmpty()
                                     ? QFileInfo(path).canonicalFilePath()
                                     : JoinRealPath(folder.realPath, entry.name);
        if (realPath.isEmpty() || visited_.contains(realPath))
            return true;
        visited_.insert(realPath);
        found.append({path + kSeparator, realPath});
        return true;
    });
    if (!listed)
        noteUnreadable(folder.path.chopped(1));
}

void FolderScan::AddTree(const QString& folder, const QString& pattern, RootRepair repair,
                         const AppendEntries& append) {
    QStringList folders{folder + kSeparator};
    visited_.clear();
    CollectSubfolders(folders, true);
    for (QString path : folders) {
        if (stopped())
            return;
        path.chop(1);
        bool readable = true;
        const QStringList names = ListFiles(path, pattern, &readable);
        if (!readable) {
            noteUnreadable(path);
            continue;
        }
        QStringList entries;
        entries.reserve(names.size());
        for (const QString& name : names) {
            if (name.startsWith(QLatin1Char('~')))
                continue;
            const QString entry = path + kSeparator + name;
            entries.append(repair == RootRepair::Repair ? RepairRootSeparator(entry) : entry);
        }
        if (!entries.isEmpty())
            append(entries);
    }
}

void FolderScan::AddDroppedItems(const QStringList& items, const AppendEntries& append) {
    QStringList files; // consecutive dropped files go to the list together
    const auto appendFiles = [&] {
        if (!files.isEmpty() && !stopped())
            append(files);
        files.clear();
    };
    for (const QString& item : items) {
        if (stopped())
            return;
        const QFileInfo info(item);
        if (info.isDir()) {
            appendFiles();
            AddTree(item, QStringLiteral("*.*"), RootRepair::Keep, append);
        } else if (info.exists() || info.isSymLink()) {
            files.append(item);
        } else {
            noteUnreadable(item);
        }
    }
    appendFiles();
}

QString ExtensionPattern(const QString& extension) {
    return QStringLiteral("*.") + extension;
}

QString UnreadableReport(const QStringList& paths) {
    QString text = QStringLiteral("These folders or files could not be read and were left out:");
    for (const QString& path : paths.mid(0, kReportedPathsAtMost))
        text += QLatin1Char('\r') + path;
    if (paths.size() > kReportedPathsAtMost)
        text += QStringLiteral("\rand %1 more").arg(paths.size() - kReportedPathsAtMost);
    return text;
}

} // namespace korvane
