// The library's three C functions over the search in face_search.cpp, and the state they share between calls.
#include "facedetect.h"

#include "face_search.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace vellicam::facedetect;

// The reduced copy's longer side: faces of an identification snapshot stay well above the cascade's window there,
// and a search of a 4000-pixel photo costs about a tenth of a full-size one.
constexpr int kTargetLongSide = 1200;
// The smallest object is never searched below this many picture pixels (twice the frontal cascade's window).
constexpr int kMinSearchSide = 48;
// The lower-face search runs over a strip one face wide, where a mouth or a chin is never narrower than about a
// sixth of the face: nothing narrower is searched for, and the strip is searched on a copy reduced until that
// sixth is kMinSearchSide pixels wide (about 288 pixels across). On a large strip this is tens of times faster
// than searching for the program's minimum (an eighth of the smallest face) at full size.
constexpr int kLowerFaceFraction = 6;
constexpr const char* kLowerFaceCascadeName = "ago.xml";

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
    cv::CascadeClassifier Cascade;
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

int LoadCascade(State& state, const char* cascadeFile)
{
    const std::optional<CascadeKey> key = KeyOf(cascadeFile);
    if (!key)
        return kCascadeUnloadable;
    if (state.LoadedKey == key && !state.Cascade.empty())
        return kOk;
    state.LoadedKey.reset();
    bool loaded = false;
    try {
        loaded = state.Cascade.load(key->Path);
    } catch (const cv::Exception&) {
        // A malformed file makes the XML parser raise; it is still just an unloadable cascade.
        loaded = false;
    }
    if (!loaded || state.Cascade.empty())
        return kCascadeUnloadable;
    state.LoadedKey = key;
    return kOk;
}

bool IsLowerFaceCascade(const char* cascadeFile)
{
    return std::filesystem::path(cascadeFile).filename() == kLowerFaceCascadeName;
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
    if (IsLowerFaceCascade(cascadeFile) && ReadJpegSize(imageFile, stripWidth, stripHeight)) {
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

    const cv::Size window = state.Cascade.getOriginalWindowSize();
    const int minWidth = static_cast<int>(minObjectWidth / image.Scale);
    const int minHeight = static_cast<int>(minObjectHeight / image.Scale);
    if (image.FileWidth < state.MinWidth || image.FileHeight < state.MinHeight || image.Grey.cols < window.width
        || image.Grey.rows < window.height)
        return kNothingSearched;

    std::vector<Detection> found = Search(state.Cascade, image, SettingsFor(pass, precision, minWidth, minHeight));
    if (stripHeight > 0) {
        // The strip runs from the middle of the face to half a face below it: its upper half holds the mouth and
        // the chin, its lower half the neck. What the lower-face cascade finds there is a collar, a necklace or a
        // hand, never the chin, and taking it would push the frame's chin line down onto the clothing.
        std::erase_if(found, [stripHeight](const Detection& d) { return 2 * d.Box.y + d.Box.height > stripHeight; });
    }
    OrderDetections(found, image.FileWidth, image.FileHeight);
    state.Results = std::move(found);
    return kOk;
}

} // namespace

extern "C" {

void setMinSize(int minWidth, int minHeight)
{
    State& state = TheState();
    state.MinWidth = std::max(0, minWidth);
    state.MinHeight = std::max(0, minHeight);
}

int facedetect(const char* imageFile, int /*flag*/, const char* cascadeFile, int pass, int precision)
{
    try {
        State& state = TheState();
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

} // extern "C"
