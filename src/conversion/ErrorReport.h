#pragma once

#include <QString>

// The one report that operations with numbered steps show when a step fails; the operation
// then goes on with the next step.
namespace korvane {

class Dialogs;

inline const QString kErrorReportTitle = QStringLiteral("Application Error");

// Where a report comes from: the texts that name the failing operation.
inline const QString kStartLocation = QStringLiteral("in Korvane7/29/2014.Form1.Start ");
inline const QString kPushButton1Location =
    QStringLiteral("in Korvane7/29/2014.Form1.PushButton1_Click ");
inline const QString kPushButton2Location =
    QStringLiteral("in Korvane7/29/2014.Form1.PushButton2_Click ");

// The report's text: the error's description, the location, the step number, and the request to
// e-mail a screenshot to the support address.
QString ErrorReportText(const QString& description, const QString& location, int step);

} // namespace korvane
