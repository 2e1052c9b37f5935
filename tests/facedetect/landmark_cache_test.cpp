// The model cache: the landmarks of a shape predictor read from its cache file are exactly dlib's from the model
// file, on real photos; a cache file that is damaged, cut short or stale, and a cache folder that cannot be written,
// all still give those landmarks (the model file is read again and the cache rebuilt where it can be).
#include "face_verify.h"
#include "landmark_model.h"
#include "model_cache.h"
#include "test_support.h"

#include <dlib/image_processing.h>
#include <dlib/image_processing/frontal_face_detector.h>
#include <dlib/opencv/cv_image.h>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vellicam::test {
namespace {

namespace fs = std::filesystem;
using facedetect::LandmarkModel;

struct Face {
    cv::Mat Grey;
    dlib::rectangle Box;
    std::vector<dlib::point> Expected; // dlib's shape_predictor read from the model file
};

std::vector<dlib::point> PointsOf(const dlib::full_object_detection& shape)
{
    std::vector<dlib::point> points;
    for (unsigned long i = 0; i < shape.num_parts(); ++i)
        points.push_back(shape.part(i));
    return points;
}

class LandmarkCache : public ::testing::Test {
protected:
    // The faces dlib's own detector finds on real photos, with dlib's own landmarks for them; and a copy of the
    // model file whose size and time the tests may change. Read once: the model takes seconds to parse.
    static void SetUpTestSuite()
    {
        scratch_ = new ScratchDir();
        model_ = (scratch_->Path() / facedetect::kLandmarkModelName).string();
        fs::copy_file(facedetect::kSystemLandmarkModel, model_);
        dlib::shape_predictor predictor;
        {
            std::ifstream in(model_, std::ios::binary);
            dlib::deserialize(predictor, in);
        }
        dlib::frontal_face_detector detector = dlib::get_frontal_face_detector();
        faces_ = new std::vector<Face>();
        for (const char* name : { "portrait_uniform_cap_1024x1200.jpg", "portrait_dark_background_868.jpg",
                 "group_three_people_1280x900.jpg" }) {
            cv::Mat grey = cv::imread((DataDir() / "photos" / name).string(), cv::IMREAD_GRAYSCALE);
            for (const dlib::rectangle& box : detector(dlib::cv_image<unsigned char>(grey)))
                faces_->push_back({ grey, box, PointsOf(predictor(dlib::cv_image<unsigned char>(grey), box)) });
        }
    }
    static void TearDownTestSuite()
    {
        delete faces_;
        delete scratch_;
    }

    static void ExpectDlibsLandmarks(const LandmarkModel& model)
    {
        ASSERT_GE(faces_->size(), 4u); // two portraits and a group
        for (const Face& face : *faces_)
            EXPECT_EQ(PointsOf(model.Predict(face.Grey, face.Box)), face.Expected);
    }

    static std::unique_ptr<LandmarkModel> Load(const fs::path& folder)
    {
        std::string why;
        std::unique_ptr<LandmarkModel> model = LandmarkModel::Load(model_, folder, why);
        EXPECT_TRUE(model) << why;
        return model;
    }

    static inline ScratchDir* scratch_ = nullptr;
    static inline std::string model_;
    static inline std::vector<Face>* faces_ = nullptr;
    ScratchDir dir;
};

TEST_F(LandmarkCache, CachedModelGivesDlibsLandmarks)
{
    const std::unique_ptr<LandmarkModel> parsed = Load(dir.Path());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->LoadedFrom(), LandmarkModel::Origin::Source);
    ExpectDlibsLandmarks(*parsed);
    const std::unique_ptr<LandmarkModel> cached = Load(dir.Path());
    ASSERT_TRUE(cached);
    EXPECT_EQ(cached->LoadedFrom(), LandmarkModel::Origin::Cache);
    ExpectDlibsLandmarks(*cached);
}

TEST_F(LandmarkCache, DamagedOrStaleCacheIsRebuilt)
{
    const fs::path cacheFile = LandmarkModel::CacheFileFor(model_, dir.Path());
    const auto flipByte = [](const fs::path& file, std::uintmax_t at) {
        std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
        f.seekg(static_cast<std::streamoff>(at));
        const char c = static_cast<char>(f.get() ^ 0x10);
        f.seekp(static_cast<std::streamoff>(at));
        f.put(c);
    };
    const struct {
        const char* What;
        std::function<void()> Spoil;
    } cases[] = {
        { "a flipped bit among the leaves", [&] { flipByte(cacheFile, fs::file_size(cacheFile) - 1000); } },
        { "a flipped bit among the anchors", [&] { flipByte(cacheFile, 200); } },
        { "a flipped bit halfway", [&] { flipByte(cacheFile, fs::file_size(cacheFile) / 2); } },
        { "a flipped bit in the last byte", [&] { flipByte(cacheFile, fs::file_size(cacheFile) - 1); } },
        { "a flipped bit in the header", [&] { flipByte(cacheFile, 3); } },
        { "cut in half", [&] { fs::resize_file(cacheFile, fs::file_size(cacheFile) / 2); } },
        { "only its header", [&] { fs::resize_file(cacheFile, 64); } },
        { "empty", [&] { fs::resize_file(cacheFile, 0); } },
        { "a model file changed since",
            [&] { fs::last_write_time(model_, fs::last_write_time(model_) + std::chrono::seconds(2)); } },
        { "a model file of another size", [&] { std::ofstream(model_, std::ios::app | std::ios::binary) << '\n'; } },
    };
    ASSERT_TRUE(Load(dir.Path()));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.What);
        ASSERT_TRUE(fs::exists(cacheFile));
        c.Spoil();
        const std::unique_ptr<LandmarkModel> model = Load(dir.Path());
        ASSERT_TRUE(model);
        EXPECT_EQ(model->LoadedFrom(), LandmarkModel::Origin::Source);
        ExpectDlibsLandmarks(*model);
        const std::unique_ptr<LandmarkModel> rebuilt = Load(dir.Path());
        ASSERT_TRUE(rebuilt);
        EXPECT_EQ(rebuilt->LoadedFrom(), LandmarkModel::Origin::Cache);
    }
    // Nothing but the cache file is left in the folder (no temporary files).
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

TEST_F(LandmarkCache, UnwritableFolderReadsTheModelFile)
{
    // A folder below a file can be neither made nor written, whoever runs the test.
    WriteFile(dir.Path() / "file", "");
    const fs::path folder = dir.Path() / "file" / "vellicam";
    for (int run = 0; run < 2; ++run) {
        const std::unique_ptr<LandmarkModel> model = Load(folder);
        ASSERT_TRUE(model);
        EXPECT_EQ(model->LoadedFrom(), LandmarkModel::Origin::Source);
        ExpectDlibsLandmarks(*model);
    }
}

TEST_F(LandmarkCache, DamagedFaceDetectorCacheStillFindsTheFaces)
{
    std::string why;
    const auto faces = [&] {
        const std::unique_ptr<facedetect::FaceVerifier> verifier
            = facedetect::FaceVerifier::Load(model_, dir.Path(), why);
        EXPECT_TRUE(verifier) << why;
        std::vector<cv::Rect> boxes;
        if (verifier)
            for (const facedetect::Detection& d : verifier->SearchWhole(faces_->back().Grey, 40))
                boxes.push_back(d.Box);
        return boxes;
    };
    const std::vector<cv::Rect> expected = faces(); // the detector unpacked by dlib, then cached
    ASSERT_GE(expected.size(), 2u);
    const fs::path cacheFile = dir.Path() / "face_detector.facedetect_tests.cache";
    ASSERT_TRUE(fs::exists(cacheFile));
    EXPECT_EQ(faces(), expected); // read from the cache
    fs::resize_file(cacheFile, fs::file_size(cacheFile) - 1);
    EXPECT_EQ(faces(), expected);
    WriteFile(cacheFile, std::string(1000, 'x'));
    EXPECT_EQ(faces(), expected);
}

// The HOG detector with its work shared between two threads finds exactly the faces, confidences and filters of
// dlib's own call, on whole photos, on a candidate-sized crop, and on pictures whose pyramid has one level or none.
TEST_F(LandmarkCache, TheDetectorOnTwoThreadsFindsWhatDlibFinds)
{
    std::string why;
    const std::unique_ptr<facedetect::FaceVerifier> verifier = facedetect::FaceVerifier::Load(model_, dir.Path(), why);
    ASSERT_TRUE(verifier) << why;
    dlib::frontal_face_detector dlibs = dlib::get_frontal_face_detector();
    std::vector<cv::Mat> pictures;
    for (const Face& face : *faces_)
        pictures.push_back(face.Grey);
    const cv::Mat& group = faces_->back().Grey;
    pictures.push_back(group(cv::Rect(0, 0, 210, 210)).clone());
    pictures.push_back(group(cv::Rect(0, 0, 90, 90)).clone());
    pictures.push_back(group(cv::Rect(0, 0, 40, 40)).clone());
    std::size_t faces = 0;
    for (const cv::Mat& picture : pictures) {
        SCOPED_TRACE(std::to_string(picture.cols) + "x" + std::to_string(picture.rows));
        std::vector<dlib::rect_detection> expected;
        dlibs(dlib::cv_image<unsigned char>(picture), expected);
        const std::vector<facedetect::FaceVerifier::Found> shared = verifier->FindFaces(picture, 2);
        ASSERT_EQ(shared.size(), expected.size());
        for (std::size_t i = 0; i < shared.size(); ++i) {
            const dlib::rectangle& r = expected[i].rect;
            EXPECT_EQ(shared[i].box, cv::Rect(r.left(), r.top(), r.width(), r.height())) << i;
            EXPECT_EQ(shared[i].confidence, expected[i].detection_confidence) << i;
            EXPECT_EQ(shared[i].filter, static_cast<int>(expected[i].weight_index)) << i;
        }
        faces += shared.size();
    }
    EXPECT_GE(faces, 5u);
}

// A cache folder may be shared by machines with and without the processor's CRC instruction: both ways of computing
// the checksum agree, at every length (the three lanes and the bytes after them), and see a change anywhere.
TEST(CacheChecksum, SameWithAndWithoutTheInstruction)
{
    std::vector<unsigned char> bytes(100000);
    std::uint32_t seed = 12345;
    for (unsigned char& b : bytes)
        b = static_cast<unsigned char>((seed = seed * 1664525u + 1013904223u) >> 24);
    for (const std::size_t size : { 0, 1, 7, 23, 24, 25, 49, 1000, 99999 }) {
        SCOPED_TRACE(size);
        const std::uint64_t sum = facedetect::CacheChecksum(bytes.data(), size);
        EXPECT_EQ(sum, facedetect::CacheChecksumByTable(bytes.data(), size));
        for (std::size_t at = 0; at < size; at += std::max<std::size_t>(1, size / 7)) {
            bytes[at] ^= 4;
            EXPECT_NE(facedetect::CacheChecksum(bytes.data(), size), sum) << at;
            bytes[at] ^= 4;
        }
    }
}

} // namespace
} // namespace vellicam::test
