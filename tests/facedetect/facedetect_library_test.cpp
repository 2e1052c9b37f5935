// The built libfacedetect.so, loaded with dlopen and called through its three C functions and the optional two;
// and the face verifier it uses, on missing and corrupt models.
#include "face_verify.h"
#include "loaded_detector.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace vellicam::test {
namespace {

namespace fs = std::filesystem;

struct Box {
    double X, Y, W, H;
};

double IoU(const Box& a, const Box& b)
{
    const double w = std::max(0.0, std::min(a.X + a.W, b.X + b.W) - std::max(a.X, b.X));
    const double h = std::max(0.0, std::min(a.Y + a.H, b.Y + b.H) - std::max(a.Y, b.Y));
    const double inter = w * h;
    return inter / (a.W * a.H + b.W * b.H - inter);
}

std::string Photo(const std::string& name)
{
    return (DataDir() / "photos" / name).string();
}
std::string FaceCascade()
{
    return (BinDir() / "haarcascade_frontalface_default.xml").string();
}

class DetectorLibrary : public ::testing::Test {
protected:
    LoadedDetector lib { (BinDir() / "libfacedetect.so").string() };

    void SetUp() override { ASSERT_TRUE(lib.Loaded() && lib.Complete()) << lib.Error(); }

    std::vector<Box> Detections()
    {
        std::vector<Box> boxes;
        const int n = lib.getRect(-1, -1);
        for (int i = 0; i < n; ++i) {
            const int l = lib.getRect(0, i), t = lib.getRect(1, i), r = lib.getRect(2, i), b = lib.getRect(3, i);
            boxes.push_back({ double(l), double(t), double(r - l), double(b - t) });
        }
        return boxes;
    }
};

struct PortraitCase {
    const char* File;
    double MinSize; // 200 on the full-size original
    Box Face;
};

const PortraitCase kPortraits[] = {
    { "portrait_uniform_cap_1024x1200.jpg", 100, { 297.5, 200.5, 467, 467 } },
    { "portrait_dark_background_868.jpg", 100, { 225, 188.5, 368.5, 368.5 } },
    { "portrait_plain_wall_900x1200.jpg", 57, { 102.6, 299.1, 352.3, 352.3 } },
    { "portrait_small_434.jpg", 200, { 91, 74, 229, 229 } },
};

class Portrait : public DetectorLibrary, public ::testing::WithParamInterface<PortraitCase> { };

TEST_P(Portrait, BothPassesReportTheFaceFirst)
{
    const PortraitCase& c = GetParam();
    lib.setMinSize(int(c.MinSize), int(c.MinSize));
    for (int pass : { 0, 1 }) {
        ASSERT_EQ(lib.facedetect(Photo(c.File).c_str(), 0, FaceCascade().c_str(), pass, 3), 0) << pass;
        const std::vector<Box> found = Detections();
        ASSERT_FALSE(found.empty()) << "pass " << pass;
        EXPECT_GE(IoU(found[0], c.Face), 0.6)
            << "pass " << pass << ": " << found[0].X << ", " << found[0].Y << ", " << found[0].W << ", " << found[0].H;
    }
}

INSTANTIATE_TEST_SUITE_P(Photos, Portrait, ::testing::ValuesIn(kPortraits),
    [](const auto& info) { return std::string(info.param.File).substr(0, std::string(info.param.File).find('_', 9)); });

// Animals, a statue-like head, a drawn fish, textures: whatever the cascade proposes there, no human face confirms
// it, in either pass, even at half the usual minimum size.
TEST_F(DetectorLibrary, PhotosWithoutAPersonGiveNoDetection)
{
    const std::string photos[] = { Photo("no_face_false_positive_768.jpg"), (DataDir() / "devset/n01_cat.jpg").string(),
        (DataDir() / "devset/n02_raccoon.jpg").string(), (DataDir() / "devset/n05_baboon.jpg").string(),
        (DataDir() / "devset/n06_sculpted_head.jpg").string(), (DataDir() / "devset/n08_fish.jpg").string(),
        (DataDir() / "devset/n11_ferret.jpg").string() };
    for (const std::string& file : photos) {
        for (int pass : { 0, 1 }) {
            lib.setMinSize(100, 100);
            EXPECT_EQ(lib.facedetect(file.c_str(), 0, FaceCascade().c_str(), pass, 3), 0) << file;
            EXPECT_EQ(lib.getRect(-1, -1), 0) << file << ", pass " << pass;
        }
    }
}

// The cameraman is a person: his face, turned three-quarters, is confirmed and gets landmarks.
TEST_F(DetectorLibrary, FaceTurnedThreeQuartersIsConfirmedWithLandmarks)
{
    lib.setMinSize(100, 100);
    ASSERT_EQ(lib.facedetect(Photo("no_face_grayscale_profile_768.jpg").c_str(), 0, FaceCascade().c_str(), 0, 3), 0);
    ASSERT_EQ(lib.getRect(-1, -1), 1);
    auto getFacePoints = reinterpret_cast<int (*)(int, int*)>(dlsym(lib.Handle(), "getFacePoints"));
    ASSERT_NE(getFacePoints, nullptr);
    int p[6] = {};
    ASSERT_EQ(getFacePoints(0, p), 1);
    EXPECT_GT(p[1], lib.getRect(1, 0) + (lib.getRect(3, 0) - lib.getRect(1, 0)) / 2) << "chin below mid-face";
    EXPECT_LT(p[2], p[4]) << "left eye left of the right one";
}

TEST_F(DetectorLibrary, FindsAllThreeFacesOfTheGroup)
{
    const Box faces[] = { { 676, 140, 207.3, 207.3 }, { 988, 208, 167.3, 167.3 }, { 366.7, 225.3, 170, 170 } };
    lib.setMinSize(133, 133);
    ASSERT_EQ(lib.facedetect(Photo("group_three_people_1280x900.jpg").c_str(), 0, FaceCascade().c_str(), 0, 3), 0);
    const std::vector<Box> found = Detections();
    for (const Box& face : faces) {
        const bool matched = std::any_of(found.begin(), found.end(), [&](const Box& b) { return IoU(b, face) >= 0.6; });
        EXPECT_TRUE(matched) << "face at " << face.X << ", " << face.Y;
    }
}

// The re-detection is the more sensitive search: a dim, murky snapshot that the first pass gives up on still
// yields its face.
TEST_F(DetectorLibrary, ReDetectionFindsTheFaceInADimPhoto)
{
    ScratchDir dir;
    const cv::Mat photo = cv::imread(Photo("portrait_plain_wall_900x1200.jpg"));
    ASSERT_FALSE(photo.empty());
    cv::Mat level;
    photo.convertTo(level, CV_32F, 1 / 255.0);
    cv::pow(level, 2.5, level);
    cv::Mat dim;
    level.convertTo(dim, CV_8U, 127.5);
    ASSERT_TRUE(cv::imwrite(dir / "dim.jpg", dim, { cv::IMWRITE_JPEG_QUALITY, 85 }));

    lib.setMinSize(100, 100);
    ASSERT_EQ(lib.facedetect((dir / "dim.jpg").c_str(), 0, FaceCascade().c_str(), 1, 3), 0);
    const std::vector<Box> found = Detections();
    ASSERT_FALSE(found.empty());
    EXPECT_GE(IoU(found[0], { 102.6, 299.1, 352.3, 352.3 }), 0.6);
}

// A photo large enough to be searched on a reduced copy still reports in its own pixels.
TEST_F(DetectorLibrary, ReportsInPixelsOfTheFileWhenSearchingAReducedCopy)
{
    ScratchDir dir;
    cv::Mat photo = cv::imread(Photo("portrait_dark_background_868.jpg"));
    ASSERT_FALSE(photo.empty());
    cv::Mat big;
    cv::resize(photo, big, cv::Size(), 3.0, 3.0, cv::INTER_CUBIC);
    cv::Mat wide(big.rows, big.cols + 600, CV_8UC3, cv::Scalar(90, 90, 90));
    big.copyTo(wide(cv::Rect(600, 0, big.cols, big.rows))); // not square, face off the origin
    ASSERT_TRUE(cv::imwrite(dir / "big.jpg", wide));

    lib.setMinSize(300, 300);
    ASSERT_EQ(lib.facedetect((dir / "big.jpg").c_str(), 0, FaceCascade().c_str(), 0, 3), 0);
    const std::vector<Box> found = Detections();
    ASSERT_FALSE(found.empty());
    const Box expected { 600 + 225 * 3.0, 188.5 * 3, 368.5 * 3, 368.5 * 3 };
    EXPECT_GE(IoU(found[0], expected), 0.6);
    EXPECT_LE(found[0].X + found[0].W, wide.cols);
    EXPECT_LE(found[0].Y + found[0].H, wide.rows);
}

// The subject of a snapshot is the large face on the centre line, not a smaller one off to the side nor a
// larger one cut by the picture's edge.
TEST_F(DetectorLibrary, PutsTheWholeCentralFaceFirst)
{
    ScratchDir dir;
    const cv::Mat photo = cv::imread(Photo("portrait_dark_background_868.jpg"));
    ASSERT_FALSE(photo.empty());
    cv::Mat scene(1200, 1800, CV_8UC3, cv::Scalar(200, 200, 200));
    // Bystanders: a small face near the top-left and a large one whose head runs off the left edge.
    cv::Mat small;
    cv::resize(photo, small, cv::Size(300, 300), 0, 0, cv::INTER_AREA);
    small.copyTo(scene(cv::Rect(1450, 60, 300, 300)));
    cv::Mat large;
    cv::resize(photo, large, cv::Size(868, 868), 0, 0, cv::INTER_AREA);
    large(cv::Rect(225, 0, 643, 868)).copyTo(scene(cv::Rect(0, 150, 643, 868)));
    // The subject, whole and central.
    cv::Mat subject;
    cv::resize(photo, subject, cv::Size(600, 600), 0, 0, cv::INTER_AREA);
    subject.copyTo(scene(cv::Rect(800, 300, 600, 600)));
    ASSERT_TRUE(cv::imwrite(dir / "scene.jpg", scene));

    lib.setMinSize(100, 100);
    for (int pass : { 0, 1 }) {
        ASSERT_EQ(lib.facedetect((dir / "scene.jpg").c_str(), 0, FaceCascade().c_str(), pass, 3), 0);
        const std::vector<Box> found = Detections();
        ASSERT_GE(found.size(), 2u) << "the bystanders should be found too, pass " << pass;
        const Box subjectFace { 800 + 225 * 600 / 868.0, 300 + 188.5 * 600 / 868.0, 368.5 * 600 / 868.0,
            368.5 * 600 / 868.0 };
        EXPECT_GE(IoU(found[0], subjectFace), 0.6) << "pass " << pass;
    }
}

TEST_F(DetectorLibrary, RefusesMissingFilesAndBadArgumentsAndDropsTheLastResults)
{
    ScratchDir dir;
    const std::string photo = Photo("portrait_small_434.jpg");
    const std::string cascade = FaceCascade();
    lib.setMinSize(200, 200);
    const auto detectThenExpect = [&](const char* image, const char* cascadeFile, int pass, int precision, int status) {
        ASSERT_EQ(lib.facedetect(photo.c_str(), 0, cascade.c_str(), 0, 3), 0);
        ASSERT_EQ(lib.getRect(-1, -1), 1);
        EXPECT_EQ(lib.facedetect(image, 0, cascadeFile, pass, precision), status);
        EXPECT_EQ(lib.getRect(-1, -1), 0) << "results of the earlier call must not survive a failure";
    };
    WriteFile(dir.Path() / "text.jpg", "not a picture");
    WriteFile(dir.Path() / "broken.xml", "<?xml version=\"1.0\"?>\n<opencv_storage><cascade>");

    detectThenExpect((dir / "missing.jpg").c_str(), cascade.c_str(), 0, 3, -2);
    detectThenExpect((dir / "text.jpg").c_str(), cascade.c_str(), 0, 3, -2);
    detectThenExpect(photo.c_str(), (dir / "missing.xml").c_str(), 0, 3, -3);
    detectThenExpect(photo.c_str(), (dir / "broken.xml").c_str(), 0, 3, -3);
    detectThenExpect(photo.c_str(), dir.Path().c_str(), 0, 3, -3);
    detectThenExpect(nullptr, cascade.c_str(), 0, 3, -1);
    detectThenExpect(photo.c_str(), nullptr, 0, 3, -1);
    detectThenExpect("", cascade.c_str(), 0, 3, -1);
    detectThenExpect(photo.c_str(), cascade.c_str(), 2, 3, -1);
    detectThenExpect(photo.c_str(), cascade.c_str(), -1, 3, -1);
    detectThenExpect(photo.c_str(), cascade.c_str(), 0, 0, -1);
    detectThenExpect(photo.c_str(), cascade.c_str(), 0, 11, -1);
}

TEST_F(DetectorLibrary, ImageSmallerThanTheMinimumSucceedsWithAWarningAndNoDetection)
{
    lib.setMinSize(500, 500);
    EXPECT_EQ(lib.facedetect(Photo("portrait_small_434.jpg").c_str(), 0, FaceCascade().c_str(), 0, 3), -7);
    EXPECT_EQ(lib.getRect(-1, -1), 0);
    lib.setMinSize(-5, -5); // counts as no minimum
    EXPECT_EQ(lib.facedetect(Photo("portrait_small_434.jpg").c_str(), 0, FaceCascade().c_str(), 0, 3), 0);
    EXPECT_GE(lib.getRect(-1, -1), 1);
}

TEST_F(DetectorLibrary, GetRectOutsideTheResultsIsHarmless)
{
    // The library stays loaded across dlclose, and so do its last results: a refused call drops them.
    EXPECT_EQ(lib.facedetect(nullptr, 0, FaceCascade().c_str(), 0, 3), -1);
    EXPECT_EQ(lib.getRect(-1, -1), 0) << "nothing detected";
    EXPECT_EQ(lib.getRect(0, 0), 0);
    lib.setMinSize(200, 200);
    ASSERT_EQ(lib.facedetect(Photo("portrait_small_434.jpg").c_str(), 0, FaceCascade().c_str(), 0, 3), 0);
    const int n = lib.getRect(-1, -1);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(lib.getRect(-1, 7), n);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(lib.getRect(k, n), 0);
        EXPECT_EQ(lib.getRect(k, -1), 0);
        EXPECT_EQ(lib.getRect(k, 1 << 30), 0);
    }
    EXPECT_EQ(lib.getRect(4, 0), -1);
    EXPECT_EQ(lib.getRect(-2, 0), -1);
    EXPECT_LT(lib.getRect(0, 0), lib.getRect(2, 0));
    EXPECT_LT(lib.getRect(1, 0), lib.getRect(3, 0));
}

// The loaded cascade is reused only while its file is unchanged; a file replaced at the same path is read
// again.
TEST_F(DetectorLibrary, NoticesACascadeFileReplacedAtTheSamePath)
{
    ScratchDir dir;
    const fs::path cascade = dir.Path() / "faces.xml";
    fs::copy_file(FaceCascade(), cascade);
    const std::string photo = Photo("portrait_small_434.jpg");
    lib.setMinSize(200, 200);
    ASSERT_EQ(lib.facedetect(photo.c_str(), 0, cascade.c_str(), 0, 3), 0);
    ASSERT_EQ(lib.facedetect(photo.c_str(), 0, cascade.c_str(), 0, 3), 0);
    EXPECT_EQ(lib.getRect(-1, -1), 1);

    WriteFile(cascade, "<?xml version=\"1.0\"?>\n<opencv_storage></opencv_storage>\n");
    EXPECT_EQ(lib.facedetect(photo.c_str(), 0, cascade.c_str(), 0, 3), -3);
    fs::remove(cascade);
    EXPECT_EQ(lib.facedetect(photo.c_str(), 0, cascade.c_str(), 0, 3), -3);
}

// The relative names the program passes are resolved against the current directory of each call.
TEST_F(DetectorLibrary, ResolvesRelativeNamesAgainstTheCurrentDirectory)
{
    ScratchDir dir;
    fs::copy_file(FaceCascade(), dir.Path() / "haarcascade_frontalface_default.xml");
    fs::copy_file(Photo("portrait_small_434.jpg"), dir.Path() / "vellicam_temp.jpg");
    const fs::path before = fs::current_path();
    fs::current_path(dir.Path());
    lib.setMinSize(200, 200);
    const int status = lib.facedetect("vellicam_temp.jpg", 0, "haarcascade_frontalface_default.xml", 0, 3);
    const int n = lib.getRect(-1, -1);
    fs::current_path(before);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(n, 1);
}

TEST(DetectorFiles, TheCascadesAndTheNoticeLieBesideTheLibrary)
{
    for (const char* name : { "libfacedetect.so", "haarcascade_frontalface_default.xml", "ago.xml" })
        EXPECT_TRUE(fs::is_regular_file(BinDir() / name)) << name;
    const std::string notice = ReadFile(BinDir() / "お読み下さい.txt");
    for (const char* needed : { "libfacedetect.so", "haarcascade_frontalface_default.xml", "ago.xml" })
        EXPECT_NE(notice.find(needed), std::string::npos) << needed;
}

// The chin pass runs the lower-face cascade over the strip from mid-face to half a face below it. What it
// finds first there is the mouth, above the face's lower edge, so the program looks on for a hit lower down.
TEST_F(DetectorLibrary, LowerFaceCascadeFindsTheMouthFirstOnTheChinStrip)
{
    ScratchDir dir;
    const cv::Mat photo = cv::imread(Photo("portrait_small_434.jpg"));
    ASSERT_FALSE(photo.empty());
    const cv::Rect face(91, 74, 229, 229);
    const cv::Rect strip(face.x, face.y + face.height / 2, face.width, face.height);
    ASSERT_TRUE(cv::imwrite(dir / "strip.jpg", photo(strip)));
    lib.setMinSize(25, 25);
    ASSERT_EQ(lib.facedetect((dir / "strip.jpg").c_str(), 0, (BinDir() / "ago.xml").c_str(), 0, 3), 0);
    ASSERT_GE(lib.getRect(-1, -1), 1);
    const int centreY = (lib.getRect(1, 0) + lib.getRect(3, 0)) / 2;
    EXPECT_LT(centreY, face.height / 2) << "above the face rectangle's lower edge";
    EXPECT_GT(centreY, face.height / 8) << "below the nose";
}

// The optional functions: landmarks for every confirmed face of the last call, nothing for what has none (the
// lower-face cascade's hits, detections that do not exist), and the detector in use.
TEST_F(DetectorLibrary, FacePointsForEachConfirmedFaceAndNoneElsewhere)
{
    auto getFacePoints = reinterpret_cast<int (*)(int, int*)>(dlsym(lib.Handle(), "getFacePoints"));
    auto detectorKind = reinterpret_cast<int (*)()>(dlsym(lib.Handle(), "detectorKind"));
    ASSERT_NE(getFacePoints, nullptr);
    ASSERT_NE(detectorKind, nullptr);
    EXPECT_EQ(detectorKind(), 1) << "the model from libdlib-data";

    lib.setMinSize(100, 100);
    ASSERT_EQ(lib.facedetect(Photo("group_three_people_1280x900.jpg").c_str(), 0, FaceCascade().c_str(), 0, 3), 0);
    const std::vector<Box> faces = Detections();
    ASSERT_EQ(faces.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        int p[6] = {};
        ASSERT_EQ(getFacePoints(i, p), 1) << i;
        const Box& f = faces[static_cast<std::size_t>(i)];
        // Both eyes in the box's upper half, the chin below its middle and not far below it.
        for (int e : { 2, 4 }) {
            EXPECT_GT(p[e], f.X) << i;
            EXPECT_LT(p[e], f.X + f.W) << i;
            EXPECT_LT(p[e + 1], f.Y + f.H / 2) << i;
        }
        EXPECT_GT(p[1], f.Y + f.H / 2) << i;
        EXPECT_LT(p[1], f.Y + 1.4 * f.H) << i;
    }
    int untouched[6] = { 7, 7, 7, 7, 7, 7 };
    EXPECT_EQ(getFacePoints(3, untouched), 0);
    EXPECT_EQ(getFacePoints(-1, untouched), 0);
    EXPECT_EQ(untouched[0], 7);
    EXPECT_EQ(getFacePoints(0, nullptr), -1);

    ScratchDir dir;
    const cv::Mat photo = cv::imread(Photo("portrait_small_434.jpg"));
    cv::Mat grey;
    cv::cvtColor(photo(cv::Rect(91, 188, 229, 229)), grey, cv::COLOR_BGR2GRAY);
    ASSERT_TRUE(cv::imwrite(dir / "strip.pgm", grey));
    lib.setMinSize(25, 25);
    ASSERT_EQ(lib.facedetect((dir / "strip.pgm").c_str(), 0, (BinDir() / "ago.xml").c_str(), 0, 3), 0);
    ASSERT_GE(lib.getRect(-1, -1), 1) << "a PGM strip is read and searched like a JPEG one";
    EXPECT_EQ(getFacePoints(0, untouched), 0);
}

// A crowd: every face is looked at up to the limit, none is lost to the limit's bookkeeping, nothing breaks.
TEST_F(DetectorLibrary, ManyFacesAreAnsweredWithoutFault)
{
    ScratchDir dir;
    const cv::Mat face = cv::imread(Photo("portrait_small_434.jpg"));
    ASSERT_FALSE(face.empty());
    cv::Mat tile;
    cv::resize(face, tile, cv::Size(180, 180), 0, 0, cv::INTER_AREA);
    cv::Mat crowd(1800, 1800, CV_8UC3, cv::Scalar(200, 200, 200));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x)
            tile.copyTo(crowd(cv::Rect(x * 180, y * 180, 180, 180)));
    ASSERT_TRUE(cv::imwrite(dir / "crowd.jpg", crowd));
    lib.setMinSize(60, 60);
    ASSERT_EQ(lib.facedetect((dir / "crowd.jpg").c_str(), 0, FaceCascade().c_str(), 0, 3), 0);
    const int n = lib.getRect(-1, -1);
    EXPECT_GE(n, 20);
    EXPECT_LE(n, 32) << "only the first 32 candidates are looked at";
}

TEST(FaceVerifierModel, MissingOrCorruptModelLoadsNothingAndSaysWhy)
{
    ScratchDir dir;
    WriteFile(dir / "empty.dat", "");
    WriteFile(dir / "garbage.dat", std::string(100000, '\x5a'));
    // The start of the real model, cut short.
    {
        std::ifstream in(facedetect::kSystemLandmarkModel, std::ios::binary);
        std::string head(1 << 20, '\0');
        in.read(head.data(), static_cast<std::streamsize>(head.size()));
        WriteFile(dir / "truncated.dat", head);
    }
    for (const std::string& path :
        { dir / "missing.dat", dir / "empty.dat", dir / "garbage.dat", dir / "truncated.dat", dir.Path().string() }) {
        std::string why;
        EXPECT_EQ(facedetect::FaceVerifier::Load(path, dir / "cache", why), nullptr) << path;
        EXPECT_FALSE(why.empty()) << path;
    }
}

} // namespace
} // namespace vellicam::test
