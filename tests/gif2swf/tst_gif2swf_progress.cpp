// The converter's --progress lines, as the application reads them from its pipe: the real
// converter on real GIFs, and the rule that spaces the lines out under a clock of the test's.
#include "ConverterRun.h"
#include "GifMaker.h"
#include "Progress.h"
#include "SwfPlayback.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

testgif::Gif animation(int frames, int width, int height) {
    testgif::Gif gif;
    gif.width = width;
    gif.height = height;
    gif.globalColours = testgif::palette(64);
    for (int i = 0; i < frames; ++i) {
        gif.frames.push_back(testgif::patternFrame(0, 0, width, height, 64, i));
    }
    return gif;
}

} // namespace

class ProgressTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void linesFromTheConverter_data();
    void linesFromTheConverter();
    void noLinesWithoutTheOption();
    void linesAreSpacedOut_data();
    void linesAreSpacedOut();

private:
    QTemporaryDir dir_;
};

void ProgressTest::initTestCase() {
    QVERIFY(dir_.isValid());
    testgif::writeGif(dir_.filePath("long.gif").toStdString(), animation(300, 64, 48));
    testgif::writeGif(dir_.filePath("large.gif").toStdString(), animation(6, 1024, 768));
    testgif::writeGif(dir_.filePath("short.gif").toStdString(), animation(2, 16, 16));
}

void ProgressTest::linesFromTheConverter_data() {
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<int>("between"); // at least this many distinct values below TOTAL
    QTest::newRow("long animation") << QStringList{"long.gif"} << 50;
    QTest::newRow("many to one, large pictures")
        << QStringList{"-r", "3", "large.gif", "large.gif", "large.gif"} << 10;
    QTest::newRow("two frames") << QStringList{"short.gif"} << 0;
}

void ProgressTest::linesFromTheConverter() {
    QFETCH(QStringList, inputs);
    QFETCH(int, between);
    QStringList arguments{"--progress", "-o", dir_.filePath("movie.swf")};
    for (const QString& input : inputs) {
        arguments << (input.endsWith(".gif") ? dir_.filePath(input) : input);
    }
    const testrun::Result run = testrun::runConverter(arguments);
    QVERIFY2(run.exitCode == 0, run.standardError.constData());
    QVERIFY(run.standardOutput.endsWith('\n'));

    static const QRegularExpression form(QStringLiteral("^progress (\\d+)/(\\d+)$"));
    const QList<QByteArray> lines = run.standardOutput.chopped(1).split('\n');
    QVector<int> done;
    int total = -1;
    for (const QByteArray& line : lines) {
        const QRegularExpressionMatch match = form.match(QString::fromLatin1(line));
        QVERIFY2(match.hasMatch(), line.constData());
        QVERIFY(total < 0 || match.captured(2).toInt() == total);
        total = match.captured(2).toInt();
        QVERIFY2(done.isEmpty() || match.captured(1).toInt() > done.last(), line.constData());
        done << match.captured(1).toInt();
    }
    const testswf::Playback movie =
        testswf::play(testswf::readFile(dir_.filePath("movie.swf").toStdString()));
    QCOMPARE(total, int(movie.headerFrameCount));
    QCOMPARE(done.first(), 0);
    QCOMPARE(done.last(), total);
    QVERIFY2(done.size() - 2 >= between, qPrintable(QString::number(done.size())));
}

void ProgressTest::noLinesWithoutTheOption() {
    const testrun::Result run =
        testrun::runConverter({dir_.filePath("long.gif"), "-o", dir_.filePath("quiet.swf")});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.standardOutput, QByteArray());
}

void ProgressTest::linesAreSpacedOut_data() {
    // Updates as "DONE@MS" against a total of 1000; the lines expected, as DONE values.
    QTest::addColumn<QStringList>("updates");
    QTest::addColumn<QString>("lines");
    QTest::newRow("1 % steps") << QStringList{"0@0", "5@1", "10@2", "19@3", "20@4", "31@5"}
                               << "0 10 20 31";
    QTest::newRow("100 ms with a change")
        << QStringList{"0@0", "1@99", "2@100", "2@300", "3@301", "4@350"} << "0 2 3";
    QTest::newRow("the end always, once")
        << QStringList{"0@0", "999@1", "1000@2", "1000@500"} << "0 999 1000";
    QTest::newRow("never back") << QStringList{"0@0", "50@1", "40@200", "45@400"} << "0 50";
}

void ProgressTest::linesAreSpacedOut() {
    QFETCH(QStringList, updates);
    QFETCH(QString, lines);
    std::chrono::steady_clock::time_point now;
    QStringList written;
    gif2swf::ProgressLines progress(
        [&](const std::string& line) {
            QVERIFY(line.rfind("progress ", 0) == 0 && line.back() == '\n');
            written << QString::fromStdString(line.substr(9, line.find('/') - 9));
        },
        [&] { return now; });
    for (const QString& update : updates) {
        const QStringList parts = update.split('@');
        now = std::chrono::steady_clock::time_point(std::chrono::milliseconds(parts[1].toInt()));
        progress.update(parts[0].toUInt(), 1000);
    }
    QCOMPARE(written.join(' '), lines);
}

QTEST_GUILESS_MAIN(ProgressTest)
#include "tst_gif2swf_progress.moc"
