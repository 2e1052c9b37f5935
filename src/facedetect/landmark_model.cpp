// The shape predictor over flat arrays: the cache's layout, its building from dlib's format and the prediction.
#include "landmark_model.h"

#include <dlib/image_processing/shape_predictor.h>
#include <dlib/opencv/cv_image.h>

#include <cstring>
#include <fstream>
#include <new>

namespace vellicam::facedetect {

// The payload's layout, all in native 32-bit words: the layout header, the mean shape (2 × parts floats), the
// anchors (cascades × features), the deltas (cascades × features × 2 floats), the splits (cascades × trees ×
// splits) and the leaves (cascades × trees × (splits + 1) × 2 × parts floats).
struct LandmarkModel::Split {
    std::uint32_t First; // the feature pixels compared
    std::uint32_t Second;
    float Threshold; // the left child is taken when First − Second exceeds it
};

namespace {

// The cache files' kind for a shape predictor.
constexpr std::uint32_t kLandmarkCacheKind = 1;

struct Layout {
    std::uint32_t Parts, Cascades, Trees, Splits, Features, Reserved[3];
};
static_assert(sizeof(Layout) == 32);

// Far beyond any trained model; they keep the size arithmetic below from overflowing on a damaged header.
constexpr std::uint32_t kMaxParts = 1000, kMaxCascades = 100, kMaxTrees = 10000, kMaxSplits = 4095,
                        kMaxFeatures = 100000;

// The payload's size for a layout; 0 when the layout is out of bounds or its trees are not complete.
std::size_t PayloadSize(const Layout& l)
{
    if (l.Parts == 0 || l.Parts > kMaxParts || l.Cascades == 0 || l.Cascades > kMaxCascades || l.Trees == 0
        || l.Trees > kMaxTrees || l.Splits == 0 || l.Splits > kMaxSplits || ((l.Splits + 1) & l.Splits) != 0
        || l.Features == 0 || l.Features > kMaxFeatures)
        return 0;
    const std::size_t cf = std::size_t(l.Cascades) * l.Features;
    const std::size_t ct = std::size_t(l.Cascades) * l.Trees;
    return sizeof(Layout) + 2 * l.Parts * sizeof(float) + cf * (sizeof(std::uint32_t) + 2 * sizeof(float))
        + ct * l.Splits * 3 * sizeof(std::uint32_t) + ct * (l.Splits + 1) * 2 * l.Parts * sizeof(float);
}

template <typename T> void Put(std::vector<unsigned char>& out, std::size_t& at, const T& value)
{
    std::memcpy(out.data() + at, &value, sizeof value);
    at += sizeof value;
}

// dlib's own serialisation of a shape_predictor, member by member (the members themselves are private), and the
// same data laid out flat. Throws dlib's errors on a malformed file; empty when the trees are not complete.
std::vector<unsigned char> FlattenModelFile(const std::string& modelPath)
{
    std::ifstream in(modelPath, std::ios::binary);
    if (!in)
        throw dlib::serialization_error("cannot open the file");
    int version = 0;
    dlib::deserialize(version, in);
    if (version != 1)
        throw dlib::serialization_error("not a shape predictor of a known version");
    dlib::matrix<float, 0, 1> initial;
    std::vector<std::vector<dlib::impl::regression_tree>> forests;
    std::vector<std::vector<unsigned long>> anchors;
    std::vector<std::vector<dlib::vector<float, 2>>> deltas;
    dlib::deserialize(initial, in);
    dlib::deserialize(forests, in);
    dlib::deserialize(anchors, in);
    dlib::deserialize(deltas, in);

    Layout layout {};
    if (initial.size() % 2 != 0 || forests.empty() || forests[0].empty() || anchors.size() != forests.size()
        || deltas.size() != forests.size())
        return {};
    layout.Parts = static_cast<std::uint32_t>(initial.size() / 2);
    layout.Cascades = static_cast<std::uint32_t>(forests.size());
    layout.Trees = static_cast<std::uint32_t>(forests[0].size());
    layout.Splits = static_cast<std::uint32_t>(forests[0][0].splits.size());
    layout.Features = static_cast<std::uint32_t>(anchors[0].size());
    const std::size_t size = PayloadSize(layout);
    if (size == 0 || initial.size() != 2 * layout.Parts)
        return {};
    for (std::size_t c = 0; c < forests.size(); ++c) {
        if (forests[c].size() != layout.Trees || anchors[c].size() != layout.Features
            || deltas[c].size() != layout.Features)
            return {};
        for (const dlib::impl::regression_tree& tree : forests[c]) {
            if (tree.splits.size() != layout.Splits || tree.leaf_values.size() != layout.Splits + 1)
                return {};
            for (const dlib::matrix<float, 0, 1>& leaf : tree.leaf_values)
                if (leaf.size() != 2 * layout.Parts)
                    return {};
        }
    }

    std::vector<unsigned char> out(size);
    std::size_t at = 0;
    Put(out, at, layout);
    for (long i = 0; i < initial.size(); ++i)
        Put(out, at, initial(i));
    for (const auto& cascade : anchors)
        for (const unsigned long a : cascade)
            Put(out, at, static_cast<std::uint32_t>(a));
    for (const auto& cascade : deltas)
        for (const dlib::vector<float, 2>& d : cascade) {
            Put(out, at, static_cast<float>(d.x()));
            Put(out, at, static_cast<float>(d.y()));
        }
    for (const auto& cascade : forests)
        for (const dlib::impl::regression_tree& tree : cascade)
            for (const dlib::impl::split_feature& s : tree.splits) {
                Put(out, at, static_cast<std::uint32_t>(s.idx1));
                Put(out, at, static_cast<std::uint32_t>(s.idx2));
                Put(out, at, s.thresh);
            }
    for (const auto& cascade : forests)
        for (const dlib::impl::regression_tree& tree : cascade)
            for (const dlib::matrix<float, 0, 1>& leaf : tree.leaf_values) {
                std::memcpy(out.data() + at, &leaf(0), leaf.size() * sizeof(float));
                at += leaf.size() * sizeof(float);
            }
    return at == size ? out : std::vector<unsigned char>();
}

} // namespace

LandmarkModel::~LandmarkModel() = default;

std::filesystem::path LandmarkModel::CacheFileFor(
    const std::string& modelPath, const std::filesystem::path& cacheFolder)
{
    if (cacheFolder.empty())
        return {};
    return cacheFolder / (std::filesystem::path(modelPath).filename().string() + ".cache");
}

std::unique_ptr<LandmarkModel> LandmarkModel::Load(
    const std::string& modelPath, const std::filesystem::path& cacheFolder, std::string& why)
{
    try {
        CacheSource source;
        if (modelPath.empty() || !CacheSourceOf(modelPath, source)) {
            why = "no landmark model at " + modelPath;
            return nullptr;
        }
        std::unique_ptr<LandmarkModel> model(new LandmarkModel());
        const std::filesystem::path cacheFile = CacheFileFor(modelPath, cacheFolder);
        if (!cacheFile.empty()) {
            model->mapped_ = CachedModel::Open(cacheFile, kLandmarkCacheKind, source);
            if (model->mapped_ && model->Attach(model->mapped_->Data(), model->mapped_->Size())) {
                model->origin_ = Origin::Cache;
                return model;
            }
            model->mapped_.reset();
        }
        model->owned_ = FlattenModelFile(modelPath);
        if (!model->Attach(model->owned_.data(), model->owned_.size())) {
            why = modelPath + " is not a shape predictor of complete trees";
            return nullptr;
        }
        model->origin_ = Origin::Source;
        // The file may have changed while it was read; the cache names what was examined before, so a change
        // shows as a stale cache next time at worst.
        if (!cacheFile.empty())
            (void)WriteCachedModel(cacheFile, kLandmarkCacheKind, source, model->owned_.data(), model->owned_.size());
        return model;
    } catch (const std::bad_alloc&) {
        why = "out of memory reading " + modelPath;
    } catch (const std::exception& e) {
        why = modelPath + ": " + e.what();
    } catch (...) {
        why = modelPath + ": unreadable";
    }
    return nullptr;
}

bool LandmarkModel::Attach(const unsigned char* payload, std::size_t size)
{
    Layout layout {};
    if (size < sizeof layout)
        return false;
    std::memcpy(&layout, payload, sizeof layout);
    if (PayloadSize(layout) != size)
        return false;
    const std::size_t features = std::size_t(layout.Cascades) * layout.Features;
    const std::size_t splits = std::size_t(layout.Cascades) * layout.Trees * layout.Splits;
    const auto* initial = reinterpret_cast<const float*>(payload + sizeof layout);
    const auto* anchors = reinterpret_cast<const std::uint32_t*>(initial + 2 * layout.Parts);
    const auto* deltas = reinterpret_cast<const float*>(anchors + features);
    const auto* splitData = reinterpret_cast<const Split*>(deltas + 2 * features);
    const auto* leafData = reinterpret_cast<const float*>(splitData + splits);
    static_assert(sizeof(Split) == 12 && alignof(Split) == 4);

    // Every index is checked once here, so that prediction never reads outside the arrays.
    for (std::size_t i = 0; i < splits; ++i)
        if (splitData[i].First >= layout.Features || splitData[i].Second >= layout.Features)
            return false;
    initialShape_.set_size(2 * layout.Parts);
    std::memcpy(&initialShape_(0), initial, 2 * layout.Parts * sizeof(float));
    anchors_.assign(layout.Cascades, std::vector<unsigned long>(layout.Features));
    deltas_.assign(layout.Cascades, std::vector<dlib::vector<float, 2>>(layout.Features));
    for (std::uint32_t c = 0; c < layout.Cascades; ++c)
        for (std::uint32_t f = 0; f < layout.Features; ++f) {
            const std::size_t i = std::size_t(c) * layout.Features + f;
            if (anchors[i] >= layout.Parts)
                return false;
            anchors_[c][f] = anchors[i];
            deltas_[c][f] = dlib::vector<float, 2>(deltas[2 * i], deltas[2 * i + 1]);
        }
    parts_ = layout.Parts;
    cascades_ = layout.Cascades;
    trees_ = layout.Trees;
    splits_ = layout.Splits;
    features_ = layout.Features;
    splitData_ = splitData;
    leafData_ = leafData;
    return true;
}

dlib::full_object_detection LandmarkModel::Predict(const cv::Mat& grey, const dlib::rectangle& rect) const
{
    // dlib's shape_predictor::operator(), step for step and with its own helpers, over the flat arrays: the same
    // float operations in the same order give the same landmarks.
    const dlib::cv_image<unsigned char> image(grey);
    dlib::matrix<float, 0, 1> shape = initialShape_;
    std::vector<float> pixels;
    const std::size_t shapeSize = 2 * std::size_t(parts_);
    const std::size_t leaves = std::size_t(splits_) + 1;
    for (std::uint32_t c = 0; c < cascades_; ++c) {
        dlib::impl::extract_feature_pixel_values(image, rect, shape, initialShape_, anchors_[c], deltas_[c], pixels);
        float* current = &shape(0);
        for (std::uint32_t t = 0; t < trees_; ++t) {
            const std::size_t tree = std::size_t(c) * trees_ + t;
            const Split* node = splitData_ + tree * splits_;
            std::uint32_t i = 0;
            while (i < splits_)
                i = pixels[node[i].First] - pixels[node[i].Second] > node[i].Threshold ? 2 * i + 1 : 2 * i + 2;
            const float* leaf = leafData_ + (tree * leaves + (i - splits_)) * shapeSize;
            for (std::size_t k = 0; k < shapeSize; ++k)
                current[k] += leaf[k];
        }
    }
    const dlib::point_transform_affine toImage = dlib::impl::unnormalizing_tform(rect);
    std::vector<dlib::point> points(parts_);
    for (std::uint32_t i = 0; i < parts_; ++i)
        points[i] = toImage(dlib::impl::location(shape, i));
    return dlib::full_object_detection(rect, points);
}

} // namespace vellicam::facedetect
