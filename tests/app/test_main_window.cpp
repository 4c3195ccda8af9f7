// The real main window under the offscreen platform: its controls, layout, pointer convention
// and adding files through a scripted file dialog.
#include "Doubles.h"
#include "app/Form1.h"
#include "app/Layout.h"
#include "app/TabControl.h"
#include "filelist/FileListView.h"

#include <QAccessible>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>

#include <memory>

using namespace korvane;

namespace {

struct Window {
    test::Doubles doubles;
    std::unique_ptr<Form1> form;
    Window() {
        form = std::make_unique<Form1>(Form1Services{doubles.dialogs, doubles.shell, doubles.runner,
                                                     doubles.chance,
                                                     QCoreApplication::applicationDirPath()});
        form->Form_Load();
    }
};

int px(int twips, const QWidget* w) {
    return TwipsToPixels(twips, w->logicalDpiY());
}

// A real mouse-move event delivered to the control, as the window system would.
void moveOver(QWidget* widget, QPointF at = {2, 2}) {
    QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

QString makeFile(const QTemporaryDir& dir, const QString& name) {
    const QString path = QDir::toNativeSeparators(dir.filePath(name));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    return path;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void controlsTextsAndContainment() {
        Window w;
        Form1& f = *w.form;
        QCOMPARE(f.TabControl1->count(), 2);
        QCOMPARE(f.TabControl1->tabText(0), QString("GIF Files"));
        QCOMPARE(f.TabControl1->tabText(1), QString("Conversion Options"));
        QCOMPARE(f.ListView1->parentWidget(), f.TabControl1->widget(0));
        QCOMPARE(f.Frame1->parentWidget(), f.TabControl1->widget(1));
        QCOMPARE(f.Frame2->parentWidget(), f.TabControl1->widget(1));
        QCOMPARE(f.PushButton1->parentWidget(), f.TabControl1->widget(1));
        for (QWidget* child : {static_cast<QWidget*>(f.Option1), static_cast<QWidget*>(f.Label1),
                               static_cast<QWidget*>(f.Text1), static_cast<QWidget*>(f.Option2)})
            QCOMPARE(child->parentWidget(), f.Frame1);
        QCOMPARE(f.Text2->parentWidget(), f.Frame2);
        QCOMPARE(f.PushButton2->parentWidget(), f.Frame2);
        QCOMPARE(f.Frame1->title(), QString("Many To One vs. One To One"));
        QCOMPARE(f.Frame2->title(), QString("Save Results To This Folder"));
        QCOMPARE(f.Option1->text(),
                 QString("Convert many GIF files to one animated SWF file (many to one)"));
        QCOMPARE(f.Option2->text(), QString("Convert each GIF file into a SWF file (one to one)"));
        QCOMPARE(f.Label1->text(), QString("Delay between images (in seconds):"));
        QCOMPARE(f.PushButton2->text(), QString("..."));
        QCOMPARE(f.PushButton1->text(),
                 QString("Download \"Flash Movie Player\" To View SWF File Results"));
        QCOMPARE(f.ListView1->headerItem()->text(0),
                 QString("Drag and drop GIF files here. Drag files up and down to change order."));
        QVERIFY(!f.ListView1->header()->isHidden());
        QVERIFY(!f.ListView1->rootIsDecorated());
        QCOMPARE(f.ProgressBar1->minimum(), 0);
        QCOMPARE(f.ProgressBar1->maximum(), 100);
        QCOMPARE(f.windowTitle(), QString("Korvane"));
    }

    // Screen readers name each edit box and option by its own label.
    void accessibleNames() {
        Window w;
        const std::pair<QWidget*, QString> named[] = {
            {w.form->Text1, "Delay between images (in seconds):"},
            {w.form->Text2, "Save Results To This Folder"},
            {w.form->Option2, "Convert each GIF file into a SWF file (one to one)"}};
        for (const auto& [control, name] : named)
            QCOMPARE(QAccessible::queryAccessibleInterface(control)->text(QAccessible::Name), name);
    }

    void fonts() {
        Window w;
        Form1& f = *w.form;
        QCOMPARE(f.TabControl1->tabBar()->font().family(), QString("Calibri"));
        QCOMPARE(f.TabControl1->tabBar()->font().pointSizeF(), 15.75);
        QVERIFY(!f.TabControl1->tabBar()->font().bold());
        QCOMPARE(f.PushButton1->font().pointSizeF(), 14.25);
        QVERIFY(f.PushButton1->font().bold());
        for (QWidget* c : {static_cast<QWidget*>(f.Option1), static_cast<QWidget*>(f.Text2),
                           static_cast<QWidget*>(f.ListView1), static_cast<QWidget*>(f.Frame2),
                           static_cast<QWidget*>(f.PushButton2)}) {
            QCOMPARE(c->font().family(), QString("Calibri"));
            QCOMPARE(c->font().pointSizeF(), 11.25);
            QVERIFY(c->font().bold());
        }
    }

    void tabOrder() {
        Window w;
        Form1& f = *w.form;
        const QList<QWidget*> expected = {f.TabControl1, f.ListView1, f.Option2,     f.Option1,
                                          f.Text1,       f.Text2,     f.PushButton2, f.PushButton1};
        // Walk the focus chain and keep the controls of the design, in the order met.
        QList<QWidget*> met;
        QWidget* w0 = f.TabControl1;
        for (QWidget* cur = w0->nextInFocusChain(); cur != w0; cur = cur->nextInFocusChain())
            if (expected.contains(cur) && !met.contains(cur))
                met.append(cur);
        met.prepend(w0);
        QCOMPARE(met, expected);
    }

    void layoutAtDesignSize() {
        Window w;
        Form1& f = *w.form;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        const int wTw = PixelsToTwips(f.width(), f.logicalDpiY());
        const int hTw = PixelsToTwips(f.height(), f.logicalDpiY());
        QCOMPARE(wTw, kDesignClientWidth);
        QCOMPARE(hTw, kDesignClientHeight);
        QCOMPARE(f.TabControl1->geometry(),
                 QRect(px(120, &f), px(1600, &f), px(8385, &f), px(5780, &f)));
        QCOMPARE(f.ListView1->size(), QSize(px(7905, &f), px(5050, &f)));
        QCOMPARE(f.Frame1->width(), px(7905, &f));
        QCOMPARE(f.Frame2->width(), px(7905, &f));
        QCOMPARE(f.PushButton1->width(), px(7905, &f));
        QCOMPARE(f.Text2->width(), px(6605, &f));
        QCOMPARE(f.PushButton2->x(), px(6945, &f));
        QCOMPARE(f.ProgressBar1->geometry(),
                 QRect(px(120, &f), px(7530, &f), px(8385, &f), px(405, &f)));
        // The page controls stand where the design puts them in the tab control, lowered by
        // as much as Qt's tab headers are taller than the design's, and never into the headers.
        const int lowered = std::max(0, f.TabControl1->pageOrigin().y() - px(480, &f));
        QCOMPARE(f.ListView1->mapTo(f.TabControl1, QPoint(0, 0)),
                 QPoint(px(240, &f), px(585, &f) + lowered));
        QCOMPARE(f.Frame1->mapTo(f.TabControl1, QPoint(0, 0)),
                 QPoint(px(240, &f), px(480, &f) + lowered));
        QVERIFY(f.Frame1->y() >= 0);
        // The command bars' band stays above the tab control.
        QVERIFY(f.StandardToolBar->geometry().bottom() < f.TabControl1->y());
        // The list's one column fills it.
        f.TabControl1->setCurrentIndex(0);
        QTRY_COMPARE(f.ListView1->columnWidth(0), f.ListView1->viewport()->width());
    }

    void layoutFollowsResize() {
        Window w;
        Form1& f = *w.form;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        const int listWidth = f.ListView1->width();
        const int buttonGap = f.PushButton2->x() - (f.Text2->x() + f.Text2->width());
        f.resize(f.width() + 100, f.height());
        QTRY_COMPARE(f.ListView1->width(), listWidth + 100);
        QCOMPARE(f.PushButton2->x() - (f.Text2->x() + f.Text2->width()), buttonGap);
        // Far too narrow: nothing gets a negative size.
        f.resize(40, f.height());
        QTRY_COMPARE(f.Text2->width(), 0);
        QVERIFY(f.ListView1->columnWidth(0) >= 0);
    }

    void minimisedWindowIsLeftAlone() {
        Window w;
        Form1& f = *w.form;
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        const QRect tab = f.TabControl1->geometry();
        f.setWindowState(Qt::WindowMinimized);
        f.ApplyLayout();
        QCOMPARE(f.TabControl1->geometry(), tab);
    }

    void hoverRule() {
        Window w;
        Form1& f = *w.form;
        f.TabControl1->setCurrentIndex(1);
        f.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f));
        moveOver(f.PushButton1);
        QCOMPARE(f.mousePointer(), MousePointer::Hand);
        moveOver(f.Text2);
        QCOMPARE(f.mousePointer(), MousePointer::Default);
        moveOver(f.PushButton2);
        QCOMPARE(f.mousePointer(), MousePointer::Hand);
        moveOver(f.Frame1);
        QCOMPARE(f.mousePointer(), MousePointer::Default);
        // The progress bar and the window's own background count as the background.
        moveOver(f.PushButton1);
        moveOver(f.ProgressBar1);
        QCOMPARE(f.mousePointer(), MousePointer::Default);
        moveOver(f.PushButton1);
        QVERIFY(!f.childAt(f.width() - 2, f.height() - 2));
        moveOver(&f, QPointF(f.width() - 2, f.height() - 2));
        QCOMPARE(f.mousePointer(), MousePointer::Default);

        // A busy window keeps its hourglass wherever the mouse goes.
        f.SetMousePointer(MousePointer::Busy);
        for (QWidget* over : {static_cast<QWidget*>(f.PushButton1),
                              static_cast<QWidget*>(f.Option1), static_cast<QWidget*>(f.Text1)}) {
            moveOver(over);
            QCOMPARE(f.mousePointer(), MousePointer::Busy);
            QCOMPARE(f.cursor().shape(), Qt::WaitCursor);
        }
        f.SetMousePointer(MousePointer::Default);
        QCOMPARE(f.cursor().shape(), Qt::ArrowCursor);
    }

    void hoverPointerFunction() {
        QCOMPARE(HoverPointer(MousePointer::Busy, true), MousePointer::Busy);
        QCOMPARE(HoverPointer(MousePointer::Busy, false), MousePointer::Busy);
        QCOMPARE(HoverPointer(MousePointer::Default, true), MousePointer::Hand);
        QCOMPARE(HoverPointer(MousePointer::Hand, false), MousePointer::Default);
    }

    void addFilesCancelChangesNothing() {
        Window w;
        w.form->ListView1->append("existing");
        w.doubles.dialogs.openFilesAnswers.enqueue({});
        w.form->AddFiles();
        QCOMPARE(w.form->ListView1->texts(), QStringList{"existing"});
        QVERIFY(w.doubles.dialogs.messages.isEmpty());
        QCOMPARE(w.doubles.dialogs.openFilesTitles,
                 QStringList{"Add File(s) - Hold Ctrl to select multiple files"});
        QCOMPARE(w.doubles.dialogs.openFilesFilters, QStringList{"GIF Files (*.gif)"});
    }

    void addFilesAppendsInOrderAfterExistingEntries() {
        QTemporaryDir dir;
        const QString a = makeFile(dir, "a.gif");
        const QString b = makeFile(dir, "b c.gif");
        const QString c = makeFile(dir, "ç\"d.gif");
        Window w;
        FileListView& list = *w.form->ListView1;
        list.append("first");
        list.append("second");
        list.selectEntry(2);
        w.doubles.dialogs.openFilesAnswers.enqueue({a});
        w.doubles.dialogs.openFilesAnswers.enqueue({c, a, b});
        w.doubles.dialogs.openFilesAnswers.enqueue({a}); // a duplicate is added again
        w.form->AddFiles();
        w.form->AddFiles();
        w.form->AddFiles();
        QCOMPARE(list.texts(), QStringList({"first", "second", a, c, a, b, a}));
        QVERIFY(w.doubles.dialogs.messages.isEmpty());
        // Adding changes neither the selection nor the current entry.
        QVERIFY(list.isEntrySelected(2));
        for (int i = 3; i <= list.count(); ++i)
            QVERIFY(!list.isEntrySelected(i));
    }

    void addFilesRefusesUnresolvableNamesAmongSeveral() {
        QTemporaryDir dir;
        const QString a = makeFile(dir, "a.gif");
        const QString gone = QDir::toNativeSeparators(dir.filePath("gone.gif"));
        const QString b = makeFile(dir, "b.gif");
        Window w;
        w.doubles.dialogs.openFilesAnswers.enqueue({a, gone, b});
        w.form->AddFiles();
        QCOMPARE(w.form->ListView1->texts(), QStringList({a, b}));
        QCOMPARE(w.doubles.dialogs.messages.size(), 1);
        const test::ShownMessage& m = w.doubles.dialogs.messages.first();
        QCOMPARE(m.text, gone + "\r\rwas not added because it has bad characters in the filename.");
        QCOMPARE(m.title, QString("Korvane"));
        QCOMPARE(m.icon, MessageIcon::None);

        // The same file chosen on its own is added without a test.
        w.doubles.dialogs.openFilesAnswers.enqueue({gone});
        w.form->AddFiles();
        QCOMPARE(w.form->ListView1->texts(), QStringList({a, b, gone}));
        QCOMPARE(w.doubles.dialogs.messages.size(), 1);
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
