#include "DelayCheck.h"

#include <cmath>

namespace korvane {

bool IsNumericEntry(const QString& text, const QLocale& locale) {
    bool ok = false;
    const double value = locale.toDouble(text.trimmed(), &ok);
    return ok && std::isfinite(value);
}

} // namespace korvane
