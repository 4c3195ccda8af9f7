#pragma once

#include <QString>

// The window's commands: the ids that menu entries and toolbar buttons carry, and the one table
// that turns an id into the operation it stands for. Kept free of widgets so the table can be
// checked row by row against a recording target.
namespace korvane {

// Toolbar buttons use the 1000 series and menu entries the 2000 series; the id is also the name
// of the command's icon. Popups carry id 0.
enum CommandId : int {
    kNoCommand = 0,
    kToolbarAddFiles = 1000,
    kToolbarAddFolder = 1001,
    kToolbarStart = 1002,
    kToolbarClearList = 1003,
    kMenuAddFiles = 2000,
    kMenuAddFolder = 2001,
    kMenuClearSelected = 2002,
    kMenuClearAll = 2003,
    kMenuExit = 2004,
    kMenuStart = 2005,
    kMenuHelp = 2007,
    kMenuLoadSample = 2008,
    kMenuDemoVideo = 2009,
    kMenuFaq = 2010,
    kMenuHomePage = 2011,
    kMenuShowOptionsTab = 2012,
    kMenuShowFilesTab = 2013,
    kMenuOpenMovie = 2014,
};

enum class CommandOperation {
    None,
    AddFiles,
    AddFolder,
    ClearSelected,
    ClearList,
    Start,
    Stop,
    LeaveApplication,
    Help,
    LoadSample,
    PlayDemoVideo,
    OpenFaqPage,
    OpenHomePage,
    ShowOptionsTab,
    ShowFilesTab,
    OpenMovie,
};

// The operation behind a command id; None for any id outside the table (popups, separators).
CommandOperation OperationForCommand(int commandId);

// Operations that change the file list or start a run: refused while a conversion runs, so a
// run never sees its list change underneath it and never nests inside another run.
bool RefusedWhileConverting(CommandOperation operation);

// What the dispatcher calls; the main window implements it, tests record it.
class CommandTarget {
public:
    virtual ~CommandTarget() = default;
    virtual void run(CommandOperation operation) = 0;
};

// Start Converting, on the toolbar or in the File menu: during a run it stops the run.
bool IsStartCommand(int commandId);

// Runs the operation for the id on the target; ids outside the table do nothing. When
// converting is true, Start stops the run instead, and the other operations that are refused
// during a run do nothing.
void DispatchCommand(int commandId, bool converting, CommandTarget& target);

// The caption of the last Help entry, naming the maker's site by its host name:
// "https://quenwick.example" gives "&Go To Quenwick.example For More Apps".
QString GoToSiteCaption(const QString& siteAddress);

} // namespace korvane
