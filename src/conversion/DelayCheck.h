#pragma once

#include <QLocale>
#include <QString>

namespace korvane {

// The check the delay box gets when it loses the focus: does the text read as a number in the
// user's regional format? Surrounding blanks, a sign, the decimal and group separators and an
// exponent are accepted; the empty text, infinities and "nan" are not numbers.
bool IsNumericEntry(const QString& text, const QLocale& locale = QLocale());

} // namespace korvane
