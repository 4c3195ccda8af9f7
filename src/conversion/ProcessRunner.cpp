#include "ProcessRunner.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

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

// Asks a child to end. The converter then removes its half-written temporary file; Windows has no
// such request for a child without windows, and there the converter's temporary file goes with its
// process, so it is ended at once.
void AskToEnd(QProcess& process) {
#ifdef Q_OS_WIN
    process.kill();
#else
    process.terminate();
#endif
}

// Ends a child that is still running and waits for it: asked first, forced after the grace.
void EndChild(QProcess& process) {
    AskToEnd(process);
    if (process.waitForFinished(kStopGraceMs))
        return;
    process.kill();
    process.waitForFinished(-1);
}

class QtStartedProcess : public QObject, public StartedProcess {
public:
    explicit QtStartedProcess(ProcessHandlers handlers) : handlers_(std::move(handlers)) {
        grace_.setSingleShot(true);
        connect(&grace_, &QTimer::timeout, &process_, &QProcess::kill);
        connect(&process_, &QProcess::finished, this, &QtStartedProcess::report);
        if (handlers_.standardOutput) {
            connect(&process_, &QProcess::readyReadStandardOutput, this,
                    [this] { forwardOutput(); });
        } else {
            // Nobody reads it, so a chatty child cannot fill memory.
            process_.setStandardOutputFile(QProcess::nullDevice());
        }
        // The child reads nothing.
        process_.setStandardInputFile(QProcess::nullDevice());
    }

    ~QtStartedProcess() override {
        handlers_ = {};
        if (process_.state() != QProcess::NotRunning)
            EndChild(process_);
    }

    void start(const QString& program, const QStringList& arguments, int style) {
#ifdef Q_OS_WIN
        process_.setCreateProcessArgumentsModifier([style](QProcess::CreateProcessArguments* args) {
            args->flags |= CREATE_NO_WINDOW;
            args->startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
            args->startupInfo->wShowWindow = static_cast<WORD>(style);
        });
#else
        Q_UNUSED(style); // a show-window style means nothing to a child without windows here
#endif
        process_.start(program, arguments);
        // Finding out whether the program started takes only the exec; the wait for its end is
        // the one that must keep the window alive.
        if (!process_.waitForStarted(-1)) {
            ProcessResult failed;
            failed.exitCode = StartFailureCode(StartFailureNumber(program));
            QMetaObject::invokeMethod(
                this, [this, failed] { finish(failed); }, Qt::QueuedConnection);
        }
    }

    void stop() override {
        if (process_.state() == QProcess::NotRunning || stopped_)
            return;
        stopped_ = true;
        AskToEnd(process_);
        grace_.start(kStopGraceMs);
    }

private:
    void forwardOutput() {
        const QByteArray chunk = process_.readAllStandardOutput();
        if (!chunk.isEmpty() && handlers_.standardOutput)
            handlers_.standardOutput(chunk);
    }

    void report() {
        grace_.stop();
        if (handlers_.standardOutput)
            forwardOutput();
        ProcessResult result;
        result.crashed = process_.exitStatus() == QProcess::CrashExit;
        result.exitCode = process_.exitCode();
        result.standardError = process_.readAllStandardError();
        result.interrupted = stopped_;
        // Reported from the event loop rather than inside QProcess's signal, so that the handler
        // may destroy this object and its QProcess with it.
        QMetaObject::invokeMethod(
            this, [this, result] { finish(result); }, Qt::QueuedConnection);
    }

    void finish(const ProcessResult& result) {
        // The handler may destroy this object: nothing is touched after it.
        const auto finished = std::move(handlers_.finished);
        handlers_ = {};
        if (finished)
            finished(result);
    }

    ProcessHandlers handlers_;
    QProcess process_;
    QTimer grace_;
    bool stopped_ = false;
};

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

std::unique_ptr<StartedProcess> QtProcessRunner::start(const QString& program,
                                                       const QStringList& arguments,
                                                       std::optional<int> windowStyle,
                                                       ProcessHandlers handlers) {
    auto process = std::make_unique<QtStartedProcess>(std::move(handlers));
    process->start(program, arguments, SettleWindowStyle(windowStyle));
    return process;
}

} // namespace korvane
