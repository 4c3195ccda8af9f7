#pragma once

#include <QList>
#include <QString>

// Reading one folder's entries. This is the one place of the file list that talks to the
// platform's directory calls: POSIX readdir where there is one (raw names, and the entry's type
// without a call per entry), QDir elsewhere.
namespace korvane {

struct ListedEntry {
    // The name as text; a name that is not valid text shows its undecodable bytes as \xNN.
    QString name;
    bool nameIsText = true; // false: no path built from this name reaches the entry
    bool isFolder = false;  // links are followed to tell
    bool isLink = false;
};

// Appends every entry of `folder` (with or without its trailing separator) but "." and "..",
// in the order the file system yields them. An entry whose type cannot be read is not a folder.
// False, with nothing appended, when the folder cannot be opened.
bool ReadFolder(const QString& folder, QList<ListedEntry>& entries);

} // namespace korvane
