#include "ConverterInvocation.h"

#include "util/PathHelpers.h"

#include <QDir>

namespace korvane {

namespace {

QString Quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

QString ConverterPath(const QString& applicationFolder) {
#ifdef Q_OS_WIN
    const QString name = QStringLiteral("gif2swf.exe");
#else
    const QString name = QStringLiteral("gif2swf");
#endif
    return applicationFolder + QDir::separator() + name;
}

QStringList MovieArguments(const MovieOptions& options, bool rateGiven, qsizetype inputCount) {
    QStringList arguments;
    const bool loopsByItself = rateGiven || inputCount > 1;
    if (options.plays > kPlaysForEver || (options.plays == kPlaysForEver && !loopsByItself))
        arguments << QStringLiteral("--plays") << QString::number(options.plays);
    if (options.scalePercent != kNormalScale)
        arguments << QStringLiteral("--scale") << QString::number(options.scalePercent);
    if (options.background.rgb() != kDefaultBackground.rgb())
        arguments << QStringLiteral("--background") << ColourText(options.background);
    return arguments;
}

ConverterInvocation BuildConverterInvocation(ConversionMode mode, const QString& converterPath,
                                             const QString& frameRateText,
                                             const QStringList& inputs, const QString& outputPath,
                                             const MovieOptions& options) {
    ConverterInvocation invocation;
    invocation.program = converterPath;
    QString& line = invocation.commandLine;
    line = Quoted(converterPath);
    const bool rateGiven = mode == ConversionMode::ManyToOne && !options.ownTiming;
    if (rateGiven) {
        line += QStringLiteral(" -r ") + frameRateText;
        invocation.arguments << QStringLiteral("-r") << frameRateText;
    }
    for (const QString& argument : MovieArguments(options, rateGiven, inputs.size())) {
        line += QLatin1Char(' ') + argument;
        invocation.arguments << argument;
    }
    line += QLatin1Char(' ');
    invocation.firstInput = invocation.arguments.size();
    invocation.inputCount = inputs.size();
    for (const QString& input : inputs) {
        line += Quoted(input) + QLatin1Char(' ');
        invocation.arguments << input;
    }
    // The many-to-one line has two spaces before "-o": each input carries its own trailing one.
    if (mode == ConversionMode::ManyToOne)
        line += QLatin1Char(' ');
    line += QStringLiteral("-o ") + Quoted(outputPath);
    invocation.arguments << QStringLiteral("-o") << outputPath;
    return invocation;
}

ConverterInvocation BuildEachInvocation(const QString& converterPath, const QString& outputFolder,
                                        const QStringList& inputs, const MovieOptions& options) {
    ConverterInvocation invocation;
    invocation.program = converterPath;
    invocation.arguments = MovieArguments(options, false, 1);
    invocation.arguments << QStringLiteral("--each") << QStringLiteral("-d") << outputFolder;
    invocation.firstInput = invocation.arguments.size();
    invocation.inputCount = inputs.size();
    invocation.arguments << inputs;
    invocation.commandLine = Quoted(converterPath);
    for (const QString& argument : std::as_const(invocation.arguments))
        invocation.commandLine += QLatin1Char(' ') + Quoted(argument);
    return invocation;
}

ConverterInvocation WithInputList(const ConverterInvocation& invocation, const QString& listPath) {
    ConverterInvocation listed = invocation;
    const QStringList& all = invocation.arguments;
    listed.arguments = all.mid(0, invocation.firstInput);
    listed.arguments << QStringLiteral("-l") << listPath;
    listed.arguments << all.mid(invocation.firstInput + invocation.inputCount);
    listed.inputCount = 0;
    return listed;
}

ConverterInvocation WithProgressReport(const ConverterInvocation& invocation) {
    static const QString option = QStringLiteral("--progress");
    ConverterInvocation reporting = invocation;
    reporting.arguments.prepend(option);
    ++reporting.firstInput;
    const QString program = Quoted(invocation.program);
    if (reporting.commandLine.startsWith(program))
        reporting.commandLine.insert(program.size(), QLatin1Char(' ') + option);
    return reporting;
}

bool InputListFile::write(const QStringList& inputs) {
    file_.setFileTemplate(QDir::tempPath() + QStringLiteral("/korvane-inputs-XXXXXX.list"));
    if (!file_.open())
        return false;
    for (const QString& input : inputs) {
        // The bytes the converter would have received as an argument.
#ifdef Q_OS_WIN
        const QByteArray path = input.toUtf8();
#else
        const QByteArray path = QFile::encodeName(input);
#endif
        if (file_.write(path) != path.size() || !file_.putChar('\0'))
            return false;
    }
    // Closed but kept: the converter opens it by name (on Windows, an open file may be locked).
    if (!file_.flush())
        return false;
    file_.close();
    return file_.error() == QFileDevice::NoError;
}

QString OutputPath(const QString& outputFolderText, const QString& movieFileName) {
    return WithTrailingSeparator(outputFolderText) + movieFileName;
}

QString OneToOneMovieName(const QString& inputPath) {
    const QString fileName = GetFileName(inputPath);
    // A leading dot marks a hidden file, not an extension.
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString baseName = dot > 0 ? fileName.left(dot) : fileName;
    return baseName + QStringLiteral(".swf");
}

} // namespace korvane
