// The temporary image handed to the detector library: a grey, reduced copy of the working image in binary PGM,
// which costs a few tens of milliseconds where a full-size JPEG of a 4000-pixel square costs a third of a second. The
// library reports rectangles in the copy's pixels; the run scales them back.
#pragma once

#include "image/bitmap.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vellicam {

// The copy's longer side is brought down to at most this many pixels by a whole reduction factor: the library
// searches on about 800 pixels anyway, and the landmarks keep a few photo pixels of precision on faces of 200.
inline constexpr int kDetectorImageLongSide = 1200;

// The reduction factor for a working image of imageWidth × imageHeight: the smallest whole number that brings the longer side to
// kDetectorImageLongSide or below (1 for smaller images and for non-positive sizes).
[[nodiscard]] int DetectorImageFactor(int imageWidth, int imageHeight);

// Writes `image` as 8-bit grey (BT.601 weights), each pixel the mean of a factor × factor block (the blocks of the
// last row and column may be cut short by the edge), to `path` (created with mode 0600, never through a symbolic
// link). Returns "" on success, else the reason. Refuses an empty image and a factor below 1.
[[nodiscard]] std::string WriteDetectorImage(const Bitmap& image, int factor, const std::string& path);

// The grey copy in memory, row by row.
struct GreyImage {
    int width = 0, height = 0;
    std::vector<std::uint8_t> pixels;
};
// The copy WriteDetectorImage writes. False for an empty image or a factor below 1; throws std::bad_alloc.
[[nodiscard]] bool MakeDetectorImage(const Bitmap& image, int factor, GreyImage& grey);
// The grey value of a factor × factor block from the sum of its pixels' greys in 1/256 (GreyRow) and its pixel
// count (the full block's, also where it lies partly on black).
[[nodiscard]] inline std::uint8_t BlockGrey(std::uint32_t sum, std::uint32_t count)
{
    return static_cast<std::uint8_t>((sum / count + 128) >> 8);
}
// The grey of each of `width` pixels from `p` in 1/256: blue, green, red with the BT.601 weights 29, 150, 77.
void GreyRow(const std::uint8_t* p, int width, std::uint16_t* grey);
// Writes `grey` as binary PGM to `path`, created with mode 0600, never through a symbolic link; a file that cannot
// be written whole is removed. Returns "" on success, else the reason.
[[nodiscard]] std::string WriteGreyImage(const GreyImage& grey, const std::string& path);

} // namespace vellicam
