// Reading and writing photos and sheets: JPEG through libjpeg-turbo, PNG through libpng, binary PPM (P6).
#pragma once

#include "core/engine_error.h"
#include "image/bitmap.h"
#include "resample/progress.h"

#include <cstddef>
#include <functional>

#include <string>
#include <utility>

namespace vellicam {

enum class ImageFormat { Unknown, Jpeg, Png, Ppm };

// The outcome of a read or a write: ok, or the failure as a value and as one line that names the file and the
// reason (the command line and the error reports print it as it is).
struct IoResult {
    bool ok = false;
    std::string message;
    EngineError error;
    explicit operator bool() const { return ok; }
    static IoResult Success() { return { true, {}, {} }; }
    static IoResult Failure(EngineError error, std::string why) { return { false, std::move(why), std::move(error) }; }
};

// What lies at a path, looked at without opening it (links followed). Every reader below reads regular files only
// and refuses anything else at once with NotARegularFileText's reason: a named pipe would block the open until
// something writes to it, and a device could do anything when opened.
enum class FileKind { Regular, Missing, Unreachable, Folder, NamedPipe, Device, Socket, Other };
// `error` (when given) gets errno for Missing and Unreachable (a permission, a loop of links).
[[nodiscard]] FileKind KindOfFile(const std::string& path, int* error = nullptr);
// The kind of a stat mode.
[[nodiscard]] FileKind FileKindOfMode(unsigned mode);
// Why a path of that kind is not read, in one line ("" for a regular file); `error` as KindOfFile gave it.
[[nodiscard]] std::string NotARegularFileText(const std::string& path, FileKind kind, int error = 0);
// The same as a value: NotFound, CannotOpen with the system's reason, or NotARegularFile (None for a regular file).
[[nodiscard]] EngineError NotARegularFileError(FileKind kind, int error = 0);

// The format of a file from its first bytes (not from its name).
[[nodiscard]] ImageFormat SniffImageFormat(const std::string& path);
// The format a file name asks for: .jpg/.jpeg JPEG, .png PNG, .ppm PPM (case-insensitive), else Unknown.
[[nodiscard]] ImageFormat FormatFromExtension(const std::string& path);

// Decodes a JPEG file at full resolution into a 24-bit bitmap. Grayscale loads as grey, CMYK/YCCK converted to
// RGB, progressive JPEGs load. A header announcing more than kMaxBitmapPixels is refused before any pixel memory
// is allocated; corrupt, truncated or unsupported files are failures with a reason. `out` is left untouched on
// failure. 12-bit JPEGs are refused as unsupported; a file that ends early is a failure, not a half-grey photo.
// The photo comes upright: an EXIF orientation (ReadExifOrientation) is applied, so a phone's portrait stored on
// its side loads standing; a file without the tag, or with a broken EXIF block, loads as stored.
[[nodiscard]] IoResult LoadJpeg(const std::string& path, Bitmap& out, const Progress& progress = {});
// Decodes JPEG data held in memory, with the same rules.
[[nodiscard]] IoResult DecodeJpeg(
    const unsigned char* data, std::size_t size, Bitmap& out, const Progress& progress = {});

// Options for a JPEG written by the program.
struct JpegOptions {
    int quality = 90; // 0..100, passed to the encoder unchanged
    int dpi = 0; // written into the JFIF header as dots per inch when > 0
    std::string comment; // written as a comment segment (COM) after the header when not empty; 65533 bytes at most
};

// Encodes to JPEG and writes the file atomically: the data goes to a temporary file in the same folder, which
// replaces `path` only once it is complete. A failed write leaves no partial file and an existing file
// untouched.
// Refuses an empty bitmap, a quality outside 0..100 and a dpi outside 0..65535.
[[nodiscard]] IoResult SaveJpeg(
    const std::string& path, const Bitmap& bitmap, const JpegOptions& options = {}, const Progress& progress = {});
// Encodes to JPEG in memory, with the same refusals.
[[nodiscard]] IoResult EncodeJpeg(
    const Bitmap& bitmap, const JpegOptions& options, std::string& out, const Progress& progress = {});

// PNG of any bit depth and colour type loads as 24 bits: palettes expanded, grey repeated, 16-bit scaled, alpha
// dropped. `out` is left untouched on failure.
[[nodiscard]] IoResult LoadPng(const std::string& path, Bitmap& out);
[[nodiscard]] IoResult SavePng(const std::string& path, const Bitmap& bitmap);
// Binary PPM (P6) and PGM (P5) with maxval 255 only; other maxvals, absurd sizes and short data are refused.
[[nodiscard]] IoResult LoadPpm(const std::string& path, Bitmap& out);
[[nodiscard]] IoResult SavePpm(const std::string& path, const Bitmap& bitmap);

// True when `path` is a regular JPEG file whose header segments, before the first scan, hold a comment (COM)
// segment that is exactly `comment`. Reads the header only; anything else (a missing file, another kind of file,
// a FIFO, a broken header) is false.
[[nodiscard]] bool JpegHasComment(const std::string& path, const std::string& comment);

// Reads any of the three formats, chosen by content whatever the name says: the one reader of every photo (the
// window, the batch and the command line). What is not a regular file is refused without being opened, a file that
// may not be read says so with the system's reason, and content that is none of the three is UnknownFormat. `out`
// is left untouched on failure. `progress` is reported while a JPEG decodes (it comes upright, as LoadJpeg says).
[[nodiscard]] IoResult LoadImage(const std::string& path, Bitmap& out, const Progress& progress = {});
// Where LoadImageInto puts a photo: told the photo's size (upright) before any pixel is decoded, it makes a canvas
// ready and returns it with the place of the photo's top-left pixel, the photo lying wholly inside it; null refuses.
using PhotoPlacement = std::function<Bitmap*(int width, int height, int& left, int& top)>;
// Reads a photo as LoadImage does, into the canvas `place` gives instead of a bitmap of its own: a JPEG without a turn
// to apply decodes straight into it, anything else is decoded first and drawn there. A refusal of `place` fails with
// ErrorCode::OutOfMemory. On a failure the canvas may hold part of the photo. A photo that decodes straight into the
// canvas tells `rowsPlaced` of its rows [from, to), counted from the photo's top, as they come, on the thread that
// wrote them. One decoder tells them from the top down. With `threads` 2 a second decoder may take the photo's lower
// rows at once: before any row the calling thread tells where that share begins, as the empty range (from, from);
// then each decoder tells its own share from the top down, at the same time. The pixels are the same either way.
using RowsPlaced = std::function<void(int from, int to)>;
[[nodiscard]] IoResult LoadImageInto(const std::string& path, const PhotoPlacement& place,
    const Progress& progress = {}, const RowsPlaced& rowsPlaced = {}, int threads = 1);

// Writes in the format of the file name's extension (JPEG options apply to JPEG only).
[[nodiscard]] IoResult SaveImage(const std::string& path, const Bitmap& bitmap, const JpegOptions& options = {});

// Writes bytes to `path` through a temporary file in the same folder renamed over it when complete. The file is
// created with mode 0644 (less the umask); on failure the temporary file is removed and `path` is untouched.
[[nodiscard]] IoResult WriteFileAtomically(const std::string& path, const std::string& bytes);
[[nodiscard]] IoResult WriteFileAtomically(const std::string& path, const void* bytes, std::size_t size);

// True when `name` has the form of the temporary file WriteFileAtomically writes before its rename: '.', the target's
// name (its first 200 bytes when longer), '.', and six letters or digits. `target` (when given) receives the part
// between the two dots.
[[nodiscard]] bool IsAtomicWriteTemporaryName(const std::string& name, std::string* target = nullptr);

} // namespace vellicam
