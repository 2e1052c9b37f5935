// A network read from an ONNX file by OpenCV's DNN module, kept while its file stays the same (path, size and
// time). The program may ask for a model on one thread (the settings' report) while a recognition runs it on
// another: reading and running happen under the model's lock.
#pragma once

#include <opencv2/dnn.hpp>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace vellicam::facedetect {

// What reading a model gave; the person model's and the face model's codes are these.
inline constexpr int kOnnxModelOk = 0;
inline constexpr int kOnnxModelBadArguments = -1;
inline constexpr int kOnnxModelMissing = -2; // no such file
inline constexpr int kOnnxModelUnreadable = -3; // not a network the DNN module reads, or not the one expected
inline constexpr int kOnnxModelNoMemory = -4;

class OnnxModel {
public:
    // Reads the network at `path` unless it is the file read last and that read worked. `proof` runs the new network
    // once and says whether it gives what the caller expects. Returns one of the kOnnxModel codes; call under Lock().
    int Read(const std::string& path, const std::function<bool(cv::dnn::Net& net)>& proof);

    // Names the file ReadNamed reads when the network is first needed, reading nothing now: a process that never
    // runs the network (a detect whose face the cascade finds) never pays for it. Call under Lock().
    void Name(const std::string& path) { named_ = path; }
    // Reads the named file unless it is the one read last, unchanged, without a proof run (the caller checks what the
    // first real run gives). Returns State(). Call under Lock().
    int ReadNamed();
    // Runs the network read without a proof on `input` and gives its outputs `names`; a run that throws, or whose
    // outputs `usable` refuses, refuses the network (State() kOnnxModelUnreadable) until its file changes or a proof
    // is asked for. Returns whether the outputs can be used. Call under Lock(), with State() 1.
    bool Run(const cv::Mat& input, const std::vector<cv::String>& names, std::vector<cv::Mat>& outputs,
        const std::function<bool(const std::vector<cv::Mat>&)>& usable);

    // 1 once a network is read, 0 before any reading, else the last reading's failure. Call under Lock().
    [[nodiscard]] int State() const { return state_; }
    [[nodiscard]] std::mutex& Lock() { return lock_; }

private:
    struct FileKey {
        std::string path;
        std::uintmax_t size = 0;
        std::filesystem::file_time_type time {};
        bool operator==(const FileKey&) const = default;
    };

    std::mutex lock_;
    std::optional<FileKey> key_;
    cv::dnn::Net net_;
    int state_ = 0;
    bool proven_ = false; // the network passed a proof run
    std::string named_;
};

} // namespace vellicam::facedetect
