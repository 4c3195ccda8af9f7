#pragma once

#include <QTabWidget>

namespace korvane {

// The tab control. Its pages' children are placed in the tab control's own coordinates, as the
// window's design gives them, so the layout needs to know where a page starts inside it, also
// before the control has been shown and has laid out its pages.
class TabControl : public QTabWidget {
    Q_OBJECT
public:
    using QTabWidget::QTabWidget;
    QPoint pageOrigin() const;
};

} // namespace korvane
