// Loading a photo into the workspace and the geometry of showing it.
#include "image/photo.h"

#include "image/image_io.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <system_error>
#include <unistd.h>

namespace vellicam {

std::string NotAPhotoFileText(const std::string& path, FileKind kind, int error)
{
    switch (kind) {
    case FileKind::Regular:
        return {};
    case FileKind::NamedPipe:
        return "写真のファイルではありません（名前付きパイプ）: " + path;
    case FileKind::Device:
        return "写真のファイルではありません（デバイス）: " + path;
    case FileKind::Socket:
        return "写真のファイルではありません（ソケット）: " + path;
    case FileKind::Other:
        return "写真のファイルではありません: " + path;
    case FileKind::Unreachable:
        // Something is there, or may be: "not found" would send the user looking for a file that exists.
        return "ファイルを開けません（" + std::generic_category().message(error) + "）: " + path;
    case FileKind::Missing:
    case FileKind::Folder:
        break;
    }
    // A folder counts as no file, as it always has.
    return "ファイルが見つかりません: " + path;
}

int LoadPhotoFile(const std::string& path, Bitmap& photo, std::string* reason, const Progress& progress)
{
    if (path.empty())
        return 1;
    int error = 0;
    if (const FileKind kind = KindOfFile(path, &error); kind != FileKind::Regular) {
        if (reason)
            *reason = NotAPhotoFileText(path, kind, error);
        return -1;
    }
    // A regular file that may not be read would otherwise come back from the decoder as "not a JPEG". Opening a
    // regular file never waits.
    if (const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC); fd >= 0) {
        ::close(fd);
    } else {
        error = errno;
        if (reason)
            *reason = NotAPhotoFileText(
                path, error == ENOENT || error == ENOTDIR ? FileKind::Missing : FileKind::Unreachable, error);
        return -1;
    }
    Bitmap decoded;
    if (IoResult loaded = LoadJpeg(path, decoded, progress); !loaded) {
        if (reason)
            *reason = "JPEG画像として読み込めません: " + loaded.message;
        return -2;
    }
    photo = std::move(decoded);
    return 0;
}

bool IsLowResolution(int width, int height)
{
    return static_cast<std::int64_t>(width) * height <= 307200;
}

std::string LowResolutionMessage(int width, int height)
{
    char text[256];
    std::snprintf(text, sizeof text,
        "画像解像度が低いので作成画像が荒れる可能性があります。\n\n横ピクセル数:%d 縦ピクセル数: %d", width, height);
    return text;
}

bool SquareTooLarge(int width, int height)
{
    const std::int64_t side = std::max(width, height);
    return side * side > kMaxBitmapPixels;
}

bool BuildSquareBitmap(const Bitmap& photo, Bitmap& square)
{
    if (photo.Empty())
        return false;
    if (&photo == &square) {
        Bitmap copy;
        if (!copy.ResizeUninitialized(photo.Width(), photo.Height()))
            return false;
        Draw(photo, copy, 0, 0);
        return BuildSquareBitmap(copy, square);
    }
    const int w = photo.Width(), h = photo.Height();
    const int side = std::max(w, h);
    if (!square.Resize(side, side))
        return false;
    if (w < h)
        Draw(photo, square, (h - w) / 2, 0);
    else
        Draw(photo, square, 0, (w - h) / 2);
    return true;
}

Size FittedSize(int width, int height, int viewWidth, int viewHeight)
{
    if (width <= 0 || height <= 0 || viewWidth <= 0 || viewHeight <= 0)
        return {};
    // 64 bits: the products of two sides overflow an int for the largest photos.
    const std::int64_t imageW = width, imageH = height, viewW = viewWidth, viewH = viewHeight;
    if (imageW * viewH == viewW * imageH)
        return { viewWidth, viewHeight };
    if (static_cast<double>(width) / height > static_cast<double>(viewWidth) / viewHeight)
        return { viewWidth, static_cast<int>(imageH * viewW / imageW) };
    return { static_cast<int>(viewH * imageW / imageH), viewHeight };
}

} // namespace vellicam
