#pragma once

#include "ConverterInvocation.h"

#include <QLocale>
#include <QString>
#include <QStringList>

class QWidget;

// What Start checks before anything is converted or changes on the window: the delay, the output
// folder and the movies a run would replace. Each decision is a plain function; CheckRun puts
// them together with the window's dialogs.
namespace korvane {

class Dialogs;
struct ConversionRequest;

// True when the delay text, read as the run reads it, gives a frame rate the converter accepts
// (gif2swf/Limits.h).
bool DelayGivesAcceptedRate(const QString& delayText, const QLocale& locale = QLocale());

// Many to one: the message shown instead of running when more entries are listed than a movie
// holds at the delay's rate, in the user's terms; empty when they fit.
QString TooManyImagesMessage(const QString& delayText, qsizetype entries,
                             const QLocale& locale = QLocale());

// Shown instead of running when the delay gives no accepted rate; names the delay box by its
// label and the delays in seconds that are accepted.
QString DelayOutOfRangeMessage();

// The output folder the run works with: a relative folder is taken relative to the user's home
// folder, so that it does not depend on where the application was started from; "~" is the home
// folder itself.
QString ResolvedOutputFolder(const QString& folderText);

// Creates the folder with its parents when it is missing and tests that a file can be written
// in it. The empty text when it is ready; otherwise the message that says why it is not.
QString PrepareOutputFolder(const QString& folder);

// The file names of the movies a run would write, in list order, each once: `manyToOneName` for
// many to one, one movie per entry for one to one.
QStringList MoviesToWrite(ConversionMode mode, const QStringList& entries,
                          const QString& manyToOneName = kManyToOneMovieName);

// Those of the movie names that already exist in the folder.
QStringList ExistingMovies(const QString& folder, const QStringList& movieNames);

// The question asked before existing movies are replaced (many to one names its movie), and its
// answers: Skip Existing (one to one only) converts only the entries whose movie is not there yet.
inline const QString kReplaceButton = QStringLiteral("Replace");
inline const QString kSkipExistingButton = QStringLiteral("Skip Existing");
inline const QString kCancelButton = QStringLiteral("Cancel");
QString ReplaceQuestion(ConversionMode mode, const QString& folder, const QStringList& existing);

// Runs the checks in order, telling the user through the dialogs; true when the run may go on.
// The request's output folder becomes the resolved one, its movie name the file name used, and
// its movies to keep those the user chose to skip. A request that the run itself turns away (no
// entries, no folder, no mode) passes unchecked.
bool CheckRun(ConversionRequest& request, Dialogs& dialogs, QWidget* owner);

} // namespace korvane
