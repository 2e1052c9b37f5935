// A scratch folder with photos written for the test, a program folder holding the scripted stand-in detector,
// and a session over them.
#pragma once

#include "image/image_io.h"
#include "session/photo_session.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace vellicam::test {

class SessionTest : public ::testing::Test {
protected:
    ScratchDir dir;
    std::string program = dir / "program";
    Settings settings;
    RecordedPrompts prompts { false };

    void SetUp() override
    {
        namespace fs = std::filesystem;
        fs::create_directory(program);
#ifdef VELLICAM_STANDIN_DIR
        fs::create_symlink(fs::path(VELLICAM_STANDIN_DIR) / "full" / "libfacedetect.so",
            fs::path(program) / "libfacedetect.so");
#endif
        WriteFile(fs::path(program) / "haarcascade_frontalface_default.xml", "<faces/>");
        WriteFile(fs::path(program) / "ago.xml", "<chins/>");
        setenv("VELLICAM_STANDIN_SCRIPT", (dir / "script.txt").c_str(), 1);
        setenv("VELLICAM_STANDIN_LOG", (dir / "calls.log").c_str(), 1);
        settings.recogniseOnOpen = false;
    }
    void TearDown() override
    {
        unsetenv("VELLICAM_STANDIN_SCRIPT");
        unsetenv("VELLICAM_STANDIN_LOG");
    }

    // Puts the stand-in of that variant ("full", "landmarks") in the program folder.
    void UseVariant(const std::string& variant)
    {
#ifdef VELLICAM_STANDIN_DIR
        const std::filesystem::path link = std::filesystem::path(program) / "libfacedetect.so";
        std::filesystem::remove(link);
        std::filesystem::create_symlink(std::filesystem::path(VELLICAM_STANDIN_DIR) / variant / "libfacedetect.so", link);
#else
        (void)variant;
#endif
    }

    // The detector's answers from its next call on, one line per call: "<status> [<left> <top> <right> <bottom>]...".
    void Script(const std::string& lines)
    {
        WriteFile(dir.Path() / "script.txt", lines);
        std::filesystem::remove(dir / "calls.log");
    }

    // A photo of random pixels written as JPEG into the scratch folder.
    std::string Photo(const std::string& name, int width, int height, std::uint32_t seed = 1)
    {
        const std::string path = dir / name;
        const Bitmap photo = RandomBitmap(width, height, seed);
        const IoResult written = SaveJpeg(path, photo, { 95, 0 });
        EXPECT_TRUE(written) << written.message;
        return path;
    }
};

} // namespace vellicam::test
