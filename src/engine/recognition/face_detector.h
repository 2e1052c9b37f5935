// The face detector library loaded at run time by absolute path, and its three functions (and the two optional ones,
// when it has them) called so that a missing library or function, or a call that throws out of the library, becomes
// a result code instead of a crash. Refuses calls before a successful Load.
#pragma once

#include "recognition/frame_proposal.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vellicam {

// The detector library's file name (FindDetectorFiles says in which folder).
inline constexpr const char* kDetectorLibraryName = "libfacedetect.so";

enum FaceDetectorResult : int {
    kDetectorOk = 0,
    kDetectorNotLoaded = -3, // the library does not load (or was not loaded when a call was made)
    kDetectorNoSetMinSize = -4,
    kDetectorNoGetRect = -5,
    kDetectorNoFacedetect = -6,
    kDetectorCallFaulted = -7, // an exception came out of the library
};

// The message the window shows for one of the codes above; "" for kDetectorOk and unknown codes.
[[nodiscard]] std::string FaceDetectorMessage(int result);

// Where the library's landmarks put the chin and the two eye centres of a face (leftEye on the image's left), in
// pixels of the image the library read.
struct FaceLandmarks {
    int chinX = 0, chinY = 0;
    int leftEyeX = 0, leftEyeY = 0;
    int rightEyeX = 0, rightEyeY = 0;
    // The face's outline at about eye level on the image's left and right, when the library gives it
    // (getFaceSides): the face's own centre lies halfway between.
    bool hasSides = false;
    int leftSideX = 0, leftSideY = 0;
    int rightSideX = 0, rightSideY = 0;
    friend bool operator==(const FaceLandmarks&, const FaceLandmarks&) = default;
};

// How far open the landmarks find each eye: lid-to-lid height per thousand of the eye's width (about 300 open,
// below 150 closed).
struct EyeOpening {
    int left = 0, right = 0;
    friend bool operator==(const EyeOpening&, const EyeOpening&) = default;
};

// Whether the library can give a person mask, as its optional loadPersonModel says for the model file.
enum class PersonModelState {
    NotSupported, // the library has no person mask (an older library), or it does not load
    Missing, // the model file is not there
    Unreadable, // the file is there but is not a model that gives a person mask
    Ready,
};

// The same four answers for the learned face detector's model (the library's optional loadFaceModel).
using FaceModelState = PersonModelState;

// Which detector a library uses, as its optional detectorKind function says.
enum class DetectorKind {
    Unavailable, // the library does not load or lacks one of its three functions
    CascadeOnly, // no second opinion: an older library, or the landmark model is missing or unreadable
    Verified, // the cascade's faces confirmed by a face detector, with landmarks
};

// One loaded library. The library is released (dlclose) by Release or when the object goes, so each recognition
// run loads it afresh and a library replaced between runs is picked up; the real library asks to stay mapped
// (its models take up to a second and a half to read), so a replaced real library takes effect at the next start.
class FaceDetector {
public:
    FaceDetector() = default;
    ~FaceDetector() { Release(); }
    FaceDetector(const FaceDetector&) = delete;
    FaceDetector& operator=(const FaceDetector&) = delete;

    // Loads the library at `libraryPath` (an absolute path: a bare name would send the loader searching the
    // system's folders) and takes the addresses of setMinSize, getRect and facedetect in that order, then those of
    // the optional getFacePoints and detectorKind when the library has them. On a failure nothing stays loaded
    // and Reason() says why. Refuses an empty path with kDetectorNotLoaded.
    [[nodiscard]] int Load(const std::string& libraryPath);
    void Release();
    [[nodiscard]] bool Loaded() const { return handle_ != nullptr; }
    // The loader's own reason for the last failure (dlerror, or the exception's text), for a log or a terminal.
    [[nodiscard]] const std::string& Reason() const { return reason_; }

    // Each call returns kDetectorOk, kDetectorNotLoaded or kDetectorCallFaulted; its answer goes to the out
    // parameter only on kDetectorOk.
    [[nodiscard]] int SetMinSize(int minWidth, int minHeight);
    [[nodiscard]] int Detect(
        const std::string& imageFile, const std::string& cascadeFile, int pass, int precision, int& status);
    // getRect(-1, -1): the number of detections of the last Detect (0 or less: none).
    [[nodiscard]] int Count(int& count);
    // getRect(0..3, index): detection `index` in pixels of the image file.
    [[nodiscard]] int Detection(int index, FaceRect& rect);

    // True when the library has getFacePoints: landmarks of its detections.
    [[nodiscard]] bool HasLandmarks() const { return getFacePoints_ != nullptr; }
    // getFacePoints(index): the landmarks of detection `index` of the last Detect; `found` is false when the
    // library has none for it (or has no getFacePoints at all, which is not an error).
    [[nodiscard]] int Landmarks(int index, FaceLandmarks& points, bool& found);
    // getEyeOpenness(index): the eyes' opening for detection `index`; `found` is false when the library has none.
    [[nodiscard]] int EyeOpenness(int index, EyeOpening& opening, bool& found);
    // detectorKind(): CascadeOnly for a library without the function. The first call in a process waits while the
    // library reads its models: tens of milliseconds from the user's model cache, a second and a half without.
    [[nodiscard]] int Kind(DetectorKind& kind);

    // True when the library has loadPersonModel and getPersonMask.
    [[nodiscard]] bool HasPersonMask() const { return loadPersonModel_ && getPersonMask_; }
    // loadPersonModel(path): NotSupported for a library without the person mask.
    [[nodiscard]] int LoadPersonModel(const std::string& modelPath, PersonModelState& state);
    // True when the library has loadFaceModel: a learned face detector as the last resort of its face search.
    [[nodiscard]] bool HasFaceModel() const { return loadFaceModel_ != nullptr; }
    // loadFaceModel(path): NotSupported for a library without it. The library needs the person model too
    // (LoadPersonModel) before it takes any of the network's faces.
    [[nodiscard]] int LoadFaceModel(const std::string& modelPath, FaceModelState& state);
    // getPersonMask over `picture` (the whole bitmap) at its size divided by `divisor`: `mask` gets
    // ceil(W / divisor) × ceil(H / divisor) values 0..255, row after row, and `status` the library's answer
    // (0 when written; the mask is then filled).
    [[nodiscard]] int PersonMask(const Bitmap& picture, int divisor, std::vector<std::uint8_t>& mask, int& status);
    // setThreadCount(threads): the threads the library's work may use from now on, for the whole process; a library
    // without the function keeps its own choice.
    [[nodiscard]] int SetThreads(int threads);
    // loadCascade(file): the library reads the cascade ahead of the first Detect naming it; what it answers is left
    // to that Detect to say. A library without the function reads it then.
    [[nodiscard]] int ReadCascade(const std::string& cascadeFile);
    // True when the library has prepareModels: the learned face detector read only when it is first needed, the
    // person model read without a run of its own.
    [[nodiscard]] bool PreparesModels() const { return prepareModels_ != nullptr; }
    // prepareModels(face, person) (an empty name leaves that model out); `state` says what reading the person model
    // gave. kDetectorNotLoaded without PreparesModels().
    [[nodiscard]] int PrepareModels(
        const std::string& faceModelPath, const std::string& personModelPath, PersonModelState& state);

private:
    using SetMinSizeFn = void (*)(int, int);
    using GetRectFn = int (*)(int, int);
    using FacedetectFn = int (*)(const char*, int, const char*, int, int);
    using GetFacePointsFn = int (*)(int, int*);
    using DetectorKindFn = int (*)();
    using GetFaceSidesFn = int (*)(int, int*);
    using LoadPersonModelFn = int (*)(const char*);
    using GetPersonMaskFn = int (*)(const unsigned char*, int, int, int, int, unsigned char*);
    using LoadFaceModelFn = int (*)(const char*);
    using SetThreadCountFn = void (*)(int);
    using LoadCascadeFn = int (*)(const char*);
    using PrepareModelsFn = int (*)(const char*, const char*);

    void* handle_ = nullptr;
    SetMinSizeFn setMinSize_ = nullptr;
    GetRectFn getRect_ = nullptr;
    FacedetectFn facedetect_ = nullptr;
    GetFacePointsFn getFacePoints_ = nullptr;
    DetectorKindFn detectorKind_ = nullptr;
    GetFacePointsFn getEyeOpenness_ = nullptr; // same signature: (index, out numbers)
    GetFaceSidesFn getFaceSides_ = nullptr;
    LoadPersonModelFn loadPersonModel_ = nullptr;
    GetPersonMaskFn getPersonMask_ = nullptr;
    LoadFaceModelFn loadFaceModel_ = nullptr;
    SetThreadCountFn setThreadCount_ = nullptr;
    LoadCascadeFn loadCascade_ = nullptr;
    PrepareModelsFn prepareModels_ = nullptr;
    std::string reason_;
};

// Loads the library FindDetectorFiles finds for a program in `programFolder` (beside it or installed), asks which
// detector it uses and releases it. The first call in a process reads the library's models (tens of milliseconds
// from the user's model cache, a second and a half when it is made); the library stays mapped with them, so calling
// this on a worker thread at start-up spares the first recognition the wait, and a batch's workers made after it start
// with the models in memory.
[[nodiscard]] DetectorKind QueryDetectorKind(const std::string& programFolder);

// What the settings dialog says about a detector kind.
[[nodiscard]] std::string DetectorKindText(DetectorKind kind);

// The detector as QueryDetectorKind finds it, with its two networks, which are read and proved by a run here (what
// the settings dialog reports); the run leaves each network's working memory allocated in this process.
struct DetectorReport {
    DetectorKind kind = DetectorKind::Unavailable;
    PersonModelState personModel = PersonModelState::NotSupported;
    std::string personModelPath; // where the model was looked for
    FaceModelState faceModel = FaceModelState::NotSupported;
    std::string faceModelPath;
};
[[nodiscard]] DetectorReport QueryDetector(const std::string& programFolder);

// What one recognition in a fresh process needs, done while the photo is decoded: the library and its landmark
// models, the face cascade, and the two networks as PrepareModels has them (the person model read without its proof
// run, the learned face detector only named, to be read if the run's last resort needs it). A library without
// prepareModels has them read and proved here, as QueryDetector does. A batch calls it before forking its workers,
// which start with all of it in memory and none of the networks' working memory.
void PrepareDetector(const std::string& programFolder);

// The detector line of "設定": DetectorKindText, then a second line on the person model and, for a library that has
// one, a third on the learned face detector's model, each naming a missing or unreadable file.
[[nodiscard]] std::string DetectorReportText(const DetectorReport& report);

} // namespace vellicam
