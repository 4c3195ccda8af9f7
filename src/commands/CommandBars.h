#pragma once

#include <QIcon>
#include <QProxyStyle>
#include <QString>

class QAction;
class QWidget;

// Building blocks of the menu bar and the toolbar. Every entry is a QAction that carries its
// command id as its data, so one slot can dispatch whatever the user chose.
namespace korvane {

enum class ControlType { Button = 1, Popup = 2 };

inline constexpr int kToolbarIconSize = 48;
inline constexpr int kMenuIconSize = 16;
inline const QString kControlsCategory = QStringLiteral("Controls");

// The command's own artwork from the icon resource (":/icons/<id>.svg"); a null icon while the
// resource is not linked in.
QIcon CommandIcon(int commandId);

// While a run is in progress the toolbar's Start button stops it, with its own caption, icon and
// tooltip.
inline const QString kStartConvertingCaption = QStringLiteral("Start Converting");
inline const QString kStopConvertingCaption = QStringLiteral("Stop Converting");
inline const QString kStartConvertingMenuCaption = QStringLiteral("&Start Converting");
inline const QString kStopConvertingMenuCaption = QStringLiteral("&Stop Converting");
inline const QString kStopConvertingTip =
    QStringLiteral("Stop converting (Esc): the SWF files already made are kept");
QIcon StopConvertingIcon();

// Appends one control to a bar (a menu bar, a menu or a toolbar) and returns its action. A
// popup gets a menu of its own (action->menu()). With beginGroup a separator goes before it.
// The description becomes the status tip; style and category are kept as properties of the
// action for whoever inspects the bars.
QAction* AddMenuCommand(QWidget* bar, ControlType type, int commandId, const QString& caption,
                        bool beginGroup, const QString& description = QString(), int style = 0,
                        const QString& category = kControlsCategory);

// Gives a command its keyboard shortcut, if it has one: Ctrl+O adds files, Ctrl+Shift+O a folder,
// Ctrl+Return starts converting (and stops a run). Qt ignores a shortcut that two actions share,
// so the key goes on the menu entry where the command has one, and its toolbar button names it in
// its tooltip.
void GiveShortcut(QAction* action, int commandId);

// The command bars' own metrics: menus draw their icons at the size the menu artwork is drawn
// for, whatever the screen's scaling makes of the base style's choice; and the toolbar hugs its
// buttons, so the 48-pixel icons with their captions fit the band above the tab control.
class CommandBarsStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                    const QWidget* widget = nullptr) const override;
};

} // namespace korvane
