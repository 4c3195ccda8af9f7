#include "CommandTable.h"

#include <QUrl>

namespace korvane {

CommandOperation OperationForCommand(int commandId) {
    switch (commandId) {
    case kToolbarAddFiles:
    case kMenuAddFiles:
        return CommandOperation::AddFiles;
    case kToolbarAddFolder:
    case kMenuAddFolder:
        return CommandOperation::AddFolder;
    case kToolbarStart:
    case kMenuStart:
        return CommandOperation::Start;
    case kToolbarClearList:
    case kMenuClearAll:
        return CommandOperation::ClearList;
    case kMenuClearSelected:
        return CommandOperation::ClearSelected;
    case kMenuExit:
        return CommandOperation::LeaveApplication;
    case kMenuHelp:
        return CommandOperation::Help;
    case kMenuLoadSample:
        return CommandOperation::LoadSample;
    case kMenuDemoVideo:
        return CommandOperation::PlayDemoVideo;
    case kMenuFaq:
        return CommandOperation::OpenFaqPage;
    case kMenuHomePage:
        return CommandOperation::OpenHomePage;
    case kMenuShowOptionsTab:
        return CommandOperation::ShowOptionsTab;
    case kMenuShowFilesTab:
        return CommandOperation::ShowFilesTab;
    case kMenuOpenMovie:
        return CommandOperation::OpenMovie;
    default:
        return CommandOperation::None;
    }
}

bool RefusedWhileConverting(CommandOperation operation) {
    switch (operation) {
    case CommandOperation::AddFiles:
    case CommandOperation::AddFolder:
    case CommandOperation::ClearSelected:
    case CommandOperation::ClearList:
    case CommandOperation::Start:
    case CommandOperation::LoadSample:
        return true;
    default:
        return false;
    }
}

bool IsStartCommand(int commandId) {
    return commandId == kToolbarStart || commandId == kMenuStart;
}

void DispatchCommand(int commandId, bool converting, CommandTarget& target) {
    const CommandOperation operation = OperationForCommand(commandId);
    if (operation == CommandOperation::None)
        return;
    if (converting && operation == CommandOperation::Start) {
        target.run(CommandOperation::Stop);
        return;
    }
    if (converting && RefusedWhileConverting(operation))
        return;
    target.run(operation);
}

QString GoToSiteCaption(const QString& siteAddress) {
    QString site = QUrl(siteAddress).host();
    if (!site.isEmpty())
        site[0] = site[0].toUpper();
    return QStringLiteral("&Go To ") + site + QStringLiteral(" For More Apps");
}

} // namespace korvane
