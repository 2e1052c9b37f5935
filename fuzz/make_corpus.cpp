// Writes the fuzzers' seed files and the bad-input files from code, so that each committed sample can be made
// again and its making read: fuzz_make_corpus SEEDS_FOLDER BAD_FOLDER (tests/fuzz/corpus and tests/data/bad).
#include "image/bitmap.h"
#include "image/image_io.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

using namespace vellicam;
namespace fs = std::filesystem;

namespace {

using Bytes = std::string;

void Put(const fs::path& path, const Bytes& bytes)
{
    fs::create_directories(path.parent_path());
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

// A smooth picture with some edges, so that every block has AC coefficients and the scans are not trivial.
std::uint8_t Sample(int x, int y, int channel)
{
    return static_cast<std::uint8_t>((x * (3 + channel) + y * (5 - channel) + ((x / 4 + y / 4) % 2) * 90) & 0xFF);
}

enum class JpegKind { Baseline, Subsampled, Grey, Progressive, Cmyk, Ycck, Restart, Arithmetic, Optimised };

// Encodes a w × h picture with libjpeg directly, for the kinds the engine's own encoder does not write.
Bytes MakeJpeg(int w, int h, JpegKind kind, int quality = 75)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(w);
    cinfo.image_height = static_cast<JDIMENSION>(h);
    const bool grey = kind == JpegKind::Grey;
    const bool four = kind == JpegKind::Cmyk || kind == JpegKind::Ycck;
    cinfo.input_components = grey ? 1 : four ? 4 : 3;
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : four ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    switch (kind) {
    case JpegKind::Baseline:
        // 4:4:4: every component at full resolution.
        for (int c = 0; c < 3; ++c)
            cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
        break;
    case JpegKind::Progressive:
        jpeg_simple_progression(&cinfo);
        break;
    case JpegKind::Cmyk:
        jpeg_set_colorspace(&cinfo, JCS_CMYK); // writes the Adobe marker
        break;
    case JpegKind::Ycck:
        jpeg_set_colorspace(&cinfo, JCS_YCCK);
        break;
    case JpegKind::Restart:
        cinfo.restart_interval = 2;
        break;
    case JpegKind::Arithmetic:
        cinfo.arith_code = TRUE;
        break;
    case JpegKind::Optimised:
        cinfo.optimize_coding = TRUE;
        break;
    case JpegKind::Subsampled:
    case JpegKind::Grey:
        break;
    }
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(w) * cinfo.input_components);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < cinfo.input_components; ++c)
                row[static_cast<std::size_t>(x) * cinfo.input_components + c] = Sample(x, y, c);
        JSAMPROW rows[1] = { row.data() };
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes bytes(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return bytes;
}

// Where the first marker of `type` starts, or npos.
std::size_t FindMarker(const Bytes& jpeg, unsigned char type)
{
    for (std::size_t i = 2; i + 1 < jpeg.size(); ++i)
        if (static_cast<unsigned char>(jpeg[i]) == 0xFF && static_cast<unsigned char>(jpeg[i + 1]) == type)
            return i;
    return std::string::npos;
}

// Where the entropy-coded data of the first scan starts.
std::size_t ScanDataStart(const Bytes& jpeg)
{
    const std::size_t sos = FindMarker(jpeg, 0xDA);
    const std::size_t length
        = (static_cast<unsigned char>(jpeg[sos + 2]) << 8) | static_cast<unsigned char>(jpeg[sos + 3]);
    return sos + 2 + length;
}

struct PngSpec {
    int w, h, colourType, depth;
    bool interlaced;
};

void PngWrite(png_structp png, png_bytep data, png_size_t length)
{
    static_cast<Bytes*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}
void PngFlush(png_structp) { }

Bytes MakePng(const PngSpec& spec)
{
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        std::fprintf(stderr, "PNG encoding failed\n");
        std::exit(1);
    }
    png_set_write_fn(png, &out, PngWrite, PngFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(spec.w), static_cast<png_uint_32>(spec.h), spec.depth,
        spec.colourType, spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
        PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    if (spec.colourType == PNG_COLOR_TYPE_PALETTE) {
        for (int i = 0; i < (1 << spec.depth); ++i)
            palette.push_back(
                { static_cast<png_byte>(i * 37), static_cast<png_byte>(i * 91), static_cast<png_byte>(255 - i) });
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    }
    png_write_info(png, info);
    const int channels = spec.colourType == PNG_COLOR_TYPE_RGB ? 3
        : spec.colourType == PNG_COLOR_TYPE_RGB_ALPHA          ? 4
        : spec.colourType == PNG_COLOR_TYPE_GRAY_ALPHA         ? 2
                                                               : 1;
    const std::size_t rowBytes = (static_cast<std::size_t>(spec.w) * channels * spec.depth + 7) / 8;
    std::vector<std::vector<png_byte>> rows(spec.h, std::vector<png_byte>(rowBytes));
    for (int y = 0; y < spec.h; ++y)
        for (std::size_t i = 0; i < rowBytes; ++i)
            rows[y][i] = Sample(static_cast<int>(i), y, 0);
    std::vector<png_bytep> pointers;
    for (auto& row : rows)
        pointers.push_back(row.data());
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes Ppm(const std::string& header, int pixelBytes)
{
    Bytes bytes = header;
    for (int i = 0; i < pixelBytes; ++i)
        bytes += static_cast<char>(Sample(i, i / 7, i % 3));
    return bytes;
}

Bytes SolidJpeg(int w, int h)
{
    Bitmap bitmap;
    if (!bitmap.Resize(w, h))
        std::exit(1);
    Fill(bitmap, { 200, 180, 160 });
    std::string out;
    if (!EncodeJpeg(bitmap, { 75, 0 }, out))
        std::exit(1);
    return out;
}

Bytes FlipBit(Bytes bytes, std::size_t at, int bit)
{
    bytes[at] = static_cast<char>(bytes[at] ^ (1 << bit));
    return bytes;
}

// An APP1 EXIF payload whose first directory holds an unrelated entry and then the orientation, in either byte order.
Bytes ExifOrientationPayload(int orientation, bool bigEndian)
{
    Bytes bytes("Exif\0\0", 6);
    const auto put16 = [&](unsigned v) {
        const char hi = static_cast<char>((v >> 8) & 0xFF), lo = static_cast<char>(v & 0xFF);
        bytes += bigEndian ? hi : lo;
        bytes += bigEndian ? lo : hi;
    };
    const auto put32 = [&](unsigned v) {
        put16(bigEndian ? v >> 16 : v & 0xFFFF);
        put16(bigEndian ? v & 0xFFFF : v >> 16);
    };
    bytes += bigEndian ? "MM" : "II";
    put16(42);
    put32(8);
    put16(2);
    put16(0x0100); // image width, a LONG
    put16(4);
    put32(1);
    put32(640);
    put16(0x0112); // orientation, a SHORT in the value field's first two bytes
    put16(3);
    put32(1);
    put16(static_cast<unsigned>(orientation));
    put16(0);
    put32(0);
    return bytes;
}

// The JPEG with an APP1 block holding `payload` right after its start marker.
Bytes WithApp1(const Bytes& jpeg, const Bytes& payload)
{
    Bytes segment = "\xFF\xE1";
    segment += static_cast<char>(((payload.size() + 2) >> 8) & 0xFF);
    segment += static_cast<char>((payload.size() + 2) & 0xFF);
    return jpeg.substr(0, 2) + segment + payload + jpeg.substr(2);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: fuzz_make_corpus SEEDS_FOLDER BAD_FOLDER\n");
        return 2;
    }
    const fs::path seeds = argv[1];
    const fs::path bad = argv[2];

    // ---- Seeds: small valid files of every kind each reader takes ----
    const std::vector<std::pair<std::string, Bytes>> jpegs = {
        { "baseline-444.jpg", MakeJpeg(24, 16, JpegKind::Baseline) },
        { "baseline-420.jpg", MakeJpeg(33, 17, JpegKind::Subsampled) },
        { "grey.jpg", MakeJpeg(16, 24, JpegKind::Grey) },
        { "progressive.jpg", MakeJpeg(24, 16, JpegKind::Progressive) },
        { "cmyk-adobe.jpg", MakeJpeg(16, 16, JpegKind::Cmyk) },
        { "ycck.jpg", MakeJpeg(16, 16, JpegKind::Ycck) },
        { "restart.jpg", MakeJpeg(40, 16, JpegKind::Restart) },
        { "arithmetic.jpg", MakeJpeg(16, 16, JpegKind::Arithmetic) },
        { "optimised.jpg", MakeJpeg(16, 8, JpegKind::Optimised) },
        { "one-pixel.jpg", MakeJpeg(1, 1, JpegKind::Subsampled) },
    };
    for (const auto& [name, bytes] : jpegs) {
        Put(seeds / "fuzz_jpeg" / name, bytes);
    }
    // Photos stored on their side: the decoder turns them upright.
    Put(seeds / "fuzz_jpeg" / "exif-orientation-6-ii.jpg", WithApp1(jpegs[1].second, ExifOrientationPayload(6, false)));
    Put(seeds / "fuzz_jpeg" / "exif-orientation-7-mm.jpg", WithApp1(jpegs[0].second, ExifOrientationPayload(7, true)));
    // The orientation reader on its own: both byte orders, a value out of range, a directory cut short.
    Put(seeds / "fuzz_exif" / "orientation-6-ii.bin", ExifOrientationPayload(6, false));
    Put(seeds / "fuzz_exif" / "orientation-8-mm.bin", ExifOrientationPayload(8, true));
    Put(seeds / "fuzz_exif" / "orientation-9-mm.bin", ExifOrientationPayload(9, true));
    Put(seeds / "fuzz_exif" / "cut-directory-ii.bin", ExifOrientationPayload(3, false).substr(0, 30));
    const std::vector<std::pair<std::string, PngSpec>> pngs = {
        { "rgb8.png", { 12, 9, PNG_COLOR_TYPE_RGB, 8, false } },
        { "rgba8.png", { 7, 5, PNG_COLOR_TYPE_RGB_ALPHA, 8, false } },
        { "rgb16-interlaced.png", { 9, 9, PNG_COLOR_TYPE_RGB, 16, true } },
        { "grey1.png", { 13, 3, PNG_COLOR_TYPE_GRAY, 1, false } },
        { "grey-alpha16.png", { 5, 4, PNG_COLOR_TYPE_GRAY_ALPHA, 16, false } },
        { "palette4.png", { 10, 6, PNG_COLOR_TYPE_PALETTE, 4, true } },
    };
    for (const auto& [name, spec] : pngs)
        Put(seeds / "fuzz_png" / name, MakePng(spec));
    const std::vector<std::pair<std::string, Bytes>> ppms = {
        { "p6.ppm", Ppm("P6\n4 3\n255\n", 36) },
        { "p5.ppm", Ppm("P5 5 2 255 ", 10) },
        { "comments.ppm", Ppm("P6 # made by hand\n2 #w\n# h next\n2\n255\n", 12) },
        { "maxval-65535.ppm", Ppm("P6\n1 1\n65535\n", 6) },
    };
    for (const auto& [name, bytes] : ppms)
        Put(seeds / "fuzz_ppm" / name, bytes);
    Put(seeds / "fuzz_image_sniff" / "baseline.jpg", jpegs[1].second);
    Put(seeds / "fuzz_image_sniff" / "rgb8.png", MakePng(pngs[0].second));
    Put(seeds / "fuzz_image_sniff" / "p6.ppm", ppms[0].second);
    Put(seeds / "fuzz_image_sniff" / "p5.ppm", ppms[1].second);

    // ---- Bad inputs for the command line ----
    const Bytes photo = MakeJpeg(64, 48, JpegKind::Subsampled, 90);
    Put(bad / "empty.jpg", "");
    Put(bad / "text.jpg", "This is not a photograph.\n");
    Put(bad / "truncated-header.jpg", photo.substr(0, FindMarker(photo, 0xC4) + 10));
    const std::size_t scan = ScanDataStart(photo);
    Put(bad / "truncated-scan-start.jpg", photo.substr(0, scan + 4));
    Put(bad / "truncated-mid-scan.jpg", photo.substr(0, scan + (photo.size() - 2 - scan) / 2));
    Put(bad / "missing-eoi.jpg", photo.substr(0, photo.size() - 2));
    Put(bad / "trailing-garbage.jpg", photo + "trailing bytes after the end of the image");
    // Deterministic flips: in the frame header's height, in a Huffman table, and twice in the scan data.
    const std::size_t sof = FindMarker(photo, 0xC0);
    Put(bad / "bitflip-sof-height.jpg", FlipBit(photo, sof + 5, 7));
    Put(bad / "bitflip-huffman-table.jpg", FlipBit(photo, FindMarker(photo, 0xC4) + 8, 3));
    Put(bad / "bitflip-scan-early.jpg", FlipBit(photo, scan + 5, 0));
    Put(bad / "bitflip-scan-late.jpg", FlipBit(photo, photo.size() - 20, 6));
    // A frame header that claims 60000 × 60000 pixels, and then the end of the image.
    const unsigned char huge[] = { 0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x11, 0x08, 0xEA, 0x60, 0xEA, 0x60, 0x03, 0x01, 0x22,
        0x00, 0x02, 0x11, 0x01, 0x03, 0x11, 0x01, 0xFF, 0xD9 };
    Put(bad / "huge-60000x60000-no-scan.jpg", Bytes(reinterpret_cast<const char*>(huge), sizeof huge));
    // The same claim in a complete file, so that the header is read to its end and the size itself is refused.
    {
        Bytes claim = photo;
        for (std::size_t at : { sof + 5, sof + 7 }) {
            claim[at] = static_cast<char>(0xEA);
            claim[at + 1] = static_cast<char>(0x60);
        }
        Put(bad / "huge-60000x60000.jpg", claim);
    }
    Put(bad / "one-pixel.jpg", MakeJpeg(1, 1, JpegKind::Subsampled));
    Put(bad / "wide-9601x20.jpg", SolidJpeg(9601, 20));
    Put(bad / "grey.jpg", MakeJpeg(48, 64, JpegKind::Grey));
    Put(bad / "cmyk-adobe.jpg", MakeJpeg(48, 64, JpegKind::Cmyk));
    Put(bad / "progressive.jpg", MakeJpeg(48, 64, JpegKind::Progressive));
    // 12-bit samples: an extended frame header (SOF1) with precision 12. The decoder stops at the header.
    {
        Bytes twelve = MakeJpeg(16, 16, JpegKind::Baseline);
        const std::size_t at = FindMarker(twelve, 0xC0);
        twelve[at + 1] = static_cast<char>(0xC1);
        twelve[at + 4] = 12;
        Put(bad / "twelve-bit.jpg", twelve);
    }
    // Start of image, an EXIF segment and the end of image: metadata without any picture.
    {
        Bytes exif = "\xFF\xD8\xFF\xE1";
        const Bytes body = Bytes("Exif\0\0", 6) + Bytes("MM\0\x2A\0\0\0\x08\0\0", 10);
        exif += static_cast<char>((body.size() + 2) >> 8);
        exif += static_cast<char>((body.size() + 2) & 0xFF);
        exif += body;
        exif += "\xFF\xD9";
        Put(bad / "exif-only.jpg", exif);
    }
    // Arithmetic coding lets an encoder leave out trailing zero data and the decoder supply it, so a scan cut
    // short before an intact end-of-image marker reads as complete: this one loads, its lower half garbled.
    {
        const Bytes arithmetic = MakeJpeg(64, 48, JpegKind::Arithmetic, 90);
        const std::size_t start = ScanDataStart(arithmetic);
        Put(bad / "arithmetic-cut-before-eoi.jpg",
            arithmetic.substr(0, start + (arithmetic.size() - 2 - start) / 2) + "\xFF\xD9");
    }
    Put(bad / "png-named.jpg", MakePng({ 20, 10, PNG_COLOR_TYPE_RGB, 8, false }));
    Put(bad / "huge-header.ppm", Ppm("P6\n100000 100000\n255\n", 30));
    Put(bad / "short-raster.ppm", Ppm("P6\n20000 10000\n255\n", 30));
    return 0;
}
