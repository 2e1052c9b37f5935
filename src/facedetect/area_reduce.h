// The detector's grey picture reduced to its search size by the mean over each new pixel's area.
#pragma once

#include <opencv2/core.hpp>

namespace vellicam::facedetect {

// `grey` (CV_8UC1) reduced to `size`, each new pixel the mean of the source pixels its area covers (parts of pixels
// weighted by the part): the same bytes as cv::resize with INTER_AREA. A factor that is not a whole number is
// worked eight pixels at a time where the processor has AVX2; whole factors, enlargements, other pictures and
// processors without it are left to cv::resize.
void ReduceByArea(const cv::Mat& grey, cv::Mat& out, cv::Size size);

} // namespace vellicam::facedetect
