// The sharpening filter: an unsharp mask on a luminance measure, amount one half, hue kept.
#pragma once

#include "image/bitmap.h"
#include "resample/progress.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace vellicam {

// Sharpens `bitmap` in place. The outer one-pixel border and pure blue (0, 0, 255) pixels stay as they are; a
// pixel whose luminance (28 R + 77 G + 151 B) / 255 is 0 becomes black. A bitmap wider or taller than 9600 is
// left unchanged, and so is one whose working row memory cannot be had.
// With `threads` of 2 or more, bands of rows are shared with a second thread (MakeBandsShared), each band working
// from the rows around it as they were: the bytes do not depend on it. Only the calling thread reports progress.
void SharpenBitmap(Bitmap& bitmap, const Progress& progress = {}, int threads = 1);

// The filter's divisions without a divide per channel, exact over the ranges the filter feeds them (the tests
// check every case).
namespace sharpen_arithmetic {

// value / 255 for a value in 0..65280. The luminance weights add up to 256, not 255, so white has luminance 256.
[[nodiscard]] constexpr int DivideBy255(int value)
{
    return static_cast<int>((static_cast<std::uint32_t>(value) * 32897u) >> 23);
}

// ceil(2^32 / d): the error d × M − 2^32 stays below 256, which keeps n × M >> 32 exact up to n < 2^32 / 256.
inline constexpr std::array<std::uint64_t, 257> kReciprocals = [] {
    std::array<std::uint64_t, 257> table {};
    for (std::uint64_t d = 1; d <= 256; ++d)
        table[d] = ((std::uint64_t { 1 } << 32) + d - 1) / d;
    return table;
}();

inline constexpr float kRatioNudge = 1.0f / 1024;

// n / d for d in 1..256 (the luminances) and n in 0..97920 (a channel times the largest target, 255 × 384).
[[nodiscard]] constexpr int DivideByLuminance(int n, int d)
{
    return static_cast<int>((static_cast<std::uint64_t>(n) * kReciprocals[d]) >> 32);
}

// The vector path's form of min(255, c × target / y0) for c in 0..255, target in 1..384, y0 in 1..256: one
// single-precision ratio per pixel, then per channel a product nudged up by 2^-10 and truncated. Exact: the
// rounding errors stay below 5e-5 while a quotient that is not whole lies at least 1/256 below the next integer.
[[nodiscard]] inline int ScaleByRatio(int c, int target, int y0)
{
    const float ratio = static_cast<float>(target) / static_cast<float>(y0);
    const float scaled = static_cast<float>(c) * ratio + kRatioNudge;
    return std::min(255, static_cast<int>(scaled));
}

} // namespace sharpen_arithmetic

} // namespace vellicam
