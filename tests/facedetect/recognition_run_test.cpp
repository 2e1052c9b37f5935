// The recognition run driven through every branch by the scripted stand-in detector, and on real photos with the
// real one.
#include "image/image_io.h"
#include "image/photo.h"
#include "recognition/detector_files.h"
#include "recognition/face_detector.h"
#include "recognition/recognition_run.h"
#include "session/photo_session.h"
#include "session/session_texts.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace vellicam::test {
namespace {

namespace fs = std::filesystem;

constexpr int kSide = 1000;

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);)
        parts.push_back(part);
    return parts;
}

// A program folder holding a stand-in detector and cascade files, a private temporary folder, and the calls the
// stand-in received.
class Recognition : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string program = dir / "program";
    std::string temp = dir / "temp";
    Bitmap square = SolidBitmap(kSide, kSide, { 128, 128, 128 });
    RecognitionSettings settings;
    std::vector<std::string> statuses;
    std::vector<int> pauses;

    void SetUp() override
    {
        fs::create_directory(program);
        fs::create_directory(temp, dir.Path());
        fs::permissions(temp, fs::perms::owner_all, fs::perm_options::replace);
        UseVariant("full");
        WriteFile(fs::path(program) / "haarcascade_frontalface_default.xml", "<faces/>");
        WriteFile(fs::path(program) / "ago.xml", "<chins/>");
        setenv("VELLICAM_STANDIN_SCRIPT", (dir / "script.txt").c_str(), 1);
        setenv("VELLICAM_STANDIN_LOG", (dir / "calls.log").c_str(), 1);
        fs::create_directory(dir / "kept");
        setenv("VELLICAM_STANDIN_KEEP", (dir / "kept").c_str(), 1);
    }
    void TearDown() override
    {
        unsetenv("VELLICAM_STANDIN_SCRIPT");
        unsetenv("VELLICAM_STANDIN_LOG");
        unsetenv("VELLICAM_STANDIN_KEEP");
    }

    void UseVariant(const std::string& variant)
    {
        const fs::path link = fs::path(program) / kDetectorLibraryName;
        fs::remove(link);
        fs::create_symlink(fs::path(VELLICAM_STANDIN_DIR) / variant / "libfacedetect.so", link);
    }
    void Script(const std::string& lines) { WriteFile(dir.Path() / "script.txt", lines); }

    // Each run starts the script over and leaves the calls it made in the log.
    RecognitionOutcome Run()
    {
        fs::remove(dir / "calls.log");
        RecognitionHooks hooks;
        hooks.status = [this](std::string_view text) { statuses.emplace_back(text); };
        hooks.pause = [this](int ms) { pauses.push_back(ms); };
        return RecognitionRun(square, program, temp, settings, DefaultSheetLayout(), square.Width(), hooks);
    }

    // The stand-in's log, one field list per call.
    std::vector<std::vector<std::string>> Calls()
    {
        std::error_code ec;
        if (!fs::exists(dir / "calls.log", ec))
            return {};
        std::vector<std::vector<std::string>> calls;
        for (const std::string& line : Split(ReadFile(dir / "calls.log"), '\n'))
            calls.push_back(Split(line, '\t'));
        return calls;
    }
    // The pass argument of each facedetect call, and its cascade's file name.
    std::vector<std::string> Passes()
    {
        std::vector<std::string> passes;
        for (const auto& call : Calls())
            if (call[0] == "facedetect")
                passes.push_back(fs::path(call[3]).filename().string() + ":" + call[4]);
        return passes;
    }
};

const std::string kCentred = "0 400 300 600 500\n"; // plausible, on the centre line, upper half

TEST_F(Recognition, MissingFaceCascadeLoadsNothingAndWritesNothing)
{
    fs::remove(fs::path(program) / "haarcascade_frontalface_default.xml");
    const RecognitionOutcome o = Run();
    EXPECT_EQ(o.result, kRecognitionCascadeMissing);
    EXPECT_TRUE(o.cascadeMissing);
    EXPECT_EQ(o.message, "顔認識用のXMLデータが見つかりません。");
    EXPECT_EQ(o.noticePath, program + "/お読み下さい.txt");
    EXPECT_EQ(o.log, RecognitionLogKind::None);
    EXPECT_TRUE(Calls().empty());
    EXPECT_TRUE(fs::is_empty(temp));
    EXPECT_TRUE(pauses.empty());
}

// Installed, the library and the cascades live in folders of their own; what is missing is reported with the
// folders looked in, and the notice is looked for where the cascades belong.
TEST_F(Recognition, InstalledLayoutIsFoundAndMissingPiecesNameTheFoldersLookedIn)
{
    const std::string bin = dir / "prefix/bin";
    fs::create_directories(bin);
    const DetectorFiles layout = FindDetectorFiles(bin);
    const std::string lib = layout.libraryFolders.back(), share = layout.dataFolders.back();
    fs::create_directories(lib);
    fs::create_directories(share);
    fs::create_symlink(
        fs::path(VELLICAM_STANDIN_DIR) / "full" / kDetectorLibraryName, fs::path(lib) / kDetectorLibraryName);
    for (const char* name : { "haarcascade_frontalface_default.xml", "ago.xml" })
        fs::rename(fs::path(program) / name, fs::path(share) / name);
    program = bin;

    Script(kCentred + "0 50 90 150 110\n");
    RecognitionOutcome o = Run();
    ASSERT_EQ(o.result, kRecognised) << o.message << o.reason;
    EXPECT_EQ(Calls()[1][3], share + "/haarcascade_frontalface_default.xml");
    EXPECT_EQ(Calls()[3][3], share + "/ago.xml");

    fs::remove(fs::path(share) / "haarcascade_frontalface_default.xml");
    o = Run();
    EXPECT_EQ(o.result, kRecognitionCascadeMissing);
    EXPECT_EQ(o.noticePath, share + "/お読み下さい.txt");
    EXPECT_NE(o.reason.find("looked in " + bin + " or " + share), std::string::npos) << o.reason;

    WriteFile(fs::path(share) / "haarcascade_frontalface_default.xml", "<faces/>");
    fs::remove(fs::path(lib) / kDetectorLibraryName);
    o = Run();
    EXPECT_EQ(o.result, kDetectorNotLoaded);
    EXPECT_NE(o.reason.find("looked in " + bin + " or " + lib), std::string::npos) << o.reason;
    EXPECT_TRUE(Calls().empty());
}

TEST_F(Recognition, LibraryFailuresGiveTheirCodesAndMessages)
{
    struct Case {
        const char* variant; // "" for no library at all
        int result;
        const char* message;
    };
    for (const Case& c : { Case { "", -3, "DLLの読み込みに失敗しました。(1)" },
             Case { "no_setminsize", -4, "関数のアドレスの取得に失敗しました。1" },
             Case { "no_getrect", -5, "関数のアドレスの取得に失敗しました。2" },
             Case { "no_facedetect", -6, "関数のアドレスの取得に失敗しました。3" } }) {
        if (*c.variant)
            UseVariant(c.variant);
        else
            fs::remove(fs::path(program) / kDetectorLibraryName);
        const RecognitionOutcome o = Run();
        EXPECT_EQ(o.result, c.result) << c.variant;
        EXPECT_EQ(o.message, c.message) << c.variant;
        EXPECT_FALSE(o.reason.empty()) << c.variant;
        EXPECT_EQ(o.log, RecognitionLogKind::None);
    }
    EXPECT_TRUE(Passes().empty()) << "nothing is detected with an incomplete library";

    UseVariant("full");
    Script("throw\n");
    const RecognitionOutcome thrown = Run();
    EXPECT_EQ(thrown.result, -7);
    EXPECT_EQ(thrown.message, "DLLの読み込みに失敗しました。");
    EXPECT_NE(thrown.reason.find("told to throw"), std::string::npos);
    // A throw during the re-detection counts the same.
    Script("throw\n0\nthrow\n");
    EXPECT_EQ(Run().result, -7);
}

TEST_F(Recognition, DetectorStatusOtherThanZeroIsAnInternalErrorButMinusSevenIsSuccess)
{
    Script("-5 400 300 600 500\n");
    RecognitionOutcome o = Run();
    EXPECT_EQ(o.result, kRecognitionInternalError);
    EXPECT_EQ(o.message, "自動認識処理が失敗しました。(-5)");
    EXPECT_EQ(o.log, RecognitionLogKind::Internal);
    EXPECT_EQ(statuses.back(), "自動認識失敗");
    EXPECT_EQ(RecognitionLogLine(o, "2026/12/07 7:19:53", "/p/a.jpg"),
        "2026/12/07 7:19:53  自動顔認識エラー（内部エラー）:  /p/a.jpg");

    settings.silentSkip = true;
    o = Run();
    EXPECT_EQ(o.result, kRecognitionInternalError) << "a silent skip only hides the message";
    EXPECT_EQ(o.message, "");

    settings.silentSkip = false;
    Script("-7 400 300 600 500\n");
    EXPECT_EQ(Run().result, kRecognised);
    // An off-centre first answer with a failing status asks again; a second "nothing searched" clears the
    // status, any other second status does not.
    Script("-5 100 300 300 500\n-7\n");
    o = Run();
    EXPECT_EQ(o.result, kRecognised);
    EXPECT_EQ(o.face, (FaceRect { 100, 300, 300, 500 }));
    Script("-5 100 300 300 500\n-2\n");
    EXPECT_EQ(Run().result, kRecognitionInternalError);
}

TEST_F(Recognition, NoFaceIsNotRecognisedWithoutAChinPass)
{
    Script("0\n0\n");
    RecognitionOutcome o = Run();
    EXPECT_EQ(o.result, kRecognitionNotRecognised);
    EXPECT_EQ(o.message, "自動顔認識処理では認識出来ませんでした。");
    EXPECT_EQ(o.log, RecognitionLogKind::NotDetected);
    EXPECT_FALSE(o.chinPassRan);
    EXPECT_EQ(statuses, (std::vector<std::string> { "自動認識中...", "自動認識中(再認識)...", "自動認識失敗" }));
    EXPECT_EQ(Passes(),
        (std::vector<std::string> { "haarcascade_frontalface_default.xml:0", "haarcascade_frontalface_default.xml:1" }))
        << "no chin strip is cut from an empty face";

    statuses.clear();
    settings.silentSkip = true;
    o = Run();
    EXPECT_EQ(o.result, kRecognitionSkippedSilently);
    EXPECT_EQ(o.message, "");
    EXPECT_EQ(o.log, RecognitionLogKind::NotDetected);
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "自動認識失敗"), 0);
}

TEST_F(Recognition, FaceOverHalfTheImageCountsOnlyWhenBothSidesAre)
{
    settings.detectChin = false;
    Script("0 200 0 800 600\n"); // 600 × 600 of 1000 × 1000
    EXPECT_EQ(Run().result, kRecognitionNotRecognised);
    Script("0 200 300 800 500\n"); // wide only
    EXPECT_EQ(Run().result, kRecognised);
    Script("0 250 100 750 600\n"); // exactly half: 500 × 100 is not more than 1000 × 50
    EXPECT_EQ(Run().log, RecognitionLogKind::FalseDetection) << "a face, whose frame is what fails";
}

TEST_F(Recognition, OversizeFrameFailsOnlyWithTheSettingButAlwaysAsksAgain)
{
    settings.detectChin = false;
    Script("0 250 100 750 600\n"); // 500 high: its frame is taller than 90 % of the image
    RecognitionOutcome o = Run();
    EXPECT_EQ(o.result, kRecognitionNotRecognised);
    EXPECT_EQ(o.message, "自動顔認識処理では認識出来ませんでした。（サイズ過大による誤検出判定）");
    EXPECT_EQ(o.log, RecognitionLogKind::FalseDetection);
    EXPECT_TRUE(o.redetected);
    EXPECT_TRUE(o.proposed) << "the frame that failed is reported";
    EXPECT_GT(o.proposal.h * 100, kSide * 90);

    settings.silentSkip = true;
    EXPECT_EQ(Run().result, kRecognitionSkippedSilently);

    settings.silentSkip = false;
    settings.oversizeIsError = false;
    o = Run();
    EXPECT_EQ(o.result, kRecognised);
    EXPECT_TRUE(o.redetected) << "the plausibility test ignores the oversize setting";
    EXPECT_EQ(Passes().size(), 2u);
}

TEST_F(Recognition, AsksAgainOnlyWhenTheFirstAnswerLooksWrong)
{
    settings.detectChin = false;
    Script(kCentred);
    RecognitionOutcome o = Run();
    EXPECT_EQ(o.result, kRecognised);
    EXPECT_FALSE(o.redetected);
    EXPECT_EQ(Passes().size(), 1u);
    EXPECT_EQ(statuses, (std::vector<std::string> { "自動認識中...", "自動認識完了" }));
    EXPECT_EQ(pauses, (std::vector<int> { 500 }));

    // Centre exactly a tenth of the width off the line is still fine; one more pixel is not.
    for (const auto& [line, again] : { std::pair { "0 500 300 700 500\n", false }, { "0 501 300 701 500\n", true },
             // upper half: centre row 500 of 1000 is accepted, 501 not
             { "0 400 400 600 600\n", false }, { "0 400 401 600 601\n", true } }) {
        Script(line);
        EXPECT_EQ(Run().redetected, again) << line;
    }
    settings.upperHalfOnly = false;
    Script("0 400 401 600 601\n");
    EXPECT_FALSE(Run().redetected);
}

TEST_F(Recognition, ChoosesTheCandidateNearestTheCentreLine)
{
    settings.detectChin = false;
    const std::string offCentre = "0 0 300 200 500\n";
    struct Case {
        const char* second;
        FaceRect expected;
        int n; // candidates
    };
    const Case cases[] = {
        // nearest wins
        { "0 100 300 300 500 380 300 580 500 700 300 900 500\n", { 380, 300, 580, 500 }, 3 },
        // equal distance: the earlier
        { "0 350 300 550 500 450 300 650 500\n", { 350, 300, 550, 500 }, 2 },
        // lower half and implausible candidates never qualify
        { "0 400 401 600 601 250 0 750 500 50 300 250 500\n", { 50, 300, 250, 500 }, 3 },
        // centre row exactly at half the height qualifies
        { "0 100 300 300 500 400 400 600 600\n", { 400, 400, 600, 600 }, 2 },
        // the eleventh is never looked at; n is capped at ten
        { "0 5 300 205 500 5 300 205 500 5 300 205 500 5 300 205 500 5 300 205 500 5 300 205 500 5 300 205 500 "
          "5 300 205 500 5 300 205 500 10 300 210 500 400 300 600 500\n",
            { 10, 300, 210, 500 }, 10 },
        // none qualifies: the first answer stands, no third attempt
        { "0 400 700 600 900\n", { 0, 300, 200, 500 }, 1 },
    };
    for (const Case& c : cases) {
        Script(offCentre + c.second);
        const RecognitionOutcome o = Run();
        EXPECT_EQ(o.face, c.expected) << c.second;
        EXPECT_EQ(o.candidateCount, c.n) << c.second;
        EXPECT_EQ(Passes().size(), 2u) << c.second;
    }
}

TEST_F(Recognition, ChinOnTheFaceEdgeIsAcceptedAndAboveItIsNot)
{
    // Face 400,300 – 600,500: the strip starts at the face's middle row 400, so strip row 100 is the face's bottom.
    Script(kCentred + "0 50 90 150 110\n");
    RecognitionOutcome o = Run();
    ASSERT_EQ(o.result, kRecognised);
    EXPECT_TRUE(o.chinPassRan);
    EXPECT_EQ(o.chinStripTop, 400);
    EXPECT_TRUE(o.chinAccepted);
    EXPECT_EQ(o.proposal.chinLine, 500);
    EXPECT_EQ(o.chin.cx1, 50);

    Script(kCentred + "0 50 88 150 110 50 150 150 190\n"); // the mouth, then the neck: neither is a chin
    o = Run();
    EXPECT_FALSE(o.chinAccepted);
    EXPECT_EQ(o.proposal.chinLine, o.proposal.correctedChin);

    // Its status is not looked at.
    Script(kCentred + "-5 50 90 150 110\n");
    EXPECT_EQ(Run().result, kRecognised);

    settings.detectChin = false;
    Script(kCentred + "0 50 90 150 110\n");
    o = Run();
    EXPECT_FALSE(o.chinPassRan);
    EXPECT_FALSE(o.chinAccepted);
    EXPECT_EQ(Passes().size(), 1u);
}

// The strip search with a three-function library: the mouth (above the face's bottom edge) comes first and is passed
// over; the first hit whose centre lies from the bottom edge down to a quarter face below it is the chin.
TEST_F(Recognition, StripSearchTakesTheFirstHitWhereAChinCanBe)
{
    // Face 400,300 – 600,500, strip from row 400: strip rows 100..150 are where a chin can be.
    struct Case {
        const char* hits;
        bool accepted;
        int chinLine;
    };
    for (const Case& c : { Case { "0 60 40 140 80 60 110 140 130", true, 520 }, // mouth, then the chin
             Case { "0 60 40 140 80 60 150 140 170", false, 0 }, // mouth, then the neck
             Case { "0 60 130 140 171", true, 550 }, // the lowest a chin may lie
             Case { "0 60 130 140 173", false, 0 } }) {
        Script(kCentred + c.hits + "\n");
        const RecognitionOutcome o = Run();
        ASSERT_EQ(o.result, kRecognised) << c.hits;
        EXPECT_TRUE(o.chinPassRan);
        EXPECT_EQ(o.chinAccepted, c.accepted) << c.hits;
        EXPECT_FALSE(o.chinFromLandmarks);
        if (c.accepted) {
            EXPECT_EQ(o.proposal.chinLine, c.chinLine) << c.hits;
        }
    }
}

// A library with landmarks: no strip search; the chin line is the chin point, the head top comes from the eyes
// and the chin, and the eye line gives the levelling angle. Table of what the landmarks say.
TEST_F(Recognition, LandmarksGiveTheChinTheHeadTopAndTheLevellingAngle)
{
    UseVariant("landmarks");
    struct Case {
        const char* script;
        bool chin; // the chin point is taken
        int chinLine;
        bool levelling;
        int angle;
        int headTop; // T0
    };
    for (const Case& c : { // Eyes level at row 380, chin at 510: head top 380 − 1.25 × 130 = 217.
             Case { "0 400 300 600 500 | 500 510 450 380 550 380", true, 510, true, 0, 217 },
             // The right eye 10 rows lower over 100 columns: 5.7° clockwise, levelled by −5.7°. Eye row 385.
             Case { "0 400 300 600 500 | 500 510 450 380 550 390", true, 510, true, -57, 229 },
             Case { "0 400 300 600 500 | 500 510 450 390 550 380", true, 510, true, 57, 229 },
             // A chin point above mid-face is a landmark gone astray: the estimate stays.
             Case { "0 400 300 600 500 | 500 390 450 380 550 380", false, 0, true, 0, 367 },
             // No landmarks for this face: the estimates stay (300 − 30 % of 200) and no strip search runs.
             Case { "0 400 300 600 500 | -", false, 0, false, 0, 240 } }) {
        Script(std::string(c.script) + "\n");
        const RecognitionOutcome o = Run();
        ASSERT_EQ(o.result, kRecognised) << c.script << o.message;
        EXPECT_FALSE(o.chinPassRan) << c.script;
        EXPECT_EQ(Passes().size(), 1u) << c.script;
        EXPECT_EQ(o.chinAccepted, c.chin) << c.script;
        EXPECT_EQ(o.chinFromLandmarks, c.chin) << c.script;
        EXPECT_EQ(o.landmarks, c.levelling) << c.script;
        EXPECT_EQ(o.levellingKnown, c.levelling) << c.script;
        EXPECT_EQ(o.levellingAngle, c.angle) << c.script;
        if (c.chin) {
            EXPECT_EQ(o.proposal.chinLine, c.chinLine) << c.script;
            EXPECT_EQ(o.chin.chinStripTop + o.chin.cy1 + (o.chin.cy2 - o.chin.cy1) / 2, c.chinLine)
                << "the outline's centre";
        }
        EXPECT_EQ(o.proposal.estimatedTop, c.headTop) << c.script;
    }

    // With the chin switched off the landmarks still level the head and place the head top.
    settings.detectChin = false;
    Script("0 400 300 600 500 | 500 510 450 380 550 390\n");
    const RecognitionOutcome o = Run();
    EXPECT_FALSE(o.chinAccepted);
    EXPECT_EQ(o.levellingAngle, -57);
    EXPECT_EQ(o.proposal.estimatedTop, 229);
}

// Nothing at the minimum face size: one face pass more for faces down to a third of it, but not below a tenth of the
// photo's side. A face confirmed there is framed and said to be small; an unconfirmed one is not taken; a library
// without landmarks makes no such pass, nor does a photo whose tenth is the minimum already.
TEST_F(Recognition, FaceBelowTheMinimumSizeIsFramedAndSaidToBeSmall)
{
    UseVariant("landmarks");
    settings.minFaceSize = 210;
    Script("0\n0\n0 440 300 560 420 | 500 410 470 345 530 345\n");
    RecognitionOutcome o = Run();
    ASSERT_EQ(o.result, kRecognised) << o.message;
    EXPECT_TRUE(o.smallFace);
    EXPECT_EQ(o.face, (FaceRect { 440, 300, 560, 420 }));
    EXPECT_TRUE(o.proposed);
    EXPECT_EQ(o.chosenFace, 0);
    const auto calls = Calls();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[3], (std::vector<std::string> { "setMinSize", "100", "100" }));
    EXPECT_EQ(calls[4][4], "0");

    Script("0\n0\n0 440 300 560 420 | -\n");
    o = Run();
    EXPECT_EQ(o.result, kRecognitionNotRecognised);
    EXPECT_FALSE(o.smallFace);

    // A face found at the minimum size is never said to be small, and makes no further pass.
    Script(kCentred.substr(0, kCentred.size() - 1) + " | 500 490 450 380 550 380\n");
    o = Run();
    ASSERT_EQ(o.result, kRecognised) << o.message;
    EXPECT_FALSE(o.smallFace);
    EXPECT_EQ(Passes().size(), 1u);

    settings.minFaceSize = 100;
    Script("0\n0\n0 440 300 560 420 | 500 410 470 345 530 345\n");
    o = Run();
    EXPECT_EQ(o.result, kRecognitionNotRecognised);
    EXPECT_EQ(Passes().size(), 2u);

    settings.minFaceSize = 210;
    UseVariant("full");
    Script("0\n0\n0 440 300 560 420\n");
    o = Run();
    EXPECT_EQ(o.result, kRecognitionNotRecognised);
    EXPECT_EQ(Passes().size(), 2u);
}

// The re-detection's candidate brings its own landmarks.
TEST_F(Recognition, ChosenCandidateKeepsItsOwnLandmarks)
{
    UseVariant("landmarks");
    // First answer off-centre and unconfirmed; the second pass's centred candidate is the second one.
    Script("0 100 300 300 500 | -\n"
           "0 100 300 300 500 400 300 600 500 | 200 510 150 380 250 380 500 520 450 390 550 380\n");
    const RecognitionOutcome o = Run();
    ASSERT_EQ(o.result, kRecognised) << o.message;
    EXPECT_TRUE(o.redetected);
    EXPECT_EQ(o.face, (FaceRect { 400, 300, 600, 500 }));
    EXPECT_EQ(o.points.chinY, 520);
    EXPECT_EQ(o.levellingAngle, 57);
}

// A confirmed face centred below the middle is asked about again beside other candidates, or alone when it lies
// wholly in the lower half (a badge taken for a face); when the second pass brings nothing better, the face kept is
// still the chosen one among the faces that pass lists.
TEST_F(Recognition, ConfirmedLowFaceIsAskedAgainOnlyWhenItMayNotBeTheSubject)
{
    UseVariant("landmarks");
    settings.detectChin = false;
    const std::string low = "400 420 600 620";
    const std::string lowPoints = "500 610 450 500 550 500";
    Script("0 " + low + " | " + lowPoints + "\n");
    RecognitionOutcome o = Run();
    ASSERT_EQ(o.result, kRecognised) << o.message;
    EXPECT_FALSE(o.redetected);
    EXPECT_EQ(o.chosenFace, 0);

    // Beside a second candidate the second pass runs; it finds the low face again a little shifted, and the
    // unconfirmed second one.
    Script("0 " + low + " 100 700 200 800 | " + lowPoints + " -\n"
        + "0 50 650 250 850 402 422 602 622 | - 500 612 452 502 552 502\n");
    o = Run();
    ASSERT_EQ(o.result, kRecognised) << o.message;
    EXPECT_TRUE(o.redetected);
    EXPECT_EQ(o.face, (FaceRect { 400, 420, 600, 620 }));
    ASSERT_EQ(o.faces.size(), 1u);
    EXPECT_EQ(o.chosenFace, 0);

    // Alone but wholly below the middle row: the second pass finds the face above it.
    Script("0 400 560 600 760 | 500 750 450 640 550 640\n"
           "0 400 560 600 760 400 150 600 350 | 500 750 450 640 550 640 500 340 450 230 550 230\n");
    o = Run();
    ASSERT_EQ(o.result, kRecognised) << o.message;
    EXPECT_TRUE(o.redetected);
    EXPECT_EQ(o.face, (FaceRect { 400, 150, 600, 350 }));
    EXPECT_EQ(o.chosenFace, 0);
}

// Large working images are handed over reduced by a whole factor; what comes back is scaled up again.
TEST_F(Recognition, LargeImageIsHandedOverReducedAndTheAnswersScaledBack)
{
    UseVariant("landmarks");
    square = SolidBitmap(4100, 4100, { 200, 200, 200 }); // factor 4: 1025 pixels across
    settings.minFaceSize = 200;
    Script("0 500 300 700 500 | 600 510 550 380 650 380\n");
    const RecognitionOutcome o = Run();
    ASSERT_EQ(o.result, kRecognised) << o.message;
    const auto calls = Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0], (std::vector<std::string> { "setMinSize", "50", "50" }));
    Bitmap handed;
    ASSERT_TRUE(LoadPpm(dir / "kept/call0.pgm", handed).ok);
    EXPECT_EQ(handed.Width(), 1025);
    EXPECT_EQ(handed.Height(), 1025);
    EXPECT_EQ(o.face, (FaceRect { 2000, 1200, 2800, 2000 }));
    EXPECT_EQ(o.points.chinX, 2401); // the middle of the copy pixel's 4 × 4 block, rounded down
    EXPECT_EQ(o.points.chinY, 2041);
}

TEST_F(Recognition, DetectorKindFromTheOptionalFunction)
{
    EXPECT_EQ(QueryDetectorKind(program), DetectorKind::CascadeOnly) << "the three-function library";
    UseVariant("landmarks");
    EXPECT_EQ(QueryDetectorKind(program), DetectorKind::Verified);
    setenv("VELLICAM_STANDIN_KIND", "0", 1);
    EXPECT_EQ(QueryDetectorKind(program), DetectorKind::CascadeOnly);
    setenv("VELLICAM_STANDIN_KIND", "throw", 1);
    EXPECT_EQ(QueryDetectorKind(program), DetectorKind::Unavailable);
    unsetenv("VELLICAM_STANDIN_KIND");
    // An installed program's library lies in lib/vellicam, not beside it: asked through the same search as
    // recognition (the settings dialog's line, the batch's one load of the models).
    const std::string bin = dir / "prefix/bin";
    fs::create_directories(bin);
    const std::string installed = FindDetectorFiles(bin).libraryFolders.back();
    fs::create_directories(installed);
    fs::create_symlink(
        fs::path(VELLICAM_STANDIN_DIR) / "landmarks/libfacedetect.so", fs::path(installed) / kDetectorLibraryName);
    EXPECT_EQ(QueryDetectorKind(bin), DetectorKind::Verified);
    UseVariant("no_getrect");
    EXPECT_EQ(QueryDetectorKind(program), DetectorKind::Unavailable);
    EXPECT_EQ(QueryDetectorKind(dir / "nowhere"), DetectorKind::Unavailable);
    EXPECT_NE(DetectorKindText(DetectorKind::Verified), DetectorKindText(DetectorKind::CascadeOnly));
}

TEST_F(Recognition, HandsTheDetectorAbsolutePathsAndTheRightSizes)
{
    settings.minFaceSize = 170;
    settings.precision = 5;
    // A face reaching past the bottom: the strip is raised to end inside the image.
    Script("0 400 300 600 500\n");
    const RecognitionOutcome o = Run();
    ASSERT_EQ(o.result, kRecognised) << o.message;
    const auto calls = Calls();
    ASSERT_EQ(calls.size(), 4u);
    const std::string tempImage = temp + "/vellicam_temp.pgm";
    EXPECT_EQ(calls[0], (std::vector<std::string> { "setMinSize", "170", "170" }));
    EXPECT_EQ(calls[1][1], tempImage);
    EXPECT_EQ(calls[1][2], "0");
    EXPECT_EQ(calls[1][3], program + "/haarcascade_frontalface_default.xml");
    EXPECT_EQ(calls[1][4], "0");
    EXPECT_EQ(calls[1][5], "5");
    EXPECT_EQ(calls[2], (std::vector<std::string> { "setMinSize", "21", "21" }));
    EXPECT_EQ(calls[3][1], tempImage);
    EXPECT_EQ(calls[3][3], program + "/ago.xml");
    EXPECT_EQ(calls[3][4], "0");
    EXPECT_EQ(calls[3][5], "5");

    // What was handed over: the whole square, then the strip from mid-face down one face height, both grey.
    Bitmap first, strip;
    ASSERT_TRUE(LoadPpm(dir / "kept/call0.pgm", first).ok);
    EXPECT_EQ(first.Width(), kSide);
    EXPECT_EQ(first.Height(), kSide);
    EXPECT_EQ(first.Pixel(10, 10), (Rgb { 128, 128, 128 }));
    ASSERT_TRUE(LoadPpm(dir / "kept/call1.pgm", strip).ok);
    EXPECT_EQ(strip.Width(), 200);
    EXPECT_EQ(strip.Height(), 200);
    EXPECT_FALSE(fs::exists(fs::path(program) / "vellicam_temp.pgm")) << "nothing is written beside the program";
}

TEST_F(Recognition, ChinStripNearTheBottomIsRaisedIntoTheImage)
{
    square = SolidBitmap(kSide, kSide, { 128, 128, 128 });
    settings.upperHalfOnly = false;
    Script("0 400 700 600 950\n");
    const RecognitionOutcome o = Run();
    EXPECT_TRUE(o.chinPassRan);
    EXPECT_EQ(o.chinStripTop, kSide - 250);
}

TEST_F(Recognition, SavesTheFaceImageAndItsAnnotationLine)
{
    settings.saveFaceImage = true;
    settings.detectChin = false;
    settings.currentPhotoPath = "/photos/taro 100%.jpg";
    settings.outputFolderText = dir / "out/";
    FillRect(square, { 400, 300, 600, 500 }, { 200, 30, 40 });
    Script(kCentred);
    RecognitionOutcome o = Run();
    ASSERT_EQ(o.result, kRecognised) << o.message << o.reason;
    const std::string face = dir / "out/認識画像/taro 100%.jpg";
    EXPECT_EQ(o.faceImagePath, face);
    Bitmap saved;
    ASSERT_TRUE(LoadJpeg(face, saved).ok);
    EXPECT_EQ(saved.Width(), 200);
    EXPECT_EQ(saved.Height(), 200);
    EXPECT_NEAR(saved.Pixel(100, 100).r, 200, 8) << "the face's own pixels";
    // The list names the image relative to its own folder, where it lies.
    EXPECT_EQ(ReadFile(dir / "out/認識画像/positive.txt"), "taro 100%.jpg 1 0 0 200 200\n");
    EXPECT_EQ(pauses, (std::vector<int> { 500, 50 }));

    // With the box empty the photo's folder takes its place; the list grows by one line per face.
    settings.outputFolderText.clear();
    settings.photoFolder = dir / "photos/";
    Run();
    Run();
    const std::string list = ReadFile(dir / "photos/認識画像/positive.txt");
    EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 2);

    // A folder that cannot be made fails the run.
    WriteFile(dir.Path() / "blocked", "a file");
    settings.outputFolderText = dir / "blocked/";
    o = Run();
    EXPECT_EQ(o.result, kRecognitionFaceNotSaved);
    EXPECT_EQ(o.message, "ファイルの保存に失敗しました。");
}

TEST_F(Recognition, TemporaryImageThatCannotBeWrittenStopsBeforeLoading)
{
    const RecognitionOutcome o
        = RecognitionRun(square, program, dir / "no such folder", settings, DefaultSheetLayout(), kSide);
    EXPECT_EQ(o.result, kRecognitionTempNotSaved);
    EXPECT_EQ(o.message, "一時保存ファイルの保存に失敗しました。");
    EXPECT_TRUE(Calls().empty());
}

TEST_F(Recognition, WindowThatCannotPlaceTheFrameGetsItsOwnCode)
{
    Script(kCentred);
    RecognitionHooks hooks;
    hooks.status = [this](std::string_view text) { statuses.emplace_back(text); };
    FaceRect placed;
    hooks.placeFrame = [&](const RecognitionOutcome& o) {
        placed = o.face;
        return static_cast<int>(kRecognitionOutOfMemory);
    };
    const RecognitionOutcome o = RecognitionRun(square, program, temp, settings, DefaultSheetLayout(), kSide, hooks);
    EXPECT_EQ(o.result, kRecognitionOutOfMemory);
    EXPECT_EQ(placed, (FaceRect { 400, 300, 600, 500 }));
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "自動認識完了"), 0);
}

TEST_F(Recognition, RefusesWhatItCannotWorkWith)
{
    const SheetLayout layout = DefaultSheetLayout();
    EXPECT_EQ(RecognitionRun(Bitmap {}, program, temp, settings, layout, kSide).result, kRecognitionBadArguments);
    EXPECT_EQ(RecognitionRun(square, "", temp, settings, layout, kSide).result, kRecognitionBadArguments);
    EXPECT_EQ(RecognitionRun(square, program, temp, settings, layout, 0).result, kRecognitionBadArguments);
    RecognitionSettings bad = settings;
    bad.precision = 11;
    EXPECT_EQ(RecognitionRun(square, program, temp, bad, layout, kSide).result, kRecognitionBadArguments);
    bad = settings;
    bad.jpegQuality = -1;
    EXPECT_EQ(RecognitionRun(square, program, temp, bad, layout, kSide).result, kRecognitionBadArguments);
    EXPECT_TRUE(Calls().empty());
}

// --- the real detector ---

class RealDetector : public ::testing::Test {
protected:
    static int LoadedHeight(const char* devsetPhoto)
    {
        Bitmap photo;
        EXPECT_TRUE(LoadImage((DataDir() / "devset" / devsetPhoto).string(), photo).ok);
        return photo.Height();
    }
    ScratchDir temp;
    RecognitionOutcome RunOn(
        const std::string& photoName, const char* folder = "photos", int threads = 1, int faceIndex = -1)
    {
        Bitmap photo, square;
        EXPECT_TRUE(LoadImage((DataDir() / folder / photoName).string(), photo).ok) << photoName;
        EXPECT_TRUE(BuildSquareBitmap(photo, square));
        RecognitionSettings settings;
        settings.threads = threads;
        settings.faceIndex = faceIndex;
        return RecognitionRun(
            square, BinDir().string(), temp.Path().string(), settings, DefaultSheetLayout(), square.Width());
    }
};

TEST_F(RealDetector, FrontalPortraitsGetAFrameCentredOnTheFaceWithTheHeadFillingTheCell)
{
    for (const char* name : { "portrait_uniform_cap_1024x1200.jpg", "portrait_plain_wall_900x1200.jpg",
             "portrait_dark_background_868.jpg" }) {
        const RecognitionOutcome o = RunOn(name);
        ASSERT_EQ(o.result, kRecognised) << name << ": " << o.message << " " << o.reason;
        const FaceRect& f = o.face;
        const FrameProposal& p = o.proposal;
        // Centred on the face's own centre from its landmarks, not on the cascade's box.
        ASSERT_TRUE(o.landmarks) << name;
        EXPECT_LE(std::abs(FaceCentreColumn(o.points) - (p.frameLeft + p.frameRight) / 2), 1) << name;
        const int top = std::min(p.estimatedTop, p.bgTop);
        EXPECT_NEAR((p.chinLine - top) * 496 / (p.frameBottom - p.frameTop), 319, 3) << name;
        EXPECT_LT(std::abs((f.x1 + f.x2) / 2 - o.imageWidth / 2), o.imageWidth / 5) << name;
        EXPECT_LT(f.y1, p.estimatedTop + (f.y2 - f.y1)) << name;
    }
}

// A head filling the photo (p32, hair touching the top) is framed, its frame reaching beyond the photo; a face below
// the minimum size (p30, a head of 160 pixels) is framed and said to be small; a head tilted by 45° (p08, its chin
// far beyond the outline's side) is framed on the face's middle. Annotated head top and chin rows and centre column,
// judged as the development set's score judges them.
TEST_F(RealDetector, AHeadFillingThePhotoASmallFaceAndAStronglyTiltedHeadAreFramed)
{
    struct Case {
        const char* photo;
        int headTop, chin, centre;
        bool small;
    };
    for (const Case& c :
        { Case { "p32_glasses_close.jpg", 3, 545, 196, false }, Case { "p30_astronaut_flag.jpg", 16, 177, 226, true },
            Case { "p08_tilted_strongly.jpg", 100, 348, 272, false } }) {
        const RecognitionOutcome o = RunOn(c.photo, "devset");
        ASSERT_EQ(o.result, kRecognised) << c.photo << ": " << o.message;
        EXPECT_EQ(o.smallFace, c.small) << c.photo;
        Bitmap photo;
        ASSERT_TRUE(LoadImage((DataDir() / "devset" / c.photo).string(), photo).ok);
        const int dx = (o.imageWidth - photo.Width()) / 2, dy = (o.imageHeight - photo.Height()) / 2;
        const FrameProposal& p = o.proposal;
        const int tolerance = (c.chin - c.headTop) / 10;
        EXPECT_LE(std::abs(p.headTop - dy - c.headTop), tolerance) << c.photo;
        EXPECT_LE(std::abs(p.chinLine - dy - c.chin), tolerance) << c.photo;
        EXPECT_LE(std::abs((p.frameLeft + p.frameRight) / 2 - dx - c.centre) * 20, p.frameRight - p.frameLeft)
            << c.photo;
    }
}

TEST_F(RealDetector, ThePersonMaskGivesTheHeadTopAndSeesANeighbourInTheFrame)
{
    if (!fs::exists(BinDir() / kPersonModelFile))
        GTEST_SKIP() << "no person model in " << BinDir() << ": scripts/install-deps fetches it, the build converts it";
    struct Case {
        const char* photo;
        int headTop; // the annotated head top in the working square (the photo's row + its offset in the square)
        bool otherPeople;
    };
    // p07: a lowered head whose head top the landmark estimate put 64 rows too low, alone in its frame. p15 and
    // p14: a neighbour at the frame's edge whose face is not confirmed and whose outline merges with the woman's,
    // told by the region rising beside the head, parted from it by a dip. p21: alone, her long hair and the arm
    // behind her head reaching both sides of the frame. p33: a cap whose region runs on into the glider's canopy
    // behind it over some of the columns between the eyes.
    for (const Case& c : { Case { "p15_plain_edge.jpg", 95, true }, Case { "p07_looking_down.jpg", 118, false },
             Case { "p14_blinds_neighbour.jpg", 105, true }, Case { "p21_curly_tilted.jpg", 88, false },
             Case { "p33_elderly_cap_glider.jpg", 103, true } }) {
        const RecognitionOutcome o = RunOn(c.photo, "devset");
        // On two cores (the mask made beside the face search, the cascade's scales shared) the run comes to the same.
        const RecognitionOutcome two = RunOn(c.photo, "devset", 2);
        EXPECT_EQ(two.face, o.face) << c.photo;
        EXPECT_EQ(two.points, o.points) << c.photo;
        EXPECT_EQ(two.maskHeadTop, o.maskHeadTop) << c.photo;
        EXPECT_EQ(two.proposal.frameTop, o.proposal.frameTop) << c.photo;
        EXPECT_EQ(two.proposal.frameLeft, o.proposal.frameLeft) << c.photo;
        EXPECT_EQ(two.proposal.frameBottom, o.proposal.frameBottom) << c.photo;
        EXPECT_TRUE(two.personRegion.values == o.personRegion.values) << c.photo;
        EXPECT_EQ(two.otherPeople, o.otherPeople) << c.photo;
        ASSERT_EQ(o.result, kRecognised) << c.photo;
        EXPECT_EQ(o.personModel, PersonModelState::Ready);
        ASSERT_GE(o.maskHeadTop, 0) << c.photo;
        EXPECT_EQ(o.proposal.headTop, o.maskHeadTop) << c.photo;
        const int offset = (o.imageHeight - LoadedHeight(c.photo)) / 2;
        EXPECT_LE(std::abs(o.maskHeadTop - offset - c.headTop), 8) << c.photo;
        EXPECT_EQ(o.otherPeople, c.otherPeople) << c.photo;
    }
    // Three people side by side, each face confirmed: the chosen one's frame holds a neighbour.
    const RecognitionOutcome group = RunOn("group_three_people_1280x900.jpg");
    ASSERT_EQ(group.result, kRecognised);
    EXPECT_TRUE(group.otherPeople);
    // A dome's round window, which the cascade and the face detector confirm as a face, where the mask sees nobody:
    // not recognised, unless that face is asked for by its number.
    const RecognitionOutcome dome = RunOn("n21_church_dome.jpg", "devset");
    EXPECT_EQ(dome.result, kRecognitionNotRecognised);
    EXPECT_TRUE(dome.noPersonAtFace);
    EXPECT_FALSE(dome.levellingKnown); // the window would tell the tilt of a face it did not take
    EXPECT_FALSE(dome.smallFace);
    ASSERT_EQ(dome.faces.size(), 1u);
    EXPECT_EQ(dome.chosenFace, -1); // listed, but not framed
    EXPECT_EQ(RunOn("n21_church_dome.jpg", "devset", 1, 0).result, kRecognised);
}

TEST_F(RealDetector, EveryFaceOfAGroupIsListedLeftToRightAndEachCanBeFramed)
{
    const RecognitionOutcome group = RunOn("group_three_people_1280x900.jpg");
    ASSERT_EQ(group.result, kRecognised) << group.message;
    ASSERT_EQ(group.faces.size(), 3u);
    for (std::size_t i = 1; i < group.faces.size(); ++i)
        EXPECT_LE(group.faces[i - 1].box.x2, group.faces[i].box.x1) << i;
    // Left alone, the run frames the face it always chose, and says which of the list that is.
    ASSERT_GE(group.chosenFace, 0);
    EXPECT_EQ(group.faces[static_cast<std::size_t>(group.chosenFace)].box, group.face);

    PhotoSession session(BinDir().string());
    ASSERT_EQ(session.open((DataDir() / "photos/group_three_people_1280x900.jpg").string(), false).result,
        OpenOutcome::Opened);
    const int side = session.square().Width();
    session.setView(side, side, side);
    session.setLogSink([](const std::string&, const std::string&) {});
    const ViewMapping identity { side, side, 0, 0, side, side };
    for (int asked = 0; asked < 3; ++asked) {
        SCOPED_TRACE(asked);
        RecordedPrompts prompts;
        ASSERT_EQ(session.recogniseFace(asked, Settings {}, false, prompts).outcome.result, kRecognised);
        EXPECT_EQ(session.chosenFace(), asked);
        const std::vector<ConfirmedFace> faces = session.recognisedFaces();
        ASSERT_EQ(faces.size(), 3u);
        // The frame stands around the face asked for: its middle over the box, the box inside it.
        const FaceRect& box = faces[static_cast<std::size_t>(asked)].box;
        CropRect crop;
        ASSERT_EQ(session.frameInImage(crop), kCropOk);
        const Rect& f = crop.source;
        EXPECT_GT((f.left + f.right) / 2, box.x1);
        EXPECT_LT((f.left + f.right) / 2, box.x2);
        EXPECT_LT(f.top, box.y1);
        EXPECT_GT(f.bottom, box.y2);
        EXPECT_LE(f.Width(), 3 * (box.x2 - box.x1));
        // Every other face can be pointed at; the framed one cannot.
        for (int i = 0; i < 3; ++i) {
            const FaceRect& b = faces[static_cast<std::size_t>(i)].box;
            EXPECT_EQ(session.otherFaceAt(identity, (b.x1 + b.x2) / 2, (b.y1 + b.y2) / 2), i == asked ? -1 : i);
        }
    }
    // A place the list does not have leaves the frame where it was and says so.
    CropRect before, after;
    ASSERT_EQ(session.frameInImage(before), kCropOk);
    RecordedPrompts prompts;
    EXPECT_EQ(session.recogniseFace(3, Settings {}, false, prompts).outcome.result, kRecognitionNoSuchFace);
    ASSERT_EQ(session.frameInImage(after), kCropOk);
    EXPECT_EQ(after, before);
    EXPECT_EQ(prompts.messages, std::vector<std::string> { std::string(kMessageNoSuchFace) });
}

TEST_F(RealDetector, AMissingOrCorruptPersonModelIsNamedAndRecognitionGoesOnWithoutIt)
{
    // A program folder with the real library, cascades and learned face detector, and no person model, a corrupt
    // one, or another network in its place (one the DNN module reads, but that cannot give a mask).
    const fs::path program = temp / "program";
    fs::create_directory(program);
    for (const char* name : { "libfacedetect.so", "haarcascade_frontalface_default.xml", "ago.xml", kFaceModelFile })
        if (fs::exists(BinDir() / name))
            fs::create_symlink(BinDir() / name, program / name);
    const std::string model = (program / kPersonModelFile).string();
    struct Case {
        const char* what;
        std::string content; // of the model file; none when empty
        PersonModelState state;
        const char* said;
    };
    std::vector<Case> cases { Case { "missing", "", PersonModelState::Missing, "モデルが見つかりません" },
        Case { "corrupt", std::string(5000, 'x'), PersonModelState::Unreadable, "モデルを読み込めません" } };
    if (fs::exists(BinDir() / kFaceModelFile))
        cases.push_back({ "another network", ReadFile(BinDir() / kFaceModelFile), PersonModelState::Unreadable,
            "モデルを読み込めません" });
    for (const Case& c : cases) {
        fs::remove(model);
        if (!c.content.empty())
            WriteFile(model, c.content);
        const DetectorReport report = QueryDetector(program.string());
        EXPECT_EQ(report.kind, DetectorKind::Verified) << c.what;
        EXPECT_EQ(report.personModel, c.state) << c.what;
        const std::string text = DetectorReportText(report);
        EXPECT_NE(text.find(c.said), std::string::npos) << text;
        EXPECT_NE(text.find(model), std::string::npos) << text;

        Bitmap photo, square;
        ASSERT_TRUE(LoadImage((DataDir() / "photos/portrait_dark_background_868.jpg").string(), photo).ok);
        ASSERT_TRUE(BuildSquareBitmap(photo, square));
        const RecognitionOutcome o
            = RecognitionRun(square, program.string(), temp.Path().string(), {}, DefaultSheetLayout(), square.Width());
        EXPECT_EQ(o.result, kRecognised) << c.what;
        EXPECT_EQ(o.personModel, c.state) << c.what;
        EXPECT_EQ(o.maskHeadTop, -1) << c.what;
        EXPECT_TRUE(o.personRegion.Empty()) << c.what;

        // A head in profile that only the learned detector finds, which takes no face without a person mask: the
        // photo is not recognised, and the run does not fail.
        ASSERT_TRUE(LoadImage((DataDir() / "devset/p18_profile_hand.jpg").string(), photo).ok);
        ASSERT_TRUE(BuildSquareBitmap(photo, square));
        const RecognitionOutcome profile
            = RecognitionRun(square, program.string(), temp.Path().string(), {}, DefaultSheetLayout(), square.Width());
        EXPECT_EQ(profile.result, kRecognitionNotRecognised) << c.what << ": " << profile.message;

        // Without a mask a confirmed face is taken as before, even where nobody is (a dome's window).
        ASSERT_TRUE(LoadImage((DataDir() / "devset/n21_church_dome.jpg").string(), photo).ok);
        ASSERT_TRUE(BuildSquareBitmap(photo, square));
        EXPECT_EQ(
            RecognitionRun(square, program.string(), temp.Path().string(), {}, DefaultSheetLayout(), square.Width())
                .result,
            kRecognised)
            << c.what;
    }
}

// The learned face detector, the last resort: a head turned towards a profile with a hand at the mouth (p18), one
// turned over the shoulder and tilted (p21), and a head lowered with hair across an eye that the network is sure of
// only in the mirror (p19), which neither the cascade nor the HOG detector finds, are framed as the development
// set's score judges them; the chance patterns it half takes for faces (a heap of tomatoes, a cat, a cat's face)
// stay unframed. A folder without the model, or with a corrupt one, finds what it always did,
// and the settings' report names the file.
TEST_F(RealDetector, TheLearnedFaceDetectorFramesTurnedHeadsButNoAnimalOrObject)
{
    if (!fs::exists(BinDir() / kFaceModelFile) || !fs::exists(BinDir() / kPersonModelFile))
        GTEST_SKIP() << "no face or person model in " << BinDir() << ": scripts/install-deps fetches them";
    struct Case {
        const char* photo;
        int headTop, chin, centre; // annotated, in the photo's pixels; headTop < 0: no person
    };
    const Case cases[] = { { "p18_profile_hand.jpg", 42, 412, 265 }, { "p21_curly_tilted.jpg", 88, 423, 305 },
        { "p19_head_lowered.jpg", 80, 452, 282 }, { "n10_tomatoes.jpg", -1, 0, 0 }, { "n01_cat.jpg", -1, 0, 0 },
        { "n12_cat_face.jpg", -1, 0, 0 } };
    for (const Case& c : cases) {
        const RecognitionOutcome o = RunOn(c.photo, "devset");
        if (c.headTop < 0) {
            EXPECT_EQ(o.result, kRecognitionNotRecognised) << c.photo;
            continue;
        }
        ASSERT_EQ(o.result, kRecognised) << c.photo << ": " << o.message;
        Bitmap photo;
        ASSERT_TRUE(LoadImage((DataDir() / "devset" / c.photo).string(), photo).ok);
        const int dx = (o.imageWidth - photo.Width()) / 2, dy = (o.imageHeight - photo.Height()) / 2;
        const FrameProposal& p = o.proposal;
        const int tolerance = (c.chin - c.headTop) / 10;
        EXPECT_LE(std::abs(p.headTop - dy - c.headTop), tolerance) << c.photo;
        EXPECT_LE(std::abs(p.chinLine - dy - c.chin), tolerance) << c.photo;
        EXPECT_LE(std::abs((p.frameLeft + p.frameRight) / 2 - dx - c.centre) * 20, p.frameRight - p.frameLeft)
            << c.photo;
    }

    const fs::path program = temp / "program";
    fs::create_directory(program);
    for (const char* name : { "libfacedetect.so", "haarcascade_frontalface_default.xml", "ago.xml", kPersonModelFile })
        fs::create_symlink(BinDir() / name, program / name);
    const std::string model = (program / kFaceModelFile).string();
    Bitmap photo, square;
    ASSERT_TRUE(LoadImage((DataDir() / "devset/p21_curly_tilted.jpg").string(), photo).ok);
    ASSERT_TRUE(BuildSquareBitmap(photo, square));
    for (const bool corrupt : { false, true }) {
        if (corrupt)
            WriteFile(model, std::string(5000, 'x'));
        const DetectorReport report = QueryDetector(program.string());
        EXPECT_EQ(report.faceModel, corrupt ? FaceModelState::Unreadable : FaceModelState::Missing);
        const std::string text = DetectorReportText(report);
        EXPECT_NE(text.find(corrupt ? "モデルを読み込めません（" + model : "モデルが見つかりません（" + model),
            std::string::npos)
            << text;
        const RecognitionOutcome o
            = RecognitionRun(square, program.string(), temp.Path().string(), {}, DefaultSheetLayout(), square.Width());
        EXPECT_EQ(o.result, kRecognitionNotRecognised) << (corrupt ? "corrupt" : "missing");
    }
}

// A texture the cascade takes for faces is not recognised. A man in profile behind a camera, whom neither the
// cascade nor the HOG detector finds, is not recognised either unless the learned face detector is there, which
// frames his head (hair at row 95 of the photo, chin near 300, head centred near column 325).
TEST_F(RealDetector, PhotoWithoutAFaceIsNotRecognised)
{
    const bool learned = fs::exists(BinDir() / kFaceModelFile) && fs::exists(BinDir() / kPersonModelFile);
    for (const char* name : { "no_face_false_positive_768.jpg", "no_face_grayscale_profile_768.jpg" }) {
        const RecognitionOutcome o = RunOn(name);
        if (learned && std::string(name) == "no_face_grayscale_profile_768.jpg") {
            ASSERT_EQ(o.result, kRecognised) << name;
            EXPECT_NEAR(o.proposal.headTop, 95, 15);
            EXPECT_NEAR(o.proposal.chinLine, 300, 30);
            EXPECT_NEAR((o.proposal.frameLeft + o.proposal.frameRight) / 2, 325, 25);
            continue;
        }
        EXPECT_EQ(o.result, kRecognitionNotRecognised) << name;
        EXPECT_EQ(o.log, RecognitionLogKind::NotDetected) << name;
    }
}

} // namespace
} // namespace vellicam::test
