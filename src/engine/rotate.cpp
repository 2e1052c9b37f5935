// Placeholder until the rotation lands.
#include "rotate.h"

namespace vellicam {
int RotateBitmap(const Bitmap&, double, Bitmap&, const Progress&) { return -1; }
int StepRotationAngle(int angle, int step) { return (angle + step) % 3600; }
int NormaliseRotationAngle(int angle) { return ((angle % 3600) + 3600) % 3600; }
std::string RotationAngleText(int) { return "0"; }
std::string RotationStatusText(int) { return {}; }
int BuildRotatedSquare(const Bitmap&, int, Bitmap&, const Progress&) { return -1; }
} // namespace vellicam
