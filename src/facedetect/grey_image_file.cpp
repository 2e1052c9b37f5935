#include "grey_image_file.h"

#include <cctype>
#include <csetjmp>
#include <cstdio>
#include <memory>

#include <jpeglib.h>

namespace vellicam::facedetect {

namespace {

constexpr long kMaxSide = 1L << 20;
constexpr long long kMaxPixels = 1LL << 30;

bool SizeAllowed(long width, long height)
{
    return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide
        && static_cast<long long>(width) * height <= kMaxPixels;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// One of the PGM header's numbers, after any white space and comments, and the one character that ends it.
bool ReadHeaderNumber(std::FILE* f, long& value)
{
    int c = std::fgetc(f);
    for (;;) {
        if (c == '#') {
            while (c != '\n' && c != '\r' && c != EOF)
                c = std::fgetc(f);
            if (c == EOF)
                return false;
            c = std::fgetc(f);
        } else if (c != EOF && std::isspace(c)) {
            c = std::fgetc(f);
        } else {
            break;
        }
    }
    if (c == EOF || !std::isdigit(c))
        return false;
    value = 0;
    int digits = 0;
    while (c != EOF && std::isdigit(c)) {
        if (++digits > 9)
            return false;
        value = value * 10 + (c - '0');
        c = std::fgetc(f);
    }
    return c != EOF && std::isspace(c);
}

cv::Mat ReadPgm(std::FILE* f)
{
    long width = 0, height = 0, maxval = 0;
    if (!ReadHeaderNumber(f, width) || !ReadHeaderNumber(f, height) || !ReadHeaderNumber(f, maxval))
        return {};
    if (maxval != 255 || !SizeAllowed(width, height))
        return {};
    cv::Mat grey(static_cast<int>(height), static_cast<int>(width), CV_8UC1);
    for (int y = 0; y < grey.rows; ++y)
        if (std::fread(grey.ptr(y), 1, grey.cols, f) != static_cast<size_t>(grey.cols))
            return {};
    return grey;
}

struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf back;
};

void LeaveDecoding(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->back, 1);
}

// Corrupt-data warnings are not the caller's to read; the decoder carries on as it would.
void IgnoreMessage(j_common_ptr) { }

// libjpeg leaves an error by a long jump, so the two steps that may jump hold nothing that needs destroying: the
// header, which gives the picture's size, and the rows, written into a picture allocated between the two.
bool ReadJpegHeader(jpeg_decompress_struct& info, JpegErrors& errors, std::FILE* f, int scaleDenominator)
{
    if (setjmp(errors.back))
        return false;
    jpeg_stdio_src(&info, f);
    jpeg_read_header(&info, TRUE);
    info.scale_num = 1;
    info.scale_denom = static_cast<unsigned>(scaleDenominator);
    jpeg_calc_output_dimensions(&info);
    return true;
}

bool ReadJpegRows(jpeg_decompress_struct& info, JpegErrors& errors, unsigned char* pixels, size_t step)
{
    if (setjmp(errors.back))
        return false;
    info.out_color_space = JCS_GRAYSCALE;
    info.out_color_components = 1;
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels + step * info.output_scanline;
        if (jpeg_read_scanlines(&info, &row, 1) != 1)
            return false;
    }
    return true;
}

// Decodes with libjpeg's defaults (accurate integer DCT, smooth upsampling), taking only the luminance.
cv::Mat ReadJpeg(std::FILE* f, int scaleDenominator)
{
    jpeg_decompress_struct info {};
    JpegErrors errors {};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = LeaveDecoding;
    errors.manager.output_message = IgnoreMessage;
    jpeg_create_decompress(&info);
    cv::Mat grey;
    // Four components are CMYK or YCCK, which this reader leaves alone.
    if (ReadJpegHeader(info, errors, f, scaleDenominator) && info.num_components != 4
        && SizeAllowed(info.output_width, info.output_height)) {
        grey.create(static_cast<int>(info.output_height), static_cast<int>(info.output_width), CV_8UC1);
        if (!ReadJpegRows(info, errors, grey.ptr(), grey.step))
            grey.release();
    }
    jpeg_destroy_decompress(&info);
    return grey;
}

} // namespace

cv::Mat ReadGreyImage(const std::string& path, int scaleDenominator)
{
    if (scaleDenominator != 1 && scaleDenominator != 2 && scaleDenominator != 4 && scaleDenominator != 8)
        return {};
    const File file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return {};
    unsigned char magic[3] = {};
    if (std::fread(magic, 1, 3, file.get()) != 3)
        return {};
    if (magic[0] == 'P' && magic[1] == '5' && std::isspace(magic[2])) {
        std::ungetc(magic[2], file.get());
        return ReadPgm(file.get());
    }
    if (magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF) {
        std::rewind(file.get());
        return ReadJpeg(file.get(), scaleDenominator);
    }
    return {};
}

} // namespace vellicam::facedetect
