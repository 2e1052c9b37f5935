// vellicam-cli sheet with a photo size and a paper: the size list, the sheet's size, the default kept, and the
// refusal of unknown ids before anything is written.
#include "cli_runner.h"
#include "image/image_io.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

using namespace vellicam;
namespace fs = std::filesystem;

namespace {

using test::CliRun;

TEST(CliSizes, ListsOneLinePerSize)
{
    const CliRun run = test::RunCli({ "sheet", "--list-sizes" });
    ASSERT_EQ(run.status, 0) << run.err;
    std::istringstream lines(run.out);
    std::vector<std::string> ids;
    for (std::string line; std::getline(lines, line);)
        ids.push_back(line.substr(0, line.find('\t')));
    EXPECT_EQ(ids,
        (std::vector<std::string> {
            "resume", "passport", "mynumber", "licence", "residence", "us", "china", "schengen" }));
    EXPECT_NE(run.out.find("resume\t履歴書・一般\t30 × 40mm\t顔 27mm（目安）・頭上 4mm\n"), std::string::npos);
    EXPECT_NE(run.out.find("passport\tパスポート\t35 × 45mm\t顔 32〜36mm・頭上 4mm\n"), std::string::npos);
    EXPECT_EQ(test::RunCli({ "sheet", "--list-sizes", "photo.jpg" }).status, 2);
}

TEST(CliSizes, SheetTakesTheSizeAndThePaper)
{
    test::ScratchDir dir;
    ASSERT_TRUE(SavePng(dir / "photo.png", test::RandomBitmap(600, 800, 3)).ok);
    struct Case {
        std::vector<std::string> options;
        int width, height;
    };
    const Case cases[] = {
        { { "--size", "passport", "--paper", "2L" }, 1500, 2102 },
        { { "--paper", "4x6" }, 1200, 1800 },
        { { "--size", "us" }, 1051, 1500 },
    };
    for (const Case& c : cases) {
        fs::remove(dir.Path() / "sheet.png"); // a sheet is written over nothing, not even a PNG sheet it cannot tell
        std::vector<std::string> words { "sheet", dir / "photo.png", dir / "sheet.png", "--frame", "0,0,600,800" };
        words.insert(words.end(), c.options.begin(), c.options.end());
        const CliRun run = test::RunCli(words);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.out,
            "{\"result\": 0, \"width\": " + std::to_string(c.width) + ", \"height\": " + std::to_string(c.height)
                + "}\n");
        Bitmap sheet;
        ASSERT_TRUE(LoadImage(dir / "sheet.png", sheet).ok);
        EXPECT_EQ(sheet.Width(), c.width);
        EXPECT_EQ(sheet.Height(), c.height);
    }
    // The default pair named explicitly makes the very sheet made without the options.
    ASSERT_EQ(test::RunCli({ "sheet", dir / "photo.png", dir / "plain.png", "--frame", "10,20,378,496" }).status, 0);
    ASSERT_EQ(test::RunCli({ "sheet", dir / "photo.png", dir / "named.png", "--frame", "10,20,378,496", "--size",
                               "resume", "--paper", "L" })
                  .status,
        0);
    EXPECT_EQ(test::ReadFile(dir / "plain.png"), test::ReadFile(dir / "named.png"));
}

TEST(CliSizes, UnknownIdsAreRefusedBeforeAnythingIsWritten)
{
    test::ScratchDir dir;
    ASSERT_TRUE(SavePng(dir / "photo.png", test::RandomBitmap(60, 80, 3)).ok);
    const CliRun size
        = test::RunCli({ "sheet", dir / "photo.png", dir / "s.png", "--frame", "0,0,60,80", "--size", "Passport" });
    EXPECT_EQ(size.status, 2);
    EXPECT_NE(size.err.find("unknown --size 'Passport'"), std::string::npos) << size.err;
    EXPECT_NE(size.err.find("schengen"), std::string::npos) << size.err;
    const CliRun paper
        = test::RunCli({ "sheet", dir / "photo.png", dir / "s.png", "--frame", "0,0,60,80", "--paper", "A4" });
    EXPECT_EQ(paper.status, 2);
    EXPECT_NE(paper.err.find("L, 2L, 4x6"), std::string::npos) << paper.err;
    // Checked before the photo is read: a missing photo does not hide the bad id.
    EXPECT_EQ(
        test::RunCli({ "sheet", dir / "none.png", dir / "s.png", "--frame", "0,0,6,8", "--size", "x" }).status, 2);
    EXPECT_FALSE(fs::exists(dir / "s.png"));
}

} // namespace
