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
    int left = 0, top = 0;
    if (!PrepareSquareFor(photo.Width(), photo.Height(), square, left, top))
        return false;
    Draw(photo, square, left, top);
    return true;
}

bool PrepareSquareFor(int w, int h, Bitmap& square, int& left, int& top)
{
    if (w < 1 || h < 1)
        return false;
    const int side = std::max(w, h);
    // Every byte is written once: the black bands beside (or above and below) the photo here, the photo by the caller.
    // Fresh memory is black already: its bands are left to the system, which gives their pages zeroed when they are
    // first read, so a first photo's decoding does not wait for a quarter of its square to be faulted in and cleared.
    bool zeroed = false;
    if (!square.ResizeUninitialized(side, side, &zeroed))
        return false;
    left = w < h ? (h - w) / 2 : 0;
    top = w < h ? 0 : (w - h) / 2;
    static_assert(kBlack.r == 0 && kBlack.g == 0 && kBlack.b == 0);
    if (zeroed)
        return true;
    FillRect(square, { 0, 0, side, top }, kBlack);
    FillRect(square, { 0, top + h, side, side }, kBlack);
    FillRect(square, { 0, top, left, top + h }, kBlack);
    FillRect(square, { left + w, top, side, top + h }, kBlack);
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
