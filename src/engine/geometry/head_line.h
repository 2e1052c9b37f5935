// The hand-drawn head line: its direction, the rotation it proposes, and the crop frame it sets.
#pragma once

#include "geometry/view_geometry.h"

#include <string>

namespace vellicam {

// π as the head line's angle uses it; the proposals depend on these digits.
inline constexpr double kHeadLinePi = 3.141592;

struct HeadLineAngle {
    bool vertical = false; // |dx| ≤ 0.1: no proposal is computed
    double angle = 0; // degrees in (-180, 180], cut to three decimals; 90 or -90 when vertical
    int rotationProposal = 0; // tenths of a degree; 0 for a vertical line, which asks no question
};

// Evaluates the line from the head top (sx, sy) to the current point (x, y), in view pixels with y downwards.
// A vertical line (straight down, straight up, or no length) proposes 0. Refuses nothing.
[[nodiscard]] HeadLineAngle EvaluateHeadLine(int sx, int sy, int x, int y);

// The turn proposed by the line from the head top (sx, sy) to the chin (ex, ey) where the drag ended: the line's
// own proposal, 0 (no question) for a vertical line. It depends on that line alone, never on a line drawn
// before it, so a caller takes it afresh when the button is released rather than keeping one from the drag.
[[nodiscard]] int RotationProposalOf(int sx, int sy, int ex, int ey);

// The angle panel's text: "R*10=%d" with the proposal, or "%f" of 90 / -90 for a vertical line.
[[nodiscard]] std::string HeadLineStatusText(const HeadLineAngle& line);
// The position panel's text while a line is dragged: "(%d,%d)-(%d,%d)".
[[nodiscard]] std::string LinePointsText(int sx, int sy, int x, int y);
// The question asked before turning: "角度が%f度あります。回転させますか？" with proposal × 0.1.
[[nodiscard]] std::string RotationQuestionText(int rotationProposal);
// The rotation angle after the proposal is accepted: (angle − proposal), truncated remainder by 3600.
[[nodiscard]] int AngleAfterProposal(int rotationAngle, int rotationProposal);

// What the frame drawn from a head line depends on; lengths are view pixels except the cell's three values,
// which are image rows of the first sheet cell and only set proportions.
struct HeadLineFrameInput {
    int sx = 0, sy = 0; // head top
    int ex = 0, ey = 0; // chin
    int cellImageHeight = 0; // C
    int headTopMargin = 0; // T, rows above the head top
    int chinMargin = 0; // B, rows below the chin
    int minWidth = 0, minHeight = 0; // the frame limits' minima in view pixels; the frame exceeds them by one
    int aspectWidth = 0, aspectHeight = 0; // the frame's aspect terms
    int scrollX = 0, scrollY = 0; // the panel's scroll positions
};

enum HeadLineFrameResult : int {
    kHeadLineFramePlaced = 0,
    kHeadLineFrameBadCell = -1, // C ≤ 0 or C − T − B ≤ 0: the face would fill no rows
    kHeadLineFrameBadAspect = -2, // an aspect term ≤ 0
    kHeadLineFrameTooLarge = -3, // the frame would not fit an int
};

// The frame set by the head line: its height makes the line's vertical extent C − T − B of C rows, its top
// lies T rows (of that height) above the head top, its width follows the aspect, and it is centred on the line's
// midpoint; height and width are raised to the minima + 1. The frame is not limited to the view or the maxima.
// `frame` receives the control bounds (content position minus scroll). Refuses with the codes above, leaving
// `frame` untouched.
[[nodiscard]] int FrameFromLine(const HeadLineFrameInput& in, ControlBounds& frame);

} // namespace vellicam
