// A stand-in for libfacedetect.so whose answers a test writes down beforehand, so every branch of recognition can
// be driven without a real detector, and which records what it was asked.
//
// VELLICAM_STANDIN_SCRIPT names a text file with one line per facedetect call, in call order (blank lines and
// lines starting with '#' are skipped):
//     <status> [<left> <top> <right> <bottom>]... [| <points>...]
//                                                   the status to return and the detections to report, then (for
//                                                   the landmarks variant) per detection in order either six
//                                                   numbers (chin x, y, left eye x, y, right eye x, y) or "-" for
//                                                   a detection without landmarks; six numbers may be followed by
//                                                   "eyes <left> <right>", the eyes' opening per thousand
//                                                   (getEyeOpenness; none when left out)
//     throw                                         facedetect throws std::runtime_error at its caller
//     stop                                          the process stops itself (SIGSTOP), as a hung detector would
// Calls beyond the script return 0 with no detections; so do all calls when the variable is unset.
//
// VELLICAM_STANDIN_LOG names a file that receives one tab-separated line per call:
//     setMinSize <minWidth> <minHeight>
//     facedetect <imageFile> <flag> <cascadeFile> <pass> <precision> <minWidth> <minHeight> <current directory>
// The call number (which script line answers) is the number of facedetect lines already in the log, so the
// script runs on across unloading and reloading the library; without a log it is counted in memory.
//
// VELLICAM_STANDIN_KEEP names a folder where the image file of facedetect call n (from 0) is copied as
// call<n> with the file's own extension, so a test can look at what the program handed over even after it was
// overwritten.
//
// Built with STANDIN_WITHOUT_SETMINSIZE, STANDIN_WITHOUT_GETRECT or STANDIN_WITHOUT_FACEDETECT, that function is
// left out, for the loader's failure paths. Built with STANDIN_WITH_LANDMARKS it also has the optional
// getFacePoints (answering from the script) and detectorKind (VELLICAM_STANDIN_KIND, 1 unless set; "throw" makes
// it throw), for the library that confirms faces.
#include <array>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

int g_minWidth = 0;
int g_minHeight = 0;
int g_callsWithoutLog = 0;
std::vector<std::array<int, 4>> g_rects;
std::vector<std::optional<std::array<int, 6>>> g_points;
std::vector<std::optional<std::array<int, 2>>> g_openness;

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

void Log(const std::string& line)
{
    const std::string path = Env("VELLICAM_STANDIN_LOG");
    if (path.empty())
        return;
    std::ofstream out(path, std::ios::app);
    out << line << '\n';
}

[[maybe_unused]] int CallNumber()
{
    const std::string path = Env("VELLICAM_STANDIN_LOG");
    if (path.empty())
        return g_callsWithoutLog++;
    std::ifstream in(path);
    int n = 0;
    for (std::string line; std::getline(in, line);)
        if (line.rfind("facedetect\t", 0) == 0)
            ++n;
    return n;
}

// The script line for call n, or empty when the script is shorter.
[[maybe_unused]] std::string ScriptLine(int n)
{
    const std::string path = Env("VELLICAM_STANDIN_SCRIPT");
    if (path.empty())
        return {};
    std::ifstream in(path);
    int i = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#')
            continue;
        if (i++ == n)
            return line;
    }
    return {};
}

} // namespace

#ifndef STANDIN_WITHOUT_SETMINSIZE
STANDIN_EXPORT void setMinSize(int minWidth, int minHeight)
{
    g_minWidth = minWidth;
    g_minHeight = minHeight;
    Log("setMinSize\t" + std::to_string(minWidth) + "\t" + std::to_string(minHeight));
}
#endif

#ifndef STANDIN_WITHOUT_FACEDETECT
STANDIN_EXPORT int facedetect(const char* imageFile, int flag, const char* cascadeFile, int pass, int precision)
{
    g_rects.clear();
    g_points.clear();
    g_openness.clear();
    const int call = CallNumber();
    std::error_code ec;
    const std::string image = imageFile ? imageFile : "(null)";
    Log("facedetect\t" + image + "\t" + std::to_string(flag) + "\t" + (cascadeFile ? cascadeFile : "(null)") + "\t"
        + std::to_string(pass) + "\t" + std::to_string(precision) + "\t" + std::to_string(g_minWidth) + "\t"
        + std::to_string(g_minHeight) + "\t" + std::filesystem::current_path(ec).string());
    if (const std::string keep = Env("VELLICAM_STANDIN_KEEP"); !keep.empty() && imageFile)
        std::filesystem::copy_file(imageFile,
            std::filesystem::path(keep)
                / ("call" + std::to_string(call) + std::filesystem::path(imageFile).extension().string()),
            std::filesystem::copy_options::overwrite_existing, ec);

    const std::string line = ScriptLine(call);
    if (line.rfind("throw", 0) == 0)
        throw std::runtime_error("stand-in detector told to throw");
    if (line.rfind("stop", 0) == 0)
        std::raise(SIGSTOP);
    const std::size_t bar = line.find('|');
    std::istringstream in(line.substr(0, bar));
    int status = 0;
    in >> status;
    for (std::array<int, 4> r; in >> r[0] >> r[1] >> r[2] >> r[3];)
        g_rects.push_back(r);
    g_points.clear();
    if (bar != std::string::npos) {
        std::istringstream points(line.substr(bar + 1));
        for (std::string first; points >> first;) {
            if (first == "eyes") {
                std::array<int, 2> o {};
                points >> o[0] >> o[1];
                g_openness.resize(g_points.size());
                if (!g_openness.empty())
                    g_openness.back() = o;
                continue;
            }
            if (first == "-") {
                g_points.emplace_back();
                continue;
            }
            std::array<int, 6> p {};
            p[0] = std::stoi(first);
            for (int i = 1; i < 6; ++i)
                points >> p[i];
            g_points.emplace_back(p);
        }
    }
    return status;
}
#endif

#ifndef STANDIN_WITHOUT_GETRECT
// Answers as the real library does: a count for what = -1, 0 for a missing detection, -1 for another what.
STANDIN_EXPORT int getRect(int what, int index)
{
    if (what == -1)
        return static_cast<int>(g_rects.size());
    if (what < 0 || what > 3)
        return -1;
    if (index < 0 || static_cast<size_t>(index) >= g_rects.size())
        return 0;
    return g_rects[index][what];
}
#endif

#ifdef STANDIN_WITH_LANDMARKS
STANDIN_EXPORT int getFacePoints(int index, int* points)
{
    if (!points)
        return -1;
    if (index < 0 || static_cast<size_t>(index) >= g_rects.size() || static_cast<size_t>(index) >= g_points.size()
        || !g_points[index])
        return 0;
    for (int i = 0; i < 6; ++i)
        points[i] = (*g_points[index])[i];
    return 1;
}

STANDIN_EXPORT int getEyeOpenness(int index, int* openness)
{
    if (!openness)
        return -1;
    if (index < 0 || static_cast<size_t>(index) >= g_rects.size() || static_cast<size_t>(index) >= g_openness.size()
        || !g_openness[index])
        return 0;
    openness[0] = (*g_openness[index])[0];
    openness[1] = (*g_openness[index])[1];
    return 1;
}

STANDIN_EXPORT int detectorKind()
{
    const std::string kind = Env("VELLICAM_STANDIN_KIND");
    if (kind == "throw")
        throw std::runtime_error("stand-in detector told to throw");
    return kind.empty() ? 1 : std::stoi(kind);
}
#endif
