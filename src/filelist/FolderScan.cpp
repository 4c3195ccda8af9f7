#include "FolderScan.h"

#include "FolderListing.h"
#include "util/PathHelpers.h"

#include <QDir>
#include <QElapsedTimer>

#include <QFileInfo>
#include <QStringBuilder>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>

namespace korvane {

namespace {

const QChar kSeparator = QDir::separator();
constexpr int kReportedPathsAtMost = 10;
// How often the list takes the entries found meanwhile, and how many it takes at once at most:
// as many waiting entries make it take them sooner, and one append stays short between two
// passes of the window's events.
constexpr qint64 kAppendEveryMs = 100;
constexpr qsizetype kEntriesPerAppend = 10000;
// How long the window's thread waits for the reader before it services the window's events.
constexpr int kWaitForReaderMs = 5;

// Items handed from one thread to another, first in, first out.
template <typename Item> class HandOff {
public:
    void put(Item item) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back(std::move(item));
        }
        changed_.notify_one();
    }
    void finish() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            finished_ = true;
        }
        changed_.notify_one();
    }
    // The next item, waiting up to `ms` for one; *finished is set once the giving side has
    // finished and every item has been taken.
    std::optional<Item> take(int ms, bool* finished) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, std::chrono::milliseconds(ms),
                          [this] { return !queue_.empty() || finished_; });
        std::optional<Item> item;
        if (!queue_.empty()) {
            item = std::move(queue_.front());
            queue_.pop_front();
        }
        *finished = finished_ && queue_.empty();
        return item;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Item> queue_;
    bool finished_ = false;
};

// The matching files of one folder, as listed.
struct FolderFiles {
    QString folder; // ending in the separator
    QStringList names;
};

QString JoinRealPath(const QString& realFolder, const QString& name) {
    return realFolder.endsWith(QLatin1Char('/')) ? realFolder + name
                                                 : realFolder + QLatin1Char('/') + name;
}

bool HasWildcard(QStringView text) {
    return text.contains(QLatin1Char('*')) || text.contains(QLatin1Char('?')) ||
           text.contains(QLatin1Char('['));
}

QString PathReport(const QString& head, const QStringList& paths) {
    QString text = head;
    for (const QString& path : paths.mid(0, kReportedPathsAtMost))
        text += QLatin1Char('\r') + path;
    if (paths.size() > kReportedPathsAtMost)
        text += QStringLiteral("\rand %1 more").arg(paths.size() - kReportedPathsAtMost);
    return text;
}

} // namespace

NamePattern::NamePattern(const QString& pattern) {
    if (pattern == QLatin1String("*.*") || pattern == QLatin1String("*")) {
        kind_ = Kind::Everything;
    } else if (pattern.startsWith(QLatin1Char('*')) && !HasWildcard(QStringView(pattern).mid(1))) {
        kind_ = Kind::Suffix; // the common case, "*.gif", without a regular expression
        suffix_ = pattern.mid(1);
    } else {
        kind_ = Kind::Wildcard;
        wildcard_ = QRegularExpression::fromWildcard(pattern, Qt::CaseInsensitive);
    }
}

bool NamePattern::matches(const QString& name) const {
    switch (kind_) {
    case Kind::Everything:
        return true;
    case Kind::Suffix:
        return name.endsWith(suffix_, Qt::CaseInsensitive);
    case Kind::Wildcard:
        return wildcard_.match(name).hasMatch();
    }
    return false;
}

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
    if (!unreadable_.contains(path))
        unreadable_.append(path);
}

QList<FolderScan::Folder> FolderScan::startingFolders(const QStringList& paths) {
    QList<Folder> folders;
    for (const QString& path : paths) {
        const QString realPath = QFileInfo(path).canonicalFilePath();
        if (!realPath.isEmpty())
            visited_.insert(realPath);
        folders.append({path, realPath});
    }
    return folders;
}

bool FolderScan::readFolder(const Folder& folder, const NamePattern* pattern,
                            const KeepGoing& keepGoing, QStringList& files,
                            QList<Folder>& subfolders) {
    QList<ListedEntry> entries;
    if (!ReadFolder(folder.path, entries))
        return false;
    QStringList folderNames;
    QStringList invalidNames;
    QSet<QString> linkNames;
    for (const ListedEntry& entry : entries) {
        if (!keepGoing())
            return true;
        if (!entry.isFolder) {
            if (!pattern || entry.name.startsWith(QLatin1Char('~')) ||
                !pattern->matches(entry.name))
                continue;
            if (entry.nameIsText)
                files.append(entry.name);
            else
                invalidNames.append(entry.name);
            continue;
        }
        if (!entry.nameIsText) {
            invalidNames.append(entry.name);
            continue;
        }
        folderNames.append(entry.name);
        if (entry.isLink)
            linkNames.insert(entry.name);
    }
    order_.sort(folderNames);
    order_.sort(invalidNames);
    for (const QString& name : invalidNames)
        invalidNames_.append(RepairRootSeparator(folder.path + name));
    for (const QString& name : folderNames) {
        const QString path = folder.path + name;
        const QString realPath = linkNames.contains(name) || folder.realPath.isEmpty()
                                     ? QFileInfo(path).canonicalFilePath()
                                     : JoinRealPath(folder.realPath, name);
        if (realPath.isEmpty() || visited_.contains(realPath))
            continue;
        visited_.insert(realPath);
        subfolders.append({path + kSeparator, realPath});
    }
    return true;
}

void FolderScan::walk(QList<Folder> start, bool recurse, const NamePattern* pattern,
                      const KeepGoing& keepGoing, const Visit& visit) {
    // A queue gives the levels one after another, each grouped by parent in the parents' order.
    QList<Folder> queue = std::move(start);
    for (qsizetype next = 0; next < queue.size(); ++next) {
        if (!keepGoing())
            return;
        const Folder folder = queue.at(next);
        QStringList files;
        QList<Folder> subfolders;
        if (!readFolder(folder, pattern, keepGoing, files, subfolders)) {
            noteUnreadable(folder.path.chopped(1));
            continue;
        }
        if (!keepGoing())
            return;
        visit(folder, files, subfolders);
        if (recurse)
            queue.append(subfolders);
    }
}

void FolderScan::CollectSubfolders(QStringList& folders, bool recurse) {
    walk(
        startingFolders(folders), recurse, nullptr, [this] { return service(); },
        [&](const Folder&, const QStringList&, const QList<Folder>& subfolders) {
            for (const Folder& subfolder : subfolders)
                folders.append(subfolder.path);
        });
}

void FolderScan::AddTree(const QString& folder, const QString& pattern, RootRepair repair,
                         const AppendEntries& append) {
    visited_.clear();
    const NamePattern names(pattern);
    // One thread reads the folders and another puts each folder's names in order, while this
    // one appends what has been found and keeps the window answering. Until the reader has
    // ended, it alone touches the scan's state.
    HandOff<FolderFiles> listed;
    HandOff<QStringList> found;
    std::atomic<bool> cancelled{false};
    const auto read = [&, start = startingFolders({folder + kSeparator})]() mutable {
        walk(
            std::move(start), true, &names, [&] { return !cancelled.load(); },
            [&](const Folder& folder, const QStringList& files, const QList<Folder>&) {
                if (!files.isEmpty())
                    listed.put({folder.path, files});
            });
        listed.finish();
    };
    const auto order = [&] {
        const NameOrder order; // a collator of its own: one is never shared between threads
        bool finished = false;
        while (!finished && !cancelled.load()) {
            std::optional<FolderFiles> files = listed.take(kWaitForReaderMs, &finished);
            if (!files)
                continue;
            order.sort(files->names);
            QStringList entries;
            entries.reserve(files->names.size());
            for (const QString& name : std::as_const(files->names)) {
                // Built at its exact size: the list keeps this very text.
                const QString entry = files->folder % name;
                entries.append(repair == RootRepair::Repair ? RepairRootSeparator(entry) : entry);
            }
            found.put(std::move(entries));
        }
        found.finish();
    };
    // However this function is left, the threads are told to stop and waited for.
    struct Threads {
        std::atomic<bool>& cancelled;
        std::thread reader;
        std::thread orderer;
        ~Threads() {
            cancelled = true;
            reader.join();
            orderer.join();
        }
    } threads{cancelled, std::thread(read), std::thread(order)};

    // The first entries show at once; after them the list takes what has been found every so
    // often. Every append makes the list lay out all its entries again at the next pass of the
    // window's events, so appending each folder on its own would cost time in the square of
    // the entries.
    QStringList pending;
    bool appendedAny = false;
    QElapsedTimer sinceAppend;
    bool finished = false;
    while ((!finished || !pending.isEmpty()) && service()) {
        if (!finished) {
            if (std::optional<QStringList> entries = found.take(kWaitForReaderMs, &finished))
                pending.append(std::move(*entries));
        }
        if (pending.isEmpty() || stopped() ||
            !(!appendedAny || finished || sinceAppend.hasExpired(kAppendEveryMs) ||
              pending.size() >= kEntriesPerAppend))
            continue;
        // A folder of very many files goes to the list in several appends, with the window's
        // events serviced between them.
        const qsizetype count = std::min(pending.size(), kEntriesPerAppend);
        append(pending.first(count));
        pending.remove(0, count);
        appendedAny = true;
        sinceAppend.start();
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

QString BareExtension(const QString& extension) {
    if (extension.startsWith(QLatin1String("*.")))
        return extension.mid(2);
    if (extension.startsWith(QLatin1Char('.')))
        return extension.mid(1);
    return extension;
}

QString ExtensionPattern(const QString& extension) {
    return QStringLiteral("*.") + BareExtension(extension);
}

QString NoFilesFoundMessage(const QString& extension, const QString& folder) {
    return QStringLiteral("No .%1 files were found in %2.")
        .arg(BareExtension(extension), QDir::toNativeSeparators(folder));
}

QString UnreadableReport(const QStringList& paths) {
    return PathReport(QStringLiteral("These folders or files could not be read and were left out:"),
                      paths);
}

QString InvalidNamesReport(const QStringList& paths) {
    return PathReport(QStringLiteral("These files could not be added, because their names are "
                                     "not valid text:"),
                      paths);
}

} // namespace korvane
