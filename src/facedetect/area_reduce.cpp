// Reduction by area, the values of OpenCV's INTER_AREA computed in the same order, eight pixels at a time.
#include "area_reduce.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#define VELLICAM_AREA_AVX2 1
#endif

namespace vellicam::facedetect {

namespace {

// One axis of the reduction: for each new pixel, the source pixels it covers and their weights, in the order the
// sums take them (the part of a pixel before, the whole ones, the part after), each new pixel padded to the same
// number of taps with weight 0 (which adds nothing). Tap-major: tap t of new pixel i is at [t * count + i].
struct AxisTaps {
    int count = 0; // new pixels
    int taps = 0; // per new pixel
    std::vector<int> index;
    std::vector<float> weight;
};

AxisTaps TapsOf(int sourceSize, int targetSize, double scale)
{
    std::vector<std::vector<std::pair<int, float>>> each(static_cast<std::size_t>(targetSize));
    for (int d = 0; d < targetSize; ++d) {
        auto& taps = each[static_cast<std::size_t>(d)];
        const double from = d * scale, to = from + scale;
        const double cell = std::min(scale, sourceSize - from);
        int first = static_cast<int>(std::ceil(from)), last = static_cast<int>(std::floor(to));
        last = std::min(last, sourceSize - 1);
        first = std::min(first, last);
        if (first - from > 1e-3)
            taps.emplace_back(first - 1, static_cast<float>((first - from) / cell));
        for (int s = first; s < last; ++s)
            taps.emplace_back(s, static_cast<float>(1.0 / cell));
        if (to - last > 1e-3)
            taps.emplace_back(last, static_cast<float>(std::min(std::min(to - last, 1.), cell) / cell));
    }
    AxisTaps axis;
    axis.count = targetSize;
    for (const auto& taps : each)
        axis.taps = std::max(axis.taps, static_cast<int>(taps.size()));
    axis.index.assign(static_cast<std::size_t>(axis.taps) * targetSize, 0);
    axis.weight.assign(axis.index.size(), 0.f);
    for (int d = 0; d < targetSize; ++d) {
        const auto& taps = each[static_cast<std::size_t>(d)];
        for (std::size_t t = 0; t < taps.size(); ++t) {
            const std::size_t at = t * static_cast<std::size_t>(targetSize) + static_cast<std::size_t>(d);
            axis.index[at] = taps[t].first;
            axis.weight[at] = taps[t].second;
        }
        // Padding reads a pixel the new one covers, with weight 0.
        for (std::size_t t = taps.size(); t < static_cast<std::size_t>(axis.taps); ++t)
            axis.index[t * static_cast<std::size_t>(targetSize) + static_cast<std::size_t>(d)]
                = taps.empty() ? 0 : taps.front().first;
    }
    return axis;
}

#ifdef VELLICAM_AREA_AVX2
bool HasAvx2()
{
    static const bool present = __builtin_cpu_supports("avx2");
    return present;
}

// A source row's pixels as floats, then each new pixel's weighted sum across: 0 + p0 w0 + p1 w1 + …, each product
// and sum rounded to float, as OpenCV's loop adds them.
__attribute__((target("avx2"))) void SumAcross(
    const std::uint8_t* row, int width, const AxisTaps& across, std::vector<float>& pixels, float* sums)
{
    for (int x = 0; x < width; ++x)
        pixels[static_cast<std::size_t>(x)] = static_cast<float>(row[x]);
    const float* p = pixels.data();
    const int n = across.count;
    int d = 0;
    for (; d + 8 <= n; d += 8) {
        __m256 sum = _mm256_setzero_ps();
        for (int t = 0; t < across.taps; ++t) {
            const std::size_t at = static_cast<std::size_t>(t) * n + d;
            const __m256i index = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(across.index.data() + at));
            const __m256 value = _mm256_i32gather_ps(p, index, 4);
            sum = _mm256_add_ps(sum, _mm256_mul_ps(value, _mm256_loadu_ps(across.weight.data() + at)));
        }
        _mm256_storeu_ps(sums + d, sum);
    }
    for (; d < n; ++d) {
        float sum = 0.f;
        for (int t = 0; t < across.taps; ++t) {
            const std::size_t at = static_cast<std::size_t>(t) * n + d;
            const float product = p[across.index[at]] * across.weight[at];
            sum = sum + product;
        }
        sums[d] = sum;
    }
}

// total = total + weight × sums, rounded as two operations (no fused multiply-add: OpenCV's loop has none).
__attribute__((target("avx2"))) void AddDown(float* total, const float* sums, float weight, int n)
{
    const __m256 w = _mm256_set1_ps(weight);
    int x = 0;
    for (; x + 8 <= n; x += 8)
        _mm256_storeu_ps(
            total + x, _mm256_add_ps(_mm256_loadu_ps(total + x), _mm256_mul_ps(w, _mm256_loadu_ps(sums + x))));
    for (; x < n; ++x) {
        const float product = weight * sums[x];
        total[x] = total[x] + product;
    }
}

// The row's bytes: each sum rounded to the nearest integer (ties to even) and held to 0..255.
__attribute__((target("avx2"))) void StoreRow(const float* total, std::uint8_t* out, int n)
{
    int x = 0;
    for (; x + 8 <= n; x += 8) {
        const __m256i rounded = _mm256_cvtps_epi32(_mm256_loadu_ps(total + x));
        const __m128i words = _mm_packs_epi32(_mm256_castsi256_si128(rounded), _mm256_extracti128_si256(rounded, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(words, words));
    }
    for (; x < n; ++x) {
        const long v = std::lrint(total[x]);
        out[x] = static_cast<std::uint8_t>(std::clamp<long>(v, 0, 255));
    }
}

void Reduce(const cv::Mat& grey, cv::Mat& out, cv::Size size, double scaleX, double scaleY)
{
    const AxisTaps across = TapsOf(grey.cols, size.width, scaleX);
    const AxisTaps down = TapsOf(grey.rows, size.height, scaleY);
    out.create(size, CV_8UC1);
    std::vector<float> pixels(static_cast<std::size_t>(grey.cols));
    std::vector<float> sums(static_cast<std::size_t>(size.width));
    std::vector<float> total(static_cast<std::size_t>(size.width));
    int summedRow = -1; // the source row `sums` holds
    for (int y = 0; y < size.height; ++y) {
        std::fill(total.begin(), total.end(), 0.f);
        for (int t = 0; t < down.taps; ++t) {
            const std::size_t at = static_cast<std::size_t>(t) * size.height + y;
            const float weight = down.weight[at];
            if (weight == 0.f)
                continue; // padding: adds nothing
            const int row = down.index[at];
            if (row != summedRow) {
                SumAcross(grey.ptr<std::uint8_t>(row), grey.cols, across, pixels, sums.data());
                summedRow = row;
            }
            AddDown(total.data(), sums.data(), weight, size.width);
        }
        StoreRow(total.data(), out.ptr<std::uint8_t>(y), size.width);
    }
}
#endif

} // namespace

void ReduceByArea(const cv::Mat& grey, cv::Mat& out, cv::Size size)
{
#ifdef VELLICAM_AREA_AVX2
    if (HasAvx2() && !grey.empty() && grey.type() == CV_8UC1 && size.width > 0 && size.height > 0
        && size.width <= grey.cols && size.height <= grey.rows && &out != &grey) {
        // cv::resize's own factors, from the sizes; whole ones take its other way (a plain block mean).
        const double scaleX = 1. / (static_cast<double>(size.width) / grey.cols);
        const double scaleY = 1. / (static_cast<double>(size.height) / grey.rows);
        const bool whole = std::abs(scaleX - std::lround(scaleX)) < DBL_EPSILON
            && std::abs(scaleY - std::lround(scaleY)) < DBL_EPSILON;
        if (!whole && size != grey.size()) {
            Reduce(grey, out, size, scaleX, scaleY);
            return;
        }
    }
#endif
    cv::resize(grey, out, size, 0, 0, cv::INTER_AREA);
}

} // namespace vellicam::facedetect
