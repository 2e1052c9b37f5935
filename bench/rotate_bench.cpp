// The rotation engine and the sharpening filter beside OpenCV's affine warp and 3 × 3 filter.
#include "bench_pairs.h"

#include "resample/rotate.h"
#include "resample/sharpen.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

using namespace vellicam;

// A photo-like picture: smooth gradients with a soft disc and some fine texture, so that neither side gains from
// flat areas or from noise it cannot compress.
Bitmap PhotoLike(int width, int height)
{
    Bitmap b;
    if (!b.ResizeUninitialized(width, height))
        return b;
    std::uint32_t noise = 12345;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = b.Row(y);
        for (int x = 0; x < width; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const double dx = x - width * 0.5, dy = y - height * 0.4;
            const bool face = dx * dx + dy * dy < (width * 0.2) * (width * 0.2);
            const int grain = static_cast<int>(noise >> 28) - 8;
            const int base = face ? 180 : 60 + 120 * y / height;
            row[3 * x] = static_cast<std::uint8_t>(std::clamp(base - 40 + grain + x * 30 / width, 0, 255));
            row[3 * x + 1] = static_cast<std::uint8_t>(std::clamp(base - 10 + grain, 0, 255));
            row[3 * x + 2] = static_cast<std::uint8_t>(std::clamp(base + 20 + grain, 0, 255));
        }
    }
    return b;
}

cv::Mat AsMat(Bitmap& b)
{
    return cv::Mat(b.Height(), b.Width(), CV_8UC3, b.Data());
}

struct RotateData {
    Bitmap photo, square;
    cv::Mat dst;
};
RotateData* rotateData = nullptr;

const bench::Register rotatePair({ "rotate 4000x3000 -> 4000x4000 at 12.3 deg", "cv::warpAffine INTER_LINEAR", 1.5,
    [] {
        rotateData = new RotateData;
        rotateData->photo = PhotoLike(4000, 3000);
        if (!rotateData->square.Resize(4000, 4000))
            std::abort();
        rotateData->dst.create(4000, 4000, CV_8UC3);
    },
    [] {
        if (RotateBitmap(rotateData->photo, 123, rotateData->square) != 0)
            std::abort();
    },
    [] {
        // The same turn: the photo's centre onto the square's centre (500 rows down), 12.3 degrees clockwise.
        cv::Mat m = cv::getRotationMatrix2D(cv::Point2f(2000, 1500), -12.3, 1.0);
        m.at<double>(1, 2) += 500;
        cv::warpAffine(AsMat(rotateData->photo), rotateData->dst, m, cv::Size(4000, 4000), cv::INTER_LINEAR,
            cv::BORDER_CONSTANT, cv::Scalar(0, 0, 0));
    },
    [] {
        delete rotateData;
        rotateData = nullptr;
    } });

struct SharpenData {
    Bitmap photo, work;
    cv::Mat dst;
};
SharpenData* sharpenData = nullptr;

const bench::Register sharpenPair({ "sharpen 4000x4000", "cv::filter2D 3x3 CV_8UC3", 2.0,
    [] {
        sharpenData = new SharpenData;
        sharpenData->photo = PhotoLike(4000, 4000);
        sharpenData->work = sharpenData->photo;
        sharpenData->dst.create(4000, 4000, CV_8UC3);
    },
    [] {
        // The filter's vector path has no branch on the pixels, so filtering the already filtered picture again
        // costs the same as the first run; restoring it each time would time a 48 MB copy as well.
        SharpenBitmap(sharpenData->work);
    },
    [] {
        const float k[9] = { 1 / 16.f, 2 / 16.f, 1 / 16.f, 2 / 16.f, 4 / 16.f, 2 / 16.f, 1 / 16.f, 2 / 16.f, 1 / 16.f };
        cv::filter2D(AsMat(sharpenData->photo), sharpenData->dst, -1, cv::Mat(3, 3, CV_32F, const_cast<float*>(k)));
    },
    [] {
        delete sharpenData;
        sharpenData = nullptr;
    } });

} // namespace
