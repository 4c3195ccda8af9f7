#include "ProcessRunner.h"

#include <QEventLoop>
#include <QProcess>

namespace korvane {

ProcessResult QtProcessRunner::runAndWait(const QString& program, const QStringList& arguments,
                                          std::optional<int> /*windowStyle*/)
{
    QProcess process;
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&loop](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            loop.quit();
    });
    process.start(program, arguments);
    if (process.state() != QProcess::NotRunning || process.error() != QProcess::FailedToStart)
        loop.exec();
    ProcessResult result;
    if (process.error() == QProcess::FailedToStart) {
        result.exitCode = static_cast<int>(0x80040000u + 53u);
        return result;
    }
    result.exitCode = process.exitCode();
    result.standardError = process.readAllStandardError();
    return result;
}

} // namespace korvane
