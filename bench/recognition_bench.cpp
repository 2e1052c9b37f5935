// A whole warm recognition run on a 4000 × 3000 photo's working square (the reduced temporary image written, the
// library's face pass with its confirmation and landmarks, re-detection when asked, the head-top scans and the
// proposal), beside libjpeg-turbo's decoding (through OpenCV) of the same photo's JPEG file. The models are loaded
// before timing, as they are after a program's first run. Then a cold `vellicam-cli detect` of the same file (a
// new process that loads the library and its models, with the user's model cache filled) beside that warm run.
#include "bench_pairs.h"
#include "image/image_io.h"
#include "image/photo.h"
#include "recognition/recognition_run.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kWidth = 4000, kHeight = 3000;

struct State {
    std::string program; // where the detector library and its cascades lie: beside this program
    std::string temp;
    std::string photoPath; // the 4000 × 3000 JPEG
    vellicam::Bitmap square;
    vellicam::RecognitionOutcome last;
};

// The uniform-cap portrait enlarged to 3000 rows, in the middle of a 4000 × 3000 photo whose sides continue its
// edge columns, with sensor-like noise so that the JPEG decoder has a camera file's work; written at quality 90.
bool MakePhoto(State& state)
{
    cv::Mat portrait
        = cv::imread(VELLICAM_SOURCE_DIR "/../shared/photos/portrait_uniform_cap_2048x2400.jpg", cv::IMREAD_COLOR);
    if (portrait.empty())
        portrait
            = cv::imread(VELLICAM_SOURCE_DIR "/tests/data/photos/portrait_uniform_cap_1024x1200.jpg", cv::IMREAD_COLOR);
    if (portrait.empty())
        return false;
    cv::Mat tall;
    cv::resize(portrait, tall, cv::Size(portrait.cols * kHeight / portrait.rows, kHeight), 0, 0, cv::INTER_CUBIC);
    cv::Mat photo;
    const int left = (kWidth - tall.cols) / 2;
    cv::copyMakeBorder(tall, photo, 0, 0, left, kWidth - tall.cols - left, cv::BORDER_REPLICATE);
    cv::Mat noise(photo.size(), CV_16SC3);
    cv::randn(noise, 0, 3);
    cv::Mat noisy;
    photo.convertTo(noisy, CV_16SC3);
    noisy += noise;
    noisy.convertTo(photo, CV_8UC3);
    state.photoPath = state.temp + "/photo_4000x3000.jpg";
    if (!cv::imwrite(state.photoPath, photo, { cv::IMWRITE_JPEG_QUALITY, 90 }))
        return false;
    vellicam::Bitmap decoded;
    return vellicam::LoadJpeg(state.photoPath, decoded).ok && vellicam::BuildSquareBitmap(decoded, state.square);
}

// On both cores, as the window and vellicam-cli detect run it.
void Recognise(State& state)
{
    vellicam::RecognitionSettings settings;
    settings.threads = 2;
    state.last = vellicam::RecognitionRun(
        state.square, state.program, state.temp, settings, vellicam::DefaultSheetLayout(), state.square.Width());
    if (state.last.result != vellicam::kRecognised)
        std::fprintf(stderr, "recognition: %d %s %s\n", state.last.result, state.last.message.c_str(),
            state.last.reason.c_str());
}

double ColdDetectSeconds(const State& state)
{
    const std::string command = "'" + state.program + "/vellicam-cli' detect '" + state.photoPath + "' >/dev/null 2>&1";
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0)
        return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

const vellicam::bench::Register kRecognition { [] {
    auto state = std::make_shared<State>();
    return vellicam::bench::Pair {
        "recognition run, warm, 4000x3000 photo",
        "JPEG decoding of the photo",
        3.0,
        [=] {
            std::error_code ec;
            state->program = fs::read_symlink("/proc/self/exe", ec).parent_path().string();
            std::string pattern = (fs::temp_directory_path(ec) / "vellicam-bench-XXXXXX").string();
            if (mkdtemp(pattern.data()))
                state->temp = pattern;
            if (!MakePhoto(*state))
                std::fprintf(stderr, "cannot make the 4000 x 3000 photo\n");
            Recognise(*state); // loads the library's models, as the program's first run does
        },
        [=] { Recognise(*state); },
        [=] {
            const cv::Mat decoded = cv::imread(state->photoPath, cv::IMREAD_COLOR);
            if (decoded.empty())
                std::fprintf(stderr, "cannot decode %s\n", state->photoPath.c_str());
        },
        [=] {
            const vellicam::RecognitionOutcome& o = state->last;
            std::printf("  face %d,%d-%d,%d, landmarks %d, chin from them %d, re-detected %d, levelling %d\n",
                o.face.x1, o.face.y1, o.face.x2, o.face.y2, o.landmarks, o.chinFromLandmarks, o.redetected,
                o.levellingAngle);
            std::printf("  person mask %s, head top from it %d\n",
                o.personRegion.Empty() ? "not used (no model, or no region at the face)" : "used", o.maskHeadTop);
            std::error_code ec;
            fs::remove_all(state->temp, ec);
            state->square.Clear();
        },
        {},
    };
}() };

const vellicam::bench::Register kColdStart { [] {
    auto state = std::make_shared<State>();
    return vellicam::bench::Pair {
        "cold vellicam-cli detect, 4000x3000 photo",
        "warm recognition run",
        2.0,
        [=] {
            std::error_code ec;
            state->program = fs::read_symlink("/proc/self/exe", ec).parent_path().string();
            std::string pattern = (fs::temp_directory_path(ec) / "vellicam-bench-XXXXXX").string();
            if (mkdtemp(pattern.data()))
                state->temp = pattern;
            if (!MakePhoto(*state))
                std::fprintf(stderr, "cannot make the 4000 x 3000 photo\n");
            Recognise(*state);
            // The first run after an install or an update fills the user's model cache; the ones after it are timed.
            if (ColdDetectSeconds(*state) < 0)
                std::fprintf(stderr, "vellicam-cli detect failed\n");
        },
        [=] {
            if (ColdDetectSeconds(*state) < 0)
                std::fprintf(stderr, "vellicam-cli detect failed\n");
        },
        [=] { Recognise(*state); },
        [=] {
            std::error_code ec;
            fs::remove_all(state->temp, ec);
            state->square.Clear();
        },
        {},
    };
}() };

// The person mask with its refinement on the same photo's working square (the reduced picture, the model, the
// guided filter) beside the photo's JPEG decoding; the library and the model loaded before timing.
struct MaskState {
    State photo;
    vellicam::FaceDetector detector;
    vellicam::PersonMask mask;
    bool ready = false;
};

const vellicam::bench::Register kPersonMask { [] {
    auto state = std::make_shared<MaskState>();
    return vellicam::bench::Pair {
        "person mask with refinement, 4000x3000 photo",
        "JPEG decoding of the photo",
        1.0,
        [=] {
            std::error_code ec;
            State& s = state->photo;
            s.program = fs::read_symlink("/proc/self/exe", ec).parent_path().string();
            std::string pattern = (fs::temp_directory_path(ec) / "vellicam-bench-XXXXXX").string();
            if (mkdtemp(pattern.data()))
                s.temp = pattern;
            if (!MakePhoto(s))
                std::fprintf(stderr, "cannot make the 4000 x 3000 photo\n");
            const vellicam::DetectorFiles files = vellicam::FindDetectorFiles(s.program);
            vellicam::PersonModelState model = vellicam::PersonModelState::NotSupported;
            state->ready = state->detector.Load(files.library) == vellicam::kDetectorOk
                && state->detector.LoadPersonModel(files.personModel, model) == vellicam::kDetectorOk
                && model == vellicam::PersonModelState::Ready;
            if (!state->ready)
                std::fprintf(stderr, "no person model beside the program: the mask is not timed\n");
        },
        [=] {
            if (state->ready)
                (void)vellicam::ComputePersonMask(state->detector, state->photo.square, state->mask);
        },
        [=] {
            const cv::Mat decoded = cv::imread(state->photo.photoPath, cv::IMREAD_COLOR);
            if (decoded.empty())
                std::fprintf(stderr, "cannot decode %s\n", state->photo.photoPath.c_str());
        },
        [=] {
            std::printf("  mask %d x %d at 1/%d\n", state->mask.width, state->mask.height, state->mask.scale);
            std::error_code ec;
            fs::remove_all(state->photo.temp, ec);
            state->photo.square.Clear();
            state->detector.Release();
        },
        {},
    };
}() };

} // namespace
