// The resize-grip control's geometry without a widget: grip places, and one drag step that moves or resizes the
// controlled control keeping its aspect, limits and bounds.
#pragma once

#include "geometry/view_geometry.h"

#include <array>
#include <string>

namespace vellicam {

inline constexpr int kGripInset = 7;
inline constexpr int kFrameMargin = 7; // the own area exceeds the controlled control by this on every side
inline constexpr int kGripSize = 7;
// The grips' tags, clockwise from the top-left corner, and the tag of the control's own area (what the owner also
// forwards from the controlled control). Plain ints: the widgets carry them, and a tag from outside is checked.
enum GripTag : int {
    kGripTopLeft = 0,
    kGripTop,
    kGripTopRight,
    kGripRight,
    kGripBottomRight,
    kGripBottom,
    kGripBottomLeft,
    kGripLeft,
    kGripWholeControl,
};
inline constexpr int kGripCount = kGripWholeControl; // the grip squares: every tag before the control's own

// Where a grip sits on the own area (column, row: 0 left/top, 1 centre, 2 right/bottom) and the factors that
// multiply the mouse displacement for the control's left, top, width and height.
struct GripFactors {
    int column = 0, row = 0;
    int leftFactor = 0, topFactor = 0, widthFactor = 0, heightFactor = 0;
};
// By tag (kGripWholeControl has no place: column, row 0). The corners resize; the edge centres and the control
// itself move.
inline constexpr std::array<GripFactors, 9> kGripFactors { {
    { 0, 0, 1, 1, -1, -1 }, // top-left: bottom-right corner fixed
    { 1, 0, 1, 1, 0, 0 }, { 2, 0, 0, 1, 1, -1 }, // top-right: bottom-left corner fixed
    { 2, 1, 1, 1, 0, 0 }, { 2, 2, 0, 0, 1, 1 }, // bottom-right: top-left corner fixed
    { 1, 2, 1, 1, 0, 0 }, { 0, 2, 1, 0, -1, 1 }, // bottom-left: top-right corner fixed
    { 0, 1, 1, 1, 0, 0 }, { 0, 0, 1, 1, 0, 0 }, // the control itself
} };

// The control's state between mouse events.
struct ResizeControlState {
    int grabX = 0, grabY = 0; // where the mouse grabbed the grip or the control, in that widget's coordinates
    int maxWidth = 0, maxHeight = 0;
    int minWidth = 0, minHeight = 0; // the controlled control must exceed these
    bool keepAspect = true;
    int lastWidth = 0, lastHeight = 0, lastTop = 0, lastLeft = 0; // last accepted geometry
    int aspectWidth = 0, aspectHeight = 0; // the size at attach time
    int boundWidth = 0, boundHeight = 0; // right and bottom bound of the position
};

// Stores the limits, the bounds and keepAspect; nothing moves until the next drag step.
void SetGripLimits(ResizeControlState& state, int maxWidth, int maxHeight, int minWidth, int minHeight, int boundWidth,
    int boundHeight, bool keepAspect);

// The own area around a controlled control: FrameMargin larger on every side.
[[nodiscard]] ControlBounds OwnAreaOf(const ControlBounds& control);

// Attaching: records the control's geometry as the last accepted one and its size as the aspect to keep.
// Returns the own area's bounds.
ControlBounds Attach(ResizeControlState& state, const ControlBounds& control);

// A drag step's outcome.
struct GripMove {
    ControlBounds control; // the controlled control's new bounds
    ControlBounds ownArea; // control ± FrameMargin
    bool aspectStep = false; // the aspect, bounds and limits were applied
    // The step's factored displacements, for the hint: after the aspect step as computed there; on the free path
    // the displacements applied; 0 when the out-of-range guard restored the last geometry.
    int widthChange = 0, heightChange = 0, leftChange = 0, topChange = 0;
};

enum GripMoveResult : int {
    kGripMoved = 0,
    kGripBadTag = -1, // a tag outside kGripTopLeft..kGripWholeControl
};

// One geometry step of a drag: the mouse is at (x, y) in the coordinates of the grip (or the control) with `tag`, which
// was grabbed at (grabX, grabY). Updates the last* fields when the aspect step runs. Refuses a bad tag, leaving state
// and `move` untouched.
[[nodiscard]] int Move(ResizeControlState& state, const ControlBounds& control, int tag, int x, int y, GripMove& move);

struct GripPosition {
    int left = 0, top = 0;
    friend bool operator==(const GripPosition&, const GripPosition&) = default;
};
// The eight grips' places (index = tag) around the own area (ownLeft, ownTop, ownWidth × ownHeight).
[[nodiscard]] std::array<GripPosition, kGripCount> MoveGrips(int ownLeft, int ownTop, int ownWidth, int ownHeight);

// The hint after a step: "X: %d, Y: %d (%d %d)" for the control itself (its left, top and the mouse x, y), or
// "LX: %d, TY: %d W:%d H:%d nwx:%d nhy:%d mx:%d my:%d" for a grip.
[[nodiscard]] std::string ResizeHintText(int tag, const GripMove& move, int x, int y);

} // namespace vellicam
