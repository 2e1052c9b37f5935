// vellicam-cli from outside: exit statuses, JSON on standard output, messages on bad input, no partial files.
#include "image/bitmap.h"
#include "cli_runner.h"
#include "image/image_io.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <sys/wait.h>

using namespace vellicam;
namespace fs = std::filesystem;

namespace {

using test::CliRun;

CliRun Cli(const std::vector<std::string>& words)
{
    return test::RunCli(words);
}

std::string WriteJpeg(const test::ScratchDir& dir, const std::string& name, int w, int h, std::uint32_t seed = 7)
{
    const std::string path = dir / name;
    EXPECT_TRUE(SaveJpeg(path, test::RandomBitmap(w, h, seed), { 90, 0 }).ok);
    return path;
}

Bitmap ReadBack(const std::string& path)
{
    Bitmap b;
    EXPECT_TRUE(LoadImage(path, b).ok) << path;
    return b;
}

} // namespace

TEST(Cli, HelpAndUsageErrors)
{
    EXPECT_EQ(Cli({ "--help" }).status, 0);
    EXPECT_EQ(Cli({ "reduce", "--help" }).status, 0);
    const CliRun none = Cli({});
    EXPECT_EQ(none.status, 2);
    const CliRun unknown = Cli({ "blur", "a", "b" });
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("unknown command"), std::string::npos);

    test::ScratchDir dir;
    const std::string in = WriteJpeg(dir, "in.jpg", 40, 30);
    const CliRun noWidth = Cli({ "reduce", in, dir / "o.png", "--height", "10" });
    EXPECT_EQ(noWidth.status, 2);
    EXPECT_NE(noWidth.err.find("--width"), std::string::npos);
    EXPECT_EQ(Cli({ "reduce", in, dir / "o.png", "--width", "1x", "--height", "10" }).status, 2);
    EXPECT_EQ(Cli({ "reduce", in, dir / "o.gif", "--width", "20", "--height", "15" }).status, 2);
    EXPECT_EQ(Cli({ "sharpen", in }).status, 2);
    EXPECT_EQ(Cli({ "sharpen", in, dir / "o.png", "extra" }).status, 2);
    EXPECT_EQ(Cli({ "rotate", in, dir / "o.png", "--angle" }).status, 2);
    EXPECT_FALSE(fs::exists(dir / "o.png"));
}

TEST(Cli, BadInputsAreReadErrorsWithAMessage)
{
    test::ScratchDir dir;
    std::string good;
    {
        const std::string path = WriteJpeg(dir, "good.jpg", 64, 48);
        good = test::ReadFile(path);
    }
    test::WriteFile(dir / "empty.jpg", "");
    test::WriteFile(dir / "text.jpg", "this is not a photograph\n");
    test::WriteFile(dir / "truncated.jpg", good.substr(0, good.size() / 2));
    // A baseline header that claims 60000 × 60000 pixels and then ends.
    const unsigned char huge[] = { 0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x11, 0x08, 0xEA, 0x60, 0xEA, 0x60, 0x03, 0x01, 0x22,
        0x00, 0x02, 0x11, 0x01, 0x03, 0x11, 0x01, 0xFF, 0xD9 };
    test::WriteFile(dir / "huge.jpg", std::string(reinterpret_cast<const char*>(huge), sizeof huge));

    for (const char* name : { "missing.jpg", "empty.jpg", "text.jpg", "truncated.jpg", "huge.jpg" }) {
        SCOPED_TRACE(name);
        const std::string out = dir / "out.png";
        const CliRun run = Cli({ "sharpen", dir / name, out });
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find(name), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
        EXPECT_EQ(run.out, test::ErrorObjectFor(run, dir / name));
        EXPECT_FALSE(fs::exists(out));
    }
}

// Whatever the command and whatever went wrong, standard output holds one object: the error as standard error gives
// it, and the file concerned (null for a bad command line that names none).
TEST(Cli, EveryFailurePrintsOneErrorObject)
{
    test::ScratchDir dir;
    const std::string in = WriteJpeg(dir, "in.jpg", 40, 30);
    const std::string missing = dir / "missing.jpg";
    const std::string gif = dir / "o.gif";
    const std::string deep = dir / "in.jpg/sub/o.png";
    const std::string notSheet = dir / "notes.jpg";
    test::WriteFile(notSheet, "mine");
    const std::string notReport = dir / "notes.txt";
    test::WriteFile(notReport, "mine");
    struct Case {
        std::vector<std::string> words;
        int status;
        std::string path;
    };
    const Case cases[] = {
        { { "reduce", missing, dir / "o.png", "--width", "4", "--height", "3" }, 1, missing },
        { { "rotate", in, gif, "--angle", "10" }, 2, gif },
        { { "sharpen", in, deep }, 1, deep },
        { { "square", in, dir / "o.png", "--bogus" }, 2, "" },
        { { "sheet", in, notSheet, "--frame", "0,0,10,10" }, 1, notSheet },
        { { "sheet", in, in, "--frame", "0,0,10,10" }, 1, in },
        { { "sheet", in, dir / "s.jpg" }, 2, "" },
        { { "detect", missing }, 1, missing },
        { { "batch", in, "--no-recognition", "--report", notReport }, 1, notReport },
        { { "batch" }, 2, "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words.front() + " " + std::to_string(c.status) + " " + c.path);
        const CliRun run = Cli(c.words);
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
        EXPECT_EQ(run.out, test::ErrorObjectFor(run, c.path));
    }
}

TEST(Cli, UnwritableOutputLeavesNothingBehind)
{
    test::ScratchDir dir;
    const std::string in = WriteJpeg(dir, "in.jpg", 40, 30);
    test::WriteFile(dir / "file", "x");
    const CliRun run = Cli({ "square", in, dir / "file/sub/out.png" });
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(run.err.empty());
    const CliRun missingFolder = Cli({ "square", in, dir / "no/such/folder/out.jpg" });
    EXPECT_EQ(missingFolder.status, 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2);
}

TEST(Cli, ReducePrintsResultAndMessage)
{
    test::ScratchDir dir;
    const Bitmap source = test::RandomBitmap(200, 100, 3);
    ASSERT_TRUE(SavePng(dir / "in.png", source).ok);

    const CliRun ok = Cli({ "reduce", dir / "in.png", dir / "out.ppm", "--width", "50", "--height", "25" });
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_EQ(ok.out, "{\"result\": 0, \"message\": \"\"}\n");
    const Bitmap reduced = ReadBack(dir / "out.ppm");
    EXPECT_EQ(reduced.Width(), 50);
    EXPECT_EQ(reduced.Height(), 25);

    const CliRun enlarge = Cli({ "reduce", dir / "in.png", dir / "big.png", "--width", "400", "--height", "200" });
    EXPECT_EQ(enlarge.status, 3);
    EXPECT_EQ(enlarge.out, "{\"result\": -15, \"message\": \"拡大なので高画質圧縮を中断しました。\"}\n");
    EXPECT_FALSE(fs::exists(dir / "big.png"));

    const CliRun same = Cli({ "reduce", dir / "in.png", dir / "same.png", "--width=200", "--height=100" });
    EXPECT_EQ(same.status, 0);
    EXPECT_NE(same.out.find("画像サイズが同じなので"), std::string::npos);
    EXPECT_TRUE(test::SameImage(ReadBack(dir / "same.png"), source));

    const CliRun zero = Cli({ "reduce", dir / "in.png", dir / "zero.png", "--width", "0", "--height", "0" });
    EXPECT_EQ(zero.status, 3);
    EXPECT_NE(zero.out.find("\"result\": -16"), std::string::npos);
}

TEST(Cli, SquareRotateSharpenWriteWhatTheySay)
{
    test::ScratchDir dir;
    const Bitmap photo = test::RandomBitmap(30, 40, 5);
    ASSERT_TRUE(SavePng(dir / "p.png", photo).ok);

    const CliRun square = Cli({ "square", dir / "p.png", dir / "sq.png" });
    EXPECT_EQ(square.status, 0) << square.err;
    EXPECT_EQ(square.out, "{\"result\": 0, \"width\": 40, \"height\": 40}\n");
    const Bitmap sq = ReadBack(dir / "sq.png");
    EXPECT_EQ(sq.Pixel(5, 0), photo.Pixel(0, 0));
    EXPECT_EQ(sq.Pixel(4, 0), kBlack);

    const CliRun rotate = Cli({ "rotate", dir / "p.png", dir / "rot.png", "--angle", "-900" });
    EXPECT_EQ(rotate.status, 0) << rotate.err;
    EXPECT_EQ(rotate.out, "{\"result\": 0, \"width\": 40, \"height\": 40}\n");

    const CliRun sharpen = Cli({ "sharpen", dir / "p.png", dir / "sh.png" });
    EXPECT_EQ(sharpen.status, 0);
    const Bitmap sh = ReadBack(dir / "sh.png");
    EXPECT_EQ(sh.Pixel(0, 0), photo.Pixel(0, 0)); // the border is kept
}

TEST(Cli, RotateRefusesSquaresOver9600)
{
    test::ScratchDir dir;
    ASSERT_TRUE(SavePng(dir / "wide.png", test::SolidBitmap(9601, 20, kWhite)).ok);
    const CliRun run = Cli({ "rotate", dir / "wide.png", dir / "out.png", "--angle", "10" });
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.out, "{\"result\": -1}\n");
    EXPECT_FALSE(fs::exists(dir / "out.png"));
}

TEST(Cli, SheetAndPreview)
{
    test::ScratchDir dir;
    const std::string photo = WriteJpeg(dir, "photo.jpg", 600, 800);
    const CliRun run = Cli({ "sheet", photo, dir / "sheet.jpg", "--frame", "100,100,378,496", "--preview",
        dir / "preview.png", "--quality", "95" });
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "{\"result\": 0, \"width\": 1051, \"height\": 1500}\n");
    const Bitmap sheet = ReadBack(dir / "sheet.jpg");
    EXPECT_EQ(sheet.Width(), 1051);
    EXPECT_EQ(sheet.Height(), 1500);
    const std::string bytes = test::ReadFile(dir / "sheet.jpg");
    ASSERT_GT(bytes.size(), 18u);
    EXPECT_EQ(bytes.substr(6, 5), std::string("JFIF\0", 5));
    EXPECT_EQ(static_cast<unsigned char>(bytes[13]), 1); // dots per inch
    EXPECT_EQ((static_cast<unsigned char>(bytes[14]) << 8) | static_cast<unsigned char>(bytes[15]), 300);
    const Bitmap preview = ReadBack(dir / "preview.png");
    EXPECT_EQ(preview.Width(), 498);
    EXPECT_EQ(preview.Height(), 712);
}

TEST(Cli, SheetWithoutMarksIsWhiteBesideTheCells)
{
    test::ScratchDir dir;
    ASSERT_TRUE(SavePng(dir / "grey.png", test::SolidBitmap(800, 800, { 90, 90, 90 })).ok);
    const CliRun run = Cli({ "sheet", dir / "grey.png", dir / "sheet.png", "--frame", "700,0,400,525", "--angle", "0",
        "--no-centre-marks", "--no-corner-marks", "--no-scale", "--no-sharpen" });
    ASSERT_EQ(run.status, 0) << run.err;
    const Bitmap sheet = ReadBack(dir / "sheet.png");
    // Outside the four images (x 112..489 / 561..938, y 118..613 / 687..1182) the sheet is white.
    EXPECT_EQ(sheet.Pixel(230, 1441), kWhite); // where the scale would start
    EXPECT_EQ(sheet.Pixel(75, 366), kWhite); // where the first centre mark would start
    EXPECT_EQ(sheet.Pixel(124, 71), kWhite); // the top of the first corner mark
    // The frame reaches past the square's right edge: the part inside is stretched over the cut.
    EXPECT_EQ(sheet.Pixel(300, 400).g, sheet.Pixel(750, 935).g);
}

TEST(Cli, SheetArgumentsAreChecked)
{
    test::ScratchDir dir;
    const std::string photo = WriteJpeg(dir, "photo.jpg", 100, 120);
    EXPECT_EQ(Cli({ "sheet", photo, dir / "s.jpg" }).status, 2);
    EXPECT_EQ(Cli({ "sheet", photo, dir / "s.jpg", "--frame", "1,2,3" }).status, 2);
    EXPECT_EQ(Cli({ "sheet", photo, dir / "s.jpg", "--frame", "0,0,0,10" }).status, 2);
    EXPECT_EQ(Cli({ "sheet", photo, dir / "s.jpg", "--frame", "0,0,10,10", "--quality", "101" }).status, 2);
    EXPECT_EQ(Cli({ "sheet", photo, dir / "s.jpg", "--frame", "0,0,10,10", "--preview", dir / "p.bmp" }).status, 2);
    const CliRun outside = Cli({ "sheet", photo, dir / "s.jpg", "--frame", "500,500,50,60" });
    EXPECT_EQ(outside.status, 3);
    EXPECT_FALSE(fs::exists(dir / "s.jpg"));
}

TEST(Cli, APlainBackgroundReplacesTheOldOneOrSaysWhyNot)
{
    test::ScratchDir dir;
    const std::string grey = dir / "grey.png";
    ASSERT_TRUE(SavePng(grey, test::SolidBitmap(400, 500, { 90, 90, 90 })).ok);
    const std::vector<std::string> sheet { "sheet", grey, dir / "s.png", "--frame", "0,50,378,496", "--background" };
    const auto with = [&](std::vector<std::string> words, const std::string& colour) {
        words.push_back(colour);
        return words;
    };
    EXPECT_EQ(Cli(with(sheet, "pink")).status, 2);
    EXPECT_EQ(Cli(with(sheet, "#d8e8f8")).status, 2);

    struct Case {
        const char* what;
        std::string photo, frame, detectorDir, message;
        int status;
    };
    test::MakeStandInProgram(dir / "standin");
    std::vector<Case> cases { { "a library without a person mask", grey, "0,50,378,496", dir / "standin",
        "人物マスクのモデルがありません", 3 } };
    const bool model = fs::exists(test::BinDir() / "person_segmentation.onnx");
    if (model) {
        cases.push_back({ "no person in the frame", grey, "0,50,378,496", "", "写真の中央に人物が見つかりません", 3 });
        // A woman before window blinds, framed as detect frames her.
        cases.push_back({ "a portrait", test::DataDir() / "devset/p14_blinds_neighbour.jpg", "136,24,501,658", "", "", 0 });
    }
    for (const Case& c : cases) {
        fs::remove(dir / "s.png");
        std::vector<std::string> words { "sheet", c.photo, dir / "s.png", "--frame", c.frame, "--background", "blue",
            "--no-sharpen" };
        const CliRun run = test::RunCli(words, c.detectorDir.empty() ? std::vector<std::string> {}
                                                                     : std::vector<std::string> { "VELLICAM_DETECTOR_DIR=" + c.detectorDir });
        EXPECT_EQ(run.status, c.status) << c.what << ": " << run.out << run.err;
        EXPECT_NE(run.out.find(c.message), std::string::npos) << c.what << ": " << run.out;
        EXPECT_EQ(fs::exists(dir / "s.png"), c.status == 0) << c.what;
    }
    if (!model)
        GTEST_SKIP() << "no person model: scripts/install-deps fetches it, the build converts it";
    // The first cell's top corners held the blinds; they are the light blue now, the face's middle is untouched.
    const Bitmap made = ReadBack(dir / "s.png");
    EXPECT_EQ(made.Pixel(116, 122), (Rgb { 0xD8, 0xE8, 0xF8 }));
    EXPECT_EQ(made.Pixel(485, 122), (Rgb { 0xD8, 0xE8, 0xF8 }));
    ASSERT_EQ(Cli({ "sheet", cases.back().photo, dir / "old.png", "--frame", cases.back().frame, "--no-sharpen" }).status, 0);
    EXPECT_EQ(made.Pixel(300, 360), ReadBack(dir / "old.png").Pixel(300, 360));
}

TEST(Cli, APhotoWhoseSquareIsTooLargeIsSaidToBeSo)
{
    test::ScratchDir dir;
    ASSERT_TRUE(SaveJpeg(dir / "strip.jpg", test::SolidBitmap(20000, 4, kWhite), { 90, 0 }).ok);
    for (const char* command : { "square", "sheet" }) {
        std::vector<std::string> words { command, dir / "strip.jpg", dir / "out.png" };
        if (std::string(command) == "sheet")
            words.insert(words.end(), { "--frame", "0,0,400,500" });
        const CliRun run = Cli(words);
        EXPECT_EQ(run.status, 1) << command;
        EXPECT_NE(run.err.find("too large"), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(dir / "out.png"));
    }
}
