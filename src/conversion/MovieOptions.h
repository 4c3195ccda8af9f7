#pragma once

#include <QColor>
#include <QString>

#include <optional>

// How the user wants the movies: the many-to-one movie's name and timing, how often a movie
// plays, its size and its stage colour. Plain values and the decisions about them; the window
// shows them on the "Conversion Options" tab and keeps them in the settings store.
namespace korvane {

inline const QString kManyToOneMovieName = QStringLiteral("output.swf");

// How often a movie plays: kPlaysAsTheGifSays, kPlaysForEver, or a number of times (1: once).
inline constexpr int kPlaysAsTheGifSays = -1;
inline constexpr int kPlaysForEver = 0;
inline constexpr int kPlaysOnce = 1;
inline constexpr int kMostPlays = 65536;  // as many as a GIF's looping extension asks for
inline constexpr int kSmallestScale = 10; // percent
inline constexpr int kLargestScale = 800;
inline constexpr int kNormalScale = 100;
inline const QColor kDefaultBackground = QColor(255, 255, 255);

struct MovieOptions {
    QString movieName = kManyToOneMovieName; // many to one; a valid name with its .swf
    bool ownTiming = false;                  // many to one: each image keeps its GIF delay
    int plays = kPlaysAsTheGifSays;
    int scalePercent = kNormalScale;
    QColor background = kDefaultBackground;
};

// What "Plays:" shows until the user chooses: as the GIF says in one to one, and in many to one
// for ever, as movies of several images always played.
int DefaultPlays(bool manyToOne);

// The stored forms of the options ("Plays", "Scale", "Background"); a value that reads as none
// of them (edited by hand, damaged) gives nothing, and the window keeps its default.
std::optional<int> StoredPlays(const QString& text);
std::optional<int> StoredScale(const QString& text);
std::optional<QColor> StoredBackground(const QString& text);
// "RRGGBB", as stored and as the converter takes it.
QString ColourText(const QColor& colour);

// The movie name as the run uses it: ".swf" added unless the name ends with it (in any case).
QString MovieFileName(const QString& typedName);

// Why a typed movie name cannot be used, as a message naming the box; empty when it can. A name
// must be a file name alone (no folder separator) that every system accepts: not empty, none of
// < > : " | ? * or control characters, not a device name (CON, NUL, COM1, ...), not "." or "..",
// at most 255 bytes.
QString MovieNameProblem(const QString& typedName);

} // namespace korvane
