// The framed photo checked against its size's rules, on synthetic portraits recognised through the scripted
// stand-in detector with landmarks: which checks fail for a tilted eye line, a closed eye, a striped or dark
// background, a dark or half-shadowed face; the tilt after the proposed turn; the person mask; a replaced background.
#include "session_fixture.h"

#include <algorithm>
#include <set>

namespace vellicam::test {
namespace {

// A 1200 × 1200 portrait: a wall, a face oval around (600, 450) whose halves may differ, and, optionally, a dark
// block standing where a frame's side strip falls (a neighbour's shoulder).
struct Portrait {
    Rgb wall { 225, 225, 225 };
    bool stripes = false; // vertical stripes over the wall
    Rgb leftFace { 210, 170, 140 };
    Rgb rightFace { 210, 170, 140 };
    bool neighbour = false;
};

constexpr Rect kNeighbour { 0, 100, 480, 430 };

Bitmap Draw(const Portrait& p)
{
    Bitmap b = SolidBitmap(1200, 1200, p.wall);
    for (int y = 0; y < 1200; ++y)
        for (int x = 0; x < 1200; ++x) {
            const double dx = (x - 600) / 160.0, dy = (y - 450) / 210.0;
            if (dx * dx + dy * dy <= 1)
                b.SetPixel(x, y, x < 600 ? p.leftFace : p.rightFace);
            else if (p.stripes && (x / 12) % 2)
                b.SetPixel(x, y, { 90, 90, 120 });
            else if (p.neighbour && x >= kNeighbour.left && x < kNeighbour.right && y >= kNeighbour.top
                && y < kNeighbour.bottom)
                b.SetPixel(x, y, { 40, 30, 30 });
        }
    return b;
}

// The detector's answer: a face box, the chin and the eyes, and the eyes' opening.
const std::string kLevel = "0 450 300 750 600 | 600 640 540 420 660 420 eyes 300 310\n";

class PhotoChecks : public SessionTest {
protected:
    PhotoSession session { program };

    void SetUp() override
    {
        SessionTest::SetUp();
        UseVariant("landmarks");
        settings.correctHeadTop = false;
        settings.photoSize = "passport";
    }
    // Recognises the portrait with that answer; the frame recognition places is the one checked.
    void Recognise(const Portrait& portrait, const std::string& answer = kLevel)
    {
        ASSERT_TRUE(session.adopt(dir / "portrait.png", Draw(portrait), false).opened());
        ASSERT_EQ(session.setSheetSize(settings), kLayoutBuilt);
        session.setView(1200, 1200, 1200);
        Script(answer);
        const RecognitionReport report = session.recognise(settings, false, prompts);
        ASSERT_EQ(report.outcome.result, kRecognised);
        ASSERT_TRUE(report.framePlaced);
    }
    static std::set<std::string> Failed(const std::vector<PhotoCheck>& checks)
    {
        std::set<std::string> failed;
        for (const PhotoCheck& c : checks)
            if (c.state == CheckState::Failed)
                failed.insert(c.id);
        return failed;
    }
    static const PhotoCheck& Of(const std::vector<PhotoCheck>& checks, const std::string& id)
    {
        static const PhotoCheck none;
        const auto c = std::find_if(checks.begin(), checks.end(), [&](const PhotoCheck& k) { return k.id == id; });
        return c == checks.end() ? none : *c;
    }
};

TEST_F(PhotoChecks, EachFaultFailsItsOwnCheckAndNoOther)
{
    const Rgb dark { 55, 45, 40 };
    struct Case {
        const char* what;
        Portrait portrait;
        std::string answer;
        std::set<std::string> failed;
    };
    const Case cases[] = {
        { "a plain light portrait", {}, kLevel, {} },
        { "the right eye 20 rows lower", {}, "0 450 300 750 600 | 600 640 540 410 660 430 eyes 300 310\n", { "tilt" } },
        { "a closed eye", {}, "0 450 300 750 600 | 600 640 540 420 660 420 eyes 300 90\n", { "eyes" } },
        { "a striped wall", { .stripes = true }, kLevel, { "background" } },
        { "a dark wall", { .wall = { 60, 60, 60 } }, kLevel, { "background" } },
        { "a dark face", { .leftFace = dark, .rightFace = dark }, kLevel, { "exposure" } },
        { "a face half in shadow", { .leftFace = { 100, 80, 65 } }, kLevel, { "exposure" } },
        { "a neighbour at the side", { .neighbour = true }, kLevel, { "background" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Recognise(c.portrait, c.answer);
        const std::vector<PhotoCheck> checks = session.photoChecks();
        ASSERT_EQ(checks.size(), std::size(kCheckIds));
        for (std::size_t i = 0; i < checks.size(); ++i) {
            EXPECT_EQ(checks[i].id, kCheckIds[i]);
            EXPECT_NE(checks[i].state, CheckState::Unknown) << checks[i].text;
        }
        EXPECT_EQ(Failed(checks), c.failed) << ChecksSummaryText(checks);
        EXPECT_EQ(ChecksSummaryText(checks).rfind(c.failed.empty() ? "規格 ✓" : "規格 ✗ ", 0), 0u);
    }
}

// The turn recognition proposes levels the eye line as the check measures it; turning the other way doubles it.
TEST_F(PhotoChecks, TheProposedTurnPassesTheTiltCheck)
{
    Recognise({}, "0 450 300 750 600 | 600 640 540 410 660 430 eyes 300 310\n");
    const PhotoCheck before = Of(session.photoChecks(), "tilt");
    ASSERT_EQ(before.state, CheckState::Failed);
    EXPECT_NEAR(before.value, 9.5, 0.05);
    const int proposal = -95; // what LevellingAngle gives for that eye line
    ASSERT_TRUE(session.rotateTo(proposal, false).turned);
    const PhotoCheck levelled = Of(session.photoChecks(), "tilt");
    EXPECT_EQ(levelled.state, CheckState::Passed) << levelled.text;
    EXPECT_NEAR(levelled.value, 0, 0.05);
    ASSERT_TRUE(session.rotateTo(-proposal, false).turned);
    EXPECT_NEAR(Of(session.photoChecks(), "tilt").value, 19.0, 0.05);

    // With "傾きを自動で補正する" the frame is proposed on the levelled photo, and its check passes too.
    settings.straightenAutomatically = true;
    session.setAngle(0);
    Recognise({}, "0 450 300 750 600 | 600 640 540 410 660 430 eyes 300 310\n" + kLevel);
    EXPECT_EQ(Of(session.photoChecks(), "tilt").state, CheckState::Passed);
}

// A person mask tells the neighbour's dark shoulder from the wall: the border strips alone take it for background.
TEST_F(PhotoChecks, APersonMaskDecidesWhatIsBackground)
{
    Recognise({ .neighbour = true });
    std::vector<std::uint8_t> cells(1200 * 1200, 0);
    const auto paint = [&](Rect r) {
        for (int y = r.top; y < r.bottom; ++y)
            std::fill_n(cells.begin() + y * 1200 + r.left, r.Width(), 255);
    };
    paint(kNeighbour);
    paint({ 440, 240, 760, 1200 }); // the face and what lies below it
    const MaskView mask { cells.data(), 1200, 1200, 1200 };
    EXPECT_EQ(Of(session.photoChecks(), "background").state, CheckState::Failed);
    EXPECT_EQ(Of(session.photoChecks(&mask), "background").state, CheckState::Passed);
    // A mask of another size than the square is not this photo's: the strips are used.
    const MaskView other { cells.data(), 600, 600, 600 };
    EXPECT_EQ(Of(session.photoChecks(&other), "background").state, CheckState::Failed);
}

// A background that will be painted plain passes its check, and the sizes whose authority refuses or may refuse
// an edited photo say so.
TEST_F(PhotoChecks, AReplacedBackgroundIsNamedForSizesThatRefuseIt)
{
    struct Case {
        const char* size;
        CheckState edited;
    };
    for (const Case c : { Case { "passport", CheckState::Failed }, Case { "us", CheckState::Failed },
             Case { "mynumber", CheckState::Unknown }, Case { "resume", CheckState::Passed } }) {
        SCOPED_TRACE(c.size);
        settings.photoSize = c.size;
        Recognise({ .stripes = true });
        EXPECT_EQ(Of(session.photoChecks(), "edited").id, "") << "only asked for with a replaced background";
        const std::vector<PhotoCheck> checks = session.photoChecks(nullptr, true);
        EXPECT_EQ(Of(checks, "background").state, CheckState::Passed);
        EXPECT_EQ(Of(checks, "edited").state, c.edited) << Of(checks, "edited").text;
    }
}

// Without a frame or a face nothing can be judged, and nothing is failed for it.
TEST_F(PhotoChecks, WhatIsNotKnownIsNeitherPassedNorFailed)
{
    ASSERT_TRUE(session.adopt(dir / "portrait.png", Draw({}), false).opened());
    for (const PhotoCheck& c : session.photoChecks())
        EXPECT_EQ(c.state, CheckState::Unknown) << c.id;
    EXPECT_EQ(ChecksSummaryText(session.photoChecks()), "") << "no \"規格 ✓\" for what was not checked";
    session.setView(1200, 1200, 1200);
    session.centreMinimumFrame();
    const std::vector<PhotoCheck> checks = session.photoChecks();
    for (const char* id : { "face_height", "head_margin", "tilt", "centre", "eyes", "exposure" })
        EXPECT_EQ(Of(checks, id).state, CheckState::Unknown) << id;
}

} // namespace
} // namespace vellicam::test
