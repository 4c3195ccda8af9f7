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

    void windowIsPlacedWithinReach_data() {
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QSize>("frame");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("fits, but centring reaches under a top panel")
            << QRect(0, 0, 1280, 900) << QRect(0, 300, 1280, 600) << QSize(600, 580)
            << QRect(340, 300, 600, 580);
        // 1280 x 900 at a scale factor of 2: centred, the title bar would stand at y = -80.
        QTest::newRow("too tall: shrunk to the area, at its top left")
            << QRect(0, 0, 640, 450) << QRect(0, 0, 640, 450) << QSize(577, 610)
            << QRect(0, 0, 577, 450);
        QTest::newRow("as tall as the area, when placed again")
            << QRect(0, 0, 640, 450) << QRect(0, 0, 640, 450) << QSize(577, 450)
            << QRect(0, 0, 577, 450);
        QTest::newRow("fits: centred on the screen")
            << QRect(0, 0, 1280, 1024) << QRect(0, 0, 1280, 984) << QSize(600, 400)
            << QRect(340, 312, 600, 400);
    }
    void windowIsPlacedWithinReach() {
        QFETCH(QRect, screen);
        QFETCH(QRect, available);
        QFETCH(QSize, frame);
        QFETCH(QRect, expected);
        const QRect placed = PlaceWithinScreen(screen, available, frame);
        QCOMPARE(placed, expected);
        QVERIFY(available.contains(placed));
    }
};

QTEST_GUILESS_MAIN(TestPathHelpers)
#include "test_path_helpers.moc"
