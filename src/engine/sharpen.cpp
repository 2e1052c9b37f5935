// Placeholder until the filter lands.
#include "sharpen.h"

namespace vellicam {
void SharpenBitmap(Bitmap&, const Progress&) { }
} // namespace vellicam
