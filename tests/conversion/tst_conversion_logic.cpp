// The conversion run's plain decisions: command lines, frame rates, delay reading, output names,
// how an invocation is judged, and the texts the user reads.
#include "conversion/ArgumentSpace.h"
#include "conversion/ConversionRun.h"
#include "conversion/ConverterInvocation.h"
#include "conversion/ConverterProgress.h"
#include "conversion/ErrorReport.h"
#include "conversion/FrameRate.h"
#include "conversion/ProcessRunner.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace korvane;

namespace {

const QString S = QDir::separator();
const QString Q = QStringLiteral("\"");

// A native path from "/"-separated pieces.
QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

} // namespace

Q_DECLARE_METATYPE(korvane::MovieOptions)

class ConversionLogicTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void commandLine_data();
    void commandLine();
    void movieOptionArguments_data();
    void movieOptionArguments();
    void argumentsFit_data();
    void argumentsFit();
    void frameRate_data();
    void frameRate();
    void readDelay_data();
    void readDelay();
    void outputPath_data();
    void outputPath();
    void oneToOneMovieName_data();
    void oneToOneMovieName();
    void errorReport();
    void judgeInvocation_data();
    void judgeInvocation();
    void failureMessageListsAtMostTen();
    void leftoverOutputIsNotWrittenByThisRun();
    void windowStyle_data();
    void windowStyle();
    void startFailureCodes();
    void progressLines_data();
    void progressLines();
    void stoppedMessages();
};

// The worked example: application folder /App, output folder text /Out/ (with its trailing
// separator), delay 0.5, entries /G/a.gif and /G/b.gif.
void ConversionLogicTest::commandLine_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<QString>("movieName");
    QTest::addColumn<QString>("expectedLine");
    QTest::addColumn<QStringList>("expectedArguments");

    const QString app = Native("/App") + S + "gif2swf";
    const QString a = Native("/G/a.gif");
    const QString b = Native("/G/b.gif");
    const QString manyOut = Native("/Out/output.swf");
    const QString oneOut = Native("/Out/a.swf");
    QTest::newRow("many to one") << int(ConversionMode::ManyToOne) << QStringList{a, b}
                                 << "output.swf"
                                 << Q + app + Q + " -r " + "2" + " " + Q + a + Q + " " + Q + b + Q +
                                        " " + " -o " + Q + manyOut + Q
                                 << QStringList{"-r", "2", a, b, "-o", manyOut};
    QTest::newRow("one to one, first entry")
        << int(ConversionMode::OneToOne) << QStringList{a} << "a.swf"
        << Q + app + Q + " " + Q + a + Q + " " + "-o" + " " + Q + oneOut + Q
        << QStringList{a, "-o", oneOut};
    const QString odd = Native("/G/say \"hi\" $HOME ü.gif");
    QTest::newRow("quotes, blanks and non-ASCII reach the argument unchanged")
        << int(ConversionMode::OneToOne) << QStringList{odd} << "x.swf"
        << Q + app + Q + " " + Q + odd + Q + " -o " + Q + Native("/Out/x.swf") + Q
        << QStringList{odd, "-o", Native("/Out/x.swf")};
}

void ConversionLogicTest::commandLine() {
    QFETCH(int, mode);
    QFETCH(QStringList, inputs);
    QFETCH(QString, movieName);
    QFETCH(QString, expectedLine);
    QFETCH(QStringList, expectedArguments);

    const QString output = OutputPath(Native("/Out/"), movieName);
    const auto frameRate = FrameRateFromDelay(QStringLiteral("0.5"));
    const ConverterInvocation invocation = BuildConverterInvocation(
        ConversionMode(mode), ConverterPath(Native("/App")), frameRate.text, inputs, output);
    QCOMPARE(invocation.commandLine, expectedLine);
    QCOMPARE(invocation.program, Native("/App") + S + "gif2swf");
    QCOMPARE(invocation.arguments, expectedArguments);
}

// The movie options add only what the converter would not do by itself; the defaults give
// today's command lines.
void ConversionLogicTest::movieOptionArguments_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("inputCount");
    QTest::addColumn<MovieOptions>("options");
    QTest::addColumn<QStringList>("expected"); // before the inputs
    const int many = int(ConversionMode::ManyToOne);
    MovieOptions forEver{kManyToOneMovieName, false, kPlaysForEver};
    MovieOptions ownTiming{kManyToOneMovieName, true, kPlaysForEver};
    MovieOptions all{kManyToOneMovieName, false, kPlaysOnce, 200, QColor(0x33, 0x66, 0x99)};
    QTest::newRow("many to one as today") << many << 2 << forEver << QStringList{"-r", "2"};
    QTest::newRow("own timing, two GIFs loop anyway") << many << 2 << ownTiming << QStringList();
    QTest::newRow("own timing, one GIF") << many << 1 << ownTiming << QStringList{"--plays", "0"};
    QTest::newRow("once, 200 %, a colour")
        << many << 2 << all
        << QStringList{"-r", "2", "--plays", "1", "--scale", "200", "--background", "336699"};
    QTest::newRow("one to one as today")
        << int(ConversionMode::OneToOne) << 1 << MovieOptions() << QStringList();
}

void ConversionLogicTest::movieOptionArguments() {
    QFETCH(int, mode);
    QFETCH(int, inputCount);
    QFETCH(MovieOptions, options);
    QFETCH(QStringList, expected);
    const QStringList inputs = QStringList{"a.gif", "b.gif"}.mid(0, inputCount);
    const ConverterInvocation invocation =
        BuildConverterInvocation(ConversionMode(mode), QStringLiteral("gif2swf"),
                                 QStringLiteral("2"), inputs, QStringLiteral("o.swf"), options);
    QCOMPARE(invocation.arguments, (expected + inputs + QStringList{"-o", "o.swf"}));
    QCOMPARE(invocation.firstInput, expected.size());
    // The displayed line carries the same arguments.
    QVERIFY2(invocation.commandLine.contains(expected.join(' ')),
             qPrintable(invocation.commandLine));
}

// Both platforms' rules, on any platform, one unit either side of the limit.
void ConversionLogicTest::argumentsFit_data() {
    QTest::addColumn<int>("rule");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<qint64>("needed"); // the least space that fits
    QTest::addColumn<qint64>("perString");

    // Unix: each string's UTF-8 bytes with its NUL and an 8-byte pointer, the program's path
    // once more without one, and 100 bytes of environment. "/a/gif2swf": 11 + 8 + 11; "-r": 11;
    // "2": 10; "x é.gif": 9 + 8; "-o": 11; "o.swf": 6 + 8.
    const QStringList unixArguments = {"-r", "2", QString::fromUtf8("x é.gif"), "-o", "o.swf"};
    QTest::newRow("unix") << int(ArgumentRule::Unix) << "/a/gif2swf" << unixArguments
                          << qint64(100 + 30 + 11 + 10 + 17 + 11 + 14) << qint64(128 * 1024);
    // One string beyond its own limit never fits, however much space there is in all.
    QTest::newRow("unix, one string too long")
        << int(ArgumentRule::Unix) << "/a/gif2swf" << unixArguments << qint64(-1) << qint64(10);

    // Windows: the program, quoted for its blank, and a blank; each argument after a blank;
    // quoted when empty or with a blank; a quote escaped, the backslash before it doubled.
    // "C:\My K\gif2swf.exe": 19 + 2 + 1; "-r": 3; "2": 2; "x é.gif": 1 + 7 + 2; "": 3;
    // a"b: 1 + 4 + 2; then the NUL.
    QTest::newRow("windows") << int(ArgumentRule::Windows) << "C:\\My K\\gif2swf.exe"
                             << QStringList{"-r", "2", QString::fromUtf8("x é.gif"), "", "a\\\"b"}
                             << qint64(22 + 3 + 2 + 10 + 3 + 7 + 1) << qint64(0);
}

void ConversionLogicTest::argumentsFit() {
    QFETCH(int, rule);
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(qint64, needed);
    QFETCH(qint64, perString);

    ArgumentSpace space{ArgumentRule(rule), 0, perString, 100, 8};
    if (space.rule == ArgumentRule::Windows)
        space.environment = space.pointerSize = 0;
    if (needed < 0) {
        space.total = 1 << 30;
        QVERIFY(!ArgumentsFit(program, arguments, space));
        return;
    }
    space.total = needed;
    QVERIFY(ArgumentsFit(program, arguments, space));
    space.total = needed - 1;
    QVERIFY(!ArgumentsFit(program, arguments, space));
}

void ConversionLogicTest::frameRate_data() {
    QTest::addColumn<QString>("delay");
    QTest::addColumn<QString>("rate");
    QTest::addColumn<QString>("error");

    QTest::newRow("1") << "1"
                       << "1"
                       << "";
    QTest::newRow("0.5") << "0.5"
                         << "2"
                         << "";
    QTest::newRow("2") << "2"
                       << "0.5"
                       << "";
    QTest::newRow("3") << "3"
                       << "0.333333333333333"
                       << "";
    QTest::newRow("0.3") << "0.3"
                         << "3.33333333333333"
                         << "";
    QTest::newRow("1.5") << "1.5"
                         << "0.666666666666667"
                         << "";
    QTest::newRow("0.04") << "0.04"
                          << "25"
                          << "";
    QTest::newRow("trailing text") << "1.5s"
                                   << "0.666666666666667"
                                   << "";
    QTest::newRow("negative passes unchanged") << "-2"
                                               << "-0.5"
                                               << "";
    QTest::newRow("huge delay, exponent form") << "1e20"
                                               << "1E-20"
                                               << "";
    QTest::newRow("zero") << "0"
                          << ""
                          << "Division by zero";
    QTest::newRow("empty") << ""
                           << ""
                           << "Division by zero";
    QTest::newRow("no leading number") << "abc"
                                       << ""
                                       << "Division by zero";
    QTest::newRow("underflows to zero") << "1e-400"
                                        << ""
                                        << "Division by zero";
    QTest::newRow("delay beyond a double") << "1e400"
                                           << ""
                                           << "Overflow";
    QTest::newRow("quotient beyond a double") << "1e-310"
                                              << ""
                                              << "Overflow";
}

void ConversionLogicTest::frameRate() {
    QFETCH(QString, delay);
    QFETCH(QString, rate);
    QFETCH(QString, error);
    const FrameRate result = FrameRateFromDelay(delay);
    QCOMPARE(result.text, rate);
    QCOMPARE(result.error, error);
}

void ConversionLogicTest::readDelay_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");

    QTest::newRow("plain") << "0.5" << 0.5;
    QTest::newRow("unit after the number") << "1.5s" << 1.5;
    QTest::newRow("sign") << "-2" << -2.0;
    QTest::newRow("plus and bare fraction") << "+.5" << 0.5;
    QTest::newRow("blanks, tabs and line feeds skipped") << " 1 2\t.\n5" << 12.5;
    QTest::newRow("exponent") << "1e3" << 1000.0;
    QTest::newRow("negative exponent, upper case") << "25E-2" << 0.25;
    QTest::newRow("exponent without digits is text") << "2e" << 2.0;
    QTest::newRow("trailing point") << "3." << 3.0;
    QTest::newRow("letters") << "abc" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("point alone") << "." << 0.0;
    QTest::newRow("second point ends it") << "1.2.3" << 1.2;
    QTest::newRow("carriage return is not skipped") << "1\r2" << 1.0;
}

void ConversionLogicTest::readDelay() {
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(ReadDelay(text), value);
}

void ConversionLogicTest::outputPath_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("expected");

    QTest::newRow("trailing separator not doubled") << Native("/Out/") << Native("/Out/output.swf");
    QTest::newRow("no trailing separator") << Native("/Out") << Native("/Out/output.swf");
#ifdef Q_OS_WIN
    QTest::newRow("drive root") << "C:\\"
                                << "C:\\output.swf";
#else
    QTest::newRow("root") << "/"
                          << "/output.swf";
#endif
}

void ConversionLogicTest::outputPath() {
    QFETCH(QString, folder);
    QFETCH(QString, expected);
    QCOMPARE(OutputPath(folder, QStringLiteral("output.swf")), expected);
}

void ConversionLogicTest::oneToOneMovieName_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("movie");

    QTest::newRow("plain") << Native("/G/a.gif") << "a.swf";
    QTest::newRow("upper-case extension") << Native("/G/Cat.GIF") << "Cat.swf";
    QTest::newRow("last dot of the file name") << Native("/G/x.tar.gif") << "x.tar.swf";
    QTest::newRow("dot in a folder, none in the name") << Native("/G.d/anim") << "anim.swf";
    QTest::newRow("dot in a folder and in the name") << Native("/G.d/b.gif") << "b.swf";
    QTest::newRow("hidden file keeps its name") << Native("/G/.gif") << ".gif.swf";
}

void ConversionLogicTest::oneToOneMovieName() {
    QFETCH(QString, input);
    QFETCH(QString, movie);
    QCOMPARE(OneToOneMovieName(input), movie);
}

void ConversionLogicTest::errorReport() {
    QCOMPARE(ErrorReportText(kDivisionByZero, kStartLocation, 128),
             QStringLiteral("Division by zero\r\nin Korvane7/29/2014.Form1.Start at line 128\r\r"
                            "Please email screenshot of this message to "
                            "support@quenwick.example"));
}

void ConversionLogicTest::judgeInvocation_data() {
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("standardError");
    QTest::addColumn<bool>("crashed");
    QTest::addColumn<bool>("written");
    QTest::addColumn<QStringList>("blamed");
    QTest::addColumn<QString>("reason");

    const QString a = Native("/G/a.gif"), b = Native("/G/b.gif"), c = Native("/G/c.gif");
    const QByteArray bLine = "gif2swf: " + b.toUtf8() + ": not a GIF file";
    const QByteArray full = "gif2swf: " + Native("/Out/output.swf").toUtf8() +
                            ": cannot write output: no space left on device";
    const QString noSpace =
        "he movie could not be written to " + Native("/Out") + ": no space left on device.";
    QTest::newRow("exit 0 and written")
        << QStringList{a} << 0 << QByteArray() << false << true << QStringList{} << "";
    QTest::newRow("exit 0 with a warning")
        << QStringList{a} << 0 << QByteArray("warning\n") << false << true << QStringList{} << "";
    QTest::newRow("exit 0 but nothing written")
        << QStringList{a} << 0 << QByteArray() << false << false << QStringList{a}
        << "the converter wrote no output file";
    QTest::newRow("failure with the converter's line, last non-blank one")
        << QStringList{b} << 2 << QByteArray("note: x\n" + bLine + "\n\n") << false << false
        << QStringList{b} << "not a GIF file";
    QTest::newRow("failure even when the output exists")
        << QStringList{a} << 3 << QByteArray() << false << true << QStringList{a}
        << "the converter ended with exit status 3";
    QTest::newRow("many to one blames the input its line names")
        << QStringList{a, b, c} << 2 << bLine << false << false << QStringList{b}
        << "not a GIF file";
    QTest::newRow("many to one: a line naming no input is about the movie")
        << QStringList{a, b} << 2
        << QByteArray("gif2swf: -r 0.5: movie too long: at most 32767 images fit at this rate")
        << false << false << QStringList{""}
        << "Movie too long: at most 32767 images fit at this rate";
    QTest::newRow("many to one: a full disk is one failure of the movie")
        << QStringList{a, b} << 3 << full << false << false << QStringList{""} << "T" + noSpace;
    QTest::newRow("one to one: a full disk is the input's failure")
        << QStringList{a} << 3 << full << false << false << QStringList{a} << "t" + noSpace;
    QTest::newRow("missing converter")
        << QStringList{a} << StartFailureCode(kProgramNotFound) << QByteArray() << false << false
        << QStringList{a} << "the converter was not found";
    QTest::newRow("converter not executable")
        << QStringList{a} << StartFailureCode(kPermissionDenied) << QByteArray() << false << false
        << QStringList{a} << "the converter could not be started";
    QTest::newRow("crash") << QStringList{a} << 11 << QByteArray() << true << true << QStringList{a}
                           << "the converter crashed";
}

void ConversionLogicTest::judgeInvocation() {
    QFETCH(QStringList, inputs);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, standardError);
    QFETCH(bool, crashed);
    QFETCH(bool, written);
    QFETCH(QStringList, blamed);
    QFETCH(QString, reason);

    ProcessResult result;
    result.exitCode = exitCode;
    result.standardError = standardError;
    result.crashed = crashed;
    const QList<ConversionFailure> failures =
        JudgeInvocation(inputs, Native("/Out/output.swf"), result, written);
    QStringList blamedInputs;
    for (const ConversionFailure& failure : failures) {
        blamedInputs << failure.input;
        QCOMPARE(failure.reason, reason);
    }
    QCOMPARE(blamedInputs, blamed);
}

void ConversionLogicTest::failureMessageListsAtMostTen() {
    QCOMPARE(FailureMessage({{Native("/G/a.gif"), "why"}}),
             QStringLiteral("Conversion failed.\r\r") + Native("/G/a.gif: why"));

    QList<ConversionFailure> failures;
    for (int i = 1; i <= 12; ++i)
        failures.append({Native("/G/f%1.gif").arg(i), QStringLiteral("bad %1").arg(i)});
    const QStringList lines = FailureMessage(failures).split(QLatin1Char('\r'));
    QCOMPARE(lines.size(), 2 + 10 + 1);
    QCOMPARE(lines.at(0), QStringLiteral("Conversion failed."));
    QCOMPARE(lines.at(1), QString());
    QCOMPARE(lines.at(2), Native("/G/f1.gif: bad 1"));
    QCOMPARE(lines.at(11), Native("/G/f10.gif: bad 10"));
    QCOMPARE(lines.at(12), QStringLiteral("and 2 more"));
}

void ConversionLogicTest::leftoverOutputIsNotWrittenByThisRun() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString movie = dir.filePath(QStringLiteral("output.swf"));

    const FileStamp absent = StampFile(movie);
    QVERIFY(!WrittenSince(absent, movie));

    QFile file(movie);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("old");
    file.close();
    QVERIFY(WrittenSince(absent, movie)); // created by this run

    const FileStamp leftover = StampFile(movie);
    QVERIFY(!WrittenSince(leftover, movie)); // untouched: left over from before

    // Replaced the way the converter does it, by renaming a new file over the old one, at once:
    // the same size and, on a coarse clock, possibly the same time.
    const QString temporary = dir.filePath(QStringLiteral("output.swf.tmp"));
    QFile replacement(temporary);
    QVERIFY(replacement.open(QIODevice::WriteOnly));
    replacement.write("new");
    replacement.close();
    QVERIFY(QFile::remove(movie));
    QVERIFY(QFile::rename(temporary, movie));
    QVERIFY(WrittenSince(leftover, movie));
}

void ConversionLogicTest::windowStyle_data() {
    QTest::addColumn<std::optional<int>>("given");
    QTest::addColumn<int>("settled");
    QTest::newRow("absent") << std::optional<int>() << 6;
    QTest::newRow("below range") << std::optional<int>(-1) << 6;
    QTest::newRow("above range") << std::optional<int>(7) << 6;
    QTest::newRow("hidden stays") << std::optional<int>(0) << 0;
    QTest::newRow("in range stays") << std::optional<int>(3) << 3;
}

void ConversionLogicTest::windowStyle() {
    QFETCH(std::optional<int>, given);
    QFETCH(int, settled);
    QCOMPARE(SettleWindowStyle(given), settled);
}

void ConversionLogicTest::startFailureCodes() {
    QCOMPARE(StartFailureCode(kProgramNotFound), -2147221451);
    QVERIFY(IsStartFailureCode(StartFailureCode(kPermissionDenied)));
    QVERIFY(!IsStartFailureCode(0));
    QVERIFY(!IsStartFailureCode(-1));
    QVERIFY(!IsStartFailureCode(255));
}

void ConversionLogicTest::progressLines_data() {
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<QList<qint64>>("reports"); // done and total of each piece's last report,
                                                // -1 for a piece without one
    QTest::addColumn<QByteArray>("pending");
    using Pieces = QList<QByteArray>;
    using Reports = QList<qint64>;
    QTest::newRow("one line") << Pieces{"progress 0/40\n"} << Reports{0, 40} << QByteArray();
    QTest::newRow("the last of several")
        << Pieces{"progress 1/40\nprogress 7/40\n"} << Reports{7, 40} << QByteArray();
    QTest::newRow("split across pieces") << Pieces{"progress 3/4", "0\nprogr", "ess 40/40\n"}
                                         << Reports{-1, -1, 3, 40, 40, 40} << QByteArray();
    QTest::newRow("an unfinished line waits")
        << Pieces{"progress 2/40\nprogress 3/"} << Reports{2, 40} << QByteArray("progress 3/");
    QTest::newRow("other lines and bad numbers pass")
        << Pieces{"warning: x\nprogress 5/4\nprogress 1/0\nprogress a/4\nprogress -1/4\n"}
        << Reports{-1, -1} << QByteArray();
    QTest::newRow("a line too long for a report is passed over to its end")
        << Pieces{QByteArray(100, 'x'), "progress 1/2\n", "progress 2/2\n"}
        << Reports{-1, -1, -1, -1, 2, 2} << QByteArray();
}

void ConversionLogicTest::progressLines() {
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(QList<qint64>, reports);
    QFETCH(QByteArray, pending);
    QByteArray carried;
    QList<qint64> read;
    for (const QByteArray& piece : pieces) {
        const auto report = ReadProgressLines(carried, piece);
        read << (report ? report->done : -1) << (report ? report->total : -1);
    }
    QCOMPARE(read, reports);
    QCOMPARE(carried, pending);
    // The bar: the walk of the list first, then the frames, never full while they are written.
    QCOMPARE(ListWalkPercent(3, 3), kListWalkShare);
    QCOMPARE(ConverterPercent({0, 40}), kListWalkShare);
    QCOMPARE(ConverterPercent({20, 40}), kListWalkShare + (100 - kListWalkShare) / 2);
    QVERIFY(qRound(ConverterPercent({40, 40})) < 100);
}

void ConversionLogicTest::stoppedMessages() {
    QCOMPARE(OneToOneStoppedMessage(1, 3, Native("/Out/"),
                                    {{Native("/G/b.gif"), kStoppedWhileConverting},
                                     {Native("/G/c.gif"), kStoppedBeforeConverting}}),
             QStringLiteral("Conversion stopped.\r\rSWF files made: 1 of 3, in ") +
                 Native("/Out/") + QStringLiteral("\r\rNot made:\r") +
                 Native("/G/b.gif: stopped while it was converted\r/G/c.gif: stopped before it was "
                        "converted"));
    QCOMPARE(ManyToOneStoppedMessage(Native("/Out/output.swf"), false),
             QStringLiteral("Conversion stopped.\r\rSWF file not created: ") +
                 Native("/Out/output.swf"));
}

QTEST_GUILESS_MAIN(ConversionLogicTest)
#include "tst_conversion_logic.moc"
