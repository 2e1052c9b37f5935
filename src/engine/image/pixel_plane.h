// The pixel plane: one 0x00RRGGBB cell per pixel, the form in which the pixel operations read an image.
#pragma once

#include "image/bitmap.h"

#include <cstdint>
#include <memory>

namespace vellicam {

// A plane of packed colours stored row by row. It holds at most 9600 × 9600 cells and only ever commits the
// memory of the image last loaded.
class PixelPlane {
public:
    // Copies `bitmap` into the plane, cell (x, y) = R × 65536 + G × 256 + B. A bitmap wider or taller than 9600
    // leaves the plane empty: every cell then reads 0 (black). Returns false when memory cannot be had.
    [[nodiscard]] bool Load(const Bitmap& bitmap);

    // The cell at (x, y); 0 outside the loaded image.
    [[nodiscard]] std::uint32_t Cell(int x, int y) const
    {
        if (x < 0 || y < 0 || x >= width_ || y >= height_)
            return 0;
        return cells_[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) + static_cast<std::size_t>(x)];
    }
    [[nodiscard]] int Width() const { return width_; }
    [[nodiscard]] int Height() const { return height_; }
    void Release();

private:
    int width_ = 0;
    int height_ = 0;
    std::size_t capacity_ = 0;
    std::unique_ptr<std::uint32_t[]> cells_;
};

// The program's LoadPixelPlane: `plane` := `bitmap` under the 9600 limit.
[[nodiscard]] inline bool LoadPixelPlane(PixelPlane& plane, const Bitmap& bitmap) { return plane.Load(bitmap); }

} // namespace vellicam
