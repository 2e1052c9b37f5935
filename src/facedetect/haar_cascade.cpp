#include "haar_cascade.h"

#include "model_cache.h"
#include "shared_work.h"

#include <opencv2/imgproc.hpp>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VELLICAM_CASCADE_AVX2 1
#endif

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>

// Every sum below must round exactly as OpenCV's scalar loop does, window by window: this file is compiled with
// -ffp-contract=off, so that no multiply and add are fused into one rounding.

namespace vellicam::facedetect {

namespace {

// OpenCV lowers every stage threshold by this much when it reads a cascade.
constexpr float kStageThresholdMargin = 1e-5f;

// A stump with its rectangles' corners as offsets into one scale's integral image.
struct PlacedStump {
    int Corners[12]; // per rectangle: top left, top right, bottom left, bottom right
    float Weights[3];
    float Threshold, Left, Right;
};

// One scale's integral images and cascade, ready for windows. With a step of 2 the integral images are stored as
// two half-width planes per row (even columns, then odd ones), so that the windows at x = 0, 2, 4 … read
// neighbouring integers just as the windows of step 1 do.
struct ScaleContext {
    const int* Sum = nullptr;
    const int* Squares = nullptr;
    int Stride = 0; // integers per row
    int Half = 0; // the odd columns' start within a row when stored as planes, else 0
    int NormCorners[4] {};
    double Area = 0;
    const PlacedStump* Stumps = nullptr;
    const HaarCascade::Stage* Stages = nullptr;
    int StageCount = 0;

    int Offset(int row, int column) const
    {
        return row * Stride + (Half > 0 ? (column & 1) * Half + (column >> 1) : column);
    }
};

struct Hit {
    int Window; // index along the row
    double Weight;
};

// A rectangle's sum from its corners; integral images of squares wrap around 2^32, and so does this.
inline int CornerSum(const int* p, const int* c)
{
    return static_cast<int>(static_cast<unsigned>(p[c[0]]) - static_cast<unsigned>(p[c[1]])
        - static_cast<unsigned>(p[c[2]]) + static_cast<unsigned>(p[c[3]]));
}

// OpenCV's variance normalisation of a window; false for a window too flat to search.
inline bool NormFactor(const ScaleContext& c, int base, float& factor)
{
    const int valsum = CornerSum(c.Sum + base, c.NormCorners);
    const unsigned valsqsum = static_cast<unsigned>(CornerSum(c.Squares + base, c.NormCorners));
    double nf = c.Area * valsqsum - static_cast<double>(valsum) * valsum;
    if (nf > 0.) {
        nf = std::sqrt(nf);
        factor = static_cast<float>(1. / nf);
        return c.Area * factor < 1e-1;
    }
    factor = 1.f;
    return false;
}

inline double StageSum(const ScaleContext& c, int stage, const int* p, float factor)
{
    const HaarCascade::Stage& s = c.Stages[stage];
    double sum = 0;
    for (int i = 0; i < s.Count; ++i) {
        const PlacedStump& t = c.Stumps[s.First + i];
        float value = t.Weights[0] * static_cast<float>(CornerSum(p, t.Corners))
            + t.Weights[1] * static_cast<float>(CornerSum(p, t.Corners + 4));
        if (t.Weights[2] != 0.0f)
            value += t.Weights[2] * static_cast<float>(CornerSum(p, t.Corners + 8));
        const double normalised = value * factor;
        sum += normalised < t.Threshold ? t.Left : t.Right;
    }
    return sum;
}

// The stages from `first` on for one window: true when it passes them all, with the last stage's sum.
inline bool PassesFrom(const ScaleContext& c, int first, const int* p, float factor, double& weight)
{
    for (int stage = first; stage < c.StageCount; ++stage) {
        weight = StageSum(c, stage, p, factor);
        if (weight < c.Stages[stage].Threshold)
            return false;
    }
    return true;
}

// One row of windows, one at a time, in OpenCV's order: a window the first stage rejects lets the next one go
// unsearched.
void SearchRowScalar(const ScaleContext& c, int rowBase, int count, std::vector<Hit>& hits)
{
    for (int k = 0; k < count; ++k) {
        const int base = rowBase + k;
        float factor = 1.f;
        if (!NormFactor(c, base, factor))
            continue;
        const double first = StageSum(c, 0, c.Sum + base, factor);
        if (first < c.Stages[0].Threshold) {
            ++k;
            continue;
        }
        double weight = first;
        if (PassesFrom(c, 1, c.Sum + base, factor, weight))
            hits.push_back({ k, weight });
    }
}

#ifdef VELLICAM_CASCADE_AVX2
__attribute__((target("avx2"))) inline __m256i CornerSum8(const int* p, const int* c)
{
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + c[0]));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + c[1]));
    const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + c[2]));
    const __m256i e = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + c[3]));
    return _mm256_add_epi32(_mm256_sub_epi32(_mm256_sub_epi32(a, b), d), e);
}

// One stage for eight neighbouring windows; returns the lanes it rejects.
__attribute__((target("avx2"))) inline int StageSum8(
    const ScaleContext& c, int stage, const int* p, __m256 factor, __m256d& sumLow, __m256d& sumHigh)
{
    const HaarCascade::Stage& s = c.Stages[stage];
    __m256d low = _mm256_setzero_pd();
    __m256d high = _mm256_setzero_pd();
    for (int i = 0; i < s.Count; ++i) {
        const PlacedStump& t = c.Stumps[s.First + i];
        __m256 value
            = _mm256_add_ps(_mm256_mul_ps(_mm256_set1_ps(t.Weights[0]), _mm256_cvtepi32_ps(CornerSum8(p, t.Corners))),
                _mm256_mul_ps(_mm256_set1_ps(t.Weights[1]), _mm256_cvtepi32_ps(CornerSum8(p, t.Corners + 4))));
        if (t.Weights[2] != 0.0f)
            value = _mm256_add_ps(
                value, _mm256_mul_ps(_mm256_set1_ps(t.Weights[2]), _mm256_cvtepi32_ps(CornerSum8(p, t.Corners + 8))));
        const __m256 normalised = _mm256_mul_ps(value, factor);
        const __m256 below = _mm256_cmp_ps(normalised, _mm256_set1_ps(t.Threshold), _CMP_LT_OQ);
        const __m256 leaf = _mm256_blendv_ps(_mm256_set1_ps(t.Right), _mm256_set1_ps(t.Left), below);
        low = _mm256_add_pd(low, _mm256_cvtps_pd(_mm256_castps256_ps128(leaf)));
        high = _mm256_add_pd(high, _mm256_cvtps_pd(_mm256_extractf128_ps(leaf, 1)));
    }
    sumLow = low;
    sumHigh = high;
    const __m256d threshold = _mm256_set1_pd(s.Threshold);
    return _mm256_movemask_pd(_mm256_cmp_pd(low, threshold, _CMP_LT_OQ))
        | (_mm256_movemask_pd(_mm256_cmp_pd(high, threshold, _CMP_LT_OQ)) << 4);
}

// The variance normalisation of eight neighbouring windows (lanes not flagged in the result keep garbage).
__attribute__((target("avx2"))) inline int NormFactor8(const ScaleContext& c, int base, __m256& factor)
{
    const __m256i sums = CornerSum8(c.Sum + base, c.NormCorners);
    // The squares' sum is unsigned: flipping the top bit and adding 2^31 back converts it exactly.
    const __m256i squares = _mm256_xor_si256(CornerSum8(c.Squares + base, c.NormCorners), _mm256_set1_epi32(INT_MIN));
    const __m256d area = _mm256_set1_pd(c.Area);
    const __m256d two31 = _mm256_set1_pd(2147483648.0);
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d flat = _mm256_set1_pd(1e-1);
    int ok = 0;
    __m128 halves[2];
    for (int h = 0; h < 2; ++h) {
        const __m128i s = h == 0 ? _mm256_castsi256_si128(sums) : _mm256_extracti128_si256(sums, 1);
        const __m128i q = h == 0 ? _mm256_castsi256_si128(squares) : _mm256_extracti128_si256(squares, 1);
        const __m256d sd = _mm256_cvtepi32_pd(s);
        const __m256d qd = _mm256_add_pd(_mm256_cvtepi32_pd(q), two31);
        const __m256d nf = _mm256_sub_pd(_mm256_mul_pd(area, qd), _mm256_mul_pd(sd, sd));
        const __m256d positive = _mm256_cmp_pd(nf, _mm256_setzero_pd(), _CMP_GT_OQ);
        halves[h] = _mm256_cvtpd_ps(_mm256_div_pd(one, _mm256_sqrt_pd(nf)));
        const __m256d searched = _mm256_cmp_pd(_mm256_mul_pd(area, _mm256_cvtps_pd(halves[h])), flat, _CMP_LT_OQ);
        ok |= _mm256_movemask_pd(_mm256_and_pd(positive, searched)) << (4 * h);
    }
    factor = _mm256_set_m128(halves[1], halves[0]);
    return ok;
}

// The same row eight windows at a time: the first stage for all eight, then the windows OpenCV's scan would visit
// and that passed it go on together while two or more remain, a last one alone.
__attribute__((target("avx2"))) void SearchRowAvx2(
    const ScaleContext& c, int rowBase, int count, std::vector<Hit>& hits)
{
    int next = 0; // the next window the scan visits
    alignas(32) double sums[8];
    alignas(32) float factors[8];
    for (int b = 0; b < count; b += 8) {
        const int lanes = std::min(8, count - b);
        const int base = rowBase + b;
        __m256 factor;
        const int ok = NormFactor8(c, base, factor) & ((1 << lanes) - 1);
        __m256d low = _mm256_setzero_pd(), high = _mm256_setzero_pd();
        const int rejected = ok != 0 ? StageSum8(c, 0, c.Sum + base, factor, low, high) : 0;
        const int passed = ok & ~rejected;
        int alive = 0;
        for (int j = 0; j < lanes; ++j) {
            if (b + j != next)
                continue;
            const bool searched = (ok >> j) & 1;
            const bool pass = (passed >> j) & 1;
            next = b + j + (searched && !pass ? 2 : 1);
            if (pass)
                alive |= 1 << j;
        }
        if (alive == 0)
            continue;
        for (int stage = 1; stage < c.StageCount && alive != 0; ++stage) {
            if ((alive & (alive - 1)) == 0) {
                // One window left: the rest of the cascade for it alone.
                const int j = __builtin_ctz(alive);
                _mm256_store_ps(factors, factor);
                double weight = 0;
                if (PassesFrom(c, stage, c.Sum + base + j, factors[j], weight))
                    hits.push_back({ b + j, weight });
                alive = 0;
                break;
            }
            alive &= ~StageSum8(c, stage, c.Sum + base, factor, low, high);
        }
        if (alive == 0)
            continue;
        _mm256_store_pd(sums, low);
        _mm256_store_pd(sums + 4, high);
        for (int j = 0; j < lanes; ++j)
            if ((alive >> j) & 1)
                hits.push_back({ b + j, sums[j] });
    }
}

#endif

// What one thread's search of a scale writes to, kept from scale to scale.
struct Scratch {
    std::vector<PlacedStump> Placed;
    std::vector<int> Sum, Squares, SumPlanes, SquarePlanes;
    cv::Mat Reduced;
    std::vector<Hit> Hits;
};

} // namespace

bool HaarCascade::VectorUnitPresent()
{
#ifdef VELLICAM_CASCADE_AVX2
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

bool HaarCascade::Load(const std::string& path)
{
    try {
        cv::FileStorage fs(path, cv::FileStorage::READ);
        if (fs.isOpened())
            return Load(fs.getFirstTopLevelNode());
    } catch (const cv::Exception&) {
    }
    *this = HaarCascade {};
    return false;
}

bool HaarCascade::Load(const cv::FileNode& root)
{
    const bool vectorised = Vectorised;
    *this = HaarCascade {};
    Vectorised = vectorised;
    try {
        if (Read(root))
            return true;
    } catch (const cv::Exception&) {
    }
    *this = HaarCascade {};
    Vectorised = vectorised;
    return false;
}

namespace {

struct FlatCounts {
    std::int32_t WindowWidth, WindowHeight;
    std::uint32_t Features, Stumps, Stages, Reserved;
};

template <typename T> void Append(std::vector<unsigned char>& out, const T* items, std::size_t count)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(items);
    out.insert(out.end(), bytes, bytes + count * sizeof(T));
}

} // namespace

std::vector<unsigned char> HaarCascade::Flat() const
{
    std::vector<unsigned char> out;
    if (!Loaded())
        return out;
    const FlatCounts counts { Window.width, Window.height, static_cast<std::uint32_t>(Features.size()),
        static_cast<std::uint32_t>(Stumps.size()), static_cast<std::uint32_t>(Stages.size()), 0 };
    Append(out, &counts, 1);
    Append(out, Features.data(), Features.size());
    Append(out, Stumps.data(), Stumps.size());
    Append(out, Stages.data(), Stages.size());
    return out;
}

bool HaarCascade::LoadFlat(const unsigned char* data, std::size_t size)
{
    const bool vectorised = Vectorised;
    *this = HaarCascade {};
    Vectorised = vectorised;
    FlatCounts counts {};
    if (!data || size < sizeof counts)
        return false;
    std::memcpy(&counts, data, sizeof counts);
    const std::size_t expected = sizeof counts + std::size_t { counts.Features } * sizeof(Feature)
        + std::size_t { counts.Stumps } * sizeof(Stump) + std::size_t { counts.Stages } * sizeof(Stage);
    if (counts.Features > (1u << 24) || counts.Stumps > (1u << 24) || counts.Stages > (1u << 16) || size != expected
        || counts.WindowWidth < 3 || counts.WindowHeight < 3 || counts.Stages == 0)
        return false;
    try {
        const unsigned char* p = data + sizeof counts;
        const auto take = [&p](auto& items, std::size_t count) {
            items.resize(count);
            std::memcpy(items.data(), p, count * sizeof items[0]);
            p += count * sizeof items[0];
        };
        take(Features, counts.Features);
        take(Stumps, counts.Stumps);
        take(Stages, counts.Stages);
    } catch (const std::bad_alloc&) {
        *this = HaarCascade {};
        Vectorised = vectorised;
        return false;
    }
    Window = cv::Size(counts.WindowWidth, counts.WindowHeight);
    // As Read checks them: features inside the window, trees on features that exist, stages over the trees in order.
    bool whole = true;
    for (const Feature& f : Features)
        for (const Rect& r : f.Rects)
            whole = whole && r.X >= 0 && r.Y >= 0 && r.Width >= 0 && r.Height >= 0
                && static_cast<long long>(r.X) + r.Width <= Window.width
                && static_cast<long long>(r.Y) + r.Height <= Window.height;
    for (const Stump& s : Stumps)
        whole = whole && s.Feature >= 0 && s.Feature < static_cast<int>(Features.size());
    int next = 0;
    for (const Stage& s : Stages) {
        whole = whole && s.First == next && s.Count >= 0;
        next += s.Count;
    }
    if (!whole || next != static_cast<int>(Stumps.size())) {
        *this = HaarCascade {};
        Vectorised = vectorised;
        return false;
    }
    return true;
}

bool HaarCascade::Read(const cv::FileNode& root)
{
    if (!root.isMap() || static_cast<std::string>(root["stageType"]) != "BOOST"
        || static_cast<std::string>(root["featureType"]) != "HAAR")
        return false;
    Window = cv::Size(static_cast<int>(root["width"]), static_cast<int>(root["height"]));
    // The variance is taken inside a one-pixel margin, which needs a window of at least 3 × 3.
    if (Window.width < 3 || Window.height < 3)
        return false;
    const cv::FileNode params = root["featureParams"];
    if (params.empty() || static_cast<int>(params["maxCatCount"]) != 0)
        return false;

    const cv::FileNode features = root["features"];
    if (features.empty() || !features.isSeq())
        return false;
    for (const cv::FileNode& node : features) {
        if (static_cast<int>(node["tilted"]) != 0)
            return false;
        const cv::FileNode rects = node["rects"];
        if (rects.empty() || rects.size() > 3)
            return false;
        Feature f;
        int i = 0;
        for (const cv::FileNode& r : rects) {
            if (r.size() != 5)
                return false;
            Rect& rect = f.Rects[i++];
            cv::FileNodeIterator it = r.begin();
            it >> rect.X >> rect.Y >> rect.Width >> rect.Height >> rect.Weight;
            // A rectangle reaching outside the window reads another layout's memory in OpenCV; leave it to OpenCV.
            if (rect.X < 0 || rect.Y < 0 || rect.Width < 0 || rect.Height < 0
                || static_cast<long long>(rect.X) + rect.Width > Window.width
                || static_cast<long long>(rect.Y) + rect.Height > Window.height)
                return false;
        }
        Features.push_back(f);
    }

    const cv::FileNode stages = root["stages"];
    if (stages.empty() || !stages.isSeq())
        return false;
    for (const cv::FileNode& node : stages) {
        Stage stage;
        stage.Threshold = static_cast<float>(node["stageThreshold"]) - kStageThresholdMargin;
        const cv::FileNode trees = node["weakClassifiers"];
        if (trees.empty() || !trees.isSeq())
            return false;
        stage.First = static_cast<int>(Stumps.size());
        stage.Count = static_cast<int>(trees.size());
        for (const cv::FileNode& tree : trees) {
            const cv::FileNode split = tree["internalNodes"];
            const cv::FileNode leaves = tree["leafValues"];
            // One split (left, right, feature, threshold) and two leaves; deeper trees are OpenCV's.
            if (split.size() != 4 || leaves.size() != 2)
                return false;
            Stump s;
            s.Feature = static_cast<int>(split[2]);
            s.Threshold = static_cast<float>(split[3]);
            s.Left = static_cast<float>(leaves[0]);
            s.Right = static_cast<float>(leaves[1]);
            if (s.Feature < 0 || s.Feature >= static_cast<int>(Features.size()))
                return false;
            Stumps.push_back(s);
        }
        Stages.push_back(stage);
    }
    return !Stages.empty();
}

bool HaarCascade::Detect(
    const cv::Mat& image, double scaleFactor, cv::Size minSize, cv::Size maxSize, RawWindows& out, int threads) const
{
    out = RawWindows {};
    if (!Loaded() || image.empty() || image.type() != CV_8UC1 || !(scaleFactor > 1))
        return false;
    const cv::Size imageSize = image.size();
    if (maxSize.width == 0 || maxSize.height == 0)
        maxSize = imageSize;
    if (imageSize.width < Window.width || imageSize.height < Window.height)
        return true;

    // OpenCV's list of scales: every power of the factor whose window fits the picture (window sizes rounded from
    // the double), then those within the size limits (rounded from the float kept).
    std::vector<float> all;
    for (double factor = 1;; factor *= scaleFactor) {
        const cv::Size window(cvRound(Window.width * factor), cvRound(Window.height * factor));
        if (window.width > imageSize.width || window.height > imageSize.height)
            break;
        all.push_back(static_cast<float>(factor));
    }
    std::vector<float> scales;
    for (const float factor : all) {
        const cv::Size window(cvRound(Window.width * factor), cvRound(Window.height * factor));
        if (window.width > maxSize.width || window.height > maxSize.height)
            break;
        if (window.width < minSize.width || window.height < minSize.height)
            continue;
        scales.push_back(factor);
    }
    // With no scale in the limits OpenCV picks the nearest one; that rare call stays OpenCV's.
    if (scales.empty())
        return all.empty();

    const auto scaledSize
        = [&](float scale) { return cv::Size(cvRound(imageSize.width / scale), cvRound(imageSize.height / scale)); };
    // OpenCV splits the rows into stripes by the first scale's width; rows past the last stripe go unsearched.
    // (The first scale always leaves a column of windows; at least one stripe all the same, never a division by 0.)
    const int stripes = std::max(1, cvCeil(std::max(scaledSize(scales[0]).width + 1 - Window.width, 0) / 32.));

    const bool vectorised = Vectorised && VectorUnitPresent();
    const int stageCount = static_cast<int>(Stages.size());
    const cv::Rect picture(cv::Point(0, 0), imageSize);

    // One scale's windows, in OpenCV's order, appended to `found`.
    const auto searchScale = [&](float scale, Scratch& k, RawWindows& found) {
        k.Placed.resize(Stumps.size());
        const cv::Size size = scaledSize(scale);
        const cv::Size integralSize(size.width + 1, size.height + 1);
        const int step = scale >= 2 ? 1 : 2;
        cv::resize(image, k.Reduced, size, 1. / scale, 1. / scale, cv::INTER_LINEAR_EXACT);

        // A spare row and some: eight windows read up to seven integers past the last one.
        const size_t padded = static_cast<size_t>(integralSize.width) * (integralSize.height + 1) + 64;
        k.Sum.resize(std::max(k.Sum.size(), padded));
        k.Squares.resize(std::max(k.Squares.size(), padded));
        cv::Mat sumMat(integralSize, CV_32S, k.Sum.data());
        cv::Mat squareMat(integralSize, CV_32S, k.Squares.data());
        cv::integral(k.Reduced, sumMat, squareMat, cv::noArray(), CV_32S, CV_32S);

        ScaleContext c;
        c.Stages = Stages.data();
        c.StageCount = stageCount;
        c.Area = static_cast<double>(Window.width - 2) * (Window.height - 2);
        if (step == 1) {
            c.Sum = k.Sum.data();
            c.Squares = k.Squares.data();
            c.Stride = integralSize.width;
        } else {
            const int half = (integralSize.width + 1) / 2;
            c.Stride = 2 * half;
            c.Half = half;
            const size_t planes = static_cast<size_t>(c.Stride) * (integralSize.height + 1) + 64;
            k.SumPlanes.assign(std::max(k.SumPlanes.size(), planes), 0);
            k.SquarePlanes.assign(std::max(k.SquarePlanes.size(), planes), 0);
            for (int y = 0; y < integralSize.height; ++y) {
                const int* s = k.Sum.data() + static_cast<size_t>(y) * integralSize.width;
                const int* q = k.Squares.data() + static_cast<size_t>(y) * integralSize.width;
                int* sp = k.SumPlanes.data() + static_cast<size_t>(y) * c.Stride;
                int* qp = k.SquarePlanes.data() + static_cast<size_t>(y) * c.Stride;
                for (int x = 0; x < integralSize.width; ++x) {
                    sp[(x & 1) * half + (x >> 1)] = s[x];
                    qp[(x & 1) * half + (x >> 1)] = q[x];
                }
            }
            c.Sum = k.SumPlanes.data();
            c.Squares = k.SquarePlanes.data();
        }
        const auto corners = [&c](int* out, int x, int y, int w, int h) {
            out[0] = c.Offset(y, x);
            out[1] = c.Offset(y, x + w);
            out[2] = c.Offset(y + h, x);
            out[3] = c.Offset(y + h, x + w);
        };
        corners(c.NormCorners, 1, 1, Window.width - 2, Window.height - 2);
        for (size_t i = 0; i < Stumps.size(); ++i) {
            const Stump& s = Stumps[i];
            const Feature& f = Features[s.Feature];
            PlacedStump& p = k.Placed[i];
            for (int r = 0; r < 3; ++r) {
                corners(p.Corners + 4 * r, f.Rects[r].X, f.Rects[r].Y, f.Rects[r].Width, f.Rects[r].Height);
                p.Weights[r] = f.Rects[r].Weight;
            }
            p.Threshold = s.Threshold;
            p.Left = s.Left;
            p.Right = s.Right;
        }
        c.Stumps = k.Placed.data();

        const cv::Size working(
            std::max(integralSize.width - Window.width, 0), std::max(integralSize.height - Window.height, 0));
        const int stripeRows = std::max((working.height / step + stripes - 1) / stripes, 1) * step;
        const int lastRow = std::min(stripes * stripeRows, working.height);
        const int windowsPerRow = (working.width + step - 1) / step;
        const cv::Size window(cvRound(Window.width * scale), cvRound(Window.height * scale));
        for (int y = 0; y < lastRow; y += step) {
            k.Hits.clear();
#ifdef VELLICAM_CASCADE_AVX2
            if (vectorised)
                SearchRowAvx2(c, y * c.Stride, windowsPerRow, k.Hits);
            else
#endif
                SearchRowScalar(c, y * c.Stride, windowsPerRow, k.Hits);
            for (const Hit& h : k.Hits) {
                const int x = h.Window * step;
                // Clipped to the picture as OpenCV's detectMultiScale clips them: rounding the scale back up can
                // reach a pixel past the edge.
                const cv::Rect r
                    = picture & cv::Rect(cvRound(x * scale), cvRound(y * scale), window.width, window.height);
                if (r.area() <= 0)
                    continue;
                found.Rects.push_back(r);
                found.Levels.push_back(stageCount);
                found.Weights.push_back(h.Weight);
            }
        }
    };

    // The scales are independent: with more threads each takes the next scale not yet taken (the first, largest
    // pictures are the longest), and the windows are put together in the scales' order.
    const int threadCount = std::min<int>(threads, static_cast<int>(scales.size()));
    if (threadCount <= 1) {
        Scratch k;
        for (const float scale : scales)
            searchScale(scale, k, out);
        return true;
    }
    std::vector<RawWindows> perScale(scales.size());
    std::vector<Scratch> scratch(static_cast<std::size_t>(threadCount));
    ShareItems(scales.size(), threadCount,
        [&](std::size_t i, int slot) { searchScale(scales[i], scratch[static_cast<std::size_t>(slot)], perScale[i]); });
    for (RawWindows& found : perScale) {
        out.Rects.insert(out.Rects.end(), found.Rects.begin(), found.Rects.end());
        out.Levels.insert(out.Levels.end(), found.Levels.begin(), found.Levels.end());
        out.Weights.insert(out.Weights.end(), found.Weights.begin(), found.Weights.end());
    }
    return true;
}

namespace {

// A cascade's cache file holds the sizes and times of the file and of the binary that made it, then the flat data.
constexpr std::uint32_t kCascadeCacheKind = 3;

struct CascadeCache {
    std::filesystem::path File;
    CacheSource Source;
    CacheSource Binary;
};

// Where the cache of a cascade file is, named after the file and its folder; nothing without a cache folder.
std::optional<CascadeCache> CascadeCacheOf(const std::filesystem::path& folder, const std::string& file)
{
    const std::filesystem::path binary = CacheOwnBinary();
    CascadeCache cache;
    if (folder.empty() || binary.empty() || !CacheSourceOf(file, cache.Source) || !CacheSourceOf(binary, cache.Binary))
        return std::nullopt;
    std::error_code ec;
    const std::string folderName = std::filesystem::absolute(file, ec).parent_path().string();
    char tag[20];
    std::snprintf(tag, sizeof tag, "%016llx",
        static_cast<unsigned long long>(
            CacheChecksum(reinterpret_cast<const unsigned char*>(folderName.data()), folderName.size())));
    cache.File = folder / ("cascade." + std::filesystem::path(file).filename().string() + "." + tag + ".cache");
    return cache;
}

// The caches are named after their cascade's folder, so a program folder that is gone (an old copy, a test's scratch
// folder) leaves its cache behind. The cache folder keeps the most recently used ones; a read marks its file as used.
constexpr std::size_t kCascadeCachesKept = 8;

bool IsCascadeCacheName(const std::string& name)
{
    return name.rfind("cascade.", 0) == 0 && name.ends_with(".cache");
}

// Removes the cascade caches beyond the kCascadeCachesKept most recently written or read, `written` always kept.
void PruneCascadeCaches(const std::filesystem::path& folder, const std::filesystem::path& written)
{
    std::error_code ec;
    std::vector<std::pair<std::filesystem::file_time_type, std::filesystem::path>> others;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code entryError;
        if (it->path() == written || !IsCascadeCacheName(it->path().filename().string())
            || !it->is_regular_file(entryError))
            continue;
        const std::filesystem::file_time_type time = it->last_write_time(entryError);
        if (!entryError)
            others.emplace_back(time, it->path());
    }
    if (others.size() < kCascadeCachesKept)
        return;
    std::sort(others.begin(), others.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    for (std::size_t i = kCascadeCachesKept - 1; i < others.size(); ++i)
        std::filesystem::remove(others[i].second, ec); // another process's mapping of it stays valid
}

} // namespace

bool ReadCascadeCache(const std::filesystem::path& cacheFolder, const std::string& cascadeFile, HaarCascade& cascade)
{
    (void)cascade.LoadFlat(nullptr, 0); // nothing loaded but what the cache holds
    const std::optional<CascadeCache> cache = CascadeCacheOf(cacheFolder, cascadeFile);
    if (!cache)
        return false;
    const std::unique_ptr<CachedModel> cached = CachedModel::Open(cache->File, kCascadeCacheKind, cache->Source);
    CacheSource binary;
    if (!cached || cached->Size() < sizeof binary)
        return false;
    std::memcpy(&binary, cached->Data(), sizeof binary);
    if (binary != cache->Binary || !cascade.LoadFlat(cached->Data() + sizeof binary, cached->Size() - sizeof binary))
        return false;
    // Used now: the pruning keeps it (a cache folder that cannot be written keeps its time and everything else).
    std::error_code ec;
    std::filesystem::last_write_time(cache->File, std::filesystem::file_time_type::clock::now(), ec);
    return true;
}

void WriteCascadeCache(
    const std::filesystem::path& cacheFolder, const std::string& cascadeFile, const HaarCascade& cascade)
{
    const std::optional<CascadeCache> found = CascadeCacheOf(cacheFolder, cascadeFile);
    if (!found || !cascade.Loaded())
        return;
    const CascadeCache& cache = *found;
    try {
        std::vector<unsigned char> bytes(sizeof cache.Binary);
        std::memcpy(bytes.data(), &cache.Binary, sizeof cache.Binary);
        const std::vector<unsigned char> flat = cascade.Flat();
        bytes.insert(bytes.end(), flat.begin(), flat.end());
        if (WriteCachedModel(cache.File, kCascadeCacheKind, cache.Source, bytes.data(), bytes.size()))
            PruneCascadeCaches(cacheFolder, cache.File);
    } catch (const std::bad_alloc&) {
        // Only the next start's time is lost.
    }
}

} // namespace vellicam::facedetect
