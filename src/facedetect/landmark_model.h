// dlib's 68-point shape predictor held as flat arrays: read from the user's model cache in milliseconds (a mapped
// file, model_cache.h) instead of the seconds dlib's own format takes to parse, and run over those arrays with
// dlib's own arithmetic, so that its landmarks are exactly those of dlib's shape_predictor on the same model.
#pragma once

#include "model_cache.h"

#include <dlib/image_processing/full_object_detection.h>
#include <dlib/matrix.h>

#include <opencv2/core.hpp>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vellicam::facedetect {

class LandmarkModel {
public:
    enum class Origin {
        Cache, // mapped from a cache file made from this model file, unchanged
        Source, // parsed from the model file itself (and, where the folder could be written, cached for next time)
    };

    ~LandmarkModel();
    LandmarkModel(const LandmarkModel&) = delete;
    LandmarkModel& operator=(const LandmarkModel&) = delete;

    // Reads the shape predictor at `modelPath` (dlib's serialised shape_predictor): from its cache file in
    // `cacheFolder` when that was made from this file as it is now and is whole, else from the file, writing the
    // cache file afresh. An empty or unwritable cache folder only means the file is parsed every time. Returns
    // nullptr, with the reason in `why`, when the file is missing or is not a shape predictor of complete trees;
    // never throws.
    [[nodiscard]] static std::unique_ptr<LandmarkModel> Load(
        const std::string& modelPath, const std::filesystem::path& cacheFolder, std::string& why);

    // The cache file that holds the model file `modelPath` in `cacheFolder`.
    [[nodiscard]] static std::filesystem::path CacheFileFor(
        const std::string& modelPath, const std::filesystem::path& cacheFolder);

    [[nodiscard]] Origin LoadedFrom() const { return origin_; }
    [[nodiscard]] unsigned long Parts() const { return parts_; }

    // The landmarks on the 8-bit grey picture for the face in `rect`, as dlib's shape_predictor gives them.
    [[nodiscard]] dlib::full_object_detection Predict(const cv::Mat& grey, const dlib::rectangle& rect) const;

private:
    LandmarkModel() = default;
    // Points the arrays into `payload` after checking its layout and every index in it; false when it is not a
    // model this code can run (the payload stays the caller's).
    [[nodiscard]] bool Attach(const unsigned char* payload, std::size_t size);

    struct Split;
    Origin origin_ = Origin::Source;
    std::unique_ptr<CachedModel> mapped_; // the cache file, when read from it
    std::vector<unsigned char> owned_; // the flat arrays, when parsed from the model file
    std::uint32_t parts_ = 0, cascades_ = 0, trees_ = 0, splits_ = 0, features_ = 0;
    dlib::matrix<float, 0, 1> initialShape_;
    std::vector<std::vector<unsigned long>> anchors_; // per cascade and feature: the shape point it hangs from
    std::vector<std::vector<dlib::vector<float, 2>>> deltas_; // and its offset from it in the mean shape
    const Split* splitData_ = nullptr; // cascades × trees × splits, each tree breadth first
    const float* leafData_ = nullptr; // cascades × trees × (splits + 1) leaves of 2 × parts shape corrections
};

} // namespace vellicam::facedetect
