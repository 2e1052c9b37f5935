// The whole sheet action for a large cut (four reductions and sharpenings, marks, JPEG encoding with the atomic
// write, the preview) beside encoding the finished sheet alone: the part no faster pixel work can remove.
#include "bench_pairs.h"
#include "image/image_io.h"
#include "sheet/output_path.h"
#include "sheet/sheet_compose.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>

namespace {

constexpr int kCutWidth = 2000, kCutHeight = 2600;

// Smooth shading with sensor-like noise: the reduction and the encoder see what a photo gives them.
vellicam::Bitmap PhotoLikeCut()
{
    vellicam::Bitmap cut;
    if (!cut.Resize(kCutWidth, kCutHeight))
        return cut;
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 3.0);
    for (int y = 0; y < kCutHeight; ++y) {
        std::uint8_t* row = cut.Row(y);
        for (int x = 0; x < kCutWidth; ++x) {
            const int dx = x - kCutWidth / 2, dy = y - kCutHeight / 3;
            const bool face = dx * dx + dy * dy * 2 / 3 < 600 * 600;
            const double base[3] = { face ? 120.0 : 60.0 + y * 80.0 / kCutHeight, face ? 150.0 : 70.0,
                face ? 200.0 : 90.0 + x * 60.0 / kCutWidth };
            for (int c = 0; c < 3; ++c) {
                const double v = base[c] + noise(random);
                row[3 * x + c] = static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    }
    return cut;
}

struct State {
    vellicam::Bitmap cut;
    vellicam::Bitmap sheet;
    vellicam::Bitmap finished; // the full sheet, for the reference side
    vellicam::SheetLayout layout = vellicam::DefaultSheetLayout();
    std::string folder;
    std::string encoded;
};

// The window's sequence: the enlargement check, the composition, the save, the preview into the sheet itself.
void SheetAction(State& s)
{
    if (vellicam::NeedsEnlargement(s.cut, s.layout))
        std::fprintf(stderr, "the cut is smaller than a cell\n");
    vellicam::SheetOptions options;
    options.sharpen = true;
    vellicam::SheetReport report;
    if (vellicam::ComposeSheet(s.cut, s.layout, options, s.sheet, &report) != vellicam::kSheetOk)
        std::fprintf(stderr, "the sheet was not drawn\n");
    const vellicam::SaveSheetOutcome saved
        = vellicam::SaveSheetJpeg(s.folder + "/cut_sheet.jpeg", s.sheet, 90, s.layout.Resolution);
    if (saved.code != vellicam::kSheetSaved)
        std::fprintf(stderr, "%s %s\n", saved.message.c_str(), saved.reason.c_str());
    if (vellicam::MakePreview(s.sheet, s.sheet) != vellicam::kSheetOk)
        std::fprintf(stderr, "no preview\n");
}

const vellicam::bench::Register kSheetAction { [] {
    auto state = std::make_shared<State>();
    return vellicam::bench::Pair {
        "sheet action from a 2000x2600 cut",
        "JPEG encoding of the 1051x1500 sheet at quality 90",
        3.0,
        [=] {
            state->cut = PhotoLikeCut();
            state->folder = "/tmp/vellicam-sheet-bench-" + std::to_string(::getpid());
            vellicam::SheetOptions options;
            options.sharpen = true;
            if (vellicam::ComposeSheet(state->cut, state->layout, options, state->finished) != vellicam::kSheetOk)
                std::fprintf(stderr, "the reference sheet was not drawn\n");
        },
        [=] { SheetAction(*state); },
        [=] {
            if (const vellicam::IoResult r = vellicam::EncodeJpeg(state->finished, { 90, 300 }, state->encoded); !r)
                std::fprintf(stderr, "%s\n", r.message.c_str());
        },
        [=] {
            std::error_code ignored;
            std::filesystem::remove_all(state->folder, ignored);
            state->cut.Clear();
            state->sheet.Clear();
            state->finished.Clear();
            state->encoded = {};
        },
    };
}() };

} // namespace
