#pragma once

// What the file-list tests share: a real window with scripted seams, and real files and folders.
#include "Doubles.h"
#include "app/Form1.h"
#include "filelist/FileListView.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtTest>

#include <unistd.h>

namespace korvane::test {

inline QString AppFolder() {
    return qEnvironmentVariable("KORVANE_APP_DIR");
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

} // namespace korvane::test
