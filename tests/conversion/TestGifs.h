#pragma once

// Small real GIF files for the tests, written here so no image library is needed: one image of
// one colour, its LZW data sent as plain literals with a clear code before the table can grow.
#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QString>

namespace korvane::test {

inline QByteArray MakeGif(int width, int height, QColor color) {
    QByteArray gif("GIF89a");
    const auto u16 = [&gif](int value) {
        gif.append(char(value & 0xFF));
        gif.append(char((value >> 8) & 0xFF));
    };
    u16(width); // logical screen width
    u16(height);
    gif.append(char(0x80)); // global colour table of 2 entries
    gif.append(char(0));    // background colour index
    gif.append(char(0));    // pixel aspect ratio
    gif.append(char(color.red())).append(char(color.green())).append(char(color.blue()));
    gif.append(char(0xFF)).append(char(0xFF)).append(char(0xFF));
    gif.append(char(0x2C)); // image separator
    u16(0);
    u16(0);
    u16(width);
    u16(height);
    gif.append(char(0)); // no local colour table, not interlaced

    // Codes are 3 bits wide with a minimum code size of 2: clear 4, end 5. Two literals after a
    // clear add at most table entry 6, so the width never grows.
    constexpr int kClear = 4, kEnd = 5;
    QByteArray data;
    quint32 bits = 0;
    int bitCount = 0;
    const auto putCode = [&](int code) {
        bits |= quint32(code) << bitCount;
        bitCount += 3;
        while (bitCount >= 8) {
            data.append(char(bits & 0xFF));
            bits >>= 8;
            bitCount -= 8;
        }
    };
    for (int pixel = 0; pixel < width * height; ++pixel) {
        if (pixel % 2 == 0)
            putCode(kClear);
        putCode(0);
    }
    putCode(kEnd);
    if (bitCount > 0)
        data.append(char(bits & 0xFF));

    gif.append(char(2)); // LZW minimum code size
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const QByteArray block = data.mid(at, 255);
        gif.append(char(block.size())).append(block);
    }
    gif.append(char(0));    // block terminator
    gif.append(char(0x3B)); // trailer
    return gif;
}

inline bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline bool WriteGif(const QString& path, int width = 8, int height = 8, QColor color = Qt::red) {
    return WriteFile(path, MakeGif(width, height, color));
}

} // namespace korvane::test
