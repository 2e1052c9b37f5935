// The detector's reduction to its search size against OpenCV's INTER_AREA, whose bytes the cascade was tuned on.
#include "area_reduce.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace vellicam::facedetect {
namespace {

TEST(AreaReduce, GivesOpenCVsAreaReductionByteForByte)
{
    cv::Mat noise(1000, 1000, CV_8UC1);
    cv::randu(noise, 0, 256);
    const cv::Mat photo
        = cv::imread((test::DataDir() / "photos" / "portrait_plain_wall_900x1200.jpg").string(), cv::IMREAD_GRAYSCALE);
    ASSERT_FALSE(photo.empty());
    struct Case {
        const cv::Mat* source;
        cv::Size from, to;
    };
    const Case cases[] = {
        { &noise, { 1000, 1000 }, { 800, 800 } }, // the detector's usual 1.25
        { &photo, { 900, 1200 }, { 600, 800 } }, // 1.5
        { &noise, { 997, 613 }, { 421, 389 } }, // unequal factors, sizes not multiples of eight
        { &noise, { 640, 480 }, { 639, 479 } }, // barely reduced: partial pixels at both ends
        { &photo, { 900, 1200 }, { 300, 500 } }, // 3 across (a whole factor) but 2.4 down
        { &noise, { 37, 29 }, { 11, 7 } }, // fewer new pixels than a vector holds
        { &photo, { 900, 1200 }, { 450, 600 } }, // whole factors: OpenCV's block mean
    };
    for (const Case& c : cases) {
        const cv::Mat source = (*c.source)(cv::Rect(0, 0, c.from.width, c.from.height));
        cv::Mat expected, actual;
        cv::resize(source, expected, c.to, 0, 0, cv::INTER_AREA);
        ReduceByArea(source, actual, c.to);
        ASSERT_EQ(actual.size(), c.to);
        ASSERT_EQ(actual.type(), CV_8UC1);
        EXPECT_EQ(cv::countNonZero(actual != expected), 0) << c.from << " to " << c.to;
    }
}

} // namespace
} // namespace vellicam::facedetect
