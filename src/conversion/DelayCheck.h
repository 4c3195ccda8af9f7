#pragma once

#include <QLocale>
#include <QString>

namespace korvane {

// The check the delay box gets when it loses the focus: is all of the text, blanks around it
// aside, a number by the rule the run reads delays with (see DelayNumberLength)? The empty text,
// thousands separators, trailing text, infinities and "nan" are refused.
bool IsNumericEntry(const QString& text, const QLocale& locale = QLocale());

} // namespace korvane
