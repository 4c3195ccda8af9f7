// The controls of the "Conversion Options" tab, driven like a user drives them, on a private
// settings store.
#include "AppTestSupport.h"
#include "Doubles.h"

#include "app/Form1.h"
#include "app/TabControl.h"
#include "conversion/ErrorReport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
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

    // The window loaded and shown on its options tab, with the focus in the delay box when it
    // takes one.
    void openOptions(Dialogs& dialogs) {
        w_ = std::make_unique<Form1>(
            Form1Services{dialogs, d_.shell, d_.runner, d_.chance, appFolder_.path()});
        w_->Form_Load();
        w_->TabControl1->setCurrentIndex(1);
        w_->show();
        w_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w_.get()));
        if (!w_->Text1->isEnabled()) // each GIF's own timing: no delay to type
            return;
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

    // What the user sets is stored at once and shown again by the next window; a cancelled
    // colour dialog changes nothing.
    void movieOptionsAreRemembered() {
        retype(w_->Text3, QStringLiteral("clip"));
        QTest::mouseClick(w_->Check1, Qt::LeftButton);
        QVERIFY(!w_->Text1->isEnabled());
        QTest::keyClick(w_->Combo1, Qt::Key_End); // "N times"
        QVERIFY(w_->Spin1->isEnabled());
        w_->Spin1->setValue(4);
        w_->Spin2->setValue(200);
        d_.dialogs.colourAnswers << std::nullopt << QColor(0x33, 0x66, 0x99);
        QTest::mouseClick(w_->PushButton3, Qt::LeftButton);
        QCOMPARE(stored(QStringLiteral("Background")), kAbsent);
        QTest::mouseClick(w_->PushButton3, Qt::LeftButton);
        QCOMPARE(d_.dialogs.colourInitials, (QList<QColor>{Qt::white, Qt::white}));
        const QStringList keys = {"MovieName", "OwnTiming", "Plays", "Scale", "Background"};
        QStringList values;
        for (const QString& key : keys)
            values << stored(key);
        QCOMPARE(values, (QStringList{"clip", "True", "4", "200", "336699"}));

        openOptions(d_.dialogs);
        const MovieOptions shown = w_->movieOptions();
        QCOMPARE(shown.movieName, QStringLiteral("clip"));
        QVERIFY(shown.ownTiming && !w_->Text1->isEnabled());
        QCOMPARE(shown.plays, 4);
        QCOMPARE(shown.scalePercent, 200);
        QCOMPARE(shown.background, QColor(0x33, 0x66, 0x99));
        QCOMPARE(w_->PushButton3->text(), QStringLiteral("336699"));
        QVERIFY(d_.dialogs.messages.isEmpty());
    }

    void damagedMovieOptionGivesItsDefault_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("plays, words") << "Plays"
                                      << "lots";
        QTest::newRow("plays, too many") << "Plays"
                                         << "70000";
        QTest::newRow("scale, too small") << "Scale"
                                          << "5";
        QTest::newRow("scale, fraction") << "Scale"
                                         << "150.5";
        QTest::newRow("background, with #") << "Background"
                                            << "#336699";
        QTest::newRow("background, a name") << "Background"
                                            << "navy";
        QTest::newRow("own timing") << "OwnTiming"
                                    << "maybe";
    }

    void damagedMovieOptionGivesItsDefault() {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QVERIFY(store(key, value));
        openOptions(d_.dialogs);
        const MovieOptions shown = w_->movieOptions();
        QCOMPARE(shown.movieName, kManyToOneMovieName);
        QVERIFY(!shown.ownTiming && w_->Text1->isEnabled());
        QCOMPARE(shown.plays, kPlaysForEver);
        QCOMPARE(shown.scalePercent, kNormalScale);
        QCOMPARE(shown.background, kDefaultBackground);
        QVERIFY(d_.dialogs.messages.isEmpty());
    }

    // "Plays:" shows each mode's default until the user chooses; the choice then stays.
    void playsFollowsTheModeUntilChosen() {
        QCOMPARE(w_->Combo1->currentText(), QStringLiteral("Loop for ever"));
        QTest::mouseClick(w_->Option2, Qt::LeftButton);
        QCOMPARE(w_->Combo1->currentText(), QStringLiteral("As the GIF says"));
        QCOMPARE(stored(QStringLiteral("Plays")), kAbsent);
        QTest::keyClick(w_->Combo1, Qt::Key_Down);
        QTest::keyClick(w_->Combo1, Qt::Key_Down);
        QCOMPARE(w_->Combo1->currentText(), QStringLiteral("Once"));
        QVERIFY(!w_->Spin1->isEnabled());
        QCOMPARE(stored(QStringLiteral("Plays")), QStringLiteral("1"));
        QTest::mouseClick(w_->Option1, Qt::LeftButton);
        QCOMPARE(w_->movieOptions().plays, kPlaysOnce);
    }

    void movieControlsAreNamedByTheirLabels() {
        const QList<std::pair<QWidget*, QString>> controls = {
            {w_->Text3, "Movie name:"}, {w_->Check1, "Use each GIF's own timing"},
            {w_->Combo1, "Plays:"},     {w_->Spin1, "N times"},
            {w_->Spin2, "Size (%):"},   {w_->PushButton3, "Background colour:"}};
        for (const auto& [control, name] : controls) {
            QCOMPARE(control->accessibleName(), name);
            // Wholly on the options page.
            QWidget* page = w_->TabControl1->widget(1);
            const QRect shown(control->mapTo(page, QPoint()), control->size());
            QVERIFY2(page->rect().contains(shown), qPrintable(name));
        }
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
