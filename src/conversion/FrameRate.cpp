#include "FrameRate.h"

#include <QLocale>

#include <cmath>

namespace korvane {

namespace {

bool IsSkippedBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n');
}

bool IsDigit(const QString& text, qsizetype at) {
    return at < text.size() && text.at(at) >= QLatin1Char('0') && text.at(at) <= QLatin1Char('9');
}

qsizetype SkipDigits(const QString& text, qsizetype at) {
    while (IsDigit(text, at))
        ++at;
    return at;
}

// The length of the longest leading part of `text` that reads as a decimal number, or 0.
qsizetype LeadingNumberLength(const QString& text) {
    qsizetype at = 0;
    if (at < text.size() && (text.at(at) == QLatin1Char('+') || text.at(at) == QLatin1Char('-')))
        ++at;
    const qsizetype integerStart = at;
    at = SkipDigits(text, at);
    bool hasDigits = at > integerStart;
    if (at < text.size() && text.at(at) == QLatin1Char('.')) {
        const qsizetype fractionStart = at + 1;
        const qsizetype fractionEnd = SkipDigits(text, fractionStart);
        hasDigits = hasDigits || fractionEnd > fractionStart;
        if (hasDigits)
            at = fractionEnd;
    }
    if (!hasDigits)
        return 0;
    // An exponent counts only when digits follow it; "1e" is the number 1 followed by text.
    if (at < text.size() && (text.at(at) == QLatin1Char('e') || text.at(at) == QLatin1Char('E'))) {
        qsizetype exponent = at + 1;
        if (exponent < text.size() &&
            (text.at(exponent) == QLatin1Char('+') || text.at(exponent) == QLatin1Char('-')))
            ++exponent;
        if (IsDigit(text, exponent))
            at = SkipDigits(text, exponent);
    }
    return at;
}

} // namespace

double ReadDelay(const QString& delayText) {
    QString compact;
    compact.reserve(delayText.size());
    for (const QChar c : delayText) {
        if (!IsSkippedBlank(c))
            compact.append(c);
    }
    const qsizetype length = LeadingNumberLength(compact);
    if (length == 0)
        return 0.0;
    // The C locale's reading, never the user's: "0.5" is a half everywhere. An overflow gives an
    // infinity, an underflow 0.
    return QLocale::c().toDouble(QStringView(compact).left(length));
}

QString GeneralNumberText(double value) {
    // QString::number never applies a locale, so the separator is always ".".
    return QString::number(value, 'G', 15);
}

FrameRate FrameRateFromDelay(const QString& delayText) {
    const double delay = ReadDelay(delayText);
    if (std::isinf(delay))
        return {{}, kOverflow};
    if (delay == 0.0)
        return {{}, kDivisionByZero};
    const double rate = 1.0 / delay;
    if (std::isinf(rate))
        return {{}, kOverflow};
    return {GeneralNumberText(rate), {}};
}

} // namespace korvane
