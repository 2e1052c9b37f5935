// Where a sheet goes: the output folder, the sheet's file name, the atomic JPEG or PDF write that creates the folder,
// and the folder opened after a sheet action.
#pragma once

#include "core/engine_error.h"
#include "image/bitmap.h"
#include "sheet/photo_size.h"

#include <ctime>
#include <map>
#include <set>
#include <string>
#include <utility>

namespace vellicam {

// The text before the last '/', without it; "/" for a child of the root; "" when there is no '/'.
[[nodiscard]] std::string FolderOf(const std::string& path);
// The text after the last '/' (the whole path when there is none).
[[nodiscard]] std::string FileNameOf(const std::string& path);

// The output folder: the output folder box's text, or the photo's folder when the box is empty, ending in exactly
// the '/' it may lack: a typed "/home/u/out" is the folder /home/u/out, as a dropped one is. "" stays "" (no
// folder). A relative text stays relative (to the current folder).
[[nodiscard]] std::string OutputFolder(const std::string& folderBoxText, const std::string& photoFolder);

// The text every sheet carries in a JPEG comment segment: a file that holds it is one of this program's sheets, and
// only such a file may be replaced by a sheet.
inline constexpr const char* kSheetMark = "Vellicam print sheet";
// True when `path` is a sheet this program wrote: a JPEG carrying kSheetMark in its comment, or a PDF sheet
// (IsMarkedSheetPdf: kSheetMark as its Producer).
[[nodiscard]] bool IsMarkedSheet(const std::string& path);

// The file a sheet is saved as.
enum class SheetFormat { Jpeg, Pdf };

// A JPEG sheet's file name in `format`. For PDF a name ending in ".jpg" or ".jpeg" in any case takes ".pdf" in its
// stead, its letters in the cases of the j, p and g (IMG_sheet.jpeg → IMG_sheet.pdf, IMG.JPG → IMG.PDF), so that
// names told apart by case stay apart; any other name gets ".pdf" added. JPEG keeps the name.
[[nodiscard]] std::string SheetNameIn(const std::string& jpegName, SheetFormat format);

// What a sheet of another photo size or paper than the default adds to its name, so that it never replaces the
// default sheet of the same photo: "_passport_2L" (the size's id, then the paper's). "" for the default size on the
// default paper.
[[nodiscard]] std::string SheetSizeTag(const std::string& photoSizeId, const std::string& paperId);

// The name of a sheet that cannot take its photo's own name. A photo name ending in '.' and j, p, g in any case
// keeps its base and gets "_sheet." and "jpeg" spelt in the same cases as the photo's extension (the 'e' in the
// case of the 'p'): IMG.jpg → IMG_sheet.jpeg, IMG.JPG → IMG_sheet.JPEG, IMG.Jpg → IMG_sheet.Jpeg. Any other name
// is kept whole and gets ".sheet.jpeg": IMG.jpeg → IMG.jpeg.sheet.jpeg. The size tag follows "sheet"
// (IMG_sheet_passport_2L.jpeg), and a `number` above 1 follows that ("IMG_sheet_2.jpeg"): the names a sheet takes
// when the first ones are held by files that are not its sheets. The rule depends on the photo's name only (a photo
// keeps its sheet whatever else the folder holds), no two names share a sheet name, none is the photo's own name,
// and a folder scan or a drop never takes one for a photo (none ends in ".jpg" in any case).
[[nodiscard]] std::string DerivedSheetName(
    const std::string& photoFileName, const std::string& sizeTag = {}, int number = 1);

// True when the two paths name one file: the same device and inode when both exist (so "./a/../a/x.jpg", a
// symbolic link, another spelling of the name on a file system that ignores case, and a hard link all count),
// otherwise the same absolute path once "." and ".." and the links of its existing folders are resolved.
[[nodiscard]] bool NameSameFile(const std::string& a, const std::string& b);

// The files of one run that no sheet may be written over: its photos (whatever their names) and the sheets already
// given to its earlier photos (so that two photos of one name never share a sheet). Files are told apart as
// NameSameFile does.
class SheetTargets {
public:
    // Adds a photo of the run; false when the run holds that file already (another spelling, a link, a file and
    // its folder), so that a photo listed twice is worked once.
    bool addPhoto(const std::string& path);
    // Gives `sheetPath` to `photo`, a photo of the run.
    void claim(const std::string& sheetPath, const std::string& photo);
    // True when `path` is one of the run's photos, or a sheet given to a photo other than `photo`.
    [[nodiscard]] bool taken(const std::string& path, const std::string& photo = {}) const;

private:
    std::set<std::pair<unsigned long long, unsigned long long>> files_; // device and inode of existing photos
    std::set<std::string> photos_; // resolved paths of the photos
    std::map<std::string, std::string> sheets_; // resolved path of each sheet given out → its photo's
};

// The sheet file of a photo: with an output folder typed and the default size, the output folder + the photo's own
// file name; otherwise, or when that path is not free, the output folder + the derived sheet name, then its
// numbered names. A path is free unless it names the photo itself (the box empty, or holding the photo's own folder
// in any spelling), holds a file that is not one of our sheets (another photo, a folder, anything of the user's),
// or is taken by the run (`run`, when given). So a sheet never replaces anything but an earlier sheet, and keeps
// today's name wherever nothing is at risk. "" only when a thousand names are all held. A PDF sheet takes the same
// names in SheetNameIn's form.
[[nodiscard]] std::string OutputPath(const std::string& folderBoxText, const std::string& photoFolder,
    const std::string& currentPhotoPath, const std::string& sizeTag = {}, const SheetTargets* run = nullptr,
    SheetFormat format = SheetFormat::Jpeg);

// True when the photo's sheet file (OutputPath) exists, so that a batch may pass over the photo.
[[nodiscard]] bool IsPhotoDone(const std::string& folderBoxText, const std::string& photoFolder,
    const std::string& currentPhotoPath, const std::string& sizeTag = {}, const SheetTargets* run = nullptr,
    SheetFormat format = SheetFormat::Jpeg);

// The folder opened after a sheet action: the output folder ("" when there is none).
[[nodiscard]] std::string OpenFolderTarget(const std::string& folderBoxText, const std::string& photoFolder);

enum SaveSheetResult : int {
    kSheetSaved = 0,
    kSaveNoFolder = -1, // path of 2 bytes or fewer, or a path without a folder
    kSaveFolderNotCreated = -2,
    kSaveFolderUnusable = -3, // the folder exists but cannot be entered
    kSaveWriteFailed = -4, // encoding or writing failed; also a bitmap or quality that cannot be encoded
};

// What a sheet save came to; the session words it for the user (SheetSaveFailureText).
struct SaveSheetOutcome {
    int code = kSheetSaved;
    std::string reason; // the system's or encoder's own account, for a log or a detail line
    EngineError error; // the failure as a value (the write's own when the write failed); None on success
};

// Writes `bitmap` as a JPEG sheet (marked with kSheetMark) of the given quality (0..100) and resolution to `path`,
// creating the folder with all its missing levels first. The file is replaced atomically: a failed save leaves no
// partial file and an existing file untouched. The process's current directory is not changed. Once the folder is there, the temporary files
// that earlier sheet saves left in it when they were killed are removed (RemoveStaleSheetTemporaries).
[[nodiscard]] SaveSheetOutcome SaveSheetJpeg(const std::string& path, const Bitmap& bitmap, int quality, int dpi);
// The same as a one-page PDF of `paper`'s size holding that JPEG (WriteSheetPdf), with the same refusals and the
// same atomic write.
[[nodiscard]] SaveSheetOutcome SaveSheetPdf(
    const std::string& path, const Bitmap& bitmap, int quality, int dpi, const PaperSize& paper);
// SaveSheetJpeg or SaveSheetPdf, as `format` says.
[[nodiscard]] SaveSheetOutcome SaveSheet(
    const std::string& path, const Bitmap& bitmap, int quality, int dpi, const PaperSize& paper, SheetFormat format);

// Makes sure `folder` exists as a folder that can be entered, creating all missing levels. Returns 0, or
// kSaveFolderNotCreated / kSaveFolderUnusable with the system's reason and its errno (when given). Shared by the
// sheet and the error log.
[[nodiscard]] int EnsureFolder(const std::string& folder, std::string* reason = nullptr, int* systemError = nullptr);

// True for the name of a temporary file that the atomic write of a sheet leaves when it is killed half-way:
// '.', the sheet's name (ending in ".jpg", ".jpeg" or ".pdf" in any case), '.', and six letters or digits. The
// temporary of a name longer than 200 bytes carries only its start, cannot be told from others' files, and is left
// alone.
[[nodiscard]] bool IsSheetTemporaryName(const std::string& name);

// Removes from `folder` (not its subfolders) the regular files, owned by this user, that bear a sheet temporary's
// name and were last written more than an hour before `now`; a younger one may belong to a save still running.
// Nothing else is touched, symbolic links included. Returns how many were removed; a folder that cannot be read
// removes nothing.
int RemoveStaleSheetTemporaries(const std::string& folder, std::time_t now);

// Removes the temporary files of the sheet `sheetPath` (regular files of ours named as its atomic write names them),
// whatever their age: what a worker killed while saving that sheet left beside it. Nothing else is touched.
// Returns how many were removed.
int RemoveSheetTemporariesOf(const std::string& sheetPath);

} // namespace vellicam
