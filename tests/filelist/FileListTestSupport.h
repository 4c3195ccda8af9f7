#pragma once

// What the file-list tests share: a real window with scripted seams, and real files and folders.
#include "Doubles.h"
#include "app/Form1.h"
#include "filelist/FileListView.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QStandardPaths>
#include <QUrl>
#include <QtTest>

#include <memory>

#include <unistd.h>

namespace korvane::test {

// The application folder laid out by the build (drag.ico is there); the tests are built into it
// too, so a test started by hand finds it as well.
inline QString AppFolder() {
    const QString folder = qEnvironmentVariable("KORVANE_APP_DIR");
    return folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder;
}

// A main window whose dialogs, shell, runner and chance are doubles.
struct TestWindow {
    explicit TestWindow(const QString& applicationFolder = AppFolder())
        : window({doubles.dialogs, doubles.shell, doubles.runner, doubles.chance,
                  applicationFolder}) {}
    Doubles doubles;
    Form1 window;
    FileListView& list() { return *window.ListView1; }
};

// Creates the files (relative to root, "/" between folders) with one byte each, and their
// folders.
inline void MakeFiles(const QString& root, const QStringList& relativePaths) {
    for (const QString& relative : relativePaths) {
        const QString path = root + QLatin1Char('/') + relative;
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
        file.write("x");
    }
}

// A native path below root.
inline QString Native(const QString& root, const QString& relative) {
    return QDir::toNativeSeparators(root + QLatin1Char('/') + relative);
}

// The names of a folder's files in the order the file system lists them.
inline QStringList ListingOrder(const QString& folder, QDir::Filters kind = QDir::Files) {
    return QDir(folder).entryList(kind | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Unsorted);
}

// Runs a piece of a test as an unprivileged user, so that folder permissions hold also when the
// tests run as root; the effective user is restored at the end of the scope.
class UnprivilegedScope {
public:
    UnprivilegedScope() {
        if (geteuid() == 0)
            switched_ = seteuid(65534) == 0;
    }
    ~UnprivilegedScope() {
        if (switched_)
            (void)seteuid(0);
    }
    UnprivilegedScope(const UnprivilegedScope&) = delete;
    UnprivilegedScope& operator=(const UnprivilegedScope&) = delete;

private:
    bool switched_ = false;
};

struct DragOutcome {
    bool enterAccepted = false;
    bool moveAccepted = false;
    Qt::DropAction dropAction = Qt::IgnoreAction;
};

// Drags the data over the list's viewport at `position` and drops it there, as the window
// system delivers it: enter, move, drop.
inline DragOutcome DragAndDrop(FileListView& list, const QMimeData& data,
                               QPoint position = {5, 5}) {
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
    QWidget* viewport = list.viewport();
    DragOutcome outcome;
    QDragEnterEvent enter(position, offered, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &enter);
    outcome.enterAccepted = enter.isAccepted();
    QDragMoveEvent move(position, offered, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &move);
    outcome.moveAccepted = move.isAccepted();
    QDropEvent drop(QPointF(position), offered, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(viewport, &drop);
    if (drop.isAccepted())
        outcome.dropAction = drop.dropAction();
    return outcome;
}

// The data a file manager drags: the URLs of local files.
inline std::unique_ptr<QMimeData> FileList(const QStringList& paths) {
    auto data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(path));
    data->setUrls(urls);
    return data;
}

} // namespace korvane::test
