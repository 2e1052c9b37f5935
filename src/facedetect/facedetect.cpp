// The library's three C functions over the search in face_search.cpp, and the state they share between calls.
#include "facedetect.h"

#include "face_model.h"
#include "face_search.h"
#include "face_verify.h"
#include "model_cache.h"
#include "person_mask.h"
#include "shared_work.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace vellicam::facedetect;

// The reduced copy's longer side: faces of an identification snapshot stay well above the cascade's window there,
// and the whole recognition of a 4000-pixel photo stays within three times its JPEG decoding.
constexpr int kTargetLongSide = 800;
// setThreadCount's ceiling.
constexpr int kMaxThreads = 8;
// The smallest object is never searched below this many picture pixels (the frontal cascade's window and two
// thirds again; the confirmation looks at each candidate on its own enlarged copy).
constexpr int kMinSearchSide = 40;
// The lower-face search runs over a strip one face wide, where a mouth or a chin is never narrower than about a
// sixth of the face: nothing narrower is searched for, and the strip is searched on a copy reduced until that
// sixth is kMinSearchSide pixels wide (about 240 pixels across). On a large strip this is tens of times faster
// than searching for the program's minimum (an eighth of the smallest face) at full size.
constexpr int kLowerFaceFraction = 6;
constexpr const char* kLowerFaceCascadeName = "ago.xml";
// The learned detector's faces are taken (ModelFacesConfirmed) when the network scores them at least this on the
// picture and on its mirror image (the two centres within the tolerance, in box widths), the person mask covers at
// least this share of the face's middle, and the shape predictor's eye centres lie within this share of the box's
// width of the network's. On the development set the faces missed before score 0.73 to 0.85 both ways, and the best
// chance pattern on the photos without a person (a heap of tomatoes) 0.71 and 0.65 in the mirror.
constexpr double kModelFaceMinScore = 0.7;
// A face scored so on one side and at least this on the other is taken too when the HOG detector, its threshold
// lowered by this, sees it as well: a head lowered with hair across an eye scores 0.53 and 0.78 in the mirror, and
// the HOG detector gives it −0.10; the tomatoes' two patterns get −0.93 and −0.78 from it.
constexpr double kModelFaceMinOtherScore = 0.5;
constexpr double kModelFaceHogLowered = 0.5;
constexpr double kModelFaceMirrorTolerance = 0.25;
constexpr double kModelFaceMinPersonShare = 0.5;
constexpr double kModelFaceEyeTolerance = 0.35;

struct CascadeKey {
    std::string Path;
    std::uintmax_t Size = 0;
    std::filesystem::file_time_type Time {};
    bool operator==(const CascadeKey&) const = default;
};

struct State {
    int MinWidth = 0;
    int MinHeight = 0;
    std::vector<Detection> Results;
    std::optional<CascadeKey> LoadedKey;
    cv::CascadeClassifier Cascade; // empty when the own evaluator came from the cache (Search reads it when needed)
    HaarCascade OwnCascade; // the same cascade, evaluated faster where it is of a kind it handles
    int Threads = 1; // setThreadCount
    // Held by a search and by a cascade's reading ahead (loadCascade, which the program may call from another
    // thread while its first search is on its way).
    std::mutex CascadeLock;
};

State& TheState()
{
    static State state;
    return state;
}

// The key of a cascade file, or nothing when it cannot be examined; the path is made absolute because the
// program may change its current directory between calls.
std::optional<CascadeKey> KeyOf(const char* cascadeFile)
{
    std::error_code ec;
    CascadeKey key;
    const std::filesystem::path path = std::filesystem::absolute(cascadeFile, ec);
    if (ec || !std::filesystem::is_regular_file(path, ec))
        return std::nullopt;
    key.Path = path.string();
    key.Size = std::filesystem::file_size(path, ec);
    if (ec)
        return std::nullopt;
    key.Time = std::filesystem::last_write_time(path, ec);
    if (ec)
        return std::nullopt;
    return key;
}

// Parsing a cascade's XML takes longer than the rest of a start together (19 ms for the frontal cascade): the own
// evaluator's cascade comes from the user's cache when it is there (ReadCascadeCache), and OpenCV's classifier, which
// only a cascade of another kind or a call the own evaluator leaves to OpenCV needs, is then read from the XML when
// first asked for (Search).
int LoadCascade(State& state, const char* cascadeFile)
{
    const std::optional<CascadeKey> key = KeyOf(cascadeFile);
    if (!key)
        return kCascadeUnloadable;
    if (state.LoadedKey == key && (!state.Cascade.empty() || state.OwnCascade.Loaded()))
        return kOk;
    state.LoadedKey.reset();
    state.OwnCascade = HaarCascade {};
    state.Cascade = cv::CascadeClassifier();
    const std::filesystem::path cacheFolder = ModelCacheFolder();
    if (ReadCascadeCache(cacheFolder, key->Path, state.OwnCascade)) {
        state.LoadedKey = key;
        return kOk;
    }
    bool loaded = false;
    try {
        // One parse of the XML serves OpenCV's classifier and the own evaluator (a cascade not of the own kind is
        // searched by OpenCV alone); a file in OpenCV's old format only its own loader reads.
        cv::FileStorage fs(key->Path, cv::FileStorage::READ);
        const cv::FileNode root = fs.isOpened() ? fs.getFirstTopLevelNode() : cv::FileNode();
        loaded = !root.empty() && state.Cascade.read(root);
        if (loaded)
            (void)state.OwnCascade.Load(root);
        else
            loaded = state.Cascade.load(key->Path);
    } catch (const cv::Exception&) {
        // A malformed file makes the XML parser raise; it is still just an unloadable cascade.
        loaded = false;
    }
    if (!loaded || state.Cascade.empty())
        return kCascadeUnloadable;
    state.LoadedKey = key;
    if (state.OwnCascade.Loaded())
        WriteCascadeCache(cacheFolder, key->Path, state.OwnCascade);
    return kOk;
}

bool IsLowerFaceCascade(const char* cascadeFile)
{
    return std::filesystem::path(cascadeFile).filename() == kLowerFaceCascadeName;
}

// In picture pixels from file pixels and back.
cv::Rect ToPicture(const cv::Rect& r, double scale)
{
    const int x1 = static_cast<int>(std::lround(r.x / scale)), y1 = static_cast<int>(std::lround(r.y / scale));
    const int x2 = static_cast<int>(std::lround((r.x + r.width) / scale));
    const int y2 = static_cast<int>(std::lround((r.y + r.height) / scale));
    return { x1, y1, std::max(1, x2 - x1), std::max(1, y2 - y1) };
}
cv::Rect ToFile(const cv::Rect& r, const SearchImage& image)
{
    const int x1 = std::clamp(static_cast<int>(std::lround(r.x * image.Scale)), 0, image.FileWidth);
    const int y1 = std::clamp(static_cast<int>(std::lround(r.y * image.Scale)), 0, image.FileHeight);
    const int x2 = std::clamp(static_cast<int>(std::lround((r.x + r.width) * image.Scale)), 0, image.FileWidth);
    const int y2 = std::clamp(static_cast<int>(std::lround((r.y + r.height) * image.Scale)), 0, image.FileHeight);
    return { x1, y1, x2 - x1, y2 - y1 };
}
FacePoints PointsToFile(FacePoints p, double scale)
{
    // Landmark coordinates name pixel centres; file pixel i covers picture pixels i / scale … (i + 1) / scale.
    const auto map
        = [scale](cv::Point2d q) { return cv::Point2d((q.x + 0.5) * scale - 0.5, (q.y + 0.5) * scale - 0.5); };
    p.Chin = map(p.Chin);
    p.LeftEye = map(p.LeftEye);
    p.RightEye = map(p.RightEye);
    p.LeftSide = map(p.LeftSide);
    p.RightSide = map(p.RightSide);
    return p;
}

// One round of ModelFacesConfirmed over the faces merged from the anchors it takes on each side, into `out`.
template <typename PersonShare>
void TakeModelFaces(const FaceVerifier& verifier, const cv::Mat& grey, const std::vector<ModelFace>& faces,
    const std::vector<ModelFace>& inMirror, int wanted, bool sureBothWays, const PersonShare& personShare,
    std::vector<Detection>& out)
{
    const cv::Rect bounds(0, 0, grey.cols, grey.rows);
    for (const ModelFace& face : faces) {
        const cv::Rect box(face.Box);
        if (std::max(box.width, box.height) < wanted)
            continue;
        const cv::Point2d centre(face.Box.x + face.Box.width / 2, face.Box.y + face.Box.height / 2);
        // The mirror's score of the same face: the best of those whose centres agree.
        double mirrorScore = 0;
        for (const ModelFace& m : inMirror) {
            const cv::Point2d back(grey.cols - (m.Box.x + m.Box.width / 2), m.Box.y + m.Box.height / 2);
            if (cv::norm(back - centre) < kModelFaceMirrorTolerance * face.Box.width)
                mirrorScore = std::max(mirrorScore, m.Score);
        }
        if (std::max(face.Score, mirrorScore) < kModelFaceMinScore || mirrorScore <= 0)
            continue;
        // The middle half of the box (the eyes, nose and mouth): a person's, not the background's.
        const cv::Rect middle
            = cv::Rect(box.x + box.width / 4, box.y + box.height / 4, box.width / 2, box.height / 2) & bounds;
        if (middle.area() <= 0 || personShare(middle) < kModelFaceMinPersonShare)
            continue;
        FacePoints points;
        if (!verifier.PlaceLandmarks(grey, box, points))
            continue;
        // The network's first point is the eye on the picture's left, as LeftEye.
        const double apart
            = std::max(cv::norm(points.LeftEye - face.Points[0]), cv::norm(points.RightEye - face.Points[1]));
        if (apart > kModelFaceEyeTolerance * box.width)
            continue;
        if (!sureBothWays && !verifier.NearlySeen(grey, box, kModelFaceHogLowered))
            continue;
        Detection d;
        d.Points = points;
        d.Points.Confidence = face.Score;
        d.HasPoints = true;
        d.Box = BoxFromPoints(points) & bounds;
        d.Hits = 16;
        d.Weight = face.Score;
        if (d.Box.width > 0 && d.Box.height > 0)
            out.push_back(d);
    }
}

// The faces the learned detector finds on a picture where neither the cascade nor the HOG detector found one (a head
// lowered or turned towards a profile, a hand at the mouth), each taken only when four things agree, as none of them
// alone tells a person from a cat, a statue or a heap of tomatoes: the network is sure of it, on the picture and on
// its mirror image alike (a face is one in a mirror too; the chance patterns it half takes for faces rarely are), the
// shape predictor puts the eyes near where the network does, and the person mask covers the middle of the face.
// Only when no face passes so, one the network is sure of on one side and half sure on the other is taken if the HOG
// detector nearly sees it too. Without the person model none is taken. Picture pixels, boxes drawn from the landmarks
// as the cascade would draw them.
std::vector<Detection> ModelFacesConfirmed(const FaceVerifier& verifier, const cv::Mat& grey, int minSide)
{
    std::vector<Detection> out;
    if (FaceModelState() != 1 || PersonModelState() != 1)
        return out;
    const int wanted = std::max({ minSide, std::max(grey.cols, grey.rows) / 10, 1 });
    // The network runs once on each side; its faces are merged for each round from the anchors that round takes.
    const std::vector<ModelFace> anchors = ModelAnchorFaces(grey, kModelFaceMinOtherScore);
    if (anchors.empty())
        return out;
    cv::Mat mirrored;
    cv::flip(grey, mirrored, 1);
    const std::vector<ModelFace> mirrorAnchors = ModelAnchorFaces(mirrored, kModelFaceMinOtherScore);
    // The person mask, made for the first face that gets that far, at about 256 pixels across (the model's own
    // resolution): a face's middle is tens of its pixels, and the refinement of a full-size mask would cost more
    // than everything else here.
    const int divisor = std::max(1, std::max(grey.cols, grey.rows) / 256);
    cv::Mat mask;
    const auto personShare = [&](const cv::Rect& r) {
        if (mask.empty()) {
            cv::Mat bgr;
            cv::cvtColor(grey, bgr, cv::COLOR_GRAY2BGR);
            if (PersonMaskOf(bgr, divisor, mask) != kPersonModelOk)
                mask = cv::Mat(1, 1, CV_8U, cv::Scalar(0));
        }
        const double sx = static_cast<double>(mask.cols) / grey.cols, sy = static_cast<double>(mask.rows) / grey.rows;
        const cv::Rect scaled
            = cv::Rect(static_cast<int>(r.x * sx), static_cast<int>(r.y * sy),
                  std::max(1, static_cast<int>(r.width * sx)), std::max(1, static_cast<int>(r.height * sy)))
            & cv::Rect(0, 0, mask.cols, mask.rows);
        return scaled.area() > 0 ? cv::mean(mask(scaled))[0] / 255 : 0.0;
    };
    for (const bool sureBothWays : { true, false }) {
        const double least = sureBothWays ? kModelFaceMinScore : kModelFaceMinOtherScore;
        const std::vector<ModelFace> faces = MergedModelFaces(anchors, least);
        const std::vector<ModelFace> inMirror = MergedModelFaces(mirrorAnchors, least);
        TakeModelFaces(verifier, grey, faces, inMirror, wanted, sureBothWays, personShare, out);
        if (!out.empty())
            break;
    }
    return out;
}

// The candidates a human face confirms, each with its landmarks, in the cascade's order; when the cascade found
// none that is confirmed, the faces the HOG detector finds by itself (a head tilted beyond the cascade's reach),
// with boxes drawn as the cascade would draw them; when it finds none either, the learned detector's
// (ModelFacesConfirmed).
std::vector<Detection> Confirmed(
    const FaceVerifier& verifier, const SearchImage& image, std::vector<Detection> found, int minSide, int threads)
{
    OrderDetections(found, image.FileWidth, image.FileHeight);
    // Each candidate is looked at on its own (on two threads when the library has them), then taken in order.
    const std::size_t looked = std::min(found.size(), static_cast<std::size_t>(kMaxVerified));
    std::vector<FacePoints> points(looked);
    std::vector<char> matched(looked, 0);
    // A single candidate has both threads for its own look.
    const int inner = looked == 1 ? std::min(threads, 2) : 1;
    ShareItems(looked, std::min(threads, 2), [&](std::size_t i, int) {
        matched[i] = verifier.Confirm(image.Grey, ToPicture(found[i].Box, image.Scale), points[i], inner) ? 1 : 0;
    });
    std::vector<Detection> confirmed;
    for (std::size_t i = 0; i < looked; ++i) {
        Detection& d = found[i];
        if (!matched[i])
            continue;
        d.HasPoints = true;
        d.Points = PointsToFile(points[i], image.Scale);
        // Two candidates on one face (a face and a box shifted half off it) are one face: the first keeps it.
        const cv::Point2d eyes = (d.Points.LeftEye + d.Points.RightEye) * 0.5;
        const bool seen = std::any_of(confirmed.begin(), confirmed.end(), [&](const Detection& c) {
            const cv::Point2d other = (c.Points.LeftEye + c.Points.RightEye) * 0.5;
            return cv::norm(eyes - other) < 0.2 * std::min(d.Box.width, c.Box.width);
        });
        if (!seen)
            confirmed.push_back(d);
    }
    if (!confirmed.empty())
        return confirmed;
    std::vector<Detection> whole = verifier.SearchWhole(image.Grey, minSide, std::min(threads, 2));
    if (whole.empty())
        whole = ModelFacesConfirmed(verifier, image.Grey, minSide);
    for (Detection& d : whole) {
        d.Box = ToFile(d.Box, image);
        d.Points = PointsToFile(d.Points, image.Scale);
        if (d.Box.width > 0 && d.Box.height > 0)
            confirmed.push_back(d);
    }
    return confirmed;
}

int Detect(State& state, const char* imageFile, const char* cascadeFile, int pass, int precision)
{
    if (const int status = LoadCascade(state, cascadeFile); status != kOk)
        return status;

    // The smallest object in file pixels: as set, or for the lower-face search at least a sixth of the strip's
    // width (half that high, the mouth cascade's shape).
    int minObjectWidth = state.MinWidth;
    int minObjectHeight = state.MinHeight;
    int target = kTargetLongSide;
    int stripWidth = 0, stripHeight = 0;
    if (IsLowerFaceCascade(cascadeFile) && ReadImageSize(imageFile, stripWidth, stripHeight)) {
        minObjectWidth = std::max(minObjectWidth, stripWidth / kLowerFaceFraction);
        minObjectHeight = std::max(minObjectHeight, stripWidth / (2 * kLowerFaceFraction));
        target = kLowerFaceFraction * kMinSearchSide;
    }

    SearchImage image;
    // Only the re-detection equalises: it brings out faces in dark or flat photos, at the price of more false
    // ones, which the first pass cannot afford.
    const int minSide = target == kTargetLongSide ? std::min(minObjectWidth, minObjectHeight) : minObjectWidth;
    if (const int status = ReadSearchImage(imageFile, minSide, target, kMinSearchSide, pass == 1, image); status != kOk)
        return status;

    // The own evaluator's window is the file's, as OpenCV's classifier has it (which a cascade from the cache
    // leaves unread).
    const cv::Size window
        = state.OwnCascade.Loaded() ? state.OwnCascade.WindowSize() : state.Cascade.getOriginalWindowSize();
    const int minWidth = static_cast<int>(minObjectWidth / image.Scale);
    const int minHeight = static_cast<int>(minObjectHeight / image.Scale);
    if (image.FileWidth < state.MinWidth || image.FileHeight < state.MinHeight || image.Grey.cols < window.width
        || image.Grey.rows < window.height)
        return kNothingSearched;

    SearchSettings settings = SettingsFor(pass, precision, minWidth, minHeight);
    settings.Threads = state.Threads;
    std::vector<Detection> found = Search(state.Cascade, image, settings, &state.OwnCascade, &state.LoadedKey->Path);
    const bool lowerFace = IsLowerFaceCascade(cascadeFile);
    if (!lowerFace) {
        if (const FaceVerifier* verifier = TheVerifier())
            found = Confirmed(
                *verifier, image, std::move(found), std::max(1, std::min(minWidth, minHeight)), state.Threads);
    }
    if (stripHeight > 0) {
        // The strip runs from the middle of the face to half a face below it: its upper half holds the mouth, the
        // next quarter the chin, the last quarter the neck. What the lower-face cascade finds in the neck is a
        // collar, a necklace or a hand, never the chin, and taking it would push the frame's chin line down onto
        // the clothing.
        std::erase_if(
            found, [stripHeight](const Detection& d) { return 4 * d.Box.y + 2 * d.Box.height > 3 * stripHeight; });
    }
    OrderDetections(found, image.FileWidth, image.FileHeight);
    state.Results = std::move(found);
    return kOk;
}

// The landmarks of detection `index` of the last search; null when there is no such detection or it has none.
const FacePoints* LandmarksOf(int index)
{
    const std::vector<Detection>& results = TheState().Results;
    if (index < 0 || static_cast<size_t>(index) >= results.size() || !results[index].HasPoints)
        return nullptr;
    return &results[index].Points;
}

} // namespace

extern "C" {

void setMinSize(int minWidth, int minHeight)
{
    State& state = TheState();
    state.MinWidth = std::max(0, minWidth);
    state.MinHeight = std::max(0, minHeight);
}

void setThreadCount(int count)
{
    const int threads = std::clamp(count, 1, kMaxThreads);
    TheState().Threads = threads;
    cv::setNumThreads(threads);
}

int facedetect(const char* imageFile, int /*flag*/, const char* cascadeFile, int pass, int precision)
{
    try {
        State& state = TheState();
        const std::lock_guard lock(state.CascadeLock);
        state.Results.clear();
        if (!imageFile || !*imageFile || !cascadeFile || !*cascadeFile || (pass != 0 && pass != 1) || precision < 1
            || precision > 10)
            return kBadArguments;
        return Detect(state, imageFile, cascadeFile, pass, precision);
    } catch (const std::bad_alloc&) {
        TheState().Results.clear();
        return kOutOfMemory;
    } catch (const cv::Exception& e) {
        TheState().Results.clear();
        return e.code == cv::Error::StsNoMem ? kOutOfMemory : kDetectorFault;
    } catch (...) {
        TheState().Results.clear();
        return kDetectorFault;
    }
}

int getRect(int what, int index)
{
    const std::vector<Detection>& results = TheState().Results;
    if (what == -1)
        return static_cast<int>(results.size());
    if (what < 0 || what > 3)
        return -1;
    if (index < 0 || static_cast<size_t>(index) >= results.size())
        return 0;
    const cv::Rect& r = results[index].Box;
    switch (what) {
    case 0:
        return r.x;
    case 1:
        return r.y;
    case 2:
        return r.x + r.width;
    default:
        return r.y + r.height;
    }
}

int getFacePoints(int index, int* points)
{
    if (!points)
        return -1;
    const FacePoints* found = LandmarksOf(index);
    if (!found)
        return 0;
    const FacePoints& p = *found;
    const cv::Point2d order[] = { p.Chin, p.LeftEye, p.RightEye };
    for (int i = 0; i < 3; ++i) {
        points[2 * i] = static_cast<int>(std::lround(order[i].x));
        points[2 * i + 1] = static_cast<int>(std::lround(order[i].y));
    }
    return 1;
}

int getEyeOpenness(int index, int* openness)
{
    if (!openness)
        return -1;
    const FacePoints* found = LandmarksOf(index);
    if (!found)
        return 0;
    const FacePoints& p = *found;
    openness[0] = static_cast<int>(std::lround(p.LeftEyeOpen * 1000));
    openness[1] = static_cast<int>(std::lround(p.RightEyeOpen * 1000));
    return 1;
}

int getFaceSides(int index, int* points)
{
    if (!points)
        return -1;
    const FacePoints* found = LandmarksOf(index);
    if (!found)
        return 0;
    const FacePoints& p = *found;
    points[0] = static_cast<int>(std::lround(p.LeftSide.x));
    points[1] = static_cast<int>(std::lround(p.LeftSide.y));
    points[2] = static_cast<int>(std::lround(p.RightSide.x));
    points[3] = static_cast<int>(std::lround(p.RightSide.y));
    return 1;
}

int loadPersonModel(const char* modelFile)
{
    try {
        if (!modelFile || !*modelFile)
            return kPersonModelBadArguments;
        return LoadPersonModel(modelFile);
    } catch (const std::bad_alloc&) {
        return kPersonModelNoMemory;
    } catch (...) {
        return kPersonModelFault;
    }
}

int loadCascade(const char* cascadeFile)
{
    try {
        if (!cascadeFile || !*cascadeFile)
            return kBadArguments;
        State& state = TheState();
        const std::lock_guard lock(state.CascadeLock);
        return LoadCascade(state, cascadeFile);
    } catch (const std::bad_alloc&) {
        return kOutOfMemory;
    } catch (...) {
        return kDetectorFault;
    }
}

int loadFaceModel(const char* modelFile)
{
    try {
        if (!modelFile || !*modelFile)
            return kFaceModelBadArguments;
        return LoadFaceModel(modelFile);
    } catch (const std::bad_alloc&) {
        return kFaceModelNoMemory;
    } catch (...) {
        return kFaceModelFault;
    }
}

int prepareModels(const char* faceModelFile, const char* personModelFile)
{
    try {
        if (faceModelFile && *faceModelFile)
            NameFaceModel(faceModelFile);
        if (personModelFile && *personModelFile)
            return ReadPersonModelUnproved(personModelFile);
        return kPersonModelOk;
    } catch (const std::bad_alloc&) {
        return kPersonModelNoMemory;
    } catch (...) {
        return kPersonModelFault;
    }
}

int getPersonMask(const unsigned char* bgr, int width, int height, int stride, int divisor, unsigned char* mask)
{
    if (!bgr || !mask || width < 1 || height < 1 || divisor < 1 || stride < 3 * width || width > 1 << 15
        || height > 1 << 15)
        return kPersonModelBadArguments;
    try {
        const cv::Mat picture(
            height, width, CV_8UC3, const_cast<unsigned char*>(bgr), static_cast<std::size_t>(stride));
        cv::Mat result;
        if (const int status = PersonMaskOf(picture, divisor, result); status != kPersonModelOk)
            return status;
        for (int y = 0; y < result.rows; ++y)
            std::copy_n(result.ptr<unsigned char>(y), result.cols, mask + static_cast<std::size_t>(y) * result.cols);
        return kPersonModelOk;
    } catch (const std::bad_alloc&) {
        return kPersonModelNoMemory;
    } catch (const cv::Exception& e) {
        return e.code == cv::Error::StsNoMem ? kPersonModelNoMemory : kPersonModelFault;
    } catch (...) {
        return kPersonModelFault;
    }
}

int detectorKind(void)
{
    try {
        return TheVerifier() ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

} // extern "C"
