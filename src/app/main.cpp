#include "app/Form1.h"
#include "conversion/ProcessRunner.h"
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
    return app.exec();
}
