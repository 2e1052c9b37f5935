// Photos from file to saved sheet through the session's unattended step (open, square, recognition without the
// window's pause, frame, cut, reductions, sharpening, compose, encode, atomic save), with and without recognition,
// beside decoding the same JPEGs, with the time of each stage beside the decoding; two workers side by side beside
// one, stage by stage; and vellicam-cli batch on two jobs beside one job over the same 20 photos, with the peak
// resident memory of a two-job batch on 6000 × 4000 photos.
#include "bench_pairs.h"
#include "core/stage_times.h"
#include "image/image_io.h"
#include "recognition/face_detector.h"
#include "session/batch_run.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <signal.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kPhotos = 20;

// `source` enlarged to `height` rows and fitted to `width` columns (its edges repeated, or its sides cut), so the
// face stays in the middle where a camera's portrait has it.
cv::Mat Enlarged(const std::string& source, int width, int height)
{
    const cv::Mat photo = cv::imread(source, cv::IMREAD_COLOR);
    if (photo.empty())
        return photo;
    cv::Mat tall;
    cv::resize(photo, tall, cv::Size(photo.cols * height / photo.rows, height), 0, 0, cv::INTER_CUBIC);
    if (tall.cols >= width)
        return tall(cv::Rect((tall.cols - width) / 2, 0, width, height)).clone();
    const int side = (width - tall.cols) / 2;
    cv::Mat wide;
    cv::copyMakeBorder(tall, wide, 0, 0, side, width - tall.cols - side, cv::BORDER_REPLICATE);
    return wide;
}

// A real portrait enlarged to width × height (Enlarged), each file a shade brighter than the one before.
std::vector<std::string> MakePhotos(const std::string& folder, int count, int width, int height)
{
    std::vector<std::string> paths;
    const cv::Mat wide = Enlarged(
        std::string(VELLICAM_SOURCE_DIR) + "/tests/data/photos/portrait_plain_wall_900x1200.jpg", width, height);
    if (wide.empty())
        return paths;
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

// The development set's portraits (every `step`-th of them) enlarged to 4000 × 3000, as a camera saves them.
std::vector<std::string> MakeDevsetPhotos(const std::string& folder, int step)
{
    std::vector<std::string> sources;
    const fs::path devset = fs::path(VELLICAM_SOURCE_DIR) / "tests/data/devset";
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(devset, ec))
        if (entry.path().extension() == ".jpg" && entry.path().filename().string().rfind("p", 0) == 0)
            sources.push_back(entry.path().string());
    std::sort(sources.begin(), sources.end());
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < sources.size(); i += static_cast<std::size_t>(step)) {
        const cv::Mat photo = Enlarged(sources[i], 4000, 3000);
        const std::string path = folder + "/" + fs::path(sources[i]).filename().string();
        if (photo.empty() || !cv::imwrite(path, photo, { cv::IMWRITE_JPEG_QUALITY, 92 }))
            return {};
        paths.push_back(path);
    }
    return paths;
}

// One line per stage: its milliseconds per photo and their share of the reference's.
void PrintStages(const vellicam::StageTimes& stages, int photos, double referenceMs, const char* reference)
{
    double total = 0;
    for (std::size_t i = 0; i < vellicam::kStageCount; ++i) {
        const double ms = stages.ms[i] / photos;
        if (static_cast<vellicam::Stage>(i) != vellicam::Stage::Preview)
            total += ms;
        std::printf("    %-14s %8.2f ms  %5.2f x %s\n", vellicam::StageName(static_cast<vellicam::Stage>(i)), ms,
            ms / referenceMs, reference);
    }
    std::printf("    %-14s %8.2f ms  %5.2f x %s (the preview, on the other core, left out)\n", "stages in all", total,
        total / referenceMs, reference);
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

struct SomePhotos {
    std::string folder;
    std::vector<std::string> photos;
    vellicam::Settings settings;
    vellicam::StageTimes stages; // of the fastest run over the photos
    std::vector<std::pair<double, std::string>> recognitionMs; // each photo's recognition in that run
    double bestMs = 1e30;
    int saved = 0;
    std::string message; // why the last photo without a sheet got none
    double decodeMs = 0; // the best decoding of all the photos, in all
};

// Every photo of the development set's portraits (every third) from file to saved sheet, beside decoding them; each
// photo on both cores, as the window and the command line's one-photo commands work one (a batch's worker keeps to
// one: see the batch pair).
vellicam::bench::Pair PhotoToSheet(const char* name, bool recognise, double target)
{
    auto state = std::make_shared<SomePhotos>();
    return vellicam::bench::Pair {
        name,
        "JPEG decode of the same files",
        target,
        [=] {
            state->folder = TempFolder("photo");
            state->photos = MakeDevsetPhotos(state->folder, 3);
            state->settings.recogniseOnOpen = recognise;
            if (state->photos.empty())
                std::fprintf(stderr, "cannot make the photos\n");
            (void)vellicam::QueryDetector(ProgramFolder()); // the detector's cold start is not the photo's
            vellicam::KeepPixelMemoryForReuse(std::size_t { 384 } << 20); // as a batch's worker keeps it
        },
        [=] {
            vellicam::StageTimes stages;
            std::vector<std::pair<double, std::string>> recognitionMs;
            state->saved = 0;
            const auto start = std::chrono::steady_clock::now();
            for (const std::string& photo : state->photos) {
                const vellicam::PhotoWork work
                    = vellicam::WorkPhotoUnattended(photo, state->settings, ProgramFolder(), {}, false, 2);
                stages += work.stages;
                recognitionMs.emplace_back(work.stages.ms[static_cast<std::size_t>(vellicam::Stage::Recognition)],
                    fs::path(photo).filename().string());
                state->saved += work.result == vellicam::PhotoWork::Saved ? 1 : 0;
                if (work.result != vellicam::PhotoWork::Saved)
                    state->message = work.message;
            }
            const double ms
                = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            if (ms < state->bestMs) {
                state->bestMs = ms;
                state->stages = stages;
                state->recognitionMs = std::move(recognitionMs);
            }
        },
        [=] {
            const auto start = std::chrono::steady_clock::now();
            for (const std::string& photo : state->photos) {
                vellicam::Bitmap decoded;
                (void)vellicam::LoadJpeg(photo, decoded);
            }
            const double ms
                = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            state->decodeMs = state->decodeMs > 0 ? std::min(state->decodeMs, ms) : ms;
        },
        [=] {
            const int n = static_cast<int>(state->photos.size());
            std::printf(
                "  %d of %d photos got a sheet%s%s; the fastest run per photo, against its decoding (%.1f ms):\n",
                state->saved, n, state->message.empty() ? "" : "; the last without one: ", state->message.c_str(),
                state->decodeMs / std::max(1, n));
            PrintStages(state->stages, std::max(1, n), state->decodeMs / std::max(1, n), "decode");
            if (!state->recognitionMs.empty() && state->recognitionMs.front().first > 0) {
                auto& each = state->recognitionMs;
                std::sort(each.begin(), each.end());
                std::printf("    recognition per photo: fastest %.1f ms, median %.1f ms, slowest %.1f ms (%s)\n",
                    each.front().first, each[each.size() / 2].first, each.back().first, each.back().second.c_str());
            }
            std::error_code ec;
            fs::remove_all(state->folder, ec);
            vellicam::KeepPixelMemoryForReuse(0);
        },
    };
}

const vellicam::bench::Register kWithRecognition { PhotoToSheet(
    "photos to sheets 4000x3000 (devset), recognition on", true, 3.0) };
// The decoding itself plus at most one and a half decodings for the rest of the chain.
const vellicam::bench::Register kWithoutRecognition { PhotoToSheet(
    "photos to sheets 4000x3000 (devset), no recognition", false, 2.5) };

// What a worker process sends back: its stage times and what the system counted for it.
struct WorkerRecord {
    vellicam::StageTimes stages;
    double cpuMs = 0;
    long minorFaults = 0;
    int photos = 0;
};

// Works photos[first], photos[first + step], ... in a forked process, as a batch's worker does; its record.
pid_t StartWorker(const std::vector<std::string>& photos, std::size_t first, std::size_t step,
    const vellicam::Settings& settings, int& readEnd)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        vellicam::KeepPixelMemoryForReuse(std::size_t { 384 } << 20); // as a batch's worker keeps it
        WorkerRecord record;
        for (std::size_t i = first; i < photos.size(); i += step) {
            record.stages += vellicam::WorkPhotoUnattended(photos[i], settings, ProgramFolder()).stages;
            ++record.photos;
        }
        rusage usage {};
        getrusage(RUSAGE_SELF, &usage);
        record.cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
            + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
        record.minorFaults = usage.ru_minflt;
        const bool sent = write(fds[1], &record, sizeof record) == static_cast<ssize_t>(sizeof record);
        _exit(sent ? 0 : 1);
    }
    close(fds[1]);
    readEnd = fds[0];
    return pid;
}

// `workers` processes side by side over the photos; their records summed.
WorkerRecord RunWorkers(const std::vector<std::string>& photos, const vellicam::Settings& settings, int workers)
{
    std::vector<std::pair<pid_t, int>> started;
    for (int w = 0; w < workers; ++w) {
        int readEnd = -1;
        const pid_t pid
            = StartWorker(photos, static_cast<std::size_t>(w), static_cast<std::size_t>(workers), settings, readEnd);
        if (pid > 0)
            started.emplace_back(pid, readEnd);
    }
    WorkerRecord all;
    for (const auto& [pid, readEnd] : started) {
        WorkerRecord one;
        if (read(readEnd, &one, sizeof one) == static_cast<ssize_t>(sizeof one)) {
            all.stages += one.stages;
            all.cpuMs += one.cpuMs;
            all.minorFaults += one.minorFaults;
            all.photos += one.photos;
        }
        close(readEnd);
        int status = 0;
        waitpid(pid, &status, 0);
    }
    return all;
}

struct SideBySide {
    SomePhotos photos;
    WorkerRecord two, one;
};

// Two worker processes side by side beside one over the same photos: where the second core's time goes, stage by
// stage (a stage that takes longer per photo in two workers than in one is fighting the other for something).
const vellicam::bench::Register kWorkersSideBySide { [] {
    auto state = std::make_shared<SideBySide>();
    return vellicam::bench::Pair {
        "two workers side by side, 20 photos 4000x3000 (devset)",
        "one worker, the same photos",
        1 / 1.8,
        [=] {
            state->photos.folder = TempFolder("workers");
            const std::vector<std::string> some = MakeDevsetPhotos(state->photos.folder, 2);
            for (int i = 0; i < kPhotos && !some.empty(); ++i)
                state->photos.photos.push_back(some[static_cast<std::size_t>(i) % some.size()]);
            // The batch's workers: the detector read before they start, one thread each.
            setenv("OPENCV_FOR_THREADS_NUM", "1", 0);
            (void)vellicam::QueryDetector(ProgramFolder());
        },
        [=] { state->two = RunWorkers(state->photos.photos, state->photos.settings, 2); },
        [=] { state->one = RunWorkers(state->photos.photos, state->photos.settings, 1); },
        [=] {
            const auto line = [](const char* what, double one, double two) {
                std::printf("    %-14s %8.2f %8.2f  %5.2f\n", what, one, two, one > 0 ? two / one : 0.0);
            };
            const double n1 = std::max(1, state->one.photos), n2 = std::max(1, state->two.photos);
            std::printf("  per photo, ms: %-10s %8s %8s  %5s\n", "stage", "one", "two", "two/one");
            for (std::size_t i = 0; i < vellicam::kStageCount; ++i)
                line(vellicam::StageName(static_cast<vellicam::Stage>(i)), state->one.stages.ms[i] / n1,
                    state->two.stages.ms[i] / n2);
            line("CPU (process)", state->one.cpuMs / n1, state->two.cpuMs / n2);
            line("minor faults", state->one.minorFaults / n1, state->two.minorFaults / n2);
            std::error_code ec;
            fs::remove_all(state->photos.folder, ec);
        },
    };
}() };

enum class Sampling { None, Memory };

// Runs vellicam-cli batch; with Sampling::Memory samples the memory of it and its workers every 10 ms and returns
// the peak of their sum (0 otherwise). The sampling reads every process's stat file and costs a good share of a
// core, which a two-job run would lose to it: timed runs go without. With `detectorDir` the detector is the one of
// that program folder (VELLICAM_DETECTOR_DIR).
long RunBatch(const std::vector<std::string>& words, Sampling sampling, const std::string& detectorDir = {})
{
    const std::string cli = ProgramFolder() + "/vellicam-cli";
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(cli.c_str()));
    std::vector<std::string> all { "batch" };
    all.insert(all.end(), words.begin(), words.end());
    for (std::string& w : all)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    std::fflush(nullptr); // the child's reopened streams would print what is buffered a second time
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
    if (sampling == Sampling::None) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
        return 0;
    }
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
            state->peakTwoJobsKb
                = RunBatch({ big, "--out", state->folder + "/big-out", "--jobs", "2" }, Sampling::Memory);
            const std::string bare = state->folder + "/no-mask";
            fs::create_directory(bare);
            std::error_code ec;
            for (const char* name : { "libfacedetect.so", "haarcascade_frontalface_default.xml", "ago.xml" })
                fs::create_symlink(ProgramFolder() + "/" + name, bare + "/" + name, ec);
            state->peakWithoutMaskKb
                = RunBatch({ big, "--out", state->folder + "/big-out-bare", "--jobs", "2" }, Sampling::Memory, bare);
        },
        [=] {
            (void)RunBatch({ state->folder + "/in", "--out", state->folder + "/two", "--jobs", "2" }, Sampling::None);
        },
        [=] {
            (void)RunBatch({ state->folder + "/in", "--out", state->folder + "/one", "--jobs", "1" }, Sampling::None);
        },
        [=] {
            std::printf(
                "  peak resident memory (proportional set) of batch --jobs 2 on 6000x4000 photos: %ld MB (target below "
                "700 MB)\n",
                state->peakTwoJobsKb / 1024);
            std::printf(
                "  the same without the person model: %ld MB (the mask's share: %+.1f %%, target within 10 %%)\n",
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
