#include "batch_command.h"

#include "cli_layout.h"
#include "cli_support.h"

#include "image/folder_scan.h"
#include "image/image_io.h"
#include "recognition/detector_files.h"
#include "recognition/face_detector.h"
#include "recognition/private_folder.h"
#include "session/batch_run.h"
#include "sheet/output_path.h"
#include "sheet/recognition_log.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <fstream>
#include <set>
#include <thread>
#include <cerrno>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vellicam::cli {

const char kBatchHelp[] = R"(Usage: vellicam-cli batch INPUT... [options]

Works photos from file to saved sheet as an unattended run of the window does: open (turned upright by
the photo's orientation tag), recognise, frame, cut, compose and save, with the window's output names and
error log. INPUT is a photo or a folder (one level deep: its files named .jpg in any case and every other
JPEG file by content, the sheets this program wrote left out); a photo named twice is worked once. Photos
are worked in parallel; the sheets are the same bytes whatever the number of jobs, and the log's lines keep
the photos' order. A sheet replaces nothing but an earlier sheet: a name held by another
file or by another photo of the run gives the sheet the next free name (NAME_sheet.jpeg, NAME_sheet_2.jpeg).

Options:
  --out DIR                 save the sheets and the error log in DIR (default: beside each photo)
  --jobs N                  photos worked at once (default: the number of cores)
  --keep-existing           keep the sheet an earlier run made (the photo counts as "existing")
  --skip-unrecognised       pass over a photo recognition cannot frame (otherwise: the centred frame)
  --report FILE             one row per photo, written as each photo ends: .csv for CSV, anything else
                            JSON lines (a new file or an earlier report; never a photo of the run or
                            another file); one column per check of the photo's size (face_height,
                            head_margin, tilt, centre, eyes, background, exposure): pass, fail or empty
                            (true, false or null in JSON) when unknown
  --strict                  leave a photo that fails a check of its size without a sheet ("rejected",
                            counted in the summary, exit 4)
  --photo-timeout SECONDS   end a worker silent that long on one photo and fail the photo (default 300)
  --no-recognition          frame every photo with the centred minimum frame
  --size ID                 the photo size (default resume; 'vellicam-cli sheet --list-sizes' lists them)
  --paper ID                the paper: L (default), 2L or 4x6
  --quality Q               JPEG quality 0..100 (default 90)
  --format jpg|pdf          the sheets' files: JPEG (default), or one-page PDFs of the paper's size holding
                            the same JPEG (NAME_sheet.pdf and the other names with .pdf)
  --no-sharpen --no-centre-marks --no-corner-marks --no-scale
  --no-chin                 do not look for the chin
  --straighten              turn a tilted head level (by its eye line) before framing it
  --no-head-top-correction  do not move the head top to where the background starts
  --whole-image             look for faces in the whole photo, not only its upper half
  --allow-oversize          accept a frame over 90 % of the photo
  --save-face-image         save each recognised face as a JPEG in the folder 認識画像 of the output folder
                            (DIR, or the photo's folder), with its line in positive.txt there
  --min-face PIXELS         smallest face (100..1000, default 200)
  --precision N             detection precision (1..10, default 3)
  --tolerance N             background colour range (0..100, default 50)
  --ratio PERCENT           background share for the head top (50..100, default 80)
  --background C            a plain background outside the person: white, blue, grey or RRGGBB (see
                            'vellicam-cli sheet --help'); a photo it cannot be made for gets no sheet

Prints one line per photo on standard error (a progress line on a terminal) and a JSON summary on
standard output; its "detector" says which face detector was loaded ("verified", "cascade-only" or
"unavailable", as the window's settings say it; null without recognition), and "log_failed": true is added
when lines of an error log could not be written (said on standard error too). A worker that dies fails only the
photo it had in hand; a new one takes the rest. Exit status: 0 every photo has a sheet (made now or kept),
4 some were skipped, failed or not started, or no photo was found, 1 a file could not be read or written, 2 bad arguments. Ctrl-C (or
SIGTERM) stops after the photos in hand; a second one stops at once.
)";

namespace {

constexpr const char kCsvHeader[]
    = "photo,result,frame,sheet,message,milliseconds,face_height,head_margin,tilt,centre,eyes,background,exposure\n";
// What every report of ours starts with, this one and the earlier ones without the checks' columns.
constexpr const char kCsvHeaderStart[] = "photo,result,frame,sheet,message,milliseconds";

// The pixel memory a worker keeps between photos at most: what the bitmaps of a 6000 × 4000 photo take.
constexpr std::size_t kWorkerKeptPixelMemory = std::size_t { 384 } << 20;

// SIGINT and SIGTERM received: the first stops handing out photos, the second ends the run at once.
std::atomic<int> g_signals { 0 };

extern "C" void OnInterrupt(int)
{
    g_signals.fetch_add(1);
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
    case PhotoWork::Existing:
        return "existing";
    case PhotoWork::Rejected:
        return "rejected";
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

// The photos directly inside `folder`, sorted by name (byte order): the files named as the window's folder scan takes
// them (".jpg" in any case; one that does not decode is kept, so that the report says why) and every other regular
// file whose content is JPEG (".jpeg", ".JPEG", no extension at all), links followed. Sheets this program wrote are
// left out, and said so on standard error: they are not photos, but nothing is passed over in silence.
std::vector<std::string> FolderPhotos(const std::string& folder)
{
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code statusError;
        if (fs::is_regular_file(it->status(statusError)))
            names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    std::vector<std::string> photos;
    int sheets = 0;
    for (const std::string& name : names) {
        const std::string path = base + name;
        if (!IsScannedJpegName(name) && SniffImageFormat(path) != ImageFormat::Jpeg)
            continue;
        if (IsMarkedSheet(path)) {
            ++sheets;
            continue;
        }
        photos.push_back(path);
    }
    if (sheets > 0)
        std::fprintf(stderr, "%s: %d sheet%s made by this program passed over\n", folder.c_str(), sheets,
            sheets == 1 ? "" : "s");
    return photos;
}

// The photos of the inputs, in order: a folder gives its photos (FolderPhotos), a file is taken as it is. A file named twice
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
            const std::vector<std::string> found = FolderPhotos(input);
            std::for_each(found.begin(), found.end(), take);
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
    return start.empty() || start.rfind(kCsvHeaderStart, 0) == 0 || start.rfind("{\"photo\": ", 0) == 0;
}

// Refuses a report that would replace one of the run's photos or sheets, or a file that is not a report.
void CheckReportPath(const std::string& path, const SheetTargets& run)
{
    if (run.taken(path))
        throw IoError { "the report '" + path + "' would replace a photo or a sheet of this run: name another file",
            path };
    struct stat st { };
    if (::stat(path.c_str(), &st) != 0)
        return;
    if (!S_ISREG(st.st_mode) || !LooksLikeReport(path))
        throw IoError { "'" + path + "' exists and is not a report: name another file, or remove it first", path };
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
    s.saveFaceImage = args.Flag("save-face-image");
    if (const auto v = args.Value("size"))
        s.photoSize = *v;
    if (const auto v = args.Value("paper"))
        s.paper = *v;
    (void)LayoutForIds(args.Value("size"), args.Value("paper")); // refuses an unknown id before any work
    if (const auto v = args.Value("quality"))
        s.jpegQuality = ParseInt(*v, "--quality", 0, 100);
    if (const auto v = args.Value("format")) {
        if (*v != "jpg" && *v != "pdf")
            throw UsageError { "--format takes jpg or pdf, not '" + *v + "'" };
        s.sheetFormat = *v == "pdf" ? SheetFormat::Pdf : SheetFormat::Jpeg;
    }
    if (const auto v = args.Value("min-face"))
        s.minFaceSize = ParseInt(*v, "--min-face", 100, 1000);
    if (const auto v = args.Value("precision"))
        s.precision = ParseInt(*v, "--precision", 1, 10);
    if (const auto v = args.Value("tolerance"))
        s.colourTolerance = ParseInt(*v, "--tolerance", 0, 100);
    if (const auto v = args.Value("ratio"))
        s.backgroundRatio = ParseInt(*v, "--ratio", 50, 100);
    if (const auto v = args.Value("background")) {
        s.plainBackground = true;
        if (!ParseBackgroundColour(*v, s.backgroundColour))
            throw UsageError { "--background takes white, blue, grey or RRGGBB, not '" + *v + "'" };
    }
    if (const auto v = args.Value("out")) {
        if (v->empty())
            throw UsageError { "--out needs a folder" };
        s.outputFolder = v->back() == '/' ? *v : *v + "/";
    }
    return s;
}

// The photo's path as the window names it: absolute, with "." and ".." taken out unless a link makes that another
// file. The path as given when the working folder cannot be had.
std::string AbsolutePhotoPath(const std::string& photo)
{
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(photo, ec);
    if (ec)
        return photo;
    const std::string clean = full.lexically_normal().string();
    return NameSameFile(clean, photo) ? clean : full.string();
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
    PutField(body, std::to_string(work.checks.size()));
    for (const PhotoCheck& c : work.checks) {
        char value[32];
        std::snprintf(value, sizeof value, "%.17g", c.value);
        PutField(body, c.id);
        PutField(body, std::to_string(static_cast<int>(c.state)) + " " + (c.hasValue ? "1 " : "0 ") + value);
        PutField(body, c.rule);
        PutField(body, c.text);
    }
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
    if (TakeField(body, at, f)) {
        const std::size_t checks = std::stoul(f);
        for (std::size_t k = 0; k < checks; ++k) {
            PhotoCheck c;
            int state = 0, hasValue = 0;
            if (!TakeField(body, at, c.id) || !TakeField(body, at, f)
                || std::sscanf(f.c_str(), "%d %d %lf", &state, &hasValue, &c.value) != 3 || !TakeField(body, at, c.rule)
                || !TakeField(body, at, c.text))
                break;
            c.state = static_cast<CheckState>(state);
            c.hasValue = hasValue != 0;
            work.checks.push_back(std::move(c));
        }
    }
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

// Writes one row and flushes it: the report is true up to its last line whenever the run ends.
void WriteReportRow(std::ofstream& report, bool csv, const PhotoWork& work, const char* result = nullptr)
{
    if (!report.is_open())
        return;
    if (!result)
        result = ResultName(work.result);
    // One column per check: pass, fail, or empty (CSV) / null (JSON) when unknown or not made.
    std::string checks;
    for (const char* id : kCheckIds) {
        const auto c = std::find_if(
            work.checks.begin(), work.checks.end(), [id](const PhotoCheck& check) { return check.id == id; });
        const bool known = c != work.checks.end() && c->state != CheckState::Unknown;
        const bool passed = known && c->state == CheckState::Passed;
        if (csv)
            checks += std::string(",") + (known ? (passed ? "pass" : "fail") : "");
        else
            checks += std::string(", \"") + id + "\": " + (known ? (passed ? "true" : "false") : "null");
    }
    if (csv)
        report << CsvField(work.photo) << ',' << result << ',' << CsvField(FrameText(work)) << ','
               << CsvField(work.sheetPath) << ',' << CsvField(work.message) << ','
               << static_cast<long>(work.milliseconds) << checks << '\n';
    else
        report << "{\"photo\": " << JsonString(work.photo) << ", \"result\": \"" << result
               << "\", \"frame\": " << JsonString(FrameText(work)) << ", \"sheet\": " << JsonString(work.sheetPath)
               << ", \"message\": " << JsonString(work.message)
               << ", \"milliseconds\": " << static_cast<long>(work.milliseconds) << checks << "}\n";
    report.flush();
}


// How long a worker may work one photo before it counts as hung: far longer than any photo takes.
int PhotoTimeLimit(const Arguments& args)
{
    constexpr int kDefaultSeconds = 300;
    const auto value = args.Value("photo-timeout");
    return value ? ParseInt(*value, "--photo-timeout", 1, 24 * 60 * 60) : kDefaultSeconds;
}

// The photos (by index) whose worker ends itself as it takes them, as if it had crashed there: the tests' way to
// lose a worker at a known photo. From VELLICAM_TEST_WORKER_EXIT_AT, indices separated by commas.
std::set<std::size_t> TestExitIndices()
{
    std::set<std::size_t> indices;
    const char* text = std::getenv("VELLICAM_TEST_WORKER_EXIT_AT");
    for (const char* at = text; at && *at;) {
        char* end = nullptr;
        const unsigned long index = std::strtoul(at, &end, 10);
        if (end == at)
            break;
        indices.insert(index);
        at = *end == ',' ? end + 1 : end;
    }
    return indices;
}

// How a worker's process ended, for the row of the photo it had in hand.
std::string HowItEnded(const siginfo_t& info)
{
    if (info.si_code == CLD_EXITED)
        return "the worker ended (exit status " + std::to_string(info.si_status) + ") while working this photo";
    const char* name = strsignal(info.si_status);
    return "the worker was killed by signal " + std::to_string(info.si_status) + (name ? std::string(" (") + name + ")" : "")
        + " while working this photo";
}

// A batch's workers. They are processes: the detector library keeps its answers in globals, so two recognitions may
// not share a process. The parent hands each worker one photo at a time (its index, a line on the worker's command
// pipe) and reads what the photo came to from its result pipe, so it always knows which photo each worker has in
// hand. A worker that dies, or is ended after a silence far longer than any photo takes, fails that photo only: the
// temporary file of its sheet and its recognition folder are removed, it is reaped, and a new worker takes the
// photos left. Workers that keep dying before they report anything are not replaced for ever.
class WorkerPool {
public:
    using Job = std::function<PhotoWork(std::size_t)>;
    using Done = std::function<void(std::size_t, PhotoWork&&)>;

    WorkerPool(Job job, const std::vector<std::string>& photos, const std::vector<std::string>& sheets,
        std::string workFolder, int timeLimitSeconds, std::set<std::size_t> exitAt)
        : job_(std::move(job))
        , photos_(photos)
        , sheets_(sheets)
        , workFolder_(std::move(workFolder))
        , timeLimit_(timeLimitSeconds)
        , exitAt_(std::move(exitAt))
    {
    }

    // Works photos 0..count-1 on up to `jobs` workers, calling `done` as each photo ends and `tick` now and then.
    // Returns when every worker has ended: all photos worked, or the run stopped (the photos no worker took are
    // left to the caller as not started).
    void run(std::size_t count, int jobs, const Done& done, const std::function<void()>& tick);

private:
    struct Worker {
        pid_t pid = -1;
        int commands = -1; // the parent's end: the next photo's index, a line each; closed when none is left
        int results = -1; // the parent's end: the records of finished photos
        std::string buffer;
        std::optional<std::size_t> inHand;
        std::chrono::steady_clock::time_point handedAt;
        std::string endReason; // why the parent killed it, for the photo in hand
    };

    bool start();
    void hand(Worker& worker);
    bool bury(Worker& worker, const Done& done);
    [[noreturn]] void serve(int commands, int results) const;

    Job job_;
    const std::vector<std::string>& photos_;
    const std::vector<std::string>& sheets_;
    std::string workFolder_;
    std::chrono::seconds timeLimit_;
    std::set<std::size_t> exitAt_;
    std::vector<Worker> workers_;
    std::size_t next_ = 0;
    std::size_t count_ = 0;
    bool stopping_ = false;
};

void WorkerPool::run(std::size_t count, int jobs, const Done& done, const std::function<void()>& tick)
{
    count_ = count;
    const std::size_t wanted = std::min<std::size_t>(static_cast<std::size_t>(jobs), count);
    while (workers_.size() < wanted && start()) { }
    // Deaths in a row with no photo reported between them; past the limit no worker is started again.
    const int deathLimit = static_cast<int>(wanted) + 2;
    int deathsInRow = 0;
    while (!workers_.empty()) {
        if (g_signals > 0)
            stopping_ = true;
        const auto now = std::chrono::steady_clock::now();
        for (Worker& w : workers_) {
            if (!w.endReason.empty())
                continue;
            if (g_signals > 1)
                w.endReason = "the run was stopped at once (a second Ctrl-C or SIGTERM) while working this photo";
            else if (w.inHand && now - w.handedAt > timeLimit_)
                w.endReason = "no answer from the worker for " + std::to_string(timeLimit_.count())
                    + " s: it was ended while working this photo";
            if (!w.endReason.empty())
                ::kill(w.pid, SIGKILL);
        }
        std::vector<pollfd> polls;
        for (const Worker& w : workers_)
            polls.push_back({ w.results, POLLIN, 0 });
        (void)poll(polls.data(), polls.size(), 200);
        int restarts = 0;
        for (std::size_t k = 0; k < polls.size(); ++k) {
            if (polls[k].revents == 0)
                continue;
            Worker& w = workers_[k];
            char chunk[65536];
            const ssize_t n = read(w.results, chunk, sizeof chunk);
            if (n > 0) {
                w.buffer.append(chunk, static_cast<std::size_t>(n));
                std::size_t index = 0;
                PhotoWork work;
                while (DecodeWork(w.buffer, index, work)) {
                    if (w.inHand && index == *w.inHand) {
                        w.inHand.reset();
                        deathsInRow = 0;
                        done(index, std::move(work));
                        hand(w);
                    }
                    work = {};
                }
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                if (!bury(w, done))
                    continue;
                if (++deathsInRow < deathLimit)
                    ++restarts;
                else if (deathsInRow == deathLimit && next_ < count_)
                    std::fprintf(stderr, "%d workers in a row ended before finishing a photo: no new one is started\n",
                        deathsInRow);
            }
        }
        workers_.erase(std::remove_if(workers_.begin(), workers_.end(), [](const Worker& w) { return w.pid < 0; }),
            workers_.end());
        for (; restarts > 0 && !stopping_ && next_ < count_; --restarts)
            (void)start();
        tick();
    }
}

// Forks a worker and hands it its first photo; false (with the reason on standard error) when it cannot be made.
bool WorkerPool::start()
{
    int commands[2], results[2];
    if (pipe(commands) != 0) {
        std::fprintf(stderr, "cannot start a worker: %s\n", std::strerror(errno));
        return false;
    }
    if (pipe(results) != 0) {
        std::fprintf(stderr, "cannot start a worker: %s\n", std::strerror(errno));
        close(commands[0]);
        close(commands[1]);
        return false;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(commands[1]);
        close(results[0]);
        // Another worker's pipes held open here would keep it from seeing the parent close them.
        for (const Worker& w : workers_) {
            close(w.results);
            if (w.commands >= 0)
                close(w.commands);
        }
        // Ctrl-C at a terminal reaches the workers too: the parent decides what it means.
        signal(SIGINT, SIG_IGN);
        signal(SIGTERM, SIG_DFL);
        serve(commands[0], results[1]);
    }
    const int error = errno;
    close(commands[0]);
    close(results[1]);
    if (pid < 0) {
        close(commands[1]);
        close(results[0]);
        std::fprintf(stderr, "cannot start a worker: %s\n", std::strerror(error));
        return false;
    }
    workers_.push_back({ pid, commands[1], results[0], {}, {}, {}, {} });
    hand(workers_.back());
    return true;
}

// Gives the worker the next photo, or, when none is left to give, closes its command pipe so that it ends.
void WorkerPool::hand(Worker& worker)
{
    if (worker.commands < 0)
        return;
    if (!stopping_ && next_ < count_) {
        const std::string line = std::to_string(next_) + "\n";
        if (WriteAll(worker.commands, line)) {
            worker.inHand = next_++;
            worker.handedAt = std::chrono::steady_clock::now();
            return;
        }
        // It died: its result pipe says so next.
    }
    close(worker.commands);
    worker.commands = -1;
}

// Reaps a worker whose result pipe closed: the photo in hand fails, and what the worker left behind is removed before
// its process id can pass to another process. True when it was lost (it had a photo or did not end cleanly).
bool WorkerPool::bury(Worker& worker, const Done& done)
{
    close(worker.results);
    if (worker.commands >= 0)
        close(worker.commands);
    siginfo_t info {};
    while (waitid(P_PID, static_cast<id_t>(worker.pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) { }
    const bool clean = info.si_code == CLD_EXITED && info.si_status == 0;
    if (worker.inHand) {
        const std::size_t i = *worker.inHand;
        if (!sheets_[i].empty())
            (void)RemoveSheetTemporariesOf(sheets_[i]);
        PhotoWork lost;
        lost.photo = photos_[i];
        lost.message = worker.endReason.empty() ? HowItEnded(info) : worker.endReason;
        lost.milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - worker.handedAt).count();
        done(i, std::move(lost));
    }
    (void)RemoveRunFoldersOf(workFolder_, worker.pid);
    int status = 0;
    while (waitpid(worker.pid, &status, 0) < 0 && errno == EINTR) { }
    const bool lost = worker.inHand.has_value() || !clean;
    worker.pid = -1;
    return lost;
}

// A worker's life: takes an index, works that photo, sends the record back, until the command pipe closes.
void WorkerPool::serve(int commands, int results) const
{
    // A worker's photos are mostly of one size: the memory of one photo's bitmaps is kept for the next, instead
    // of being mapped, faulted in and zeroed anew for every photo.
    KeepPixelMemoryForReuse(kWorkerKeptPixelMemory);
    std::string pending;
    for (;;) {
        std::size_t newline;
        while ((newline = pending.find('\n')) == std::string::npos) {
            char chunk[64];
            const ssize_t n = read(commands, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                _exit(0);
            pending.append(chunk, static_cast<std::size_t>(n));
        }
        const std::size_t i = std::strtoul(pending.c_str(), nullptr, 10);
        pending.erase(0, newline + 1);
        if (exitAt_.count(i) > 0)
            _exit(70);
        std::string record;
        try {
            record = EncodeWork(i, job_(i));
        } catch (const std::exception& e) {
            // Nothing may unwind past here: above this frame lies the parent's stack, copied.
            PhotoWork failed;
            failed.photo = photos_[i];
            failed.message = e.what();
            record = EncodeWork(i, failed);
        } catch (...) {
            _exit(1);
        }
        if (!WriteAll(results, record))
            _exit(1);
    }
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
    const Arguments args(words,
        { "out", "jobs", "photo-timeout", "report", "size", "paper", "quality", "min-face", "precision", "tolerance",
            "ratio", "background", "format" },
        { "keep-existing", "skip-unrecognised", "no-recognition", "no-sharpen", "no-centre-marks", "no-corner-marks",
            "no-scale", "no-chin", "straighten", "no-head-top-correction", "whole-image", "allow-oversize",
            "save-face-image", "strict" });
    const bool strict = args.Flag("strict");
    if (args.Positional().empty())
        throw UsageError { "name at least one photo or folder" };
    const Settings settings = SettingsFromArguments(args);
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const int jobs = args.Value("jobs") ? ParseInt(*args.Value("jobs"), "--jobs", 1, 256) : cores;
    const std::string folder
        = settings.recogniseOnOpen || settings.plainBackground ? DetectorFolder() : std::string();

    SheetTargets run;
    const std::vector<std::string> photos = ExpandInputs(args.Positional(), run);
    const std::vector<std::string> sheets = PlanSheetPaths(photos, settings, run);
    const std::size_t total = photos.size();
    if (total == 0)
        std::fprintf(stderr, "no photo in the inputs: nothing was worked\n");

    std::ofstream report;
    bool csv = false;
    if (const auto reportPath = args.Value("report")) {
        // Looked at before it is opened: opening truncates.
        CheckReportPath(*reportPath, run);
        csv = reportPath->size() >= 4 && reportPath->compare(reportPath->size() - 4, 4, ".csv") == 0;
        report.open(*reportPath, std::ios::trunc);
        if (!report)
            throw IoError { "cannot write '" + *reportPath + "'", *reportPath };
        if (csv)
            report << kCsvHeader;
    }

    // A log that cannot be written does not stop the run, but it is said once, with the first log and its reason,
    // and the summary counts it: otherwise an empty log would read as "no errors".
    bool logFailed = false;
    const auto noteLog = [&logFailed](const LogWriteOutcome& written, const std::string& log) {
        if (!written.error.Failed() || logFailed)
            return;
        logFailed = true;
        std::fprintf(stderr, "vellicam-cli batch: cannot write the error log '%s': %s (its lines are missing)\n",
            log.c_str(), written.error.reason.c_str());
    };
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
            noteLog(WriteLogSeparator(log, stamp), log);
    }

    g_signals = 0;
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    struct sigaction previousInt {}, previousTerm {}, previousPipe {};
    sigaction(SIGINT, &action, &previousInt);
    sigaction(SIGTERM, &action, &previousTerm);
    // A worker that died closes its pipes: writing to one must fail, not end the run.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, &previousPipe);

    // The detector the preload found, for the summary: what the settings dialog would say.
    std::string detector = "null";
    // Where the workers' recognition works, so that what a lost worker left there can be removed.
    std::string workFolder;
    // The detector library and its models are loaded once, here, before the workers are made: each worker starts
    // with them in memory (shared until written) instead of reading them again. The networks are read without a run:
    // a run here would leave this process, which never uses them, holding the working memory of each (11 MB), which
    // every worker has of its own after its first run anyway.
    if (!settings.recogniseOnOpen && settings.plainBackground && total > 0)
        PrepareDetector(folder);
    if (settings.recogniseOnOpen && total > 0) {
        // Each worker has a core of its own: the detector's own thread pool would only make them wait for each
        // other. Set before the library starts it.
        if (jobs > 1)
            setenv("OPENCV_FOR_THREADS_NUM", "1", 0);
        PrepareDetector(folder);
        detector = KindName(QueryDetectorKind(folder));
        workFolder = PrepareRecognitionWorkFolder();
    }

    // The photo is worked (and named in the error log) by its absolute path, as the window names it; the report and
    // the progress lines keep the name it was given.
    const WorkerPool::Job job = [&](std::size_t i) {
        PhotoWork work = WorkPhotoUnattended(AbsolutePhotoPath(photos[i]), settings, folder, sheets[i], strict);
        work.photo = photos[i];
        return work;
    };
    WorkerPool pool(job, photos, sheets, workFolder, PhotoTimeLimit(args), TestExitIndices());
    std::fflush(nullptr);
    report.flush();

    std::vector<PhotoWork> results(total);
    std::vector<char> finished(total, 0);
    // Photos are reported and their log lines written in order, each as soon as it and all before it are done; a
    // report row is flushed at once, so a report is true up to its last line even when the run is killed.
    const bool terminal = isatty(STDERR_FILENO) == 1;
    const auto begin = std::chrono::steady_clock::now();
    std::size_t written = 0;
    int saved = 0, existing = 0, skipped = 0, failed = 0, rejected = 0;
    const auto writeRow = [&](const PhotoWork& work) {
        for (const std::string& line : work.logLines)
            noteLog(WriteRecognitionLog(work.logPath, line), work.logPath);
        switch (work.result) {
        case PhotoWork::Saved:
            ++saved;
            break;
        case PhotoWork::Existing:
            ++existing;
            break;
        case PhotoWork::Skipped:
            ++skipped;
            break;
        case PhotoWork::Failed:
            ++failed;
            break;
        case PhotoWork::Rejected:
            ++rejected;
            break;
        }
        WriteReportRow(report, csv, work);
    };
    const auto done = [&](std::size_t index, PhotoWork&& work) {
        results[index] = std::move(work);
        finished[index] = 1;
        while (written < total && finished[written]) {
            const PhotoWork& row = results[written];
            writeRow(row);
            ++written;
            if (!terminal)
                std::fprintf(stderr, "%zu/%zu %s %s%s%s\n", written, total, ResultName(row.result), row.photo.c_str(),
                    row.message.empty() ? "" : ": ", row.message.c_str());
        }
    };
    pool.run(total, jobs, done, [&] {
        if (!terminal)
            return;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        const double rate = seconds > 0 ? static_cast<double>(written) / seconds : 0;
        const double left = rate > 0 ? static_cast<double>(total - written) / rate : 0;
        std::fprintf(stderr, "\r%zu/%zu  %.2f photos/s  %.0f s left   ", written, total, rate, left);
    });
    sigaction(SIGINT, &previousInt, nullptr);
    sigaction(SIGTERM, &previousTerm, nullptr);
    sigaction(SIGPIPE, &previousPipe, nullptr);
    if (terminal)
        std::fputc('\n', stderr);

    // Photos no worker took (Ctrl-C, or no worker could be started) were not started; their rows follow the
    // reported ones in order.
    std::size_t notStarted = 0;
    for (; written < total; ++written) {
        if (finished[written]) {
            writeRow(results[written]);
            continue;
        }
        ++notStarted;
        PhotoWork idle;
        idle.photo = photos[written];
        idle.message = "not started";
        WriteReportRow(report, csv, idle, "not_started");
    }
    // Checked before the summary: a failed run prints its error object instead, never two objects.
    if (report.is_open()) {
        report.flush();
        if (!report)
            throw IoError { "cannot write the report", *args.Value("report") };
    }
    const bool interrupted = g_signals > 0;
    std::printf("{\"photos\": %zu, \"saved\": %d, \"skipped\": %d, \"failed\": %d, \"existing\": %d, "
                "\"rejected\": %d, \"not_started\": %zu, \"interrupted\": %s, \"detector\": %s%s}\n",
        total, saved, skipped, failed, existing, rejected, notStarted, interrupted ? "true" : "false", detector.c_str(),
        logFailed ? ", \"log_failed\": true" : "");
    // Every photo has its sheet, made now or by an earlier run; a run that found no photo did nothing asked of it.
    return total > 0 && saved + existing == static_cast<int>(total) ? kExitOk : 4;
}

} // namespace vellicam::cli
