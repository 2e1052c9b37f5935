// LoadPpm on arbitrary bytes written to a scratch file. Besides the reader's own rules, a P6 file that loads
// must give back exactly the pixels it holds: the last width × height × 3 bytes, red-green-blue.
#include "fuzz_support.h"
#include "image/image_io.h"

using namespace vellicam;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static fuzz::ScratchFile file(".ppm");
    if (!file.Write(data, size))
        return 0;
    Bitmap bitmap = fuzz::Sentinel();
    const IoResult loaded = LoadPpm(file.Path(), bitmap);
    if (!loaded) {
        FUZZ_CHECK(!loaded.message.empty());
        FUZZ_CHECK(fuzz::IsSentinel(bitmap));
        return 0;
    }
    fuzz::CheckDecoded(bitmap);
    FUZZ_CHECK(size >= 3 && data[0] == 'P' && (data[1] == '6' || data[1] == '5'));
    const std::size_t channels = data[1] == '6' ? 3 : 1;
    const std::size_t raster = static_cast<std::size_t>(bitmap.Width()) * bitmap.Height() * channels;
    FUZZ_CHECK(raster < size);
    // The raster follows the header, and bytes after it are allowed. Wherever the header ends, some offset of the
    // file must hold exactly the pixels read: a reader that swaps channels, skips a byte after the header or
    // expands grey wrongly fails this.
    const auto matchesAt = [&](std::size_t offset) {
        const std::uint8_t* p = data + offset;
        for (int y = 0; y < bitmap.Height(); ++y)
            for (int x = 0; x < bitmap.Width(); ++x, p += channels) {
                const Rgb pixel = bitmap.Pixel(x, y);
                const Rgb expected = channels == 3 ? Rgb { p[0], p[1], p[2] } : Rgb { p[0], p[0], p[0] };
                if (!(pixel == expected))
                    return false;
            }
        return true;
    };
    bool found = false;
    // "P6 1 1 255 " is the shortest header: the raster starts at byte 7 at the earliest.
    for (std::size_t offset = 7; !found && offset + raster <= size; ++offset)
        found = matchesAt(offset);
    FUZZ_CHECK(found);
    return 0;
}
