// Output folder, sheet names and the sheet's JPEG write.
#include "sheet/output_path.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace vellicam;
namespace fs = std::filesystem;

namespace {

TEST(OutputPath, FolderAndFileNameParts)
{
    EXPECT_EQ(FolderOf("/data/out/IMG_0001.JPG"), "/data/out");
    EXPECT_EQ(FolderOf("/data/out/"), "/data/out");
    EXPECT_EQ(FolderOf("/IMG.JPG"), "/");
    EXPECT_EQ(FolderOf("IMG.JPG"), "");
    EXPECT_EQ(FileNameOf("/data/out/IMG_0001.JPG"), "IMG_0001.JPG");
    EXPECT_EQ(FileNameOf("IMG.JPG"), "IMG.JPG");
    EXPECT_EQ(FileNameOf("/data/out/"), "");
}

TEST(OutputPath, BoxTextIsUsedUnchanged)
{
    const std::string photo = "/photos/IMG_0001.JPG";
    EXPECT_EQ(OutputPath("/data/out/", "/photos/", photo), "/data/out/IMG_0001.JPG");
    // Without a trailing '/' the name runs into the folder's: the sheet lands beside it, in /data.
    EXPECT_EQ(OutputPath("/data/out", "/photos/", photo), "/data/outIMG_0001.JPG");
    EXPECT_EQ(OpenFolderTarget("/data/out", "/photos/"), "/data/");
    EXPECT_EQ(OpenFolderTarget("/data/out/", "/photos/"), "/data/out/");
    EXPECT_EQ(OutputFolder("", "/photos/"), "/photos/");
    EXPECT_EQ(OpenFolderTarget("", "/photos/"), "/photos/");
    EXPECT_EQ(OpenFolderTarget("out", ""), "");
}

TEST(OutputPath, BesideThePhotoTheNameIsDerivedAndNeverThePhotos)
{
    EXPECT_EQ(OutputPath("", "/photos/", "/photos/IMG_0001.JPG"), "/photos/IMG_0001_sheet.jpeg");
    EXPECT_EQ(DerivedSheetName("a.b.jpg"), "a.b_sheet.jpeg");
    EXPECT_EQ(DerivedSheetName("noext"), "noext_sheet.jpeg");
    for (const std::string name : { "IMG.JPG", "x_sheet.jpeg", "noext", ".jpg", "a." })
        EXPECT_NE(DerivedSheetName(name), name);
}

TEST(OutputPath, PhotoIsDoneWhenItsSheetFileExists)
{
    test::ScratchDir dir;
    const std::string folder = dir.Path().string() + "/";
    const std::string photo = folder + "IMG_0001.JPG";
    EXPECT_FALSE(IsPhotoDone("", folder, photo));
    test::WriteFile(dir.Path() / "IMG_0001_sheet.jpeg", "x");
    EXPECT_TRUE(IsPhotoDone("", folder, photo));
    fs::create_directory(dir.Path() / "out");
    EXPECT_FALSE(IsPhotoDone(folder + "out/", folder, photo));
    fs::create_directory(dir.Path() / "out" / "IMG_0001.JPG"); // a folder of that name is not a sheet
    EXPECT_FALSE(IsPhotoDone(folder + "out/", folder, photo));
}

TEST(SaveSheetJpeg, CreatesNestedFolderAndWritesTheResolution)
{
    test::ScratchDir dir;
    const std::string path = dir / "a/b/c/IMG_0001.JPG";
    const SaveSheetOutcome outcome = SaveSheetJpeg(path, test::RandomBitmap(64, 48, 5), 90, 300);
    ASSERT_EQ(outcome.code, kSheetSaved) << outcome.reason;
    EXPECT_EQ(outcome.message, "");
    const std::string bytes = test::ReadFile(path);
    ASSERT_GE(bytes.size(), 18u);
    // JFIF: units 1 (dots per inch), X 300, Y 300.
    EXPECT_EQ(bytes.substr(6, 5), std::string("JFIF\0", 5));
    EXPECT_EQ(static_cast<unsigned char>(bytes[13]), 1);
    EXPECT_EQ((static_cast<unsigned char>(bytes[14]) << 8) | static_cast<unsigned char>(bytes[15]), 300);
    EXPECT_EQ((static_cast<unsigned char>(bytes[16]) << 8) | static_cast<unsigned char>(bytes[17]), 300);
    // Nothing else is left in the folder: no temporary file.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path() / "a/b/c"), fs::directory_iterator()), 1);
}

TEST(SaveSheetJpeg, ShortPathOrNoFolderIsRefusedWithoutWriting)
{
    const Bitmap b = test::SolidBitmap(8, 8, kWhite);
    SaveSheetOutcome outcome = SaveSheetJpeg("/a", b, 90, 300);
    EXPECT_EQ(outcome.code, kSaveNoFolder);
    EXPECT_EQ(outcome.message, "保存先フォルダが指定されていません。");
    EXPECT_EQ(SaveSheetJpeg("", b, 90, 300).code, kSaveNoFolder);
    EXPECT_EQ(SaveSheetJpeg("sheet.jpg", b, 90, 300).code, kSaveNoFolder);
}

TEST(SaveSheetJpeg, FolderThatCannotBeCreatedLeavesNoFile)
{
    test::ScratchDir dir;
    test::WriteFile(dir.Path() / "plain", "not a folder");
    // A folder under a regular file cannot be made, whoever asks.
    const std::string folder = dir / "plain/sub";
    const SaveSheetOutcome outcome = SaveSheetJpeg(folder + "/IMG.JPG", test::SolidBitmap(8, 8, kWhite), 90, 300);
    EXPECT_EQ(outcome.code, kSaveFolderNotCreated);
    EXPECT_EQ(outcome.message, "保存先フォルダを作成出来ません。\n" + folder);
    EXPECT_FALSE(outcome.reason.empty());
    EXPECT_EQ(test::ReadFile(dir.Path() / "plain"), "not a folder");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

TEST(SaveSheetJpeg, FailedWriteLeavesTheExistingFileUntouched)
{
    test::ScratchDir dir;
    const std::string path = dir / "IMG.JPG";
    test::WriteFile(path, "the earlier sheet");
    // Wider than a JPEG can be: the encoder fails after the folder was found.
    SaveSheetOutcome outcome = SaveSheetJpeg(path, test::SolidBitmap(70000, 1, kWhite), 90, 300);
    EXPECT_EQ(outcome.code, kSaveWriteFailed);
    EXPECT_EQ(outcome.message, "保存に失敗しました。");
    EXPECT_EQ(test::ReadFile(path), "the earlier sheet");
    EXPECT_EQ(SaveSheetJpeg(path, Bitmap {}, 90, 300).code, kSaveWriteFailed);
    EXPECT_EQ(SaveSheetJpeg(path, test::SolidBitmap(8, 8, kWhite), 101, 300).code, kSaveWriteFailed);
    EXPECT_EQ(test::ReadFile(path), "the earlier sheet");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1);
}

TEST(SaveSheetJpeg, ExistingFileIsReplacedAndTheWorkingFolderStays)
{
    test::ScratchDir dir;
    const std::string path = dir / "IMG.JPG";
    test::WriteFile(path, "old");
    const fs::path before = fs::current_path();
    ASSERT_EQ(SaveSheetJpeg(path, test::SolidBitmap(16, 16, kRed), 0, 300).code, kSheetSaved);
    EXPECT_NE(test::ReadFile(path), "old");
    ASSERT_EQ(SaveSheetJpeg(path, test::SolidBitmap(16, 16, kRed), 100, 300).code, kSheetSaved);
    EXPECT_EQ(fs::current_path(), before);
}

} // namespace
