// High-quality reduction: weighted area averaging in integer arithmetic, in hundredths of a source pixel.
//
// Every destination pixel is the average of a block of source pixels, each weighted by the product of its column's
// and its row's coverage in hundredths (0..100). The weights factor into a column part and a row part, so the sums
// are formed in two passes: the block's rows are first combined into one row of row-weighted sums (the rows inside
// a block all weigh 100, so they are simply added up), then each destination column weighs and adds its columns.
// Integer sums do not depend on the order of addition, so the result is the same as summing cell by cell.
#include "resample/reduce.h"

#include "resample/shared_bands.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vellicam {

namespace {

// Positions are counted in hundredths of a source pixel; a whole pixel weighs this much.
constexpr int kFull = 100;

// The source columns (or rows) that one destination column (or row) covers, with their weights: `first` weighs
// `firstWeight`, the ones between weigh kFull, the last weighs `lastWeight`. A block of one column has only the
// last weight: the weight list's last entry is written after its first and replaces it.
struct Span {
    int first = 0;
    int count = 0;
    int firstWeight = 0;
    int lastWeight = 0;
    std::uint32_t weightSum = 0;
};

// One factor, taken from the widths, scales both axes: the rows use srcW / dstW too.
Span SpanOf(int index, int srcW, int dstW)
{
    const std::int64_t scaled = static_cast<std::int64_t>(srcW) * kFull;
    const std::int64_t p0 = index * scaled / dstW;
    const std::int64_t p1 = (index + 1) * scaled / dstW - 1;
    const std::int64_t s0 = p0 / kFull, s1 = p1 / kFull;
    Span span;
    span.first = static_cast<int>(s0);
    span.count = static_cast<int>(s1 - s0 + 1);
    // A block that ends on a pixel's last hundredth gives that pixel 99, not 100: the last weight is the end
    // position's remainder, without the one that would make it inclusive.
    span.lastWeight = static_cast<int>(p1 - s1 * kFull);
    if (span.count == 1) {
        span.firstWeight = span.lastWeight;
        span.weightSum = static_cast<std::uint32_t>(span.lastWeight);
    } else {
        span.firstWeight = static_cast<int>((s0 + 1) * kFull - p0);
        span.weightSum = static_cast<std::uint32_t>(span.firstWeight + kFull * (span.count - 2) + span.lastWeight);
    }
    return span;
}

// sum / weightSum exactly, from a floating-point estimate that is put right in integers: the estimate is off by
// less than one, and one step either way makes it exact.
inline std::uint32_t Quotient(std::uint64_t sum, std::uint64_t weightSum, double inverse)
{
    auto q = static_cast<std::uint64_t>(static_cast<double>(sum) * inverse);
    if ((q + 1) * weightSum <= sum)
        ++q;
    else if (q * weightSum > sum)
        --q;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(q, 255));
}

// Writes one destination pixel. Almost-black (its luminance truncates to 0) is written as pure black where
// `blackens` (inside the picture: not on its outermost rows and columns), else as it comes.
inline void StorePixel(std::uint8_t* out, std::uint32_t b, std::uint32_t g, std::uint32_t r, bool blackens)
{
    if (blackens && 28 * r + 77 * g + 151 * b < 255) {
        out[0] = out[1] = out[2] = 0;
    } else {
        out[0] = static_cast<std::uint8_t>(b);
        out[1] = static_cast<std::uint8_t>(g);
        out[2] = static_cast<std::uint8_t>(r);
    }
}

// The destination columns' spans and the inverses of their weight sums, shared by every row.
struct Columns {
    std::vector<Span> spans;
    std::vector<double> inverse;
};

// The columns of a reduction from srcW to dstW columns. Throws std::bad_alloc without memory.
Columns ColumnsOf(int srcW, int dstW)
{
    Columns columns;
    columns.spans.resize(static_cast<std::size_t>(dstW));
    columns.inverse.resize(static_cast<std::size_t>(dstW));
    for (int x = 0; x < dstW; ++x) {
        columns.spans[static_cast<std::size_t>(x)] = SpanOf(x, srcW, dstW);
        columns.inverse[static_cast<std::size_t>(x)] = 1.0 / columns.spans[static_cast<std::size_t>(x)].weightSum;
    }
    return columns;
}

// The loops that touch every source byte, in portable form. `middle` holds the sum of a block's inner rows;
// it fits 16 bits because a block has at most 99 inner rows (the reduction stops at 1/100).
struct PlainLoops {
    static void AddRow(std::uint16_t* middle, const std::uint8_t* row, std::size_t bytes, bool firstRow)
    {
        if (firstRow) {
            for (std::size_t i = 0; i < bytes; ++i)
                middle[i] = row[i];
        } else {
            for (std::size_t i = 0; i < bytes; ++i)
                middle[i] = static_cast<std::uint16_t>(middle[i] + row[i]);
        }
    }

    // sums[i] = firstWeight · first[i] + 100 · middle[i] + lastWeight · last[i]; `middle` and `last` may be
    // absent (no inner rows, a last row of weight 0, or a block of one row).
    static void WeighRows(std::uint32_t* sums, const std::uint8_t* first, int firstWeight, const std::uint16_t* middle,
        const std::uint8_t* last, int lastWeight, std::size_t bytes)
    {
        const auto wf = static_cast<std::uint32_t>(firstWeight);
        const auto wl = static_cast<std::uint32_t>(lastWeight);
        for (std::size_t i = 0; i < bytes; ++i) {
            std::uint32_t s = wf * first[i];
            if (middle)
                s += kFull * static_cast<std::uint32_t>(middle[i]);
            if (last)
                s += wl * last[i];
            sums[i] = s;
        }
    }
    // One destination row from its row-weighted sums: each column's weighted sum over its block, divided by the
    // block's whole weight. Almost-black inside the picture (its luminance truncates to 0) is written as pure
    // black; the outermost rows and columns are copied as they come.
    static void WeighColumns(const std::uint32_t* sums, const Columns& columns, std::uint32_t rowWeightSum,
        double rowInverse, bool interiorRow, std::uint8_t* out)
    {
        const int dstW = static_cast<int>(columns.spans.size());
        for (int x = 0; x < dstW; ++x, out += 3) {
            const Span& c = columns.spans[static_cast<std::size_t>(x)];
            const std::uint32_t* v = sums + 3 * static_cast<std::size_t>(c.first);
            std::uint64_t sum[3];
            if (c.count == 1) {
                for (int ch = 0; ch < 3; ++ch)
                    sum[ch] = std::uint64_t { v[ch] } * static_cast<std::uint32_t>(c.lastWeight);
            } else {
                // Inner sums stay within 32 bits: at most 99 columns of at most 100 · 101 · 255 each.
                std::uint32_t mid[3] = { 0, 0, 0 };
                const std::uint32_t* p = v + 3;
                for (int k = 1; k + 1 < c.count; ++k, p += 3) {
                    mid[0] += p[0];
                    mid[1] += p[1];
                    mid[2] += p[2];
                }
                for (int ch = 0; ch < 3; ++ch)
                    sum[ch] = std::uint64_t { v[ch] } * static_cast<std::uint32_t>(c.firstWeight)
                        + std::uint64_t { mid[ch] } * kFull
                        + std::uint64_t { p[ch] } * static_cast<std::uint32_t>(c.lastWeight);
            }
            const std::uint64_t weightSum = std::uint64_t { c.weightSum } * rowWeightSum;
            const double inverse = columns.inverse[static_cast<std::size_t>(x)] * rowInverse;
            const std::uint32_t b = Quotient(sum[0], weightSum, inverse);
            const std::uint32_t g = Quotient(sum[1], weightSum, inverse);
            const std::uint32_t r = Quotient(sum[2], weightSum, inverse);
            StorePixel(out, b, g, r, interiorRow && x > 0 && x < dstW - 1);
        }
    }
};

#if defined(__SSE2__)
struct VectorLoops {
    static void AddRow(std::uint16_t* middle, const std::uint8_t* row, std::size_t bytes, bool firstRow)
    {
        const __m128i zero = _mm_setzero_si128();
        std::size_t i = 0;
        for (; i + 16 <= bytes; i += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
            __m128i lo = _mm_unpacklo_epi8(bytes, zero);
            __m128i hi = _mm_unpackhi_epi8(bytes, zero);
            auto* m = reinterpret_cast<__m128i*>(middle + i);
            if (!firstRow) {
                lo = _mm_add_epi16(lo, _mm_loadu_si128(m));
                hi = _mm_add_epi16(hi, _mm_loadu_si128(m + 1));
            }
            _mm_storeu_si128(m, lo);
            _mm_storeu_si128(m + 1, hi);
        }
        PlainLoops::AddRow(middle + i, row + i, bytes - i, firstRow);
    }

    static void WeighRows(std::uint32_t* sums, const std::uint8_t* first, int firstWeight, const std::uint16_t* middle,
        const std::uint8_t* last, int lastWeight, std::size_t bytes)
    {
        const __m128i zero = _mm_setzero_si128();
        // Pairs (first, middle) against (firstWeight, 100) and (last, 0) against (lastWeight, 0): every factor
        // fits a signed 16-bit lane (middle ≤ 99 · 255), every product and sum 32 bits.
        const __m128i firstMiddleWeights = _mm_set1_epi32(firstWeight | (kFull << 16));
        const __m128i lastWeights = _mm_set1_epi32(lastWeight);
        std::size_t i = 0;
        for (; i + 16 <= bytes; i += 16) {
            const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + i));
            const __m128i f16[2] = { _mm_unpacklo_epi8(f, zero), _mm_unpackhi_epi8(f, zero) };
            __m128i m16[2] = { zero, zero };
            if (middle) {
                m16[0] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(middle + i));
                m16[1] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(middle + i + 8));
            }
            __m128i l16[2] = { zero, zero };
            if (last) {
                const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(last + i));
                l16[0] = _mm_unpacklo_epi8(l, zero);
                l16[1] = _mm_unpackhi_epi8(l, zero);
            }
            auto* out = reinterpret_cast<__m128i*>(sums + i);
            for (int h = 0; h < 2; ++h) {
                __m128i lo = _mm_madd_epi16(_mm_unpacklo_epi16(f16[h], m16[h]), firstMiddleWeights);
                __m128i hi = _mm_madd_epi16(_mm_unpackhi_epi16(f16[h], m16[h]), firstMiddleWeights);
                lo = _mm_add_epi32(lo, _mm_madd_epi16(_mm_unpacklo_epi16(l16[h], zero), lastWeights));
                hi = _mm_add_epi32(hi, _mm_madd_epi16(_mm_unpackhi_epi16(l16[h], zero), lastWeights));
                _mm_storeu_si128(out + 2 * h, lo);
                _mm_storeu_si128(out + 2 * h + 1, hi);
            }
        }
        PlainLoops::WeighRows(sums + i, first + i, firstWeight, middle ? middle + i : nullptr,
            last ? last + i : nullptr, lastWeight, bytes - i);
    }

    // The portable WeighColumns, the three channels of a pixel side by side: the inner columns are added in 32-bit
    // lanes, the block's sum is formed in doubles (exact: below 2^35) and divided by one multiplication. The
    // quotient is floor((sum + ½) · inverse): (sum + ½) / weightSum lies at least ½ / weightSum (≥ 5 · 10⁻⁹, the
    // weight sum being at most 10⁸) from the nearest whole number, the inverse's three roundings put it off by
    // less than 256 · 2⁻⁵⁰, so the truncation gives sum / weightSum exactly. `sums` must have one readable
    // element after its last pixel: a pixel is read as four lanes.
    static void WeighColumns(const std::uint32_t* sums, const Columns& columns, std::uint32_t /*rowWeightSum*/,
        double rowInverse, bool interiorRow, std::uint8_t* out)
    {
        const int dstW = static_cast<int>(columns.spans.size());
        const __m128d half = _mm_set1_pd(0.5), hundred = _mm_set1_pd(kFull);
        for (int x = 0; x < dstW; ++x, out += 3) {
            const Span& c = columns.spans[static_cast<std::size_t>(x)];
            const std::uint32_t* v = sums + 3 * static_cast<std::size_t>(c.first);
            const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v));
            __m128d lo, hi; // blue and green; red and the unused lane
            if (c.count == 1) {
                const __m128d w = _mm_set1_pd(c.lastWeight);
                lo = _mm_mul_pd(_mm_cvtepi32_pd(f), w);
                hi = _mm_mul_pd(_mm_cvtepi32_pd(_mm_srli_si128(f, 8)), w);
            } else {
                __m128i mid = _mm_setzero_si128();
                const std::uint32_t* p = v + 3;
                for (int k = 1; k + 1 < c.count; ++k, p += 3)
                    mid = _mm_add_epi32(mid, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
                const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
                const __m128d wf = _mm_set1_pd(c.firstWeight), wl = _mm_set1_pd(c.lastWeight);
                const auto weigh = [&](__m128i first, __m128i inner, __m128i last) {
                    return _mm_add_pd(
                        _mm_add_pd(_mm_mul_pd(_mm_cvtepi32_pd(first), wf), _mm_mul_pd(_mm_cvtepi32_pd(inner), hundred)),
                        _mm_mul_pd(_mm_cvtepi32_pd(last), wl));
                };
                lo = weigh(f, mid, l);
                hi = weigh(_mm_srli_si128(f, 8), _mm_srli_si128(mid, 8), _mm_srli_si128(l, 8));
            }
            const __m128d inverse = _mm_set1_pd(columns.inverse[static_cast<std::size_t>(x)] * rowInverse);
            const __m128i q = _mm_unpacklo_epi64(_mm_cvttpd_epi32(_mm_mul_pd(_mm_add_pd(lo, half), inverse)),
                _mm_cvttpd_epi32(_mm_mul_pd(_mm_add_pd(hi, half), inverse)));
            const __m128i q16 = _mm_packs_epi32(q, q);
            const auto bgr = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(q16, q16)));
            const std::uint32_t b = bgr & 0xff, g = (bgr >> 8) & 0xff, r = (bgr >> 16) & 0xff;
            StorePixel(out, b, g, r, interiorRow && x > 0 && x < dstW - 1);
        }
    }
};
using FastLoops = VectorLoops;
#else
using FastLoops = PlainLoops;
#endif

// The checks, in the order whose first failure decides. Returns 1 when the reduction proper may run.
int Check(const Bitmap& source, const Rect& region, int dstH, int dstW, Bitmap& destination, EngineError& error)
{
    const int srcW = region.Width(), srcH = region.Height();
    const auto refuse = [&](int result, ErrorCode code, int width, int height) {
        error = { code, ErrorDomain::Reduction, {}, width, height };
        return result;
    };
    if (srcW < 1 || srcH < 1)
        return refuse(kReductionSizeBelowOne, ErrorCode::SizeBelowOne, srcW, srcH);
    if (dstW < 1 || dstH < 1)
        return refuse(kReductionSizeBelowOne, ErrorCode::SizeBelowOne, dstW, dstH);
    // Aspect ratios as whole percentages, each truncated before they are compared.
    const std::int64_t ratio = std::int64_t { srcW } * kFull / srcH - std::int64_t { dstW } * kFull / dstH;
    if (ratio > 3 || ratio < -3)
        return refuse(kReductionAspectDiffers, ErrorCode::AspectDiffers, dstW, dstH);
    if (srcW == dstW && srcH == dstH) {
        // The destination keeps its own size; the source lands on its top-left corner.
        if (&source != &destination)
            CopyRect(source, region, destination, 0, 0);
        return refuse(kReduced, ErrorCode::SameSize, dstW, dstH);
    }
    if (srcW > kMaxPlaneSide || srcH > kMaxPlaneSide)
        return refuse(kReductionSourceTooLarge, ErrorCode::SourceTooLarge, srcW, srcH);
    if (dstW > kMaxPlaneSide || dstH > kMaxPlaneSide)
        return refuse(kReductionTargetTooLarge, ErrorCode::TargetTooLarge, dstW, dstH);
    if (std::int64_t { dstW } * kFull < srcW || std::int64_t { dstH } * kFull < srcH)
        return refuse(kReductionBeyondHundredth, ErrorCode::BeyondHundredth, dstW, dstH);
    if (srcW <= dstW || srcH <= dstH)
        return refuse(kReductionNotSmaller, ErrorCode::NotSmaller, dstW, dstH);
    return 1;
}

// Destination rows first .. end - 1 of the reduction of `region` (checked already) into `result`, which has the
// destination's size. Each row is made from the source alone, so that bands of rows can be made apart. False when
// its working rows cannot be had.
template <typename Loops>
bool ReduceRows(const Bitmap& source, const Rect& region, const Columns& columns, int dstH, int first, int end,
    Bitmap& result, const Progress& progress)
{
    const int srcW = region.Width(), srcH = region.Height();
    const int dstW = static_cast<int>(columns.spans.size());
    const std::size_t rowBytes = 3 * static_cast<std::size_t>(srcW);
    std::vector<std::uint16_t> middle;
    std::vector<std::uint32_t> rowSums;
    try {
        middle.resize(rowBytes);
        rowSums.resize(rowBytes + 1); // the vector loops read a pixel as four lanes
    } catch (const std::bad_alloc&) {
        return false;
    }
    // Rows past the bottom (the source may be relatively wider than the target) read the last row.
    auto sourceRow = [&](int y) {
        return source.Row(region.top + std::min(y, srcH - 1)) + 3 * static_cast<std::size_t>(region.left);
    };
    int rowsSinceReport = 0;
    for (int y = first; y < end; ++y) {
        const Span rows = SpanOf(y, srcW, dstW);
        const std::uint8_t* firstRow = sourceRow(rows.first);
        const std::uint8_t* last = nullptr;
        const std::uint16_t* inner = nullptr;
        if (rows.count == 1) {
            Loops::WeighRows(rowSums.data(), firstRow, rows.lastWeight, nullptr, nullptr, 0, rowBytes);
        } else {
            for (int k = 1; k + 1 < rows.count; ++k)
                Loops::AddRow(middle.data(), sourceRow(rows.first + k), rowBytes, k == 1);
            if (rows.count > 2)
                inner = middle.data();
            if (rows.lastWeight > 0)
                last = sourceRow(rows.first + rows.count - 1);
            Loops::WeighRows(rowSums.data(), firstRow, rows.firstWeight, inner, last, rows.lastWeight, rowBytes);
        }
        Loops::WeighColumns(
            rowSums.data(), columns, rows.weightSum, 1.0 / rows.weightSum, y > 0 && y < dstH - 1, result.Row(y));

        rowsSinceReport += rows.count;
        if (rowsSinceReport >= 64) {
            rowsSinceReport = 0;
            Report(progress);
        }
    }
    return true;
}

// The rows a band of a reduction shared between two threads holds.
constexpr int kBandRows = 32;

template <typename Loops>
int Reduce(const Bitmap& source, const Rect& region, int dstH, int dstW, Bitmap& destination, EngineError* error,
    const Progress& progress, int threads = 1)
{
    EngineError checkedError;
    const int checked = Check(source, region, dstH, dstW, destination, checkedError);
    if (error)
        *error = checkedError;
    if (checked != 1)
        return checked;

    const int srcW = region.Width();
    // The result is built apart and moved in at the end: the destination may be the source, and a failure
    // must leave it as it was.
    Bitmap result;
    Columns columns;
    try {
        if (!result.ResizeUninitialized(dstW, dstH))
            throw std::bad_alloc();
        columns = ColumnsOf(srcW, dstW);
    } catch (const std::bad_alloc&) {
        return Refuse(error, kReductionOutOfMemory, { ErrorCode::OutOfMemory, ErrorDomain::Memory, {}, dstW, dstH });
    }

    if (threads < 2 || dstH < 2 * kBandRows) {
        if (!ReduceRows<Loops>(source, region, columns, dstH, 0, dstH, result, progress))
            return Refuse(
                error, kReductionOutOfMemory, { ErrorCode::OutOfMemory, ErrorDomain::Memory, {}, dstW, dstH });
        destination = std::move(result);
        return kReduced;
    }
    // Bands shared with a helper thread; only the calling thread reports progress.
    const bool made = MakeBandsShared((dstH + kBandRows - 1) / kBandRows, [&](int band, bool onCaller) {
        return ReduceRows<Loops>(source, region, columns, dstH, band * kBandRows,
            std::min(dstH, (band + 1) * kBandRows), result, onCaller ? progress : Progress {});
    });
    if (!made)
        return Refuse(error, kReductionOutOfMemory, { ErrorCode::OutOfMemory, ErrorDomain::Memory, {}, dstW, dstH });
    destination = std::move(result);
    return kReduced;
}

} // namespace

int ReduceHighQuality(const Bitmap& source, int targetHeight, int targetWidth, Bitmap& destination, EngineError* error,
    const Progress& progress)
{
    return Reduce<FastLoops>(
        source, { 0, 0, source.Width(), source.Height() }, targetHeight, targetWidth, destination, error, progress);
}

int ReduceHighQualityRegion(const Bitmap& source, const Rect& region, int targetHeight, int targetWidth,
    Bitmap& destination, EngineError* error, const Progress& progress, int threads)
{
    if (region.left < 0 || region.top < 0 || region.right > source.Width() || region.bottom > source.Height()
        || region.Width() < 1 || region.Height() < 1 || &source == &destination)
        return Refuse(error, kReductionSizeBelowOne,
            { ErrorCode::SizeBelowOne, ErrorDomain::Reduction, {}, region.Width(), region.Height() });
    return Reduce<FastLoops>(source, region, targetHeight, targetWidth, destination, error, progress, threads);
}

struct ReductionFollowingRows::State {
    const Bitmap* source = nullptr;
    Rect region;
    Columns columns;
    Bitmap result;
    int made = 0; // the result's rows made
};

ReductionFollowingRows::ReductionFollowingRows() = default;
ReductionFollowingRows::~ReductionFollowingRows() = default;

bool ReductionFollowingRows::Prepare(const Bitmap& source, const Rect& region, int targetHeight, int targetWidth)
{
    state_.reset();
    if (region.left < 0 || region.top < 0 || region.right > source.Width() || region.bottom > source.Height())
        return false;
    EngineError error;
    Bitmap untouched;
    if (Check(source, region, targetHeight, targetWidth, untouched, error) != 1)
        return false;
    try {
        auto state = std::make_unique<State>();
        if (!state->result.ResizeUninitialized(targetWidth, targetHeight))
            return false;
        state->columns = ColumnsOf(region.Width(), targetWidth);
        state->source = &source;
        state->region = region;
        state_ = std::move(state);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

int ReductionFollowingRows::Wanted() const
{
    if (!state_)
        return 0;
    const State& s = *state_;
    const int dstH = s.result.Height(), dstW = s.result.Width();
    if (s.made >= dstH)
        return s.region.bottom + 1;
    // The rows use the columns' factor (SpanOf with the widths); rows past the bottom read the last one.
    const Span rows = SpanOf(s.made, s.region.Width(), dstW);
    return s.region.top + std::min(rows.first + rows.count, s.region.Height());
}

void ReductionFollowingRows::Follow(int written)
{
    if (!state_)
        return;
    State& s = *state_;
    const int dstH = s.result.Height();
    int end = s.made;
    while (end < dstH) {
        const Span rows = SpanOf(end, s.region.Width(), s.result.Width());
        if (s.region.top + std::min(rows.first + rows.count, s.region.Height()) > written)
            break;
        ++end;
    }
    if (end == s.made)
        return;
    if (!ReduceRows<FastLoops>(*s.source, s.region, s.columns, dstH, s.made, end, s.result, {}))
        throw std::bad_alloc();
    s.made = end;
}

bool ReductionFollowingRows::Done() const
{
    return state_ && state_->made >= state_->result.Height();
}

Bitmap ReductionFollowingRows::Take()
{
    if (!Done())
        return {};
    Bitmap result = std::move(state_->result);
    state_.reset();
    return result;
}

namespace detail {
int ReduceHighQualityPortable(const Bitmap& source, int targetHeight, int targetWidth, Bitmap& destination,
    EngineError* error, const Progress& progress)
{
    return Reduce<PlainLoops>(
        source, { 0, 0, source.Width(), source.Height() }, targetHeight, targetWidth, destination, error, progress);
}
} // namespace detail

} // namespace vellicam
