// The session's photo size and paper: the layout and frame limits they give, and the face-height check of a frame
// set by a head line or by recognition, as the frame is moved, remade for a new size and the photo turned afterwards.
#include "session_fixture.h"

#include "session/session_texts.h"
#include "sheet/photo_size.h"

namespace vellicam::test {
namespace {

Settings SizeSettings(const std::string& photoSize, const std::string& paper)
{
    Settings settings;
    settings.photoSize = photoSize;
    settings.paper = paper;
    return settings;
}

void ExpectSameLayout(const SheetLayout& a, const SheetLayout& b)
{
    EXPECT_EQ(a.SheetWidth, b.SheetWidth);
    EXPECT_EQ(a.SheetHeight, b.SheetHeight);
    EXPECT_EQ(a.CellCount, b.CellCount);
    EXPECT_EQ(a.Cells, b.Cells);
}

TEST_F(SessionTest, SheetSizeBuildsTheLayoutAndItsLimitsAndFallsBackOnUnknownIds)
{
    PhotoSession session(program);
    EXPECT_STREQ(session.photoSize().id, DefaultPhotoSize().id);
    EXPECT_TRUE(session.hasSheetSize(Settings {}));

    struct Case {
        std::string size, paper;
        int built;
        const char* usedSize; // the names the session keeps
        const char* usedPaper;
    };
    const Case cases[] = {
        { "passport", "2L", kLayoutBuilt, "passport", "2L" },
        { "licence", "4x6", kLayoutBuilt, "licence", "4x6" },
        { "resume", "L", kLayoutBuilt, "resume", "L" },
        { "nosuch", "2L", kLayoutUnknownSize, "resume", "L" },
        { "passport", "A4", kLayoutUnknownPaper, "resume", "L" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size + " on " + c.paper);
        const Settings settings = SizeSettings(c.size, c.paper);
        EXPECT_EQ(session.setSheetSize(settings), c.built);
        EXPECT_STREQ(session.photoSize().id, c.usedSize);
        EXPECT_STREQ(session.paper().id, c.usedPaper);
        EXPECT_EQ(session.hasSheetSize(settings), c.built == kLayoutBuilt);
        SheetLayout expected;
        ASSERT_EQ(BuildSheetLayout(c.usedSize, c.usedPaper, expected), kLayoutBuilt);
        ExpectSameLayout(session.layout(), expected);
        EXPECT_EQ(session.limits().FrameMinHeight, expected.Cells[0].ImageHeight);
        EXPECT_EQ(session.limits().FrameAspectWidth, expected.Cells[0].ImageWidth);
        EXPECT_EQ(session.layoutStatusText(),
            LayoutStatusText(*FindPhotoSize(c.usedSize), *FindPaperSize(c.usedPaper), expected));
    }
}

TEST_F(SessionTest, ANewSizesCentredFrameHasItsAspect)
{
    PhotoSession session(program);
    ASSERT_TRUE(session.open(Photo("p.jpg", 1200, 1600), false).opened());
    session.setView(1600, 1600, 1600);
    session.centreMinimumFrame();
    const ControlBounds resume = session.frame();

    ASSERT_EQ(session.setSheetSize(SizeSettings("us", "4x6")), kLayoutBuilt);
    EXPECT_EQ(session.frame(), resume) << "the caller makes the frame anew";
    session.centreMinimumFrame();
    const ControlBounds& square = session.frame();
    // 2 × 2 in: a square cell.
    EXPECT_NEAR(static_cast<double>(square.width) / square.height, 1.0, 0.01);
    EXPECT_GT(square.height, resume.height);
}

// A head line's frame puts the face at the size's target: each size with a rule is met.
TEST_F(SessionTest, AHeadLinesFrameMeetsEveryRuledSizesFaceRule)
{
    PhotoSession session(program);
    ASSERT_TRUE(session.open(Photo("p.jpg", 2400, 3200), false).opened());
    session.setView(3200, 3200, 3200); // one view pixel is one square pixel
    for (const PhotoSize& size : PhotoSizes()) {
        SCOPED_TRACE(size.id);
        ASSERT_EQ(session.setSheetSize(SizeSettings(size.id, "2L")), kLayoutBuilt);
        ASSERT_TRUE(session.frameFromHeadLine(1200, 600, 1200, 1800));
        ASSERT_TRUE(session.knowsFace());
        FaceHeightCheck check;
        ASSERT_TRUE(session.faceHeightCheck(check));
        EXPECT_EQ(session.faceHeightText(), FaceHeightText(check, size));
        EXPECT_NEAR(check.tenths, size.faceTarget, 3);
        EXPECT_EQ(check.ruled, size.faceMax > 0);
        if (check.ruled) {
            EXPECT_TRUE(check.meets) << check.tenths;
        }
    }
}

TEST_F(SessionTest, ANewSizeRemakesTheFrameAroundTheKnownFaceToItsRule)
{
    PhotoSession session(program);
    ASSERT_TRUE(session.open(Photo("p.jpg", 2400, 3200), false).opened());
    session.setView(800, 800, 800);
    // Without a face: the new size's minimum frame, centred.
    ASSERT_EQ(session.setSheetSize(SizeSettings("passport", "L")), kLayoutBuilt);
    session.remakeFrame();
    const ControlBounds remade = session.frame();
    session.centreMinimumFrame();
    EXPECT_EQ(session.frame(), remade);

    // A head line's face framed for the résumé size, then for each other size: the face prints at each size's
    // target (meeting its rule where it has one), centred where it was.
    ASSERT_EQ(session.setSheetSize(SizeSettings("resume", "L")), kLayoutBuilt);
    ASSERT_TRUE(session.frameFromHeadLine(420, 150, 420, 450));
    for (const char* id : { "passport", "us", "china", "licence" }) {
        SCOPED_TRACE(id);
        ASSERT_EQ(session.setSheetSize(SizeSettings(id, "2L")), kLayoutBuilt);
        session.remakeFrame();
        ASSERT_TRUE(session.knowsFace());
        FaceHeightCheck check;
        ASSERT_TRUE(session.faceHeightCheck(check));
        EXPECT_NEAR(check.tenths, FindPhotoSize(id)->faceTarget, 3) << check.tenths;
        EXPECT_EQ(check.meets, check.ruled) << check.tenths;
        const ControlBounds& f = session.frame();
        EXPECT_NEAR(f.left + f.width / 2.0, 420, 1);
        EXPECT_NEAR(static_cast<double>(f.width) / f.height,
            static_cast<double>(session.limits().FrameAspectWidth) / session.limits().FrameAspectHeight, 0.01);
    }
}

TEST_F(SessionTest, TheFaceStaysUnderAFrameMovedByHandAndGoesWithATurnOrACentredFrame)
{
    PhotoSession session(program);
    ASSERT_TRUE(session.open(Photo("p.jpg", 2400, 3200), false).opened());
    ASSERT_EQ(session.setSheetSize(SizeSettings("passport", "L")), kLayoutBuilt);
    // A view a quarter of the square: the line's rows are scaled to square rows as the frame is.
    session.setView(800, 800, 800);
    EXPECT_FALSE(session.knowsFace());
    EXPECT_EQ(session.faceHeightText(), "");
    ASSERT_TRUE(session.frameFromHeadLine(300, 150, 300, 450));
    FaceHeightCheck fitted;
    ASSERT_TRUE(session.faceHeightCheck(fitted));
    EXPECT_TRUE(fitted.meets) << fitted.tenths;

    // Twice the frame: the face prints at half the height, below the rule.
    ControlBounds larger = session.frame();
    larger.height *= 2;
    larger.width *= 2;
    session.setFrame(larger);
    FaceHeightCheck halved;
    ASSERT_TRUE(session.faceHeightCheck(halved));
    EXPECT_NEAR(halved.tenths * 2, fitted.tenths, 2);
    EXPECT_FALSE(halved.meets);

    // A zoom keeps the frame over the same rows: the same figure.
    session.setView(1600, 1600, 1600);
    FaceHeightCheck zoomed;
    ASSERT_TRUE(session.faceHeightCheck(zoomed));
    EXPECT_NEAR(zoomed.tenths, halved.tenths, 1);

    (void)session.rotateBy(1, false, false);
    EXPECT_FALSE(session.knowsFace());
    ASSERT_TRUE(session.frameFromHeadLine(600, 300, 600, 900));
    session.centreMinimumFrame();
    EXPECT_FALSE(session.knowsFace());
    ASSERT_TRUE(session.frameFromHeadLine(600, 300, 600, 900));
    ASSERT_TRUE(session.open(Photo("q.jpg", 1200, 1600), false).opened());
    EXPECT_FALSE(session.knowsFace());
    // A line drawn upwards has no chin below its head top: no figure.
    session.setView(1600, 1600, 1600);
    if (session.frameFromHeadLine(600, 900, 600, 300)) {
        EXPECT_EQ(session.faceHeightText(), "");
    }
}

TEST_F(SessionTest, RecognitionReportsTheFaceHeightOfItsFrame)
{
    PhotoSession session(program);
    ASSERT_TRUE(session.open(Photo("p.jpg", 1200, 1600), false).opened());
    session.setView(1600, 1600, 1600);
    settings.correctHeadTop = false;
    settings.photoSize = "passport";
    ASSERT_EQ(session.setSheetSize(settings), kLayoutBuilt);

    Script("0 450 300 750 600\n");
    const RecognitionReport found = session.recognise(settings, false, prompts);
    ASSERT_TRUE(found.framePlaced);
    EXPECT_TRUE(session.knowsFace());
    EXPECT_EQ(found.faceHeightText, session.faceHeightText());
    FaceHeightCheck check;
    ASSERT_TRUE(session.faceHeightCheck(check));
    EXPECT_TRUE(check.meets) << check.tenths;

    // A failed run leaves the frame and its face as they were.
    Script("0\n0\n");
    const RecognitionReport missed = session.recognise(settings, false, prompts);
    EXPECT_FALSE(missed.framePlaced);
    EXPECT_EQ(missed.faceHeightText, "");
    EXPECT_EQ(session.faceHeightText(), FaceHeightText(check, session.photoSize()));
}

TEST(RecognitionPanelText, JoinsTheRunsWordWithWhatIsKnown)
{
    struct Case {
        std::string status, faceHeight, levelling, expected;
    };
    const Case cases[] = {
        { "自動認識完了", "", "", "自動認識完了" },
        { "自動認識完了", "顔の高さ 34.1mm ✓", "", "自動認識完了　顔の高さ 34.1mm ✓" },
        { "自動認識完了", "", "傾き補正 -2.5度", "自動認識完了　傾き補正 -2.5度" },
        { "自動認識完了", "顔の高さ 34.1mm ✓", "傾き補正 0度", "自動認識完了　顔の高さ 34.1mm ✓　傾き補正 0度" },
        { "", "顔の高さ 18.0mm", "", "顔の高さ 18.0mm" },
        { "", "", "", "" },
    };
    for (const Case& c : cases) {
        RecognitionReport report;
        report.faceHeightText = c.faceHeight;
        report.levellingText = c.levelling;
        EXPECT_EQ(RecognitionPanelText(c.status, report), c.expected);
    }
    // A face found only below the minimum size is said last, after the levelling.
    RecognitionReport small;
    small.levellingText = "傾き補正 0度";
    small.outcome.smallFace = true;
    EXPECT_EQ(
        RecognitionPanelText("自動認識完了", small), "自動認識完了　傾き補正 0度　顔が小さいため印刷がぼやけます");
}

} // namespace
} // namespace vellicam::test
