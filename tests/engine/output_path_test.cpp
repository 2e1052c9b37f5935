// Output folder, sheet names and the sheet's JPEG write.
#include "image/folder_scan.h"
#include "session/session_texts.h"
#include "sheet/output_path.h"
#include "sheet/photo_size.h"
#include "image/image_io.h"
#include "sheet/recognition_log.h"
#include "test_support.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

struct FolderTextCase {
    const char* box;
    const char* photoFolder;
    const char* folder; // OutputFolder and OpenFolderTarget
};

// The box's text is a folder with or without its trailing '/': the sheet, the log and the folder opened afterwards
// all lie inside it.
TEST(OutputPath, TypedFolderIsAFolderWithOrWithoutItsSeparator)
{
    const FolderTextCase cases[] = {
        { "/data/out/", "/photos/", "/data/out/" },
        { "/data/out", "/photos/", "/data/out/" },
        { "/data/出力", "/photos/", "/data/出力/" },
        { "/", "/photos/", "/" },
        { "", "/photos/", "/photos/" },
        { "", "/photos", "/photos/" },
        { "out", "", "out/" },
        { "", "", "" },
    };
    for (const FolderTextCase& c : cases) {
        SCOPED_TRACE(std::string("box \"") + c.box + "\", photo folder \"" + c.photoFolder + "\"");
        EXPECT_EQ(OutputFolder(c.box, c.photoFolder), c.folder);
        EXPECT_EQ(OpenFolderTarget(c.box, c.photoFolder), c.folder);
        EXPECT_EQ(RecognitionLogPath(c.box, c.photoFolder), std::string(c.folder) + kRecognitionLogName);
        if (*c.box) {
            EXPECT_EQ(OutputPath(c.box, c.photoFolder, "/photos/IMG_0001.JPG"), std::string(c.folder) + "IMG_0001.JPG");
        }
    }

    // And the save lands inside the typed folder, creating it.
    test::ScratchDir dir;
    const std::string path = OutputPath(dir / "out", dir.Path().string() + "/", dir / "IMG_0001.JPG");
    EXPECT_EQ(path, dir / "out/IMG_0001.JPG");
    ASSERT_EQ(SaveSheetJpeg(path, test::SolidBitmap(8, 8, kWhite), 90, 300).code, kSheetSaved);
    EXPECT_TRUE(fs::is_regular_file(dir.Path() / "out" / "IMG_0001.JPG"));
    EXPECT_FALSE(fs::exists(dir.Path() / "outIMG_0001.JPG"));
}

struct DerivedNameCase {
    const char* photo;
    const char* sheet;
};

// Derived names depend on the photo's name alone, keep "NAME_sheet.jpeg" for a ".jpg" photo, and tell apart photos
// that differ only in the case of their extension, or in having one.
TEST(OutputPath, DerivedSheetNamesAreDistinctAndNeverPhotos)
{
    const DerivedNameCase cases[] = {
        { "IMG_0001.jpg", "IMG_0001_sheet.jpeg" },
        { "IMG_0001.JPG", "IMG_0001_sheet.JPEG" },
        { "IMG_0001.Jpg", "IMG_0001_sheet.Jpeg" },
        { "IMG_0001.jPg", "IMG_0001_sheet.jPEg" },
        { "a.b.jpg", "a.b_sheet.jpeg" },
        { ".jpg", "_sheet.jpeg" },
        { "IMG_0001.jpeg", "IMG_0001.jpeg.sheet.jpeg" },
        { "noext", "noext.sheet.jpeg" },
        { "写真.JPG", "写真_sheet.JPEG" },
    };
    for (const DerivedNameCase& c : cases)
        EXPECT_EQ(DerivedSheetName(c.photo), c.sheet) << c.photo;

    // Every spelling of ".jpg", and the names that an ordinary rule would fold together, get sheets of their own.
    std::set<std::string> photos;
    for (int spelling = 0; spelling < 8; ++spelling) {
        std::string name = "IMG.";
        name += spelling & 1 ? 'J' : 'j';
        name += spelling & 2 ? 'P' : 'p';
        name += spelling & 4 ? 'G' : 'g';
        photos.insert(name);
    }
    photos.insert({ "IMG", "IMG.jpeg", "IMG.JPEG", "IMG.jpeg.jpg", "IMG_sheet.jpeg", "IMG_sheet.jpg", "IMG.png" });
    std::set<std::string> sheets;
    for (const std::string& photo : photos) {
        const std::string sheet = DerivedSheetName(photo);
        sheets.insert(sheet);
        EXPECT_NE(sheet, photo);
        EXPECT_FALSE(IsScannedJpegName(sheet)) << sheet;
        EXPECT_FALSE(IsDroppedJpegName(sheet)) << sheet;
    }
    EXPECT_EQ(sheets.size(), photos.size());

    // In one folder the two photos IMG.jpg and IMG.JPG: the first one's sheet does not make the second done.
    test::ScratchDir dir;
    const std::string folder = dir.Path().string() + "/";
    test::WriteFile(dir.Path() / "IMG.jpg", "photo");
    test::WriteFile(dir.Path() / "IMG.JPG", "photo");
    const std::string first = OutputPath("", folder, folder + "IMG.jpg");
    ASSERT_EQ(SaveSheetJpeg(first, test::SolidBitmap(8, 8, kWhite), 90, 300).code, kSheetSaved);
    EXPECT_TRUE(IsPhotoDone("", folder, folder + "IMG.jpg"));
    EXPECT_FALSE(IsPhotoDone("", folder, folder + "IMG.JPG"));
    EXPECT_NE(OutputPath("", folder, folder + "IMG.JPG"), first);
    EXPECT_EQ(ScanDroppedFolder(folder).files, (std::vector<std::string> { folder + "IMG.JPG", folder + "IMG.jpg" }));
}

// Whatever spelling of the photo's own folder the box holds, the sheet takes the derived name, and the photo
// counts as done only once that sheet exists.
TEST(OutputPath, SheetNeverNamesItsOwnPhoto)
{
    test::ScratchDir dir;
    const std::string root = dir.Path().string();
    fs::create_directories(dir.Path() / "a" / "sub");
    fs::create_directory_symlink(dir.Path() / "a", dir.Path() / "link");
    const std::string photoFolder = root + "/a/";
    for (const char* name : { "x.jpg", "y.JPG" })
        test::WriteFile(dir.Path() / "a" / name, "photo");

    const std::string boxes[] = {
        root + "/a/",
        root + "/a",
        root + "/a/./",
        root + "/./a/../a",
        root + "/a/sub/..",
        root + "/link",
        root + "/link/",
    };
    for (const std::string& box : boxes) {
        SCOPED_TRACE("box " + box);
        for (const char* name : { "x.jpg", "y.JPG" }) {
            const std::string photo = photoFolder + name;
            const std::string sheet = OutputPath(box, photoFolder, photo);
            EXPECT_EQ(sheet, OutputFolder(box, photoFolder) + DerivedSheetName(name));
            EXPECT_FALSE(NameSameFile(sheet, photo));
            // The photo is there, its sheet is not: not done, so a dropped folder is not "all done".
            EXPECT_FALSE(IsPhotoDone(box, photoFolder, photo));
        }
    }
    EXPECT_EQ(test::ReadFile(dir.Path() / "a" / "x.jpg"), "photo");

    // A relative spelling of the photo's own path counts too.
    const fs::path before = fs::current_path();
    fs::current_path(dir.Path());
    EXPECT_EQ(OutputPath("a", photoFolder, photoFolder + "x.jpg"), "a/x_sheet.jpeg");
    EXPECT_EQ(OutputPath("./a/../a/", "a/", "./a/x.jpg"), "./a/../a/x_sheet.jpeg");
    fs::current_path(before);

    // A file in the output folder that is a link to the photo is the photo.
    fs::create_directory(dir.Path() / "out");
    fs::create_symlink(dir.Path() / "a" / "x.jpg", dir.Path() / "out" / "x.jpg");
    EXPECT_EQ(OutputPath(root + "/out/", photoFolder, photoFolder + "x.jpg"), root + "/out/x_sheet.jpeg");
    // Another folder keeps the photo's own name; a photo that is gone is compared by its path.
    EXPECT_EQ(OutputPath(root + "/out/", photoFolder, photoFolder + "y.JPG"), root + "/out/y.JPG");
    EXPECT_EQ(
        OutputPath(root + "/a/sub/../", photoFolder, photoFolder + "gone.jpg"), root + "/a/sub/../gone_sheet.jpeg");
    EXPECT_EQ(OutputPath(root + "/out/", photoFolder, photoFolder + "gone.jpg"), root + "/out/gone.jpg");

    // The done test follows the same rule: the derived sheet beside the photo makes it done.
    const std::string sheet = OutputPath(root + "/a", photoFolder, photoFolder + "x.jpg");
    ASSERT_EQ(SaveSheetJpeg(sheet, test::SolidBitmap(8, 8, kWhite), 90, 300).code, kSheetSaved);
    EXPECT_EQ(test::ReadFile(dir.Path() / "a" / "x.jpg"), "photo");
    EXPECT_TRUE(IsPhotoDone(root + "/link", photoFolder, photoFolder + "x.jpg"));
    EXPECT_TRUE(IsPhotoDone("", photoFolder, photoFolder + "x.jpg"));
    EXPECT_FALSE(IsPhotoDone("", photoFolder, photoFolder + "y.JPG"));
}

// What stands at a sheet's name decides whether the sheet may go there: nothing, or an earlier sheet of ours. Any
// other file keeps its place and the sheet takes the next name; a photo counts as done only by its own sheet.
TEST(OutputPath, ASheetReplacesNothingButAnEarlierSheet)
{
    enum Kind { Nothing, EarlierSheet, Photo, Text, Folder, DanglingLink, TruncatedSheet };
    struct Case {
        const char* what;
        Kind atOwnName; // in the output folder, under the photo's own name
        Kind atDerivedName; // under IMG_sheet.jpeg
        const char* sheetInOut; // the sheet's name in the output folder
        const char* sheetBeside; // with no output folder
    };
    const Case cases[] = {
        { "nothing there", Nothing, Nothing, "IMG.jpg", "IMG_sheet.jpeg" },
        { "earlier sheets", EarlierSheet, EarlierSheet, "IMG.jpg", "IMG_sheet.jpeg" },
        { "another photo of that name", Photo, Nothing, "IMG_sheet.jpeg", "IMG_sheet.jpeg" },
        { "a photo under both names", Photo, Photo, "IMG_sheet_2.jpeg", "IMG_sheet_2.jpeg" },
        { "a text and a folder", Text, Folder, "IMG_sheet_2.jpeg", "IMG_sheet_2.jpeg" },
        { "a dangling link", DanglingLink, EarlierSheet, "IMG_sheet.jpeg", "IMG_sheet.jpeg" },
        { "a sheet cut short before its mark", TruncatedSheet, Nothing, "IMG_sheet.jpeg", "IMG_sheet.jpeg" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::ScratchDir dir;
        const std::string photos = dir.Path().string() + "/photos/";
        const std::string out = dir.Path().string() + "/out/";
        fs::create_directories(photos);
        fs::create_directories(out);
        const std::string photo = photos + "IMG.jpg";
        ASSERT_TRUE(SaveJpeg(photo, test::SolidBitmap(8, 8, kWhite)).ok);
        const auto make = [&](const std::string& path, Kind kind) {
            switch (kind) {
            case Nothing:
                break;
            case EarlierSheet:
                test::WriteEarlierSheet(path);
                break;
            case Photo:
                ASSERT_TRUE(SaveJpeg(path, test::SolidBitmap(8, 8, kWhite)).ok);
                break;
            case Text:
                test::WriteFile(path, "notes");
                break;
            case Folder:
                fs::create_directory(path);
                break;
            case DanglingLink:
                fs::create_symlink(dir / "gone", path);
                break;
            case TruncatedSheet:
                test::WriteFile(path, test::WriteEarlierSheet(path).substr(0, 30));
                break;
            }
        };
        for (const std::string& folder : { out, photos })
            make(folder + "IMG_sheet.jpeg", c.atDerivedName);
        make(out + "IMG.jpg", c.atOwnName);

        EXPECT_EQ(OutputPath(out, photos, photo), out + c.sheetInOut);
        EXPECT_EQ(OutputPath("", photos, photo), photos + c.sheetBeside);
        // Done only when the sheet's path holds a sheet already.
        const bool sheetThere = std::string(c.sheetBeside) == "IMG_sheet.jpeg" && c.atDerivedName == EarlierSheet;
        EXPECT_EQ(IsPhotoDone("", photos, photo), sheetThere);
    }
}

// A sheet of another size or paper never replaces the default sheet of the same photo, beside it or in an output
// folder; the default size keeps its names.
TEST(OutputPath, SheetsOfOtherSizesCarryTheirIds)
{
    EXPECT_EQ(SheetSizeTag(DefaultPhotoSize().id, DefaultPaperSize().id), "");
    const std::string passport2L = SheetSizeTag("passport", "2L");
    EXPECT_EQ(passport2L, "_passport_2L");
    EXPECT_EQ(SheetSizeTag(DefaultPhotoSize().id, "2L"), std::string("_") + DefaultPhotoSize().id + "_2L");
    EXPECT_EQ(DerivedSheetName("IMG.JPG", passport2L), "IMG_sheet_passport_2L.JPEG");
    EXPECT_EQ(DerivedSheetName("IMG.jpeg", passport2L, 3), "IMG.jpeg.sheet_passport_2L_3.jpeg");

    test::ScratchDir dir;
    const std::string folder = dir.Path().string() + "/";
    const std::string photo = folder + "IMG.jpg";
    ASSERT_TRUE(SaveJpeg(photo, test::SolidBitmap(8, 8, kWhite)).ok);
    const std::string resume = OutputPath("", folder, photo);
    const std::string passport = OutputPath("", folder, photo, passport2L);
    EXPECT_EQ(resume, folder + "IMG_sheet.jpeg");
    EXPECT_EQ(passport, folder + "IMG_sheet_passport_2L.jpeg");
    EXPECT_EQ(OutputPath(folder + "out", folder, photo), folder + "out/IMG.jpg");
    EXPECT_EQ(OutputPath(folder + "out", folder, photo, passport2L), folder + "out/IMG_sheet_passport_2L.jpeg");
    ASSERT_EQ(SaveSheetJpeg(resume, test::SolidBitmap(8, 8, kWhite), 90, 300).code, kSheetSaved);
    EXPECT_TRUE(IsMarkedSheet(resume)) << "every sheet saved carries the mark";
    EXPECT_TRUE(IsPhotoDone("", folder, photo));
    EXPECT_FALSE(IsPhotoDone("", folder, photo, passport2L)) << "the passport sheet is still to be made";
}

// Within a run no sheet goes over one of the run's photos, even one that is itself a sheet of ours, and two photos
// of one name never share a sheet; a file listed twice in any spelling is one photo.
TEST(SheetTargets, RunPhotosAndSheetsGivenOutAreNeverTargets)
{
    test::ScratchDir dir;
    const std::string a = dir.Path().string() + "/a/";
    const std::string b = dir.Path().string() + "/b/";
    fs::create_directories(a);
    fs::create_directories(b);
    ASSERT_TRUE(SaveJpeg(a + "p.jpg", test::SolidBitmap(8, 8, kWhite)).ok);
    test::WriteEarlierSheet(b + "p.jpg"); // a sheet of an earlier run, now a photo of this one

    SheetTargets run;
    EXPECT_TRUE(run.addPhoto(a + "p.jpg"));
    EXPECT_TRUE(run.addPhoto(b + "p.jpg"));
    fs::create_symlink(a + "p.jpg", dir / "link.jpg");
    fs::create_hard_link(a + "p.jpg", dir / "hard.jpg");
    for (const std::string& again : { a + "p.jpg", a + "./p.jpg", b + "../a/p.jpg", dir / "link.jpg", dir / "hard.jpg" })
        EXPECT_FALSE(run.addPhoto(again)) << again;

    // a/p.jpg into b: b/p.jpg is a photo of the run, whatever it holds.
    const std::string first = OutputPath(b, a, a + "p.jpg", {}, &run);
    EXPECT_EQ(first, b + "p_sheet.jpeg");
    run.claim(first, a + "p.jpg");
    // b/p.jpg beside itself: its derived name was given to a/p.jpg, so it takes the next one.
    EXPECT_EQ(OutputPath("", b, b + "p.jpg", {}, &run), b + "p_sheet_2.jpeg");
    // The photo a sheet was given to keeps it, as when its sheet is made again.
    EXPECT_EQ(OutputPath(b, a, a + "p.jpg", {}, &run), first);
    EXPECT_TRUE(run.taken(first));
    EXPECT_FALSE(run.taken(first, a + "p.jpg"));
}

TEST(SaveSheetJpeg, CreatesNestedFolderAndWritesTheResolution)
{
    test::ScratchDir dir;
    const std::string path = dir / "a/b/c/IMG_0001.JPG";
    const SaveSheetOutcome outcome = SaveSheetJpeg(path, test::RandomBitmap(64, 48, 5), 90, 300);
    ASSERT_EQ(outcome.code, kSheetSaved) << outcome.reason;
    EXPECT_EQ(SheetSaveFailureText(path, outcome.code, outcome.error), "");
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
    EXPECT_EQ(SheetSaveFailureText("/a", outcome.code, outcome.error), "保存先フォルダが指定されていません。");
    EXPECT_EQ(outcome.error.code, ErrorCode::NoFileName);
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
    EXPECT_FALSE(outcome.reason.empty());
    EXPECT_EQ(outcome.error, (EngineError { ErrorCode::CannotWrite, ErrorDomain::File, outcome.reason, 0, 0, ENOTDIR }));
    // The folder and the system's reason in words.
    EXPECT_EQ(SheetSaveFailureText(folder + "/IMG.JPG", outcome.code, outcome.error),
        "保存先フォルダを作成出来ません。\n" + folder + "\n途中にフォルダではないものがあります");
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
    EXPECT_EQ(SheetSaveFailureText(path, outcome.code, outcome.error),
        "シートを保存できませんでした。\n" + path + "\n画像を作れませんでした");
    // The encoder's refusal comes through as it was.
    EXPECT_EQ(outcome.error, (EngineError { ErrorCode::TooLarge, ErrorDomain::Encode, {}, 70000, 1 }));
    EXPECT_EQ(test::ReadFile(path), "the earlier sheet");
    EXPECT_EQ(SaveSheetJpeg(path, Bitmap {}, 90, 300).code, kSaveWriteFailed);
    EXPECT_EQ(SaveSheetJpeg(path, Bitmap {}, 90, 300).error.code, ErrorCode::BadArgument);
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

void SetAge(const fs::path& path, std::chrono::seconds age)
{
    fs::last_write_time(path, fs::file_time_type::clock::now() - age);
}

// A save killed half-way leaves its hidden temporary file; the next sheet saved into that folder removes it once
// it is an hour old, and nothing that merely looks alike.
TEST(SaveSheetJpeg, RemovesTheTemporariesOfKilledSavesAndNothingElse)
{
    test::ScratchDir dir;
    const Bitmap sheet = test::RandomBitmap(600, 400, 3);

    // Kill a save in the middle of its write: a file size limit stops the writer with SIGXFSZ.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit noCore { 0, 0 }, small { 4096, 4096 };
        ::setrlimit(RLIMIT_CORE, &noCore);
        ::setrlimit(RLIMIT_FSIZE, &small);
        (void)SaveSheetJpeg(dir / "IMG_0001_sheet.jpeg", sheet, 100, 300);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
    std::vector<fs::path> left;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir.Path()))
        left.push_back(entry.path());
    ASSERT_EQ(left.size(), 1u);
    const std::string killed = left[0].filename().string();
    EXPECT_TRUE(IsSheetTemporaryName(killed)) << killed;
    EXPECT_EQ(killed.rfind(".IMG_0001_sheet.jpeg.", 0), 0u) << killed;

    // Look-alikes that are not ours: other targets, other suffixes, a link and a folder of our pattern.
    const char* const others[] = { ".notes.backup", ".IMG.png.Ab3dE9", ".IMG.jpg.Ab3dE", ".IMG.jpg.Ab3dE9x",
        ".IMG.jpg.Ab3_E9", "IMG.jpg.Ab3dE9", "IMG_0001.jpg" };
    for (const char* name : others) {
        test::WriteFile(dir.Path() / name, "keep");
        SetAge(dir.Path() / name, std::chrono::hours(5));
        EXPECT_FALSE(IsSheetTemporaryName(name)) << name;
    }
    fs::create_directory(dir.Path() / ".IMG.jpg.Folder");
    SetAge(dir.Path() / ".IMG.jpg.Folder", std::chrono::hours(5));
    fs::create_symlink(dir.Path() / "IMG_0001.jpg", dir.Path() / ".IMG.jpg.Link01");
    const timespec old[2] = { { std::time(nullptr) - 5 * 3600, 0 }, { std::time(nullptr) - 5 * 3600, 0 } };
    ASSERT_EQ(::utimensat(AT_FDCWD, (dir / ".IMG.jpg.Link01").c_str(), old, AT_SYMLINK_NOFOLLOW), 0);
    // Ours, but the other one young enough to be a save still running.
    test::WriteFile(dir.Path() / ".IMG_0002.JPG.Zz09aB", "old");
    test::WriteFile(dir.Path() / ".IMG_0003_sheet.jpeg.Run123", "young");
    SetAge(dir.Path() / ".IMG_0002.JPG.Zz09aB", std::chrono::hours(2));
    SetAge(dir.Path() / ".IMG_0003_sheet.jpeg.Run123", std::chrono::minutes(50));

    // A save into another folder leaves this one alone; an hour after the kill, the next save here cleans up.
    ASSERT_EQ(SaveSheetJpeg(dir / "elsewhere/a.jpg", test::SolidBitmap(8, 8, kWhite), 90, 300).code, kSheetSaved);
    EXPECT_TRUE(fs::exists(left[0]));
    SetAge(left[0], std::chrono::minutes(61));
    ASSERT_EQ(SaveSheetJpeg(dir / "IMG_0001_sheet.jpeg", sheet, 90, 300).code, kSheetSaved);
    EXPECT_FALSE(fs::exists(left[0]));
    EXPECT_FALSE(fs::exists(dir.Path() / ".IMG_0002.JPG.Zz09aB"));
    EXPECT_TRUE(fs::exists(dir.Path() / ".IMG_0003_sheet.jpeg.Run123"));
    for (const char* name : others)
        EXPECT_EQ(test::ReadFile(dir.Path() / name), "keep") << name;
    EXPECT_TRUE(fs::is_directory(dir.Path() / ".IMG.jpg.Folder"));
    EXPECT_TRUE(fs::is_symlink(dir.Path() / ".IMG.jpg.Link01"));
    EXPECT_EQ(RemoveStaleSheetTemporaries(dir.Path().string(), std::time(nullptr) + 3600), 1);
    EXPECT_EQ(RemoveStaleSheetTemporaries(dir / "missing", std::time(nullptr)), 0);
}

} // namespace
