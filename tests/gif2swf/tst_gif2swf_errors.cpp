// The real converter on bad input and bad places to write: one line on stderr naming the file
// and the fault, the exit status of its kind, no output file, an earlier movie untouched and
// no temporary file left behind, also when the converter fails by a fault of its own or is
// ended from outside. And names that a shell would mangle.
#include "ConverterRun.h"
#include "GifMaker.h"
#include "SwfPlayback.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

const QByteArray kEarlierMovie = "an earlier movie";

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

testgif::Gif patternFrames(int frames, int width = 40, int height = 30, int colours = 16) {
    testgif::Gif gif;
    gif.width = width;
    gif.height = height;
    gif.globalColours = testgif::palette(colours);
    for (int i = 0; i < frames; ++i) {
        gif.frames.push_back(testgif::patternFrame(0, 0, width, height, colours, i));
    }
    return gif;
}

// Where the second frame's image data is, in a GIF of three equal frames.
qint64 middleOfSecondFrame(const QByteArray& gif) {
    // Each frame starts with an image separator ',' after its control block (0x21 0xF9).
    qint64 found = -1;
    int frames = 0;
    for (qint64 i = 0; (i = gif.indexOf("\x21\xF9\x04", i)) >= 0; i += 3) {
        if (++frames == 2) {
            found = i;
        }
        if (frames == 3) {
            return (found + i) / 2;
        }
    }
    return -1;
}

// A 2 x 2 GIF of one colour.
void writeSolidGif(const QString& path, testgif::Rgb colour) {
    testgif::Gif gif;
    gif.width = 2;
    gif.height = 2;
    gif.globalColours = {colour, {0, 0, 0}};
    testgif::Frame frame;
    frame.width = 2;
    frame.height = 2;
    frame.indices.assign(4, 0);
    gif.frames.push_back(frame);
    testgif::writeGif(QFile::encodeName(path).toStdString(), gif);
}

// The options ("-r, --rate RATE") and exit statuses ("0") a text lists: in --help the lines
// indented by two spaces under "Options" and "Exit status", in the manual page the lines after
// .TP in its OPTIONS and EXIT STATUS sections.
QStringList listedEntries(const QString& text, bool manualPage) {
    static const QRegularExpression entry(
        QStringLiteral("^ {0,6}((?:-\\w, )?--[\\w-]+(?: [A-Z]+)?|\\d+)(?:\\s|$)"));
    QStringList entries;
    QString section;
    bool afterTag = false;
    for (QString line : text.split(QLatin1Char('\n'))) {
        if (manualPage) {
            if (line.startsWith(QLatin1String(".SH "))) {
                section = line.mid(4);
            }
            const bool take = afterTag && (section == "OPTIONS" || section == "\"EXIT STATUS\"" ||
                                           section == "EXIT STATUS");
            afterTag = line == QLatin1String(".TP");
            if (!take) {
                continue;
            }
            line.remove(QRegularExpression(QStringLiteral("\\\\f[BIRP]|^\\.B ")));
            line.replace(QLatin1String("\\-"), QLatin1String("-"));
        } else {
            if (!line.startsWith(QLatin1Char(' '))) {
                section = line;
            }
            if (!section.startsWith(QLatin1String("Options")) &&
                !section.startsWith(QLatin1String("Exit status"))) {
                continue;
            }
        }
        const QRegularExpressionMatch match = entry.match(line);
        if (match.hasMatch()) {
            entries << match.captured(1);
        }
    }
    return entries;
}

} // namespace

class ErrorsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void refusesAndLeavesNothing_data();
    void refusesAndLeavesNothing();
    void unwritableFolder();
    void endedFromOutsideLeavesNoFile();
    void namesWithSpacesQuotesAndNonAscii_data();
    void namesWithSpacesQuotesAndNonAscii();
    void inputListsTakeTheirPlaceAmongTheInputs();
    void helpListsExitStatusesAndLimits();
    void manualPageMatchesHelp();

private:
    QTemporaryDir dir_;
    QString good_;
};

void ErrorsTest::initTestCase() {
    QVERIFY(dir_.isValid());
    good_ = dir_.filePath("good.gif");
    testgif::writeGif(good_.toStdString(), patternFrames(3));

    QFile goodFile(good_);
    QVERIFY(goodFile.open(QIODevice::ReadOnly));
    const QByteArray gif = goodFile.readAll();
    const qint64 cut = middleOfSecondFrame(gif);
    QVERIFY(cut > 0);
    writeBytes(dir_.filePath("truncated.gif"), gif.left(cut));
    writeBytes(dir_.filePath("header-only.gif"), gif.left(13 + 48));
    writeBytes(dir_.filePath("no-image.gif"), gif.left(13 + 48) + ";");
    writeBytes(dir_.filePath("empty.gif"), QByteArray());
    writeBytes(dir_.filePath("notes.gif"), "These are not the pictures you are looking for.\n");
    writeBytes(dir_.filePath("hi.gif"), "hi\n");
    writeBytes(dir_.filePath("gif8.gif"), "GIF8");
    QImage png(8, 8, QImage::Format_RGB32);
    png.fill(Qt::red);
    QVERIFY(png.save(dir_.filePath("picture.gif"), "PNG"));
    // 20000 x 20000 screen, no colour table, then the trailer.
    writeBytes(dir_.filePath("huge.gif"), QByteArray("GIF89a\x20\x4E\x20\x4E\x00\x00\x00;", 14));
    // Text after the signature: its "screen" is 26400 x 29281, and no block follows.
    writeBytes(dir_.filePath("garbage.gif"), "GIF89a garbage");
    writeBytes(dir_.filePath("header-cut.gif"), "GIF89a garb");
    // A screen of no size and a 10 x 10 image at 60000,60000.
    writeBytes(dir_.filePath("off-screen.gif"),
               QByteArray("GIF89a\0\0\0\0\x80\0\0\0\0\0\xFF\xFF\xFF"
                          "\x2C\x60\xEA\x60\xEA\x0A\0\x0A\0\0\x02\x02\x44\x01\0\x3B",
                          35));
    // A valid header and image descriptor followed by LZW codes that make no sense.
    QByteArray corrupt = gif.left(13 + 48);
    corrupt += QByteArray(
        "\x2C\x00\x00\x00\x00\x28\x00\x1E\x00\x00\x04\x05\xFF\xFF\xFF\xFF\xFF\x00\x3B", 19);
    writeBytes(dir_.filePath("corrupt.gif"), corrupt);
    corrupt[13 + 48 + 10] = 12; // the LZW minimum code size
    writeBytes(dir_.filePath("code-size.gif"), corrupt);
    QVERIFY(QDir(dir_.path()).mkdir("out"));
    writeBytes(dir_.filePath("regular-file"), "not a folder");
    const QByteArray goodEntry = QFile::encodeName(good_) + '\0';
    writeBytes(dir_.filePath("empty.list"), QByteArray());
    writeBytes(dir_.filePath("gap.list"), goodEntry + goodEntry + '\0' + goodEntry);
    writeBytes(dir_.filePath("nuls.list"), QByteArray(1 << 20, '\0'));
    writeBytes(dir_.filePath("long.list"), goodEntry.repeated(65536));
}

void ErrorsTest::refusesAndLeavesNothing_data() {
    // The output is added as "-o out/movie.swf"; NAME=value sets the converter's environment.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("output"); // relative to the temporary folder
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message"); // with FOLDER for the temporary folder

    const QString out = "out/movie.swf";
    QTest::newRow("zero-byte file")
        << QStringList{"empty.gif"} << out << 2
        << "gif2swf: FOLDER/empty.gif: not a GIF file: the file is empty";
    QTest::newRow("truncated GIF")
        << QStringList{"truncated.gif"} << out << 2
        << "gif2swf: FOLDER/truncated.gif: frame 2: truncated image data";
    QTest::newRow("header only") << QStringList{"header-only.gif"} << out << 2
                                 << "gif2swf: FOLDER/header-only.gif: truncated file";
    QTest::newRow("no image") << QStringList{"no-image.gif"} << out << 2
                              << "gif2swf: FOLDER/no-image.gif: contains no image";
    QTest::newRow("corrupt image data")
        << QStringList{"corrupt.gif"} << out << 2 << "gif2swf: FOLDER/corrupt.gif: frame 1: ";
    QTest::newRow("LZW code size above 8")
        << QStringList{"code-size.gif"} << out << 2
        << "gif2swf: FOLDER/code-size.gif: frame 1: LZW minimum code size above 8: 12";
    QTest::newRow("PNG named .gif")
        << QStringList{"picture.gif"} << out << 2 << "gif2swf: FOLDER/picture.gif: not a GIF file";
    QTest::newRow("text named .gif")
        << QStringList{"notes.gif"} << out << 2 << "gif2swf: FOLDER/notes.gif: not a GIF file";
    QTest::newRow("text shorter than a header")
        << QStringList{"hi.gif"} << out << 2 << "gif2swf: FOLDER/hi.gif: not a GIF file";
    QTest::newRow("GIF cut in its signature")
        << QStringList{"gif8.gif"} << out << 2 << "gif2swf: FOLDER/gif8.gif: truncated GIF header";
    QTest::newRow("missing file")
        << QStringList{"good.gif", "missing.gif"} << out << 2
        << "gif2swf: FOLDER/missing.gif: cannot open: no such file or directory";
    QTest::newRow("huge screen") << QStringList{"huge.gif"} << out << 2
                                 << "gif2swf: FOLDER/huge.gif: image too large: 20000x20000 (at "
                                    "most 8192 pixels a side and 4096x4096 pixels in all)\n";
    QTest::newRow("text after the signature")
        << QStringList{"garbage.gif"} << out << 2
        << "gif2swf: FOLDER/garbage.gif: unknown block in the file\n";
    QTest::newRow("header cut short") << QStringList{"header-cut.gif"} << out << 2
                                      << "gif2swf: FOLDER/header-cut.gif: truncated GIF header\n";
    QTest::newRow("image outside a screen of no size")
        << QStringList{"off-screen.gif"} << out << 2
        << "gif2swf: FOLDER/off-screen.gif: frame 1: image outside the screen, too far for a "
           "movie's picture: 10x10 at 60000,60000\n";
    QTest::newRow("folder is a file")
        << QStringList{"good.gif"} << "regular-file/movie.swf" << 3
        << "gif2swf: FOLDER/regular-file/movie.swf: cannot write output: not a directory";
    QTest::newRow("no such folder")
        << QStringList{"good.gif"} << "nowhere/movie.swf" << 3
        << "gif2swf: FOLDER/nowhere/movie.swf: cannot write output: no such file or directory";
    QTest::newRow("rate 0") << QStringList{"-r", "0", "good.gif"} << out << 1
                            << "gif2swf: -r 0: bad rate";
    QTest::newRow("rate -0.5") << QStringList{"-r", "-0.5", "good.gif"} << out << 1
                               << "gif2swf: -r -0.5: bad rate";
    QTest::newRow("rate 1000") << QStringList{"-r", "1000", "good.gif"} << out << 1
                               << "gif2swf: -r 1000: rate too high";
    QTest::newRow("rate with a comma")
        << QStringList{"-r", "2,5", "good.gif"} << out << 1 << "gif2swf: -r 2,5: bad rate";
    QTest::newRow("plays 65537") << QStringList{"--plays", "65537", "good.gif"} << out << 1
                                 << "gif2swf: --plays 65537: bad play count";
    QTest::newRow("scale 9") << QStringList{"--scale", "9", "good.gif"} << out << 1
                             << "gif2swf: --scale 9: bad scale";
    QTest::newRow("scale 801") << QStringList{"--scale", "801", "good.gif"} << out << 1
                               << "gif2swf: --scale 801: bad scale";
    QTest::newRow("background #FFFFFF") << QStringList{"--background", "#FFFFFF", "good.gif"} << out
                                        << 1 << "gif2swf: --background #FFFFFF: bad colour";
    QTest::newRow("background 12345G") << QStringList{"--background", "12345G", "good.gif"} << out
                                       << 1 << "gif2swf: --background 12345G: bad colour";
    QTest::newRow("scale twice") << QStringList{"--scale", "50", "--scale", "50", "good.gif"} << out
                                 << 1 << "gif2swf: --scale: option given twice";
    QTest::newRow("missing input list")
        << QStringList{"good.gif", "-l", "missing.list"} << out << 2
        << "gif2swf: FOLDER/missing.list: cannot open: no such file or directory";
    QTest::newRow("empty input list") << QStringList{"-l", "empty.list"} << out << 2
                                      << "gif2swf: FOLDER/empty.list: entry 1 is empty";
    QTest::newRow("empty entry in a list") << QStringList{"-l", "gap.list"} << out << 2
                                           << "gif2swf: FOLDER/gap.list: entry 3 is empty";
    QTest::newRow("list of NUL bytes") << QStringList{"-l", "nuls.list"} << out << 2
                                       << "gif2swf: FOLDER/nuls.list: entry 1 is empty";
    QTest::newRow("list longer than a movie")
        << QStringList{"-l", "long.list"} << out << 2
        << "gif2swf: FOLDER/long.list: movie too long: a movie holds at most 65535 frames: more "
           "than 65535 inputs";
    QTest::newRow("name with a newline") << QStringList{"new\nline.gif"} << out << 2
                                         << "gif2swf: FOLDER/new\\nline.gif: cannot open: ";
    QTest::newRow("unknown option")
        << QStringList{"-q", "good.gif"} << out << 1 << "gif2swf: -q: unknown option";
    // Faults of the converter itself, forced by the test build's hook.
    QTest::newRow("internal fault")
        << QStringList{"GIF2SWF_TEST_FAULT=exception", "good.gif"} << out << 4
        << "gif2swf: FOLDER/good.gif: internal error: fault injected for a test\n";
    QTest::newRow("exception escaping a thread")
        << QStringList{"GIF2SWF_TEST_FAULT=thread", "good.gif"} << out << 4
        << "gif2swf: FOLDER/good.gif: internal error: fault injected for a test\n";
    QTest::newRow("out of memory") << QStringList{"GIF2SWF_TEST_FAULT=memory", "good.gif"} << out
                                   << 4 << "gif2swf: FOLDER/good.gif: not enough memory\n";
}

void ErrorsTest::refusesAndLeavesNothing() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, output);
    QFETCH(int, status);
    QFETCH(QString, message);

    if (testrun::windowsConverter()) {
        // Windows reports a file in the place of a folder as a missing path.
        message.replace("not a directory", "no such file or directory");
    }
    const QString outputPath = dir_.filePath(output);
    QStringList args;
    QStringList environment;
    for (const QString& a : arguments) {
        if (a.contains('=')) {
            environment << a;
        } else {
            args << (a.endsWith(".gif") || a.endsWith(".list") ? dir_.filePath(a) : a);
        }
    }
    args << "-o" << outputPath;
    // An earlier movie where one can be, which a failed run must leave as it was.
    const bool earlier = QFileInfo(outputPath).dir().exists();
    if (earlier) {
        writeBytes(outputPath, kEarlierMovie);
    }
    const QStringList before = QDir(dir_.filePath("out")).entryList(QDir::Files | QDir::Hidden);

    const bool forcedFault = environment.filter("GIF2SWF_TEST_FAULT=").size() > 0;
    if (forcedFault && testrun::windowsConverter()) {
        QSKIP("the Windows package has no test hooks");
    }
    const testrun::Result run = forcedFault ? testrun::runTestingConverter(args, environment)
                                            : testrun::runConverter(args, environment);
    QCOMPARE(run.exitCode, status);
    const QString text = QString::fromUtf8(run.standardError);
    QVERIFY2(text.endsWith('\n') && text.count('\n') == 1, qPrintable(text));
    QVERIFY2(text.startsWith(QString(message).replace("FOLDER", dir_.path())), qPrintable(text));

    if (earlier) {
        QFile file(outputPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), kEarlierMovie);
    } else {
        QVERIFY(!QFileInfo::exists(outputPath));
    }
    QCOMPARE(QDir(dir_.filePath("out")).entryList(QDir::Files | QDir::Hidden), before);
}

void ErrorsTest::unwritableFolder() {
    if (testrun::windowsConverter()) {
        QSKIP("Windows has no POSIX folder permissions");
    }
#ifdef Q_OS_UNIX
    if (geteuid() == 0) {
        QSKIP("root writes into any folder");
    }
#endif
    QTemporaryDir locked;
    QVERIFY(QFile::setPermissions(locked.path(), QFile::ReadOwner | QFile::ExeOwner));
    const QString movie = locked.filePath("movie.swf");
    const testrun::Result run = testrun::runConverter({good_, "-o", movie});
    QFile::setPermissions(locked.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(run.exitCode, 3);
    QCOMPARE(QString::fromUtf8(run.standardError),
             "gif2swf: " + movie + ": cannot write output: permission denied\n");
    QVERIFY(QDir(locked.path()).isEmpty());
}

// Windows stops the converter without a signal it could catch (the system removes the file);
// on Linux it is asked to stop, as the application does.
void ErrorsTest::endedFromOutsideLeavesNoFile() {
    QTemporaryDir work;
    const QString big = work.filePath("big.gif");
    testgif::writeGif(big.toStdString(), patternFrames(4, 1024, 1024, 256));
    QVERIFY(QDir(work.path()).mkdir("out"));
    QDir out(work.filePath("out"));
    // Long enough to be ended long before it is done.
    QStringList args{"--progress", "-o", out.filePath("movie.swf")};
    for (int i = 0; i < 60; ++i) {
        args << big;
    }
    QProcess converter;
    testrun::startConverter(converter, args);
    QVERIFY(converter.waitForStarted());
    // Writing the movie (into a file with no name where the system has them).
    QTRY_VERIFY_WITH_TIMEOUT(converter.canReadLine(), 30000);
    QCOMPARE(converter.state(), QProcess::Running);
    QVERIFY(testrun::stopConverter(converter));
    QTRY_VERIFY2(out.entryList(QDir::Files | QDir::Hidden).isEmpty(),
                 qPrintable(out.entryList(QDir::Files | QDir::Hidden).join(' ')));
}

void ErrorsTest::namesWithSpacesQuotesAndNonAscii_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("missing");
    QTest::newRow("spaces and non-ASCII")
        << QString::fromUtf8("pic 1 é 日本.gif") << QString::fromUtf8("out/my movie ü.swf")
        << QString::fromUtf8("ñ q x.gif");
    QTest::newRow("double quotes")
        << QString::fromUtf8("pic \"1\" é.gif") << QString::fromUtf8("out/my \"movie\" ü.swf")
        << QString::fromUtf8("ñ \"q\" x.gif");
}

void ErrorsTest::namesWithSpacesQuotesAndNonAscii() {
    QFETCH(QString, input);
    QFETCH(QString, output);
    QFETCH(QString, missing);
    if (testrun::windowsConverter() && input.contains('"')) {
        QSKIP("Windows file names cannot contain a double quote");
    }
    const QString name = dir_.filePath(input);
    QVERIFY(QFile::copy(good_, name));
    const QString movie = dir_.filePath(output);
    writeBytes(movie, kEarlierMovie); // replaced by the new movie
    const testrun::Result run = testrun::runConverter({"-r", "2", name, "-o", movie});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(testrun::checkWithSwfParser(movie, 40, 30, 512, 3, 3), QString("ok"));

    // A missing file with such a name is named exactly.
    missing = dir_.filePath(missing);
    const testrun::Result failed = testrun::runConverter({missing, "-o", movie});
    QCOMPARE(failed.exitCode, 2);
    QCOMPARE(QString::fromUtf8(failed.standardError),
             "gif2swf: " + missing + ": cannot open: no such file or directory\n");
    QVERIFY(QFileInfo::exists(movie)); // the earlier movie stays
}

void ErrorsTest::inputListsTakeTheirPlaceAmongTheInputs() {
    // Names that a line-based list or a shell would break, each its own colour.
    QStringList names = {"first.gif", "a b.gif", QString::fromUtf8("é 日本.gif"), "middle.gif",
                         "last.gif"};
    if (!testrun::windowsConverter()) { // names that Windows refuses
        names.insert(2, "say \"hi\".gif");
        names.insert(2, "two\nlines.gif");
    }
    QTemporaryDir folder;
    QStringList paths;
    std::vector<uint32_t> colours;
    for (int i = 0; i < names.size(); ++i) {
        paths << folder.filePath(names[i]);
        const testgif::Rgb colour{uint8_t(30 * i), uint8_t(255 - 30 * i), 77};
        writeSolidGif(paths.last(), colour);
        colours.push_back(uint32_t(colour.r) << 16 | uint32_t(colour.g) << 8 | colour.b);
    }
    // Two lists between arguments; the second has no NUL after its last path.
    const int middle = int(names.indexOf("middle.gif"));
    QByteArray list1;
    for (int i = 1; i < middle; ++i) {
        list1 += QFile::encodeName(paths[i]) + '\0';
    }
    writeBytes(folder.filePath("one.list"), list1);
    writeBytes(folder.filePath("two.list"), QFile::encodeName(paths.last()));
    const QString movie = folder.filePath("movie.swf");
    const testrun::Result run =
        testrun::runConverter({"-r", "2", paths.first(), "-l", folder.filePath("one.list"),
                               paths[middle], "--list", folder.filePath("two.list"), "-o", movie});
    QVERIFY2(run.exitCode == 0, run.standardError.constData());

    const testswf::Playback playback = testswf::play(testswf::readFile(movie.toStdString()));
    QCOMPARE(int(playback.frames.size()), int(colours.size()));
    for (size_t i = 0; i < colours.size(); ++i) {
        QCOMPARE(playback.frames[i].front(), colours[i]);
    }
}

void ErrorsTest::helpListsExitStatusesAndLimits() {
    const testrun::Result help = testrun::runConverter({"--help"});
    QCOMPARE(help.exitCode, 0);
    for (const char* part :
         {"Usage: gif2swf [-r RATE] [-o OUTPUT] INPUT...", "  1  usage error", "  2  input error",
          "  3  output error", "  4  internal error", "8192 pixels a side", "-l, --list LIST",
          "each ended by a NUL byte", "is at most their size, or a warning"}) {
        QVERIFY2(help.standardError.contains(part), part);
    }
    // Read in an 80-column terminal: no line may wrap.
    for (const QByteArray& line : help.standardError.split('\n')) {
        QVERIFY2(line.size() <= 80, line.constData());
    }
    const testrun::Result version = testrun::runConverter({"-V"});
    QCOMPARE(version.exitCode, 0);
    QVERIFY(version.standardError.startsWith("gif2swf "));
}

void ErrorsTest::manualPageMatchesHelp() {
    const testrun::Result help = testrun::runConverter({"--help"});
    QFile page(qEnvironmentVariable("KORVANE_SOURCE_DIR") + "/gif2swf/gif2swf.1");
    QVERIFY2(page.open(QIODevice::ReadOnly), qPrintable(page.fileName()));
    const QStringList fromHelp = listedEntries(QString::fromUtf8(help.standardError), false);
    const QStringList fromPage = listedEntries(QString::fromUtf8(page.readAll()), true);
    QVERIFY(fromHelp.contains("-r, --rate RATE") && fromHelp.contains("3"));
    QStringList differences;
    for (const QString& entry : fromHelp) {
        if (!fromPage.contains(entry)) {
            differences << "only in --help:    " + entry;
        }
    }
    for (const QString& entry : fromPage) {
        if (!fromHelp.contains(entry)) {
            differences << "only in gif2swf.1: " + entry;
        }
    }
    QVERIFY2(differences.isEmpty(),
             qPrintable("gif2swf/gif2swf.1 is out of step with gif2swf --help (options and exit "
                        "statuses):\n" +
                        differences.join('\n')));
}

QTEST_GUILESS_MAIN(ErrorsTest)
#include "tst_gif2swf_errors.moc"
