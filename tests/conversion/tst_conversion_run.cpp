// Start on the real window: with a scripted runner for what the window does around the converter,
// and end to end with the real converter on real GIF files in temporary folders.
#include "ConverterRun.h"
#include "Doubles.h"
#include "GifMaker.h"
#include "TestFiles.h"
#include "app/Form1.h"
#include "commands/CommandTable.h"
#include "conversion/ConversionRun.h"
#include "conversion/ConverterProgress.h"
#include "conversion/ProcessRunner.h"
#include "filelist/FileListView.h"
#include "preview/PreviewWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QtTest>

#include <algorithm>
#include <memory>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

using namespace korvane;
using namespace korvane::test;

namespace {

const QString S = QDir::separator();

QString Native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// The converter the build lays out beside the application, when it has been built.
QString BuiltConverter() {
    const QString path = qEnvironmentVariable("KORVANE_APP_DIR") + QStringLiteral("/gif2swf");
    return QFileInfo(path).isExecutable() ? path : QString();
}

// Writes an executable shell script named like the converter into an application folder.
bool WriteStandIn(const QString& appFolder, const QByteArray& body) {
    const QString path = appFolder + QStringLiteral("/gif2swf");
    if (!WriteFile(path, "#!/bin/sh\n" + body))
        return false;
    return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// The run on its own, for what the window cannot vary: records the messages it would show.
class RecordingFeedback : public ConversionFeedback {
public:
    QStringList messages;
    void setPointer(MousePointer) override {}
    void setProgress(double) override {}
    void showMessage(const QString& text, MessageIcon, const QString&) override {
        messages << text;
    }
};

// Keeps the arguments of every start and the input list file, read while the converter could
// read it; counts the converters running at once.
class ListWatchingRunner : public CountingRunner {
public:
    using CountingRunner::CountingRunner;
    QStringList arguments;
    QString listPath;
    QByteArray listBytes;
    std::unique_ptr<StartedProcess> start(const QString& program, const QStringList& args,
                                          std::optional<int> windowStyle,
                                          ProcessHandlers handlers) override {
        arguments = args;
        const qsizetype list = args.indexOf(QStringLiteral("-l"));
        if (list >= 0) {
            listPath = args.value(list + 1);
            QFile file(listPath);
            if (file.open(QIODevice::ReadOnly))
                listBytes = file.readAll();
        }
        return CountingRunner::start(program, args, windowStyle, std::move(handlers));
    }
};

// The least Unix argument space in which the converter starts with these arguments.
qint64 LeastSpace(const QString& program, const QStringList& arguments, ArgumentSpace space) {
    for (space.total = 0; !ArgumentsFit(program, arguments, space); ++space.total) {
    }
    return space.total;
}

} // namespace

class ConversionRunTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    // Around the converter (scripted runner).
    void nothingToConvertLeavesTheWindowAlone_data();
    void nothingToConvertLeavesTheWindowAlone();
    void neitherModeConvertsNothing();
    void rootFolderGetsNoDoubledSeparator_data();
    void rootFolderGetsNoDoubledSeparator();
    void checkedBeforeTheRun_data();
    void checkedBeforeTheRun();
    void progressAndPointerFollowTheRun_data();
    void progressAndPointerFollowTheRun();
    void runWorksOnItsSnapshotAndRefusesChanges();
    void noEntryLimit();
    void delayInTheUserNumberFormat_data();
    void delayInTheUserNumberFormat();
    void tooManyImagesForTheDelay_data();
    void tooManyImagesForTheDelay();
    void inputsGoInAListFileOnlyWhenTheyDoNotFit_data();
    void inputsGoInAListFileOnlyWhenTheyDoNotFit();
    void movieNameCheckedBeforeTheRun_data();
    void movieNameCheckedBeforeTheRun();

    // End to end (real converter, stand-ins for slow and failing ones).
    void manyToOneWritesOneMovie();
    void oneToOneWritesOneMoviePerEntry();
    void movieOptionsShowInTheMovie_data();
    void movieOptionsShowInTheMovie();
    void brokenGifAmongGoodOnesIsNamed();
    void movieOfTheSameNameIsNotWrittenOver();
    void closingMidConversionLeavesNoPartialFile();
    void barFollowsTheConvertersReport();
    void stopKeepsWhatWasMadeAndNoPartialFile_data();
    void stopKeepsWhatWasMadeAndNoPartialFile();
    void severalConvertersGiveWhatOneAtATimeGives();
    void thirtyThousandFilesMakeOneMovie();
    void missingConverterFails();
    void leftoverOutputIsNoSuccess_data();
    void leftoverOutputIsNoSuccess();
    void windowIsServicedDuringASlowConverter();
    void doubleClickOnStartDoesNotStop();
    void warningsReachTheUser();
    void fullDiskIsOneLine();
    void skipExistingConvertsOnlyTheNewOnes();
    // Last: a quit leaves the thread's event loops refusing to run.
    void quittingDuringARunEndsIt();

private:
    void makeWindow(ProcessRunner& runner);
    // False, with the test marked skipped, when the converter has not been built.
    bool useBuiltConverter();
    QStringList writeGifs(const QStringList& names);
    // A GIF of large frames of noise, which keeps the converter busy for a while.
    QString writeNoiseGif(const QString& name, int size, int frames, int seed = 0);
    // A GIF without any colour table, which the converter warns of.
    QString writeGreyGif(const QString& name);
    QAction* startAction() const;

    std::unique_ptr<Doubles> d_;
    std::unique_ptr<QTemporaryDir> app_, in_, out_;
    std::unique_ptr<Form1> w_;
    QtProcessRunner realRunner_;
};

void ConversionRunTest::initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
}

void ConversionRunTest::init() {
    d_ = std::make_unique<Doubles>();
    app_ = std::make_unique<QTemporaryDir>();
    in_ = std::make_unique<QTemporaryDir>();
    out_ = std::make_unique<QTemporaryDir>();
    QVERIFY(app_->isValid() && in_->isValid() && out_->isValid());
}

void ConversionRunTest::cleanup() {
    if (w_)
        QVERIFY2(d_->dialogs.unexpected.isEmpty(), qPrintable(d_->dialogs.unexpected.join('\n')));
    w_.reset();
}

void ConversionRunTest::makeWindow(ProcessRunner& runner) {
    w_ = std::make_unique<Form1>(
        Form1Services{d_->dialogs, d_->shell, runner, d_->chance, Native(app_->path())});
    w_->Text1->setText(QStringLiteral("0.5"));
    w_->Text2->setText(Native(out_->path()) + S);
}

bool ConversionRunTest::useBuiltConverter() {
    const QString converter = BuiltConverter();
    if (converter.isEmpty()) {
        QTest::qSkip(
            "build/app/gif2swf is not built; this end-to-end case needs the real converter",
            __FILE__, __LINE__);
        return false;
    }
    if (!QFile::link(converter, app_->filePath(QStringLiteral("gif2swf")))) {
        QTest::qFail("cannot place the converter in the application folder", __FILE__, __LINE__);
        return false;
    }
    makeWindow(realRunner_);
    return true;
}

QStringList ConversionRunTest::writeGifs(const QStringList& names) {
    QStringList paths;
    int shade = 0;
    for (const QString& name : names) {
        const QString path = Native(in_->filePath(name));
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (!WriteGif(path, 8 + shade, 6, QColor(40 * shade % 256, 90, 200)))
            return {};
        paths << path;
        ++shade;
    }
    return paths;
}

QString ConversionRunTest::writeNoiseGif(const QString& name, int size, int frames, int seed) {
    testgif::Gif gif;
    gif.width = gif.height = size;
    gif.globalColours = testgif::palette(256, seed);
    for (int frame = 0; frame < frames; ++frame)
        gif.frames.push_back(testgif::patternFrame(0, 0, size, size, 256, seed * 16 + frame));
    const QString path = Native(in_->filePath(name));
    QDir().mkpath(QFileInfo(path).absolutePath());
    testgif::writeGif(QFile::encodeName(path).toStdString(), gif);
    return path;
}

QString ConversionRunTest::writeGreyGif(const QString& name) {
    testgif::Gif grey;
    grey.width = grey.height = 4;
    grey.frames.push_back(testgif::patternFrame(0, 0, 4, 4, 16, 1));
    const QString path = Native(in_->filePath(name));
    testgif::writeGif(QFile::encodeName(path).toStdString(), grey);
    return path;
}

QAction* ConversionRunTest::startAction() const {
    for (QAction* action : w_->StandardToolBar->actions()) {
        if (action->data().toInt() == kToolbarStart)
            return action;
    }
    return nullptr;
}

void ConversionRunTest::nothingToConvertLeavesTheWindowAlone_data() {
    QTest::addColumn<bool>("withEntry");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("message");
    QTest::addColumn<MessageIcon>("icon");
    const QString noFolder =
        QStringLiteral("Choose the folder for the SWF files on the Conversion Options tab.");
    QTest::newRow("empty list") << false << "/out/"
                                << "No files added." << MessageIcon::None;
    QTest::newRow("empty folder") << true << "" << noFolder << MessageIcon::Exclamation;
    QTest::newRow("blank folder") << true << " \t " << noFolder << MessageIcon::Exclamation;
}

void ConversionRunTest::nothingToConvertLeavesTheWindowAlone() {
    QFETCH(bool, withEntry);
    QFETCH(QString, folder);
    QFETCH(QString, message);
    QFETCH(MessageIcon, icon);
    makeWindow(d_->runner);
    if (withEntry)
        w_->ListView1->append(Native("/G/a.gif"));
    w_->Text2->setText(folder);
    w_->SetMousePointer(MousePointer::Hand);
    w_->ProgressBar1->setValue(37);
    w_->Start();
    QCOMPARE(d_->dialogs.messages.size(), 1);
    QCOMPARE(d_->dialogs.messages[0].text, message);
    QCOMPARE(d_->dialogs.messages[0].title, QStringLiteral("Korvane"));
    QCOMPARE(d_->dialogs.messages[0].icon, icon);
    QCOMPARE(w_->mousePointer(), MousePointer::Hand);
    QCOMPARE(w_->ProgressBar1->value(), 37);
    QVERIFY(d_->runner.calls.isEmpty()); // no converter, so no movie anywhere
}

void ConversionRunTest::neitherModeConvertsNothing() {
    makeWindow(d_->runner);
    w_->ListView1->append(QStringList{Native("/G/a.gif"), Native("/G/b.gif")});
    w_->Option1->setAutoExclusive(false);
    w_->Option1->setChecked(false);
    w_->Option2->setChecked(false);
    w_->ProgressBar1->setValue(37);
    w_->Start();
    QVERIFY(d_->runner.calls.isEmpty());
    QVERIFY(d_->dialogs.messages.isEmpty());
    QCOMPARE(w_->mousePointer(), MousePointer::Default);
    QCOMPARE(w_->ProgressBar1->value(), 0);
}

void ConversionRunTest::rootFolderGetsNoDoubledSeparator_data() {
    QTest::addColumn<bool>("oneToOne");
    QTest::addColumn<QString>("movie");
    QTest::newRow("many to one") << false << "output.swf";
    QTest::newRow("one to one") << true << "a.swf";
}

void ConversionRunTest::rootFolderGetsNoDoubledSeparator() {
    QFETCH(bool, oneToOne);
    QFETCH(QString, movie);
    // The run on its own: a root folder is seldom one the checks before a run let through.
    const QString root = QDir::toNativeSeparators(QDir::rootPath());
    ConversionRequest request{{Native("/G/a.gif")},
                              oneToOne ? ConversionMode::OneToOne : ConversionMode::ManyToOne,
                              "0.5",
                              root,
                              Native(app_->path())};
    RecordingFeedback feedback;
    ConversionRun(request, d_->runner, feedback).execute();
    QCOMPARE(d_->runner.calls.size(), 1);
    QCOMPARE(d_->runner.calls[0].arguments.last(), root + movie);
    QCOMPARE(d_->runner.calls[0].windowStyle, std::optional<int>(0));
}

void ConversionRunTest::checkedBeforeTheRun_data() {
    QTest::addColumn<bool>("oneToOne");
    QTest::addColumn<QString>("delay");
    QTest::addColumn<QString>("folder"); // OUT: the output folder, where "file" is a file
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("shown"); // the start of the one message, or the question
    QTest::addColumn<int>("runs");
    const QString delay = "The delay between images must be a number of seconds from 0.004 to "
                          "256.\r\rPlease correct \"Delay between images (in seconds):\" on the "
                          "Conversion Options tab.";
    for (const char* refused : {"0", "abc", "1e400", "-1", "0.001", "1000", "256.5"})
        QTest::newRow(refused) << false << refused << "OUT" << QStringList() << delay << 0;
    QTest::newRow("256") << false << "256"
                         << "OUT" << QStringList() << "Done." << 1;
    QTest::newRow("missing folder") << false << "1"
                                    << "OUT/new/deeper" << QStringList()
                                    << "Done.\r\rSWF file created: OUT/new/deeper/output.swf" << 1;
    QTest::newRow("relative folder")
        << false << "1"
        << "relout" << QStringList() << "Done.\r\rSWF file created: OUT/relout/output.swf" << 1;
    QTest::newRow("home folder") << false << "1"
                                 << "~" << QStringList()
                                 << "Done.\r\rSWF file created: OUT/output.swf" << 1;
    QTest::newRow("under the home folder")
        << false << "1"
        << "~/films" << QStringList() << "Done.\r\rSWF file created: OUT/films/output.swf" << 1;
    QTest::newRow("a file") << false << "1"
                            << "OUT/file" << QStringList()
                            << "The SWF files cannot be saved in OUT/file: " << 0;
    QTest::newRow("under a file") << false << "1"
                                  << "OUT/file/sub" << QStringList()
                                  << "The folder OUT/file/sub could not be created: " << 0;
    QTest::newRow("replace, no") << false << "1"
                                 << "OUT" << QStringList{"output.swf"}
                                 << "output.swf already exists in OUT. Replace it?" << 0;
    QTest::newRow("replace two, yes")
        << true << "1"
        << "OUT" << QStringList{"b.swf", "a.swf"}
        << "2 of the movies already exist in OUT (a.swf, b.swf). Replace them?" << 7;
    QTest::newRow("replace six, no")
        << true << "1"
        << "OUT" << QStringList{"a.swf", "b.swf", "c.swf", "d.swf", "e.swf", "f.swf"}
        << "6 of the movies already exist in OUT (a.swf, b.swf, c.swf, d.swf, e.swf, ...). "
           "Replace them?"
        << 0;
}

// One message or question before anything runs; a refused run leaves the window as it was. A
// relative folder is under the home folder (here the output folder).
void ConversionRunTest::checkedBeforeTheRun() {
    QFETCH(bool, oneToOne);
    QFETCH(QString, delay);
    QFETCH(QString, folder);
    QFETCH(QStringList, existing);
    QFETCH(QString, shown);
    QFETCH(int, runs);
    const QByteArray home = qgetenv("HOME");
    const auto restore = qScopeGuard([&] { qputenv("HOME", home); });
    qputenv("HOME", QFile::encodeName(out_->path()));
    QVERIFY(WriteFile(out_->filePath("file"), "a file"));
    for (const QString& movie : existing)
        QVERIFY(WriteFile(out_->filePath(movie), "an earlier movie"));
    makeWindow(d_->runner);
    w_->Option2->setChecked(oneToOne);
    // The second a.gif, from another folder, names the same movie as the first.
    for (const char* name : {"a", "b", "c", "d", "e", "f", "g"})
        w_->ListView1->append(Native(QStringLiteral("/G/%1.gif").arg(name)));
    w_->ListView1->append(Native("/H/a.gif"));
    w_->Text1->setText(delay);
    w_->Text2->setText(Native(folder.replace("OUT", out_->path())));
    w_->SetMousePointer(MousePointer::Hand);
    w_->ProgressBar1->setValue(37);
    d_->runner.handler = [](const RunCall& call) {
        WriteFile(call.arguments.last(), "movie");
        return ProcessResult{};
    };
    shown = Native(shown.replace("OUT", out_->path()));
    const bool question = shown.endsWith('?');
    if (question)
        d_->dialogs.choiceAnswers << (runs > 0 ? "Replace" : "Cancel");
    w_->Start();
    QCOMPARE(d_->runner.calls.size(), runs);
    if (question) {
        QCOMPARE(d_->dialogs.questions, QStringList{shown});
        QCOMPARE(d_->dialogs.questionTitles, QStringList{"Korvane"});
        QCOMPARE(d_->dialogs.questionIcons, QList<MessageIcon>{MessageIcon::Question});
        QCOMPARE(d_->dialogs.questionButtons.value(0),
                 oneToOne ? QStringList({"Replace", "Skip Existing", "Cancel"})
                          : QStringList({"Replace", "Cancel"}));
    } else {
        QVERIFY2(d_->dialogs.messages.value(0).text.startsWith(shown),
                 qPrintable(d_->dialogs.messages.value(0).text));
    }
    QVERIFY(!QFile::exists(out_->filePath("~")));
    if (runs == 0) {
        QCOMPARE(d_->dialogs.messages.size(), question ? 0 : 1);
        if (!question)
            QCOMPARE(d_->dialogs.messages[0].icon, MessageIcon::Exclamation);
        QCOMPARE(w_->mousePointer(), MousePointer::Hand);
        QCOMPARE(w_->ProgressBar1->value(), 37);
    }
}

void ConversionRunTest::movieNameCheckedBeforeTheRun_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("existing"); // clip.swf is there already
    QTest::addColumn<QString>("shown"); // the start of the one message, or the question
    QTest::addColumn<int>("runs");
    QTest::newRow("without extension")
        << "clip" << false << "Done.\r\rSWF file created: OUT/clip.swf" << 1;
    QTest::newRow("replace question names it")
        << "clip.swf" << true << "clip.swf already exists in OUT. Replace it?" << 0;
    QTest::newRow("folder separator")
        << "sub/clip" << false << "The movie name \"sub/clip\" names a folder." << 0;
    QTest::newRow("not valid") << "a|b" << false << "\"a|b\" is not a valid movie name" << 0;
    QTest::newRow("device name") << "con" << false << "\"con\" is not a valid movie name" << 0;
}

void ConversionRunTest::movieNameCheckedBeforeTheRun() {
    QFETCH(QString, typed);
    QFETCH(bool, existing);
    QFETCH(QString, shown);
    QFETCH(int, runs);
    if (existing)
        QVERIFY(WriteFile(out_->filePath("clip.swf"), "an earlier movie"));
    makeWindow(d_->runner);
    w_->Text2->setText(Native(out_->path()));
    w_->Text3->setText(typed);
    w_->ListView1->append({Native("/G/a.gif"), Native("/G/b.gif")});
    d_->runner.handler = [](const RunCall& call) {
        WriteFile(call.arguments.last(), "movie");
        return ProcessResult{};
    };
    shown.replace("OUT", out_->path());
    if (existing)
        d_->dialogs.choiceAnswers << "Cancel";
    w_->Start();
    QCOMPARE(d_->runner.calls.size(), runs);
    const QString said =
        existing ? d_->dialogs.questions.value(0) : d_->dialogs.messages.value(0).text;
    QVERIFY2(said.startsWith(Native(shown)), qPrintable(said));
    QCOMPARE(d_->dialogs.messages.size() + d_->dialogs.questions.size(), 1);
}

void ConversionRunTest::progressAndPointerFollowTheRun_data() {
    QTest::addColumn<bool>("oneToOne");
    QTest::addColumn<QList<int>>("bar");
    QTest::addColumn<int>("barAtMessage");
    QTest::addColumn<int>("pointerAtMessage");
    // Many to one: the walk of the list fills the first 5 %, the converter's report the rest,
    // below 100 until it has ended; back to 0 before the message. One to one: the share of the
    // files finished; back to 0 after the message.
    QTest::newRow("many to one") << false << QList<int>{2, 3, 5, 53, 76, 99, 0} << 0
                                 << int(MousePointer::Default);
    QTest::newRow("one to one") << true << QList<int>{33, 67, 100, 0} << 100
                                << int(MousePointer::Busy);
}

void ConversionRunTest::progressAndPointerFollowTheRun() {
    QFETCH(bool, oneToOne);
    QFETCH(QList<int>, bar);
    QFETCH(int, barAtMessage);
    QFETCH(int, pointerAtMessage);
    makeWindow(d_->runner);
    w_->Option2->setChecked(oneToOne);
    w_->ListView1->append(QStringList{Native("/G/a.gif"), Native("/G/b.gif"), Native("/G/c.gif")});
    // The report comes in pieces that split its lines, with a line of another kind among them.
    d_->runner.output = {"progress 0/4\nprog", "ress 2/4\nnote: x\n", "progress 3/4\n",
                         "progress 4/4\n"};
    QList<MousePointer> pointers;
    d_->runner.handler = [&](const RunCall&) {
        pointers << w_->mousePointer();
        return ProcessResult{};
    };
    QList<int> values;
    connect(w_->ProgressBar1, &QProgressBar::valueChanged, [&](int value) { values << value; });
    int barThen = -1;
    MousePointer pointer = MousePointer::Hand;
    d_->dialogs.onMessage = [&](const ShownMessage&) {
        barThen = w_->ProgressBar1->value();
        pointer = w_->mousePointer();
    };
    w_->Start();
    QCOMPARE(values, bar);
    for (MousePointer during : pointers)
        QCOMPARE(during, MousePointer::Busy);
    QCOMPARE(barThen, barAtMessage);
    QCOMPARE(int(pointer), pointerAtMessage);
    QCOMPARE(w_->mousePointer(), MousePointer::Default);
}

void ConversionRunTest::runWorksOnItsSnapshotAndRefusesChanges() {
    makeWindow(d_->runner);
    w_->Option2->setChecked(true);
    const QStringList inputs = {Native("/G/a.gif"), Native("/G/b.gif"), Native("/G/c.gif")};
    w_->ListView1->append(inputs);
    const QString folder = w_->Text2->text();
    QSignalSpy running(w_.get(), &Form1::conversionRunningChanged);

    bool runningDuringWait = false;
    d_->runner.handler = [&](const RunCall& call) {
        runningDuringWait = w_->conversionRunning();
        if (d_->runner.calls.size() == 1) {
            // The commands that change the list or start a run are refused while it waits...
            w_->Start();
            w_->ClearList();
            w_->ClearSelected();
            // ...and even a change that gets through does not reach the run.
            w_->ListView1->remove(1);
            w_->Text2->setText(Native("/elsewhere/"));
            w_->Option1->setChecked(true);
        }
        WriteFile(call.arguments.last(), "movie"); // as if the converter wrote it
        return ProcessResult{};
    };
    w_->Start();

    QVERIFY(runningDuringWait);
    QCOMPARE(running.size(), 2);
    QCOMPARE(running[0].at(0).toBool(), true);
    QCOMPARE(running[1].at(0).toBool(), false);
    QVERIFY(!w_->conversionRunning());
    QStringList converted;
    for (const RunCall& call : d_->runner.calls)
        converted << call.arguments.first();
    QCOMPARE(converted, inputs); // each entry once, in its order, no second run nested inside
    QCOMPARE(d_->dialogs.messages.size(), 1);
    QCOMPARE(d_->dialogs.messages[0].text,
             QStringLiteral("Done.\r\rOutput SWF files are located in ") + folder);
}

void ConversionRunTest::noEntryLimit() {
    makeWindow(d_->runner);
    w_->Option2->setChecked(true);
    QStringList inputs;
    for (int i = 0; i < 32768 + 2; ++i)
        inputs << Native(QStringLiteral("/G/%1.gif").arg(i));
    w_->ListView1->append(inputs);
    w_->Start();
    QCOMPARE(d_->runner.calls.size(), inputs.size());
    QCOMPARE(d_->runner.calls.last().arguments.first(), inputs.last());
    // Nothing was written, so every entry failed; the message lists ten and counts the rest.
    QVERIFY(d_->dialogs.messages[0].text.endsWith(
        QStringLiteral("and %1 more").arg(inputs.size() - 10)));
}

void ConversionRunTest::delayInTheUserNumberFormat_data() {
    QTest::addColumn<QString>("delay");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<QString>("rate");
    QTest::newRow("the user's decimal comma") << "0,5" << false << "2";
    QTest::newRow("a decimal point") << "0.5" << false << "2";
    QTest::newRow("no thousands separators") << "1.000" << false << "1";
    QTest::newRow("trailing text") << "1.5s" << true << "0.666666666666667";
}

// The delay box's check and the run read the delay alike, in a German locale.
void ConversionRunTest::delayInTheUserNumberFormat() {
    QFETCH(QString, delay);
    QFETCH(bool, refused);
    QFETCH(QString, rate);
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const auto restore = qScopeGuard([&] { QLocale::setDefault(saved); });
    makeWindow(d_->runner);
    w_->ListView1->append(Native("/G/a.gif"));
    w_->Text1->setText(delay);
    w_->Text1_LostFocus();
    w_->Start();
    QCOMPARE(d_->runner.calls.size(), 1);
    QCOMPARE(d_->runner.calls[0].arguments.mid(0, 3), (QStringList{"--progress", "-r", rate}));
    QCOMPARE(d_->dialogs.messages.size(), refused ? 2 : 1);
    if (refused)
        QCOMPARE(d_->dialogs.messages[0].text, QStringLiteral("Must be numeric entry."));
}

void ConversionRunTest::tooManyImagesForTheDelay_data() {
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("delay");
    QTest::addColumn<int>("entries");
    QTest::addColumn<QString>("message"); // empty: the run goes ahead
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale german(QLocale::German, QLocale::Germany);
    QTest::newRow("1.5 s") << english << "1.5" << 30000
                           << "With a delay of 1.5 seconds a movie holds at most 21,845 images; "
                              "30,000 are listed.";
    QTest::newRow("1,5 s, German") << german << "1,5" << 30000
                                   << "With a delay of 1,5 seconds a movie holds at most 21.845 "
                                      "images; 30.000 are listed.";
    QTest::newRow("just fits") << english << "1.5" << 21845 << "";
}

// Many to one: more entries than a movie holds at the delay, told before anything runs.
void ConversionRunTest::tooManyImagesForTheDelay() {
    QFETCH(QLocale, locale);
    QFETCH(QString, delay);
    QFETCH(int, entries);
    QFETCH(QString, message);
    const QLocale saved;
    QLocale::setDefault(locale);
    const auto restore = qScopeGuard([&] { QLocale::setDefault(saved); });
    makeWindow(d_->runner);
    QStringList inputs;
    for (int i = 0; i < entries; ++i)
        inputs << Native(QStringLiteral("/G/%1.gif").arg(i));
    w_->ListView1->append(inputs);
    w_->Text1->setText(delay);
    w_->Start();
    QCOMPARE(d_->runner.calls.size(), message.isEmpty() ? 1 : 0);
    if (!message.isEmpty()) {
        QCOMPARE(d_->dialogs.messages.size(), 1);
        QCOMPARE(d_->dialogs.messages[0].text, message);
        QCOMPARE(d_->dialogs.messages[0].icon, MessageIcon::Exclamation);
    }
}

void ConversionRunTest::inputsGoInAListFileOnlyWhenTheyDoNotFit_data() {
    QTest::addColumn<qint64>("shortBy"); // bytes the space lacks for the arguments
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("fits exactly") << qint64(0) << 0 << "Done.";
    QTest::newRow("one byte short") << qint64(1) << 0 << "Done.";
    QTest::newRow("one byte short, the converter names an input")
        << qint64(1) << 2 << "Conversion failed.\r\rB: not a GIF file";
}

void ConversionRunTest::inputsGoInAListFileOnlyWhenTheyDoNotFit() {
    QFETCH(qint64, shortBy);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const QStringList inputs = {Native("/G/a.gif"), Native("/G/b.gif"), Native("/G/c.gif")};
    const QString out = Native(out_->path()) + S;
    const QString movie = out + QStringLiteral("output.swf");
    const QString program = Native(app_->path()) + S + QStringLiteral("gif2swf");
    const QStringList asToday = {"--progress", "-r",      "2",  inputs[0],
                                 inputs[1],    inputs[2], "-o", movie};

    ConversionRequest request{inputs, ConversionMode::ManyToOne, "0.5", out, Native(app_->path())};
    request.argumentSpace = {ArgumentRule::Unix, 0, 128 * 1024, 0, 8};
    request.argumentSpace.total = LeastSpace(program, asToday, request.argumentSpace) - shortBy;
    d_->runner.handler = [&](const RunCall& call) {
        WriteFile(call.arguments.last(), "movie");
        ProcessResult result{exitCode, {}, false, false};
        if (exitCode != 0)
            result.standardError = "gif2swf: " + inputs[1].toUtf8() + ": not a GIF file\n";
        return result;
    };
    ListWatchingRunner runner(d_->runner);
    RecordingFeedback feedback;
    ConversionRun(request, runner, feedback).execute();

    if (shortBy == 0) {
        QCOMPARE(runner.arguments, asToday);
    } else {
        QCOMPARE(runner.arguments,
                 QStringList({"--progress", "-r", "2", "-l", runner.listPath, "-o", movie}));
        QVERIFY(runner.listPath.startsWith(QDir::tempPath()));
        QCOMPARE(runner.listBytes, QFile::encodeName(inputs.join('\n') + '\n').replace('\n', '\0'));
        QVERIFY(!QFile::exists(runner.listPath));
    }
    QCOMPARE(feedback.messages.value(0).section('\r', 0, message.startsWith("Done") ? 0 : -1),
             QString(message).replace("B", inputs[1]));
}

void ConversionRunTest::manyToOneWritesOneMovie() {
    if (!useBuiltConverter())
        return;
    w_->ListView1->append(writeGifs({"a.gif", "b.gif", "c.gif"}));
    d_->dialogs.offeringAnswers << true; // "Preview"
    w_->Start();
    const QString movie = Native(out_->path()) + S + QStringLiteral("output.swf");
    QCOMPARE(d_->dialogs.messages.size(), 1);
    QCOMPARE(d_->dialogs.messages[0].text, QStringLiteral("Done.\r\rSWF file created: ") + movie);
    QCOMPARE(d_->dialogs.offeredButtons, QStringList{"Preview"});
    QVERIFY(QFileInfo(movie).size() > 0);
    const auto* preview = w_->findChild<PreviewWindow*>();
    QVERIFY(preview && preview->isVisible());
    QCOMPARE(preview->windowTitle(), QStringLiteral("output.swf - Korvane Preview"));
    QCOMPARE(preview->movie().frameCount(), 3);
}

void ConversionRunTest::oneToOneWritesOneMoviePerEntry() {
    if (!useBuiltConverter())
        return;
    w_->Option2->setChecked(true);
    const QString odd = QString::fromUtf8("say \"hi\" ü");
    w_->ListView1->append(writeGifs({"a.gif", "b c.GIF", "in.d/noext", odd + ".gif"}));
    d_->dialogs.offeringAnswers << true; // "Preview": the first movie
    w_->Start();
    QCOMPARE(d_->dialogs.offeredButtons, QStringList{"Preview"});
    QCOMPARE(w_->findChild<PreviewWindow*>()->windowTitle(),
             QStringLiteral("a.swf - Korvane Preview"));
    QCOMPARE(d_->dialogs.messages.size(), 1);
    QCOMPARE(d_->dialogs.messages[0].text,
             QStringLiteral("Done.\r\rOutput SWF files are located in ") + w_->Text2->text());
    QStringList movies = QDir(out_->path()).entryList(QDir::Files);
    movies.sort();
    QStringList expected = {"a.swf", "b c.swf", "noext.swf", odd + ".swf"};
    expected.sort();
    QCOMPARE(movies, expected);
}

void ConversionRunTest::movieOptionsShowInTheMovie_data() {
    QTest::addColumn<bool>("oneToOne");
    QTest::addColumn<bool>("ownTiming");
    QTest::addColumn<int>("playsChoice"); // the index in "Plays:"; -1: the mode's default
    QTest::addColumn<int>("scale");
    QTest::addColumn<QColor>("background");   // invalid: not chosen
    QTest::addColumn<QStringList>("options"); // the converter's arguments before the inputs
    QTest::addColumn<int>("frameRate");       // 8.8 fixed point
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("plays"); // 0: for ever
    // Delays of 10 and 30 hundredths, then 20: 10 frames a second with their own timing.
    QTest::newRow("own timing keeps mixed delays")
        << false << true << -1 << 100 << QColor() << QStringList() << 10 * 256 << 6 << 0;
    QTest::newRow("once at 200 % on navy")
        << false << false << 2 << 200 << QColor(0, 0, 128)
        << QStringList{"-r", "2", "--plays", "1", "--scale", "200", "--background", "000080"}
        << 2 * 256 << 3 << 1;
    QTest::newRow("one to one three times") << true << false << 3 << 100 << QColor()
                                            << QStringList{"--plays", "3"} << 10 * 256 << 4 << 3;
}

// Each option as the window passes it to the real converter, and what the movie then does.
void ConversionRunTest::movieOptionsShowInTheMovie() {
    QFETCH(bool, oneToOne);
    QFETCH(bool, ownTiming);
    QFETCH(int, playsChoice);
    QFETCH(int, scale);
    QFETCH(QColor, background);
    QFETCH(QStringList, options);
    QFETCH(int, frameRate);
    QFETCH(int, frames);
    QFETCH(int, plays);
    if (!useBuiltConverter())
        return;
    ListWatchingRunner runner(realRunner_);
    makeWindow(runner);
    QStringList inputs;
    for (const std::vector<int>& delays : {std::vector{10, 30}, std::vector{20}}) {
        testgif::Gif gif;
        gif.width = gif.height = 8;
        gif.globalColours = testgif::palette(4);
        for (const int delay : delays) {
            gif.frames.push_back(testgif::patternFrame(0, 0, 8, 8, 4, delay));
            gif.frames.back().delay = delay;
        }
        inputs << Native(in_->filePath(QStringLiteral("%1.gif").arg(char('a' + inputs.size()))));
        testgif::writeGif(QFile::encodeName(inputs.back()).toStdString(), gif);
    }
    w_->ListView1->append(oneToOne ? inputs.mid(0, 1) : inputs);
    w_->Option2->setChecked(oneToOne);
    w_->Check1->setChecked(ownTiming);
    if (playsChoice >= 0) {
        w_->Combo1->setCurrentIndex(playsChoice);
        w_->Spin1->setValue(3);
    }
    w_->Spin2->setValue(scale);
    if (background.isValid()) {
        d_->dialogs.colourAnswers << background;
        QTest::mouseClick(w_->PushButton3, Qt::LeftButton);
    }
    w_->Start();
    QCOMPARE(d_->dialogs.messages.size(), 1);
    QVERIFY2(d_->dialogs.messages[0].text.startsWith("Done."),
             qPrintable(d_->dialogs.messages[0].text));
    QStringList arguments = runner.arguments;
    arguments.removeAll(QStringLiteral("--progress"));
    QCOMPARE(arguments.mid(0, options.size()), options);
    // One to one gives its files to one converter with their folder.
    const QStringList each{"--each", "-d", w_->Text2->text()};
    QCOMPARE(arguments.mid(options.size(), oneToOne ? 3 : 0), oneToOne ? each : QStringList());
    QCOMPARE(arguments.value(options.size() + (oneToOne ? 3 : 0)), inputs.first());

    // The independent reader: the stage and placements scaled, the background, the frames at
    // the rate, and the plays its actions allow.
    const uint colour = background.isValid() ? background.rgb() & 0xFFFFFF : 0xFFFFFF;
    QCOMPARE(testrun::checkWithSwfParser(out_->filePath(oneToOne ? "a.swf" : "output.swf"), 8, 8,
                                         frameRate, frames, -1, plays, -1,
                                         {QStringLiteral("scale=%1").arg(scale),
                                          QStringLiteral("background=%1").arg(colour)}),
             QStringLiteral("ok"));
}

// Four GIFs, two of them made: the message says what was made and names each failure by its
// full path, once, in list order; it shows with the run over.
void ConversionRunTest::brokenGifAmongGoodOnesIsNamed() {
    if (!useBuiltConverter())
        return;
    w_->CreateToolbar();
    w_->Option2->setChecked(true);
    QStringList inputs = writeGifs({"a.gif", "c.gif"});
    const QString broken = Native(in_->filePath("broken.gif"));
    QVERIFY(WriteGif(broken, 8, 8, Qt::blue));
    QVERIFY(QFile(broken).resize(20)); // cut off before its image data
    const QString text = Native(in_->filePath("notes.gif"));
    QVERIFY(WriteFile(text, "not a picture at all"));
    inputs.insert(1, broken);
    inputs.insert(2, text);
    w_->ListView1->append(inputs);
    QString caption;
    d_->dialogs.onMessage = [&](const ShownMessage&) { caption = startAction()->text(); };
    w_->Start();
    QCOMPARE(d_->dialogs.messages.size(), 1);
    QCOMPARE(d_->dialogs.messages[0].icon, MessageIcon::Exclamation);
    QCOMPARE(caption, QStringLiteral("Start Converting"));
    const QStringList lines = d_->dialogs.messages[0].text.split('\r');
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines.mid(0, 3),
             (QStringList{"SWF files made: 2 of 4, in " + w_->Text2->text(), "", "Not made:"}));
    QCOMPARE(lines[3], broken + QStringLiteral(": truncated file"));
    QCOMPARE(lines[4], text + QStringLiteral(": not a GIF file"));
    QVERIFY(QFile::exists(out_->filePath("a.swf")));
    QVERIFY(QFile::exists(out_->filePath("c.swf")));
    QVERIFY(!QFile::exists(out_->filePath("broken.swf")));
}

// One to one: a movie made earlier in the run from another file of the same name stays; the
// same file listed again converts again.
void ConversionRunTest::movieOfTheSameNameIsNotWrittenOver() {
    if (!useBuiltConverter())
        return;
    w_->Option2->setChecked(true);
    const QStringList gifs = writeGifs({"a/same.gif", "b/same.gif"}); // of different sizes
    const QString reference = Native(app_->filePath("reference.swf"));
    QCOMPARE(QProcess::execute(BuiltConverter(), {gifs[0], "-o", reference}), 0);
    w_->ListView1->append(QStringList{gifs[0], gifs[0], gifs[1]});
    w_->Start();
    QCOMPARE(d_->dialogs.messages.size(), 1);
    QCOMPARE(d_->dialogs.messages[0].text,
             QStringLiteral("SWF files made: 2 of 3, in ") + w_->Text2->text() +
                 QStringLiteral("\r\rNot made:\r") + gifs[1] +
                 QStringLiteral(": a movie of this name was already made from ") + gifs[0] +
                 QStringLiteral(" in this run"));
    QFile movie(out_->filePath("same.swf")), expected(reference);
    QVERIFY(movie.open(QIODevice::ReadOnly) && expected.open(QIODevice::ReadOnly));
    QCOMPARE(movie.readAll(), expected.readAll());
}

// What a user tried: a folder of 30,000 GIFs with paths of about 100 characters, whose argument
// list is beyond Linux's 2 MB, added with Add Folder and converted many to one.
void ConversionRunTest::thirtyThousandFilesMakeOneMovie() {
    if (!useBuiltConverter())
        return;
    const int files = 30000;
    const QString folder = Native(in_->filePath(QString(100 - 17 - in_->path().size(), 'f')));
    QVERIFY(QDir().mkpath(folder));
    for (int i = 0; i < files; ++i) {
        const QString name = QStringLiteral("%1.gif").arg(i, 11, 10, QLatin1Char('0'));
        QVERIFY(WriteGif(folder + S + name, 4, 4, QColor(i % 256, i / 256 % 256, 9)));
    }
    ListWatchingRunner runner(realRunner_);
    makeWindow(runner);
    w_->Text1->setText(QStringLiteral("0.1"));
    d_->dialogs.inputAnswers << QStringLiteral("gif");
    d_->dialogs.folderAnswers << folder;
    w_->AddFolder();
    QCOMPARE(w_->ListView1->count(), files);
    QCOMPARE(w_->ListView1->texts().first().size(), 100);
    w_->Start();
    const QString movie = Native(out_->path()) + S + QStringLiteral("output.swf");
    // Tiny stills make a movie larger than their GIFs, which the converter warns of.
    QCOMPARE(d_->dialogs.messages.value(0).text.section(QStringLiteral("\r\rWarnings:"), 0, 0),
             QStringLiteral("Done.\r\rSWF file created: ") + movie);
    const MovieHeader header = ReadMovieHeader(movie);
    QCOMPARE(header.frames, files);
    QCOMPARE(header.frameRate, 10 * 256);
#ifdef Q_OS_LINUX
    QVERIFY(runner.arguments.contains("-l"));
#endif
    QVERIFY(runner.listPath.isEmpty() || !QFile::exists(runner.listPath));
}

void ConversionRunTest::missingConverterFails() {
    makeWindow(realRunner_); // an application folder without the converter
    w_->Option2->setChecked(true);
    const QStringList gifs = writeGifs({"a.gif", "b.gif"});
    w_->ListView1->append(gifs);
    w_->Start();
    QCOMPARE(d_->dialogs.messages.size(), 1);
    QCOMPARE(d_->dialogs.messages[0].text,
             QStringLiteral("SWF files made: 0 of 2, in ") + w_->Text2->text() +
                 QStringLiteral("\r\rNot made:\r") + gifs[0] +
                 QStringLiteral(": the converter was not found\r") + gifs[1] +
                 QStringLiteral(": the converter was not found"));
    QCOMPARE(w_->mousePointer(), MousePointer::Default);
    QCOMPARE(w_->ProgressBar1->value(), 0);
}

void ConversionRunTest::leftoverOutputIsNoSuccess_data() {
    QTest::addColumn<QByteArray>("converter");
    QTest::addColumn<QString>("reason");
    QTest::newRow("failing converter")
        << QByteArray("echo \"gif2swf: $4: not a GIF file\" >&2\nexit 2\n") << "not a GIF file";
    QTest::newRow("converter that claims success but writes nothing")
        << QByteArray("exit 0\n") << "the converter wrote no output file";
}

void ConversionRunTest::leftoverOutputIsNoSuccess() {
    QFETCH(QByteArray, converter);
    QFETCH(QString, reason);
    QVERIFY(WriteStandIn(app_->path(), converter));
    makeWindow(realRunner_);
    const QStringList inputs = writeGifs({"a.gif"});
    w_->ListView1->append(inputs);
    const QString movie = Native(out_->path()) + S + QStringLiteral("output.swf");
    QVERIFY(WriteFile(movie, "an earlier run's movie"));
    d_->dialogs.choiceAnswers << "Replace";
    w_->Start();
    QCOMPARE(d_->dialogs.messages.size(), 1);
    QCOMPARE(d_->dialogs.messages[0].text,
             QStringLiteral("Conversion failed.\r\r") + inputs[0] + QStringLiteral(": ") + reason);
}

void ConversionRunTest::windowIsServicedDuringASlowConverter() {
    QVERIFY(WriteStandIn(app_->path(), "sleep 1\nexit 1\n"));
    makeWindow(realRunner_);
    w_->ListView1->append(writeGifs({"a.gif"}));
    w_->show();
    QVERIFY(QTest::qWaitForWindowExposed(w_.get()));

    PaintCounter counter;
    w_->ProgressBar1->installEventFilter(&counter);
    int ticks = 0;
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++ticks;
        w_->ProgressBar1->update();
    });
    d_->dialogs.onMessage = [&](const ShownMessage&) { timer.stop(); };
    timer.start();
    w_->Start();
    QVERIFY2(ticks >= 10, qPrintable(QStringLiteral("%1 timer ticks during 1 s").arg(ticks)));
    QVERIFY2(counter.paints >= 5, qPrintable(QStringLiteral("%1 repaints").arg(counter.paints)));
    QVERIFY(d_->dialogs.messages[0].text.startsWith(QStringLiteral("Conversion failed.")));
}

// The window closed while the real converter writes the movie (the bar has moved): the
// converter is asked to stop and takes its unfinished file with it.
void ConversionRunTest::closingMidConversionLeavesNoPartialFile() {
    if (!useBuiltConverter())
        return;
    // Many large frames of noise, listed many times into one movie, keep the converter busy.
    w_->ListView1->append(QStringList(200, writeNoiseGif("big.gif", 1200, 4)));

    int barAtClose = 0;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (w_->ProgressBar1->value() > 0) {
            barAtClose = w_->ProgressBar1->value();
            poll.stop();
            w_->close();
        }
    });
    poll.start(5);
    QTimer::singleShot(0, w_.get(), [&] { w_->Start(); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY2(barAtClose > 0 && barAtClose < w_->ProgressBar1->maximum(),
             qPrintable(QString::number(barAtClose)));
    const QStringList left = QDir(out_->path()).entryList(QDir::Files | QDir::Hidden);
    QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char(' '))));
    QVERIFY(d_->dialogs.messages.isEmpty());
}

// Many to one over a few large GIFs: the bar moves with the converter's report, through several
// values below 100, and never goes back before it returns to 0.
void ConversionRunTest::barFollowsTheConvertersReport() {
    if (!useBuiltConverter())
        return;
    QStringList gifs;
    for (int i = 0; i < 4; ++i)
        gifs << writeNoiseGif(QStringLiteral("big%1.gif").arg(i), 1000, 6, i);
    w_->ListView1->append(gifs);
    QList<int> values;
    connect(w_->ProgressBar1, &QProgressBar::valueChanged, [&](int value) { values << value; });
    w_->Start();
    QCOMPARE(d_->dialogs.messages.value(0).text.section('\r', 0, 0), QStringLiteral("Done."));
    QVERIFY(!values.isEmpty());
    QCOMPARE(values.takeLast(), 0);
    QString seen = QStringLiteral("bar values:");
    for (int value : values)
        seen += QLatin1Char(' ') + QString::number(value);
    QVERIFY2(std::is_sorted(values.begin(), values.end()), qPrintable(seen));
    QVERIFY2(values.last() < 100, qPrintable(seen));
    const auto fromConverter = std::count_if(values.begin(), values.end(),
                                             [](int value) { return value > kListWalkShare; });
    QVERIFY2(fromConverter >= 3, qPrintable(seen));
}

void ConversionRunTest::stopKeepsWhatWasMadeAndNoPartialFile_data() {
    QTest::addColumn<bool>("oneToOne");
    QTest::addColumn<bool>("byEscape"); // else by the toolbar's button
    QTest::newRow("one to one, the toolbar's button") << true << false;
    QTest::newRow("many to one, Escape") << false << true;
}

// Stopped once one movie of several is made (one to one), or while the one movie is being
// written (many to one, over an earlier run's movie).
void ConversionRunTest::stopKeepsWhatWasMadeAndNoPartialFile() {
    QFETCH(bool, oneToOne);
    QFETCH(bool, byEscape);
    if (!useBuiltConverter())
        return;
    const int entries = 6;
    QStringList gifs;
    for (int i = 0; i < entries; ++i)
        gifs << writeNoiseGif(QStringLiteral("big%1.gif").arg(i), 1200, 4, i);
    w_->ListView1->append(oneToOne ? gifs : QStringList(20, gifs[0]));
    w_->Option2->setChecked(oneToOne);
    const QString earlier = out_->filePath("output.swf");
    if (!oneToOne) {
        QVERIFY(WriteFile(earlier, "an earlier run's movie"));
        d_->dialogs.choiceAnswers << "Replace";
    }
    w_->CreateToolbar();
    w_->show();
    QVERIFY(QTest::qWaitForWindowActive(w_.get()));

    // Well before the movies are all made, yet not as the second click of a double click.
    const int interval = QApplication::doubleClickInterval();
    const auto restore = qScopeGuard([&] { QApplication::setDoubleClickInterval(interval); });
    QApplication::setDoubleClickInterval(50);
    QHash<QString, QByteArray> madeAtStop;
    QString caption;
    QTimer poll;
    QElapsedTimer sinceStart;
    sinceStart.start();
    QObject::connect(&poll, &QTimer::timeout, [&] {
        // One to one, once a movie is made; many to one, once the bar has moved.
        const QStringList movies = QDir(out_->path()).entryList({"*.swf"}, QDir::Files);
        // A stop sooner would be the second click of a double click.
        if ((oneToOne ? movies.isEmpty() : w_->ProgressBar1->value() <= 0) ||
            sinceStart.elapsed() <= QApplication::doubleClickInterval())
            return;
        poll.stop();
        for (const QString& movie : movies) {
            QFile file(out_->filePath(movie));
            QVERIFY(file.open(QIODevice::ReadOnly));
            madeAtStop.insert(movie, file.readAll());
        }
        caption = startAction()->text();
        if (byEscape)
            QTest::keyClick(w_.get(), Qt::Key_Escape);
        else
            startAction()->trigger();
    });
    poll.start(5);
    int barAtMessage = -1;
    d_->dialogs.onMessage = [&](const ShownMessage&) { barAtMessage = w_->ProgressBar1->value(); };
    w_->Start();

    QCOMPARE(caption, QStringLiteral("Stop Converting"));
    QCOMPARE(startAction()->text(), QStringLiteral("Start Converting"));
    QCOMPARE(d_->dialogs.messages.size(), 1);
    QCOMPARE(d_->dialogs.messages[0].title, QStringLiteral("Korvane"));
    const QString message = d_->dialogs.messages[0].text;
    const QStringList left = QDir(out_->path()).entryList(QDir::Files);
    if (!oneToOne) {
        QCOMPARE(message, QStringLiteral("Conversion stopped.\r\rSWF file not created: ") +
                              Native(out_->path()) + S + QStringLiteral("output.swf"));
        QCOMPARE(left, QStringList{"output.swf"});
        QFile kept(earlier);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("an earlier run's movie"));
        return;
    }
    // Movies made before the stop are intact, any other file is a whole movie, and the
    // message counts them and names every entry that made none.
    for (auto made = madeAtStop.cbegin(); made != madeAtStop.cend(); ++made) {
        QFile file(out_->filePath(made.key()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), made.value());
    }
    for (const QString& file : left) {
        QVERIFY2(file.endsWith(QStringLiteral(".swf")), qPrintable(file));
        QCOMPARE(ReadMovieHeader(out_->filePath(file)).frames, 4);
    }
    QVERIFY(left.size() < entries);
    // The bar shows the share of files finished, not the stopped ones.
    QCOMPARE(barAtMessage, qRound(100.0 * left.size() / entries));
    const QStringList lines = message.split('\r');
    QCOMPARE(lines.mid(0, 5), (QStringList{"Conversion stopped.", "",
                                           QStringLiteral("SWF files made: %1 of %2, in %3")
                                               .arg(left.size())
                                               .arg(entries)
                                               .arg(w_->Text2->text()),
                                           "", "Not made:"}));
    QCOMPARE(lines.size() - 5, entries - left.size());
    for (const QString& line : lines.mid(5))
        QVERIFY2(line.contains(QStringLiteral(": stopped ")), qPrintable(line));
}

// One to one with converters running at once: the same movies, the same failures in the same
// order, as one at a time; among them a broken GIF, two files of the same name and one file
// listed twice.
void ConversionRunTest::severalConvertersGiveWhatOneAtATimeGives() {
    if (!useBuiltConverter())
        return;
    QStringList inputs = writeGifs({"a.gif", "x/same.gif", "y/same.gif", "c.gif", "d.gif"});
    const QString broken = Native(in_->filePath("broken.gif"));
    QVERIFY(WriteGif(broken, 8, 8, Qt::blue));
    QVERIFY(QFile(broken).resize(20));
    inputs.insert(1, broken);
    inputs.insert(4, inputs[0]);
    inputs << writeGreyGif("grey.gif");
    QStringList messages;
    QList<QHash<QString, QByteArray>> movies;
    // A converter per file, one at a time; then --each over one and over four converters.
    for (const auto& [converters, manyFiles] : {std::pair(1, false), {1, true}, {4, true}}) {
        QTemporaryDir out;
        ConversionRequest request{inputs, ConversionMode::OneToOne, "0.5", Native(out.path()) + S,
                                  Native(app_->path())};
        request.converters = converters;
        request.manyFilesPerConverter = manyFiles;
        ListWatchingRunner runner(realRunner_);
        RecordingFeedback feedback;
        ConversionRun(request, runner, feedback).execute();
        QVERIFY(runner.mostAtOnce <= converters);
        QCOMPARE(runner.mostAtOnce > 1, converters > 1);
        QCOMPARE(feedback.messages.size(), 1);
        messages << feedback.messages[0].replace(Native(out.path()), "OUT");
        movies.append(QHash<QString, QByteArray>());
        for (const QString& name : QDir(out.path()).entryList(QDir::Files)) {
            QFile movie(out.filePath(name));
            QVERIFY(movie.open(QIODevice::ReadOnly));
            movies.last().insert(name, movie.readAll());
        }
    }
    QCOMPARE(messages[1], messages[0]);
    QCOMPARE(messages[2], messages[0]);
    QCOMPARE(movies[1], movies[0]);
    QCOMPARE(movies[2], movies[0]);
    QCOMPARE(QStringList(movies[0].keys()).size(), 5); // a, same, c, d, grey
    const QStringList lines = messages[0].split('\r');
    QCOMPARE(lines.size(), 8);
    QCOMPARE(lines[0], QStringLiteral("SWF files made: 6 of 8, in OUT") + S);
    QCOMPARE(lines[3], broken + QStringLiteral(": truncated file"));
    QCOMPARE(lines[4], inputs[3] + QStringLiteral(": ") + MovieAlreadyMadeReason(inputs[2]));
    QCOMPARE(lines.mid(6), (QStringList{"Warnings:", inputs.last() + ": frame 1: image has no "
                                                                     "colour table, drawn in the "
                                                                     "default grey levels"}));
}

// Two clicks on the toolbar's button within the double-click interval: the run goes on to its end.
void ConversionRunTest::doubleClickOnStartDoesNotStop() {
    if (!useBuiltConverter())
        return;
    w_->ListView1->append(QStringList(20, writeNoiseGif("big.gif", 600, 4)));
    w_->CreateToolbar();
    w_->show();
    QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
    QWidget* button = w_->StandardToolBar->widgetForAction(startAction());
    QString secondClickOn;
    connect(w_.get(), &Form1::conversionRunningChanged, this, [&](bool running) {
        if (running)
            QTimer::singleShot(0, this, [&] {
                secondClickOn = startAction()->text();
                QTest::mouseClick(button, Qt::LeftButton);
            });
    });
    QTest::mouseClick(button, Qt::LeftButton); // returns when the run is over
    QCOMPARE(secondClickOn, QStringLiteral("Stop Converting"));
    QCOMPARE(d_->dialogs.messages.size(), 1);
    QCOMPARE(d_->dialogs.messages[0].text, QStringLiteral("Done.\r\rSWF file created: ") +
                                               Native(out_->path()) + S + "output.swf");
}

// A GIF without any colour table converts, with the converter's warning in the message.
void ConversionRunTest::warningsReachTheUser() {
    if (!useBuiltConverter())
        return;
    w_->Option2->setChecked(true);
    const QStringList inputs = writeGifs({"a.gif"}) << writeGreyGif("grey.gif");
    w_->ListView1->append(inputs);
    w_->Start();
    QCOMPARE(d_->dialogs.messages.size(), 1);
    QCOMPARE(d_->dialogs.messages[0].text,
             QStringLiteral("Done.\r\rOutput SWF files are located in ") + w_->Text2->text() +
                 QStringLiteral("\r\rWarnings:\r") + inputs[1] +
                 QStringLiteral(": frame 1: image has no colour table, drawn in the default grey "
                                "levels"));
    QCOMPARE(d_->dialogs.messages[0].icon, MessageIcon::Exclamation);
    QVERIFY(QFile::exists(out_->filePath("grey.swf")));
}

// Many to one into a folder on a small file system: one line, in the user's words.
void ConversionRunTest::fullDiskIsOneLine() {
#ifdef Q_OS_LINUX
    if (geteuid() != 0)
        QSKIP("mounting a small file system needs root");
    if (!useBuiltConverter())
        return;
    const QString small = Native(out_->filePath("small"));
    QVERIFY(QDir().mkpath(small));
    QVERIFY(QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", small}) == 0);
    const auto unmount = qScopeGuard([&] { QProcess::execute("umount", {small}); });
    w_->ListView1->append(QStringList(3, writeNoiseGif("noise.gif", 600, 1)));
    w_->Text2->setText(small);
    w_->Start();
    QCOMPARE(d_->dialogs.messages.size(), 1);
    QCOMPARE(d_->dialogs.messages[0].text,
             QStringLiteral("Conversion failed.\r\rThe movie could not be written to ") + small +
                 QStringLiteral(": no space left on device."));
    QCOMPARE(d_->dialogs.messages[0].icon, MessageIcon::Exclamation);
#else
    QSKIP("needs a Linux mount");
#endif
}

// Twelve GIFs, eleven with their movies already there: only the twelfth is converted.
void ConversionRunTest::skipExistingConvertsOnlyTheNewOnes() {
    if (!useBuiltConverter())
        return;
    w_->Option2->setChecked(true);
    QStringList names;
    for (int i = 1; i <= 12; ++i)
        names << QStringLiteral("g%1.gif").arg(i);
    w_->ListView1->append(writeGifs(names));
    for (int i = 1; i <= 11; ++i)
        QVERIFY(WriteFile(out_->filePath(QStringLiteral("g%1.swf").arg(i)), "earlier"));
    d_->dialogs.choiceAnswers << "Skip Existing";
    w_->Start();
    QCOMPARE(d_->dialogs.questionButtons.value(0),
             (QStringList{"Replace", "Skip Existing", "Cancel"}));
    QCOMPARE(d_->dialogs.messages.size(), 1);
    QCOMPARE(d_->dialogs.messages[0].text,
             QStringLiteral("Done.\r\rOutput SWF files are located in ") + w_->Text2->text() +
                 QStringLiteral("\r\rSkipped (movie already there): 11"));
    for (int i = 1; i <= 11; ++i) {
        QFile kept(out_->filePath(QStringLiteral("g%1.swf").arg(i)));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("earlier"));
    }
    QVERIFY(ReadMovieHeader(out_->filePath("g12.swf")).frames > 0);
    // Again, with every movie there: nothing to convert.
    d_->dialogs.choiceAnswers << "Skip Existing";
    w_->Start();
    QCOMPARE(d_->dialogs.messages.value(1).text,
             QStringLiteral("Done.\r\rOutput SWF files are located in ") + w_->Text2->text() +
                 QStringLiteral("\r\rSkipped (movie already there): 12"));
}

void ConversionRunTest::quittingDuringARunEndsIt() {
    const QString log = Native(app_->filePath("started.log"));
    QVERIFY(WriteStandIn(app_->path(), "echo started >> \"" + log.toUtf8() + "\"\nsleep 3\n"));
    makeWindow(realRunner_);
    w_->Option2->setChecked(true);
    w_->ListView1->append(writeGifs({"a.gif", "b.gif", "c.gif"}));
    // What closing the window does: the application quits, also in the middle of a run.
    QTimer::singleShot(300, [] { QCoreApplication::exit(0); });
    QElapsedTimer clock;
    clock.start();
    w_->Start();
    QVERIFY2(clock.elapsed() < 2500, "the run outlived the application's quit");
    QFile started(log);
    QVERIFY(started.open(QIODevice::ReadOnly));
    // Those started at once, one per core; no further entry was started.
    QCOMPARE(started.readAll().count('\n'), std::min(3, DefaultConverterCount()));
    QVERIFY(d_->dialogs.messages.isEmpty());
    QVERIFY(!w_->conversionRunning());
}

QTEST_MAIN(ConversionRunTest)
#include "tst_conversion_run.moc"
