// The movie reader on movies the real converter makes: every frame it draws equals the GIF as
// ImageMagick composites it over white; play counts; and the refusals, each with its sentence.
#include "../gif2swf/ConverterRun.h"
#include "GifMaker.h"
#include "movie/Movie.h"

#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <functional>

using korvane::movie::Movie;
using korvane::movie::Playhead;

namespace {

testgif::Gif patches() { // small changes over a still picture, each left in place
    testgif::Gif gif{60, 40, testgif::palette(16, 1), 0, {}, 0};
    gif.frames.push_back(testgif::patternFrame(0, 0, 60, 40, 16, 1));
    for (int i = 0; i < 5; ++i) {
        gif.frames.push_back(testgif::patternFrame(3 + i * 9, 2 + i * 5, 7, 6, 16, 10 + i));
        gif.frames.back().disposal = 1;
    }
    return gif;
}

testgif::Gif largeTiles() { // more pixels than one bitmap tile holds
    testgif::Gif gif{700, 400, testgif::palette(64, 2), 0, {}, -1};
    gif.frames.push_back(testgif::patternFrame(0, 0, 700, 400, 64, 3));
    gif.frames.push_back(testgif::patternFrame(0, 0, 700, 400, 64, 4));
    return gif;
}

testgif::Gif transparency() { // see-through sprites disposed of to background and previous
    testgif::Gif gif{37, 21, testgif::palette(8, 3), 0, {}, 2};
    gif.frames.push_back(testgif::patternFrame(0, 0, 37, 21, 8, 5));
    gif.frames.front().transparent = 0;
    for (int i = 0; i < 4; ++i) {
        gif.frames.push_back(testgif::patternFrame(i * 5, i * 3, 13, 9, 8, 6 + i));
        gif.frames.back().transparent = 1;
        gif.frames.back().disposal = i % 2 == 0 ? 2 : 3;
    }
    return gif;
}

testgif::Gif manyColours() { // two halves with tables of their own: 512 colours on the stage
    testgif::Gif gif{64, 32, {}, 0, {}, -1};
    for (int half = 0; half < 2; ++half) {
        testgif::Frame frame = testgif::patternFrame(half * 32, 0, 32, 32, 256, 20 + half);
        frame.localColours = testgif::palette(256, 30 + half);
        frame.disposal = 1;
        gif.frames.push_back(frame);
    }
    return gif;
}

QString writeGif(const QString& folder, const QString& name, const testgif::Gif& gif) {
    const QString path = folder + QLatin1Char('/') + name;
    testgif::writeGif(QFile::encodeName(path).toStdString(), gif);
    return path;
}

QString convert(const QStringList& arguments) {
    const testrun::Result result = testrun::runConverter(arguments);
    return result.exitCode == 0 ? QString() : QString::fromUtf8(result.standardError);
}

std::vector<uint32_t> rgbOf(const QImage& image) {
    std::vector<uint32_t> rgb;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            rgb.push_back(line[x] & 0xFFFFFF);
        }
    }
    return rgb;
}

struct Tag {
    int code = 0;
    int start = 0; // of its header
    int body = 0;
    int length = 0;
};

// An uncompressed movie's tags, in order.
QList<Tag> tagsOf(const QByteArray& movie) {
    QList<Tag> tags;
    int at = 8 + (5 + 4 * (uchar(movie[8]) >> 3) + 7) / 8 + 4;
    while (at + 2 <= movie.size()) {
        Tag tag{qFromLittleEndian<quint16>(movie.constData() + at) >> 6, at, at + 2, 0};
        tag.length = uchar(movie[at]) & 0x3F;
        if (tag.length == 0x3F) {
            tag.length = int(qFromLittleEndian<quint32>(movie.constData() + at + 2));
            tag.body += 4;
        }
        tags.append(tag);
        at = tag.body + tag.length;
    }
    return tags;
}

// The same movie, compressed as other tools write it.
QByteArray compressed(const QByteArray& movie) {
    QByteArray out = movie.left(8);
    out[0] = 'C';
    return out + qCompress(movie.mid(8), 9).mid(4); // without Qt's length prefix
}

} // namespace

class MovieReaderTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void framesEqualTheGif_data();
    void framesEqualTheGif();
    void playCounts_data();
    void playCounts();
    void refusals_data();
    void refusals();

private:
    QTemporaryDir dir_;
};

void MovieReaderTest::framesEqualTheGif_data() {
    QTest::addColumn<QList<std::function<testgif::Gif()>>>("gifs");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("compress");
    QTest::addColumn<int>("scale"); // the stage's, enlarged by the player
    using Maker = std::function<testgif::Gif()>;
    QTest::newRow("patches") << QList<Maker>{patches} << QStringList() << false << 1;
    QTest::newRow("tiles of a large picture")
        << QList<Maker>{largeTiles} << QStringList() << false << 1;
    QTest::newRow("transparency, odd width")
        << QList<Maker>{transparency} << QStringList() << false << 1;
    QTest::newRow("more than 256 colours")
        << QList<Maker>{manyColours} << QStringList() << false << 1;
    QTest::newRow("compressed movie") << QList<Maker>{patches} << QStringList() << true << 1;
    QTest::newRow("two-colour noise, pictures side by side")
        << QList<Maker>{[] { return testgif::life(150, 120, 6, 80); }} << QStringList() << false
        << 1;
    QTest::newRow("many to one with a delay")
        << QList<Maker>{transparency, patches, manyColours} << QStringList{"-r", "2"} << false << 1;
    QTest::newRow("scaled, on a coloured stage")
        << QList<Maker>{patches} << QStringList{"--scale", "300", "--background", "336699"} << false
        << 3;
}

void MovieReaderTest::framesEqualTheGif() {
    QFETCH(QList<std::function<testgif::Gif()>>, gifs);
    QFETCH(QStringList, options);
    QFETCH(bool, compress);
    QFETCH(int, scale);
    const QString movie = dir_.filePath(QStringLiteral("%1.swf").arg(QTest::currentDataTag()));
    QStringList arguments = options;
    std::vector<testrun::Coalesced> inputs;
    int width = 0, height = 0;
    for (int i = 0; i < gifs.size(); ++i) {
        arguments << writeGif(dir_.path(), QStringLiteral("in%1.gif").arg(i), gifs[i]());
        inputs.push_back(testrun::coalesceWithImageMagick(arguments.last(), dir_.path()));
        width = std::max(width, inputs.back().width);
        height = std::max(height, inputs.back().height);
    }
    std::vector<std::vector<uint32_t>> expected;
    for (const testrun::Coalesced& input : inputs) {
        for (const auto& frame : input.frames) { // smaller pictures sit top left on white
            std::vector<uint32_t> staged(size_t(width) * size_t(height), 0xFFFFFF);
            for (int y = 0; y < input.height; ++y) {
                std::copy_n(frame.begin() + y * input.width, input.width,
                            staged.begin() + y * width);
            }
            std::vector<uint32_t> scaled; // each pixel a square of scale x scale
            for (int y = 0; y < height * scale; ++y) {
                for (int x = 0; x < width * scale; ++x)
                    scaled.push_back(staged[size_t(y / scale * width + x / scale)]);
            }
            expected.push_back(scaled);
        }
    }
    QCOMPARE(convert(arguments << QStringLiteral("-o") << movie), QString());
    QString refusal;
    std::unique_ptr<Movie> reader;
    if (compress) {
        QFile file(movie);
        QVERIFY(file.open(QIODevice::ReadOnly));
        reader = Movie::read(compressed(file.readAll()), refusal);
    } else {
        reader = Movie::readFile(movie, refusal);
    }
    QVERIFY2(reader, qPrintable(refusal));
    QCOMPARE(reader->width(), width * scale);
    QCOMPARE(reader->height(), height * scale);
    QCOMPARE(reader->background(), scale == 1 ? qRgb(255, 255, 255) : qRgb(0x33, 0x66, 0x99));
    QCOMPARE(reader->frameCount(), int(expected.size()));
    QImage stage;
    // Backwards too, which replays the display list from the start.
    for (int k : {0, reader->frameCount() - 1}) {
        QVERIFY(reader->draw(k, stage));
    }
    reader->setCacheLimit(40000); // most bitmaps decoded again for each frame
    for (int k = 0; k < reader->frameCount(); ++k) {
        QVERIFY2(reader->draw(k, stage, &refusal), qPrintable(refusal));
        QVERIFY2(rgbOf(stage) == expected[size_t(k)],
                 qPrintable(QStringLiteral("frame %1").arg(k)));
        QVERIFY(reader->cachedBytes() <= 40000);
    }
}

void MovieReaderTest::playCounts_data() {
    QTest::addColumn<int>("loopCount"); // of the GIF; -1: none
    QTest::addColumn<int>("plays");     // 0: for ever
    QTest::addColumn<QStringList>("options");
    QTest::newRow("once") << -1 << 1 << QStringList();
    QTest::newRow("3 times") << 2 << 3 << QStringList();
    QTest::newRow("for ever") << 0 << 0 << QStringList();
    QTest::newRow("--plays 2 over for ever") << 0 << 2 << QStringList{"--plays", "2"};
}

void MovieReaderTest::playCounts() {
    QFETCH(int, loopCount);
    QFETCH(int, plays);
    QFETCH(QStringList, options);
    testgif::Gif gif = patches();
    gif.loopCount = loopCount;
    const QString movie = dir_.filePath(QStringLiteral("plays%1.swf").arg(plays));
    QCOMPARE(convert(options + QStringList{writeGif(dir_.path(), QStringLiteral("plays.gif"), gif),
                                           "-o", movie}),
             QString());
    QString refusal;
    const auto reader = Movie::readFile(movie, refusal);
    QVERIFY2(reader, qPrintable(refusal));
    QCOMPARE(reader->plays(), uint32_t(plays));
    QCOMPARE(reader->frameRateFixed(), uint16_t(10 * 256));
    Playhead playhead(*reader);
    int ticks = 0;
    while (playhead.playing() && ticks < 20 * reader->frameCount()) {
        playhead.tick();
        ++ticks;
    }
    if (plays == 0) {
        QVERIFY(playhead.playing());
        return;
    }
    // Stopped on the last frame, after showing every frame `plays` times.
    QCOMPARE(ticks, plays * reader->frameCount() - 1);
    QCOMPARE(playhead.frame(), reader->frameCount() - 1);
    playhead.play(); // plays again from the start
    QVERIFY(playhead.playing());
    QCOMPARE(playhead.frame(), 0);
}

void MovieReaderTest::refusals_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("sentence");
    QTest::newRow("ffmpeg's own movie")
        << "ffmpeg"
        << "Frame 1 uses a video stream, which Korvane's preview cannot show. A Flash player such "
           "as Ruffle can.";
    QTest::newRow("cut short")
        << "cut"
        << "The movie is cut short in frame 3, so Korvane's preview cannot show it.";
    QTest::newRow("gradient")
        << "gradient"
        << "Frame 1 uses a shape with a gradient fill, which Korvane's preview cannot show. A "
           "Flash player such as Ruffle can.";
    QTest::newRow("damaged bitmap")
        << "bitmap"
        << "The movie is damaged in frame 1 (a bitmap cannot be decoded), so Korvane's preview "
           "cannot show it.";
    QTest::newRow("not a movie") << "gif"
                                 << "The file is not a Flash movie.";
}

void MovieReaderTest::refusals() {
    QFETCH(QString, kind);
    QFETCH(QString, sentence);
    const QString gif = writeGif(dir_.path(), QStringLiteral("refused.gif"), patches());
    const QString movie = dir_.filePath(kind + QStringLiteral(".swf"));
    QByteArray bytes;
    if (kind == QLatin1String("ffmpeg")) {
        QCOMPARE(testrun::runProgram({"ffmpeg", "-v", "error", "-y", "-i", gif, movie}).exitCode,
                 0);
    } else if (kind == QLatin1String("cut") || kind == QLatin1String("bitmap")) {
        QCOMPARE(convert({gif, "-o", movie}), QString());
        QFile file(movie);
        QVERIFY(file.open(QIODevice::ReadOnly));
        bytes = file.readAll();
        int frames = 0;
        for (const Tag& tag : tagsOf(bytes)) {
            if (kind == QLatin1String("cut") && frames == 2) {
                bytes.truncate(tag.start + 3); // in the first tag after the second frame
                break;
            }
            if (kind == QLatin1String("bitmap") && (tag.code == 20 || tag.code == 36)) {
                // The first bitmap's deflated pixels made invalid after the zlib header.
                bytes.replace(tag.body + 10, tag.length - 10, QByteArray(tag.length - 10, '\xff'));
                break;
            }
            frames += tag.code == 1;
        }
    } else if (kind == QLatin1String("gradient")) {
        // A 1 x 1 pixel stage; a shape with a linear gradient of two stops, no outline.
        // clang-format off
        bytes = QByteArray::fromHex("46575308" "00000000" "300a00a0" "000a" "0100" // header
                                    "bf0012000000" "0100" "00" "01" "10" "00" // DefineShape
                                    "02" "00ff0000" "ff0000ff" "00" "00" "00"
                                    "0000"); // End
        // clang-format on
    } else {
        bytes = QByteArray("GIF89a\x01\x00\x01\x00\x00\x00\x00", 13);
    }
    QString refusal;
    const auto reader =
        bytes.isEmpty() ? Movie::readFile(movie, refusal) : Movie::read(bytes, refusal);
    if (kind == QLatin1String("bitmap")) { // found out when a frame needs it
        QImage stage;
        QVERIFY(reader && !reader->draw(0, stage, &refusal));
    } else {
        QVERIFY(!reader);
    }
    QCOMPARE(refusal, sentence);
}

QTEST_GUILESS_MAIN(MovieReaderTest)
#include "tst_movie_reader.moc"
