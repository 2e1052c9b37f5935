// vellicam-cli detect from outside: the JSON it prints and its exit statuses, over the scripted stand-in detector
// and over the real one.
#include "cli_runner.h"
#include "image/bitmap.h"
#include "image/image_io.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace vellicam;
namespace fs = std::filesystem;

namespace {

using test::CliRun;

// Runs vellicam-cli detect with the words and the environment assignments given.
CliRun Detect(const std::vector<std::string>& words, const std::vector<std::string>& environment = {})
{
    std::vector<std::string> all { "detect" };
    all.insert(all.end(), words.begin(), words.end());
    return test::RunCli(all, environment);
}

// A program folder with the stand-in detector and cascade files, and a grey photo of 1000 × 800 (a 1000 square).
class DetectCommand : public ::testing::Test {
protected:
    test::ScratchDir dir;
    std::string program = dir / "program";
    std::string photo = dir / "photo.jpg";

    void SetUp() override
    {
        test::MakeStandInProgram(program);
        ASSERT_TRUE(SaveJpeg(photo, test::SolidBitmap(1000, 800, { 128, 128, 128 })).ok);
    }
    // `bare`: with nothing of the test's environment (no HOME, no XDG_CACHE_HOME), as cron or a service runs it.
    CliRun Run(const std::string& script, std::vector<std::string> words = {}, bool bare = false)
    {
        // The stand-in counts its calls in the log, so each run starts its script over with a fresh log.
        test::WriteFile(dir.Path() / "script.txt", script);
        fs::remove(dir / "calls.log");
        if (words.empty())
            words = { photo };
        std::vector<std::string> environment;
        if (bare) {
            environment = { "-i", "PATH=/usr/bin:/bin" };
            // A sanitized build's programs still need the sanitizers' settings.
            for (const char* name : { "ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS" })
                if (const char* value = std::getenv(name))
                    environment.push_back(std::string(name) + "=" + value);
        }
        environment.insert(environment.end(),
            { "VELLICAM_DETECTOR_DIR=" + program, "VELLICAM_STANDIN_SCRIPT=" + (dir / "script.txt"),
                "VELLICAM_STANDIN_LOG=" + (dir / "calls.log"), "TMPDIR=" + dir.Path().string() });
        return Detect(words, environment);
    }
};

TEST_F(DetectCommand, PrintsTheRunAsOneJsonObject)
{
    // The photo lies on rows 100..899 of the square; the face's strip starts at its middle row 400.
    const CliRun run = Run("0 400 300 600 500\n0 50 90 150 110\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
        "{\"result\": 0, \"image\": [1000, 1000], \"faces\": 1, \"face\": [400, 300, 600, 500], "
        "\"chin\": [50, 90, 150, 110], \"chin_strip_top\": 400, \"head_top_scan\": 300, \"estimate\": [240, 514], "
        "\"corrected_chin\": 514, \"chin_line\": 500, \"frame\": [347, 192, 653, 596], \"head_top\": 240, "
        "\"landmarks\": null, \"levelling\": null, \"person_mask\": null, \"mask_head_top\": null, "
        "\"other_people\": false, \"small_face\": false, \"confirmed_faces\": [], \"chosen_face\": null, "
        "\"sheet_frame\": [312, 147, 379, 497]}\n");
    // The private temporary folder is gone again.
    int leftovers = 0;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        leftovers += entry.path().filename().string().rfind("vellicam-detect-", 0) == 0;
    EXPECT_EQ(leftovers, 0);
    EXPECT_NE(test::ReadFile(dir / "calls.log").find("\t0\t" + program + "/ago.xml\t"), std::string::npos);
}

TEST_F(DetectCommand, WithoutAHomeItWorksInAFolderOfItsOwnInTheTemporaryFolder)
{
    const CliRun run = Run("0 400 300 600 500\n", {}, true);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("{\"result\": 0, ", 0), 0u) << run.out;
    const std::string folder = dir / ("vellicam-" + std::to_string(::geteuid()));
    struct stat st { };
    ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_NE(test::ReadFile(dir / "calls.log").find("\t" + folder + "/recognition/run-"), std::string::npos);
}

TEST_F(DetectCommand, FailedRunStillPrintsWhatIsKnownAndExitsThree)
{
    const CliRun none = Run("0\n0\n");
    EXPECT_EQ(none.status, 3);
    EXPECT_EQ(none.out,
        "{\"result\": -10, \"image\": [1000, 1000], \"faces\": 0, \"face\": [0, 0, 0, 0], \"chin\": null, "
        "\"chin_strip_top\": 0, \"head_top_scan\": 0, \"estimate\": [0, 0], \"corrected_chin\": 0, "
        "\"chin_line\": 0, \"frame\": [0, 0, 0, 0], \"head_top\": 0, \"landmarks\": null, \"levelling\": null, "
        "\"person_mask\": null, \"mask_head_top\": null, \"other_people\": false, \"small_face\": false, "
        "\"confirmed_faces\": [], "
        "\"chosen_face\": null, \"sheet_frame\": null}\n");
    EXPECT_NE(none.err.find("自動顔認識処理では認識出来ませんでした。"), std::string::npos);

    const CliRun internal = Run("-4 400 300 600 500\n");
    EXPECT_EQ(internal.status, 3);
    EXPECT_EQ(internal.out.rfind("{\"result\": -8, ", 0), 0u) << internal.out;

    const CliRun thrown = Run("throw\n");
    EXPECT_EQ(thrown.status, 3);
    EXPECT_EQ(thrown.out.rfind("{\"result\": -7, ", 0), 0u) << thrown.out;
    EXPECT_NE(thrown.err.find("told to throw"), std::string::npos);
}

TEST_F(DetectCommand, MissingDetectorPiecesAreUsageErrors)
{
    fs::remove(fs::path(program) / "libfacedetect.so");
    const CliRun noLibrary = Run("0 400 300 600 500\n");
    EXPECT_EQ(noLibrary.status, 2);
    EXPECT_EQ(noLibrary.out, test::ErrorObjectFor(noLibrary, fs::path(program) / "libfacedetect.so"));
    EXPECT_NE(noLibrary.err.find("detector library missing"), std::string::npos) << noLibrary.err;
    EXPECT_NE(noLibrary.err.find("(looked in " + program + " or "), std::string::npos) << noLibrary.err;

    fs::remove(fs::path(program) / "haarcascade_frontalface_default.xml");
    const CliRun noCascade = Run("0 400 300 600 500\n");
    EXPECT_EQ(noCascade.status, 2);
    EXPECT_NE(noCascade.err.find("face cascade missing"), std::string::npos) << noCascade.err;
    EXPECT_NE(noCascade.err.find("(looked in " + program + " or "), std::string::npos) << noCascade.err;
    EXPECT_EQ(noCascade.err.find("detector library missing"), std::string::npos);
}

TEST_F(DetectCommand, BadPhotoAndBadArguments)
{
    const CliRun unreadable = Run("", { dir / "missing.jpg" });
    EXPECT_EQ(unreadable.status, 1);
    EXPECT_EQ(unreadable.out, test::ErrorObjectFor(unreadable, dir / "missing.jpg"));
    EXPECT_EQ(Run("", { "a.jpg", "b.jpg" }).status, 2);
    EXPECT_EQ(Run("", { photo, "--angle", "x" }).status, 2);
    EXPECT_EQ(Detect({}).status, 2);
    // A turned photo is recognised on its turned square.
    const CliRun turned = Run("0 400 300 600 500\n", { photo, "--angle", "900" });
    EXPECT_EQ(turned.status, 0) << turned.err;
    EXPECT_EQ(turned.out.rfind("{\"result\": 0, \"image\": [1000, 1000], ", 0), 0u) << turned.out;
}

TEST_F(DetectCommand, ProposesForAPhotoSizeAndReportsTheFaceAsPrinted)
{
    // The passport cell's margins give a frame in which the estimated face prints at the rule's middle, 34 mm (34.1
    // after the proposal's truncations).
    const CliRun passport = Run("0 400 300 600 500\n", { photo, "--size", "passport" });
    EXPECT_EQ(passport.status, 0) << passport.err;
    EXPECT_NE(passport.out.find("\"frame\": [352, 200, 648, 578], "), std::string::npos) << passport.out;
    EXPECT_NE(passport.out.find(", \"size\": \"passport\", \"face_height_mm\": 34.1, \"face_height_ok\": true, \"sheet_frame\": ["),
        std::string::npos)
        << passport.out;
    // A size without a face rule reports the figure alone; the paper alone names the default size.
    const CliRun licence = Run("0 400 300 600 500\n", { photo, "--size", "licence", "--paper", "2L" });
    EXPECT_NE(licence.out.find("\"size\": \"licence\", \"face_height_mm\": 20.0, \"face_height_ok\": null, \"sheet_frame\": ["),
        std::string::npos)
        << licence.out;
    const CliRun paper = Run("0 400 300 600 500\n", { photo, "--paper", "4x6" });
    EXPECT_NE(paper.out.find("\"size\": \"resume\", \"face_height_mm\": 27.1"), std::string::npos) << paper.out;
    // Nothing recognised: no figure.
    const CliRun none = Run("", { photo, "--size", "us" });
    EXPECT_EQ(none.status, 3);
    EXPECT_NE(none.out.find("\"face_height_mm\": null, \"face_height_ok\": null, \"sheet_frame\": null}"), std::string::npos) << none.out;
    // An unknown id is refused before the detector is loaded.
    const CliRun unknown = Run("0 400 300 600 500\n", { photo, "--size", "visa" });
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("passport"), std::string::npos) << unknown.err;
    EXPECT_FALSE(fs::exists(dir / "calls.log"));
}

TEST(DetectCommandRealLibrary, FindsThePortraitAndNothingInAPhotoWithoutAFace)
{
    const CliRun portrait
        = Detect({ (test::DataDir() / "photos/portrait_uniform_cap_1024x1200.jpg").string() }, { "TMPDIR=/tmp" });
    EXPECT_EQ(portrait.status, 0) << portrait.err;
    EXPECT_EQ(portrait.out.rfind("{\"result\": 0, \"image\": [1200, 1200], \"faces\": ", 0), 0u) << portrait.out;
    EXPECT_EQ(portrait.out.find("\"face\": [0, 0, 0, 0]"), std::string::npos);
    // The passport frame recognition proposes prints the face within 32..36 mm.
    const CliRun passport
        = Detect({ (test::DataDir() / "photos/portrait_plain_wall_900x1200.jpg").string(), "--size", "passport" },
            { "TMPDIR=/tmp" });
    EXPECT_EQ(passport.status, 0) << passport.err;
    EXPECT_NE(passport.out.find("\"face_height_ok\": true,"), std::string::npos) << passport.out;

    const CliRun none
        = Detect({ (test::DataDir() / "photos/no_face_false_positive_768.jpg").string() }, { "TMPDIR=/tmp" });
    EXPECT_EQ(none.status, 3);
    EXPECT_EQ(none.out.rfind("{\"result\": -10, ", 0), 0u) << none.out;
}

} // namespace

namespace {

// Whatever the landmark model's state, the real library answers: with the model the face comes with landmarks;
// missing, empty or corrupt, the cascade works alone (no landmarks, the estimates) and the run still succeeds.
TEST(DetectCommandRealLibrary, MissingOrCorruptModelFallsBackToTheCascadeAlone)
{
    test::ScratchDir dir;
    test::WriteFile(dir / "empty.dat", "");
    test::WriteFile(dir / "corrupt.dat", std::string(4096, '\x17'));
    const std::string photo = (test::DataDir() / "photos/portrait_uniform_cap_1024x1200.jpg").string();
    struct Case {
        std::string model; // "" for the installed one
        bool landmarks;
    };
    for (const Case& c : { Case { "", true }, Case { dir / "missing.dat", false }, Case { dir / "empty.dat", false },
             Case { dir / "corrupt.dat", false } }) {
        std::vector<std::string> environment { "TMPDIR=/tmp" };
        if (!c.model.empty())
            environment.push_back("VELLICAM_LANDMARK_MODEL=" + c.model);
        const CliRun run = Detect({ photo }, environment);
        EXPECT_EQ(run.status, 0) << c.model << ": " << run.err;
        EXPECT_EQ(run.out.find("\"landmarks\": null") == std::string::npos, c.landmarks) << c.model << run.out;
        EXPECT_EQ(run.out.find("\"face\": [0, 0, 0, 0]"), std::string::npos) << c.model;
    }
}

// A photo of one pixel, and a crowd of a hundred faces: answered, never a crash.
TEST(DetectCommandRealLibrary, OnePixelPhotoAndAHundredFaces)
{
    test::ScratchDir dir;
    ASSERT_TRUE(SaveJpeg(dir / "one.jpg", test::SolidBitmap(1, 1, { 10, 20, 30 })).ok);
    const CliRun one = Detect({ dir / "one.jpg" }, { "TMPDIR=/tmp" });
    EXPECT_EQ(one.status, 3) << one.err;
    EXPECT_EQ(one.out.rfind("{\"result\": -10, ", 0), 0u) << one.out;

    Bitmap face, crowd;
    ASSERT_TRUE(LoadJpeg((test::DataDir() / "photos/portrait_small_434.jpg").string(), face).ok);
    ASSERT_TRUE(crowd.Resize(4340, 4340));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            CopyRect(face, { 0, 0, 434, 434 }, crowd, x * 434, y * 434);
    ASSERT_TRUE(SaveJpeg(dir / "crowd.jpg", crowd).ok);
    const CliRun many = Detect({ dir / "crowd.jpg" }, { "TMPDIR=/tmp" });
    EXPECT_TRUE(many.status == 0 || many.status == 3) << many.err;
    EXPECT_EQ(many.out.rfind("{\"result\": ", 0), 0u) << many.out;
}

// One development portrait per check that a person would reject it for, as detect --size passport reports it;
// the leaning one passes its tilt check once turned by the levelling angle detect proposes.
TEST(DetectCommandRealLibrary, EachCheckFailsOnAPortraitThatBreaksItsRule)
{
    struct Case {
        const char* photo;
        const char* check;
    };
    const Case cases[] = {
        { "p03_plain_wall.jpg", "tilt" }, // leans 10°
        { "p06_tilted_bow.jpg", "face_height" }, // a small face: the frame cannot be made small enough
        { "p07_looking_down.jpg", "head_margin" },
        { "p07_looking_down.jpg", "exposure" }, // a dark face
        { "p08_tilted_strongly.jpg", "centre" }, // at the photo's edge: the frame cannot centre it
        { "p02_dark_background.jpg", "background" },
        { "p09_curly_blinds.jpg", "background" },
    };
    const auto detect = [](const char* photo, int angle) {
        return Detect({ (test::DataDir() / "devset" / photo).string(), "--size", "passport", "--angle",
                          std::to_string(angle) },
            { "TMPDIR=/tmp" });
    };
    for (const Case& c : cases) {
        const CliRun run = detect(c.photo, 0);
        EXPECT_EQ(run.status, 0) << c.photo << run.err;
        EXPECT_NE(run.out.find(std::string("{\"id\": \"") + c.check + "\", \"ok\": false"), std::string::npos)
            << c.photo << ": " << run.out;
    }
    const CliRun leaning = detect("p03_plain_wall.jpg", 0);
    const std::size_t at = leaning.out.find("\"levelling\": ");
    ASSERT_NE(at, std::string::npos);
    const CliRun levelled = detect("p03_plain_wall.jpg", std::atoi(leaning.out.c_str() + at + 13));
    EXPECT_NE(levelled.out.find("{\"id\": \"tilt\", \"ok\": true"), std::string::npos) << levelled.out;
}

TEST(DetectCommandRealLibrary, ListsEveryFaceOfAGroupAndFramesTheOneAskedFor)
{
    const std::string photo = (test::DataDir() / "photos/group_three_people_1280x900.jpg").string();
    const auto count = [](const std::string& text, const std::string& what) {
        int n = 0;
        for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    };
    struct Case {
        std::vector<std::string> face; // the --face words, none for recognition's own choice
        int status;
        const char* said; // in the output: the chosen face, or the error's words
    };
    for (const Case& c : { Case { {}, 0, "\"chosen_face\": " }, Case { { "--face", "0" }, 0, "\"chosen_face\": 0," },
             Case { { "--face", "2" }, 0, "\"chosen_face\": 2," },
             Case { { "--face", "3" }, 2, "--face 3: the photo has 3 confirmed faces (0 to 2)" },
             Case { { "--face", "-1" }, 2, "--face must lie between 0 and 9" },
             Case { { "--face", "two" }, 2, "--face must be a whole number" } }) {
        std::vector<std::string> words { photo };
        words.insert(words.end(), c.face.begin(), c.face.end());
        const CliRun run = Detect(words, { "TMPDIR=/tmp" });
        SCOPED_TRACE(c.face.empty() ? "" : c.face.back());
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.out.find(c.said), std::string::npos) << run.out;
        if (c.status == 0) {
            EXPECT_EQ(count(run.out, "{\"box\": ["), 3) << run.out;
            EXPECT_NE(run.out.find("\"faces\": "), std::string::npos) << "the detection count stays";
        } else {
            EXPECT_EQ(run.out.rfind("{\"error\": ", 0), 0u) << run.out;
        }
    }
}

// The levelling angle has the rotation buttons' sign: a portrait turned 6° clockwise (--angle 60) is levelled by
// about −6°, one turned anticlockwise by about +6°, and the levelled turn shows a level head.
TEST(DetectCommandRealLibrary, LevellingAngleUndoesATurn)
{
    const std::string photo = (test::DataDir() / "photos/portrait_uniform_cap_1024x1200.jpg").string();
    const auto levelling = [&](int angle) {
        const CliRun run = Detect({ photo, "--angle", std::to_string(angle) }, { "TMPDIR=/tmp" });
        const std::size_t at = run.out.find("\"levelling\": ");
        EXPECT_NE(at, std::string::npos) << run.out;
        return at == std::string::npos ? 9999 : std::atoi(run.out.c_str() + at + 13);
    };
    const int level = levelling(0);
    EXPECT_LE(std::abs(level), 45) << "the portrait itself leans about 3°";
    EXPECT_NEAR(levelling(60), level - 60, 20);
    EXPECT_NEAR(levelling(-60), level + 60, 20);
}

} // namespace
