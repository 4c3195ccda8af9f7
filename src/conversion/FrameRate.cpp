#include "FrameRate.h"

#include <cmath>

namespace korvane {

namespace {

bool IsSkippedBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n');
}

bool IsDigit(QStringView text, qsizetype at) {
    return at < text.size() && text.at(at) >= QLatin1Char('0') && text.at(at) <= QLatin1Char('9');
}

qsizetype SkipDigits(QStringView text, qsizetype at) {
    while (IsDigit(text, at))
        ++at;
    return at;
}

// The length of the decimal separator at `at`: "." or the locale's own one; 0 for none.
qsizetype SeparatorLength(QStringView text, qsizetype at, const QString& localeSeparator) {
    const QStringView rest = text.mid(at);
    if (rest.startsWith(QLatin1Char('.')))
        return 1;
    if (!localeSeparator.isEmpty() && rest.startsWith(localeSeparator))
        return localeSeparator.size();
    return 0;
}

} // namespace

qsizetype DelayNumberLength(QStringView text, const QLocale& locale) {
    qsizetype at = 0;
    if (at < text.size() && (text.at(at) == QLatin1Char('+') || text.at(at) == QLatin1Char('-')))
        ++at;
    const qsizetype integerStart = at;
    at = SkipDigits(text, at);
    bool hasDigits = at > integerStart;
    if (const qsizetype separator = SeparatorLength(text, at, locale.decimalPoint())) {
        const qsizetype fractionStart = at + separator;
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

double ReadDelay(const QString& delayText, const QLocale& locale) {
    QString compact;
    compact.reserve(delayText.size());
    for (const QChar c : delayText) {
        if (!IsSkippedBlank(c))
            compact.append(c);
    }
    QString number = compact.left(DelayNumberLength(compact, locale));
    if (number.isEmpty())
        return 0.0;
    // Read with "." in place of the user's own separator, in the C locale, which takes no
    // thousands separators. An overflow gives an infinity, an underflow 0.
    const QString separator = locale.decimalPoint();
    if (separator != QLatin1String("."))
        number.replace(separator, QStringLiteral("."));
    return QLocale::c().toDouble(number);
}

QString GeneralNumberText(double value) {
    // QString::number never applies a locale, so the separator is always ".".
    return QString::number(value, 'G', 15);
}

FrameRate FrameRateFromDelay(const QString& delayText, const QLocale& locale) {
    const double delay = ReadDelay(delayText, locale);
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
