// The photo's own pixels in the working square, and a frame moved to lie wholly on them. The square is the photo
// padded to a square with black and, once turned, the photo turned about the square's centre with black in its
// corners: the photo's own pixels are a rectangle, turned with the photo, not an axis-aligned one.
#pragma once

#include "geometry/view_geometry.h"

namespace vellicam {

// The photo's rectangle on a view of the square: its centre, its half sides and the turn (degrees, clockwise on
// screen, as the rotation turns it), all in view pixels.
struct PhotoArea {
    double centreX = 0, centreY = 0;
    double halfWidth = 0, halfHeight = 0;
    double degrees = 0;
};

// The rectangle of a photoWidth × photoHeight photo in its working square (side the longer of the two) turned by
// `angle` tenths of a degree, shown on a view of viewSide pixels, taken in by `inset` view pixels on every side that
// borders the black: a side of an upright photo on the square's own edge is not, since nothing lies beyond it. An empty
// photo or view gives an empty area, on which no frame lies.
[[nodiscard]] PhotoArea PhotoAreaOnView(int photoWidth, int photoHeight, int angle, int viewSide, double inset = 0);

// True when every corner of `frame` lies on the area (its edges included).
[[nodiscard]] bool FrameLiesOnPhoto(const ControlBounds& frame, const PhotoArea& area);

enum FrameOnPhotoResult : int {
    kFrameOnPhoto = 0, // the frame lay on the photo already: `placed` is the frame
    kFrameMovedOntoPhoto = 1, // the frame was moved, the least distance, to lie on the photo; its size is kept
    kFrameLargerThanPhoto = -1, // no place of the frame's size lies on the photo: `placed` is the frame unmoved
};

// Puts `frame` on the photo: where it lies already, or moved the shortest way to the nearest place where every
// corner lies on the area; the size is never changed. The place is whole view pixels, on the area wherever a
// whole pixel place is (an area taken in by a view pixel always has one when the frame fits).
[[nodiscard]] int PlaceFrameOnPhoto(const ControlBounds& frame, const PhotoArea& area, ControlBounds& placed);

} // namespace vellicam
