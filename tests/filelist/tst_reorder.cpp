// Reordering entries by dragging them through real mouse events, and removing entries.
#include "FileListTestSupport.h"

#include "filelist/Reordering.h"

#include <QHelpEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QToolTip>

using namespace korvane;
using namespace korvane::test;

namespace {

const QStringList kABCD{"A", "B", "C", "D"};

// A shown window whose list holds the given entries.
struct ShownList : TestWindow {
    explicit ShownList(const QStringList& entries, const QString& appFolder = AppFolder())
        : TestWindow(appFolder) {
        list().append(entries);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }
    QWidget* viewport() { return list().viewport(); }
    QPoint rowCentre(int entry) {
        return list().visualItemRect(list().topLevelItem(entry - 1)).center();
    }
    // Sends one mouse event to the list; screenY overrides the pointer's row on the screen.
    void mouse(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held,
               int screenY = -1) {
        QPoint global = viewport()->mapToGlobal(at);
        if (screenY >= 0)
            global.setY(screenY);
        QMouseEvent event(type, at, global, button, held, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport(), &event);
    }
    void press(int entry, Qt::MouseButton button = Qt::LeftButton) {
        mouse(QEvent::MouseButtonPress, rowCentre(entry), button, button);
    }
    void dragTo(int entry, Qt::MouseButton button = Qt::LeftButton, int screenY = -1) {
        mouse(QEvent::MouseMove, rowCentre(entry), Qt::NoButton, button, screenY);
    }
    void release(int entry, Qt::MouseButton button = Qt::LeftButton) {
        mouse(QEvent::MouseButtonRelease, rowCentre(entry), button, Qt::NoButton);
    }
    bool listHasOwnPointer() { return list().testAttribute(Qt::WA_SetCursor); }
    bool fullyVisible(int entry) {
        const QRect row = list().visualItemRect(list().topLevelItem(entry - 1));
        return viewport()->rect().contains(row);
    }
};

} // namespace

class ReorderTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void draggingRowByRowCarriesTheEntry_data() {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::newRow("left button") << Qt::LeftButton;
        QTest::newRow("right button works alike") << Qt::RightButton;
    }
    void draggingRowByRowCarriesTheEntry() {
        QFETCH(Qt::MouseButton, button);
        ShownList s(kABCD);
        s.press(1, button);
        QVERIFY(s.listHasOwnPointer());
        QCOMPARE(s.list().cursor().shape(), Qt::BitmapCursor); // drawn from drag.ico
        s.dragTo(2, button);
        QCOMPARE(s.list().texts(), (QStringList{"B", "A", "C", "D"}));
        s.dragTo(3, button);
        s.release(3, button);
        QCOMPARE(s.list().texts(), (QStringList{"B", "C", "A", "D"}));
        QVERIFY(s.list().isEntrySelected(3));
        QCOMPARE(s.list().currentEntry(), 3);
        QVERIFY(!s.listHasOwnPointer());
        QCOMPARE(s.list().cursor().shape(), Qt::ArrowCursor);
        // The rows passed kept their own selection: only the dragged entry goes.
        s.window.ClearSelected();
        QCOMPARE(s.list().texts(), (QStringList{"B", "C", "D"}));
    }

    void skippingRowsSwapsTwoEntries() {
        ShownList s(kABCD);
        s.press(1);
        s.dragTo(4);
        s.release(4);
        QCOMPARE(s.list().texts(), (QStringList{"D", "B", "C", "A"}));
        QVERIFY(s.list().isEntrySelected(4));
    }

    void equalTextsAreNotExchanged() {
        ShownList s({"same", "same", "other"});
        s.press(1);
        s.dragTo(2);
        QCOMPARE(s.list().texts(), (QStringList{"same", "same", "other"}));
        QVERIFY(!s.list().isEntrySelected(2));
        s.dragTo(3); // the dragged row is still the first
        QCOMPARE(s.list().texts(), (QStringList{"other", "same", "same"}));
    }

    void movesWithoutAPressOnAnEntryMoveNothing() {
        ShownList s(kABCD);
        // Moves with no button held.
        s.mouse(QEvent::MouseMove, s.rowCentre(2), Qt::NoButton, Qt::NoButton);
        s.mouse(QEvent::MouseMove, s.rowCentre(3), Qt::NoButton, Qt::NoButton);
        // An entry clicked earlier, then a press beside the entries.
        s.press(1);
        s.release(1);
        const QPoint belowTheEntries(5, s.viewport()->height() - 2);
        QCOMPARE(s.list().hitTest(belowTheEntries), 0);
        s.mouse(QEvent::MouseButtonPress, belowTheEntries, Qt::LeftButton, Qt::LeftButton);
        s.dragTo(2);
        s.dragTo(4);
        s.release(4);
        QCOMPARE(s.list().texts(), kABCD);
    }

    void removalsDuringADragKeepTheDraggedRowRight() {
        ShownList s({"A", "B", "C", "D", "E"});
        s.press(3);
        s.list().remove(1); // the dragged C moves up to row 2
        s.dragTo(3);
        QCOMPARE(s.list().texts(), (QStringList{"B", "D", "C", "E"}));
        QTest::keyClick(&s.list(), Qt::Key_Delete); // removes the dragged entry itself
        QCOMPARE(s.list().texts(), (QStringList{"B", "D", "E"}));
        s.dragTo(1);
        s.dragTo(2);
        s.release(2);
        QCOMPARE(s.list().texts(), (QStringList{"B", "D", "E"}));
    }

    void missingDragIconStillDrags() {
        QTemporaryDir emptyAppFolder;
        ShownList s(kABCD, emptyAppFolder.path());
        s.press(1);
        QCOMPARE(s.list().cursor().shape(), Qt::DragMoveCursor);
        s.dragTo(2);
        s.release(2);
        QCOMPARE(s.list().texts(), (QStringList{"B", "A", "C", "D"}));
        QVERIFY(!s.listHasOwnPointer());
    }

    void entryToReveal_data() {
        QTest::addColumn<int>("screenY");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("expected");
        QTest::newRow("above the band") << 200 << 3 << 5 << 2;
        QTest::newRow("last row above") << 304 << 3 << 5 << 2;
        QTest::newRow("first neutral row") << 305 << 3 << 5 << 0;
        QTest::newRow("neutral") << 330 << 3 << 5 << 0;
        QTest::newRow("last neutral row") << 364 << 3 << 5 << 0;
        QTest::newRow("first row below") << 365 << 3 << 5 << 4;
        QTest::newRow("below") << 400 << 3 << 5 << 4;
        QTest::newRow("above, at the first entry") << 200 << 1 << 5 << 0;
        QTest::newRow("below, at the last entry") << 400 << 5 << 5 << 0;
        QTest::newRow("screen above the primary one") << -40 << 2 << 5 << 1;
    }
    void entryToReveal() {
        QFETCH(int, screenY);
        QFETCH(int, position);
        QFETCH(int, count);
        QFETCH(int, expected);
        QCOMPARE(EntryToReveal(screenY, position, count), expected);
    }

    void scrollBandsAreMeasuredOnTheScreen_data() {
        QTest::addColumn<QPoint>("windowAt");
        QTest::addColumn<int>("screenY");
        QTest::addColumn<bool>("towardsTop"); // drag onto the first visible row, else the last
        QTest::addColumn<int>("scrolled");    // -1 up, 0 not, 1 down
        QTest::newRow("above: reveals the row above") << QPoint(0, 0) << 200 << true << -1;
        QTest::newRow("below: reveals the row below") << QPoint(0, 0) << 400 << false << 1;
        QTest::newRow("neutral at the top") << QPoint(0, 0) << 330 << true << 0;
        QTest::newRow("neutral at the bottom") << QPoint(0, 0) << 330 << false << 0;
        QTest::newRow("window low, pointer above") << QPoint(100, 380) << 200 << true << -1;
        QTest::newRow("window low, pointer below") << QPoint(100, 380) << 400 << false << 1;
        QTest::newRow("window low, neutral") << QPoint(100, 380) << 340 << false << 0;
    }
    void scrollBandsAreMeasuredOnTheScreen() {
        QFETCH(QPoint, windowAt);
        QFETCH(int, screenY);
        QFETCH(bool, towardsTop);
        QFETCH(int, scrolled);
        QStringList entries;
        for (int i = 1; i <= 60; ++i)
            entries.append(QStringLiteral("e%1").arg(i, 2, 10, QLatin1Char('0')));
        ShownList s(entries);
        s.window.move(windowAt);
        s.list().scrollToItem(s.list().topLevelItem(29), QAbstractItemView::PositionAtTop);
        int first = 60, last = 1;
        for (int i = 1; i <= 60; ++i) {
            if (s.fullyVisible(i)) {
                first = std::min(first, i);
                last = std::max(last, i);
            }
        }
        QVERIFY2(last - first >= 3, "the list shows too few rows for this test");
        const int target = towardsTop ? first : last;
        const int start = towardsTop ? first + 2 : last - 2;
        const int before = s.list().verticalScrollBar()->value();

        s.press(start);
        s.dragTo(target, Qt::LeftButton, screenY);
        s.release(target);

        QCOMPARE(s.list().text(target), entries.at(start - 1)); // the exchange happened
        const int after = s.list().verticalScrollBar()->value();
        QCOMPARE(after < before ? -1 : after > before ? 1 : 0, scrolled);
        if (scrolled != 0)
            QVERIFY(s.fullyVisible(target + scrolled));
    }

    void deleteRemovesTheCurrentEntryOnly() {
        ShownList s({"A", "B", "C", "D", "E"});
        for (int entry : {2, 3, 4})
            QTest::mouseClick(s.viewport(), Qt::LeftButton, Qt::ControlModifier,
                              s.rowCentre(entry));
        QVERIFY(s.list().isEntrySelected(2) && s.list().isEntrySelected(3));
        QCOMPARE(s.list().currentEntry(), 4);
        s.list().setFocus();
        QTest::keyClick(&s.list(), Qt::Key_Backspace);
        QCOMPARE(s.list().count(), 5);
        QTest::keyClick(&s.list(), Qt::Key_Delete, Qt::ShiftModifier);
        QCOMPARE(s.list().texts(), (QStringList{"A", "B", "C", "E"}));
        QVERIFY(s.doubles.dialogs.messages.isEmpty());
    }

    void doubleClickRemovesTheEntryUnderIt() {
        ShownList s({"A", "B", "C"});
        QTest::mouseDClick(s.viewport(), Qt::LeftButton, {}, s.rowCentre(2));
        QCOMPARE(s.list().texts(), (QStringList{"A", "C"}));
        QVERIFY(s.doubles.dialogs.messages.isEmpty());
    }

    void clearSelectedRemovesEverySelectedEntry_data() {
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("entry 4") << QList<int>{4} << QStringList{"1", "2", "3", "5"};
        QTest::newRow("entries 2 and 4") << QList<int>{2, 4} << QStringList{"1", "3", "5"};
        QTest::newRow("neighbours 4 and 5") << QList<int>{4, 5} << QStringList{"1", "2", "3"};
        QTest::newRow("none") << QList<int>{} << QStringList{"1", "2", "3", "4", "5"};
        QTest::newRow("all") << QList<int>{1, 2, 3, 4, 5} << QStringList{};
    }
    void clearSelectedRemovesEverySelectedEntry() {
        QFETCH(QList<int>, selected);
        QFETCH(QStringList, expected);
        TestWindow t;
        t.list().append(QStringList{"1", "2", "3", "4", "5"});
        for (int entry : selected)
            t.list().selectEntry(entry);
        t.window.ClearSelected();
        QCOMPARE(t.list().texts(), expected);
        QVERIFY(t.doubles.dialogs.messages.isEmpty());
        QVERIFY(t.doubles.dialogs.questions.isEmpty());
    }

    void clearListEmptiesTheListWithoutAsking() {
        TestWindow t;
        t.list().append(kABCD);
        t.list().selectEntry(2);
        t.window.ClearList();
        QCOMPARE(t.list().count(), 0);
        QVERIFY(t.doubles.dialogs.messages.isEmpty());
        QVERIFY(t.doubles.dialogs.questions.isEmpty());
    }

    void nothingHappensOnAnEmptyList() {
        ShownList s({});
        s.window.ClearSelected();
        s.window.ClearList();
        QTest::keyClick(&s.list(), Qt::Key_Delete);
        QTest::mouseDClick(s.viewport(), Qt::LeftButton, {}, QPoint(5, 5));
        s.mouse(QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton, Qt::LeftButton);
        s.mouse(QEvent::MouseMove, QPoint(5, 30), Qt::NoButton, Qt::LeftButton);
        s.mouse(QEvent::MouseButtonRelease, QPoint(5, 30), Qt::LeftButton, Qt::NoButton);
        QCOMPARE(s.list().count(), 0);
        QVERIFY(s.doubles.dialogs.messages.isEmpty());
        QVERIFY(s.doubles.dialogs.unexpected.isEmpty());
    }

    // Alt+Up and Alt+Down move the selected entries as a drag would; a block moves whole and
    // the entry at an end holds the ones behind it.
    void altArrowsMoveTheSelectedEntries_data() {
        QTest::addColumn<QList<int>>("keys"); // -1 Alt+Up, 1 Alt+Down
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("up") << QList<int>{-1} << QStringList{"B", "C", "A", "E", "D", "F"};
        QTest::newRow("up twice, the top holds")
            << QList<int>{-1, -1} << QStringList{"B", "C", "E", "A", "D", "F"};
        QTest::newRow("and down again")
            << QList<int>{-1, -1, 1} << QStringList{"A", "B", "C", "E", "D", "F"};
        QTest::newRow("down") << QList<int>{1} << QStringList{"A", "D", "B", "C", "F", "E"};
    }
    void altArrowsMoveTheSelectedEntries() {
        QFETCH(QList<int>, keys);
        QFETCH(QStringList, texts);
        ShownList s({"A", "B", "C", "D", "E", "F"});
        s.list().setCurrentItem(s.list().topLevelItem(2), 0, QItemSelectionModel::NoUpdate);
        for (int entry : {2, 3, 5})
            s.list().selectEntry(entry);
        for (int key : keys)
            QTest::keyClick(&s.list(), key < 0 ? Qt::Key_Up : Qt::Key_Down, Qt::AltModifier);
        QCOMPARE(s.list().texts(), texts);
        QStringList selected;
        for (int entry = 1; entry <= s.list().count(); ++entry) {
            if (s.list().isEntrySelected(entry))
                selected << s.list().text(entry);
        }
        QCOMPARE(selected, (QStringList{"B", "C", "E"}));
        QCOMPARE(s.list().text(s.list().currentEntry()), QStringLiteral("C"));
    }

    // A deep path loses its middle, not its file name; the entry's tooltip is the full path and
    // the column fills the list.
    void deepPathsShowTheirNames() {
        const QString deep = QDir::toNativeSeparators(
            "/home/user/pictures/level1/level2/level3/level4/level5/level6/level7/level8/"
            "level9/holiday-at-the-sea.gif");
        ShownList s({deep});
        s.window.Form_Load();
        const QRect row = s.list().visualItemRect(s.list().topLevelItem(0));
        QCOMPARE(s.list().columnWidth(0), s.viewport()->width());
        QVERIFY(s.list().fontMetrics().horizontalAdvance(deep) > row.width());
        QCOMPARE(s.list().textElideMode(), Qt::ElideMiddle);
        QHelpEvent help(QEvent::ToolTip, row.center(), s.viewport()->mapToGlobal(row.center()));
        QCoreApplication::sendEvent(s.viewport(), &help);
        QTRY_COMPARE(QToolTip::text(), deep);
    }

    // Every way of changing the list is refused while a conversion runs. The run is driven
    // through Start with a scripted converter that tries them all while it "runs".
    void listRefusesChangesWhileAConversionRuns() {
        QTemporaryDir tmp;
        MakeFiles(tmp.path(), {"one.gif", "two.gif", "three.gif", "more/four.gif"});
        ShownList s({Native(tmp.path(), "one.gif"), Native(tmp.path(), "two.gif")});
        s.window.Text1->setText(QStringLiteral("0.5"));
        s.window.Text2->setText(QDir::toNativeSeparators(tmp.path()) + QDir::separator());
        s.window.Option1->setChecked(true);
        const QStringList before = s.list().texts();
        QStringList problems;
        s.doubles.runner.handler = [&](const RunCall&) {
            if (!s.window.conversionRunning())
                problems.append("conversionRunning() is false during the run");
            const auto check = [&](const char* what) {
                if (s.list().texts() != before)
                    problems.append(QString::fromLatin1(what));
            };
            s.list().selectEntry(1);
            s.window.ClearSelected();
            check("ClearSelected");
            s.window.ClearList();
            check("ClearList");
            s.list().setCurrentItem(s.list().topLevelItem(0));
            QTest::keyClick(&s.list(), Qt::Key_Delete);
            check("Delete");
            QTest::mouseDClick(s.viewport(), Qt::LeftButton, {}, s.rowCentre(1));
            check("double click");
            s.press(1);
            s.dragTo(2);
            s.release(2);
            check("reordering drag");
            const auto data = FileList({tmp.path() + "/three.gif"});
            if (DragAndDrop(s.list(), *data).enterAccepted)
                problems.append("a drag was accepted");
            check("drop");
            s.doubles.dialogs.inputAnswers.enqueue(QStringLiteral("gif"));
            s.doubles.dialogs.folderAnswers.enqueue(tmp.path() + "/more");
            s.window.AddFolder();
            check("AddFolder");
            return ProcessResult{};
        };
        s.window.Start();
        if (s.doubles.runner.calls.isEmpty())
            QSKIP("Start does not run the converter in this build yet");
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));
    }
};

QTEST_MAIN(ReorderTest)
#include "tst_reorder.moc"
