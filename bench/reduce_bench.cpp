// The high-quality reduction beside OpenCV's area resampling, on the sizes the program reduces most.
#include "bench_pairs.h"
#include "resample/reduce.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

namespace {

using vellicam::Bitmap;

// Smooth shading with fine noise and a few hard edges, like a portrait more than like white noise.
Bitmap PhotoLike(int w, int h)
{
    Bitmap b;
    if (!b.ResizeUninitialized(w, h))
        return b;
    std::uint32_t noise = 12345;
    for (int y = 0; y < h; ++y) {
        std::uint8_t* p = b.Row(y);
        for (int x = 0; x < w; ++x, p += 3) {
            noise = noise * 1664525u + 1013904223u;
            const int n = static_cast<int>(noise >> 28) - 8;
            const bool edge = ((x / 97) + (y / 131)) % 5 == 0;
            p[0] = static_cast<std::uint8_t>(std::clamp((edge ? 40 : 180) + x * 60 / w + n, 0, 255));
            p[1] = static_cast<std::uint8_t>(std::clamp(90 + y * 120 / h + n, 0, 255));
            p[2] = static_cast<std::uint8_t>(std::clamp(200 - (x + y) * 100 / (w + h) + n, 0, 255));
        }
    }
    return b;
}

void Add(int srcW, int srcH, int dstW, int dstH)
{
    struct State {
        Bitmap source, ours;
        cv::Mat theirs;
    };
    auto state = std::make_shared<State>();
    const std::string name = "ReduceHighQuality " + std::to_string(srcW) + "x" + std::to_string(srcH) + "->"
        + std::to_string(dstW) + "x" + std::to_string(dstH);
    vellicam::bench::Register { {
        name,
        "cv::resize INTER_AREA",
        1.5,
        [=] { state->source = PhotoLike(srcW, srcH); },
        [=] {
            if (ReduceHighQuality(state->source, dstH, dstW, state->ours) != vellicam::kReduced)
                std::fprintf(stderr, "%s: refused\n", name.c_str());
        },
        [=] {
            // A view of our rows, not a copy.
            const cv::Mat view(srcH, srcW, CV_8UC3, state->source.Data(), state->source.Stride());
            cv::resize(view, state->theirs, cv::Size(dstW, dstH), 0, 0, cv::INTER_AREA);
        },
        [=] {
            state->source.Clear();
            state->ours.Clear();
            state->theirs.release();
        },
    } };
}

const bool registered = [] {
    Add(6000, 4000, 520, 346);
    Add(2400, 3200, 378, 496);
    Add(1051, 1500, 498, 712);
    return true;
}();

} // namespace
