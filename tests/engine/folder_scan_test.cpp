// What counts as a photo in a drop, and the scan of a dropped folder.
#include "image/folder_scan.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace vellicam;
namespace fs = std::filesystem;

namespace {

TEST(FolderScan, EndsWithSeparator)
{
    EXPECT_EQ(EndsWithSeparator("/data/out/"), 1);
    EXPECT_EQ(EndsWithSeparator("/"), 1);
    EXPECT_EQ(EndsWithSeparator("/data/out"), 0);
    EXPECT_EQ(EndsWithSeparator("/data/出力"), 0);
    EXPECT_EQ(EndsWithSeparator(""), -3);
    EXPECT_EQ(EndsWithSeparator(std::string(2046, 'a') + "/"), 1);
    EXPECT_EQ(EndsWithSeparator(std::string(2047, 'a') + "/"), -2);
}

TEST(FolderScan, TheTwoJpegNameRules)
{
    for (const char* name : { "a.jpg", "/x/A.JPG", "b.Jpg", "x.y.jpg" })
        EXPECT_TRUE(IsDroppedJpegName(name)) << name;
    for (const char* name : { "c.jPg", "d.jpeg", "e.JPEG", "jpg", "/x.jpg/readme", "f.jpg.txt" })
        EXPECT_FALSE(IsDroppedJpegName(name)) << name;
    for (const char* name : { "a.jpg", "A.JPG", "b.Jpg", "c.jPg", "d.JpG", ".jpg" })
        EXPECT_TRUE(IsScannedJpegName(name)) << name;
    for (const char* name : { "d.jpeg", "ajpg", "a.jp", "a.png", "IMG_0001_sheet.jpeg", "" })
        EXPECT_FALSE(IsScannedJpegName(name)) << name;
}

TEST(FolderScan, OneLevelCountedAndSorted)
{
    test::ScratchDir dir;
    for (const char* name : { "c.jPg", "A.JPG", "d.jpeg", "b.Jpg" })
        test::WriteFile(dir.Path() / name, "x");
    fs::create_directory(dir.Path() / "sub");
    test::WriteFile(dir.Path() / "sub" / "inner.jpg", "x");

    const std::string root = dir.Path().string();
    const FolderScan scan = ScanDroppedFolder(root);
    EXPECT_EQ(scan.SubfolderCount, 1);
    EXPECT_EQ(scan.FileCount, 4);
    EXPECT_EQ(scan.JpegCount, 3);
    EXPECT_EQ(scan.files, (std::vector<std::string> { root + "/A.JPG", root + "/b.Jpg", root + "/c.jPg" }));
    // A trailing '/' is not doubled.
    EXPECT_EQ(ScanDroppedFolder(root + "/").files.front(), root + "/A.JPG");
}

TEST(FolderScan, NotAFolderListsNothing)
{
    test::ScratchDir dir;
    test::WriteFile(dir.Path() / "a.jpg", "x");
    for (const std::string& item : { dir / "a.jpg", dir / "missing", std::string() }) {
        const FolderScan scan = ScanDroppedFolder(item);
        EXPECT_TRUE(scan.files.empty()) << item;
        EXPECT_EQ(scan.SubfolderCount + scan.FileCount + scan.JpegCount, 0) << item;
    }
}

TEST(FolderScan, LinksCountAsWhatTheyPointTo)
{
    test::ScratchDir dir;
    fs::create_directory(dir.Path() / "folder");
    test::WriteFile(dir.Path() / "real.jpg", "x");
    fs::create_directory_symlink(dir.Path() / "folder", dir.Path() / "linked-folder.jpg");
    fs::create_symlink(dir.Path() / "real.jpg", dir.Path() / "linked.jpg");
    fs::create_symlink(dir.Path() / "gone.jpg", dir.Path() / "dangling.jpg");
    // A named pipe or a device named like a photo is counted but never listed: opening it would hang or mislead.
    ASSERT_EQ(::mkfifo((dir.Path() / "pipe.jpg").c_str(), 0600), 0);
    fs::create_symlink("/dev/null", dir.Path() / "device.jpg");
    const FolderScan scan = ScanDroppedFolder(dir.Path().string());
    EXPECT_EQ(scan.SubfolderCount, 2);
    EXPECT_EQ(scan.FileCount, 4);
    EXPECT_EQ(scan.JpegCount, 2);
    EXPECT_EQ(scan.files, (std::vector<std::string> { dir / "linked.jpg", dir / "real.jpg" }));
}

} // namespace
