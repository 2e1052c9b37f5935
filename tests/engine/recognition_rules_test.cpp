// The decisions of a recognition run.
#include "recognition/recognition_rules.h"

#include <gtest/gtest.h>

#include <vector>

using namespace vellicam;

namespace {

constexpr int W = 1000, H = 1000;

struct RedetectCase {
    const char* name;
    int candidateCount;
    FaceRect face;
    bool upperHalfOnly;
    bool plausible;
    bool expected;
    bool confirmed = false;
};

class NeedsRedetectionTest : public testing::TestWithParam<RedetectCase> { };

TEST_P(NeedsRedetectionTest, Decision)
{
    const RedetectCase& c = GetParam();
    EXPECT_EQ(NeedsRedetection(c.candidateCount, c.face, W, H, c.upperHalfOnly, c.plausible, c.confirmed), c.expected);
}

INSTANTIATE_TEST_SUITE_P(RecognitionRules, NeedsRedetectionTest,
    testing::Values(RedetectCase { "Good", 1, { 400, 300, 600, 560 }, true, true, false },
        RedetectCase { "NoFace", 0, { 400, 300, 600, 560 }, true, true, true },
        RedetectCase { "NotPlausible", 1, { 400, 300, 600, 560 }, true, false, true },
        // Centre column 600 is a tenth of the width off the centre line; 601 is more.
        RedetectCase { "OffCentreByATenth", 1, { 500, 300, 700, 560 }, true, true, false },
        RedetectCase { "OffCentreBeyondATenth", 1, { 502, 300, 700, 560 }, true, true, true },
        RedetectCase { "LeftBeyondATenth", 1, { 298, 300, 500, 560 }, true, true, true },
        // Centre row exactly on the middle row is accepted; one lower is not, unless only the upper half counts.
        RedetectCase { "CentreOnMiddleRow", 1, { 400, 370, 600, 630 }, true, true, false },
        RedetectCase { "CentreBelowMiddleRow", 1, { 400, 371, 600, 631 }, true, true, true },
        RedetectCase { "CentreBelowWholeImage", 1, { 400, 371, 600, 631 }, false, true, false },
        // A face the library confirmed with landmarks is its most likely subject wherever it stands across the
        // photo, and as the only candidate when it reaches into the upper half; wholly below the middle row, below
        // it among others, or implausible, it is looked at again.
        RedetectCase { "ConfirmedOffCentre", 1, { 502, 300, 700, 560 }, true, true, false, true },
        RedetectCase { "ConfirmedAloneBelowMiddleRow", 1, { 400, 371, 600, 631 }, true, true, false, true },
        RedetectCase { "ConfirmedAloneReachingTheMiddleRow", 1, { 400, 499, 600, 699 }, true, true, false, true },
        RedetectCase { "ConfirmedAloneWhollyBelowTheMiddleRow", 1, { 400, 500, 600, 700 }, true, true, true, true },
        RedetectCase { "ConfirmedBelowMiddleRowAmongOthers", 2, { 400, 371, 600, 631 }, true, true, true, true },
        RedetectCase { "ConfirmedNotPlausible", 1, { 400, 300, 600, 560 }, true, false, true, true }),
    [](const testing::TestParamInfo<RedetectCase>& info) { return std::string(info.param.name); });

// A candidate of 100 × 100 whose centre column lies `offset` from the centre line and centre row at `row`.
FaceRect Candidate(int offset, int row = 300)
{
    return { 450 + offset, row - 50, 550 + offset, row + 50 };
}

struct ChooseCase {
    const char* name;
    std::vector<FaceRect> candidates;
    std::vector<bool> plausible; // by index; missing means plausible
    bool upperHalfOnly;
    int expected;
};

class ChooseCandidateTest : public testing::TestWithParam<ChooseCase> { };

TEST_P(ChooseCandidateTest, Choice)
{
    const ChooseCase& c = GetParam();
    const auto plausible = [&](const FaceRect& face) {
        for (std::size_t i = 0; i < c.candidates.size() && i < c.plausible.size(); ++i)
            if (c.candidates[i] == face)
                return static_cast<bool>(c.plausible[i]);
        return true;
    };
    EXPECT_EQ(ChooseCandidate(c.candidates, W, H, c.upperHalfOnly, plausible), c.expected);
}

std::vector<FaceRect> TenOffCentreThenCentred()
{
    std::vector<FaceRect> v;
    for (int i = 0; i < 10; ++i)
        v.push_back(Candidate(300 - i * 10, 300 + i)); // the 10th is 210 off
    v.push_back(Candidate(0)); // the 11th is on the centre line
    return v;
}

INSTANTIATE_TEST_SUITE_P(RecognitionRules, ChooseCandidateTest,
    testing::Values(ChooseCase { "Nearest", { Candidate(200), Candidate(-30), Candidate(40) }, {}, true, 1 },
        ChooseCase { "TieGoesToTheFirst", { Candidate(200), Candidate(30), Candidate(-30) }, {}, true, 1 },
        ChooseCase { "EleventhNeverConsidered", TenOffCentreThenCentred(), {}, true, 9 },
        ChooseCase { "NotPlausibleSkipped", { Candidate(5), Candidate(50) }, { false, true }, true, 1 },
        ChooseCase { "CentreRowOnMiddleQualifies", { Candidate(5, 501), Candidate(50, 500) }, {}, true, 1 },
        ChooseCase { "LowerHalfWhenAllowed", { Candidate(5, 501), Candidate(50, 500) }, {}, false, 0 },
        ChooseCase { "NoneQualifies", { Candidate(5, 700) }, {}, true, -1 },
        // No limit from the centre line: a far-off candidate is still taken when it is the only one.
        ChooseCase { "FarOffStillTaken", { Candidate(440) }, {}, true, 0 }, ChooseCase { "Empty", {}, {}, true, -1 }),
    [](const testing::TestParamInfo<ChooseCase>& info) { return std::string(info.param.name); });

TEST(RecognitionRules, ChinStripAndChinAcceptance)
{
    const FaceRect face { 400, 300, 600, 560 };
    EXPECT_EQ(ChinStripTop(face, 1000), 430);
    EXPECT_EQ(ChinStripTop(face, 690), 430); // ends exactly on the last row
    EXPECT_EQ(ChinStripTop(face, 600), 340);

    // The chin's centre row 430 + 100 + 30 = 560 lies on the face's bottom edge: accepted; one row higher not.
    EXPECT_TRUE(AcceptChin(430, 100, 160, face));
    EXPECT_TRUE(AcceptChin(430, 100, 161, face)); // half of 61 is 30
    EXPECT_FALSE(AcceptChin(430, 100, 158, face));
    EXPECT_FALSE(AcceptChin(430, 99, 160, face));
    // At most a quarter face (65 rows) below the edge: 625 counts, 626 is the neck.
    EXPECT_TRUE(AcceptChin(430, 180, 210, face));
    EXPECT_FALSE(AcceptChin(430, 181, 211, face));
}

// The levelling angle turns the eye line level, with the rotation buttons' sign (positive: clockwise on screen).
TEST(RecognitionRules, LevellingAngleFromTheEyeLine)
{
    struct Case {
        int lx, ly, rx, ry;
        int tenths;
    };
    for (const Case& c : { Case { 100, 200, 300, 200, 0 }, // level
             Case { 100, 200, 300, 235, -99 }, // falls to the right by 9.93°: turned back anticlockwise
             Case { 100, 235, 300, 200, 99 }, Case { 100, 200, 200, 300, -450 },
             Case { 100, 200, 100, 300, 0 }, // one eye above the other: no line
             Case { 300, 200, 100, 210, 0 } }) // eyes the wrong way round
        EXPECT_EQ(LevellingAngle(c.lx, c.ly, c.rx, c.ry), c.tenths)
            << c.lx << "," << c.ly << " " << c.rx << "," << c.ry;
    EXPECT_EQ(LevellingText(-57), "傾き補正 -5.7度");
    EXPECT_EQ(LevellingText(30), "傾き補正 3度");
}

TEST(RecognitionRules, NotRecognised)
{
    EXPECT_TRUE(IsNotRecognised({}, 1, W, H));
    EXPECT_TRUE(IsNotRecognised({ 400, 300, 600, 560 }, 0, W, H));
    EXPECT_FALSE(IsNotRecognised({ 400, 300, 600, 560 }, 1, W, H));
    EXPECT_FALSE(IsNotRecognised({ 0, 300, 501, 560 }, 1, W, H)); // wider than half only
    EXPECT_FALSE(IsNotRecognised({ 400, 0, 600, 501 }, 1, W, H)); // taller than half only
    EXPECT_FALSE(IsNotRecognised({ 0, 0, 500, 500 }, 1, W, H)); // exactly half is not more
    EXPECT_TRUE(IsNotRecognised({ 0, 0, 501, 501 }, 1, W, H));
    EXPECT_FALSE(IsNotRecognised({ 0, 0, 0, 1 }, 1, W, H)); // only an all-zero rectangle is empty
    // A confirmed face filling the photo is still a face; an empty one is none.
    EXPECT_FALSE(IsNotRecognised({ 0, 0, 501, 501 }, 1, W, H, true));
    EXPECT_TRUE(IsNotRecognised({}, 1, W, H, true));
}

// The annotation list names each face image relative to the list's own folder, the way cascade training reads it.
TEST(RecognitionRules, AnnotationLineNamesTheImageFromTheListsFolder)
{
    struct Case {
        const char* listFolder;
        const char* image;
        const char* line;
    };
    const Case cases[] = {
        { "/out/認識画像", "/out/認識画像/a%sb%d.jpg", "a%sb%d.jpg 1 0 0 200 260\n" },
        { "/out/認識画像/", "/out/認識画像/IMG.JPG", "IMG.JPG 1 0 0 200 260\n" },
        { "/out/認識画像", "/out/認識画像/sub/x.jpg", "sub/x.jpg 1 0 0 200 260\n" },
        { "/out/認識画像", "/out/x.jpg", "../x.jpg 1 0 0 200 260\n" },
        { "out/認識画像", "out/認識画像/x.jpg", "x.jpg 1 0 0 200 260\n" },
        { "out/認識画像", "/abs/x.jpg", "/abs/x.jpg 1 0 0 200 260\n" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(FaceAnnotationLine(c.listFolder, c.image, 200, 260), c.line) << c.listFolder << " " << c.image;
}

TEST(RecognitionRules, TextsAndSmallRules)
{
    EXPECT_EQ(DetectorFailedMessage(-3), "自動認識処理が失敗しました。(-3)");
    EXPECT_EQ(EffectiveDetectorStatus(-7), 0);
    EXPECT_EQ(EffectiveDetectorStatus(-6), -6);
    EXPECT_TRUE(SilentSkip(true, true, true));
    EXPECT_FALSE(SilentSkip(true, true, false));
    EXPECT_FALSE(SilentSkip(false, true, true));
    EXPECT_EQ(kLogLabelInternalError, "  自動顔認識エラー（内部エラー）:  ");
    EXPECT_EQ(kLogLabelNotDetected, "  自動顔認識エラー(非検出):  ");
}

} // namespace
