// The menu bar and the toolbar read back from the built widgets, and commands chosen on them
// reaching the window's operations through the seams' doubles.
#include "Doubles.h"
#include "app/Form1.h"
#include "app/Settings.h"
#include "app/TabControl.h"
#include "commands/CommandBars.h"
#include "filelist/FileListView.h"
#include "util/Constants.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QStandardPaths>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

using namespace korvane;
using korvane::test::Doubles;

namespace {

// One line per control: "-" for a separator, otherwise "caption|id".
QStringList describe(const QList<QAction*>& actions) {
    QStringList lines;
    for (const QAction* action : actions)
        lines.append(action->isSeparator()
                         ? QStringLiteral("-")
                         : action->text() + QLatin1Char('|') + action->data().toString());
    return lines;
}

QAction* actionWithId(Form1& w, int id) {
    QList<QAction*> actions = w.StandardToolBar->actions();
    actions += w.MenuBar->findChildren<QAction*>();
    for (QAction* action : actions)
        if (!action->isSeparator() && !action->menu() && action->data().toInt() == id)
            return action;
    return nullptr;
}

QString storedTab() {
    return GetSetting(kSettingsOrganization, kSettingsSection, QStringLiteral("TabControl1"),
                      QStringLiteral("absent"));
}

// Everything a command can visibly do through the doubles and the window, in one line.
QString observe(const Doubles& d, const Form1& w, int startTab) {
    QStringList seen;
    for (const auto& m : d.dialogs.messages)
        seen << QStringLiteral("message:") + m.text;
    const auto count = [&seen](qsizetype times, const QString& what) {
        for (qsizetype i = 0; i < times; ++i)
            seen << what;
    };
    count(d.dialogs.questions.size(), QStringLiteral("question"));
    count(d.dialogs.inputPrompts.size(), QStringLiteral("inputBox"));
    count(d.dialogs.openFilesTitles.size(), QStringLiteral("openFiles"));
    count(d.dialogs.folderTitles.size(), QStringLiteral("browseForFolder"));
    for (const QString& target : d.shell.opened)
        seen << QStringLiteral("shell:") + target;
    if (w.TabControl1->currentIndex() != startTab)
        seen << QStringLiteral("tab:%1").arg(w.TabControl1->currentIndex());
    if (!w.isVisible())
        seen << QStringLiteral("closed");
    return seen.join(QLatin1Char(' '));
}

// A window with its command bars built, as start-up leaves it.
struct BuiltWindow {
    Doubles d;
    Form1 w;
    explicit BuiltWindow(const QString& appFolder)
        : w({d.dialogs, d.shell, d.runner, d.chance, appFolder}) {
        w.CreateToolbar();
        w.CreateMenu();
    }
    bool show() {
        w.show();
        return QTest::qWaitForWindowExposed(&w);
    }
};

} // namespace

class TestCommandBars : public QObject {
    Q_OBJECT
    QTemporaryDir settingsDir_;
    QTemporaryDir appDir_;

    QString appFolder() const { return QDir::toNativeSeparators(appDir_.path()); }

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(settingsDir_.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir_.path());
    }

    void menusHoldEveryEntryInOrder() {
        BuiltWindow built(appFolder());
        Form1& w = built.w;

        const QList<QAction*> popups = w.MenuBar->actions();
        QCOMPARE(describe(popups), (QStringList{"&File|0", "&Options|0", "&Help|0"}));
        QCOMPARE(
            describe(popups[0]->menu()->actions()),
            (QStringList{"&Add Files|2000", "Add &Folder|2001", "-", "Open &Movie|2014", "-",
                         "&Clear Selected Files|2002", "&Clear All Files|2003", "-",
                         "&Start Converting|2005", "-", "&Exit|2004"}));
        QCOMPARE(describe(popups[1]->menu()->actions()),
                 (QStringList{"&Show &Options Tab|2012", "Show &Files Tab|2013"}));
        QCOMPARE(describe(popups[2]->menu()->actions()),
                 (QStringList{"&Load Sample/Example Files To Test With|2008", "Quenwick &FAQ|2010",
                              "&Watch Old Demo Video|2009", "&Additional Help|2007",
                              "&Go To Quenwick.example For More Apps|2011"}));

        for (QAction* popup : popups) {
            const QMenu* menu = popup->menu();
            QCOMPARE(menu->font().family(), QStringLiteral("Calibri"));
            QCOMPARE(menu->font().pointSize(), 11);
            // The size every menu icon is drawn at.
            QCOMPARE(menu->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, menu), 16);
            for (const QAction* entry : menu->actions()) {
                QVERIFY(entry->isEnabled());
                QVERIFY(entry->isVisible());
            }
        }
        QCOMPARE(w.MenuBar->font().family(), QStringLiteral("Calibri"));
        QCOMPARE(w.MenuBar->font().pointSize(), 11);
    }

    void toolbarHasFourWideButtons() {
        BuiltWindow built(appFolder());
        QVERIFY(built.show());
        Form1& w = built.w;

        QToolBar* bar = w.StandardToolBar;
        QCOMPARE(bar->windowTitle(), QStringLiteral("Standard"));
        QCOMPARE(describe(bar->actions()),
                 (QStringList{"Add Files|1000", "Add Folder|1001", "Clear List|1003",
                              "Start Converting|1002"}));
        QCOMPARE(bar->iconSize(), QSize(48, 48));
        QCOMPARE(bar->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
        QCOMPARE(bar->font().family(), QStringLiteral("Calibri"));
        QCOMPARE(bar->font().pointSize(), 11);
        const QList<int> widths{100, 100, 100, 120};
        for (int i = 0; i < 4; ++i) {
            QWidget* button = bar->widgetForAction(bar->actions()[i]);
            QVERIFY(button->isVisible());
            QCOMPARE(button->width(), widths[i]);
            QCOMPARE(button->font().family(), QStringLiteral("Calibri"));
        }
        // The bars sit above the tab control, which the layout places below them.
        QVERIFY(w.MenuBar->geometry().bottom() < bar->geometry().top() + 1);
        QVERIFY(bar->geometry().bottom() < w.TabControl1->geometry().top());
    }

    void iconsComeFromTheArtwork_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("size");
        for (int id : {1000, 1001, 1002, 1003})
            QTest::newRow(qPrintable(QString::number(id))) << id << 48;
        for (int id :
             {2000, 2001, 2002, 2003, 2004, 2005, 2007, 2008, 2009, 2010, 2011, 2012, 2013})
            QTest::newRow(qPrintable(QString::number(id))) << id << 16;
    }

    void iconsComeFromTheArtwork() {
        QFETCH(int, id);
        QFETCH(int, size);
        if (!QFile::exists(QStringLiteral(":/icons/%1.svg").arg(id)))
            QSKIP("the icon artwork is not linked into this build");
        BuiltWindow built(appFolder());
        Form1& w = built.w;
        QAction* action = actionWithId(w, id);
        QVERIFY(action);
        QVERIFY(!action->icon().isNull());
        const QImage image = action->icon().pixmap(QSize(size, size)).toImage();
        QCOMPARE(image.size(), QSize(size, size));
        // Drawn, not blank: some pixel is opaque.
        bool opaque = false;
        for (int y = 0; y < size && !opaque; ++y)
            for (int x = 0; x < size && !opaque; ++x)
                opaque = qAlpha(image.pixel(x, y)) > 0;
        QVERIFY(opaque);
    }

    // Each command, chosen on the bars and through the dispatcher directly, reaches the same
    // operation. Ids whose operations live elsewhere are covered by the command table's test.
    void commandsReachTheirOperations_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("startTab");
        QTest::addColumn<QString>("expected");
        const QString video =
            appFolder() + QDir::separator() + QStringLiteral("Video") + QDir::separator();
        QTest::newRow("1000 toolbar Add Files") << 1000 << 0 << "openFiles";
        QTest::newRow("2000 menu &Add Files") << 2000 << 0 << "openFiles";
        QTest::newRow("2007 &Additional Help") << 2007 << 0
                                               << "message:Questions? Please contact Team Quenwick "
                                                  "at https://quenwick.example/contact/";
        QTest::newRow("2008 &Load Sample") << 2008 << 0 << "question";
        QTest::newRow("2009 demo video") << 2009 << 0 << "shell:" + video;
        QTest::newRow("2010 FAQ") << 2010 << 0 << "shell:https://quenwick.example/question/";
        QTest::newRow("2011 home page") << 2011 << 0 << "shell:https://quenwick.example/";
        QTest::newRow("2012 options tab") << 2012 << 0 << "tab:1";
        QTest::newRow("2012 options tab already showing") << 2012 << 1 << "";
        QTest::newRow("2013 files tab") << 2013 << 1 << "tab:0";
        QTest::newRow("2013 files tab already showing") << 2013 << 0 << "";
        QTest::newRow("2004 exit") << 2004 << 0 << "closed";
    }

    void commandsReachTheirOperations() {
        QFETCH(int, id);
        QFETCH(int, startTab);
        QFETCH(QString, expected);
        for (const bool fromBars : {true, false}) {
            BuiltWindow built(appFolder());
            Form1& w = built.w;
            w.TabControl1->setCurrentIndex(startTab);
            QVERIFY(built.show());
            if (fromBars) {
                QAction* action = actionWithId(w, id);
                QVERIFY(action);
                action->trigger();
            } else {
                w.CommandBars_Execute(id);
            }
            QCOMPARE(observe(built.d, w, startTab), expected);
        }
    }

    // The keys reach their commands from the list and from the delay box; the toolbar's tooltips
    // and the menu entries show them.
    void keyboardShortcuts_data() {
        QTest::addColumn<QKeyCombination>("keys");
        QTest::addColumn<int>("toolbarId");
        QTest::addColumn<QString>("tooltip");
        QTest::addColumn<QString>("expected");
        QTest::newRow("Ctrl+O") << QKeyCombination(Qt::ControlModifier, Qt::Key_O) << 1000
                                << "Add Files (Ctrl+O)"
                                << "openFiles";
        QTest::newRow("Ctrl+Shift+O")
            << QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_O) << 1001
            << "Add Folder (Ctrl+Shift+O)"
            << "inputBox";
        QTest::newRow("Ctrl+Return") << QKeyCombination(Qt::ControlModifier, Qt::Key_Return) << 1002
                                     << "Start Converting (Ctrl+Return)"
                                     << "message:No files added.";
    }

    void keyboardShortcuts() {
        QFETCH(QKeyCombination, keys);
        QFETCH(int, toolbarId);
        QFETCH(QString, tooltip);
        QFETCH(QString, expected);
        for (const bool inDelayBox : {false, true}) {
            BuiltWindow built(appFolder());
            Form1& w = built.w;
            w.TabControl1->setCurrentIndex(inDelayBox ? 1 : 0);
            QVERIFY(built.show());
            w.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&w));
            QWidget* focus = inDelayBox ? static_cast<QWidget*>(w.Text1) : w.ListView1;
            focus->setFocus();
            QTRY_VERIFY(focus->hasFocus());
            QTest::keyClick(focus, keys.key(), keys.keyboardModifiers());
            QCOMPARE(observe(built.d, w, w.TabControl1->currentIndex()), expected);
            QCOMPARE(actionWithId(w, toolbarId)->toolTip(), tooltip);
        }
        // Shown beside the menu entry.
        BuiltWindow built(appFolder());
        const int menuId = toolbarId == 1002 ? 2005 : toolbarId + 1000;
        QCOMPARE(actionWithId(built.w, menuId)->shortcut(), QKeySequence(keys));
    }

    void popupsAndUnknownIdsDoNothing() {
        BuiltWindow built(appFolder());
        Form1& w = built.w;
        w.ListView1->append(QStringLiteral("/x/a.gif"));
        QVERIFY(built.show());
        for (QAction* popup : w.MenuBar->actions())
            popup->trigger();
        for (int id : {0, 1004, 2006, 2015})
            w.CommandBars_Execute(id);
        QCOMPARE(observe(built.d, w, 0), QString());
        QCOMPARE(w.ListView1->texts(), QStringList{"/x/a.gif"});
    }

    void selectedTabIsStored() {
        BuiltWindow built(appFolder());
        QVERIFY(built.show());
        Form1& w = built.w;
        QVERIFY(SaveSetting(kSettingsOrganization, kSettingsSection, QStringLiteral("TabControl1"),
                            QStringLiteral("0")));

        actionWithId(w, 2012)->trigger(); // "&Show &Options Tab"
        QCOMPARE(w.TabControl1->currentIndex(), 1);
        QCOMPARE(storedTab(), QStringLiteral("1"));

        // A click on a tab is stored the same way.
        QTabBar* tabs = w.TabControl1->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
        QCOMPARE(w.TabControl1->currentIndex(), 0);
        QCOMPARE(storedTab(), QStringLiteral("0"));

        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
        QCOMPARE(storedTab(), QStringLiteral("1"));
        actionWithId(w, 2013)->trigger();
        QCOMPARE(storedTab(), QStringLiteral("0"));
    }

    void runDisablesListCommandsUntilItEnds() {
        BuiltWindow built(appFolder());
        Form1& w = built.w;
        const QList<int> refused{1000, 1001, 1003, 2000, 2001, 2002, 2003, 2008};
        const QList<int> allowed{1002, 2004, 2005, 2007, 2009, 2010, 2011, 2012, 2013, 2014};
        QAction* start = actionWithId(w, 1002);
        const QString startTip = start->toolTip();
        const auto image = [](const QIcon& icon) { return icon.pixmap(48).toImage(); };

        Q_EMIT w.conversionRunningChanged(true);
        for (int id : refused)
            QVERIFY2(!actionWithId(w, id)->isEnabled(), qPrintable(QString::number(id)));
        for (int id : allowed)
            QVERIFY2(actionWithId(w, id)->isEnabled(), qPrintable(QString::number(id)));
        // Start turns into Stop, with its own icon and tooltip.
        QCOMPARE(start->text(), QStringLiteral("Stop Converting"));
        QCOMPARE(actionWithId(w, 2005)->text(), QStringLiteral("&Stop Converting"));
        QVERIFY(!StopConvertingIcon().isNull());
        QCOMPARE(image(start->icon()), image(StopConvertingIcon()));
        QVERIFY(image(start->icon()) != image(CommandIcon(1002)));
        QVERIFY(start->toolTip() != startTip && start->toolTip().contains(QStringLiteral("Esc")));
        // A disabled action cannot be chosen.
        actionWithId(w, 1000)->trigger();
        QVERIFY(built.d.dialogs.openFilesTitles.isEmpty());

        Q_EMIT w.conversionRunningChanged(false);
        for (int id : refused + allowed)
            QVERIFY2(actionWithId(w, id)->isEnabled(), qPrintable(QString::number(id)));
        QCOMPARE(start->text(), QStringLiteral("Start Converting"));
        QCOMPARE(actionWithId(w, 2005)->text(), QStringLiteral("&Start Converting"));
        QCOMPARE(start->toolTip(), startTip);
        QCOMPARE(image(start->icon()), image(CommandIcon(1002)));
        actionWithId(w, 1000)->trigger();
        QCOMPARE(built.d.dialogs.openFilesTitles.size(), 1);
    }
};

QTEST_MAIN(TestCommandBars)
#include "tst_commandbars.moc"
