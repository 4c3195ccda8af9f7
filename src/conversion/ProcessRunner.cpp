#include "ProcessRunner.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace korvane {

namespace {

// Why a program could not be started, as one of the start-failure error numbers.
int StartFailureNumber(const QString& program) {
    if (program.isEmpty())
        return kProgramNotFound;
    const bool hasFolder =
        program.contains(QLatin1Char('/')) || program.contains(QLatin1Char('\\'));
    const QString resolved = hasFolder ? program : QStandardPaths::findExecutable(program);
    const QFileInfo file(resolved);
    if (resolved.isEmpty() || !file.exists() || file.isDir())
        return kProgramNotFound;
    if (!file.isExecutable())
        return kPermissionDenied;
    return kStartFailedOtherwise;
}

// How long a child asked to stop may take to clean up before it is ended by force.
constexpr int kStopGraceMs = 2000;

// Ends a child that is still running. Asked first, the converter removes its half-written
// temporary file; Windows has no such request for a child without windows, and there the
// converter's temporary file goes with its process.
void EndChild(QProcess& process) {
#ifndef Q_OS_WIN
    process.terminate();
    if (process.waitForFinished(kStopGraceMs))
        return;
#endif
    process.kill();
    process.waitForFinished(-1);
}

} // namespace

int StartFailureCode(int errorNumber) {
    return static_cast<int>(kStartFailureBase + static_cast<std::uint32_t>(errorNumber));
}

bool IsStartFailureCode(int exitCode) {
    return (static_cast<std::uint32_t>(exitCode) & 0xFFFF0000u) == kStartFailureBase;
}

int SettleWindowStyle(std::optional<int> windowStyle) {
    if (!windowStyle || *windowStyle < 0 || *windowStyle > 6)
        return 6;
    return *windowStyle;
}

ProcessResult QtProcessRunner::runAndWait(const QString& program, const QStringList& arguments,
                                          std::optional<int> windowStyle) {
    const int style = SettleWindowStyle(windowStyle);
    QProcess process;
#ifdef Q_OS_WIN
    process.setCreateProcessArgumentsModifier([style](QProcess::CreateProcessArguments* args) {
        args->flags |= CREATE_NO_WINDOW;
        args->startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
        args->startupInfo->wShowWindow = static_cast<WORD>(style);
    });
#else
    Q_UNUSED(style); // a show-window style means nothing to a child without windows here
#endif
    // The child reads nothing and its report goes to its error stream; standard output is not
    // kept, so a chatty child cannot fill memory.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());

    ProcessResult result;
    process.start(program, arguments);
    // Finding out whether the program started takes only the exec; the wait for its end below is
    // the one that must keep the window alive.
    if (!process.waitForStarted(-1)) {
        result.exitCode = StartFailureCode(StartFailureNumber(program));
        return result;
    }

    if (process.state() != QProcess::NotRunning) {
        QEventLoop loop;
        QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (process.state() != QProcess::NotRunning) {
        // Only an application that is quitting ends every event loop: end the child with it.
        EndChild(process);
        result.interrupted = true;
    }
    result.crashed = process.exitStatus() == QProcess::CrashExit;
    result.exitCode = process.exitCode();
    result.standardError = process.readAllStandardError();
    return result;
}

} // namespace korvane
