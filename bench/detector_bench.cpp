// The detector library's parts beside the library calls they are built on, on the same input: the cascade search
// with its own merging beside OpenCV's detectMultiScale with its grouping, the face detector as the library loads
// it (from the model cache) beside dlib's own, the landmarks over the cached flat model beside dlib's
// shape_predictor read from the model file, and the person mask beside the model's forward pass alone.
#include "bench_pairs.h"
#include "face_search.h"
#include "face_verify.h"
#include "landmark_model.h"
#include "person_mask.h"

#include <dlib/image_processing.h>
#include <dlib/image_processing/frontal_face_detector.h>
#include <dlib/opencv/cv_image.h>

#include <opencv2/dnn.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace vellicam::facedetect;

constexpr const char* kPortrait = VELLICAM_SOURCE_DIR "/tests/data/photos/portrait_uniform_cap_1024x1200.jpg";

std::string ProgramFolder()
{
    std::error_code ec;
    return fs::read_symlink("/proc/self/exe", ec).parent_path().string();
}

// The portrait as the library searches it: grey, reduced towards 800 pixels.
SearchImage Picture()
{
    SearchImage image;
    if (ReadSearchImage(kPortrait, 0, 800, 40, false, image) != kOk)
        std::fprintf(stderr, "cannot read %s\n", kPortrait);
    return image;
}

struct CascadeState {
    SearchImage image;
    cv::CascadeClassifier cascade;
    HaarCascade own;
    SearchSettings settings;
    std::vector<Detection> ours;
    std::vector<cv::Rect> theirs;
    RawWindows ourWindows, theirWindows;
};

const vellicam::bench::Register kCascade { [] {
    auto state = std::make_shared<CascadeState>();
    return vellicam::bench::Pair {
        "cascade search with merging, 800-pixel portrait",
        "OpenCV detectMultiScale",
        0.5,
        [=] {
            state->image = Picture();
            if (!state->cascade.load(ProgramFolder() + "/haarcascade_frontalface_default.xml")
                || !state->own.Load(ProgramFolder() + "/haarcascade_frontalface_default.xml"))
                std::fprintf(stderr, "no face cascade beside the program\n");
            const int minSide = std::min(state->image.Grey.cols, state->image.Grey.rows) / 10;
            state->settings = SettingsFor(0, 3, minSide, minSide);
        },
        [=] { state->ours = Search(state->cascade, state->image, state->settings, &state->own); },
        [=] {
            state->cascade.detectMultiScale(state->image.Grey, state->theirs, state->settings.ScaleStep,
                state->settings.MinNeighbours, 0, cv::Size(state->settings.MinWidth, state->settings.MinHeight));
        },
        [=] { std::printf("  %zu detections, OpenCV %zu\n", state->ours.size(), state->theirs.size()); },
        {},
    };
}() };

// The cascade alone, both sides giving the same raw windows: the re-detection's finer scale step on the portrait.
const vellicam::bench::Register kCascadeWindows { [] {
    auto state = std::make_shared<CascadeState>();
    return vellicam::bench::Pair {
        "cascade raw windows, step 1.05, 800-pixel portrait",
        "OpenCV detectMultiScale without grouping",
        0.5,
        [=] {
            state->image = Picture();
            if (!state->cascade.load(ProgramFolder() + "/haarcascade_frontalface_default.xml")
                || !state->own.Load(ProgramFolder() + "/haarcascade_frontalface_default.xml"))
                std::fprintf(stderr, "no face cascade beside the program\n");
            const int minSide = std::min(state->image.Grey.cols, state->image.Grey.rows) / 10;
            state->settings = SettingsFor(1, 3, minSide, minSide);
        },
        [=] {
            if (!state->own.Detect(state->image.Grey, state->settings.ScaleStep,
                    cv::Size(state->settings.MinWidth, state->settings.MinHeight), cv::Size(), state->ourWindows))
                std::fprintf(stderr, "the own cascade did not answer\n");
        },
        [=] {
            state->cascade.detectMultiScale(state->image.Grey, state->theirWindows.Rects, state->theirWindows.Levels,
                state->theirWindows.Weights, state->settings.ScaleStep, 0, 0,
                cv::Size(state->settings.MinWidth, state->settings.MinHeight), cv::Size(), true);
        },
        [=] {
            const bool same = state->ourWindows.Rects == state->theirWindows.Rects
                && state->ourWindows.Weights == state->theirWindows.Weights;
            std::printf("  %zu windows, OpenCV %zu, %s\n", state->ourWindows.Rects.size(),
                state->theirWindows.Rects.size(), same ? "the same" : "DIFFERENT");
        },
        {},
    };
}() };

struct DlibState {
    SearchImage image;
    const FaceVerifier* verifier = nullptr;
    std::unique_ptr<LandmarkModel> landmarks;
    dlib::frontal_face_detector detector;
    dlib::shape_predictor predictor;
    dlib::rectangle face;
    std::size_t ours = 0, theirs = 0;
};

// The library's verifier and landmark model (read through the model cache, as the library reads them), dlib's
// own detector and shape predictor, and the portrait's face as dlib finds it.
void LoadDlib(DlibState& state)
{
    state.image = Picture();
    state.verifier = TheVerifier();
    std::string why;
    state.landmarks = LandmarkModel::Load(kSystemLandmarkModel, ModelCacheFolder(), why);
    state.detector = dlib::get_frontal_face_detector();
    std::ifstream in(kSystemLandmarkModel, std::ios::binary);
    dlib::deserialize(state.predictor, in);
    const std::vector<dlib::rectangle> faces = state.detector(dlib::cv_image<unsigned char>(state.image.Grey));
    if (!state.verifier || !state.landmarks || faces.empty())
        std::fprintf(stderr, "no landmark model or no face: %s\n", why.c_str());
    else
        state.face = faces.front();
}

const vellicam::bench::Register kFaceDetector { [] {
    auto state = std::make_shared<DlibState>();
    return vellicam::bench::Pair {
        "HOG face detector from the model cache, 800-pixel portrait",
        "dlib's frontal face detector",
        1.1,
        [=] { LoadDlib(*state); },
        // The whole search as a recognition with two cores runs it.
        [=] { state->ours = state->verifier ? state->verifier->FindFaces(state->image.Grey, 2).size() : 0; },
        [=] { state->theirs = state->detector(dlib::cv_image<unsigned char>(state->image.Grey)).size(); },
        [=] { std::printf("  %zu faces, dlib %zu\n", state->ours, state->theirs); },
        {},
    };
}() };

const vellicam::bench::Register kLandmarks { [] {
    auto state = std::make_shared<DlibState>();
    return vellicam::bench::Pair {
        "68 landmarks from the cached model, 800-pixel portrait",
        "dlib shape_predictor",
        1.1,
        [=] { LoadDlib(*state); },
        [=] {
            // Ten faces a run: one prediction is a fraction of a millisecond.
            for (int i = 0; i < 10 && state->landmarks; ++i)
                state->ours += state->landmarks->Predict(state->image.Grey, state->face).num_parts();
        },
        [=] {
            for (int i = 0; i < 10; ++i)
                state->theirs
                    += state->predictor(dlib::cv_image<unsigned char>(state->image.Grey), state->face).num_parts();
        },
        {},
        {},
    };
}() };

struct MaskState {
    cv::Mat picture; // the portrait at the model's 256 × 256
    cv::dnn::Net net;
    cv::Mat mask;
    bool ready = false;
};

const vellicam::bench::Register kPersonMask { [] {
    auto state = std::make_shared<MaskState>();
    return vellicam::bench::Pair {
        "person mask at 1/4 of a 256-pixel picture",
        "OpenCV DNN forward",
        1.1,
        [=] {
            const std::string model = ProgramFolder() + "/person_segmentation.onnx";
            const cv::Mat portrait = cv::imread(kPortrait, cv::IMREAD_COLOR);
            if (!portrait.empty())
                cv::resize(portrait, state->picture, cv::Size(256, 256), 0, 0, cv::INTER_AREA);
            state->ready = !state->picture.empty() && LoadPersonModel(model) == kPersonModelOk;
            if (state->ready) {
                state->net = cv::dnn::readNetFromONNX(model);
                state->net.setPreferableBackend(cv::dnn::DNN_BACKEND_OPENCV);
                state->net.setPreferableTarget(cv::dnn::DNN_TARGET_CPU);
            } else {
                std::fprintf(stderr, "no person model beside the program: the mask is not timed\n");
            }
        },
        [=] {
            if (state->ready)
                (void)PersonMaskOf(state->picture, 4, state->mask);
        },
        [=] {
            if (!state->ready)
                return;
            state->net.setInput(cv::dnn::blobFromImage(
                state->picture, 1.0 / 255, cv::Size(256, 256), cv::Scalar(), true, false, CV_32F));
            (void)state->net.forward();
        },
        {},
        {},
    };
}() };

} // namespace
