// Recognition and batches through the session: the proposed frame, the error log, photos passed over, unattended
// photos from file to sheet, and how a batch ends.
#include "session_fixture.h"

#include "exif_block.h"
#include "resample/rotate.h"
#include "session/batch_run.h"
#include "session/session_texts.h"
#include "sheet/recognition_log.h"

namespace vellicam::test {
namespace {

namespace fs = std::filesystem;

std::string Text(std::string_view text)
{
    return std::string(text);
}

int CountOf(const std::string& text, const std::string& part)
{
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

#ifdef VELLICAM_STANDIN_DIR
TEST_F(SessionTest, RecognitionPlacesTheFrameOverTheFaceOrLogsWhyNot)
{
    PhotoSession session(program);
    // A square of 1200, the largest the detector is handed unreduced: the scripted boxes are its pixels.
    ASSERT_TRUE(session.open(Photo("p.jpg", 900, 1200), false).opened());
    session.setView(1200, 1200, 1200);
    session.centreMinimumFrame();
    // Random pixels have no background to find above the head.
    settings.correctHeadTop = false;

    // A face in the upper middle of the square.
    Script("0 450 300 750 600\n");
    RecognitionReport found = session.recognise(settings, false, prompts);
    ASSERT_EQ(found.outcome.result, kRecognised);
    ASSERT_TRUE(found.framePlaced);
    EXPECT_FALSE(found.statusText.empty());
    CropRect crop;
    ASSERT_EQ(session.frameInImage(crop), kCropOk);
    EXPECT_LE(crop.source.left, 450);
    EXPECT_GE(crop.source.right, 750);
    EXPECT_LT(crop.source.top, 300);
    EXPECT_GT(crop.source.bottom, 600);
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_TRUE(found.logLine.empty());

    // No face: the frame stays, the log gets its line before the message is shown.
    const ControlBounds before = session.frame();
    Script("0\n0\n");
    const RecognitionReport missed = session.recognise(settings, false, prompts);
    EXPECT_EQ(missed.outcome.result, kRecognitionNotRecognised);
    EXPECT_FALSE(missed.framePlaced);
    EXPECT_EQ(session.frame(), before);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0], Text(kMessageNotRecognised));
    const std::string log = ReadFile(dir.Path() / kRecognitionLogName);
    EXPECT_EQ(CountOf(log, Text(kLogLabelNotDetected) + dir / "p.jpg"), 1) << log;

    // Skipped silently: logged all the same, nothing said.
    Script("0\n0\n");
    const RecognitionReport skipped = session.recognise(settings, true, prompts);
    EXPECT_EQ(skipped.outcome.result, kRecognitionSkippedSilently);
    EXPECT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(CountOf(ReadFile(dir.Path() / kRecognitionLogName), Text(kLogLabelNotDetected)), 2);
}

TEST_F(SessionTest, ATiltedHeadIsToldOfAndLevelledOnlyWhenAsked)
{
    UseVariant("landmarks");
    // The right eye 10 rows lower over 100 columns: levelled by -5.7 degrees.
    const std::string tilted = "0 450 300 750 600 | 600 560 550 420 650 430\n";
    const std::string level = "0 450 300 750 600 | 600 560 550 420 650 420\n";
    for (const bool straighten : { false, true }) {
        SCOPED_TRACE(straighten);
        PhotoSession session(program);
        ASSERT_TRUE(session.open(Photo("p.jpg", 900, 1200), false).opened());
        session.setView(1200, 1200, 1200);
        settings.correctHeadTop = false;
        settings.straightenAutomatically = straighten;
        Script(tilted + level);
        const RecognitionReport report = session.recognise(settings, false, prompts);
        ASSERT_EQ(report.outcome.result, kRecognised);
        EXPECT_TRUE(report.framePlaced);
        EXPECT_EQ(report.levellingText, LevellingText(-57));
        EXPECT_EQ(report.turned, straighten);
        EXPECT_EQ(session.angle(), straighten ? -57 : 0);
        if (straighten) {
            Bitmap turned;
            ASSERT_EQ(BuildRotatedSquare(session.original(), -57, turned), 0);
            EXPECT_TRUE(SameImage(session.square(), turned)) << "one turn, as the buttons turn";
        }
    }
}

TEST_F(SessionTest, UnattendedPhotosThatCannotBeRecognisedAreSkippedWithTheirLogLinesReturned)
{
    Photo("p.jpg", 900, 1200);
    settings.recogniseOnOpen = true;
    settings.skipUnrecognised = true;
    settings.correctHeadTop = false;
    Script("0\n0\n");
    const PhotoWork work = WorkPhotoUnattended(dir / "p.jpg", settings, program);
    EXPECT_EQ(work.result, PhotoWork::Skipped);
    EXPECT_FALSE(fs::exists(dir / "p_sheet.jpeg"));
    ASSERT_EQ(work.logLines.size(), 1u);
    EXPECT_NE(work.logLines[0].find(Text(kLogLabelNotDetected)), std::string::npos);
    EXPECT_EQ(work.logPath, dir / kRecognitionLogName);
    EXPECT_FALSE(fs::exists(work.logPath)) << "the caller writes the lines, in the photos' order";

    // Recognised: the sheet is cut around the face.
    Script("0 450 300 750 600\n");
    const PhotoWork framed = WorkPhotoUnattended(dir / "p.jpg", settings, program);
    ASSERT_EQ(framed.result, PhotoWork::Saved) << framed.message;
    EXPECT_TRUE(fs::exists(framed.sheetPath));
    EXPECT_LE(framed.frame.source.left, 450);
    EXPECT_GE(framed.frame.source.right, 750);
}
#endif

TEST_F(SessionTest, UnattendedPhotoGoesFromFileToSheetAndCountsAsDoneAfterwards)
{
    Photo("p.jpg", 1600, 2000);
    const PhotoWork work = WorkPhotoUnattended(dir / "p.jpg", settings, program);
    // Without recognition the centred minimum frame is cut: at least one whole cell, so no enlargement.
    ASSERT_EQ(work.result, PhotoWork::Saved) << work.message;
    EXPECT_EQ(work.sheetPath, dir / "p_sheet.jpeg");
    EXPECT_TRUE(fs::exists(work.sheetPath));
    EXPECT_TRUE(work.logLines.empty());

    settings.keepExisting = true;
    EXPECT_EQ(WorkPhotoUnattended(dir / "p.jpg", settings, program).result, PhotoWork::Existing);
    const PhotoWork gone = WorkPhotoUnattended(dir / "gone.jpg", settings, program);
    EXPECT_EQ(gone.result, PhotoWork::Failed);
    EXPECT_EQ(gone.message, "ファイルが見つかりません") << "the report says why (its row names the photo)";
}

// The window's batch into one output folder: photos of one name from two folders get sheets of their own, a photo
// dropped twice is worked once, and a sheet made again after the run keeps its photo's name.
TEST_F(SessionTest, ABatchGivesEachPhotoASheetOfItsOwn)
{
    fs::create_directories(dir / "x");
    fs::create_directories(dir / "y");
    const std::string first = Photo("x/p.jpg", 600, 800, 1);
    const std::string second = Photo("y/p.jpg", 600, 800, 2);
    settings.outputFolder = dir / "out";
    PhotoSession session(program);
    BatchRun batch;
    batch.start({ first, second, dir / "x/../x/p.jpg" });
    EXPECT_EQ(batch.size(), 2);
    std::vector<std::string> sheets;
    for (; batch.openCurrent(session, settings, true, prompts); batch.step()) {
        const int side = session.square().Width();
        session.setView(side, side, side);
        session.centreMinimumFrame();
        const SheetOutcome made = session.makeSheet(settings, true, prompts, 0);
        ASSERT_EQ(made.result, SheetOutcome::Saved);
        sheets.push_back(made.path);
    }
    EXPECT_EQ(sheets, (std::vector<std::string> { dir / "out/p.jpg", dir / "out/p_sheet.jpeg" }));
    EXPECT_EQ(session.makeSheet(settings, true, prompts, 0).path, sheets[1]);
}

TEST_F(SessionTest, BatchPassesOverPhotosDoneAndPhotosThatDoNotOpenAndSaysHowItEnded)
{
    const std::string a = Photo("a.jpg", 900, 1200, 1);
    WriteFile(dir.Path() / "b.jpg", "broken");
    const std::string c = Photo("c.jpg", 900, 1200, 3);
    const std::string d = Photo("d.jpg", 900, 1200, 4);
    WriteEarlierSheet(dir.Path() / "d_sheet.jpeg");
    settings.keepExisting = true;

    PhotoSession session(program);
    session.setPhotoFolder(dir.Path().string());
    BatchRun batch;
    batch.start({ a, dir / "b.jpg", c, d });
    EXPECT_FALSE(batch.allDone(session, settings));

    ASSERT_TRUE(batch.openCurrent(session, settings, true, prompts));
    EXPECT_EQ(session.photoPath(), a);
    batch.countSaved();
    batch.step();
    // b does not open: logged, and c opens in its place.
    ASSERT_TRUE(batch.openCurrent(session, settings, true, prompts));
    EXPECT_EQ(session.photoPath(), c);
    EXPECT_EQ(batch.index(), 2);
    batch.countSaved();
    batch.step();
    // d is done already.
    EXPECT_FALSE(batch.openCurrent(session, settings, true, prompts));
    EXPECT_TRUE(batch.atEnd());
    EXPECT_EQ(session.photoPath(), c);

    const std::string log = ReadFile(dir.Path() / kRecognitionLogName);
    EXPECT_EQ(CountOf(log, Text(kLogLabelLoadError) + dir / "b.jpg"), 1) << log;
    EXPECT_EQ(batch.endMessage(), "2枚保存しました。スキップ 1、失敗 1");
    EXPECT_TRUE(prompts.messages.empty());
}

TEST(BatchEnd, SavedOnlyWhenEveryPhotoGotASheetAndPhotosNotRecognisedAreCountedWithTheirLog)
{
    struct Case {
        int saved, skipped, failed, unrecognised;
        std::string message;
    };
    const std::string log = "/out/自動認識エラーログ.txt";
    const Case cases[] = {
        { 3, 0, 0, 0, "保存しました。" },
        { 0, 0, 0, 0, "保存しました。" },
        { 2, 1, 0, 0, "2枚保存しました。スキップ 1、失敗 0" },
        { 0, 0, 4, 0, "0枚保存しました。スキップ 0、失敗 4" },
        // Framed by hand after recognition gave up: every photo has its sheet, and the log says which.
        { 3, 0, 0, 1, "保存しました。\n自動認識出来なかった写真 1枚\n記録: " + log },
        { 7, 1, 0, 2, "7枚保存しました。スキップ 1、失敗 0\n自動認識出来なかった写真 2枚\n記録: " + log },
    };
    for (const Case& c : cases) {
        BatchRun batch;
        batch.start({});
        for (int i = 0; i < c.saved; ++i)
            batch.countSaved();
        for (int i = 0; i < c.skipped; ++i)
            batch.countSkipped();
        for (int i = 0; i < c.failed; ++i)
            batch.countFailed();
        for (int i = 0; i < c.unrecognised; ++i)
            batch.countUnrecognised();
        EXPECT_EQ(batch.endMessage(log), c.message);
    }
}

// A batch's worker decodes each photo straight into its square and keeps its memory from photo to photo, of whatever
// sizes they come in; its sheets and its turned squares are the window's, byte for byte, made on fresh memory.
TEST_F(SessionTest, AWorkerKeepingItsMemoryMakesTheWindowsSheetsAndTurns)
{
    const std::string stored = dir / "stored.jpg";
    ASSERT_TRUE(SaveJpeg(stored, RandomBitmap(1800, 1400, 5), { 95, 0 }).ok);
    WriteFile(dir / "turned_by_tag.jpg", WithApp1(ReadFile(stored), OrientationPayload(6, false)));
    ASSERT_TRUE(SavePng(dir / "flat.png", RandomBitmap(1600, 1200, 6)).ok);
    const std::vector<std::string> photos { Photo("wide.jpg", 1800, 1400, 2), Photo("tall.jpg", 1400, 1800, 3),
        Photo("small.jpg", 900, 1200, 4), dir / "turned_by_tag.jpg", dir / "flat.png" };
    constexpr int kAngle = -57;

    // The window's way, each photo on memory of its own.
    std::vector<std::string> sheets;
    std::vector<Bitmap> turned;
    Settings window = settings;
    window.outputFolder = dir / "window/";
    for (const std::string& photo : photos) {
        PhotoSession session(program);
        ASSERT_TRUE(session.open(photo, false).opened()) << photo;
        const int side = session.square().Width();
        session.setView(side, side, side);
        session.centreMinimumFrame();
        const SheetOutcome made = session.makeSheet(window, true, prompts, 0);
        ASSERT_EQ(made.result, SheetOutcome::Saved) << photo;
        sheets.push_back(ReadFile(made.path));
        ASSERT_TRUE(session.rotateTo(kAngle, false).turned);
        turned.push_back(session.square());
    }

    KeepPixelMemoryForReuse(std::size_t { 256 } << 20);
    struct Release {
        ~Release() { KeepPixelMemoryForReuse(0); }
    } release;
    settings.outputFolder = dir / "worker/";
    for (int round = 0; round < 2; ++round) {
        for (std::size_t i = 0; i < photos.size(); ++i) {
            SCOPED_TRACE(photos[i]);
            const PhotoWork work = WorkPhotoUnattended(photos[i], settings, program);
            ASSERT_EQ(work.result, PhotoWork::Saved) << work.message;
            EXPECT_TRUE(ReadFile(work.sheetPath) == sheets[i]) << "the sheet is the window's";

            PhotoSession headless(program);
            headless.setHeadless(true);
            ASSERT_TRUE(headless.open(photos[i], false).opened());
            EXPECT_TRUE(headless.original().Empty()) << "the photo lives in its square only";
            ASSERT_TRUE(headless.rotateTo(kAngle, false).turned);
            EXPECT_TRUE(SameImage(headless.square(), turned[i], "turned square"));
        }
    }
}

TEST_F(SessionTest, RoughPhotoOfAnUnattendedRunIsLoggedNotAsked)
{
    const std::string rough = Photo("rough.jpg", 640, 480);
    PhotoSession session(program);
    BatchRun batch;
    batch.start({ rough });
    ASSERT_TRUE(batch.openCurrent(session, settings, true, prompts));
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(CountOf(ReadFile(dir.Path() / kRecognitionLogName), Text(kLogLabelLowResolution) + rough + "  (640 x 480)"), 1);

    RecordedPrompts attended;
    BatchRun again;
    again.start({ rough });
    ASSERT_TRUE(again.openCurrent(session, settings, false, attended));
    EXPECT_EQ(attended.messages.size(), 0u) << "the same photo again is kept, not reopened";
    PhotoSession fresh(program);
    ASSERT_TRUE(again.openCurrent(fresh, settings, false, attended));
    EXPECT_EQ(attended.messages.size(), 1u);
}

} // namespace
} // namespace vellicam::test
