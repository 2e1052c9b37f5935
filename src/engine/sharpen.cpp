// The sharpening filter.
#include "sharpen.h"

#include "reduce.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace vellicam {
namespace {

constexpr int kRowsPerReport = 32;

using sharpen_arithmetic::DivideBy255;
using sharpen_arithmetic::DivideByLuminance;

// One row of the filter. `above` and `here` hold rows y − 1 and y as they were before the filter touched
// them; `below` is row y + 1, not yet filtered; `out` is row y in the bitmap. `column` is scratch of 3 × width.
void SharpenRow(const std::uint8_t* above, const std::uint8_t* here, const std::uint8_t* below, int width,
    std::uint16_t* column, std::uint8_t* out)
{
    const int bytes = 3 * width;
    for (int i = 0; i < bytes; ++i)
        column[i] = static_cast<std::uint16_t>(above[i] + 2 * here[i] + below[i]);
    for (int x = 1; x < width - 1; ++x) {
        const int i = 3 * x;
        const int b0 = here[i], g0 = here[i + 1], r0 = here[i + 2];
        if (r0 == 0 && g0 == 0 && b0 == 255)
            continue; // the overlays' key colour must survive, or the overlay would show through
        const int ba = (column[i - 3] + 2 * column[i] + column[i + 3]) >> 4;
        const int ga = (column[i - 2] + 2 * column[i + 1] + column[i + 4]) >> 4;
        const int ra = (column[i - 1] + 2 * column[i + 2] + column[i + 5]) >> 4;
        const int y0 = DivideBy255(28 * r0 + 77 * g0 + 151 * b0);
        const int ya = DivideBy255(28 * ra + 77 * ga + 151 * ba);
        // C++ division truncates toward zero, as the half difference must.
        const int target = y0 - (ya - y0) / 2;
        std::uint8_t* p = out + i;
        if (y0 == 0 || target <= 0) {
            // A target at or below zero scales every channel to zero or below, which the limit makes 0.
            p[0] = p[1] = p[2] = 0;
            continue;
        }
        p[0] = static_cast<std::uint8_t>(std::min(255, DivideByLuminance(b0 * target, y0)));
        p[1] = static_cast<std::uint8_t>(std::min(255, DivideByLuminance(g0 * target, y0)));
        p[2] = static_cast<std::uint8_t>(std::min(255, DivideByLuminance(r0 * target, y0)));
    }
}

} // namespace

void SharpenBitmap(Bitmap& bitmap, const Progress& progress)
{
    const int w = bitmap.Width(), h = bitmap.Height();
    // Beyond the limit the filter has no defined neighbourhood to read; leaving the image as it is beats
    // blackening it.
    if (w > kMaxPlaneSide || h > kMaxPlaneSide || w < 3 || h < 3)
        return;
    const std::size_t stride = bitmap.Stride();
    // Two saved rows are all the unfiltered image the filter needs: the row below is still untouched when a row is
    // written.
    std::unique_ptr<std::uint8_t[]> rows(new (std::nothrow) std::uint8_t[2 * stride]);
    std::unique_ptr<std::uint16_t[]> column(new (std::nothrow) std::uint16_t[stride]);
    if (!rows || !column)
        return;
    std::uint8_t* above = rows.get();
    std::uint8_t* here = rows.get() + stride;
    std::memcpy(above, bitmap.Row(0), stride);
    for (int y = 1; y < h - 1; ++y) {
        if (y % kRowsPerReport == 0)
            Report(progress);
        std::memcpy(here, bitmap.Row(y), stride);
        SharpenRow(above, here, bitmap.Row(y + 1), w, column.get(), bitmap.Row(y));
        std::swap(above, here);
    }
}

} // namespace vellicam
