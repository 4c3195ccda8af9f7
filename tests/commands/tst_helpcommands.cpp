// The Help menu's operations and the player button on real folders, through the seams' doubles.
#include "Doubles.h"
#include "app/Form1.h"
#include "filelist/FileListView.h"
#include "util/Constants.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <stdexcept>

using namespace korvane;
using korvane::test::Doubles;

namespace {

const QString kQuestion = QStringLiteral(
    "Would you like this software to open the folder where these sample files are stored (so "
    "that you can view them before working with them)?");

void touch(const QString& path) {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write("x");
}

QString native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

class ThrowingShell : public Shell {
public:
    int calls = 0;
    void open(const QString&) override {
        ++calls;
        throw std::runtime_error("No application is associated with the address");
    }
};

} // namespace

class TestHelpCommands : public QObject {
    Q_OBJECT
    QTemporaryDir settingsDir_;

private Q_SLOTS:
    void initTestCase() {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(settingsDir_.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir_.path());
    }

    void helpNamesTheContactPage() {
        Doubles d;
        Form1 w({d.dialogs, d.shell, d.runner, d.chance, QStringLiteral("/nowhere")});
        w.Help();
        QCOMPARE(d.dialogs.messages.size(), 1);
        const auto& shown = d.dialogs.messages.first();
        const QString lead = QStringLiteral("Questions? Please contact Team Quenwick at ");
        QVERIFY(shown.text.startsWith(lead));
        QCOMPARE(shown.text.mid(lead.size()), kContactPage);
        QCOMPARE(kContactPage, QStringLiteral("https://quenwick.example/contact/"));
        QCOMPARE(shown.title, QStringLiteral("Korvane"));
        QCOMPARE(shown.icon, MessageIcon::None);
        QVERIFY(d.shell.opened.isEmpty()); // shown as text, never opened
    }

    void loadSampleAddsEveryFileAndAsks_data() {
        QTest::addColumn<int>("times");
        QTest::addColumn<bool>("answer");
        QTest::newRow("once, No") << 1 << false;
        QTest::newRow("once, Yes") << 1 << true;
        QTest::newRow("twice, No both times") << 2 << false;
    }

    void loadSampleAddsEveryFileAndAsks() {
        QFETCH(int, times);
        QFETCH(bool, answer);
        QTemporaryDir app;
        const QString samples = app.path() + QStringLiteral("/Samples");
        QVERIFY(QDir().mkpath(samples + QStringLiteral("/sub")));
        for (const char* name : {"a.gif", "b.gif", "notes.txt", ".hidden"})
            touch(samples + QLatin1Char('/') + QLatin1String(name));
        touch(samples + QStringLiteral("/sub/inner.gif")); // subfolders are not searched

        Doubles d;
        const QString appFolder = native(app.path());
        Form1 w({d.dialogs, d.shell, d.runner, d.chance, appFolder});
        w.ListView1->append(QStringLiteral("/earlier/first.gif"));
        for (int i = 0; i < times; ++i)
            d.dialogs.yesNoAnswers.enqueue(answer);
        for (int i = 0; i < times; ++i)
            w.LoadSample();

        QStringList once; // in the order a file manager shows them
        for (const char* name : {".hidden", "a.gif", "b.gif", "notes.txt"})
            once << native(samples + QLatin1Char('/') + QLatin1String(name));
        QStringList expected{QStringLiteral("/earlier/first.gif")};
        for (int i = 0; i < times; ++i)
            expected += once;
        QCOMPARE(w.ListView1->texts(), expected); // No keeps them too
        QCOMPARE(d.dialogs.questions, QStringList(times, kQuestion));
        QVERIFY(d.dialogs.unexpected.isEmpty());
        const QString samplesFolder = native(samples) + QDir::separator();
        QCOMPARE(d.shell.opened, answer ? QStringList{samplesFolder} : QStringList{});
    }

    void loadSampleAsksEvenWhenNothingIsAdded_data() {
        QTest::addColumn<bool>("folderExists");
        QTest::newRow("empty Samples") << true;
        QTest::newRow("missing Samples") << false;
    }

    void loadSampleAsksEvenWhenNothingIsAdded() {
        QFETCH(bool, folderExists);
        QTemporaryDir app;
        if (folderExists)
            QVERIFY(QDir(app.path()).mkdir(QStringLiteral("Samples")));
        Doubles d;
        Form1 w({d.dialogs, d.shell, d.runner, d.chance, native(app.path())});
        d.dialogs.yesNoAnswers.enqueue(true);
        w.LoadSample();
        QCOMPARE(w.ListView1->count(), 0);
        QCOMPARE(d.dialogs.questions, QStringList{kQuestion});
        QCOMPARE(d.shell.opened, QStringList{native(app.path() + QStringLiteral("/Samples/"))});
    }

    void demoVideoOpensTheFirstNormalFile_data() {
        QTest::addColumn<QStringList>("files"); // names created in Video; empty: no folder
        QTest::addColumn<bool>("makeFolder");
        QTest::addColumn<QString>("opened"); // relative to Video/, "" for the folder itself
        QTest::newRow("one video") << QStringList{"demo.webm"} << true << "demo.webm";
        QTest::newRow("hidden file is never opened")
            << QStringList{".secret.webm", "demo.webm"} << true << "demo.webm";
        QTest::newRow("only a hidden file") << QStringList{".secret.webm"} << true << "";
        QTest::newRow("only a subfolder") << QStringList{"clips/"} << true << "";
        QTest::newRow("empty folder") << QStringList{} << true << "";
        QTest::newRow("missing folder") << QStringList{} << false << "";
    }

    void demoVideoOpensTheFirstNormalFile() {
        QFETCH(QStringList, files);
        QFETCH(bool, makeFolder);
        QFETCH(QString, opened);
        QTemporaryDir app;
        const QString video = app.path() + QStringLiteral("/Video/");
        if (makeFolder)
            QVERIFY(QDir().mkpath(video));
        for (const QString& name : files) {
            if (name.endsWith(QLatin1Char('/')))
                QVERIFY(QDir().mkpath(video + name));
            else
                touch(video + name);
        }
        Doubles d;
        Form1 w({d.dialogs, d.shell, d.runner, d.chance, native(app.path())});
        w.PlayDemoVideo();
        QCOMPARE(d.shell.opened, QStringList{native(video + opened)});
        QVERIFY(d.dialogs.messages.isEmpty());
    }

    void webPagesOpenThroughTheShell() {
        Doubles d;
        Form1 w({d.dialogs, d.shell, d.runner, d.chance, QStringLiteral("/nowhere")});
        w.OpenFaqPage();
        w.OpenHomePage();
        QCOMPARE(d.shell.opened,
                 (QStringList{"https://quenwick.example/question/", "https://quenwick.example/"}));
    }

    void playerButtonOpensTheSearch() {
        Doubles d;
        Form1 w({d.dialogs, d.shell, d.runner, d.chance, QStringLiteral("/nowhere")});
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTest::mouseClick(w.PushButton1, Qt::LeftButton);
        QCOMPARE(d.shell.opened,
                 QStringList{"https://www.google.com/search?as_q=flash+movie+player+1.5"});
        QVERIFY(d.dialogs.messages.isEmpty());
    }

    void playerButtonReportsAFailedOpen() {
        Doubles d;
        ThrowingShell shell;
        Form1 w({d.dialogs, shell, d.runner, d.chance, QStringLiteral("/nowhere")});
        w.PushButton1_Click();
        QCOMPARE(shell.calls, 1);
        QCOMPARE(d.dialogs.messages.size(), 1);
        const auto& report = d.dialogs.messages.first();
        QCOMPARE(report.title, QStringLiteral("Application Error"));
        QCOMPARE(report.icon, MessageIcon::Exclamation);
        QCOMPARE(report.text,
                 QStringLiteral("No application is associated with the address\r\n"
                                "in Korvane7/29/2014.Form1.PushButton1_Click at line 102\r\r"
                                "Please email screenshot of this message to "
                                "support@quenwick.example"));
    }
};

QTEST_MAIN(TestHelpCommands)
#include "tst_helpcommands.moc"
