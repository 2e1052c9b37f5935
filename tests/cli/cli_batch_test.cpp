// vellicam-cli batch from outside, with the real detector: sheets, passed-over photos, the log in the photos'
// order, the report, the exit status, and the same sheets whatever the number of jobs.
#include "cli_runner.h"
#include "image/image_io.h"
#include "session/session_texts.h"
#include "sheet/output_path.h"
#include "sheet/sheet_pdf.h"
#include "sheet/recognition_log.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <system_error>
#include <thread>
#include <unistd.h>

using namespace vellicam;
namespace fs = std::filesystem;

namespace {

using test::CliRun;
using test::Lines;

class BatchCommand : public ::testing::Test {
protected:
    test::ScratchDir dir;
    std::string photos = dir / "photos";

    void SetUp() override
    {
        fs::create_directory(photos);
        for (const char* name : { "portrait_plain_wall_900x1200.jpg", "no_face_false_positive_768.jpg" })
            fs::copy_file(test::DataDir() / "photos" / name, fs::path(photos) / name);
        test::WriteFile(fs::path(photos) / "broken.jpg", "not a photo");
        test::WriteFile(fs::path(photos) / "notes.txt", "not a photo either");
    }
    CliRun Batch(std::vector<std::string> words)
    {
        words.insert(words.begin(), "batch");
        return test::RunCli(words, { "XDG_CACHE_HOME=" + (dir / "cache") });
    }
};

TEST_F(BatchCommand, WorksAFolderReportsEachPhotoAndLogsInThePhotosOrder)
{
    const std::string out = dir / "out";
    const CliRun run = Batch({ photos, "--out", out, "--skip-unrecognised", "--jobs", "2", "--report", dir / "r.csv" });
    EXPECT_EQ(run.status, 4) << run.err;
    EXPECT_NE(run.out.find("\"saved\": 1, \"skipped\": 1, \"failed\": 1"), std::string::npos) << run.out;

    Bitmap sheet;
    ASSERT_TRUE(LoadJpeg(out + "/portrait_plain_wall_900x1200.jpg", sheet));
    EXPECT_EQ(sheet.Width(), 1051);
    EXPECT_FALSE(fs::exists(out + "/no_face_false_positive_768.jpg"));
    EXPECT_FALSE(fs::exists(out + "/broken.jpg"));

    // The folder's photos sorted by name: broken, no face, portrait.
    const std::vector<std::string> report = Lines(test::ReadFile(dir / "r.csv"));
    ASSERT_EQ(report.size(), 4u);
    EXPECT_EQ(report[0],
        "photo,result,frame,sheet,message,milliseconds,face_height,head_margin,tilt,centre,eyes,background,exposure");
    EXPECT_EQ(report[1].find("\"" + photos + "/broken.jpg\",failed,"), 0u) << report[1];
    EXPECT_EQ(report[2].find("\"" + photos + "/no_face_false_positive_768.jpg\",skipped,"), 0u) << report[2];
    EXPECT_EQ(report[3].find("\"" + photos + "/portrait_plain_wall_900x1200.jpg\",saved,"), 0u) << report[3];

    const std::vector<std::string> log = Lines(test::ReadFile(fs::path(out) / kRecognitionLogName));
    ASSERT_EQ(log.size(), 2u);
    EXPECT_NE(log[0].find("画像読込エラー:  " + photos + "/broken.jpg"), std::string::npos) << log[0];
    EXPECT_NE(log[1].find("(非検出):  " + photos + "/no_face_false_positive_768.jpg"), std::string::npos) << log[1];

    // Run again keeping existing sheets: the portrait's sheet exists (not a skip); the log gets this run's separator
    // first.
    const CliRun again = Batch({ photos, "--out", out, "--skip-unrecognised", "--keep-existing" });
    EXPECT_EQ(again.status, 4);
    EXPECT_NE(again.out.find("\"saved\": 0, \"skipped\": 1, \"failed\": 1, \"existing\": 1,"), std::string::npos)
        << again.out;
    EXPECT_EQ(Lines(test::ReadFile(fs::path(out) / kRecognitionLogName)).size(), 5u);
}

// The plain-wall portrait leans 10° and has a neighbour's arm at its side: its report row says so, and --strict
// leaves it without a sheet, counted as rejected.
TEST_F(BatchCommand, StrictRunLeavesAPhotoThatFailsACheckWithoutASheet)
{
    fs::remove(fs::path(photos) / "broken.jpg");
    fs::remove(fs::path(photos) / "no_face_false_positive_768.jpg");
    for (const bool strict : { false, true }) {
        SCOPED_TRACE(strict);
        const std::string out = dir / (strict ? "strict" : "lenient");
        std::vector<std::string> words { photos, "--out", out, "--size", "passport", "--report", out + ".jsonl" };
        if (strict)
            words.push_back("--strict");
        const CliRun run = Batch(words);
        EXPECT_EQ(run.status, strict ? 4 : 0) << run.err;
        EXPECT_NE(run.out.find(strict ? "\"saved\": 0," : "\"saved\": 1,"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find(strict ? "\"rejected\": 1," : "\"rejected\": 0,"), std::string::npos) << run.out;
        const std::string row = test::ReadFile(out + ".jsonl");
        EXPECT_EQ(row.find("\"sheet\": \"\""), strict ? row.find("\"sheet\"") : std::string::npos) << row;
        std::size_t files = 0;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(out, ec))
            files += entry.path().extension() == ".jpg" || entry.path().extension() == ".jpeg";
        EXPECT_EQ(files, strict ? 0u : 1u);
        EXPECT_NE(row.find(strict ? "\"result\": \"rejected\"" : "\"result\": \"saved\""), std::string::npos) << row;
        EXPECT_NE(row.find("\"face_height\": true, "), std::string::npos) << row;
        EXPECT_NE(row.find("\"tilt\": false, "), std::string::npos) << row;
    }
}

// A background that will be painted plain is not held against the photo: the plain-wall portrait's neighbour at
// the edge fails the background check as it is shot, and passes once the background is to be replaced.
TEST_F(BatchCommand, APlainBackgroundIsCheckedAsTheSheetWillShowIt)
{
    fs::remove(fs::path(photos) / "broken.jpg");
    fs::remove(fs::path(photos) / "no_face_false_positive_768.jpg");
    for (const bool plain : { false, true }) {
        SCOPED_TRACE(plain);
        const std::string out = dir / (plain ? "plain" : "as-shot");
        std::vector<std::string> words { photos, "--out", out, "--report", out + ".jsonl" };
        if (plain)
            words.insert(words.end(), { "--background", "white" });
        const CliRun run = Batch(words);
        EXPECT_EQ(run.status, 0) << run.err;
        const std::string row = test::ReadFile(out + ".jsonl");
        EXPECT_NE(row.find(plain ? "\"background\": true" : "\"background\": false"), std::string::npos) << row;
    }
}

TEST_F(BatchCommand, SheetsAreTheSameBytesWhateverTheNumberOfJobs)
{
    for (int i = 0; i < 3; ++i)
        fs::copy_file(fs::path(photos) / "portrait_plain_wall_900x1200.jpg",
            fs::path(photos) / ("copy" + std::to_string(i) + ".jpg"));
    const CliRun one = Batch({ photos, "--out", dir / "one", "--jobs", "1", "--report", dir / "one.jsonl" });
    const CliRun two = Batch({ photos, "--out", dir / "two", "--jobs", "3", "--report", dir / "two.jsonl" });
    EXPECT_EQ(one.status, 4);
    EXPECT_EQ(two.status, 4);
    int compared = 0;
    for (const auto& entry : fs::directory_iterator(dir / "one")) {
        if (entry.path().extension() != ".jpg")
            continue;
        EXPECT_EQ(test::ReadFile(entry.path()), test::ReadFile(fs::path(dir / "two") / entry.path().filename()))
            << entry.path();
        ++compared;
    }
    EXPECT_EQ(compared, 5);
    EXPECT_EQ(test::ReadFile(fs::path(dir / "one") / kRecognitionLogName).size(),
        test::ReadFile(fs::path(dir / "two") / kRecognitionLogName).size());
    EXPECT_EQ(Lines(test::ReadFile(dir / "two.jsonl")).size(), 6u);
}

TEST_F(BatchCommand, AnOutputFolderThatCannotBeWrittenFailsEveryPhotoWithItsReason)
{
    test::WriteFile(dir.Path() / "file", "x");
    const CliRun run = Batch({ photos + "/portrait_plain_wall_900x1200.jpg", "--out", dir / "file/below",
        "--report", dir / "r.jsonl" });
    EXPECT_EQ(run.status, 4);
    const std::string report = test::ReadFile(dir / "r.jsonl");
    EXPECT_NE(report.find("\"result\": \"failed\""), std::string::npos) << report;
    EXPECT_EQ(report.find("\"message\": \"\""), std::string::npos) << "the save's reason is given";
}

// Sheets in a folder of other photos, photos of one name from two folders, a photo named twice: every photo keeps
// its bytes, every photo of the run gets a sheet of its own, and the report names the files really written.
TEST_F(BatchCommand, SheetsNeverReplacePhotosAndPhotosNeverShareASheet)
{
    const fs::path a = dir / "a", b = dir / "b";
    fs::create_directories(a);
    fs::create_directories(b);
    for (const fs::path& folder : { a, b })
        for (const char* name : { "p000.jpg", "p001.jpg" })
            ASSERT_TRUE(SaveJpeg((folder / name).string(), test::RandomBitmap(300, 400, name[3]), { 90, 0 }).ok);
    const std::string b0 = test::ReadFile(b / "p000.jpg"), b1 = test::ReadFile(b / "p001.jpg");

    // a's photos into b, b's own photos in the same run, a/p000.jpg named again in two spellings.
    const CliRun run = Batch({ a.string(), b.string(), (a / "p000.jpg").string(), (b / "../a/p000.jpg").string(),
        "--out", b.string(), "--no-recognition", "--jobs", "2", "--report", dir / "r.jsonl" });
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("{\"photos\": 4, \"saved\": 4,"), std::string::npos) << run.out;
    EXPECT_TRUE(test::ReadFile(b / "p000.jpg") == b0 && test::ReadFile(b / "p001.jpg") == b1)
        << "b's photos were replaced";
    std::set<std::string> sheets;
    for (const std::string& row : Lines(test::ReadFile(dir / "r.jsonl"))) {
        const std::size_t at = row.find("\"sheet\": \"") + 10;
        const std::string sheet = row.substr(at, row.find('"', at) - at);
        EXPECT_TRUE(IsMarkedSheet(sheet)) << row;
        sheets.insert(sheet);
    }
    EXPECT_EQ(sheets, (std::set<std::string> { b / "p000_sheet.jpeg", b / "p001_sheet.jpeg", b / "p000_sheet_2.jpeg",
                          b / "p001_sheet_2.jpeg" }));

    // Once more, keeping existing sheets: every photo is found done under its own sheet, and nothing is amiss.
    const CliRun again = Batch({ a.string(), b.string(), "--out", b.string(), "--no-recognition", "--keep-existing",
        "--report", dir / "again.csv" });
    EXPECT_EQ(again.status, 0) << again.out;
    EXPECT_NE(again.out.find("\"saved\": 0, \"skipped\": 0, \"failed\": 0, \"existing\": 4,"), std::string::npos)
        << again.out;
    EXPECT_NE(test::ReadFile(dir / "again.csv").find("\",existing,"), std::string::npos);
}

// A report is written over nothing but an earlier report: not a photo of the run, not another file.
TEST_F(BatchCommand, AReportThatWouldReplaceAPhotoOrAnotherFileIsRefused)
{
    const std::string photo = photos + "/portrait_plain_wall_900x1200.jpg";
    const std::string bytes = test::ReadFile(photo);
    test::WriteFile(dir / "notes.csv", "my own notes\n");
    for (const std::string& report : { photo, std::string(dir / "notes.csv"), std::string(dir / "out") }) {
        fs::create_directories(dir / "out");
        const CliRun run = Batch({ photos, "--out", dir / "elsewhere", "--no-recognition", "--report", report });
        EXPECT_EQ(run.status, 1) << report;
        EXPECT_NE(run.err.find(report), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(dir / "elsewhere")) << "refused before any work";
    }
    EXPECT_TRUE(test::ReadFile(photo) == bytes);
    EXPECT_EQ(test::ReadFile(dir / "notes.csv"), "my own notes\n");
    // An earlier report is replaced.
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(Batch({ photo, "--out", dir / "o", "--no-recognition", "--report", dir / "r.csv" }).status, 0);
}

// vellicam-cli sheet never writes over its own photo or a file that is not a sheet; an earlier sheet it replaces.
TEST_F(BatchCommand, TheSheetCommandReplacesOnlyAnEarlierSheet)
{
    const std::string photo = photos + "/portrait_plain_wall_900x1200.jpg";
    const std::string bytes = test::ReadFile(photo);
    test::WriteFile(dir / "other.jpg", "someone's file");
    const auto sheet = [&](const std::string& out) {
        return test::RunCli({ "sheet", photo, out, "--frame", "100,100,300,400" });
    };
    for (const std::string& out : { photo, photos + "/./portrait_plain_wall_900x1200.jpg", std::string(dir / "other.jpg") }) {
        const CliRun run = sheet(out);
        EXPECT_EQ(run.status, 1) << out;
        EXPECT_NE(run.err.find(out), std::string::npos) << run.err;
    }
    EXPECT_TRUE(test::ReadFile(photo) == bytes);
    EXPECT_EQ(test::ReadFile(dir / "other.jpg"), "someone's file");
    EXPECT_EQ(sheet(dir / "s.jpg").status, 0);
    EXPECT_TRUE(IsMarkedSheet(dir / "s.jpg"));
    EXPECT_EQ(sheet(dir / "s.jpg").status, 0) << "an earlier sheet is replaced";
}

// PDF sheets from both commands: one page of the paper holding the sheet, marked as ours so the next run may
// replace it; a file that is not ours, or a folder that cannot be written, is told and left as it was.
TEST_F(BatchCommand, PdfSheetsFromTheSheetAndTheBatchCommands)
{
    const std::string photo = photos + "/portrait_plain_wall_900x1200.jpg";
    const auto sheet = [&](const std::string& out) {
        return test::RunCli({ "sheet", photo, out, "--frame", "100,100,300,400", "--paper", "2L" });
    };
    for (int time = 0; time < 2; ++time) {
        const CliRun run = sheet(dir / "s.pdf");
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("\"width\": 1500, \"height\": 2102"), std::string::npos) << run.out;
    }
    EXPECT_TRUE(IsMarkedSheetPdf(dir / "s.pdf"));
    test::WriteFile(dir / "other.pdf", "%PDF-1.7 someone's");
    const std::string unwritable = dir / "photos/notes.txt/s.pdf";
    for (const std::string& out : { std::string(dir / "other.pdf"), unwritable }) {
        const CliRun run = sheet(out);
        EXPECT_EQ(run.status, 1) << out;
        EXPECT_NE(run.err.find(out), std::string::npos) << run.err;
    }
    EXPECT_EQ(test::ReadFile(dir / "other.pdf"), "%PDF-1.7 someone's");

    const std::string out = dir / "out";
    const CliRun run = Batch({ photos, "--out", out, "--no-recognition", "--format", "pdf" });
    EXPECT_EQ(run.status, 4) << run.err; // broken.jpg fails
    std::set<std::string> written;
    for (const auto& entry : fs::directory_iterator(out))
        written.insert(entry.path().filename().string());
    EXPECT_EQ(written,
        (std::set<std::string> { "no_face_false_positive_768.pdf", "portrait_plain_wall_900x1200.pdf",
            kRecognitionLogName }));
    EXPECT_TRUE(IsMarkedSheetPdf(out + "/portrait_plain_wall_900x1200.pdf"));
}

// Small photos p000.jpg … in a folder of their own, for runs where recognition is not the point.
std::vector<std::string> SmallPhotos(const fs::path& folder, int count)
{
    fs::create_directories(folder);
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        names.push_back("p00" + std::to_string(i) + ".jpg");
        EXPECT_TRUE(SaveJpeg((folder / names.back()).string(), test::RandomBitmap(300, 400, i), { 90, 0 }).ok);
    }
    return names;
}

// The report's result column, row by row (the header left out).
std::vector<std::string> Results(const std::string& csv)
{
    std::vector<std::string> results;
    for (const std::string& row : Lines(csv)) {
        const std::size_t at = row.find("\",");
        if (row.rfind("photo,", 0) != 0 && at != std::string::npos)
            results.push_back(row.substr(at + 2, row.find(',', at + 2) - at - 2));
    }
    return results;
}

// Workers lost at known photos: only the photo each had in hand fails, new workers take the rest, the temporary of a
// lost photo's sheet goes, and when workers keep dying the photos left are reported as not started.
TEST_F(BatchCommand, ALostWorkerFailsOnlyThePhotoInHand)
{
    struct Case {
        const char* exitAt;
        const char* jobs;
        std::vector<std::string> results;
    };
    const std::vector<Case> cases {
        { "1,3", "2", { "saved", "failed", "saved", "failed", "saved", "saved" } },
        { "0", "1", { "failed", "saved", "saved", "saved", "saved", "saved" } },
        // Three deaths in a row with one job: no fourth worker.
        { "0,1,2,3,4,5", "1", { "failed", "failed", "failed", "not_started", "not_started", "not_started" } },
    };
    const std::vector<std::string> names = SmallPhotos(dir / "small", 6);
    for (const Case& c : cases) {
        const fs::path out = dir / ("out" + std::string(c.exitAt));
        fs::create_directories(out);
        // What a worker killed between writing and renaming a sheet leaves, beside every photo's sheet.
        for (const std::string& name : names)
            test::WriteFile(out / ("." + name + ".Ab12Cd"), "half a sheet");
        const CliRun run = test::RunCli({ "batch", dir / "small", "--out", out, "--no-recognition", "--jobs", c.jobs,
                                            "--report", dir / "r.csv" },
            { "VELLICAM_TEST_WORKER_EXIT_AT=" + std::string(c.exitAt) });
        EXPECT_EQ(run.status, 4) << c.exitAt;
        EXPECT_EQ(Results(test::ReadFile(dir / "r.csv")), c.results) << c.exitAt;
        // A lost photo's temporary goes; others' may belong to a save still running elsewhere.
        for (std::size_t i = 0; i < names.size(); ++i) {
            EXPECT_EQ(fs::exists(out / names[i]), c.results[i] == "saved") << c.exitAt << " " << names[i];
            EXPECT_EQ(fs::exists(out / ("." + names[i] + ".Ab12Cd")), c.results[i] != "failed") << c.exitAt << " " << i;
        }
    }
}

// A folder gives every JPEG in it, whatever its name's spelling, but not the sheets made from it; a folder with no
// photo is no success.
TEST_F(BatchCommand, AFolderGivesEveryJpegButNotItsSheets)
{
    struct Case {
        std::vector<std::string> files; // written as JPEG photos, or as text for a name ending in ".txt"
        std::vector<std::string> worked;
        int status;
    };
    const std::vector<Case> cases {
        { { "holiday.jpeg", "family.JPEG", "scan", "notes.txt" }, { "family.JPEG", "holiday.jpeg", "scan" }, 0 },
        { { "notes.txt" }, {}, 4 },
    };
    int n = 0;
    for (const Case& c : cases) {
        const fs::path folder = dir / ("f" + std::to_string(n++));
        fs::create_directories(folder);
        for (const std::string& name : c.files)
            if (name.ends_with(".txt"))
                test::WriteFile(folder / name, "not a photo");
            else
                ASSERT_TRUE(SaveJpeg((folder / name).string(), test::RandomBitmap(300, 400, 1), { 90, 0 }).ok);
        // Twice into the photos' own folder: the second run finds the first run's sheets there and leaves them.
        for (int run = 0; run < 2; ++run) {
            const CliRun batch = Batch({ folder.string(), "--no-recognition", "--report", dir / "r.csv" });
            EXPECT_EQ(batch.status, c.status) << batch.err;
            std::vector<std::string> worked;
            for (const std::string& row : Lines(test::ReadFile(dir / "r.csv")))
                if (row.rfind("photo,", 0) != 0)
                    worked.push_back(fs::path(row.substr(1, row.find('"', 1) - 1)).filename().string());
            EXPECT_EQ(worked, c.worked) << "run " << run;
        }
    }
}

// Runs over the stand-in detector, which a script can make hang in the middle of a photo's recognition.
class BatchWithStandIn : public BatchCommand {
protected:
    std::string program = dir / "program";
    std::string cache = dir / "cache";
    std::string report = dir / "r.csv";

    void SetUp() override
    {
        test::MakeStandInProgram(program);
        SmallPhotos(dir / "small", 4);
    }
    std::vector<std::string> Environment(const std::string& script)
    {
        test::WriteFile(dir / "script.txt", script);
        return { "XDG_CACHE_HOME=" + cache, "VELLICAM_DETECTOR_DIR=" + program,
            "VELLICAM_STANDIN_SCRIPT=" + (dir / "script.txt"), "VELLICAM_STANDIN_LOG=" + (dir / "calls.log") };
    }
    int DetectorCalls()
    {
        int n = 0;
        for (const std::string& line : Lines(test::ReadFile(dir / "calls.log")))
            n += line.rfind("facedetect\t", 0) == 0;
        return n;
    }
    // The run folders recognition left in the user's cache.
    int RunFolders()
    {
        std::error_code ec;
        int n = 0;
        for (const auto& entry : fs::directory_iterator(cache + "/vellicam/recognition", ec))
            n += entry.path().filename().string().rfind("run-", 0) == 0;
        return n;
    }
};

// A worker that hangs in recognition is ended after --photo-timeout; its photo fails and its run folder goes.
TEST_F(BatchWithStandIn, AWorkerSilentPastTheTimeLimitIsEnded)
{
    const CliRun run = test::RunCli({ "batch", dir / "small", "--out", dir / "out", "--jobs", "1", "--photo-timeout",
                                        "2", "--report", report },
        Environment("stop\n"), 60);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.status, 4) << run.err;
    EXPECT_EQ(Results(test::ReadFile(report)), (std::vector<std::string> { "failed", "saved", "saved", "saved" }));
    EXPECT_NE(test::ReadFile(report).find("no answer from the worker for 2 s"), std::string::npos);
    EXPECT_EQ(RunFolders(), 0);
}

// While a worker hangs the report already holds the photos done; a first SIGINT lets the photo in hand go on, a
// second ends the run at once with the report complete and nothing of the worker left.
TEST_F(BatchWithStandIn, ASecondInterruptEndsAHungRunAtOnce)
{
    const std::string bin = (test::BinDir() / "vellicam-cli").string();
    const std::vector<std::string> words { bin, "batch", dir / "small", "--out", dir / "out", "--jobs", "1",
        "--report", report };
    const std::vector<std::string> environment = Environment("0\n0\nstop\n");
    const pid_t pid = fork();
    if (pid == 0) {
        for (const std::string& e : environment)
            putenv(strdup(e.c_str()));
        setpgid(0, 0);
        (void)freopen("/dev/null", "w", stdout);
        (void)freopen("/dev/null", "w", stderr);
        std::vector<char*> argv;
        for (const std::string& w : words)
            argv.push_back(const_cast<char*>(w.c_str()));
        argv.push_back(nullptr);
        execv(bin.c_str(), argv.data());
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    const auto waitUntil = [](const std::function<bool()>& condition) {
        for (int i = 0; i < 200; ++i) {
            if (condition())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    };
    int status = 0;
    const auto ended = [&] { return waitpid(pid, &status, WNOHANG) == pid; };

    // The third call hangs: the photos before it are in the report already.
    ASSERT_TRUE(waitUntil([&] { return DetectorCalls() >= 3; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const std::vector<std::string> before = Results(test::ReadFile(report));
    ASSERT_GE(before.size(), 1u);
    EXPECT_EQ(before, std::vector<std::string>(before.size(), "saved"));

    kill(pid, SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_FALSE(ended()) << "the photo in hand may still finish";
    kill(pid, SIGINT);
    const bool endedAtOnce = waitUntil(ended);
    if (!endedAtOnce) {
        kill(-pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    ASSERT_TRUE(endedAtOnce);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 4);
    std::vector<std::string> expected = before;
    expected.push_back("failed");
    expected.resize(4, "not_started");
    EXPECT_EQ(Results(test::ReadFile(report)), expected);
    EXPECT_EQ(RunFolders(), 0);
}

// Two rough photos (saved all the same) give two lines of the error log. A log that cannot take them is said once
// on standard error, with the log and the system's reason, and the summary marks it; a log that can shows neither.
TEST_F(BatchCommand, AnErrorLogThatCannotBeWrittenIsSaidOnceAndCounted)
{
    const fs::path small = dir.Path() / "small";
    fs::create_directory(small);
    for (const char* name : { "a.jpg", "b.jpg" })
        ASSERT_TRUE(SaveJpeg((small / name).string(), test::RandomBitmap(640, 480, 5)).ok);
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> block; // puts something unwritable where the log goes
        std::string reason; // "" when the log is written
    };
    const Case cases[] = {
        { "writable", [](const fs::path&) {}, "" },
        { "a folder in its place", [](const fs::path& log) { fs::create_directory(log); },
            std::generic_category().message(EISDIR) },
        { "a full disk", [](const fs::path& log) { fs::create_symlink("/dev/full", log); },
            std::generic_category().message(ENOSPC) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path out = dir.Path() / "out" / c.name;
        fs::create_directories(out);
        const fs::path log = out / kRecognitionLogName;
        c.block(log);
        const CliRun run = Batch({ small.string(), "--no-recognition", "--out", out.string() });
        EXPECT_EQ(run.status, 0) << run.err;
        const std::string warning = "cannot write the error log '" + log.string() + "': ";
        if (c.reason.empty()) {
            EXPECT_EQ(Lines(test::ReadFile(log)).size(), 2u);
            EXPECT_EQ(run.err.find(warning), std::string::npos) << run.err;
            EXPECT_EQ(run.out.find("log_failed"), std::string::npos) << run.out;
            continue;
        }
        const std::size_t said = run.err.find(warning + c.reason);
        EXPECT_NE(said, std::string::npos) << run.err;
        EXPECT_EQ(run.err.find(warning, said + 1), std::string::npos) << "said once: " << run.err;
        EXPECT_NE(run.out.find("\"detector\": null, \"log_failed\": true}"), std::string::npos) << run.out;
    }
}

// The recognised face goes where the window saves it: the face folder of the output folder, which is the photo's
// own folder without --out; without the flag nothing is saved.
TEST_F(BatchCommand, SaveFaceImagePutsTheFaceWhereTheWindowDoes)
{
    const std::string name = "portrait_plain_wall_900x1200.jpg";
    struct Case {
        std::vector<std::string> options;
        fs::path faces;
        bool saved;
    };
    const Case cases[] = {
        { { "--out", dir / "out", "--save-face-image" }, dir.Path() / "out/認識画像", true },
        { { "--save-face-image" }, fs::path(photos) / "認識画像", true },
        { { "--out", dir / "plain" }, dir.Path() / "plain/認識画像", false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.faces);
        std::vector<std::string> words { photos + "/" + name };
        words.insert(words.end(), c.options.begin(), c.options.end());
        const CliRun run = Batch(words);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(fs::exists(c.faces), c.saved);
        if (!c.saved)
            continue;
        Bitmap face;
        ASSERT_TRUE(LoadJpeg((c.faces / name).string(), face).ok);
        // The face, not the photo nor its square.
        EXPECT_GT(face.Width(), 50);
        EXPECT_LT(face.Width(), 900);
        EXPECT_NE(test::ReadFile(c.faces / "positive.txt").find(name), std::string::npos);
    }
}

// Photos given by relative paths are named in the error log by their absolute paths, as the window names them; the
// report keeps the names given.
TEST_F(BatchCommand, TheErrorLogNamesPhotosByAbsolutePath)
{
    const fs::path t1 = dir.Path() / "t1";
    fs::create_directory(t1);
    test::WriteFile(t1 / "broken.jpg", "not a photo");
    ASSERT_TRUE(SaveJpeg((t1 / "small.jpg").string(), test::RandomBitmap(64, 48, 5)).ok);
    const std::vector<std::pair<std::string, std::string>> given = {
        { "t1/broken.jpg", "画像読込エラー:  " + (fs::canonical(t1) / "broken.jpg").string() + "  (" },
        { "./t1/../t1/small.jpg", "低解像度:  " + (fs::canonical(t1) / "small.jpg").string() + "  (64 x 48)" },
    };
    const fs::path before = fs::current_path();
    fs::current_path(dir.Path());
    const CliRun run
        = Batch({ given[0].first, given[1].first, "--no-recognition", "--out", "out", "--report", "r.jsonl" });
    fs::current_path(before);
    EXPECT_EQ(run.status, 4) << run.err;
    const std::vector<std::string> log = Lines(test::ReadFile(dir.Path() / "out" / kRecognitionLogName));
    const std::string report = test::ReadFile(dir / "r.jsonl");
    ASSERT_EQ(log.size(), given.size());
    for (std::size_t i = 0; i < given.size(); ++i) {
        EXPECT_NE(log[i].find(given[i].second), std::string::npos) << log[i];
        EXPECT_NE(report.find("{\"photo\": \"" + given[i].first + "\""), std::string::npos) << report;
    }
}

TEST_F(BatchCommand, BadArgumentsAreRefusedBeforeAnyWork)
{
    EXPECT_EQ(Batch({}).status, 2);
    EXPECT_EQ(Batch({ photos, "--jobs", "0" }).status, 2);
    EXPECT_EQ(Batch({ photos, "--quality", "101" }).status, 2);
    EXPECT_EQ(Batch({ photos, "--bogus" }).status, 2);
    EXPECT_EQ(Batch({ photos, "--photo-timeout", "0" }).status, 2);
    EXPECT_EQ(Batch({ photos, "--format", "gif" }).status, 2);
    EXPECT_FALSE(fs::exists(fs::path(photos) / "portrait_plain_wall_900x1200_sheet.jpeg"));
}

} // namespace
