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
inline constexpr int kGripCount = 8; // tags 0..7, clockwise from the top-left corner
inline constexpr int kControlTag = 8; // the control's own area, and what the owner forwards from the controlled one

// Position factors (px, py: 0 left/top, 1 centre, 2 right/bottom) and the factors that multiply the mouse
// displacement for left, top, width and height.
struct GripFactors {
    int px = 0, py = 0;
    int kL = 0, kT = 0, kW = 0, kH = 0;
};
// Tags 0..8 (8 has no place: px, py 0). Corners 0, 2, 4, 6 resize; edge centres and 8 move.
inline constexpr std::array<GripFactors, 9> kGripTable { {
    { 0, 0, 1, 1, -1, -1 }, // top-left: bottom-right corner fixed
    { 1, 0, 1, 1, 0, 0 }, { 2, 0, 0, 1, 1, -1 }, // top-right: bottom-left corner fixed
    { 2, 1, 1, 1, 0, 0 }, { 2, 2, 0, 0, 1, 1 }, // bottom-right: top-left corner fixed
    { 1, 2, 1, 1, 0, 0 }, { 0, 2, 1, 0, -1, 1 }, // bottom-left: top-right corner fixed
    { 0, 1, 1, 1, 0, 0 }, { 0, 0, 1, 1, 0, 0 }, // the control itself
} };

// The control's state between mouse events.
struct ResizeControlState {
    int DownX = 0, DownY = 0; // where the mouse grabbed the Sender, in its coordinates
    int MaxWidth = 0, MaxHeight = 0;
    int MinWidth = 0, MinHeight = 0; // the controlled control must exceed these
    bool KeepAspect = true;
    int LastWidth = 0, LastHeight = 0, LastTop = 0, LastLeft = 0; // last accepted geometry
    int AspectWidth = 0, AspectHeight = 0; // the size at attach time
    int BoundWidth = 0, BoundHeight = 0; // right and bottom bound of the position
};

// Stores the limits, the bounds and KeepAspect; nothing moves until the next drag step.
void SetXYSize(ResizeControlState& state, int maxWidth, int maxHeight, int minWidth, int minHeight, int boundWidth,
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
    int nwx = 0, nhy = 0, mx = 0, my = 0;
};

enum GripMoveResult : int {
    kGripMoved = 0,
    kGripBadTag = -1, // tag outside 0..8
};

// One geometry step of a drag: the mouse is at (x, y) in the coordinates of the Sender with `tag`, which was
// grabbed at (DownX, DownY). Updates the Last fields when the aspect step runs. Refuses a bad tag, leaving state
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
