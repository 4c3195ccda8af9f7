// The format library on its own: bit fields and records against bytes worked out by hand,
// timing choices, the command line and the messages.
#include "BitWriter.h"
#include "ByteSink.h"
#include "ByteSource.h"
#include "ColourRegistry.h"
#include "CommandLine.h"
#include "Converter.h"
#include "DeflateBudget.h"
#include "Errors.h"
#include "Fingerprint.h"
#include "GifMaker.h"
#include "GifReader.h"
#include "LzwDecoder.h"
#include "MovieWriter.h"
#include "PatchRow.h"
#include "Pipeline.h"
#include "SwfPlayback.h"
#include "SwfTags.h"
#include "TagSink.h"
#include "Timing.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <gif_lib.h>
#include <libdeflate.h>
#include <zlib.h>

#include <cmath>
#include <random>

using namespace gif2swf;

namespace {

QByteArray hex(const std::vector<uint8_t>& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()))
        .toHex(' ');
}

// The error a call throws, or nothing.
template <typename F> std::optional<Error> errorOf(F call) {
    try {
        call();
    } catch (const ConvertError& error) {
        return error.error();
    }
    return std::nullopt;
}

// A picture of colours as the writer takes it: ids of the run's colours.
std::vector<uint32_t> idsOf(ColourRegistry& colours, const std::vector<uint32_t>& picture) {
    std::vector<uint32_t> ids(picture.size());
    std::transform(picture.begin(), picture.end(), ids.begin(),
                   [&](uint32_t colour) { return colours.idOf(colour); });
    return ids;
}

// A 1 x 1 GIF of `images` images, each with valid image data or with codes that cannot be
// decoded.
QByteArray gifOfImages(int images, bool decodable) {
    QByteArray gif("GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xFF\xFF\xFF", 19);
    const QByteArray image("\x2C\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02", 12);
    const QByteArray data =
        decodable ? QByteArray("\x44\x01\x00", 3) : QByteArray("\xFF\xFF\x00", 3);
    for (int i = 0; i < images; ++i) {
        gif += image + data;
    }
    return gif + ';';
}

// A GIF of one image `width` x `height` whose data is `codeSize` and then `data` in
// sub-blocks of 255 bytes, ended or not.
std::vector<uint8_t> gifWithData(int width, int height, int codeSize,
                                 const std::vector<uint8_t>& data, bool terminated) {
    std::vector<uint8_t> gif{'G',
                             'I',
                             'F',
                             '8',
                             '9',
                             'a',
                             uint8_t(width),
                             uint8_t(width >> 8),
                             uint8_t(height),
                             uint8_t(height >> 8),
                             0xF7,
                             0,
                             0};
    for (int i = 0; i < 256 * 3; ++i) {
        gif.push_back(static_cast<uint8_t>(i * 7));
    }
    const std::vector<uint8_t> descriptor{0x2C,
                                          0,
                                          0,
                                          0,
                                          0,
                                          uint8_t(width),
                                          uint8_t(width >> 8),
                                          uint8_t(height),
                                          uint8_t(height >> 8),
                                          0};
    gif.insert(gif.end(), descriptor.begin(), descriptor.end());
    gif.push_back(static_cast<uint8_t>(codeSize));
    for (size_t at = 0; at < data.size(); at += 255) {
        const size_t n = std::min<size_t>(255, data.size() - at);
        gif.push_back(static_cast<uint8_t>(n));
        gif.insert(gif.end(), data.begin() + static_cast<ptrdiff_t>(at),
                   data.begin() + static_cast<ptrdiff_t>(at + n));
    }
    if (terminated) {
        gif.push_back(0);
        gif.push_back(';');
    }
    return gif;
}

struct MemoryRead {
    const std::vector<uint8_t>* bytes;
    size_t at;
};

int readMemory(GifFileType* gif, GifByteType* to, int size) {
    auto* read = static_cast<MemoryRead*>(gif->UserData);
    const size_t n = std::min(static_cast<size_t>(size), read->bytes->size() - read->at);
    std::memcpy(to, read->bytes->data() + read->at, n);
    read->at += n;
    return static_cast<int>(n);
}

// The first image's rows as giflib decodes them, up to the row that fails.
std::vector<std::vector<uint8_t>> giflibRows(const std::vector<uint8_t>& file, bool& failed) {
    MemoryRead read{&file, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&read, readMemory, &error);
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    std::vector<std::vector<uint8_t>> rows;
    failed = gif == nullptr;
    while (!failed && DGifGetRecordType(gif, &type) == GIF_OK && type == EXTENSION_RECORD_TYPE) {
        int code = 0;
        GifByteType* block = nullptr;
        failed = DGifGetExtension(gif, &code, &block) == GIF_ERROR;
        while (!failed && block != nullptr) {
            failed = DGifGetExtensionNext(gif, &block) == GIF_ERROR;
        }
    }
    failed = failed || type != IMAGE_DESC_RECORD_TYPE || DGifGetImageDesc(gif) == GIF_ERROR;
    for (int y = 0; !failed && y < gif->Image.Height; ++y) {
        rows.emplace_back(static_cast<size_t>(gif->Image.Width));
        failed = DGifGetLine(gif, rows.back().data(), gif->Image.Width) == GIF_ERROR;
        if (failed) {
            rows.pop_back();
        }
    }
    if (gif != nullptr) {
        DGifCloseFile(gif, &error);
    }
    return rows;
}

// The same through our reader.
std::vector<std::vector<uint8_t>> ourRows(const std::vector<uint8_t>& file, bool& failed) {
    MemorySource source(file.data(), file.size());
    std::vector<std::vector<uint8_t>> rows;
    try {
        GifReader reader(source, "test.gif");
        GifImage image;
        failed = !reader.nextImage(image);
        for (int y = 0; !failed && y < image.height; ++y) {
            const uint8_t* row = reader.readRow();
            rows.emplace_back(row, row + image.width);
        }
    } catch (const ConvertError&) {
        failed = true;
    }
    return rows;
}

} // namespace

class FormatTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void rectBytes_data();
    void rectBytes();
    void bitFieldsAreMostSignificantBitFirst();
    void bitFieldsRefuseValuesThatDoNotFit();
    void tagHeaderBytes_data();
    void tagHeaderBytes();
    void fileHeaderBytes();
    void placeObjectBytes();
    void movieReusesPicturesThatShowAgain();
    void changesArePatchedUpToTheLayerBound();
    void writerThreadErrorReachesTheCaller();
    void decodingErrorEndsTheThreads();
    void rates_data();
    void rates();
    void badRates_data();
    void badRates();
    void slowAndOddRatesStayAccurate();
    void delaysToFrames_data();
    void delaysToFrames();
    void commandLines_data();
    void commandLines();
    void badCommandLines_data();
    void badCommandLines();
    void defaultOutputName_data();
    void defaultOutputName();
    void eachListsMayExceedAMoviesFrames();
    void everyErrorHasItsSentenceAndStatus();
    void messageNamesFileAndFrame();
    void hugeScreenIsRefusedBeforeDecoding();
    void tooLongMovieIsRefusedBeforeDecoding();
    void fuzzFindings_data();
    void fuzzFindings();
    void decodingMatchesGiflib();
    void patchRowsFollowTheirDefinition();
    void fingerprintsTellBytesApart();
    void tagsStayInOrderWhileBitmapsDeflateSideBySide();
    void deflatedBitmapsInflateToWhatWasPrepared();
    void deflateBudgetChoosesTheLevels_data();
    void deflateBudgetChoosesTheLevels();
    void deflateBudgetSpendsWhatTheMovieSpares_data();
    void deflateBudgetSpendsWhatTheMovieSpares();
    void deflateBudgetStopsWhereTheGifWins_data();
    void deflateBudgetStopsWhereTheGifWins();
    void deflateBudgetSamplesLargeBitmaps();
    void threadsDoNotChangeTheMovie_data();
    void threadsDoNotChangeTheMovie();
};

void FormatTest::rectBytes_data() {
    QTest::addColumn<int>("xMin");
    QTest::addColumn<int>("xMax");
    QTest::addColumn<int>("yMin");
    QTest::addColumn<int>("yMax");
    QTest::addColumn<QByteArray>("bytes");
    // 550 x 400 pixels: 15-bit fields.
    QTest::newRow("550x400") << 0 << 11000 << 0 << 8000 << QByteArray("78 00 05 5f 00 00 0f a0 00");
    // 1 x 1 pixel: 20 twips need 6 bits with the sign.
    QTest::newRow("1x1") << 0 << 20 << 0 << 20 << QByteArray("30 0a 00 a0");
    // Negative values in two's complement: -1 = 111, 1 = 001, -2 = 110, 2 = 010.
    QTest::newRow("negative") << -1 << 1 << -2 << 2 << QByteArray("1f 39 00");
}

void FormatTest::rectBytes() {
    QFETCH(int, xMin);
    QFETCH(int, xMax);
    QFETCH(int, yMin);
    QFETCH(int, yMax);
    QFETCH(QByteArray, bytes);
    BitWriter bits;
    swf::writeRect(bits, swf::Rect{xMin, xMax, yMin, yMax});
    QCOMPARE(hex(bits.bytes()), bytes);
}

void FormatTest::bitFieldsAreMostSignificantBitFirst() {
    BitWriter bits;
    bits.writeUnsigned(5, 3); // 101
    bits.writeSigned(-3, 4);  // 1101
    bits.writeFlag(true);     // 1
    bits.writeUnsigned(1, 2); // 01, then six zero bits of padding
    bits.align();
    bits.writeUnsigned(0xABC, 12);
    QCOMPARE(hex(bits.bytes()), QByteArray("bb 40 ab c0"));
}

void FormatTest::bitFieldsRefuseValuesThatDoNotFit() {
    BitWriter bits;
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, bits.writeUnsigned(8, 3));
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, bits.writeSigned(4, 3));
    bits.writeSigned(-4, 3);
    QCOMPARE(hex(bits.bytes()), QByteArray("80"));
    QCOMPARE(BitWriter::signedBits(20), 6);
    QCOMPARE(BitWriter::signedBits(-65535), 17);
    QCOMPARE(BitWriter::signedBits({0, 1310720}), 22);
}

void FormatTest::tagHeaderBytes_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("forceLong");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("ShowFrame") << 1 << 0 << false << QByteArray("40 00");
    QTest::newRow("End") << 0 << 0 << false << QByteArray("00 00");
    QTest::newRow("SetBackgroundColor") << 9 << 3 << false << QByteArray("43 02");
    QTest::newRow("62 bytes: short") << 2 << 62 << false << QByteArray("be 00");
    QTest::newRow("63 bytes: long") << 2 << 63 << false << QByteArray("bf 00 3f 00 00 00");
    QTest::newRow("long on request") << 20 << 10 << true << QByteArray("3f 05 0a 00 00 00");
    QTest::newRow("70000 bytes") << 36 << 70000 << false << QByteArray("3f 09 70 11 01 00");
}

void FormatTest::tagHeaderBytes() {
    QFETCH(int, code);
    QFETCH(int, length);
    QFETCH(bool, forceLong);
    QFETCH(QByteArray, bytes);
    MemorySink sink;
    swf::writeTagHeader(sink, static_cast<swf::TagCode>(code), static_cast<uint64_t>(length),
                        forceLong);
    QCOMPARE(hex(sink.data()), bytes);
}

void FormatTest::fileHeaderBytes() {
    MemorySink sink;
    swf::FileHeader header;
    header.frameSize = {0, 11000, 0, 8000};
    header.frameRate = 12 * 256;
    const swf::FileHeaderLayout layout = swf::writeFileHeader(sink, header);
    swf::patchFileHeader(sink, layout, 0x01020304, 0x0506);
    // Signature, version, length, the 550x400 RECT, 12 fps fraction byte first, frame count.
    QCOMPARE(hex(sink.data()),
             QByteArray("46 57 53 08 04 03 02 01 78 00 05 5f 00 00 0f a0 00 00 0c 06 05"));
}

void FormatTest::placeObjectBytes() {
    MemorySink sink;
    swf::writePlaceObject2(sink, 1, 5, false);
    swf::writePlaceObject2(sink, 1, 7, true);
    // PlaceFlagHasCharacter (0x02), with PlaceFlagMove (0x01) when replacing.
    // A placement moved to (3, 1) pixels = (60, 20) twips: HasMatrix (0x04), no scale, no
    // rotation, NTranslateBits 7: 0 0 00111 0111100 0010100, padded.
    swf::writePlaceObject2(sink, 2, 9, false, 60, 20);
    swf::writeRemoveObject2(sink, 2);
    QCOMPARE(hex(sink.data()), QByteArray("85 06 02 01 00 05 00 85 06 03 01 00 07 00 "
                                          "88 06 06 02 00 09 00 0e f0 a0 02 07 02 00"));
}

void FormatTest::movieReusesPicturesThatShowAgain() {
    const std::vector<uint32_t> red(6, 0xFFFF0000u);
    std::vector<uint32_t> mixed(6, 0xFF0000FFu);
    mixed[4] = 0; // one transparent pixel: needs alpha
    MemorySink sink;
    ColourRegistry colours;
    TagSink tagSink(sink, false);
    MovieWriter movie(tagSink, colours, 3, 2, 10 * 256);
    movie.show(idsOf(colours, red).data(), 3, 2, 1);
    movie.show(idsOf(colours, mixed).data(), 3, 2, 2);
    movie.show(idsOf(colours, red).data(), 3, 2, 1);
    movie.finish();
    QCOMPARE(movie.bitmapCount(), 2u);

    const testswf::Playback playback = testswf::play(sink.data());
    // FileAttributes, background; the pictures share one bitmap (with alpha), each a shape
    // showing its part: shape, place, frame; shape, replace, two frames; replace by the first
    // shape, frame; End.
    const std::vector<int> tags{69, 9, 36, 2, 26, 1, 2, 26, 1, 1, 26, 1, 0};
    QCOMPARE(playback.tagCodes, tags);
    QCOMPARE(playback.headerFrameCount, uint16_t{4});
    QCOMPARE(playback.frames[3], playback.frames[0]);
    QCOMPARE(playback.frames[1][4], 0xFFFFFFu); // transparent shows the white stage
    QCOMPARE(playback.frames[1][0], 0x0000FFu);
}

void FormatTest::changesArePatchedUpToTheLayerBound() {
    std::vector<uint32_t> picture(16 * 8, 0xFF00FF00u);
    std::vector<std::vector<uint32_t>> shown;
    MemorySink sink;
    ColourRegistry colours;
    TagSink tagSink(sink, false);
    MovieWriter movie(tagSink, colours, 16, 8, 256);
    auto show = [&] {
        movie.show(idsOf(colours, picture).data(), 16, 8, 1);
        shown.push_back(picture);
    };
    show();
    picture[3 * 16 + 5] = 0xFF123456u; // one pixel changes: a 1x1 patch
    show();
    picture[0] = 0xFF654321u; // two far apart: the rectangle between them, the rest transparent
    picture[7 * 16 + 15] = 0xFF654321u;
    show();
    for (int i = 0; i < 1100; ++i) { // single pixels: a key once 1024 patches are stacked
        picture[static_cast<size_t>(i * 3 % 128)] = 0xFF000000u + static_cast<uint32_t>(i);
        show();
    }
    movie.finish();

    const testswf::Playback playback = testswf::play(sink.data());
    const std::vector<int> start{69, 9, 36, 2, 26, 1, 2, 26, 1, 2, 26, 1};
    QVERIFY(std::equal(start.begin(), start.end(), playback.tagCodes.begin()));
    QCOMPARE(playback.deepestLayer, 1025);
    QCOMPARE(std::count(playback.tagCodes.begin(), playback.tagCodes.end(), 28), 1024);
    QCOMPARE(playback.frames.size(), shown.size());
    for (size_t f = 0; f < shown.size(); ++f) {
        for (size_t i = 0; i < shown[f].size(); ++i) {
            QCOMPARE(playback.frames[f][i], shown[f][i] & 0xFFFFFFu);
        }
    }
}

void FormatTest::writerThreadErrorReachesTheCaller() {
    // A sink that fills up after the header, as a full disk does.
    struct FullSink : MemorySink {
        void write(const uint8_t* data, size_t size) override {
            if (position() + size > 200) {
                throw ConvertError(Error::CannotWriteOutput, "out.swf", "no space left");
            }
            MemorySink::write(data, size);
        }
    };
    // On the writing threads, also with hand-offs of one or two items (where the writer
    // waits for the sink at every bitmap), and on the caller's thread alone (small movies).
    PipelineLimits smallest;
    smallest.pictureBytes = 1;
    smallest.bitmaps = {2, 64, 1, 64};
    for (const int way : {0, 1, 2}) {
        FullSink sink;
        ColourRegistry colours;
        PictureBuffer picture(64 * 64);
        bool thrown = false;
        try {
            PipelineOptions running;
            running.threaded = way > 0;
            running.limits = way == 2 ? smallest : PipelineLimits{};
            Pipeline pipeline(sink, colours, {64, 64, 256, 0, 50, {}}, running);
            for (int i = 0; i < 50; ++i) {
                std::fill(picture.begin(), picture.end(),
                          colours.idOf(0xFF000000u + static_cast<uint32_t>(i)));
                pipeline.picture(picture, 64, 64, {0, 0, 64, 64}, 1, {0, i + 1});
            }
            pipeline.finish();
        } catch (const ConvertError& error) {
            thrown = true;
            QCOMPARE(formatMessage(error),
                     std::string("gif2swf: out.swf: cannot write output: no space left"));
        }
        QVERIFY(thrown);
    }
}

// A GIF whose image 31 cannot be decoded fails on the decoding thread while the writer and
// the sink wait for more: the error names the file and image once, and every thread ends.
void FormatTest::decodingErrorEndsTheThreads() {
    const QByteArray good = gifOfImages(30, true);
    const QByteArray gif = good.left(good.size() - 1) + gifOfImages(1, false).mid(19);
    const auto* bytes = reinterpret_cast<const uint8_t*>(gif.constData());
    const size_t size = static_cast<size_t>(gif.size());
    InputFile input{"bad.gif", [bytes, size]() -> std::unique_ptr<ByteSource> {
                        return std::make_unique<MemorySource>(bytes, size);
                    }};
    for (const bool smallQueues : {false, true}) {
        ConvertOptions options;
        options.threaded = true;
        options.smallQueues = smallQueues;
        MemorySink sink;
        try {
            convertGifs({input}, options, sink);
            QFAIL("a GIF that cannot be decoded was converted");
        } catch (const ConvertError& error) {
            QCOMPARE(error.error(), Error::CorruptImage);
            QCOMPARE(error.subject(), std::string("bad.gif"));
            QCOMPARE(error.frame(), 31);
        }
    }
}

void FormatTest::rates_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("frameRate");
    QTest::addColumn<int>("framesPerImage");
    QTest::newRow("2") << "2" << 512 << 1;
    QTest::newRow("25") << "25" << 6400 << 1;
    QTest::newRow("one image per 3 s") << "0.333333333333333" << 256 << 3;
    QTest::newRow("0.5 at 1 fps") << "0.5" << 256 << 2;
    QTest::newRow(".25") << ".25" << 256 << 4;
    QTest::newRow("255") << "255" << 65280 << 1;
    QTest::newRow("1/256, the slowest") << "0.00390625" << 256 << 256;
    QTest::newRow("12.5") << "12.50" << 3200 << 1;
}

void FormatTest::rates() {
    QFETCH(QString, text);
    QFETCH(int, frameRate);
    QFETCH(int, framesPerImage);
    const std::optional<double> rate = parseRate(text.toStdString());
    QVERIFY(rate.has_value());
    const FixedRatePlan plan = planFixedRate(*rate, "-r");
    QCOMPARE(int(plan.frameRate), frameRate);
    QCOMPARE(int(plan.framesPerImage), framesPerImage);
}

void FormatTest::badRates_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("error"); // -1: not a rate at all
    for (const char* text :
         {"", "0", "0.0", "-0.5", "+2", "1e3", "2,5", "abc", " 2", "inf", "nan", "1.2.3", "."}) {
        QTest::newRow(text) << text << -1;
    }
    QTest::newRow("1000") << "1000" << int(Error::RateTooHigh);
    QTest::newRow("256") << "256" << int(Error::RateTooHigh);
    QTest::newRow("0.00001") << "0.00001" << int(Error::RateTooLow);
    QTest::newRow("0.001") << "0.001" << int(Error::RateTooLow);
    QTest::newRow("just below 1/256") << "0.0039062" << int(Error::RateTooLow);
    QTest::newRow("just above 255") << "255.001" << int(Error::RateTooHigh);
}

void FormatTest::badRates() {
    QFETCH(QString, text);
    QFETCH(int, error);
    const std::optional<double> rate = parseRate(text.toStdString());
    if (error < 0) {
        QVERIFY(!rate.has_value());
        return;
    }
    QVERIFY(rate.has_value());
    QCOMPARE(errorOf([&] { planFixedRate(*rate, "-r"); }), std::optional<Error>(Error(error)));
}

void FormatTest::slowAndOddRatesStayAccurate() {
    for (double rate : {0.7, 0.004, 1.0 / 7, 29.97, 23.976, 7.3, 0.9, 100.3, 250.1}) {
        const FixedRatePlan plan = planFixedRate(rate, "-r");
        const double shown = plan.frameRate / 256.0 / plan.framesPerImage;
        QVERIFY2(std::fabs(shown - rate) / rate < 0.002, qPrintable(QString::number(rate)));
        // Never below 1 frame per second when a faster rate can show it.
        QVERIFY2(plan.frameRate >= 256, qPrintable(QString::number(rate)));
    }
}

void FormatTest::delaysToFrames_data() {
    QTest::addColumn<int>("divisor");
    QTest::addColumn<int>("frameRate");
    QTest::addColumn<int>("delay");
    QTest::addColumn<int>("frames");
    QTest::newRow("10 cs: 10 fps") << 10 << 2560 << 30 << 3;
    QTest::newRow("1 cs: 100 fps") << 1 << 25600 << 7 << 7;
    QTest::newRow("4 cs: 25 fps") << 4 << 6400 << 4 << 1;
    QTest::newRow("3 cs: nearest step") << 3 << 8533 << 3 << 1;
    QTest::newRow("3 cs, long delay") << 3 << 8533 << 60000 << 19999;
    QTest::newRow("5 s: kept at 1 fps") << 500 << 256 << 500 << 5;
    QTest::newRow("2.5 s: 2 fps") << 250 << 512 << 750 << 15;
    QTest::newRow("7 cs") << 7 << 3657 << 14 << 2;
}

void FormatTest::delaysToFrames() {
    QFETCH(int, divisor);
    QFETCH(int, frameRate);
    QFETCH(int, delay);
    QFETCH(int, frames);
    QCOMPARE(int(frameRateForDelays(static_cast<uint32_t>(divisor))), frameRate);
    QCOMPARE(int(framesForDelay(static_cast<uint32_t>(delay), static_cast<uint16_t>(frameRate))),
             frames);
}

void FormatTest::commandLines_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<double>("rate"); // 0: none
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<QString>("output");
    QTest::newRow("many to one") << QStringList{"-r",    "2",  "a.gif",
                                                "b.gif", "-o", "/home/u/Desktop//output.swf"}
                                 << 2.0 << QStringList{"a.gif", "b.gif"}
                                 << "/home/u/Desktop//output.swf";
    QTest::newRow("one to one") << QStringList{"a.gif", "-o", "a.swf"} << 0.0
                                << QStringList{"a.gif"} << "a.swf";
    QTest::newRow("options last") << QStringList{"a.gif", "-o", "x.swf", "--rate", "0.5"} << 0.5
                                  << QStringList{"a.gif"} << "x.swf";
    QTest::newRow("no output") << QStringList{"dir/a.gif", "b.gif"} << 0.0
                               << QStringList{"dir/a.gif", "b.gif"} << "dir/a.swf";
    QTest::newRow("a name like an option")
        << QStringList{"-o", "o.swf", "--", "-r.gif"} << 0.0 << QStringList{"-r.gif"} << "o.swf";
}

void FormatTest::commandLines() {
    QFETCH(QStringList, arguments);
    QFETCH(double, rate);
    QFETCH(QStringList, inputs);
    QFETCH(QString, output);
    std::vector<std::string> args;
    for (const QString& a : arguments) {
        args.push_back(a.toStdString());
    }
    const CommandLine line = parseCommandLine(args);
    QCOMPARE(line.rate.value_or(0), rate);
    QStringList parsedInputs;
    for (const std::string& input : line.inputs) {
        parsedInputs << QString::fromStdString(input);
    }
    QCOMPARE(parsedInputs, inputs);
    QCOMPARE(QString::fromStdString(line.output), output);
}

void FormatTest::badCommandLines_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("error");
    QTest::newRow("unknown option") << QStringList{"-x", "a.gif"} << int(Error::UnknownOption);
    QTest::newRow("rate without value")
        << QStringList{"a.gif", "-r"} << int(Error::MissingOptionValue);
    QTest::newRow("output twice") << QStringList{"a.gif", "-o", "a", "-o", "b"}
                                  << int(Error::RepeatedOption);
    QTest::newRow("no input") << QStringList{"-o", "a.swf"} << int(Error::NoInput);
    QTest::newRow("rate 0") << QStringList{"-r", "0", "a.gif"} << int(Error::BadRate);
    QTest::newRow("rate -0.5") << QStringList{"-r", "-0.5", "a.gif"} << int(Error::BadRate);
    QTest::newRow("rate 1000") << QStringList{"-r", "1000", "a.gif"} << int(Error::RateTooHigh);
}

void FormatTest::badCommandLines() {
    QFETCH(QStringList, arguments);
    QFETCH(int, error);
    std::vector<std::string> args;
    for (const QString& a : arguments) {
        args.push_back(a.toStdString());
    }
    const std::optional<Error> thrown = errorOf([&] { parseCommandLine(args); });
    QCOMPARE(thrown, std::optional<Error>(Error(error)));
    QCOMPARE(exitStatusFor(*thrown), kExitUsage);
}

void FormatTest::defaultOutputName_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("output");
    QTest::newRow("extension") << "dir.v/a.gif"
                               << "dir.v/a.swf";
    QTest::newRow("no extension") << "dir.v/noext"
                                  << "dir.v/noext.swf";
    QTest::newRow("dot file") << "dir/.hidden"
                              << "dir/.hidden.swf";
    QTest::newRow("two dots") << "a.b.gif"
                              << "a.b.swf";
}

void FormatTest::defaultOutputName() {
    QFETCH(QString, input);
    QFETCH(QString, output);
    QCOMPARE(QString::fromStdString(defaultOutputFor(input.toStdString())), output);
}

void FormatTest::eachListsMayExceedAMoviesFrames() {
    QTemporaryDir dir;
    const QString list = dir.filePath("long.list");
    QFile file(list);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("a.gif", 6).repeated(int(kMaxFrames) + 1));
    file.close();
    const std::string path = list.toStdString();
    QCOMPARE(parseCommandLine({"--each", "-l", path}).inputs.size(), size_t(kMaxFrames) + 1);
    QCOMPARE(errorOf([&] {
                 parseCommandLine({"-l", path});
             }),
             std::optional<Error>(Error::TooManyFrames));
    // "--each" as an option's value is not the option.
    QVERIFY(!parseCommandLine({"-o", "--each", "a.gif"}).each);
}

void FormatTest::everyErrorHasItsSentenceAndStatus() {
    QSet<QString> sentences;
    for (int e = int(Error::UnknownOption); e <= int(Error::Internal); ++e) {
        const QString sentence = QString::fromUtf8(describe(Error(e)));
        QVERIFY2(sentence != "unknown error" && !sentences.contains(sentence),
                 qPrintable(QString::number(e)));
        sentences.insert(sentence);
    }
    QCOMPARE(exitStatusFor(Error::CannotWriteOutput), kExitOutput);
    QCOMPARE(exitStatusFor(Error::NotGif), kExitInput);
    QCOMPARE(exitStatusFor(Error::OutOfMemory), kExitInternal);
    QCOMPARE(exitStatusFor(Error::Internal), kExitInternal);
}

void FormatTest::messageNamesFileAndFrame() {
    QCOMPARE(QString::fromStdString(
                 formatMessage(ConvertError(Error::TruncatedImage, "a b.gif", {}, 3))),
             QString("gif2swf: a b.gif: frame 3: truncated image data"));
    QCOMPARE(QString::fromStdString(
                 formatMessage(ConvertError(Error::ImageTooLarge, "x.gif", "20000x20000"))),
             QString("gif2swf: x.gif: image too large: 20000x20000 (at most 8192 pixels a side "
                     "and 4096x4096 pixels in all)"));
}

void FormatTest::hugeScreenIsRefusedBeforeDecoding() {
    // A header without a global table that claims a 20000 x 20000 screen, then the trailer.
    const uint8_t gif[] = {'G', 'I', 'F', '8', '9', 'a', 0x20, 0x4E, 0x20, 0x4E, 0x00, 0, 0, ';'};
    MemorySource source(gif, sizeof(gif));
    try {
        scanGif(source, "huge.gif");
        QFAIL("a 20000x20000 screen was accepted");
    } catch (const ConvertError& error) {
        QCOMPARE(error.error(), Error::ImageTooLarge);
        QCOMPARE(QString::fromStdString(error.detail()), QString("20000x20000"));
    }
}

void FormatTest::tooLongMovieIsRefusedBeforeDecoding() {
    // At a third of an image per second each image takes 3 frames of 1 s: 21845 fill the
    // 65535 frames a movie holds.
    const auto convert = [](const QByteArray& gif) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(gif.constData());
        const size_t size = static_cast<size_t>(gif.size());
        InputFile input{"many.gif", [bytes, size]() -> std::unique_ptr<ByteSource> {
                            return std::make_unique<MemorySource>(bytes, size);
                        }};
        ConvertOptions options;
        options.rate = 1 / 3.0;
        options.rateSubject = "-r 0.333333333333333";
        MemorySink sink;
        return convertGifs({input}, options, sink).frameCount;
    };
    QCOMPARE(int(convert(gifOfImages(21845, true))), 65535);
    // One image more is refused, and before decoding: its images cannot be decoded.
    QCOMPARE(errorOf([&] { convert(gifOfImages(2, false)); }), std::optional(Error::CorruptImage));
    try {
        convert(gifOfImages(21846, false));
        QFAIL("a movie of 65538 frames was accepted");
    } catch (const ConvertError& error) {
        QCOMPARE(QString::fromStdString(formatMessage(error)),
                 QString("gif2swf: -r 0.333333333333333: movie too long: a movie holds at most "
                         "65535 frames: 21846 images take 65538 frames, 3 frames each; at most "
                         "21845 images fit at this rate"));
        QCOMPARE(exitStatusFor(error.error()), kExitInput);
    }
}

void FormatTest::fuzzFindings_data() {
    QTest::addColumn<QByteArray>("gif");
    QTest::addColumn<int>("frames"); // 0: refused with a ConvertError
    // A frame with "previous" disposal wholly outside the screen: saving its empty area
    // passed a null pointer to memcpy.
    QTest::newRow("previous disposal off screen")
        << QByteArray::fromBase64(
               "R0lGODkHYQA9APAAAP8AAAAAACH5BC4AAAAALAAKAAAHAAUAAAIFhI+puwUAOw==")
        << 1;
}

void FormatTest::fuzzFindings() {
    QFETCH(QByteArray, gif);
    QFETCH(int, frames);
    const auto* bytes = reinterpret_cast<const uint8_t*>(gif.constData());
    const size_t size = static_cast<size_t>(gif.size());
    InputFile input{"fuzz.gif", [bytes, size]() -> std::unique_ptr<ByteSource> {
                        return std::make_unique<MemorySource>(bytes, size);
                    }};
    MemorySink sink;
    try {
        const ConvertResult result = convertGifs({input}, ConvertOptions{}, sink);
        QCOMPARE(int(result.frameCount), frames);
        const testswf::Playback playback = testswf::play(sink.data());
        QCOMPARE(int(playback.frames.size()), frames);
    } catch (const ConvertError& error) {
        QVERIFY2(frames == 0, formatMessage(error).c_str());
    }
}

// Our LZW decoder must give giflib's pixels and refuse what giflib refuses, at the same
// row: on valid data (giflib's encoder, every code size), on random codes (codes beyond
// the table, early end codes, a full table) and on data cut short; and the same again when
// it decoded other images before.
void FormatTest::decodingMatchesGiflib() {
    std::mt19937 random(20261207);
    int compared = 0;
    int refusedByBoth = 0;
    LzwDecoder shared;
    for (int round = 0; round < 3000; ++round) {
        const int width = 1 + static_cast<int>(random() % 70);
        const int height = 1 + static_cast<int>(random() % 40);
        const int codeSize = static_cast<int>(random() % 10);
        std::vector<uint8_t> data;
        if (round % 3 == 0 && codeSize >= 2 && codeSize <= 8) {
            // Valid data: giflib's encoder, then maybe a few bytes changed.
            const QTemporaryDir dir;
            testgif::Gif gif{width, height, testgif::palette(1 << codeSize, round), 0, {}};
            gif.frames.push_back(testgif::patternFrame(0, 0, width, height, 1 << codeSize, round));
            const std::string path = dir.filePath("v.gif").toStdString();
            testgif::writeGif(path, gif);
            QFile file(QString::fromStdString(path));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            std::vector<uint8_t> whole(bytes.begin(), bytes.end());
            for (int flips = static_cast<int>(random() % 3); flips > 0; --flips) {
                whole[whole.size() / 2 + random() % (whole.size() / 2)] ^=
                    static_cast<uint8_t>(1 + random() % 255);
            }
            bool giflibFailed = false;
            bool ourFailed = false;
            QCOMPARE(ourRows(whole, ourFailed), giflibRows(whole, giflibFailed));
            QCOMPARE(ourFailed, giflibFailed);
            ++compared;
            continue;
        }
        data.resize(random() % 1200);
        for (uint8_t& byte : data) {
            // Mostly small codes, so that strings grow long and the table fills.
            byte = static_cast<uint8_t>(random() % (round % 2 == 0 ? 256 : 4));
        }
        const std::vector<uint8_t> file =
            gifWithData(width, height, codeSize, data, random() % 4 != 0);
        bool giflibFailed = false;
        bool ourFailed = false;
        const auto ours = ourRows(file, ourFailed);
        QCOMPARE(ours, giflibRows(file, giflibFailed));
        QCOMPARE(ourFailed, giflibFailed);
        refusedByBoth += ourFailed;
        ++compared;
        // A reader keeps one decoder for all of a file's images: what the images before left
        // in its tables (other code sizes, strings defined) must not change the next one.
        if (codeSize <= 8) {
            data.resize(data.size() + LzwDecoder::kPadding, 0);
            const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
            LzwDecoder fresh;
            fresh.start(codeSize, data.data(), data.size() - LzwDecoder::kPadding, pixels);
            shared.start(codeSize, data.data(), data.size() - LzwDecoder::kPadding, pixels);
            const LzwDecoder::Status status = fresh.decodeTo(pixels);
            QCOMPARE(shared.decodeTo(pixels), status);
            if (status == LzwDecoder::Status::Done) {
                QVERIFY(std::equal(fresh.pixels(), fresh.pixels() + pixels, shared.pixels()));
            }
        }
    }
    // Both kinds of outcome were met.
    QVERIFY(refusedByBoth > 100);
    QVERIFY(compared - refusedByBoth > 100);
}

// A patch row is worked out 64 pixels at a time (and four at a time with SSE2), and a row's
// changed pixels eight at a time; both must equal the pixel-by-pixel definition on every
// width, at every 4-, 8- and 64-pixel boundary.
void FormatTest::patchRowsFollowTheirDefinition() {
    std::mt19937 random(7);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    for (int round = 0; round < 2000; ++round) {
        const int width = 1 + pick(200);
        const bool firstRow = pick(4) == 0;
        std::vector<uint32_t> now(static_cast<size_t>(width));
        std::vector<uint32_t> before(now.size());
        std::vector<uint32_t> above(now.size(), 0u);
        for (size_t x = 0; x < now.size(); ++x) {
            // Few colours, so that runs and equal neighbours are common.
            now[x] = 0xFF000000u | static_cast<uint32_t>(pick(3));
            before[x] = pick(3) == 0 ? 0xFF000000u | static_cast<uint32_t>(pick(3)) : now[x];
            above[x] = firstRow || pick(2) == 0 ? 0u : now[x];
        }
        for (int mode = 0; mode < 4; ++mode) {
            const bool fill = (mode & 1) != 0;
            const bool estimate = (mode & 2) != 0;
            std::vector<uint32_t> expected(now.size());
            uint64_t expectedCost = 0;
            uint32_t left = 0;
            for (size_t x = 0; x < now.size(); ++x) {
                const bool shown = now[x] != before[x] ||
                                   (fill && (now[x] == left || (left != 0 && above[x] != 0)));
                const uint32_t chosen = shown ? now[x] : 0u;
                expectedCost += chosen != left && (firstRow || above[x] != chosen);
                expected[x] = left = chosen;
            }
            std::vector<uint32_t> row(now.size(), 0xDEADBEEFu);
            const uint64_t cost = layPatchRow(now.data(), before.data(), above.data(), firstRow,
                                              width, fill, estimate, row.data());
            QCOMPARE(row, expected);
            QCOMPARE(cost, estimate ? expectedCost : 0u);
        }
        // The changed pixels of a span, and its first and last, eight at a time.
        const int from = pick(width);
        const int to = from + pick(width - from + 1);
        uint64_t expectedCount = 0;
        int expectedFirst = -1;
        int expectedLast = -1;
        for (int x = from; x < to; ++x) {
            if (now[static_cast<size_t>(x)] != before[static_cast<size_t>(x)]) {
                ++expectedCount;
                expectedFirst = expectedFirst < 0 ? x : expectedFirst;
                expectedLast = x;
            }
        }
        int first = -1;
        int last = -1;
        QCOMPARE(differingPixels(now.data(), before.data(), from, to, first, last), expectedCount);
        QCOMPARE(std::make_pair(first, last), std::make_pair(expectedFirst, expectedLast));
    }
}

// The file's fingerprint is taken in pieces of any size, and both fingerprints keep an
// unfinished word: every length around a word's, any cut, any single changed or added byte.
void FormatTest::fingerprintsTellBytesApart() {
    std::mt19937 random(11);
    for (const size_t size : {0, 1, 7, 8, 9, 31, 32, 33, 64, 95, 200}) {
        std::vector<uint8_t> bytes(size);
        for (uint8_t& byte : bytes) {
            byte = static_cast<uint8_t>(random());
        }
        const auto whole = [](const std::vector<uint8_t>& data) {
            StreamFingerprint stream;
            stream.add(data.data(), data.size());
            return std::make_pair(stream.value(), keyedFingerprint(data.data(), data.size(), 5));
        };
        const auto expected = whole(bytes);
        // In pieces of any size, each prefix's value on the way is that prefix's own.
        StreamFingerprint pieces;
        for (size_t at = 0; at < size;) {
            const size_t piece = std::min<size_t>(size - at, 1 + random() % 40);
            pieces.add(bytes.data() + at, piece);
            at += piece;
            const std::vector<uint8_t> prefix(bytes.begin(), bytes.begin() + at);
            QCOMPARE(pieces.value(), whole(prefix).first);
        }
        QCOMPARE(pieces.value(), expected.first);
        QVERIFY(!(keyedFingerprint(bytes.data(), size, 6) == expected.second));
        for (size_t at = 0; at <= size; ++at) {
            std::vector<uint8_t> other = bytes;
            if (at == size) {
                other.push_back(0); // a zero more, as a last word is filled
            } else {
                other[at] ^= static_cast<uint8_t>(1 + random() % 255);
            }
            const auto changed = whole(other);
            QVERIFY2(changed.first != expected.first && !(changed.second == expected.second),
                     qPrintable(QString("size %1, byte %2").arg(size).arg(at)));
        }
    }
}

// Two workers deflate bitmaps at once; a small bitmap handed over after a large one is done
// first, yet every tag must come out in the order it was handed over.
void FormatTest::tagsStayInOrderWhileBitmapsDeflateSideBySide() {
    MemorySink sink;
    const int count = 120;
    swf::FileHeaderLayout header;
    {
        TagSink writer(sink, true);
        std::vector<std::thread> workers;
        for (int w = 0; w < TagSink::kWorkers; ++w) {
            workers.emplace_back([&writer, w] { writer.work(w); });
        }
        header = swf::writeFileHeader(writer.tags(), swf::FileHeader());
        ColourRegistry colours;
        BitmapEncoder encoder(colours);
        for (int i = 1; i <= count; ++i) {
            const int side = i % 7 == 0 ? 700 : 1 + i % 13;
            std::vector<uint32_t> pixels(static_cast<size_t>(side) * side);
            for (size_t p = 0; p < pixels.size(); ++p) {
                pixels[p] = colours.idOf(
                    0xFF000000u | static_cast<uint32_t>((p * 7 + static_cast<size_t>(i)) % 200));
            }
            encoder.prepare(pixels.data(), side, side);
            writer.defineBitmap(static_cast<uint16_t>(i), encoder, false);
            swf::writeShowFrame(writer.tags()); // a marker after each bitmap
        }
        writer.end(header, 1);
        for (std::thread& worker : workers) {
            worker.join();
        }
        writer.throwIfFailed();
    }
    const std::vector<uint8_t>& bytes = sink.data();
    QCOMPARE(size_t{bytes[4] | bytes[5] << 8 | bytes[6] << 16 | size_t{bytes[7]} << 24},
             bytes.size());
    size_t at = header.frameCountOffset + 2;
    int expected = 1;
    bool bitmapNext = true;
    while (at + 2 <= bytes.size()) {
        const unsigned header = bytes[at] | bytes[at + 1] << 8;
        at += 2;
        size_t length = header & 0x3F;
        if (length == 0x3F) {
            QVERIFY(at + 4 <= bytes.size());
            length = bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                     static_cast<size_t>(bytes[at + 3]) << 24;
            at += 4;
        }
        const unsigned code = header >> 6;
        if (bitmapNext) {
            QCOMPARE(code, unsigned{swf::kDefineBitsLossless});
            QCOMPARE(int(bytes[at] | bytes[at + 1] << 8), expected);
            ++expected;
        } else {
            QCOMPARE(code, unsigned{swf::kShowFrame});
        }
        bitmapNext = !bitmapNext;
        at += length;
    }
    QCOMPARE(at, bytes.size());
    QCOMPARE(expected, count + 1);
}

// Every level a bitmap is deflated at (the fast deflater where the build has it, libdeflate's
// levels) gives a zlib stream of exactly the prepared bytes; data over its allowance is
// deflated again at the next level, and comes out as small as that level makes it.
void FormatTest::deflatedBitmapsInflateToWhatWasPrepared() {
    BitmapCompressor compressor;
    libdeflate_compressor* level6 = libdeflate_alloc_compressor(6);
    std::mt19937 random(7);
    // Poorly deflating: six-byte words from a small set, a quarter of their bytes spoilt.
    std::array<std::array<uint8_t, 6>, 64> words;
    for (auto& word : words) {
        for (uint8_t& byte : word) {
            byte = static_cast<uint8_t>(random());
        }
    }
    enum Data { Runs, Words, Noise };
    const std::vector<int> fast{DeflateBudget::kFast};
    for (const size_t size : {size_t{1}, size_t{5000}, size_t{16 * 1024 + 1}, size_t{3000000}}) {
        for (const Data data : {Runs, Words, Noise}) {
            for (const std::vector<int>& levels :
                 {fast, std::vector<int>{1}, std::vector<int>{4}, std::vector<int>{0, 6}}) {
                PreparedBitmap prepared;
                prepared.buffer.resize(size + 3);
                prepared.start = 3;
                for (size_t i = 0; i < size; ++i) {
                    const uint8_t word = words[i / 6 * 2654435761u % 64][i % 6];
                    const uint8_t spoilt = random() % 4 == 0 ? static_cast<uint8_t>(random()) : 0;
                    prepared.buffer[3 + i] = data == Runs ? static_cast<uint8_t>((i / 97) % 7 * 31)
                                             : data == Words ? static_cast<uint8_t>(word ^ spoilt)
                                                             : static_cast<uint8_t>(random());
                }
                prepared.width = 1;
                prepared.height = static_cast<int>(size);
                // Poorly deflating data allowed what level 6 makes of it is deflated again
                // until within it.
                size_t level6Size = 0;
                if (data == Words && levels.size() > 1) {
                    std::vector<uint8_t> better(libdeflate_zlib_compress_bound(level6, size));
                    level6Size = libdeflate_zlib_compress(level6, prepared.data(), size,
                                                          better.data(), better.size());
                }
                swf::LosslessBitmap bitmap;
                const int level = compressor.deflate(prepared, bitmap, levels,
                                                     level6Size != 0 ? level6Size : UINT64_MAX);
                const QString what = QString("%1 bytes, data %2, level %3")
                                         .arg(size)
                                         .arg(int(data))
                                         .arg(levels.front());
                std::vector<uint8_t> inflated(size + 1);
                uLongf inflatedSize = static_cast<uLongf>(inflated.size());
                QCOMPARE(uncompress(inflated.data(), &inflatedSize, bitmap.zlibData.data(),
                                    static_cast<uLong>(bitmap.zlibData.size())),
                         Z_OK);
                QCOMPARE(size_t{inflatedSize}, size);
                QVERIFY2(std::equal(inflated.begin(), inflated.begin() + size, prepared.data()),
                         qPrintable(what));
                if (data == Runs) {
                    QVERIFY2(bitmap.zlibData.size() < size / 4 + 64, qPrintable(what));
                } else if (level6Size != 0) {
                    QVERIFY2(bitmap.zlibData.size() <= level6Size, qPrintable(what));
                    QVERIFY2(level == 6 || level == DeflateBudget::kFast, qPrintable(what));
                }
            }
        }
    }
    libdeflate_free_compressor(level6);
}

void FormatTest::deflateBudgetChoosesTheLevels_data() {
    QTest::addColumn<quint64>("paid");
    QTest::addColumn<quint64>("rawBytes");
    QTest::addColumn<bool>("sizeFirst");
    QTest::addColumn<int>("beforeLevel"); // -1: not known
    QTest::addColumn<QString>("before");  // "within", "roomy" or "over"
    QTest::addColumn<qint64>("spare");    // -1: not known
    QTest::addColumn<QString>("levels");  // 0: the fast deflate
    QTest::addColumn<quint64>("allowance");
    const quint64 none = UINT64_MAX;
    const quint64 large = 300000;
    QTest::newRow("no bound: the first level")
        << 0ull << large << false << 6 << "over" << 5000ll << "0" << none;
    QTest::newRow("large: fast, then 3 and 6")
        << 1000ull << large << false << -1 << "within" << -1ll << "0 3 6" << 1000ull;
    QTest::newRow("what the movie spares is allowed")
        << 1000ull << large << false << -1 << "within" << 500ll << "0 3 6" << 1500ull;
    QTest::newRow("a debt is not")
        << 1000ull << large << false << -1 << "within" << -500ll << "0 3 6" << 1000ull;
    QTest::newRow("first picture: libdeflate's 1")
        << 1000ull << large << true << -1 << "within" << -1ll << "1 6" << 1000ull;
    QTest::newRow("a frame of 60 kB: no higher than 6")
        << 1000ull << 60000ull << false << -1 << "within" << -1ll << "0 3 6" << 1000ull;
    QTest::newRow("a strip of patches: from 4")
        << 1000ull << 60000ull << true << -1 << "within" << -1ll << "4 6 9" << 1000ull;
    QTest::newRow("small: from 4")
        << 1000ull << 16384ull << false << -1 << "within" << -1ll << "4 6 9" << 1000ull;
    QTest::newRow("starts where the one before needed")
        << 1000ull << large << false << 3 << "within" << -1ll << "3 6" << 1000ull;
    QTest::newRow("or higher") << 1000ull << large << false << 6 << "within" << -1ll << "6"
                               << 1000ull;
    QTest::newRow("a step lower when it had room")
        << 1000ull << 16384ull << false << 9 << "roomy" << -1ll << "6 9" << 1000ull;
    QTest::newRow("the GIF's format wins: no higher")
        << 1000ull << 60000ull << true << 6 << "over" << -1ll << "6" << 1000ull;
}

// One place decides how hard a bitmap is deflated: the fast level, higher ones only while
// over what was paid, bounded, and starting where the bitmaps before needed.
void FormatTest::deflateBudgetChoosesTheLevels() {
    QFETCH(quint64, paid);
    QFETCH(quint64, rawBytes);
    QFETCH(bool, sizeFirst);
    QFETCH(int, beforeLevel);
    QFETCH(QString, before);
    QFETCH(qint64, spare);
    QFETCH(QString, levels);
    QFETCH(quint64, allowance);
    DeflateBudget::Outcome outcome;
    outcome.level = beforeLevel;
    outcome.within = before != "over";
    outcome.roomy = before == "roomy";
    outcome.spare = spare == -1 ? INT64_MAX : spare;
    const DeflateBudget budget(paid, rawBytes, sizeFirst, outcome);
    QStringList chosen;
    for (int level : budget.levels()) {
        chosen << QString::number(level);
    }
    QCOMPARE(chosen.join(' '), levels);
    QCOMPARE(quint64(budget.allowance()), allowance);
}

void FormatTest::deflateBudgetSpendsWhatTheMovieSpares_data() {
    QTest::addColumn<int>("level");        // where the bitmap kInFlight jobs before ended
    QTest::addColumn<quint64>("bytes");    // what it made there
    QTest::addColumn<quint64>("fast");     // what it made at the fast level (0: not tried)
    QTest::addColumn<quint64>("rawBytes"); // its size; this one's is 300000
    QTest::addColumn<qint64>("spare");     // -1: not known yet
    QTest::addColumn<QString>("levels");
    // This bitmap's share of the spare is a sixteenth: 1600 leaves it 100 beyond its 1000.
    QTest::newRow("the fast level would fit now: from it")
        << 3 << 900ull << 1040ull << 300000ull << 1600ll << "0 3 6";
    QTest::newRow("it would not: where that one ended")
        << 3 << 900ull << 1040ull << 300000ull << 320ll << "3 6";
    QTest::newRow("the fast level not tried: level 3's bytes and an eighth")
        << 3 << 900ull << 0ull << 300000ull << 320ll << "0 3 6";
    QTest::newRow("an eighth more would not fit")
        << 3 << 920ull << 0ull << 300000ull << 320ll << "3 6";
    QTest::newRow("weighed by the bitmaps' sizes")
        << 3 << 900ull << 1040ull << 150000ull << 1600ll << "3 6";
    QTest::newRow("spare not known: only the bitmap's own")
        << 3 << 900ull << 1040ull << 300000ull << -1ll << "3 6";
}

// What bitmaps leave under what was paid is spent on deflating faster, while the movie stays
// within what was paid.
void FormatTest::deflateBudgetSpendsWhatTheMovieSpares() {
    QFETCH(int, level);
    QFETCH(quint64, bytes);
    QFETCH(quint64, fast);
    QFETCH(quint64, rawBytes);
    QFETCH(qint64, spare);
    QFETCH(QString, levels);
    DeflateBudget::Outcome before;
    before.level = level;
    before.bytes = bytes;
    before.fastBytes = fast;
    before.rawBytes = rawBytes;
    before.spare = spare == -1 ? INT64_MAX : spare;
    const DeflateBudget budget(1000, 300000, false, before);
    QStringList chosen;
    for (int step : budget.levels()) {
        chosen << QString::number(step);
    }
    QCOMPARE(chosen.join(' '), levels);
}

void FormatTest::deflateBudgetStopsWhereTheGifWins_data() {
    QTest::addColumn<QString>("levels"); // as DeflateBudget::levels() gives them
    QTest::addColumn<quint64>("size");   // what the first of them made
    QTest::addColumn<QString>("after");
    QTest::newRow("within: done") << "0 6" << 1000ull << "";
    QTest::newRow("a little over: the next") << "0 3 6" << 1250ull << "3 6";
    QTest::newRow("a quarter over at the fast level: 5, no more") << "0 3 6" << 1251ull << "5";
    QTest::newRow("deflated for size: the next") << "1 6" << 2000ull << "6";
    QTest::newRow("small: the next") << "4 6 9" << 2000ull << "6 9";
}

// Where the fast level leaves a bitmap far over what the GIF paid, no level within the time
// brings it within (two-colour noise): one more deflate, and the writer tries nothing more.
void FormatTest::deflateBudgetStopsWhereTheGifWins() {
    QFETCH(QString, levels);
    QFETCH(quint64, size);
    QFETCH(QString, after);
    std::vector<int> given;
    for (const QString& level : levels.split(' ')) {
        given.push_back(level.toInt());
    }
    QStringList chosen;
    for (int level : DeflateBudget::levelsAfterFirst(given, size, 1000)) {
        chosen << QString::number(level);
    }
    QCOMPARE(chosen.join(' '), after);
    const DeflateBudget budget(1000, 300000, false, {});
    QVERIFY(budget.levelsAbove(DeflateBudget::kBeyondReach).empty());
    QCOMPARE(budget.levelsAbove(DeflateBudget::kFast), (std::vector<int>{3, 6}));
}

// A large bitmap's first eighth at the fast level tells whether the whole is beyond reach
// (with an eighth to spare for the sample), or over what it may take there (a seventeenth):
// only where a higher level would follow.
void FormatTest::deflateBudgetSamplesLargeBitmaps() {
    const std::vector<int> fastThen6{DeflateBudget::kFast, 6};
    QVERIFY(DeflateBudget::worthSampling(fastThen6, 300000, 1000));
    QVERIFY(!DeflateBudget::worthSampling(fastThen6, 100000, 1000));
    QVERIFY(!DeflateBudget::worthSampling({1, 6}, 300000, 1000));
    QVERIFY(!DeflateBudget::worthSampling({DeflateBudget::kFast}, 300000, 1000));
    QVERIFY(!DeflateBudget::worthSampling(fastThen6, 300000, UINT64_MAX));
    QVERIFY(DeflateBudget::beyondReach(1000, 200, 8000, 1000));      // 1600: over 1406
    QVERIFY(!DeflateBudget::beyondReach(1000, 170, 8000, 1000));     // 1360: a sample's error
    QCOMPARE(DeflateBudget::fastFromSample(1000, 170, 8000), 1280u); // less a 17th
    QCOMPARE(DeflateBudget::fastFromSample(0, 170, 8000), 0u);

    // A bitmap the fast level leaves over what it may take, and level 3 within: its sample
    // sends it to level 3 at once, and the fast deflate of the whole is not made.
    std::mt19937 random(5);
    PreparedBitmap prepared;
    prepared.buffer.resize(300000);
    for (size_t i = 0; i < prepared.buffer.size(); ++i) {
        // Runs of a few levels with a little noise, like a dithered picture's rows.
        prepared.buffer[i] =
            static_cast<uint8_t>(i / 5 % 13 * 7 + (random() % 5 == 0 ? random() % 3 : 0));
    }
    prepared.width = 1000;
    prepared.height = 300;
    BitmapCompressor compressor;
    swf::LosslessBitmap fast;
    swf::LosslessBitmap middle;
    compressor.deflate(prepared, fast, {DeflateBudget::kFast}, UINT64_MAX);
    compressor.deflate(prepared, middle, {DeflateBudget::kMiddle}, UINT64_MAX);
    // 88.7 kB at the fast level, 69.0 kB at level 3: a fifth over at the fast level.
    const uint64_t allowance =
        middle.zlibData.size() + (fast.zlibData.size() - middle.zlibData.size()) / 4;
    swf::LosslessBitmap chosen;
    QCOMPARE(compressor.deflate(prepared, chosen, {DeflateBudget::kFast, DeflateBudget::kMiddle, 6},
                                allowance),
             DeflateBudget::kMiddle);
    QCOMPARE(compressor.fastBytes(), 0u);
    QCOMPARE(chosen.zlibData, middle.zlibData);
}

void FormatTest::threadsDoNotChangeTheMovie_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("patches") << "patches";
    // Its bitmaps pass their byte budgets, so the workers and the writer deflate them again.
    QTest::newRow("flame, deflated harder") << "flame";
    // Little spare: the workers choose the writer's level themselves, from how the movie stood a
    // fixed number of bitmaps before.
    QTest::newRow("life, deflated harder on the workers") << "life";
}

// Small movies are made on one thread, larger ones on four: the same GIF gives the same
// bytes either way (keys, patches over patches, reverted patches, local colour tables,
// transparency, disposal to the background and to what was there, opaque images over the
// screen or a part of it, repeated pictures; bitmaps deflated again to keep within what was
// paid).
void FormatTest::threadsDoNotChangeTheMovie() {
    QFETCH(QString, kind);
    testgif::Gif gif;
    gif.width = 96;
    gif.height = 64;
    gif.globalColours = testgif::palette(64, 3);
    gif.frames.push_back(testgif::patternFrame(0, 0, 96, 64, 64, 1));
    for (int i = 0; i < 60; ++i) {
        testgif::Frame f = i % 15 == 14 ? testgif::patternFrame(0, 0, 96, 64, 64, i)
                                        : testgif::patternFrame(i % 80, i % 50, 16, 14, 64, i);
        f.disposal = i % 3 == 0 ? 3 : i % 5 == 1 ? 2 : 1;
        f.transparent = i % 4 == 0 ? 5 : -1;
        if (i % 10 == 7) {
            f.localColours = testgif::palette(64, i);
        }
        gif.frames.push_back(i % 20 == 19 ? gif.frames[5] : f);
    }
    if (kind == "flame") {
        gif = testgif::flame(256, 160, 61);
    } else if (kind == "life") {
        gif = testgif::life(160, 120, 61, 20);
    }
    QTemporaryDir folder;
    const std::string path = folder.filePath("mixed.gif").toStdString();
    testgif::writeGif(path, gif);
    // One thread, four, and four through hand-offs of one or two items (every wait taken).
    std::vector<uint8_t> movies[3];
    for (const int way : {0, 1, 2}) {
        ConvertOptions options;
        options.threaded = way > 0;
        options.smallQueues = way == 2;
        MemorySink sink;
        const ConvertResult result = convertGifs({inputFromPath(path)}, options, sink);
        QCOMPARE(int(result.frameCount), 61);
        movies[way] = sink.data();
    }
    QVERIFY(movies[0] == movies[1]);
    QVERIFY(movies[0] == movies[2]);
    QCOMPARE(int(testswf::play(movies[0]).frames.size()), 61);
    if (kind != "patches") {
        QVERIFY2(qint64(movies[0].size()) <= QFileInfo(QString::fromStdString(path)).size(),
                 qPrintable(QString::number(movies[0].size())));
    }
}

QTEST_GUILESS_MAIN(FormatTest)
#include "tst_gif2swf_format.moc"
