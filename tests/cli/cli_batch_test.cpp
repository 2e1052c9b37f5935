// vellicam-cli batch from outside, with the real detector: sheets, passed-over photos, the log in the photos'
// order, the report, the exit status, and the same sheets whatever the number of jobs.
#include "cli_runner.h"
#include "image/image_io.h"
#include "sheet/recognition_log.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
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

TEST_F(BatchCommand, BadArgumentsAreRefusedBeforeAnyWork)
{
    EXPECT_EQ(Batch({}).status, 2);
    EXPECT_EQ(Batch({ photos, "--jobs", "0" }).status, 2);
    EXPECT_EQ(Batch({ photos, "--quality", "101" }).status, 2);
    EXPECT_EQ(Batch({ photos, "--bogus" }).status, 2);
    EXPECT_FALSE(fs::exists(fs::path(photos) / "portrait_plain_wall_900x1200_sheet.jpeg"));
}

} // namespace
