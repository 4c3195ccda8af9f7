// Adding folder trees with AddFolder, on real trees in a temporary folder.
#include "FileListTestSupport.h"

#include "commands/CommandTable.h"
#include "filelist/FolderScan.h"
#include "util/QtSeams.h"

#include <QProgressBar>
#include <QTemporaryDir>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>

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

// Rows for a test that adds a folder both ways: by Add Folder and by dropping it.
void BothRoutes() {
    QTest::addColumn<bool>("dropped");
    QTest::newRow("Add Folder") << false;
    QTest::newRow("dropped folder") << true;
}

// Adds the folder tree with Add Folder ("gif") or by dropping it on the list.
void AddTreeBy(bool dropped, TestWindow& t, const QString& folder) {
    if (dropped)
        DragAndDrop(t.list(), *FileList({folder}));
    else
        AddFolderWith(t, QStringLiteral("gif"), folder);
}

} // namespace

class AddFolderTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void exampleTreeIsAddedBreadthFirst() {
        QTemporaryDir tmp;
        const QString r = tmp.path() + QStringLiteral("/R");
        MakeFiles(r, {"r2.gif", "r1.gif", "B/b1.gif", "A/a1.gif", "A/C/c1.gif"});
        TestWindow t;
        t.list().append(QStringLiteral("already there"));

        AddFolderWith(t, QStringLiteral("gif"), r);

        // Folders one level down before the next level, each level in the order of its parents.
        QCOMPARE(t.list().texts(), (QStringList{"already there", Native(r, "r1.gif"),
                                                Native(r, "r2.gif"), Native(r, "A/a1.gif"),
                                                Native(r, "B/b1.gif"), Native(r, "A/C/c1.gif")}));
        QCOMPARE(t.doubles.dialogs.messages.size(), 0);
        QCOMPARE(t.window.mousePointer(), MousePointer::Default);
    }

    // Names of one folder come as a file manager shows them, whatever order the file system
    // keeps: letter case aside, numbers by their value; subfolders in the same order.
    void foldersComeInTheOrderPeopleReadThem_data() { BothRoutes(); }
    void foldersComeInTheOrderPeopleReadThem() {
        QFETCH(bool, dropped);
        QTemporaryDir tmp;
        const QString r = tmp.path() + QStringLiteral("/frames");
        QStringList names{"Frame_3.gif", "a.gif",      "B.gif",
                          "sub10/z.gif", "Sub1/z.gif", "sub2/z.gif"};
        for (int i = 12; i >= 1; --i)
            names.append(QStringLiteral("frame_%1.gif").arg(i));
        MakeFiles(r, names);
        TestWindow t;
        AddTreeBy(dropped, t, r);
        QStringList expected{"a.gif",       "B.gif",       "frame_1.gif",
                             "frame_2.gif", "frame_3.gif", "Frame_3.gif"};
        for (int i = 4; i <= 12; ++i)
            expected.append(QStringLiteral("frame_%1.gif").arg(i));
        expected << "Sub1/z.gif"
                 << "sub2/z.gif"
                 << "sub10/z.gif";
        QCOMPARE(Relative(t.list().texts(), r), expected);
    }

    void sampleFilesComeInTheOrderPeopleReadThem() {
        QTemporaryDir app;
        MakeFiles(app.path(), {"Samples/Sunrise3.gif", "Samples/balloon.gif",
                               "Samples/Sunrise10.gif", "Samples/Sunrise2.gif"});
        TestWindow t(app.path());
        t.doubles.dialogs.yesNoAnswers.enqueue(false);
        t.window.LoadSample();
        QCOMPARE(Relative(t.list().texts(), app.path() + "/Samples"),
                 (QStringList{"balloon.gif", "Sunrise2.gif", "Sunrise3.gif", "Sunrise10.gif"}));
    }

    // The order follows the user's locale: Swedish puts "ä" after "z", German beside "a".
    void nameOrderFollowsTheLocale_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("German") << "de_DE" << QStringList{"a2", "ä10", "z"};
        QTest::newRow("Swedish") << "sv_SE" << QStringList{"a2", "z", "ä10"};
        QTest::newRow("C: numbers by value all the same") << "C" << QStringList{"a2", "A10", "z"};
    }
    void nameOrderFollowsTheLocale() {
        QFETCH(QString, locale);
        QFETCH(QStringList, expected);
        QStringList names = expected;
        std::reverse(names.begin(), names.end());
        NameOrder(QLocale(locale)).sort(names);
        QCOMPARE(names, expected);
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
        // The input dialog shows the prompt's carriage returns as line breaks.
        QCOMPARE(WithDisplayLineBreaks(kPrompt),
                 QStringLiteral("Enter file extension to load:\n\n(* for all files, txt for all "
                                "txt files, doc for all doc files, etc.)"));
        QCOMPARE(WithDisplayLineBreaks(QStringLiteral("a\r\nb")), QStringLiteral("a\nb"));
    }
    void extensionAsPeopleTypeIt_data() {
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QStringList>("expected");
        const QStringList gifs{".hidden.gif", "What?/w.gif", "a.gif",    "a~b.gif",
                               "b.GIF",       "name?.gif",   "sub/c.gif"};
        QTest::newRow("gif, any letter case") << "gif" << gifs;
        QTest::newRow("upper-case GIF") << "GIF" << gifs;
        QTest::newRow(".gif") << ".gif" << gifs;
        QTest::newRow("*.gif") << "*.gif" << gifs;
        QTest::newRow("* adds every file, hidden ones too")
            << "*" << QStringList{".hidden.gif", ".profile",  "What?/w.gif", "a.gif",
                                  "a~b.gif",     "b.GIF",     "name?.gif",   "noext",
                                  "note.txt",    "sub/c.gif", "sub/d.txt"};
        QTest::newRow("txt") << "txt" << QStringList{"note.txt", "sub/d.txt"};
        QTest::newRow("*.txt") << "*.txt" << QStringList{"note.txt", "sub/d.txt"};
        QTest::newRow("no trimming") << " gif" << QStringList{};
        QTest::newRow("nothing found") << ".png" << QStringList{};
    }
    void extensionAsPeopleTypeIt() {
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
        if (expected.isEmpty()) { // one message says so, with the extension as the user meant it
            QCOMPARE(t.doubles.dialogs.messages.size(), 1);
            QCOMPARE(t.doubles.dialogs.messages.first().text,
                     QStringLiteral("No .%1 files were found in %2.")
                         .arg(extension.mid(extension.startsWith(".") ? 1 : 0),
                              QDir::toNativeSeparators(tmp.path())));
            QCOMPARE(t.doubles.dialogs.messages.first().title, QStringLiteral("Korvane"));
        } else {
            QVERIFY(t.doubles.dialogs.messages.isEmpty());
        }
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
        BothRoutes();
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

#ifndef Q_OS_WIN
    // A name that is not valid text (Latin-1 bytes) cannot be listed; it is named in one
    // message after the scan, and so is a readable folder with such a name.
    void namesThatAreNotTextAreReportedOnce_data() {
        BothRoutes();
        QTest::newRow("dropped items") << true;
    }
    void namesThatAreNotTextAreReportedOnce() {
        QFETCH(bool, dropped);
        QTemporaryDir tmp;
        const QString r = tmp.path();
        MakeFiles(r, {"ok.gif"});
        const QByteArray raw = QFile::encodeName(r);
        const QByteArray file = raw + "/caf\xe9.gif", folder = raw + "/sub\xe9";
        QVERIFY(close(open(file.constData(), O_CREAT | O_WRONLY, 0644)) == 0);
        QVERIFY(mkdir(folder.constData(), 0755) == 0);
        QVERIFY(close(open((folder + "/inner.gif").constData(), O_CREAT | O_WRONLY, 0644)) == 0);
        TestWindow t;
        if (QByteArray(QTest::currentDataTag()) == "dropped items") {
            QMimeData data; // the addresses a file manager gives, with the names' bytes
            const auto url = [](const QByteArray& path) {
                return QUrl::fromEncoded("file://" + path.toPercentEncoding("/"));
            };
            data.setUrls({url(file), url(raw + "/ok.gif"), url(folder)});
            DragAndDrop(t.list(), data);
        } else {
            AddTreeBy(dropped, t, r);
        }
        std::filesystem::remove_all(folder.constData());
        std::filesystem::remove(file.constData());

        QCOMPARE(t.list().texts(), QStringList{Native(r, "ok.gif")});
        QCOMPARE(t.doubles.dialogs.messages.size(), 1);
        QCOMPARE(t.doubles.dialogs.messages.first().text,
                 "These files could not be added, because their names are not valid text:\r" +
                     Native(r, "caf\\xe9.gif") + "\r" + Native(r, "sub\\xe9"));
        QCOMPARE(t.doubles.dialogs.messages.first().icon, MessageIcon::Exclamation);
    }
#endif

    // Start while the list is still being filled says so and does nothing else; the scan goes
    // on to the end.
    void startWaitsForTheList_data() {
        BothRoutes();
    }
    void startWaitsForTheList() {
        QFETCH(bool, dropped);
        QTemporaryDir tmp;
        QStringList files;
        for (int folder = 0; folder < 20; ++folder)
            files.append(QStringLiteral("tree/f%1/g.gif").arg(folder));
        MakeFiles(tmp.path(), files);
        const QString tree = tmp.path() + QStringLiteral("/tree");
        TestWindow t;
        int startedAt = -1;
        QObject::connect(t.list().model(), &QAbstractItemModel::rowsInserted, [&] {
            if (startedAt < 0) {
                startedAt = t.list().count();
                t.window.CommandBars_Execute(kToolbarStart);
            }
        });
        AddTreeBy(dropped, t, tree);
        QVERIFY(startedAt > 0 && startedAt < files.size());
        QCOMPARE(t.list().count(), files.size());
        QCOMPARE(t.doubles.dialogs.messages.size(), 1);
        QCOMPARE(t.doubles.dialogs.messages.first().text,
                 QStringLiteral(
                     "Korvane is still adding files. Start again when the list is complete."));
        QVERIFY(t.doubles.runner.calls.isEmpty());
        QVERIFY(!t.window.conversionRunning());
        QCOMPARE(t.window.ProgressBar1->value(), 0);
    }

    void collectSubfoldersTakesOneLevelWithoutRecursion() {
        QTemporaryDir tmp;
        MakeFiles(tmp.path(), {"y/2.gif", "x/z/1.gif"});
        const QString start = QDir::toNativeSeparators(tmp.path()) + QDir::separator();
        QStringList folders{start};
        int serviced = 0;
        FolderScan scan([&] { ++serviced; });
        scan.CollectSubfolders(folders, false);
        const QChar s = QDir::separator();
        QCOMPARE(folders, (QStringList{start, start + "x" + s, start + "y" + s}));
        QVERIFY(serviced >= 3); // the listing, its two entries
    }
};

QTEST_MAIN(AddFolderTest)
#include "tst_addfolder.moc"
