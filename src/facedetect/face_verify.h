// The second opinion on the cascade's candidates: dlib's HOG frontal face detector confirms that a candidate is a
// human face, and its 68-point shape predictor places the chin and the eyes of each confirmed face. The models are
// read once per process; without them the library works with the cascade alone.
#pragma once

#include "face_search.h"

#include <opencv2/core.hpp>

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vellicam::facedetect {

// Where the shape predictor is looked for when nothing else is said: Debian's libdlib-data installs it here.
inline constexpr const char* kSystemLandmarkModel = "/usr/share/dlib/shape_predictor_68_face_landmarks.dat";
inline constexpr const char* kLandmarkModelName = "shape_predictor_68_face_landmarks.dat";

// A candidate is looked at only when at most this many lie before it; a photo of a crowd is not a portrait, and
// each look costs a few milliseconds.
inline constexpr int kMaxVerified = 32;

class FaceVerifier {
public:
    ~FaceVerifier();
    FaceVerifier(const FaceVerifier&) = delete;
    FaceVerifier& operator=(const FaceVerifier&) = delete;

    // Builds the HOG detector and reads the shape predictor from `modelPath`, each from its file in the model
    // cache `cacheFolder` when that holds it (model_cache.h; empty: no cache). Returns nullptr, with the reason in
    // `why`, when the file is missing, is not a 68-point shape predictor, or memory runs out; never throws.
    [[nodiscard]] static std::unique_ptr<FaceVerifier> Load(
        const std::string& modelPath, const std::filesystem::path& cacheFolder, std::string& why);

    // Looks for a face matching the candidate `box` (picture pixels) on `grey`. A face matches when the HOG
    // detector finds one on the candidate's neighbourhood whose centre lies within a fifth of the box's width of the
    // box's centre across, a fifth of its height above and three tenths below, and whose size is between 0.6 and
    // 1.6 times the box's. On a match, sets the chin (landmark 8, the lowest
    // point of the jaw) and the two eye centres (mean of each eye's six points; `leftEye` is on the picture's
    // left) in picture pixels, and the detector's confidence. Safe to call from several threads. With `threads` of 2
    // the detector's work is shared with a second thread (the same faces, sooner).
    [[nodiscard]] bool Confirm(const cv::Mat& grey, const cv::Rect& box, FacePoints& points, int threads = 1) const;

    // Whether the HOG detector, its threshold lowered by `lowered`, finds a face matching `box` as Confirm matches
    // one: a second opinion on a face another detector is not sure of.
    [[nodiscard]] bool NearlySeen(const cv::Mat& grey, const cv::Rect& box, double lowered) const;

    // The HOG detector over the whole picture for faces of at least `minSide` picture pixels, each with its
    // landmarks and a cascade-style box derived from them (see BoxFromPoints). For photos where the cascade finds
    // nothing the detector confirms: tilted heads beyond the cascade's reach.
    [[nodiscard]] std::vector<Detection> SearchWhole(const cv::Mat& grey, int minSide, int threads = 1) const;

    // The landmarks the shape predictor places on `face` (picture pixels), a box drawn as the HOG detector draws
    // one (brows to chin, cheek to cheek), for a face another detector found. False for an empty box.
    [[nodiscard]] bool PlaceLandmarks(const cv::Mat& grey, const cv::Rect& face, FacePoints& points) const;

    // The faces the HOG detector finds on the whole 8-bit grey picture, as Confirm and SearchWhole run it: each box,
    // the detector's confidence and which of its filters (front, turned, tilted) found it.
    struct Found {
        cv::Rect box;
        double confidence = 0;
        int filter = 0;
    };
    [[nodiscard]] std::vector<Found> FindFaces(const cv::Mat& grey, int threads = 1) const;

private:
    FaceVerifier();
    struct Models;
    std::unique_ptr<Models> models_;
    mutable std::mutex mutex_; // over the detector (and every call but Confirm's)
    mutable std::mutex spareMutex_; // over the spare detector, which only Confirm takes
};

// The process's verifier, loaded on first use (thread-safe; later callers wait for the first load to finish):
// VELLICAM_LANDMARK_MODEL when set (only that file), else the model beside the library, else the system's; both
// models through the user's model cache (ModelCacheFolder).
// nullptr when no model could be read: the library then works with the cascade alone.
[[nodiscard]] const FaceVerifier* TheVerifier();

// The box the cascade would draw around a face with these landmarks (picture pixels): square, its side 1.45
// eye-to-chin distances, centred on the eyes' midpoint across, its top 0.38 sides above the eye line (measured on
// the development photos).
[[nodiscard]] cv::Rect BoxFromPoints(const FacePoints& points);

} // namespace vellicam::facedetect
