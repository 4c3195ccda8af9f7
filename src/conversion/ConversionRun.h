#pragma once

#include "ArgumentSpace.h"
#include "ConverterInvocation.h"
#include "app/MousePointer.h"
#include "util/Seams.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// One conversion run, kept apart from the window: it works on a snapshot of the window's inputs
// and reports through a small feedback interface, so tests drive it with plain values.
namespace korvane {

// The window's inputs, read once when the run starts; changes made while it runs do not reach it.
struct ConversionRequest {
    QStringList entries; // full paths, in list order
    ConversionMode mode = ConversionMode::None;
    QString delayText;
    QString outputFolderText; // exactly as typed
    QString applicationFolder;
    // More inputs than the platform's command line holds go to the converter in a list file.
    ArgumentSpace argumentSpace = PlatformArgumentSpace();
};

// What a run shows on the window.
class ConversionFeedback {
public:
    virtual ~ConversionFeedback() = default;
    virtual void setPointer(MousePointer pointer) = 0;
    virtual void setProgress(double percent) = 0;
    virtual void showMessage(const QString& text, MessageIcon icon, const QString& title) = 0;
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

// A movie that did not come out: the input it is blamed on and why.
struct ConversionFailure {
    QString input; // a full path
    QString reason;
};

// Judges one converter invocation: exit status 0 and an output file it wrote are success; anything
// else gives one failure per input to blame. Many to one blames the inputs that the converter's
// error line names, or every input when it names none.
QList<ConversionFailure> JudgeInvocation(const QStringList& inputs, const ProcessResult& result,
                                         bool outputWritten);

// The converter's own error line: the last non-blank line of its error stream.
QString ConverterErrorLine(const QByteArray& standardError);

// "Conversion failed." and, after two carriage returns, one line per failure (file name and
// reason), at most ten, then "and N more".
QString FailureMessage(const QList<ConversionFailure>& failures);

inline const QString kNoFilesAdded = QStringLiteral("No files added.");
inline const QString kNoOutputFolder =
    QStringLiteral("Choose the folder for the SWF files on the Conversion Options tab.");
inline const QString kConversionFailed = QStringLiteral("Conversion failed.");
QString ManyToOneDoneMessage(const QString& outputPath);
QString OneToOneDoneMessage(const QString& outputFolderText);
// Why an entry was not converted when an earlier entry of the run, another file, already made a
// movie of the same name.
QString MovieAlreadyMadeReason(const QString& earlierInput);

// Runs the request to its end: pointer, progress, converter invocations, one outcome message.
class ConversionRun {
public:
    ConversionRun(ConversionRequest request, ProcessRunner& runner, ConversionFeedback& feedback);
    void execute();

private:
    // Runs one numbered step; an error it raises is reported with its number and the run goes
    // on with the next step.
    void step(int number, const std::function<void()>& action);
    void manyToOne();
    void oneToOne();
    // Runs one invocation and collects its failures; notes when the application is quitting.
    // Inputs beyond the argument space go in a list file that lives as long as the call.
    // True when the movie was written.
    bool convert(const ConverterInvocation& invocation, const QStringList& inputs,
                 const QString& outputPath);
    void setProgress(int entry);

    ConversionRequest request_;
    ProcessRunner& runner_;
    ConversionFeedback& feedback_;
    QList<ConversionFailure> failures_;
    // One to one: the input each movie of this run was made from, by the movie's FileNameKey.
    QHash<QString, QString> madeFrom_;
    bool quitting_ = false;
};

} // namespace korvane
