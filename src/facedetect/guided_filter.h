// The edge-preserving guided filter that sharpens the person mask along the photo's edges.
#pragma once

#include <opencv2/core.hpp>

namespace vellicam::facedetect {

// Filters the single-channel float picture `source` guided by the 8-bit three-channel `guide` of the same size, with
// box means of (2 radius + 1)² pixels mirrored at the edges and the regularisation eps (in the guide's 0..255² units).
// Every value is computed in float in the same order as OpenCV's contrib guided filter, whose output it matches bit
// for bit, so the masks stay as they were made before the library stopped loading that module.
void GuidedFilter(const cv::Mat& guide, const cv::Mat& source, cv::Mat& filtered, int radius, double eps);

} // namespace vellicam::facedetect
