// Adding folder trees with AddFolder, on real trees in a temporary folder.
#include "FileListTestSupport.h"

#include "filelist/FolderScan.h"
#include "util/QtSeams.h"

#include <QTemporaryDir>
#include <QTimer>

#include <sys/stat.h>

using namespace korvane;
using namespace korvane::test;

namespace {

const QString kPrompt = QStringLiteral("Enter file extension to load:\r\r(* for all files, txt for "
                                       "all txt files, doc for all doc files, etc.)");

// Answers both prompts of AddFolder and runs it.
void AddFolderWith(TestWindow& t, const QString& extension, const QString& folder) {
    t.doubles.dialogs.inputAnswers.enqueue(extension);
    t.doubles.dialogs.folderAnswers.enqueue(QDir::toNativeSeparators(folder));
    t.window.AddFolder();
}

// The entries as paths relative to root, "/" between folders.
QStringList Relative(const QStringList& entries, const QString& root) {
    QStringList relative;
    const QString prefix = QDir::toNativeSeparators(root) + QDir::separator();
    for (const QString& entry : entries) {
        if (!entry.startsWith(prefix))
            return entries; // shows the whole list when something is off
        relative.append(QDir::fromNativeSeparators(entry.mid(prefix.size())));
    }
    return relative;
}

} // namespace

class AddFolderTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void exampleTreeIsAddedBreadthFirst() {
        QTemporaryDir tmp;
        const QString r = tmp.path() + QStringLiteral("/R");
        MakeFiles(r, {"r1.gif", "r2.gif", "A/a1.gif", "A/C/c1.gif", "B/b1.gif"});
        TestWindow t;
        t.list().append(QStringLiteral("already there"));

        AddFolderWith(t, QStringLiteral("gif"), r);

        // Files of one folder come in listing order; folders one level down before the next
        // level, each level in the listing order of its parents.
        QStringList expected{QStringLiteral("already there")};
        for (const QString& name : ListingOrder(r))
            expected.append(Native(r, name));
        for (const QString& folder : ListingOrder(r, QDir::Dirs))
            expected.append(Native(r, folder + (folder == "A" ? "/a1.gif" : "/b1.gif")));
        expected.append(Native(r, "A/C/c1.gif"));
        QCOMPARE(t.list().texts(), expected);
        QCOMPARE(t.doubles.dialogs.messages.size(), 0);
        QCOMPARE(t.window.mousePointer(), MousePointer::Default);
    }

    void promptsAreAskedAsDesigned() {
        QTemporaryDir tmp;
        TestWindow t;
        AddFolderWith(t, QStringLiteral("gif"), tmp.path());
        QCOMPARE(t.doubles.dialogs.inputPrompts, QStringList{kPrompt});
        QCOMPARE(t.doubles.dialogs.inputTitles, QStringList{"Korvane"});
        QCOMPARE(t.doubles.dialogs.inputDefaults, QStringList{"gif"});
        QCOMPARE(t.doubles.dialogs.folderTitles, QStringList{"Please select folder:"});
        QCOMPARE(t.list().count(), 0);
        QCOMPARE(t.doubles.dialogs.messages.size(), 0); // nothing matched: still no message
        // The input dialog shows the prompt's carriage returns as line breaks.
        QCOMPARE(WithDisplayLineBreaks(kPrompt),
                 QStringLiteral("Enter file extension to load:\n\n(* for all files, txt for all "
                                "txt files, doc for all doc files, etc.)"));
        QCOMPARE(WithDisplayLineBreaks(QStringLiteral("a\r\nb")), QStringLiteral("a\nb"));
    }
    void extensionIsUsedAsTyped_data() {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("gif, any letter case")
            << "gif" << QStringList{".hidden.gif", "What?/w.gif", "a.gif",    "a~b.gif",
                                    "b.GIF",       "name?.gif",   "sub/c.gif"};
        QTest::newRow("upper-case GIF")
            << "GIF" << QStringList{".hidden.gif", "What?/w.gif", "a.gif",    "a~b.gif",
                                    "b.GIF",       "name?.gif",   "sub/c.gif"};
        QTest::newRow("* adds every file, hidden ones too")
            << "*" << QStringList{".hidden.gif", ".profile",  "What?/w.gif", "a.gif",
                                  "a~b.gif",     "b.GIF",     "name?.gif",   "noext",
                                  "note.txt",    "sub/c.gif", "sub/d.txt"};
        QTest::newRow("txt") << "txt" << QStringList{"note.txt", "sub/d.txt"};
        QTest::newRow(".gif keeps its dot: *..gif") << ".gif" << QStringList{};
        QTest::newRow("no trimming") << " gif" << QStringList{};
    }
    void extensionIsUsedAsTyped() {
        QFETCH(QString, extension);
        QFETCH(QStringList, expected);
        QTemporaryDir tmp;
        // "?" is an ordinary character of a name here: the "What?" folder is searched.
        MakeFiles(tmp.path(), {"a.gif", "b.GIF", ".hidden.gif", "a~b.gif", "~temp.gif",
                               "~other.txt", "note.txt", "noext", ".profile", "name?.gif",
                               "sub/c.gif", "sub/d.txt", "sub/~sub.gif", "What?/w.gif"});
        TestWindow t;
        AddFolderWith(t, extension, tmp.path());
        QStringList added = Relative(t.list().texts(), tmp.path());
        added.sort();
        QCOMPARE(added, expected);
    }

    void doubledSeparatorAfterTheRootIsRepaired() {
#ifdef Q_OS_WIN
        QSKIP("the drive-root form is covered by the path helpers' tests");
#else
        // A folder chooser that gives the root "/" joined with "/" and a name yields "//name";
        // AddFolder's entries come out with one separator there.
        QTemporaryDir tmp;
        MakeFiles(tmp.path(), {"a.gif", "sub/b.gif"});
        TestWindow t;
        AddFolderWith(t, QStringLiteral("gif"), QLatin1Char('/') + tmp.path());
        QCOMPARE(t.list().texts(), (QStringList{tmp.path() + "/a.gif", tmp.path() + "/sub/b.gif"}));
#endif
    }

    void cancellingEitherPromptChangesNothing_data() {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("folderPrompts");
        QTest::newRow("extension cancelled") << ""
                                             << "" << 0;
        QTest::newRow("folder cancelled") << "gif"
                                          << "" << 1;
    }
    void cancellingEitherPromptChangesNothing() {
        QFETCH(QString, extension);
        QFETCH(QString, folder);
        QFETCH(int, folderPrompts);
        TestWindow t;
        t.list().append(QStringLiteral("kept"));
        t.doubles.dialogs.inputAnswers.enqueue(extension);
        if (folderPrompts)
            t.doubles.dialogs.folderAnswers.enqueue(folder);
        t.window.AddFolder();
        QCOMPARE(t.doubles.dialogs.folderTitles.size(), folderPrompts);
        QCOMPARE(t.list().texts(), QStringList{"kept"});
        QVERIFY(t.doubles.dialogs.messages.isEmpty());
        QVERIFY(t.doubles.dialogs.unexpected.isEmpty());
        QCOMPARE(t.window.mousePointer(), MousePointer::Default);
    }

    void linkCycleEndsAndEachRealFolderIsListedOnce() {
        QTemporaryDir tmp;
        const QString r = tmp.path();
        MakeFiles(r, {"top.gif", "A/a1.gif", "A/B/b1.gif"});
        QVERIFY(QFile::link(r, r + "/A/B/back-to-top"));      // a cycle through the top
        QVERIFY(QFile::link(r + "/A", r + "/A/B/back-to-a")); // and through a middle folder
        QVERIFY(QFile::link(r + "/A/B", r + "/link-to-b"));   // B reached twice
        TestWindow t;
        AddFolderWith(t, QStringLiteral("gif"), r);
        QStringList added = Relative(t.list().texts(), r);
        QCOMPARE(added.size(), 3);
        QVERIFY(added.contains("top.gif"));
        QVERIFY(added.contains("A/a1.gif"));
        // B's file comes in under whichever of its two paths the scan met first.
        QVERIFY(added.contains("A/B/b1.gif") || added.contains("link-to-b/b1.gif"));
    }

    void linkToAFolderOutsideIsFollowed() {
        QTemporaryDir tmp;
        MakeFiles(tmp.path(), {"outside/o.gif", "tree/t.gif"});
        QVERIFY(QFile::link(tmp.path() + "/outside", tmp.path() + "/tree/linked"));
        TestWindow t;
        AddFolderWith(t, QStringLiteral("gif"), tmp.path() + "/tree");
        QCOMPARE(Relative(t.list().texts(), tmp.path()),
                 (QStringList{"tree/t.gif", "tree/linked/o.gif"}));
    }

    void unreadableFolderIsReportedOnceAndSiblingsAreAdded() {
        QTemporaryDir tmp;
        const QString r = tmp.path();
        MakeFiles(r, {"ok1/x.gif", "locked/y.gif", "locked/deeper/z.gif", "ok2/w.gif", "r.gif"});
        QVERIFY(chmod(QFile::encodeName(r).constData(), 0755) == 0); // reachable by everyone
        QVERIFY(chmod(QFile::encodeName(r + "/locked").constData(), 0) == 0);
        TestWindow t;
        {
            UnprivilegedScope unprivileged;
            AddFolderWith(t, QStringLiteral("gif"), r);
        }
        chmod(QFile::encodeName(r + "/locked").constData(), 0755);

        QStringList added = Relative(t.list().texts(), r);
        added.sort();
        QCOMPARE(added, (QStringList{"ok1/x.gif", "ok2/w.gif", "r.gif"}));
        QCOMPARE(t.doubles.dialogs.messages.size(), 1);
        const ShownMessage& shown = t.doubles.dialogs.messages.first();
        QCOMPARE(shown.text, UnreadableReport({Native(r, "locked")}));
        QCOMPARE(shown.title, QStringLiteral("Korvane"));
        QCOMPARE(shown.icon, MessageIcon::Exclamation);
        QCOMPARE(t.window.mousePointer(), MousePointer::Default);
    }

    void unreadableReportNamesTenPathsAtMost_data() {
        QTest::addColumn<int>("paths");
        QTest::addColumn<QString>("expected");
        const QString head =
            QStringLiteral("These folders or files could not be read and were left out:");
        QTest::newRow("one") << 1 << head + "\r/p1";
        QTest::newRow("ten") << 10 << head + "\r/p1\r/p2\r/p3\r/p4\r/p5\r/p6\r/p7\r/p8\r/p9\r/p10";
        QTest::newRow("twelve")
            << 12 << head + "\r/p1\r/p2\r/p3\r/p4\r/p5\r/p6\r/p7\r/p8\r/p9\r/p10\rand 2 more";
    }
    void unreadableReportNamesTenPathsAtMost() {
        QFETCH(int, paths);
        QFETCH(QString, expected);
        QStringList list;
        for (int i = 1; i <= paths; ++i)
            list.append(QStringLiteral("/p%1").arg(i));
        QCOMPARE(UnreadableReport(list), expected);
    }

    void windowKeepsServicingEventsUnderTheBusyPointer() {
        QTemporaryDir tmp;
        QStringList files;
        for (int folder = 0; folder < 40; ++folder)
            for (int file = 0; file < 25; ++file)
                files.append(QStringLiteral("f%1/g%2.gif").arg(folder).arg(file));
        MakeFiles(tmp.path(), files);
        TestWindow t;
        int ticks = 0;
        QList<MousePointer> pointers;
        QTimer timer;
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            ++ticks;
            pointers.append(t.window.mousePointer());
        });
        timer.start();
        AddFolderWith(t, QStringLiteral("gif"), tmp.path());
        timer.stop();
        QCOMPARE(t.list().count(), 1000);
        QVERIFY2(ticks > 0, "no timer fired while the tree was scanned");
        QVERIFY(!pointers.contains(MousePointer::Default));
        QCOMPARE(t.window.mousePointer(), MousePointer::Default);
    }

    // Closing the window in the middle of a scan (here as soon as the first entries arrive) ends
    // it there: nothing more is appended and nothing is reported.
    void closingDuringAScanEndsIt_data() {
        QTest::addColumn<bool>("dropped");
        QTest::newRow("Add Folder") << false;
        QTest::newRow("dropped folder") << true;
    }
    void closingDuringAScanEndsIt() {
        QFETCH(bool, dropped);
        QTemporaryDir tmp;
        const QString tree = tmp.path() + QStringLiteral("/tree");
        QStringList files;
        for (int folder = 0; folder < 20; ++folder)
            files.append(QStringLiteral("tree/f%1/g.gif").arg(folder));
        MakeFiles(tmp.path(), files);
        TestWindow t;
        int atClose = -1;
        QObject::connect(t.list().model(), &QAbstractItemModel::rowsInserted, [&] {
            if (atClose < 0) {
                t.window.close();
                atClose = t.list().count();
            }
        });
        QTimer::singleShot(0, [&] {
            if (dropped) // the missing item after the tree would be reported
                DragAndDrop(t.list(), *FileList({tree, tmp.path() + QStringLiteral("/gone")}));
            else
                AddFolderWith(t, QStringLiteral("gif"), tree);
        });
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(atClose > 0 && atClose < files.size());
        QCOMPARE(t.list().count(), atClose);
        QVERIFY(t.doubles.dialogs.messages.isEmpty());
    }

    void collectSubfoldersTakesOneLevelWithoutRecursion() {
        QTemporaryDir tmp;
        MakeFiles(tmp.path(), {"x/z/1.gif", "y/2.gif"});
        const QString start = QDir::toNativeSeparators(tmp.path()) + QDir::separator();
        QStringList folders{start};
        int serviced = 0;
        FolderScan scan([&] { ++serviced; });
        scan.CollectSubfolders(folders, false);
        QStringList expected{start};
        for (const QString& name : ListingOrder(tmp.path(), QDir::Dirs))
            expected.append(start + name + QDir::separator());
        QCOMPARE(folders, expected);
        QVERIFY(serviced >= 3); // the listing, its two entries
    }
};

QTEST_MAIN(AddFolderTest)
#include "tst_addfolder.moc"
