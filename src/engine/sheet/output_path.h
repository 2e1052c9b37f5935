// Where a sheet goes: the output folder, the sheet's file name, the atomic JPEG write that creates the folder, and
// the folder opened after a sheet action.
#pragma once

#include "image/bitmap.h"

#include <string>

namespace vellicam {

// The text before the last '/', without it; "/" for a child of the root; "" when there is no '/'.
[[nodiscard]] std::string FolderOf(const std::string& path);
// The text after the last '/' (the whole path when there is none).
[[nodiscard]] std::string FileNameOf(const std::string& path);

// The output folder box's text unchanged, or the photo's folder when the box is empty. Nothing is appended: the
// text has to end with '/' for the names below to land inside the folder.
[[nodiscard]] std::string OutputFolder(const std::string& edit3Text, const std::string& photoFolder);

// The name of a sheet written beside its photo: the photo's name without its extension + "_sheet.jpeg". It never
// equals the photo's name, and a folder scan never takes it for a photo.
[[nodiscard]] std::string DerivedSheetName(const std::string& photoFileName);

// The sheet file of a photo: the output folder box's text + the photo's own file name; or, when the box is empty,
// the photo folder (with its trailing '/') + the derived sheet name.
[[nodiscard]] std::string OutputPath(
    const std::string& edit3Text, const std::string& photoFolder, const std::string& currentPhotoPath);

// True when the photo's sheet file exists, so that a batch may pass over the photo.
[[nodiscard]] bool IsPhotoDone(
    const std::string& edit3Text, const std::string& photoFolder, const std::string& currentPhotoPath);

// The folder opened after a sheet action: the output folder cut after its last '/' ("" when it has none).
[[nodiscard]] std::string OpenFolderTarget(const std::string& edit3Text, const std::string& photoFolder);

enum SaveSheetResult : int {
    kSheetSaved = 0,
    kSaveNoFolder = -1, // path of 2 bytes or fewer, or a path without a folder
    kSaveFolderNotCreated = -2,
    kSaveFolderUnusable = -3, // the folder exists but cannot be entered
    kSaveWriteFailed = -4, // encoding or writing failed; also a bitmap or quality that cannot be encoded
};

struct SaveSheetOutcome {
    int code = kSheetSaved;
    std::string message; // the text the window shows, "" on success
    std::string reason; // the system's or encoder's own reason, for a log or a detail line
};

// Writes `bitmap` as a JPEG of the given quality (0..100) and resolution to `path`, creating the folder with all
// its missing levels first. The file is replaced atomically: a failed save leaves no partial file and an existing
// file untouched. The process's current directory is not changed.
[[nodiscard]] SaveSheetOutcome SaveSheetJpeg(const std::string& path, const Bitmap& bitmap, int quality, int dpi);

// Makes sure `folder` exists as a folder that can be entered, creating all missing levels. Returns 0, or
// kSaveFolderNotCreated / kSaveFolderUnusable with the system's reason. Shared by the sheet and the error log.
[[nodiscard]] int EnsureFolder(const std::string& folder, std::string* reason = nullptr);

} // namespace vellicam
