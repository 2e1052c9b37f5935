// What the view's mouse signals carry: the button that changed, the buttons and keys held, and the point in the
// receiving widget's own coordinates.
#pragma once

#include <Qt>

class QMouseEvent;

namespace vellicam {

struct MouseArgs {
    Qt::MouseButton button = Qt::NoButton;
    Qt::MouseButtons buttons;
    Qt::KeyboardModifiers modifiers;
    int x = 0;
    int y = 0;
};

[[nodiscard]] MouseArgs MouseArgsOf(const QMouseEvent& event);

} // namespace vellicam
