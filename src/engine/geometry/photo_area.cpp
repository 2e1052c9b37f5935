// The photo's own pixels in the working square, and a frame moved onto them.
#include "geometry/photo_area.h"

#include <algorithm>
#include <cmath>

namespace vellicam {

namespace {

constexpr double kPi = 3.14159265358979323846;

// How far the frame's centre may lie from the area's centre along the area's own axes, for a frame of w × h: the
// half sides less the frame's half extent along each axis. Negative when the frame cannot fit that way.
struct Room {
    double across = 0, down = 0;
};

Room RoomFor(double w, double h, const PhotoArea& area, double c, double s)
{
    const double ac = std::abs(c), as = std::abs(s);
    return { area.halfWidth - (w * ac + h * as) / 2, area.halfHeight - (w * as + h * ac) / 2 };
}

} // namespace

PhotoArea PhotoAreaOnView(int photoWidth, int photoHeight, int angle, int viewSide, double inset)
{
    const int side = std::max(photoWidth, photoHeight);
    if (photoWidth < 1 || photoHeight < 1 || viewSide < 1)
        return {};
    const double scale = static_cast<double>(viewSide) / side;
    const int turn = (angle % 3600 + 3600) % 3600;
    PhotoArea area;
    if (turn % 900 != 0) {
        area.centreX = area.centreY = viewSide / 2.0;
        area.halfWidth = std::max(0.0, photoWidth * scale / 2 - inset);
        area.halfHeight = std::max(0.0, photoHeight * scale / 2 - inset);
        area.degrees = turn / 10.0;
        return area;
    }
    // Upright or a quarter turn: the photo lies axis-aligned, centred as the square is padded (halves truncated).
    const bool across = (turn / 900) % 2 == 1;
    const int shownWidth = across ? photoHeight : photoWidth;
    const int shownHeight = across ? photoWidth : photoHeight;
    const int padX = (side - shownWidth) / 2, padY = (side - shownHeight) / 2;
    // A quarter turn samples one row or column beyond the photo on the square's edge, which reads black.
    const bool edgeIsPhoto = turn == 0;
    const double left = padX * scale + (padX > 0 || !edgeIsPhoto ? inset : 0);
    const double right = (padX + shownWidth) * scale - (padX + shownWidth < side || !edgeIsPhoto ? inset : 0);
    const double top = padY * scale + (padY > 0 || !edgeIsPhoto ? inset : 0);
    const double bottom = (padY + shownHeight) * scale - (padY + shownHeight < side || !edgeIsPhoto ? inset : 0);
    area.centreX = (left + right) / 2;
    area.centreY = (top + bottom) / 2;
    area.halfWidth = std::max(0.0, (right - left) / 2);
    area.halfHeight = std::max(0.0, (bottom - top) / 2);
    return area;
}

bool FrameLiesOnPhoto(const ControlBounds& frame, const PhotoArea& area)
{
    const double rad = area.degrees * kPi / 180;
    const double c = std::cos(rad), s = std::sin(rad);
    // The frame's centre in the photo's own axes: the screen turned back by the photo's turn.
    const double dx = frame.left + frame.width / 2.0 - area.centreX;
    const double dy = frame.top + frame.height / 2.0 - area.centreY;
    const double u = dx * c + dy * s, v = -dx * s + dy * c;
    const Room room = RoomFor(frame.width, frame.height, area, c, s);
    // A hair's tolerance for the sines and cosines of a quarter turn.
    constexpr double kEpsilon = 1e-9;
    return std::abs(u) <= room.across + kEpsilon && std::abs(v) <= room.down + kEpsilon;
}

int PlaceFrameOnPhoto(const ControlBounds& frame, const PhotoArea& area, ControlBounds& placed)
{
    placed = frame;
    if (FrameLiesOnPhoto(frame, area))
        return kFrameOnPhoto;
    const double rad = area.degrees * kPi / 180;
    const double c = std::cos(rad), s = std::sin(rad);
    const Room room = RoomFor(frame.width, frame.height, area, c, s);
    if (room.across < 0 || room.down < 0)
        return kFrameLargerThanPhoto;
    // The places where the frame fits form a rectangle of the photo's own axes around its centre: the nearest one
    // is the frame's centre clamped into it there, and turned back onto the screen.
    const double dx = frame.left + frame.width / 2.0 - area.centreX;
    const double dy = frame.top + frame.height / 2.0 - area.centreY;
    const double u = std::clamp(dx * c + dy * s, -room.across, room.across);
    const double v = std::clamp(-dx * s + dy * c, -room.down, room.down);
    const double x = area.centreX + u * c - v * s, y = area.centreY + u * s + v * c;
    // Whole view pixels: the nearest place is taken unless its rounding took a corner off the area, when the
    // whole pixel on the area's side of it serves.
    const double left = x - frame.width / 2.0, top = y - frame.height / 2.0;
    placed.left = static_cast<int>(std::lround(left));
    placed.top = static_cast<int>(std::lround(top));
    if (FrameLiesOnPhoto(placed, area))
        return kFrameMovedOntoPhoto;
    for (const double l : { std::floor(left), std::ceil(left) })
        for (const double t : { std::floor(top), std::ceil(top) }) {
            const ControlBounds candidate { static_cast<int>(l), static_cast<int>(t), frame.width, frame.height };
            if (FrameLiesOnPhoto(candidate, area)) {
                placed = candidate;
                return kFrameMovedOntoPhoto;
            }
        }
    return kFrameMovedOntoPhoto;
}

} // namespace vellicam
