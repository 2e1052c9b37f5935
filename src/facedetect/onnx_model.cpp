#include "onnx_model.h"

#include <opencv2/core/utils/logger.hpp>

#include <cstdlib>
#include <new>

namespace vellicam::facedetect {

namespace {

// The DNN module writes its own lines to standard error when a network does not fit its input ("[ERROR] ...
// getLayerShapesRecursively"), for a model the library then reports as unreadable in its own words. Those lines
// reached the command line's users beside a detect that went well; unless OPENCV_LOG_LEVEL asks for them, they are
// silenced, once, before the first network is read.
void QuietDnnLog()
{
    static const bool quiet = [] {
        if (!std::getenv("OPENCV_LOG_LEVEL"))
            cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
        return true;
    }();
    (void)quiet;
}

} // namespace

int OnnxModel::Read(const std::string& path, const std::function<bool(cv::dnn::Net& net)>& proof)
{
    QuietDnnLog();
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
    // A network refused at its first run is not read again unproved while its file stays the same.
    if (key_ == key && state_ == kOnnxModelUnreadable && !proof)
        return state_;
    if (key_ == key && state_ == 1) {
        // A network read for its first use is proved when a caller asks for it by name.
        if (proven_ || !proof)
            return kOnnxModelOk;
        try {
            if (proof(net_)) {
                proven_ = true;
                return kOnnxModelOk;
            }
        } catch (const std::bad_alloc&) {
            return kOnnxModelNoMemory;
        } catch (...) {
        }
        net_ = cv::dnn::Net();
        key_.reset();
        return state_ = kOnnxModelUnreadable;
    }
    key_.reset();
    proven_ = false;
    net_ = cv::dnn::Net();
    try {
        cv::dnn::Net net = cv::dnn::readNetFromONNX(key.path);
        if (net.empty())
            return state_ = kOnnxModelUnreadable;
        net.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
        net.setPreferableTarget(cv::dnn::DNN_TARGET_CPU);
        if (proof && !proof(net))
            return state_ = kOnnxModelUnreadable;
        proven_ = static_cast<bool>(proof);
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

bool OnnxModel::Run(const cv::Mat& input, const std::vector<cv::String>& names, std::vector<cv::Mat>& outputs,
    const std::function<bool(const std::vector<cv::Mat>&)>& usable)
{
    bool fits = false;
    try {
        net_.setInput(input);
        if (names.empty())
            outputs.assign(1, net_.forward());
        else
            net_.forward(outputs, names);
        fits = usable(outputs);
    } catch (const std::bad_alloc&) {
        throw; // the caller's answer for no memory, the network kept
    } catch (const cv::Exception& e) {
        if (proven_ || e.code == cv::Error::StsNoMem)
            throw;
    } catch (const std::exception&) {
        if (proven_)
            throw;
    }
    if (!fits && !proven_) {
        net_ = cv::dnn::Net();
        state_ = kOnnxModelUnreadable; // the key is kept: the same file is not read again unproved
    }
    return fits;
}

int OnnxModel::ReadNamed()
{
    if (!named_.empty())
        (void)Read(named_, nullptr); // nothing but a look at the file once it is read
    return state_;
}

} // namespace vellicam::facedetect
