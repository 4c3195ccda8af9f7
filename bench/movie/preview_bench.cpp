// The preview's speed and memory on movies the converter makes (not a test; run by hand):
// the time from starting a process to the preview's first painted frame and the process's peak
// memory, for a 4096 x 4096 still, a 3,000-frame movie and one of 65,535 frames; and the processor
// time to play 5 s of a 320 x 240 movie at 10 frames per second. Each figure comes from a fresh
// process (this program started again), under the offscreen platform; medians of 5 runs.
//
//   preview_bench [CONVERTER]        (default: the built gif2swf)
#include "GifMaker.h"
#include "movie/Movie.h"
#include "preview/PreviewWindow.h"
#include "util/QtSeams.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

long peakKilobytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

double processorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The child: opens the preview; "--first" ends at its first paint, "--play" when it stops.
int child(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool play = qstrcmp(argv[1], "--play") == 0;
    struct FirstPaint : QObject {
        bool eventFilter(QObject* watched, QEvent* event) override {
            if (event->type() == QEvent::Paint && watched->objectName() == QLatin1String("stage") &&
                !painted) {
                painted = true;
                std::printf("painted %ld\n", peakKilobytes());
                std::fflush(stdout);
            }
            return false;
        }
        bool painted = false;
    } firstPaint;
    app.installEventFilter(&firstPaint);
    korvane::QtDialogs dialogs;
    korvane::PreviewWindow* window =
        korvane::PreviewWindow::Open(QString::fromLocal8Bit(argv[2]), dialogs, nullptr);
    if (window == nullptr)
        return 1;
    const double before = processorSeconds();
    QElapsedTimer wall;
    wall.start();
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (firstPaint.painted && (!play || !window->playhead().playing()))
            app.quit();
    });
    check.start(play ? 100 : 0);
    app.exec();
    if (!play) {
        // Then straight to the last frame, as End does: the display list is played through.
        QString refusal;
        auto movie = korvane::movie::Movie::readFile(QString::fromLocal8Bit(argv[2]), refusal);
        QImage stage;
        QElapsedTimer seek;
        seek.start();
        movie->draw(movie->frameCount() - 1, stage);
        std::printf("last %.3f\n", seek.nsecsElapsed() / 1e6);
    }
    if (play)
        std::printf("played %.3f %.3f %ld\n", processorSeconds() - before, wall.elapsed() / 1000.0,
                    peakKilobytes());
    return 0;
}

struct Run {
    double firstPaintMs = 0;
    double lastFrameMs = 0;
    long peakKb = 0;
    double playCpu = 0;
    double playWall = 0;
};

Run runChild(const QString& mode, const QString& movie) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    QElapsedTimer timer;
    timer.start();
    process.start(QCoreApplication::applicationFilePath(), {mode, movie});
    Run run;
    while (process.waitForReadyRead(60000) || process.state() == QProcess::Running) {
        while (process.canReadLine()) {
            const QList<QByteArray> fields = process.readLine().trimmed().split(' ');
            if (fields[0] == "painted") {
                run.firstPaintMs = timer.nsecsElapsed() / 1e6;
                run.peakKb = fields[1].toLong();
            } else if (fields[0] == "last") {
                run.lastFrameMs = fields[1].toDouble();
            } else if (fields[0] == "played") {
                run.playCpu = fields[1].toDouble();
                run.playWall = fields[2].toDouble();
                run.peakKb = fields[3].toLong();
            }
        }
        if (process.state() != QProcess::Running)
            break;
    }
    process.waitForFinished(60000);
    return run;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

QString convert(const QString& converter, const QString& gif) {
    const QString movie = QString(gif).replace(QStringLiteral(".gif"), QStringLiteral(".swf"));
    if (QProcess::execute(converter, {gif, QStringLiteral("-o"), movie}) != 0) {
        std::fprintf(stderr, "preview_bench: the converter failed on %s\n", qPrintable(gif));
        std::exit(1);
    }
    return movie;
}

QString writeGif(const QString& folder, const QString& name, const testgif::Gif& gif) {
    const QString path = folder + QLatin1Char('/') + name;
    testgif::writeGif(QFile::encodeName(path).toStdString(), gif);
    return path;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && (qstrcmp(argv[1], "--first") == 0 || qstrcmp(argv[1], "--play") == 0))
        return child(argc, argv);
    QCoreApplication app(argc, argv);
    const QString converter =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(KORVANE_APP_DIR "/gif2swf");
    QTemporaryDir dir;

    testgif::Gif still{4096, 4096, testgif::palette(256, 1), 0, {}, -1};
    still.frames.push_back(testgif::patternFrame(0, 0, 4096, 4096, 256, 1));
    // A sprite crossing a still scene, a picture a frame at 10 frames per second.
    testgif::Gif long_{320, 240, testgif::palette(64, 2), 0, {}, 0};
    long_.frames.push_back(testgif::patternFrame(0, 0, 320, 240, 64, 2));
    for (int i = 1; i < 3000; ++i) {
        long_.frames.push_back(
            testgif::patternFrame((i * 7) % 288, (i * 3) % 208, 32, 32, 64, 3 + i % 50));
        long_.frames.back().disposal = 1;
    }
    // The most frames a movie has: 65,535 small pictures, each a frame.
    testgif::Gif most{64, 48, testgif::palette(16, 5), 0, {}, 0};
    for (int i = 0; i < 65535; ++i) {
        most.frames.push_back(testgif::patternFrame(i % 56, i % 40, 8, 8, 16, i % 97));
        most.frames.back().disposal = 1;
    }
    // 50 whole pictures at 10 frames per second, played once: 5 s.
    testgif::Gif five{320, 240, testgif::palette(256, 4), 0, {}, -1};
    for (int i = 0; i < 50; ++i)
        five.frames.push_back(testgif::patternFrame(0, 0, 320, 240, 256, 100 + i));

    const struct {
        const char* name;
        QString movie;
    } firsts[] = {
        {"4096 x 4096 still", convert(converter, writeGif(dir.path(), "still.gif", still))},
        {"3,000 frames of 320 x 240", convert(converter, writeGif(dir.path(), "long.gif", long_))},
        {"65,535 frames of 64 x 48", convert(converter, writeGif(dir.path(), "most.gif", most))}};
    const QString played = convert(converter, writeGif(dir.path(), "five.gif", five));

    std::printf("%-28s %10s %14s %12s %14s\n", "movie", "file (KB)", "first frame", "peak memory",
                "to last frame");
    for (const auto& first : firsts) {
        std::vector<double> times, peaks, lasts;
        for (int i = 0; i < 5; ++i) {
            const Run run = runChild(QStringLiteral("--first"), first.movie);
            times.push_back(run.firstPaintMs);
            peaks.push_back(run.peakKb / 1024.0);
            lasts.push_back(run.lastFrameMs);
        }
        std::printf("%-28s %10lld %11.1f ms %9.1f MB %11.1f ms\n", first.name,
                    QFileInfo(first.movie).size() / 1024, median(times), median(peaks),
                    median(lasts));
    }
    std::vector<double> cpu, wall, peaks;
    for (int i = 0; i < 5; ++i) {
        const Run run = runChild(QStringLiteral("--play"), played);
        cpu.push_back(run.playCpu);
        wall.push_back(run.playWall);
        peaks.push_back(run.peakKb / 1024.0);
    }
    std::printf("playing 5 s of 320 x 240 at 10 fps: %.3f s of processor time in %.2f s, peak "
                "memory %.1f MB\n",
                median(cpu), median(wall), median(peaks));
    return 0;
}
