#include "ErrorReport.h"

#include "util/Constants.h"

namespace korvane {

QString ErrorReportText(const QString& description, const QString& location, int step) {
    return description + QStringLiteral("\r\n") + location + QStringLiteral("at line ") +
           QString::number(step) +
           QStringLiteral("\r\rPlease email screenshot of this message to ") + kSupportEmail;
}

} // namespace korvane
