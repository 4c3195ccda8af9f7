// The folder listing on Windows (see FolderListingPosix.cpp for the other).
#include <QtGlobal>
#ifdef Q_OS_WIN

#include "FolderListing.h"

#include <QDirIterator>
#include <QFileInfo>

namespace korvane {

bool ReadFolder(const QString& folder, QList<ListedEntry>& entries) {
    const QFileInfo self(folder);
    if (!self.isDir() || !self.isReadable())
        return false;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        const QString name = info.fileName();
        // A listing shows "?" where a character of a name cannot be shown; no path built from
        // such a name reaches the entry ("?" is never part of a real name here).
        entries.append({name, !name.contains(QLatin1Char('?')), info.isDir(),
                        info.isSymLink() || info.isJunction()});
    }
    return true;
}

} // namespace korvane

#endif
