// The head-top scan.
#include "recognition/background_scan.h"

#include "resample/reduce.h"

#include <algorithm>

namespace vellicam {

namespace {

bool Within(int value, int centre, int tolerance)
{
    return centre - tolerance < value && value < centre + tolerance;
}

} // namespace

HeadTopScan ScanHeadTop(int a, int b, int y0, const Bitmap& bitmap, int tolerance, int ratio, bool usePickedColour,
    Rgb pickedColour, const Progress& progress)
{
    const int wb = bitmap.Width(), hb = bitmap.Height();
    // The pixel planes the scan has always read from hold at most 9600 × 9600 and stay black for larger images;
    // reading such a bitmap as black keeps the outcome the same without copying it into a plane.
    const bool readable = wb <= kMaxPlaneSide && hb <= kMaxPlaneSide;
    auto pixel = [&](int x, int y) { return readable ? bitmap.Pixel(x, y) : kBlack; };
    auto inside = [&](int x, int y) { return x >= 0 && x < wb && y >= 0 && y < hb; };

    HeadTopScan scan;
    scan.sx = std::max(std::min(a, wb - 1), 0);
    scan.sy = std::max(std::min(y0, hb - 1), 0);
    if (usePickedColour) {
        scan.background = pickedColour;
    } else {
        scan.background = inside(scan.sx, scan.sy) ? pixel(scan.sx, scan.sy) : kBlack;
        scan.sampled = true;
    }
    const int r = scan.background.r, g = scan.background.g, bl = scan.background.b;
    // Against a dark background the head's hair cannot be told from it; the face top is the best guess.
    if (r < 64 && g < 64 && bl < 64) {
        scan.row = y0;
        return scan;
    }

    // n counts the strip as the caller gave it, before any limiting, so columns beyond the image still weigh in
    // the share.
    const long long n = static_cast<long long>(b) - a + 1;
    const int firstX = std::max(scan.sx, 0);
    const long long lastX = std::min<long long>(static_cast<long long>(scan.sx) + n - 1, wb - 1);
    for (int y = y0; y >= 0; --y) {
        if ((y0 - y) % 64 == 63)
            Report(progress);
        long long count = 0;
        if (y < hb) {
            for (long long x = firstX; x <= lastX; ++x) {
                const Rgb c = pixel(static_cast<int>(x), y);
                if (Within(c.r, r, tolerance) && Within(c.g, g, tolerance) && Within(c.b, bl, tolerance))
                    ++count;
            }
        }
        if (count == 0 || count * 100 / n > ratio) {
            scan.row = y;
            return scan;
        }
    }
    scan.row = y0 < 0 ? y0 : 0;
    return scan;
}

} // namespace vellicam
