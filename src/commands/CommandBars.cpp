#include "CommandBars.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QWidget>

namespace korvane {

QIcon CommandIcon(int commandId) {
    const QString path = QStringLiteral(":/icons/%1.svg").arg(commandId);
    return QFile::exists(path) ? QIcon(path) : QIcon();
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
