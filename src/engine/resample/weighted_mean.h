// The 1-2-1 / 2-4-2 / 1-2-1 weighted mean of each pixel's 3 × 3 neighbourhood, one row at a time, shared by the
// rotation engine and the sharpening filter.
#pragma once

#include <cstdint>

namespace vellicam {

// Writes 3 × width bytes to `out`: every channel of every pixel of row `mid` as the weighted mean over its 3 × 3
// neighbourhood, counting only pixels inside the image, each channel's sum divided (integer) by the weights used.
// `up` and `down` are the rows above and below, null at the image's top and bottom. `column` is scratch of
// 3 × width. Nothing is refused: width must be at least 1.
void WeightedMeanRow(const std::uint8_t* up, const std::uint8_t* mid, const std::uint8_t* down, int width,
    std::uint16_t* column, std::uint8_t* out);

} // namespace vellicam
