// The library's guided filter against OpenCV's contrib one it replaced, on real photos: the person masks must not move.
#include "guided_filter.h"
#include "person_mask.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/ximgproc/edge_filter.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>

namespace vellicam::facedetect {
namespace {

// A soft mask like the model's: a smooth probability that rises toward the middle of the picture, with the photo's
// own detail on it so the filter has edges to follow and to ignore.
cv::Mat SoftMaskFor(const cv::Mat& bgr)
{
    cv::Mat grey, soft;
    cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
    grey.convertTo(soft, CV_32F, 1.0 / 255);
    cv::GaussianBlur(soft, soft, cv::Size(0, 0), 6);
    for (int y = 0; y < soft.rows; ++y)
        for (int x = 0; x < soft.cols; ++x) {
            const double dx = (x - soft.cols / 2.0) / soft.cols, dy = (y - soft.rows / 2.0) / soft.rows;
            soft.at<float>(y, x)
                = static_cast<float>(0.7 * std::exp(-8 * (dx * dx + dy * dy)) + 0.3 * soft.at<float>(y, x));
        }
    return soft;
}

TEST(GuidedFilter, GivesOpenCVsContribValuesBitForBit)
{
    struct Case {
        const char* Photo;
        int Width; // the guide's; widths not a multiple of four take the filter's one-by-one tail too
    };
    const Case cases[] = {
        { "portrait_plain_wall_900x1200.jpg", 640 },
        { "portrait_dark_background_868.jpg", 434 },
        { "group_three_people_1280x900.jpg", 427 },
        { "portrait_uniform_cap_1024x1200.jpg", 257 },
        { "portrait_small_434.jpg", 3 },
    };
    for (const Case& c : cases) {
        const cv::Mat photo = cv::imread((test::DataDir() / "photos" / c.Photo).string(), cv::IMREAD_COLOR);
        ASSERT_FALSE(photo.empty()) << c.Photo;
        cv::Mat guide;
        const int height = std::max(1, photo.rows * c.Width / photo.cols);
        cv::resize(photo, guide, cv::Size(c.Width, height), 0, 0, cv::INTER_AREA);
        const cv::Mat soft = SoftMaskFor(guide);
        // Whole, and as the mask refines it: a band of rows viewed inside the larger picture.
        const cv::Range bands[] = { cv::Range::all(), cv::Range(height / 3, std::max(height / 3 + 1, height * 2 / 3)) };
        for (const cv::Range& rows : bands) {
            cv::Mat expected, actual;
            cv::ximgproc::guidedFilter(guide.rowRange(rows), soft.rowRange(rows), expected, 4, 625.0);
            GuidedFilter(guide.rowRange(rows), soft.rowRange(rows), actual, 4, 625.0);
            ASSERT_EQ(actual.type(), CV_32FC1) << c.Photo;
            ASSERT_EQ(actual.size(), expected.size()) << c.Photo;
            int differing = 0;
            for (int y = 0; y < actual.rows; ++y)
                differing += std::memcmp(actual.ptr(y), expected.ptr(y), actual.cols * sizeof(float)) != 0;
            EXPECT_EQ(differing, 0) << c.Photo << " at " << c.Width << " wide, rows " << rows.start << ".." << rows.end;
        }
    }
}

// The person mask is refined band by band, and in each band only near the values that are not zero: it must be the
// mask one filter over the whole picture gives, wherever the person lies and however little of the picture it takes.
TEST(GuidedFilter, TheMaskRefinedNearThePersonOnlyIsTheWholePicturesMask)
{
    const cv::Mat photo
        = cv::imread((test::DataDir() / "photos" / "group_three_people_1280x900.jpg").string(), cv::IMREAD_COLOR);
    ASSERT_FALSE(photo.empty());
    cv::Mat guide;
    cv::resize(photo, guide, cv::Size(640, 450), 0, 0, cv::INTER_AREA);
    const cv::Mat everywhere = SoftMaskFor(guide);
    // What the model gives, kept inside an ellipse (a person) or a few pixels (a speck at the picture's edges).
    const auto keptInside = [&](const std::function<bool(int x, int y)>& inside) {
        cv::Mat soft = everywhere.clone();
        for (int y = 0; y < soft.rows; ++y)
            for (int x = 0; x < soft.cols; ++x)
                if (!inside(x, y))
                    soft.at<float>(y, x) = 0;
        return soft;
    };
    struct Case {
        const char* What;
        cv::Mat Soft;
    };
    const Case cases[] = {
        { "a person in the middle", keptInside([](int x, int y) {
             const double dx = (x - 330) / 120.0, dy = (y - 300) / 200.0;
             return dx * dx + dy * dy < 1;
         }) },
        { "specks at the left and right edges", keptInside([](int x, int y) {
             return (x == 0 && y == 77) || (x == 639 && y >= 200 && y < 203) || (x == 5 && y == 449);
         }) },
        { "nobody", keptInside([](int, int) { return false; }) },
        { "values everywhere", everywhere },
    };
    for (const Case& c : cases) {
        cv::Mat whole, expected, actual;
        GuidedFilter(guide, c.Soft, whole, 4, 625.0);
        whole.convertTo(expected, CV_8U, 255.0);
        RefineSoftMask(guide, c.Soft, actual);
        ASSERT_EQ(actual.type(), CV_8UC1) << c.What;
        ASSERT_EQ(actual.size(), expected.size()) << c.What;
        EXPECT_EQ(cv::countNonZero(actual != expected), 0) << c.What;
    }
}

} // namespace
} // namespace vellicam::facedetect
