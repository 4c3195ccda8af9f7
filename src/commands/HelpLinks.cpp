#include "HelpLinks.h"

#include "util/Constants.h"
#include "util/NameOrder.h"
#include "util/PathHelpers.h"

#include <QDir>

namespace korvane {

QString HelpMessageText() {
    return QStringLiteral("Questions? Please contact Team Quenwick at ") + kContactPage;
}

QString SamplesFolder(const QString& applicationFolder) {
    return applicationFolder + QDir::separator() + QStringLiteral("Samples") + QDir::separator();
}

QStringList SampleFilePaths(const QString& applicationFolder) {
    const QString folder = SamplesFolder(applicationFolder);
    QStringList names = ListFiles(folder, QStringLiteral("*.*"));
    SortAsFileManager(names);
    QStringList paths;
    for (const QString& name : names)
        paths.append(folder + name);
    return paths;
}

QString DemoVideoTarget(const QString& applicationFolder) {
    const QString folder =
        applicationFolder + QDir::separator() + QStringLiteral("Video") + QDir::separator();
    // Without QDir::Hidden and QDir::System only normal files are listed.
    const QStringList names =
        QDir(folder).entryList({QStringLiteral("*")}, QDir::Files, QDir::Unsorted);
    return folder + (names.isEmpty() ? QString() : names.first());
}

} // namespace korvane
