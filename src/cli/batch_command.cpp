#include "batch_command.h"

#include "cli_layout.h"
#include "cli_support.h"

#include "image/folder_scan.h"
#include "recognition/detector_files.h"
#include "recognition/face_detector.h"
#include "session/batch_run.h"
#include "sheet/output_path.h"
#include "sheet/recognition_log.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>
#include <cerrno>
#include <poll.h>
#include <sys/stat.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vellicam::cli {

const char kBatchHelp[] = R"(Usage: vellicam-cli batch INPUT... [options]

Works photos from file to saved sheet as an unattended run of the window does: open (turned upright by
the photo's orientation tag), recognise, frame, cut, compose and save, with the window's output names and
error log. INPUT is a photo or a folder (its JPEG files, one level deep); a photo named twice is worked
once. Photos are worked in parallel; the sheets are the same bytes whatever the number of jobs, and the
log's lines keep the photos' order. A sheet replaces nothing but an earlier sheet: a name held by another
file or by another photo of the run gives the sheet the next free name (NAME_sheet.jpeg, NAME_sheet_2.jpeg).

Options:
  --out DIR                 save the sheets and the error log in DIR (default: beside each photo)
  --jobs N                  photos worked at once (default: the number of cores)
  --keep-existing           pass over a photo whose sheet exists
  --skip-unrecognised       pass over a photo recognition cannot frame (otherwise: the centred frame)
  --report FILE             one row per photo: .csv for CSV, anything else JSON lines (a new file or an
                            earlier report; never a photo of the run or another file)
  --no-recognition          frame every photo with the centred minimum frame
  --size ID                 the photo size (default resume; 'vellicam-cli sheet --list-sizes' lists them)
  --paper ID                the paper: L (default), 2L or 4x6
  --quality Q               JPEG quality 0..100 (default 90)
  --no-sharpen --no-centre-marks --no-corner-marks --no-scale
  --no-chin                 do not look for the chin
  --straighten              turn a tilted head level (by its eye line) before framing it
  --no-head-top-correction  do not move the head top to where the background starts
  --whole-image             look for faces in the whole photo, not only its upper half
  --allow-oversize          accept a frame over 90 % of the photo
  --min-face PIXELS         smallest face (100..1000, default 200)
  --precision N             detection precision (1..10, default 3)
  --tolerance N             background colour range (0..100, default 50)
  --ratio PERCENT           background share for the head top (50..100, default 80)

Prints one line per photo on standard error (a progress line on a terminal) and a JSON summary on
standard output; its "detector" says which face detector was loaded ("verified", "cascade-only" or
"unavailable", as the window's settings say it; null without recognition). Exit status: 0 every photo got a sheet, 4 some were skipped or failed, 1 a file could
not be read or written, 2 bad arguments. Ctrl-C stops after the photos in hand.
)";

namespace {

constexpr const char kCsvHeader[] = "photo,result,frame,sheet,message,milliseconds\n";

std::atomic<bool> g_interrupted { false };

extern "C" void OnInterrupt(int)
{
    g_interrupted = true;
}

const char* ResultName(PhotoWork::Result result)
{
    switch (result) {
    case PhotoWork::Saved:
        return "saved";
    case PhotoWork::Skipped:
        return "skipped";
    case PhotoWork::Failed:
        return "failed";
    }
    return "failed";
}

// The detector kind as the summary names it (a JSON string).
std::string KindName(DetectorKind kind)
{
    switch (kind) {
    case DetectorKind::Verified:
        return "\"verified\"";
    case DetectorKind::CascadeOnly:
        return "\"cascade-only\"";
    case DetectorKind::Unavailable:
        break;
    }
    return "\"unavailable\"";
}

std::string CsvField(const std::string& text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string FrameText(const PhotoWork& work)
{
    if (work.frame.width < 1)
        return {};
    return std::to_string(work.frame.source.left) + "," + std::to_string(work.frame.source.top) + ","
        + std::to_string(work.frame.width) + "," + std::to_string(work.frame.height);
}

// The photos of the inputs, in order: a folder gives its JPEG files, a file is taken as it is. A file named twice
// (the same path, another spelling, a link, a file and its folder) is kept at its first place only; `run` holds
// them all afterwards.
std::vector<std::string> ExpandInputs(const std::vector<std::string>& inputs, SheetTargets& run)
{
    std::vector<std::string> photos;
    const auto take = [&](const std::string& photo) {
        if (run.addPhoto(photo))
            photos.push_back(photo);
    };
    for (const std::string& input : inputs) {
        std::error_code ec;
        if (std::filesystem::is_directory(input, ec)) {
            const FolderScan scan = ScanDroppedFolder(input);
            std::for_each(scan.files.begin(), scan.files.end(), take);
        } else {
            take(input);
        }
    }
    return photos;
}

// Every photo's sheet path, chosen before any worker starts: no sheet is written over a photo of the run or over a
// file that is not one of our sheets, and no two photos share a sheet (the later takes a numbered name).
std::vector<std::string> PlanSheetPaths(const std::vector<std::string>& photos, const Settings& settings, SheetTargets& run)
{
    PhotoSession where;
    (void)where.setSheetSize(settings);
    std::vector<std::string> sheets;
    sheets.reserve(photos.size());
    for (const std::string& photo : photos) {
        std::error_code ec;
        where.setPhotoFolder(std::filesystem::absolute(photo, ec).parent_path().string());
        sheets.push_back(where.sheetPathFor(settings, photo, &run));
        if (!sheets.back().empty())
            run.claim(sheets.back(), photo);
    }
    return sheets;
}

// True for what a report of ours starts with: the CSV header or a JSON row. An empty file counts too.
bool LooksLikeReport(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    char head[64] = {};
    in.read(head, sizeof head);
    const std::string start(head, static_cast<std::size_t>(in.gcount()));
    return start.empty() || start.rfind(kCsvHeader, 0) == 0 || start.rfind("{\"photo\": ", 0) == 0;
}

// Refuses a report that would replace one of the run's photos or sheets, or a file that is not a report.
void CheckReportPath(const std::string& path, const SheetTargets& run)
{
    if (run.taken(path))
        throw IoError { "the report '" + path + "' would replace a photo or a sheet of this run: name another file" };
    struct stat st { };
    if (::stat(path.c_str(), &st) != 0)
        return;
    if (!S_ISREG(st.st_mode) || !LooksLikeReport(path))
        throw IoError { "'" + path + "' exists and is not a report: name another file, or remove it first" };
}

Settings SettingsFromArguments(const Arguments& args)
{
    Settings s;
    s.recogniseOnOpen = !args.Flag("no-recognition");
    s.skipUnrecognised = args.Flag("skip-unrecognised");
    s.keepExisting = args.Flag("keep-existing");
    s.sharpen = !args.Flag("no-sharpen");
    s.centreMarks = !args.Flag("no-centre-marks");
    s.cornerMarks = !args.Flag("no-corner-marks");
    s.scale = !args.Flag("no-scale");
    s.detectChin = !args.Flag("no-chin");
    s.straightenAutomatically = args.Flag("straighten");
    s.correctHeadTop = !args.Flag("no-head-top-correction");
    s.upperHalfOnly = !args.Flag("whole-image");
    s.oversizeIsError = !args.Flag("allow-oversize");
    if (const auto v = args.Value("size"))
        s.photoSize = *v;
    if (const auto v = args.Value("paper"))
        s.paper = *v;
    (void)LayoutForIds(args.Value("size"), args.Value("paper")); // refuses an unknown id before any work
    if (const auto v = args.Value("quality"))
        s.jpegQuality = ParseInt(*v, "--quality", 0, 100);
    if (const auto v = args.Value("min-face"))
        s.minFaceSize = ParseInt(*v, "--min-face", 100, 1000);
    if (const auto v = args.Value("precision"))
        s.precision = ParseInt(*v, "--precision", 1, 10);
    if (const auto v = args.Value("tolerance"))
        s.colourTolerance = ParseInt(*v, "--tolerance", 0, 100);
    if (const auto v = args.Value("ratio"))
        s.backgroundRatio = ParseInt(*v, "--ratio", 50, 100);
    if (const auto v = args.Value("out")) {
        if (v->empty())
            throw UsageError { "--out needs a folder" };
        s.outputFolder = v->back() == '/' ? *v : *v + "/";
    }
    return s;
}

// One photo's outcome as a worker sends it: its length on a line, then length-prefixed fields.
void PutField(std::string& out, const std::string& field)
{
    out += std::to_string(field.size());
    out += ':';
    out += field;
}

std::string EncodeWork(std::size_t index, const PhotoWork& work)
{
    std::string body;
    PutField(body, std::to_string(index));
    PutField(body, std::to_string(static_cast<int>(work.result)));
    PutField(body, work.photo);
    PutField(body, work.sheetPath);
    PutField(body, work.message);
    PutField(body, std::to_string(work.frame.source.left) + " " + std::to_string(work.frame.source.top) + " "
            + std::to_string(work.frame.width) + " " + std::to_string(work.frame.height));
    PutField(body, std::to_string(work.angle));
    PutField(body, work.logPath);
    PutField(body, std::to_string(static_cast<long long>(work.milliseconds)));
    PutField(body, std::to_string(work.logLines.size()));
    for (const std::string& line : work.logLines)
        PutField(body, line);
    return std::to_string(body.size()) + "\n" + body;
}

bool TakeField(const std::string& body, std::size_t& at, std::string& field)
{
    const std::size_t colon = body.find(':', at);
    if (colon == std::string::npos)
        return false;
    const std::size_t size = std::stoul(body.substr(at, colon - at));
    if (colon + 1 + size > body.size())
        return false;
    field = body.substr(colon + 1, size);
    at = colon + 1 + size;
    return true;
}

// Takes one whole record from the front of `buffer`; false when none is complete yet.
bool DecodeWork(std::string& buffer, std::size_t& index, PhotoWork& work)
{
    const std::size_t newline = buffer.find('\n');
    if (newline == std::string::npos)
        return false;
    const std::size_t size = std::stoul(buffer.substr(0, newline));
    if (buffer.size() < newline + 1 + size)
        return false;
    const std::string body = buffer.substr(newline + 1, size);
    buffer.erase(0, newline + 1 + size);
    std::size_t at = 0;
    std::string f;
    TakeField(body, at, f);
    index = std::stoul(f);
    TakeField(body, at, f);
    work.result = static_cast<PhotoWork::Result>(std::stoi(f));
    TakeField(body, at, work.photo);
    TakeField(body, at, work.sheetPath);
    TakeField(body, at, work.message);
    TakeField(body, at, f);
    std::sscanf(f.c_str(), "%d %d %d %d", &work.frame.source.left, &work.frame.source.top, &work.frame.width,
        &work.frame.height);
    TakeField(body, at, f);
    work.angle = std::stoi(f);
    TakeField(body, at, work.logPath);
    TakeField(body, at, f);
    work.milliseconds = static_cast<double>(std::stoll(f));
    TakeField(body, at, f);
    const std::size_t lines = std::stoul(f);
    for (std::size_t k = 0; k < lines && TakeField(body, at, f); ++k)
        work.logLines.push_back(f);
    return true;
}

bool WriteAll(int fd, const std::string& data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

void WriteReportRow(std::ofstream& report, bool csv, const PhotoWork& work)
{
    if (!report.is_open())
        return;
    if (csv)
        report << CsvField(work.photo) << ',' << ResultName(work.result) << ',' << CsvField(FrameText(work)) << ','
               << CsvField(work.sheetPath) << ',' << CsvField(work.message) << ','
               << static_cast<long>(work.milliseconds) << '\n';
    else
        report << "{\"photo\": " << JsonString(work.photo) << ", \"result\": \"" << ResultName(work.result)
               << "\", \"frame\": " << JsonString(FrameText(work)) << ", \"sheet\": " << JsonString(work.sheetPath)
               << ", \"message\": " << JsonString(work.message)
               << ", \"milliseconds\": " << static_cast<long>(work.milliseconds) << "}\n";
}

} // namespace

std::string DetectorFolder()
{
    if (const char* dir = std::getenv("VELLICAM_DETECTOR_DIR"); dir && *dir)
        return dir;
    std::string reason;
    std::string folder = ProgramFolder(&reason);
    if (folder.empty())
        throw IoError { "cannot find the program's own folder: " + reason };
    return folder;
}

int RunBatch(const std::vector<std::string>& words)
{
    const Arguments args(words, { "out", "jobs", "report", "size", "paper", "quality", "min-face", "precision", "tolerance", "ratio" },
        { "keep-existing", "skip-unrecognised", "no-recognition", "no-sharpen", "no-centre-marks",
            "no-corner-marks", "no-scale", "no-chin", "straighten", "no-head-top-correction", "whole-image", "allow-oversize" });
    if (args.Positional().empty())
        throw UsageError { "name at least one photo or folder" };
    const Settings settings = SettingsFromArguments(args);
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const int jobs = args.Value("jobs") ? ParseInt(*args.Value("jobs"), "--jobs", 1, 256) : cores;
    const std::string folder = settings.recogniseOnOpen ? DetectorFolder() : std::string();

    SheetTargets run;
    const std::vector<std::string> photos = ExpandInputs(args.Positional(), run);
    const std::vector<std::string> sheets = PlanSheetPaths(photos, settings, run);
    const std::size_t total = photos.size();

    std::ofstream report;
    bool csv = false;
    if (const auto reportPath = args.Value("report")) {
        // Looked at before it is opened: opening truncates.
        CheckReportPath(*reportPath, run);
        csv = reportPath->size() >= 4 && reportPath->compare(reportPath->size() - 4, 4, ".csv") == 0;
        report.open(*reportPath, std::ios::trunc);
        if (!report)
            throw IoError { "cannot write '" + *reportPath + "'" };
        if (csv)
            report << kCsvHeader;
    }

    // The separator opens this run in every error log that exists already, as a sheet action does.
    {
        std::set<std::string> logs;
        for (const std::string& photo : photos) {
            std::error_code ec;
            PhotoSession where;
            where.setPhotoFolder(std::filesystem::absolute(photo, ec).parent_path().string());
            logs.insert(where.logPath(settings));
        }
        const std::string stamp = LogTimestampNow();
        for (const std::string& log : logs)
            (void)WriteLogSeparator(log, stamp);
    }

    g_interrupted = false;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    struct sigaction previousInt {}, previousTerm {};
    sigaction(SIGINT, &action, &previousInt);
    sigaction(SIGTERM, &action, &previousTerm);

    // The detector the preload found, for the summary: what the settings dialog would say.
    std::string detector = "null";
    // The detector library and its models are loaded once, here, before the workers are made: each worker starts
    // with them in memory (shared until written) instead of reading them again.
    if (settings.recogniseOnOpen && total > 0) {
        // Each worker has a core of its own: the detector's own thread pool would only make them wait for each
        // other. Set before the library starts it.
        if (jobs > 1)
            setenv("OPENCV_FOR_THREADS_NUM", "1", 0);
        detector = KindName(QueryDetectorKind(folder));
    }

    // Workers are processes: the detector library keeps its answers in globals, so two recognitions may not share
    // a process. Each worker takes the next photo from a counter they share and sends back what it came to; a
    // worker that dies takes only the photo in hand with it.
    auto* shared = static_cast<std::atomic<std::size_t>*>(
        mmap(nullptr, sizeof(std::atomic<std::size_t>), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    if (shared == MAP_FAILED)
        throw IoError { "cannot share the photo counter between workers" };
    new (shared) std::atomic<std::size_t>(0);
    std::fflush(nullptr);

    struct Worker {
        pid_t pid = -1;
        int fd = -1;
        std::string buffer;
        bool open = true;
    };
    std::vector<Worker> workers;
    const std::size_t wanted = std::min<std::size_t>(static_cast<std::size_t>(jobs), std::max<std::size_t>(total, 1));
    for (std::size_t w = 0; w < wanted && total > 0; ++w) {
        int fds[2];
        if (pipe(fds) != 0)
            break;
        const pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            for (;;) {
                if (g_interrupted)
                    _exit(0);
                const std::size_t i = shared->fetch_add(1);
                if (i >= total)
                    _exit(0);
                const std::string record = EncodeWork(i, WorkPhotoUnattended(photos[i], settings, folder, sheets[i]));
                if (!WriteAll(fds[1], record))
                    _exit(1);
            }
        }
        close(fds[1]);
        if (pid < 0) {
            close(fds[0]);
            break;
        }
        workers.push_back({ pid, fds[0], {}, true });
    }
    if (workers.empty() && total > 0)
        throw IoError { "cannot start a worker process" };

    std::vector<PhotoWork> results(total);
    std::vector<char> finished(total, 0);
    // Photos are reported and their log lines written in order, each as soon as it and all before it are done.
    const bool terminal = isatty(STDERR_FILENO) == 1;
    const auto begin = std::chrono::steady_clock::now();
    std::size_t written = 0;
    int saved = 0, skipped = 0, failed = 0;
    for (;;) {
        // Ctrl-C reaches the workers too when typed at a terminal; a signal sent to this process alone stops them
        // through the counter: no worker takes another photo, each finishes the one in hand.
        if (g_interrupted)
            shared->store(total);
        std::vector<pollfd> polls;
        for (const Worker& w : workers)
            if (w.open)
                polls.push_back({ w.fd, POLLIN, 0 });
        if (polls.empty())
            break;
        (void)poll(polls.data(), polls.size(), 200);
        for (Worker& w : workers) {
            if (!w.open)
                continue;
            pollfd probe { w.fd, POLLIN, 0 };
            if (poll(&probe, 1, 0) <= 0)
                continue;
            char chunk[65536];
            const ssize_t n = read(w.fd, chunk, sizeof chunk);
            if (n > 0) {
                w.buffer.append(chunk, static_cast<std::size_t>(n));
                std::size_t index = 0;
                PhotoWork work;
                while (DecodeWork(w.buffer, index, work)) {
                    if (index < total) {
                        results[index] = std::move(work);
                        finished[index] = 1;
                    }
                    work = {};
                }
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                w.open = false;
                close(w.fd);
            }
        }
        while (written < total && finished[written]) {
            const PhotoWork& work = results[written];
            for (const std::string& line : work.logLines)
                (void)WriteRecognitionLog(work.logPath, line);
            (work.result == PhotoWork::Saved ? saved : work.result == PhotoWork::Skipped ? skipped : failed)++;
            WriteReportRow(report, csv, work);
            ++written;
            if (!terminal)
                std::fprintf(stderr, "%zu/%zu %s %s%s%s\n", written, total, ResultName(work.result), work.photo.c_str(),
                    work.message.empty() ? "" : ": ", work.message.c_str());
        }
        if (terminal) {
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
            const double rate = seconds > 0 ? static_cast<double>(written) / seconds : 0;
            const double left = rate > 0 ? static_cast<double>(total - written) / rate : 0;
            std::fprintf(stderr, "\r%zu/%zu  %.2f photos/s  %.0f s left   ", written, total, rate, left);
        }
    }
    for (const Worker& w : workers) {
        int status = 0;
        (void)waitpid(w.pid, &status, 0);
    }
    munmap(shared, sizeof(std::atomic<std::size_t>));
    if (terminal)
        std::fputc('\n', stderr);

    // A photo a worker took but never reported (the worker died with it) failed; photos never taken (Ctrl-C) were
    // not started.
    std::size_t notStarted = 0;
    for (; written < total; ++written) {
        if (finished[written]) {
            const PhotoWork& work = results[written];
            for (const std::string& line : work.logLines)
                (void)WriteRecognitionLog(work.logPath, line);
            (work.result == PhotoWork::Saved ? saved : work.result == PhotoWork::Skipped ? skipped : failed)++;
            WriteReportRow(report, csv, work);
        } else if (g_interrupted) {
            ++notStarted;
        } else {
            PhotoWork lost;
            lost.photo = photos[written];
            lost.message = "the worker ended while working this photo";
            ++failed;
            WriteReportRow(report, csv, lost);
        }
    }
    written = total - notStarted;
    const bool interrupted = notStarted > 0;
    std::printf("{\"photos\": %zu, \"saved\": %d, \"skipped\": %d, \"failed\": %d, \"not_started\": %zu, "
                "\"interrupted\": %s, \"detector\": %s}\n",
        total, saved, skipped, failed, notStarted, interrupted ? "true" : "false", detector.c_str());
    if (report.is_open()) {
        report.flush();
        if (!report)
            throw IoError { "cannot write the report" };
    }
    return saved == static_cast<int>(total) ? kExitOk : 4;
}

} // namespace vellicam::cli
