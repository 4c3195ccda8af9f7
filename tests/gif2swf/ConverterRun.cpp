#include "ConverterRun.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <stdexcept>
#include <utility>

namespace testrun {
namespace {

Result run(const QString& program, const QStringList& arguments,
           const QStringList& environment = {}) {
    QProcess process;
    if (!environment.isEmpty()) {
        process.setEnvironment(QProcessEnvironment::systemEnvironment().toStringList() +
                               environment);
    }
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        throw std::runtime_error("did not run: " + program.toStdString() + " " +
                                 process.errorString().toStdString());
    }
    const QByteArray output = process.readAllStandardOutput();
    return {process.exitCode(), process.readAllStandardError() + output, output};
}

QString sourceDir() {
    const QString dir = qEnvironmentVariable("KORVANE_SOURCE_DIR");
    return dir.isEmpty() ? QStringLiteral(".") : dir;
}

} // namespace

QString converterPath() {
    const QString chosen = qEnvironmentVariable("KORVANE_CONVERTER");
    if (!chosen.isEmpty()) {
        return chosen;
    }
    const QString dir = qEnvironmentVariable("KORVANE_APP_DIR");
#ifdef Q_OS_WIN
    return QDir(dir).filePath(QStringLiteral("gif2swf.exe"));
#else
    return QDir(dir).filePath(QStringLiteral("gif2swf"));
#endif
}

bool windowsConverter() {
    return converterPath().endsWith(QStringLiteral(".exe"), Qt::CaseInsensitive);
}

namespace {

// The program to start and its arguments, through the runner when there is one.
std::pair<QString, QStringList> converterCommand(const QStringList& arguments) {
    const QString runner = qEnvironmentVariable("KORVANE_CONVERTER_RUNNER");
    if (runner.isEmpty()) {
        return {converterPath(), arguments};
    }
    return {runner, QStringList{converterPath()} + arguments};
}

} // namespace

Result runConverter(const QStringList& arguments, const QStringList& environment) {
    const auto [program, all] = converterCommand(arguments);
    return run(program, all, environment);
}

Result runTestingConverter(const QStringList& arguments, const QStringList& environment) {
    return run(qEnvironmentVariable("KORVANE_TESTING_CONVERTER"), arguments, environment);
}

void startConverter(QProcess& process, const QStringList& arguments) {
    const auto [program, all] = converterCommand(arguments);
    process.start(program, all);
}

bool stopConverter(QProcess& process) {
    if (windowsConverter()) {
        process.kill();
    } else {
        process.terminate();
    }
    return process.waitForFinished(30000);
}

Result runProgram(const QStringList& command) {
    return run(command.front(), command.mid(1));
}

QString checkWithSwfParser(const QString& movie, int width, int height, int frameRate, int frames,
                           int bitmaps, int plays, int layers, const QStringList& more) {
    const QString script = sourceDir() + QStringLiteral("/tests/swf-reader/check.mjs");
    QStringList arguments{script,
                          movie,
                          QStringLiteral("width=%1").arg(width),
                          QStringLiteral("height=%1").arg(height),
                          QStringLiteral("rate=%1").arg(frameRate),
                          QStringLiteral("frames=%1").arg(frames)};
    if (bitmaps >= 0) {
        arguments << QStringLiteral("bitmaps=%1").arg(bitmaps);
    }
    if (plays >= 0) {
        arguments << QStringLiteral("plays=%1").arg(plays);
    }
    if (layers >= 0) {
        arguments << QStringLiteral("layers=%1").arg(layers);
    }
    const Result result = run(QStringLiteral("node"), arguments << more);
    return QString::fromUtf8(result.standardError).trimmed();
}

Coalesced coalesceWithImageMagick(const QString& gif, const QString& workFolder,
                                  uint32_t background) {
    QTemporaryDir frames(workFolder + QStringLiteral("/im-XXXXXX"));
    // Browsers start from a transparent screen and ignore the GIF's background colour;
    // ImageMagick does so when told that the background is "none".
    const Result result =
        run(QStringLiteral("convert"),
            {gif, QStringLiteral("-alpha"), QStringLiteral("set"), QStringLiteral("-background"),
             QStringLiteral("none"), QStringLiteral("-coalesce"), QStringLiteral("+repage"),
             frames.filePath(QStringLiteral("f-%05d.png"))});
    if (result.exitCode != 0) {
        throw std::runtime_error("ImageMagick failed: " + result.standardError.toStdString());
    }
    Coalesced out;
    const QStringList names =
        QDir(frames.path()).entryList({QStringLiteral("f-*.png")}, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        const QImage image = QImage(frames.filePath(name)).convertToFormat(QImage::Format_ARGB32);
        out.width = image.width();
        out.height = image.height();
        std::vector<uint32_t> rgb;
        for (int y = 0; y < image.height(); ++y) {
            const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                const int a = qAlpha(line[x]);
                // Fully transparent pixels carry no colour, whatever ImageMagick left there.
                const QRgb pixel = a == 0 ? 0u : line[x];
                auto over = [a](int c, uint32_t below) {
                    return static_cast<uint32_t>((c * a + int(below & 0xFF) * (255 - a)) / 255);
                };
                rgb.push_back(over(qRed(pixel), background >> 16) << 16 |
                              over(qGreen(pixel), background >> 8) << 8 |
                              over(qBlue(pixel), background));
            }
        }
        out.frames.push_back(std::move(rgb));
    }
    if (out.frames.empty()) {
        throw std::runtime_error("ImageMagick wrote no frame");
    }
    return out;
}

} // namespace testrun
