#include "qt_bitmap.h"

#include <cstring>

namespace vellicam {

QImage ToQImage(const Bitmap& bitmap)
{
    if (bitmap.Empty())
        return {};
    QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_BGR888);
    if (image.isNull())
        return {};
    for (int y = 0; y < bitmap.Height(); ++y)
        std::memcpy(image.scanLine(y), bitmap.Row(y), bitmap.Stride());
    return image;
}

QImage ToKeyedQImage(const Bitmap& bitmap, Rgb key)
{
    if (bitmap.Empty())
        return {};
    QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    for (int y = 0; y < bitmap.Height(); ++y) {
        const std::uint8_t* p = bitmap.Row(y);
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < bitmap.Width(); ++x, p += 3) {
            const bool see = p[0] == key.b && p[1] == key.g && p[2] == key.r;
            out[x] = see ? 0u : qRgb(p[2], p[1], p[0]);
        }
    }
    return image;
}

bool FromQImage(const QImage& image, Bitmap& bitmap)
{
    const QImage bgr = image.convertToFormat(QImage::Format_BGR888);
    Bitmap out;
    if (!out.ResizeUninitialized(bgr.width(), bgr.height()))
        return false;
    for (int y = 0; y < out.Height(); ++y)
        std::memcpy(out.Row(y), bgr.constScanLine(y), out.Stride());
    bitmap = std::move(out);
    return true;
}

} // namespace vellicam
