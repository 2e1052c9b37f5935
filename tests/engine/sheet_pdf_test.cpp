// The PDF sheet: its page and image as poppler reads them, its structure, its stable bytes, its refusals, its names
// and its mark; and the sheet's fit on a printer's printable area.
#include "image/image_io.h"
#include "session/session_texts.h"
#include "sheet/output_path.h"
#include "sheet/print_fit.h"
#include "sheet/sheet_layout.h"
#include "sheet/sheet_pdf.h"
#include "test_support.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <limits>
#include <sys/stat.h>

using namespace vellicam;
namespace fs = std::filesystem;

namespace {

// Standard output of a command, with its standard error kept apart; false when it could not run or failed.
bool Capture(const std::string& command, std::string& out, std::string& err, const test::ScratchDir& dir)
{
    const std::string errFile = dir / "stderr.txt";
    FILE* pipe = ::popen((command + " 2>'" + errFile + "'").c_str(), "r");
    if (!pipe)
        return false;
    char buffer[4096];
    out.clear();
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    const int status = ::pclose(pipe);
    err = test::ReadFile(errFile);
    return status == 0;
}

bool HavePoppler()
{
    return std::system("command -v pdfinfo >/dev/null 2>&1 && command -v pdfimages >/dev/null 2>&1") == 0;
}

// A sheet of the paper's layout with random pixels, so the JPEG inside is no trivial one.
Bitmap SheetOf(const char* paper, SheetLayout& layout)
{
    EXPECT_EQ(BuildSheetLayout(DefaultPhotoSize().id, paper, layout), kLayoutBuilt);
    return test::RandomBitmap(layout.SheetWidth, layout.SheetHeight, 7);
}

// Poppler's own reading: the page within half a millimetre of the paper, the one image at the sheet's pixels and
// 300 dpi, nothing it had to repair.
TEST(SheetPdf, PageIsThePaperAndTheImageIsAt300Dpi)
{
    if (!HavePoppler())
        GTEST_SKIP() << "pdfinfo and pdfimages (poppler-utils) are not installed";
    for (const char* id : { "L", "2L", "4x6" }) {
        SCOPED_TRACE(id);
        test::ScratchDir dir;
        SheetLayout layout;
        const Bitmap sheet = SheetOf(id, layout);
        const PaperSize& paper = *FindPaperSize(id);
        const std::string path = dir / "IMG_sheet.pdf";
        ASSERT_EQ(SaveSheetPdf(path, sheet, 90, 300, paper).code, kSheetSaved);

        std::string info, err;
        ASSERT_TRUE(Capture("pdfinfo '" + path + "'", info, err, dir));
        EXPECT_EQ(err, "");
        double wPt = 0, hPt = 0;
        const std::size_t at = info.find("Page size:");
        ASSERT_NE(at, std::string::npos);
        ASSERT_EQ(std::sscanf(info.c_str() + at, "Page size: %lf x %lf pts", &wPt, &hPt), 2);
        EXPECT_NEAR(wPt * 25.4 / 72, paper.width / 10.0, 0.5);
        EXPECT_NEAR(hPt * 25.4 / 72, paper.height / 10.0, 0.5);
        EXPECT_NE(info.find("Pages:           1\n"), std::string::npos);
        EXPECT_NE(info.find(std::string("Producer:        ") + kSheetMark), std::string::npos);

        std::string images;
        ASSERT_TRUE(Capture("pdfimages -list '" + path + "'", images, err, dir));
        EXPECT_EQ(err, "");
        const std::vector<std::string> rows = test::Lines(images);
        ASSERT_EQ(rows.size(), 3u) << images;
        int page = 0, number = 0, w = 0, h = 0, xPpi = 0, yPpi = 0;
        char type[16], colour[16], encoding[16];
        ASSERT_EQ(std::sscanf(rows[2].c_str(), "%d %d %15s %d %d %15s %*d %*d %15s %*s %*d %*d %d %d", &page, &number,
                      type, &w, &h, colour, encoding, &xPpi, &yPpi),
            9)
            << rows[2];
        EXPECT_EQ(std::string(colour), "rgb");
        EXPECT_EQ(std::string(encoding), "jpeg");
        EXPECT_EQ(w, layout.SheetWidth);
        EXPECT_EQ(h, layout.SheetHeight);
        EXPECT_EQ(xPpi, 300);
        EXPECT_EQ(yPpi, 300);
    }
}

// The structure a reader relies on without repairing it: every xref entry points at its object, startxref at the
// table, and the image stream is the very JPEG the JPEG sheet is.
TEST(SheetPdf, XrefOffsetsAreExactAndTheJpegIsEmbeddedUnchanged)
{
    test::ScratchDir dir;
    SheetLayout layout;
    const Bitmap sheet = SheetOf("2L", layout);
    ASSERT_EQ(SaveSheetPdf(dir / "s.pdf", sheet, 85, 300, *FindPaperSize("2L")).code, kSheetSaved);
    ASSERT_EQ(SaveSheetJpeg(dir / "s.jpeg", sheet, 85, 300).code, kSheetSaved);
    const std::string pdf = test::ReadFile(dir.Path() / "s.pdf");
    const std::string jpeg = test::ReadFile(dir.Path() / "s.jpeg");

    const std::size_t startxref = pdf.rfind("startxref\n");
    ASSERT_NE(startxref, std::string::npos);
    const std::size_t xref = std::stoul(pdf.substr(startxref + 10));
    ASSERT_EQ(pdf.compare(xref, 9, "xref\n0 7\n"), 0);
    for (int object = 1; object < 7; ++object) {
        const std::string entry = pdf.substr(xref + 9 + 20 * static_cast<std::size_t>(object), 20);
        ASSERT_EQ(entry.substr(10), " 00000 n \n") << object;
        const std::string head = std::to_string(object) + " 0 obj\n";
        EXPECT_EQ(pdf.compare(std::stoul(entry.substr(0, 10)), head.size(), head), 0) << object;
    }
    const std::size_t stream = pdf.find("/DCTDecode /Length " + std::to_string(jpeg.size()) + " >>\nstream\n");
    ASSERT_NE(stream, std::string::npos);
    const std::size_t data = pdf.find("stream\n", stream) + 7;
    EXPECT_TRUE(pdf.compare(data, jpeg.size(), jpeg) == 0);
    EXPECT_EQ(pdf.compare(data + jpeg.size(), 11, "\nendstream\n"), 0);
}

TEST(SheetPdf, SameSheetGivesTheSameBytes)
{
    test::ScratchDir dir;
    SheetLayout layout;
    const Bitmap sheet = SheetOf("L", layout);
    for (const char* name : { "a.pdf", "b.pdf" })
        ASSERT_EQ(SaveSheetPdf(dir / name, sheet, 90, 300, DefaultPaperSize()).code, kSheetSaved);
    EXPECT_EQ(test::ReadFile(dir.Path() / "a.pdf"), test::ReadFile(dir.Path() / "b.pdf"));
}

// A PDF that cannot be written says why and leaves nothing behind: not the file, not its temporary.
TEST(SheetPdf, UnwritablePathSaysSoAndLeavesNoFile)
{
    test::ScratchDir dir;
    test::WriteFile(dir.Path() / "plain", "not a folder");
    fs::create_directory(dir.Path() / "taken.pdf");
    const Bitmap sheet = test::RandomBitmap(60, 80, 3);
    struct Case {
        std::string path;
        int code;
    };
    const Case cases[] = {
        { dir / "plain/sub/IMG_sheet.pdf", kSaveFolderNotCreated },
        { dir / "taken.pdf", kSaveWriteFailed }, // a folder holds the name: the rename fails
        { "x.pdf", kSaveNoFolder },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const SaveSheetOutcome outcome = SaveSheetPdf(c.path, sheet, 90, 300, DefaultPaperSize());
        EXPECT_EQ(outcome.code, c.code);
        EXPECT_FALSE(SheetSaveFailureText(c.path, outcome.code, outcome.error).empty());
        EXPECT_TRUE(outcome.error.Failed());
    }
    EXPECT_EQ(test::ReadFile(dir.Path() / "plain"), "not a folder");
    EXPECT_TRUE(fs::is_empty(dir.Path() / "taken.pdf"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2);
}

// PDF names keep the JPEG names' rules: the photo's cases carried over, so photos told apart by case keep their
// sheets apart, and anything that is not a JPEG name only gains ".pdf".
TEST(SheetPdf, NamesFollowTheJpegSheetsNames)
{
    const std::pair<const char*, const char*> cases[] = {
        { "IMG_sheet.jpeg", "IMG_sheet.pdf" },
        { "IMG_sheet.JPEG", "IMG_sheet.PDF" },
        { "IMG_sheet.Jpeg", "IMG_sheet.Pdf" },
        { "IMG_sheet.jPeg", "IMG_sheet.pDf" },
        { "IMG.jpg", "IMG.pdf" },
        { "IMG.JPG", "IMG.PDF" },
        { "IMG.jpG", "IMG.pdF" },
        { "IMG.png", "IMG.png.pdf" },
        { "IMG", "IMG.pdf" },
        { "a.jpeg.sheet_passport_2L.jpeg", "a.jpeg.sheet_passport_2L.pdf" },
    };
    for (const auto& [jpeg, pdf] : cases) {
        EXPECT_EQ(SheetNameIn(jpeg, SheetFormat::Pdf), pdf) << jpeg;
        EXPECT_EQ(SheetNameIn(jpeg, SheetFormat::Jpeg), jpeg);
    }
    EXPECT_TRUE(IsSheetTemporaryName(".IMG_sheet.pdf.a1B2c3"));
    EXPECT_FALSE(IsSheetTemporaryName(".IMG_sheet.pdfx.a1B2c3"));
}

// A PDF sheet of ours may be replaced by the next one; any other PDF, or a file that only starts like one, keeps its
// name and the sheet takes the next.
TEST(SheetPdf, OnlyOurPdfSheetIsReplaced)
{
    test::ScratchDir dir;
    const std::string photo = dir / "IMG.jpg";
    ASSERT_TRUE(SaveJpeg(photo, test::SolidBitmap(8, 8, kWhite)).ok);
    const std::string sheetPath = dir / "IMG_sheet.pdf";
    ASSERT_EQ(SaveSheetPdf(sheetPath, test::RandomBitmap(30, 40, 1), 90, 300, DefaultPaperSize()).code, kSheetSaved);
    const std::string ours = test::ReadFile(sheetPath);
    const std::string folder = dir.Path().string() + "/";

    struct Case {
        const char* what;
        std::string bytes;
        const char* sheet;
    };
    const Case cases[] = {
        { "our sheet", ours, "IMG_sheet.pdf" },
        { "a PDF of another producer", "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n1 0 obj\n<< /Producer (other) >>\nendobj\n",
            "IMG_sheet_2.pdf" },
        { "our sheet cut short", ours.substr(0, 30), "IMG_sheet_2.pdf" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::WriteFile(sheetPath, c.bytes);
        EXPECT_EQ(IsMarkedSheet(sheetPath), std::string(c.sheet) == "IMG_sheet.pdf");
        EXPECT_EQ(OutputPath("", folder, photo, {}, nullptr, SheetFormat::Pdf), folder + c.sheet);
    }
    // In an output folder the default size keeps the photo's own name, as a PDF.
    EXPECT_EQ(OutputPath(dir / "out", folder, photo, {}, nullptr, SheetFormat::Pdf), dir / "out/IMG.pdf");
    ASSERT_EQ(::mkfifo((dir / "fifo.pdf").c_str(), 0600), 0);
    EXPECT_FALSE(IsMarkedSheetPdf(dir / "fifo.pdf"));
}

TEST(PrintFit, SheetAgainstThePrintableArea)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* what;
        int width, height; // pixels at 300 dpi
        PaperRect printable;
        bool fits;
        double left, top, right, bottom;
    };
    // 1051 × 1500 pixels are 88.9847 × 127 mm.
    const Case cases[] = {
        { "borderless", 1051, 1500, { 0, 0, 89, 127 }, true, 0, 0, 0, 0 },
        { "area just the sheet's size", 1200, 1800, { 0, 0, 101.6, 152.4 }, true, 0, 0, 0, 0 },
        { "rounding of the area in device units", 1200, 1800, { 0.005, 0, 101.595, 152.4 }, true, 0, 0, 0, 0 },
        { "3 mm margins", 1051, 1500, { 3, 3, 83, 121 }, false, 3, 3, 2.9847, 3 },
        { "a short area", 1200, 1800, { 0, 0, 101.6, 150 }, false, 0, 0, 0, 2.4 },
        { "a narrow area, left margin", 1200, 1800, { 4.2, 0, 90, 152.4 }, false, 4.2, 0, 7.4, 0 },
        { "no printable area", 1200, 1800, { 0, 0, 0, 0 }, false, 101.6, 152.4, 101.6, 152.4 },
        { "an area not a number", 1200, 1800, { nan, 0, 100, 150 }, false, 101.6, 152.4, 101.6, 152.4 },
        { "no sheet", 0, 1800, { 0, 0, 100, 150 }, false, 0, 152.4, 0, 152.4 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const PrintFit fit = FitSheetOnPage(c.width, c.height, 300, c.printable);
        EXPECT_EQ(fit.fits, c.fits);
        EXPECT_NEAR(fit.left, c.left, 1e-3);
        EXPECT_NEAR(fit.top, c.top, 1e-3);
        EXPECT_NEAR(fit.right, c.right, 1e-3);
        EXPECT_NEAR(fit.bottom, c.bottom, 1e-3);
        EXPECT_NEAR(fit.largest(), std::max({ c.left, c.top, c.right, c.bottom }), 1e-3);
    }
}

} // namespace
