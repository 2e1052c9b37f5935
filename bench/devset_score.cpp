// vellicam_bench --devset [FOLDER]: runs `vellicam-cli detect` (the one beside this program) on every photo of the
// development set (tests/data/devset unless FOLDER is given) and scores its frames against the annotations: a
// frame is right when its head top and chin lie within 10 % of the annotated head height and its centre within 5 %
// of its width; a photo with no person is right when it is not recognised. Prints one line per photo, "N of M
// right", and the wall time of each detect (a cold start: a new process that loads the detector and its models).
// Each photo is scored twice, with the person mask and without it (the same library from a folder without the
// model), errors in % of the head height and of the frame's width; the sheets' first photos with a plain light-blue
// background go into devset_backgrounds.jpg in the current folder, to look at.
#include "devset_score.h"

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <opencv2/imgproc.hpp>
#include <unistd.h>

namespace vellicam::bench {

namespace {

namespace fs = std::filesystem;

struct Annotation {
    std::string file;
    bool person = false;
    int top = 0, chin = 0, centre = 0;
};

std::vector<Annotation> ReadAnnotations(const fs::path& file)
{
    std::vector<Annotation> out;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        Annotation a;
        std::string top, chin, centre;
        if (!(fields >> a.file >> top >> chin >> centre))
            continue;
        a.person = top != "-";
        if (a.person) {
            a.top = std::atoi(top.c_str());
            a.chin = std::atoi(chin.c_str());
            a.centre = std::atoi(centre.c_str());
        }
        out.push_back(a);
    }
    return out;
}

// The numbers after `"key": ` in the command's one-line JSON (one for a number, several for a list); empty when
// the key is missing or null.
std::vector<int> Numbers(const std::string& json, const std::string& key)
{
    const std::string tag = "\"" + key + "\": ";
    const std::size_t at = json.find(tag);
    std::vector<int> out;
    if (at == std::string::npos)
        return out;
    std::size_t i = at + tag.size();
    const bool list = i < json.size() && json[i] == '[';
    if (list)
        ++i;
    while (i < json.size()) {
        char* end = nullptr;
        const long v = std::strtol(json.c_str() + i, &end, 10);
        if (end == json.c_str() + i)
            break;
        out.push_back(static_cast<int>(v));
        i = static_cast<std::size_t>(end - json.c_str());
        if (!list || i >= json.size() || json[i] != ',')
            break;
        i += 2;
    }
    return out;
}

std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (const char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// One detect over a photo: its JSON (empty when the command printed nothing) and its wall time.
std::string Detect(const fs::path& cli, const fs::path& photo, const std::string& detectorDir, double& seconds)
{
    std::string command = Quote(cli.string()) + " detect " + Quote(photo.string()) + " 2>/dev/null";
    if (!detectorDir.empty())
        command = "VELLICAM_DETECTOR_DIR=" + Quote(detectorDir) + " " + command;
    const auto start = std::chrono::steady_clock::now();
    std::string json;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        while (std::fgets(buffer, sizeof buffer, pipe))
            json += buffer;
        pclose(pipe);
    }
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return json;
}

// The errors of one framed portrait: head top and chin in % of the annotated head height, the frame's centre in %
// of its width.
struct Errors {
    double top = 0, chin = 0, centre = 0;
};

struct Tally {
    int right = 0;
    std::vector<Errors> errors;
    void Print(const char* name, std::size_t photos) const
    {
        Errors mean, worst;
        for (const Errors& e : errors) {
            mean.top += std::abs(e.top) / errors.size();
            mean.chin += std::abs(e.chin) / errors.size();
            mean.centre += std::abs(e.centre) / errors.size();
            worst.top = std::max(worst.top, std::abs(e.top));
            worst.chin = std::max(worst.chin, std::abs(e.chin));
            worst.centre = std::max(worst.centre, std::abs(e.centre));
        }
        std::printf("%-16s %d of %zu right; head top mean %.1f %% worst %.1f %%, chin mean %.1f %% worst %.1f %% (of the "
                    "head height); centre mean %.1f %% worst %.1f %% (of the frame width)\n",
            name, right, photos, mean.top, worst.top, mean.chin, worst.chin, mean.centre, worst.centre);
    }
};

} // namespace

int RunDevsetScore(const std::string& folderArgument)
{
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    const fs::path cli = self.parent_path() / "vellicam-cli";
    const fs::path folder
        = folderArgument.empty() ? fs::path(VELLICAM_SOURCE_DIR) / "tests/data/devset" : fs::path(folderArgument);
    const std::vector<Annotation> annotations = ReadAnnotations(folder / "annotations.tsv");
    if (annotations.empty()) {
        std::fprintf(stderr, "no annotations in %s\n", (folder / "annotations.tsv").c_str());
        return 2;
    }
    if (!fs::exists(cli, ec)) {
        std::fprintf(stderr, "no %s: build the vellicam-cli target\n", cli.c_str());
        return 2;
    }
    // "Without the mask": the same library and cascades from a folder that has no person model.
    const bool model = fs::exists(self.parent_path() / "person_segmentation.onnx", ec);
    const fs::path bare = fs::temp_directory_path(ec) / ("vellicam-devset-" + std::to_string(getpid()));
    fs::create_directories(bare, ec);
    for (const char* name : { "libfacedetect.so", "haarcascade_frontalface_default.xml", "ago.xml" })
        fs::create_symlink(self.parent_path() / name, bare / name, ec);

    Tally with, without;
    std::vector<double> times;
    std::vector<cv::Mat> cells; // the first photo of each portrait's sheet with a plain background
    std::printf("%-32s %4s %7s %7s %7s  %4s %7s %7s %7s  %s\n", "photo", "ok", "top %", "chin %", "ctr %", "ok",
        "top %", "chin %", "ctr %", "(with the mask | without; frame − annotation)");
    for (const Annotation& a : annotations) {
        const fs::path photo = folder / a.file;
        std::string line;
        std::string sheetFrame;
        for (Tally* tally : { &with, &without }) {
            double seconds = 0;
            const std::string json = Detect(cli, photo, tally == &with ? std::string() : bare.string(), seconds);
            if (tally == &with)
                times.push_back(seconds);
            const std::vector<int> result = Numbers(json, "result");
            const bool recognised = !result.empty() && result[0] == 0;
            char text[128];
            bool ok = false;
            if (!a.person) {
                ok = !recognised;
                std::snprintf(text, sizeof text, "%4s %23s  ", ok ? "yes" : "NO", recognised ? "a frame" : "none");
            } else {
                const cv::Mat full = cv::imread(photo.string(), cv::IMREAD_GRAYSCALE);
                const std::vector<int> image = Numbers(json, "image");
                const std::vector<int> frame = Numbers(json, "frame");
                const std::vector<int> top = Numbers(json, "head_top");
                const std::vector<int> chin = Numbers(json, "chin_line");
                if (!recognised || full.empty() || image.size() != 2 || frame.size() != 4 || top.empty()
                    || chin.empty()) {
                    std::snprintf(text, sizeof text, "%4s %23s  ", "NO", "not recognised");
                } else {
                    const int dx = (image[0] - full.cols) / 2, dy = (image[1] - full.rows) / 2;
                    const double head = a.chin - a.top, width = frame[2] - frame[0];
                    const Errors e { 100.0 * (top[0] - dy - a.top) / head, 100.0 * (chin[0] - dy - a.chin) / head,
                        100.0 * ((frame[0] + frame[2]) / 2 - dx - a.centre) / width };
                    ok = std::abs(e.top) <= 10 && std::abs(e.chin) <= 10 && std::abs(e.centre) <= 5;
                    tally->errors.push_back(e);
                    std::snprintf(text, sizeof text, "%4s %+7.1f %+7.1f %+7.1f  ", ok ? "yes" : "NO", e.top, e.chin,
                        e.centre);
                    if (tally == &with) {
                        const std::vector<int> placed = Numbers(json, "sheet_frame");
                        if (placed.size() == 4)
                            sheetFrame = std::to_string(placed[0]) + "," + std::to_string(placed[1]) + ","
                                + std::to_string(placed[2]) + "," + std::to_string(placed[3]);
                    }
                }
            }
            tally->right += ok ? 1 : 0;
            line += text;
        }
        std::printf("%-32s %s\n", a.file.c_str(), line.c_str());
        std::fflush(stdout);
        if (model && !sheetFrame.empty()) {
            const fs::path sheet = bare / "sheet.png";
            fs::remove(sheet, ec); // a PNG carries no sheet mark, so the next sheet would not replace it
            const std::string command = Quote(cli.string()) + " sheet " + Quote(photo.string()) + " "
                + Quote(sheet.string()) + " --frame " + sheetFrame + " --background blue >/dev/null 2>&1";
            if (std::system(command.c_str()) == 0) {
                const cv::Mat made = cv::imread(sheet.string());
                // The first photo of the default sheet: columns 112..489, rows 118..613.
                if (made.cols >= 490 && made.rows >= 614) {
                    cv::Mat cell;
                    cv::resize(made(cv::Rect(112, 118, 378, 496)), cell, cv::Size(189, 248), 0, 0, cv::INTER_AREA);
                    cells.push_back(cell);
                }
            }
        }
    }
    std::sort(times.begin(), times.end());
    with.Print(model ? "with the mask:" : "(no model)", annotations.size());
    without.Print("without it:", annotations.size());
    std::printf("vellicam-cli detect, cold start each: fastest %.0f ms, median %.0f ms, slowest %.0f ms\n",
        times.front() * 1e3, times[times.size() / 2] * 1e3, times.back() * 1e3);
    if (!cells.empty()) {
        // Eight to a row, on white.
        const int columns = 8, rows = static_cast<int>((cells.size() + columns - 1) / columns);
        cv::Mat contact(rows * 256, columns * 197, CV_8UC3, cv::Scalar(255, 255, 255));
        for (std::size_t i = 0; i < cells.size(); ++i)
            cells[i].copyTo(contact(cv::Rect(static_cast<int>(i % columns) * 197 + 4,
                static_cast<int>(i / columns) * 256 + 4, cells[i].cols, cells[i].rows)));
        const fs::path out = fs::current_path(ec) / "devset_backgrounds.jpg";
        if (cv::imwrite(out.string(), contact))
            std::printf("the replaced backgrounds, one photo of each sheet: %s\n", out.c_str());
    }
    fs::remove_all(bare, ec);
    return with.right == static_cast<int>(annotations.size()) ? 0 : 1;
}

} // namespace vellicam::bench
