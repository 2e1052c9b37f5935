// The decisions of an automatic recognition run.
#include "recognition/recognition_rules.h"

#include "resample/rotate.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <numbers>

namespace vellicam {

namespace {

using i64 = std::int64_t;

// How far the face's centre column lies from the image's vertical centre line.
i64 CentreDistance(const FaceRect& face, int imageWidth)
{
    return std::llabs(face.x1 + (static_cast<i64>(face.x2) - face.x1) / 2 - imageWidth / 2);
}

bool CentreBelowMiddle(const FaceRect& face, int imageHeight)
{
    return imageHeight / 2 < face.y1 + (static_cast<i64>(face.y2) - face.y1) / 2;
}

} // namespace

bool NeedsRedetection(int candidateCount, const FaceRect& face, int imageWidth, int imageHeight, bool upperHalfOnly,
    bool plausible, bool confirmed)
{
    const bool none = candidateCount <= 0;
    // A confirmed face that is the only candidate and reaches into the upper half stands low because the photo was
    // taken so (a close-up's face fills its middle): the second pass would find it again and nothing else. One wholly
    // in the lower half may be a badge or a print the detector took for a face, below the real one it missed.
    const bool lowAlone = confirmed && candidateCount == 1 && 2 * static_cast<i64>(face.y1) < imageHeight;
    const bool low = upperHalfOnly && CentreBelowMiddle(face, imageHeight) && !lowAlone;
    const bool offCentre = !confirmed && CentreDistance(face, imageWidth) > imageWidth / 10;
    return none || low || !plausible || offCentre;
}

int ChooseCandidate(std::span<const FaceRect> candidates, int imageWidth, int imageHeight, bool upperHalfOnly,
    const std::function<bool(const FaceRect&)>& plausible)
{
    int best = -1;
    // A candidate this far off is never taken; no image the detector reads is that wide.
    i64 bestDistance = 100000;
    const std::size_t count = std::min(candidates.size(), static_cast<std::size_t>(kMaxCandidates));
    for (std::size_t i = 0; i < count; ++i) {
        const FaceRect& c = candidates[i];
        if (plausible && !plausible(c))
            continue;
        if (upperHalfOnly && CentreBelowMiddle(c, imageHeight))
            continue;
        const i64 distance = CentreDistance(c, imageWidth);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<int>(i);
        }
    }
    return best;
}

int ChinStripTop(const FaceRect& face, int imageHeight)
{
    const int fh = face.y2 - face.y1;
    int chinStripTop = face.y1 + fh / 2;
    if (chinStripTop + fh > imageHeight)
        chinStripTop = imageHeight - fh;
    return chinStripTop;
}

bool AcceptChin(int chinStripTop, int cy1, int cy2, const FaceRect& face)
{
    const i64 centre = static_cast<i64>(chinStripTop) + cy1 + (static_cast<i64>(cy2) - cy1) / 2;
    const i64 fh = static_cast<i64>(face.y2) - face.y1;
    return centre >= face.y2 && centre <= face.y2 + fh / 4;
}

int LevellingAngle(int lx, int ly, int rx, int ry)
{
    const double dx = static_cast<double>(rx) - lx, dy = static_cast<double>(ry) - ly;
    if (dx <= 0)
        return 0;
    // y grows downwards: a positive angle is a line falling to the right, a head turned clockwise on the screen,
    // which the opposite turn levels.
    const double degrees = std::atan2(dy, dx) * 180.0 / std::numbers::pi;
    return -static_cast<int>(std::lround(degrees * 10));
}

std::string LevellingText(int tenths)
{
    return "傾き補正 " + RotationAngleText(tenths) + "度";
}

bool IsNotRecognised(const FaceRect& face, int candidateCount, int imageWidth, int imageHeight, bool confirmed)
{
    if (face == FaceRect {} || candidateCount <= 0)
        return true;
    if (confirmed)
        return false;
    const i64 fw = static_cast<i64>(face.x2) - face.x1, fh = static_cast<i64>(face.y2) - face.y1;
    return fw * 100 > static_cast<i64>(imageWidth) * 50 && fh * 100 > static_cast<i64>(imageHeight) * 50;
}

std::string FaceAnnotationLine(std::string_view listFolder, std::string_view imagePath, int fw, int fh)
{
    // Lexically: the list and the image are named from the same folder text, so no file system is needed, and a
    // relative form ("../x.jpg") only where the two have a common start.
    const std::filesystem::path image(imagePath);
    const std::filesystem::path relative = image.lexically_proximate(std::filesystem::path(listFolder));
    std::string line = relative.empty() ? std::string(imagePath) : relative.string();
    line += " 1 0 0 " + std::to_string(fw) + " " + std::to_string(fh) + "\n";
    return line;
}

std::string DetectorFailedMessage(int status)
{
    return "自動認識処理が失敗しました。(" + std::to_string(status) + ")";
}

} // namespace vellicam
