#include "CommandBars.h"

#include "CommandTable.h"

#include <QAction>
#include <QFile>
#include <QKeySequence>
#include <QMenu>
#include <QWidget>

namespace korvane {

namespace {

QIcon ResourceIcon(const QString& name) {
    const QString path = QStringLiteral(":/icons/%1.svg").arg(name);
    return QFile::exists(path) ? QIcon(path) : QIcon();
}

} // namespace

QIcon CommandIcon(int commandId) {
    return ResourceIcon(QString::number(commandId));
}

QIcon StopConvertingIcon() {
    return ResourceIcon(QStringLiteral("stop"));
}

QAction* AddMenuCommand(QWidget* bar, ControlType type, int commandId, const QString& caption,
                        bool beginGroup, const QString& description, int style,
                        const QString& category) {
    if (beginGroup) {
        auto* separator = new QAction(bar);
        separator->setSeparator(true);
        bar->addAction(separator);
    }
    QAction* action = nullptr;
    if (type == ControlType::Popup) {
        auto* menu = new QMenu(caption, bar);
        action = menu->menuAction();
    } else {
        action = new QAction(caption, bar);
        action->setIcon(CommandIcon(commandId));
    }
    action->setData(commandId);
    action->setStatusTip(description);
    action->setProperty("commandStyle", style);
    action->setProperty("commandCategory", category);
    bar->addAction(action);
    return action;
}

void GiveShortcut(QAction* action, int commandId) {
    const struct {
        int toolbarId;
        int menuId; // 0: the command has no menu entry
        QList<QKeySequence> keys;
    } shortcuts[] = {
        {kToolbarAddFiles, kMenuAddFiles, {QKeySequence(Qt::CTRL | Qt::Key_O)}},
        {kToolbarAddFolder, kMenuAddFolder, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O)}},
        {kNoCommand, kMenuOpenMovie, {QKeySequence(Qt::CTRL | Qt::Key_M)}},
        // The keypad's Enter too.
        {kToolbarStart,
         kMenuStart,
         {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)}},
    };
    for (const auto& command : shortcuts) {
        const bool onToolbar = commandId == command.toolbarId;
        if (commandId == command.menuId || (onToolbar && command.menuId == kNoCommand))
            action->setShortcuts(command.keys);
        if (onToolbar)
            action->setToolTip(action->text() + QStringLiteral(" (") +
                               command.keys.first().toString(QKeySequence::NativeText) +
                               QLatin1Char(')'));
    }
}

int CommandBarsStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                                  const QWidget* widget) const {
    switch (metric) {
    case PM_SmallIconSize:
        return kMenuIconSize;
    case PM_ToolBarFrameWidth:
    case PM_ToolBarItemMargin:
        return 0;
    default:
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
}

} // namespace korvane
