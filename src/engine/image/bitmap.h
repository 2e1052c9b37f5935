// The 24-bit working bitmap: rows of blue, green, red bytes, and the few drawing operations the program needs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vellicam {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(Rgb, Rgb) = default;
};

inline constexpr Rgb kBlack { 0, 0, 0 };
inline constexpr Rgb kWhite { 255, 255, 255 };
inline constexpr Rgb kRed { 255, 0, 0 };
inline constexpr Rgb kBlue { 0, 0, 255 }; // the overlays' transparent key colour

// A rectangle with exclusive right and bottom edges, as the drawing calls take it.
struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    [[nodiscard]] int Width() const { return right - left; }
    [[nodiscard]] int Height() const { return bottom - top; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

// Largest bitmap the engine will allocate, in pixels: a photo header announcing more is refused before any
// pixel memory is taken.
inline constexpr std::int64_t kMaxBitmapPixels = 200'000'000;

namespace detail {
// Large pixel buffers are mapped directly and asked for huge pages: a photo of tens of megabytes then costs a
// few dozen page faults instead of tens of thousands, and comes already zeroed.
struct PixelMemory {
    std::size_t mapped = 0; // bytes mapped, or 0 for memory from new[]
    bool zeroed = false; // a fresh mapping, all zero; memory kept for reuse holds an earlier bitmap's bytes
    void operator()(std::uint8_t* p) const noexcept;
};
} // namespace detail

// Large pixel buffers given back are kept, up to `bytes` of them, and handed to the next bitmap that fits one (a
// buffer at most a quarter larger than asked): a process that works photo after photo of one size (a batch's worker)
// then maps, faults in and zeroes its memory once, not per photo. A request nothing kept fits gives all of it back
// first, so the memory held never exceeds what was in use before. 0 (the default) keeps nothing.
void KeepPixelMemoryForReuse(std::size_t bytes);

// A 24-bit bitmap stored top-down, rows packed without padding (stride = 3 × width), blue, green, red per pixel.
class Bitmap {
public:
    Bitmap() = default;
    Bitmap(const Bitmap& other);
    Bitmap& operator=(const Bitmap& other);
    // A moved-from bitmap is empty (0 × 0).
    Bitmap(Bitmap&& other) noexcept;
    Bitmap& operator=(Bitmap&& other) noexcept;

    // Makes the bitmap width × height, filled black. Returns false when a side is negative or the size exceeds
    // kMaxBitmapPixels (the bitmap is left as it was), or when the memory cannot be had (the bitmap is then
    // empty: the old pixels are given back before the new ones are asked for, so two large images never need
    // to be held at once).
    [[nodiscard]] bool Resize(int width, int height);
    // Like Resize, but the pixels are left undefined: for callers that write every pixel at once. With `zeroed`, says
    // whether they are black all the same (fresh memory from the system, which a caller need not clear again).
    [[nodiscard]] bool ResizeUninitialized(int width, int height, bool* zeroed = nullptr);
    // Gives the memory back: 0 × 0.
    void Clear();

    [[nodiscard]] int Width() const { return width_; }
    [[nodiscard]] int Height() const { return height_; }
    [[nodiscard]] bool Empty() const { return width_ == 0 || height_ == 0; }
    [[nodiscard]] std::size_t Stride() const { return static_cast<std::size_t>(width_) * 3; }
    [[nodiscard]] std::uint8_t* Row(int y) { return pixels_.get() + Stride() * static_cast<std::size_t>(y); }
    [[nodiscard]] const std::uint8_t* Row(int y) const
    {
        return pixels_.get() + Stride() * static_cast<std::size_t>(y);
    }
    [[nodiscard]] std::uint8_t* Data() { return pixels_.get(); }
    [[nodiscard]] const std::uint8_t* Data() const { return pixels_.get(); }

    [[nodiscard]] Rgb Pixel(int x, int y) const
    {
        const std::uint8_t* p = Row(y) + 3 * x;
        return { p[2], p[1], p[0] };
    }
    void SetPixel(int x, int y, Rgb c)
    {
        std::uint8_t* p = Row(y) + 3 * x;
        p[0] = c.b;
        p[1] = c.g;
        p[2] = c.r;
    }

    // Same size and same bytes.
    [[nodiscard]] bool SameAs(const Bitmap& other) const;

private:
    using Pixels = std::unique_ptr<std::uint8_t[], detail::PixelMemory>;
    [[nodiscard]] static Pixels Allocate(std::size_t bytes);

    int width_ = 0;
    int height_ = 0;
    Pixels pixels_;
};

// Fills the whole bitmap with one colour.
// Has the system back rows top .. bottom - 1 of `bitmap` with memory now, without changing a byte: for a thread with
// nothing else to do while another is about to write those rows, which then does not stop for the system to find
// and clear the memory. Safe while the rows are being written; does nothing where the system cannot do it.
void PrefaultRows(const Bitmap& bitmap, int top, int bottom) noexcept;

void Fill(Bitmap& bitmap, Rgb colour);
// Fills the part of rect that lies inside the bitmap.
void FillRect(Bitmap& bitmap, Rect rect, Rgb colour);

// Opaque copy of src's rectangle srcRect to dst with its top-left corner at (dx, dy); whatever falls outside
// either bitmap is left out.
void CopyRect(const Bitmap& src, Rect srcRect, Bitmap& dst, int dx, int dy);
// Opaque copy of the whole of src to dst at (dx, dy), clipped to dst.
inline void Draw(const Bitmap& src, Bitmap& dst, int dx, int dy)
{
    CopyRect(src, { 0, 0, src.Width(), src.Height() }, dst, dx, dy);
}

// Plain stretch (nearest neighbour, sampling each target pixel's centre) of src's rectangle srcRect over dst's
// rectangle dstRect. Target pixels outside dst are left out; srcRect is clipped to src first.
void StretchDraw(const Bitmap& src, Rect srcRect, Bitmap& dst, Rect dstRect);
inline void StretchDraw(const Bitmap& src, Bitmap& dst)
{
    StretchDraw(src, { 0, 0, src.Width(), src.Height() }, dst, { 0, 0, dst.Width(), dst.Height() });
}

// A one-pixel pen. Lines are drawn as the sheet has always been drawn: from the start point up to, but not
// including, the end point.
enum class PenStyle { Solid, DashDot };

// Horizontal or vertical line from (x0, y0) towards (x1, y1), end point excluded, clipped to the bitmap.
// A line that is neither horizontal nor vertical is not drawn (nothing in the engine needs one).
void DrawLine(Bitmap& bitmap, int x0, int y0, int x1, int y1, Rgb colour, PenStyle style = PenStyle::Solid);

// One-pixel outline of rect: columns left and right − 1, rows top and bottom − 1.
void DrawRectOutline(Bitmap& bitmap, Rect rect, Rgb colour);

} // namespace vellicam
