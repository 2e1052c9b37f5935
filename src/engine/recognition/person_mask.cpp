// The person mask over an image and what the program reads from it.
#include "recognition/person_mask.h"

#include "recognition/detector_files.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>
#include <vector>

namespace vellicam {

namespace {

using i64 = std::int64_t;

// Below this sum of channels a reduced pixel counts as the black around a photo (JPEG noise stays under it).
constexpr int kBlackSum = 12;
// The soft edge kept around a region, in mask pixels.
constexpr int kEdgeReach = 2;
// Mask values below this count as sure background when the old background's colour is measured.
constexpr int kSureBackground = 16;
// The old background's colour is the mean of the sure background within this many mask pixels.
constexpr int kBackgroundRadius = 8;

int FloorDiv(int a, int b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// Box sums over a plane of w × h values, radius r, by running sums along rows then columns.
std::vector<i64> BoxSum(const std::vector<i64>& plane, int w, int h, int r)
{
    std::vector<i64> rows(plane.size()), out(plane.size());
    for (int y = 0; y < h; ++y) {
        const i64* in = plane.data() + static_cast<std::size_t>(y) * w;
        i64* o = rows.data() + static_cast<std::size_t>(y) * w;
        i64 sum = 0;
        for (int x = 0; x < std::min(r, w); ++x)
            sum += in[x];
        for (int x = 0; x < w; ++x) {
            if (x + r < w)
                sum += in[x + r];
            if (x - r - 1 >= 0)
                sum -= in[x - r - 1];
            o[x] = sum;
        }
    }
    for (int x = 0; x < w; ++x) {
        i64 sum = 0;
        for (int y = 0; y < std::min(r, h); ++y)
            sum += rows[static_cast<std::size_t>(y) * w + x];
        for (int y = 0; y < h; ++y) {
            if (y + r < h)
                sum += rows[static_cast<std::size_t>(y + r) * w + x];
            if (y - r - 1 >= 0)
                sum -= rows[static_cast<std::size_t>(y - r - 1) * w + x];
            out[static_cast<std::size_t>(y) * w + x] = sum;
        }
    }
    return out;
}

} // namespace

int PersonMask::ToMaskX(int x) const
{
    return FloorDiv(x - left, scale);
}
int PersonMask::ToMaskY(int y) const
{
    return FloorDiv(y - top, scale);
}

int MaskPictureFactor(int width, int height, int longSide)
{
    return std::max(1, (std::max(width, height) + longSide - 1) / longSide);
}

bool MakeMaskPicture(const Bitmap& image, int longSide, MaskPicture& out)
{
    if (image.Empty() || longSide < 1)
        return false;
    const int W = image.Width(), H = image.Height();
    const int f = MaskPictureFactor(W, H, longSide);
    const int w = (W + f - 1) / f, h = (H + f - 1) / f;
    Bitmap reduced;
    if (!reduced.ResizeUninitialized(w, h))
        return false;
    // Each reduced pixel is the mean of its block; the blocks of the last row and column may be short.
    std::vector<std::uint32_t> sums(static_cast<std::size_t>(w) * 3);
    for (int by = 0; by < h; ++by) {
        std::fill(sums.begin(), sums.end(), 0u);
        const int y0 = by * f, y1 = std::min(H, y0 + f);
        for (int y = y0; y < y1; ++y) {
            const std::uint8_t* p = image.Row(y);
            std::uint32_t* s = sums.data();
            // Block by block, so that no pixel pays for a division.
            for (int bx = 0; bx < w; ++bx, s += 3) {
                const int n = std::min(f, W - bx * f);
                std::uint32_t b = 0, g = 0, r = 0;
                for (int i = 0; i < n; ++i, p += 3) {
                    b += p[0];
                    g += p[1];
                    r += p[2];
                }
                s[0] += b;
                s[1] += g;
                s[2] += r;
            }
        }
        std::uint8_t* o = reduced.Row(by);
        for (int bx = 0; bx < w; ++bx) {
            const std::uint32_t n = static_cast<std::uint32_t>((y1 - y0) * (std::min(W, bx * f + f) - bx * f));
            for (int c = 0; c < 3; ++c)
                o[3 * bx + c] = static_cast<std::uint8_t>((sums[3 * static_cast<std::size_t>(bx) + c] + n / 2) / n);
        }
    }
    return CutMaskPicture(reduced, f, out);
}

bool CutMaskPicture(const Bitmap& reduced, int f, MaskPicture& out)
{
    const int w = reduced.Width(), h = reduced.Height();
    int x1 = w, y1 = h, x2 = -1, y2 = -1;
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = reduced.Row(y);
        for (int x = 0; x < w; ++x)
            if (row[3 * x] + row[3 * x + 1] + row[3 * x + 2] > kBlackSum) {
                x1 = std::min(x1, x);
                x2 = std::max(x2, x);
                y1 = std::min(y1, y);
                y2 = std::max(y2, y);
            }
    }
    if (x2 < 0)
        return false;
    Bitmap cut;
    if (!cut.ResizeUninitialized(x2 - x1 + 1, y2 - y1 + 1))
        return false;
    CopyRect(reduced, { x1, y1, x2 + 1, y2 + 1 }, cut, 0, 0);
    out.picture = std::move(cut);
    out.scale = f;
    out.left = x1 * f;
    out.top = y1 * f;
    return true;
}

int ComputePersonMask(FaceDetector& detector, const Bitmap& image, PersonMask& mask)
{
    if (!detector.HasPersonMask())
        return kPersonMaskNotSupported;
    MaskPicture picture;
    try {
        if (!MakeMaskPicture(image, kPersonMaskLongSide, picture))
            return kPersonMaskNothingToSegment;
    } catch (const std::bad_alloc&) {
        return kPersonMaskFailed;
    }
    return ComputePersonMask(detector, picture, mask);
}

int ComputePersonMask(FaceDetector& detector, const MaskPicture& picture, PersonMask& mask)
{
    if (!detector.HasPersonMask())
        return kPersonMaskNotSupported;
    if (picture.picture.Empty())
        return kPersonMaskNothingToSegment;
    std::vector<std::uint8_t> values;
    int status = 0;
    if (detector.PersonMask(picture.picture, 1, values, status) != kDetectorOk)
        return kPersonMaskFailed;
    if (status == -2 || status == -3)
        return kPersonMaskNoModel;
    if (status != 0)
        return kPersonMaskFailed;
    mask.width = picture.picture.Width();
    mask.height = picture.picture.Height();
    mask.scale = picture.scale;
    mask.left = picture.left;
    mask.top = picture.top;
    mask.values = std::move(values);
    return kPersonMaskOk;
}

bool KeepRegionAt(PersonMask& mask, int x, int y)
{
    const int sx = mask.ToMaskX(x), sy = mask.ToMaskY(y);
    if (mask.At(sx, sy) < kPersonThreshold)
        return false;
    const int w = mask.width, h = mask.height;
    // 0: not reached, 1: the region, 2: its soft edge.
    std::vector<std::uint8_t> mark(mask.values.size(), 0);
    const auto joins = [&](int px, int py) {
        const std::size_t i = static_cast<std::size_t>(py) * static_cast<std::size_t>(w) + static_cast<std::size_t>(px);
        return mark[i] == 0 && mask.values[i] >= kPersonThreshold;
    };
    // The region, four-connected, filled a run of a row at a time; each run seeds the runs touching it above and
    // below. Its bounding box limits the soft edge's growth below.
    int left = sx, right = sx, top = sy, bottom = sy;
    std::vector<std::pair<int, int>> seeds { { sx, sy } };
    while (!seeds.empty()) {
        const auto [x, y] = seeds.back();
        seeds.pop_back();
        if (!joins(x, y))
            continue;
        int l = x, r = x;
        while (l > 0 && joins(l - 1, y))
            --l;
        while (r + 1 < w && joins(r + 1, y))
            ++r;
        std::fill_n(mark.begin() + static_cast<std::ptrdiff_t>(y) * w + l, r - l + 1, std::uint8_t { 1 });
        left = std::min(left, l);
        right = std::max(right, r);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
        for (const int ny : { y - 1, y + 1 }) {
            if (ny < 0 || ny >= h)
                continue;
            bool inRun = false;
            for (int nx = l; nx <= r; ++nx) {
                const bool joined = joins(nx, ny);
                if (joined && !inRun)
                    seeds.emplace_back(nx, ny);
                inRun = joined;
            }
        }
    }
    // The soft edge: pixels below the threshold within kEdgeReach of the region, by repeated growth; each step
    // reaches one pixel further than the region's box.
    for (int step = 0; step < kEdgeReach; ++step) {
        std::vector<std::uint8_t> grown = mark;
        const int y0 = std::max(0, top - step - 1), y1 = std::min(h - 1, bottom + step + 1);
        const int x0 = std::max(0, left - step - 1), x1 = std::min(w - 1, right + step + 1);
        for (int py = y0; py <= y1; ++py)
            for (int px = x0; px <= x1; ++px) {
                const std::size_t i = static_cast<std::size_t>(py * w + px);
                if (mark[i] != 0 || mask.values[i] >= kPersonThreshold)
                    continue;
                const bool near = (px > 0 && mark[i - 1]) || (px + 1 < w && mark[i + 1]) || (py > 0 && mark[i - w])
                    || (py + 1 < h && mark[i + w]);
                if (near)
                    grown[i] = 2;
            }
        mark = std::move(grown);
    }
    for (std::size_t i = 0; i < mark.size(); ++i)
        if (mark[i] == 0)
            mask.values[i] = 0;
    return true;
}

int FaceCentreColumn(const FaceLandmarks& p)
{
    const i64 eyes = (static_cast<i64>(p.leftEyeX) + p.rightEyeX) / 2;
    if (!p.hasSides || p.rightSideX <= p.leftSideX)
        return static_cast<int>(eyes);
    // The face's horizontal extent: its outline's sides, and the chin where a tilted head carries it beyond one.
    const i64 left = std::min(p.leftSideX, p.chinX), right = std::max(p.rightSideX, p.chinX);
    const i64 sides = (left + right) / 2;
    return static_cast<int>((eyes + sides) / 2);
}

int HeadTopFromMask(const PersonMask& region, const FaceLandmarks& p)
{
    constexpr double kCrownRise = 0.15;
    constexpr double kCrownWidth = 0.75;
    if (region.Empty())
        return -1;
    const int eyeRow = (p.leftEyeY + p.rightEyeY) / 2;
    const int eyeToChin = p.chinY - eyeRow;
    if (eyeToChin <= 0)
        return -1;
    const int my0 = region.ToMaskY(eyeRow);
    const int mx1 = region.ToMaskX(std::min(p.leftEyeX, p.rightEyeX));
    const int mx2 = region.ToMaskX(std::max(p.leftEyeX, p.rightEyeX));
    std::vector<int> tops; // the highest row each column between the eyes reaches
    std::vector<int> topOf(static_cast<std::size_t>(std::max(0, mx2 - mx1 + 1)), my0 + 1);
    for (int mx = mx1; mx <= mx2; ++mx) {
        if (region.At(mx, my0) < kPersonThreshold)
            continue;
        int my = my0;
        while (my > 0 && region.At(mx, my - 1) >= kPersonThreshold)
            --my;
        tops.push_back(my);
        topOf[static_cast<std::size_t>(mx - mx1)] = my;
    }
    // Most of the columns between the eyes must be the person's at eye level, or the region is not this face; a
    // region that runs into the mask's top edge anywhere between them is not believed either.
    std::sort(tops.begin(), tops.end());
    if (static_cast<int>(tops.size()) * 2 <= mx2 - mx1 + 1 || tops.front() <= 0)
        return -1;
    // The crown is nearly level between the eyes: a few columns reaching far above the others run on into something
    // that touches the head (a cockpit's canopy, a cap's strap, a neighbour's shoulder) and are left out. The head
    // top is the highest of the columns' tops that lie within kCrownRise eye-to-chin heights of their median.
    const int median = tops[tops.size() / 2];
    const int allowed = static_cast<int>(kCrownRise * eyeToChin) / region.scale;
    int best = *std::lower_bound(tops.begin(), tops.end(), median - allowed);
    // A crown is round: kCrownRise below its highest point the region is already about as wide as the eyes lie apart
    // (kCrownWidth of that). A top that stays narrower is something touching the head that the model took for hair
    // (the edge of a cockpit's canopy over the hair); the head's top is where the region widens to a head's.
    const int apex = mx1 + static_cast<int>(std::find(topOf.begin(), topOf.end(), best) - topOf.begin());
    const auto widthAt = [&](int my) {
        int l = apex, r = apex;
        while (region.At(l - 1, my) >= kPersonThreshold)
            --l;
        while (region.At(r + 1, my) >= kPersonThreshold)
            ++r;
        return r - l + 1;
    };
    const int headWidth = static_cast<int>(kCrownWidth * (mx2 - mx1 + 1));
    if (best + allowed < my0 && widthAt(best + allowed) < headWidth) {
        int my = best + allowed;
        while (my < my0 && widthAt(my) < headWidth)
            ++my;
        best = my;
    }
    const int top = region.ToImageY(best);
    const i64 rise = static_cast<i64>(eyeRow) - top;
    if (rise * 10 < static_cast<i64>(eyeToChin) * 8 || rise * 10 > static_cast<i64>(eyeToChin) * 25)
        return -1;
    return top;
}

bool OtherPersonInFrame(
    const PersonMask& all, const PersonMask& region, const Rect& frame, const std::vector<ImagePoint>& otherFaces)
{
    for (const ImagePoint& face : otherFaces)
        if (region.At(region.ToMaskX(face.x), region.ToMaskY(face.y)) >= kPersonThreshold)
            return true;
    if (all.Empty() || frame.Width() <= 0 || frame.Height() <= 0)
        return false;
    const int mx1 = all.ToMaskX(frame.left), mx2 = all.ToMaskX(frame.right - 1);
    const int my1 = all.ToMaskY(frame.top), my2 = all.ToMaskY(frame.bottom - 1);
    i64 others = 0, area = 0;
    for (int my = my1; my <= my2; ++my)
        for (int mx = mx1; mx <= mx2; ++mx) {
            ++area;
            if (all.At(mx, my) >= kPersonThreshold && region.At(mx, my) < kPersonThreshold)
                ++others;
        }
    return area > 0 && others * 50 >= area;
}

bool NeighbourMergedInRegion(const PersonMask& region, const FaceLandmarks& points, const Rect& frame)
{
    if (region.Empty() || region.scale < 1 || !points.hasSides || frame.Width() <= 0 || frame.Height() <= 0)
        return false;
    const int halfWidth = (points.rightSideX - points.leftSideX) / 2;
    const int eyeToChin = points.chinY - (points.leftEyeY + points.rightEyeY) / 2;
    if (halfWidth <= 0 || eyeToChin <= 0)
        return false;
    const int centre = FaceCentreColumn(points);
    const int reach = static_cast<int>(kHeadReach * halfWidth);
    const int my1 = region.ToMaskY(std::max(frame.top, 0));
    const int myEyes = region.ToMaskY(std::min(points.leftEyeY, points.rightEyeY));
    const int first = region.ToMaskX(frame.left), last = region.ToMaskX(frame.right - 1);
    if (last < first)
        return false;
    // The region's outline over the frame: the highest row of each column from the frame's top down to the eyes
    // (myEyes where it stays below them).
    std::vector<int> tops(static_cast<std::size_t>(last - first + 1), myEyes);
    for (int mx = first; mx <= last; ++mx)
        for (int my = my1; my < myEyes; ++my)
            if (region.At(mx, my) >= kPersonThreshold) {
                tops[static_cast<std::size_t>(mx - first)] = my;
                break;
            }
    const auto top = [&](int mx) { return tops[static_cast<std::size_t>(mx - first)]; };
    const auto beside = [&](int mx) {
        const int x = region.left + mx * region.scale + region.scale / 2;
        return std::abs(x - centre) > reach;
    };
    const int centreColumn = std::clamp(region.ToMaskX(centre), first, last);
    int crown = myEyes; // the head's own top, within its reach
    for (int mx = first; mx <= last; ++mx)
        if (!beside(mx))
            crown = std::min(crown, top(mx));
    const int depth = std::max(1, static_cast<int>(kLobeDepth * eyeToChin) / region.scale);
    const int allowedGap = static_cast<int>(kSideGap * halfWidth) / region.scale;

    // Columns beside the head where the region rises above the eyes, running in from a side of the frame or from
    // close to it (the photo's edge or a turn's corner may come first): a neighbour comes in from the side, where
    // a raised hand stays clear of it. They are somebody else when they rise above the head's own top, or when the
    // outline dips between them and the head: a person's own hair falls from the crown to the side without rising
    // again, and an arm behind the head stays below its top.
    const auto neighbourAt = [&](int from, int step) {
        int mx = from, lobeTop = myEyes, count = 0, gap = 0;
        for (; mx >= first && mx <= last && beside(mx) && top(mx) >= myEyes; mx += step)
            if (mx >= 0 && mx < region.width && ++gap > allowedGap)
                return false;
        for (; mx >= first && mx <= last && beside(mx) && top(mx) < myEyes; mx += step, ++count)
            lobeTop = std::min(lobeTop, top(mx));
        if (count < kMergedColumns)
            return false;
        if (lobeTop < crown)
            return true;
        int valley = lobeTop;
        for (; mx != centreColumn + step && mx >= first && mx <= last; mx += step)
            valley = std::max(valley, top(mx));
        return valley - lobeTop >= depth;
    };
    return neighbourAt(first, 1) || neighbourAt(last, -1);
}

bool ReplaceBackground(Bitmap& image, const PersonMask& region, Rgb colour)
{
    if (image.Empty() || region.Empty() || region.scale < 1
        || region.values.size() != static_cast<std::size_t>(region.width) * static_cast<std::size_t>(region.height))
        return false;
    const int mw = region.width, mh = region.height, s = region.scale;
    const std::size_t n = region.values.size();

    // The old background's colour near each mask pixel: the mean of the image over the sure background within
    // kBackgroundRadius, or over all of it where none is near.
    std::vector<i64> weight(n), sum[3] = { std::vector<i64>(n), std::vector<i64>(n), std::vector<i64>(n) };
    i64 total[4] = {};
    for (int my = 0; my < mh; ++my)
        for (int mx = 0; mx < mw; ++mx) {
            const std::size_t i = static_cast<std::size_t>(my) * mw + mx;
            if (region.values[i] >= kSureBackground)
                continue;
            const int x = std::clamp(region.left + mx * s + s / 2, 0, image.Width() - 1);
            const int y = std::clamp(region.top + my * s + s / 2, 0, image.Height() - 1);
            const std::uint8_t* p = image.Row(y) + 3 * x;
            weight[i] = 1;
            for (int c = 0; c < 3; ++c) {
                sum[c][i] = p[c];
                total[c] += p[c];
            }
            ++total[3];
        }
    const std::vector<i64> w = BoxSum(weight, mw, mh, kBackgroundRadius);
    std::vector<std::uint8_t> old(n * 3);
    for (int c = 0; c < 3; ++c) {
        const std::vector<i64> box = BoxSum(sum[c], mw, mh, kBackgroundRadius);
        const i64 fallback = total[3] > 0 ? total[c] / total[3] : 0;
        for (std::size_t i = 0; i < n; ++i)
            old[3 * i + c] = static_cast<std::uint8_t>(w[i] > 0 ? box[i] / w[i] : fallback);
    }

    // 65536 / α, so that the person's colour costs a multiply and a shift rather than a division per pixel.
    std::array<std::int32_t, 256> inverse {};
    for (int a = 1; a < 256; ++a)
        inverse[static_cast<std::size_t>(a)] = (255 * 65536 + a / 2) / a;
    const int target[3] = { colour.b, colour.g, colour.r };
    const auto value = [&](int mx, int my) {
        mx = std::clamp(mx, 0, mw - 1);
        my = std::clamp(my, 0, mh - 1);
        return static_cast<std::size_t>(my) * mw + mx;
    };
    for (int y = 0; y < image.Height(); ++y) {
        std::uint8_t* row = image.Row(y);
        // Bilinear between mask pixel centres, in 1/256 steps.
        const int fy = ((y - region.top) * 256 + 128) / s - 128;
        const int my = FloorDiv(fy, 256), ty = fy - my * 256;
        for (int x = 0; x < image.Width(); ++x) {
            const int fx = ((x - region.left) * 256 + 128) / s - 128;
            const int mx = FloorDiv(fx, 256), tx = fx - mx * 256;
            const std::size_t i00 = value(mx, my), i10 = value(mx + 1, my), i01 = value(mx, my + 1),
                              i11 = value(mx + 1, my + 1);
            const int top = region.values[i00] * (256 - tx) + region.values[i10] * tx;
            const int bottom = region.values[i01] * (256 - tx) + region.values[i11] * tx;
            const int alpha = (top * (256 - ty) + bottom * ty + 32768) >> 16;
            std::uint8_t* p = row + 3 * x;
            if (alpha >= 255)
                continue;
            if (alpha <= 0) {
                p[0] = static_cast<std::uint8_t>(target[0]);
                p[1] = static_cast<std::uint8_t>(target[1]);
                p[2] = static_cast<std::uint8_t>(target[2]);
                continue;
            }
            const std::uint8_t* b = old.data() + 3 * value((mx + (tx >= 128)), (my + (ty >= 128)));
            for (int c = 0; c < 3; ++c) {
                // F = (C − (1 − α)·B) / α, kept within 0..255; out = α·F + (1 − α)·colour.
                const int person = std::clamp(static_cast<int>(((static_cast<i64>(p[c]) * 255 - (255 - alpha) * b[c])
                                                                   * inverse[static_cast<std::size_t>(alpha)])
                                                  >> 16)
                        / 255,
                    0, 255);
                p[c] = static_cast<std::uint8_t>((alpha * person + (255 - alpha) * target[c] + 127) / 255);
            }
        }
    }
    return true;
}

int PlainBackground(Bitmap& photo, const std::string& programFolder, Rgb colour, std::string* reason)
{
    const auto fail = [reason](int code, std::string why) {
        if (reason)
            *reason = std::move(why);
        return code;
    };
    if (photo.Empty())
        return fail(kPersonMaskNothingToSegment, "an empty photo");
    const DetectorFiles files = FindDetectorFiles(programFolder);
    FaceDetector detector;
    if (files.library.empty() || detector.Load(files.library) != kDetectorOk)
        return fail(kPersonMaskNotSupported, files.library + ": " + detector.Reason());
    PersonModelState state = PersonModelState::NotSupported;
    if (detector.LoadPersonModel(files.personModel, state) != kDetectorOk || state == PersonModelState::NotSupported)
        return fail(kPersonMaskNotSupported, files.library + ": the library has no person mask");
    if (state != PersonModelState::Ready)
        return fail(kPersonMaskNoModel,
            files.personModel + (state == PersonModelState::Missing ? ": no such file" : ": not a person model"));
    PersonMask mask;
    if (const int rc = ComputePersonMask(detector, photo, mask); rc != kPersonMaskOk)
        return fail(rc, rc == kPersonMaskNothingToSegment ? "nothing to segment" : "the person mask failed");
    // The person whose face the frame holds: the strongest mask value on the centre column around the face.
    const int x = photo.Width() / 2;
    int seedY = -1, best = kPersonThreshold - 1;
    for (int y = photo.Height() * 3 / 10; y < photo.Height() * 7 / 10; ++y) {
        const int v = mask.At(mask.ToMaskX(x), mask.ToMaskY(y));
        if (v > best) {
            best = v;
            seedY = y;
        }
    }
    if (seedY < 0 || !KeepRegionAt(mask, x, seedY))
        return fail(kPersonMaskNothingToSegment, "no person in the middle of the photo");
    if (!ReplaceBackground(photo, mask, colour))
        return fail(kPersonMaskFailed, "the background could not be replaced");
    return kPersonMaskOk;
}

} // namespace vellicam
