// One photo from file to saved sheet through the session's unattended step (open, square, recognition without the
// window's pause, frame, cut, reductions, sharpening, compose, encode, atomic save), with and without recognition,
// beside decoding the same JPEG; and vellicam-cli batch on two jobs beside one job over the same 20 photos, with
// the peak resident memory of a two-job batch on 6000 × 4000 photos.
#include "bench_pairs.h"
#include "image/image_io.h"
#include "session/batch_run.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kPhotos = 20;

// A real portrait enlarged to `height` rows and widened to `width` columns by repeating its edges, so the face
// stays in the middle where a camera's portrait has it; each file a shade brighter than the one before.
std::vector<std::string> MakePhotos(const std::string& folder, int count, int width, int height)
{
    std::vector<std::string> paths;
    cv::Mat photo = cv::imread(
        std::string(VELLICAM_SOURCE_DIR) + "/tests/data/photos/portrait_plain_wall_900x1200.jpg", cv::IMREAD_COLOR);
    if (photo.empty())
        return paths;
    cv::Mat tall;
    cv::resize(photo, tall, cv::Size(photo.cols * height / photo.rows, height), 0, 0, cv::INTER_CUBIC);
    const int side = (width - tall.cols) / 2;
    cv::Mat wide;
    cv::copyMakeBorder(tall, wide, 0, 0, side, width - tall.cols - side, cv::BORDER_REPLICATE);
    fs::create_directories(folder);
    for (int i = 0; i < count; ++i) {
        cv::Mat shade;
        wide.convertTo(shade, -1, 1.0, i % 5);
        char name[32];
        std::snprintf(name, sizeof name, "/IMG_%04d.jpg", i);
        const std::string path = folder + name;
        if (!cv::imwrite(path, shade, { cv::IMWRITE_JPEG_QUALITY, 92 }))
            return {};
        paths.push_back(path);
    }
    return paths;
}

std::string TempFolder(const char* what)
{
    std::error_code ec;
    std::string pattern = (fs::temp_directory_path(ec) / (std::string("vellicam-") + what + "-XXXXXX")).string();
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

std::string ProgramFolder()
{
    std::error_code ec;
    return fs::read_symlink("/proc/self/exe", ec).parent_path().string();
}

struct OnePhoto {
    std::string folder;
    std::vector<std::string> photos;
    vellicam::Settings settings;
    vellicam::PhotoWork last;
};

vellicam::bench::Pair PhotoToSheet(const char* name, bool recognise, double target)
{
    auto state = std::make_shared<OnePhoto>();
    return vellicam::bench::Pair {
        name,
        "JPEG decode of the same file",
        target,
        [=] {
            state->folder = TempFolder("photo");
            state->photos = MakePhotos(state->folder, 1, 4000, 3000);
            state->settings.recogniseOnOpen = recognise;
            if (state->photos.empty())
                std::fprintf(stderr, "cannot make the photo\n");
        },
        [=] { state->last = vellicam::WorkPhotoUnattended(state->photos[0], state->settings, ProgramFolder()); },
        [=] {
            vellicam::Bitmap photo;
            (void)vellicam::LoadJpeg(state->photos[0], photo);
        },
        [=] {
            std::printf("  last run: %s%s%s\n", state->last.result == vellicam::PhotoWork::Saved ? "sheet saved" : "no sheet",
                state->last.message.empty() ? "" : ", ", state->last.message.c_str());
            std::error_code ec;
            fs::remove_all(state->folder, ec);
        },
    };
}

const vellicam::bench::Register kWithRecognition { PhotoToSheet(
    "photo to sheet 4000x3000, recognition on", true, 3.0) };
// The decoding itself plus at most one and a half decodings for the rest of the chain.
const vellicam::bench::Register kWithoutRecognition { PhotoToSheet(
    "photo to sheet 4000x3000, no recognition", false, 2.5) };

// Runs vellicam-cli batch and samples the memory of it and its workers every 10 ms; the peak of their sum. With
// `detectorDir` the detector is the one of that program folder (VELLICAM_DETECTOR_DIR).
long RunBatch(const std::vector<std::string>& words, const std::string& detectorDir = {})
{
    const std::string cli = ProgramFolder() + "/vellicam-cli";
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(cli.c_str()));
    std::vector<std::string> all { "batch" };
    all.insert(all.end(), words.begin(), words.end());
    for (std::string& w : all)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        if (!detectorDir.empty())
            setenv("VELLICAM_DETECTOR_DIR", detectorDir.c_str(), 1);
        execv(cli.c_str(), argv.data());
        _exit(127);
    }
    // The proportional share of each process's resident pages, so memory the workers share with the command
    // (the detector's models) is counted once.
    const auto rssOf = [](pid_t p) {
        std::ifstream rollup("/proc/" + std::to_string(p) + "/smaps_rollup");
        for (std::string line; std::getline(rollup, line);)
            if (line.rfind("Pss:", 0) == 0)
                return std::atol(line.c_str() + 4);
        return 0L;
    };
    long peak = 0;
    for (;;) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            break;
        long sum = rssOf(pid);
        if (DIR* proc = opendir("/proc")) {
            while (const dirent* entry = readdir(proc)) {
                const pid_t child = std::atoi(entry->d_name);
                if (child <= 0)
                    continue;
                std::ifstream stat("/proc/" + std::string(entry->d_name) + "/stat");
                std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
                const std::size_t close = text.rfind(')');
                if (close != std::string::npos && std::atoi(text.c_str() + close + 4) == pid)
                    sum += rssOf(child);
            }
            closedir(proc);
        }
        peak = std::max(peak, sum);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return peak;
}

struct Batch {
    std::string folder;
    long peakTwoJobsKb = 0;
    long peakWithoutMaskKb = 0; // the same batch with a detector folder that has no person model
};

const vellicam::bench::Register kBatchJobs { [] {
    auto state = std::make_shared<Batch>();
    return vellicam::bench::Pair {
        "batch --jobs 2, 20 photos 4000x3000",
        "batch --jobs 1, the same photos",
        1 / 1.8,
        [=] {
            state->folder = TempFolder("batch");
            if (MakePhotos(state->folder + "/in", kPhotos, 4000, 3000).empty())
                std::fprintf(stderr, "cannot make the batch's photos\n");
            const std::string big = state->folder + "/big";
            if (MakePhotos(big, 4, 6000, 4000).empty())
                std::fprintf(stderr, "cannot make the large photos\n");
            state->peakTwoJobsKb = RunBatch({ big, "--out", state->folder + "/big-out", "--jobs", "2" });
            const std::string bare = state->folder + "/no-mask";
            fs::create_directory(bare);
            std::error_code ec;
            for (const char* name : { "libfacedetect.so", "haarcascade_frontalface_default.xml", "ago.xml" })
                fs::create_symlink(ProgramFolder() + "/" + name, bare + "/" + name, ec);
            state->peakWithoutMaskKb
                = RunBatch({ big, "--out", state->folder + "/big-out-bare", "--jobs", "2" }, bare);
        },
        [=] { (void)RunBatch({ state->folder + "/in", "--out", state->folder + "/two", "--jobs", "2" }); },
        [=] { (void)RunBatch({ state->folder + "/in", "--out", state->folder + "/one", "--jobs", "1" }); },
        [=] {
            std::printf("  peak resident memory (proportional set) of batch --jobs 2 on 6000x4000 photos: %ld MB (target below "
                        "700 MB)\n",
                state->peakTwoJobsKb / 1024);
            std::printf("  the same without the person model: %ld MB (the mask's share: %+.1f %%, target within 10 %%)\n",
                state->peakWithoutMaskKb / 1024,
                state->peakWithoutMaskKb > 0
                    ? 100.0 * (state->peakTwoJobsKb - state->peakWithoutMaskKb) / state->peakWithoutMaskKb
                    : 0.0);
            std::error_code ec;
            fs::remove_all(state->folder, ec);
        },
    };
}() };

} // namespace
