// The preview window under the offscreen platform, on a movie the real converter made.
#include "../filelist/FileListTestSupport.h"
#include "../gif2swf/ConverterRun.h"
#include "GifMaker.h"
#include "commands/CommandTable.h"
#include "preview/PreviewWindow.h"

#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

using korvane::PreviewWindow;

class PreviewWindowTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void stepsAndPlaysUntilItStops();
    void refusesWithTheReason();
    void droppedOrOpenedFromTheMenu();

private:
    QTemporaryDir dir_;
    QString movie_;
    korvane::test::ScriptedDialogs dialogs_;
};

void PreviewWindowTest::initTestCase() {
    // Four pictures at 50 frames per second, played once.
    testgif::Gif gif{24, 16, testgif::palette(4, 1), 0, {}, -1};
    for (int i = 0; i < 4; ++i) {
        gif.frames.push_back(testgif::patternFrame(0, 0, 24, 16, 4, i));
        gif.frames.back().delay = 2;
    }
    const QString input = dir_.filePath(QStringLiteral("walk.gif"));
    testgif::writeGif(QFile::encodeName(input).toStdString(), gif);
    movie_ = dir_.filePath(QStringLiteral("walk.swf"));
    QCOMPARE(testrun::runConverter({input, "-o", movie_}).exitCode, 0);
}

void PreviewWindowTest::stepsAndPlaysUntilItStops() {
    QPointer<PreviewWindow> window = PreviewWindow::Open(movie_, dialogs_, nullptr);
    QVERIFY(window);
    QCOMPARE(window->windowTitle(), QStringLiteral("walk.swf - Korvane Preview"));
    QCOMPARE(window->factsLabel->text(),
             QStringLiteral("24 x 16 pixels, 50 frames per second, 0.08 s (plays once), %1 bytes")
                 .arg(QFileInfo(movie_).size()));
    QVERIFY(window->playhead().playing());
    QVERIFY(QTest::qWaitForWindowExposed(window));
    // Played once, it stops on its last frame.
    QTRY_VERIFY(!window->playhead().playing());
    QCOMPARE(window->frameLabel->text(), QStringLiteral("Frame 4 of 4"));
    QCOMPARE(window->playButton->text(), QStringLiteral("Play"));

    QTest::keyClick(window, Qt::Key_Home);
    QCOMPARE(window->frameLabel->text(), QStringLiteral("Frame 1 of 4"));
    QTest::keyClick(window, Qt::Key_Right);
    QTest::keyClick(window, Qt::Key_Right);
    QTest::keyClick(window, Qt::Key_Left);
    QCOMPARE(window->frameLabel->text(), QStringLiteral("Frame 2 of 4"));
    QCOMPARE(window->frameSlider->value(), 1);
    window->frameSlider->setValue(2);
    QCOMPARE(window->frameLabel->text(), QStringLiteral("Frame 3 of 4"));
    QTest::keyClick(window, Qt::Key_End);
    QCOMPARE(window->frameLabel->text(), QStringLiteral("Frame 4 of 4"));

    // Space plays again from the last frame: round once more, then still.
    QTest::keyClick(window, Qt::Key_Space);
    QVERIFY(window->playhead().playing());
    QTRY_VERIFY(!window->playhead().playing());
    QCOMPARE(window->frameLabel->text(), QStringLiteral("Frame 4 of 4"));
    window->replayButton->click();
    QCOMPARE(window->frameLabel->text(), QStringLiteral("Frame 1 of 4"));
    // Space pauses wherever the focus is, also on another button.
    window->activateWindow();
    window->replayButton->setFocus();
    QTest::keyClick(window->replayButton, Qt::Key_Space);
    QVERIFY(!window->playhead().playing());

    window->zoomBox->setCurrentIndex(2);
    for (QWidget* control : window->findChildren<QWidget*>()) {
        if (control->focusPolicy() != Qt::NoFocus) // reachable by keyboard, and named
            QVERIFY2(!control->accessibleName().isEmpty(), control->metaObject()->className());
    }
    QTest::keyClick(window, Qt::Key_Escape);
    QTRY_VERIFY(!window);
    QVERIFY(dialogs_.messages.isEmpty());
}

void PreviewWindowTest::refusesWithTheReason() {
    const QString gif = dir_.filePath(QStringLiteral("walk.gif"));
    QVERIFY(!PreviewWindow::Open(gif, dialogs_, nullptr));
    QCOMPARE(dialogs_.messages.size(), 1);
    QCOMPARE(dialogs_.messages[0].text, QStringLiteral("The file is not a Flash movie."));
    QCOMPARE(QApplication::topLevelWidgets().size(), 0);
}

void PreviewWindowTest::droppedOrOpenedFromTheMenu() {
    korvane::test::TestWindow t;
    const QString gif = dir_.filePath(QStringLiteral("walk.gif"));
    // The movie opens in a preview; the GIF beside it goes to the list.
    korvane::test::DragAndDrop(t.list(), *korvane::test::FileList({movie_, gif}));
    QCOMPARE(t.list().texts(), QStringList{QDir::toNativeSeparators(gif)});
    QCOMPARE(t.window.findChildren<PreviewWindow*>().size(), 1);

    t.doubles.dialogs.openFileAnswers << movie_ << QString();
    t.window.CommandBars_Execute(korvane::kMenuOpenMovie);
    t.window.CommandBars_Execute(korvane::kMenuOpenMovie); // cancelled
    QCOMPARE(t.doubles.dialogs.openFileFilters,
             QStringList(2, QStringLiteral("Flash movies (*.swf)")));
    const auto previews = t.window.findChildren<PreviewWindow*>();
    QCOMPARE(previews.size(), 2);
    QVERIFY(previews[0]->isVisible() && previews[1]->isVisible());
    QVERIFY(t.doubles.dialogs.messages.isEmpty());
}

QTEST_MAIN(PreviewWindowTest)
#include "tst_preview_window.moc"
