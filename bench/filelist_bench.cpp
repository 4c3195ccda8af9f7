// Adds a folder tree of 100,000 files in 1,000 folders through the window's own AddFolder (the
// folder scan, the listing and the appends to the list, under the offscreen platform) and
// prints its time and peak memory beside the time `find` takes for the same tree in the same
// run. A 10 ms timer runs throughout to show that the window keeps servicing its events. Then
// it times ClearSelected with 100,000 selected entries: all of the list, and every other entry
// of a list of 200,000 (the goal is under a second for each).
//
//   filelist_bench [TREE]   (TREE is made when it does not exist; without an argument the tree
//                            is made in a temporary folder and removed at the end)
#include "Doubles.h"
#include "app/Form1.h"
#include "filelist/FileListView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QItemSelection>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

using namespace korvane;

namespace {

constexpr int kTopFolders = 10;
constexpr int kFoldersPerTop = 99; // 10 + 10 * 99 = 1,000 folders
constexpr int kFilesPerFolder = 100;

void MakeTree(const QString& root) {
    const auto fill = [](const QString& folder) {
        QDir().mkpath(folder);
        for (int i = 0; i < kFilesPerFolder; ++i) {
            // Every tenth name in capitals, as files copied from cameras often are.
            QFile file(folder + QStringLiteral("/image%1.%2")
                                    .arg(i, 3, 10, QLatin1Char('0'))
                                    .arg(i % 10 == 0 ? "GIF" : "gif"));
            if (file.open(QIODevice::WriteOnly))
                file.write("GIF89a");
        }
    };
    for (int top = 0; top < kTopFolders; ++top) {
        const QString topFolder = root + QStringLiteral("/set%1").arg(top);
        fill(topFolder);
        for (int sub = 0; sub < kFoldersPerTop; ++sub)
            fill(topFolder + QStringLiteral("/scene%1").arg(sub, 2, 10, QLatin1Char('0')));
    }
}

long PeakResidentKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Seconds ClearSelected takes on the window's list as it is.
double ClearSelectedSeconds(Form1& window) {
    QElapsedTimer timer;
    timer.start();
    window.ClearSelected();
    return timer.nsecsElapsed() / 1e9;
}

// Seconds `find TREE -type f -iname '*.gif'` takes, the best of three runs.
double FindSeconds(const QString& tree, int* found) {
    double best = 1e9;
    for (int run = 0; run < 3; ++run) {
        QProcess find;
        QElapsedTimer timer;
        timer.start();
        find.start(QStringLiteral("find"), {tree, "-type", "f", "-iname", "*.gif"});
        find.waitForFinished(-1);
        best = std::min(best, timer.nsecsElapsed() / 1e9);
        *found = find.readAllStandardOutput().count('\n');
    }
    return best;
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir temporary;
    QString tree = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path() + "/tree";
    if (!QFileInfo::exists(tree)) {
        std::printf("making %d files in %d folders under %s ...\n",
                    kTopFolders * (kFoldersPerTop + 1) * kFilesPerFolder,
                    kTopFolders * (kFoldersPerTop + 1), qPrintable(tree));
        MakeTree(tree);
    }

    int foundByFind = 0;
    FindSeconds(tree, &foundByFind); // both sides then read a warm cache
    const double findSeconds = FindSeconds(tree, &foundByFind);

    test::Doubles doubles;
    Form1 window({doubles.dialogs, doubles.shell, doubles.runner, doubles.chance,
                  QCoreApplication::applicationDirPath()});
    window.show();
    QCoreApplication::processEvents();
    const long rssBefore = PeakResidentKilobytes();

    int ticks = 0;
    qint64 longestGapNs = 0;
    QElapsedTimer sinceTick;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        longestGapNs = std::max(longestGapNs, sinceTick.nsecsElapsed());
        sinceTick.restart();
        ++ticks;
    });

    doubles.dialogs.inputAnswers.enqueue(QStringLiteral("gif"));
    doubles.dialogs.folderAnswers.enqueue(tree);
    timer.start();
    sinceTick.start();
    QElapsedTimer elapsed;
    elapsed.start();
    window.AddFolder();
    const double addSeconds = elapsed.nsecsElapsed() / 1e9;
    const qint64 tailNs = sinceTick.nsecsElapsed(); // the listing and appending do not yield
    timer.stop();
    const long rssAfter = PeakResidentKilobytes();

    std::printf("find -type f -iname '*.gif': %d files in %.3f s (best of 3, warm cache)\n",
                foundByFind, findSeconds);
    std::printf("AddFolder \"gif\":              %d entries in %.3f s = %.2f x find\n",
                window.ListView1->count(), addSeconds, addSeconds / findSeconds);
    std::printf("peak resident memory:        %.1f MB before, %.1f MB after (+%.1f MB)\n",
                rssBefore / 1024.0, rssAfter / 1024.0, (rssAfter - rssBefore) / 1024.0);
    std::printf("10 ms timer during AddFolder: fired %d times, longest gap %.0f ms during the "
                "folder scan, %.0f ms from the last tick to the end\n",
                ticks, longestGapNs / 1e6, tailNs / 1e6);
    const bool added = window.ListView1->count() == foundByFind;

    FileListView& list = *window.ListView1;
    list.selectAll();
    const int allSelected = list.count();
    const double allSeconds = ClearSelectedSeconds(window);
    const int leftAfterAll = list.count();
    QStringList texts;
    for (int i = 0; i < 2 * allSelected; ++i)
        texts.append(QStringLiteral("/pictures/%1.gif").arg(i));
    list.append(texts);
    QItemSelection everyOther;
    for (int i = 0; i < list.count(); i += 2) {
        const QModelIndex entry = list.model()->index(i, 0);
        everyOther.select(entry, entry);
    }
    list.selectionModel()->select(everyOther, QItemSelectionModel::Select);
    const double everyOtherSeconds = ClearSelectedSeconds(window);
    std::printf("ClearSelected, all %d entries selected:     %.3f s (%d left)\n", allSelected,
                allSeconds, leftAfterAll);
    std::printf("ClearSelected, every other of %d selected: %.3f s (%d left)\n", int(texts.size()),
                everyOtherSeconds, list.count());
    return added && leftAfterAll == 0 && list.count() == allSelected ? 0 : 1;
}
