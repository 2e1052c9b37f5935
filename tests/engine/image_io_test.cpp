// Reading and writing JPEG, PNG and PPM files, and the atomic write under them.
#include "image/image_io.h"
#include "image/photo.h"
#include "session/photo_session.h"
#include "test_support.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <jpeglib.h>
#include <png.h>

using namespace vellicam;
using namespace vellicam::test;
namespace fs = std::filesystem;

namespace {

// A smooth picture: JPEG keeps it close, so a round trip can be held to a small tolerance.
Bitmap Gradient(int width, int height)
{
    Bitmap b;
    EXPECT_TRUE(b.Resize(width, height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            b.SetPixel(x, y,
                { static_cast<std::uint8_t>(x * 255 / (width - 1)), static_cast<std::uint8_t>(y * 255 / (height - 1)),
                    static_cast<std::uint8_t>((x + y) * 255 / (width + height - 2)) });
    return b;
}

int MaxDifference(const Bitmap& a, const Bitmap& b)
{
    int worst = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (std::size_t i = 0; i < a.Stride(); ++i)
            worst = std::max(worst, std::abs(int(a.Row(y)[i]) - int(b.Row(y)[i])));
    return worst;
}

// Writes a JPEG straight through libjpeg, for the kinds of file the program only reads.
struct JpegSpec {
    int width = 16, height = 16;
    int components = 3;
    J_COLOR_SPACE input = JCS_RGB;
    J_COLOR_SPACE stored = JCS_UNKNOWN; // JCS_UNKNOWN: libjpeg's default for the input
    bool adobeMarker = true; // only consulted for four-component files
    bool progressive = false;
    std::function<void(int x, int y, unsigned char* sample)> pixel;
};

void WriteJpegFile(const std::string& path, const JpegSpec& spec)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    jpeg_compress_struct cinfo {};
    jpeg_error_mgr err {};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, f);
    cinfo.image_width = spec.width;
    cinfo.image_height = spec.height;
    cinfo.input_components = spec.components;
    cinfo.in_color_space = spec.input;
    jpeg_set_defaults(&cinfo);
    if (spec.stored != JCS_UNKNOWN)
        jpeg_set_colorspace(&cinfo, spec.stored);
    if (spec.components == 4)
        cinfo.write_Adobe_marker = spec.adobeMarker ? TRUE : FALSE;
    jpeg_set_quality(&cinfo, 95, TRUE);
    if (spec.progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> row(static_cast<std::size_t>(spec.width) * spec.components);
    for (int y = 0; y < spec.height; ++y) {
        for (int x = 0; x < spec.width; ++x)
            spec.pixel(x, y, &row[static_cast<std::size_t>(x) * spec.components]);
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(f);
}

std::string Bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        s += static_cast<char>(v);
    return s;
}

// A bitmap that a failed load must leave exactly as it was.
Bitmap Sentinel()
{
    return SolidBitmap(3, 2, { 1, 2, 3 });
}

} // namespace

TEST(ImageIo, PngAndPpmRoundTripsAreExact)
{
    ScratchDir dir;
    const Bitmap image = RandomBitmap(37, 23, 7);
    for (const char* name : { "a.png", "a.ppm", "B.PNG", "b.Ppm" }) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(SaveImage(dir / name, image).ok);
        Bitmap back;
        const IoResult loaded = LoadImage(dir / name, back);
        ASSERT_TRUE(loaded.ok) << loaded.message;
        EXPECT_TRUE(SameImage(back, image, name));
    }
    // The specific readers agree with the dispatcher.
    Bitmap png, ppm;
    ASSERT_TRUE(LoadPng(dir / "a.png", png).ok);
    ASSERT_TRUE(LoadPpm(dir / "a.ppm", ppm).ok);
    EXPECT_TRUE(png.SameAs(image));
    EXPECT_TRUE(ppm.SameAs(image));
}

TEST(ImageIo, JpegRoundTripAtQuality100IsClose)
{
    ScratchDir dir;
    const Bitmap image = Gradient(61, 45); // odd sizes: partial blocks at the edges
    ASSERT_TRUE(SaveJpeg(dir / "q.jpg", image, { 100, 0 }).ok);
    Bitmap back;
    const IoResult loaded = LoadJpeg(dir / "q.jpg", back);
    ASSERT_TRUE(loaded.ok) << loaded.message;
    ASSERT_EQ(back.Width(), 61);
    ASSERT_EQ(back.Height(), 45);
    EXPECT_LE(MaxDifference(back, image), 6);

    // Memory and file paths give the same result, and a colour round trip keeps its channel order.
    std::string bytes;
    ASSERT_TRUE(EncodeJpeg(SolidBitmap(16, 16, { 250, 10, 20 }), { 100, 0 }, bytes).ok);
    Bitmap red;
    ASSERT_TRUE(DecodeJpeg(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), red).ok);
    const Rgb p = red.Pixel(8, 8);
    EXPECT_NEAR(p.r, 250, 3);
    EXPECT_NEAR(p.g, 10, 3);
    EXPECT_NEAR(p.b, 20, 3);
}

TEST(ImageIo, JpegHeaderCarriesJfifDensity)
{
    const Bitmap image = SolidBitmap(8, 8, kWhite);
    std::string withDpi, without;
    ASSERT_TRUE(EncodeJpeg(image, { 90, 300 }, withDpi).ok);
    ASSERT_TRUE(EncodeJpeg(image, { 90, 0 }, without).ok);
    // SOI, then APP0 "JFIF\0", version, units, X density, Y density (big-endian).
    ASSERT_GE(withDpi.size(), 18u);
    EXPECT_EQ(withDpi.substr(0, 4), Bytes({ 0xFF, 0xD8, 0xFF, 0xE0 }));
    EXPECT_EQ(withDpi.substr(6, 5), std::string("JFIF\0", 5));
    EXPECT_EQ(withDpi[13], 1); // dots per inch
    EXPECT_EQ(withDpi.substr(14, 4), Bytes({ 0x01, 0x2C, 0x01, 0x2C }));
    EXPECT_EQ(without[13], 0); // aspect ratio only
    EXPECT_EQ(without.substr(14, 4), Bytes({ 0, 1, 0, 1 }));
}

TEST(ImageIo, JpegQualityLimitsAreAcceptedAndReachTheEncoder)
{
    const Bitmap image = Gradient(32, 32);
    std::string q0, q100, bytes;
    ASSERT_TRUE(EncodeJpeg(image, { 0, 0 }, q0).ok);
    ASSERT_TRUE(EncodeJpeg(image, { 100, 0 }, q100).ok);
    EXPECT_LT(q0.size(), q100.size());
    // The quantisation tables show the quality that reached the encoder: all 1 at 100, all 255 (the baseline
    // limit) at 0.
    const auto firstTable = [](const std::string& data) {
        jpeg_decompress_struct cinfo {};
        jpeg_error_mgr err {};
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(data.data()), data.size());
        jpeg_read_header(&cinfo, TRUE);
        std::vector<int> table(cinfo.quant_tbl_ptrs[0]->quantval, cinfo.quant_tbl_ptrs[0]->quantval + 64);
        jpeg_destroy_decompress(&cinfo);
        return table;
    };
    EXPECT_EQ(firstTable(q100), std::vector<int>(64, 1));
    EXPECT_EQ(firstTable(q0), std::vector<int>(64, 255));

    EXPECT_FALSE(EncodeJpeg(image, { -1, 0 }, bytes).ok);
    EXPECT_FALSE(EncodeJpeg(image, { 101, 0 }, bytes).ok);
    EXPECT_FALSE(EncodeJpeg(image, { 90, -1 }, bytes).ok);
    EXPECT_FALSE(EncodeJpeg(image, { 90, 70000 }, bytes).ok);
    EXPECT_FALSE(EncodeJpeg(Bitmap {}, { 90, 0 }, bytes).ok);
}

TEST(ImageIo, GreyscaleJpegLoadsAsGrey)
{
    ScratchDir dir;
    JpegSpec spec;
    spec.width = 24;
    spec.components = 1;
    spec.input = JCS_GRAYSCALE;
    spec.pixel = [](int x, int, unsigned char* s) { s[0] = static_cast<unsigned char>(x * 10); };
    WriteJpegFile(dir / "grey.jpg", spec);
    Bitmap b;
    const IoResult loaded = LoadJpeg(dir / "grey.jpg", b);
    ASSERT_TRUE(loaded.ok) << loaded.message;
    ASSERT_EQ(b.Width(), 24);
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) {
            const Rgb p = b.Pixel(x, y);
            ASSERT_EQ(p.r, p.g);
            ASSERT_EQ(p.g, p.b);
            ASSERT_NEAR(p.r, x * 10, 4) << x << "," << y;
        }
}

TEST(ImageIo, CmykAndYcckJpegsLoadAsRgb)
{
    // Ink patches, 8 × 8 each so that no block straddles two colours.
    struct Patch {
        unsigned char c, m, y, k;
        Rgb expected;
    };
    const Patch patches[] = {
        { 255, 0, 0, 0, { 0, 255, 255 } },
        { 0, 255, 0, 0, { 255, 0, 255 } },
        { 0, 0, 255, 0, { 255, 255, 0 } },
        { 0, 0, 0, 255, { 0, 0, 0 } },
        { 0, 0, 0, 0, { 255, 255, 255 } },
        { 0, 128, 255, 64, { 191, 95, 0 } },
    };
    constexpr int kPatches = 6;
    struct Variant {
        const char* name;
        J_COLOR_SPACE stored;
        bool adobe;
    };
    // Photo editors store inverted inks and say so with the Adobe marker; without it the inks are plain.
    for (const Variant v : { Variant { "adobe-cmyk", JCS_CMYK, true }, Variant { "plain-cmyk", JCS_CMYK, false },
             Variant { "ycck", JCS_YCCK, true } }) {
        SCOPED_TRACE(v.name);
        ScratchDir dir;
        JpegSpec spec;
        spec.width = 8 * kPatches;
        spec.height = 8;
        spec.components = 4;
        spec.input = JCS_CMYK;
        spec.stored = v.stored;
        spec.adobeMarker = v.adobe;
        spec.pixel = [&](int x, int, unsigned char* s) {
            const Patch& p = patches[x / 8];
            const unsigned char inks[4] = { p.c, p.m, p.y, p.k };
            for (int i = 0; i < 4; ++i)
                s[i] = v.adobe ? static_cast<unsigned char>(255 - inks[i]) : inks[i];
        };
        WriteJpegFile(dir / "cmyk.jpg", spec);
        Bitmap b;
        const IoResult loaded = LoadJpeg(dir / "cmyk.jpg", b);
        ASSERT_TRUE(loaded.ok) << loaded.message;
        for (int i = 0; i < kPatches; ++i) {
            const Rgb got = b.Pixel(8 * i + 4, 4);
            EXPECT_NEAR(got.r, patches[i].expected.r, 4) << "patch " << i;
            EXPECT_NEAR(got.g, patches[i].expected.g, 4) << "patch " << i;
            EXPECT_NEAR(got.b, patches[i].expected.b, 4) << "patch " << i;
        }
    }
}

TEST(ImageIo, ProgressiveJpegDecodesLikeItsBaselineTwin)
{
    ScratchDir dir;
    JpegSpec spec;
    spec.width = 53;
    spec.height = 41;
    spec.pixel = [](int x, int y, unsigned char* s) {
        s[0] = static_cast<unsigned char>(x * 4);
        s[1] = static_cast<unsigned char>(y * 5);
        s[2] = static_cast<unsigned char>((x * y) & 0xFF);
    };
    WriteJpegFile(dir / "baseline.jpg", spec);
    spec.progressive = true;
    WriteJpegFile(dir / "progressive.jpg", spec);
    // Same quantised coefficients in a different order: the decoded pixels must match exactly.
    Bitmap baseline, progressive;
    int reports = 0;
    ASSERT_TRUE(LoadJpeg(dir / "baseline.jpg", baseline).ok);
    const IoResult loaded = LoadJpeg(dir / "progressive.jpg", progressive, [&] { ++reports; });
    ASSERT_TRUE(loaded.ok) << loaded.message;
    EXPECT_TRUE(SameImage(progressive, baseline));
    EXPECT_GT(reports, 0);
}

// A large photo read into a canvas on two threads: a second decoder takes the lower rows. Whole, cut in either
// share, or progressive (one decoder then), it gives what one decoder gives: the same pixels, or the same refusal.
TEST(ImageIo, TwoDecodersReadWhatOneReads)
{
    ScratchDir dir;
    JpegSpec spec;
    spec.width = 1280;
    spec.height = 1030;
    spec.pixel = [](int x, int y, unsigned char* s) {
        s[0] = static_cast<unsigned char>((x * 7 + y) & 0xFF);
        s[1] = static_cast<unsigned char>((y * 3) & 0xFF);
        s[2] = static_cast<unsigned char>(((x ^ y) * 5) & 0xFF);
    };
    WriteJpegFile(dir / "whole.jpg", spec);
    spec.progressive = true;
    WriteJpegFile(dir / "progressive.jpg", spec);
    const std::string whole = ReadFile(dir / "whole.jpg");
    WriteFile(dir / "cut-low.jpg", whole.substr(0, whole.size() * 9 / 10));
    WriteFile(dir / "cut-high.jpg", whole.substr(0, whole.size() / 4));

    for (const char* name : { "whole", "progressive", "cut-low", "cut-high" }) {
        SCOPED_TRACE(name);
        const std::string path = dir / (std::string(name) + ".jpg");
        Bitmap one, two;
        const auto into = [](Bitmap& canvas) {
            return [&canvas](int w, int h, int& left, int& top) -> Bitmap* {
                left = 3;
                top = 2;
                return canvas.Resize(w + 5, h + 4) ? &canvas : nullptr;
            };
        };
        const IoResult byOne = LoadImageInto(path, into(one), {}, {}, 1);
        const IoResult byTwo = LoadImageInto(path, into(two), {}, {}, 2);
        EXPECT_EQ(byOne.ok, byTwo.ok);
        EXPECT_EQ(byOne.message, byTwo.message);
        if (byOne.ok && byTwo.ok) {
            EXPECT_TRUE(SameImage(one, two));
        }
        EXPECT_EQ(byOne.ok, std::string(name) == "whole" || std::string(name) == "progressive") << byOne.message;
    }
    // The second decoder starts before the canvas is made: when none can be had, it writes nothing, the opening ends
    // and the refusal is the one told.
    const PhotoPlacement refused = [](int, int, int&, int&) -> Bitmap* { return nullptr; };
    const std::string path = dir / "whole.jpg";
    const IoResult refusedOne = LoadImageInto(path, refused, {}, {}, 1);
    const IoResult refusedTwo = LoadImageInto(path, refused, {}, {}, 2);
    EXPECT_FALSE(refusedTwo.ok);
    EXPECT_EQ(refusedOne.message, refusedTwo.message);
}

TEST(ImageIo, BrokenJpegsAreFailuresThatLeaveTheBitmapAlone)
{
    ScratchDir dir;
    std::string good;
    ASSERT_TRUE(EncodeJpeg(Gradient(64, 64), { 90, 0 }, good).ok);

    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        { "empty", "" },
        { "text", "this is not a photo\n" },
        { "png-bytes", Bytes({ 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 0 }) },
        { "cut-in-header", good.substr(0, 20) },
        { "cut-after-header", good.substr(0, good.size() / 5) },
        { "cut-mid-scan", good.substr(0, good.size() / 2) },
        { "cut-near-end", good.substr(0, good.size() - 40) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir / (std::string(c.name) + ".jpg");
        WriteFile(path, c.bytes);
        Bitmap b = Sentinel();
        const IoResult r = LoadJpeg(path, b);
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.message.empty());
        EXPECT_TRUE(b.SameAs(Sentinel()));
        if (!c.bytes.empty()) {
            Bitmap m = Sentinel();
            EXPECT_FALSE(DecodeJpeg(reinterpret_cast<const unsigned char*>(c.bytes.data()), c.bytes.size(), m).ok);
            EXPECT_TRUE(m.SameAs(Sentinel()));
        }
    }
    Bitmap b;
    const IoResult truncated = LoadJpeg(dir / "cut-mid-scan.jpg", b);
    EXPECT_NE(truncated.message.find("truncated"), std::string::npos) << truncated.message;
    // libjpeg's own words are kept in the reason.
    const IoResult text = LoadJpeg(dir / "text.jpg", b);
    EXPECT_NE(text.message.find("Not a JPEG file"), std::string::npos) << text.message;

    const IoResult missing = LoadJpeg(dir / "nothing-here.jpg", b);
    EXPECT_NE(missing.message.find("not found"), std::string::npos) << missing.message;
    const IoResult folder = LoadJpeg(dir.Path().string(), b);
    EXPECT_FALSE(folder.ok);
    EXPECT_NE(folder.message.find("folder"), std::string::npos) << folder.message;
}

TEST(ImageIo, JpegHeaderClaimingAHugePhotoIsRefusedBeforeDecoding)
{
    // SOF0 60000 × 60000 with three components, then a scan header and the end: no tables, no data.
    const std::string huge = Bytes({ 0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x11, 0x08, 0xEA, 0x60, 0xEA, 0x60, 0x03, 0x01, 0x11,
                                 0x00, 0x02, 0x11, 0x00, 0x03, 0x11, 0x00 })
        + Bytes({ 0xFF, 0xDA, 0x00, 0x0C, 0x03, 0x01, 0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3F, 0x00 })
        + Bytes({ 0xFF, 0xD9 });
    ScratchDir dir;
    WriteFile(dir / "huge.jpg", huge);
    Bitmap b = Sentinel();
    const auto start = std::chrono::steady_clock::now();
    const IoResult r = LoadJpeg(dir / "huge.jpg", b);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find("too large"), std::string::npos) << r.message;
    EXPECT_LT(seconds, 0.5);
    EXPECT_TRUE(b.SameAs(Sentinel()));
}

TEST(ImageIo, TwelveBitJpegIsUnsupported)
{
    const std::string twelve = Bytes({ 0xFF, 0xD8, 0xFF, 0xC1, 0x00, 0x0B, 0x0C, 0x00, 0x10, 0x00, 0x10, 0x01, 0x01,
        0x11, 0x00, 0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00, 0xFF, 0xD9 });
    Bitmap b = Sentinel();
    const IoResult r = DecodeJpeg(reinterpret_cast<const unsigned char*>(twelve.data()), twelve.size(), b);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find("unsupported"), std::string::npos) << r.message;
    EXPECT_NE(r.message.find("12"), std::string::npos) << r.message;
    EXPECT_TRUE(b.SameAs(Sentinel()));
}

TEST(ImageIo, FailuresCarryTheirCodeDomainAndTheSystemsOwnReason)
{
    ScratchDir dir;
    std::string good;
    ASSERT_TRUE(EncodeJpeg(Gradient(64, 64), { 90, 0 }, good).ok);
    WriteFile(dir / "text.jpg", "this is not a photo\n");
    WriteFile(dir / "cut.jpg", good.substr(0, good.size() / 2));
    WriteFile(dir / "cut.ppm", "P6\n4 4\n255\nabc");
    WriteFile(dir / "huge.ppm", "P6\n70000 70000\n255\n");
    fs::create_directory(dir / "folder.jpg");
    const std::string twelve = Bytes({ 0xFF, 0xD8, 0xFF, 0xC1, 0x00, 0x0B, 0x0C, 0x00, 0x10, 0x00, 0x10, 0x01, 0x01,
        0x11, 0x00, 0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00, 0xFF, 0xD9 });
    const Bitmap image = Gradient(8, 8);
    Bitmap out;
    struct Case {
        const char* name;
        std::function<IoResult()> run;
        ErrorCode code;
        ErrorDomain domain;
        std::string reason; // "" when the failure has no system reason; "*" for libjpeg's or libpng's own words
    };
    const Case cases[] = {
        { "missing", [&] { return LoadJpeg(dir / "none.jpg", out); }, ErrorCode::NotFound, ErrorDomain::File,
            std::strerror(ENOENT) },
        { "folder", [&] { return LoadImage(dir / "folder.jpg", out); }, ErrorCode::NotARegularFile, ErrorDomain::File,
            "" },
        { "not a jpeg", [&] { return LoadJpeg(dir / "text.jpg", out); }, ErrorCode::Corrupt, ErrorDomain::Decode, "*" },
        { "cut jpeg", [&] { return LoadJpeg(dir / "cut.jpg", out); }, ErrorCode::Truncated, ErrorDomain::Decode, "*" },
        { "12-bit",
            [&] { return DecodeJpeg(reinterpret_cast<const unsigned char*>(twelve.data()), twelve.size(), out); },
            ErrorCode::Unsupported, ErrorDomain::Decode, "*" },
        { "not a png", [&] { return LoadPng(dir / "text.jpg", out); }, ErrorCode::Corrupt, ErrorDomain::Decode, "*" },
        { "cut ppm", [&] { return LoadPpm(dir / "cut.ppm", out); }, ErrorCode::Truncated, ErrorDomain::Decode, "" },
        { "huge ppm", [&] { return LoadPpm(dir / "huge.ppm", out); }, ErrorCode::TooLarge, ErrorDomain::Decode, "" },
        { "unknown format", [&] { return LoadImage(dir / "text.jpg", out); }, ErrorCode::UnknownFormat,
            ErrorDomain::Decode, "" },
        { "bad quality",
            [&] {
                return SaveJpeg(dir / "q.jpg", image, { 101, 0 });
            },
            ErrorCode::BadArgument, ErrorDomain::Encode, "" },
        { "unknown extension", [&] { return SaveImage(dir / "a.gif", image); }, ErrorCode::UnknownFormat,
            ErrorDomain::Encode, "" },
        { "no folder", [&] { return SavePng(dir / "none/a.png", image); }, ErrorCode::NotFound, ErrorDomain::File,
            std::strerror(ENOENT) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const IoResult r = c.run();
        ASSERT_FALSE(r.ok);
        EXPECT_EQ(r.error.code, c.code) << r.message;
        EXPECT_EQ(r.error.domain, c.domain);
        if (c.reason == "*") {
            // The library's words, which also end the one-line account.
            EXPECT_FALSE(r.error.reason.empty());
            EXPECT_NE(r.message.find(r.error.reason), std::string::npos) << r.message;
        } else {
            EXPECT_EQ(r.error.reason, c.reason);
        }
    }
    Bitmap huge;
    const IoResult refused = LoadPpm(dir / "huge.ppm", huge);
    EXPECT_EQ(refused.error.width, 70000);
    EXPECT_EQ(refused.error.height, 70000);
}

namespace {

// Writes a PNG of any colour type and depth from 16-bit samples (scaled down for 8-bit files).
void WritePngFile(const std::string& path, int width, int height, int colourType, int depth,
    const std::function<std::vector<int>(int x, int y)>& samples, bool interlaced = false,
    const std::vector<png_color>& palette = {}, const std::vector<png_byte>& alphas = {})
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_IHDR(png, info, width, height, depth, colourType, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
        PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty())
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (!alphas.empty())
        png_set_tRNS(png, info, alphas.data(), static_cast<int>(alphas.size()), nullptr);
    png_write_info(png, info);
    if (depth < 8)
        png_set_packing(png);
    std::vector<std::vector<png_byte>> rows(height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            for (int s : samples(x, y)) {
                if (depth == 16) {
                    rows[y].push_back(static_cast<png_byte>(s >> 8));
                    rows[y].push_back(static_cast<png_byte>(s & 0xFF));
                } else {
                    rows[y].push_back(static_cast<png_byte>(s));
                }
            }
    }
    std::vector<png_bytep> pointers;
    for (auto& r : rows)
        pointers.push_back(r.data());
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
}

} // namespace

TEST(ImageIo, PngOfEveryKindLoadsAs24Bits)
{
    ScratchDir dir;
    Bitmap b;
    // 16-bit RGBA, interlaced: samples scaled to 8 bits, alpha dropped rather than blended.
    WritePngFile(
        dir / "rgba16.png", 9, 7, PNG_COLOR_TYPE_RGB_ALPHA, 16,
        [](int x, int y) {
            return std::vector<int> { x * 0x1010, y * 0x2020, 0xFFFF, x == 0 ? 0 : 0x8000 };
        },
        true);
    ASSERT_TRUE(LoadPng(dir / "rgba16.png", b).ok);
    EXPECT_EQ(b.Pixel(0, 0), (Rgb { 0, 0, 255 }));
    EXPECT_EQ(b.Pixel(3, 2), (Rgb { 0x30, 0x40, 255 }));

    // Palette with a transparent entry.
    WritePngFile(dir / "palette.png", 4, 2, PNG_COLOR_TYPE_PALETTE, 8,
        [](int x, int) { return std::vector<int> { x % 2 }; }, false, { { 10, 20, 30 }, { 200, 100, 50 } }, { 0 });
    ASSERT_TRUE(LoadPng(dir / "palette.png", b).ok);
    EXPECT_EQ(b.Pixel(0, 0), (Rgb { 10, 20, 30 }));
    EXPECT_EQ(b.Pixel(1, 1), (Rgb { 200, 100, 50 }));

    // 1-bit grey and grey with alpha.
    WritePngFile(
        dir / "bits.png", 10, 3, PNG_COLOR_TYPE_GRAY, 1, [](int x, int) { return std::vector<int> { x % 2 }; });
    ASSERT_TRUE(LoadPng(dir / "bits.png", b).ok);
    ASSERT_EQ(b.Width(), 10);
    EXPECT_EQ(b.Pixel(0, 2), kBlack);
    EXPECT_EQ(b.Pixel(9, 2), kWhite);
    WritePngFile(dir / "ga.png", 2, 2, PNG_COLOR_TYPE_GRAY_ALPHA, 8, [](int, int) {
        return std::vector<int> { 77, 10 };
    });
    ASSERT_TRUE(LoadImage(dir / "ga.png", b).ok);
    EXPECT_EQ(b.Pixel(1, 1), (Rgb { 77, 77, 77 }));

    // A PNG cut short is a failure, not a partial picture.
    const std::string whole = ReadFile(dir / "rgba16.png");
    WriteFile(dir / "cut.png", whole.substr(0, whole.size() / 2));
    Bitmap s = Sentinel();
    EXPECT_FALSE(LoadPng(dir / "cut.png", s).ok);
    EXPECT_TRUE(s.SameAs(Sentinel()));
}

TEST(ImageIo, PpmHeaderParsing)
{
    ScratchDir dir;
    Bitmap b;
    // Comments and any whitespace between the numbers; exactly one byte before the raster.
    WriteFile(dir / "c.ppm", "P6 # made by hand\n2\t1\n# maxval next\n255\n" + Bytes({ 1, 2, 3, 4, 5, 6 }));
    IoResult r = LoadPpm(dir / "c.ppm", b);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(b.Pixel(0, 0), (Rgb { 1, 2, 3 }));
    EXPECT_EQ(b.Pixel(1, 0), (Rgb { 4, 5, 6 }));
    // A raster that begins with a whitespace byte value is read as data, not skipped.
    WriteFile(dir / "grey.pgm", "P5\n3 1\n255\n" + Bytes({ 10, ' ', 250 }));
    r = LoadImage(dir / "grey.pgm", b);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(b.Pixel(0, 0), (Rgb { 10, 10, 10 }));
    EXPECT_EQ(b.Pixel(1, 0), (Rgb { 32, 32, 32 }));
    EXPECT_EQ(b.Pixel(2, 0), (Rgb { 250, 250, 250 }));

    const std::pair<const char*, std::string> bad[] = {
        { "maxval", "P6\n1 1\n65535\n" + std::string(6, 'x') },
        { "small-maxval", "P6\n1 1\n15\nabc" },
        { "truncated", "P6\n4 4\n255\n" + std::string(47, 'x') },
        { "absurd", "P6\n99999 99999\n255\n" },
        { "zero", "P6\n0 5\n255\n" },
        { "glued", "P6123 1\n255\nabc" },
        { "letters", "P6\nten 1\n255\nabc" },
        { "ascii", "P3\n1 1\n255\n1 2 3\n" },
    };
    for (const auto& [name, bytes] : bad) {
        SCOPED_TRACE(name);
        WriteFile(dir / "bad.ppm", bytes);
        Bitmap s = Sentinel();
        r = LoadPpm(dir / "bad.ppm", s);
        EXPECT_FALSE(r.ok);
        EXPECT_FALSE(r.message.empty());
        EXPECT_TRUE(s.SameAs(Sentinel()));
    }
    WriteFile(dir / "bad.ppm", "P6\n1 1\n65535\n" + std::string(6, 'x'));
    EXPECT_NE(LoadPpm(dir / "bad.ppm", b).message.find("maxval 65535"), std::string::npos);
}

TEST(ImageIo, FormatsFromContentAndFromName)
{
    ScratchDir dir;
    const Bitmap image = RandomBitmap(4, 4, 1);
    ASSERT_TRUE(SavePng(dir / "png-named.jpg", image).ok);
    ASSERT_TRUE(SaveJpeg(dir / "jpeg-named.png", image).ok);
    ASSERT_TRUE(SavePpm(dir / "ppm-named.txt", image).ok);
    WriteFile(dir / "text.png", "hello");
    EXPECT_EQ(SniffImageFormat(dir / "png-named.jpg"), ImageFormat::Png);
    EXPECT_EQ(SniffImageFormat(dir / "jpeg-named.png"), ImageFormat::Jpeg);
    EXPECT_EQ(SniffImageFormat(dir / "ppm-named.txt"), ImageFormat::Ppm);
    EXPECT_EQ(SniffImageFormat(dir / "text.png"), ImageFormat::Unknown);
    EXPECT_EQ(SniffImageFormat(dir / "missing"), ImageFormat::Unknown);

    Bitmap b;
    EXPECT_TRUE(LoadImage(dir / "png-named.jpg", b).ok);
    EXPECT_TRUE(b.SameAs(image));
    EXPECT_TRUE(LoadImage(dir / "jpeg-named.png", b).ok);
    EXPECT_FALSE(LoadImage(dir / "text.png", b).ok);

    EXPECT_EQ(FormatFromExtension("/a/b/photo.JPG"), ImageFormat::Jpeg);
    EXPECT_EQ(FormatFromExtension("写真.Jpeg"), ImageFormat::Jpeg);
    EXPECT_EQ(FormatFromExtension("x.PNG"), ImageFormat::Png);
    EXPECT_EQ(FormatFromExtension("x.ppm"), ImageFormat::Ppm);
    EXPECT_EQ(FormatFromExtension("x.jpg.bak"), ImageFormat::Unknown);
    EXPECT_EQ(FormatFromExtension("folder.jpg/file"), ImageFormat::Unknown);
    EXPECT_EQ(FormatFromExtension("noext"), ImageFormat::Unknown);
    EXPECT_FALSE(SaveImage(dir / "x.gif", image).ok);
}

namespace {

// Runs a read that must not wait: a read blocked on a named pipe fails the test instead of hanging it, and is let
// go by opening the pipe's other end until it returns.
template <typename Read> auto WithinSeconds(const std::string& fifo, Read read)
{
    auto pending = std::async(std::launch::async, read);
    if (pending.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        ADD_FAILURE() << "the read waited on " << fifo;
        while (pending.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
            if (const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK); fd >= 0)
                ::close(fd);
    }
    return pending.get();
}

} // namespace

TEST(ImageIo, OnlyRegularFilesAreReadAndTheRestIsRefusedAtOnce)
{
    ScratchDir dir;
    const Bitmap image = RandomBitmap(8, 6, 5);
    ASSERT_TRUE(SaveJpeg(dir / "real.jpg", image).ok);
    ASSERT_EQ(::mkfifo((dir / "pipe.jpg").c_str(), 0600), 0);
    fs::create_directory(dir / "folder.jpg");
    fs::create_symlink("/dev/null", dir / "device.jpg");
    fs::create_symlink(dir / "gone.jpg", dir / "dangling.jpg");
    fs::create_symlink(dir / "real.jpg", dir / "linked.jpg");
    struct Case {
        const char* name;
        FileKind kind;
        const char* reason; // in the reader's message; "" for a photo that loads
        const char* window; // the reason the session's open gives
    };
    const Case cases[] = {
        { "pipe.jpg", FileKind::NamedPipe, "is a named pipe, not a file",
            "写真のファイルではありません（名前付きパイプ）" },
        { "folder.jpg", FileKind::Folder, "is a folder, not a file", "写真のファイルではありません（フォルダ）" },
        { "device.jpg", FileKind::Device, "is a device, not a file", "写真のファイルではありません（デバイス）" },
        { "dangling.jpg", FileKind::Missing, "file not found", "ファイルが見つかりません" },
        { "linked.jpg", FileKind::Regular, "", "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir / c.name;
        EXPECT_EQ(KindOfFile(path), c.kind);
        const Bitmap before = SolidBitmap(1, 1, kRed);
        Bitmap loaded = before, jpeg = before;
        const IoResult any = WithinSeconds(path, [&] { return LoadImage(path, loaded); });
        const IoResult decoded = WithinSeconds(path, [&] { return LoadJpeg(path, jpeg); });
        PhotoSession session;
        const OpenOutcome opened = WithinSeconds(path, [&] { return session.open(path, false); });
        if (c.kind == FileKind::Regular) {
            EXPECT_TRUE(any.ok) << any.message;
            EXPECT_TRUE(decoded.ok) << decoded.message;
            EXPECT_TRUE(opened.opened()) << opened.failure;
            EXPECT_EQ(session.photoWidth(), 8);
            continue;
        }
        const IoResult png = WithinSeconds(path, [&] { return LoadPng(path, loaded); });
        const IoResult ppm = WithinSeconds(path, [&] { return LoadPpm(path, loaded); });
        for (const IoResult& r : { any, decoded, png, ppm }) {
            EXPECT_FALSE(r.ok);
            EXPECT_NE(r.message.find(c.reason), std::string::npos) << r.message;
            EXPECT_NE(r.message.find(path), std::string::npos) << r.message;
        }
        EXPECT_EQ(WithinSeconds(path, [&] { return SniffImageFormat(path); }), ImageFormat::Unknown);
        EXPECT_EQ(opened.result, OpenOutcome::NotFound);
        EXPECT_EQ(opened.reason, c.window);
        EXPECT_TRUE(loaded.SameAs(before) && jpeg.SameAs(before));
        EXPECT_FALSE(session.hasPhoto());
    }
}

namespace {

std::vector<std::string> Names(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(ImageIo, AtomicWriteReplacesWholeFilesOnly)
{
    ScratchDir dir;
    const std::string target = dir / "sheet.jpg";
    WriteFile(target, "old contents");

    const mode_t old = ::umask(022);
    ASSERT_TRUE(WriteFileAtomically(target, std::string("new contents")).ok);
    ::umask(old);
    EXPECT_EQ(ReadFile(target), "new contents");
    struct stat st { };
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string> { "sheet.jpg" }); // no temporary left behind

    // A folder in the way of the name: the rename fails, and neither it nor a temporary file is left changed.
    fs::create_directory(dir.Path() / "taken.png");
    const IoResult blocked = SavePng(dir / "taken.png", RandomBitmap(3, 3, 2));
    EXPECT_FALSE(blocked.ok);
    EXPECT_TRUE(fs::is_directory(dir.Path() / "taken.png"));
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string> { "sheet.jpg", "taken.png" }));

    // A missing folder is a failure that says so.
    const IoResult missing = SaveJpeg(dir / "no/such/folder/x.jpg", SolidBitmap(4, 4, kWhite));
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.message.find("does not exist"), std::string::npos) << missing.message;

    EXPECT_FALSE(WriteFileAtomically("", std::string("x")).ok);
    EXPECT_FALSE(WriteFileAtomically(dir / "", std::string("x")).ok);
}

TEST(ImageIo, AtomicWriteIntoReadOnlyFolderLeavesTheOldFile)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind root; the missing-folder case covers the failure path";
    ScratchDir dir;
    const std::string target = dir / "sheet.jpg";
    WriteFile(target, "old contents");
    fs::permissions(dir.Path(), fs::perms::owner_read | fs::perms::owner_exec);
    const IoResult r = SaveJpeg(target, SolidBitmap(8, 8, kWhite));
    fs::permissions(dir.Path(), fs::perms::owner_all);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find("Permission denied"), std::string::npos) << r.message;
    EXPECT_EQ(ReadFile(target), "old contents");
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string> { "sheet.jpg" });
}
