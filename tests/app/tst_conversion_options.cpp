// The controls of the "Conversion Options" tab, driven like a user drives them, on a private
// settings store.
#include "AppTestSupport.h"
#include "Doubles.h"

#include "app/Form1.h"
#include "app/TabControl.h"
#include "conversion/ErrorReport.h"

#include <QApplication>
#include <QDir>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include <memory>
#include <stdexcept>

using namespace korvane;
using namespace korvane::test;

namespace {

// A folder browser that fails, as a broken shell component would.
class FailingFolderDialogs : public ScriptedDialogs {
public:
    QString browseForFolder(QWidget*, const QString&) override {
        throw std::runtime_error("Permission denied");
    }
};

} // namespace

class ConversionOptionsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<PrivateSettings> settings_;
    QTemporaryDir appFolder_;
    Doubles d_;
    std::unique_ptr<Form1> w_;

    // The window loaded and shown on its options tab, with the focus in the delay box.
    void openOptions(Dialogs& dialogs) {
        w_ = std::make_unique<Form1>(
            Form1Services{dialogs, d_.shell, d_.runner, d_.chance, appFolder_.path()});
        w_->Form_Load();
        w_->TabControl1->setCurrentIndex(1);
        w_->show();
        w_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w_.get()));
        w_->Text1->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(w_->Text1->hasFocus());
    }

    void retype(QLineEdit* box, const QString& text) {
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, text);
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void init() {
        settings_ = std::make_unique<PrivateSettings>();
        d_ = {};
        openOptions(d_.dialogs);
    }

    void cleanup() {
        w_.reset();
        settings_.reset();
    }

    void modeClickStoresBothKeys() {
        QTest::mouseClick(w_->Option2, Qt::LeftButton);
        QVERIFY(w_->Option2->isChecked());
        QCOMPARE(stored(QStringLiteral("Option1")), QStringLiteral("False"));
        QCOMPARE(stored(QStringLiteral("Option2")), QStringLiteral("True"));

        QTest::mouseClick(w_->Option1, Qt::LeftButton);
        QVERIFY(w_->Option1->isChecked());
        QCOMPARE(stored(QStringLiteral("Option1")), QStringLiteral("True"));
        QCOMPARE(stored(QStringLiteral("Option2")), QStringLiteral("False"));
    }

    void everyKeystrokeIsStored_data() {
        QTest::addColumn<QString>("boxName");
        QTest::addColumn<QString>("key");
        QTest::newRow("delay") << "Text1"
                               << "Delay";
        QTest::newRow("output folder") << "Text2"
                                       << "Text2";
    }

    void everyKeystrokeIsStored() {
        QFETCH(QString, boxName);
        QFETCH(QString, key);
        auto* box = w_->findChild<QLineEdit*>(boxName);
        QVERIFY(box);
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QCOMPARE(stored(key), QString());
        QStringList seen;
        for (const QChar c : QStringLiteral("2.5")) {
            QTest::keyClick(box, c.toLatin1());
            seen.append(stored(key));
        }
        QCOMPARE(seen, (QStringList{"2", "2.", "2.5"}));
    }

    void delayCheckWhenFocusLeaves_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("complains");
        QTest::newRow("decimal") << "2.5" << false;
        QTest::newRow("signed with exponent") << " -1000.5e-2 " << false;
        QTest::newRow("letters") << "abc" << true;
        QTest::newRow("empty") << "" << true;
        QTest::newRow("trailing letter") << "2x" << true;
    }

    // The focus goes where the user sends it (Tab), the check runs once it has arrived, and a
    // bad delay brings the focus back with the text as typed, already stored.
    void delayCheckWhenFocusLeaves() {
        QFETCH(QString, text);
        QFETCH(bool, complains);
        retype(w_->Text1, text);
        bool focusElsewhereAtMessage = false;
        d_.dialogs.onMessage = [&](const ShownMessage&) {
            focusElsewhereAtMessage = w_->Text2->hasFocus();
        };

        QTest::keyClick(w_->Text1, Qt::Key_Tab);
        QVERIFY(w_->Text2->hasFocus() || complains);
        QTest::qWait(50);

        if (complains) {
            QCOMPARE(d_.dialogs.messages.size(), 1);
            QCOMPARE(d_.dialogs.messages[0].text, QStringLiteral("Must be numeric entry."));
            QCOMPARE(d_.dialogs.messages[0].icon, MessageIcon::Exclamation);
            QCOMPARE(d_.dialogs.messages[0].title, QStringLiteral("Korvane"));
            QVERIFY(focusElsewhereAtMessage);
            QTRY_VERIFY(w_->Text1->hasFocus());
        } else {
            QVERIFY(d_.dialogs.messages.isEmpty());
            QVERIFY(w_->Text2->hasFocus());
        }
        QCOMPARE(w_->Text1->text(), text);
        QCOMPARE(stored(QStringLiteral("Delay")), text);
    }

    // A window that loses its activation (a message box opening over it) is not the user
    // leaving the delay box: a warning shown while typing there brings no second message.
    void noDelayCheckWhenWindowIsDeactivated() {
        const QString organisationFolder = settings_->path() + QStringLiteral("/Quenwick");
        QVERIFY(QDir(organisationFolder).removeRecursively());
        QVERIFY(WriteFile(organisationFolder, "not a folder"));
        d_.dialogs.onMessage = [&](const ShownMessage&) {
            QFocusEvent deactivated(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
            QApplication::sendEvent(w_->Text1, &deactivated);
        };
        retype(w_->Text1, QStringLiteral("abc"));
        QTest::qWait(50);
        QCOMPARE(d_.dialogs.messages.size(), 1);
        QVERIFY(d_.dialogs.messages[0].text != QStringLiteral("Must be numeric entry."));
        QCOMPARE(w_->Text1->text(), QStringLiteral("abc"));
    }

    void browseForOutputFolder_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("expected"); // empty: nothing changes
        QTest::newRow("folder") << "/data/Out"
                                << "/data/Out/";
        QTest::newRow("folder with separator") << "/data/Out/"
                                               << "/data/Out/";
        QTest::newRow("root") << "/"
                              << "/";
        QTest::newRow("cancelled") << ""
                                   << "";
    }

    void browseForOutputFolder() {
        QFETCH(QString, chosen);
        QFETCH(QString, expected);
        const QString before = w_->Text2->text();
        QVERIFY(store(QStringLiteral("Text2"), QStringLiteral("untouched")));
        d_.dialogs.folderAnswers.enqueue(QDir::toNativeSeparators(chosen));

        QTest::mouseClick(w_->PushButton2, Qt::LeftButton);
        QCOMPARE(d_.dialogs.folderTitles, QStringList{QStringLiteral("Please select folder:")});
        if (expected.isEmpty()) {
            QCOMPARE(w_->Text2->text(), before);
            QCOMPARE(stored(QStringLiteral("Text2")), QStringLiteral("untouched"));
        } else {
            QCOMPARE(w_->Text2->text(), QDir::toNativeSeparators(expected));
            QCOMPARE(stored(QStringLiteral("Text2")), QDir::toNativeSeparators(expected));
        }
        QVERIFY(d_.dialogs.messages.isEmpty());
    }

    // A failing step is reported with its number, and the operation goes on: here the next
    // step finds no folder and ends it.
    void browseStepFailureIsReported() {
        FailingFolderDialogs failing;
        openOptions(failing);
        const QString before = w_->Text2->text();
        w_->PushButton2_Click();
        QCOMPARE(failing.messages.size(), 1);
        QCOMPARE(failing.messages[0].title, QStringLiteral("Application Error"));
        QCOMPARE(failing.messages[0].icon, MessageIcon::Exclamation);
        QCOMPARE(failing.messages[0].text,
                 ErrorReportText(QStringLiteral("Permission denied"), kPushButton2Location, 100));
        QCOMPARE(w_->Text2->text(), before);
    }
};

QTEST_MAIN(ConversionOptionsTest)
#include "tst_conversion_options.moc"
