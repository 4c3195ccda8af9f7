#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// Runs the real converter and the outside programs the tests compare it with.
namespace testrun {

struct Result {
    int exitCode = -1;
    QByteArray standardError; // followed by standard output
    QByteArray standardOutput;
};

// The converter in the application folder, or the one KORVANE_CONVERTER names (the Windows
// build), run through KORVANE_CONVERTER_RUNNER when that is set (Wine).
QString converterPath();
// Whether the converter is a Windows program: no '"' in names, no POSIX permissions.
bool windowsConverter();
// `environment`: NAME=value entries added to the converter's environment.
Result runConverter(const QStringList& arguments, const QStringList& environment = {});
// The same with the converter built with its test-only hooks (GIF2SWF_TEST_FAULT), which the
// package never holds; Linux only.
Result runTestingConverter(const QStringList& arguments, const QStringList& environment);
// Starts the converter and returns at once, for a test that ends it from outside.
void startConverter(QProcess& process, const QStringList& arguments);
// Stops a started converter as the application does (asked to stop on Linux; on Windows
// ended without a signal it could catch) and waits for it; false when it did not end.
bool stopConverter(QProcess& process);
// Runs a program of the system: the first element, with the others as its arguments.
Result runProgram(const QStringList& command);

// Checks a movie with the independent swf-parser (node); returns "ok" or the faults found.
// Optional (-1: not checked): the number of bitmaps, how often the movie plays (0: for
// ever) and the most objects on the stage at once. `more`: further expectations as check.mjs
// takes them ("scale=200", "background=0x336699").
QString checkWithSwfParser(const QString& movie, int width, int height, int frameRate, int frames,
                           int bitmaps, int plays = -1, int layers = -1,
                           const QStringList& more = {});

// A GIF's frames as ImageMagick coalesces them, composited over `background` (0xRRGGBB).
struct Coalesced {
    int width = 0;
    int height = 0;
    std::vector<std::vector<uint32_t>> frames;
};
Coalesced coalesceWithImageMagick(const QString& gif, const QString& workFolder,
                                  uint32_t background = 0xFFFFFF);

} // namespace testrun
