#pragma once

#include <QLocale>
#include <QString>

// The delay box's text turned into the frame rate the converter is given.
namespace korvane {

// The length of the longest leading part of `text` that reads as a delay: an optional sign,
// digits with at most one decimal separator ("." or the locale's own) and digits on at least one
// side of it, then an optional exponent. No thousands separators: "1.000" is one. 0 when the text
// does not start with a number. The delay box's check and the run both read by this rule.
qsizetype DelayNumberLength(QStringView text, const QLocale& locale = QLocale());

// The numeric value of a delay text, read leniently: blanks, tabs and line feeds are skipped
// anywhere, then the longest leading number (see DelayNumberLength) is taken; a text without one
// gives 0. A number too large for a double gives an infinity.
double ReadDelay(const QString& delayText, const QLocale& locale = QLocale());

// A number in the general number format: at most 15 significant digits, no trailing zeros, no
// thousands separators, an upper-case exponent where one is needed, and always "." as the
// decimal separator, so the converter never receives "0,5".
QString GeneralNumberText(double value);

struct FrameRate {
    QString text;  // the frame rate, when it could be worked out
    QString error; // otherwise the description of the arithmetic error
    bool ok() const { return error.isEmpty(); }
};

inline const QString kDivisionByZero = QStringLiteral("Division by zero");
inline const QString kOverflow = QStringLiteral("Overflow");

// One divided by the delay. A delay of 0 (an empty or non-numeric text among them) is a division
// by zero; a quotient or delay beyond the range of a double is an overflow. No other range is
// enforced: a negative delay gives a negative rate.
FrameRate FrameRateFromDelay(const QString& delayText, const QLocale& locale = QLocale());

} // namespace korvane
