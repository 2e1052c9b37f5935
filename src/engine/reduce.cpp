// Placeholder until the reduction lands.
#include "reduce.h"

namespace vellicam {
int ReduceHighQuality(const Bitmap&, int, int, Bitmap&, std::string* message, const Progress&)
{
    if (message)
        message->clear();
    return kReductionNotSmaller;
}
} // namespace vellicam
