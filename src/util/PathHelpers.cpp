#include "PathHelpers.h"

#include "Seams.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStandardPaths>
#include <QWidget>

#include <algorithm>
#include <stdexcept>

namespace korvane {

namespace {

const QChar kSeparator = QDir::separator();

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

} // namespace

QString GetSpecialFolder(int folderId) {
    if (folderId != kDesktopFolderId)
        return {};
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    return QDir::toNativeSeparators(desktop);
}

QString GetDesktopFolder() {
    QString folder = GetSpecialFolder(kDesktopFolderId);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::toNativeSeparators(QDir::homePath());
    return WithTrailingSeparator(folder);
}

bool FileExists(const QString& path) {
    return !path.isEmpty() && QFileInfo::exists(path);
}

QString GetFileName(const QString& path) {
    return path.mid(path.lastIndexOf(kSeparator) + 1);
}

QString FileNameKey(const QString& name) {
#ifdef Q_OS_WIN
    return name.toCaseFolded();
#else
    return name;
#endif
}

QString StripExtension(const QString& path) {
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        throw std::invalid_argument("Invalid procedure call or argument");
    return path.left(dot);
}

QString BrowseForFolder(Dialogs& dialogs, QWidget* owner, const QString& title) {
    QString chosen = QDir::toNativeSeparators(dialogs.browseForFolder(owner, title));
    if (chosen.isEmpty())
        return {};
    // Only a root keeps its trailing separator ("/" or "C:\").
    while (chosen.size() > 1 && chosen.endsWith(kSeparator) &&
           !(chosen.size() == 3 && chosen.at(1) == QLatin1Char(':')))
        chosen.chop(1);
    return chosen;
}

QStringList ListFiles(const QString& folder, const QString& pattern, bool* readable) {
    const QDir dir(folder);
    const QFileInfo info(folder);
    if (readable)
        *readable = info.isDir() && info.isReadable() && info.isExecutable();
    // Windows matches "*.*" against every name, dotted or not; keep that meaning here.
    const QString filter = pattern == QLatin1String("*.*") ? QStringLiteral("*") : pattern;
    return dir.entryList({filter}, QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted);
}

bool IsBadFileName(const QString& path) {
    return !FileExists(path);
}

QString TextWithEscapedBytes(const QByteArray& raw) {
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

QString WithTrailingSeparator(const QString& path) {
    return path.endsWith(kSeparator) ? path : path + kSeparator;
}

QString RepairRootSeparator(const QString& path) {
#ifdef Q_OS_WIN
    QString repaired = path;
    return repaired.replace(QStringLiteral(":\\\\"), QStringLiteral(":\\"));
#else
    if (path.startsWith(QLatin1String("//")))
        return path.mid(1);
    return path;
#endif
}

QPointF CenteredPosition(double screenWidth, double screenHeight, double windowWidth,
                         double windowHeight) {
    return {(screenWidth - windowWidth) / 2.0, (screenHeight - windowHeight) / 2.0};
}

QRect PlaceWithinScreen(const QRect& screen, const QRect& available, const QSize& frame) {
    // A window as large as the area in either direction stays at the top left: placing it again
    // once shrunk (when the window manager's frame becomes known) keeps it where it went.
    if (frame.width() >= available.width() || frame.height() >= available.height())
        return {available.topLeft(), frame.boundedTo(available.size())};
    const QPointF centred =
        CenteredPosition(screen.width(), screen.height(), frame.width(), frame.height());
    QRect placed(screen.topLeft() + centred.toPoint(), frame);
    placed.moveLeft(
        std::clamp(placed.left(), available.left(), available.right() - frame.width() + 1));
    placed.moveTop(
        std::clamp(placed.top(), available.top(), available.bottom() - frame.height() + 1));
    return placed;
}

void CenterForm(QWidget* window) {
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect frame = window->frameGeometry();
    const QRect placed =
        PlaceWithinScreen(screen->geometry(), screen->availableGeometry(), frame.size());
    if (placed.size() != frame.size())
        window->resize(window->size() - (frame.size() - placed.size()));
    window->move(placed.topLeft());
}

} // namespace korvane
