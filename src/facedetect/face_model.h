// The learned face detector: a small convolutional network (ONNX, face_detection_short_range.onnx, read by OpenCV's
// DNN module) that answers, for each of 896 fixed anchors over a 128 × 128 copy of the picture, how likely a face is
// centred there, its box and six key points. It finds faces the HOG detector does not (a head lowered or turned
// towards a profile, a hand at the mouth) and marks some that are none, so its faces are only taken after checks of
// their own (facedetect.cpp).
#pragma once

#include <opencv2/core.hpp>

#include <array>
#include <string>
#include <vector>

namespace vellicam::facedetect {

// Status codes as the person model's (person_mask.h), for loadFaceModel.
enum FaceModelStatus : int {
    kFaceModelOk = 0,
    kFaceModelBadArguments = -1,
    kFaceModelMissing = -2,
    kFaceModelUnreadable = -3, // not a model the DNN module reads, or one that does not give 896 anchors
    kFaceModelNoMemory = -4,
    kFaceModelFault = -5,
};

// A face the network found, in pixels of the picture it was given.
struct ModelFace {
    cv::Rect2d Box;
    double Score = 0; // 0..1
    // The subject's right eye (on the picture's left), left eye, nose tip, mouth centre, right and left ear.
    std::array<cv::Point2d, 6> Points;
};

// Reads the model at `path` unless the one read last is that file unchanged (path, size and time); one run on a
// grey square proves that it computes and gives 896 boxes and scores.
[[nodiscard]] int LoadFaceModel(const std::string& path);
// 1 when a model is loaded and usable, 0 when none was asked for, else the status of the last failed load.
[[nodiscard]] int FaceModelState();
// Names the model file read when the last resort first needs it (OnnxModel::Name).
void NameFaceModel(const std::string& path);

// The network's faces on the 8-bit grey `picture` scoring at least `minScore`, one for each anchor, best first. The
// picture is centred on a black square and reduced to 128 × 128, so the boxes keep their shape. None without a
// loaded model.
[[nodiscard]] std::vector<ModelFace> ModelAnchorFaces(const cv::Mat& picture, double minScore);
// Those of `anchors` (best first) scoring at least `mergedScore`, overlapping ones merged: each box the
// score-weighted mean of those it absorbs. Several thresholds thus take one run of the network.
[[nodiscard]] std::vector<ModelFace> MergedModelFaces(const std::vector<ModelFace>& anchors, double mergedScore);

} // namespace vellicam::facedetect
