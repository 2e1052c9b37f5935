// What the view's mouse handlers receive: the button that changed, the buttons and keys held, and the point in
// the receiving widget's own coordinates.
#pragma once

#include <QWidget>

#include <functional>

namespace vellicam {

struct MouseArgs {
    Qt::MouseButton button = Qt::NoButton;
    Qt::MouseButtons buttons;
    Qt::KeyboardModifiers modifiers;
    int x = 0;
    int y = 0;
};

// Sender is the widget that received the event (or the one a forwarder names).
using MouseHandler = std::function<void(QWidget* sender, const MouseArgs& args)>;

[[nodiscard]] MouseArgs MouseArgsOf(const class QMouseEvent& event);

} // namespace vellicam
