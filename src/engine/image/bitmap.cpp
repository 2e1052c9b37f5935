// The 24-bit working bitmap and its drawing operations.
#include "image/bitmap.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace vellicam {

namespace {

bool SizeAllowed(int width, int height)
{
    if (width < 0 || height < 0)
        return false;
    return static_cast<std::int64_t>(width) * height <= kMaxBitmapPixels;
}

Rect Intersect(Rect a, Rect b)
{
    return { std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
        std::min(a.bottom, b.bottom) };
}

} // namespace

// Below this size the general allocator is cheaper than a mapping of its own.
constexpr std::size_t kMapThreshold = 4u << 20;
constexpr std::size_t kHugePage = 2u << 20;

namespace {

// Mappings given back and kept for the next bitmaps (KeepPixelMemoryForReuse).
struct KeptMemory {
    std::mutex lock;
    std::size_t limit = 0;
    std::size_t held = 0;
    std::vector<std::pair<std::uint8_t*, std::size_t>> mappings;

    // A kept mapping of at least `bytes` and at most a quarter more (the smallest such), or null.
    std::uint8_t* Take(std::size_t bytes, std::size_t& mapped)
    {
        const std::lock_guard<std::mutex> hold(lock);
        std::size_t best = mappings.size();
        for (std::size_t i = 0; i < mappings.size(); ++i) {
            const std::size_t size = mappings[i].second;
            if (size >= bytes && size <= bytes + bytes / 4 && (best == mappings.size() || size < mappings[best].second))
                best = i;
        }
        if (best == mappings.size()) {
            // Nothing fits: what is kept would only add to the memory the new one takes.
            for (const auto& [p, size] : mappings)
                munmap(p, size);
            mappings.clear();
            held = 0;
            return nullptr;
        }
        std::uint8_t* p = mappings[best].first;
        mapped = mappings[best].second;
        mappings.erase(mappings.begin() + static_cast<std::ptrdiff_t>(best));
        held -= mapped;
        return p;
    }

    // True when the mapping was kept. Called from a deleter: nothing may escape.
    bool Keep(std::uint8_t* p, std::size_t mapped) noexcept
    {
        try {
            const std::lock_guard<std::mutex> hold(lock);
            if (held + mapped > limit)
                return false;
            mappings.emplace_back(p, mapped);
            held += mapped;
            return true;
        } catch (...) {
            return false;
        }
    }

    void SetLimit(std::size_t bytes)
    {
        const std::lock_guard<std::mutex> hold(lock);
        limit = bytes;
        while (held > limit && !mappings.empty()) {
            munmap(mappings.back().first, mappings.back().second);
            held -= mappings.back().second;
            mappings.pop_back();
        }
    }
};

KeptMemory& Kept()
{
    static KeptMemory* kept = new KeptMemory; // never destroyed: bitmaps of other statics may outlive it
    return *kept;
}

} // namespace

void KeepPixelMemoryForReuse(std::size_t bytes)
{
    Kept().SetLimit(bytes);
}

void detail::PixelMemory::operator()(std::uint8_t* p) const noexcept
{
    if (!p)
        return;
    if (mapped) {
        if (!Kept().Keep(p, mapped))
            munmap(p, mapped);
    } else {
        delete[] p;
    }
}

Bitmap::Pixels Bitmap::Allocate(std::size_t bytes)
{
    if (bytes == 0)
        return Pixels();
    if (bytes < kMapThreshold)
        return Pixels(new (std::nothrow) std::uint8_t[bytes], detail::PixelMemory {});
    std::size_t mapped = 0;
    if (std::uint8_t* kept = Kept().Take(bytes, mapped))
        return Pixels(kept, detail::PixelMemory { mapped, false });
    mapped = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* p = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        return Pixels();
#ifdef MADV_HUGEPAGE
    madvise(p, mapped, MADV_HUGEPAGE); // only advice: ignored where huge pages are off
#endif
    return Pixels(static_cast<std::uint8_t*>(p), detail::PixelMemory { mapped, true });
}

Bitmap::Bitmap(const Bitmap& other)
{
    *this = other;
}

Bitmap::Bitmap(Bitmap&& other) noexcept
    : width_(std::exchange(other.width_, 0))
    , height_(std::exchange(other.height_, 0))
    , pixels_(std::move(other.pixels_))
{
}

Bitmap& Bitmap::operator=(Bitmap&& other) noexcept
{
    if (this != &other) {
        pixels_ = std::move(other.pixels_);
        width_ = std::exchange(other.width_, 0);
        height_ = std::exchange(other.height_, 0);
    }
    return *this;
}

Bitmap& Bitmap::operator=(const Bitmap& other)
{
    if (this == &other)
        return *this;
    if (!ResizeUninitialized(other.width_, other.height_))
        throw std::bad_alloc();
    if (pixels_)
        std::memcpy(pixels_.get(), other.pixels_.get(), Stride() * static_cast<std::size_t>(height_));
    return *this;
}

bool Bitmap::ResizeUninitialized(int width, int height, bool* zeroed)
{
    if (zeroed)
        *zeroed = false;
    if (!SizeAllowed(width, height))
        return false;
    if (width == width_ && height == height_)
        return true;
    const std::size_t oldBytes = Stride() * static_cast<std::size_t>(height_);
    const std::size_t newBytes = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
    if (newBytes != oldBytes || !pixels_) {
        // Free first, so a large bitmap being replaced by another large one never needs both at once.
        pixels_.reset();
        width_ = height_ = 0;
        auto fresh = Allocate(newBytes);
        if (!fresh && newBytes != 0)
            return false;
        pixels_ = std::move(fresh);
        if (zeroed)
            *zeroed = pixels_ && pixels_.get_deleter().zeroed;
    }
    width_ = width;
    height_ = height;
    return true;
}

bool Bitmap::Resize(int width, int height)
{
    const bool reused = pixels_
        && static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3
            == Stride() * static_cast<std::size_t>(height_);
    if (!ResizeUninitialized(width, height))
        return false;
    // A fresh mapping is zero already; only reused, kept or allocator memory needs clearing.
    if (pixels_ && (reused || !pixels_.get_deleter().zeroed))
        std::memset(pixels_.get(), 0, Stride() * static_cast<std::size_t>(height_));
    return true;
}

void Bitmap::Clear()
{
    pixels_.reset();
    width_ = height_ = 0;
}

bool Bitmap::SameAs(const Bitmap& other) const
{
    if (width_ != other.width_ || height_ != other.height_)
        return false;
    if (!pixels_)
        return true;
    return std::memcmp(pixels_.get(), other.pixels_.get(), Stride() * static_cast<std::size_t>(height_)) == 0;
}

void PrefaultRows(const Bitmap& bitmap, int top, int bottom) noexcept
{
#ifdef MADV_POPULATE_WRITE
    top = std::max(top, 0);
    bottom = std::min(bottom, bitmap.Height());
    if (bitmap.Empty() || top >= bottom)
        return;
    const long page = sysconf(_SC_PAGESIZE);
    if (page <= 0)
        return;
    // Whole pages: the first may begin before the rows (within the same mapping, or the allocator's own memory,
    // neither of which a prefault changes).
    const auto first = reinterpret_cast<std::uintptr_t>(bitmap.Row(top)) / static_cast<std::uintptr_t>(page)
        * static_cast<std::uintptr_t>(page);
    const auto end
        = reinterpret_cast<std::uintptr_t>(bitmap.Row(bottom - 1)) + 3 * static_cast<std::size_t>(bitmap.Width());
    (void)madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE); // an older system: EINVAL
#else
    (void)bitmap;
    (void)top;
    (void)bottom;
#endif
}

void Fill(Bitmap& bitmap, Rgb colour)
{
    FillRect(bitmap, { 0, 0, bitmap.Width(), bitmap.Height() }, colour);
}

void FillRect(Bitmap& bitmap, Rect rect, Rgb colour)
{
    const Rect r = Intersect(rect, { 0, 0, bitmap.Width(), bitmap.Height() });
    if (r.left >= r.right || r.top >= r.bottom)
        return;
    const std::uint8_t bgr[3] = { colour.b, colour.g, colour.r };
    const bool grey = colour.r == colour.g && colour.g == colour.b;
    for (int y = r.top; y < r.bottom; ++y) {
        std::uint8_t* p = bitmap.Row(y) + 3 * r.left;
        if (grey) {
            std::memset(p, colour.r, 3 * static_cast<std::size_t>(r.Width()));
            continue;
        }
        for (int x = r.left; x < r.right; ++x, p += 3)
            std::memcpy(p, bgr, 3);
    }
}

void CopyRect(const Bitmap& src, Rect srcRect, Bitmap& dst, int dx, int dy)
{
    // Clip the source rectangle to the source, moving the target with it.
    Rect s = Intersect(srcRect, { 0, 0, src.Width(), src.Height() });
    dx += s.left - srcRect.left;
    dy += s.top - srcRect.top;
    // Then clip against the target.
    if (dx < 0) {
        s.left -= dx;
        dx = 0;
    }
    if (dy < 0) {
        s.top -= dy;
        dy = 0;
    }
    s.right = std::min(s.right, s.left + (dst.Width() - dx));
    s.bottom = std::min(s.bottom, s.top + (dst.Height() - dy));
    if (s.left >= s.right || s.top >= s.bottom)
        return;
    const std::size_t bytes = 3 * static_cast<std::size_t>(s.Width());
    if (&src == &dst && dy > s.top) {
        for (int y = s.bottom - 1; y >= s.top; --y)
            std::memmove(dst.Row(dy + y - s.top) + 3 * dx, src.Row(y) + 3 * s.left, bytes);
        return;
    }
    for (int y = s.top; y < s.bottom; ++y)
        std::memmove(dst.Row(dy + y - s.top) + 3 * dx, src.Row(y) + 3 * s.left, bytes);
}

void StretchDraw(const Bitmap& src, Rect srcRect, Bitmap& dst, Rect dstRect)
{
    const Rect s = Intersect(srcRect, { 0, 0, src.Width(), src.Height() });
    const int sw = s.Width(), sh = s.Height();
    const int dw = dstRect.Width(), dh = dstRect.Height();
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0)
        return;
    const Rect d = Intersect(dstRect, { 0, 0, dst.Width(), dst.Height() });
    if (d.left >= d.right || d.top >= d.bottom)
        return;
    // Source column for every target column, sampled at the target pixel's centre.
    std::unique_ptr<int[]> columns(new int[static_cast<std::size_t>(d.Width())]);
    for (int x = d.left; x < d.right; ++x) {
        const std::int64_t i = x - dstRect.left;
        columns[x - d.left] = s.left + static_cast<int>((2 * i + 1) * sw / (2 * static_cast<std::int64_t>(dw)));
    }
    const bool aliased = &src == &dst;
    Bitmap copy;
    const Bitmap* from = &src;
    if (aliased) {
        copy = src;
        from = &copy;
    }
    for (int y = d.top; y < d.bottom; ++y) {
        const std::int64_t j = y - dstRect.top;
        const int sy = s.top + static_cast<int>((2 * j + 1) * sh / (2 * static_cast<std::int64_t>(dh)));
        const std::uint8_t* in = from->Row(sy);
        std::uint8_t* out = dst.Row(y) + 3 * d.left;
        for (int x = 0; x < d.Width(); ++x, out += 3) {
            const std::uint8_t* p = in + 3 * columns[x];
            out[0] = p[0];
            out[1] = p[1];
            out[2] = p[2];
        }
    }
}

void DrawLine(Bitmap& bitmap, int x0, int y0, int x1, int y1, Rgb colour, PenStyle style)
{
    if (x0 != x1 && y0 != y1)
        return;
    const int length = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
    const int stepX = x1 > x0 ? 1 : (x1 < x0 ? -1 : 0);
    const int stepY = y1 > y0 ? 1 : (y1 < y0 ? -1 : 0);
    // Dash-dot: a dash of 9, a gap of 6, a dot of 3, a gap of 6.
    auto on = [style](int i) {
        if (style == PenStyle::Solid)
            return true;
        const int phase = i % 24;
        return phase < 9 || (phase >= 15 && phase < 18);
    };
    for (int i = 0; i < length; ++i) {
        const int x = x0 + i * stepX, y = y0 + i * stepY;
        if (x < 0 || y < 0 || x >= bitmap.Width() || y >= bitmap.Height() || !on(i))
            continue;
        bitmap.SetPixel(x, y, colour);
    }
}

void DrawRectOutline(Bitmap& bitmap, Rect rect, Rgb colour)
{
    if (rect.right <= rect.left || rect.bottom <= rect.top)
        return;
    FillRect(bitmap, { rect.left, rect.top, rect.right, rect.top + 1 }, colour);
    FillRect(bitmap, { rect.left, rect.bottom - 1, rect.right, rect.bottom }, colour);
    FillRect(bitmap, { rect.left, rect.top, rect.left + 1, rect.bottom }, colour);
    FillRect(bitmap, { rect.right - 1, rect.top, rect.right, rect.bottom }, colour);
}

} // namespace vellicam
