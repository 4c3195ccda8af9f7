// The command table on its own: every id against a target that records what it was asked to do.
#include "commands/CommandTable.h"

#include <QList>
#include <QTest>

using namespace korvane;

namespace {

class RecordingTarget : public CommandTarget {
public:
    QList<CommandOperation> reached;
    void run(CommandOperation operation) override { reached.append(operation); }
};

} // namespace

Q_DECLARE_METATYPE(korvane::CommandOperation)

class TestCommandTable : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyIdReachesItsOperation_data() {
        QTest::addColumn<int>("id");
        QTest::addColumn<CommandOperation>("expected"); // None: nothing may be reached
        QTest::addColumn<bool>("refusedWhileConverting");
        using Op = CommandOperation;
        // The toolbar and the menu share operations under different ids.
        QTest::newRow("1000 toolbar Add Files") << 1000 << Op::AddFiles << true;
        QTest::newRow("2000 menu &Add Files") << 2000 << Op::AddFiles << true;
        QTest::newRow("1001 toolbar Add Folder") << 1001 << Op::AddFolder << true;
        QTest::newRow("2001 menu Add &Folder") << 2001 << Op::AddFolder << true;
        QTest::newRow("1003 toolbar Clear List") << 1003 << Op::ClearList << true;
        QTest::newRow("2003 menu &Clear All Files") << 2003 << Op::ClearList << true;
        QTest::newRow("1002 toolbar Start Converting") << 1002 << Op::Start << true;
        QTest::newRow("2005 menu &Start Converting") << 2005 << Op::Start << true;
        // Only in the menu.
        QTest::newRow("2002 menu &Clear Selected Files") << 2002 << Op::ClearSelected << true;
        QTest::newRow("2004 &Exit") << 2004 << Op::LeaveApplication << false;
        QTest::newRow("2007 &Additional Help") << 2007 << Op::Help << false;
        QTest::newRow("2008 &Load Sample") << 2008 << Op::LoadSample << true;
        QTest::newRow("2009 &Watch Old Demo Video") << 2009 << Op::PlayDemoVideo << false;
        QTest::newRow("2010 Quenwick &FAQ") << 2010 << Op::OpenFaqPage << false;
        QTest::newRow("2011 &Go To") << 2011 << Op::OpenHomePage << false;
        QTest::newRow("2012 &Show &Options Tab") << 2012 << Op::ShowOptionsTab << false;
        QTest::newRow("2013 Show &Files Tab") << 2013 << Op::ShowFilesTab << false;
        QTest::newRow("2014 Open &Movie") << 2014 << Op::OpenMovie << false;
        // Ids outside the table: the popups' 0, the gaps in both series, and their neighbours.
        for (int id : {0, -1, 999, 1004, 1999, 2006, 2015, 3000})
            QTest::newRow(qPrintable(QStringLiteral("unknown %1").arg(id)))
                << id << Op::None << false;
    }

    void everyIdReachesItsOperation() {
        QFETCH(int, id);
        QFETCH(CommandOperation, expected);
        QFETCH(bool, refusedWhileConverting);

        RecordingTarget idle;
        DispatchCommand(id, false, idle);
        const QList<CommandOperation> once = expected == CommandOperation::None
                                                 ? QList<CommandOperation>{}
                                                 : QList<CommandOperation>{expected};
        QCOMPARE(idle.reached, once);

        // During a run Start stops it and the list-changing commands are refused; the others
        // still work (Exit, help and tab switching must never be blocked by a long conversion).
        RecordingTarget converting;
        DispatchCommand(id, true, converting);
        const QList<CommandOperation> duringRun =
            expected == CommandOperation::Start ? QList<CommandOperation>{CommandOperation::Stop}
            : refusedWhileConverting            ? QList<CommandOperation>{}
                                                : once;
        QCOMPARE(converting.reached, duringRun);
    }

    void dispatcherKeepsNoStateBetweenCalls() {
        RecordingTarget target;
        for (int id : {2012, 0, 2013, 2012})
            DispatchCommand(id, false, target);
        QCOMPARE(target.reached, (QList<CommandOperation>{CommandOperation::ShowOptionsTab,
                                                          CommandOperation::ShowFilesTab,
                                                          CommandOperation::ShowOptionsTab}));
    }

    void goToCaptionNamesTheSiteHost_data() {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("caption");
        QTest::newRow("maker") << "https://quenwick.example"
                               << "&Go To Quenwick.example For More Apps";
        QTest::newRow("trailing slash and path") << "https://quenwick.example/apps/"
                                                 << "&Go To Quenwick.example For More Apps";
        QTest::newRow("already capitalised") << "http://Example.org"
                                             << "&Go To Example.org For More Apps";
    }

    void goToCaptionNamesTheSiteHost() {
        QFETCH(QString, address);
        QFETCH(QString, caption);
        QCOMPARE(GoToSiteCaption(address), caption);
    }
};

QTEST_APPLESS_MAIN(TestCommandTable)
#include "tst_commandtable.moc"
