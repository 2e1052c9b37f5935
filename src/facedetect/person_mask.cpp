// The person mask: the segmentation model run by OpenCV's DNN module, refined by a guided filter.
#include "person_mask.h"

#include "guided_filter.h"
#include "onnx_model.h"

#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <mutex>

namespace vellicam::facedetect {

namespace {

static_assert(kPersonModelOk == kOnnxModelOk && kPersonModelBadArguments == kOnnxModelBadArguments
    && kPersonModelMissing == kOnnxModelMissing && kPersonModelUnreadable == kOnnxModelUnreadable
    && kPersonModelNoMemory == kOnnxModelNoMemory);

constexpr int kModelSide = 256;
// The guided filter's window radius and regularisation at the mask's scale. eps is in 0..255² units because the
// guide is 8-bit: edges with less contrast than about 25 levels follow the model's own soft edge instead.
constexpr int kGuideRadius = 4;
constexpr double kGuideEps = 25.0 * 25.0;
// The rows of the mask refined at a time.
constexpr int kGuideBandRows = 80;
constexpr double kSureOutside = 1e-12;

OnnxModel& TheModel()
{
    static OnnxModel model;
    return model;
}

// What the model gives: one float for each of its input's pixels.
bool IsModelMask(const cv::Mat& out)
{
    return out.total() == static_cast<std::size_t>(kModelSide * kModelSide) && out.depth() == CV_32F;
}

} // namespace

int LoadPersonModel(const std::string& path)
{
    OnnxModel& model = TheModel();
    const std::lock_guard guard(model.Lock());
    return model.Read(path, [](cv::dnn::Net& net) {
        // One run on a grey picture proves the graph computes and gives the mask's shape.
        net.setInput(cv::Mat(std::vector<int> { 1, 3, kModelSide, kModelSide }, CV_32F, cv::Scalar(0.5)));
        return IsModelMask(net.forward());
    });
}

int PersonModelState()
{
    OnnxModel& model = TheModel();
    const std::lock_guard guard(model.Lock());
    return model.State();
}

int ReadPersonModelUnproved(const std::string& path)
{
    OnnxModel& model = TheModel();
    const std::lock_guard guard(model.Lock());
    return model.Read(path, nullptr);
}

int PersonMaskOf(const cv::Mat& bgr, int divisor, cv::Mat& mask)
{
    if (bgr.empty() || bgr.type() != CV_8UC3 || divisor < 1)
        return kPersonModelBadArguments;
    const cv::Size size((bgr.cols + divisor - 1) / divisor, (bgr.rows + divisor - 1) / divisor);
    cv::Mat soft;
    {
        // The network's output lives in the network: it is read before another thread may run it again.
        OnnxModel& model = TheModel();
        const std::lock_guard guard(model.Lock());
        if (model.State() != 1)
            return model.State() < 0 ? model.State() : kPersonModelMissing;
        const cv::Mat blob = cv::dnn::blobFromImage(
            bgr, 1.0 / 255, cv::Size(kModelSide, kModelSide), cv::Scalar(), true, false, CV_32F);
        std::vector<cv::Mat> out;
        if (!model.Run(blob, {}, out, [](const std::vector<cv::Mat>& o) { return IsModelMask(o.front()); }))
            return kPersonModelUnreadable; // read unproved, and not a network that gives a mask
        const cv::Mat probability(kModelSide, kModelSide, CV_32F, const_cast<float*>(out.front().ptr<float>()));
        cv::resize(probability, soft, size, 0, 0, cv::INTER_LINEAR);
    }
    // The network is sure of the background down to probabilities of 1e-30 and below. Through the filter's products
    // such values become subnormal floats, each of which costs the processor some hundred cycles: the filter took a
    // third longer for them. Below kSureOutside they are taken as none, far under the mask's step of 1/255; the masks
    // come out as before.
    cv::threshold(soft, soft, kSureOutside, 0, cv::THRESH_TOZERO);
    cv::Mat guide;
    if (divisor == 1)
        guide = bgr;
    else
        cv::resize(bgr, guide, size, 0, 0, cv::INTER_AREA);
    RefineSoftMask(guide, soft, mask);
    return kPersonModelOk;
}

void RefineSoftMask(const cv::Mat& guide, const cv::Mat& soft, cv::Mat& mask)
{
    const cv::Size size = soft.size();
    mask.create(size, CV_8U);
    // The filter over the whole picture holds some twenty float copies of it at once (20 MB at 640 × 427, in every
    // batch worker); band by band it holds a fifth of that. Each band is filtered with the rows within two radii
    // around it (the filter's two box means reach one radius each), so the bands give the same values as one pass.
    //
    // Where the soft mask is zero over a pixel's reach, the filter gives exactly zero there: every product with the
    // source and every mean of those is zero, and so are the linear model's coefficients. A band is therefore only
    // filtered over the columns within reach of a value that is not zero, seen with one reach more on either side;
    // on a portrait that leaves out the background beside the person, about half of the work.
    const int reach = 2 * kGuideRadius;
    for (int top = 0; top < size.height; top += kGuideBandRows) {
        const int bottom = std::min(size.height, top + kGuideBandRows);
        const int from = std::max(0, top - reach), to = std::min(size.height, bottom + reach);
        int first = size.width, last = -1; // the band's outermost columns with a value
        for (int y = from; y < to; ++y) {
            const float* row = soft.ptr<float>(y);
            for (int x = 0; x < first; ++x)
                if (row[x] != 0) {
                    first = x;
                    break;
                }
            for (int x = size.width - 1; x > last; --x)
                if (row[x] != 0) {
                    last = x;
                    break;
                }
        }
        cv::Mat band = mask.rowRange(top, bottom);
        if (last < first) {
            band.setTo(0);
            continue;
        }
        const int keepFrom = std::max(0, first - reach), keepTo = std::min(size.width, last + 1 + reach);
        const cv::Range columns(std::max(0, first - 2 * reach), std::min(size.width, last + 1 + 2 * reach));
        cv::Mat refined;
        GuidedFilter(
            guide(cv::Range(from, to), columns), soft(cv::Range(from, to), columns), refined, kGuideRadius, kGuideEps);
        band.colRange(0, keepFrom).setTo(0);
        band.colRange(keepTo, size.width).setTo(0);
        refined(cv::Range(top - from, bottom - from), cv::Range(keepFrom - columns.start, keepTo - columns.start))
            .convertTo(band.colRange(keepFrom, keepTo), CV_8U, 255.0);
    }
}

} // namespace vellicam::facedetect
