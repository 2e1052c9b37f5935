// The detector's own reading of its image files, against what OpenCV's imread gave it before, and its refusals.
#include "face_search.h"
#include "grey_image_file.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <filesystem>
#include <string>
#include <vector>

namespace vellicam::facedetect {
namespace {

namespace fs = std::filesystem;

bool SamePixels(const cv::Mat& a, const cv::Mat& b)
{
    return a.type() == b.type() && a.size() == b.size() && cv::norm(a, b, cv::NORM_INF) == 0;
}

TEST(GreyImageFile, ReadsJpegsAtEachScaleAndPgmsAsImreadDid)
{
    struct Scale {
        int Denominator;
        int Flag;
    };
    const Scale scales[] = { { 1, cv::IMREAD_GRAYSCALE }, { 2, cv::IMREAD_REDUCED_GRAYSCALE_2 },
        { 4, cv::IMREAD_REDUCED_GRAYSCALE_4 }, { 8, cv::IMREAD_REDUCED_GRAYSCALE_8 } };
    const test::ScratchDir scratch;
    // Colour and grey JPEGs, odd sizes (partial blocks at each scale) among them.
    for (const char* name : { "group_three_people_1280x900.jpg", "no_face_grayscale_profile_768.jpg",
             "portrait_dark_background_868.jpg", "portrait_small_434.jpg", "portrait_uniform_cap_1024x1200.jpg" }) {
        const std::string path = (test::DataDir() / "photos" / name).string();
        for (const Scale& s : scales) {
            const cv::Mat expected = cv::imread(path, s.Flag | cv::IMREAD_IGNORE_ORIENTATION);
            ASSERT_FALSE(expected.empty()) << name;
            EXPECT_TRUE(SamePixels(ReadGreyImage(path, s.Denominator), expected)) << name << " at 1/" << s.Denominator;
        }
        // The engine's PGM of the same picture.
        const cv::Mat grey = cv::imread(path, cv::IMREAD_GRAYSCALE);
        const std::string pgm = scratch / "detector.pgm";
        test::WriteFile(pgm,
            "P5\n" + std::to_string(grey.cols) + " " + std::to_string(grey.rows) + "\n255\n"
                + std::string(reinterpret_cast<const char*>(grey.data), grey.total()));
        EXPECT_TRUE(SamePixels(ReadGreyImage(pgm), cv::imread(pgm, cv::IMREAD_GRAYSCALE))) << name << " as PGM";
    }
    // A JPEG cut in its compressed data decodes as libjpeg fills it, as before.
    const std::string whole = test::ReadFile(test::DataDir() / "photos/portrait_small_434.jpg");
    const std::string cut = scratch / "cut.jpg";
    test::WriteFile(cut, whole.substr(0, whole.size() / 2));
    EXPECT_TRUE(SamePixels(ReadGreyImage(cut, 2), cv::imread(cut, cv::IMREAD_REDUCED_GRAYSCALE_2)));
}

TEST(GreyImageFile, RefusesWhatItCannotReadAsAnUnreadableImage)
{
    const test::ScratchDir scratch;
    const std::string jpeg = test::ReadFile(test::DataDir() / "photos/portrait_small_434.jpg");
    cv::Mat colour(20, 30, CV_8UC3, cv::Scalar(10, 200, 30));
    std::vector<unsigned char> png;
    cv::imencode(".png", colour, png);
    const struct {
        const char* Name;
        std::string Bytes;
    } cases[] = {
        { "empty", "" },
        { "short magic", "P5" },
        { "pgm cut in its pixels", "P5\n4 4\n255\n" + std::string(10, '\x40') },
        { "pgm with a huge header", "P5\n99999999 99999999\n255\n" + std::string(64, '\0') },
        { "pgm with too many digits", "P5\n1234567890123 2\n255\n" + std::string(64, '\0') },
        { "pgm of 16 bits", "P5\n2 2\n65535\n" + std::string(8, '\0') },
        { "pgm with a header cut short", "P5\n# a comment that never ends" },
        { "pgm of zero width", "P5\n0 4\n255\n" },
        { "jpeg cut in its header", jpeg.substr(0, 120) },
        { "jpeg markers only", std::string("\xFF\xD8\xFF\xD9", 4) },
        { "colour pgm", "P6\n2 2\n255\n" + std::string(12, '\0') },
        { "png", std::string(png.begin(), png.end()) },
        { "text", "not a picture at all" },
    };
    for (const auto& c : cases) {
        const std::string path = scratch / "bad";
        test::WriteFile(path, c.Bytes);
        EXPECT_TRUE(ReadGreyImage(path).empty()) << c.Name;
        SearchImage image;
        EXPECT_EQ(ReadSearchImage(path, 0, 640, 24, false, image), kImageUnreadable) << c.Name;
    }
    SearchImage image;
    EXPECT_EQ(ReadSearchImage((scratch.Path() / "missing.pgm").string(), 0, 640, 24, false, image), kImageUnreadable);
}

} // namespace
} // namespace vellicam::facedetect
