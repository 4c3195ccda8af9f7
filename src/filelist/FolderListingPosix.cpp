// The folder listing on POSIX systems (see FolderListingWindows.cpp for the other).
#include <QtGlobal>
#ifndef Q_OS_WIN

#include "FolderListing.h"

#include <QByteArray>
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>

namespace korvane {

namespace {

// Length of the UTF-8 sequence that begins with `lead`, or 0 when it cannot begin one.
int SequenceLength(unsigned char lead) {
    if (lead < 0x80)
        return 1;
    if (lead >= 0xc2 && lead <= 0xdf)
        return 2;
    if (lead >= 0xe0 && lead <= 0xef)
        return 3;
    if (lead >= 0xf0 && lead <= 0xf4)
        return 4;
    return 0;
}

// The name with every byte that is not part of valid UTF-8 shown as \xNN.
QString NameWithEscapedBytes(const QByteArray& raw) {
    QString shown;
    for (qsizetype i = 0; i < raw.size();) {
        const int length = SequenceLength(static_cast<unsigned char>(raw.at(i)));
        const QByteArray sequence = raw.mid(i, length);
        // Decoding and encoding again gives the same bytes only for a valid sequence (an overlong
        // form or a surrogate comes back as the replacement character).
        if (length > 0 && sequence.size() == length &&
            QString::fromUtf8(sequence).toUtf8() == sequence) {
            shown += QString::fromUtf8(sequence);
            i += length;
        } else {
            shown += QStringLiteral("\\x%1").arg(static_cast<unsigned char>(raw.at(i)), 2, 16,
                                                 QLatin1Char('0'));
            ++i;
        }
    }
    return shown;
}

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
    return {NameWithEscapedBytes(raw), false};
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
