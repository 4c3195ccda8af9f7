#include "MovieOptions.h"

#include <QFile>
#include <QRegularExpression>

#include <optional>

namespace korvane {

namespace {

std::optional<int> WholeNumberIn(const QString& text, int least, int most) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value < least || value > most)
        return std::nullopt;
    return value;
}

const QString kCorrectTheName =
    QStringLiteral("\r\rPlease correct \"Movie name:\" on the Conversion Options tab.");

} // namespace

int DefaultPlays(bool manyToOne) {
    return manyToOne ? kPlaysForEver : kPlaysAsTheGifSays;
}

std::optional<int> StoredPlays(const QString& text) {
    return WholeNumberIn(text, kPlaysAsTheGifSays, kMostPlays);
}

std::optional<int> StoredScale(const QString& text) {
    return WholeNumberIn(text, kSmallestScale, kLargestScale);
}

std::optional<QColor> StoredBackground(const QString& text) {
    static const QRegularExpression sixHexDigits(QStringLiteral("^[0-9A-Fa-f]{6}$"));
    const QString trimmed = text.trimmed();
    if (!sixHexDigits.match(trimmed).hasMatch())
        return std::nullopt;
    return QColor(QLatin1Char('#') + trimmed);
}

QString ColourText(const QColor& colour) {
    return colour.name(QColor::HexRgb).mid(1).toUpper();
}

QString MovieFileName(const QString& typedName) {
    static const QString extension = QStringLiteral(".swf");
    return typedName.endsWith(extension, Qt::CaseInsensitive) ? typedName : typedName + extension;
}

QString MovieNameProblem(const QString& typedName) {
    if (typedName.contains(QLatin1Char('/')) || typedName.contains(QLatin1Char('\\')))
        return QStringLiteral("The movie name \"%1\" names a folder. Type the movie's file name "
                              "alone; the folder is the one under \"Save Results To This "
                              "Folder\".")
                   .arg(typedName) +
               kCorrectTheName;
    // Names every system takes, so that a movie can be copied anywhere.
    static const QRegularExpression forbidden(QStringLiteral("[<>:\"|?*\\x00-\\x1F\\x7F]"));
    static const QRegularExpression deviceName(
        QStringLiteral("^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])(\\..*)?$"),
        QRegularExpression::CaseInsensitiveOption);
    const QString name = MovieFileName(typedName);
    const bool valid = !typedName.trimmed().isEmpty() && !forbidden.match(typedName).hasMatch() &&
                       !deviceName.match(name).hasMatch() && typedName != QLatin1String(".") &&
                       typedName != QLatin1String("..") && QFile::encodeName(name).size() <= 255;
    if (valid)
        return {};
    return QStringLiteral("\"%1\" is not a valid movie name: use a file name without < > : \" "
                          "| ? * or control characters, such as output.swf.")
               .arg(typedName) +
           kCorrectTheName;
}

} // namespace korvane
