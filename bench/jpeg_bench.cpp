// Loading a camera-sized JPEG beside libjpeg-turbo's own decoding of the same file into a ready buffer.
#include "bench_pairs.h"
#include "image/image_io.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include <jpeglib.h>

namespace {

constexpr int kWidth = 6000, kHeight = 4000;

// An enlarged real photo with sensor-like noise, so the entropy decoder has as much to do as with a camera's file;
// a synthetic pattern when the photo is not at hand.
cv::Mat CameraLikePhoto()
{
    cv::Mat photo
        = cv::imread(VELLICAM_SOURCE_DIR "/tests/data/photos/group_three_people_1280x900.jpg", cv::IMREAD_COLOR);
    cv::Mat big;
    if (photo.empty()) {
        big.create(kHeight, kWidth, CV_8UC3);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x)
                big.at<cv::Vec3b>(y, x) = cv::Vec3b(static_cast<uchar>(x * 255 / kWidth),
                    static_cast<uchar>(y * 255 / kHeight), static_cast<uchar>((x + y) * 255 / (kWidth + kHeight)));
    } else {
        cv::resize(photo, big, cv::Size(kWidth, kHeight), 0, 0, cv::INTER_CUBIC);
    }
    cv::Mat noise(big.size(), CV_16SC3);
    cv::randn(noise, 0, 3);
    cv::Mat noisy;
    big.convertTo(noisy, CV_16SC3);
    noisy += noise;
    noisy.convertTo(big, CV_8UC3);
    return big;
}

struct State {
    std::string path;
    vellicam::Bitmap ours;
    std::vector<unsigned char> buffer;
};

void DecodeWithLibjpeg(State& state)
{
    std::FILE* f = std::fopen(state.path.c_str(), "rb");
    if (!f)
        return;
    jpeg_decompress_struct cinfo {};
    jpeg_error_mgr err {};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, f);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    const std::size_t stride = static_cast<std::size_t>(cinfo.output_width) * 3;
    JSAMPROW rows[16];
    while (cinfo.output_scanline < cinfo.output_height) {
        const unsigned n = std::min(16u, cinfo.output_height - cinfo.output_scanline);
        for (unsigned i = 0; i < n; ++i)
            rows[i] = state.buffer.data() + stride * (cinfo.output_scanline + i);
        jpeg_read_scanlines(&cinfo, rows, n);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(f);
}

const vellicam::bench::Register kJpegLoad { [] {
    auto state = std::make_shared<State>();
    return vellicam::bench::Pair {
        "JPEG load 6000x4000",
        "libjpeg-turbo decode into a ready buffer",
        1.15,
        [=] {
            state->path = "/tmp/vellicam-bench-" + std::to_string(::getpid()) + ".jpg";
            if (!cv::imwrite(state->path, CameraLikePhoto(), { cv::IMWRITE_JPEG_QUALITY, 90 }))
                std::fprintf(stderr, "cannot write %s\n", state->path.c_str());
            state->buffer.assign(static_cast<std::size_t>(kWidth) * kHeight * 3, 0);
        },
        [=] {
            if (const vellicam::IoResult r = vellicam::LoadJpeg(state->path, state->ours); !r)
                std::fprintf(stderr, "%s\n", r.message.c_str());
        },
        [=] { DecodeWithLibjpeg(*state); },
        [=] {
            std::remove(state->path.c_str());
            state->ours.Clear();
            state->buffer = {};
        },
    };
}() };

} // namespace
