// Finding the detector library, the cascades and the notice beside the program or in the installed tree.
#include "recognition/detector_files.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace vellicam;
namespace fs = std::filesystem;

namespace {

// A scratch prefix with an empty bin/ for the program; the installed folders are the ones FindDetectorFiles names
// after the program's own.
class DetectorFilesLayout : public ::testing::Test {
protected:
    test::ScratchDir dir;
    std::string bin = (dir.Path() / "prefix" / "bin").string();
    std::string libraryFolder, dataFolder;

    void SetUp() override
    {
        fs::create_directories(bin);
        const DetectorFiles none = FindDetectorFiles(bin);
        ASSERT_EQ(none.libraryFolders.size(), 2u);
        ASSERT_EQ(none.dataFolders.size(), 2u);
        libraryFolder = none.libraryFolders[1];
        dataFolder = none.dataFolders[1];
    }
};

TEST_F(DetectorFilesLayout, InstalledFoldersLieOutsideTheProgramsAndAreNormalised)
{
    const DetectorFiles files = FindDetectorFiles(bin);
    EXPECT_EQ(files.libraryFolders[0], bin);
    EXPECT_EQ(files.dataFolders[0], bin);
    for (const std::string& folder : { libraryFolder, dataFolder }) {
        EXPECT_EQ(folder.find(".."), std::string::npos) << folder;
        EXPECT_EQ(folder.rfind((dir.Path() / "prefix").string() + "/", 0), 0u) << folder;
        EXPECT_NE(folder.rfind(bin, 0), 0u) << folder;
    }
    EXPECT_NE(libraryFolder, dataFolder);
}

TEST_F(DetectorFilesLayout, EachPieceComesFromTheFirstFolderHoldingIt)
{
    enum Where { Nowhere, Beside, Installed, Both };
    struct Case {
        const char* layout;
        Where library, cascade;
        bool installedFoldersExist;
        Where expectLibrary, expectData; // Beside or Installed
    };
    const Case cases[] = {
        { "build tree", Beside, Beside, false, Beside, Beside },
        { "installed tree", Installed, Installed, true, Installed, Installed },
        { "both: the program's own folder wins", Both, Both, true, Beside, Beside },
        { "library beside, data installed", Beside, Installed, true, Beside, Installed },
        { "nothing, installed folders there", Nowhere, Nowhere, true, Installed, Installed },
        { "nothing at all", Nowhere, Nowhere, false, Beside, Beside },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.layout);
        fs::remove_all(dir.Path() / "prefix");
        fs::create_directories(bin);
        if (c.installedFoldersExist) {
            fs::create_directories(libraryFolder);
            fs::create_directories(dataFolder);
        }
        if (c.library == Beside || c.library == Both)
            test::WriteFile(fs::path(bin) / "libfacedetect.so", "");
        if (c.library == Installed || c.library == Both)
            test::WriteFile(fs::path(libraryFolder) / "libfacedetect.so", "");
        if (c.cascade == Beside || c.cascade == Both)
            test::WriteFile(fs::path(bin) / "haarcascade_frontalface_default.xml", "");
        if (c.cascade == Installed || c.cascade == Both)
            test::WriteFile(fs::path(dataFolder) / "haarcascade_frontalface_default.xml", "");
        // A chin cascade beside the program does not pull the face cascade's companions away from it.
        test::WriteFile(fs::path(bin) / "ago.xml", "");

        const DetectorFiles files = FindDetectorFiles(bin);
        const std::string library = c.expectLibrary == Beside ? bin : libraryFolder;
        const std::string data = c.expectData == Beside ? bin : dataFolder;
        EXPECT_EQ(files.library, library + "/libfacedetect.so");
        EXPECT_EQ(files.faceCascade, data + "/haarcascade_frontalface_default.xml");
        EXPECT_EQ(files.chinCascade, data + "/ago.xml");
        EXPECT_EQ(files.notice, data + "/お読み下さい.txt");
    }
}

TEST_F(DetectorFilesLayout, RelativeAndSlashEndedFoldersGiveTheSamePaths)
{
    test::WriteFile(fs::path(bin) / "libfacedetect.so", "");
    const DetectorFiles plain = FindDetectorFiles(bin);
    const DetectorFiles slashed = FindDetectorFiles(bin + "//");
    EXPECT_EQ(slashed.library, plain.library);
    EXPECT_EQ(slashed.libraryFolders, plain.libraryFolders);

    const fs::path before = fs::current_path();
    fs::current_path(dir.Path());
    const DetectorFiles relative = FindDetectorFiles("prefix/./bin");
    fs::current_path(before);
    EXPECT_EQ(relative.library, plain.library);
    EXPECT_EQ(relative.dataFolders, plain.dataFolders);
}

TEST(DetectorFiles, NoFolderGivesNoPaths)
{
    const DetectorFiles files = FindDetectorFiles("");
    EXPECT_TRUE(files.library.empty());
    EXPECT_TRUE(files.faceCascade.empty());
    EXPECT_TRUE(files.libraryFolders.empty());
}

TEST(DetectorFiles, ProgramFolderIsTheRunningTestsOwn)
{
    std::string reason;
    const std::string folder = ProgramFolder(&reason);
    EXPECT_TRUE(reason.empty()) << reason;
    EXPECT_EQ(folder, fs::canonical(fs::path(VELLICAM_BUILD_DIR) / "bin").string());
}

TEST(DetectorFiles, FolderListReadsAsASentence)
{
    EXPECT_EQ(FolderList({}), "");
    EXPECT_EQ(FolderList({ "/a" }), "/a");
    EXPECT_EQ(FolderList({ "/a", "/b" }), "/a or /b");
    EXPECT_EQ(FolderList({ "/a", "/b", "/c" }), "/a, /b or /c");
}

} // namespace
