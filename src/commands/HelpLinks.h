#pragma once

#include <QString>
#include <QStringList>

// Texts and targets of the Help menu's operations, worked out from the application folder so the
// window only shows and opens what these give.
namespace korvane {

inline const QString kSampleFolderQuestion = QStringLiteral(
    "Would you like this software to open the folder where these sample files are stored (so "
    "that you can view them before working with them)?");

// "Questions? Please contact Team Quenwick at " and the maker's contact page.
QString HelpMessageText();

// The folder beside the application that holds the sample files, with a trailing separator.
QString SamplesFolder(const QString& applicationFolder);

// The full path of every file in the samples folder, hidden ones included, in the order a file
// manager shows them; nothing is filtered, so a user's own additions are offered too.
QStringList SampleFilePaths(const QString& applicationFolder);

// What the demo video command opens: the first normal (not hidden) file in the video folder, or
// the folder itself when it holds none, so the user at least sees where the video should be.
QString DemoVideoTarget(const QString& applicationFolder);

} // namespace korvane
