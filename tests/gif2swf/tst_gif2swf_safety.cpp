// The real converter where a careless command or a changing file could cost the user data:
// an output that names an input, a list or a device; a file changed between the two passes;
// signals that end it; names too long for a suffix; a slide show whose timing needs rounding.
#include "ByteSource.h"
#include "ConverterRun.h"
#include "Errors.h"
#include "GifMaker.h"
#include "SwfPlayback.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <cstdio>
#include <fcntl.h>
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
// `output`: receives the read end of a pipe from its standard output. `closed`: descriptors
// the child starts without. `hook`: NAME=value, set for the converter with its test hooks.
pid_t spawnConverter(const QStringList& arguments, rlim_t sizeLimit = RLIM_INFINITY,
                     int* output = nullptr, const QList<int>& closed = {}, QByteArray hook = {}) {
    std::vector<QByteArray> bytes{
        QFile::encodeName(hook.isEmpty() ? testrun::converterPath()
                                         : qEnvironmentVariable("KORVANE_TESTING_CONVERTER"))};
    for (const QString& a : arguments) {
        bytes.push_back(QFile::encodeName(a));
    }
    std::vector<char*> argv;
    for (QByteArray& b : bytes) {
        argv.push_back(b.data());
    }
    argv.push_back(nullptr);
    int ends[2] = {-1, -1};
    if (output != nullptr && pipe(ends) != 0) {
        return -1;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        const rlimit limit{sizeLimit, sizeLimit};
        setrlimit(RLIMIT_FSIZE, &limit);
        if (output != nullptr) {
            dup2(ends[1], 1);
            close(ends[0]);
            close(ends[1]);
        }
        for (int fd : closed) {
            close(fd);
        }
        if (!hook.isEmpty()) {
            putenv(hook.data());
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (output != nullptr) {
        close(ends[1]);
        *output = ends[0];
    }
    return pid;
}

// The next line from a descriptor, without its newline; empty at the end.
QByteArray readLine(int fd) {
    QByteArray line;
    char c = 0;
    while (read(fd, &c, 1) == 1 && c != '\n') {
        line += c;
    }
    return line;
}

// Runs the converter with its test hooks (`hooks`: NAME=value) paused between its two passes
// until `change` has run: it waits for a byte through the FIFO `gate`.
template <typename Change>
testrun::Result runPaused(const QStringList& arguments, const QString& gate,
                          const QStringList& hooks, Change change) {
    QFile::remove(gate);
    mkfifo(QFile::encodeName(gate).constData(), 0600);
    QProcess process;
    process.setEnvironment(QProcessEnvironment::systemEnvironment().toStringList() + hooks +
                           QStringList{"GIF2SWF_TEST_PAUSE=" + gate});
    process.start(qEnvironmentVariable("KORVANE_TESTING_CONVERTER"), arguments);
    // Opening for writing succeeds only once the converter has the FIFO open for reading.
    const QByteArray fifo = QFile::encodeName(gate);
    int fd = -1;
    if (!QTest::qWaitFor([&] { return (fd = open(fifo.constData(), O_WRONLY | O_NONBLOCK)) >= 0; },
                         30000)) {
        process.kill(); // it never paused: it failed before, or hangs
    } else {
        change();
        if (write(fd, "+", 1) != 1) {
            process.kill();
        }
        close(fd);
    }
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
    }
    const QByteArray output = process.readAllStandardOutput();
    return {process.exitCode(), process.readAllStandardError() + output, output};
}
#endif

} // namespace

class SafetyTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void outputNeverReplacesAnInput_data();
    void outputNeverReplacesAnInput();
    void fileChangedBetweenPassesIsRefused_data();
    void fileChangedBetweenPassesIsRefused();
    void signalsLeaveNoTemporaryFile_data();
    void signalsLeaveNoTemporaryFile();
    void killedAtAnyMomentLeavesNothing();
    void closedStandardStreamsKeepTheMovieWhole_data();
    void closedStandardStreamsKeepTheMovieWhole();
    void pipesAreReadOnce_data();
    void pipesAreReadOnce();
    void tooLargeForAPipeIsRefused();
    void lastProgressLineOnlyOnceNamed_data();
    void lastProgressLineOnlyOnceNamed();
    void fewerThreadsGiveTheSameMovie();
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

void SafetyTest::fileChangedBetweenPassesIsRefused_data() {
    QTest::addColumn<QString>("change");
    QTest::newRow("a colour table rewritten in place, same size") << "rewrite";
    QTest::newRow("another file renamed over it") << "rename";
}

void SafetyTest::fileChangedBetweenPassesIsRefused() {
    QFETCH(QString, change);
    if (!posixOnly()) {
        QSKIP("the test hooks and FIFOs are POSIX");
    }
#ifdef Q_OS_UNIX
    // Three frames, the last with a colour table of its own: between the two passes, its
    // colours change (the same size, the same place) or another GIF takes the file's name.
    testgif::Gif gif{40, 30, testgif::palette(256), 0, {}};
    for (int i = 0; i < 3; ++i) {
        gif.frames.push_back(testgif::patternFrame(0, 0, 40, 30, 256, i));
    }
    gif.frames.back().localColours = testgif::palette(256, 9);
    const QString input = dir_.filePath("changing.gif");
    testgif::writeGif(QFile::encodeName(input).toStdString(), gif);
    gif.frames.back().localColours = testgif::palette(256, 10);
    const QString other = dir_.filePath("other.gif");
    testgif::writeGif(QFile::encodeName(other).toStdString(), gif);
    const QByteArray before = readAll(input);
    const QByteArray after = readAll(other);
    QCOMPARE(before.size(), after.size());
    const qint64 table = before.indexOf(
        QByteArray(reinterpret_cast<const char*>(testgif::palette(256, 9).data()), 256 * 3));
    QVERIFY(table > 0);

    const QString movie = dir_.filePath("changing.swf");
    const testrun::Result run = runPaused({input, "-o", movie}, dir_.filePath("gate"), {}, [&] {
        QFile file(input);
        if (change == "rename") {
            QCOMPARE(std::rename(QFile::encodeName(other), QFile::encodeName(input)), 0);
        } else {
            QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(table));
            QCOMPARE(file.write(after.mid(table, 256 * 3)), qint64(256 * 3));
        }
    });
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(QString::fromUtf8(run.standardError),
             "gif2swf: " + input + ": changed while being converted\n");
    QVERIFY(!QFileInfo::exists(movie));
    QCOMPARE(QFileInfo(input).size(), qint64(before.size()));
#endif
}

void SafetyTest::signalsLeaveNoTemporaryFile_data() {
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<bool>("named"); // a named temporary file, as on systems without unnamed ones
    QTest::newRow("SIGUSR1, sent") << int(SIGUSR1) << false;
    QTest::newRow("SIGXFSZ, a file-size limit") << int(SIGXFSZ) << false;
    QTest::newRow("SIGUSR1, sent, a named temporary file") << int(SIGUSR1) << true;
    QTest::newRow("SIGXFSZ, a named temporary file") << int(SIGXFSZ) << true;
}

void SafetyTest::signalsLeaveNoTemporaryFile() {
    QFETCH(int, signalNumber);
    QFETCH(bool, named);
    if (!posixOnly()) {
        QSKIP("POSIX signals");
    }
#ifdef Q_OS_UNIX
    QTemporaryDir out;
    const QString big = out.filePath("noise.gif");
    writeGif(big, 512, 512, 4, true);
    QDir folder(out.path());
    QVERIFY(folder.mkdir("movie"));
    const bool sent = signalNumber == SIGUSR1;
    QStringList arguments{"-o", out.filePath("movie/m.swf")};
    if (sent) {
        arguments << "--progress";
    }
    for (int i = 0; i < (sent ? 100 : 1); ++i) {
        arguments << big;
    }
    int progress = -1;
    const pid_t pid =
        spawnConverter(arguments, sent ? RLIM_INFINITY : 64 * 1024, sent ? &progress : nullptr, {},
                       named ? "GIF2SWF_TEST_NAMED=1" : QByteArray());
    QVERIFY(pid > 0);
    if (sent) {
        QVERIFY(readLine(progress).startsWith("progress 0/")); // the movie is being written
        QCOMPARE(QDir(out.filePath("movie")).isEmpty(), !named);
        kill(pid, SIGUSR1);
        close(progress);
    }
    int status = 0;
    QCOMPARE(waitpid(pid, &status, 0), pid);
    QVERIFY2(WIFSIGNALED(status), qPrintable(QString::number(status)));
    QCOMPARE(WTERMSIG(status), signalNumber);
    QCOMPARE(QDir(out.filePath("movie")).entryList(QDir::Files | QDir::Hidden), QStringList());
#endif
}

void SafetyTest::killedAtAnyMomentLeavesNothing() {
#ifndef Q_OS_LINUX
    QSKIP("a file without a name until it is complete is Linux's");
#else
    if (!posixOnly()) {
        QSKIP("POSIX signals");
    }
    QTemporaryDir out;
    const QString big = out.filePath("noise.gif");
    writeGif(big, 512, 512, 4, true);
    QStringList arguments{"--progress", "-o", out.filePath("movie/m.swf")};
    for (int i = 0; i < 20; ++i) {
        arguments << big;
    }
    QDir folder(out.filePath("movie"));
    QVERIFY(QDir(out.path()).mkdir("movie"));
    for (int run = 0; run < 20; ++run) {
        int progress = -1;
        const pid_t pid = spawnConverter(arguments, RLIM_INFINITY, &progress);
        QVERIFY(pid > 0);
        // A random moment: at once, or once a random share of the frames is written.
        const int share = QRandomGenerator::global()->bounded(-10, 100);
        QByteArray line;
        int total = 0;
        while (share >= 0 && !(line = readLine(progress)).isEmpty()) {
            const QList<QByteArray> counts = line.mid(9).split('/');
            total = counts.value(1).toInt();
            if (counts.value(0).toInt() * 100 >= share * total) {
                break;
            }
        }
        kill(pid, SIGKILL);
        close(progress);
        int status = 0;
        QCOMPARE(waitpid(pid, &status, 0), pid);
        // Nothing, or the whole movie where it was named before the kill.
        const QStringList left =
            folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
        if (!left.isEmpty()) {
            QCOMPARE(left, QStringList{"m.swf"});
            const QByteArray movie = readAll(folder.filePath("m.swf"));
            QVERIFY(movie.startsWith("FWS"));
            QCOMPARE(qFromLittleEndian<quint32>(movie.constData() + 4), quint32(movie.size()));
            QVERIFY(folder.remove("m.swf"));
        }
    }
#endif
}

void SafetyTest::closedStandardStreamsKeepTheMovieWhole_data() {
    QTest::addColumn<QList<int>>("closed");
    QTest::newRow("standard output") << QList<int>{1};
    QTest::newRow("standard error") << QList<int>{2};
    QTest::newRow("all three") << QList<int>{0, 1, 2};
}

void SafetyTest::closedStandardStreamsKeepTheMovieWhole() {
    QFETCH(QList<int>, closed);
    if (!posixOnly()) {
        QSKIP("descriptors closed with POSIX calls");
    }
#ifdef Q_OS_UNIX
    // No colour table: a warning on standard error, progress lines on standard output.
    testgif::Gif gif{40, 30, {}, 0, {}};
    for (int i = 0; i < 3; ++i) {
        gif.frames.push_back(testgif::patternFrame(0, 0, 40, 30, 256, i));
    }
    QTemporaryDir out;
    const QString input = out.filePath("grey.gif");
    testgif::writeGif(QFile::encodeName(input).toStdString(), gif);
    const QString movie = out.filePath("grey.swf");
    const pid_t pid =
        spawnConverter({"--progress", input, "-o", movie}, RLIM_INFINITY, nullptr, closed);
    int status = 0;
    QCOMPARE(waitpid(pid, &status, 0), pid);
    QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    QVERIFY(readAll(movie).startsWith("FWS"));
    QCOMPARE(testrun::checkWithSwfParser(movie, 40, 30, 2560, 3, 3), QString("ok"));
    QCOMPARE(QDir(out.path()).entryList(QDir::Files), (QStringList{"grey.gif", "grey.swf"}));
#endif
}

void SafetyTest::pipesAreReadOnce_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("times"); // given this many times, one movie
    QTest::newRow("a FIFO written once") << "FIFO" << 1;
    QTest::newRow("a FIFO written once, given twice") << "FIFO" << 2;
    QTest::newRow("-, standard input") << "-" << 1;
    QTest::newRow("/dev/stdin, a pipe") << "/dev/stdin" << 1;
}

void SafetyTest::pipesAreReadOnce() {
    QFETCH(QString, input);
    QFETCH(int, times);
    if (input != "-" && !posixOnly()) {
        QSKIP("FIFOs and /dev/stdin are POSIX");
    }
    const QString gif = dir_.filePath("a.gif");
    const QString expected = dir_.filePath("from-file.swf");
    QCOMPARE(testrun::runConverter(QStringList(times, gif) + QStringList{"-o", expected}).exitCode,
             0);
    const QString movie = dir_.filePath("from-pipe.swf");
    QProcess feeder;
#ifdef Q_OS_UNIX
    if (input == "FIFO") {
        input = dir_.filePath("fifo.gif");
        QFile::remove(input);
        QCOMPARE(mkfifo(QFile::encodeName(input).constData(), 0600), 0);
        feeder.start("sh", {"-c", "cat \"$1\" > \"$2\"", "sh", gif, input});
        QVERIFY(feeder.waitForStarted());
    }
#endif
    QProcess converter;
    testrun::startConverter(converter, QStringList(times, input) + QStringList{"-o", movie});
    QVERIFY(converter.waitForStarted());
    if (feeder.state() == QProcess::NotRunning) {
        converter.write(readAll(gif));
        converter.closeWriteChannel();
    }
    QVERIFY(converter.waitForFinished(30000));
    QVERIFY2(converter.exitCode() == 0, converter.readAllStandardError().constData());
    QVERIFY(feeder.state() == QProcess::NotRunning || feeder.waitForFinished(30000));
    QCOMPARE(readAll(movie), readAll(expected));
}

void SafetyTest::tooLargeForAPipeIsRefused() {
    const QString path = dir_.filePath("a.gif");
    try {
        gif2swf::readWhole(path.toStdString(), 50);
        QFAIL("read more than its limit");
    } catch (const gif2swf::ConvertError& error) {
        QCOMPARE(QString::fromStdString(gif2swf::formatMessage(error)),
                 "gif2swf: " + path + ": too large to read from a pipe: at most 50 bytes");
    }
    const std::vector<uint8_t> whole = gif2swf::readWhole(path.toStdString(), 100000);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(whole.data()), int(whole.size())),
             readAll(path));
}

void SafetyTest::lastProgressLineOnlyOnceNamed_data() {
    // What happens to the output's folder during the run; `named`: a named temporary file, as
    // on systems without files with no name; what the folder (or the one it was renamed to)
    // holds at the end.
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("named");
    QTest::addColumn<QStringList>("left");
    QTest::newRow("the movie named") << "" << false << QStringList{"m.swf"};
    QTest::newRow("the movie named, from a named temporary file")
        << "" << true << QStringList{"m.swf"};
    QTest::newRow("the name taken by a folder") << "taken" << false << QStringList{"m.swf"};
    QTest::newRow("the folder renamed") << "renamed" << false << QStringList{};
    QTest::newRow("the folder renamed, a named temporary file")
        << "renamed" << true << QStringList{};
}

void SafetyTest::lastProgressLineOnlyOnceNamed() {
    QFETCH(QString, change);
    QFETCH(bool, named);
    QFETCH(QStringList, left);
    if (!posixOnly()) {
        QSKIP("the test hooks and FIFOs are POSIX");
    }
#ifdef Q_OS_UNIX
    QTemporaryDir out;
    QVERIFY(QDir(out.path()).mkdir("movie"));
    const QString movie = out.filePath("movie/m.swf");
    const testrun::Result run =
        runPaused({"--progress", dir_.filePath("a.gif"), "-o", movie}, dir_.filePath("gate"),
                  named ? QStringList{"GIF2SWF_TEST_NAMED=1"} : QStringList{}, [&] {
                      QVERIFY(change != "taken" || QDir(out.path()).mkdir("movie/m.swf"));
                      QVERIFY(change != "renamed" || QDir(out.path()).rename("movie", "moved"));
                  });
    // The whole count only once the movie has its name.
    QCOMPARE(run.exitCode, change.isEmpty() ? 0 : 3);
    QCOMPARE(run.standardOutput.split('\n').value(3),
             QByteArray(change.isEmpty() ? "progress 3/3" : ""));
    const QDir folder(out.filePath(change == "renamed" ? "moved" : "movie"));
    QCOMPARE(folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), left);
    QVERIFY(change != "renamed" || !QFileInfo::exists(out.filePath("movie")));
#endif
}

void SafetyTest::fewerThreadsGiveTheSameMovie() {
    if (!posixOnly()) {
        QSKIP("the test hooks are in the Linux build");
    }
    // Large enough for threads: with none, only the writer, or one worker of two.
    const QString gif = dir_.filePath("noise.gif");
    writeGif(gif, 512, 512, 3, true);
    const QString expected = dir_.filePath("threads.swf");
    QCOMPARE(testrun::runConverter({gif, "-o", expected}).exitCode, 0);
    for (const char* threads : {"0", "1", "2"}) {
        const QString movie = dir_.filePath(QString("threads-%1.swf").arg(threads));
        const testrun::Result run = testrun::runTestingConverter(
            {gif, "-o", movie}, {QString("GIF2SWF_TEST_THREADS=") + threads});
        QVERIFY2(run.exitCode == 0, run.standardError.constData());
        QCOMPARE(run.standardError, QByteArray());
        QCOMPARE(readAll(movie), readAll(expected));
    }
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
    QTest::newRow("DEL, C1 controls")
        << QByteArray("a\x7F\xC2\x85\xC2\x9B") << QByteArray("a\\x7F\\u0085\\u009B");
    QTest::newRow("line and paragraph separators")
        << QByteArray("a\u2028b\u2029") << QByteArray("a\\u2028b\\u2029");
    QTest::newRow("bidirectional controls")
        << QByteArray(
               "\u202A\u202B\u202C\u202D\u202Egif.exe\u2066\u2067\u2068\u2069\u200E\u200F\u061C")
        << QByteArray("\\u202A\\u202B\\u202C\\u202D\\u202Egif.exe\\u2066\\u2067\\u2068\\u2069"
                      "\\u200E\\u200F\\u061C");
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
    // "+dither" before WHOLE without dithering), or "flame" and "small flame".
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
    // Small frames with one global colour table, which every frame's bitmap would repeat.
    QTest::newRow("small frames, one global palette") << QStringList{"small flame"};
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
    } else if (madeBy.front() == "small flame") {
        testgif::writeGif(gif.toStdString(), testgif::flame(30, 60, 33));
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
