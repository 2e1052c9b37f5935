// The head-top scan.
#include "recognition/background_scan.h"

#include "resample/reduce.h"

#include <algorithm>
#include <cstdint>

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
        if (y < hb && lastX >= firstX) {
            if (readable) {
                // Within(v, centre, tolerance) as one unsigned comparison per channel, so the row's loop has no
                // branch.
                const unsigned span = static_cast<unsigned>(std::max(0, 2 * tolerance - 1));
                const int lowR = r - tolerance + 1, lowG = g - tolerance + 1, lowB = bl - tolerance + 1;
                const std::uint8_t* p = bitmap.Row(y) + 3 * firstX;
                const std::uint8_t* const end = bitmap.Row(y) + 3 * (lastX + 1);
                for (; p != end; p += 3)
                    count += static_cast<int>(static_cast<unsigned>(p[2] - lowR) < span)
                        & static_cast<int>(static_cast<unsigned>(p[1] - lowG) < span)
                        & static_cast<int>(static_cast<unsigned>(p[0] - lowB) < span);
            } else if (Within(0, r, tolerance) && Within(0, g, tolerance) && Within(0, bl, tolerance)) {
                count = lastX - firstX + 1;
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
