// View geometry of the photo view: image-to-view scaling, the frame limits in view pixels, the centred starting
// frame and the frame's rescale on a zoom change. Plain values in, plain values out.
#pragma once

#include "sheet/sheet_layout.h"

namespace vellicam {

// A control's place and size on the view: left and top are positions inside the scrolled panel (content
// position minus scroll position) unless a function says otherwise.
struct ControlBounds {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const ControlBounds&, const ControlBounds&) = default;
};

// A length of `value` image pixels shown on a view of `viewSide` pixels for an image whose longer side is
// `imageSide`: value × viewSide / imageSide, multiplied first in 64 bits, truncated toward zero.
// Gives 0 when imageSide is not positive (nothing has been shown) and saturates at the int range.
[[nodiscard]] int ScaleToView(int value, int viewSide, int imageSide);

// The crop frame's limits converted to view pixels. The frame must be larger than the minima and at most the
// maxima; the maxima are at least the view's side, so that a frame may always take in the whole photo.
struct ViewFrameLimits {
    int minWidth = 0;
    int minHeight = 0;
    int maxWidth = 0;
    int maxHeight = 0;
};
// Photos shorter than 128 pixels are scaled as if they were 128 long, so the frame of a tiny photo stays a size a
// picture can hold.
[[nodiscard]] ViewFrameLimits FrameLimitsInView(const FrameLimits& limits, int viewSide, int imageSide);

// The frame a freshly shown photo starts with: the minimum size in view pixels, centred on the view image of
// viewWidth × viewHeight (halves truncated toward zero, so a view smaller than the frame gives negative places).
// A side whose truncated view length would convert back to fewer image pixels than the minimum (and so make the
// sheet enlarge the photo) is one view pixel longer; photos shorter than 128 pixels are exempt, being smaller
// than a cell anyway.
[[nodiscard]] ControlBounds CentredMinimumFrame(
    const FrameLimits& limits, int viewSide, int imageSide, int viewWidth, int viewHeight);

// The frame's bounds after a zoom change from previousZoomPercent to zoomPercent, so that it stays over the same
// part of the photo. `frame` is the frame as it was shown with the old scroll positions; the result is placed for
// the new scroll positions. Each value is zoomPercent × value / previousZoomPercent (multiplication first, 64
// bits, truncated). Refuses (returns -1, `scaled` untouched) a previousZoomPercent or zoomPercent not above 0.
[[nodiscard]] int RescaleFrameForZoom(const ControlBounds& frame, int oldScrollX, int oldScrollY, int newScrollX,
    int newScrollY, int previousZoomPercent, int zoomPercent, ControlBounds& scaled);

} // namespace vellicam
