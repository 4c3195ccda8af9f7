#pragma once

#include "ArgumentSpace.h"
#include "ConverterInvocation.h"
#include "app/MousePointer.h"
#include "util/Constants.h"
#include "util/Seams.h"

#include <QEventLoop>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

// One conversion run, kept apart from the window: it works on a snapshot of the window's inputs
// and reports through a small feedback interface, so tests drive it with plain values.
namespace korvane {

// As many as the machine has cores, at least one.
int DefaultConverterCount();

// The window's inputs, read once when the run starts; changes made while it runs do not reach it.
struct ConversionRequest {
    QStringList entries; // full paths, in list order
    ConversionMode mode = ConversionMode::None;
    QString delayText;
    QString outputFolderText; // exactly as typed
    QString applicationFolder;
    MovieOptions movie{}; // its name as CheckRun leaves it: a valid file name with its .swf
    // More inputs than the platform's command line holds go to the converter in a list file.
    ArgumentSpace argumentSpace = PlatformArgumentSpace();
    // One to one: how many converters run at once, one per core.
    int converters = DefaultConverterCount();
    // One to one: many files to each converter process (--each); false: a process per file.
    bool manyFilesPerConverter = true;
    // One to one: the FileNameKeys of movies that stay as they are; their entries are skipped.
    QSet<QString> moviesToKeep = {};
};

// What a run shows on the window.
class ConversionFeedback {
public:
    virtual ~ConversionFeedback() = default;
    virtual void setPointer(MousePointer pointer) = 0;
    virtual void setProgress(double percent) = 0;
    virtual void showMessage(const QString& text, MessageIcon icon, const QString& title) = 0;
    // The message after a run that made every movie; `movie`: the one to offer a preview of.
    virtual void showDone(const QString& text, const QString& movie,
                          MessageIcon icon = MessageIcon::None) {
        Q_UNUSED(movie);
        showMessage(text, icon, kAppTitle);
    }
    // The converters are done: called once, before the outcome is shown.
    virtual void runOver() {}
};

// An output file's state, to tell a file this run wrote from one left over from an earlier run.
struct FileStamp {
    bool exists = false;
    qint64 size = 0;
    quint64 identity = 0; // the file's inode where the platform has one: a rename changes it
    qint64 modified = 0;  // in the finest unit the platform gives
    qint64 metadataChanged = 0;
    bool operator==(const FileStamp& other) const;
};
FileStamp StampFile(const QString& path);
// True when `path` exists and was created or replaced since `before` was taken. The file's own
// earlier state is the reference, not the clock: file systems stamp with a coarse clock that can
// lag the time the run began.
bool WrittenSince(const FileStamp& before, const QString& path);

// A movie that did not come out, or a warning about one: the input it is about (a full path;
// empty when it is about the movie as a whole) and why.
struct ConversionFailure {
    QString input;
    QString reason;
};

// Judges one converter invocation: exit status 0 and an output file it wrote are success; anything
// else gives a failure: of the input the converter's error line names, of the only input, or
// else of the movie as a whole (without an input; an output that cannot be written is always
// that in many to one).
QList<ConversionFailure> JudgeInvocation(const QStringList& inputs, const QString& outputPath,
                                         const ProcessResult& result, bool outputWritten);

// The converter's warnings on its error stream, each about the input it names, or whose movie
// (`outputs`, one per input) it names, or about the only input when it names nothing else.
QList<ConversionFailure> ConverterWarnings(const QStringList& inputs,
                                           const QByteArray& standardError,
                                           const QStringList& outputs = {});

// The converter's own error line: the last non-blank line of its error stream.
QString ConverterErrorLine(const QByteArray& standardError);

// A line of the converter in the user's words: without the program's name and without the file
// it names when that is `file`.
QString WithoutConverterPrefix(const QString& line, const QString& file = QString());

// "Conversion failed." and, after two carriage returns, one line per failure (full path and
// reason), at most ten, then "and N more".
QString FailureMessage(const QList<ConversionFailure>& failures);

// One to one's outcome when some entries made no movie: "SWF files made: M of N, in FOLDER" (N
// the entries not skipped), the skipped count, then "Not made:" with one line per entry.
QString OneToOneFailedMessage(int made, int entries, const QString& outputFolderText,
                              const QList<ConversionFailure>& notMade, int skipped = 0);

// "Skipped (movie already there): N" after two carriage returns; nothing when none was skipped.
QString SkippedPart(int skipped);
// "Warnings:" and one line per warning after two carriage returns; nothing when there is none.
QString WarningsPart(const QList<ConversionFailure>& warnings);

// After a stop, what was made and what was not: one to one counts the movies made and lists the
// entries that made none; many to one says whether its movie was created.
QString OneToOneStoppedMessage(int made, int entries, const QString& outputFolderText,
                               const QList<ConversionFailure>& notMade, int skipped = 0);
QString ManyToOneStoppedMessage(const QString& outputPath, bool made);
inline const QString kStoppedBeforeConverting = QStringLiteral("stopped before it was converted");
inline const QString kStoppedWhileConverting = QStringLiteral("stopped while it was converted");

inline const QString kNoFilesAdded = QStringLiteral("No files added.");
inline const QString kNoOutputFolder =
    QStringLiteral("Choose the folder for the SWF files on the Conversion Options tab.");
inline const QString kConversionFailed = QStringLiteral("Conversion failed.");
QString ManyToOneDoneMessage(const QString& outputPath);
QString OneToOneDoneMessage(const QString& outputFolderText);
// Why a movie could not be written: one line naming the folder, with the system's reason.
QString MovieNotWrittenReason(const QString& outputPath, const QString& systemReason);
// Why an entry was not converted when an earlier entry of the run, another file, already made a
// movie of the same name.
QString MovieAlreadyMadeReason(const QString& earlierInput);

// Runs the request to its end: pointer, progress, converter invocations, one outcome message.
// While converters run it waits in a local event loop, so the window stays live; one to one runs
// up to `converters` of them at once, and its outcome is still judged in list order.
class ConversionRun {
public:
    ConversionRun(ConversionRequest request, ProcessRunner& runner, ConversionFeedback& feedback);
    ~ConversionRun();
    void execute();
    // Ends the running converters the clean way and starts no more; the run then says what was
    // made and what was not. Does nothing unless the run is waiting for converters.
    void stop();

private:
    struct Job;
    // Runs one numbered step; an error it raises is reported with its number and the run goes
    // on with the next step.
    void step(int number, const std::function<void()>& action);
    // Tells the window the run is over, then shows the outcome; a run that made every movie
    // offers a preview of `movie`.
    void showOutcome(const QString& text, MessageIcon icon, const QString& movie = QString());
    void manyToOne();
    void oneToOne();
    // One to one: the first entry of each movie name goes to the converters in --each batches,
    // one per converter, each a contiguous share of the list. The entries whose movie name an
    // earlier entry has, and those a batch left without an outcome, follow one by one.
    void startBatches();
    void launchBatch(const QList<int>& entries);
    // One line of a batch's report: the outcome of its next entry.
    void batchLine(Job& job, const QString& line);
    void batchFinished(Job& job, const ProcessResult& result);
    // Starts the queued entries in list order while converters are free. An entry whose movie
    // name an entry still running has waits for that one's outcome. Ends the wait when all is
    // done.
    void startEntries();
    // False when the entry must wait; otherwise it started, or it was judged without running.
    bool startEntry(int entry);
    // Starts the converter for one job; its failures are collected when it ends. Inputs beyond
    // the argument space go in a list file that lives as long as the job.
    void launch(std::unique_ptr<Job> job, const ConverterInvocation& invocation);
    // One to one: an entry's outcome, once.
    void entryMade(int entry, const QString& outputPath);
    void entryFailed(int entry, const QString& reason, bool finished = true);
    void finished(Job* job, const ProcessResult& result);
    // Services events until every started converter has ended; notes when the application quits
    // meanwhile, and then ends the converters still running.
    void waitForConverters();
    bool allDone() const;
    // Moves the bar forward only: it never goes back while the run works.
    void advanceProgress(double percent);
    void entryFinished();

    ConversionRequest request_;
    ProcessRunner& runner_;
    ConversionFeedback& feedback_;
    std::vector<std::unique_ptr<Job>> running_;
    QList<ConversionFailure> failures_;
    QList<ConversionFailure> warnings_;
    // One to one: each entry's failures, reported in list order whatever order they ended in.
    QList<QList<ConversionFailure>> entryFailures_;
    QList<QList<ConversionFailure>> entryWarnings_;
    // One to one: the input each movie of this run was made from, by the movie's FileNameKey.
    QHash<QString, QString> madeFrom_;
    // One to one: the entries still to start one by one, in list order.
    QList<int> queue_;
    qsizetype nextQueued_ = 0;
    // Set once the batches have ended: before, an entry could meet its movie's first entry.
    bool queueOpen_ = false;
    QList<bool> entryDone_; // made, failed or skipped
    int finishedEntries_ = 0;
    int madeMovies_ = 0;
    // One to one: the movie of the first entry in list order that made one.
    int firstMadeEntry_ = 0;
    QString firstMovie_;
    int skippedMovies_ = 0;
    bool manyToOneMade_ = false;
    double shownProgress_ = 0;
    bool waiting_ = false;
    bool starting_ = false;
    bool startAgain_ = false;
    bool stopping_ = false;
    bool quitting_ = false;
    bool runOverReported_ = false;
    QEventLoop* loop_ = nullptr;
};

} // namespace korvane
