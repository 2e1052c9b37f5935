#include "guided_filter.h"

#include <opencv2/imgproc.hpp>

#include <array>
#include <initializer_list>
#include <utility>
#include <vector>

namespace vellicam::facedetect {

namespace {

// The three guide channels' products, one per pair: the lower triangle of a symmetric 3×3, row by row.
int Pair(int i, int j)
{
    if (i < j)
        std::swap(i, j);
    return i * (i + 1) / 2 + j;
}

// Runs rows(from, to) over bands of the picture's rows on OpenCV's threads: each row's values depend on that row alone.
template <typename Rows> void ForRows(int height, const Rows& rows)
{
    cv::parallel_for_(cv::Range(0, height), [&rows](const cv::Range& r) {
        for (int y = r.start; y < r.end; ++y)
            rows(y);
    });
}

} // namespace

void GuidedFilter(const cv::Mat& guide, const cv::Mat& source, cv::Mat& filtered, int radius, double eps)
{
    CV_Assert(guide.type() == CV_8UC3 && source.type() == CV_32FC1 && guide.size() == source.size());
    const int h = guide.rows, w = guide.cols;
    // Each mean is taken of a whole picture of its own, so the mirrored border never reaches outside it; several are
    // taken in place, as the reference filter does.
    const auto mean = [radius](const cv::Mat& from, cv::Mat& to) {
        cv::boxFilter(
            from, to, CV_32F, cv::Size(2 * radius + 1, 2 * radius + 1), cv::Point(-1, -1), true, cv::BORDER_REFLECT);
    };
    // The means of several pictures at once, each on one thread.
    const auto meansInPlace = [&mean](std::initializer_list<cv::Mat*> pictures) {
        const std::vector<cv::Mat*> list(pictures);
        cv::parallel_for_(cv::Range(0, static_cast<int>(list.size())), [&](const cv::Range& r) {
            for (int i = r.start; i < r.end; ++i)
                mean(*list[i], *list[i]);
        });
    };
    // The whole-vector loops work in blocks of four and finish the rest one by one; only the regularised diagonal
    // rounds differently in the two, which the loop below keeps.
    const int blocked = w >= 4 ? ((w - 4) / 4 + 1) * 4 : 0;

    std::array<cv::Mat, 3> g, gMean;
    {
        std::array<cv::Mat, 3> bytes;
        cv::split(guide, bytes.data());
        for (int c = 0; c < 3; ++c)
            bytes[c].convertTo(g[c], CV_32F);
        cv::parallel_for_(cv::Range(0, 3), [&](const cv::Range& r) {
            for (int c = r.start; c < r.end; ++c)
                mean(g[c], gMean[c]);
        });
    }

    // The guide's covariance, with eps on the diagonal.
    std::array<cv::Mat, 6> cov;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j <= i; ++j) {
            cv::Mat& c = cov[Pair(i, j)];
            c.create(h, w, CV_32F);
            ForRows(h, [&](int y) {
                const float *a = g[i].ptr<float>(y), *b = g[j].ptr<float>(y);
                float* d = c.ptr<float>(y);
                for (int x = 0; x < w; ++x)
                    d[x] = b[x] * a[x];
            });
        }
    meansInPlace({ &cov[0], &cov[1], &cov[2], &cov[3], &cov[4], &cov[5] });
    const float diagonal = static_cast<float>(eps);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j <= i; ++j) {
            cv::Mat& c = cov[Pair(i, j)];
            ForRows(h, [&](int y) {
                const float *a = gMean[i].ptr<float>(y), *b = gMean[j].ptr<float>(y);
                float* d = c.ptr<float>(y);
                if (i != j) {
                    for (int x = 0; x < w; ++x)
                        d[x] = d[x] - b[x] * a[x];
                } else {
                    int x = 0;
                    for (; x < blocked; ++x)
                        d[x] = (d[x] + diagonal) - b[x] * a[x];
                    for (; x < w; ++x)
                        d[x] = d[x] - (a[x] * b[x] + -diagonal);
                }
            });
        }

    // Its inverse, pixel by pixel: the cofactors over the determinant.
    std::array<cv::Mat, 6> inv;
    for (cv::Mat& m : inv)
        m.create(h, w, CV_32F);
    cv::parallel_for_(cv::Range(0, h), [&](const cv::Range& rows) {
        std::vector<float> det(w);
        for (int y = rows.start; y < rows.end; ++y) {
            for (int k = 0; k < 3; ++k)
                for (int l = 0; l <= k; ++l) {
                    float* d = inv[Pair(k, l)].ptr<float>(y);
                    const float* a00 = cov[Pair((k + 1) % 3, (l + 1) % 3)].ptr<float>(y);
                    const float* a01 = cov[Pair((k + 1) % 3, (l + 2) % 3)].ptr<float>(y);
                    const float* a10 = cov[Pair((k + 2) % 3, (l + 1) % 3)].ptr<float>(y);
                    const float* a11 = cov[Pair((k + 2) % 3, (l + 2) % 3)].ptr<float>(y);
                    for (int x = 0; x < w; ++x) {
                        const float p = a00[x] * a11[x];
                        const float q = a01[x] * a10[x];
                        d[x] = p - q;
                    }
                }
            for (int k = 0; k < 3; ++k) {
                const float* a = cov[Pair(k, 0)].ptr<float>(y);
                const float* c = inv[Pair(k, 0)].ptr<float>(y);
                for (int x = 0; x < w; ++x) {
                    const float p = c[x] * a[x];
                    det[x] = k == 0 ? p : det[x] + p;
                }
            }
            for (cv::Mat& m : inv) {
                float* d = m.ptr<float>(y);
                for (int x = 0; x < w; ++x)
                    d[x] = d[x] / det[x];
            }
        }
    });
    for (cv::Mat& c : cov)
        c.release();

    // The source's covariance with each guide channel.
    cv::Mat p = source.clone();
    std::array<cv::Mat, 3> pg;
    for (int c = 2; c >= 0; --c) {
        pg[c].create(h, w, CV_32F);
        ForRows(h, [&](int y) {
            const float *s = p.ptr<float>(y), *a = g[c].ptr<float>(y);
            float* d = pg[c].ptr<float>(y);
            for (int x = 0; x < w; ++x)
                d[x] = s[x] * a[x];
        });
    }
    meansInPlace({ &p, &pg[0], &pg[1], &pg[2] });
    for (int c = 2; c >= 0; --c)
        ForRows(h, [&](int y) {
            const float *s = p.ptr<float>(y), *a = gMean[c].ptr<float>(y);
            float* d = pg[c].ptr<float>(y);
            for (int x = 0; x < w; ++x)
                d[x] = d[x] - a[x] * s[x];
        });

    // The local linear model: alpha = Σ⁻¹ · cov(guide, source), beta = mean(source) − alpha · mean(guide).
    std::array<cv::Mat, 3> alpha;
    for (int c = 0; c < 3; ++c) {
        alpha[c].create(h, w, CV_32F);
        ForRows(h, [&](int y) {
            float* d = alpha[c].ptr<float>(y);
            for (int k = 0; k < 3; ++k) {
                const float *yk = pg[k].ptr<float>(y), *a = inv[Pair(c, k)].ptr<float>(y);
                for (int x = 0; x < w; ++x) {
                    const float t = yk[x] * a[x];
                    d[x] = k == 0 ? t : d[x] + t;
                }
            }
        });
    }
    cv::Mat& beta = p;
    ForRows(h, [&](int y) {
        float* d = beta.ptr<float>(y);
        for (int c = 0; c < 3; ++c) {
            const float *a = alpha[c].ptr<float>(y), *m = gMean[c].ptr<float>(y);
            for (int x = 0; x < w; ++x)
                d[x] = d[x] - m[x] * a[x];
        }
    });
    meansInPlace({ &beta, &alpha[0], &alpha[1], &alpha[2] });
    ForRows(h, [&](int y) {
        float* d = beta.ptr<float>(y);
        for (int c = 0; c < 3; ++c) {
            const float *a = alpha[c].ptr<float>(y), *m = g[c].ptr<float>(y);
            for (int x = 0; x < w; ++x)
                d[x] = d[x] + m[x] * a[x];
        }
    });
    filtered = beta;
}

} // namespace vellicam::facedetect
