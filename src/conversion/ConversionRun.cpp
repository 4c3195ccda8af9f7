#include "ConversionRun.h"

#include "ConverterProgress.h"
#include "ErrorReport.h"
#include "FrameRate.h"
#include "ProcessRunner.h"
#include "util/Constants.h"
#include "util/PathHelpers.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

#include <algorithm>
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

// The converter's exit status for an output it could not write.
constexpr int kOutputExitStatus = 3;
const QString kConverterPrefix = QStringLiteral("gif2swf: ");
const QString kWarningPrefix = QStringLiteral("warning: ");
const QString kCannotWriteOutput = QStringLiteral("cannot write output: ");

// The folder a movie goes to, as messages show it.
QString MovieFolder(const QString& outputPath) {
    return QDir::toNativeSeparators(QFileInfo(outputPath).absolutePath());
}

QString InvocationFailureReason(const ProcessResult& result, bool outputWritten,
                                const QString& errorLine) {
    if (IsStartFailureCode(result.exitCode)) {
        const int errorNumber =
            static_cast<int>(static_cast<std::uint32_t>(result.exitCode) - kStartFailureBase);
        return errorNumber == kProgramNotFound
                   ? QStringLiteral("the converter was not found")
                   : QStringLiteral("the converter could not be started");
    }
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

// The system's reason in a converter's line about an output it could not write.
QString WithoutCannotWrite(const QString& text) {
    return text.startsWith(kCannotWriteOutput) ? text.mid(kCannotWriteOutput.size()) : text;
}

// An entry's reason when its movie could not be written: the sentence as the entry's line goes on.
QString EntryNotWrittenReason(const QString& outputPath, const QString& systemReason) {
    const QString sentence = MovieNotWrittenReason(outputPath, systemReason);
    return sentence.left(1).toLower() + sentence.mid(1);
}

// The input that a converter's line (its program name already cut) begins with, if any. The
// converter joins a movie's folder and name with "/" on every platform.
QString NamedInput(const QString& line, const QStringList& inputs) {
    const QString plain = QDir::fromNativeSeparators(line);
    for (const QString& input : inputs) {
        if (plain.startsWith(QDir::fromNativeSeparators(input) + QLatin1Char(':')))
            return input;
    }
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

QString WithoutConverterPrefix(const QString& line, const QString& file) {
    QString text = line.startsWith(kConverterPrefix) ? line.mid(kConverterPrefix.size()) : line;
    if (!file.isEmpty() && NamedInput(text, {file}) == file &&
        text.mid(file.size(), 2) == QStringLiteral(": "))
        text = text.mid(file.size() + 2);
    return text;
}

QString MovieNotWrittenReason(const QString& outputPath, const QString& systemReason) {
    return QStringLiteral("The movie could not be written to %1: %2.")
        .arg(MovieFolder(outputPath), systemReason);
}

QList<ConversionFailure> JudgeInvocation(const QStringList& inputs, const QString& outputPath,
                                         const ProcessResult& result, bool outputWritten) {
    // The converter's line reads "gif2swf: FILE: what", FILE the input it stumbled on or the
    // output.
    const QString errorLine = WithoutConverterPrefix(ConverterErrorLine(result.standardError));
    const QString reason = InvocationFailureReason(result, outputWritten, errorLine);
    if (reason.isEmpty())
        return {};
    if (!result.crashed && result.exitCode == kOutputExitStatus && !errorLine.isEmpty()) {
        const QString systemReason =
            WithoutCannotWrite(WithoutConverterPrefix(errorLine, outputPath));
        if (inputs.size() > 1)
            return {{QString(), MovieNotWrittenReason(outputPath, systemReason)}};
        return {{inputs.value(0), EntryNotWrittenReason(outputPath, systemReason)}};
    }
    if (const QString named = NamedInput(errorLine, inputs); !named.isEmpty())
        return {{named, WithoutConverterPrefix(reason, named)}};
    if (inputs.size() == 1)
        return {{inputs.first(), reason}};
    // About the movie as a whole: one line, without the rate option the user never typed.
    QString movieReason = reason;
    if (movieReason.startsWith(QStringLiteral("-r ")))
        movieReason = movieReason.mid(movieReason.indexOf(QStringLiteral(": ")) + 2);
    return {{QString(), movieReason.left(1).toUpper() + movieReason.mid(1)}};
}

QList<ConversionFailure> ConverterWarnings(const QStringList& inputs,
                                           const QByteArray& standardError,
                                           const QStringList& outputs) {
    QList<ConversionFailure> warnings;
    const QStringList lines = QString::fromUtf8(standardError).split(QLatin1Char('\n'));
    for (const QString& raw : lines) {
        const QString line = WithoutConverterPrefix(raw.trimmed());
        const qsizetype at = line.indexOf(kWarningPrefix);
        if (at < 0)
            continue;
        QString input = NamedInput(line, inputs);
        const QString output = NamedInput(line, outputs);
        // What stands before "warning:" besides the input (a frame number, or the movie the
        // warning is about) stays; a warning about an input's own movie is about the input.
        QString about = line.left(at);
        if (!input.isEmpty()) {
            about = about.mid(input.size() + 2);
        } else if (!output.isEmpty() && outputs.size() == inputs.size()) {
            input = inputs.at(outputs.indexOf(output));
            about = about.mid(output.size() + 2);
        } else if (inputs.size() == 1) {
            input = inputs.first();
            about.clear();
        }
        warnings.append({input, about + line.mid(at + kWarningPrefix.size())});
    }
    return warnings;
}

namespace {

QString FailureLines(const QList<ConversionFailure>& failures) {
    QStringList lines;
    for (qsizetype i = 0; i < failures.size() && i < kMaxListedFailures; ++i)
        lines << (failures[i].input.isEmpty()
                      ? failures[i].reason
                      : failures[i].input + QStringLiteral(": ") + failures[i].reason);
    if (failures.size() > kMaxListedFailures)
        lines << QStringLiteral("and %1 more").arg(failures.size() - kMaxListedFailures);
    return lines.join(QLatin1Char('\r'));
}

const QString kConversionStopped = QStringLiteral("Conversion stopped.");

} // namespace

QString FailureMessage(const QList<ConversionFailure>& failures) {
    if (failures.isEmpty())
        return kConversionFailed;
    return kConversionFailed + QStringLiteral("\r\r") + FailureLines(failures);
}

QString SkippedPart(int skipped) {
    return skipped > 0 ? QStringLiteral("\r\rSkipped (movie already there): %1").arg(skipped)
                       : QString();
}

QString WarningsPart(const QList<ConversionFailure>& warnings) {
    return warnings.isEmpty() ? QString()
                              : QStringLiteral("\r\rWarnings:\r") + FailureLines(warnings);
}

QString OneToOneFailedMessage(int made, int entries, const QString& outputFolderText,
                              const QList<ConversionFailure>& notMade, int skipped) {
    QString text =
        QStringLiteral("SWF files made: %1 of %2, in ").arg(made).arg(entries - skipped) +
        outputFolderText + SkippedPart(skipped);
    if (!notMade.isEmpty())
        text += QStringLiteral("\r\rNot made:\r") + FailureLines(notMade);
    return text;
}

QString OneToOneStoppedMessage(int made, int entries, const QString& outputFolderText,
                               const QList<ConversionFailure>& notMade, int skipped) {
    return kConversionStopped + QStringLiteral("\r\r") +
           OneToOneFailedMessage(made, entries, outputFolderText, notMade, skipped);
}

QString ManyToOneStoppedMessage(const QString& outputPath, bool made) {
    return kConversionStopped +
           (made ? QStringLiteral("\r\rSWF file created: ")
                 : QStringLiteral("\r\rSWF file not created: ")) +
           outputPath;
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

int DefaultConverterCount() {
    return std::max(1, QThread::idealThreadCount());
}

// One converter invocation in flight.
struct ConversionRun::Job {
    int entry = 0;            // one to one, one file: the entry's number; otherwise 0
    QList<int> batch;         // one to one with --each: the entries, in the order reported
    QStringList batchOutputs; // their movies
    QList<FileStamp> batchBefore;
    qsizetype reported = 0; // the batch's entries that have their line
    QStringList inputs;
    QString outputPath;
    QString movieKey; // one to one: the FileNameKey of its movie
    FileStamp before;
    InputListFile list;
    QByteArray pendingOutput; // an unfinished line of the converter's progress report
    std::unique_ptr<StartedProcess> process;
};

ConversionRun::ConversionRun(ConversionRequest request, ProcessRunner& runner,
                             ConversionFeedback& feedback)
    : request_(std::move(request)), runner_(runner), feedback_(feedback) {}

ConversionRun::~ConversionRun() = default;

void ConversionRun::showOutcome(const QString& text, MessageIcon icon, const QString& movie) {
    if (!runOverReported_) {
        runOverReported_ = true;
        feedback_.runOver();
    }
    if (movie.isEmpty())
        feedback_.showMessage(text, icon, kAppTitle);
    else
        feedback_.showDone(text, movie, icon);
}

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

void ConversionRun::stop() {
    if (!waiting_ || stopping_)
        return;
    stopping_ = true;
    for (const auto& job : running_) {
        if (job->process) // null only while its start is still under way
            job->process->stop();
    }
    startEntries();
}

void ConversionRun::advanceProgress(double percent) {
    if (percent <= shownProgress_)
        return;
    shownProgress_ = percent;
    feedback_.setProgress(percent);
}

void ConversionRun::manyToOne() {
    QString outputPath;
    QStringList inputs;
    ConverterInvocation invocation;
    step(108,
         [&] { outputPath = OutputPath(request_.outputFolderText, request_.movie.movieName); });
    step(110, [&] { inputs.clear(); });
    const int count = static_cast<int>(request_.entries.size());
    for (int i = 1; i <= count; ++i) {
        QString entry;
        step(114, [&] { feedback_.setPointer(MousePointer::Busy); });
        step(116, [&] { advanceProgress(ListWalkPercent(i, count)); });
        step(118, [&] { entry = request_.entries.at(i - 1); });
        step(120, [&] { inputs << entry; });
    }
    step(128, [&] {
        const FrameRate rate =
            request_.movie.ownTiming ? FrameRate{} : FrameRateFromDelay(request_.delayText);
        if (!rate.ok()) {
            // Nothing runs without a frame rate; the inputs are reported as not converted.
            for (const QString& input : inputs)
                failures_.append({input, QStringLiteral("not converted: ") + rate.error});
            throw StepError(rate.error);
        }
        invocation = WithProgressReport(BuildConverterInvocation(
            ConversionMode::ManyToOne, ConverterPath(request_.applicationFolder), rate.text, inputs,
            outputPath, request_.movie));
    });
    step(132, [&] {
        if (invocation.commandLine.isEmpty())
            return;
        auto job = std::make_unique<Job>();
        job->inputs = inputs;
        job->outputPath = outputPath;
        launch(std::move(job), invocation);
        waitForConverters();
    });
    if (quitting_)
        return;
    step(134, [&] { feedback_.setPointer(MousePointer::Default); });
    step(136, [&] { feedback_.setProgress(0); });
    step(138, [&] {
        const QString warnings = WarningsPart(warnings_);
        if (stopping_)
            showOutcome(ManyToOneStoppedMessage(outputPath, manyToOneMade_), MessageIcon::None);
        else if (failures_.isEmpty())
            showOutcome(ManyToOneDoneMessage(outputPath) + warnings,
                        warnings.isEmpty() ? MessageIcon::None : MessageIcon::Exclamation,
                        outputPath);
        else
            showOutcome(FailureMessage(failures_) + warnings, MessageIcon::Exclamation);
    });
}

void ConversionRun::oneToOne() {
    const int count = static_cast<int>(request_.entries.size());
    entryFailures_.resize(count);
    entryWarnings_.resize(count);
    entryDone_.fill(false, count);
    startBatches();
    waitForConverters();
    if (!quitting_ && !stopping_) {
        queueOpen_ = true;
        startEntries();
        waitForConverters();
    }
    if (quitting_)
        return;
    if (stopping_) {
        for (int entry = 1; entry <= count; ++entry) {
            if (!entryDone_[entry - 1] && entryFailures_[entry - 1].isEmpty())
                entryFailures_[entry - 1].append(
                    {request_.entries.at(entry - 1), kStoppedBeforeConverting});
        }
    }
    QList<ConversionFailure> failures;
    for (const auto& entry : std::as_const(entryFailures_))
        failures += entry;
    QList<ConversionFailure> warnings;
    for (const auto& entry : std::as_const(entryWarnings_))
        warnings += entry;
    step(166, [&] {
        const QString folder = request_.outputFolderText;
        // A stop is no failure of a file; a file that failed before it still is.
        const bool failed =
            std::any_of(failures.cbegin(), failures.cend(), [](const ConversionFailure& failure) {
                return failure.reason != kStoppedWhileConverting &&
                       failure.reason != kStoppedBeforeConverting;
            });
        const MessageIcon icon =
            failed || !warnings.isEmpty() ? MessageIcon::Exclamation : MessageIcon::None;
        if (stopping_) {
            showOutcome(
                OneToOneStoppedMessage(madeMovies_, count, folder, failures, skippedMovies_) +
                    WarningsPart(warnings),
                icon);
        } else if (failures.isEmpty()) {
            showOutcome(OneToOneDoneMessage(folder) + SkippedPart(skippedMovies_) +
                            WarningsPart(warnings),
                        icon, firstMovie_);
        } else {
            showOutcome(
                OneToOneFailedMessage(madeMovies_, count, folder, failures, skippedMovies_) +
                    WarningsPart(warnings),
                icon);
        }
    });
}

void ConversionRun::startEntries() {
    // A step's error report is modal: a converter that ends meanwhile asks for more entries,
    // which this call then starts once the report is closed.
    if (starting_) {
        startAgain_ = true;
        return;
    }
    starting_ = true;
    do {
        startAgain_ = false;
        while (queueOpen_ && !stopping_ && !quitting_ && nextQueued_ < queue_.size() &&
               static_cast<int>(running_.size()) < std::max(1, request_.converters) &&
               startEntry(queue_[nextQueued_]))
            ++nextQueued_;
    } while (startAgain_);
    starting_ = false;
    if (loop_ && allDone())
        loop_->quit();
}

bool ConversionRun::startEntry(int entry) {
    // A movie this run made from another file is never written over, and the same file listed
    // again makes the same movie once more: either way the earlier entry's outcome decides.
    const QString pendingKey = FileNameKey(OneToOneMovieName(request_.entries.at(entry - 1)));
    for (const auto& job : running_) {
        if (job->movieKey == pendingKey)
            return false;
    }
    QString path;
    QString movieName;
    QString outputPath;
    ConverterInvocation invocation;
    step(150, [&] { path = request_.entries.at(entry - 1); });
    step(156, [&] { movieName = OneToOneMovieName(path); });
    step(158, [&] { outputPath = OutputPath(request_.outputFolderText, movieName); });
    const QString earlier = madeFrom_.value(FileNameKey(movieName));
    if (!earlier.isEmpty() && FileNameKey(earlier) != FileNameKey(path)) {
        entryFailed(entry, MovieAlreadyMadeReason(earlier));
        return true;
    }
    step(160, [&] {
        invocation = BuildConverterInvocation(ConversionMode::OneToOne,
                                              ConverterPath(request_.applicationFolder), {}, {path},
                                              outputPath, request_.movie);
    });
    auto job = std::make_unique<Job>();
    job->entry = entry;
    job->inputs = QStringList{path};
    job->outputPath = outputPath;
    job->movieKey = FileNameKey(movieName);
    step(162, [&] { launch(std::move(job), invocation); });
    return true;
}

void ConversionRun::startBatches() {
    const int count = static_cast<int>(entryFailures_.size());
    QSet<QString> named;
    QList<int> first;
    for (int entry = 1; entry <= count; ++entry) {
        const QString key = FileNameKey(OneToOneMovieName(request_.entries.at(entry - 1)));
        if (request_.moviesToKeep.contains(key)) {
            ++skippedMovies_;
            entryDone_[entry - 1] = true;
            entryFinished();
        } else if (named.contains(key) || !request_.manyFilesPerConverter) {
            queue_ << entry;
        } else {
            named.insert(key);
            first << entry;
        }
    }
    const int converters =
        first.isEmpty() ? 0 : std::clamp(request_.converters, 1, int(first.size()));
    for (int i = 0; i < converters && !stopping_ && !quitting_; ++i) {
        const qsizetype from = first.size() * i / converters;
        const qsizetype to = first.size() * (i + 1) / converters;
        launchBatch(first.mid(from, to - from));
    }
}

void ConversionRun::launchBatch(const QList<int>& entries) {
    QStringList inputs;
    auto job = std::make_unique<Job>();
    for (int entry : entries) {
        const QString input = request_.entries.at(entry - 1);
        inputs << input;
        job->batchOutputs << OutputPath(request_.outputFolderText, OneToOneMovieName(input));
        job->batchBefore << StampFile(job->batchOutputs.last());
    }
    job->batch = entries;
    job->inputs = inputs;
    ConverterInvocation invocation;
    step(160, [&] {
        invocation = BuildEachInvocation(ConverterPath(request_.applicationFolder),
                                         request_.outputFolderText, inputs, request_.movie);
    });
    step(162, [&] { launch(std::move(job), invocation); });
}

void ConversionRun::batchLine(Job& job, const QString& line) {
    if (job.reported >= job.batch.size())
        return;
    const int entry = job.batch[job.reported];
    const FileStamp before = job.batchBefore[job.reported];
    const QString outputPath = job.batchOutputs[job.reported];
    ++job.reported;
    const QString input = request_.entries.at(entry - 1);
    if (line.startsWith(QStringLiteral("ok "))) {
        if (WrittenSince(before, outputPath))
            entryMade(entry, outputPath);
        else
            entryFailed(entry, QStringLiteral("the converter wrote no output file"));
        return;
    }
    // "failed INPUT: REASON", the reason without the converter's name and the input's.
    QString reason = line.mid(line.indexOf(QLatin1Char(' ')) + 1);
    reason = WithoutConverterPrefix(reason, input);
    if (const QString why = WithoutConverterPrefix(reason, outputPath); why != reason)
        reason = EntryNotWrittenReason(outputPath, WithoutCannotWrite(why));
    entryFailed(entry, reason);
}

void ConversionRun::batchFinished(Job& job, const ProcessResult& result) {
    for (const ConversionFailure& warning :
         ConverterWarnings(job.inputs, result.standardError, job.batchOutputs)) {
        const qsizetype at = job.inputs.indexOf(warning.input);
        if (at >= 0)
            entryWarnings_[job.batch[at] - 1].append(warning);
    }
    if (job.reported >= job.batch.size())
        return;
    // The entry being converted when the batch ended; those after it were not started.
    const int current = job.batch[job.reported];
    const QString outputPath = job.batchOutputs[job.reported];
    const bool written = WrittenSince(job.batchBefore[job.reported], outputPath);
    if (result.interrupted) {
        // Stopped between renaming its movie into place and reporting it: the movie is whole.
        if (written)
            entryMade(current, outputPath);
        else
            entryFailed(current, kStoppedWhileConverting, false);
        for (qsizetype i = job.reported + 1; i < job.batch.size(); ++i)
            entryFailed(job.batch[i], kStoppedBeforeConverting, false);
        return;
    }
    const QList<ConversionFailure> failures =
        JudgeInvocation({request_.entries.at(current - 1)}, outputPath, result, written);
    entryFailed(current, failures.isEmpty() ? QStringLiteral("the converter ended without a report")
                                            : failures.first().reason);
    // The rest are converted one by one, as if the batch had not held them. The queue starts
    // only once every batch has ended, so none of it has started yet.
    queue_ += job.batch.mid(job.reported + 1);
    std::sort(queue_.begin(), queue_.end());
}

void ConversionRun::entryMade(int entry, const QString& outputPath) {
    if (entryDone_[entry - 1])
        return;
    entryDone_[entry - 1] = true;
    madeFrom_.insert(FileNameKey(GetFileName(outputPath)), request_.entries.at(entry - 1));
    ++madeMovies_;
    if (firstMadeEntry_ == 0 || entry < firstMadeEntry_) {
        firstMadeEntry_ = entry;
        firstMovie_ = outputPath;
    }
    entryFinished();
}

void ConversionRun::entryFailed(int entry, const QString& reason, bool finished) {
    if (entryDone_[entry - 1])
        return;
    entryFailures_[entry - 1].append({request_.entries.at(entry - 1), reason});
    // A file whose conversion was stopped is not finished: the bar keeps to the share of files
    // that were.
    if (finished) {
        entryDone_[entry - 1] = true;
        entryFinished();
    }
}

void ConversionRun::entryFinished() {
    ++finishedEntries_;
    step(148,
         [&] { advanceProgress(FinishedPercent(finishedEntries_, int(entryFailures_.size()))); });
}

void ConversionRun::launch(std::unique_ptr<Job> job, const ConverterInvocation& invocation) {
    ConverterInvocation run = invocation;
    if (!ArgumentsFit(run.program, run.arguments, request_.argumentSpace)) {
        if (!job->list.write(job->inputs)) {
            const QString reason = QStringLiteral("not converted: the list of inputs for the "
                                                  "converter cannot be written: ") +
                                   job->list.errorString();
            if (job->entry > 0) {
                entryFailed(job->entry, reason);
            } else if (!job->batch.isEmpty()) {
                for (int entry : std::as_const(job->batch))
                    entryFailed(entry, reason);
            } else {
                for (const QString& input : std::as_const(job->inputs))
                    failures_.append({input, reason});
            }
            return;
        }
        run = WithInputList(invocation, job->list.path());
    }
    job->before = StampFile(job->outputPath);
    Job* started = job.get();
    ProcessHandlers handlers;
    handlers.finished = [this, started](const ProcessResult& result) { finished(started, result); };
    if (!started->batch.isEmpty()) {
        handlers.standardOutput = [this, started](const QByteArray& piece) {
            started->pendingOutput += piece;
            qsizetype end = 0;
            while ((end = started->pendingOutput.indexOf('\n')) >= 0) {
                const QByteArray line = started->pendingOutput.left(end);
                started->pendingOutput.remove(0, end + 1);
                batchLine(*started, QString::fromUtf8(line));
            }
        };
    } else if (job->entry == 0) {
        handlers.standardOutput = [this, started](const QByteArray& piece) {
            if (const auto report = ReadProgressLines(started->pendingOutput, piece))
                advanceProgress(ConverterPercent(*report));
        };
    }
    running_.push_back(std::move(job));
    started->process =
        runner_.start(run.program, run.arguments, kHiddenWindow, std::move(handlers));
}

void ConversionRun::finished(Job* job, const ProcessResult& result) {
    const auto found = std::find_if(running_.begin(), running_.end(),
                                    [job](const auto& running) { return running.get() == job; });
    if (found == running_.end())
        return;
    const std::unique_ptr<Job> ended = std::move(*found);
    running_.erase(found);

    if (!ended->batch.isEmpty()) {
        batchFinished(*ended, result);
        startEntries();
        return;
    }
    QList<ConversionFailure> failures = JudgeInvocation(
        ended->inputs, ended->outputPath, result, WrittenSince(ended->before, ended->outputPath));
    (ended->entry == 0 ? warnings_ : entryWarnings_[ended->entry - 1]) +=
        ConverterWarnings(ended->inputs, result.standardError);
    // A converter that was stopped failed because of the stop, not because of its input.
    if (result.interrupted) {
        for (ConversionFailure& failure : failures)
            failure.reason = kStoppedWhileConverting;
    }
    if (ended->entry == 0) {
        failures_ += failures;
        manyToOneMade_ = failures.isEmpty();
    } else if (failures.isEmpty()) {
        entryMade(ended->entry, ended->outputPath);
    } else {
        entryFailed(ended->entry, failures.first().reason, !result.interrupted);
    }
    startEntries();
}

bool ConversionRun::allDone() const {
    return running_.empty() && (stopping_ || !queueOpen_ || nextQueued_ >= queue_.size());
}

void ConversionRun::waitForConverters() {
    if (!allDone()) {
        QEventLoop loop;
        loop_ = &loop;
        waiting_ = true;
        loop.exec();
        waiting_ = false;
        loop_ = nullptr;
    }
    if (allDone())
        return;
    // Only an application that is quitting ends every event loop: the converters end with it,
    // asked together first, and nothing more is started or shown.
    quitting_ = true;
    for (const auto& job : running_) {
        if (job->process)
            job->process->stop();
    }
    running_.clear();
}

} // namespace korvane
