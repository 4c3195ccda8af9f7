#include "ConverterProgress.h"

#include <QList>

#include <algorithm>

namespace korvane {

namespace {

// A line longer than any report is no report.
constexpr qsizetype kLongestReport = 64;
// The bar stays below full while the converter still has its file to finish.
constexpr double kBelowFull = 99.0;

std::optional<ConverterProgress> ParseReport(const QByteArray& line) {
    static const QByteArray prefix = QByteArrayLiteral("progress ");
    if (!line.startsWith(prefix))
        return std::nullopt;
    const QList<QByteArray> numbers = line.mid(prefix.size()).split('/');
    if (numbers.size() != 2)
        return std::nullopt;
    bool doneOk = false;
    bool totalOk = false;
    const qint64 done = numbers[0].toLongLong(&doneOk);
    const qint64 total = numbers[1].toLongLong(&totalOk);
    if (!doneOk || !totalOk || done < 0 || total <= 0 || done > total)
        return std::nullopt;
    return ConverterProgress{done, total};
}

} // namespace

std::optional<ConverterProgress> ReadProgressLines(QByteArray& pending, const QByteArray& piece) {
    std::optional<ConverterProgress> last;
    pending += piece;
    qsizetype start = 0;
    for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n', start)) {
        if (const auto report = ParseReport(pending.mid(start, end - start)))
            last = report;
        start = end + 1;
    }
    pending.remove(0, start);
    // A mark that begins no report stands for an overlong line, so its rest is passed over too.
    if (pending.size() > kLongestReport)
        pending = QByteArrayLiteral("-");
    return last;
}

double ListWalkPercent(int entry, int count) {
    return count > 0 ? kListWalkShare * entry / count : 0.0;
}

double ConverterPercent(const ConverterProgress& progress) {
    if (progress.total <= 0)
        return kListWalkShare;
    const double share = static_cast<double>(progress.done) / static_cast<double>(progress.total);
    return std::min(kBelowFull, kListWalkShare + (100.0 - kListWalkShare) * share);
}

double FinishedPercent(int finished, int count) {
    return count > 0 ? 100.0 * finished / count : 0.0;
}

} // namespace korvane
