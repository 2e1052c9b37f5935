// Where a companion window opens beside its owner: to the owner's right, else to its left, when the screen has room.
#pragma once

#include "image/bitmap.h"

#include <optional>

namespace vellicam {

struct ScreenPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const ScreenPoint&, const ScreenPoint&) = default;
};

// The top-left corner for a window of width × height (its frame included) beside the owner's frame `owner`, with
// `gap` pixels between them, inside the screen's free area `screen`: to the right when it fits there, else to the
// left; level with the owner's top, moved up as far as needed (never above the area's top) to stay on the screen.
// Nothing when it fits on neither side, or when a size is not positive: the caller leaves the window where it is.
[[nodiscard]] std::optional<ScreenPoint> PlaceBeside(
    const Rect& owner, int width, int height, const Rect& screen, int gap);

} // namespace vellicam
