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

} // namespace korvane::test
