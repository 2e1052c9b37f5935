// Unattended batch throughput: the engine steps the window runs for each photo of a dropped folder (load, square,
// fitted view, recognition without its pause, cut, compose, save, preview) over 20 camera-sized photos, beside
// the bare JPEG decoding of the same files. The window's 500 ms pause before each detection is not in the figure:
// add it per photo.
#include "bench_pairs.h"
#include "image/image_io.h"
#include "sheet/output_path.h"
#include "image/photo.h"
#include "recognition/recognition_run.h"
#include "resample/reduce.h"
#include "sheet/sheet_compose.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kPhotos = 20;
constexpr int kWidth = 4000, kHeight = 3000;
// The square view's side in the window at its smallest size.
constexpr int kViewSide = 564;

struct State {
    std::string program; // the detector library and its cascades, beside this program
    std::string folder; // the photos, their sheets and the recognition's temporary image
    std::vector<std::string> photos;
    int recognised = 0;
    int saved = 0;
};

// A real portrait enlarged to 3000 rows and widened to 4000 columns by repeating its edges, so the face stays in
// the middle where a camera's portrait has it; each file a shade brighter than the one before.
bool MakePhotos(State& state)
{
    cv::Mat photo = cv::imread(
        std::string(VELLICAM_SOURCE_DIR) + "/tests/data/photos/portrait_plain_wall_900x1200.jpg", cv::IMREAD_COLOR);
    if (photo.empty())
        return false;
    cv::Mat tall;
    cv::resize(photo, tall, cv::Size(photo.cols * kHeight / photo.rows, kHeight), 0, 0, cv::INTER_CUBIC);
    const int side = (kWidth - tall.cols) / 2;
    cv::Mat wide;
    cv::copyMakeBorder(tall, wide, 0, 0, side, kWidth - tall.cols - side, cv::BORDER_REPLICATE);
    for (int i = 0; i < kPhotos; ++i) {
        cv::Mat shade;
        wide.convertTo(shade, -1, 1.0, i % 5);
        char name[32];
        std::snprintf(name, sizeof name, "/IMG_%04d.jpg", i);
        const std::string path = state.folder + name;
        if (!cv::imwrite(path, shade, { cv::IMWRITE_JPEG_QUALITY, 92 }))
            return false;
        state.photos.push_back(path);
    }
    return true;
}

// One photo as the window works it in an unattended batch; true when its sheet was saved.
bool WorkPhoto(State& state, const std::string& path)
{
    using namespace vellicam;
    Bitmap original, square, fitted, cut, sheet;
    std::string reason;
    if (LoadPhotoFile(path, original, &reason) != 0 || !BuildSquareBitmap(original, square))
        return false;
    const Size view = FittedSize(original.Width(), original.Height(), kViewSide, kViewSide);
    (void)ReduceHighQuality(original, view.height, view.width, fitted);

    const SheetLayout layout = DefaultSheetLayout();
    RecognitionSettings settings;
    settings.silentSkip = true;
    settings.photoFolder = state.folder + "/";
    settings.currentPhotoPath = path;
    const RecognitionOutcome outcome
        = RecognitionRun(square, state.program, state.folder, settings, layout, square.Width());
    CropRect crop;
    if (outcome.result == kRecognised && outcome.proposed) {
        ++state.recognised;
        const FrameProposal& p = outcome.proposal;
        crop.source = { p.L, p.Tf, std::min(p.R, square.Width()), std::min(p.Bf, square.Height()) };
        crop.width = p.R - p.L;
        crop.height = p.Bf - p.Tf;
    } else {
        // The frame left where the photo opened it: the smallest frame in the middle.
        const FrameLimits limits = FrameLimitsOf(layout);
        crop.width = limits.FrameMinWidth;
        crop.height = limits.FrameMinHeight;
        const int left = (square.Width() - crop.width) / 2, top = (square.Height() - crop.height) / 2;
        crop.source = { left, top, left + crop.width, top + crop.height };
    }
    if (CutPhoto(square, crop, cut) != kCropOk)
        return false;
    SheetOptions options;
    options.sharpen = true;
    if (ComposeSheet(cut, layout, options, sheet) != kSheetOk)
        return false;
    const std::string output = OutputPath("", state.folder + "/", path);
    if (SaveSheetJpeg(output, sheet, 90, layout.Resolution).code != kSheetSaved)
        return false;
    return MakePreview(sheet, sheet) == kSheetOk;
}

const vellicam::bench::Register kBatch { [] {
    auto state = std::make_shared<State>();
    return vellicam::bench::Pair {
        "batch of 20 photos 4000x3000, all 20",
        "JPEG decode of the same files",
        40.0,
        [=] {
            std::error_code ec;
            state->program = fs::read_symlink("/proc/self/exe", ec).parent_path().string();
            std::string pattern = (fs::temp_directory_path(ec) / "vellicam-batch-XXXXXX").string();
            if (mkdtemp(pattern.data()))
                state->folder = pattern;
            if (state->folder.empty() || !MakePhotos(*state))
                std::fprintf(stderr, "cannot make the batch's photos\n");
        },
        [=] {
            state->recognised = 0;
            state->saved = 0;
            for (const std::string& path : state->photos)
                state->saved += WorkPhoto(*state, path) ? 1 : 0;
        },
        [=] {
            vellicam::Bitmap photo;
            for (const std::string& path : state->photos)
                (void)vellicam::LoadJpeg(path, photo);
        },
        [=] {
            std::printf("  %d photos, %d recognised, %d sheets saved in the last run; times are for all %d photos:"
                        " divide by %d for one, and add the window's 500 ms pause before each detection\n",
                kPhotos, state->recognised, state->saved, kPhotos, kPhotos);
            std::error_code ec;
            fs::remove_all(state->folder, ec);
        },
    };
}() };

} // namespace
