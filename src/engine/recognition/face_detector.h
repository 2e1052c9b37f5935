// The face detector library loaded at run time by absolute path, and its three functions called so that a
// missing library or function, or a call that throws out of the library, becomes a result code instead of a crash.
// Refuses calls before a successful Load.
#pragma once

#include "recognition/frame_proposal.h"

#include <string>

namespace vellicam {

// The detector library's file name in the program's folder.
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

// One loaded library. The library is released (dlclose) by Release or when the object goes, so each recognition
// run loads it afresh and a library replaced between runs is picked up.
class FaceDetector {
public:
    FaceDetector() = default;
    ~FaceDetector() { Release(); }
    FaceDetector(const FaceDetector&) = delete;
    FaceDetector& operator=(const FaceDetector&) = delete;

    // Loads the library at `libraryPath` (an absolute path: a bare name would send the loader searching the
    // system's folders) and takes the addresses of setMinSize, getRect and facedetect in that order. On a
    // failure nothing stays loaded and Reason() says why. Refuses an empty path with kDetectorNotLoaded.
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

private:
    using SetMinSizeFn = void (*)(int, int);
    using GetRectFn = int (*)(int, int);
    using FacedetectFn = int (*)(const char*, int, const char*, int, int);

    void* handle_ = nullptr;
    SetMinSizeFn setMinSize_ = nullptr;
    GetRectFn getRect_ = nullptr;
    FacedetectFn facedetect_ = nullptr;
    std::string reason_;
};

} // namespace vellicam
