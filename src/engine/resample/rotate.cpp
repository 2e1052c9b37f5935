// The rotation engine: backward sampling of a 1-2-1 smoothed source, and the rotation angle's arithmetic.
#include "resample/rotate.h"

#include "resample/reduce.h"
#include "resample/weighted_mean.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vellicam {
namespace {

// The program's π. Every turned photo is defined with this value; a more precise one would move some samples
// by a pixel and change the sheets.
constexpr double kPi = 3.141592;

constexpr int kRowsPerReport = 32;

std::uint32_t Load32(const std::uint8_t* p)
{
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void Store32(std::uint8_t* p, std::uint32_t v)
{
    std::memcpy(p, &v, 4);
}

// The whole source smoothed, packed like a bitmap with four spare bytes at the end, so that any pixel can be
// read as one 4-byte word.
std::unique_ptr<std::uint8_t[]> SmoothedSource(const Bitmap& source, const Progress& progress)
{
    const int w = source.Width(), h = source.Height();
    const std::size_t stride = source.Stride();
    std::unique_ptr<std::uint8_t[]> plane(new (std::nothrow) std::uint8_t[stride * static_cast<std::size_t>(h) + 4]);
    std::unique_ptr<std::uint16_t[]> column(new (std::nothrow) std::uint16_t[stride]);
    if (!plane || !column)
        return nullptr;
    for (int y = 0; y < h; ++y) {
        if (y % kRowsPerReport == 0)
            Report(progress);
        WeightedMeanRow(y > 0 ? source.Row(y - 1) : nullptr, source.Row(y), y + 1 < h ? source.Row(y + 1) : nullptr, w,
            column.get(), plane.get() + stride * static_cast<std::size_t>(y));
    }
    std::memset(plane.get() + stride * static_cast<std::size_t>(h), 0, 4);
    return plane;
}

} // namespace

int RotateBitmap(const Bitmap& source, double tenths, Bitmap& destination, const Progress& progress, EngineError* error)
{
    const int dW = destination.Width(), dH = destination.Height();
    if (dW > kMaxPlaneSide || dH > kMaxPlaneSide)
        return Refuse(error, -1, { ErrorCode::TargetTooLarge, ErrorDomain::Geometry, {}, dW, dH });
    // No turn to sample by, and converting its positions to pixels would be undefined.
    if (!std::isfinite(tenths))
        return Refuse(error, -3, { ErrorCode::AngleNotFinite, ErrorDomain::Geometry, {}, 0, 0 });
    if (error)
        *error = {};
    if (dW == 0 || dH == 0)
        return 0;
    const int sW = source.Width(), sH = source.Height();
    // A source beyond the 9600 limit is never loaded, so whatever it would have covered reads black.
    if (sW == 0 || sH == 0 || sW > kMaxPlaneSide || sH > kMaxPlaneSide) {
        Fill(destination, kBlack);
        return 0;
    }

    const double theta = tenths * 0.1;
    const double c = std::cos(kPi * theta / 180);
    const double s = std::sin(kPi * theta / 180);
    const int dcx = dW / 2, dcy = dH / 2, scx = sW / 2, scy = sH / 2;

    // u × c and u × s depend on the column only; each is the very product the per-pixel formula takes, so the
    // sums below round exactly as fx = u c − v s and fy = u s + v c do.
    std::unique_ptr<double[]> uc(new (std::nothrow) double[dW]);
    std::unique_ptr<double[]> us(new (std::nothrow) double[dW]);
    if (!uc || !us)
        return Refuse(error, -2, { ErrorCode::OutOfMemory, ErrorDomain::Memory, {}, dW, dH });
    for (int x = 0; x < dW; ++x) {
        uc[x] = static_cast<double>(x - dcx) * c;
        us[x] = static_cast<double>(x - dcx) * s;
    }

    // A destination under 10 × 10 takes the source pixels as they are (a thumbnail-sized turn stays sharp).
    const bool raw = dW < 10 && dH < 10;
    std::unique_ptr<std::uint8_t[]> smoothed;
    if (!raw) {
        smoothed = SmoothedSource(source, progress);
        if (!smoothed)
            return Refuse(error, -2, { ErrorCode::OutOfMemory, ErrorDomain::Memory, {}, sW, sH });
    }
    const std::size_t sStride = source.Stride();

    for (int y = 0; y < dH; ++y) {
        if (y % kRowsPerReport == 0)
            Report(progress);
        const int v = dH - y - dcy;
        const double vs = static_cast<double>(v) * s;
        const double vc = static_cast<double>(v) * c;
        std::uint8_t* out = destination.Row(y);
        if (raw) {
            for (int x = 0; x < dW; ++x) {
                const int sx = static_cast<int>(uc[x] - vs) + scx;
                const int sy = sH - static_cast<int>(us[x] + vc) - scy;
                std::uint8_t* p = out + 3 * x;
                if (sx >= 0 && sx < sW && sy >= 0 && sy < sH)
                    std::memcpy(p, source.Row(sy) + 3 * sx, 3);
                else
                    p[0] = p[1] = p[2] = 0;
            }
            continue;
        }
        const std::uint8_t* plane = smoothed.get();
        // Every pixel but the last is written as a 4-byte word whose spare byte the next pixel overwrites.
        const int last = dW - 1;
        int x = 0;
#if defined(__SSE2__)
        // Four pixels' source positions at a time; cvttpd truncates toward zero like the scalar conversion.
        const __m128d vvs = _mm_set1_pd(vs), vvc = _mm_set1_pd(vc);
        for (; x + 4 <= last; x += 4) {
            const __m128i tx = _mm_unpacklo_epi64(_mm_cvttpd_epi32(_mm_sub_pd(_mm_loadu_pd(&uc[x]), vvs)),
                _mm_cvttpd_epi32(_mm_sub_pd(_mm_loadu_pd(&uc[x + 2]), vvs)));
            const __m128i ty = _mm_unpacklo_epi64(_mm_cvttpd_epi32(_mm_add_pd(_mm_loadu_pd(&us[x]), vvc)),
                _mm_cvttpd_epi32(_mm_add_pd(_mm_loadu_pd(&us[x + 2]), vvc)));
            alignas(16) std::int32_t sx[4], sy[4];
            _mm_store_si128(reinterpret_cast<__m128i*>(sx), _mm_add_epi32(tx, _mm_set1_epi32(scx)));
            _mm_store_si128(reinterpret_cast<__m128i*>(sy), _mm_sub_epi32(_mm_set1_epi32(sH - scy), ty));
            for (int k = 0; k < 4; ++k) {
                std::uint32_t pixel = 0;
                if (static_cast<unsigned>(sx[k]) < static_cast<unsigned>(sW)
                    && static_cast<unsigned>(sy[k]) < static_cast<unsigned>(sH))
                    pixel = Load32(
                        plane + sStride * static_cast<std::size_t>(sy[k]) + 3 * static_cast<std::size_t>(sx[k]));
                Store32(out + 3 * (x + k), pixel);
            }
        }
#endif
        for (; x <= last; ++x) {
            const int sx = static_cast<int>(uc[x] - vs) + scx;
            const int sy = sH - static_cast<int>(us[x] + vc) - scy;
            std::uint32_t pixel = 0;
            if (static_cast<unsigned>(sx) < static_cast<unsigned>(sW)
                && static_cast<unsigned>(sy) < static_cast<unsigned>(sH))
                pixel = Load32(plane + sStride * static_cast<std::size_t>(sy) + 3 * static_cast<std::size_t>(sx));
            if (x < last)
                Store32(out + 3 * x, pixel);
            else
                std::memcpy(out + 3 * x, &pixel, 3);
        }
    }
    return 0;
}

int StepRotationAngle(int angle, int step)
{
    return (angle + step) % 3600;
}

int NormaliseRotationAngle(int angle)
{
    return ((angle % 3600) + 3600) % 3600;
}

std::string RotationAngleText(int angle)
{
    // Integer digits, so that no binary fraction ever shows as 0.30000000000000004.
    const long long magnitude = angle < 0 ? -static_cast<long long>(angle) : angle;
    std::string text = angle < 0 ? "-" : "";
    text += std::to_string(magnitude / 10);
    if (magnitude % 10 != 0) {
        text += '.';
        text += static_cast<char>('0' + magnitude % 10);
    }
    return text;
}

int BuildRotatedSquare(const Bitmap& original, int angle, Bitmap& rotated, const Progress& progress, EngineError* error)
{
    const int side = std::max(original.Width(), original.Height());
    if (!rotated.ResizeUninitialized(side, side))
        return Refuse(error, -2, { ErrorCode::OutOfMemory, ErrorDomain::Memory, {}, side, side });
    Fill(rotated, kWhite);
    return RotateBitmap(original, NormaliseRotationAngle(angle), rotated, progress, error);
}

Rect TurnedPhotoArea(int width, int height, int angle)
{
    const int side = std::max(width, height);
    if (width < 1 || height < 1)
        return {};
    // RotateBitmap takes square pixel (x, y), u = x - side/2 and v = side - y - side/2, from the photo's point
    // (u c - v s, u s + v c) about its centre, and leaves it black unless that point truncates into the photo:
    // |u c - v s| < a and |u s + v c| < b. Turned back, |u| ≤ a |c| + b |s| and |v| ≤ a |s| + b |c|.
    const double theta = kPi * NormaliseRotationAngle(angle) * 0.1 / 180;
    const double c = std::abs(std::cos(theta)), s = std::abs(std::sin(theta));
    const double a = std::max(width / 2 + 1, width - width / 2), b = std::max(height / 2 + 1, height - height / 2 + 1);
    const double u = a * c + b * s, v = a * s + b * c;
    const int centre = side / 2, middle = side - side / 2;
    constexpr int kSpare = 2;
    const auto limit = [side](double value) { return static_cast<int>(std::clamp(value, 0.0, double(side))); };
    return { limit(std::floor(centre - u) - kSpare), limit(std::floor(middle - v) - kSpare),
        limit(std::ceil(centre + u) + kSpare + 1), limit(std::ceil(middle + v) + kSpare + 1) };
}

} // namespace vellicam
