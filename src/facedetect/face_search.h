// The detector's inner workings: reading an image file as a (possibly reduced) grey picture, running a cascade
// over it and putting the detections in the order of how likely each is the photo's subject.
// Nothing here throws on bad input; OpenCV errors still may, and the C functions in facedetect.cpp catch them.
#pragma once

#include "haar_cascade.h"

#include <opencv2/core.hpp>
#include <opencv2/objdetect.hpp>

#include <string>
#include <vector>

namespace vellicam::facedetect {

// Status codes of facedetect(); facedetect.h documents them for the library's users.
enum Status : int {
    kOk = 0,
    kBadArguments = -1,
    kImageUnreadable = -2,
    kCascadeUnloadable = -3,
    kOutOfMemory = -4,
    kDetectorFault = -5,
    kNothingSearched = -7, // success: the image is smaller than the smallest object, so nothing could be found
};

// A grey picture to search and how it maps back onto the image file.
struct SearchImage {
    cv::Mat Grey; // 8-bit
    int FileWidth = 0;
    int FileHeight = 0;
    double Scale = 1.0; // file pixels per picture pixel
    cv::Rect Content; // the part that is not a pure black border (the working square's), where Search looks
};

// Reads the file as grey, reduced when large (the JPEG decoder's own 1/2, 1/4, 1/8 scaling first, then an area
// reduction) so that the longer side comes down towards `targetLongSide` while the smallest object of
// `minObjectSide` file pixels stays at least `minSearchSide` picture pixels. The EXIF orientation is ignored:
// coordinates are those of the stored raster, which is what the program's own decoder sees. With `equalise` the
// grey levels are spread over the whole range (OpenCV's equalizeHist). Rows and columns of pure black at the
// edges (the border of a photo centred on its square) are left out of Content.
// Refuses (kImageUnreadable) a file that does not decode; kBadArguments for a non-positive target.
[[nodiscard]] int ReadSearchImage(
    const std::string& path, int minObjectSide, int targetLongSide, int minSearchSide, bool equalise, SearchImage& out);

// Width and height from a JPEG file's frame header, without decoding; false when the file is not a readable JPEG.
[[nodiscard]] bool ReadJpegSize(const std::string& path, int& width, int& height);
// The same for a JPEG or a binary PGM / PPM (P5, P6) file.
[[nodiscard]] bool ReadImageSize(const std::string& path, int& width, int& height);

// Where the landmarks put the chin and the eyes of a confirmed face; LeftEye is the one on the image's left.
struct FacePoints {
    cv::Point2d Chin;
    cv::Point2d LeftEye;
    cv::Point2d RightEye;
    // Each eye's opening: the mean of its two lid-to-lid heights over its corner-to-corner width (about 0.3 for an
    // open eye, below 0.15 for a closed one). Scale-free, so it needs no mapping between image sizes.
    double LeftEyeOpen = 0;
    double RightEyeOpen = 0;
    // The face's outline at about eye level on the image's left and right (the jaw line's first and last points):
    // halfway between them lies the face's own centre, also on a turned head, where the box's centre does not.
    cv::Point2d LeftSide;
    cv::Point2d RightSide;
    double Confidence = 0; // the HOG detector's margin over its threshold
};

// One detection, in file pixels, with the evidence the cascade gave for it and, once confirmed, its landmarks.
struct Detection {
    cv::Rect Box;
    int Hits = 0; // raw windows merged into it
    double Weight = 0; // the best window's margin over the cascade's last stage
    double Score = 0; // OrderingScore
    bool HasPoints = false;
    FacePoints Points; // file pixels, with HasPoints
};

struct SearchSettings {
    double ScaleStep = 1.1;
    int MinNeighbours = 3; // a cluster needs more than this many raw windows
    int MinWidth = 0; // picture pixels
    int MinHeight = 0;
    int Threads = 1; // the threads our own cascade evaluator shares the scales among
};

// The settings for one call: precision 1..10 and pass 0 or 1, minimum size in picture pixels.
[[nodiscard]] SearchSettings SettingsFor(int pass, int precision, int minWidth, int minHeight);

// The cascade's raw windows over the picture's content (picture pixels): from `own` when it is loaded and answers
// the call, else from OpenCV's detectMultiScale; the two give the same windows. An empty `cascade` (the own
// evaluator came from the user's cache) is read from `cascadeFile` when OpenCV is needed.
[[nodiscard]] RawWindows FindWindows(cv::CascadeClassifier& cascade, const HaarCascade* own, const SearchImage& image,
    const SearchSettings& settings, const std::string* cascadeFile = nullptr);

// Runs the cascade over the picture's content and merges the raw windows into detections (in file pixels, clipped
// to the file's bounds), unordered and unscored.
[[nodiscard]] std::vector<Detection> Search(cv::CascadeClassifier& cascade, const SearchImage& image,
    const SearchSettings& settings, const HaarCascade* own = nullptr, const std::string* cascadeFile = nullptr);

// How likely a detection is the subject of a portrait: strong evidence, large compared with the largest
// detection, near the vertical centre line, whole (not cut by the image edge). Higher is better.
[[nodiscard]] double OrderingScore(const Detection& d, int imageWidth, int imageHeight, int largestSide);

// Scores the detections and sorts them best first; ties keep the top-to-bottom, left-to-right order.
void OrderDetections(std::vector<Detection>& detections, int imageWidth, int imageHeight);

} // namespace vellicam::facedetect
