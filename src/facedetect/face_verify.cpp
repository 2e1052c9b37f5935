// dlib's HOG face detector and 68-point shape predictor over the cascade's candidates.
#include "face_verify.h"

#include "landmark_model.h"
#include "model_cache.h"
#include "shared_work.h"

#include <dlib/image_processing.h>
#include <dlib/image_processing/frontal_face_detector.h>
#include <dlib/opencv/cv_image.h>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <new>
#include <optional>
#include <sstream>

namespace vellicam::facedetect {

namespace {

// The HOG detector's window is 80 pixels; a candidate is looked at on a copy where its box is this wide, so the
// detector's pyramid has two or three levels to find it on and each look stays a few milliseconds.
constexpr double kCandidateSide = 110.0;
// How far around the candidate the detector looks, in box widths each side.
constexpr double kCandidateMargin = 0.45;
// How far the face detector's centre may lie from the candidate's, in box widths (heights: this much above, half
// as much again below).
constexpr double kCentreTolerance = 0.2;
// The landmark indices of the 68-point scheme.
constexpr int kChinPoint = 8;
constexpr int kFirstLeftEyePoint = 36; // the eye on the image's left: the subject's right eye
constexpr int kFirstRightEyePoint = 42;
// The cascade's box around a face, in terms of its landmarks (measured on the development photos): the box's side
// is this many eye-to-chin distances, and its top lies this share of the side above the eye line.
constexpr double kBoxPerEyeToChin = 1.45;
constexpr double kBoxTopAboveEyes = 0.38;

cv::Point2d Mean(const dlib::full_object_detection& shape, int first, int count)
{
    double x = 0, y = 0;
    for (int i = first; i < first + count; ++i) {
        x += shape.part(i).x();
        y += shape.part(i).y();
    }
    return { x / count, y / count };
}

// Points first .. first + 5 run round the eye from its outer corner: 0 and 3 are the corners, 1–5 and 2–4 face
// each other across the lids.
double Opening(const dlib::full_object_detection& shape, int first)
{
    const auto at = [&](int i) { return cv::Point2d(shape.part(first + i).x(), shape.part(first + i).y()); };
    const double width = cv::norm(at(0) - at(3));
    if (width < 1)
        return 0;
    return (cv::norm(at(1) - at(5)) + cv::norm(at(2) - at(4))) / (2 * width);
}

FacePoints PointsOf(const dlib::full_object_detection& shape, double confidence)
{
    FacePoints p;
    p.Chin = cv::Point2d(shape.part(kChinPoint).x(), shape.part(kChinPoint).y());
    p.LeftEye = Mean(shape, kFirstLeftEyePoint, 6);
    p.RightEye = Mean(shape, kFirstRightEyePoint, 6);
    p.LeftEyeOpen = Opening(shape, kFirstLeftEyePoint);
    p.RightEyeOpen = Opening(shape, kFirstRightEyePoint);
    p.LeftSide = cv::Point2d(shape.part(0).x(), shape.part(0).y());
    p.RightSide = cv::Point2d(shape.part(16).x(), shape.part(16).y());
    p.Confidence = confidence;
    return p;
}

// dlib builds its face detector by unpacking a compressed copy compiled into the binary that uses it, which takes
// as long as parsing the landmark model; the detector serialised plainly reads in a few milliseconds. Its cache
// file is made from the binary holding that copy (named after it, so that a tool linking the search directly keeps
// a file of its own), and a rebuilt library makes it afresh.
constexpr std::uint32_t kFaceDetectorCacheKind = 2;

dlib::frontal_face_detector LoadFaceDetector(const std::filesystem::path& cacheFolder)
{
    CacheSource source;
    const std::filesystem::path binary = CacheOwnBinary();
    const bool cacheable = !cacheFolder.empty() && !binary.empty() && CacheSourceOf(binary, source);
    const std::filesystem::path cacheFile = cacheFolder / ("face_detector." + binary.filename().string() + ".cache");
    if (cacheable) {
        if (const std::unique_ptr<CachedModel> cached = CachedModel::Open(cacheFile, kFaceDetectorCacheKind, source)) {
            try {
                std::istringstream in(std::string(reinterpret_cast<const char*>(cached->Data()), cached->Size()));
                dlib::frontal_face_detector detector;
                dlib::deserialize(detector, in);
                if (detector.num_detectors() > 0)
                    return detector;
            } catch (...) {
                // Whole but not a detector (written by another build): made afresh below.
            }
        }
    }
    dlib::frontal_face_detector detector = dlib::get_frontal_face_detector();
    if (cacheable) {
        std::ostringstream out;
        dlib::serialize(detector, out);
        const std::string bytes = out.str();
        (void)WriteCachedModel(cacheFile, kFaceDetectorCacheKind, source,
            reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    }
    return detector;
}

std::string ModelPath()
{
    if (const char* chosen = std::getenv("VELLICAM_LANDMARK_MODEL"); chosen)
        return chosen;
    std::error_code ec;
    if (const std::filesystem::path folder = CacheOwnBinary().parent_path(); !folder.empty()) {
        const std::filesystem::path beside = folder / kLandmarkModelName;
        if (std::filesystem::is_regular_file(beside, ec))
            return beside.string();
    }
    return kSystemLandmarkModel;
}

// dlib's frontal face detector on `picture` with its work shared between two threads: first the feature pyramid's
// levels, each from its own reduced picture, then the detector's filters, each over the whole pyramid. The steps,
// their inputs and the final choice among overlapping boxes are the detector's own, in its order, so the faces and
// their confidences are the same as its own single-threaded call gives. The detector is only read.
void DetectFacesShared(const dlib::frontal_face_detector& detector, const dlib::cv_image<unsigned char>& picture,
    std::vector<dlib::rect_detection>& found)
{
    using Pyramid = dlib::pyramid_down<6>;
    const auto& scanner = detector.get_scanner();
    const auto& features = scanner.get_feature_extractor();
    const long windowWidth = static_cast<long>(scanner.get_fhog_window_width());
    const long windowHeight = static_cast<long>(scanner.get_fhog_window_height());
    const int cell = static_cast<int>(scanner.get_cell_size());
    const long padding = static_cast<long>(scanner.get_padding());

    // As many levels as the detector's own pyramid has.
    unsigned long levels = 0;
    dlib::rectangle rect = dlib::get_rect(picture);
    Pyramid pyramid;
    do {
        rect = pyramid.rect_down(rect);
        ++levels;
    } while (rect.width() >= scanner.get_min_pyramid_layer_width()
        && rect.height() >= scanner.get_min_pyramid_layer_height() && levels < scanner.get_max_pyramid_levels());

    // The reduced pictures, each from the one before, while the first level's features are computed.
    std::vector<dlib::array2d<unsigned char>> reduced(levels - 1);
    dlib::array<dlib::array<dlib::array2d<float>>> feats;
    feats.set_max_size(levels);
    feats.set_size(levels);
    ShareItems(2, 2, [&](std::size_t item, int) {
        if (item == 0) {
            features(picture, feats[0], cell, windowHeight, windowWidth);
            return;
        }
        for (std::size_t i = 0; i < reduced.size(); ++i) {
            if (i == 0)
                pyramid(picture, reduced[0]);
            else
                pyramid(reduced[i - 1], reduced[i]);
        }
    });
    ShareItems(levels - 1, 2,
        [&](std::size_t i, int) { features(reduced[i], feats[i + 1], cell, windowHeight, windowWidth); });

    const unsigned long filters = detector.num_detectors();
    std::vector<std::vector<std::pair<double, dlib::rectangle>>> hits(filters);
    std::vector<double> thresholds(filters);
    ShareItems(filters, 2, [&](std::size_t i, int) {
        const auto& weights = detector.get_processed_w(i);
        thresholds[i] = weights.w(scanner.get_num_dimensions());
        dlib::impl::detect_from_fhog_pyramid<Pyramid>(feats, features, weights.get_detect_argument(), thresholds[i],
            windowHeight - 2 * padding, windowWidth - 2 * padding, cell, windowHeight, windowWidth, hits[i]);
    });
    std::vector<dlib::rect_detection> all;
    for (unsigned long i = 0; i < filters; ++i)
        for (const auto& [score, box] : hits[i])
            all.push_back({ score - thresholds[i], i, box });
    if (filters > 1)
        std::sort(all.rbegin(), all.rend());
    const dlib::test_box_overlap& overlaps = detector.get_overlap_tester();
    found.clear();
    for (const dlib::rect_detection& d : all)
        if (std::none_of(
                found.begin(), found.end(), [&](const dlib::rect_detection& f) { return overlaps(f.rect, d.rect); }))
            found.push_back(d);
}

// The detector on `picture`, its work shared with a second thread when `threads` allows; the shared way only reads the
// detector, dlib's own call needs it to itself.
void RunDetector(dlib::frontal_face_detector& detector, const cv::Mat& picture,
    std::vector<dlib::rect_detection>& found, int threads)
{
    const dlib::cv_image<unsigned char> image(picture);
    if (threads > 1)
        DetectFacesShared(detector, image, found);
    else
        detector(image, found);
}

} // namespace

struct FaceVerifier::Models {
    dlib::frontal_face_detector Detector;
    // A copy for a second thread's confirmations (dlib's detector keeps its working pictures in itself), used under
    // spareMutex_.
    dlib::frontal_face_detector Spare;
    std::unique_ptr<LandmarkModel> Shapes; // reads nothing but its model: any thread, any time
};

FaceVerifier::FaceVerifier() = default;
FaceVerifier::~FaceVerifier() = default;

std::unique_ptr<FaceVerifier> FaceVerifier::Load(
    const std::string& modelPath, const std::filesystem::path& cacheFolder, std::string& why)
{
    try {
        std::error_code ec;
        if (modelPath.empty() || !std::filesystem::is_regular_file(modelPath, ec)) {
            why = "no landmark model at " + modelPath;
            return nullptr;
        }
        std::unique_ptr<FaceVerifier> verifier(new FaceVerifier());
        verifier->models_ = std::make_unique<Models>();
        // The detector is made while the shape predictor is read: without their cache files the two take about
        // as long, and a first recognition waits for the longer one only.
        std::future<dlib::frontal_face_detector> detector
            = std::async(std::launch::async, [cacheFolder] { return LoadFaceDetector(cacheFolder); });
        verifier->models_->Shapes = LandmarkModel::Load(modelPath, cacheFolder, why);
        verifier->models_->Detector = detector.get();
        verifier->models_->Spare = verifier->models_->Detector;
        if (!verifier->models_->Shapes)
            return nullptr;
        if (verifier->models_->Shapes->Parts() != 68) {
            why = modelPath + " is not a 68-point shape predictor";
            return nullptr;
        }
        return verifier;
    } catch (const std::bad_alloc&) {
        why = "out of memory reading " + modelPath;
    } catch (const std::exception& e) {
        why = modelPath + ": " + e.what();
    } catch (...) {
        why = modelPath + ": unreadable";
    }
    return nullptr;
}

namespace {

// A candidate's neighbourhood on the picture brought to the detector's working size: `around` in picture pixels,
// `scale` from picture to crop pixels.
struct CandidateCrop {
    cv::Mat crop;
    cv::Rect around;
    double scale = 1;
};

// None when too little of the neighbourhood lies on the picture.
std::optional<CandidateCrop> CropAround(const cv::Mat& grey, const cv::Rect& box)
{
    if (grey.empty() || grey.type() != CV_8UC1 || box.width <= 0 || box.height <= 0)
        return std::nullopt;
    CandidateCrop c;
    const int margin = static_cast<int>(std::lround(box.width * kCandidateMargin));
    c.around = cv::Rect(box.x - margin, box.y - margin, box.width + 2 * margin, box.height + 2 * margin)
        & cv::Rect(0, 0, grey.cols, grey.rows);
    if (c.around.width < 8 || c.around.height < 8)
        return std::nullopt;
    c.scale = kCandidateSide / box.width;
    cv::resize(grey(c.around), c.crop, cv::Size(), c.scale, c.scale, c.scale < 1 ? cv::INTER_AREA : cv::INTER_LINEAR);
    return c;
}

// The most confident of the detector's faces on a candidate's crop that matches the candidate (Confirm), in picture
// pixels; null when none does.
const dlib::rect_detection* MatchingFace(
    const std::vector<dlib::rect_detection>& found, const cv::Rect& box, const CandidateCrop& c, dlib::drectangle& rect)
{
    const cv::Rect& around = c.around;
    const double scale = c.scale;
    // The face detector's box sits a little lower than the cascade's (brows to chin against forehead to chin) but
    // on the same face; a box half on a face and half beside it (a face and the dark background next to it) is
    // not confirmed by the face next to its centre.
    const double bx = box.x + box.width / 2.0, by = box.y + box.height / 2.0;
    const double cx1 = bx - kCentreTolerance * box.width, cx2 = bx + kCentreTolerance * box.width;
    const double cy1 = by - kCentreTolerance * box.height, cy2 = by + 1.5 * kCentreTolerance * box.height;
    const dlib::rect_detection* best = nullptr;
    for (const dlib::rect_detection& d : found) {
        // Back to picture pixels.
        const dlib::drectangle r(around.x + d.rect.left() / scale, around.y + d.rect.top() / scale,
            around.x + (d.rect.right() + 1) / scale, around.y + (d.rect.bottom() + 1) / scale);
        const double x = (r.left() + r.right()) / 2, y = (r.top() + r.bottom()) / 2;
        const double ratio = r.width() / box.width;
        if (x < cx1 || x > cx2 || y < cy1 || y > cy2 || ratio < 0.6 || ratio > 1.6)
            continue;
        if (!best || d.detection_confidence > best->detection_confidence) {
            best = &d;
            rect = r;
        }
    }
    return best;
}

} // namespace

bool FaceVerifier::Confirm(const cv::Mat& grey, const cv::Rect& box, FacePoints& points, int threads) const
{
    const std::optional<CandidateCrop> c = CropAround(grey, box);
    if (!c)
        return false;

    std::vector<dlib::rect_detection> found;
    if (threads > 1) {
        RunDetector(models_->Detector, c->crop, found, threads);
    } else {
        // The detector another thread is not using: a second confirmation at once takes the spare.
        std::unique_lock lock(mutex_, std::try_to_lock);
        std::unique_lock<std::mutex> spare;
        if (!lock.owns_lock())
            spare = std::unique_lock(spareMutex_);
        RunDetector(lock.owns_lock() ? models_->Detector : models_->Spare, c->crop, found, 1);
    }

    dlib::drectangle bestRect;
    const dlib::rect_detection* best = MatchingFace(found, box, *c, bestRect);
    if (!best)
        return false;
    const dlib::rectangle faceRect(static_cast<long>(std::lround(bestRect.left())),
        static_cast<long>(std::lround(bestRect.top())), static_cast<long>(std::lround(bestRect.right())) - 1,
        static_cast<long>(std::lround(bestRect.bottom())) - 1);
    const dlib::full_object_detection shape = models_->Shapes->Predict(grey, faceRect);
    if (shape.num_parts() != 68)
        return false;
    points = PointsOf(shape, best->detection_confidence);
    return true;
}

bool FaceVerifier::NearlySeen(const cv::Mat& grey, const cv::Rect& box, double lowered) const
{
    const std::optional<CandidateCrop> c = CropAround(grey, box);
    if (!c)
        return false;
    std::vector<dlib::rect_detection> found;
    {
        const std::lock_guard lock(mutex_);
        models_->Detector(dlib::cv_image<unsigned char>(c->crop), found, -lowered);
    }
    dlib::drectangle rect;
    return MatchingFace(found, box, *c, rect) != nullptr;
}

std::vector<Detection> FaceVerifier::SearchWhole(const cv::Mat& grey, int minSide, int threads) const
{
    std::vector<Detection> out;
    if (grey.empty() || grey.type() != CV_8UC1)
        return out;
    // An identification snapshot's face is never smaller than a tenth of the photo's longer side; looking for
    // smaller ones would only cost time and bring faces in the background.
    const int wanted = std::max({ minSide, std::max(grey.cols, grey.rows) / 10, 1 });
    const double f = std::min(1.0, 80.0 / wanted);
    cv::Mat small;
    if (f < 1)
        cv::resize(grey, small, cv::Size(), f, f, cv::INTER_AREA);
    else
        small = grey;

    std::vector<dlib::rect_detection> found;
    std::lock_guard lock(mutex_);
    RunDetector(models_->Detector, small, found, threads);
    for (const dlib::rect_detection& d : found) {
        const dlib::rectangle r(static_cast<long>(d.rect.left() / f), static_cast<long>(d.rect.top() / f),
            static_cast<long>((d.rect.right() + 1) / f) - 1, static_cast<long>((d.rect.bottom() + 1) / f) - 1);
        const dlib::full_object_detection shape = models_->Shapes->Predict(grey, r);
        if (shape.num_parts() != 68)
            continue;
        Detection det;
        det.Points = PointsOf(shape, d.detection_confidence);
        det.HasPoints = true;
        det.Box = BoxFromPoints(det.Points) & cv::Rect(0, 0, grey.cols, grey.rows);
        if (det.Box.width <= 0 || det.Box.height <= 0)
            continue;
        // Count as the cascade's evidence would: a clear face collects dozens of windows.
        det.Hits = 16;
        det.Weight = d.detection_confidence;
        out.push_back(det);
    }
    return out;
}

bool FaceVerifier::PlaceLandmarks(const cv::Mat& grey, const cv::Rect& face, FacePoints& points) const
{
    if (grey.empty() || grey.type() != CV_8UC1 || face.width <= 0 || face.height <= 0)
        return false;
    const dlib::rectangle r(face.x, face.y, face.x + face.width - 1, face.y + face.height - 1);
    std::lock_guard lock(mutex_);
    const dlib::full_object_detection shape = models_->Shapes->Predict(grey, r);
    if (shape.num_parts() != 68)
        return false;
    points = PointsOf(shape, 0);
    return true;
}

std::vector<FaceVerifier::Found> FaceVerifier::FindFaces(const cv::Mat& grey, int threads) const
{
    std::vector<Found> out;
    if (grey.empty() || grey.type() != CV_8UC1)
        return out;
    std::vector<dlib::rect_detection> found;
    std::lock_guard lock(mutex_);
    RunDetector(models_->Detector, grey, found, threads);
    for (const dlib::rect_detection& d : found)
        out.push_back({ cv::Rect(static_cast<int>(d.rect.left()), static_cast<int>(d.rect.top()),
                            static_cast<int>(d.rect.width()), static_cast<int>(d.rect.height())),
            d.detection_confidence, static_cast<int>(d.weight_index) });
    return out;
}

const FaceVerifier* TheVerifier()
{
    static const std::unique_ptr<FaceVerifier> verifier = [] {
        std::string why;
        return FaceVerifier::Load(ModelPath(), ModelCacheFolder(), why);
    }();
    return verifier.get();
}

cv::Rect BoxFromPoints(const FacePoints& p)
{
    const cv::Point2d eyes = (p.LeftEye + p.RightEye) * 0.5;
    const double eyeToChin = std::hypot(p.Chin.x - eyes.x, p.Chin.y - eyes.y);
    const double side = kBoxPerEyeToChin * eyeToChin;
    const double top = eyes.y - kBoxTopAboveEyes * side;
    const double left = eyes.x - side / 2;
    return cv::Rect(static_cast<int>(std::lround(left)), static_cast<int>(std::lround(top)),
        static_cast<int>(std::lround(side)), static_cast<int>(std::lround(side)));
}

} // namespace vellicam::facedetect
