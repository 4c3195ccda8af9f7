// Many to one over a folder of many GIF files through the real window (Add Folder, then Start)
// with the real converter, beside the converter alone on the same inputs. With 30,000 paths of
// about 100 characters the argument list is far beyond Linux's 2 MB, so the run hands the
// converter its inputs in a list file.
//
//   manytoone_bench [CONVERTER] [FILES]    (defaults: the built gif2swf, 30000 files)
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

#include <sys/resource.h>

#include <cstdio>

using namespace korvane;

namespace {

double ChildCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long PeakChildKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString converter =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(KORVANE_APP_DIR "/gif2swf");
    const int files = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 30000;
    if (!QFileInfo(converter).isExecutable() || files <= 0) {
        std::fprintf(stderr, "manytoone_bench: %s: no converter there (build gif2swf first)\n",
                     qPrintable(converter));
        return 1;
    }

    QTemporaryDir appFolder, work;
    QFile::link(QFileInfo(converter).absoluteFilePath(),
                appFolder.filePath(QStringLiteral("gif2swf")));
    // A folder deep enough that every path is about 100 characters.
    QString folder = work.path() + QStringLiteral("/holiday pictures");
    while (folder.size() < 100 - 17)
        folder += QStringLiteral("/animated GIFs");
    folder = QDir::toNativeSeparators(folder.left(100 - 17));
    QDir().mkpath(folder);
    const QString outputs = work.filePath(QStringLiteral("movies"));
    QDir().mkpath(outputs);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < files; ++i) {
        const QString path = folder + QDir::separator() +
                             QStringLiteral("frame%1.gif").arg(i, 6, 10, QLatin1Char('0'));
        if (!test::WriteGif(path, 16, 16, QColor(i % 256, (i / 256) % 256, 160))) {
            std::fprintf(stderr, "manytoone_bench: cannot write %s\n", qPrintable(path));
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
    const QString movie = QDir::toNativeSeparators(outputs) + QDir::separator() +
                          QDir::separator() + QStringLiteral("output.swf");
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
    const QString list = work.filePath(QStringLiteral("inputs.list"));
    {
        QFile file(list);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        for (const QString& entry : entries)
            file.write(QFile::encodeName(entry) + '\0');
    }
    const QString alone = work.filePath(QStringLiteral("alone.swf"));
    cpuBefore = ChildCpuSeconds();
    clock.start();
    QProcess process;
    process.start(converter, {QStringLiteral("-r"), QStringLiteral("10"), QStringLiteral("-l"),
                              list, QStringLiteral("-o"), alone});
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
