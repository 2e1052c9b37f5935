// A photo worked through the session alone, without any window: opening, turning, framing by hand, by a head line
// and by a zoom, and making the sheet with its questions, files and messages.
#include "session_fixture.h"

#include "image/image_io.h"
#include "resample/rotate.h"
#include "session/session_texts.h"
#include "session/work_mode.h"
#include "sheet/recognition_log.h"

#include <fstream>

namespace vellicam::test {
namespace {

namespace fs = std::filesystem;

std::string Text(std::string_view text)
{
    return std::string(text);
}

TEST_F(SessionTest, OpenFramesAndMakesTheSheetBesideThePhoto)
{
    PhotoSession session(program);
    const std::string photo = Photo("portrait.jpg", 1200, 1600);
    const OpenOutcome opened = session.open(photo, settings.sharpen);
    ASSERT_TRUE(opened.opened()) << opened.failure;
    EXPECT_TRUE(opened.lowResolution.empty());
    EXPECT_EQ(session.square().Width(), 1600);
    EXPECT_EQ(session.photoFolder(), dir.Path().string() + "/");

    // A view as large as the square: a frame of 800 × 1050 image pixels, more than one cell.
    session.setView(1600, 1600, 1600);
    session.setFrame({ 400, 200, 800, 1050 });
    CropRect crop;
    ASSERT_EQ(session.frameInImage(crop), kCropOk);
    EXPECT_EQ(crop.width, 800);
    EXPECT_EQ(crop.height, 1050);

    session.startSheetAction(settings, prompts);
    const SheetOutcome sheet = session.makeSheet(settings, false, prompts);
    ASSERT_EQ(sheet.result, SheetOutcome::Saved);
    EXPECT_EQ(sheet.path, dir / "portrait_sheet.jpeg");
    EXPECT_EQ(sheet.status, Text(kTextSavedStatus) + sheet.path);
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_TRUE(prompts.questions.empty());
    Bitmap saved;
    ASSERT_TRUE(LoadJpeg(sheet.path, saved));
    EXPECT_EQ(saved.Width(), 1051);
    EXPECT_EQ(saved.Height(), 1500);
    ASSERT_TRUE(sheet.hasPreview);
    EXPECT_EQ(session.preview().Height(), kPreviewHeight);
    // No recognition failed: the separator alone never starts a log.
    EXPECT_FALSE(fs::exists(dir / kRecognitionLogName));
}

// The session opens every photo by its content, as the command line does; one that does not open keeps the photo
// before and says so in Japanese: the first line, the path, and the reason in words (the system's own text only
// for a reason without them). A path that is there but cannot be reached never reads as "not found".
TEST_F(SessionTest, PhotosOpenByContentAndThoseThatDoNotSayWhyAndKeepThePhotoBefore)
{
    const Bitmap image = RandomBitmap(20, 12, 3);
    ASSERT_TRUE(SaveJpeg(dir / "photo.jpg", image).ok);
    ASSERT_TRUE(SaveJpeg(dir / "jpeg-named.png", image).ok);
    ASSERT_TRUE(SavePng(dir / "png-named.jpg", image).ok);
    ASSERT_TRUE(SavePpm(dir / "ppm-named.jpg", image).ok);
    const std::string jpeg = ReadFile(dir / "photo.jpg");
    WriteFile(dir / "damaged.jpg", jpeg.substr(0, 2) + std::string(jpeg.size() - 2, '\x5a'));
    WriteFile(dir / "cut.jpg", jpeg.substr(0, jpeg.size() * 2 / 3));
    WriteFile(dir / "text.jpg", "not a photo at all");
    std::filesystem::create_directory(dir / "folder.jpg");
    std::filesystem::create_symlink(dir / "loop-b.jpg", dir / "loop-a.jpg");
    std::filesystem::create_symlink(dir / "loop-a.jpg", dir / "loop-b.jpg");
    std::filesystem::create_directory(dir / "shut");
    ASSERT_TRUE(SaveJpeg(dir / "shut/photo.jpg", image).ok);
    ASSERT_TRUE(SaveJpeg(dir / "unreadable.jpg", image).ok);
    std::filesystem::permissions(dir / "unreadable.jpg", std::filesystem::perms::none);
    std::filesystem::permissions(dir / "shut", std::filesystem::perms::none);

    const std::string notImage = "画像として読み込めません（壊れているか、JPEG・PNG・PPMではありません）";
    struct Case {
        std::string path;
        std::string reason; // "" for a photo that opens
        bool bindsOnlyOthers = false; // a permission the superuser is not held to
    };
    const Case cases[] = {
        { dir / "photo.jpg", "" },
        { dir / "jpeg-named.png", "" },
        { dir / "png-named.jpg", "" },
        { dir / "ppm-named.jpg", "" },
        { dir / "missing.jpg", "ファイルが見つかりません" },
        { dir / "photo.jpg/inside.jpg", "ファイルが見つかりません" },
        { "", "ファイル名がありません" },
        { dir / "unreadable.jpg", "アクセスが拒否されました", true },
        { dir / "shut/photo.jpg", "アクセスが拒否されました", true },
        { dir / "loop-a.jpg", "シンボリックリンクが循環しています" },
        { dir / "folder.jpg", "写真のファイルではありません（フォルダ）" },
        { dir / "damaged.jpg", notImage },
        { dir / "text.jpg", notImage },
        { dir / "cut.jpg", "画像が途中で切れています（ファイルが壊れているか、書き込みの途中です）" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        if (c.bindsOnlyOthers && geteuid() == 0)
            continue;
        PhotoSession session(program);
        ASSERT_TRUE(session.open(dir / "photo.jpg", false).opened());
        const OpenOutcome opened = session.open(c.path, false);
        if (c.reason.empty()) {
            ASSERT_TRUE(opened.opened()) << opened.failure;
            EXPECT_EQ(session.photoWidth(), 20);
            EXPECT_EQ(session.photoHeight(), 12);
            continue;
        }
        EXPECT_FALSE(opened.opened());
        EXPECT_EQ(opened.failure, "写真を開けませんでした。\n" + c.path + "\n" + c.reason);
        EXPECT_EQ(opened.reason, c.reason);
        EXPECT_EQ(session.photoPath(), dir / "photo.jpg") << "the photo before stays";
    }
    std::filesystem::permissions(dir / "shut", std::filesystem::perms::owner_all);
}

TEST_F(SessionTest, RoughPhotosOpenWithAWarning)
{
    PhotoSession session(program);
    const OpenOutcome small = session.open(Photo("small.jpg", 640, 480), false);
    EXPECT_TRUE(small.opened());
    EXPECT_FALSE(small.lowResolution.empty());
    const OpenOutcome large = session.open(Photo("large.jpg", 641, 480), false);
    EXPECT_TRUE(large.lowResolution.empty());
}

TEST_F(SessionTest, TurningStepsTheAngleAndRefusesAPhotoTooLargeToTurn)
{
    PhotoSession session(program);
    ASSERT_TRUE(session.open(Photo("p.jpg", 300, 400), false).opened());
    struct Step {
        int step;
        bool reset;
        int angle;
    };
    const Step steps[] = { { 900, false, 900 }, { 1, false, 901 }, { -900, false, 1 }, { -1, false, 0 },
        { -1, false, -1 }, { 0, true, 0 } };
    for (const Step& s : steps) {
        const RotateOutcome turned = session.rotateBy(s.step, s.reset, false);
        EXPECT_TRUE(turned.turned);
        EXPECT_EQ(session.angle(), s.angle) << s.step;
        EXPECT_FALSE(turned.status.empty());
    }
    // A quarter turn of a 300 × 400 photo puts its long side across the square.
    (void)session.rotateBy(900, false, false);
    EXPECT_EQ(session.square().Width(), 400);
    EXPECT_EQ(session.shownImage().Width(), 400);

    PhotoSession wide(program);
    fs::copy_file(DataDir() / "bad" / "wide-9601x20.jpg", dir.Path() / "wide.jpg");
    ASSERT_TRUE(wide.open(dir / "wide.jpg", false).opened());
    const Bitmap before = wide.square();
    const RotateOutcome refused = wide.rotateBy(1, false, false);
    EXPECT_FALSE(refused.turned);
    EXPECT_EQ(refused.refusal, Text(kTextTooLargeToTurn));
    EXPECT_EQ(wide.angle(), 0);
    EXPECT_TRUE(SameImage(wide.square(), before));
}

TEST_F(SessionTest, AnAngleKeptForTheNextPhotoTurnsItOnOpening)
{
    PhotoSession session(program);
    session.setAngle(900);
    ASSERT_TRUE(session.open(Photo("p.jpg", 300, 400), false).opened());
    EXPECT_EQ(session.angle(), 900);
    // The same square as the quarter-turn button builds.
    Bitmap turned;
    ASSERT_EQ(BuildRotatedSquare(session.original(), 900, turned), 0);
    EXPECT_TRUE(SameImage(session.square(), turned));
    session.close();
    EXPECT_EQ(session.angle(), 0);
    EXPECT_FALSE(session.hasPhoto());
}

TEST_F(SessionTest, AVerticalHeadLineProposesNoTurnAfterATiltedOne)
{
    PhotoSession session(program);
    struct Line {
        int sx, sy, x, y;
        bool turns;
    };
    const Line lines[] = {
        { 100, 100, 130, 300, true }, // tilted
        { 100, 100, 100, 300, false }, // vertical: no question, whatever came before
        { 100, 100, 70, 300, true }, { 100, 100, 100, 100, false }, // a click without a drag
    };
    for (const Line& l : lines) {
        const HeadLineOutcome line = session.followHeadLine(l.sx, l.sy, l.x, l.y);
        EXPECT_EQ(line.proposal != 0, l.turns) << l.x;
        EXPECT_EQ(session.headLineProposal(), line.proposal);
    }
    // Released without a drag after a tilted line: the release alone decides.
    (void)session.followHeadLine(100, 100, 130, 300);
    EXPECT_EQ(session.releaseHeadLine(100, 100, 100, 100), 0);
    EXPECT_EQ(session.headLineProposal(), 0);
}

TEST_F(SessionTest, HeadLineSetsAFrameAroundTheLineWithTheCellsProportions)
{
    PhotoSession session(program);
    ASSERT_TRUE(session.open(Photo("p.jpg", 1200, 1600), false).opened());
    session.setView(520, 520, 520);
    ASSERT_TRUE(session.frameFromHeadLine(260, 100, 260, 300));
    const ControlBounds& f = session.frame();
    // The line is the face's height inside the frame: the head top lies below its top, the chin above its bottom,
    // and the frame is centred on the line.
    EXPECT_LT(f.top, 100);
    EXPECT_GT(f.top + f.height, 300);
    EXPECT_NEAR(f.left + f.width / 2.0, 260, 1);
    EXPECT_NEAR(static_cast<double>(f.width) / f.height, 378.0 / 496.0, 0.01);
}

TEST_F(SessionTest, ZoomAndViewChangesKeepTheFrameOverTheSamePartOfThePhoto)
{
    PhotoSession session(program);
    ASSERT_TRUE(session.open(Photo("p.jpg", 1200, 1600), false).opened());
    session.setView(520, 520, 520);
    session.setFrame({ 100, 80, 200, 262 });
    CropRect before;
    ASSERT_EQ(session.frameInImage(before), kCropOk);

    // A zoom, resizes, there and back again: the view shows the frame anew each time, the cut never changes.
    session.setView(1040, 1040, 1040);
    EXPECT_EQ(session.frame(), (ControlBounds { 200, 160, 400, 524 }));
    for (const int side : { 780, 1333, 601, 250, 1040, 520 }) {
        session.setView(side, side, side);
        CropRect kept;
        ASSERT_EQ(session.frameInImage(kept), kCropOk) << side;
        EXPECT_EQ(kept, before) << side;
    }
    EXPECT_EQ(session.frame(), (ControlBounds { 100, 80, 200, 262 }));
}

// Moves, resizes and turns are taken back in order and done again, each to the very pixels it had; a change after
// an undo ends what could be redone, a change that changed nothing is passed over, and a new photo forgets them.
TEST_F(SessionTest, FrameAndTurnAreTakenBackAndDoneAgainExactly)
{
    PhotoSession session(program);
    ASSERT_TRUE(session.open(Photo("p.jpg", 1200, 1600), false).opened());
    session.setView(520, 520, 520);
    session.setFrame({ 100, 80, 200, 262 });
    EXPECT_FALSE(session.canUndo());
    const FrameAndTurn first = session.frameAndTurn();

    session.rememberEdit();
    session.setFrame({ 140, 60, 230, 300 }); // a move and a resize
    const FrameAndTurn moved = session.frameAndTurn();
    session.rememberEdit(); // a press that moved nothing
    session.rememberEdit();
    ASSERT_TRUE(session.rotateBy(15, false, false).turned);
    const FrameAndTurn turned = session.frameAndTurn();
    ASSERT_EQ(turned.angle, 15);
    session.setView(780, 780, 780); // a zoom is no edit

    const auto backTo = [&session](const std::optional<FrameAndTurn>& state) {
        ASSERT_TRUE(state.has_value());
        (void)session.rotateTo(state->angle, false);
        session.restoreFrame(*state);
    };
    for (const FrameAndTurn& expected : { moved, first }) {
        ASSERT_TRUE(session.canUndo());
        backTo(session.takeUndo());
        EXPECT_EQ(session.frameAndTurn(), expected);
    }
    EXPECT_FALSE(session.canUndo());
    EXPECT_FALSE(session.takeUndo().has_value());
    for (const FrameAndTurn& expected : { moved, turned }) {
        ASSERT_TRUE(session.canRedo());
        backTo(session.takeRedo());
        EXPECT_EQ(session.frameAndTurn(), expected);
    }
    EXPECT_FALSE(session.canRedo());

    backTo(session.takeUndo());
    session.rememberEdit();
    session.setFrame({ 10, 10, 200, 262 });
    EXPECT_FALSE(session.canRedo()) << "a new change ends the redo";
    EXPECT_TRUE(session.canUndo());

    ASSERT_TRUE(session.open(Photo("q.jpg", 1200, 1600), false).opened());
    EXPECT_FALSE(session.canUndo());
    EXPECT_FALSE(session.canRedo());
}

TEST_F(SessionTest, AFrameGivenInImagePixelsKeepsItsPartOfThePhotoOnAnyViewAndNeverShrinks)
{
    PhotoSession session(program);
    ASSERT_TRUE(session.open(Photo("p.jpg", 3000, 4000), false).opened());
    session.setView(600, 600, 600);
    session.centreMinimumFrame();
    CropRect smallest;
    ASSERT_EQ(session.frameInImage(smallest), kCropOk);
    session.setFrame({ 37, 51, 160, 210 });
    CropRect user;
    ASSERT_EQ(session.frameInImage(user), kCropOk);

    // Views of every size, there and back: each shows the same part within one view pixel of the square, and the
    // cut is never smaller than the one the user made, nor the smallest frame smaller than a cell.
    for (const int side : { 601, 777, 1333, 599, 250, 600 }) {
        for (const CropRect& kept : { user, smallest }) {
            session.setView(side, side, side);
            session.setFrameInImage(kept);
            CropRect shown;
            ASSERT_EQ(session.frameInImage(shown), kCropOk) << side;
            const int viewPixel = 4000 / side + 1;
            EXPECT_NEAR(shown.source.left, kept.source.left, viewPixel) << side;
            EXPECT_NEAR(shown.source.top, kept.source.top, viewPixel) << side;
            EXPECT_GE(shown.width, kept.width) << side;
            EXPECT_GE(shown.height, kept.height) << side;
            EXPECT_LT(shown.width, kept.width + 2 * viewPixel) << side;
        }
    }
    // Back on the first view, the user's frame is the one the user set.
    session.setView(600, 600, 600);
    session.setFrameInImage(user);
    EXPECT_EQ(session.frame(), (ControlBounds { 37, 51, 160, 210 }));
}

TEST_F(SessionTest, SheetQuestionsAndTheirAnswers)
{
    // A frame of 100 × 131 image pixels is smaller than a cell: the sheet asks before enlarging it.
    struct Case {
        bool unattended;
        bool answer;
        SheetOutcome::Result result;
        std::size_t questions;
    };
    const Case cases[] = {
        { false, true, SheetOutcome::Abandoned, 1 }, // "yes, stop"
        { false, false, SheetOutcome::Saved, 1 },
        { true, false, SheetOutcome::Abandoned, 0 }, // nobody there to answer: passed over
    };
    for (const Case& c : cases) {
        ScratchDir out;
        PhotoSession session(program);
        ASSERT_TRUE(session.open(Photo("p.jpg", 1200, 1600), false).opened());
        session.setView(1600, 1600, 1600);
        session.setFrame({ 500, 500, 100, 131 });
        settings.outputFolder = out.Path().string() + "/";
        RecordedPrompts answers(c.answer);
        const SheetOutcome sheet = session.makeSheet(settings, c.unattended, answers);
        EXPECT_EQ(sheet.result, c.result);
        ASSERT_EQ(answers.questions.size(), c.questions);
        if (c.questions) {
            EXPECT_EQ(answers.questions[0], Text(kTextEnlargementQuestion));
        }
        EXPECT_EQ(fs::exists(out / "p.jpg"), c.result == SheetOutcome::Saved);
    }
}

TEST_F(SessionTest, NoFrameNoSheetAndAnUnwritableFolderIsSaidOnce)
{
    PhotoSession session(program);
    ASSERT_TRUE(session.open(Photo("p.jpg", 1200, 1600), false).opened());
    session.setView(1600, 1600, 1600);
    EXPECT_EQ(session.makeSheet(settings, false, prompts).result, SheetOutcome::NoCut);

    session.setFrame({ 0, 0, 800, 1050 });
    WriteFile(dir.Path() / "file", "x");
    settings.outputFolder = dir / "file/below/";
    const SheetOutcome sheet = session.makeSheet(settings, false, prompts);
    EXPECT_EQ(sheet.result, SheetOutcome::SaveFailed);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_FALSE(sheet.hasPreview);
    // The folder and the reason in words; the status panel's short form is the first line.
    EXPECT_EQ(prompts.messages[0],
        "保存先フォルダを作成出来ません。\n" + dir / "file/below" + "\n途中にフォルダではないものがあります");
    EXPECT_EQ(sheet.failure, prompts.messages[0]);
    EXPECT_EQ(sheet.status, "保存先フォルダを作成出来ません。");

    if (geteuid() == 0)
        return; // permissions do not bind the superuser
    fs::create_directories(dir / "shut");
    fs::permissions(dir / "shut", fs::perms::owner_read | fs::perms::owner_exec);
    settings.outputFolder = dir / "shut/";
    const SheetOutcome refused = session.makeSheet(settings, false, prompts);
    fs::permissions(dir / "shut", fs::perms::owner_all);
    EXPECT_EQ(refused.result, SheetOutcome::SaveFailed);
    EXPECT_EQ(prompts.messages.back(), "シートを保存できませんでした。\n" + dir / "shut/p.jpg" + "\nアクセスが拒否されました");
    EXPECT_EQ(refused.status, "シートを保存できませんでした。");
}

TEST(WorkMode, OnlyTheRunsOwnWaysOutAreOpenDuringARun)
{
    const UserAction all[] = { UserAction::NewSession, UserAction::OpenPhoto, UserAction::Recognise,
        UserAction::MakeSheet, UserAction::PrintSheet, UserAction::Rotate, UserAction::Zoom, UserAction::HeadLine,
        UserAction::PickColour, UserAction::Skip, UserAction::Abort, UserAction::StopContinuous, UserAction::Resize };
    for (const UserAction action : all) {
        const bool runExit = action == UserAction::Abort || action == UserAction::StopContinuous;
        EXPECT_EQ(MayStart(WorkMode::Continuous, action), runExit);
        EXPECT_FALSE(MayStart(WorkMode::Working, action));
        EXPECT_EQ(MayStart(WorkMode::PickingColour, action), action == UserAction::PickColour);
        EXPECT_EQ(MayStart(WorkMode::Idle, action), action != UserAction::Abort);
    }
}

} // namespace
} // namespace vellicam::test
