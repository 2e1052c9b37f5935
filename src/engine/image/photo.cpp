// The workspace's square around a photo and the geometry of showing it.
#include "image/photo.h"

#include <algorithm>
#include <cstdint>

namespace vellicam {

bool IsLowResolution(int width, int height)
{
    return static_cast<std::int64_t>(width) * height <= 307200;
}

bool SquareTooLarge(int width, int height)
{
    const std::int64_t side = std::max(width, height);
    return side * side > kMaxBitmapPixels;
}

bool BuildSquareBitmap(const Bitmap& photo, Bitmap& square)
{
    if (photo.Empty())
        return false;
    if (&photo == &square) {
        Bitmap copy;
        if (!copy.ResizeUninitialized(photo.Width(), photo.Height()))
            return false;
        Draw(photo, copy, 0, 0);
        return BuildSquareBitmap(copy, square);
    }
    const int w = photo.Width(), h = photo.Height();
    const int side = std::max(w, h);
    if (!square.Resize(side, side))
        return false;
    if (w < h)
        Draw(photo, square, (h - w) / 2, 0);
    else
        Draw(photo, square, 0, (w - h) / 2);
    return true;
}

Size FittedSize(int width, int height, int viewWidth, int viewHeight)
{
    if (width <= 0 || height <= 0 || viewWidth <= 0 || viewHeight <= 0)
        return {};
    // 64 bits: the products of two sides overflow an int for the largest photos.
    const std::int64_t imageW = width, imageH = height, viewW = viewWidth, viewH = viewHeight;
    if (imageW * viewH == viewW * imageH)
        return { viewWidth, viewHeight };
    if (static_cast<double>(width) / height > static_cast<double>(viewWidth) / viewHeight)
        return { viewWidth, static_cast<int>(imageH * viewW / imageW) };
    return { static_cast<int>(viewH * imageW / imageH), viewHeight };
}

} // namespace vellicam
