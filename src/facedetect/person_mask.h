// The person mask: the person-segmentation model (ONNX, read by OpenCV's DNN module) over an RGB picture, its
// 256 × 256 answer brought to a reduced size of the picture and refined there with the picture as guide.
#pragma once

#include <opencv2/core.hpp>

#include <string>

namespace vellicam::facedetect {

enum PersonModelStatus : int {
    kPersonModelOk = 0,
    kPersonModelBadArguments = -1,
    kPersonModelMissing = -2, // no such file
    kPersonModelUnreadable = -3, // not a model the DNN module reads, or one that does not give a 256 × 256 mask
    kPersonModelNoMemory = -4,
    kPersonModelFault = -5,
};

// Reads the model at `path` unless the one read last is that file unchanged (path, size and time).
[[nodiscard]] int LoadPersonModel(const std::string& path);
// 1 when a model is loaded and usable, 0 when none was asked for, else the status of the last failed load.
[[nodiscard]] int PersonModelState();
// Reads the model at `path` as LoadPersonModel does, without the run that proves it: the first mask made checks
// what the network gives instead.
[[nodiscard]] int ReadPersonModelUnproved(const std::string& path);

// The mask of `bgr` (8-bit, 3 channels, blue first) at bgr's size divided by `divisor` (rounded up), 0..255, into
// `mask` (made CV_8UC1). The model sees the whole picture stretched to 256 × 256; its soft 256-pixel edge is
// brought to the mask's size and sharpened by a guided filter whose guide is the picture at that size.
[[nodiscard]] int PersonMaskOf(const cv::Mat& bgr, int divisor, cv::Mat& mask);

// PersonMaskOf's last step: the soft mask (CV_32FC1, the probabilities 0..1) sharpened by the guided filter with
// `guide` (CV_8UC3, the same size), into `mask` (made CV_8UC1, 0..255). The values are those of one filter over the
// whole picture, made in bands of rows and, in each band, only where the soft mask is not zero nearby.
void RefineSoftMask(const cv::Mat& guide, const cv::Mat& soft, cv::Mat& mask);

} // namespace vellicam::facedetect
