#pragma once

#include <QByteArray>
#include <QCursor>
#include <QPoint>
#include <QString>
#include <QTime>

#include <optional>

// The decisions of the start-up steps, apart from the window so that tests can call them.
namespace korvane {

// The home page opens at start-up when the draw gives this number (one start in 100).
inline constexpr int kHomePageDraw = 7;

// The seed of the start-up draw: whole seconds since midnight.
unsigned int SecondsSinceMidnight(const QTime& timeOfDay);

// The number drawn from a random value in [0, 1): a whole number from 1 to 100.
int HomePageDraw(double random);

// The hotspot stored in a cursor (.cur) file: bytes 10 to 13 of the first directory entry,
// little-endian. Nothing when the bytes are not a cursor file (an icon has no hotspot there).
std::optional<QPoint> CursorFileHotspot(const QByteArray& fileBytes);

// A pointer from a cursor file, with the hotspot the file gives; nothing when the file cannot
// be read as an image.
std::optional<QCursor> LoadCursorFile(const QString& path);

} // namespace korvane
