// The order in which detections are reported: the likely subject of a portrait first.
#include "face_search.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <vector>

namespace vellicam::facedetect {
namespace {

Detection Det(int x, int y, int side, int hits, double weight = 3.0)
{
    Detection d;
    d.Box = cv::Rect(x, y, side, side);
    d.Hits = hits;
    d.Weight = weight;
    return d;
}

struct OrderCase {
    const char* Name;
    Detection Subject; // should come first
    Detection Other;
};

// A 2000 × 1500 snapshot.
const OrderCase kCases[] = {
    { "LargerFaceOverSmallerWithTheSameEvidence", Det(800, 300, 400, 30), Det(900, 350, 200, 30) },
    { "CentralFaceOverOneOffToTheSide", Det(800, 300, 400, 30), Det(100, 300, 400, 30) },
    { "WholeFaceOverALargerOneCutByTheEdge", Det(850, 400, 350, 30), Det(0, 300, 450, 40) },
    { "WholeFaceOverOneWhoseHairRunsOffTheTop", Det(850, 400, 350, 30), Det(800, 20, 400, 30) },
    { "StrongFaceOverASmallWeakChancePattern", Det(1200, 300, 350, 40), Det(950, 500, 120, 4, 0.5) },
    { "ClearFaceOverASlightlyLargerDoubtfulOne", Det(800, 300, 380, 40, 6.0), Det(820, 700, 420, 4, -1.0) },
};

class Ordering : public ::testing::TestWithParam<OrderCase> { };

TEST_P(Ordering, PutsTheSubjectFirstWhateverTheInputOrder)
{
    const OrderCase& c = GetParam();
    for (bool subjectFirst : { true, false }) {
        std::vector<Detection> found
            = subjectFirst ? std::vector { c.Subject, c.Other } : std::vector { c.Other, c.Subject };
        OrderDetections(found, 2000, 1500);
        ASSERT_EQ(found.size(), 2u);
        EXPECT_EQ(found[0].Box, c.Subject.Box);
        EXPECT_GT(found[0].Score, found[1].Score);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Ordering, ::testing::ValuesIn(kCases), [](const auto& info) { return std::string(info.param.Name); });

TEST(OrderingTies, EqualScoresGoTopToBottomThenLeftToRight)
{
    // Mirror images about the centre line score alike.
    std::vector<Detection> found { Det(1300, 300, 200, 20), Det(500, 300, 200, 20), Det(900, 100, 200, 20) };
    found[2].Box.x = 900;
    OrderDetections(found, 2000, 1500);
    EXPECT_EQ(found[0].Box.x, 900);
    EXPECT_EQ(found[1].Box.x, 500);
    EXPECT_EQ(found[2].Box.x, 1300);
}

TEST(OrderingScoreArguments, DegenerateInputsScoreLowest)
{
    EXPECT_LT(OrderingScore(Det(10, 10, 100, 20), 0, 100, 100), -1e8);
    EXPECT_LT(OrderingScore(Det(10, 10, 0, 20), 100, 100, 100), -1e8);
}

TEST(JpegHeader, ReadsTheFrameSizeAndRefusesOtherFiles)
{
    int w = 0, h = 0;
    const std::string data = test::DataDir().string();
    EXPECT_TRUE(ReadJpegSize(data + "/photos/portrait_plain_wall_900x1200.jpg", w, h));
    EXPECT_EQ(w, 900);
    EXPECT_EQ(h, 1200);
    EXPECT_FALSE(ReadJpegSize(data + "/photos/MANIFEST.md", w, h));
    EXPECT_FALSE(ReadJpegSize(data + "/photos/nothing.jpg", w, h));
}

// PGM and PPM headers give the size too (comments allowed); other files do not.
TEST(ImageHeader, ReadsPgmAndPpmSizes)
{
    test::ScratchDir dir;
    test::WriteFile(dir / "a.pgm", "P5\n# made by a test\n7 5\n255\n" + std::string(35, '\0'));
    test::WriteFile(dir / "b.ppm", "P6 3 2 255\n" + std::string(18, '\0'));
    test::WriteFile(dir / "c.pgm", "P2\n3 2\n255\n0 0 0 0 0 0\n");
    test::WriteFile(dir / "d.pgm", "P5\n0 5\n255\n");
    int w = 0, h = 0;
    EXPECT_TRUE(ReadImageSize(dir / "a.pgm", w, h));
    EXPECT_EQ(w, 7);
    EXPECT_EQ(h, 5);
    EXPECT_TRUE(ReadImageSize(dir / "b.ppm", w, h));
    EXPECT_EQ(w, 3);
    EXPECT_FALSE(ReadImageSize(dir / "c.pgm", w, h)) << "plain (text) PGM";
    EXPECT_FALSE(ReadImageSize(dir / "d.pgm", w, h)) << "no width";
    EXPECT_TRUE(ReadImageSize(test::DataDir().string() + "/photos/portrait_plain_wall_900x1200.jpg", w, h));
    EXPECT_EQ(h, 1200);
}

// The black border of a photo centred on its square is not searched; a picture black throughout is searched whole.
TEST(SearchImageContent, LeavesOutThePureBlackBorder)
{
    test::ScratchDir dir;
    cv::Mat grey(300, 400, CV_8UC1, cv::Scalar(0));
    grey(cv::Rect(50, 20, 300, 260)).setTo(120);
    grey.at<uchar>(20, 50) = 0; // a black pixel inside the content does not move its edge
    ASSERT_TRUE(cv::imwrite(dir / "bordered.pgm", grey));
    SearchImage image;
    ASSERT_EQ(ReadSearchImage(dir / "bordered.pgm", 0, 800, 40, false, image), kOk);
    EXPECT_EQ(image.Content, cv::Rect(50, 20, 300, 260));
    ASSERT_TRUE(cv::imwrite(dir / "black.pgm", cv::Mat(30, 40, CV_8UC1, cv::Scalar(0))));
    ASSERT_EQ(ReadSearchImage(dir / "black.pgm", 0, 800, 40, false, image), kOk);
    EXPECT_EQ(image.Content, cv::Rect(0, 0, 40, 30));
}

} // namespace
} // namespace vellicam::facedetect
