// The whole sheet action of the session for a 2000 × 2600 frame (the cut, four reductions and sharpenings, marks,
// JPEG encoding with the atomic write, the preview) beside encoding the finished sheet alone: the part no faster
// pixel work can remove.
#include "bench_pairs.h"
#include "core/stage_times.h"
#include "image/image_io.h"
#include "sheet/output_path.h"
#include "sheet/sheet_compose.h"
#include "session/photo_session.h"

#include <algorithm>
#include <chrono>
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
    vellicam::PhotoSession session;
    vellicam::Settings settings;
    vellicam::Bitmap finished; // the full sheet, for the reference side
    std::string folder;
    std::string encoded;
    vellicam::StageTimes stages; // of the fastest action
    double bestMs = 1e30;
    double encodeMs = 1e30; // the best encoding
};

// The window's sheet action on a photo whose frame is the whole cut.
void SheetAction(State& s)
{
    vellicam::StageTimes stages;
    const vellicam::StageRecording recording(stages);
    const auto start = std::chrono::steady_clock::now();
    vellicam::RecordedPrompts prompts;
    const vellicam::SheetOutcome sheet = s.session.makeSheet(s.settings, false, prompts);
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (ms < s.bestMs) {
        s.bestMs = ms;
        s.stages = stages;
    }
    if (sheet.result != vellicam::SheetOutcome::Saved || !prompts.questions.empty())
        std::fprintf(stderr, "the sheet was not saved\n");
}

const vellicam::bench::Register kSheetAction { [] {
    auto state = std::make_shared<State>();
    return vellicam::bench::Pair {
        "sheet action from a 2000x2600 cut",
        "JPEG encoding of the 1051x1500 sheet at quality 90",
        3.0,
        [=] {
            const vellicam::Bitmap cut = PhotoLikeCut();
            state->folder = "/tmp/vellicam-sheet-bench-" + std::to_string(::getpid());
            state->settings.outputFolder = state->folder + "/";
            vellicam::SheetOptions options;
            options.sharpen = true;
            if (vellicam::ComposeSheet(cut, vellicam::DefaultSheetLayout(), options, state->finished)
                != vellicam::kSheetOk)
                std::fprintf(stderr, "the reference sheet was not drawn\n");
            (void)state->session.adopt(state->folder + "/cut.jpg", cut, false);
            const int side = state->session.square().Width();
            state->session.setView(side, side, side);
            state->session.setFrame({ (side - kCutWidth) / 2, 0, kCutWidth, kCutHeight });
        },
        [=] { SheetAction(*state); },
        [=] {
            const auto start = std::chrono::steady_clock::now();
            if (const vellicam::IoResult r = vellicam::EncodeJpeg(state->finished, { 90, 300 }, state->encoded); !r)
                std::fprintf(stderr, "%s\n", r.message.c_str());
            state->encodeMs = std::min(state->encodeMs,
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        },
        [=] {
            // Each stage per action beside the encoding alone; the sync is the disk's, apart from the pixel work.
            const int n = 1;
            double work = 0;
            std::printf("  the fastest action's stages, against the encoding alone (%.2f ms):\n", state->encodeMs);
            for (std::size_t i = 0; i < vellicam::kStageCount; ++i) {
                const auto stage = static_cast<vellicam::Stage>(i);
                const double ms = state->stages.ms[i] / n;
                if (ms <= 0)
                    continue;
                if (stage != vellicam::Stage::Sync && stage != vellicam::Stage::Preview)
                    work += ms;
                std::printf("    %-14s %7.2f ms  %5.2f x encode%s\n", vellicam::StageName(stage), ms, ms / state->encodeMs,
                    stage == vellicam::Stage::Preview ? " (on the other core)" : "");
            }
            std::printf("    %-14s %7.2f ms  %5.2f x encode (target 2)\n", "without sync", work, work / state->encodeMs);
            std::error_code ignored;
            std::filesystem::remove_all(state->folder, ignored);
            state->session.close();
            state->finished.Clear();
            state->encoded = {};
        },
    };
}() };

} // namespace
