// A whole recognition run on a 4000 × 4000 working square (temporary image written and read back, face pass,
// re-detection when asked, chin pass, proposal) beside OpenCV's bare cascade detection on the same image's grey
// version with the same parameters.
#include "bench_pairs.h"
#include "image/photo.h"
#include "recognition/recognition_run.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kSide = 4000;

struct State {
    std::string program; // where the detector library and its cascades lie: beside this program
    std::string temp;
    vellicam::Bitmap square;
    cv::Mat grey;
    cv::CascadeClassifier cascade;
    vellicam::RecognitionOutcome last;
};

// The uniform-cap portrait enlarged to 4000 rows and centred on its black square, as a photo is loaded.
bool MakeSquare(State& state)
{
    // The full-size portrait where the shared photographs lie beside the project; the project's reduced copy
    // otherwise (enlarged from a quarter of the pixels, its face comes out larger and asks for a re-detection).
    cv::Mat photo
        = cv::imread(VELLICAM_SOURCE_DIR "/../shared/photos/portrait_uniform_cap_2048x2400.jpg", cv::IMREAD_COLOR);
    if (photo.empty())
        photo = cv::imread(std::string(VELLICAM_SOURCE_DIR) + "/tests/data/photos/portrait_uniform_cap_1024x1200.jpg",
            cv::IMREAD_COLOR);
    if (photo.empty())
        return false;
    cv::Mat big;
    cv::resize(photo, big, cv::Size(photo.cols * kSide / photo.rows, kSide), 0, 0, cv::INTER_CUBIC);
    vellicam::Bitmap bitmap;
    if (!bitmap.Resize(big.cols, big.rows))
        return false;
    for (int y = 0; y < big.rows; ++y)
        std::memcpy(bitmap.Row(y), big.ptr(y), bitmap.Stride());
    if (!vellicam::BuildSquareBitmap(bitmap, state.square))
        return false;
    const cv::Mat view(kSide, kSide, CV_8UC3, state.square.Data(), state.square.Stride());
    cv::cvtColor(view, state.grey, cv::COLOR_BGR2GRAY);
    return true;
}

const vellicam::bench::Register kRecognition { [] {
    auto state = std::make_shared<State>();
    return vellicam::bench::Pair {
        "recognition run 4000x4000",
        "bare detectMultiScale 1.1/3/200",
        1.5,
        [=] {
            std::error_code ec;
            state->program = fs::read_symlink("/proc/self/exe", ec).parent_path().string();
            std::string pattern = (fs::temp_directory_path(ec) / "vellicam-bench-XXXXXX").string();
            if (mkdtemp(pattern.data()))
                state->temp = pattern;
            if (!MakeSquare(*state))
                std::fprintf(stderr, "cannot make the working square\n");
            if (!state->cascade.load(state->program + "/haarcascade_frontalface_default.xml"))
                std::fprintf(stderr, "cannot load the face cascade beside %s\n", state->program.c_str());
        },
        [=] {
            state->last = vellicam::RecognitionRun(
                state->square, state->program, state->temp, {}, vellicam::DefaultSheetLayout(), state->square.Width());
            if (state->last.result != vellicam::kRecognised)
                std::fprintf(stderr, "recognition: %d %s %s\n", state->last.result, state->last.message.c_str(),
                    state->last.reason.c_str());
        },
        [=] {
            std::vector<cv::Rect> faces;
            state->cascade.detectMultiScale(state->grey, faces, 1.1, 3, 0, cv::Size(200, 200));
        },
        [=] {
            const vellicam::RecognitionOutcome& o = state->last;
            std::printf("  face %d,%d-%d,%d, re-detected %d, chin pass %d, chin accepted %d\n", o.face.x1, o.face.y1,
                o.face.x2, o.face.y2, o.redetected, o.chinPassRan, o.chinAccepted);
            std::error_code ec;
            fs::remove_all(state->temp, ec);
            state->square.Clear();
            state->grey.release();
        },
    };
}() };

} // namespace
