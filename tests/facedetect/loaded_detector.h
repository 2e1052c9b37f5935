// The detector library (real or stand-in) opened with dlopen, as the program opens it, for the tests.
#pragma once

#include <dlfcn.h>
#include <string>

namespace vellicam::test {

class LoadedDetector {
public:
    using SetMinSizeFn = void (*)(int, int);
    using FacedetectFn = int (*)(const char*, int, const char*, int, int);
    using GetRectFn = int (*)(int, int);

    explicit LoadedDetector(const std::string& path)
    {
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle_) {
            error_ = dlerror();
            return;
        }
        setMinSize = reinterpret_cast<SetMinSizeFn>(dlsym(handle_, "setMinSize"));
        facedetect = reinterpret_cast<FacedetectFn>(dlsym(handle_, "facedetect"));
        getRect = reinterpret_cast<GetRectFn>(dlsym(handle_, "getRect"));
    }
    ~LoadedDetector()
    {
        if (handle_)
            dlclose(handle_);
    }
    LoadedDetector(const LoadedDetector&) = delete;
    LoadedDetector& operator=(const LoadedDetector&) = delete;

    bool Loaded() const { return handle_ != nullptr; }
    bool Complete() const { return setMinSize && facedetect && getRect; }
    const std::string& Error() const { return error_; }
    void* Handle() const { return handle_; }

    SetMinSizeFn setMinSize = nullptr;
    FacedetectFn facedetect = nullptr;
    GetRectFn getRect = nullptr;

private:
    void* handle_ = nullptr;
    std::string error_;
};

} // namespace vellicam::test
