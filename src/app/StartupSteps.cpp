#include "StartupSteps.h"

#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QtEndian>

#include <algorithm>
#include <cmath>

namespace korvane {

namespace {

// ICONDIR: reserved (2 bytes), type (2 bytes; 1 icon, 2 cursor), image count (2 bytes); the
// first ICONDIRENTRY follows, where a cursor keeps its hotspot in place of planes and depth.
constexpr int kTypeOffset = 2;
constexpr int kCountOffset = 4;
constexpr int kHotspotXOffset = 10;
constexpr int kHotspotYOffset = 12;
constexpr quint16 kCursorType = 2;

quint16 readWord(const QByteArray& bytes, int offset) {
    return qFromLittleEndian<quint16>(bytes.constData() + offset);
}

} // namespace

unsigned int SecondsSinceMidnight(const QTime& timeOfDay) {
    return static_cast<unsigned int>(timeOfDay.msecsSinceStartOfDay() / 1000);
}

int HomePageDraw(double random) {
    return std::clamp(static_cast<int>(std::floor(random * 100.0)) + 1, 1, 100);
}

std::optional<QPoint> CursorFileHotspot(const QByteArray& fileBytes) {
    if (fileBytes.size() < kHotspotYOffset + 2 || readWord(fileBytes, 0) != 0 ||
        readWord(fileBytes, kTypeOffset) != kCursorType || readWord(fileBytes, kCountOffset) == 0)
        return std::nullopt;
    return QPoint(readWord(fileBytes, kHotspotXOffset), readWord(fileBytes, kHotspotYOffset));
}

std::optional<QCursor> LoadCursorFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    const QImage image = QImage::fromData(bytes);
    if (image.isNull())
        return std::nullopt;
    const QPixmap pixmap = QPixmap::fromImage(image);
    if (const auto hotspot = CursorFileHotspot(bytes))
        return QCursor(pixmap, hotspot->x(), hotspot->y());
    return QCursor(pixmap); // the image's centre
}

} // namespace korvane
