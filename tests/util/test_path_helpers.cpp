// The path and file helpers on real files in a temporary folder.
#include "Doubles.h"
#include "util/PathHelpers.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <stdexcept>

using namespace korvane;

namespace {

QString native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

void touch(const QString& path) {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
}

} // namespace

class TestPathHelpers : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void getFileName_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("file in folder") << native("/dir/pic.gif") << "pic.gif";
        QTest::newRow("no separator") << "pic.gif"
                                      << "pic.gif";
        QTest::newRow("trailing separator") << native("/dir/") << "";
        QTest::newRow("dotted folder") << native("/d.x/pic") << "pic";
    }
    void getFileName() {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(GetFileName(path), expected);
    }

    void stripExtension_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << native("/dir/pic.gif") << native("/dir/pic");
        QTest::newRow("two dots") << native("/d.x/pic.old.gif") << native("/d.x/pic.old");
        // The last dot of the whole path: a dotless name in a dotted folder cuts the folder.
        QTest::newRow("dotted folder, dotless name") << native("/a.b/file") << native("/a");
    }
    void stripExtension() {
        QFETCH(QString, path);
        QFETCH(QString, expected);
        QCOMPARE(StripExtension(path), expected);
    }
    void stripExtensionWithoutDotThrows() {
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, StripExtension(native("/dir/pic")));
    }

    void fileExistsAndBadNames() {
        QTemporaryDir dir;
        const QString file = native(dir.filePath("a b \"q\" é.gif"));
        touch(file);
        QVERIFY(FileExists(file));
        QVERIFY(FileExists(native(dir.path()))); // folders count too
        QVERIFY(!FileExists(QString()));
        QVERIFY(!FileExists(native(dir.filePath("missing.gif"))));
        QVERIFY(!IsBadFileName(file));
        QVERIFY(IsBadFileName(native(dir.filePath("missing.gif"))));
        QVERIFY(IsBadFileName(QString()));
    }

    void listFilesFilesOnlyHiddenIncluded() {
        QTemporaryDir dir;
        touch(dir.filePath("a.gif"));
        touch(dir.filePath(".hidden.gif"));
        touch(dir.filePath("UPPER.GIF"));
        touch(dir.filePath("notes.txt"));
        touch(dir.filePath("README"));
        QVERIFY(QDir(dir.path()).mkdir("folder.gif")); // a folder never counts
        QStringList gifs = ListFiles(native(dir.path()), "*.gif");
        gifs.sort();
        QCOMPARE(gifs, QStringList({".hidden.gif", "UPPER.GIF", "a.gif"}));
        QStringList all = ListFiles(native(dir.path()), "*.*");
        all.sort();
        QCOMPARE(all, QStringList({".hidden.gif", "README", "UPPER.GIF", "a.gif", "notes.txt"}));
        QCOMPARE(ListFiles(native(dir.path()), "*..gif"), QStringList());
    }

    void listFilesWithAndWithoutTrailingSeparator() {
        QTemporaryDir dir;
        for (int i = 1; i <= 151; ++i)
            touch(dir.filePath(QStringLiteral("f%1.gif").arg(i)));
        const QStringList without = ListFiles(native(dir.path()), "*.gif");
        const QStringList with = ListFiles(WithTrailingSeparator(native(dir.path())), "*.gif");
        QCOMPARE(without.size(), 151);
        QCOMPARE(with, without);
        QVERIFY(without.contains("f151.gif"));
    }

    void listFilesReportsUnreadableFolder() {
        QTemporaryDir dir;
        bool readable = false;
        QCOMPARE(ListFiles(native(dir.path()), "*.*", &readable), QStringList());
        QVERIFY(readable); // empty but readable
        QCOMPARE(ListFiles(native(dir.filePath("missing")), "*.*", &readable), QStringList());
        QVERIFY(!readable);
    }

    void desktopFolderEndsInSeparatorAndExists() {
        const QString desktop = GetDesktopFolder();
        QVERIFY(desktop.endsWith(QDir::separator()));
        QVERIFY2(QFileInfo(desktop).isDir(), qPrintable(desktop));
    }

    void desktopFolderFallsBackToHome() {
        QTemporaryDir home;
        const QByteArray oldHome = qgetenv("HOME");
        const QByteArray oldDesktop = qgetenv("XDG_DESKTOP_DIR");
        qputenv("HOME", home.path().toUtf8());
        qputenv("XDG_DESKTOP_DIR", home.filePath("NoSuchDesktop").toUtf8());
        const QString folder = GetDesktopFolder();
        qputenv("HOME", oldHome);
        qputenv("XDG_DESKTOP_DIR", oldDesktop);
        QCOMPARE(folder, WithTrailingSeparator(native(home.path())));
    }

    void withTrailingSeparatorAddsOne() {
        const QString sep = QDir::separator();
        QCOMPARE(WithTrailingSeparator(native("/out")), native("/out") + sep);
        QCOMPARE(WithTrailingSeparator(native("/out/")), native("/out/"));
        QCOMPARE(WithTrailingSeparator(sep), sep);
    }

    void repairRootSeparator() {
#ifdef Q_OS_WIN
        QCOMPARE(RepairRootSeparator("D:\\\\a.gif"), QString("D:\\a.gif"));
        QCOMPARE(RepairRootSeparator("C:\\x\\\\a.gif"), QString("C:\\x\\\\a.gif"));
#else
        QCOMPARE(RepairRootSeparator("//a.gif"), QString("/a.gif"));
        QCOMPARE(RepairRootSeparator("/x//a.gif"), QString("/x//a.gif")); // only after the root
        QCOMPARE(RepairRootSeparator("/a.gif"), QString("/a.gif"));
#endif
    }

    void browseForFolderTrimsTrailingSeparatorButKeepsRoot() {
        test::ScriptedDialogs dialogs;
        dialogs.folderAnswers << native("/home/pictures/") << QString(QDir::separator())
                              << QString();
        QCOMPARE(BrowseForFolder(dialogs, nullptr, "Please select folder:"),
                 native("/home/pictures"));
        QCOMPARE(BrowseForFolder(dialogs, nullptr, "Please select folder:"),
                 QString(QDir::separator()));
        QCOMPARE(BrowseForFolder(dialogs, nullptr, "Please select folder:"), QString());
        QCOMPARE(dialogs.folderTitles.first(), QString("Please select folder:"));
    }

    void centeredPosition() {
        const QPointF at = CenteredPosition(19200, 10800, 9000, 6000);
        QCOMPARE(at, QPointF(5100, 2400));
        QCOMPARE(CenteredPosition(1001, 11, 0, 0), QPointF(500.5, 5.5)); // real division
    }
};

QTEST_GUILESS_MAIN(TestPathHelpers)
#include "test_path_helpers.moc"
