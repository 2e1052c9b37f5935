// The learned face detector: the network run by OpenCV's DNN module, its anchors and the decoding of its boxes.
#include "face_model.h"

#include "onnx_model.h"

#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace vellicam::facedetect {

namespace {

static_assert(kFaceModelOk == kOnnxModelOk && kFaceModelBadArguments == kOnnxModelBadArguments
    && kFaceModelMissing == kOnnxModelMissing && kFaceModelUnreadable == kOnnxModelUnreadable
    && kFaceModelNoMemory == kOnnxModelNoMemory);

constexpr int kModelSide = 128;
// The anchors: a 16 × 16 grid (8-pixel cells) with two anchors a cell, then an 8 × 8 grid (16-pixel cells) with
// six; every anchor is centred on its cell and one model side wide, so the network's offsets are in model pixels.
constexpr int kAnchorCount = 896;
constexpr int kValuesPerAnchor = 16; // box centre x, y, width, height, then six points (x, y)
// Faces overlapping a better one by more than this (intersection over union) are merged into it.
constexpr double kMergeOverlap = 0.3;

OnnxModel& TheModel()
{
    static OnnxModel model;
    return model;
}

std::vector<cv::Point2d> Anchors()
{
    std::vector<cv::Point2d> anchors;
    anchors.reserve(kAnchorCount);
    const struct {
        int grid, perCell;
    } layers[] = { { 16, 2 }, { 8, 6 } };
    for (const auto& layer : layers)
        for (int y = 0; y < layer.grid; ++y)
            for (int x = 0; x < layer.grid; ++x)
                for (int k = 0; k < layer.perCell; ++k)
                    anchors.emplace_back((x + 0.5) / layer.grid, (y + 0.5) / layer.grid);
    return anchors;
}

const std::vector<cv::String> kOutputs { "regressors", "classificators" };

// True when the network's outputs are the 896 × 16 boxes and the 896 raw scores.
bool AreFaceBoxes(const std::vector<cv::Mat>& outs)
{
    return outs.size() == 2 && outs[0].depth() == CV_32F && outs[1].depth() == CV_32F
        && outs[0].total() == static_cast<std::size_t>(kAnchorCount * kValuesPerAnchor)
        && outs[1].total() == static_cast<std::size_t>(kAnchorCount);
}

double Overlap(const cv::Rect2d& a, const cv::Rect2d& b)
{
    const double inter = (a & b).area();
    const double together = a.area() + b.area() - inter;
    return together > 0 ? inter / together : 0;
}

} // namespace

int LoadFaceModel(const std::string& path)
{
    OnnxModel& model = TheModel();
    const std::lock_guard guard(model.Lock());
    return model.Read(path, [](cv::dnn::Net& net) {
        net.setInput(cv::Mat(std::vector<int> { 1, 3, kModelSide, kModelSide }, CV_32F, cv::Scalar(0.0)));
        std::vector<cv::Mat> outs;
        net.forward(outs, kOutputs);
        return AreFaceBoxes(outs);
    });
}

int FaceModelState()
{
    OnnxModel& model = TheModel();
    const std::lock_guard guard(model.Lock());
    return model.ReadNamed();
}

void NameFaceModel(const std::string& path)
{
    OnnxModel& model = TheModel();
    const std::lock_guard guard(model.Lock());
    model.Name(path);
}

std::vector<ModelFace> ModelAnchorFaces(const cv::Mat& picture, double minScore)
{
    std::vector<ModelFace> found;
    OnnxModel& model = TheModel();
    const std::lock_guard guard(model.Lock());
    if (model.ReadNamed() != 1 || picture.empty() || picture.type() != CV_8UC1)
        return found;
    // The picture centred on a black square, so that the model's square input keeps its proportions.
    const int side = std::max(picture.cols, picture.rows);
    const int left = (side - picture.cols) / 2, top = (side - picture.rows) / 2;
    cv::Mat square(side, side, CV_8UC1, cv::Scalar(0));
    picture.copyTo(square(cv::Rect(left, top, picture.cols, picture.rows)));
    cv::Mat small, colour;
    cv::resize(
        square, small, cv::Size(kModelSide, kModelSide), 0, 0, side > kModelSide ? cv::INTER_AREA : cv::INTER_LINEAR);
    cv::cvtColor(small, colour, cv::COLOR_GRAY2BGR);
    // Grey levels to -1 .. 1, the range the network was trained on.
    const cv::Mat blob = cv::dnn::blobFromImage(
        colour, 1.0 / 127.5, cv::Size(), cv::Scalar(127.5, 127.5, 127.5), false, false, CV_32F);
    std::vector<cv::Mat> outs;
    if (!model.Run(blob, kOutputs, outs, AreFaceBoxes))
        return found;
    const cv::Mat& boxes = outs[0];
    const cv::Mat& scores = outs[1];
    static const std::vector<cv::Point2d> anchors = Anchors();
    const float* b = boxes.ptr<float>();
    const float* s = scores.ptr<float>();
    const double toPicture = static_cast<double>(side) / kModelSide;
    std::vector<ModelFace> candidates;
    for (int i = 0; i < kAnchorCount; ++i) {
        const double score = 1.0 / (1.0 + std::exp(-std::clamp(static_cast<double>(s[i]), -100.0, 100.0)));
        if (score < minScore)
            continue;
        const float* v = b + static_cast<std::ptrdiff_t>(i) * kValuesPerAnchor;
        const cv::Point2d a = anchors[static_cast<std::size_t>(i)] * kModelSide;
        const auto at = [&](double x, double y) {
            return cv::Point2d((a.x + x) * toPicture - left, (a.y + y) * toPicture - top);
        };
        ModelFace face;
        face.Score = score;
        const cv::Point2d centre = at(v[0], v[1]);
        const double w = v[2] * toPicture, h = v[3] * toPicture;
        // A box the network cannot have meant (no size, or beyond any number) is dropped.
        if (!(w > 0) || !(h > 0) || !std::isfinite(centre.x + centre.y + w + h) || w > 4 * side || h > 4 * side)
            continue;
        face.Box = cv::Rect2d(centre.x - w / 2, centre.y - h / 2, w, h);
        for (int k = 0; k < 6; ++k)
            face.Points[static_cast<std::size_t>(k)] = at(v[4 + 2 * k], v[5 + 2 * k]);
        candidates.push_back(face);
    }
    std::stable_sort(
        candidates.begin(), candidates.end(), [](const ModelFace& x, const ModelFace& y) { return x.Score > y.Score; });
    return candidates;
}

std::vector<ModelFace> MergedModelFaces(const std::vector<ModelFace>& anchors, double mergedScore)
{
    std::vector<ModelFace> found;
    // Best first: those scoring enough lead the list.
    const auto end = std::find_if(
        anchors.begin(), anchors.end(), [mergedScore](const ModelFace& f) { return f.Score < mergedScore; });
    const std::vector<ModelFace> candidates(anchors.begin(), end);
    // Merged as the network's authors do: the best face takes the score-weighted mean of every face overlapping it.
    std::vector<bool> used(candidates.size(), false);
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (used[i])
            continue;
        ModelFace merged {};
        merged.Score = candidates[i].Score;
        double total = 0, x = 0, y = 0, w = 0, h = 0;
        for (std::size_t j = i; j < candidates.size(); ++j) {
            if (used[j] || Overlap(candidates[i].Box, candidates[j].Box) <= kMergeOverlap)
                continue;
            used[j] = true;
            const ModelFace& c = candidates[j];
            total += c.Score;
            x += c.Score * c.Box.x;
            y += c.Score * c.Box.y;
            w += c.Score * c.Box.width;
            h += c.Score * c.Box.height;
            for (std::size_t k = 0; k < 6; ++k)
                merged.Points[k] += c.Score * c.Points[k];
        }
        merged.Box = cv::Rect2d(x / total, y / total, w / total, h / total);
        for (cv::Point2d& p : merged.Points)
            p /= total;
        found.push_back(merged);
    }
    return found;
}

} // namespace vellicam::facedetect
