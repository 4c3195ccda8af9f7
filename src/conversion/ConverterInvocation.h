#pragma once

#include "MovieOptions.h"

#include <QString>
#include <QStringList>
#include <QTemporaryFile>

// How the converter is called: one function renders the command line that the user and the tests
// read, and the program with its argument list that actually runs, from the same pieces.
namespace korvane {

enum class ConversionMode { None, ManyToOne, OneToOne };

struct ConverterInvocation {
    QString commandLine; // the quoted text with every input, for display and logging only
    QString program;
    QStringList arguments;    // passed as they are, never through a shell
    qsizetype firstInput = 0; // where the inputs are among the arguments
    qsizetype inputCount = 0;
};

// The converter beside the application: the application folder, a separator and the program's
// name. Not normalised: a converter at a root keeps its doubled separator.
QString ConverterPath(const QString& applicationFolder);

// Many to one: "-r" and `frameRateText` (none with the GIFs' own timing), the movie options, all
// `inputs` in order, then "-o" and the output path. One to one: the movie options, the one
// input, then "-o" and the output path; no frame rate is passed. The movie options add
// arguments only where they differ from what the converter does by itself (MovieArguments).
ConverterInvocation BuildConverterInvocation(ConversionMode mode, const QString& converterPath,
                                             const QString& frameRateText,
                                             const QStringList& inputs, const QString& outputPath,
                                             const MovieOptions& options = {});

// One to one for many inputs in one process: the movie options as for one input, "--each",
// "-d" and the output folder, then the inputs. The converter makes OutputPath(folder,
// OneToOneMovieName(input)) of each and reports each on a line of its standard output, in order.
ConverterInvocation BuildEachInvocation(const QString& converterPath, const QString& outputFolder,
                                        const QStringList& inputs,
                                        const MovieOptions& options = {});

// The converter's arguments for the movie options: "--plays N" unless the converter plays
// the movie so by itself (as the GIF says; for ever with a rate or several inputs),
// "--scale PERCENT" and "--background RRGGBB" unless they are 100 and white.
QStringList MovieArguments(const MovieOptions& options, bool rateGiven, qsizetype inputCount);

// The same invocation with its inputs handed over in a list file: "-l" and the list's path take
// the inputs' place among the arguments.
ConverterInvocation WithInputList(const ConverterInvocation& invocation, const QString& listPath);

// The same invocation asking the converter to report its progress on its standard output:
// "--progress" goes first among the arguments.
ConverterInvocation WithProgressReport(const ConverterInvocation& invocation);

// The converter's input list: the paths, each ended by a NUL byte, in a temporary file that is
// removed when this object goes, whichever way its scope is left.
class InputListFile {
public:
    // Writes the list into the temporary folder; false, with errorString(), when it cannot.
    bool write(const QStringList& inputs);
    QString path() const { return file_.fileName(); }
    QString errorString() const { return file_.errorString(); }

private:
    QTemporaryFile file_;
};

// The output folder text joined with a movie name by one separator: a folder that ends in one
// gets no second.
QString OutputPath(const QString& outputFolderText, const QString& movieFileName);

// The one-to-one movie name for an input: its file name with the extension cut inside the file
// name only, plus ".swf". A file name without an extension keeps its whole name.
QString OneToOneMovieName(const QString& inputPath);

} // namespace korvane
