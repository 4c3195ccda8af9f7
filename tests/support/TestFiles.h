#pragma once

// Files that tests lay out in their temporary folders.
#include "GifMaker.h"

#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QString>

namespace korvane::test {

inline bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A real one-colour GIF image, written with giflib's encoder.
inline bool WriteGif(const QString& path, int width = 8, int height = 8, QColor color = Qt::red) {
    testgif::Gif gif;
    gif.width = width;
    gif.height = height;
    gif.globalColours = {{uint8_t(color.red()), uint8_t(color.green()), uint8_t(color.blue())},
                         {0, 0, 0}};
    testgif::Frame frame;
    frame.width = width;
    frame.height = height;
    frame.indices.assign(size_t(width) * size_t(height), 0);
    gif.frames.push_back(frame);
    try {
        testgif::writeGif(QFile::encodeName(path).toStdString(), gif);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

// What an uncompressed movie's header says: its frame rate (8.8 fixed point) and frame count;
// zeros when the file is no such movie.
struct MovieHeader {
    int frameRate = 0;
    int frames = 0;
};

inline MovieHeader ReadMovieHeader(const QString& path) {
    QFile file(path);
    const QByteArray head = file.open(QIODevice::ReadOnly) ? file.read(32) : QByteArray();
    if (head.size() < 32 || !head.startsWith("FWS"))
        return {};
    // The stage rectangle comes first: a 5-bit field size, then four fields of that size.
    const int bits = static_cast<unsigned char>(head[8]) >> 3;
    const int at = 8 + (5 + 4 * bits + 7) / 8;
    const auto u16 = [&](int i) {
        return static_cast<unsigned char>(head[i]) | static_cast<unsigned char>(head[i + 1]) << 8;
    };
    return {u16(at), u16(at + 2)};
}

} // namespace korvane::test
