// View geometry of the photo view.
#include "geometry/view_geometry.h"

#include "sheet/sheet_compose.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <limits>

namespace vellicam {

namespace {

int Saturate(std::int64_t v)
{
    if (v > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (v < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}

// zoom × value / previous, multiplied first; 64 bits because a 400 % zoom of a large content place overflows
// 32 bits long before the view does.
int Zoomed(int value, int zoomPercent, int previousZoomPercent)
{
    return Saturate(static_cast<std::int64_t>(zoomPercent) * value / previousZoomPercent);
}

} // namespace

int ScaleToView(int value, int viewSide, int imageSide)
{
    if (imageSide <= 0)
        return 0;
    return Saturate(static_cast<std::int64_t>(value) * viewSide / imageSide);
}

namespace {

// A photo far smaller than a photo cell would give the frame an absurd size on the view: a 1 × 1 photo, a
// frame hundreds of thousands of pixels wide, which no picture can hold. The limits are therefore scaled as if
// the photo were at least this long; the frame then still covers far more than the view, as it does for any
// photo smaller than a cell, and photos of this length and longer are not affected.
constexpr int kSmallestFramedImageSide = 128;

int ScaleLimit(int value, int viewSide, int imageSide)
{
    return ScaleToView(value, viewSide, imageSide > 0 ? std::max(imageSide, kSmallestFramedImageSide) : imageSide);
}

} // namespace

ViewFrameLimits FrameLimitsInView(const FrameLimits& limits, int viewSide, int imageSide)
{
    // The maxima (five cells) are smaller than a close portrait's frame on a photo of a few thousand pixels; had
    // they held, such a frame would be cut down at its first zoom, resize or drag. They never hold a frame
    // smaller than the whole view.
    const int whole = imageSide > 0 ? viewSide : 0;
    return { ScaleLimit(limits.FrameMinWidth, viewSide, imageSide),
        ScaleLimit(limits.FrameMinHeight, viewSide, imageSide),
        std::max(ScaleLimit(limits.FrameMaxWidth, viewSide, imageSide), whole),
        std::max(ScaleLimit(limits.FrameMaxHeight, viewSide, imageSide), whole) };
}

namespace {

// The view length of the smallest frame: the minimum scaled down, one pixel more when that truncation would cut a
// frame that converts back (CropRectFromFrame) to less than the minimum, and the sheet would then enlarge it.
// Truncation loses less than one view pixel, so one more always converts back to the whole minimum. A photo
// shorter than kSmallestFramedImageSide is smaller than a cell anyway and keeps its scaled frame.
int SmallestFrameLength(int minimum, int viewSide, int imageSide)
{
    const int length = ScaleLimit(minimum, viewSide, imageSide);
    if (imageSide < kSmallestFramedImageSide || viewSide < 1 || length < 0 || length == INT_MAX)
        return length;
    CropRect back;
    const int shown = std::max(length, 1);
    if (CropRectFromFrame(0, 0, shown, shown, 0, 0, imageSide, viewSide, back) == kCropOk && back.width >= minimum)
        return length;
    return length + 1;
}

} // namespace

ControlBounds CentredMinimumFrame(const FrameLimits& limits, int viewSide, int imageSide, int viewWidth, int viewHeight)
{
    const int w = SmallestFrameLength(limits.FrameMinWidth, viewSide, imageSide);
    const int h = SmallestFrameLength(limits.FrameMinHeight, viewSide, imageSide);
    return { (viewWidth - w) / 2, (viewHeight - h) / 2, w, h };
}

int RescaleFrameForZoom(const ControlBounds& frame, int oldScrollX, int oldScrollY, int newScrollX, int newScrollY,
    int previousZoomPercent, int zoomPercent, ControlBounds& scaled)
{
    if (previousZoomPercent <= 0 || zoomPercent <= 0)
        return -1;
    // The place is scaled as a content position and only then shifted by the new scroll positions: scaling the
    // already shifted place would move the frame off its part of the photo whenever the panel stays scrolled.
    const std::int64_t contentLeft = static_cast<std::int64_t>(frame.left) + oldScrollX;
    const std::int64_t contentTop = static_cast<std::int64_t>(frame.top) + oldScrollY;
    scaled.left = Saturate(zoomPercent * contentLeft / previousZoomPercent - newScrollX);
    scaled.top = Saturate(zoomPercent * contentTop / previousZoomPercent - newScrollY);
    scaled.width = Zoomed(frame.width, zoomPercent, previousZoomPercent);
    scaled.height = Zoomed(frame.height, zoomPercent, previousZoomPercent);
    return 0;
}

} // namespace vellicam
