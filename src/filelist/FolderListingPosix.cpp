// The folder listing on POSIX systems (see FolderListingWindows.cpp for the other).
#include <QtGlobal>
#ifndef Q_OS_WIN

#include "FolderListing.h"

#include "util/PathHelpers.h"

#include <QByteArray>
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>

namespace korvane {

namespace {

// The name as text, and whether the text names the same bytes.
ListedEntry NamedEntry(const char* name) {
    const qsizetype length = static_cast<qsizetype>(std::strlen(name));
    bool ascii = true;
    for (qsizetype i = 0; i < length && ascii; ++i)
        ascii = static_cast<unsigned char>(name[i]) < 0x80;
    if (ascii)
        return {QString::fromLatin1(name, length)};
    const QByteArray raw(name, length);
    const QString decoded = QFile::decodeName(raw);
    if (QFile::encodeName(decoded) == raw)
        return {decoded};
    return {TextWithEscapedBytes(raw), false};
}

} // namespace

bool ReadFolder(const QString& folder, QList<ListedEntry>& entries) {
    // opendir tells a folder that cannot be read from an empty one, and readdir gives each
    // entry's type without a stat call for ordinary files and folders.
    DIR* dir = opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return false;
    while (const dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        ListedEntry listed = NamedEntry(name);
        unsigned char type = entry->d_type;
        struct stat status;
        if (type == DT_UNKNOWN && fstatat(dirfd(dir), name, &status, AT_SYMLINK_NOFOLLOW) == 0)
            type = S_ISLNK(status.st_mode) ? DT_LNK : S_ISDIR(status.st_mode) ? DT_DIR : DT_REG;
        listed.isLink = type == DT_LNK;
        listed.isFolder =
            type == DT_DIR || (type == DT_LNK && fstatat(dirfd(dir), name, &status, 0) == 0 &&
                               S_ISDIR(status.st_mode));
        entries.append(std::move(listed));
    }
    closedir(dir);
    return true;
}

} // namespace korvane

#endif
