// The head's top from the colours above the eyes: where the column of rows over the face changes most clearly from
// one colour (hair, a cap, a scalp) to another (the background), for backgrounds the head-top scan cannot read
// (window blinds, a busy room, a background as dark as the hair is not one of them: there is no change to find).
#pragma once

#include "image/bitmap.h"

namespace vellicam {

// The smallest difference between the mean colours above and below the change (Euclidean, 0..441) that counts:
// dark hair against window blinds or a light wall differs by 180 to 340, while a change inside a busy background
// (a window's frame against its glass) above fair hair stays below 120 on the development photos.
inline constexpr int kHeadProfileMinContrast = 160;

// Reads the rows yTop..yBottom (limited to the bitmap; rows that are pure black across the band at the top, the
// working square's border, are left out) over the columns cx − halfWidth … cx + halfWidth, each row as its mean
// colour, and splits them into an upper and a lower run of at least three rows each where the two runs' colours
// vary least inside them. Returns the lower run's first row when the runs' mean colours differ by at least
// `minContrast`, else -1 (also for fewer than six rows or an empty band).
[[nodiscard]] int FindHeadTopByProfile(
    const Bitmap& bitmap, int cx, int halfWidth, int yTop, int yBottom, int minContrast = kHeadProfileMinContrast);

} // namespace vellicam
