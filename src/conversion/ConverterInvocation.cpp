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

ConverterInvocation BuildConverterInvocation(ConversionMode mode, const QString& converterPath,
                                             const QString& frameRateText,
                                             const QStringList& inputs, const QString& outputPath) {
    ConverterInvocation invocation;
    invocation.program = converterPath;
    QString& line = invocation.commandLine;
    line = Quoted(converterPath);
    if (mode == ConversionMode::ManyToOne) {
        line += QStringLiteral(" -r ") + frameRateText + QLatin1Char(' ');
        invocation.arguments << QStringLiteral("-r") << frameRateText;
    } else {
        line += QLatin1Char(' ');
    }
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

QString OutputPath(const QString& outputFolderText, const QString& movieFileName) {
    return RepairRootSeparator(outputFolderText + QDir::separator() + movieFileName);
}

QString OneToOneMovieName(const QString& inputPath) {
    const QString fileName = GetFileName(inputPath);
    // A leading dot marks a hidden file, not an extension.
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString baseName = dot > 0 ? fileName.left(dot) : fileName;
    return baseName + QStringLiteral(".swf");
}

} // namespace korvane
