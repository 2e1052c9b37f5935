// The detector's grey copy and the person mask's picture in one pass.
//
// Both are block means of the square: the grey copy over factor × factor blocks of grey, the mask's picture over
// f × f blocks of each channel. A black pixel adds nothing to a block's sum, so the sums taken over the photo's
// area alone are the sums over the whole square; each block is still divided by its full pixel count, and the
// blocks wholly outside the area stay 0, which is what their mean of black gives.
#include "recognition/reduced_pictures.h"

#include "resample/shared_bands.h"

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <new>
#include <numeric>
#include <optional>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define VELLICAM_REDUCTION_AVX2 1
#endif

namespace vellicam {

namespace {

// The blocks first .. end - 1 of `factor` columns that columns left .. right - 1 fall in.
struct BlockColumns {
    int first = 0, end = 0;
};
BlockColumns BlocksOf(int left, int right, int factor)
{
    return { left / factor, (right - 1) / factor + 1 };
}

// columns[i] += greys[i] for `count` values.
void AddGreys(std::uint32_t* columns, const std::uint16_t* greys, std::size_t count)
{
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 8 <= count; i += 8) {
        const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(greys + i));
        auto* c = reinterpret_cast<__m128i*>(columns + i);
        _mm_storeu_si128(c, _mm_add_epi32(_mm_loadu_si128(c), _mm_unpacklo_epi16(g, zero)));
        _mm_storeu_si128(c + 1, _mm_add_epi32(_mm_loadu_si128(c + 1), _mm_unpackhi_epi16(g, zero)));
    }
#endif
    for (; i < count; ++i)
        columns[i] += greys[i];
}

// columns[i] += bytes[i] for `count` values; 16 bits hold the sums of up to 257 rows.
void AddBytes(std::uint16_t* columns, const std::uint8_t* bytes, std::size_t count)
{
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= count; i += 16) {
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        auto* c = reinterpret_cast<__m128i*>(columns + i);
        _mm_storeu_si128(c, _mm_add_epi16(_mm_loadu_si128(c), _mm_unpacklo_epi8(b, zero)));
        _mm_storeu_si128(c + 1, _mm_add_epi16(_mm_loadu_si128(c + 1), _mm_unpackhi_epi8(b, zero)));
    }
#endif
    for (; i < count; ++i)
        columns[i] = static_cast<std::uint16_t>(columns[i] + bytes[i]);
}

#ifdef VELLICAM_REDUCTION_AVX2
// One row into both pictures' column sums at once: each pixel's grey (29 B + 150 G + 77 R, as GreyRow) into `greys`,
// its three bytes into `channels`. The row's bytes are read once, sixteen pixels at a time, the channels parted by
// byte shuffles; what no shuffle takes is added one by one.
__attribute__((target("avx2"))) void AddRowAvx2(
    const std::uint8_t* row, std::size_t width, std::uint32_t* greys, std::uint16_t* channels)
{
    // Byte i of each pick takes the i-th pixel's channel from one of the three 16-byte thirds (-1 takes none).
    alignas(16) static const std::int8_t kPick[3][3][16] = {
        { { 0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1 },
            { -1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14, -1, -1, -1, -1, -1 },
            { -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 1, 4, 7, 10, 13 } },
        { { 1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1 },
            { -1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15, -1, -1, -1, -1, -1 },
            { -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 2, 5, 8, 11, 14 } },
        { { 2, 5, 8, 11, 14, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1 },
            { -1, -1, -1, -1, -1, 1, 4, 7, 10, 13, -1, -1, -1, -1, -1, -1 },
            { -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 3, 6, 9, 12, 15 } },
    };
    const auto pick = [](int channel, int third) {
        return _mm_load_si128(reinterpret_cast<const __m128i*>(kPick[channel][third]));
    };
    const __m128i b0 = pick(0, 0), b1 = pick(0, 1), b2 = pick(0, 2);
    const __m128i g0 = pick(1, 0), g1 = pick(1, 1), g2 = pick(1, 2);
    const __m128i r0 = pick(2, 0), r1 = pick(2, 1), r2 = pick(2, 2);
    const __m256i wb = _mm256_set1_epi16(29), wg = _mm256_set1_epi16(150), wr = _mm256_set1_epi16(77);
    std::size_t x = 0;
    for (; x + 16 <= width; x += 16) {
        const std::uint8_t* p = row + 3 * x;
        const __m128i t0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i t1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        const __m128i t2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
        std::uint16_t* c = channels + 3 * x;
        const __m128i thirds[3] = { t0, t1, t2 };
        for (int i = 0; i < 3; ++i) {
            auto* at = reinterpret_cast<__m256i*>(c + 16 * i);
            _mm256_storeu_si256(at, _mm256_add_epi16(_mm256_loadu_si256(at), _mm256_cvtepu8_epi16(thirds[i])));
        }
        const __m128i b
            = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(t0, b0), _mm_shuffle_epi8(t1, b1)), _mm_shuffle_epi8(t2, b2));
        const __m128i g
            = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(t0, g0), _mm_shuffle_epi8(t1, g1)), _mm_shuffle_epi8(t2, g2));
        const __m128i r
            = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(t0, r0), _mm_shuffle_epi8(t1, r1)), _mm_shuffle_epi8(t2, r2));
        // Each product and the sum stay below 65536: 16-bit lanes, read as unsigned.
        const __m256i grey = _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_cvtepu8_epi16(b), wb),
                                                  _mm256_mullo_epi16(_mm256_cvtepu8_epi16(g), wg)),
            _mm256_mullo_epi16(_mm256_cvtepu8_epi16(r), wr));
        auto* lo = reinterpret_cast<__m256i*>(greys + x);
        auto* hi = reinterpret_cast<__m256i*>(greys + x + 8);
        _mm256_storeu_si256(
            lo, _mm256_add_epi32(_mm256_loadu_si256(lo), _mm256_cvtepu16_epi32(_mm256_castsi256_si128(grey))));
        _mm256_storeu_si256(
            hi, _mm256_add_epi32(_mm256_loadu_si256(hi), _mm256_cvtepu16_epi32(_mm256_extracti128_si256(grey, 1))));
    }
    for (; x < width; ++x) {
        const std::uint8_t* q = row + 3 * x;
        greys[x] += 29u * q[0] + 150u * q[1] + 77u * q[2];
        for (int i = 0; i < 3; ++i)
            channels[3 * x + i] = static_cast<std::uint16_t>(channels[3 * x + i] + q[i]);
    }
}

bool HasAvx2()
{
    static const bool present = __builtin_cpu_supports("avx2");
    return present;
}
#endif

// The two pictures of one square made band by band: Prepare, ReduceRows over bands that start and end on block rows
// of both pictures (Unit), then Finish.
class PictureReduction {
public:
    PictureReduction(const Bitmap& square, Rect area, int factor, bool mask)
        : square_(square)
        , area_(area)
        , factor_(factor)
        , mask_(mask)
    {
        W_ = square.Width();
        H_ = square.Height();
        f_ = MaskPictureFactor(W_, H_, kPersonMaskLongSide);
        columns_ = static_cast<std::size_t>(std::max(0, area.Width()));
        if (area.Width() > 0) {
            greyBlocks_ = BlocksOf(area.left, area.right, factor);
            maskBlocks_ = BlocksOf(area.left, area.right, f_);
        }
    }

    // The pictures' memory; false without it.
    bool Prepare()
    {
        const int gw = (W_ + factor_ - 1) / factor_, gh = (H_ + factor_ - 1) / factor_;
        const int mw = (W_ + f_ - 1) / f_, mh = (H_ + f_ - 1) / f_;
        try {
            grey_ = { gw, gh, std::vector<std::uint8_t>(static_cast<std::size_t>(gw) * gh) };
            if (mask_ && !reduced_.Resize(mw, mh)) // black: the blocks outside the area
                return false;
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }

    // Rows a band starts and ends on (besides the area's first and last).
    int Unit() const { return mask_ ? std::lcm(factor_, f_) : factor_; }

    // Each row is added column by column into the sums of its block row, for the grey copy and for the mask's
    // picture while the row is at hand; a block row's last row turns its column sums into block means. Throws
    // std::bad_alloc when the band's sums cannot be had.
    void ReduceRows(int top, int bottom)
    {
        const Rect& area = area_;
        const int aw = area.Width(), factor = factor_, f = f_, W = W_, H = H_, gw = grey_.width;
        std::vector<std::uint16_t> greys(columns_), maskColumns(mask_ ? 3 * columns_ : 0);
        std::vector<std::uint32_t> greyColumns(columns_);
        for (int y = top; y < bottom; ++y) {
            const std::uint8_t* row = square_.Row(y) + 3 * static_cast<std::size_t>(area.left);

            if (y == top || y % factor == 0)
                std::fill(greyColumns.begin(), greyColumns.end(), 0u);
            if (mask_ && (y == top || y % f == 0))
                std::fill(maskColumns.begin(), maskColumns.end(), std::uint16_t { 0 });
#ifdef VELLICAM_REDUCTION_AVX2
            const bool together = mask_ && HasAvx2();
#else
            constexpr bool together = false;
#endif
            if (together) {
#ifdef VELLICAM_REDUCTION_AVX2
                AddRowAvx2(row, columns_, greyColumns.data(), maskColumns.data());
#endif
            } else {
                GreyRow(row, aw, greys.data());
                AddGreys(greyColumns.data(), greys.data(), columns_);
                if (mask_)
                    AddBytes(maskColumns.data(), row, 3 * columns_);
            }
            if (y + 1 == area.bottom || (y + 1) % factor == 0) {
                const int by = y / factor;
                const int rows = std::min(H, (by + 1) * factor) - by * factor;
                std::uint8_t* out = grey_.pixels.data() + static_cast<std::size_t>(by) * gw;
                const std::uint32_t* g = greyColumns.data();
                for (int bx = greyBlocks_.first; bx < greyBlocks_.end; ++bx) {
                    const int n = std::min(area.right, (bx + 1) * factor) - std::max(area.left, bx * factor);
                    std::uint32_t sum = 0;
                    for (int i = 0; i < n; ++i)
                        sum += *g++;
                    const auto count
                        = static_cast<std::uint32_t>(rows * (std::min(W, (bx + 1) * factor) - bx * factor));
                    out[bx] = BlockGrey(sum, count);
                }
            }

            if (!mask_)
                continue;
            if (y + 1 == area.bottom || (y + 1) % f == 0) {
                const int by = y / f;
                const int rows = std::min(H, (by + 1) * f) - by * f;
                std::uint8_t* o = reduced_.Row(by);
                const std::uint16_t* p = maskColumns.data();
                for (int bx = maskBlocks_.first; bx < maskBlocks_.end; ++bx) {
                    const int n = std::min(area.right, (bx + 1) * f) - std::max(area.left, bx * f);
                    std::uint32_t b = 0, g = 0, r = 0;
                    for (int i = 0; i < n; ++i, p += 3) {
                        b += p[0];
                        g += p[1];
                        r += p[2];
                    }
                    const auto count = static_cast<std::uint32_t>(rows * (std::min(W, (bx + 1) * f) - bx * f));
                    o[3 * bx] = static_cast<std::uint8_t>((b + count / 2) / count);
                    o[3 * bx + 1] = static_cast<std::uint8_t>((g + count / 2) / count);
                    o[3 * bx + 2] = static_cast<std::uint8_t>((r + count / 2) / count);
                }
            }
        }
    }

    // Hands the pictures over. An all-black square leaves the mask's picture empty: nothing to segment, as
    // MakeMaskPicture refuses it (and, as there, a cut that cannot be had).
    void Finish(GreyImage& grey, MaskPicture* mask)
    {
        MaskPicture picture;
        if (mask)
            (void)CutMaskPicture(reduced_, f_, picture);
        grey = std::move(grey_);
        if (mask)
            *mask = std::move(picture);
    }

private:
    const Bitmap& square_;
    const Rect area_;
    const int factor_;
    const bool mask_;
    int W_ = 0, H_ = 0, f_ = 1;
    std::size_t columns_ = 0;
    BlockColumns greyBlocks_, maskBlocks_;
    GreyImage grey_;
    Bitmap reduced_;
};

// `area` as MakeReducedPictures reads it: the whole square when empty, cut to the square.
Rect AreaIn(const Bitmap& square, Rect area)
{
    const int W = square.Width(), H = square.Height();
    if (area.Width() <= 0 || area.Height() <= 0)
        area = { 0, 0, W, H };
    return { std::clamp(area.left, 0, W), std::clamp(area.top, 0, H), std::clamp(area.right, 0, W),
        std::clamp(area.bottom, 0, H) };
}

// The column sums of a block row of the mask's picture are 16 bits wide: a square too large for that (beyond any the
// engine allocates) is reduced the separate way.
bool TooLargeForBands(const Bitmap& square)
{
    return MaskPictureFactor(square.Width(), square.Height(), kPersonMaskLongSide) > 257;
}

} // namespace

std::string MakeReducedPictures(
    const Bitmap& square, Rect photoArea, int factor, GreyImage& grey, MaskPicture* mask, int threads)
{
    if (square.Empty() || factor < 1)
        return "no image to hand to the detector";
    const Rect area = AreaIn(square, photoArea);
    if (mask && TooLargeForBands(square)) {
        try {
            GreyImage madeGrey;
            (void)MakeDetectorImage(square, factor, madeGrey);
            MaskPicture picture;
            (void)MakeMaskPicture(square, kPersonMaskLongSide, picture);
            grey = std::move(madeGrey);
            *mask = std::move(picture);
        } catch (const std::bad_alloc&) {
            return "no memory for the detector's image";
        }
        return {};
    }
    PictureReduction reduction(square, area, factor, mask != nullptr);
    if (!reduction.Prepare())
        return "no memory for the detector's image";
    if (area.Width() > 0) {
        try {
            const int unit = reduction.Unit();
            const int bands = threads > 1 ? std::clamp((area.Height() / std::max(unit, 1)) / 4, 1, 8) : 1;
            if (bands <= 1) {
                reduction.ReduceRows(area.top, area.bottom);
            } else {
                // Band b ends on the block-row boundary nearest b / bands of the way down (the last at the bottom).
                const auto edge = [&](int b) {
                    if (b >= bands)
                        return area.bottom;
                    const int row = area.top + static_cast<int>(static_cast<std::int64_t>(area.Height()) * b / bands);
                    return std::clamp((row + unit / 2) / unit * unit, area.top, area.bottom);
                };
                // A band that cannot have its sums (no memory) fails the whole, on either thread.
                if (!MakeBandsShared(bands, [&](int b, bool) {
                        try {
                            reduction.ReduceRows(b == 0 ? area.top : edge(b), edge(b + 1));
                        } catch (const std::bad_alloc&) {
                            return false;
                        }
                        return true;
                    }))
                    return "no memory for the detector's image";
            }
        } catch (const std::bad_alloc&) {
            return "no memory for the detector's image";
        }
    }
    reduction.Finish(grey, mask);
    return {};
}

bool ReducedPictures::MadeFor(const Bitmap& square, Rect photoArea, int wantedFactor) const
{
    return !square.Empty() && square.Width() == squareWidth && square.Height() == squareHeight && wantedFactor == factor
        && AreaIn(square, photoArea) == area;
}

struct PicturesWhileDecoding::Work {
    std::optional<PictureReduction> reduction;
    const Bitmap* square = nullptr;
    ReductionFollowingRows* view = nullptr; // the view's reduction, made alongside
    Rect area;
    int factor = 0;
    int squareWidth = 0, squareHeight = 0;
    std::mutex lock;
    std::condition_variable changed;
    int written = 0; // the square's rows above this are written
    int wanted = 0; // the thread sleeps until `written` reaches this
    // With two decoders each reduces the rows it writes, while they are at hand: the thread's core is taken. The lower
    // share begins at `lowerStart` (INT_MAX with one decoder), and its decoder reduces from the first block row
    // boundary there, `lowerFrom`; what lies between the two decoders' reductions is reduced at the end.
    int lowerStart = INT_MAX;
    int lowerFrom = INT_MAX;
    int upperMade = 0; // the upper decoder's rows above this are reduced; touched by that decoder alone
    int lowerMade = 0; // the same of the lower decoder
    bool finishing = false; // no more rows will come
    bool stop = false;
    bool failed = false;
    bool done = false; // every band the thread takes made
    std::thread thread; // last: started when everything it reads is there

    [[nodiscard]] int Unit() const { return std::max(1, reduction->Unit()); }
    // Where a band of rows written up to `to` may end: on a block row boundary, or at the area's bottom.
    [[nodiscard]] int BandEnd(int to) const { return to >= area.bottom ? area.bottom : to / Unit() * Unit(); }

    // Takes each band of the pictures as its rows come: at least a few block rows at a time, every band but the last
    // ending on block rows of both pictures; and the view's rows, a few dozen source rows at a time. With two
    // decoders it follows the view alone.
    void Run()
    {
        bool shared = false;
        {
            std::unique_lock guard(lock);
            changed.wait(guard, [&] { return stop || finishing || written > area.top || lowerStart != INT_MAX; });
            if (stop)
                return;
            shared = lowerStart != INT_MAX;
        }
        // The square's memory first, well ahead of a lone decoder: it then writes without waiting for the system to
        // clear the pages of a fresh square (a tenth of its time). Two decoders clear their own.
        if (!shared)
            PrefaultRows(*square, area.top, area.bottom);
        const int unit = Unit();
        const int least = std::max(unit, (64 + unit - 1) / unit * unit);
        int made = shared ? area.bottom : area.top; // the pictures' rows above this are made
        int followed = area.top; // the rows the view has been made from
        for (;;) {
            const bool picturesMade = made >= area.bottom;
            const bool viewMade = !view || view->Done();
            if (picturesMade && viewMade)
                break;
            const int forPictures
                = picturesMade ? INT_MAX : std::min(area.bottom, (made + least + unit - 1) / unit * unit);
            const int forView = viewMade ? INT_MAX : std::min(area.bottom, std::max(view->Wanted(), followed + 64));
            int rows = 0;
            bool last = false;
            {
                std::unique_lock guard(lock);
                wanted = std::min(forPictures, forView);
                changed.wait(guard, [&] { return stop || finishing || written >= wanted; });
                if (stop)
                    return;
                rows = written;
                last = finishing && written < wanted;
            }
            try {
                const int end = BandEnd(rows);
                if (!picturesMade && end > made) {
                    reduction->ReduceRows(made, end);
                    made = end;
                }
                if (!viewMade && rows > followed) {
                    view->Follow(rows);
                    followed = rows;
                }
            } catch (const std::bad_alloc&) {
                const std::lock_guard guard(lock);
                failed = true;
                return;
            }
            if (last)
                return; // the rows stopped coming: Finish reports it
        }
        const std::lock_guard guard(lock);
        done = true;
    }

    // Reduces [made, end) on the calling thread and moves `made` on; false when the band's sums cannot be had.
    bool ReduceHere(int& made, int end) noexcept
    {
        if (end <= made)
            return true;
        try {
            reduction->ReduceRows(made, end);
        } catch (const std::bad_alloc&) {
            const std::lock_guard guard(lock);
            failed = true;
            return false;
        }
        made = end;
        return true;
    }

    void Stop(bool keep) noexcept
    {
        {
            const std::lock_guard guard(lock);
            (keep ? finishing : stop) = true;
        }
        changed.notify_all();
        if (thread.joinable())
            thread.join();
    }
};

PicturesWhileDecoding::PicturesWhileDecoding() = default;

PicturesWhileDecoding::~PicturesWhileDecoding()
{
    Abandon();
}

bool PicturesWhileDecoding::Start(const Bitmap& square, Rect photoArea, int factor, ReductionFollowingRows* view)
{
    Abandon();
    if (square.Empty() || factor < 1 || TooLargeForBands(square))
        return false;
    const Rect area = AreaIn(square, photoArea);
    if (area.Width() <= 0 || area.Height() <= 0)
        return false;
    try {
        auto work = std::make_unique<Work>();
        work->reduction.emplace(square, area, factor, true);
        if (!work->reduction->Prepare())
            return false;
        work->square = &square;
        work->view = view;
        work->area = area;
        work->factor = factor;
        work->squareWidth = square.Width();
        work->squareHeight = square.Height();
        work->written = area.top;
        work->thread = std::thread([w = work.get()] { w->Run(); });
        work_ = std::move(work);
    } catch (const std::exception&) { // no memory, or no thread to be had
        return false;
    }
    return true;
}

bool PicturesWhileDecoding::Started() const
{
    return work_ != nullptr;
}

void PicturesWhileDecoding::RowsWritten(int from, int to) noexcept
{
    if (!work_)
        return;
    Work& w = *work_;
    if (from == to && from > w.area.top && from < w.area.bottom) { // a lower share announced, before any row
        {
            const std::lock_guard guard(w.lock);
            if (w.lowerStart != INT_MAX || w.written > w.area.top)
                return; // too late: the thread follows every row
            w.lowerStart = from;
            w.lowerFrom = std::min(w.area.bottom, (from + w.Unit() - 1) / w.Unit() * w.Unit());
            w.upperMade = w.area.top;
            w.lowerMade = w.lowerFrom;
        }
        w.changed.notify_one();
        return;
    }
    const bool lower = from >= w.lowerStart;
    if (lower) {
        (void)w.ReduceHere(w.lowerMade, w.BandEnd(to));
        return;
    }
    bool wake = false;
    {
        const std::lock_guard guard(w.lock);
        if (from > w.written)
            return; // rows that do not follow on from the top: Finish's call over the whole area takes them
        w.written = std::max(w.written, to);
        wake = w.written >= w.wanted;
    }
    if (wake)
        w.changed.notify_one();
    if (w.lowerStart != INT_MAX)
        (void)w.ReduceHere(w.upperMade, std::min(w.lowerFrom, w.BandEnd(to)));
}

bool PicturesWhileDecoding::Finish(ReducedPictures& out)
{
    if (!work_)
        return false;
    Work& w = *work_;
    w.Stop(true);
    // Two decoders: the rows between their reductions, and the lower share must have reached the bottom.
    const bool shared = w.lowerStart != INT_MAX;
    const bool made
        = w.done && !w.failed && (!shared || (w.ReduceHere(w.upperMade, w.lowerFrom) && w.lowerMade >= w.area.bottom));
    if (made) {
        ReducedPictures pictures;
        w.reduction->Finish(pictures.grey, &pictures.mask);
        pictures.squareWidth = w.squareWidth;
        pictures.squareHeight = w.squareHeight;
        pictures.area = w.area;
        pictures.factor = w.factor;
        out = std::move(pictures);
    }
    work_.reset();
    return made;
}

void PicturesWhileDecoding::Abandon() noexcept
{
    if (!work_)
        return;
    work_->Stop(false);
    work_.reset();
}

} // namespace vellicam
