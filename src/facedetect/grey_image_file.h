// The detector's own reading of its image files, in grey: the engine's binary PGM, or a JPEG decoded at a reduced
// scale.
#pragma once

#include <opencv2/core.hpp>

#include <string>

namespace vellicam::facedetect {

// The file's pixels in grey (CV_8UC1), or an empty picture when it is not a binary 8-bit PGM (P5, maxval 255) or a
// JPEG the decoder can read (one or three components), or it is cut short before its pixels, or larger than 2^20 on a
// side or 2^30 pixels. A JPEG is decoded at 1/scaleDenominator of its size (1, 2, 4 or 8), as libjpeg scales with its
// default settings; a JPEG whose compressed data ends early reads as libjpeg fills it, grey below what was there.
cv::Mat ReadGreyImage(const std::string& path, int scaleDenominator = 1);

} // namespace vellicam::facedetect
