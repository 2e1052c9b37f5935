// Bringing a photo into the workspace: decoding a JPEG by its content, the low-resolution warning, the black square
// the photo is centred on, and the size at which an image fits the square view.
#pragma once

#include "image/bitmap.h"
#include "image/image_io.h"
#include "resample/progress.h"

#include <string>

namespace vellicam {

struct Size {
    int width = 0, height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

// Decodes the JPEG file at `path` at full resolution into `photo`. Returns 0 on success, 1 for an empty path
// (nothing done), -1 when no regular file is at `path` or it cannot be opened (a folder counts as none; a named pipe
// or a device is refused without being opened, so it cannot hang the load), -2 when the file cannot be decoded as
// JPEG: only the content decides, whatever the name says. On -1 and -2 `reason` (when given) receives a line for
// the status bar and `photo` is left as it was. The photo comes upright: its EXIF orientation is applied (LoadJpeg).
[[nodiscard]] int LoadPhotoFile(
    const std::string& path, Bitmap& photo, std::string* reason, const Progress& progress = {});

// The status bar's line for a path that holds no photo file of that kind (KindOfFile): what is there instead, that
// nothing is, or, for a path that cannot be reached (a loop of links, a folder that may not be entered), the
// system's reason (`error`, errno as KindOfFile gave it).
[[nodiscard]] std::string NotAPhotoFileText(const std::string& path, FileKind kind, int error = 0);

// Photos of 640 × 480 pixels and fewer make rough prints.
[[nodiscard]] bool IsLowResolution(int width, int height);
// The information text shown when such a photo is loaded.
[[nodiscard]] std::string LowResolutionMessage(int width, int height);

// True when the working square of a width × height photo (side = the longer side) would exceed the largest bitmap
// the engine allocates: such a photo can be decoded but not worked on.
[[nodiscard]] bool SquareTooLarge(int width, int height);

// Makes `square` a black square whose side is the photo's longer side, with the photo centred in it along that
// side's cross axis (halves truncated). Refuses an empty photo; false also when the memory cannot be had, in which
// case `square` may have lost its old content.
[[nodiscard]] bool BuildSquareBitmap(const Bitmap& photo, Bitmap& square);

// The size at which a width × height image is shown inside a viewWidth × viewHeight view, keeping its aspect ratio:
// one side fills the view, the other is truncated. 0 × 0 when any side is not positive.
[[nodiscard]] Size FittedSize(int width, int height, int viewWidth, int viewHeight);

} // namespace vellicam
