// Adds a folder tree of 100,000 files in 1,000 folders through the window's own AddFolder (the
// folder scan, the listing and the appends to the list, under the offscreen platform) and
// prints its time and memory beside the time `find` takes for the same tree, the two measured
// in turn, best of five each. A 10 ms timer runs throughout: the longest time between two of
// its ticks, the stretch after the last tick included, is the longest the window went without
// servicing its events. Then it times ClearSelected with 100,000 selected entries: all of the
// list, and every other entry of a list of 200,000.
//
// Last, the same AddFolder over 30,000 files in a real X window (Xvfb) with a screen reader's
// stand-in (atspi_listener.py) registered on the accessibility bus, with Qt's accessibility
// bridge off and on.
//
//   filelist_bench [TREE]   (TREE is made when it does not exist; without an argument the tree
//                            is made in a temporary folder and removed at the end)
#include "Doubles.h"
#include "app/Form1.h"
#include "filelist/FileListView.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QItemSelection>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace korvane;

namespace {

constexpr int kFoldersPerTop = 99; // 10 + 10 * 99 = 1,000 folders for ten top folders
constexpr int kFilesPerFolder = 100;
constexpr int kRuns = 5;

void MakeTree(const QString& root, int topFolders) {
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
    for (int top = 0; top < topFolders; ++top) {
        const QString topFolder = root + QStringLiteral("/set%1").arg(top);
        fill(topFolder);
        for (int sub = 0; sub < kFoldersPerTop; ++sub)
            fill(topFolder + QStringLiteral("/scene%1").arg(sub, 2, 10, QLatin1Char('0')));
    }
}

void EnsureTree(const QString& root, int topFolders) {
    if (QFileInfo::exists(root))
        return;
    std::printf("making %d files in %d folders under %s ...\n",
                topFolders * (kFoldersPerTop + 1) * kFilesPerFolder,
                topFolders * (kFoldersPerTop + 1), qPrintable(root));
    MakeTree(root, topFolders);
}

long PeakResidentKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Bytes the allocator has handed out and not taken back, on all threads.
double HeapInUseMegabytes() {
    return mallinfo2().uordblks / (1024.0 * 1024.0);
}

long ResidentKilobytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

// Processor seconds (user and system) of this process's threads, or of its ended children.
double ProcessorSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Seconds ClearSelected takes on the window's list as it is.
double ClearSelectedSeconds(Form1& window) {
    QElapsedTimer timer;
    timer.start();
    window.ClearSelected();
    return timer.nsecsElapsed() / 1e9;
}

// Seconds `find TREE -type f -iname '*.gif'` takes.
double FindSeconds(const QString& tree, int* found, double* processorSeconds) {
    const double processorBefore = ProcessorSeconds(RUSAGE_CHILDREN);
    QProcess find;
    QElapsedTimer timer;
    timer.start();
    find.start(QStringLiteral("find"), {tree, "-type", "f", "-iname", "*.gif"});
    find.waitForFinished(-1);
    const double seconds = timer.nsecsElapsed() / 1e9;
    *found = find.readAllStandardOutput().count('\n');
    *processorSeconds = ProcessorSeconds(RUSAGE_CHILDREN) - processorBefore;
    return seconds;
}

struct AddOutcome {
    double seconds = 0;
    double processorSeconds = 0; // of all the threads
    qint64 longestGapNs = 0; // between two ticks of a 10 ms timer, the stretch after the last too
    int entries = 0;
};

// AddFolder "gif" over the tree in the window, with a 10 ms timer ticking throughout.
AddOutcome AddFolderTimed(Form1& window, test::Doubles& doubles, const QString& tree) {
    AddOutcome outcome;
    QElapsedTimer sinceTick;
    QTimer timer;
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        outcome.longestGapNs = std::max(outcome.longestGapNs, sinceTick.nsecsElapsed());
        sinceTick.restart();
    });
    doubles.dialogs.inputAnswers.enqueue(QStringLiteral("gif"));
    doubles.dialogs.folderAnswers.enqueue(tree);
    timer.start();
    sinceTick.start();
    QElapsedTimer elapsed;
    const double processorBefore = ProcessorSeconds(RUSAGE_SELF);
    elapsed.start();
    window.AddFolder();
    outcome.seconds = elapsed.nsecsElapsed() / 1e9;
    outcome.processorSeconds = ProcessorSeconds(RUSAGE_SELF) - processorBefore;
    outcome.longestGapNs = std::max(outcome.longestGapNs, sinceTick.nsecsElapsed());
    outcome.entries = window.ListView1->count();
    return outcome;
}

std::unique_ptr<Form1> ShownWindow(test::Doubles& doubles) {
    auto window = std::make_unique<Form1>(Form1Services{doubles.dialogs, doubles.shell,
                                                        doubles.runner, doubles.chance,
                                                        QCoreApplication::applicationDirPath()});
    window->show();
    QElapsedTimer shown;
    shown.start();
    while (shown.elapsed() < 300) // lets the window system map and paint it
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return window;
}

// The child run of the accessibility figure: one AddFolder in a window on the X server.
int AddTreeOnce(const QString& tree) {
    test::Doubles doubles;
    const auto window = ShownWindow(doubles);
    const AddOutcome outcome = AddFolderTimed(*window, doubles, tree);
    std::printf("seconds %.4f entries %d bridge %d gap %.0f\n", outcome.seconds, outcome.entries,
                QAccessible::isActive() ? 1 : 0, outcome.longestGapNs / 1e6);
    return 0;
}

// A program that runs until it is ended, stopped at the end of the scope.
struct Helper {
    std::unique_ptr<QProcess> process = std::make_unique<QProcess>();
    ~Helper() {
        if (process->state() != QProcess::NotRunning) {
            process->terminate();
            if (!process->waitForFinished(3000))
                process->kill();
            process->waitForFinished(3000);
        }
    }
    // The first line the program prints, waiting up to `ms`.
    QByteArray firstLine(int ms) {
        QElapsedTimer waited;
        waited.start();
        while (!process->canReadLine() && waited.elapsed() < ms)
            process->waitForReadyRead(100);
        return process->readLine().trimmed();
    }
};

// The accessibility figure: AddFolder over 30,000 files with Qt's accessibility bridge off and
// on, in a window on Xvfb, with the listener registered on the accessibility bus throughout.
void AccessibilityFigure(const QString& tree) {
    int display = 150;
    while (QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display)) ||
           QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(display)))
        ++display;
    Helper xvfb;
    xvfb.process->start(QStringLiteral("Xvfb"), {QStringLiteral(":%1").arg(display), "-screen", "0",
                                                 "1280x1024x24", "-nolisten", "tcp"});
    xvfb.process->waitForStarted();
    for (int i = 0; i < 50 && !QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display));
         ++i)
        QThread::msleep(100);
    Helper bus;
    bus.process->start(QStringLiteral("dbus-daemon"),
                       {"--session", "--nofork", "--print-address=1"});
    const QByteArray busAddress = bus.firstLine(5000);
    if (busAddress.isEmpty() || xvfb.process->state() != QProcess::Running) {
        std::printf("accessibility figure: Xvfb (%s) or dbus-daemon (%s) did not start\n",
                    xvfb.process->readAllStandardError().constData(),
                    bus.process->readAllStandardError().constData());
        return;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":%1").arg(display));
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromUtf8(busAddress));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.remove(QStringLiteral("QT_ACCESSIBILITY"));
    environment.remove(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"));
    Helper listener;
    listener.process->setProcessEnvironment(environment);
    listener.process->start(QStringLiteral("/usr/bin/python3"),
                            {QStringLiteral(KORVANE_BENCH_DIR "/atspi_listener.py")});
    if (listener.firstLine(15000) != "ready") {
        std::printf("accessibility figure: the listener did not register (python3-pyatspi)\n");
        return;
    }

    double best[2] = {1e9, 1e9};
    int bridge[2] = {-1, -1};
    for (int run = 0; run < kRuns; ++run) {
        for (int on = 0; on < 2; ++on) {
            QProcessEnvironment child = environment;
            if (on)
                child.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), "1");
            QProcess add;
            add.setProcessEnvironment(child);
            add.start(QCoreApplication::applicationFilePath(), {"--add-tree", tree});
            add.waitForFinished(120000);
            const QList<QByteArray> words = add.readAllStandardOutput().trimmed().split(' ');
            if (words.size() < 6 || words[0] != "seconds") {
                std::printf("accessibility figure: a run failed\n");
                return;
            }
            best[on] = std::min(best[on], words[1].toDouble());
            bridge[on] = words[5].toInt();
        }
    }
    listener.process->terminate();
    const QByteArray events = listener.firstLine(5000);
    std::printf("accessibility, AddFolder of 30000 files in an X window, a listener on the "
                "bus:\n  bridge off: %.3f s (active %d); bridge on: %.3f s (active %d) = %.2f x "
                "off; listener: %s\n",
                best[0], bridge[0], best[1], bridge[1], best[1] / best[0], events.constData());
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc == 3 && QByteArray(argv[1]) == "--add-tree") {
        QApplication app(argc, argv);
        return AddTreeOnce(QString::fromLocal8Bit(argv[2]));
    }

    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir temporary;
    const QString tree = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path() + "/tree";
    EnsureTree(tree, 10);

    int foundByFind = 0;
    double findProcessor = 1e9, processor = 0;
    FindSeconds(tree, &foundByFind, &processor); // both sides then read a warm cache
    double findSeconds = 1e9;
    AddOutcome best;
    best.seconds = 1e9;
    qint64 longestGapNs = 0; // of all runs; the fastest run's is in `best`
    long rssBefore = 0, rssAfter = 0, peakBefore = 0, peakAfter = 0;
    // The first run also loads the collation rules, which stay loaded.
    double heapBefore = 0, heapAfter = 0, firstHeap = 0;
    int entries = 0;
    for (int run = 0; run < kRuns; ++run) {
        findSeconds = std::min(findSeconds, FindSeconds(tree, &foundByFind, &processor));
        findProcessor = std::min(findProcessor, processor);
        test::Doubles doubles;
        auto window = ShownWindow(doubles);
        if (run == 0) {
            rssBefore = ResidentKilobytes();
            peakBefore = PeakResidentKilobytes();
        }
        heapBefore = HeapInUseMegabytes();
        const AddOutcome outcome = AddFolderTimed(*window, doubles, tree);
        if (run == 0) {
            rssAfter = ResidentKilobytes();
            peakAfter = PeakResidentKilobytes();
            firstHeap = HeapInUseMegabytes() - heapBefore;
        }
        heapAfter = HeapInUseMegabytes();
        entries = outcome.entries;
        longestGapNs = std::max(longestGapNs, outcome.longestGapNs);
        if (outcome.seconds < best.seconds)
            best = outcome;
    }

    std::printf("find -type f -iname '*.gif': %d files in %.3f s (best of %d, warm cache)\n",
                foundByFind, findSeconds, kRuns);
    std::printf("AddFolder \"gif\":              %d entries in %.3f s (best of %d) = %.2f x find\n",
                entries, best.seconds, kRuns, best.seconds / findSeconds);
    std::printf("processor time (user + system, best): find %.3f s, AddFolder %.3f s on all its "
                "threads\n",
                findProcessor, best.processorSeconds);
    std::printf("memory for the entries:      %.1f MB allocated (%.1f MB in the first run); "
                "first run +%.1f MB resident (%.1f to %.1f MB), peak +%.1f MB\n",
                heapAfter - heapBefore, firstHeap, (rssAfter - rssBefore) / 1024.0,
                rssBefore / 1024.0, rssAfter / 1024.0, (peakAfter - peakBefore) / 1024.0);
    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    std::printf("10 ms timer during AddFolder: longest gap %.0f ms in the fastest run, %.0f ms "
                "in all %d runs (load average %.1f on %d cores)\n",
                best.longestGapNs / 1e6, longestGapNs / 1e6, kRuns, load[0],
                QThread::idealThreadCount());
    const bool added = entries == foundByFind;

    test::Doubles doubles;
    Form1 window({doubles.dialogs, doubles.shell, doubles.runner, doubles.chance,
                  QCoreApplication::applicationDirPath()});
    FileListView& list = *window.ListView1;
    QStringList texts;
    for (int i = 0; i < entries; ++i)
        texts.append(QStringLiteral("/pictures/%1.gif").arg(i));
    list.append(texts);
    list.selectAll();
    const int allSelected = list.count();
    const double allSeconds = ClearSelectedSeconds(window);
    const int leftAfterAll = list.count();
    texts.clear();
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

    const QString smallTree = tree + QStringLiteral("-30000");
    EnsureTree(smallTree, 3);
    AccessibilityFigure(smallTree);
    return added && leftAfterAll == 0 && list.count() == allSelected ? 0 : 1;
}
