// The bad-input corpus (tests/data/bad) through vellicam-cli: every file either loads or is refused with a
// one-line reason, within a time limit, without a crash, and without leaving anything in the output folder.
// The files are made by fuzz/make_corpus.cpp; reproducers of bugs the fuzzers found are kept beside them.
#include "image/bitmap.h"
#include "cli_runner.h"
#include "image/image_io.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>

using namespace vellicam;
namespace fs = std::filesystem;

namespace {

using test::CliRun;

CliRun Cli(const std::vector<std::string>& words, int seconds = 60)
{
    return test::RunCli(words, {}, seconds);
}

std::string Bad(const std::string& name)
{
    return (test::DataDir() / "bad" / name).string();
}

std::vector<std::string> Entries(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

Bitmap ReadBack(const std::string& path)
{
    Bitmap b;
    EXPECT_TRUE(LoadImage(path, b).ok) << path;
    return b;
}

// The checks every refused input has to pass: exit status 1, the error object naming the photo on standard output,
// one line on standard error that names the file and gives the reason, and an output folder as empty as before.
void ExpectRefused(const CliRun& run, const std::string& file, const std::string& reason, const fs::path& outFolder)
{
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_EQ(run.out, test::ErrorObjectFor(run, file));
    EXPECT_NE(run.err.find(file), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(reason), std::string::npos) << "expected '" << reason << "' in: " << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "one line: " << run.err;
    EXPECT_TRUE(Entries(outFolder).empty()) << "left behind: " << Entries(outFolder).front();
}

} // namespace

TEST(CliBadInput, UnreadableFilesAreRefusedWithTheirReason)
{
    struct Case {
        const char* file;
        const char* reason;
    };
    // A file that ends anywhere before its end-of-image marker is refused as truncated, the marker alone
    // included: the decoder cannot tell a lost marker from lost data, and a photo with grey rows is worse than a
    // clear refusal.
    const Case cases[] = {
        { "empty.jpg", "not a JPEG, PNG or PPM file" },
        { "text.jpg", "not a JPEG, PNG or PPM file" },
        { "truncated-header.jpg", "truncated" },
        { "truncated-scan-start.jpg", "truncated" },
        { "truncated-mid-scan.jpg", "truncated" },
        { "missing-eoi.jpg", "truncated" },
        { "bitflip-sof-height.jpg", "truncated" },
        { "bitflip-huffman-table.jpg", "Huffman" },
        { "twelve-bit.jpg", "only 8-bit samples" },
        { "exif-only.jpg", "no image" },
        { "huge-60000x60000.jpg", "too large (60000 × 60000 pixels)" },
        { "huge-60000x60000-no-scan.jpg", "cannot read JPEG" },
        { "huge-header.ppm", "unsupported size 100000 × 100000" },
        { "short-raster.ppm", "truncated" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_TRUE(fs::exists(Bad(c.file)));
        test::ScratchDir out;
        ExpectRefused(Cli({ "square", Bad(c.file), out / "square.png" }), Bad(c.file), c.reason, out.Path());
        ExpectRefused(Cli({ "sheet", Bad(c.file), out / "sheet.jpg", "--frame", "0,0,10,10" }), Bad(c.file), c.reason,
            out.Path());
    }
}

// A named pipe called like a photo would block the open until something writes to it: every command that reads a
// photo refuses it at once (the short time limit turns a hang into a failure).
TEST(CliBadInput, ANamedPipeIsRefusedAtOnceByEveryCommand)
{
    test::ScratchDir dir, out;
    const std::string pipe = dir / "pipe.jpg";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string reason = "is a named pipe, not a file";
    ExpectRefused(Cli({ "detect", pipe }, 10), pipe, reason, out.Path());
    ExpectRefused(Cli({ "sheet", pipe, out / "sheet.jpg", "--frame", "0,0,10,10" }, 10), pipe, reason, out.Path());
    ExpectRefused(Cli({ "square", pipe, out / "square.png" }, 10), pipe, reason, out.Path());

    const CliRun batch
        = Cli({ "batch", pipe, "--no-recognition", "--out", dir / "sheets", "--report", dir / "r.jsonl" }, 10);
    EXPECT_FALSE(batch.timedOut);
    EXPECT_EQ(batch.status, 4) << batch.err;
    EXPECT_NE(
        test::ReadFile(dir / "r.jsonl").find("写真のファイルではありません（名前付きパイプ）"), std::string::npos);
}

TEST(CliBadInput, UnusualButValidPhotosLoad)
{
    struct Case {
        const char* file;
        int width, height;
    };
    const Case cases[] = {
        { "grey.jpg", 48, 64 },
        { "cmyk-adobe.jpg", 48, 64 },
        { "progressive.jpg", 48, 64 },
        { "trailing-garbage.jpg", 64, 48 },
        // The command line reads by content, so a PNG under a JPEG name loads here (the window's loader does not).
        { "png-named.jpg", 20, 10 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        test::ScratchDir out;
        const CliRun run = Cli({ "square", Bad(c.file), out / "square.png" });
        ASSERT_EQ(run.status, 0) << run.err;
        const int side = std::max(c.width, c.height);
        EXPECT_EQ(run.out,
            "{\"result\": 0, \"width\": " + std::to_string(side) + ", \"height\": " + std::to_string(side) + "}\n");
        EXPECT_EQ(Entries(out.Path()), std::vector<std::string> { "square.png" });
        const Bitmap square = ReadBack(out / "square.png");
        ASSERT_EQ(square.Width(), side);
        // The photo sits in the middle of the square; a decoder that lost rows or columns shows black there.
        const Rgb middle = square.Pixel(side / 2, side / 2);
        EXPECT_NE(middle, kBlack);
    }

    // Grey photos load as grey, and the CMYK file's inverted Adobe inks do not come out as a negative.
    const Bitmap grey = ReadBack(Bad("grey.jpg"));
    for (int y = 0; y < grey.Height(); y += 7)
        for (int x = 0; x < grey.Width(); x += 5) {
            const Rgb p = grey.Pixel(x, y);
            ASSERT_TRUE(p.r == p.g && p.g == p.b) << x << "," << y;
        }
    Bitmap cmyk;
    ASSERT_TRUE(LoadJpeg(Bad("cmyk-adobe.jpg"), cmyk).ok);
    // The generator's inks at (0, 0) are all 0 in the Adobe convention (255 = no ink): pure black.
    const Rgb corner = cmyk.Pixel(0, 0);
    EXPECT_LT(corner.r + corner.g + corner.b, 3 * 24) << int(corner.r) << " " << int(corner.g) << " " << int(corner.b);
}

// The batch reads its photos as detect and sheet do, by content: a PNG named .jpg gets its sheet, and a file that
// is no image is reported failed with the session's reason.
TEST(CliBadInput, TheBatchReadsPhotosByContentAsDetectDoes)
{
    test::ScratchDir dir;
    const std::string png = dir / "png-named.jpg";
    ASSERT_TRUE(SavePng(png, test::RandomBitmap(600, 800, 7)).ok);
    const CliRun made = Cli({ "batch", png, "--no-recognition", "--out", dir / "out", "--report", dir / "png.jsonl" });
    EXPECT_EQ(made.status, 0) << made.err << test::ReadFile(dir / "png.jsonl");
    EXPECT_EQ(ReadBack(dir / "out/png-named.jpg").Width(), 1051);

    const CliRun text = Cli({ "batch", Bad("text.jpg"), "--no-recognition", "--out", dir / "text", "--report",
        dir / "text.jsonl" });
    EXPECT_EQ(text.status, 4) << text.err;
    EXPECT_NE(test::ReadFile(dir / "text.jsonl").find("画像として読み込めません"), std::string::npos);
}

TEST(CliBadInput, OnePixelPhotoMakesASquareAndASheet)
{
    test::ScratchDir out;
    const CliRun square = Cli({ "square", Bad("one-pixel.jpg"), out / "square.png" });
    ASSERT_EQ(square.status, 0) << square.err;
    EXPECT_EQ(square.out, "{\"result\": 0, \"width\": 1, \"height\": 1}\n");
    const Rgb pixel = ReadBack(out / "square.png").Pixel(0, 0);

    const CliRun sheet
        = Cli({ "sheet", Bad("one-pixel.jpg"), out / "sheet.png", "--frame", "0,0,1,1", "--no-sharpen" });
    ASSERT_EQ(sheet.status, 0) << sheet.err;
    EXPECT_EQ(sheet.out, "{\"result\": 0, \"width\": 1051, \"height\": 1500}\n");
    const Bitmap composed = ReadBack(out / "sheet.png");
    // The one pixel is stretched over each whole cell (x 112..489, y 118..613 for the first).
    EXPECT_EQ(composed.Pixel(113, 119), pixel);
    EXPECT_EQ(composed.Pixel(300, 366), pixel);
    EXPECT_EQ(composed.Pixel(488, 612), pixel);
    EXPECT_EQ(composed.Pixel(750, 935), pixel);
}

TEST(CliBadInput, PhotoWiderThanThePlanesRotatesNotButMakesASheet)
{
    test::ScratchDir out;
    const CliRun rotate = Cli({ "rotate", Bad("wide-9601x20.jpg"), out / "rotated.png", "--angle", "10" });
    EXPECT_EQ(rotate.status, 3) << rotate.err;
    EXPECT_EQ(rotate.out, "{\"result\": -1}\n");
    const CliRun turned
        = Cli({ "sheet", Bad("wide-9601x20.jpg"), out / "turned.jpg", "--frame", "0,4790,300,400", "--angle", "0" });
    EXPECT_EQ(turned.status, 3) << turned.err;
    EXPECT_TRUE(Entries(out.Path()).empty());

    // Without a turn the square is built directly: the photo's strip lies at y = (9601 − 20) / 2 = 4790.
    const CliRun sheet = Cli({ "sheet", Bad("wide-9601x20.jpg"), out / "sheet.jpg", "--frame", "100,4790,300,400" });
    ASSERT_EQ(sheet.status, 0) << sheet.err;
    EXPECT_EQ(sheet.out, "{\"result\": 0, \"width\": 1051, \"height\": 1500}\n");
    EXPECT_EQ(Entries(out.Path()), std::vector<std::string> { "sheet.jpg" });
}

TEST(CliBadInput, FlippedScanBitsLoadOrFailCleanly)
{
    // Damage inside the scan data may decode to a damaged picture or be refused, depending on where it falls;
    // either way the run ends by itself and the output folder holds the whole output or nothing.
    for (const char* file : { "bitflip-scan-early.jpg", "bitflip-scan-late.jpg" }) {
        SCOPED_TRACE(file);
        test::ScratchDir out;
        const CliRun run = Cli({ "square", Bad(file), out / "square.png" });
        ASSERT_TRUE(run.status == 0 || run.status == 1) << run.status << run.err;
        if (run.status == 0) {
            EXPECT_EQ(ReadBack(out / "square.png").Width(), 64);
        } else {
            EXPECT_TRUE(Entries(out.Path()).empty());
        }
    }
}

TEST(CliBadInput, EveryFileOfTheCorpusEndsCleanly)
{
    // Also the fuzzers' reproducers, which are added to the folder without a test of their own.
    int files = 0;
    for (const auto& entry : fs::directory_iterator(test::DataDir() / "bad")) {
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        ++files;
        test::ScratchDir out;
        const CliRun run = Cli({ "square", entry.path().string(), out / "square.jpg" });
        EXPECT_FALSE(run.timedOut);
        ASSERT_TRUE(run.status == 0 || run.status == 1) << "status " << run.status << ": " << run.err;
        if (run.status == 0) {
            EXPECT_EQ(Entries(out.Path()), std::vector<std::string> { "square.jpg" });
            EXPECT_TRUE(run.err.empty()) << run.err;
        } else {
            EXPECT_TRUE(Entries(out.Path()).empty());
            EXPECT_FALSE(run.err.empty());
        }
    }
    EXPECT_GE(files, 20);
}
