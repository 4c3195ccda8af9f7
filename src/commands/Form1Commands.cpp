// The command bars (menus and toolbar), the command dispatcher, help, samples and web links.
#include "app/Form1.h"

#include "CommandBars.h"
#include "CommandTable.h"
#include "HelpLinks.h"
#include "app/TabControl.h"
#include "conversion/ErrorReport.h"
#include "filelist/FileListView.h"
#include "preview/PreviewWindow.h"
#include "util/Constants.h"
#include "util/Seams.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QToolBar>
#include <QToolButton>

#include <exception>
#include <functional>

namespace korvane {

namespace {

QFont commandBarsFont() {
    return QFont(QStringLiteral("Calibri"), 11);
}

// The window's side of the dispatcher: each operation of the command table is a call on Form1.
class WindowCommands : public CommandTarget {
public:
    explicit WindowCommands(Form1& window, std::function<void()> leave)
        : window_(window), leave_(std::move(leave)) {}

    void run(CommandOperation operation) override {
        switch (operation) {
        case CommandOperation::AddFiles:
            window_.AddFiles();
            break;
        case CommandOperation::AddFolder:
            window_.AddFolder();
            break;
        case CommandOperation::ClearSelected:
            window_.ClearSelected();
            break;
        case CommandOperation::ClearList:
            window_.ClearList();
            break;
        case CommandOperation::Start:
            window_.Start();
            break;
        case CommandOperation::Stop:
            window_.Stop();
            break;
        case CommandOperation::LeaveApplication:
            leave_();
            break;
        case CommandOperation::Help:
            window_.Help();
            break;
        case CommandOperation::LoadSample:
            window_.LoadSample();
            break;
        case CommandOperation::PlayDemoVideo:
            window_.PlayDemoVideo();
            break;
        case CommandOperation::OpenFaqPage:
            window_.OpenFaqPage();
            break;
        case CommandOperation::OpenHomePage:
            window_.OpenHomePage();
            break;
        case CommandOperation::ShowOptionsTab:
            window_.TabControl1->setCurrentIndex(1);
            break;
        case CommandOperation::ShowFilesTab:
            window_.TabControl1->setCurrentIndex(0);
            break;
        case CommandOperation::OpenMovie:
            window_.OpenMovie();
            break;
        case CommandOperation::None:
            break;
        }
    }

private:
    Form1& window_;
    std::function<void()> leave_;
};

} // namespace

void Form1::CreateToolbar() {
    auto* barStyle = new CommandBarsStyle;
    barStyle->setParent(this);
    StandardToolBar->setStyle(barStyle);
    StandardToolBar->setMovable(false);
    StandardToolBar->setFloatable(false);
    StandardToolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    StandardToolBar->setIconSize(QSize(kToolbarIconSize, kToolbarIconSize));
    const struct {
        int id;
        const char* caption;
        int width;
    } buttons[] = {{kToolbarAddFiles, "Add Files", 100},
                   {kToolbarAddFolder, "Add Folder", 100},
                   {kToolbarClearList, "Clear List", 100},
                   {kToolbarStart, "Start Converting", 120}};
    for (const auto& button : buttons) {
        QAction* action = AddMenuCommand(StandardToolBar, ControlType::Button, button.id,
                                         QString::fromLatin1(button.caption), false);
        GiveShortcut(action, button.id);
        StandardToolBar->widgetForAction(action)->setFixedWidth(button.width);
    }
    StandardToolBar->setFont(commandBarsFont());
    MenuBar->setFont(commandBarsFont());
    placeCommandBars();
}

void Form1::CreateMenu() {
    auto* menuStyle = new CommandBarsStyle;
    menuStyle->setParent(this);
    const auto addPopup = [&](const QString& caption) {
        QMenu* menu =
            AddMenuCommand(MenuBar, ControlType::Popup, kNoCommand, caption, false)->menu();
        menu->setFont(commandBarsFont());
        menu->setStyle(menuStyle);
        return menu;
    };
    const auto addEntry = [](QMenu* menu, int id, const QString& caption, bool beginGroup) {
        GiveShortcut(AddMenuCommand(menu, ControlType::Button, id, caption, beginGroup), id);
    };

    QMenu* file = addPopup(QStringLiteral("&File"));
    addEntry(file, kMenuAddFiles, QStringLiteral("&Add Files"), false);
    addEntry(file, kMenuAddFolder, QStringLiteral("Add &Folder"), false);
    addEntry(file, kMenuOpenMovie, QStringLiteral("Open &Movie"), true);
    addEntry(file, kMenuClearSelected, QStringLiteral("&Clear Selected Files"), true);
    addEntry(file, kMenuClearAll, QStringLiteral("&Clear All Files"), false);
    addEntry(file, kMenuStart, kStartConvertingMenuCaption, true);
    addEntry(file, kMenuExit, QStringLiteral("&Exit"), true);

    QMenu* options = addPopup(QStringLiteral("&Options"));
    addEntry(options, kMenuShowOptionsTab, QStringLiteral("&Show &Options Tab"), false);
    addEntry(options, kMenuShowFilesTab, QStringLiteral("Show &Files Tab"), false);

    QMenu* help = addPopup(QStringLiteral("&Help"));
    addEntry(help, kMenuLoadSample, QStringLiteral("&Load Sample/Example Files To Test With"),
             false);
    addEntry(help, kMenuFaq, QStringLiteral("Quenwick &FAQ"), false);
    addEntry(help, kMenuDemoVideo, QStringLiteral("&Watch Old Demo Video"), false);
    addEntry(help, kMenuHelp, QStringLiteral("&Additional Help"), false);
    addEntry(help, kMenuHomePage, GoToSiteCaption(kMakerSite), false);

    // A run may already be going when the bars are built.
    enableListCommands(!conversionRunning());
    showStartOrStop(conversionRunning());
    placeCommandBars();
}

void Form1::CommandBars_Execute(int commandId) {
    WindowCommands commands(*this, [this] { Form_Unload(); });
    DispatchCommand(commandId, conversionRunning(), commands);
}

void Form1::OpenMovie() {
    const QString movie = services_.dialogs.openFile(this, QStringLiteral("Open Movie"),
                                                     QStringLiteral("Flash movies (*.swf)"));
    if (!movie.isEmpty())
        PreviewWindow::Open(movie, services_.dialogs, this);
}

void Form1::Help() {
    services_.dialogs.message(this, HelpMessageText(), MessageIcon::None, kAppTitle);
}

void Form1::LoadSample() {
    ListView1->append(SampleFilePaths(services_.applicationFolder));
    if (services_.dialogs.askYesNo(this, kSampleFolderQuestion, kAppTitle, MessageIcon::None))
        services_.shell.open(SamplesFolder(services_.applicationFolder));
}

void Form1::PlayDemoVideo() {
    services_.shell.open(DemoVideoTarget(services_.applicationFolder));
}

void Form1::OpenFaqPage() {
    services_.shell.open(kFaqPage);
}

void Form1::OpenHomePage() {
    services_.shell.open(kHomePage);
}

void Form1::PushButton1_Click() {
    // Each numbered step reports its own failure and the next step still runs.
    const auto report = [this](const std::exception& error, int step) {
        services_.dialogs.message(
            this, ErrorReportText(QString::fromLocal8Bit(error.what()), kPushButton1Location, step),
            MessageIcon::Exclamation, kErrorReportTitle);
    };
    QString address;
    try {
        address = kPlayerSearchPage; // step 100
    } catch (const std::exception& error) {
        report(error, 100);
    }
    try {
        services_.shell.open(address); // step 102
    } catch (const std::exception& error) {
        report(error, 102);
    }
}

void Form1::TabControl1_SelectedChanged() {
    StoreSetting(QStringLiteral("TabControl1"), QString::number(TabControl1->currentIndex()));
}

void Form1::connectCommandEvents() {
    const auto execute = [this](QAction* action) { CommandBars_Execute(action->data().toInt()); };
    connect(StandardToolBar, &QToolBar::actionTriggered, this, execute);
    connect(MenuBar, &QMenuBar::triggered, this, execute);
    connect(TabControl1, &QTabWidget::currentChanged, this, &Form1::TabControl1_SelectedChanged);
    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(this, &Form1::conversionRunningChanged, this, [this](bool running) {
        enableListCommands(!running);
        showStartOrStop(running);
    });
    // Escape stops a run as the toolbar's Stop button does; at other times it is left alone.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setEnabled(false);
    connect(escape, &QShortcut::activated, this, &Form1::Stop);
    connect(this, &Form1::conversionRunningChanged, escape, &QShortcut::setEnabled);
}

void Form1::enableListCommands(bool enabled) {
    QList<QAction*> actions = StandardToolBar->actions();
    actions += MenuBar->findChildren<QAction*>();
    for (QAction* action : actions) {
        const int id = action->data().toInt();
        // Start stays available: during a run it is the way to stop it.
        if (!IsStartCommand(id) && RefusedWhileConverting(OperationForCommand(id)))
            action->setEnabled(enabled);
    }
}

void Form1::showStartOrStop(bool running) {
    for (QAction* action : MenuBar->findChildren<QAction*>()) {
        if (action->data().toInt() != kMenuStart)
            continue;
        action->setText(running ? kStopConvertingMenuCaption : kStartConvertingMenuCaption);
        action->setIcon(running ? StopConvertingIcon() : CommandIcon(kMenuStart));
    }
    for (QAction* action : StandardToolBar->actions()) {
        if (action->data().toInt() != kToolbarStart)
            continue;
        action->setText(running ? kStopConvertingCaption : kStartConvertingCaption);
        action->setIcon(running ? StopConvertingIcon() : CommandIcon(kToolbarStart));
        if (running)
            action->setToolTip(kStopConvertingTip);
        else
            GiveShortcut(action, kToolbarStart); // its keys again, and the tooltip naming them
    }
}

} // namespace korvane
