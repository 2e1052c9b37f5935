// The rotation engine and the rotation angle's arithmetic.
#pragma once

#include "core/engine_error.h"
#include "image/bitmap.h"
#include "resample/progress.h"

#include <string>

namespace vellicam {

// Turns `source` by `tenths` tenths of a degree (positive: clockwise on screen) about its centre into `destination`,
// whose size the caller has set: every destination pixel is sampled backwards and is the 1-2-1 weighted mean of
// the 3 × 3 source pixels around the sample point, black where the sample point falls outside the source.
// A destination under 10 × 10 takes the source pixel itself. A source wider or taller than 9600 is not read:
// the destination becomes black. Returns 0; -1 (destination untouched) when the destination is wider or taller
// than 9600; -2 (destination untouched) when working memory cannot be had; -3 (destination untouched) when `tenths` is
// not a finite number. `error` (when given) receives the refusal: TargetTooLarge, OutOfMemory or AngleNotFinite,
// ErrorCode::None after a turn.
[[nodiscard]] int RotateBitmap(const Bitmap& source, double tenths, Bitmap& destination, const Progress& progress = {},
    EngineError* error = nullptr);

// The angle after a step: (angle + step) with the truncated remainder by 3600, so it keeps the sign of the sum
// and stays within -3599..3599.
[[nodiscard]] int StepRotationAngle(int angle, int step);
// The angle normalised into 0..3599, as the rotation hands it to the engine.
[[nodiscard]] int NormaliseRotationAngle(int angle);
// The angle box's text: angle / 10 in degrees without trailing zeros ("0", "0.1", "-90", "359.9").
[[nodiscard]] std::string RotationAngleText(int angle);

// Builds the rotated working square of `original`: S × S (S = the longer side), filled white, then the engine at
// the angle normalised into 0..3599. Returns the engine's result: -1 when S exceeds 9600, and then the square is
// left white. Returns -2 when the square or the engine's working memory cannot be allocated.
[[nodiscard]] int BuildRotatedSquare(
    const Bitmap& original, int angle, Bitmap& rotated, const Progress& progress = {}, EngineError* error = nullptr);

// The part of the square BuildRotatedSquare makes of a width × height photo at `angle` that the turned photo can
// cover: every pixel outside it is black. The box of the turned rectangle with two pixels to spare for the
// sampling's rounding, cut to the square.
[[nodiscard]] Rect TurnedPhotoArea(int width, int height, int angle);

} // namespace vellicam
