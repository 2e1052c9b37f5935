// The hand-drawn head line.
#include "geometry/head_line.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>

namespace vellicam {

namespace {

// "%f" without the C library's locale: the window's locale must not turn the point into a comma.
std::string Fixed6(double v)
{
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 6);
    if (ec != std::errc {})
        return {};
    return std::string(buffer, end);
}

} // namespace

HeadLineAngle EvaluateHeadLine(int sx, int sy, int x, int y)
{
    const double dx = static_cast<double>(x) - sx;
    const double dy = static_cast<double>(sy) - y; // upwards positive
    HeadLineAngle line;
    if (std::fabs(dx) <= 0.1) {
        line.vertical = true;
        line.angle = dy >= 0 ? 90.0 : -90.0;
        return line;
    }
    double angle;
    if (dx > 0) {
        if (dy * 10000 > dx || -dy * 10000 > dx)
            angle = std::atan(dy / dx) * 180 / kHeadLinePi;
        else
            angle = 0;
    } else {
        if (dy * 10000 > -dx)
            angle = std::atan(dy / dx) * 180 / kHeadLinePi + 180;
        else if (-dy * 10000 > -dx)
            angle = std::atan(dy / dx) * 180 / kHeadLinePi - 180;
        else
            angle = 180;
    }
    // The three-decimal cut goes through single precision on purpose: the proposals for tilts near a whole degree
    // depend on exactly this rounding, and on the single-precision 0.001 that is slightly above one thousandth.
    const float thousandths = static_cast<float>(angle * 1000);
    line.angle = static_cast<double>(static_cast<std::int64_t>(thousandths)) * static_cast<double>(0.001f);
    line.rotationProposal = -10 * static_cast<int>(std::trunc(line.angle)) - 900;
    return line;
}

int RotationProposalOf(int sx, int sy, int ex, int ey)
{
    const HeadLineAngle line = EvaluateHeadLine(sx, sy, ex, ey);
    return line.vertical ? 0 : line.rotationProposal;
}

std::string HeadLineStatusText(const HeadLineAngle& line)
{
    if (line.vertical)
        return Fixed6(line.angle);
    return "R*10=" + std::to_string(line.rotationProposal);
}

std::string LinePointsText(int sx, int sy, int x, int y)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "(%d,%d)-(%d,%d)", sx, sy, x, y);
    return buffer;
}

std::string RotationQuestionText(int rotationProposal)
{
    return "角度が" + Fixed6(rotationProposal * 0.1) + "度あります。回転させますか？";
}

int AngleAfterProposal(int rotationAngle, int rotationProposal)
{
    return static_cast<int>((static_cast<std::int64_t>(rotationAngle) - rotationProposal) % 3600);
}

int FrameFromLine(const HeadLineFrameInput& in, ControlBounds& frame)
{
    const std::int64_t c = in.cellImageHeight;
    const std::int64_t face = c - in.headTopMargin - in.chinMargin;
    if (c <= 0 || face <= 0)
        return kHeadLineFrameBadCell;
    if (in.aspectWidth <= 0 || in.aspectHeight <= 0)
        return kHeadLineFrameBadAspect;

    std::int64_t h = (static_cast<std::int64_t>(in.ey) - in.sy) * c / face;
    // The top comes from the height before the minimum: a short line keeps its top at the head top's margin.
    const std::int64_t top = in.sy - in.headTopMargin * h / c;
    if (h < static_cast<std::int64_t>(in.minHeight) + 1)
        h = static_cast<std::int64_t>(in.minHeight) + 1;
    std::int64_t w = in.aspectWidth * h / in.aspectHeight;
    if (w < static_cast<std::int64_t>(in.minWidth) + 1)
        w = static_cast<std::int64_t>(in.minWidth) + 1;
    const std::int64_t left = in.sx + (static_cast<std::int64_t>(in.ex) - in.sx) / 2 - w / 2;

    const std::int64_t placedLeft = left - in.scrollX, placedTop = top - in.scrollY;
    constexpr std::int64_t lo = std::numeric_limits<int>::min(), hi = std::numeric_limits<int>::max();
    for (const std::int64_t v : { w, h, placedLeft, placedTop })
        if (v < lo || v > hi)
            return kHeadLineFrameTooLarge;
    frame = { static_cast<int>(placedLeft), static_cast<int>(placedTop), static_cast<int>(w), static_cast<int>(h) };
    return kHeadLineFramePlaced;
}

} // namespace vellicam
