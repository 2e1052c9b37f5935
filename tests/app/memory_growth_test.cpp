// Resident memory over a long session in one window: photo after photo opened, turned one step, recognised by the
// real detector and made into a sheet, with the process's resident set read after each. Whatever a photo leaves
// behind adds up over a folder of hundreds, so the later photos may not push the memory past the first photo's
// peak by more than a tenth.
//
// By default 12 photos of 1500 × 1000. VELLICAM_MEMORY_PHOTOS and VELLICAM_MEMORY_SIZE (e.g. 50 and 3000x2000)
// make the long run; VELLICAM_MEMORY_DETECTOR=standin uses the stand-in detector instead of the real one.
#include "window_fixture.h"

#include <QStandardPaths>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#if defined(__SANITIZE_ADDRESS__)
#define VELLICAM_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELLICAM_ASAN 1
#endif
#endif

namespace vellicam::test {
namespace {

namespace fs = std::filesystem;

// A figure of /proc/self/status in kB ("VmRSS", "VmHWM"); 0 when it cannot be read.
long StatusKb(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field + ":", 0) == 0)
            return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
    return 0;
}

int EnvInt(const char* name, int fallback)
{
    const char* text = std::getenv(name);
    return text && *text ? std::atoi(text) : fallback;
}

// A camera-sized photo of a real portrait on a wall whose colour changes from photo to photo, so that no two
// files are alike.
Bitmap SessionPhoto(const Bitmap& portrait, int width, int height, int index)
{
    Bitmap photo;
    EXPECT_TRUE(photo.Resize(width, height));
    Fill(photo, Rgb { static_cast<std::uint8_t>(150 + index % 40), 170, static_cast<std::uint8_t>(190 - index % 30) });
    const int h = height;
    const int w = std::min(width, h * portrait.Width() / portrait.Height());
    Bitmap scaled;
    EXPECT_TRUE(scaled.Resize(w, h));
    StretchDraw(portrait, scaled);
    Draw(scaled, photo, (width - w) / 2 + (index % 7) * 4 - 12, 0);
    return photo;
}

class MemoryGrowth : public WindowTest {
protected:
    void SetUp() override
    {
        QStandardPaths::setTestModeEnabled(true);
        WindowTest::SetUp();
        const char* detector = std::getenv("VELLICAM_MEMORY_DETECTOR");
        if (detector && std::string(detector) == "standin") {
            const fs::path program = scratch.Path() / "program";
            fs::create_directories(program);
            fs::copy_file(StandInDetector(), program / "libfacedetect.so");
            WriteFile(program / "haarcascade_frontalface_default.xml", "<opencv_storage/>");
            WriteFile(program / "ago.xml", "<opencv_storage/>");
            window->setProgramFolder(QString::fromStdString(program.string() + "/"));
        } else {
            window->setProgramFolder(QString::fromStdString(BinDir().string() + "/"));
        }
        ui().outputFolderEdit->setText(QString::fromStdString(scratch / "out") + '/');
        // Each photo is recognised after its turn, by the button.
        settingsUi().recogniseOnOpenBox->setChecked(false);
    }
    void TearDown() override
    {
        WindowTest::TearDown();
        QStandardPaths::setTestModeEnabled(false);
    }
};

TEST_F(MemoryGrowth, PhotosInARowStayWithinATenthOfTheFirstPhotosPeak)
{
#ifdef VELLICAM_ASAN
    GTEST_SKIP() << "AddressSanitizer holds freed memory back in quarantine: resident figures say nothing here";
#endif
    const int photos = std::max(2, EnvInt("VELLICAM_MEMORY_PHOTOS", 12));
    int width = 1500, height = 1000;
    if (const char* size = std::getenv("VELLICAM_MEMORY_SIZE")) {
        ASSERT_EQ(std::sscanf(size, "%dx%d", &width, &height), 2) << size;
    }

    Bitmap portrait;
    ASSERT_TRUE(LoadJpeg((DataDir() / "photos" / "portrait_plain_wall_900x1200.jpg").string(), portrait).ok);
    // The files are written first, so that making them does not count towards the session's memory.
    std::vector<QString> paths;
    for (int i = 0; i < photos; ++i) {
        const std::string path = scratch / ("photo" + std::to_string(i) + ".jpg");
        ASSERT_TRUE(SaveJpeg(path, SessionPhoto(portrait, width, height, i), { 90, 0 }).ok);
        paths.push_back(QString::fromStdString(path));
    }
    portrait = Bitmap();

    std::vector<long> rss, peak;
    int recognised = 0;
    for (int i = 0; i < photos; ++i) {
        Open(paths[i]);
        ASSERT_EQ(window->photoPath(), paths[i]);
        ui().turnRightTenthButton->click();
        Settle();
        ASSERT_EQ(window->session().angle(), 1);
        recognised += Recognise() == 0 ? 1 : 0;
        ui().makeSheetButton->click();
        Settle();
        QApplication::processEvents();
        ASSERT_TRUE(fs::exists(scratch.Path() / "out" / ("photo" + std::to_string(i) + ".jpg"))) << i;
        ASSERT_FALSE(window->isBusy());
        rss.push_back(StatusKb("VmRSS"));
        peak.push_back(StatusKb("VmHWM"));
        dialogs.messages.clear();
        dialogs.questions.clear();
    }

    std::cout << "[ memory   ] " << photos << " photos of " << width << " x " << height << ", " << recognised
              << " recognised; VmRSS after each (MB):";
    for (long kb : rss)
        std::cout << ' ' << kb / 1024;
    std::cout << "\n[ memory   ] peak after the first " << peak.front() / 1024 << " MB, after the last "
              << peak.back() / 1024 << " MB\n";

    ASSERT_GT(peak.front(), 0) << "no /proc/self/status";
    const long limit = peak.front() + peak.front() / 10;
    for (int i = 1; i < photos; ++i)
        EXPECT_LE(rss[i], limit) << "resident memory after photo " << i + 1;
    EXPECT_LE(peak.back(), limit) << "the peak grew";
}

} // namespace
} // namespace vellicam::test
