// The resize-grip control's geometry.
#include "geometry/resize_grips.h"

#include <cstdint>
#include <cstdio>

namespace vellicam {

void SetGripLimits(ResizeControlState& state, int maxWidth, int maxHeight, int minWidth, int minHeight, int boundWidth,
    int boundHeight, bool keepAspect)
{
    state.maxWidth = maxWidth;
    state.maxHeight = maxHeight;
    state.minWidth = minWidth;
    state.minHeight = minHeight;
    state.boundWidth = boundWidth;
    state.boundHeight = boundHeight;
    state.keepAspect = keepAspect;
}

ControlBounds OwnAreaOf(const ControlBounds& control)
{
    return { control.left - kFrameMargin, control.top - kFrameMargin, control.width + 2 * kFrameMargin,
        control.height + 2 * kFrameMargin };
}

ControlBounds Attach(ResizeControlState& state, const ControlBounds& control)
{
    state.lastWidth = control.width;
    state.lastHeight = control.height;
    state.lastTop = control.top;
    state.lastLeft = control.left;
    state.aspectWidth = control.width;
    state.aspectHeight = control.height;
    return OwnAreaOf(control);
}

int Move(ResizeControlState& state, const ControlBounds& control, int tag, int x, int y, GripMove& move)
{
    if (tag < kGripTopLeft || tag > kGripWholeControl)
        return kGripBadTag;
    const GripFactors& factors = kGripFactors[static_cast<std::size_t>(tag)];
    const int dx = x - state.grabX, dy = y - state.grabY;
    GripMove out;
    ControlBounds c = control;

    const bool outOfRange = (c.width < state.minWidth || c.height < state.minHeight)
        && (c.width > state.maxWidth || c.height > state.maxHeight);
    if (outOfRange) {
        c = { state.lastLeft, state.lastTop, state.lastWidth, state.lastHeight };
    } else if (state.keepAspect && state.aspectWidth > 0 && state.aspectHeight > 0) {
        out.aspectStep = true;
        out.widthChange = dx * factors.widthFactor;
        out.heightChange = dy * factors.heightFactor;
        out.leftChange = dx * factors.leftFactor;
        out.topChange = dy * factors.topFactor;
        int newWidth = c.width + out.widthChange;
        int newHeight = c.height + out.heightChange;
        const std::int64_t aspectWidth = state.aspectWidth, aspectHeight = state.aspectHeight;
        if (newWidth * aspectHeight != aspectWidth * newHeight) {
            // The width leads; the height follows it, and the width is trimmed back only when the height's
            // truncation left the frame wider than it was.
            newHeight = static_cast<int>(newWidth * aspectHeight / aspectWidth);
            // A zero height on either side has no ratio to compare; the limits below settle the size then.
            if (newHeight != 0 && c.height != 0 && 100.0 * newWidth / newHeight < 100.0 * c.width / c.height)
                newWidth = static_cast<int>(aspectWidth * newHeight / aspectHeight);
        }

        int left, top;
        switch (tag) {
        case kGripTopLeft:
            left = state.lastLeft + state.lastWidth - newWidth;
            top = state.lastTop + state.lastHeight - newHeight;
            break;
        case kGripTopRight:
            left = c.left + out.leftChange;
            top = state.lastTop + state.lastHeight - newHeight;
            break;
        case kGripBottomLeft:
            left = state.lastLeft + state.lastWidth - newWidth;
            top = c.top + out.topChange;
            break;
        default:
            left = c.left + out.leftChange;
            top = c.top + out.topChange;
            break;
        }

        // The bounds hold the position only: a frame larger than the area is put at 0, not shrunk.
        if (left < 0)
            left = 0;
        if (top < 0)
            top = 0;
        if (left + newWidth > state.boundWidth)
            left = state.boundWidth - newWidth;
        if (top + newHeight > state.boundHeight)
            top = state.boundHeight - newHeight;
        if (left < 0)
            left = 0;
        if (top < 0)
            top = 0;
        c.left = left;
        c.top = top;

        // The limits come after the position and do not restore the aspect, so a corner grip dragged past the
        // minimum moves the opposite edge by the difference.
        if (newWidth < state.minWidth + 1)
            newWidth = state.minWidth + 1;
        if (newHeight < state.minHeight + 1)
            newHeight = state.minHeight + 1;
        if (newWidth > state.maxWidth)
            newWidth = state.maxWidth;
        if (newHeight > state.maxHeight)
            newHeight = state.maxHeight;
        c.width = newWidth;
        c.height = newHeight;

        state.lastWidth = newWidth;
        state.lastHeight = newHeight;
        state.lastLeft = c.left;
        state.lastTop = c.top;
    } else {
        out.widthChange = dx * factors.widthFactor;
        out.heightChange = dy * factors.heightFactor;
        out.leftChange = dx * factors.leftFactor;
        out.topChange = dy * factors.topFactor;
        c.left += out.leftChange;
        c.top += out.topChange;
        c.width += out.widthChange;
        c.height += out.heightChange;
    }

    out.control = c;
    out.ownArea = OwnAreaOf(c);
    move = out;
    return kGripMoved;
}

std::array<GripPosition, kGripCount> MoveGrips(int ownLeft, int ownTop, int ownWidth, int ownHeight)
{
    std::array<GripPosition, kGripCount> grips {};
    for (std::size_t i = 0; i < grips.size(); ++i) {
        const GripFactors& factors = kGripFactors[i];
        // The product is taken in floating point and truncated toward zero, so an own area narrower than the grips
        // puts the far grips left of the near ones by a truncated half pixel, never by a floored one.
        grips[i].left = ownLeft - kGripSize + kGripInset
            + static_cast<int>((ownWidth - 2 * kGripInset + kGripSize - 1) * factors.column * 0.5);
        grips[i].top = ownTop - kGripSize + kGripInset
            + static_cast<int>((ownHeight - 2 * kGripInset + kGripSize - 1) * factors.row * 0.5);
    }
    return grips;
}

std::string ResizeHintText(int tag, const GripMove& move, int x, int y)
{
    char buffer[160];
    const ControlBounds& c = move.control;
    if (tag == kGripWholeControl)
        std::snprintf(buffer, sizeof buffer, "X: %d, Y: %d (%d %d)", c.left, c.top, x, y);
    else
        std::snprintf(buffer, sizeof buffer, "LX: %d, TY: %d W:%d H:%d nwx:%d nhy:%d mx:%d my:%d", c.left, c.top,
            c.width, c.height, move.widthChange, move.heightChange, move.leftChange, move.topChange);
    return buffer;
}

} // namespace vellicam
