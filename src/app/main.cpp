#include "app/Form1.h"
#include "conversion/ProcessRunner.h"
#include "preview/PreviewWindow.h"
#include "util/QtSeams.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    korvane::QtDialogs dialogs;
    korvane::QtShell shell;
    korvane::QtProcessRunner runner;
    korvane::SeededChance chance;
    korvane::Form1 window({dialogs, shell, runner, chance, QCoreApplication::applicationDirPath()});
    window.Form_Load();
    window.show();
    // `korvane MOVIE.swf` opens the movie in a preview beside the window.
    for (const QString& argument : QCoreApplication::arguments().mid(1)) {
        if (korvane::IsMovieFile(argument))
            korvane::PreviewWindow::Open(argument, dialogs, &window);
        else if (argument.endsWith(QStringLiteral(".swf"), Qt::CaseInsensitive))
            dialogs.message(&window, QStringLiteral("%1 cannot be found.").arg(argument),
                            korvane::MessageIcon::Exclamation, korvane::kPreviewTitle);
    }
    return app.exec();
}
