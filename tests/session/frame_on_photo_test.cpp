// Frames the session proposes on the photo's own pixels: moved off the black padding and the corners a turn leaves
// black, warned of and asked about when they cannot be, and kept at their size in image pixels on every view.
#include "session_fixture.h"

#include "geometry/resize_grips.h"
#include "session/session_texts.h"
#include "sheet/recognition_log.h"

namespace vellicam::test {
namespace {

namespace fs = std::filesystem;

class FrameOnPhoto : public SessionTest {
protected:
    // A white photo: any black in a cut is the square's own.
    std::string WhitePhoto(const std::string& name, int width, int height)
    {
        const std::string path = dir / name;
        EXPECT_TRUE(SaveJpeg(path, SolidBitmap(width, height, { 255, 255, 255 }), { 95, 0 }).ok);
        return path;
    }
    // The darkest red value the frame cuts out of the square.
    static int DarkestInCut(const PhotoSession& session)
    {
        CropRect crop;
        if (session.frameInImage(crop) != kCropOk)
            return -1;
        int darkest = 255;
        for (int y = crop.source.top; y < crop.source.bottom; ++y)
            for (int x = crop.source.left; x < crop.source.right; ++x)
                darkest = std::min<int>(darkest, session.square().Pixel(x, y).r);
        return darkest;
    }
};

TEST_F(FrameOnPhoto, ProposedFramesAreMovedOffTheBlackWithoutShrinking)
{
    struct Case {
        const char* name;
        int angle; // the turn before the frame is proposed
        int sx, sy, ex, ey; // the head line on a 600 view of the 1200 square; none for recognition
        const char* face; // the detector's answer, or nullptr
    };
    // The portrait 900 × 1200 shows 75 black view columns on either side; a turn of five degrees puts black wedges
    // in the corners.
    const Case cases[] = {
        { "head line by the left edge", 0, 70, 100, 70, 300, nullptr },
        { "head line in the turned photo's corner", 50, 140, 30, 140, 200, nullptr },
#ifdef VELLICAM_STANDIN_DIR
        { "recognition by the left edge", 0, 0, 0, 0, 0, "0 160 300 400 540\n" },
#endif
    };
    settings.correctHeadTop = false;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PhotoSession session(program);
        session.setAngle(c.angle);
        ASSERT_TRUE(session.open(WhitePhoto("p.jpg", 900, 1200), false).opened());
        session.setView(600, 600, 600);
        session.centreMinimumFrame();
        ControlBounds proposed;
        if (c.face) {
            Script(c.face);
            const RecognitionReport report = session.recognise(settings, false, prompts);
            ASSERT_TRUE(report.framePlaced);
            EXPECT_TRUE(report.outsideText.empty());
            proposed = report.placement.beforeFit;
        } else {
            ASSERT_TRUE(session.frameFromHeadLine(c.sx, c.sy, c.ex, c.ey));
        }
        EXPECT_GT(DarkestInCut(session), 200);
        EXPECT_FALSE(session.frameOutsidePhoto());
        EXPECT_EQ(session.framePanelText(), session.faceHeightText());
        if (c.face) {
            EXPECT_EQ(session.frame().height, proposed.height) << "moved, not shrunk";
        }

        // A new photo size makes the frame anew around the face, on the photo too.
        settings.photoSize = "passport";
        ASSERT_EQ(session.setSheetSize(settings), kLayoutBuilt);
        session.remakeFrame();
        EXPECT_GT(DarkestInCut(session), 200);
        settings.photoSize = Settings {}.photoSize;
    }
}

TEST_F(FrameOnPhoto, AFrameNoPlaceOnThePhotoHoldsIsWarnedOfAndAskedAboutOnceOrLogged)
{
    struct Case {
        bool unattended, logged, answer;
        SheetOutcome::Result result;
        std::size_t questions;
        bool logLine;
    };
    const Case cases[] = {
        { false, false, true, SheetOutcome::Abandoned, 1, false }, // "yes, stop"
        { false, false, false, SheetOutcome::Saved, 1, false },
        { true, false, true, SheetOutcome::Saved, 0, true }, // nobody to ask: logged and saved
        { false, true, true, SheetOutcome::Saved, 0, true }, // the window's continuous run
    };
    for (const Case& c : cases) {
        ScratchDir out;
        settings.outputFolder = out.Path().string() + "/";
        PhotoSession session(program);
        // A landscape 1200 × 900 shows 450 of the 600 view rows; a head line of 360 rows asks for 560.
        ASSERT_TRUE(session.open(WhitePhoto("p.jpg", 1200, 900), false).opened());
        session.setView(600, 600, 600);
        ASSERT_TRUE(session.frameFromHeadLine(300, 40, 300, 400));
        EXPECT_TRUE(session.frameOutsidePhoto());
        EXPECT_EQ(session.framePanelText(), PanelText({ session.faceHeightText(), kTextFrameOutsidePhoto }));

        session.setOutsideLogged(c.logged);
        RecordedPrompts answers(c.answer);
        const SheetOutcome sheet = session.makeSheet(settings, c.unattended, answers, 0);
        EXPECT_EQ(sheet.result, c.result);
        ASSERT_EQ(answers.questions.size(), c.questions);
        if (c.questions) {
            EXPECT_EQ(answers.questions[0], std::string(kTextFrameOutsideQuestion));
        }
        const fs::path log = out.Path() / kRecognitionLogName;
        EXPECT_EQ(fs::exists(log)
                && ReadFile(log).find(std::string(kLogLabelFrameOutside) + dir / "p.jpg") != std::string::npos,
            c.logLine);
    }

    // A frame the user puts on the photo by hand ends the warning; moving by hand is free and is never moved back.
    PhotoSession session(program);
    ASSERT_TRUE(session.open(WhitePhoto("p.jpg", 1200, 900), false).opened());
    session.setView(600, 600, 600);
    ASSERT_TRUE(session.frameFromHeadLine(300, 40, 300, 400));
    session.setFrame({ 200, 100, 200, 262 });
    EXPECT_FALSE(session.frameOutsidePhoto());
    EXPECT_EQ(session.frameOutsideText(), "");
    session.setFrame({ 0, 0, 200, 262 });
    EXPECT_EQ(session.frame(), (ControlBounds { 0, 0, 200, 262 }));
}

#ifdef VELLICAM_STANDIN_DIR
TEST_F(FrameOnPhoto, ARecognisedFrameKeepsItsSizeInImagePixelsOnEveryViewAndUnderTheGrips)
{
    // A close portrait on a large photo: its frame, about 2800 of the square's 3600 rows, is larger than five
    // cells (2480 rows).
    PhotoSession session(program);
    ASSERT_TRUE(session.open(WhitePhoto("p.jpg", 2400, 3600), false).opened());
    session.setView(520, 520, 520);
    session.centreMinimumFrame();
    settings.correctHeadTop = false;
    Script("0 380 200 820 640\n"); // the detector's copy is a third of the square
    ASSERT_TRUE(session.recognise(settings, false, prompts).framePlaced);
    CropRect recognised;
    ASSERT_EQ(session.frameInImage(recognised), kCropOk);
    ASSERT_GT(recognised.height, 2480);
    FaceHeightCheck face;
    ASSERT_TRUE(session.faceHeightCheck(face));

    // Zooms and resizes there and back, as the window carries the frame over.
    for (const int side : { 780, 1040, 520, 433, 600 }) {
        session.setView(side, side, side);
        session.setFrameInImage(recognised);
        CropRect shown;
        ASSERT_EQ(session.frameInImage(shown), kCropOk);
        const int viewPixel = 3600 / side + 1;
        EXPECT_NEAR(shown.height, recognised.height, viewPixel) << side;
        EXPECT_NEAR(shown.width, recognised.width, viewPixel) << side;
        EXPECT_NEAR(shown.source.top, recognised.source.top, viewPixel) << side;
        FaceHeightCheck now;
        ASSERT_TRUE(session.faceHeightCheck(now));
        EXPECT_NEAR(now.tenths, face.tenths, 1) << side; // a view pixel's rounding at most
    }

    // A drag of the frame under the grips, which hold it within the view's limits, leaves its size.
    const ViewFrameLimits limits = session.viewLimits();
    ResizeControlState grips;
    SetGripLimits(grips, limits.maxWidth, limits.maxHeight, limits.minWidth, limits.minHeight, 600, 600, true);
    (void)Attach(grips, session.frame());
    GripMove moved;
    ASSERT_EQ(Move(grips, session.frame(), kGripWholeControl, grips.grabX + 4, grips.grabY + 2, moved), kGripMoved);
    EXPECT_EQ(moved.control.width, session.frame().width);
    EXPECT_EQ(moved.control.height, session.frame().height);
}
#endif

} // namespace
} // namespace vellicam::test
