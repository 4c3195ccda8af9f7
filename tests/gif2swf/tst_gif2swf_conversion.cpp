// The real converter on GIFs made with giflib's encoder: every movie is read by the
// independent swf-parser, and every frame it shows is compared pixel for pixel with the
// frames ImageMagick composites from the same GIF.
#include "ConverterRun.h"
#include "GifMaker.h"
#include "SwfPlayback.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

using testgif::Frame;
using testgif::Gif;

namespace {

struct Case {
    std::vector<Gif> gifs;
    QStringList options;
    int frameRate = 0;        // expected, 8.8 fixed point
    std::vector<int> repeats; // expected frames for each GIF frame, inputs in order
    bool needsDirectColour = false;
    bool changesInPlace = false; // expects small changes shown as patches over the picture
    int bitmaps = -1;            // expected number of bitmaps; -1: not checked
    QByteArray warning;          // expected on stderr after "gif2swf: FILE: "
    // A program that makes the input as GIF writers in the wild do, OUT standing for it and
    // IN for the first GIF of `gifs`; then every image lasts one frame.
    QStringList madeBy;
    int maxLayers = -1;          // the most objects on the stage at once; -1: not checked
    bool keysSideBySide = false; // expects whole pictures side by side in a wider bitmap
};

Gif screen(int width, int height, int colours = 16) {
    Gif gif;
    gif.width = width;
    gif.height = height;
    gif.globalColours = testgif::palette(colours);
    return gif;
}

Frame frame(int left, int top, int width, int height, int seed, int disposal = 0, int delay = 10,
            int transparent = -1, int colours = 16);

// A background with a square moving over it, every frame whole: what optimisers get.
Gif movingSquare(int frames) {
    Gif gif = screen(64, 48, 32);
    const Frame background = frame(0, 0, 64, 48, 1, 1, 10, -1, 32);
    for (int i = 0; i < frames; ++i) {
        Frame f = background;
        for (int y = 0; y < 12; ++y) {
            for (int x = 0; x < 12; ++x) {
                f.indices[static_cast<size_t>((i * 3 + y) % 48) * 64 + (i * 5 + x) % 64] =
                    static_cast<uint8_t>((x + y + i) % 32);
            }
        }
        gif.frames.push_back(f);
    }
    return gif;
}

Frame frame(int left, int top, int width, int height, int seed, int disposal, int delay,
            int transparent, int colours) {
    Frame f = testgif::patternFrame(left, top, width, height, colours, seed);
    f.disposal = disposal;
    f.delay = delay;
    f.transparent = transparent;
    return f;
}

// A screen recording's worst case for the hand-offs between threads: a whole screen of one
// colour, a one-pixel patch disposed to the background, then a picture of 257 colours
// (quadrants of a local table's 255 colours over the first colour), whose 32-bit bitmap is
// as large as a queue may hold, right after a patch too small to wake anyone.
Gif screenSizedGifOf257Colours(int side) {
    Gif gif = screen(side, side, 2);
    Frame fill = frame(0, 0, side, side, 1, 1, 10, -1, 2);
    std::fill(fill.indices.begin(), fill.indices.end(), uint8_t{1});
    Frame pixel = frame(side - 1, 0, 1, 1, 2, 2, 10, -1, 2);
    Frame quadrants = frame(0, 0, side, side, 3, 1, 10, 255, 2);
    quadrants.localColours = testgif::palette(256, 9);
    const int half = side / 2;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            quadrants.indices[static_cast<size_t>(y) * side + x] =
                (x < half) == (y < half) ? static_cast<uint8_t>((x + y) % 255) : uint8_t{255};
        }
    }
    gif.frames = {fill, pixel, quadrants};
    return gif;
}

// Full first frame, then smaller frames with transparency at offsets, all disposed alike.
Gif disposalGif(int disposal) {
    Gif gif = screen(24, 18);
    gif.frames = {frame(0, 0, 24, 18, 1, disposal), frame(5, 4, 10, 8, 2, disposal, 10, 3),
                  frame(2, 9, 12, 6, 3, disposal, 10, 0), frame(14, 1, 9, 9, 4, disposal)};
    return gif;
}

// A picture as the stage shows it: the bitmap at the top-left corner, the background
// elsewhere.
std::vector<uint32_t> onStage(const std::vector<uint32_t>& picture, int width, int height,
                              int stageWidth, int stageHeight, uint32_t background = 0xFFFFFF) {
    std::vector<uint32_t> stage(static_cast<size_t>(stageWidth) * stageHeight, background);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            stage[static_cast<size_t>(y) * stageWidth + x] =
                picture[static_cast<size_t>(y) * width + x];
        }
    }
    return stage;
}

QString firstDifference(const std::vector<uint32_t>& shown, const std::vector<uint32_t>& expected,
                        int width) {
    for (size_t i = 0; i < shown.size() && i < expected.size(); ++i) {
        if (shown[i] != expected[i]) {
            return QStringLiteral("pixel (%1,%2) is %3, ImageMagick shows %4")
                .arg(static_cast<int>(i) % width)
                .arg(static_cast<int>(i) / width)
                .arg(shown[i], 6, 16, QLatin1Char('0'))
                .arg(expected[i], 6, 16, QLatin1Char('0'));
        }
    }
    return shown.size() == expected.size() ? QString() : QStringLiteral("sizes differ");
}

} // namespace

Q_DECLARE_METATYPE(Case)
Q_DECLARE_METATYPE(Gif)

class ConversionTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void showsWhatImageMagickShows_data();
    void showsWhatImageMagickShows();
    void playsAsOftenAsTheGif_data();
    void playsAsOftenAsTheGif();
    void eachMovieTakesTheRunsOptions();
    void showsTheChosenSizeAndBackground_data();
    void showsTheChosenSizeAndBackground();
    void paletteMovieStaysCloseToGifSize_data();
    void paletteMovieStaysCloseToGifSize();
};

void ConversionTest::showsWhatImageMagickShows_data() {
    QTest::addColumn<Case>("testCase");
    const int tenFps = 10 * 256;

    Case still;
    still.gifs = {screen(37, 20)};
    still.gifs[0].frames = {frame(0, 0, 37, 20, 1, 0, 0)};
    still.frameRate = tenFps; // no delay shows as 10 centiseconds
    still.repeats = {1};
    QTest::newRow("static, odd width") << still;

    Case pixel;
    pixel.gifs = {screen(1, 1, 2)};
    pixel.gifs[0].frames = {frame(0, 0, 1, 1, 5, 0, 10, -1, 2)};
    pixel.frameRate = tenFps;
    pixel.repeats = {1};
    QTest::newRow("1x1") << pixel;

    Case transparent;
    transparent.gifs = {screen(20, 12)};
    transparent.gifs[0].frames = {frame(0, 0, 20, 12, 1, 1, 10, 2),
                                  frame(0, 0, 20, 12, 2, 1, 10, 0)};
    transparent.frameRate = tenFps;
    transparent.repeats = {1, 1};
    QTest::newRow("transparent pixels show white, then what is below") << transparent;

    const char* names[] = {"disposal unspecified", "disposal none", "disposal background",
                           "disposal previous"};
    for (int disposal = 0; disposal <= 3; ++disposal) {
        Case c;
        c.gifs = {disposalGif(disposal)};
        c.frameRate = tenFps;
        c.repeats = {1, 1, 1, 1};
        QTest::newRow(names[disposal]) << c;
    }

    // A sprite over a still scene, each image disposed of to what was there before it: each
    // patch replaces the one before instead of stacking on it.
    Case sprite;
    sprite.gifs = {screen(64, 48, 32)};
    sprite.gifs[0].frames = {frame(0, 0, 64, 48, 1, 1, 10, -1, 32)};
    for (int i = 0; i < 10; ++i) {
        sprite.gifs[0].frames.push_back(frame(4 + i * 5, 3 + i * 3, 8, 8, 2 + i, 3, 10, -1, 32));
    }
    sprite.frameRate = tenFps;
    sprite.repeats.assign(11, 1);
    sprite.maxLayers = 2; // the key and one patch
    QTest::newRow("a sprite disposed of to what was before it") << sprite;

    Case firstBackground;
    firstBackground.gifs = {screen(16, 16)};
    firstBackground.gifs[0].frames = {frame(2, 2, 6, 6, 1, 2), frame(9, 9, 6, 6, 2, 3),
                                      frame(4, 8, 8, 4, 3, 1)};
    firstBackground.frameRate = tenFps;
    firstBackground.repeats = {1, 1, 1};
    QTest::newRow("small frames on an empty screen") << firstBackground;

    Case interlaced;
    interlaced.gifs = {screen(13, 29)};
    interlaced.gifs[0].frames = {frame(0, 0, 13, 29, 1), frame(3, 5, 7, 10, 2, 0, 10, 1),
                                 frame(0, 0, 13, 2, 3), frame(1, 20, 5, 5, 4)};
    for (Frame& f : interlaced.gifs[0].frames) {
        f.interlaced = true;
    }
    interlaced.frameRate = tenFps;
    interlaced.repeats = {1, 1, 1, 1};
    QTest::newRow("interlaced") << interlaced;

    Case local;
    local.gifs = {screen(30, 20)};
    local.gifs[0].globalColours.clear();
    local.gifs[0].frames = {frame(0, 0, 30, 20, 1, 1, 10, -1, 64),
                            frame(4, 4, 20, 10, 2, 1, 10, 5, 64),
                            frame(10, 0, 20, 20, 3, 1, 10, -1, 64)};
    for (size_t i = 0; i < local.gifs[0].frames.size(); ++i) {
        local.gifs[0].frames[i].localColours = testgif::palette(64, static_cast<int>(i) + 1);
    }
    local.frameRate = tenFps;
    local.repeats = {1, 1, 1};
    QTest::newRow("local colour tables, no global one") << local;

    Case grey;
    grey.gifs = {screen(16, 16)};
    grey.gifs[0].globalColours.clear();
    grey.gifs[0].frames = {frame(0, 0, 16, 16, 1, 0, 10, -1, 256)};
    grey.frameRate = tenFps;
    grey.repeats = {1};
    grey.warning =
        "frame 1: warning: image has no colour table, drawn in the default grey levels\n";
    QTest::newRow("no colour table at all: grey levels") << grey;

    Case many;
    // The second image's 256 colours over 90 % of the screen, beside the first one's 256:
    // nearly every pixel changes, so the picture goes in whole, with more than 256 colours.
    many.gifs = {screen(3000, 1)};
    many.gifs[0].globalColours.clear();
    for (int part = 0; part < 2; ++part) {
        Frame f = frame(part * 280, 0, 3000 - part * 280, 1, part, 1);
        for (size_t i = 0; i < f.indices.size(); ++i) {
            f.indices[i] = static_cast<uint8_t>(i % 256);
        }
        f.localColours = testgif::palette(256, part + 1);
        many.gifs[0].frames.push_back(f);
    }
    many.frameRate = tenFps;
    many.repeats = {1, 1};
    many.needsDirectColour = true;
    QTest::newRow("more than 256 colours on screen") << many;

    Case offsets;
    offsets.gifs = {screen(21, 17)};
    offsets.gifs[0].frames = {frame(20, 16, 1, 1, 1, 1), frame(0, 16, 21, 1, 2, 1),
                              frame(20, 0, 1, 17, 3, 1), frame(7, 3, 5, 11, 4, 2)};
    offsets.frameRate = tenFps;
    offsets.repeats = {1, 1, 1, 1};
    QTest::newRow("offsets up to the screen's edges") << offsets;

    Case beyond;
    beyond.gifs = {screen(12, 10)};
    beyond.gifs[0].frames = {frame(0, 0, 12, 10, 1, 1), frame(8, 6, 9, 7, 2, 3),
                             frame(3, 4, 12, 9, 3, 2, 10, 1)};
    beyond.frameRate = tenFps;
    beyond.repeats = {1, 1, 1};
    QTest::newRow("frames reaching past the screen are clipped") << beyond;

    Case frames;
    frames.gifs = {screen(24, 16)};
    for (int i = 0; i < 120; ++i) {
        frames.gifs[0].frames.push_back(frame(i % 20, i % 12, 4, 4, i, 1, 4));
    }
    frames.gifs[0].frames[0] = frame(0, 0, 24, 16, 999, 1, 4);
    frames.frameRate = 25 * 256;
    frames.repeats.assign(120, 1);
    QTest::newRow("120 frames") << frames;

    Case reuse;
    reuse.gifs = {screen(10, 10)};
    reuse.gifs[0].frames = {frame(0, 0, 10, 10, 1), frame(0, 0, 10, 10, 2), frame(0, 0, 10, 10, 1),
                            frame(0, 0, 10, 10, 1)};
    reuse.frameRate = tenFps;
    reuse.repeats = {1, 1, 1, 1};
    reuse.bitmaps = 2;
    QTest::newRow("pictures that show again") << reuse;

    Case optimised;
    optimised.gifs = {screen(40, 30)};
    optimised.gifs[0].frames = {frame(0, 0, 40, 30, 1, 1)};
    for (int i = 1; i < 24; ++i) {
        // Opaque changes, one transparent pixel in each (what is below shows), and in the
        // middle one disposed to background, which only a whole picture can show.
        Frame f = frame((i * 7) % 32, (i * 5) % 24, 8, 6, i + 1, i == 12 ? 2 : 1, 10, 0);
        f.indices[0] = 0;
        optimised.gifs[0].frames.push_back(f);
    }
    optimised.gifs[0].frames.push_back(optimised.gifs[0].frames[3]); // a patch seen before
    optimised.frameRate = tenFps;
    optimised.repeats.assign(optimised.gifs[0].frames.size(), 1);
    optimised.changesInPlace = true;
    QTest::newRow("small changes, as optimised GIFs have") << optimised;

    Case disposed;
    disposed.gifs = {screen(48, 40)};
    disposed.gifs[0].frames = {frame(0, 0, 48, 40, 1, 1)};
    for (int i = 1; i < 16; ++i) {
        // Patches whose unchanged pixels are transparent (a sprite over the scene, every
        // third pixel left as it was), disposed of to the background and to the picture
        // before, so that later patches go over what the disposal left.
        Frame f = frame((i * 5) % 38, (i * 3) % 30, 10, 10, i + 1, i % 2 == 0 ? 2 : 3, 10, 0);
        for (size_t p = 0; p < f.indices.size(); p += 3) {
            f.indices[p] = 0;
        }
        disposed.gifs[0].frames.push_back(f);
    }
    disposed.frameRate = tenFps;
    disposed.repeats.assign(disposed.gifs[0].frames.size(), 1);
    disposed.changesInPlace = true;
    QTest::newRow("transparent patches, disposed of to background and previous") << disposed;

    // GIFs as the tools that make most of them write them.
    Case ffmpeg;
    ffmpeg.madeBy = {
        "ffmpeg", "-v", "error", "-f", "lavfi", "-i", "testsrc=size=96x64:rate=10:duration=3",
        "OUT"};
    ffmpeg.frameRate = tenFps;
    QTest::newRow("ffmpeg's GIF encoder") << ffmpeg;
    Case ffmpegLocal = ffmpeg;
    ffmpegLocal.madeBy = {"ffmpeg",
                          "-v",
                          "error",
                          "-f",
                          "lavfi",
                          "-i",
                          "testsrc=size=96x64:rate=10:duration=2",
                          "-lavfi",
                          "split[a][b];[a]palettegen=stats_mode=single[p];[b][p]paletteuse=new=1",
                          "OUT"};
    QTest::newRow("ffmpeg, a colour table per frame") << ffmpegLocal;
    Case optimisedByMagick;
    optimisedByMagick.gifs = {movingSquare(300)};
    optimisedByMagick.madeBy = {"convert", "IN", "-layers", "optimize", "OUT"};
    optimisedByMagick.frameRate = tenFps;
    optimisedByMagick.changesInPlace = true;
    optimisedByMagick.maxLayers = 1025; // a key and at most 1024 patches
    QTest::newRow("ImageMagick -layers optimize, 300 frames") << optimisedByMagick;

    Case delays;
    delays.gifs = {screen(8, 8)};
    for (int delay : {10, 20, 0, 1, 35}) {
        delays.gifs[0].frames.push_back(frame(0, 0, 8, 8, delay + 7, 0, delay));
    }
    delays.frameRate = 20 * 256; // the delays' common divisor is 5 centiseconds
    delays.repeats = {2, 4, 2, 2, 7};
    QTest::newRow("delays, 0 and 1 shown as 10") << delays;

    Case oddDelays;
    oddDelays.gifs = {screen(8, 8)};
    oddDelays.gifs[0].frames = {frame(0, 0, 8, 8, 1, 0, 3), frame(0, 0, 8, 8, 2, 0, 5)};
    oddDelays.frameRate = 100 * 256;
    oddDelays.repeats = {3, 5};
    QTest::newRow("delays of 3 and 5 centiseconds") << oddDelays;

    Case noControl;
    noControl.gifs = {screen(8, 8)};
    // The second frame has no control block, so nothing of the first one's applies to it:
    // its index 3 is opaque, its delay 0 and its disposal unspecified.
    noControl.gifs[0].frames = {frame(0, 0, 8, 8, 1, 1, 50, 3), frame(2, 2, 4, 4, 2)};
    noControl.gifs[0].frames[1].control = false;
    std::fill(noControl.gifs[0].frames[1].indices.begin(),
              noControl.gifs[0].frames[1].indices.begin() + 8, uint8_t{3});
    noControl.frameRate = tenFps;
    noControl.repeats = {5, 1};
    QTest::newRow("frame without control block") << noControl;

    Case wide;
    wide.gifs = {screen(3300, 2)};
    wide.gifs[0].frames = {frame(0, 0, 3300, 2, 1)};
    wide.frameRate = tenFps;
    wide.repeats = {1};
    QTest::newRow("wider than one edge can draw") << wide;

    Case tiles;
    // A large picture goes in as tiles, the first while the rest is decoded; later keys
    // replace only the tiles that changed, and patches lie above the tiles.
    tiles.gifs = {screen(1024, 1100)};
    tiles.gifs[0].frames = {frame(0, 30, 1024, 1000, 1, 1), frame(10, 900, 30, 30, 2, 1),
                            frame(0, 0, 1024, 1010, 3, 1), frame(0, 0, 1024, 200, 4, 1)};
    tiles.frameRate = tenFps;
    tiles.repeats = {1, 1, 1, 1};
    tiles.changesInPlace = true;
    QTest::newRow("large picture in tiles") << tiles;

    for (const int side : {2048, 2900}) {
        Case recording;
        recording.gifs = {screenSizedGifOf257Colours(side)};
        recording.frameRate = tenFps;
        recording.repeats = {1, 1, 1};
        recording.needsDirectColour = true;
        QTest::newRow(
            qPrintable(QStringLiteral("%1x%1, 257 colours after a one-pixel patch").arg(side)))
            << recording;
    }

    Case manyToOne;
    // The first size comes back after pictures of another one have gone through the queue.
    manyToOne.gifs = {screen(20, 10), screen(300, 16), screen(20, 10)};
    manyToOne.gifs[0].frames = {frame(0, 0, 20, 10, 1, 0, 50), frame(3, 3, 5, 5, 2, 0, 7)};
    manyToOne.gifs[1].frames = {frame(0, 0, 300, 16, 3)};
    for (int i = 0; i < 7; ++i) {
        manyToOne.gifs[2].frames.push_back(frame(i * 2, i, 4, 3, 1 + i % 3));
    }
    manyToOne.options = {QStringLiteral("-r"), QStringLiteral("2")};
    manyToOne.frameRate = 2 * 256;
    manyToOne.repeats = std::vector<int>(10, 1);
    QTest::newRow("-r 2 a.gif b.gif c.gif, sizes in turn") << manyToOne;

    Case third;
    third.gifs = {screen(6, 6), screen(6, 6)};
    third.gifs[0].frames = {frame(0, 0, 6, 6, 1)};
    third.gifs[1].frames = {frame(0, 0, 6, 6, 2)};
    third.options = {QStringLiteral("-r"), QStringLiteral("0.333333333333333")};
    third.frameRate = 256; // 1 frame per second, each image for 3 frames
    third.repeats = {3, 3};
    QTest::newRow("-r 0.333333333333333") << third;

    // The third image redraws pixels as they were, beside what the second one's disposal
    // changed: the patch and what the image drew share rows, not columns.
    Case beside;
    beside.gifs = {screen(64, 16)};
    const Frame whole = frame(0, 0, 64, 16, 1, 1);
    Frame same = frame(0, 4, 8, 8, 3, 1);
    for (int y = 0; y < 8; ++y) {
        std::copy_n(whole.indices.begin() + (4 + y) * 64, 8, same.indices.begin() + y * 8);
    }
    beside.gifs[0].frames = {whole, frame(40, 4, 8, 8, 2, 2), same};
    beside.frameRate = tenFps;
    beside.repeats = {1, 1, 1};
    QTest::newRow("an image drawn beside the change") << beside;

    Case life;
    life.gifs = {testgif::life(150, 120, 5, 48)};
    life.frameRate = 25 * 256;
    life.repeats = std::vector<int>(5, 1);
    life.keysSideBySide = true;
    QTest::newRow("two-colour noise, pictures side by side") << life;

    Case fast;
    fast.gifs = {disposalGif(3)};
    fast.options = {QStringLiteral("-r"), QStringLiteral("25")};
    fast.frameRate = 25 * 256;
    fast.repeats = {1, 1, 1, 1};
    QTest::newRow("-r 25 on an animation") << fast;
}

void ConversionTest::showsWhatImageMagickShows() {
    QFETCH(Case, testCase);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());

    QStringList arguments = testCase.options;
    std::vector<testrun::Coalesced> expected;
    int stageWidth = 0;
    int stageHeight = 0;
    const size_t inputs = testCase.madeBy.isEmpty() ? testCase.gifs.size() : 1;
    for (size_t i = 0; i < inputs; ++i) {
        const QString gif = dir.filePath(QStringLiteral("input %1.gif").arg(i));
        if (testCase.madeBy.isEmpty()) {
            testgif::writeGif(gif.toStdString(), testCase.gifs[i]);
        } else {
            const QString source = dir.filePath(QStringLiteral("source.gif"));
            if (!testCase.gifs.empty()) {
                testgif::writeGif(source.toStdString(), testCase.gifs[0]);
            }
            QStringList command = testCase.madeBy;
            command.replaceInStrings(QRegularExpression("^OUT$"), gif);
            command.replaceInStrings(QRegularExpression("^IN$"), source);
            QCOMPARE(testrun::runProgram(command).exitCode, 0);
        }
        arguments << gif;
        expected.push_back(testrun::coalesceWithImageMagick(gif, dir.path()));
        if (!testCase.warning.isEmpty()) {
            // This ImageMagick draws images without a colour table black; viewers that draw
            // them draw index i as the grey level i.
            const std::vector<uint8_t>& indices = testCase.gifs[i].frames[0].indices;
            for (size_t p = 0; p < indices.size(); ++p) {
                expected.back().frames[0][p] = indices[p] * 0x010101u;
            }
        }
        stageWidth = std::max(stageWidth, expected.back().width);
        stageHeight = std::max(stageHeight, expected.back().height);
    }
    // The application joins folder and name with a separator even after one.
    const QString movie = dir.path() + QStringLiteral("//movie.swf");
    arguments << QStringLiteral("-o") << movie;

    const testrun::Result run = testrun::runConverter(arguments);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.standardError,
             testCase.warning.isEmpty()
                 ? QByteArray()
                 : "gif2swf: " + arguments.front().toUtf8() + ": " + testCase.warning);

    // What each frame of the movie should show.
    std::vector<std::vector<uint32_t>> frames;
    size_t gifFrame = 0;
    if (!testCase.madeBy.isEmpty()) {
        testCase.repeats.assign(expected[0].frames.size(), 1);
    }
    for (const testrun::Coalesced& gif : expected) {
        for (size_t i = 0; i < gif.frames.size(); ++i, ++gifFrame) {
            QVERIFY2(gifFrame < testCase.repeats.size(), "ImageMagick shows more frames");
            const std::vector<uint32_t> stage =
                onStage(gif.frames[i], gif.width, gif.height, stageWidth, stageHeight);
            frames.insert(frames.end(), static_cast<size_t>(testCase.repeats[gifFrame]), stage);
        }
    }
    QCOMPARE(gifFrame, testCase.repeats.size());

    QCOMPARE(testrun::checkWithSwfParser(movie, stageWidth, stageHeight, testCase.frameRate,
                                         static_cast<int>(frames.size()), testCase.bitmaps, -1,
                                         testCase.maxLayers),
             QStringLiteral("ok"));

    const testswf::Playback playback = testswf::play(testswf::readFile(movie.toStdString()));
    QCOMPARE(playback.frames.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        const QString difference = firstDifference(playback.frames[i], frames[i], stageWidth);
        QVERIFY2(difference.isEmpty(),
                 qPrintable(QStringLiteral("frame %1: %2").arg(i + 1).arg(difference)));
    }
    if (testCase.changesInPlace) {
        QVERIFY(playback.deepestLayer > 1);
    }
    QCOMPARE(playback.widestBitmap > stageWidth, testCase.keysSideBySide);
    if (testCase.needsDirectColour) {
        QVERIFY(playback.colourMappedBitmaps < playback.bitmapTags);
    } else {
        QCOMPARE(playback.colourMappedBitmaps, playback.bitmapTags);
    }
}

void ConversionTest::playsAsOftenAsTheGif_data() {
    QTest::addColumn<int>("loopCount"); // -1: no looping extension
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("inputs");
    QTest::addColumn<int>("plays"); // 0: for ever
    QTest::newRow("no looping extension: once") << -1 << QStringList() << 1 << 1;
    QTest::newRow("count 0: for ever") << 0 << QStringList() << 1 << 0;
    QTest::newRow("count 1: twice") << 1 << QStringList() << 1 << 2;
    QTest::newRow("count 1 at -r 5: for ever") << 1 << QStringList{"-r", "5"} << 1 << 0;
    QTest::newRow("two files: for ever") << -1 << QStringList() << 2 << 0;
    QTest::newRow("--plays 3 over a count of 0") << 0 << QStringList{"--plays", "3"} << 1 << 3;
    QTest::newRow("--plays 0 without extension") << -1 << QStringList{"--plays", "0"} << 1 << 0;
    QTest::newRow("--plays 1 at -r 5") << 1 << QStringList{"-r", "5", "--plays", "1"} << 1 << 1;
    QTest::newRow("--plays 2 over two files") << -1 << QStringList{"--plays", "2"} << 2 << 2;
}

void ConversionTest::playsAsOftenAsTheGif() {
    QFETCH(int, loopCount);
    QFETCH(QStringList, options);
    QFETCH(int, inputs);
    QFETCH(int, plays);
    QTemporaryDir dir;
    Gif gif = screen(8, 8);
    gif.loopCount = loopCount;
    gif.frames = {frame(0, 0, 8, 8, 1, 0, 20), frame(2, 2, 4, 4, 2, 0, 20),
                  frame(1, 1, 3, 3, 3, 0, 20)};
    QStringList arguments = options;
    for (int i = 0; i < inputs; ++i) {
        arguments << dir.filePath(QStringLiteral("%1.gif").arg(i));
        testgif::writeGif(arguments.back().toStdString(), gif);
    }
    const QString movie = dir.filePath(QStringLiteral("movie.swf"));
    QCOMPARE(testrun::runConverter(arguments << QStringLiteral("-o") << movie).exitCode, 0);
    // Delays of 20 cs and -r 5 alike: 5 frames per second, a frame per image.
    QCOMPARE(testrun::checkWithSwfParser(movie, 8, 8, 5 * 256, 3 * inputs, -1, plays),
             QStringLiteral("ok"));
}

void ConversionTest::eachMovieTakesTheRunsOptions() {
    QTemporaryDir dir;
    Gif gif = screen(8, 8);
    gif.frames = {frame(0, 0, 8, 8, 1, 0, 20), frame(2, 2, 4, 4, 2, 0, 20)};
    QStringList arguments{"--each", "--plays", "2", "--scale", "200", "--background", "000080"};
    for (const QString name : {"a", "b"}) {
        arguments << dir.filePath(name + ".gif");
        testgif::writeGif(arguments.back().toStdString(), gif);
    }
    QCOMPARE(testrun::runConverter(arguments).exitCode, 0);
    for (const QString name : {"a", "b"}) {
        QCOMPARE(testrun::checkWithSwfParser(dir.filePath(name + ".swf"), 8, 8, 5 * 256, 2, -1, 2,
                                             -1, {"scale=200", "background=0x000080"}),
                 QStringLiteral("ok"));
    }
}

void ConversionTest::showsTheChosenSizeAndBackground_data() {
    QTest::addColumn<int>("scale"); // percent
    QTest::addColumn<uint>("background");
    QTest::newRow("100 %, blue") << 100 << 0x336699u;
    QTest::newRow("200 %, white") << 200 << 0xFFFFFFu;
    QTest::newRow("50 %, black") << 50 << 0x000000u;
}

// Two inputs of different sizes with transparent pixels and disposal to the background: every
// stage pixel shows the picture pixel under its centre (nearest neighbour), or the background
// where the GIF is transparent and beside the smaller picture. The bitmaps stay as they are.
void ConversionTest::showsTheChosenSizeAndBackground() {
    QFETCH(int, scale);
    QFETCH(uint, background);
    QTemporaryDir dir;
    Gif small = screen(12, 9);
    small.frames = {frame(0, 0, 12, 9, 5, 0, 10, 2), frame(3, 2, 6, 5, 6, 2, 10, 0)};
    QStringList inputs;
    std::vector<testrun::Coalesced> expected;
    for (const Gif& gif : {disposalGif(2), small}) {
        inputs << dir.filePath(QStringLiteral("%1.gif").arg(inputs.size()));
        testgif::writeGif(inputs.back().toStdString(), gif);
        expected.push_back(testrun::coalesceWithImageMagick(inputs.back(), dir.path(), background));
    }
    const QString colour = QStringLiteral("%1").arg(background, 6, 16, QLatin1Char('0'));
    const QString plain = dir.filePath(QStringLiteral("plain.swf"));
    const QString movie = dir.filePath(QStringLiteral("movie.swf"));
    QCOMPARE(testrun::runConverter(QStringList(inputs) << "-o" << plain).exitCode, 0);
    QCOMPARE(testrun::runConverter(QStringList(inputs) << "--scale" << QString::number(scale)
                                                       << "--background" << colour << "-o" << movie)
                 .exitCode,
             0);

    const int width = 24;
    const int height = 18;
    const int stageWidth = (width * scale + 50) / 100;
    const int stageHeight = (height * scale + 50) / 100;
    std::vector<std::vector<uint32_t>> frames;
    for (const testrun::Coalesced& gif : expected) {
        for (const std::vector<uint32_t>& picture : gif.frames) {
            const std::vector<uint32_t> stage =
                onStage(picture, gif.width, gif.height, width, height, background);
            std::vector<uint32_t> scaled;
            for (int y = 0; y < stageHeight; ++y) {
                for (int x = 0; x < stageWidth; ++x) {
                    scaled.push_back(stage[static_cast<size_t>((2 * y + 1) * 50 / scale) * width +
                                           (2 * x + 1) * 50 / scale]);
                }
            }
            frames.push_back(scaled);
        }
    }
    QCOMPARE(testrun::checkWithSwfParser(
                 movie, width, height, 10 * 256, static_cast<int>(frames.size()), -1, -1, -1,
                 {QStringLiteral("scale=%1").arg(scale), QStringLiteral("background=0x") + colour}),
             QStringLiteral("ok"));
    const testswf::Playback playback = testswf::play(testswf::readFile(movie.toStdString()));
    QCOMPARE(playback.background, background);
    QCOMPARE(playback.stageWidth, stageWidth);
    QCOMPARE(playback.frames.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        const QString difference = firstDifference(playback.frames[i], frames[i], stageWidth);
        QVERIFY2(difference.isEmpty(),
                 qPrintable(QStringLiteral("frame %1: %2").arg(i + 1).arg(difference)));
    }
    // The same bitmaps: only the placements' scale fields add bytes.
    const testswf::Playback unscaled = testswf::play(testswf::readFile(plain.toStdString()));
    QCOMPARE(playback.bitmapTags, unscaled.bitmapTags);
    const qint64 placements = std::count(playback.tagCodes.begin(), playback.tagCodes.end(), 26);
    const qint64 grown = QFileInfo(movie).size() - QFileInfo(plain).size();
    QVERIFY2(grown <= placements * 8, qPrintable(QString::number(grown)));
}

void ConversionTest::paletteMovieStaysCloseToGifSize_data() {
    QTest::addColumn<Gif>("gif");
    Gif full = screen(320, 240, 64);
    for (int i = 0; i < 6; ++i) {
        full.frames.push_back(frame(0, 0, 320, 240, i, 1, 10, -1, 64));
    }
    QTest::newRow("whole frames") << full;
    Gif optimised = screen(320, 240, 64);
    optimised.frames.push_back(frame(0, 0, 320, 240, 0, 1, 10, -1, 64));
    for (int i = 1; i < 60; ++i) {
        optimised.frames.push_back(frame((i * 13) % 280, (i * 7) % 200, 40, 40, i, 1, 10, 0, 64));
    }
    QTest::newRow("small changed areas") << optimised;
}

void ConversionTest::paletteMovieStaysCloseToGifSize() {
    QFETCH(Gif, gif);
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("photo.gif"));
    const QString movie = dir.filePath(QStringLiteral("photo.swf"));
    testgif::writeGif(input.toStdString(), gif);
    QCOMPARE(testrun::runConverter({input, QStringLiteral("-o"), movie}).exitCode, 0);
    const qint64 gifSize = QFileInfo(input).size();
    const qint64 movieSize = QFileInfo(movie).size();
    QVERIFY2(movieSize <= gifSize * 3 / 2,
             qPrintable(QStringLiteral("GIF %1 bytes, movie %2").arg(gifSize).arg(movieSize)));
}

QTEST_GUILESS_MAIN(ConversionTest)
#include "tst_gif2swf_conversion.moc"
