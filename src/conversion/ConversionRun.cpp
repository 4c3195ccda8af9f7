#include "ConversionRun.h"

#include "ErrorReport.h"
#include "FrameRate.h"
#include "ProcessRunner.h"
#include "util/Constants.h"
#include "util/PathHelpers.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

#include <stdexcept>

namespace korvane {

namespace {

// An error that a step raises; its text is the description the error report shows.
class StepError : public std::runtime_error {
public:
    explicit StepError(const QString& description)
        : std::runtime_error(description.toStdString()) {}
};

constexpr int kMaxListedFailures = 10;
// The window style the converter is started with: hidden.
constexpr int kHiddenWindow = 0;

QString InvocationFailureReason(const ProcessResult& result, bool outputWritten) {
    if (IsStartFailureCode(result.exitCode)) {
        const int errorNumber =
            static_cast<int>(static_cast<std::uint32_t>(result.exitCode) - kStartFailureBase);
        return errorNumber == kProgramNotFound
                   ? QStringLiteral("the converter was not found")
                   : QStringLiteral("the converter could not be started");
    }
    const QString errorLine = ConverterErrorLine(result.standardError);
    if (result.crashed)
        return QStringLiteral("the converter crashed") +
               (errorLine.isEmpty() ? QString() : QStringLiteral(": ") + errorLine);
    if (result.exitCode != 0)
        return errorLine.isEmpty()
                   ? QStringLiteral("the converter ended with exit status %1").arg(result.exitCode)
                   : errorLine;
    if (!outputWritten)
        return QStringLiteral("the converter wrote no output file");
    return {};
}

} // namespace

bool FileStamp::operator==(const FileStamp& other) const {
    return exists == other.exists && size == other.size && identity == other.identity &&
           modified == other.modified && metadataChanged == other.metadataChanged;
}

FileStamp StampFile(const QString& path) {
#ifdef Q_OS_UNIX
    // Qt's file times stop at milliseconds and carry no inode; a movie replaced within one tick
    // of the file system's clock would look untouched.
    struct stat status {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &status) != 0)
        return {};
    const auto nanoseconds = [](const timespec& time) {
        return qint64(time.tv_sec) * 1000000000 + time.tv_nsec;
    };
    return {true, qint64(status.st_size), quint64(status.st_ino), nanoseconds(status.st_mtim),
            nanoseconds(status.st_ctim)};
#else
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return {};
    return {true, info.size(), 0, info.lastModified().toMSecsSinceEpoch(),
            info.fileTime(QFileDevice::FileMetadataChangeTime).toMSecsSinceEpoch()};
#endif
}

bool WrittenSince(const FileStamp& before, const QString& path) {
    const FileStamp after = StampFile(path);
    return after.exists && !(after == before);
}

QString ConverterErrorLine(const QByteArray& standardError) {
    // The converter writes UTF-8 (on Windows too, where the local 8-bit encoding is not).
    const QStringList lines = QString::fromUtf8(standardError).split(QLatin1Char('\n'));
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        const QString trimmed = line->trimmed();
        if (!trimmed.isEmpty())
            return trimmed;
    }
    return {};
}

QList<ConversionFailure> JudgeInvocation(const QStringList& inputs, const ProcessResult& result,
                                         bool outputWritten) {
    const QString reason = InvocationFailureReason(result, outputWritten);
    if (reason.isEmpty())
        return {};
    QStringList blamed;
    if (inputs.size() > 1) {
        // The converter names the file it stumbled on first in its line: "gif2swf: FILE: text".
        const QString errorLine = ConverterErrorLine(result.standardError);
        for (const QString& input : inputs) {
            if (errorLine.contains(input + QLatin1Char(':')))
                blamed << input;
        }
    }
    if (blamed.isEmpty())
        blamed = inputs;
    QList<ConversionFailure> failures;
    for (const QString& input : blamed)
        failures.append({input, reason});
    return failures;
}

QString FailureMessage(const QList<ConversionFailure>& failures) {
    if (failures.isEmpty())
        return kConversionFailed;
    QStringList lines;
    for (qsizetype i = 0; i < failures.size() && i < kMaxListedFailures; ++i)
        lines << GetFileName(failures[i].input) + QStringLiteral(": ") + failures[i].reason;
    if (failures.size() > kMaxListedFailures)
        lines << QStringLiteral("and %1 more").arg(failures.size() - kMaxListedFailures);
    return kConversionFailed + QStringLiteral("\r\r") + lines.join(QLatin1Char('\r'));
}

QString ManyToOneDoneMessage(const QString& outputPath) {
    return QStringLiteral("Done.\r\rSWF file created: ") + outputPath;
}

QString OneToOneDoneMessage(const QString& outputFolderText) {
    return QStringLiteral("Done.\r\rOutput SWF files are located in ") + outputFolderText;
}

QString MovieAlreadyMadeReason(const QString& earlierInput) {
    return QStringLiteral("a movie of this name was already made from ") + earlierInput +
           QStringLiteral(" in this run");
}

ConversionRun::ConversionRun(ConversionRequest request, ProcessRunner& runner,
                             ConversionFeedback& feedback)
    : request_(std::move(request)), runner_(runner), feedback_(feedback) {}

void ConversionRun::step(int number, const std::function<void()>& action) {
    if (quitting_)
        return;
    try {
        action();
    } catch (const std::exception& error) {
        feedback_.showMessage(
            ErrorReportText(QString::fromStdString(error.what()), kStartLocation, number),
            MessageIcon::Exclamation, kErrorReportTitle);
    }
}

void ConversionRun::execute() {
    bool empty = false;
    step(102, [&] { empty = request_.entries.isEmpty(); });
    if (empty) {
        step(176, [&] { feedback_.showMessage(kNoFilesAdded, MessageIcon::None, kAppTitle); });
        return;
    }
    // An empty folder text would put the movies at the root of the file system.
    if (request_.outputFolderText.trimmed().isEmpty()) {
        feedback_.showMessage(kNoOutputFolder, MessageIcon::Exclamation, kAppTitle);
        return;
    }
    step(104, [&] { feedback_.setPointer(MousePointer::Busy); });
    ConversionMode mode = ConversionMode::None;
    step(106, [&] { mode = request_.mode; });
    if (mode == ConversionMode::ManyToOne)
        manyToOne();
    else if (mode == ConversionMode::OneToOne)
        oneToOne();
    // Closing steps, also when the application is quitting: the window may still be drawn.
    quitting_ = false;
    step(172, [&] { feedback_.setPointer(MousePointer::Default); });
    step(174, [&] { feedback_.setProgress(0); });
}

void ConversionRun::setProgress(int entry) {
    feedback_.setProgress(static_cast<double>(entry) / request_.entries.size() * 100.0);
}

void ConversionRun::manyToOne() {
    QString outputPath;
    QStringList inputs;
    ConverterInvocation invocation;
    step(108, [&] { outputPath = OutputPath(request_.outputFolderText, kManyToOneMovieName); });
    step(110, [&] { inputs.clear(); });
    const int count = static_cast<int>(request_.entries.size());
    for (int i = 1; i <= count; ++i) {
        QString entry;
        step(114, [&] { feedback_.setPointer(MousePointer::Busy); });
        step(116, [&] { setProgress(i); });
        step(118, [&] { entry = request_.entries.at(i - 1); });
        step(120, [&] { inputs << entry; });
    }
    step(128, [&] {
        const FrameRate rate = FrameRateFromDelay(request_.delayText);
        if (!rate.ok()) {
            // Nothing runs without a frame rate; the inputs are reported as not converted.
            for (const QString& input : inputs)
                failures_.append({input, QStringLiteral("not converted: ") + rate.error});
            throw StepError(rate.error);
        }
        invocation = BuildConverterInvocation(ConversionMode::ManyToOne,
                                              ConverterPath(request_.applicationFolder), rate.text,
                                              inputs, outputPath);
    });
    step(132, [&] {
        if (!invocation.commandLine.isEmpty())
            convert(invocation, inputs, outputPath);
    });
    step(134, [&] { feedback_.setPointer(MousePointer::Default); });
    step(136, [&] { feedback_.setProgress(0); });
    step(138, [&] {
        if (failures_.isEmpty())
            feedback_.showMessage(ManyToOneDoneMessage(outputPath), MessageIcon::None, kAppTitle);
        else
            feedback_.showMessage(FailureMessage(failures_), MessageIcon::None, kAppTitle);
    });
}

void ConversionRun::oneToOne() {
    const int count = static_cast<int>(request_.entries.size());
    for (int i = 1; i <= count && !quitting_; ++i) {
        QString path;
        QString movieName;
        QString outputPath;
        ConverterInvocation invocation;
        step(148, [&] { setProgress(i); });
        step(150, [&] { path = request_.entries.at(i - 1); });
        step(156, [&] { movieName = OneToOneMovieName(path); });
        step(158, [&] { outputPath = OutputPath(request_.outputFolderText, movieName); });
        // A movie this run made from another file is never written over; the same file listed
        // again makes the same movie and converts.
        const QString earlier = madeFrom_.value(FileNameKey(movieName));
        if (!earlier.isEmpty() && FileNameKey(earlier) != FileNameKey(path)) {
            failures_.append({path, MovieAlreadyMadeReason(earlier)});
            continue;
        }
        step(160, [&] {
            invocation = BuildConverterInvocation(ConversionMode::OneToOne,
                                                  ConverterPath(request_.applicationFolder), {},
                                                  {path}, outputPath);
        });
        step(162, [&] {
            if (convert(invocation, {path}, outputPath))
                madeFrom_.insert(FileNameKey(movieName), path);
        });
    }
    step(166, [&] {
        if (failures_.isEmpty())
            feedback_.showMessage(OneToOneDoneMessage(request_.outputFolderText), MessageIcon::None,
                                  kAppTitle);
        else
            feedback_.showMessage(FailureMessage(failures_), MessageIcon::None, kAppTitle);
    });
}

bool ConversionRun::convert(const ConverterInvocation& invocation, const QStringList& inputs,
                            const QString& outputPath) {
    InputListFile list;
    ConverterInvocation run = invocation;
    if (!ArgumentsFit(run.program, run.arguments, request_.argumentSpace)) {
        if (!list.write(inputs)) {
            const QString reason = QStringLiteral("not converted: the list of inputs for the "
                                                  "converter cannot be written: ") +
                                   list.errorString();
            for (const QString& input : inputs)
                failures_.append({input, reason});
            return false;
        }
        run = WithInputList(invocation, list.path());
    }
    const FileStamp before = StampFile(outputPath);
    const ProcessResult result = runner_.runAndWait(run.program, run.arguments, kHiddenWindow);
    if (result.interrupted) {
        quitting_ = true;
        return false;
    }
    const QList<ConversionFailure> failures =
        JudgeInvocation(inputs, result, WrittenSince(before, outputPath));
    failures_ += failures;
    return failures.isEmpty();
}

} // namespace korvane
