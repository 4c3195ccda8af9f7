// The Qt process runner with real child processes: start failures, exit codes, the error stream,
// arguments passed verbatim, a window kept alive during the wait, and a quitting application.
#include "conversion/ProcessRunner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

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
    QtProcessRunner runner;
    const ProcessResult result = runner.runAndWait(program, {}, 0);
    QCOMPARE(result.exitCode, code);
    QVERIFY(!result.interrupted);
}

void ProcessRunnerTest::exitCodeAndErrorStream() {
    const QString program = WriteScript(dir_, "fails",
                                        "echo chatter\necho 'gif2swf: x.gif: not a GIF file' >&2\n"
                                        "exit 7\n");
    QtProcessRunner runner;
    const ProcessResult result = runner.runAndWait(program, {});
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
    QtProcessRunner runner;
    QCOMPARE(runner.runAndWait(dir_.filePath("arguments"), arguments, 0).exitCode, 0);
    QFile file(record);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts), arguments);
}

void ProcessRunnerTest::crashIsReported() {
    const QString program = WriteScript(dir_, "crashes", "kill -SEGV $$\n");
    QtProcessRunner runner;
    const ProcessResult result = runner.runAndWait(program, {});
    QVERIFY(result.crashed);
    QVERIFY(result.exitCode != 0);
}

void ProcessRunnerTest::eventsAreServicedWhileWaiting() {
    const QString program = WriteScript(dir_, "slow", "sleep 1\nexit 4\n");
    int ticks = 0;
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&ticks] { ++ticks; });
    timer.start();
    QtProcessRunner runner;
    const ProcessResult result = runner.runAndWait(program, {}, 0);
    QCOMPARE(result.exitCode, 4);
    // A wait that serviced nothing would leave the timer at 0 ticks for the whole second.
    QVERIFY2(ticks >= 10, qPrintable(QStringLiteral("%1 timer ticks in 1 s").arg(ticks)));
}

void ProcessRunnerTest::quittingEndsTheWaitAndTheChild() {
    const QString marker = dir_.filePath("finished");
    const QString program =
        WriteScript(dir_, "long", "sleep 5\ntouch \"" + marker.toUtf8() + "\"\n");
    QTimer::singleShot(200, [] { QCoreApplication::exit(0); });
    QtProcessRunner runner;
    QElapsedTimer clock;
    clock.start();
    const ProcessResult result = runner.runAndWait(program, {}, 0);
    QVERIFY(result.interrupted);
    QVERIFY2(clock.elapsed() < 4000, "the wait outlived the application's quit");
    QTest::qWait(200);
    QVERIFY(!QFile::exists(marker)); // the child did not run on
}

QTEST_GUILESS_MAIN(ProcessRunnerTest)
#include "tst_process_runner.moc"
