#include "geometry/window_placement.h"

#include <algorithm>

namespace vellicam {

std::optional<ScreenPoint> PlaceBeside(const Rect& owner, int width, int height, const Rect& screen, int gap)
{
    if (width <= 0 || height <= 0 || screen.Width() <= 0 || screen.Height() <= 0 || gap < 0)
        return std::nullopt;
    if (height > screen.Height())
        return std::nullopt;
    // Level with the owner where the screen allows, and never above the area's top.
    const int top = std::max(screen.top, std::min(owner.top, screen.bottom - height));
    // 64-bit sums: a far-off owner must not wrap into a place that seems to fit.
    const long long rightLeft = static_cast<long long>(owner.right) + gap;
    if (rightLeft >= screen.left && rightLeft + width <= screen.right)
        return ScreenPoint { static_cast<int>(rightLeft), top };
    const long long leftLeft = static_cast<long long>(owner.left) - gap - width;
    if (leftLeft >= screen.left && leftLeft + width <= screen.right)
        return ScreenPoint { static_cast<int>(leftLeft), top };
    return std::nullopt;
}

} // namespace vellicam
