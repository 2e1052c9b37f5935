// Reading and writing photos and sheets: JPEG through libjpeg-turbo, PNG through libpng, binary PPM (P6).
#pragma once

#include "bitmap.h"

#include <string>

namespace vellicam {

enum class ImageFormat { Unknown, Jpeg, Png, Ppm };

// The outcome of a read or a write: ok, or a one-line reason a person can read.
struct IoResult {
    bool ok = false;
    std::string message;
    explicit operator bool() const { return ok; }
    static IoResult Success() { return { true, {} }; }
    static IoResult Failure(std::string why) { return { false, std::move(why) }; }
};

// The format of a file from its first bytes (not from its name).
[[nodiscard]] ImageFormat SniffImageFormat(const std::string& path);
// The format a file name asks for: .jpg/.jpeg JPEG, .png PNG, .ppm PPM (case-insensitive), else Unknown.
[[nodiscard]] ImageFormat FormatFromExtension(const std::string& path);

// Decodes a JPEG file at full resolution into a 24-bit bitmap. Grayscale loads as grey, CMYK/YCCK converted to
// RGB, progressive JPEGs load. A header announcing more than kMaxBitmapPixels is refused before any pixel memory
// is allocated; corrupt, truncated or unsupported files are failures with a reason. `out` is left untouched on
// failure.
[[nodiscard]] IoResult LoadJpeg(const std::string& path, Bitmap& out);
// Decodes JPEG data held in memory, with the same rules.
[[nodiscard]] IoResult DecodeJpeg(const unsigned char* data, std::size_t size, Bitmap& out);

// Options for a JPEG written by the program.
struct JpegOptions {
    int quality = 90; // 0..100, passed to the encoder unchanged
    int dpi = 0; // written into the JFIF header as dots per inch when > 0
};

// Encodes to JPEG and writes the file atomically: the data goes to a temporary file in the same folder, which
// replaces `path` only once it is complete. A failed write leaves no partial file and an existing file
// untouched.
[[nodiscard]] IoResult SaveJpeg(const std::string& path, const Bitmap& bitmap, const JpegOptions& options = {});
// Encodes to JPEG in memory.
[[nodiscard]] IoResult EncodeJpeg(const Bitmap& bitmap, const JpegOptions& options, std::string& out);

[[nodiscard]] IoResult LoadPng(const std::string& path, Bitmap& out);
[[nodiscard]] IoResult SavePng(const std::string& path, const Bitmap& bitmap);
[[nodiscard]] IoResult LoadPpm(const std::string& path, Bitmap& out);
[[nodiscard]] IoResult SavePpm(const std::string& path, const Bitmap& bitmap);

// Reads any of the three formats, chosen by content.
[[nodiscard]] IoResult LoadImage(const std::string& path, Bitmap& out);
// Writes in the format of the file name's extension (JPEG options apply to JPEG only).
[[nodiscard]] IoResult SaveImage(const std::string& path, const Bitmap& bitmap, const JpegOptions& options = {});

// Writes bytes to `path` through a temporary file in the same folder renamed over it when complete.
[[nodiscard]] IoResult WriteFileAtomically(const std::string& path, const std::string& bytes);

} // namespace vellicam
