// facedetect_probe IMAGE [minsize] [precision] [pass] [cascade] [longside]: prints what the detector finds in an image,
// in the library's order, with the evidence and score of each detection and the time taken. For tuning the ordering.
#include "face_search.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace vellicam::facedetect;

namespace {

std::filesystem::path ExeFolder()
{
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::current_path() : self.parent_path();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(
            stderr, "usage: %s IMAGE [minsize=200] [precision=3] [pass=0] [cascade] [longside=1200]\n", argv[0]);
        return 2;
    }
    const std::string image = argv[1];
    const int minSize = argc > 2 ? std::atoi(argv[2]) : 200;
    const int precision = argc > 3 ? std::atoi(argv[3]) : 3;
    const int pass = argc > 4 ? std::atoi(argv[4]) : 0;
    const std::string cascadeFile
        = argc > 5 && *argv[5] ? argv[5] : (ExeFolder() / "haarcascade_frontalface_default.xml").string();
    const int longSide = argc > 6 ? std::atoi(argv[6]) : 1200;

    try {
        cv::CascadeClassifier cascade;
        if (!cascade.load(cascadeFile)) {
            std::fprintf(stderr, "cannot load cascade %s\n", cascadeFile.c_str());
            return 1;
        }
        // The library's own evaluator where the cascade is of its kind, as the library searches.
        HaarCascade own;
        (void)own.Load(cascadeFile);
        const auto start = std::chrono::steady_clock::now();
        SearchImage picture;
        if (const int status = ReadSearchImage(image, minSize, longSide, 48, pass == 1, picture); status != kOk) {
            std::fprintf(stderr, "cannot read %s (%d)\n", image.c_str(), status);
            return 1;
        }
        const auto read = std::chrono::steady_clock::now();
        const int minSide = static_cast<int>(minSize / picture.Scale);
        std::vector<Detection> found = Search(cascade, picture, SettingsFor(pass, precision, minSide, minSide), &own);
        OrderDetections(found, picture.FileWidth, picture.FileHeight);
        const auto done = std::chrono::steady_clock::now();
        using ms = std::chrono::duration<double, std::milli>;
        std::printf("%s: %d x %d searched at %d x %d, read %.0f ms, search %.0f ms, %zu detections\n", image.c_str(),
            picture.FileWidth, picture.FileHeight, picture.Grey.cols, picture.Grey.rows, ms(read - start).count(),
            ms(done - read).count(), found.size());
        for (size_t i = 0; i < found.size(); ++i) {
            const Detection& d = found[i];
            std::printf("  %zu: x %d y %d w %d h %d  hits %d weight %.2f score %.2f\n", i, d.Box.x, d.Box.y,
                d.Box.width, d.Box.height, d.Hits, d.Weight, d.Score);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
    return 0;
}
