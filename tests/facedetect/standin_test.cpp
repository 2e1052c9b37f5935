// The stand-in detector answers as its script says and records what it was asked.
#include "loaded_detector.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace vellicam::test {
namespace {

namespace fs = std::filesystem;

std::string StandInPath(const std::string& variant)
{
    return std::string(VELLICAM_STANDIN_DIR) + "/" + variant + "/libfacedetect.so";
}

class StandIn : public ::testing::Test {
protected:
    ScratchDir dir;
    void SetUp() override
    {
        setenv("VELLICAM_STANDIN_SCRIPT", (dir / "script.txt").c_str(), 1);
        setenv("VELLICAM_STANDIN_LOG", (dir / "calls.log").c_str(), 1);
        unsetenv("VELLICAM_STANDIN_KEEP");
    }
    void TearDown() override
    {
        unsetenv("VELLICAM_STANDIN_SCRIPT");
        unsetenv("VELLICAM_STANDIN_LOG");
        unsetenv("VELLICAM_STANDIN_KEEP");
    }
};

TEST_F(StandIn, AnswersCallAfterCallFromItsScriptAcrossReloads)
{
    WriteFile(dir.Path() / "script.txt",
        "# face pass, re-detection, chin pass\n"
        "-7 100 50 300 260 10 20 30 40\n"
        "\n"
        "0\n"
        "-5 1 2 3 4\n");
    {
        LoadedDetector lib(StandInPath("full"));
        ASSERT_TRUE(lib.Loaded() && lib.Complete()) << lib.Error();
        EXPECT_EQ(lib.facedetect("a.jpg", 0, "faces.xml", 0, 3), -7);
        EXPECT_EQ(lib.getRect(-1, -1), 2);
        EXPECT_EQ(lib.getRect(0, 0), 100);
        EXPECT_EQ(lib.getRect(1, 0), 50);
        EXPECT_EQ(lib.getRect(2, 0), 300);
        EXPECT_EQ(lib.getRect(3, 0), 260);
        EXPECT_EQ(lib.getRect(3, 1), 40);
        EXPECT_EQ(lib.getRect(0, 2), 0);
        EXPECT_EQ(lib.getRect(5, 0), -1);
        EXPECT_EQ(lib.facedetect("a.jpg", 0, "faces.xml", 1, 3), 0);
        EXPECT_EQ(lib.getRect(-1, -1), 0);
    }
    LoadedDetector again(StandInPath("full"));
    ASSERT_TRUE(again.Complete());
    EXPECT_EQ(again.facedetect("b.jpg", 0, "ago.xml", 0, 3), -5);
    EXPECT_EQ(again.getRect(2, 0), 3);
    EXPECT_EQ(again.facedetect("b.jpg", 0, "ago.xml", 0, 3), 0) << "past the script's end";
    EXPECT_EQ(again.getRect(-1, -1), 0);
}

TEST_F(StandIn, RecordsEveryCallWithItsArgumentsAndKeepsTheImages)
{
    WriteFile(dir.Path() / "script.txt", "0 1 2 3 4\n");
    WriteFile(dir.Path() / "face.jpg", "first image");
    fs::create_directory(dir.Path() / "kept");
    setenv("VELLICAM_STANDIN_KEEP", (dir / "kept").c_str(), 1);
    LoadedDetector lib(StandInPath("full"));
    ASSERT_TRUE(lib.Complete());
    lib.setMinSize(200, 200);
    ASSERT_EQ(lib.facedetect((dir / "face.jpg").c_str(), 0, "haarcascade_frontalface_default.xml", 0, 3), 0);
    WriteFile(dir.Path() / "face.jpg", "second image");
    lib.setMinSize(25, 26);
    ASSERT_EQ(lib.facedetect((dir / "face.jpg").c_str(), 7, "ago.xml", 1, 10), 0);

    const std::string cwd = fs::current_path().string();
    const std::vector<std::string> log = Lines(ReadFile(dir.Path() / "calls.log"));
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0], "setMinSize\t200\t200");
    EXPECT_EQ(log[1],
        "facedetect\t" + (dir / "face.jpg") + "\t0\thaarcascade_frontalface_default.xml\t0\t3\t200\t200\t" + cwd);
    EXPECT_EQ(log[2], "setMinSize\t25\t26");
    EXPECT_EQ(log[3], "facedetect\t" + (dir / "face.jpg") + "\t7\tago.xml\t1\t10\t25\t26\t" + cwd);
    EXPECT_EQ(ReadFile(dir.Path() / "kept" / "call0.jpg"), "first image");
    EXPECT_EQ(ReadFile(dir.Path() / "kept" / "call1.jpg"), "second image");
}

TEST_F(StandIn, ThrowsWhenToldTo)
{
    WriteFile(dir.Path() / "script.txt", "throw\n0 5 5 9 9\n");
    LoadedDetector lib(StandInPath("full"));
    ASSERT_TRUE(lib.Complete());
    EXPECT_THROW(lib.facedetect("a.jpg", 0, "faces.xml", 0, 3), std::runtime_error);
    EXPECT_EQ(lib.getRect(-1, -1), 0);
    EXPECT_EQ(lib.facedetect("a.jpg", 0, "faces.xml", 0, 3), 0);
    EXPECT_EQ(lib.getRect(-1, -1), 1);
}

TEST_F(StandIn, VariantsEachLackOneFunction)
{
    struct Case {
        const char* Variant;
        bool SetMinSize, GetRect, Facedetect;
    };
    for (const Case& c : { Case { "no_setminsize", false, true, true }, Case { "no_getrect", true, false, true },
             Case { "no_facedetect", true, true, false } }) {
        LoadedDetector lib(StandInPath(c.Variant));
        ASSERT_TRUE(lib.Loaded()) << lib.Error();
        EXPECT_EQ(lib.setMinSize != nullptr, c.SetMinSize) << c.Variant;
        EXPECT_EQ(lib.getRect != nullptr, c.GetRect) << c.Variant;
        EXPECT_EQ(lib.facedetect != nullptr, c.Facedetect) << c.Variant;
    }
}

} // namespace
} // namespace vellicam::test
