#pragma once

#include <QByteArray>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QStringList>

class QWidget;

// Stateless helpers on native paths ("/" on Linux, "\" on Windows), files and folders.
namespace korvane {

class Dialogs;

// Folder ids of the shell's special-folder numbering that the application uses.
enum SpecialFolder { kDesktopFolderId = 0 };

// The path of a special folder without a trailing separator, or "" when it is unknown.
QString GetSpecialFolder(int folderId);

// The desktop folder with a trailing separator; the home folder when there is no desktop
// folder, because the default output folder must be one that exists.
QString GetDesktopFolder();

// True when the file or folder can be stat-ed; never throws.
bool FileExists(const QString& path);

// The text after the last native separator (the whole path when there is none).
QString GetFileName(const QString& path);

// A file or path name in the form by which the file system tells names apart: without regard to
// letter case on Windows, exactly as written elsewhere. Two names name the same file when their
// keys are equal.
QString FileNameKey(const QString& name);

// The text before the last "." of the whole path; throws std::invalid_argument when the path
// holds no ".".
QString StripExtension(const QString& path);

// The folder browser through the dialogs seam: the chosen folder without a trailing separator
// (a root keeps its one), or "" when cancelled.
QString BrowseForFolder(Dialogs& dialogs, QWidget* owner, const QString& title);

// The plain names of the files (hidden and system files included, never folders) in a folder
// given with or without its trailing separator, matching a wildcard pattern without regard to
// letter case, in the order the file system yields them. "*.*" matches every file, as it does
// on Windows. *readable is set to false when the folder cannot be listed.
QStringList ListFiles(const QString& folder, const QString& pattern, bool* readable = nullptr);

// True when the path cannot be resolved (does not exist or cannot be stat-ed).
bool IsBadFileName(const QString& path);

// The bytes as UTF-8 text, every byte that is not part of valid UTF-8 shown as \xNN: how a
// name that is not valid text is shown to the user.
QString TextWithEscapedBytes(const QByteArray& bytes);

// Appends the native separator unless the path already ends in one.
QString WithTrailingSeparator(const QString& path);

// Joining a folder that ends in a separator with another separator and a name doubles the
// separator after a root: "C:\\x" on Windows, "//x" on POSIX. This repairs that one case.
QString RepairRootSeparator(const QString& path);

// Where a window of the given outer size stands when centred on a screen of the given size
// (any unit; real division).
QPointF CenteredPosition(double screenWidth, double screenHeight, double windowWidth,
                         double windowHeight);

// Where a window's outer frame goes on a screen: centred on the full screen when it fits the
// available area (moved just inside the area should centring put it partly under a panel);
// otherwise, and when it needs the area's whole width or height, shrunk to the area and placed at
// the area's top left, so its title bar and menus are always within reach.
QRect PlaceWithinScreen(const QRect& screen, const QRect& available, const QSize& frame);

// Places a window on its screen by PlaceWithinScreen, shrinking it only when it does not fit.
void CenterForm(QWidget* window);

} // namespace korvane
