// One-to-one conversion of many small GIF files through Start, with the real converter: how much
// time the run adds to the converter's own, and what a wait that polls every 100 ms would cost.
//
//   conversion_bench [CONVERTER] [FILES]    (defaults: the built gif2swf, 500 files)
#include "Doubles.h"
#include "TestFiles.h"
#include "app/Form1.h"
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

#include <cmath>
#include <cstdio>

using namespace korvane;

namespace {

// Times every wait of the real runner.
class TimingRunner : public ProcessRunner {
public:
    qint64 waitedNs = 0;
    ProcessResult runAndWait(const QString& program, const QStringList& arguments,
                             std::optional<int> windowStyle) override {
        QElapsedTimer clock;
        clock.start();
        ProcessResult result = real_.runAndWait(program, arguments, windowStyle);
        waitedNs += clock.nsecsElapsed();
        return result;
    }

private:
    QtProcessRunner real_;
};

double ChildCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString converter =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(KORVANE_APP_DIR "/gif2swf");
    const int files = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 500;
    if (!QFileInfo(converter).isExecutable() || files <= 0) {
        std::fprintf(stderr, "conversion_bench: %s: no converter there (build gif2swf first)\n",
                     qPrintable(converter));
        return 1;
    }

    QTemporaryDir appFolder, inputs, outputs, direct;
    QFile::link(QFileInfo(converter).absoluteFilePath(),
                appFolder.filePath(QStringLiteral("gif2swf")));
    QStringList paths;
    for (int i = 0; i < files; ++i) {
        paths << QDir::toNativeSeparators(inputs.filePath(QStringLiteral("frame%1.gif").arg(i)));
        test::WriteGif(paths.last(), 16, 16, QColor(i % 256, 80, 160));
    }

    // The converter alone: the same invocations, each waited for by blocking, nothing else.
    QList<double> directMs;
    QElapsedTimer clock;
    for (const QString& path : paths) {
        clock.start();
        QProcess process;
        process.start(converter, {path, QStringLiteral("-o"),
                                  direct.filePath(QFileInfo(path).baseName() + ".swf")});
        process.waitForFinished(-1);
        directMs << clock.nsecsElapsed() / 1e6;
        if (process.exitCode() != 0) {
            std::fprintf(stderr, "conversion_bench: the converter failed on %s\n",
                         qPrintable(path));
            return 1;
        }
    }
    double directTotalMs = 0;
    double pollingMs = 0; // a wait that notices the end only after each 100 ms sleep
    for (double ms : directMs) {
        directTotalMs += ms;
        pollingMs += std::max(1.0, std::ceil(ms / 100.0)) * 100.0;
    }

    // The same through Start.
    test::Doubles doubles;
    TimingRunner runner;
    Form1 window({doubles.dialogs, doubles.shell, runner, doubles.chance,
                  QDir::toNativeSeparators(appFolder.path())});
    window.Option2->setChecked(true);
    window.Text2->setText(QDir::toNativeSeparators(outputs.path()) + QDir::separator());
    window.ListView1->append(paths);
    window.show();
    const double cpuBefore = ChildCpuSeconds();
    clock.start();
    window.Start();
    const double totalMs = clock.nsecsElapsed() / 1e6;
    const double childCpuMs = (ChildCpuSeconds() - cpuBefore) * 1000.0;
    const QString outcome = doubles.dialogs.messages.value(0).text.section('\r', 0, 0);

    std::printf("one to one, %d GIF files, converter %s\n", files, qPrintable(converter));
    std::printf("outcome:                            %s\n", qPrintable(outcome));
    std::printf("total time of Start:                %9.1f ms\n", totalMs);
    std::printf("converter alone (blocking waits):   %9.1f ms\n", directTotalMs);
    std::printf("converter CPU time (its rusage):    %9.1f ms\n", childCpuMs);
    std::printf("waiting inside the runner:          %9.1f ms\n", runner.waitedNs / 1e6);
    std::printf("overhead per file:                  %9.2f ms  (goal < 10 ms)\n",
                (totalMs - directTotalMs) / files);
    std::printf("a 100 ms polling wait alone:        %9.1f ms  (%.1f s for the same run)\n",
                pollingMs, pollingMs / 1000.0);
    return outcome == QStringLiteral("Done.") ? 0 : 1;
}
