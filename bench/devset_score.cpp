// vellicam_bench --devset [FOLDER]: runs `vellicam-cli detect` (the one beside this program) on every photo of the
// development set (tests/data/devset unless FOLDER is given) and scores its frames against the annotations: a
// frame is right when its head top and chin lie within 10 % of the annotated head height and its centre within 5 %
// of its width; a photo with no person is right when it is not recognised. Prints one line per photo, "N of M
// right", and the wall time of each detect (a cold start: a new process that loads the detector and its models).
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

    int right = 0;
    std::vector<double> times;
    std::printf(
        "%-32s %5s %6s %6s %6s  %s\n", "photo", "ok", "top", "chin", "centre", "(frame − annotation; tolerance)");
    for (const Annotation& a : annotations) {
        const fs::path photo = folder / a.file;
        const std::string command = Quote(cli.string()) + " detect " + Quote(photo.string()) + " 2>/dev/null";
        const auto start = std::chrono::steady_clock::now();
        std::string json;
        if (FILE* pipe = popen(command.c_str(), "r")) {
            char buffer[4096];
            while (std::fgets(buffer, sizeof buffer, pipe))
                json += buffer;
            pclose(pipe);
        }
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());

        const std::vector<int> result = Numbers(json, "result");
        const bool recognised = !result.empty() && result[0] == 0;
        bool ok = false;
        std::string detail;
        if (!a.person) {
            ok = !recognised;
            detail = recognised ? "a frame was proposed" : "not recognised";
            std::printf("%-32s %5s %6s %6s %6s  %s\n", a.file.c_str(), ok ? "yes" : "NO", "", "", "", detail.c_str());
        } else if (!recognised) {
            std::printf("%-32s %5s %6s %6s %6s  %s\n", a.file.c_str(), "NO", "", "", "", "not recognised");
        } else {
            // The square's coordinates back to the photo's: the photo lies centred on its longer side's square.
            const cv::Mat full = cv::imread(photo.string(), cv::IMREAD_GRAYSCALE);
            const std::vector<int> image = Numbers(json, "image");
            const std::vector<int> frame = Numbers(json, "frame");
            const std::vector<int> top = Numbers(json, "head_top");
            const std::vector<int> chin = Numbers(json, "chin_line");
            if (full.empty() || image.size() != 2 || frame.size() != 4 || top.empty() || chin.empty()) {
                std::printf("%-32s %5s  unreadable answer: %s\n", a.file.c_str(), "NO", json.c_str());
            } else {
                const int dx = (image[0] - full.cols) / 2, dy = (image[1] - full.rows) / 2;
                const int head = a.chin - a.top;
                const int width = frame[2] - frame[0];
                const int topError = top[0] - dy - a.top;
                const int chinError = chin[0] - dy - a.chin;
                const int centreError = (frame[0] + frame[2]) / 2 - dx - a.centre;
                ok = std::abs(topError) * 10 <= head && std::abs(chinError) * 10 <= head
                    && std::abs(centreError) * 20 <= width;
                std::printf("%-32s %5s %+6d %+6d %+6d  (±%d, ±%d)\n", a.file.c_str(), ok ? "yes" : "NO", topError,
                    chinError, centreError, head / 10, width / 20);
            }
        }
        right += ok ? 1 : 0;
        std::fflush(stdout);
    }
    std::sort(times.begin(), times.end());
    std::printf("%d of %zu right\n", right, annotations.size());
    std::printf("vellicam-cli detect, cold start each: fastest %.0f ms, median %.0f ms, slowest %.0f ms\n",
        times.front() * 1e3, times[times.size() / 2] * 1e3, times.back() * 1e3);
    return right == static_cast<int>(annotations.size()) ? 0 : 1;
}

} // namespace vellicam::bench
