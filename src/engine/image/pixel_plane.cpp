// The pixel plane.
#include "image/pixel_plane.h"

#include "resample/reduce.h"

#include <new>

namespace vellicam {

bool PixelPlane::Load(const Bitmap& bitmap)
{
    width_ = height_ = 0;
    if (bitmap.Width() > kMaxPlaneSide || bitmap.Height() > kMaxPlaneSide)
        return true; // too large: the plane stays empty and reads black
    const std::size_t cells = static_cast<std::size_t>(bitmap.Width()) * static_cast<std::size_t>(bitmap.Height());
    if (cells > capacity_) {
        cells_.reset();
        capacity_ = 0;
        cells_.reset(new (std::nothrow) std::uint32_t[cells]);
        if (!cells_)
            return false;
        capacity_ = cells;
    }
    for (int y = 0; y < bitmap.Height(); ++y) {
        const std::uint8_t* p = bitmap.Row(y);
        std::uint32_t* out = cells_.get() + static_cast<std::size_t>(y) * static_cast<std::size_t>(bitmap.Width());
        for (int x = 0; x < bitmap.Width(); ++x, p += 3)
            out[x] = (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[1]) << 8) | p[0];
    }
    width_ = bitmap.Width();
    height_ = bitmap.Height();
    return true;
}

void PixelPlane::Release()
{
    cells_.reset();
    capacity_ = 0;
    width_ = height_ = 0;
}

} // namespace vellicam
