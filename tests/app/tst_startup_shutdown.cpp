// Start-up of the main window in its fixed order, and its shutdown, on a private settings store
// and a temporary application folder.
#include "AppTestSupport.h"
#include "Doubles.h"

#include "app/Form1.h"
#include "app/StartupSteps.h"
#include "app/TabControl.h"
#include "filelist/FileListView.h"
#include "util/PathHelpers.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

using namespace korvane;
using namespace korvane::test;

using StoredValues = QMap<QString, QString>;

namespace {

// Runs a callback whenever the window is asked to open something, so a test can look at how
// far start-up had come at that moment.
class ProbingShell : public RecordingShell {
public:
    std::function<void()> onOpen;
    void open(const QString& target) override {
        RecordingShell::open(target);
        if (onOpen)
            onOpen();
    }
};

// Calls back on the first style change of the window: the skin being applied.
class SkinProbe : public QObject {
public:
    explicit SkinProbe(std::function<void()> onSkin) : onSkin_(std::move(onSkin)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::StyleChange && onSkin_) {
            onSkin_();
            onSkin_ = nullptr;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> onSkin_;
};

QColor background(const QWidget* widget) {
    return widget->palette().color(QPalette::Window);
}

} // namespace

class StartupShutdownTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<PrivateSettings> settings_;
    std::unique_ptr<QTemporaryDir> appFolder_;
    Doubles d_;
    ProbingShell shell_;

    std::unique_ptr<Form1> makeWindow() {
        return std::make_unique<Form1>(
            Form1Services{d_.dialogs, shell_, d_.runner, d_.chance, appFolder_->path()});
    }

    QString appFile(const QString& relative) const {
        return QDir::toNativeSeparators(appFolder_->path() + QLatin1Char('/') + relative);
    }

private Q_SLOTS:
    void init() {
        settings_ = std::make_unique<PrivateSettings>();
        appFolder_ = std::make_unique<QTemporaryDir>();
        d_ = {};
        d_.dialogs.onMessage = nullptr;
        shell_.opened.clear();
        shell_.onOpen = nullptr;
        d_.chance.values = {0.5};
    }

    void firstStartWithEmptyStore() {
        auto w = makeWindow();
        w->Form_Load();

        const QString desktop = GetDesktopFolder();
        const QString separator = QDir::separator();
        QVERIFY(desktop.endsWith(separator) && !desktop.endsWith(separator + separator));
        QCOMPARE(w->Text2->text(), desktop);
        QCOMPARE(w->Text1->text(), QStringLiteral("1"));
        QVERIFY(w->Option1->isChecked());
        QVERIFY(!w->Option2->isChecked());
        QCOMPARE(w->TabControl1->currentIndex(), 0);
        QCOMPARE(w->windowTitle(), QStringLiteral("Korvane"));
        QVERIFY(w->ListView1->hasColumn());
        QCOMPARE(w->ListView1->headerItem()->text(0),
                 QStringLiteral(
                     "Drag and drop GIF files here. Drag files up and down to change order."));

        // The restore writes back what changed a control, and nothing else.
        QCOMPARE(stored(QStringLiteral("Text2")), desktop);
        QCOMPARE(stored(QStringLiteral("Delay")), QStringLiteral("1"));
        QCOMPARE(stored(QStringLiteral("Option1")), kAbsent);
        QCOMPARE(stored(QStringLiteral("Option2")), kAbsent);
        QVERIFY(d_.dialogs.messages.isEmpty());
    }

    void restoresStoredValues_data() {
        QTest::addColumn<StoredValues>("values");
        QTest::addColumn<QString>("text2");
        QTest::addColumn<QString>("delay");
        QTest::addColumn<bool>("oneToOne");
        QTest::addColumn<int>("tab");
        const QString desktop = GetDesktopFolder();
        QTest::newRow("empty output folder") << StoredValues{{"Text2", ""}} << ""
                                             << "1" << false << 0;
        QTest::newRow("stored values")
            << StoredValues{{"Text2", "/out/"}, {"Delay", "0.25"}} << "/out/"
            << "0.25" << false << 0;
        QTest::newRow("one to one") << StoredValues{{"Option1", "False"}, {"Option2", "True"}}
                                    << desktop << "1" << true << 0;
        QTest::newRow("one to one as numbers")
            << StoredValues{{"Option1", "0"}, {"Option2", "-1"}} << desktop << "1" << true << 0;
        QTest::newRow("options tab")
            << StoredValues{{"TabControl1", "1"}} << desktop << "1" << false << 1;
        QTest::newRow("corrupt options")
            << StoredValues{{"Option1", "maybe"}, {"Option2", "perhaps"}} << desktop << "1" << false
            << 0;
        QTest::newRow("corrupt second option")
            << StoredValues{{"Option1", "False"}, {"Option2", "x"}} << desktop << "1" << false << 0;
        QTest::newRow("tab out of range")
            << StoredValues{{"TabControl1", "7"}} << desktop << "1" << false << 0;
        QTest::newRow("corrupt tab")
            << StoredValues{{"TabControl1", "abc"}} << desktop << "1" << false << 0;
    }

    void restoresStoredValues() {
        QFETCH(StoredValues, values);
        QFETCH(QString, text2);
        QFETCH(QString, delay);
        QFETCH(bool, oneToOne);
        QFETCH(int, tab);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            QVERIFY(store(it.key(), it.value()));

        auto w = makeWindow();
        w->Form_Load();
        QCOMPARE(w->Text2->text(), text2);
        QCOMPARE(w->Text1->text(), delay);
        QCOMPARE(w->Option2->isChecked(), oneToOne);
        QCOMPARE(w->Option1->isChecked(), !oneToOne);
        QCOMPARE(w->TabControl1->currentIndex(), tab);
        QCOMPARE(stored(QStringLiteral("Text2")), text2);
        QCOMPARE(stored(QStringLiteral("Delay")), delay);
    }

    void typedDelayIsShownAtNextStart() {
        {
            auto w = makeWindow();
            w->Form_Load();
            w->Text1->selectAll();
            QTest::keyClicks(w->Text1, QStringLiteral("2x"));
            QCOMPARE(stored(QStringLiteral("Delay")), QStringLiteral("2x"));
        }
        auto next = makeWindow();
        next->Form_Load();
        QCOMPARE(next->Text1->text(), QStringLiteral("2x"));
    }

    // Start-up's order seen from its outside effects: the skin comes first, over the button-face
    // colour, before the caption; the home-page draw comes after the caption and the hand
    // pointer and before the list's column and the restored settings.
    void startupOrder() {
        QDir(appFolder_->path()).mkpath(QStringLiteral("x"));
        const QByteArray sheet = "QPushButton { font-weight: bold; }";
        QVERIFY(WriteFile(appFile(QStringLiteral("x/o.cjs")), sheet));
        QVERIFY(WriteFile(appFile(QStringLiteral("HAND-M.CUR")), cursorFileBytes(32, {4, 6})));
        d_.chance.values = {0.06};

        auto w = makeWindow();
        const QColor buttonFace = QApplication::palette().color(QPalette::Button);
        QVERIFY(background(w.get()) != buttonFace);
        const QColor textBoxBefore = w->Text1->palette().color(QPalette::Base);
        const QColor buttonBefore = w->PushButton1->palette().color(QPalette::Button);
        QList<QColor> atSkin;
        QString captionAtSkin;
        SkinProbe probe([&] {
            for (const QWidget* c : std::initializer_list<const QWidget*>{
                     w.get(), w->Option1, w->Option2, w->Frame1, w->Frame2, w->Label1})
                atSkin.append(background(c));
            captionAtSkin = w->windowTitle();
        });
        w->installEventFilter(&probe);

        bool openedAfterCaption = false, openedAfterHand = false, openedBeforeColumn = false,
             openedBeforeRestore = false;
        shell_.onOpen = [&] {
            openedAfterCaption = w->windowTitle() == QStringLiteral("Korvane");
            w->SetMousePointer(MousePointer::Hand);
            openedAfterHand = w->cursor().shape() == Qt::BitmapCursor;
            w->SetMousePointer(MousePointer::Default);
            openedBeforeColumn = !w->ListView1->hasColumn();
            openedBeforeRestore = w->Text1->text().isEmpty();
        };

        w->Form_Load();
        QCOMPARE(w->styleSheet(), QString::fromUtf8(sheet));
        QCOMPARE(atSkin, QList<QColor>(6, buttonFace));
        QCOMPARE(captionAtSkin, QStringLiteral("Form1"));
        QCOMPARE(w->Text1->palette().color(QPalette::Base), textBoxBefore);
        QCOMPARE(w->PushButton1->palette().color(QPalette::Button), buttonBefore);
        QCOMPARE(shell_.opened, QStringList{kHomePage});
        QVERIFY(openedAfterCaption);
        QVERIFY(openedAfterHand);
        QVERIFY(openedBeforeColumn);
        QVERIFY(openedBeforeRestore);
    }

    void noSkinWhenSkinFileIsAbsent() {
        auto w = makeWindow();
        const QColor before = background(w.get());
        const QColor optionBefore = background(w->Option1);
        w->Form_Load();
        QVERIFY(w->styleSheet().isEmpty());
        QCOMPARE(background(w.get()), before);
        QCOMPARE(background(w->Option1), optionBefore);
    }

    void handPointer_data() {
        QTest::addColumn<QByteArray>("file"); // empty: no file
        QTest::addColumn<Qt::CursorShape>("shape");
        QTest::addColumn<QPoint>("hotspot");
        QTest::newRow("absent") << QByteArray() << Qt::ArrowCursor << QPoint();
        QTest::newRow("cursor file")
            << cursorFileBytes(32, {9, 3}) << Qt::BitmapCursor << QPoint(9, 3);
        QTest::newRow("not an image") << QByteArray("junk") << Qt::ArrowCursor << QPoint();
    }

    void handPointer() {
        QFETCH(QByteArray, file);
        QFETCH(Qt::CursorShape, shape);
        QFETCH(QPoint, hotspot);
        if (!file.isEmpty())
            QVERIFY(WriteFile(appFile(QStringLiteral("HAND-M.CUR")), file));
        auto w = makeWindow();
        w->Form_Load();
        w->SetMousePointer(MousePointer::Hand);
        QCOMPARE(w->cursor().shape(), shape);
        if (shape == Qt::BitmapCursor) {
            QCOMPARE(w->cursor().hotSpot(), hotspot);
            QCOMPARE(w->cursor().pixmap().size(), QSize(32, 32));
        }
    }

    // The pointer file the build lays out beside the application: a real cursor whose hotspot
    // sits on a drawn pixel.
    void shippedHandCursor() {
        const QString file =
            qEnvironmentVariable("KORVANE_APP_DIR") + QStringLiteral("/HAND-M.CUR");
        if (!QFile::exists(file))
            QSKIP("no HAND-M.CUR in the application folder");
        const auto cursor = LoadCursorFile(file);
        QVERIFY(cursor);
        const QImage image = cursor->pixmap().toImage();
        QCOMPARE(image.size(), QSize(32, 32));
        QVERIFY(image.rect().contains(cursor->hotSpot()));
        QCOMPARE(qAlpha(image.pixel(cursor->hotSpot())), 255);
        QCOMPARE(qAlpha(image.pixel(31, 31)), 0);
    }

    void homePageOnlyForSeven_data() {
        QTest::addColumn<double>("random");
        QTest::addColumn<bool>("opens");
        QTest::newRow("1") << 0.0 << false;
        QTest::newRow("6") << 0.05 << false;
        QTest::newRow("7") << 0.06 << true;
        QTest::newRow("8") << 0.07 << false;
        QTest::newRow("100") << 0.995 << false;
    }

    void homePageOnlyForSeven() {
        QFETCH(double, random);
        QFETCH(bool, opens);
        d_.chance.values = {random};
        auto w = makeWindow();
        const unsigned int before = SecondsSinceMidnight(QTime::currentTime());
        w->Form_Load();
        const unsigned int after = SecondsSinceMidnight(QTime::currentTime());
        QCOMPARE(shell_.opened, opens ? QStringList{kHomePage} : QStringList{});
        QCOMPARE(d_.chance.seeds.size(), 1);
        QCOMPARE(d_.chance.draws, 1);
        if (before <= after) // not across midnight
            QVERIFY(d_.chance.seeds[0] >= before && d_.chance.seeds[0] <= after);
    }

    void closePlacement_data() {
        QTest::addColumn<Qt::WindowState>("state");
        QTest::addColumn<bool>("overwrites");
        QTest::newRow("normal") << Qt::WindowNoState << true;
        QTest::newRow("maximised") << Qt::WindowMaximized << false;
        QTest::newRow("minimised") << Qt::WindowMinimized << false;
    }

    void closePlacement() {
        QFETCH(Qt::WindowState, state);
        QFETCH(bool, overwrites);
        const QStringList keys = {"Left", "Top", "Width", "Height"};
        for (const QString& key : keys)
            QVERIFY(store(key, QStringLiteral("17")));

        auto w = makeWindow();
        w->Form_Load();
        w->setGeometry(60, 40, 640, 480);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        w->setWindowState(state);
        QTRY_COMPARE(w->windowState(), state);
        const QRect outer = w->frameGeometry();
        w->close();

        const double dpi = w->logicalDpiY();
        const QList<int> pixels = {outer.x(), outer.y(), outer.width(), outer.height()};
        for (int i = 0; i < keys.size(); ++i) {
            const QString expected =
                overwrites ? QString::number(qRound(pixels[i] * 1440.0 / dpi)) : "17";
            QCOMPARE(stored(keys[i]), expected);
        }
    }

    // Closing the window ends the application's event loop, whatever other window is open, also
    // from inside a nested wait such as the one the converter runs in.
    void closingEndsTheApplication_data() {
        QTest::addColumn<bool>("byExitCommand");
        QTest::addColumn<bool>("duringWait");
        QTest::newRow("close box") << false << false;
        QTest::newRow("Exit command") << true << false;
        QTest::newRow("during a wait") << false << true;
    }

    void closingEndsTheApplication() {
        QFETCH(bool, byExitCommand);
        QFETCH(bool, duringWait);
        auto w = makeWindow();
        w->Form_Load();
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        // Another window stays open, so only the window's own ending ends the application.
        QWidget other;
        other.show();

        const auto unload = [&] {
            if (byExitCommand)
                w->Form_Unload();
            else
                w->close();
        };
        bool waitReturned = false;
        QTimer::singleShot(0, w.get(), [&] {
            if (!duringWait) {
                unload();
                return;
            }
            QEventLoop wait;
            QTimer::singleShot(0, w.get(), unload);
            wait.exec();
            waitReturned = true;
        });
        QTimer::singleShot(10000, [] { QCoreApplication::exit(1); }); // a hang fails instead
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(!w->isVisible());
        QCOMPARE(waitReturned, duringWait);
        QVERIFY(stored(QStringLiteral("Width")) != kAbsent);
    }

    // Stray bytes after a valid section, many lines of them (too many for Qt's cache, so each
    // write reads them again): the store rewrites the file; nothing warns, and all is remembered.
    void damagedStoreIsRewrittenWithoutWarning() {
        QVERIFY(QDir().mkpath(settings_->path() + QStringLiteral("/Quenwick")));
        QByteArray stray;
        for (int i = 0; i < 1000; ++i)
            stray += "\x01\xfe stray" + QByteArray::number(i) + "=\x7f\n";
        stray += "\x01\xfe stray bytes\n";
        QVERIFY(WriteFile(SettingsFileName(kSettingsOrganization), "[Korvane]\nDelay=3\n" + stray));
        auto w = makeWindow();
        w->Form_Load();
        QCOMPARE(w->Text1->text(), QStringLiteral("3"));
        QTest::keyClicks(w->Text1, QStringLiteral("5"));
        QVERIFY(d_.dialogs.messages.isEmpty());
        QCOMPARE(stored(QStringLiteral("Delay")), QStringLiteral("35"));
    }

    // A store that cannot be written tells the user once and never stops the window.
    void unwritableStoreWarnsOncePerSession() {
        QVERIFY(WriteFile(settings_->path() + QStringLiteral("/Quenwick"), "not a folder"));
        auto w = makeWindow();
        w->Form_Load();
        QCOMPARE(d_.dialogs.messages.size(), 1);
        const ShownMessage warning = d_.dialogs.messages[0];
        QVERIFY(warning.text.contains(SettingsFileName(kSettingsOrganization)));
        QCOMPARE(warning.icon, MessageIcon::Exclamation);
        QCOMPARE(warning.title, QStringLiteral("Korvane"));

        QTest::keyClicks(w->Text1, QStringLiteral("23"));
        w->Option2->click();
        w->close();
        QCOMPARE(w->Text1->text(), QStringLiteral("123"));
        QVERIFY(w->Option2->isChecked());
        QCOMPARE(d_.dialogs.messages.size(), 1);
    }
};

QTEST_MAIN(StartupShutdownTest)
#include "tst_startup_shutdown.moc"
