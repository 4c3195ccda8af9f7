// The Qt process runner with real child processes: start failures, exit codes, the error stream,
// output as it arrives, arguments passed verbatim, a window kept alive during the wait, stopping
// a child, and a quitting application.
#include "conversion/ProcessRunner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>
#include <optional>

using namespace korvane;

namespace {

// Writes an executable shell script and returns its path.
QString WriteScript(const QTemporaryDir& dir, const QString& name, const QByteArray& body) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("#!/bin/sh\n" + body);
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

// Starts a child and waits for its end in a local event loop, as a conversion run does. A quit
// ends the wait; the child is then ended with its StartedProcess.
ProcessResult RunAndWait(const QString& program, const QStringList& arguments,
                         std::optional<int> windowStyle = std::nullopt,
                         std::function<void(const QByteArray&)> output = {}) {
    QtProcessRunner runner;
    std::optional<ProcessResult> result;
    QEventLoop loop;
    ProcessHandlers handlers;
    handlers.standardOutput = std::move(output);
    handlers.finished = [&](const ProcessResult& ended) {
        result = ended;
        loop.quit();
    };
    auto process = runner.start(program, arguments, windowStyle, std::move(handlers));
    if (!result)
        loop.exec();
    if (result)
        return *result;
    process.reset();
    ProcessResult ended;
    ended.interrupted = true;
    return ended;
}

} // namespace

class ProcessRunnerTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void startFailure_data();
    void startFailure();
    void exitCodeAndErrorStream();
    void argumentsArriveVerbatim();
    void crashIsReported();
    void outputArrivesWhileTheChildRuns();
    void stopEndsTheChild_data();
    void stopEndsTheChild();
    void eventsAreServicedWhileWaiting();
    // Last: a quit leaves the thread's event loops refusing to run.
    void quittingEndsTheWaitAndTheChild();

private:
    QTemporaryDir dir_;
};

void ProcessRunnerTest::initTestCase() {
#ifdef Q_OS_WIN
    QSKIP("the children are POSIX shell scripts");
#endif
    QVERIFY(dir_.isValid());
}

void ProcessRunnerTest::startFailure_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<int>("code");

    QTest::newRow("no such program") << dir_.filePath("missing") << -2147221451;
    QTest::newRow("empty program") << QString() << -2147221451;
    QTest::newRow("a folder") << dir_.path() << -2147221451;
    QFile plain(dir_.filePath("plain"));
    plain.open(QIODevice::WriteOnly);
    plain.write("#!/bin/sh\n");
    plain.close();
    plain.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    QTest::newRow("not executable") << plain.fileName() << StartFailureCode(kPermissionDenied);
}

void ProcessRunnerTest::startFailure() {
    QFETCH(QString, program);
    QFETCH(int, code);
    const ProcessResult result = RunAndWait(program, {}, 0);
    QCOMPARE(result.exitCode, code);
    QVERIFY(!result.interrupted);
}

void ProcessRunnerTest::exitCodeAndErrorStream() {
    const QString program = WriteScript(dir_, "fails",
                                        "echo chatter\necho 'gif2swf: x.gif: not a GIF file' >&2\n"
                                        "exit 7\n");
    const ProcessResult result = RunAndWait(program, {});
    QCOMPARE(result.exitCode, 7);
    QCOMPARE(result.standardError, QByteArray("gif2swf: x.gif: not a GIF file\n"));
    QVERIFY(!result.crashed);
}

void ProcessRunnerTest::argumentsArriveVerbatim() {
    const QString record = dir_.filePath("arguments.txt");
    const QString program = WriteScript(
        dir_, "records", "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.txt\"\n");
    QVERIFY(QFile::rename(program, dir_.filePath("arguments")));
    const QStringList arguments = {
        "-r", "0.5",     "say \"hi\" & 'bye'", "$HOME;`id`|*", QString::fromUtf8("Grüße ✓.gif"),
        "-o", "a  b.swf"};
    QCOMPARE(RunAndWait(dir_.filePath("arguments"), arguments, 0).exitCode, 0);
    QFile file(record);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts), arguments);
}

void ProcessRunnerTest::crashIsReported() {
    const QString program = WriteScript(dir_, "crashes", "kill -SEGV $$\n");
    const ProcessResult result = RunAndWait(program, {});
    QVERIFY(result.crashed);
    QVERIFY(result.exitCode != 0);
}

void ProcessRunnerTest::outputArrivesWhileTheChildRuns() {
    // The child goes on only once its first line has been read here.
    const QString go = dir_.filePath("go");
    const QString program =
        WriteScript(dir_, "talks",
                    "echo one\ni=0\nwhile [ ! -e \"" + go.toUtf8() +
                        "\" ] && [ $i -lt 400 ]; do sleep 0.05; i=$((i+1)); done\necho two\n");
    QByteArray output;
    const ProcessResult result = RunAndWait(program, {}, 0, [&](const QByteArray& piece) {
        output += piece;
        if (output.contains("one\n"))
            QFile(go).open(QIODevice::WriteOnly);
    });
    QCOMPARE(result.exitCode, 0);
    QVERIFY(!result.interrupted);
    QCOMPARE(output, QByteArray("one\ntwo\n"));
    QVERIFY(QFile::exists(go)); // written while the child waited for it
}

void ProcessRunnerTest::stopEndsTheChild_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("cleanedUp");
    // A child that cleans up when asked, like the converter, and one that ignores the request
    // and is forced after the grace.
    QTest::newRow("asked") << QByteArray("trap 'rm -f \"$1\"; exit 3' TERM\n") << true;
    QTest::newRow("forced") << QByteArray("trap '' TERM\n") << false;
}

void ProcessRunnerTest::stopEndsTheChild() {
    QFETCH(QByteArray, body);
    QFETCH(bool, cleanedUp);
    QtProcessRunner runner;
    const QString partial = dir_.filePath("partial");
    const QString program = WriteScript(
        dir_, "stubborn", body + "touch \"$1\"\necho started\nwhile :; do sleep 0.05; done\n");
    std::optional<ProcessResult> result;
    std::unique_ptr<StartedProcess> process;
    ProcessHandlers handlers;
    // Stopped once it has started its work.
    handlers.standardOutput = [&](const QByteArray&) { process->stop(); };
    handlers.finished = [&](const ProcessResult& ended) { result = ended; };
    process = runner.start(program, {partial}, 0, std::move(handlers));
    QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 20000);
    QVERIFY(result->interrupted);
    QCOMPARE(QFile::exists(partial), !cleanedUp);
    QCOMPARE(result->crashed, !cleanedUp);
}

void ProcessRunnerTest::eventsAreServicedWhileWaiting() {
    const QString program = WriteScript(dir_, "slow", "sleep 1\nexit 4\n");
    int ticks = 0;
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start();
    const ProcessResult result = RunAndWait(program, {}, 0);
    QCOMPARE(result.exitCode, 4);
    // A wait that serviced nothing would leave the timer at 0 ticks for the whole second.
    QVERIFY2(ticks >= 10, qPrintable(QStringLiteral("%1 timer ticks in 1 s").arg(ticks)));
}

void ProcessRunnerTest::quittingEndsTheWaitAndTheChild() {
    const QString marker = dir_.filePath("finished");
    const QString program =
        WriteScript(dir_, "long", "sleep 5\ntouch \"" + marker.toUtf8() + "\"\n");
    QTimer::singleShot(200, [] { QCoreApplication::exit(0); });
    QElapsedTimer clock;
    clock.start();
    const ProcessResult result = RunAndWait(program, {}, 0);
    QVERIFY(result.interrupted);
    QVERIFY2(clock.elapsed() < 4000, "the wait outlived the application's quit");
    QTest::qWait(200);
    QVERIFY(!QFile::exists(marker)); // the child did not run on
}

QTEST_GUILESS_MAIN(ProcessRunnerTest)
#include "tst_process_runner.moc"
