#pragma once

#include <QByteArray>

#include <optional>

// The converter's progress report and what the progress bar makes of it.
namespace korvane {

// One line of the report: frames written of frames planned.
struct ConverterProgress {
    qint64 done = 0;
    qint64 total = 0;
};

// Reads the converter's "progress DONE/TOTAL" lines from one piece of its standard output and
// returns the last complete one. `pending` carries an unfinished last line from one piece to the
// next. Lines of any other form are passed over.
std::optional<ConverterProgress> ReadProgressLines(QByteArray& pending, const QByteArray& piece);

// Many to one: the walk of the list fills the bar's first few percent, the converter's frames
// the rest; below 100 until the converter has ended.
inline constexpr double kListWalkShare = 5.0;
double ListWalkPercent(int entry, int count);
double ConverterPercent(const ConverterProgress& progress);

// One to one: the share of the files finished, whichever way each ended.
double FinishedPercent(int finished, int count);

} // namespace korvane
