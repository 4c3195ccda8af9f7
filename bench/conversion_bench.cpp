// Conversions through Start with the real converter, beside the converter alone.
//
// One to one over many small GIF files: Start, which runs a converter per core, each making the
// movies of its share of the list (--each), against the converter run one file at a time, and
// what a wait that polls every 100 ms would cost.
//   conversion_bench [CONVERTER] [FILES]                 (defaults: the built gif2swf, 1000)
//
// Many to one over a folder of GIF files with paths of about 100 characters, added with Add
// Folder, at delay 0.1: with 30,000 of them the argument list is far beyond Linux's 2 MB, so
// the run hands the converter its inputs in a list file.
//   conversion_bench --many-to-one [CONVERTER] [FILES]   (defaults: the built gif2swf, 30000)
#include "Doubles.h"
#include "TestFiles.h"
#include "app/Form1.h"
#include "conversion/ArgumentSpace.h"
#include "conversion/ConverterInvocation.h"
#include "conversion/ProcessRunner.h"
#include "filelist/FileListView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QThread>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

using namespace korvane;

namespace {

// Adds up the time every converter ran, from its start to the report of its end.
class TimingRunner : public test::CountingRunner {
public:
    using CountingRunner::CountingRunner;
    double runningMs = 0;
    std::unique_ptr<StartedProcess> start(const QString& program, const QStringList& arguments,
                                          std::optional<int> windowStyle,
                                          ProcessHandlers handlers) override {
        auto clock = std::make_shared<QElapsedTimer>();
        clock->start();
        handlers.finished = [this, clock,
                             finished = std::move(handlers.finished)](const ProcessResult& result) {
            runningMs += clock->nsecsElapsed() / 1e6;
            finished(result);
        };
        return CountingRunner::start(program, arguments, windowStyle, std::move(handlers));
    }
};

double ChildCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double OwnCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long PeakChildKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_maxrss;
}

} // namespace

// The converter alone: the same invocations one file at a time, each waited for by blocking,
// nothing else. The time of each, or an empty list when one failed.
QList<double> ConvertOneAtATime(const QString& converter, const QStringList& paths) {
    QTemporaryDir outputs;
    QList<double> ms;
    QElapsedTimer clock;
    for (const QString& path : paths) {
        clock.start();
        QProcess process;
        process.start(converter, {path, QStringLiteral("-o"),
                                  outputs.filePath(QFileInfo(path).baseName() + ".swf")});
        process.waitForFinished(-1);
        ms << clock.nsecsElapsed() / 1e6;
        if (process.exitCode() != 0) {
            std::fprintf(stderr, "conversion_bench: the converter failed on %s\n",
                         qPrintable(path));
            return {};
        }
    }
    return ms;
}

struct StartFigures {
    double ms = 0;
    double converterCpuMs = 0;
    double windowCpuMs = 0;
    int atOnce = 0;
    double averageAtOnce = 0; // the converters' running time over Start's
    QString outcome;
};

// The same conversions through Start on the real window, into a folder of their own.
StartFigures ConvertThroughStart(const QString& appFolder, const QStringList& paths) {
    QTemporaryDir outputs;
    test::Doubles doubles;
    QtProcessRunner realRunner;
    TimingRunner runner(realRunner);
    Form1 window({doubles.dialogs, doubles.shell, runner, doubles.chance,
                  QDir::toNativeSeparators(appFolder)});
    window.Option2->setChecked(true);
    window.Text2->setText(QDir::toNativeSeparators(outputs.path()) + QDir::separator());
    window.ListView1->append(paths);
    window.show();
    const double cpuBefore = ChildCpuSeconds();
    const double ownCpuBefore = OwnCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    window.Start();
    StartFigures figures;
    figures.ms = clock.nsecsElapsed() / 1e6;
    figures.converterCpuMs = (ChildCpuSeconds() - cpuBefore) * 1000.0;
    figures.windowCpuMs = (OwnCpuSeconds() - ownCpuBefore) * 1000.0;
    figures.atOnce = runner.mostAtOnce;
    figures.averageAtOnce = runner.runningMs / figures.ms;
    figures.outcome = doubles.dialogs.messages.value(0).text.section('\r', 0, 0);
    return figures;
}

QString LoadAverage() {
    double load[3] = {};
    return getloadavg(load, 3) == 3
               ? QStringLiteral("%1 %2 %3").arg(load[0]).arg(load[1]).arg(load[2])
               : QStringLiteral("unknown");
}

int OneToOne(const QString& converter, int files) {
    QTemporaryDir appFolder, inputs;
    QFile::link(QFileInfo(converter).absoluteFilePath(),
                appFolder.filePath(QStringLiteral("gif2swf")));
    QStringList paths;
    for (int i = 0; i < files; ++i) {
        paths << QDir::toNativeSeparators(inputs.filePath(QStringLiteral("frame%1.gif").arg(i)));
        test::WriteGif(paths.last(), 16, 16, QColor(i % 256, 80, 160));
    }

    std::printf("one to one, %d GIF files, converter %s, %d cores, load average %s\n", files,
                qPrintable(converter), QThread::idealThreadCount(), qPrintable(LoadAverage()));
    std::printf("round  converter alone   Start    ratio  at once (most, mean)  "
                "converters' CPU  window's CPU\n");
    // The two take turns, so that a busy spell of the machine weighs on both alike.
    constexpr int kRounds = 3;
    double bestAlone = 0;
    double bestStart = 0;
    double pollingMs = 0; // a wait that notices the end only after each 100 ms sleep
    bool done = true;
    for (int round = 1; round <= kRounds; ++round) {
        const QList<double> alone = ConvertOneAtATime(converter, paths);
        if (alone.isEmpty())
            return 1;
        double aloneMs = 0;
        pollingMs = 0;
        for (double ms : alone) {
            aloneMs += ms;
            pollingMs += std::max(1.0, std::ceil(ms / 100.0)) * 100.0;
        }
        const StartFigures start = ConvertThroughStart(appFolder.path(), paths);
        done = done && start.outcome == QStringLiteral("Done.");
        std::printf("%5d  %12.1f ms  %7.1f ms  %5.2f x  %13d  %5.2f  %12.1f ms  %9.1f ms\n", round,
                    aloneMs, start.ms, start.ms / aloneMs, start.atOnce, start.averageAtOnce,
                    start.converterCpuMs, start.windowCpuMs);
        bestAlone = round == 1 ? aloneMs : std::min(bestAlone, aloneMs);
        bestStart = round == 1 ? start.ms : std::min(bestStart, start.ms);
    }
    std::printf("outcome:                            %s\n", done ? "Done." : "not done");
    std::printf("best Start / best converter alone:  %9.2f x  (goal <= 0.35 on two cores)\n",
                bestStart / bestAlone);
    std::printf("a 100 ms polling wait alone:        %9.1f ms  (%.1f s for the same run)\n",
                pollingMs, pollingMs / 1000.0);
    std::printf("load average at the end:            %s\n", qPrintable(LoadAverage()));
    return done ? 0 : 1;
}

int ManyToOne(const QString& converter, int files) {
    QTemporaryDir appFolder, work;
    QFile::link(QFileInfo(converter).absoluteFilePath(),
                appFolder.filePath(QStringLiteral("gif2swf")));
    // A folder deep enough that every path is about 100 characters.
    QString folder = work.path() + QStringLiteral("/holiday pictures");
    while (folder.size() < 100 - 16)
        folder += QStringLiteral("/animated GIFs");
    folder = QDir::toNativeSeparators(folder.left(100 - 16));
    QDir().mkpath(folder);
    const QString outputs = work.filePath(QStringLiteral("movies"));
    QDir().mkpath(outputs);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < files; ++i) {
        const QString path = folder + QDir::separator() +
                             QStringLiteral("frame%1.gif").arg(i, 6, 10, QLatin1Char('0'));
        if (!test::WriteGif(path, 16, 16, QColor(i % 256, (i / 256) % 256, 160))) {
            std::fprintf(stderr, "conversion_bench: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    const double writeMs = clock.nsecsElapsed() / 1e6;

    // The real window: Add Folder, delay 0.1, many to one, Start.
    test::Doubles doubles;
    QtProcessRunner runner;
    Form1 window({doubles.dialogs, doubles.shell, runner, doubles.chance,
                  QDir::toNativeSeparators(appFolder.path())});
    window.show();
    doubles.dialogs.inputAnswers << QStringLiteral("gif");
    doubles.dialogs.folderAnswers << folder;
    clock.start();
    window.AddFolder();
    const double addMs = clock.nsecsElapsed() / 1e6;
    const QStringList entries = window.ListView1->texts();
    window.Text1->setText(QStringLiteral("0.1"));
    window.Option1->setChecked(true);
    window.Text2->setText(QDir::toNativeSeparators(outputs) + QDir::separator());
    const QString movie =
        QDir::toNativeSeparators(outputs) + QDir::separator() + QStringLiteral("output.swf");
    qint64 argumentBytes = 0;
    for (const QString& entry : entries)
        argumentBytes += QFile::encodeName(entry).size() + 1 + qint64(sizeof(char*));
    const ConverterInvocation invocation = BuildConverterInvocation(
        ConversionMode::ManyToOne, ConverterPath(QDir::toNativeSeparators(appFolder.path())),
        QStringLiteral("10"), entries, movie);
    const bool fits =
        ArgumentsFit(invocation.program, invocation.arguments, PlatformArgumentSpace());
    double cpuBefore = ChildCpuSeconds();
    clock.start();
    window.Start();
    const double startMs = clock.nsecsElapsed() / 1e6;
    const double startCpuMs = (ChildCpuSeconds() - cpuBefore) * 1000.0;
    const QString outcome = doubles.dialogs.messages.value(0).text.section('\r', 0, 0);
    const test::MovieHeader header = test::ReadMovieHeader(movie);

    // The converter alone on the same inputs, in the same order, from a list file.
    InputListFile list;
    if (!list.write(entries))
        return 1;
    const QString alone = work.filePath(QStringLiteral("alone.swf"));
    cpuBefore = ChildCpuSeconds();
    clock.start();
    QProcess process;
    process.start(converter, {QStringLiteral("-r"), QStringLiteral("10"), QStringLiteral("-l"),
                              list.path(), QStringLiteral("-o"), alone});
    process.waitForFinished(-1);
    const double aloneMs = clock.nsecsElapsed() / 1e6;
    const double aloneCpuMs = (ChildCpuSeconds() - cpuBefore) * 1000.0;
    const int aloneFrames = test::ReadMovieHeader(alone).frames;

    std::printf("many to one, %d GIF files of 16x16, paths of %d characters, delay 0.1\n", files,
                int(entries.value(0).size()));
    std::printf("argument list:                      %9.1f MB (fits the command line: %s)\n",
                argumentBytes / 1e6, fits ? "yes" : "no, a list file is used");
    std::printf("writing the GIF files:              %9.1f ms\n", writeMs);
    std::printf("Add Folder (%d entries):         %9.1f ms\n", int(entries.size()), addMs);
    std::printf("Start, through the real window:     %9.1f ms  (converter CPU %.1f ms)\n", startMs,
                startCpuMs);
    std::printf("outcome:                            %s, %d frames at %.2f frames per second\n",
                qPrintable(outcome), header.frames, header.frameRate / 256.0);
    std::printf("converter alone, same list:         %9.1f ms  (CPU %.1f ms), %d frames\n", aloneMs,
                aloneCpuMs, aloneFrames);
    std::printf("converters' peak memory:            %9.1f MB\n", PeakChildKilobytes() / 1024.0);
    std::printf("the run's time beyond the converter:%9.1f ms\n", startMs - aloneMs);
    return outcome == QStringLiteral("Done.") && header.frames == files && header.frameRate == 2560
               ? 0
               : 1;
}

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    const bool manyToOne = arguments.value(0) == QStringLiteral("--many-to-one");
    if (manyToOne)
        arguments.removeFirst();
    const QString converter = arguments.value(0, QStringLiteral(KORVANE_APP_DIR "/gif2swf"));
    const int files = arguments.size() > 1 ? arguments[1].toInt() : manyToOne ? 30000 : 1000;
    if (!QFileInfo(converter).isExecutable() || files <= 0) {
        std::fprintf(stderr, "conversion_bench: %s: no converter there (build gif2swf first)\n",
                     qPrintable(converter));
        return 1;
    }
    return manyToOne ? ManyToOne(converter, files) : OneToOne(converter, files);
}
