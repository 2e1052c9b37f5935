// The resize-grip control's geometry.
#include "geometry/resize_grips.h"

#include <cstdint>
#include <cstdio>

namespace vellicam {

void SetXYSize(ResizeControlState& state, int maxWidth, int maxHeight, int minWidth, int minHeight, int boundWidth,
    int boundHeight, bool keepAspect)
{
    state.MaxWidth = maxWidth;
    state.MaxHeight = maxHeight;
    state.MinWidth = minWidth;
    state.MinHeight = minHeight;
    state.BoundWidth = boundWidth;
    state.BoundHeight = boundHeight;
    state.KeepAspect = keepAspect;
}

ControlBounds OwnAreaOf(const ControlBounds& control)
{
    return { control.left - kFrameMargin, control.top - kFrameMargin, control.width + 2 * kFrameMargin,
        control.height + 2 * kFrameMargin };
}

ControlBounds Attach(ResizeControlState& state, const ControlBounds& control)
{
    state.LastWidth = control.width;
    state.LastHeight = control.height;
    state.LastTop = control.top;
    state.LastLeft = control.left;
    state.AspectWidth = control.width;
    state.AspectHeight = control.height;
    return OwnAreaOf(control);
}

int Move(ResizeControlState& state, const ControlBounds& control, int tag, int x, int y, GripMove& move)
{
    if (tag < 0 || tag > kControlTag)
        return kGripBadTag;
    const GripFactors& k = kGripTable[static_cast<std::size_t>(tag)];
    const int dx = x - state.DownX, dy = y - state.DownY;
    GripMove out;
    ControlBounds c = control;

    const bool outOfRange = (c.width < state.MinWidth || c.height < state.MinHeight)
        && (c.width > state.MaxWidth || c.height > state.MaxHeight);
    if (outOfRange) {
        c = { state.LastLeft, state.LastTop, state.LastWidth, state.LastHeight };
    } else if (state.KeepAspect && state.AspectWidth > 0 && state.AspectHeight > 0) {
        out.aspectStep = true;
        out.nwx = dx * k.kW;
        out.nhy = dy * k.kH;
        out.mx = dx * k.kL;
        out.my = dy * k.kT;
        int newW = c.width + out.nwx;
        int newH = c.height + out.nhy;
        const std::int64_t aw = state.AspectWidth, ah = state.AspectHeight;
        if (newW * ah != aw * newH) {
            // The width leads; the height follows it, and the width is trimmed back only when the height's
            // truncation left the frame wider than it was.
            newH = static_cast<int>(newW * ah / aw);
            // A zero height on either side has no ratio to compare; the limits below settle the size then.
            if (newH != 0 && c.height != 0 && 100.0 * newW / newH < 100.0 * c.width / c.height)
                newW = static_cast<int>(aw * newH / ah);
        }

        int left, top;
        switch (tag) {
        case 0:
            left = state.LastLeft + state.LastWidth - newW;
            top = state.LastTop + state.LastHeight - newH;
            break;
        case 2:
            left = c.left + out.mx;
            top = state.LastTop + state.LastHeight - newH;
            break;
        case 6:
            left = state.LastLeft + state.LastWidth - newW;
            top = c.top + out.my;
            break;
        default:
            left = c.left + out.mx;
            top = c.top + out.my;
            break;
        }

        // The bounds hold the position only: a frame larger than the area is put at 0, not shrunk.
        if (left < 0)
            left = 0;
        if (top < 0)
            top = 0;
        if (left + newW > state.BoundWidth)
            left = state.BoundWidth - newW;
        if (top + newH > state.BoundHeight)
            top = state.BoundHeight - newH;
        if (left < 0)
            left = 0;
        if (top < 0)
            top = 0;
        c.left = left;
        c.top = top;

        // The limits come after the position and do not restore the aspect, so a corner grip dragged past the
        // minimum moves the opposite edge by the difference.
        if (newW < state.MinWidth + 1)
            newW = state.MinWidth + 1;
        if (newH < state.MinHeight + 1)
            newH = state.MinHeight + 1;
        if (newW > state.MaxWidth)
            newW = state.MaxWidth;
        if (newH > state.MaxHeight)
            newH = state.MaxHeight;
        c.width = newW;
        c.height = newH;

        state.LastWidth = newW;
        state.LastHeight = newH;
        state.LastLeft = c.left;
        state.LastTop = c.top;
    } else {
        out.nwx = dx * k.kW;
        out.nhy = dy * k.kH;
        out.mx = dx * k.kL;
        out.my = dy * k.kT;
        c.left += out.mx;
        c.top += out.my;
        c.width += out.nwx;
        c.height += out.nhy;
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
        const GripFactors& k = kGripTable[i];
        // The product is taken in floating point and truncated toward zero, so an own area narrower than the grips
        // puts the far grips left of the near ones by a truncated half pixel, never by a floored one.
        grips[i].left = ownLeft - kGripSize + kGripInset
            + static_cast<int>((ownWidth - 2 * kGripInset + kGripSize - 1) * k.px * 0.5);
        grips[i].top = ownTop - kGripSize + kGripInset
            + static_cast<int>((ownHeight - 2 * kGripInset + kGripSize - 1) * k.py * 0.5);
    }
    return grips;
}

std::string ResizeHintText(int tag, const GripMove& move, int x, int y)
{
    char buffer[160];
    const ControlBounds& c = move.control;
    if (tag == kControlTag)
        std::snprintf(buffer, sizeof buffer, "X: %d, Y: %d (%d %d)", c.left, c.top, x, y);
    else
        std::snprintf(buffer, sizeof buffer, "LX: %d, TY: %d W:%d H:%d nwx:%d nhy:%d mx:%d my:%d", c.left, c.top,
            c.width, c.height, move.nwx, move.nhy, move.mx, move.my);
    return buffer;
}

} // namespace vellicam
