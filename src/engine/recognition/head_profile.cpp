// The head's top from the colour profile above the eyes.
#include "recognition/head_profile.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace vellicam {

int FindHeadTopByProfile(const Bitmap& bitmap, int cx, int halfWidth, int yTop, int yBottom, int minContrast)
{
    if (bitmap.Empty() || halfWidth < 0)
        return -1;
    const int x1 = std::max(0, cx - halfWidth), x2 = std::min(bitmap.Width() - 1, cx + halfWidth);
    int y1 = std::max(0, yTop);
    const int y2 = std::min(bitmap.Height() - 1, yBottom);
    if (x1 > x2)
        return -1;
    const auto blackRow = [&](int y) {
        const std::uint8_t* p = bitmap.Row(y) + 3 * static_cast<std::size_t>(x1);
        return std::all_of(p, p + 3 * static_cast<std::size_t>(x2 - x1 + 1), [](std::uint8_t v) { return v == 0; });
    };
    while (y1 <= y2 && blackRow(y1))
        ++y1;
    constexpr int kMinRun = 3;
    const int n = y2 - y1 + 1;
    if (n < 2 * kMinRun)
        return -1;

    // Prefix sums of each row's mean colour and of its square, per channel.
    std::vector<std::array<double, 3>> sum(static_cast<std::size_t>(n) + 1), squares(static_cast<std::size_t>(n) + 1);
    const double count = x2 - x1 + 1;
    for (int i = 0; i < n; ++i) {
        const std::uint8_t* p = bitmap.Row(y1 + i) + 3 * static_cast<std::size_t>(x1);
        std::array<double, 3> mean {};
        for (int x = x1; x <= x2; ++x, p += 3)
            for (int c = 0; c < 3; ++c)
                mean[c] += p[c];
        for (int c = 0; c < 3; ++c) {
            mean[c] /= count;
            sum[i + 1][c] = sum[i][c] + mean[c];
            squares[i + 1][c] = squares[i][c] + mean[c] * mean[c];
        }
    }
    const auto spread = [&](int from, int to) { // rows [from, to) of the profile
        double s = 0;
        for (int c = 0; c < 3; ++c) {
            const double total = sum[to][c] - sum[from][c];
            s += squares[to][c] - squares[from][c] - total * total / (to - from);
        }
        return s;
    };
    int best = -1;
    double bestSpread = 0;
    for (int r = kMinRun; r <= n - kMinRun; ++r) {
        const double s = spread(0, r) + spread(r, n);
        if (best < 0 || s < bestSpread) {
            best = r;
            bestSpread = s;
        }
    }
    double contrast = 0;
    for (int c = 0; c < 3; ++c) {
        const double upper = sum[best][c] / best, lower = (sum[n][c] - sum[best][c]) / (n - best);
        contrast += (upper - lower) * (upper - lower);
    }
    return std::sqrt(contrast) >= minContrast ? y1 + best : -1;
}

} // namespace vellicam
