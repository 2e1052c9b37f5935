// Reading the EXIF orientation and applying it to a decoded photo.
#include "image/exif_orientation.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

namespace vellicam {

namespace {

constexpr unsigned kOrientationTag = 0x0112;
constexpr unsigned kShortType = 3;
constexpr std::size_t kEntrySize = 12;

// The TIFF data of the block, read in its own byte order; every read is checked against the end.
class TiffReader {
public:
    TiffReader(const unsigned char* data, std::size_t size, bool bigEndian)
        : data_(data)
        , size_(size)
        , bigEndian_(bigEndian)
    {
    }
    bool Fits(std::size_t offset, std::size_t length) const { return offset <= size_ && length <= size_ - offset; }
    unsigned U16(std::size_t offset) const
    {
        const unsigned a = data_[offset], b = data_[offset + 1];
        return bigEndian_ ? (a << 8) | b : (b << 8) | a;
    }
    std::uint32_t U32(std::size_t offset) const
    {
        const std::uint32_t hi = U16(offset), lo = U16(offset + 2);
        return bigEndian_ ? (hi << 16) | lo : (lo << 16) | hi;
    }

private:
    const unsigned char* data_;
    std::size_t size_;
    bool bigEndian_;
};

} // namespace

int ReadExifOrientation(const unsigned char* data, std::size_t size)
{
    static constexpr unsigned char kExifHeader[6] = { 'E', 'x', 'i', 'f', 0, 0 };
    if (!data || size < sizeof kExifHeader + 8 || std::memcmp(data, kExifHeader, sizeof kExifHeader) != 0)
        return 0;
    const unsigned char* tiff = data + sizeof kExifHeader;
    const std::size_t tiffSize = size - sizeof kExifHeader;
    bool bigEndian;
    if (tiff[0] == 'I' && tiff[1] == 'I')
        bigEndian = false;
    else if (tiff[0] == 'M' && tiff[1] == 'M')
        bigEndian = true;
    else
        return 0;
    const TiffReader reader(tiff, tiffSize, bigEndian);
    if (reader.U16(2) != 42)
        return 0;
    const std::uint32_t directory = reader.U32(4);
    if (!reader.Fits(directory, 2))
        return 0;
    // A directory cut short still yields the entries that lie wholly inside the block.
    const std::size_t entries = std::min<std::size_t>(reader.U16(directory), (tiffSize - directory - 2) / kEntrySize);
    for (std::size_t i = 0; i < entries; ++i) {
        const std::size_t entry = directory + 2 + i * kEntrySize;
        if (reader.U16(entry) != kOrientationTag)
            continue;
        if (reader.U16(entry + 2) != kShortType || reader.U32(entry + 4) != 1)
            return 0;
        // A single SHORT sits in the first two bytes of the value field, in the block's byte order.
        const unsigned value = reader.U16(entry + 8);
        return value >= 1 && value <= 8 ? static_cast<int>(value) : 0;
    }
    return 0;
}

namespace {

void MirrorRows(Bitmap& photo)
{
    const int w = photo.Width();
    for (int y = 0; y < photo.Height(); ++y) {
        std::uint8_t* row = photo.Row(y);
        for (int l = 0, r = w - 1; l < r; ++l, --r)
            std::swap_ranges(row + 3 * l, row + 3 * l + 3, row + 3 * r);
    }
}

void MirrorColumns(Bitmap& photo)
{
    const std::size_t stride = photo.Stride();
    for (int t = 0, b = photo.Height() - 1; t < b; ++t, --b)
        std::swap_ranges(photo.Row(t), photo.Row(t) + stride, photo.Row(b));
}

} // namespace

bool ApplyExifOrientation(Bitmap& photo, int orientation)
{
    if (photo.Empty() || orientation < 2 || orientation > 8)
        return true;
    // The mirrors and the half turn keep the size and are done in place, without a second photo's memory.
    if (orientation == 2 || orientation == 3)
        MirrorRows(photo);
    if (orientation == 3 || orientation == 4)
        MirrorColumns(photo);
    if (orientation <= 4)
        return true;

    // 5..8 exchange rows and columns. Each is a walk over the source: the source pixel of the turned photo's
    // (0, 0), and the source steps (in bytes) for one pixel to the right and one row down in the turned photo.
    const int w = photo.Width(), h = photo.Height();
    const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(photo.Stride()), pixel = 3;
    const std::ptrdiff_t lastRow = row * (h - 1), lastColumn = pixel * (w - 1);
    std::ptrdiff_t start = 0, right = 0, down = 0;
    switch (orientation) {
    case 5: // turned (x, y) = stored (y, x)
        start = 0, right = row, down = pixel;
        break;
    case 6: // turned (x, y) = stored (y, h − 1 − x)
        start = lastRow, right = -row, down = pixel;
        break;
    case 7: // turned (x, y) = stored (w − 1 − y, h − 1 − x)
        start = lastRow + lastColumn, right = -row, down = -pixel;
        break;
    default: // 8: turned (x, y) = stored (w − 1 − y, x)
        start = lastColumn, right = row, down = -pixel;
        break;
    }
    Bitmap turned;
    if (!turned.ResizeUninitialized(h, w))
        return false;
    // In tiles, so that the column walk over the source stays within a few cache lines per row.
    constexpr int kTile = 64;
    const std::uint8_t* source = photo.Data();
    for (int ty = 0; ty < w; ty += kTile) {
        for (int tx = 0; tx < h; tx += kTile) {
            const int yEnd = std::min(ty + kTile, w), xEnd = std::min(tx + kTile, h);
            for (int y = ty; y < yEnd; ++y) {
                std::uint8_t* out = turned.Row(y) + 3 * tx;
                const std::uint8_t* in = source + start + down * y + right * tx;
                for (int x = tx; x < xEnd; ++x, out += 3, in += right) {
                    out[0] = in[0];
                    out[1] = in[1];
                    out[2] = in[2];
                }
            }
        }
    }
    photo = std::move(turned);
    return true;
}

} // namespace vellicam
