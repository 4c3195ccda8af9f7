#include "DelayCheck.h"

#include "FrameRate.h"

namespace korvane {

bool IsNumericEntry(const QString& text, const QLocale& locale) {
    const QString number = text.trimmed();
    return !number.isEmpty() && DelayNumberLength(number, locale) == number.size();
}

} // namespace korvane
