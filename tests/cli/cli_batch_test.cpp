// vellicam-cli batch from outside, with the real detector: sheets, passed-over photos, the log in the photos'
// order, the report, the exit status, and the same sheets whatever the number of jobs.
#include "cli_runner.h"
#include "image/image_io.h"
#include "sheet/output_path.h"
#include "sheet/recognition_log.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>

using namespace vellicam;
namespace fs = std::filesystem;

namespace {

using test::CliRun;
using test::Lines;

class BatchCommand : public ::testing::Test {
protected:
    test::ScratchDir dir;
    std::string photos = dir / "photos";

    void SetUp() override
    {
        fs::create_directory(photos);
        for (const char* name : { "portrait_plain_wall_900x1200.jpg", "no_face_false_positive_768.jpg" })
            fs::copy_file(test::DataDir() / "photos" / name, fs::path(photos) / name);
        test::WriteFile(fs::path(photos) / "broken.jpg", "not a photo");
        test::WriteFile(fs::path(photos) / "notes.txt", "not a photo either");
    }
    CliRun Batch(std::vector<std::string> words)
    {
        words.insert(words.begin(), "batch");
        return test::RunCli(words, { "XDG_CACHE_HOME=" + (dir / "cache") });
    }
};

TEST_F(BatchCommand, WorksAFolderReportsEachPhotoAndLogsInThePhotosOrder)
{
    const std::string out = dir / "out";
    const CliRun run = Batch({ photos, "--out", out, "--skip-unrecognised", "--jobs", "2", "--report", dir / "r.csv" });
    EXPECT_EQ(run.status, 4) << run.err;
    EXPECT_NE(run.out.find("\"saved\": 1, \"skipped\": 1, \"failed\": 1"), std::string::npos) << run.out;

    Bitmap sheet;
    ASSERT_TRUE(LoadJpeg(out + "/portrait_plain_wall_900x1200.jpg", sheet));
    EXPECT_EQ(sheet.Width(), 1051);
    EXPECT_FALSE(fs::exists(out + "/no_face_false_positive_768.jpg"));
    EXPECT_FALSE(fs::exists(out + "/broken.jpg"));

    // The folder's photos sorted by name: broken, no face, portrait.
    const std::vector<std::string> report = Lines(test::ReadFile(dir / "r.csv"));
    ASSERT_EQ(report.size(), 4u);
    EXPECT_EQ(report[0], "photo,result,frame,sheet,message,milliseconds");
    EXPECT_EQ(report[1].find("\"" + photos + "/broken.jpg\",failed,"), 0u) << report[1];
    EXPECT_EQ(report[2].find("\"" + photos + "/no_face_false_positive_768.jpg\",skipped,"), 0u) << report[2];
    EXPECT_EQ(report[3].find("\"" + photos + "/portrait_plain_wall_900x1200.jpg\",saved,"), 0u) << report[3];

    const std::vector<std::string> log = Lines(test::ReadFile(fs::path(out) / kRecognitionLogName));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_NE(log[0].find("画像読込エラー:  " + photos + "/broken.jpg"), std::string::npos) << log[0];
    EXPECT_NE(log[1].find("(非検出):  " + photos + "/no_face_false_positive_768.jpg"), std::string::npos) << log[1];

    // Run again keeping existing sheets: the portrait is done; the log gets this run's separator first.
    const CliRun again = Batch({ photos, "--out", out, "--skip-unrecognised", "--keep-existing" });
    EXPECT_EQ(again.status, 4);
    EXPECT_NE(again.out.find("\"saved\": 0, \"skipped\": 2, \"failed\": 1"), std::string::npos) << again.out;
    EXPECT_EQ(Lines(test::ReadFile(fs::path(out) / kRecognitionLogName)).size(), 5u);
}

TEST_F(BatchCommand, SheetsAreTheSameBytesWhateverTheNumberOfJobs)
{
    for (int i = 0; i < 3; ++i)
        fs::copy_file(fs::path(photos) / "portrait_plain_wall_900x1200.jpg",
            fs::path(photos) / ("copy" + std::to_string(i) + ".jpg"));
    const CliRun one = Batch({ photos, "--out", dir / "one", "--jobs", "1", "--report", dir / "one.jsonl" });
    const CliRun two = Batch({ photos, "--out", dir / "two", "--jobs", "3", "--report", dir / "two.jsonl" });
    EXPECT_EQ(one.status, 4);
    EXPECT_EQ(two.status, 4);
    int compared = 0;
    for (const auto& entry : fs::directory_iterator(dir / "one")) {
        if (entry.path().extension() != ".jpg")
            continue;
        EXPECT_EQ(test::ReadFile(entry.path()), test::ReadFile(fs::path(dir / "two") / entry.path().filename()))
            << entry.path();
        ++compared;
    }
    EXPECT_EQ(compared, 5);
    EXPECT_EQ(test::ReadFile(fs::path(dir / "one") / kRecognitionLogName).size(),
        test::ReadFile(fs::path(dir / "two") / kRecognitionLogName).size());
    EXPECT_EQ(Lines(test::ReadFile(dir / "two.jsonl")).size(), 6u);
}

TEST_F(BatchCommand, AnOutputFolderThatCannotBeWrittenFailsEveryPhotoWithItsReason)
{
    test::WriteFile(dir.Path() / "file", "x");
    const CliRun run = Batch({ photos + "/portrait_plain_wall_900x1200.jpg", "--out", dir / "file/below",
        "--report", dir / "r.jsonl" });
    EXPECT_EQ(run.status, 4);
    const std::string report = test::ReadFile(dir / "r.jsonl");
    EXPECT_NE(report.find("\"result\": \"failed\""), std::string::npos) << report;
    EXPECT_EQ(report.find("\"message\": \"\""), std::string::npos) << "the save's reason is given";
}

// Sheets in a folder of other photos, photos of one name from two folders, a photo named twice: every photo keeps
// its bytes, every photo of the run gets a sheet of its own, and the report names the files really written.
TEST_F(BatchCommand, SheetsNeverReplacePhotosAndPhotosNeverShareASheet)
{
    const fs::path a = dir / "a", b = dir / "b";
    fs::create_directories(a);
    fs::create_directories(b);
    for (const fs::path& folder : { a, b })
        for (const char* name : { "p000.jpg", "p001.jpg" })
            ASSERT_TRUE(SaveJpeg((folder / name).string(), test::RandomBitmap(300, 400, name[3]), { 90, 0 }).ok);
    const std::string b0 = test::ReadFile(b / "p000.jpg"), b1 = test::ReadFile(b / "p001.jpg");

    // a's photos into b, b's own photos in the same run, a/p000.jpg named again in two spellings.
    const CliRun run = Batch({ a.string(), b.string(), (a / "p000.jpg").string(), (b / "../a/p000.jpg").string(),
        "--out", b.string(), "--no-recognition", "--jobs", "2", "--report", dir / "r.jsonl" });
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("{\"photos\": 4, \"saved\": 4,"), std::string::npos) << run.out;
    EXPECT_TRUE(test::ReadFile(b / "p000.jpg") == b0 && test::ReadFile(b / "p001.jpg") == b1)
        << "b's photos were replaced";
    std::set<std::string> sheets;
    for (const std::string& row : Lines(test::ReadFile(dir / "r.jsonl"))) {
        const std::size_t at = row.find("\"sheet\": \"") + 10;
        const std::string sheet = row.substr(at, row.find('"', at) - at);
        EXPECT_TRUE(IsMarkedSheet(sheet)) << row;
        sheets.insert(sheet);
    }
    EXPECT_EQ(sheets, (std::set<std::string> { b / "p000_sheet.jpeg", b / "p001_sheet.jpeg", b / "p000_sheet_2.jpeg",
                          b / "p001_sheet_2.jpeg" }));

    // Once more, keeping existing sheets: every photo is found done under its own sheet.
    const CliRun again = Batch({ a.string(), b.string(), "--out", b.string(), "--no-recognition", "--keep-existing" });
    EXPECT_NE(again.out.find("\"saved\": 0, \"skipped\": 4,"), std::string::npos) << again.out;
}

// A report is written over nothing but an earlier report: not a photo of the run, not another file.
TEST_F(BatchCommand, AReportThatWouldReplaceAPhotoOrAnotherFileIsRefused)
{
    const std::string photo = photos + "/portrait_plain_wall_900x1200.jpg";
    const std::string bytes = test::ReadFile(photo);
    test::WriteFile(dir / "notes.csv", "my own notes\n");
    for (const std::string& report : { photo, std::string(dir / "notes.csv"), std::string(dir / "out") }) {
        fs::create_directories(dir / "out");
        const CliRun run = Batch({ photos, "--out", dir / "elsewhere", "--no-recognition", "--report", report });
        EXPECT_EQ(run.status, 1) << report;
        EXPECT_NE(run.err.find(report), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(dir / "elsewhere")) << "refused before any work";
    }
    EXPECT_TRUE(test::ReadFile(photo) == bytes);
    EXPECT_EQ(test::ReadFile(dir / "notes.csv"), "my own notes\n");
    // An earlier report is replaced.
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(Batch({ photo, "--out", dir / "o", "--no-recognition", "--report", dir / "r.csv" }).status, 0);
}

// vellicam-cli sheet never writes over its own photo or a file that is not a sheet; an earlier sheet it replaces.
TEST_F(BatchCommand, TheSheetCommandReplacesOnlyAnEarlierSheet)
{
    const std::string photo = photos + "/portrait_plain_wall_900x1200.jpg";
    const std::string bytes = test::ReadFile(photo);
    test::WriteFile(dir / "other.jpg", "someone's file");
    const auto sheet = [&](const std::string& out) {
        return test::RunCli({ "sheet", photo, out, "--frame", "100,100,300,400" });
    };
    for (const std::string& out : { photo, photos + "/./portrait_plain_wall_900x1200.jpg", std::string(dir / "other.jpg") }) {
        const CliRun run = sheet(out);
        EXPECT_EQ(run.status, 1) << out;
        EXPECT_NE(run.err.find(out), std::string::npos) << run.err;
    }
    EXPECT_TRUE(test::ReadFile(photo) == bytes);
    EXPECT_EQ(test::ReadFile(dir / "other.jpg"), "someone's file");
    EXPECT_EQ(sheet(dir / "s.jpg").status, 0);
    EXPECT_TRUE(IsMarkedSheet(dir / "s.jpg"));
    EXPECT_EQ(sheet(dir / "s.jpg").status, 0) << "an earlier sheet is replaced";
}

TEST_F(BatchCommand, BadArgumentsAreRefusedBeforeAnyWork)
{
    EXPECT_EQ(Batch({}).status, 2);
    EXPECT_EQ(Batch({ photos, "--jobs", "0" }).status, 2);
    EXPECT_EQ(Batch({ photos, "--quality", "101" }).status, 2);
    EXPECT_EQ(Batch({ photos, "--bogus" }).status, 2);
    EXPECT_FALSE(fs::exists(fs::path(photos) / "portrait_plain_wall_900x1200_sheet.jpeg"));
}

} // namespace
