// The order in which detections are reported: the likely subject of a portrait first.
#include "face_search.h"
#include "test_support.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace vellicam::facedetect
