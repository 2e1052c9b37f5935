// A Haar cascade of boosted stumps evaluated several neighbouring windows at a time: the raw windows OpenCV's
// CascadeClassifier::detectMultiScale reports with outputRejectLevels and no grouping (the same rectangles, levels
// and weights, in the order one thread finds them), in a fraction of its time.
#pragma once

#include <opencv2/core.hpp>

#include <filesystem>
#include <string>
#include <vector>

namespace vellicam::facedetect {

// The windows that passed every stage: where (picture pixels), the stage count, the last stage's sum.
struct RawWindows {
    std::vector<cv::Rect> Rects;
    std::vector<int> Levels;
    std::vector<double> Weights;
};

class HaarCascade {
public:
    // Reads an OpenCV cascade file of the kind this evaluator handles: boosted single-split trees over upright
    // Haar features that lie inside the window. False for anything else (LBP or tilted features, deeper trees,
    // the old format, a file that does not parse); OpenCV's own search then serves.
    [[nodiscard]] bool Load(const std::string& path);
    // The same from a cascade's node of a file already parsed (the file's first top-level node).
    [[nodiscard]] bool Load(const cv::FileNode& root);
    [[nodiscard]] bool Loaded() const { return !Stages.empty(); }
    // The loaded cascade as flat data, and read back from it: what the user's cache keeps, so that a start reads
    // it in a millisecond instead of parsing the XML. LoadFlat checks every count and index and is false (nothing
    // loaded) for data that does not hold a whole cascade.
    [[nodiscard]] std::vector<unsigned char> Flat() const;
    [[nodiscard]] bool LoadFlat(const unsigned char* data, std::size_t size);
    [[nodiscard]] cv::Size WindowSize() const { return Window; }

    // The raw windows of detectMultiScale(grey, …, scaleFactor, 0, 0, minSize, maxSize, true) on an 8-bit grey
    // picture. False, with nothing found, when the call is not one this evaluator answers (no cascade, another
    // picture type, a scale factor not above 1, a minimum size that no scale reaches). With `threads` above 1 the
    // scales are shared among that many threads; the windows are the same, in the same order.
    [[nodiscard]] bool Detect(const cv::Mat& grey, double scaleFactor, cv::Size minSize, cv::Size maxSize,
        RawWindows& out, int threads = 1) const;

    // The vector unit is used where the processor has AVX2; off, every window is evaluated one at a time (for
    // comparing the two).
    void SetVectorised(bool on) { Vectorised = on; }
    [[nodiscard]] static bool VectorUnitPresent();

    struct Rect {
        int X = 0, Y = 0, Width = 0, Height = 0;
        float Weight = 0;
    };
    struct Feature {
        Rect Rects[3];
    };
    struct Stump {
        int Feature = 0;
        float Threshold = 0, Left = 0, Right = 0;
    };
    struct Stage {
        int First = 0, Count = 0;
        float Threshold = 0;
    };

private:
    bool Read(const cv::FileNode& root);

    cv::Size Window;
    std::vector<Feature> Features;
    std::vector<Stump> Stumps;
    std::vector<Stage> Stages;
    bool Vectorised = true;
};

// The user's cache of a cascade file in `cacheFolder` (ModelCacheFolder): the own evaluator's flat data, made from that
// file by this build of the code. Read: false, and nothing loaded, when it is missing, stale (the file or the build
// changed), damaged or not of this kind. Write: atomically; a folder that cannot be written only costs the next
// start the parse. Either does nothing with an empty folder.
[[nodiscard]] bool ReadCascadeCache(
    const std::filesystem::path& cacheFolder, const std::string& cascadeFile, HaarCascade& cascade);
void WriteCascadeCache(
    const std::filesystem::path& cacheFolder, const std::string& cascadeFile, const HaarCascade& cascade);

} // namespace vellicam::facedetect
