// The real converter where a careless command or a changing file could cost the user data:
// an output that names an input, a list or a device; a file changed between the two passes;
// signals that end it; names too long for a suffix; a slide show whose timing needs rounding.
#include "ConverterRun.h"
#include "Errors.h"
#include "GifMaker.h"
#include "SwfPlayback.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

void writeGif(const QString& path, int width, int height, int frames, bool noise = false) {
    testgif::Gif gif{width, height, testgif::palette(256), 0, {}};
    uint32_t seed = 7;
    for (int i = 0; i < frames; ++i) {
        gif.frames.push_back(testgif::patternFrame(0, 0, width, height, 256, i));
        for (uint8_t& index : noise ? gif.frames.back().indices : std::vector<uint8_t>{}) {
            index = uint8_t((seed = seed * 1103515245u + 12345u) >> 24);
        }
    }
    testgif::writeGif(QFile::encodeName(path).toStdString(), gif);
}

#ifdef Q_OS_UNIX
// Runs the converter in a child of its own (under a file-size limit when `sizeLimit` is
// set) and returns its pid, so that a test can signal it and see the signal that ended it.
pid_t spawnConverter(const QStringList& arguments, rlim_t sizeLimit = RLIM_INFINITY) {
    std::vector<QByteArray> bytes{QFile::encodeName(testrun::converterPath())};
    for (const QString& a : arguments) {
        bytes.push_back(QFile::encodeName(a));
    }
    std::vector<char*> argv;
    for (QByteArray& b : bytes) {
        argv.push_back(b.data());
    }
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const rlimit limit{sizeLimit, sizeLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}
#endif

} // namespace

class SafetyTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void outputNeverReplacesAnInput_data();
    void outputNeverReplacesAnInput();
    void fileChangedBetweenPassesIsRefused();
    void signalsLeaveNoTemporaryFile_data();
    void signalsLeaveNoTemporaryFile();
    void longestLegalNameConverts();
    void slideShowIsRoundedNotRefused();
    void namesShowOnOneLine_data();
    void namesShowOnOneLine();
    void neverLargerThanTheGif_data();
    void neverLargerThanTheGif();

private:
    bool posixOnly();
    QTemporaryDir dir_;
};

bool SafetyTest::posixOnly() {
#ifdef Q_OS_UNIX
    return !testrun::windowsConverter();
#else
    return false;
#endif
}

void SafetyTest::initTestCase() {
    QVERIFY(dir_.isValid());
    writeGif(dir_.filePath("a.gif"), 40, 30, 3);
    writeGif(dir_.filePath("small.gif"), 16, 16, 1);
    writeGif(dir_.filePath("larger.gif"), 64, 64, 1);
    QVERIFY(QFile::copy(dir_.filePath("a.gif"), dir_.filePath("x.swf")));
    QFile list(dir_.filePath("inputs.list"));
    QVERIFY(list.open(QIODevice::WriteOnly));
    list.write(QFile::encodeName(dir_.filePath("a.gif")) + '\0');
}

void SafetyTest::outputNeverReplacesAnInput_data() {
    // Run in the temporary folder; VICTIM is the file that must stay as it is.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("victim");
    QTest::addColumn<QString>("message");
    QTest::newRow("output named as the input")
        << QStringList{"a.gif", "-o", "a.gif"} << "a.gif"
        << "gif2swf: a.gif: cannot write output: it is an input of the movie: a.gif";
    QTest::newRow("default output is the input")
        << QStringList{"x.swf"} << "x.swf"
        << "gif2swf: x.swf: cannot write output: it is an input of the movie: x.swf";
    QTest::newRow("output is a hard link to the input")
        << QStringList{"HARDLINK", "a.gif", "-o", "hard.swf"} << "a.gif"
        << "gif2swf: hard.swf: cannot write output: it is an input of the movie: a.gif";
    QTest::newRow("input is a symbolic link to the output")
        << QStringList{"SYMLINK", "link.gif", "-o", "a.gif"} << "a.gif"
        << "gif2swf: a.gif: cannot write output: it is an input of the movie: link.gif";
    QTest::newRow("output is the list")
        << QStringList{"-o", "inputs.list", "-l", "inputs.list"} << "inputs.list"
        << "gif2swf: inputs.list: cannot write output: it is an input list: inputs.list";
    QTest::newRow("output is a FIFO")
        << QStringList{"FIFO", "a.gif", "-o", "pipe.swf"} << "pipe.swf"
        << "gif2swf: pipe.swf: cannot write output: not a regular "
           "file: a FIFO";
    QTest::newRow("output is a folder") << QStringList{"a.gif", "-o", "."} << "."
                                        << "gif2swf: .: cannot write output: not a regular file: "
                                           "a folder";
}

void SafetyTest::outputNeverReplacesAnInput() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, victim);
    QFETCH(QString, message);
    if (!posixOnly()) {
        QSKIP("links and FIFOs are made with POSIX calls");
    }
#ifdef Q_OS_UNIX
    QVERIFY(QDir::setCurrent(dir_.path()));
    const QString made = arguments.front();
    if (made == "HARDLINK") {
        QFile::remove("hard.swf");
        QCOMPARE(link("a.gif", "hard.swf"), 0);
    } else if (made == "SYMLINK") {
        QFile::remove("link.gif");
        QVERIFY(QFile::link("a.gif", "link.gif"));
    } else if (made == "FIFO" && !QFileInfo::exists("pipe.swf")) {
        QCOMPARE(mkfifo("pipe.swf", 0600), 0);
    }
    if (made == made.toUpper()) {
        arguments.removeFirst();
    }
    const QByteArray before = QFileInfo(victim).isFile() ? readAll(victim) : QByteArray();
    const QStringList files = QDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::System);
    const testrun::Result run = testrun::runConverter(arguments);
    QCOMPARE(run.exitCode, 3);
    QCOMPARE(QString::fromUtf8(run.standardError), message + "\n");
    QCOMPARE(QFileInfo(victim).isFile() ? readAll(victim) : QByteArray(), before);
    QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::System), files);
    if (made == "FIFO") {
        struct stat status {};
        QVERIFY(lstat("pipe.swf", &status) == 0 && S_ISFIFO(status.st_mode));
    }
#endif
}

void SafetyTest::fileChangedBetweenPassesIsRefused() {
    if (!posixOnly()) {
        QSKIP("made with a FIFO");
    }
#ifdef Q_OS_UNIX
    // The FIFO gives a small GIF to the scan and a larger one to the decoding; the second
    // FIFO, read by the scan in between, holds the larger one back until the scan is done.
    const QString fifo = dir_.filePath("fed.gif");
    const QString gate = dir_.filePath("gate.gif");
    QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QCOMPARE(mkfifo(QFile::encodeName(gate).constData(), 0600), 0);
    QProcess feeder;
    feeder.start("sh", {"-c",
                        "cat \"$1\" > \"$3\"; cat \"$1\" > \"$4\"; cat \"$2\" > \"$3\"; "
                        "cat \"$1\" > \"$4\"",
                        "sh", dir_.filePath("small.gif"), dir_.filePath("larger.gif"), fifo, gate});
    QVERIFY(feeder.waitForStarted());
    const QString movie = dir_.filePath("fed.swf");
    const testrun::Result run = testrun::runConverter({fifo, gate, "-o", movie});
    feeder.kill();
    feeder.waitForFinished();
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(QString::fromUtf8(run.standardError),
             "gif2swf: " + fifo + ": changed while being converted\n");
    QVERIFY(!QFileInfo::exists(movie));
    QVERIFY(QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile());
#endif
}

void SafetyTest::signalsLeaveNoTemporaryFile_data() {
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGUSR1, sent") << int(SIGUSR1);
    QTest::newRow("SIGXFSZ, a file-size limit") << int(SIGXFSZ);
}

void SafetyTest::signalsLeaveNoTemporaryFile() {
    QFETCH(int, signalNumber);
    if (!posixOnly()) {
        QSKIP("POSIX signals");
    }
#ifdef Q_OS_UNIX
    QTemporaryDir out;
    const QString big = out.filePath("noise.gif");
    writeGif(big, 512, 512, 4, true);
    QDir folder(out.path());
    QVERIFY(folder.mkdir("movie"));
    QStringList arguments{"-o", out.filePath("movie/m.swf")};
    for (int i = 0; i < (signalNumber == SIGXFSZ ? 1 : 100); ++i) {
        arguments << big;
    }
    const pid_t pid =
        spawnConverter(arguments, signalNumber == SIGXFSZ ? 64 * 1024 : RLIM_INFINITY);
    QVERIFY(pid > 0);
    if (signalNumber == SIGUSR1) {
        QTRY_VERIFY_WITH_TIMEOUT(!QDir(out.filePath("movie")).isEmpty(), 30000);
        kill(pid, SIGUSR1);
    }
    int status = 0;
    QCOMPARE(waitpid(pid, &status, 0), pid);
    QVERIFY2(WIFSIGNALED(status), qPrintable(QString::number(status)));
    QCOMPARE(WTERMSIG(status), signalNumber);
    QCOMPARE(QDir(out.filePath("movie")).entryList(QDir::Files | QDir::Hidden), QStringList());
#endif
}

void SafetyTest::longestLegalNameConverts() {
    // 250 bytes: legal, but not with a 7-byte suffix for the temporary file.
    const QString movie = dir_.filePath(QString(246, 'm') + ".swf");
    const testrun::Result run = testrun::runConverter({dir_.filePath("a.gif"), "-o", movie});
    QVERIFY2(run.exitCode == 0, run.standardError.constData());
    QCOMPARE(testrun::checkWithSwfParser(movie, 40, 30, 2560, 3, 3), QString("ok"));
}

void SafetyTest::slideShowIsRoundedNotRefused() {
    // 101 images of 7 s and one of 3 hundredths: 70,003 frames at the exact 100 fps.
    testgif::Gif gif{8, 8, testgif::palette(102), 0, {}};
    for (int i = 0; i < 102; ++i) {
        testgif::Frame image;
        image.width = image.height = 8;
        image.indices.assign(64, uint8_t(i));
        image.delay = i == 50 ? 3 : 700;
        gif.frames.push_back(image);
    }
    const QString path = dir_.filePath("slides.gif");
    testgif::writeGif(path.toStdString(), gif);
    const QString movie = dir_.filePath("slides.swf");
    const testrun::Result run = testrun::runConverter({path, "-o", movie});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(QString::fromUtf8(run.standardError),
             "gif2swf: " + movie +
                 ": warning: timing rounded to 1/50 s: at most 0.01 s off per image\n");
    QCOMPARE(testrun::checkWithSwfParser(movie, 8, 8, 50 * 256, 101 * 350 + 2, 102, 1),
             QString("ok"));
    // Each image in order, for its delay within the 0.01 s stated.
    const testswf::Playback playback = testswf::play(testswf::readFile(movie.toStdString()));
    size_t frame = 0;
    for (int i = 0; i < 102; ++i) {
        const testgif::Rgb c = gif.globalColours[size_t(i)];
        const uint32_t colour = uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
        int frames = 0;
        while (frame < playback.frames.size() && playback.frames[frame].front() == colour) {
            ++frames;
            ++frame;
        }
        const double shown = frames * 256.0 / playback.frameRate;
        QVERIFY2(std::abs(shown - gif.frames[size_t(i)].delay / 100.0) <= 0.01 + 1e-9,
                 qPrintable(QString("image %1 shows %2 s").arg(i).arg(shown)));
    }
    QCOMPARE(frame, playback.frames.size());
}

void SafetyTest::namesShowOnOneLine_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("shown");
    QTest::newRow("newline, return, tab")
        << QByteArray("a\nb\rc\td") << QByteArray("a\\nb\\rc\\td");
    QTest::newRow("other control bytes") << QByteArray("a\x01\x1F") << QByteArray("a\\x01\\x1F");
    QTest::newRow("not UTF-8") << QByteArray("\xFF\xC3(\xC0\x80\xED\xA0\x80")
                               << QByteArray("\\xFF\\xC3(\\xC0\\x80\\xED\\xA0\\x80");
    QTest::newRow("UTF-8, quotes, backslashes kept")
        << QByteArray("é 日本 \"q\" C:\\x 😀") << QByteArray("é 日本 \"q\" C:\\x 😀");
}

void SafetyTest::namesShowOnOneLine() {
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, shown);
    QCOMPARE(QByteArray::fromStdString(gif2swf::printableName(name.toStdString())), shown);
}

void SafetyTest::neverLargerThanTheGif_data() {
    // The kinds whose movies came out larger than their GIFs: made by a program (OUT the GIF,
    // WHOLE a view panning over a smooth picture, written whole in 64 colours by ImageMagick,
    // "+dither" before WHOLE without dithering), or "flame".
    QTest::addColumn<QStringList>("madeBy");
    QTest::newRow("ImageMagick -layers optimize, panning")
        << QStringList{"convert", "+dither", "WHOLE", "-layers", "optimize", "OUT"};
    QTest::newRow("ImageMagick -layers optimizeplus, panning, dithered")
        << QStringList{"convert", "WHOLE", "-layers", "optimizeplus", "OUT"};
    QTest::newRow("ffmpeg, default palette")
        << QStringList{"ffmpeg", "-nostdin", "-v",
                       "error",  "-y",       "-f",
                       "lavfi",  "-i",       "testsrc2=size=160x120:rate=25",
                       "-t",     "2",        "OUT"};
    QTest::newRow("flame") << QStringList{"flame"};
    // One dithered picture large enough to go as tiles: each tile keeps to its rows' share.
    QTest::newRow("ImageMagick, one large dithered picture") << QStringList{
        "convert", "-size", "1000x1000", "gradient:red-blue", "-colors", "200", "OUT"};
}

void SafetyTest::neverLargerThanTheGif() {
    QFETCH(QStringList, madeBy);
    QTemporaryDir work;
    const QString gif = work.filePath("made.gif");
    if (madeBy.front() == "flame") {
        testgif::writeGif(gif.toStdString(), testgif::flame(128, 96, 40));
    } else {
        const QString scene = work.filePath("scene.png");
        QCOMPARE(testrun::runProgram({"convert", "-seed", "5", "-size", "400x200", "plasma:fractal",
                                      "-blur", "0x3", scene})
                     .exitCode,
                 0);
        QStringList views{"convert", scene};
        for (int i = 0; i < 30; ++i) {
            views << "("
                  << "-clone"
                  << "0"
                  << "-crop" << QString("240x180+%1+%2").arg(i * 5).arg(i / 2) << "+repage"
                  << ")";
        }
        views << "-delete"
              << "0"
              << "-delay"
              << "4"
              << "-loop"
              << "0";
        if (madeBy.removeAll("+dither") > 0) {
            views << "+dither";
        }
        const QString whole = work.filePath("whole.gif");
        QCOMPARE(testrun::runProgram(views + QStringList{"-colors", "64", whole}).exitCode, 0);
        madeBy.replaceInStrings(QRegularExpression("^WHOLE$"), whole);
        madeBy.replaceInStrings(QRegularExpression("^OUT$"), gif);
        const testrun::Result made = testrun::runProgram(madeBy);
        QVERIFY2(made.exitCode == 0, made.standardError.constData());
    }
    const qint64 gifBytes = QFileInfo(gif).size();
    QVERIFY2(gifBytes >= 10 * 1024, qPrintable(QString::number(gifBytes)));
    const QString movie = work.filePath("made.swf");
    const testrun::Result run = testrun::runConverter({gif, "-o", movie});
    QVERIFY2(run.exitCode == 0, run.standardError.constData());
    QVERIFY2(
        QFileInfo(movie).size() <= gifBytes,
        qPrintable(QString("%1 bytes for a GIF of %2").arg(QFileInfo(movie).size()).arg(gifBytes)));
}

QTEST_GUILESS_MAIN(SafetyTest)
#include "tst_gif2swf_safety.moc"
