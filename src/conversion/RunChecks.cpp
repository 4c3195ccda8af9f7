#include "RunChecks.h"

#include "ConversionRun.h"
#include "FrameRate.h"
#include "util/Constants.h"
#include "util/PathHelpers.h"
#include "util/Seams.h"

#include "gif2swf/Limits.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryFile>

#include <filesystem>
#include <optional>
#include <system_error>

namespace korvane {

namespace {

constexpr int kMaxNamedMovies = 5;

// A folder as messages show it: full, native, without a trailing separator (a root keeps its).
QString FolderForMessages(const QString& folder) {
    return QDir::toNativeSeparators(QDir::cleanPath(QDir::fromNativeSeparators(folder)));
}

std::filesystem::path FileSystemPath(const QString& path) {
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

QString SystemReason(const std::error_code& error) {
    return QString::fromLocal8Bit(error.message().c_str());
}

// The frame rate the converter is given for the delay, read back as it reads the text; nothing
// when the delay gives none.
std::optional<double> RateTheConverterReads(const QString& delayText, const QLocale& locale) {
    const FrameRate rate = FrameRateFromDelay(delayText, locale);
    bool ok = false;
    const double framesPerSecond = QLocale::c().toDouble(rate.text, &ok);
    if (!rate.ok() || !ok)
        return std::nullopt;
    return framesPerSecond;
}

} // namespace

bool DelayGivesAcceptedRate(const QString& delayText, const QLocale& locale) {
    const std::optional<double> rate = RateTheConverterReads(delayText, locale);
    return rate && gif2swf::limits::rateAccepted(*rate);
}

QString TooManyImagesMessage(const QString& delayText, qsizetype entries, const QLocale& locale) {
    const std::optional<double> rate = RateTheConverterReads(delayText, locale);
    const uint32_t most = rate ? gif2swf::limits::mostImagesAtRate(*rate) : 0;
    if (most == 0 || entries <= qsizetype(most))
        return {};
    return QStringLiteral("With a delay of %1 seconds a movie holds at most %2 images; %3 are "
                          "listed.")
        .arg(locale.toString(ReadDelay(delayText, locale), 'g', 15),
             locale.toString(qulonglong(most)), locale.toString(qlonglong(entries)));
}

QString DelayOutOfRangeMessage() {
    return QStringLiteral("The delay between images must be a number of seconds from 0.004 to "
                          "256.\r\rPlease correct \"Delay between images (in seconds):\" on the "
                          "Conversion Options tab.");
}

QString ResolvedOutputFolder(const QString& folderText) {
    QString relative = QDir::fromNativeSeparators(folderText);
    if (!QDir::isRelativePath(relative))
        return folderText;
    // "~" and "~/..." name the home folder, as in shells; "~name" is an ordinary folder name.
    if (relative == QLatin1String("~"))
        relative.clear();
    else if (relative.startsWith(QLatin1String("~/")))
        relative = relative.mid(2);
    const QString home = QDir::toNativeSeparators(QDir::homePath());
    if (relative.isEmpty())
        return home;
    return RepairRootSeparator(home + QDir::separator() + QDir::toNativeSeparators(relative));
}

QString PrepareOutputFolder(const QString& folder) {
    std::error_code error;
    const std::filesystem::file_status status =
        std::filesystem::status(FileSystemPath(folder), error);
    if (status.type() == std::filesystem::file_type::not_found) {
        std::filesystem::create_directories(FileSystemPath(folder), error);
        if (error)
            return QStringLiteral("The folder %1 could not be created: %2.")
                .arg(FolderForMessages(folder), SystemReason(error));
    }
    const auto notUsable = [&](const QString& reason) {
        return QStringLiteral("The SWF files cannot be saved in %1: %2.")
            .arg(FolderForMessages(folder), reason);
    };
    if (status.type() != std::filesystem::file_type::not_found &&
        status.type() != std::filesystem::file_type::directory)
        return notUsable(
            SystemReason(error ? error : std::make_error_code(std::errc::not_a_directory)));
    // Only a file written there tells for sure: permissions, read-only mounts, network shares.
    QTemporaryFile probe(WithTrailingSeparator(folder) + QStringLiteral(".korvane-XXXXXX"));
    if (!probe.open())
        return notUsable(probe.errorString());
    return {};
}

QStringList MoviesToWrite(ConversionMode mode, const QStringList& entries,
                          const QString& manyToOneName) {
    if (mode == ConversionMode::ManyToOne)
        return {manyToOneName};
    if (mode != ConversionMode::OneToOne)
        return {};
    QStringList movies;
    QSet<QString> seen;
    for (const QString& entry : entries) {
        const QString movie = OneToOneMovieName(entry);
        if (!seen.contains(FileNameKey(movie))) {
            seen.insert(FileNameKey(movie));
            movies << movie;
        }
    }
    return movies;
}

QStringList ExistingMovies(const QString& folder, const QStringList& movieNames) {
    QStringList existing;
    for (const QString& movie : movieNames) {
        if (FileExists(OutputPath(folder, movie)))
            existing << movie;
    }
    return existing;
}

QString ReplaceQuestion(ConversionMode mode, const QString& folder, const QStringList& existing) {
    const QString shownFolder = FolderForMessages(folder);
    if (mode == ConversionMode::ManyToOne)
        return QStringLiteral("%1 already exists in %2. Replace it?")
            .arg(existing.value(0, kManyToOneMovieName), shownFolder);
    QStringList named = existing.mid(0, kMaxNamedMovies);
    if (existing.size() > kMaxNamedMovies)
        named << QStringLiteral("...");
    return QStringLiteral("%1 of the movies already exist in %2 (%3). Replace them?")
        .arg(QString::number(existing.size()), shownFolder, named.join(QStringLiteral(", ")));
}

bool CheckRun(ConversionRequest& request, Dialogs& dialogs, QWidget* owner) {
    if (request.entries.isEmpty() || request.outputFolderText.trimmed().isEmpty() ||
        request.mode == ConversionMode::None)
        return true;
    const bool manyToOne = request.mode == ConversionMode::ManyToOne;
    if (manyToOne) {
        const QString nameProblem = MovieNameProblem(request.movie.movieName);
        if (!nameProblem.isEmpty()) {
            dialogs.message(owner, nameProblem, MessageIcon::Exclamation, kAppTitle);
            return false;
        }
        request.movie.movieName = MovieFileName(request.movie.movieName);
    }
    if (manyToOne && !request.movie.ownTiming && !DelayGivesAcceptedRate(request.delayText)) {
        dialogs.message(owner, DelayOutOfRangeMessage(), MessageIcon::Exclamation, kAppTitle);
        return false;
    }
    if (manyToOne && !request.movie.ownTiming) {
        const QString tooMany = TooManyImagesMessage(request.delayText, request.entries.size());
        if (!tooMany.isEmpty()) {
            dialogs.message(owner, tooMany, MessageIcon::Exclamation, kAppTitle);
            return false;
        }
    }
    request.outputFolderText = ResolvedOutputFolder(request.outputFolderText);
    const QString folderProblem = PrepareOutputFolder(request.outputFolderText);
    if (!folderProblem.isEmpty()) {
        dialogs.message(owner, folderProblem, MessageIcon::Exclamation, kAppTitle);
        return false;
    }
    const QStringList existing =
        ExistingMovies(request.outputFolderText,
                       MoviesToWrite(request.mode, request.entries, request.movie.movieName));
    if (existing.isEmpty())
        return true;
    QStringList buttons{kReplaceButton};
    if (request.mode == ConversionMode::OneToOne)
        buttons << kSkipExistingButton;
    buttons << kCancelButton;
    const QString chosen = buttons.value(
        dialogs.choose(owner, ReplaceQuestion(request.mode, request.outputFolderText, existing),
                       kAppTitle, MessageIcon::Question, buttons));
    if (chosen == kSkipExistingButton) {
        for (const QString& movie : existing)
            request.moviesToKeep.insert(FileNameKey(movie));
    }
    return chosen == kReplaceButton || chosen == kSkipExistingButton;
}

} // namespace korvane
