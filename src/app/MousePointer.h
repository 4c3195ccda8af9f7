#pragma once

// The main window's one pointer, by the codes the window has always used.
namespace korvane {

enum class MousePointer { Default = 0, Busy = 11, Hand = 99 };

// What the hover rule makes of the window's pointer when the mouse moves over a control: the
// hand over the push buttons, the arrow elsewhere, and never a change while it is busy.
inline MousePointer HoverPointer(MousePointer current, bool overPushButton) {
    if (current == MousePointer::Busy)
        return current;
    return overPushButton ? MousePointer::Hand : MousePointer::Default;
}

} // namespace korvane
