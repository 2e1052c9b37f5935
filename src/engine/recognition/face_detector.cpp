// The face detector library loaded with dlopen.
#include "recognition/face_detector.h"

#include "recognition/detector_files.h"

#include <dlfcn.h>

#include <exception>

namespace vellicam {

namespace {

std::string LoaderError(const char* fallback)
{
    const char* error = dlerror();
    return error ? error : fallback;
}

// What escaped the library, for Reason(); the caller has already turned it into kDetectorCallFaulted.
std::string CurrentExceptionText()
{
    try {
        throw;
    } catch (const std::exception& e) {
        return std::string("the detector threw: ") + e.what();
    } catch (...) {
        return "the detector threw an exception of unknown type";
    }
}

// What the library's reading of the person model answered.
PersonModelState PersonModelStateOf(int status)
{
    return status == 0                 ? PersonModelState::Ready
        : status == -2 || status == -1 ? PersonModelState::Missing
                                       : PersonModelState::Unreadable;
}

} // namespace

std::string FaceDetectorMessage(int result)
{
    switch (result) {
    case kDetectorNotLoaded:
        return "DLLの読み込みに失敗しました。(1)";
    case kDetectorNoSetMinSize:
        return "関数のアドレスの取得に失敗しました。1";
    case kDetectorNoGetRect:
        return "関数のアドレスの取得に失敗しました。2";
    case kDetectorNoFacedetect:
        return "関数のアドレスの取得に失敗しました。3";
    case kDetectorCallFaulted:
        return "DLLの読み込みに失敗しました。";
    default:
        return {};
    }
}

int FaceDetector::Load(const std::string& libraryPath)
{
    Release();
    reason_.clear();
    if (libraryPath.empty()) {
        reason_ = "no library path";
        return kDetectorNotLoaded;
    }
    dlerror();
    handle_ = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        reason_ = LoaderError("the library does not load");
        return kDetectorNotLoaded;
    }
    // The addresses are taken in this order so that a library lacking several functions reports the first.
    struct Wanted {
        const char* name;
        void** slot;
        int missing;
    };
    void* addresses[3] = {};
    const Wanted wanted[] = {
        { "setMinSize", &addresses[0], kDetectorNoSetMinSize },
        { "getRect", &addresses[1], kDetectorNoGetRect },
        { "facedetect", &addresses[2], kDetectorNoFacedetect },
    };
    for (const Wanted& w : wanted) {
        dlerror();
        *w.slot = dlsym(handle_, w.name);
        if (!*w.slot) {
            reason_ = LoaderError("undefined symbol");
            Release();
            return w.missing;
        }
    }
    setMinSize_ = reinterpret_cast<SetMinSizeFn>(addresses[0]);
    getRect_ = reinterpret_cast<GetRectFn>(addresses[1]);
    facedetect_ = reinterpret_cast<FacedetectFn>(addresses[2]);
    // Optional: a library without them works as before.
    getFacePoints_ = reinterpret_cast<GetFacePointsFn>(dlsym(handle_, "getFacePoints"));
    detectorKind_ = reinterpret_cast<DetectorKindFn>(dlsym(handle_, "detectorKind"));
    getEyeOpenness_ = reinterpret_cast<GetFacePointsFn>(dlsym(handle_, "getEyeOpenness"));
    getFaceSides_ = reinterpret_cast<GetFaceSidesFn>(dlsym(handle_, "getFaceSides"));
    loadPersonModel_ = reinterpret_cast<LoadPersonModelFn>(dlsym(handle_, "loadPersonModel"));
    getPersonMask_ = reinterpret_cast<GetPersonMaskFn>(dlsym(handle_, "getPersonMask"));
    loadFaceModel_ = reinterpret_cast<LoadFaceModelFn>(dlsym(handle_, "loadFaceModel"));
    setThreadCount_ = reinterpret_cast<SetThreadCountFn>(dlsym(handle_, "setThreadCount"));
    loadCascade_ = reinterpret_cast<LoadCascadeFn>(dlsym(handle_, "loadCascade"));
    prepareModels_ = reinterpret_cast<PrepareModelsFn>(dlsym(handle_, "prepareModels"));
    dlerror();
    return kDetectorOk;
}

void FaceDetector::Release()
{
    setMinSize_ = nullptr;
    getRect_ = nullptr;
    facedetect_ = nullptr;
    getFacePoints_ = nullptr;
    detectorKind_ = nullptr;
    getEyeOpenness_ = nullptr;
    getFaceSides_ = nullptr;
    loadPersonModel_ = nullptr;
    getPersonMask_ = nullptr;
    loadFaceModel_ = nullptr;
    setThreadCount_ = nullptr;
    loadCascade_ = nullptr;
    prepareModels_ = nullptr;
    if (handle_) {
        dlclose(handle_);
        handle_ = nullptr;
    }
}

int FaceDetector::SetMinSize(int minWidth, int minHeight)
{
    if (!setMinSize_)
        return kDetectorNotLoaded;
    try {
        setMinSize_(minWidth, minHeight);
    } catch (...) {
        reason_ = CurrentExceptionText();
        return kDetectorCallFaulted;
    }
    return kDetectorOk;
}

int FaceDetector::Detect(
    const std::string& imageFile, const std::string& cascadeFile, int pass, int precision, int& status)
{
    if (!facedetect_)
        return kDetectorNotLoaded;
    try {
        // Only the flag's low byte was ever read, and nothing is asked of it.
        status = facedetect_(imageFile.c_str(), 0, cascadeFile.c_str(), pass, precision);
    } catch (...) {
        reason_ = CurrentExceptionText();
        return kDetectorCallFaulted;
    }
    return kDetectorOk;
}

int FaceDetector::Count(int& count)
{
    if (!getRect_)
        return kDetectorNotLoaded;
    try {
        count = getRect_(-1, -1);
    } catch (...) {
        reason_ = CurrentExceptionText();
        return kDetectorCallFaulted;
    }
    return kDetectorOk;
}

int FaceDetector::Detection(int index, FaceRect& rect)
{
    if (!getRect_)
        return kDetectorNotLoaded;
    try {
        FaceRect r;
        r.x1 = getRect_(0, index);
        r.y1 = getRect_(1, index);
        r.x2 = getRect_(2, index);
        r.y2 = getRect_(3, index);
        rect = r;
    } catch (...) {
        reason_ = CurrentExceptionText();
        return kDetectorCallFaulted;
    }
    return kDetectorOk;
}

int FaceDetector::Landmarks(int index, FaceLandmarks& points, bool& found)
{
    if (!getRect_)
        return kDetectorNotLoaded;
    found = false;
    if (!getFacePoints_)
        return kDetectorOk;
    try {
        int p[6] = {};
        if (getFacePoints_(index, p) == 1) {
            points = { p[0], p[1], p[2], p[3], p[4], p[5] };
            found = true;
            int s[4] = {};
            if (getFaceSides_ && getFaceSides_(index, s) == 1) {
                points.hasSides = true;
                points.leftSideX = s[0];
                points.leftSideY = s[1];
                points.rightSideX = s[2];
                points.rightSideY = s[3];
            }
        }
    } catch (...) {
        reason_ = CurrentExceptionText();
        return kDetectorCallFaulted;
    }
    return kDetectorOk;
}

int FaceDetector::EyeOpenness(int index, EyeOpening& opening, bool& found)
{
    if (!getRect_)
        return kDetectorNotLoaded;
    found = false;
    if (!getEyeOpenness_)
        return kDetectorOk;
    try {
        int p[2] = {};
        if (getEyeOpenness_(index, p) == 1) {
            opening = { p[0], p[1] };
            found = true;
        }
    } catch (...) {
        reason_ = CurrentExceptionText();
        return kDetectorCallFaulted;
    }
    return kDetectorOk;
}

int FaceDetector::Kind(DetectorKind& kind)
{
    if (!getRect_)
        return kDetectorNotLoaded;
    if (!detectorKind_) {
        kind = DetectorKind::CascadeOnly;
        return kDetectorOk;
    }
    try {
        kind = detectorKind_() == 1 ? DetectorKind::Verified : DetectorKind::CascadeOnly;
    } catch (...) {
        reason_ = CurrentExceptionText();
        return kDetectorCallFaulted;
    }
    return kDetectorOk;
}

int FaceDetector::LoadPersonModel(const std::string& modelPath, PersonModelState& state)
{
    if (!getRect_)
        return kDetectorNotLoaded;
    if (!HasPersonMask()) {
        state = PersonModelState::NotSupported;
        return kDetectorOk;
    }
    try {
        state = PersonModelStateOf(loadPersonModel_(modelPath.c_str()));
    } catch (...) {
        reason_ = CurrentExceptionText();
        return kDetectorCallFaulted;
    }
    return kDetectorOk;
}

int FaceDetector::LoadFaceModel(const std::string& modelPath, FaceModelState& state)
{
    if (!getRect_)
        return kDetectorNotLoaded;
    if (!HasFaceModel()) {
        state = FaceModelState::NotSupported;
        return kDetectorOk;
    }
    try {
        const int status = loadFaceModel_(modelPath.c_str());
        state = status == 0                ? FaceModelState::Ready
            : status == -2 || status == -1 ? FaceModelState::Missing
                                           : FaceModelState::Unreadable;
    } catch (...) {
        reason_ = CurrentExceptionText();
        return kDetectorCallFaulted;
    }
    return kDetectorOk;
}

int FaceDetector::SetThreads(int threads)
{
    if (!getRect_)
        return kDetectorNotLoaded;
    if (!setThreadCount_)
        return kDetectorOk;
    try {
        setThreadCount_(threads);
    } catch (...) {
        reason_ = CurrentExceptionText();
        return kDetectorCallFaulted;
    }
    return kDetectorOk;
}

int FaceDetector::ReadCascade(const std::string& cascadeFile)
{
    if (!getRect_)
        return kDetectorNotLoaded;
    if (!loadCascade_)
        return kDetectorOk;
    try {
        (void)loadCascade_(cascadeFile.c_str());
    } catch (...) {
        reason_ = CurrentExceptionText();
        return kDetectorCallFaulted;
    }
    return kDetectorOk;
}

int FaceDetector::PrepareModels(
    const std::string& faceModelPath, const std::string& personModelPath, PersonModelState& state)
{
    if (!getRect_ || !prepareModels_)
        return kDetectorNotLoaded;
    try {
        state = PersonModelStateOf(prepareModels_(faceModelPath.c_str(), personModelPath.c_str()));
    } catch (...) {
        reason_ = CurrentExceptionText();
        return kDetectorCallFaulted;
    }
    return kDetectorOk;
}

int FaceDetector::PersonMask(const Bitmap& picture, int divisor, std::vector<std::uint8_t>& mask, int& status)
{
    if (!getRect_)
        return kDetectorNotLoaded;
    if (!HasPersonMask() || picture.Empty() || divisor < 1) {
        status = -1;
        return kDetectorOk;
    }
    try {
        const std::size_t w = static_cast<std::size_t>((picture.Width() + divisor - 1) / divisor);
        const std::size_t h = static_cast<std::size_t>((picture.Height() + divisor - 1) / divisor);
        std::vector<std::uint8_t> values(w * h);
        status = getPersonMask_(picture.Data(), picture.Width(), picture.Height(), static_cast<int>(picture.Stride()),
            divisor, values.data());
        if (status == 0)
            mask = std::move(values);
    } catch (...) {
        reason_ = CurrentExceptionText();
        return kDetectorCallFaulted;
    }
    return kDetectorOk;
}

DetectorKind QueryDetectorKind(const std::string& programFolder)
{
    // The library recognition will load, found the same way: beside the program or in the installed tree. Asking
    // any other file would leave the real one's models unread, and every recognition would read them again.
    const DetectorFiles files = FindDetectorFiles(programFolder);
    FaceDetector detector;
    DetectorKind kind = DetectorKind::Unavailable;
    if (files.library.empty() || detector.Load(files.library) != kDetectorOk || detector.Kind(kind) != kDetectorOk)
        return DetectorKind::Unavailable;
    return kind;
}

DetectorReport QueryDetector(const std::string& programFolder)
{
    const DetectorFiles files = FindDetectorFiles(programFolder);
    DetectorReport report;
    report.personModelPath = files.personModel;
    report.faceModelPath = files.faceModel;
    FaceDetector detector;
    if (files.library.empty() || detector.Load(files.library) != kDetectorOk
        || detector.Kind(report.kind) != kDetectorOk) {
        report.kind = DetectorKind::Unavailable;
        return report;
    }
    if (detector.LoadPersonModel(files.personModel, report.personModel) != kDetectorOk)
        report.personModel = PersonModelState::NotSupported;
    if (detector.LoadFaceModel(files.faceModel, report.faceModel) != kDetectorOk)
        report.faceModel = FaceModelState::NotSupported;
    // The face cascade too, which the first search would read: the window's first recognition, each batch worker
    // and a detect whose photo is still being decoded find it read.
    if (!files.faceCascade.empty())
        (void)detector.ReadCascade(files.faceCascade);
    return report;
}

void PrepareDetector(const std::string& programFolder)
{
    const DetectorFiles files = FindDetectorFiles(programFolder);
    FaceDetector detector;
    DetectorKind kind = DetectorKind::Unavailable;
    if (files.library.empty() || detector.Load(files.library) != kDetectorOk || detector.Kind(kind) != kDetectorOk)
        return;
    if (!files.faceCascade.empty())
        (void)detector.ReadCascade(files.faceCascade);
    PersonModelState state = PersonModelState::NotSupported;
    if (!detector.PreparesModels() || detector.PrepareModels(files.faceModel, files.personModel, state) != kDetectorOk)
        (void)QueryDetector(programFolder);
}

namespace {

std::string PersonModelLine(const DetectorReport& report)
{
    switch (report.personModel) {
    case PersonModelState::Ready:
        return "\n人物マスク: 使用可能";
    case PersonModelState::Missing:
        return "\n人物マスク: モデルが見つかりません（" + report.personModelPath + "）";
    case PersonModelState::Unreadable:
        return "\n人物マスク: モデルを読み込めません（" + report.personModelPath + "）";
    case PersonModelState::NotSupported:
        break;
    }
    return report.kind == DetectorKind::Unavailable ? "" : "\n人物マスク: この顔検出ライブラリにはありません";
}

// Said only by a library that has the learned face detector: an older one's report stays as it was.
std::string FaceModelLine(const DetectorReport& report)
{
    switch (report.faceModel) {
    case FaceModelState::Ready:
        return "\n学習済み顔検出: 使用可能";
    case FaceModelState::Missing:
        return "\n学習済み顔検出: モデルが見つかりません（" + report.faceModelPath + "）";
    case FaceModelState::Unreadable:
        return "\n学習済み顔検出: モデルを読み込めません（" + report.faceModelPath + "）";
    case FaceModelState::NotSupported:
        break;
    }
    return "";
}

} // namespace

std::string DetectorReportText(const DetectorReport& report)
{
    return DetectorKindText(report.kind) + PersonModelLine(report) + FaceModelLine(report);
}

std::string DetectorKindText(DetectorKind kind)
{
    switch (kind) {
    case DetectorKind::Verified:
        return "顔検出: カスケード分類器＋顔検出器による確認・顔の特徴点（顎・目）";
    case DetectorKind::CascadeOnly:
        return "顔検出: カスケード分類器のみ（顔の特徴点モデルが見つかりません）";
    case DetectorKind::Unavailable:
        break;
    }
    return "顔検出: 顔検出ライブラリを読み込めません";
}

} // namespace vellicam
