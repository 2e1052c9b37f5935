// The rotation engine against a literal per-pixel transcription, its geometry, and the angle arithmetic.
#include "resample/rotate.h"
#include "session/session_texts.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

using namespace vellicam;
using vellicam::test::RandomBitmap;
using vellicam::test::SameImage;
using vellicam::test::SolidBitmap;

namespace {

// Every destination pixel computed on its own from a [x][y] cell array, with no shared work at all.
Bitmap ReferenceRotate(const Bitmap& source, double t, int dW, int dH)
{
    const int sW = source.Width(), sH = source.Height();
    std::vector<std::vector<std::uint32_t>> cell(sW, std::vector<std::uint32_t>(sH, 0));
    if (sW <= 9600 && sH <= 9600)
        for (int x = 0; x < sW; ++x)
            for (int y = 0; y < sH; ++y) {
                const Rgb p = source.Pixel(x, y);
                cell[x][y] = p.r * 65536u + p.g * 256u + p.b;
            }
    const int k[3][3] = { { 1, 2, 1 }, { 2, 4, 2 }, { 1, 2, 1 } };
    const double theta = t * 0.1;
    const double c = std::cos(3.141592 * theta / 180);
    const double s = std::sin(3.141592 * theta / 180);
    const int dcx = dW / 2, dcy = dH / 2, scx = sW / 2, scy = sH / 2;
    Bitmap out;
    EXPECT_TRUE(out.Resize(dW, dH));
    for (int y = 0; y < dH; ++y)
        for (int x = 0; x < dW; ++x) {
            const int u = x - dcx;
            const int v = dH - y - dcy;
            const double fx = u * c - v * s;
            const double fy = u * s + v * c;
            const int sx = static_cast<int>(std::trunc(fx)) + scx;
            const int sy = sH - static_cast<int>(std::trunc(fy)) - scy;
            if (sx < 0 || sx >= sW || sy < 0 || sy >= sH) {
                out.SetPixel(x, y, kBlack);
                continue;
            }
            if (dW < 10 && dH < 10) {
                const std::uint32_t v0 = cell[sx][sy];
                out.SetPixel(x, y, { std::uint8_t(v0 >> 16), std::uint8_t(v0 >> 8), std::uint8_t(v0) });
                continue;
            }
            int r = 0, g = 0, b = 0, weights = 0;
            for (int j = -1; j <= 1; ++j)
                for (int i = -1; i <= 1; ++i) {
                    const int cx = sx + i, cy = sy + j;
                    if (cx < 0 || cx >= sW || cy < 0 || cy >= sH)
                        continue;
                    const int w = k[j + 1][i + 1];
                    r += w * int(cell[cx][cy] >> 16 & 255);
                    g += w * int(cell[cx][cy] >> 8 & 255);
                    b += w * int(cell[cx][cy] & 255);
                    weights += w;
                }
            out.SetPixel(x, y, { std::uint8_t(r / weights), std::uint8_t(g / weights), std::uint8_t(b / weights) });
        }
    return out;
}

bool IsBlack(const Bitmap& b, int x, int y)
{
    return b.Pixel(x, y) == kBlack;
}

} // namespace

TEST(RotateBitmap, MatchesLiteralSamplingOnRandomImages)
{
    struct Case {
        int sW, sH, dW, dH;
    };
    const Case cases[] = {
        { 1, 1, 1, 1 }, // one pixel
        { 1, 1, 12, 12 },
        { 1, 7, 15, 15 }, // one column: the divisor doubles
        { 9, 1, 11, 10 }, // one row
        { 2, 2, 9, 9 }, // under 10 × 10: raw pixels
        { 7, 5, 9, 9 },
        { 9, 9, 9, 9 },
        { 9, 12, 9, 12 }, // one side of ten or more: smoothed
        { 12, 9, 10, 9 },
        { 40, 30, 40, 40 }, // a landscape photo in its square
        { 30, 40, 40, 40 }, // an upright one
        { 37, 23, 37, 37 }, // odd sides
        { 64, 48, 50, 71 }, // a destination that crops the source
        { 23, 41, 3, 100 },
    };
    const double angles[] = { 0, 1, 900, 1800, 2700, 123, 3599, -1, -456, 450, 12.5 };
    std::uint32_t seed = 1;
    for (const Case& cs : cases) {
        const Bitmap source = RandomBitmap(cs.sW, cs.sH, seed++);
        for (const double t : angles) {
            Bitmap actual;
            ASSERT_TRUE(actual.Resize(cs.dW, cs.dH));
            Fill(actual, { 1, 2, 3 }); // every pixel must be written
            ASSERT_EQ(RotateBitmap(source, t, actual), 0);
            const Bitmap expected = ReferenceRotate(source, t, cs.dW, cs.dH);
            ASSERT_TRUE(SameImage(actual, expected, "rotate"))
                << cs.sW << "x" << cs.sH << " -> " << cs.dW << "x" << cs.dH << " at " << t;
        }
    }
}

TEST(RotateBitmap, LargerImageMatchesAndReportsProgress)
{
    const Bitmap source = RandomBitmap(211, 157, 77);
    for (const double t : { 0.0, 123.0, 2700.0, -3599.0 }) {
        Bitmap actual;
        ASSERT_TRUE(actual.Resize(211, 211));
        int reports = 0;
        ASSERT_EQ(RotateBitmap(source, t, actual, [&] { ++reports; }), 0);
        EXPECT_GT(reports, 1);
        EXPECT_TRUE(SameImage(actual, ReferenceRotate(source, t, 211, 211), "rotate")) << t;
    }
}

TEST(RotateBitmap, TinyDestinationTakesPixelsUnsmoothed)
{
    const Bitmap source = RandomBitmap(9, 9, 5);
    Bitmap tiny;
    ASSERT_TRUE(tiny.Resize(9, 9));
    ASSERT_EQ(RotateBitmap(source, 0, tiny), 0);
    EXPECT_TRUE(SameImage(tiny, source, "tiny"));

    // One side of ten: the 3 × 3 weighting applies and the random pixels are smoothed.
    const Bitmap wider = RandomBitmap(10, 9, 5);
    Bitmap smoothed;
    ASSERT_TRUE(smoothed.Resize(10, 9));
    ASSERT_EQ(RotateBitmap(wider, 0, smoothed), 0);
    EXPECT_FALSE(smoothed.SameAs(wider));
}

TEST(RotateBitmap, LandscapePhotoAtZeroIsCentredBetweenBlackBands)
{
    const Rgb skin { 200, 150, 120 };
    Bitmap square;
    ASSERT_EQ(BuildRotatedSquare(SolidBitmap(40, 30, skin), 0, square), 0);
    ASSERT_EQ(square.Width(), 40);
    ASSERT_EQ(square.Height(), 40);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            const bool band = y < 5 || y >= 35;
            ASSERT_EQ(square.Pixel(x, y), band ? kBlack : skin) << x << "," << y;
        }
}

TEST(RotateBitmap, RightQuarterTurnPutsTheTopRowAtTheRight)
{
    Bitmap photo = SolidBitmap(30, 40, { 100, 100, 100 });
    FillRect(photo, { 0, 0, 30, 1 }, kRed);
    Bitmap square;
    ASSERT_EQ(BuildRotatedSquare(photo, 900, square), 0);
    ASSERT_EQ(square.Width(), 40);
    // The photo now lies 40 wide and 30 tall: bands above and below.
    for (int x = 0; x < 40; ++x)
        for (const int y : { 0, 1, 2, 3, 36, 37, 38, 39 })
            ASSERT_TRUE(IsBlack(square, x, y)) << x << "," << y;
    // The red top row shows, smoothed with its grey neighbour, in the rightmost column only. π taken as 3.141592
    // leaves the quarter turn a hair short, and truncation toward zero then drops it from the lower half.
    for (int y = 6; y < 34; ++y) {
        const Rgb right = square.Pixel(39, y);
        if (y < 20) {
            EXPECT_GT(right.r, right.g + 50) << y;
        }
        for (int x = 1; x < 39; ++x)
            ASSERT_EQ(square.Pixel(x, y), (Rgb { 100, 100, 100 })) << x << "," << y;
    }
}

TEST(RotateBitmap, RefusesBadArgumentsAndBlanksOversizedSource)
{
    Bitmap wide = SolidBitmap(9601, 1, kWhite);
    EngineError error;
    EXPECT_EQ(RotateBitmap(RandomBitmap(5, 5, 1), 0, wide, {}, &error), -1);
    EXPECT_EQ(error, (EngineError { ErrorCode::TargetTooLarge, ErrorDomain::Geometry, {}, 9601, 1 }));
    EXPECT_TRUE(wide.SameAs(SolidBitmap(9601, 1, kWhite)));

    // A source over the limit is never read: where it would lie, the destination is black.
    Bitmap destination = SolidBitmap(20, 20, kWhite);
    EXPECT_EQ(RotateBitmap(SolidBitmap(9601, 2, kRed), 0, destination), 0);
    EXPECT_TRUE(destination.SameAs(SolidBitmap(20, 20, kBlack)));

    Bitmap small = SolidBitmap(12, 12, kWhite);
    EXPECT_EQ(RotateBitmap(RandomBitmap(5, 5, 1), std::nan(""), small), -3);
    EXPECT_EQ(RotateBitmap(RandomBitmap(5, 5, 1), HUGE_VAL, small, {}, &error), -3);
    EXPECT_EQ(error.code, ErrorCode::AngleNotFinite);
    EXPECT_TRUE(small.SameAs(SolidBitmap(12, 12, kWhite)));

    Bitmap empty;
    EXPECT_EQ(RotateBitmap(RandomBitmap(5, 5, 1), 0, empty), 0);
}

TEST(RotateBitmap, OversizedPhotoLeavesTheSquareWhite)
{
    Bitmap square;
    EXPECT_EQ(BuildRotatedSquare(SolidBitmap(9601, 1, kRed), 100, square), -1);
    ASSERT_EQ(square.Width(), 9601);
    ASSERT_EQ(square.Height(), 9601);
    for (const int y : { 0, 4800, 9600 })
        for (const int x : { 0, 4800, 9600 })
            EXPECT_EQ(square.Pixel(x, y), kWhite);
}

TEST(RotationAngle, LeftQuarterTurnsKeepTheirSign)
{
    const int stored[] = { -900, -1800, -2700, 0 };
    const char* boxes[] = { "-90", "-180", "-270", "0" };
    const char* statuses[] = { "回転角 270.000000", "回転角 180.000000", "回転角 90.000000", "回転角 0.000000" };
    int angle = 0;
    for (int i = 0; i < 4; ++i) {
        angle = StepRotationAngle(angle, -900);
        EXPECT_EQ(angle, stored[i]);
        EXPECT_EQ(RotationAngleText(angle), boxes[i]);
        EXPECT_EQ(RotationStatusText(angle), statuses[i]);
    }
}

TEST(RotationAngle, TenthStepsWrapAtAFullTurn)
{
    int angle = StepRotationAngle(0, 1);
    EXPECT_EQ(RotationAngleText(angle), "0.1");
    EXPECT_EQ(RotationStatusText(angle), "回転角 0.100000");
    for (int i = 1; i < 3599; ++i)
        angle = StepRotationAngle(angle, 1);
    EXPECT_EQ(angle, 3599);
    EXPECT_EQ(RotationAngleText(angle), "359.9");
    EXPECT_EQ(RotationStatusText(angle), "回転角 359.900000");
    angle = StepRotationAngle(angle, 1);
    EXPECT_EQ(angle, 0);
    EXPECT_EQ(RotationAngleText(angle), "0");

    EXPECT_EQ(StepRotationAngle(-3500, -200), -100);
    EXPECT_EQ(StepRotationAngle(100, -105), -5);
    EXPECT_EQ(RotationAngleText(-5), "-0.5");
    EXPECT_EQ(RotationAngleText(15), "1.5");
    EXPECT_EQ(RotationAngleText(-3599), "-359.9");
    EXPECT_EQ(RotationStatusText(-1), "回転角 359.900000");
    EXPECT_EQ(RotationStatusText(-5), "回転角 359.500000");
}

TEST(RotationAngle, NormalisesIntoOneTurn)
{
    EXPECT_EQ(NormaliseRotationAngle(0), 0);
    EXPECT_EQ(NormaliseRotationAngle(-900), 2700);
    EXPECT_EQ(NormaliseRotationAngle(-3599), 1);
    EXPECT_EQ(NormaliseRotationAngle(3599), 3599);
    EXPECT_EQ(NormaliseRotationAngle(3600), 0);
    EXPECT_EQ(NormaliseRotationAngle(-7201), 3599);
}
