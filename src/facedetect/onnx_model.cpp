#include "onnx_model.h"

#include <new>

namespace vellicam::facedetect {

int OnnxModel::Read(const std::string& path, const std::function<bool(cv::dnn::Net& net)>& proof)
{
    if (path.empty())
        return state_ = kOnnxModelBadArguments;
    std::error_code ec;
    FileKey key;
    key.path = std::filesystem::absolute(path, ec).string();
    if (ec || !std::filesystem::is_regular_file(key.path, ec))
        return state_ = kOnnxModelMissing;
    key.size = std::filesystem::file_size(key.path, ec);
    key.time = std::filesystem::last_write_time(key.path, ec);
    if (ec)
        return state_ = kOnnxModelMissing;
    if (key_ == key && state_ == 1)
        return kOnnxModelOk;
    key_.reset();
    net_ = cv::dnn::Net();
    try {
        cv::dnn::Net net = cv::dnn::readNetFromONNX(key.path);
        if (net.empty())
            return state_ = kOnnxModelUnreadable;
        net.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
        net.setPreferableTarget(cv::dnn::DNN_TARGET_CPU);
        if (!proof(net))
            return state_ = kOnnxModelUnreadable;
        net_ = std::move(net);
    } catch (const std::bad_alloc&) {
        return state_ = kOnnxModelNoMemory;
    } catch (...) {
        return state_ = kOnnxModelUnreadable;
    }
    key_ = key;
    state_ = 1;
    return kOnnxModelOk;
}

} // namespace vellicam::facedetect
