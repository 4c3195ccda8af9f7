// Dropping files and folders from the file manager onto the list, through real drag and drop
// events carrying URL lists.
#include "FileListTestSupport.h"

#include "filelist/FolderScan.h"

#include <QTemporaryDir>

#include <sys/stat.h>

using namespace korvane;
using namespace korvane::test;

namespace {

// The entries of a dropped folder's tree, in any order.
QStringList Sorted(QStringList list) {
    list.sort();
    return list;
}

} // namespace

class FileDropTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void droppedItemsAreAppendedInDroppedOrder() {
        QTemporaryDir tmp;
        const QString r = tmp.path();
        MakeFiles(r, {"a.txt", "b.gif", "F/f1.gif", "F/.hidden", "F/~skipped.gif", "F/noext",
                      "F/sub/f2.png", "F/sub/~deep.gif"});
        TestWindow t;
        t.list().append(QStringLiteral("first"));
        const auto data(FileList({r + "/a.txt", r + "/F", r + "/b.gif"}));

        const DragOutcome outcome = DragAndDrop(t.list(), *data);

        QVERIFY(outcome.enterAccepted);
        QVERIFY(outcome.moveAccepted);
        // The list only refers to the files; the source must never take them as moved.
        QCOMPARE(outcome.dropAction, Qt::CopyAction);
        const QStringList texts = t.list().texts();
        QCOMPARE(texts.size(), 7);
        QCOMPARE(texts.mid(0, 2), (QStringList{"first", Native(r, "a.txt")}));
        QCOMPARE(texts.last(), Native(r, "b.gif"));
        // F's own files before those of its subfolder; every extension, "~" names left out,
        // no separator repair.
        QCOMPARE(
            Sorted(texts.mid(2, 3)),
            (QStringList{Native(r, "F/.hidden"), Native(r, "F/f1.gif"), Native(r, "F/noext")}));
        QCOMPARE(texts.at(5), Native(r, "F/sub/f2.png"));
        QVERIFY(t.doubles.dialogs.messages.isEmpty());
        QCOMPARE(t.window.mousePointer(), MousePointer::Default);
    }

    void twoFoldersAddEachFileOnce() {
        QTemporaryDir tmp;
        const QString r = tmp.path();
        MakeFiles(r, {"P/p1.gif", "P/p2.gif", "P/s/p3.gif", "Q/q1.gif"});
        TestWindow t;
        const auto data(FileList({r + "/P", r + "/Q"}));
        DragAndDrop(t.list(), *data);
        const QStringList texts = t.list().texts();
        QCOMPARE(Sorted(texts.mid(0, 2)),
                 (QStringList{Native(r, "P/p1.gif"), Native(r, "P/p2.gif")}));
        QCOMPARE(texts.mid(2), (QStringList{Native(r, "P/s/p3.gif"), Native(r, "Q/q1.gif")}));
    }

    void dropOntoAnEntryAppendsAtTheEnd() {
        QTemporaryDir tmp;
        MakeFiles(tmp.path(), {"new.gif"});
        TestWindow t;
        t.list().append(QStringList{"x", "y", "z"});
        t.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&t.window));
        const QPoint onFirst = t.list().visualItemRect(t.list().topLevelItem(0)).center();
        QCOMPARE(t.list().hitTest(onFirst), 1);
        const auto data(FileList({tmp.path() + "/new.gif"}));
        DragAndDrop(t.list(), *data, onFirst);
        QCOMPARE(t.list().texts(), (QStringList{"x", "y", "z", Native(tmp.path(), "new.gif")}));
    }

    void anythingButLocalFilesIsRefused_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("urls");
        QTest::newRow("selected text") << "some text from an editor" << QStringList{};
        QTest::newRow("web address") << "" << QStringList{"https://quenwick.example/a.gif"};
        QTest::newRow("local file and web address")
            << "" << QStringList{"file:///tmp/a.gif", "https://quenwick.example/b.gif"};
    }
    void anythingButLocalFilesIsRefused() {
        QFETCH(QString, text);
        QFETCH(QStringList, urls);
        QMimeData data;
        if (!text.isEmpty())
            data.setText(text);
        if (!urls.isEmpty())
            data.setUrls(QUrl::fromStringList(urls));
        TestWindow t;
        t.list().append(QStringLiteral("kept"));
        const DragOutcome outcome = DragAndDrop(t.list(), data);
        QVERIFY(!outcome.enterAccepted);
        QVERIFY(!outcome.moveAccepted);
        QCOMPARE(outcome.dropAction, Qt::IgnoreAction);
        QCOMPARE(t.list().texts(), QStringList{"kept"});
    }

    void itemsThatCannotBeReadArePassedOverAndReportedOnce() {
        QTemporaryDir tmp;
        const QString r = tmp.path();
        MakeFiles(r, {"a.txt", "locked/inner.gif", "b.gif"});
        QVERIFY(chmod(QFile::encodeName(r).constData(), 0755) == 0);
        QVERIFY(chmod(QFile::encodeName(r + "/locked").constData(), 0) == 0);
        TestWindow t;
        const auto data(FileList({r + "/a.txt", r + "/locked", r + "/gone.gif", r + "/b.gif"}));
        {
            UnprivilegedScope unprivileged;
            DragAndDrop(t.list(), *data);
        }
        chmod(QFile::encodeName(r + "/locked").constData(), 0755);
        QCOMPARE(t.list().texts(), (QStringList{Native(r, "a.txt"), Native(r, "b.gif")}));
        QCOMPARE(t.doubles.dialogs.messages.size(), 1);
        QCOMPARE(t.doubles.dialogs.messages.first().text,
                 UnreadableReport({Native(r, "locked"), Native(r, "gone.gif")}));
    }
};

QTEST_MAIN(FileDropTest)
#include "tst_filedrop.moc"
