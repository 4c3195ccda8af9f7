#include "TabControl.h"

#include <QStyle>
#include <QStyleOptionTabWidgetFrame>

namespace korvane {

QPoint TabControl::pageOrigin() const {
    QStyleOptionTabWidgetFrame option;
    initStyleOption(&option);
    return style()->subElementRect(QStyle::SE_TabWidgetTabContents, &option, this).topLeft();
}

} // namespace korvane
