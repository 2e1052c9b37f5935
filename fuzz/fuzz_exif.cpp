// ReadExifOrientation on arbitrary APP1 payloads, and the turn it selects applied to a small bitmap: the value is
// 0..8, nothing is read outside the payload, a turn keeps every pixel, and its inverse brings the bitmap back.
#include "fuzz_support.h"
#include "image/exif_orientation.h"

using namespace vellicam;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const int orientation = ReadExifOrientation(data, size);
    FUZZ_CHECK(orientation >= 0 && orientation <= 8);

    // A bitmap shaped by the input, small enough to keep the run fast.
    const int w = 1 + (size > 0 ? data[0] % 23 : 0), h = 1 + (size > 1 ? data[1] % 17 : 0);
    Bitmap original;
    if (!original.Resize(w, h))
        return 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            original.SetPixel(x, y, { static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 7 });
    Bitmap turned = original;
    FUZZ_CHECK(ApplyExifOrientation(turned, orientation));
    const bool swaps = orientation >= 5;
    FUZZ_CHECK(turned.Width() == (swaps ? h : w));
    FUZZ_CHECK(turned.Height() == (swaps ? w : h));
    // Every value but the quarter turns undoes itself; 6 and 8 undo each other.
    const int inverse = orientation == 6 ? 8 : orientation == 8 ? 6 : orientation;
    FUZZ_CHECK(ApplyExifOrientation(turned, inverse));
    FUZZ_CHECK(turned.SameAs(original));
    return 0;
}
