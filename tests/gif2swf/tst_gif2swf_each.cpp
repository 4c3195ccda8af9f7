// gif2swf --each: a movie per input, as a run of its own would make it, a line per input on
// standard output in input order, the worst status, and no temporary file when it is stopped.
#include "ConverterRun.h"
#include "GifMaker.h"
#include "SwfPlayback.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <map>

namespace {

struct Still {
    testgif::Rgb colour;
    int delay; // hundredths of a second: a movie of its own plays at 100 / delay fps
};
const std::map<QString, Still> kStills = {{"red.gif", {{255, 0, 0}, 20}},
                                          {"green.gif", {{0, 255, 0}, 50}},
                                          {"sub/blue.gif", {{0, 0, 255}, 25}},
                                          {"sub/red.gif", {{128, 0, 0}, 20}}};

// Every file under `folder`, relative to it.
QStringList filesUnder(const QString& folder) {
    QStringList files;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
         it.hasNext();) {
        files << QDir(folder).relativeFilePath(it.next());
    }
    files.sort();
    return files;
}

} // namespace

class EachTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void aMoviePerInput_data();
    void aMoviePerInput();
    void stoppedLeavesNoTemporaryFile();
};

void EachTest::aMoviePerInput_data() {
    QTest::addColumn<QStringList>("arguments"); // ending in .gif or .list: in the work folder
    QTest::addColumn<QStringList>("lines");     // FOLDER: the work folder
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("movies"); // "movie=input", and the input's timing
    QTest::addColumn<int>("frameRate");      // 8.8; 0: each input's own

    QTest::newRow("lines in input order, a failure among them")
        << QStringList{"--each", "red.gif", "missing.gif", "green.gif"}
        << QStringList{"ok FOLDER/red.gif",
                       "failed FOLDER/missing.gif: cannot open: no such file or directory",
                       "ok FOLDER/green.gif"}
        << 2 << QStringList{"red.swf=red.gif", "green.swf=green.gif"} << 0;
    QTest::newRow("-d") << QStringList{"--each", "-d", "FOLDER/out", "red.gif", "sub/blue.gif"}
                        << QStringList{"ok FOLDER/red.gif", "ok FOLDER/sub/blue.gif"} << 0
                        << QStringList{"out/red.swf=red.gif", "out/blue.swf=sub/blue.gif"} << 0;
    QTest::newRow("a name two inputs share")
        << QStringList{"--each", "-d", "FOLDER/out", "red.gif", "sub/red.gif", "green.gif"}
        << QStringList{"ok FOLDER/red.gif",
                       "failed FOLDER/sub/red.gif: FOLDER/out/red.swf: cannot write output: it is "
                       "the movie of an earlier input: FOLDER/red.gif",
                       "ok FOLDER/green.gif"}
        << 3 << QStringList{"out/red.swf=red.gif", "out/green.swf=green.gif"} << 0;
    QTest::newRow("-r, a list, --progress")
        << QStringList{"--progress", "-r", "10", "--each", "-l", "inputs.list"}
        << QStringList{"progress 0/1", "progress 1/1", "ok FOLDER/red.gif",
                       "progress 0/1", "progress 1/1", "ok FOLDER/sub/blue.gif"}
        << 0 << QStringList{"red.swf=red.gif", "sub/blue.swf=sub/blue.gif"} << 2560;
    // A name shows as in messages, so that every line is one line.
    QTest::newRow("a name with a newline")
        << QStringList{"--each", "two\nlines.gif", "red.gif"}
        << QStringList{"failed FOLDER/two\\nlines.gif: cannot open: no such file or directory",
                       "ok FOLDER/red.gif"}
        << 2 << QStringList{"red.swf=red.gif"} << 0;
    QTest::newRow("-o with --each") << QStringList{"--each", "-o", "x.swf", "red.gif"}
                                    << QStringList{} << 1 << QStringList{} << 0;
}

void EachTest::aMoviePerInput() {
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, lines);
    QFETCH(int, status);
    QFETCH(QStringList, movies);
    QFETCH(int, frameRate);

    if (testrun::windowsConverter() && arguments.join(' ').contains('\n')) {
        QSKIP("Windows file names cannot contain a newline");
    }
    QTemporaryDir work;
    QVERIFY(QDir(work.path()).mkpath("sub"));
    for (const auto& [name, still] : kStills) {
        testgif::Gif gif;
        gif.width = gif.height = 4;
        gif.globalColours = {still.colour, {0, 0, 0}};
        gif.frames.push_back(testgif::patternFrame(0, 0, 4, 4, 1, 0));
        gif.frames[0].delay = still.delay;
        testgif::writeGif(work.filePath(name).toStdString(), gif);
    }
    QFile list(work.filePath("inputs.list"));
    QVERIFY(list.open(QIODevice::WriteOnly));
    list.write(QFile::encodeName(work.filePath("red.gif")) + '\0' +
               QFile::encodeName(work.filePath("sub/blue.gif")));
    list.close();
    QVERIFY(QDir(work.path()).mkdir("out"));
    const QStringList before = filesUnder(work.path());
    for (QString& argument : arguments) {
        argument.replace("FOLDER", work.path());
        if (argument.endsWith(".gif") || argument.endsWith(".list")) {
            argument = work.filePath(argument);
        }
    }

    const testrun::Result run = testrun::runConverter(arguments);
    QCOMPARE(run.exitCode, status);
    QCOMPARE(QString::fromUtf8(run.standardOutput),
             lines.isEmpty() ? QString() : lines.join('\n').replace("FOLDER", work.path()) + '\n');

    // The movies and nothing else were made, each what its input alone would give.
    QStringList made = filesUnder(work.path());
    for (const QString& file : before) {
        made.removeOne(file);
    }
    QStringList expected;
    for (const QString& movie : movies) {
        expected << movie.section('=', 0, 0);
        const Still& still = kStills.at(movie.section('=', 1));
        const testswf::Playback playback =
            testswf::play(testswf::readFile(work.filePath(expected.last()).toStdString()));
        QCOMPARE(playback.frames,
                 std::vector<std::vector<uint32_t>>(
                     1, std::vector<uint32_t>(16, still.colour.r << 16 | still.colour.g << 8 |
                                                      still.colour.b)));
        QCOMPARE(int(playback.frameRate), frameRate != 0 ? frameRate : 25600 / still.delay);
    }
    expected.sort();
    QCOMPARE(made, expected);
}

// The application stops a run it no longer wants; the movies finished stay, and no other file.
void EachTest::stoppedLeavesNoTemporaryFile() {
    QTemporaryDir work;
    testgif::Gif big;
    big.width = big.height = 1024;
    big.globalColours = testgif::palette(256);
    for (int i = 0; i < 4; ++i) {
        big.frames.push_back(testgif::patternFrame(0, 0, 1024, 1024, 256, i));
    }
    testgif::writeGif(work.filePath("big.gif").toStdString(), big);
    QStringList args{"--each", "-d", work.filePath("out")};
    for (int i = 0; i < 40; ++i) {
        args << work.filePath(QString("big%1.gif").arg(i));
        QVERIFY(QFile::copy(work.filePath("big.gif"), args.last()));
    }
    QVERIFY(QDir(work.path()).mkdir("out"));
    QProcess converter;
    testrun::startConverter(converter, args);
    QVERIFY(converter.waitForStarted());
    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT((output += converter.readAllStandardOutput()).contains("ok "), 30000);
    QCOMPARE(converter.state(), QProcess::Running);
    QVERIFY(testrun::stopConverter(converter));
    QCOMPARE(converter.exitStatus(), QProcess::CrashExit);
    output += converter.readAllStandardOutput();

    QStringList finished;
    for (const QByteArray& line : output.split('\n')) {
        if (line.startsWith("ok ")) {
            finished << QFileInfo(QString::fromUtf8(line.mid(3))).completeBaseName() + ".swf";
        }
    }
    QVERIFY(finished.size() < 40);
    // Under Wine the server deletes a killed converter's delete-on-close file once it has seen
    // the process end, a moment after the test has.
    const auto temporaryLeft = [&] {
        return filesUnder(work.filePath("out")).filter(QStringLiteral(".tmp")).join(' ');
    };
    QTRY_COMPARE_WITH_TIMEOUT(temporaryLeft(), QString(), 10000);
    // A stop that ends the process between a movie's rename and its line (at once on
    // Windows, where it is not a signal) leaves that movie, complete, without its line: the
    // movie of the input after the last line, and nothing else.
    QStringList made = filesUnder(work.filePath("out"));
    for (const QString& movie : finished) {
        QVERIFY2(made.removeOne(movie), qPrintable(movie));
    }
    QVERIFY2(made.isEmpty() || made == QStringList{QString("big%1.swf").arg(finished.size())},
             qPrintable(made.join(' ')));
    for (const QString& movie : made) {
        const testswf::Playback playback =
            testswf::play(testswf::readFile(work.filePath("out/" + movie).toStdString()));
        QCOMPARE(playback.frames.size(), size_t{4});
    }
}

QTEST_GUILESS_MAIN(EachTest)
#include "tst_gif2swf_each.moc"
