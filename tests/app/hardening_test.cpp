// The main window against bad photos and failing surroundings: every file of the bad-input corpus opened through
// the dialog and by a drop, an output folder that cannot be written, a full file system, a log that cannot be
// opened, a program folder without its cascades or with a broken detector, photos vanishing in the middle of a
// batch, and a sheet save killed at random moments. Each case ends with its own message and a usable window.
#include "window_fixture.h"

#include "image/folder_scan.h"
#include "image/photo.h"
#include "session/session_texts.h"
#include "sheet/output_path.h"
#include "sheet/recognition_log.h"

#include <QDropEvent>
#include <QElapsedTimer>
#include <QMimeData>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vellicam::test {
namespace {

namespace fs = std::filesystem;

const QString kSaved = QStringLiteral("保存しました。");
const QString kSheetNotSaved = QStringLiteral("シートを保存できませんでした。");
const QString kNotRecognised = QStringLiteral("自動顔認識処理では認識出来ませんでした。");
const QString kPhotoNotOpened = QStringLiteral("写真を開けませんでした。");

std::vector<std::string> Entries(const fs::path& folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The hidden temporaries an atomic write leaves when it is stopped dead: "." + the target's name + "." + six
// characters.
std::vector<std::string> Temporaries(const fs::path& folder)
{
    std::vector<std::string> found;
    for (const std::string& name : Entries(folder))
        if (name.size() > 1 && name[0] == '.')
            found.push_back(name);
    return found;
}

// The window with a program folder holding the stand-in detector (it finds no face unless scripted), its
// cascades and the notice; recognition on load is on, as at start, so that every open runs the whole way.
class Hardening : public WindowTest {
protected:
    fs::path program;
    fs::path out;

    void SetUp() override
    {
        ::unsetenv("VELLICAM_STANDIN_SCRIPT");
        ::unsetenv("VELLICAM_STANDIN_LOG");
        WindowTest::SetUp();
        program = scratch.Path() / "program";
        out = scratch.Path() / "out";
        fs::create_directories(program);
        InstallDetector();
        WriteFile(program / "haarcascade_frontalface_default.xml", "<opencv_storage/>");
        WriteFile(program / "ago.xml", "<opencv_storage/>");
        WriteFile(program / "お読み下さい.txt", "read me");
        window->setProgramFolder(QString::fromStdString(program.string() + "/"));
        ui().outputFolderEdit->setText(QString::fromStdString(out.string() + "/"));
        ASSERT_TRUE(settingsUi().recogniseOnOpenBox->isChecked());
    }

    void InstallDetector()
    {
        const fs::path standin = StandInDetector();
        ASSERT_TRUE(fs::exists(standin)) << standin;
        fs::remove(program / "libfacedetect.so");
        fs::copy_file(standin, program / "libfacedetect.so");
    }

    // A copy of a corpus file in the scratch folder, so that nothing the window writes beside a photo (its log,
    // a sheet) lands in the source tree.
    QString Bad(const std::string& name, const std::string& as = {})
    {
        const fs::path copy = scratch.Path() / "photos" / (as.empty() ? name : as);
        fs::create_directories(copy.parent_path());
        fs::copy_file(DataDir() / "bad" / name, copy, fs::copy_options::overwrite_existing);
        return QString::fromStdString(copy.string());
    }

    bool Drop(const QStringList& paths, QPoint at = { 400, 400 })
    {
        QList<QUrl> urls;
        for (const QString& p : paths)
            urls << QUrl::fromLocalFile(p);
        QMimeData mime;
        mime.setUrls(urls);
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &drop);
        Settle();
        return true;
    }

    void MakeSheet()
    {
        ui().makeSheetButton->click();
        Settle();
        QApplication::processEvents();
    }

    // Drops the folder and runs it through continuously. Not unattended: an unattended run passes over photos
    // whose smallest frame would be enlarged, and these photos get no face from the stand-in. The run stops at
    // each of them, and the sheet button takes each frame as it is and goes on.
    void RunFolder(const QString& folder)
    {
        ASSERT_TRUE(Drop({ folder }));
        dialogs.messages.clear();
        ui().continuousBox->setChecked(true);
        MakeSheet();
        for (int stop = 0; stop < 10 && window->batch().isActive() && !window->batch().run().atEnd(); ++stop)
            MakeSheet();
    }

    [[nodiscard]] int Count(const QString& text) const
    {
        return static_cast<int>(std::count_if(dialogs.messages.begin(), dialogs.messages.end(),
            [&](const RecordingDialogs::Box& box) { return box.text == text; }));
    }
    // Boxes holding `text`: a continuous run names its photo above it, and its end counts photos not recognised
    // below it.
    [[nodiscard]] int CountWith(const QString& text) const
    {
        return static_cast<int>(std::count_if(dialogs.messages.begin(), dialogs.messages.end(),
            [&](const RecordingDialogs::Box& box) { return box.text.contains(text); }));
    }
    [[nodiscard]] std::vector<QString> Texts() const
    {
        std::vector<QString> texts;
        for (const auto& box : dialogs.messages)
            texts.push_back(box.text);
        return texts;
    }

    // Nothing running, no modal box left open, and a photo can be chosen.
    void ExpectUsable(const std::string& what) const
    {
        EXPECT_FALSE(window->isBusy()) << what;
        EXPECT_TRUE(ui().newButton->isEnabled()) << what;
        EXPECT_TRUE(ui().choosePhotoButton->isEnabled()) << what;
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << what;
    }
    // A photo was shown and can be worked on.
    void ExpectPhotoShown(const QString& path, const std::string& what) const
    {
        ExpectUsable(what);
        EXPECT_EQ(window->photoPath(), path) << what;
        EXPECT_TRUE(ui().frameImage->isVisible()) << what;
        EXPECT_TRUE(ui().turnLeftButton->isEnabled()) << what;
        EXPECT_TRUE(ui().makeSheetButton->isEnabled()) << what;
    }
};

// ---- Bad photos ----------------------------------------------------------------------------------------------

struct BadPhoto {
    const char* file;
    int width = 0; // 0: refused
    int height = 0;
};

void PrintTo(const BadPhoto& c, std::ostream* os)
{
    *os << c.file;
}

class BadPhotos : public Hardening, public testing::WithParamInterface<BadPhoto> {
protected:
    // Opens the file one way, checks the outcome, and proves the window still opens a good photo.
    void Check(const std::function<void(const QString&)>& open, const char* way)
    {
        const BadPhoto& c = GetParam();
        const std::string what = std::string(way) + " " + c.file;
        const QString path = Bad(c.file, std::string(way) + "-" + c.file);
        dialogs.messages.clear();
        QElapsedTimer clock;
        clock.start();
        open(path);
        // A header that announces 60000 × 60000 is refused before any memory is taken.
        EXPECT_LT(clock.elapsed(), 20000) << what;

        if (c.width == 0) {
            EXPECT_TRUE(window->photoPath().isEmpty()) << what;
            // A box with the path and the reason; the status bar keeps the first line, never a cut path.
            EXPECT_EQ(ui().statusBar->panel(0), kPhotoNotOpened) << what;
            ASSERT_EQ(dialogs.messages.size(), 1u) << what;
            const QString box = dialogs.messages.front().text;
            EXPECT_TRUE(box.startsWith(kPhotoNotOpened + "\n" + path + "\n")) << what << ": " << box.toStdString();
            EXPECT_GT(box.size(), kPhotoNotOpened.size() + path.size() + 2) << what << ": a reason follows";
            if (std::string(way) == "dialog") {
                EXPECT_EQ(ui().statusBar->panelTip(0), box) << what << ": the whole message in the panel's tip";
            }
            EXPECT_FALSE(ui().frameImage->isVisible()) << what;
            EXPECT_FALSE(ui().makeSheetButton->isEnabled()) << what;
            ExpectUsable(what);
        } else {
            ExpectPhotoShown(path, what);
            EXPECT_EQ(window->session().photoWidth(), c.width) << what;
            EXPECT_EQ(window->session().photoHeight(), c.height) << what;
            // Every one of these is small: the low-resolution note first, recognition's own refusal last.
            ASSERT_GE(dialogs.messages.size(), 2u) << what;
            EXPECT_EQ(dialogs.messages.front().text, QString::fromStdString(LowResolutionMessage(c.width, c.height)))
                << what;
            EXPECT_EQ(dialogs.messages.back().text, kNotRecognised) << what;
            // Even a photo of one pixel gets a frame a picture can hold: no word of running out of memory.
            for (const auto& box : dialogs.messages)
                EXPECT_NE(box.text, main_window_texts::kOutOfMemory) << what;

            // A sheet from it: the small cut is asked about (the recorder says No, go on) and saved.
            dialogs.messages.clear();
            MakeSheet();
            const fs::path sheet = out / fs::path(path.toStdString()).filename();
            Bitmap saved;
            EXPECT_TRUE(LoadJpeg(sheet.string(), saved).ok) << what;
            EXPECT_EQ(saved.Width(), 1051) << what;
            EXPECT_EQ(Texts(), std::vector<QString> { kSaved }) << what;
            ExpectUsable(what);
        }

        dialogs.messages.clear();
        const QString good = WritePhoto(std::string(way) + "-good.jpg", 700, 500);
        open(good);
        ExpectPhotoShown(good, what + ", then a good photo");
    }
};

TEST_P(BadPhotos, OpenOrSayWhyByDialogAndByDropAndLeaveTheWindowUsable)
{
    Check([this](const QString& path) { Open(path); }, "dialog");
    ui().newButton->click();
    Settle();
    settingsUi().recogniseOnOpenBox->setChecked(true);
    Check([this](const QString& path) { ASSERT_TRUE(Drop({ path })); }, "drop");
}

INSTANTIATE_TEST_SUITE_P(Window, BadPhotos,
    testing::Values(BadPhoto { "empty.jpg" }, BadPhoto { "text.jpg" }, BadPhoto { "exif-only.jpg" },
        BadPhoto { "truncated-header.jpg" }, BadPhoto { "truncated-scan-start.jpg" },
        BadPhoto { "truncated-mid-scan.jpg" }, BadPhoto { "missing-eoi.jpg" },
        // Arithmetic coding may leave out trailing data: cut before an intact end marker, it reads as complete.
        BadPhoto { "arithmetic-cut-before-eoi.jpg", 64, 48 }, BadPhoto { "bitflip-sof-height.jpg" },
        BadPhoto { "bitflip-huffman-table.jpg" }, BadPhoto { "huge-60000x60000.jpg" },
        BadPhoto { "huge-60000x60000-no-scan.jpg" }, BadPhoto { "twelve-bit.jpg" },
        // Read by its content, as the command line reads it.
        BadPhoto { "png-named.jpg", 20, 10 }, BadPhoto { "one-pixel.jpg", 1, 1 }, BadPhoto { "grey.jpg", 48, 64 },
        BadPhoto { "cmyk-adobe.jpg", 48, 64 }, BadPhoto { "progressive.jpg", 48, 64 },
        BadPhoto { "trailing-garbage.jpg", 64, 48 }),
    [](const testing::TestParamInfo<BadPhoto>& info) {
        std::string name = info.param.file;
        name = name.substr(0, name.find('.'));
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

TEST_F(Hardening, PhotoWiderThanThePlanesOpensRefusesToTurnAndMakesASheet)
{
    const QString path = Bad("wide-9601x20.jpg");
    Open(path);
    ExpectPhotoShown(path, "open");
    EXPECT_EQ(window->session().square().Width(), 9601);
    EXPECT_EQ(
        Texts(), (std::vector<QString> { QString::fromStdString(LowResolutionMessage(9601, 20)), kNotRecognised }));

    for (QPushButton* turn :
        { ui().turnLeftButton, ui().turnRightButton, ui().turnLeftTenthButton, ui().turnRightTenthButton }) {
        dialogs.messages.clear();
        turn->click();
        EXPECT_EQ(Texts(), std::vector<QString> { "回転できる画像の最大サイズは9600ピクセルです。" });
        EXPECT_EQ(window->session().angle(), 0);
        EXPECT_EQ(ui().angleBox->text(), "0");
        ExpectPhotoShown(path, "after a refused turn");
    }

    dialogs.messages.clear();
    MakeSheet();
    Bitmap sheet;
    ASSERT_TRUE(LoadJpeg((out / "wide-9601x20.jpg").string(), sheet).ok);
    EXPECT_EQ(sheet.Width(), 1051);
    EXPECT_EQ(sheet.Height(), 1500);
    EXPECT_EQ(dialogs.messages.back().text, kSaved);
    ExpectUsable("after the sheet");
}

// ---- Faults around the files ---------------------------------------------------------------------------------

TEST_F(Hardening, OutputFolderBelowARegularFileFailsEachSheetAndTheBatchGoesOn)
{
    const QString folder = Folder("photos", { "a.jpg", "b.jpg", "c.jpg" });

    // Below a regular file no folder can be made, even for root.
    WriteFile(scratch.Path() / "plain.txt", "not a folder");
    const std::string blocked = scratch / "plain.txt/out";
    ui().outputFolderEdit->setText(QString::fromStdString(blocked + "/"));
    RunFolder(folder);
    const QString cannotCreate = QString::fromStdString("保存先フォルダを作成出来ません。\n" + blocked);
    // The three sheets, and the error log of the two photos recognised during the run (the stand-in finds no face).
    EXPECT_EQ(CountWith(cannotCreate), 5);
    EXPECT_EQ(CountWith(kNotRecognised), 2);
    EXPECT_EQ(window->batch().run().index(), 3) << "every photo had its turn";
    EXPECT_EQ(ReadFile(scratch.Path() / "plain.txt"), "not a folder");
    ExpectUsable("below a file");
}

TEST_F(Hardening, ReadOnlyOutputFolderKeepsTheEarlierSheetAndTheBatchGoesOn)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not stop root; the folder below a regular file stands in for this case";
    const QString folder = Folder("photos", { "a.jpg", "b.jpg", "c.jpg" });
    fs::create_directories(out);
    const std::string earlier = WriteEarlierSheet(out / "b.jpg");
    fs::permissions(out, fs::perms::owner_read | fs::perms::owner_exec);
    ui().outputFolderEdit->setText(QString::fromStdString(out.string() + "/"));
    RunFolder(folder);
    fs::permissions(out, fs::perms::owner_all);
    EXPECT_EQ(CountWith(kSheetNotSaved + "\n" + QString::fromStdString(out.string())), 3);
    EXPECT_EQ(CountWith(kNotRecognised), 2) << "the log is not written, and not told about";
    EXPECT_EQ(window->batch().run().index(), 3);
    EXPECT_TRUE(ReadFile(out / "b.jpg") == earlier);
    EXPECT_EQ(Entries(out), std::vector<std::string> { "b.jpg" });
    ExpectUsable("read-only");
}

TEST_F(Hardening, MissingOutputFolderIsCreatedWithAllItsLevels)
{
    const QString folder = Folder("photos", { "a.jpg", "b.jpg" });
    const fs::path deep = out / "2026" / "12";
    ui().outputFolderEdit->setText(QString::fromStdString(deep.string() + "/"));
    RunFolder(folder);
    EXPECT_EQ(Entries(deep), (std::vector<std::string> { "a.jpg", "b.jpg", kRecognitionLogName }));
    EXPECT_EQ(CountWith(kSaved), 1);
}

// A small file system of its own when the machine lets us mount one, else a file-size limit on this process:
// either way a write runs out of room part of the way through a sheet. The limit is for when no mount is allowed.
class SpaceLimit {
public:
    explicit SpaceLimit(const fs::path& folder)
        : folder_(folder)
    {
        fs::create_directories(folder);
        mounted_ = ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=4m") == 0;
    }
    ~SpaceLimit()
    {
        Lift();
        if (mounted_)
            (void)::umount2(folder_.c_str(), MNT_DETACH);
    }
    SpaceLimit(const SpaceLimit&) = delete;
    SpaceLimit& operator=(const SpaceLimit&) = delete;

    [[nodiscard]] bool Mounted() const { return mounted_; }
    // Fills the mounted file system to the last block, or caps the size of any file written from now on.
    void Impose(std::size_t limitBytes)
    {
        if (mounted_) {
            const std::string filler(4096, 'x');
            std::FILE* f = std::fopen((folder_ / "filler").c_str(), "wb");
            ASSERT_NE(f, nullptr);
            while (std::fwrite(filler.data(), 1, filler.size(), f) == filler.size() && std::fflush(f) == 0) { }
            std::fclose(f);
            return;
        }
        ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved_), 0);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = limitBytes;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        limited_ = true;
    }
    void Lift()
    {
        if (mounted_) {
            std::error_code ec;
            fs::remove(folder_ / "filler", ec);
        }
        if (limited_) {
            (void)::setrlimit(RLIMIT_FSIZE, &saved_);
            std::signal(SIGXFSZ, oldHandler_);
            limited_ = false;
        }
    }

private:
    fs::path folder_;
    bool mounted_ = false;
    bool limited_ = false;
    rlimit saved_ {};
    void (*oldHandler_)(int) = SIG_DFL;
};

TEST_F(Hardening, FullFileSystemKeepsTheEarlierSheetsWholeAndLeavesNoTemporary)
{
    const std::vector<std::string> names = { "a.jpg", "b.jpg", "c.jpg" };
    QString folder = Folder("photos", names);
    SpaceLimit space(out);
    RunFolder(folder);
    std::map<std::string, std::string> earlier;
    std::size_t smallest = SIZE_MAX;
    for (const std::string& name : names) {
        earlier[name] = ReadFile(out / name);
        smallest = std::min(smallest, earlier[name].size());
    }
    ASSERT_GT(smallest, 4096u);

    // New photos under the same names, so that new sheets would differ from the earlier ones.
    fs::remove_all(scratch.Path() / "photos");
    folder = Folder("photos", names);
    for (const std::string& name : names)
        ASSERT_TRUE(
            SaveJpeg((fs::path(folder.toStdString()) / name).string(), RandomBitmap(600, 800, 3), { 90, 0 }).ok);
    space.Impose(smallest / 2);
    std::cout << "[ note     ] " << (space.Mounted() ? "a full 4 MB tmpfs" : "a file-size limit") << '\n';
    RunFolder(folder);
    space.Lift();

    EXPECT_EQ(CountWith(kSheetNotSaved), 3) << "each sheet says so";
    EXPECT_EQ(window->batch().run().index(), 3) << "every photo had its turn";
    for (const std::string& name : names)
        EXPECT_TRUE(ReadFile(out / name) == earlier[name]) << name << " is no longer the earlier sheet";
    EXPECT_TRUE(Temporaries(out).empty()) << testing::PrintToString(Temporaries(out));
    ExpectUsable("full");

    // With room again the same folder gets its new sheets.
    RunFolder(folder);
    EXPECT_EQ(CountWith(kSheetNotSaved), 0);
    for (const std::string& name : names) {
        Bitmap sheet;
        EXPECT_TRUE(LoadJpeg((out / name).string(), sheet).ok) << name;
        EXPECT_FALSE(ReadFile(out / name) == earlier[name]) << name;
    }
}

TEST_F(Hardening, LogThatCannotBeOpenedNeverStopsRecognitionOrTheSheet)
{
    const QString folder = Folder("photos", { "a.jpg", "b.jpg" });
    fs::create_directories(out);
    const fs::path log = out / kRecognitionLogName;
    const bool root = ::geteuid() == 0;
    // Root opens a read-only file all the same; a folder under the log's name cannot be opened by anyone.
    if (root) {
        fs::create_directory(log);
    } else {
        WriteFile(log, "earlier line\n");
        fs::permissions(log, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    }

    ASSERT_TRUE(Drop({ folder + "/a.jpg" }));
    EXPECT_EQ(Texts(), std::vector<QString> { kNotRecognised }) << "the failure is told, the log is not";
    ExpectPhotoShown(folder + "/a.jpg", "after recognition");

    RunFolder(folder);
    EXPECT_EQ(CountWith(kSaved), 1);
    EXPECT_TRUE(fs::exists(out / "a.jpg"));
    EXPECT_TRUE(fs::exists(out / "b.jpg"));
    ExpectUsable("after the batch");
    if (root) {
        EXPECT_TRUE(fs::is_directory(log));
        EXPECT_TRUE(Entries(log).empty());
    } else {
        fs::permissions(log, fs::perms::owner_all);
        EXPECT_EQ(ReadFile(log), "earlier line\n");
    }
}

TEST_F(Hardening, ProgramFolderWithoutCascadesOpensTheNoticeOnceAndStopsRecognitionOnLoad)
{
    fs::remove(program / "haarcascade_frontalface_default.xml");
    const QString first = WritePhoto("first.jpg", 900, 1200);
    Open(first);
    EXPECT_EQ(Texts(), std::vector<QString> { "顔認識用のXMLデータが見つかりません。" });
    ASSERT_EQ(dialogs.opened.size(), 1u);
    EXPECT_EQ(dialogs.opened[0], QUrl::fromLocalFile(QString::fromStdString((program / "お読み下さい.txt").string())));
    EXPECT_FALSE(settingsUi().recogniseOnOpenBox->isChecked());
    ExpectPhotoShown(first, "first");

    // The next photo opens without a recognition run and without a second notice.
    dialogs.messages.clear();
    const QString second = WritePhoto("second.jpg", 900, 1200);
    ASSERT_TRUE(Drop({ second }));
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(dialogs.opened.size(), 1u);
    ExpectPhotoShown(second, "second");
}

TEST_F(Hardening, BrokenDetectorLibraryIsToldAndAGoodOneWorksAfterwards)
{
    fs::remove(program / "libfacedetect.so");
    WriteFile(program / "libfacedetect.so", "this is not a shared library\n");
    const QString photo = WritePhoto("photo.jpg", 900, 1200);
    Open(photo);
    EXPECT_EQ(Texts(), std::vector<QString> { "DLLの読み込みに失敗しました。(1)" });
    ExpectPhotoShown(photo, "broken library");

    InstallDetector();
    dialogs.messages.clear();
    ui().recogniseButton->click();
    Settle();
    EXPECT_EQ(Texts(), std::vector<QString> { kNotRecognised }) << "the library now loads and runs";
    ExpectPhotoShown(photo, "restored library");
}

TEST_F(Hardening, PhotosThatVanishOrBreakAfterTheScanArePassedOverAndLogged)
{
    const QString folder = Folder("photos", { "a.jpg", "b.jpg", "c.jpg", "d.jpg" });
    const std::string b = (folder + "/b.jpg").toStdString();
    const std::string c = (folder + "/c.jpg").toStdString();
    ASSERT_TRUE(Drop({ folder }));
    dialogs.messages.clear();
    bool done = false;
    // Once the run has started, b.jpg is deleted and c.jpg cut short, as another program might do.
    WhileRunning meddle([&] {
        if (done || !window->isBusy())
            return;
        fs::remove(b);
        const std::string bytes = ReadFile(c);
        WriteFile(c, bytes.substr(0, bytes.size() / 2));
        done = true;
    });
    ui().continuousBox->setChecked(true);
    MakeSheet();
    for (int stop = 0; stop < 10 && window->batch().isActive() && !window->batch().run().atEnd(); ++stop)
        MakeSheet();
    ASSERT_TRUE(done);
    EXPECT_EQ(Entries(out), (std::vector<std::string> { "a.jpg", "d.jpg", kRecognitionLogName }));
    const std::string log = ReadFile(out / kRecognitionLogName);
    EXPECT_NE(log.find("  画像読込エラー:  " + b), std::string::npos) << log;
    EXPECT_NE(log.find("  画像読込エラー:  " + c), std::string::npos) << log;
    EXPECT_EQ(window->batch().run().index(), 4);
    EXPECT_EQ(Count(kSaved), 0);
    EXPECT_EQ(CountWith("2枚保存しました。スキップ 0、失敗 2"), 1);
    ExpectUsable("after the run");
}

// ---- A save killed half-way ----------------------------------------------------------------------------------

// Starts vellicam-cli with the words, its output thrown away; the child's process id, or -1.
pid_t StartCli(const std::vector<std::string>& words)
{
    const std::string program = (BinDir() / "vellicam-cli").string();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& w : words)
        argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int Wait(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    return status;
}

TEST(SaveKilled, TheSheetIsEitherTheEarlierOneOrTheNewOneWhole)
{
    if (!fs::exists(BinDir() / "vellicam-cli"))
        GTEST_SKIP() << "vellicam-cli is not built";
    ScratchDir scratch;
    const std::string photo = scratch / "photo.jpg";
    ASSERT_TRUE(SaveJpeg(photo, RandomBitmap(1600, 1200, 7), { 90, 0 }).ok);
    const fs::path folder = scratch.Path() / "out";
    fs::create_directories(folder);
    const std::string sheet = (folder / "sheet.jpg").string();
    const std::vector<std::string> oldRun = { "sheet", photo, sheet, "--frame", "100,300,600,800" };
    const std::vector<std::string> newRun = { "sheet", photo, sheet, "--frame", "700,250,600,800" };

    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(Wait(StartCli(newRun)), 0);
    const qint64 runMs = std::max<qint64>(clock.elapsed(), 20);
    const std::string fresh = ReadFile(sheet);
    ASSERT_EQ(Wait(StartCli(oldRun)), 0);
    const std::string earlier = ReadFile(sheet);
    ASSERT_NE(earlier, fresh);

    std::mt19937 rng(20261207);
    std::uniform_int_distribution<qint64> moment(0, runMs * 11 / 10);
    int keptOld = 0, replaced = 0, finished = 0;
    for (int attempt = 0; attempt < 20; ++attempt) {
        const pid_t pid = StartCli(newRun);
        ASSERT_GT(pid, 0);
        ::usleep(static_cast<useconds_t>(moment(rng) * 1000));
        ::kill(pid, SIGKILL);
        const int status = Wait(pid);
        finished += WIFEXITED(status) ? 1 : 0;
        const std::string now = ReadFile(sheet);
        if (now == earlier) {
            ++keptOld;
        } else {
            ASSERT_TRUE(now == fresh) << "attempt " << attempt << ": a sheet of " << now.size() << " bytes";
            ++replaced;
            ASSERT_EQ(Wait(StartCli(oldRun)), 0);
        }
    }
    const std::vector<std::string> left = Temporaries(folder);
    std::cout << "[ note     ] one save " << runMs << " ms; killed 20 times: earlier sheet kept " << keptOld
              << ", new sheet whole " << replaced << ", finished before the kill " << finished << "; " << left.size()
              << " temporaries left\n";
    for (const std::string& name : left) {
        EXPECT_EQ(name.rfind(".sheet.jpg.", 0), 0u) << name;
        EXPECT_EQ(name.size(), std::string(".sheet.jpg.").size() + 6) << name;
    }

    // What is left does not stop the next save, and a scan of the folder takes none of it for a photo.
    ASSERT_EQ(Wait(StartCli(newRun)), 0);
    EXPECT_TRUE(ReadFile(sheet) == fresh);
    const FolderScan scan = ScanDroppedFolder(folder.string());
    EXPECT_EQ(scan.JpegCount, 1);
}

} // namespace
} // namespace vellicam::test
