// The own cascade evaluator against OpenCV's detectMultiScale on real photos: the same raw windows, levels and
// weights in the same order, eight windows at a time and one at a time; and the cascades it leaves to OpenCV.
#include "face_search.h"
#include "haar_cascade.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace vellicam::test {
namespace {

namespace fs = std::filesystem;
using facedetect::HaarCascade;
using facedetect::RawWindows;

std::string Cascade(const char* name)
{
    return (BinDir() / name).string();
}

// OpenCV's raw windows on one thread, the order the evaluator keeps.
RawWindows OpenCvWindows(
    cv::CascadeClassifier& cascade, const cv::Mat& grey, double factor, cv::Size minSize, cv::Size maxSize)
{
    RawWindows w;
    const int threads = cv::getNumThreads();
    cv::setNumThreads(1);
    cascade.detectMultiScale(grey, w.Rects, w.Levels, w.Weights, factor, 0, 0, minSize, maxSize, true);
    cv::setNumThreads(threads);
    return w;
}

void ExpectSame(const RawWindows& mine, const RawWindows& theirs, const std::string& what)
{
    ASSERT_EQ(mine.Rects.size(), theirs.Rects.size()) << what;
    ASSERT_EQ(mine.Levels, theirs.Levels) << what;
    for (size_t i = 0; i < mine.Rects.size(); ++i) {
        ASSERT_EQ(mine.Rects[i], theirs.Rects[i]) << what << ", window " << i;
        // Bit for bit: the weights are sums in the same order.
        ASSERT_EQ(mine.Weights[i], theirs.Weights[i]) << what << ", window " << i;
    }
}

TEST(HaarCascade, GivesOpenCvsRawWindowsOnPhotos)
{
    struct Picture {
        std::string path;
        int longSide;
        bool equalise;
    };
    std::vector<Picture> pictures;
    for (const char* name : { "portrait_uniform_cap_1024x1200.jpg", "group_three_people_1280x900.jpg",
             "no_face_false_positive_768.jpg", "portrait_small_434.jpg" })
        pictures.push_back({ (DataDir() / "photos" / name).string(), 800, false });
    for (const char* name : { "p09_curly_blinds.jpg", "p21_curly_tilted.jpg", "p30_astronaut_flag.jpg",
             "p36_darker_skin_low_light.jpg", "n10_tomatoes.jpg", "n12_cat_face.jpg" })
        pictures.push_back({ (DataDir() / "devset" / name).string(), 400, true });

    cv::CascadeClassifier reference;
    ASSERT_TRUE(reference.load(Cascade("haarcascade_frontalface_default.xml")));
    HaarCascade own;
    ASSERT_TRUE(own.Load(Cascade("haarcascade_frontalface_default.xml")));
    for (const Picture& p : pictures) {
        facedetect::SearchImage image;
        ASSERT_EQ(facedetect::ReadSearchImage(p.path, 0, p.longSide, 40, p.equalise, image), facedetect::kOk);
        // A part of the picture as well as the whole: the search looks at the content inside a black border.
        const cv::Mat part = image.Grey(cv::Rect(7, 5, image.Grey.cols - 20, image.Grey.rows - 9));
        for (const double factor : { 1.1, 1.05 }) {
            for (const int minSide : { 0, 37, 90 }) {
                if (minSide == 0 && p.longSide > 400)
                    continue; // the smallest faces of a large picture take OpenCV long
                const cv::Mat& grey = minSide == 37 ? part : image.Grey;
                const cv::Size minSize(minSide, minSide);
                const RawWindows theirs = OpenCvWindows(reference, grey, factor, minSize, cv::Size());
                const std::string what = fs::path(p.path).filename().string() + ", factor " + std::to_string(factor)
                    + ", smallest " + std::to_string(minSide);
                // One window at a time on some of the calls: the vectorised path hands its last window to it.
                for (const bool vectorised : { true, false }) {
                    if ((vectorised && !HaarCascade::VectorUnitPresent()) || (!vectorised && minSide != 90))
                        continue;
                    own.SetVectorised(vectorised);
                    RawWindows mine;
                    ASSERT_TRUE(own.Detect(grey, factor, minSize, cv::Size(), mine)) << what;
                    ExpectSame(mine, theirs, what + (vectorised ? ", vectorised" : ", one at a time"));
                }
                // The scales shared among threads give the same windows in the same order.
                own.SetVectorised(true);
                RawWindows shared;
                ASSERT_TRUE(own.Detect(grey, factor, minSize, cv::Size(), shared, 3)) << what;
                ExpectSame(shared, theirs, what + ", three threads");
            }
        }
    }
}

// The cascade as the user's cache keeps it finds the same windows as the cascade parsed from its file; a cache that
// is damaged, cut short, or older than the file is not read (the file is then parsed and the cache written anew).
TEST(HaarCascade, CachedCascadeFindsTheSameWindowsAndABadCacheIsNotRead)
{
    ScratchDir cache, copy;
    const std::string file = (copy.Path() / "haarcascade_frontalface_default.xml").string();
    fs::copy_file(Cascade("haarcascade_frontalface_default.xml"), file);
    HaarCascade parsed, cached;
    ASSERT_TRUE(parsed.Load(file));
    EXPECT_FALSE(facedetect::ReadCascadeCache(cache.Path(), file, cached)) << "nothing cached yet";
    facedetect::WriteCascadeCache(cache.Path(), file, parsed);
    ASSERT_TRUE(facedetect::ReadCascadeCache(cache.Path(), file, cached));
    EXPECT_EQ(cached.WindowSize(), parsed.WindowSize());

    facedetect::SearchImage image;
    ASSERT_EQ(facedetect::ReadSearchImage(
                  (DataDir() / "photos" / "group_three_people_1280x900.jpg").string(), 0, 800, 40, false, image),
        facedetect::kOk);
    RawWindows fromFile, fromCache;
    ASSERT_TRUE(parsed.Detect(image.Grey, 1.1, cv::Size(40, 40), cv::Size(), fromFile));
    ASSERT_TRUE(cached.Detect(image.Grey, 1.1, cv::Size(40, 40), cv::Size(), fromCache));
    ASSERT_GT(fromFile.Rects.size(), 20u);
    ExpectSame(fromCache, fromFile, "from the cache");

    ASSERT_EQ(std::distance(fs::directory_iterator(cache.Path()), fs::directory_iterator()), 1);
    const fs::path cacheFile = fs::directory_iterator(cache.Path())->path();
    const std::uintmax_t size = fs::file_size(cacheFile);
    {
        std::fstream damaged(cacheFile, std::ios::in | std::ios::out | std::ios::binary);
        damaged.seekp(static_cast<std::streamoff>(size / 2));
        damaged.put('\x5a');
    }
    EXPECT_FALSE(facedetect::ReadCascadeCache(cache.Path(), file, cached)) << "damaged";
    EXPECT_FALSE(cached.Loaded());
    facedetect::WriteCascadeCache(cache.Path(), file, parsed);
    fs::resize_file(cacheFile, size - 12);
    EXPECT_FALSE(facedetect::ReadCascadeCache(cache.Path(), file, cached)) << "cut short";
    facedetect::WriteCascadeCache(cache.Path(), file, parsed);
    ASSERT_TRUE(facedetect::ReadCascadeCache(cache.Path(), file, cached));
    fs::last_write_time(file, fs::last_write_time(file) + std::chrono::seconds(5));
    EXPECT_FALSE(facedetect::ReadCascadeCache(cache.Path(), file, cached)) << "stale";
}

// Each program folder has its cascade cache, and one that is gone leaves it behind: the cache folder keeps the eight
// most recently written or read, so a cache in use survives any number of scratch copies made after it.
TEST(HaarCascade, TheCacheFolderKeepsTheEightCascadeCachesUsedLast)
{
    ScratchDir cache;
    HaarCascade parsed, cached;
    ASSERT_TRUE(parsed.Load(Cascade("haarcascade_frontalface_default.xml")));
    std::vector<ScratchDir> folders(10);
    std::vector<std::string> files;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        files.push_back((folders[i].Path() / "haarcascade_frontalface_default.xml").string());
        fs::copy_file(Cascade("haarcascade_frontalface_default.xml"), files.back());
        if (i == 7) { // the first copy is used again before the last three are cached
            ASSERT_TRUE(facedetect::ReadCascadeCache(cache.Path(), files[0], cached));
        }
        // Apart by more than the file system's clock step, so that the order of use is the order of the times.
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
        facedetect::WriteCascadeCache(cache.Path(), files.back(), parsed);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(cache.Path()), fs::directory_iterator()), 8);
    for (std::size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(facedetect::ReadCascadeCache(cache.Path(), files[i], cached), i != 1 && i != 2) << i;
}

TEST(HaarCascade, EdgeSizesMatchOrGoToOpenCv)
{
    cv::CascadeClassifier reference;
    ASSERT_TRUE(reference.load(Cascade("haarcascade_frontalface_default.xml")));
    HaarCascade own;
    ASSERT_TRUE(own.Load(Cascade("haarcascade_frontalface_default.xml")));
    const cv::Size window = own.WindowSize();
    cv::Mat noise(300, 260, CV_8UC1);
    cv::randu(noise, 0, 256);
    cv::GaussianBlur(noise, noise, cv::Size(0, 0), 2.0);

    struct Case {
        cv::Size picture, minSize, maxSize;
        bool answered;
    } cases[] = {
        { window, {}, {}, true }, // a single window
        { { window.width - 1, 100 }, {}, {}, true }, // narrower than the window: nothing
        { { 57, 300 }, {}, {}, true }, // one column of windows at most scales
        { { 260, 300 }, { 40, 40 }, { 80, 80 }, true },
        { { 260, 300 }, { 400, 400 }, {}, false }, // no scale that large: OpenCV's nearest-scale rule
    };
    for (const Case& c : cases) {
        const cv::Mat grey = noise(cv::Rect(cv::Point(0, 0), c.picture));
        RawWindows mine;
        EXPECT_EQ(own.Detect(grey, 1.1, c.minSize, c.maxSize, mine), c.answered) << c.picture;
        if (c.answered)
            ExpectSame(mine, OpenCvWindows(reference, grey, 1.1, c.minSize, c.maxSize), "noise");
        else
            EXPECT_TRUE(mine.Rects.empty());
    }
    RawWindows none;
    EXPECT_FALSE(own.Detect(cv::Mat(100, 100, CV_8UC3), 1.1, {}, {}, none));
    EXPECT_FALSE(own.Detect(noise, 1.0, {}, {}, none));
}

TEST(HaarCascade, LeavesOtherCascadesToOpenCv)
{
    ScratchDir dir;
    const fs::path tilted = dir.Path() / "tilted.xml";
    {
        // The face cascade with one feature turned tilted.
        std::string text = ReadFile(Cascade("haarcascade_frontalface_default.xml"));
        const size_t at = text.find("<rects>");
        ASSERT_NE(at, std::string::npos);
        text.insert(at, "<tilted>1</tilted>");
        WriteFile(tilted, text);
    }
    WriteFile(dir.Path() / "broken.xml", "<?xml version=\"1.0\"?>\n<opencv_storage><cascade>");
    HaarCascade own;
    // The lower-face (smile) cascade has tilted features.
    for (const fs::path& path :
        { fs::path(Cascade("ago.xml")), tilted, dir.Path() / "broken.xml", dir.Path() / "missing.xml" }) {
        EXPECT_FALSE(own.Load(path.string())) << path;
        EXPECT_FALSE(own.Loaded());
    }
    const std::string lbp = "/usr/share/opencv4/lbpcascades/lbpcascade_frontalface.xml";
    if (fs::exists(lbp)) {
        EXPECT_FALSE(own.Load(lbp));
    }
}

} // namespace
} // namespace vellicam::test
