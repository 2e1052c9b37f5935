// What a drop counts as a photo, and the one-level scan of a dropped folder for its JPEG files.
#pragma once

#include <string>
#include <vector>

namespace vellicam {

// 1 when the path ends with '/', 0 when it does not, -2 when it is longer than 2047 bytes, -3 when it is empty.
[[nodiscard]] int EndsWithSeparator(const std::string& path);

// A dropped item opens as a photo when the extension of its name (from the last dot) is exactly ".jpg", ".JPG"
// or ".Jpg"; other spellings, ".jpeg" among them, do not.
[[nodiscard]] bool IsDroppedJpegName(const std::string& name);
// Inside a scanned folder a file is a photo when its name ends with '.' and j, p, g in any case.
[[nodiscard]] bool IsScannedJpegName(const std::string& name);

struct FolderScan {
    std::vector<std::string> files; // full paths of the JPEG files, sorted by name (byte order)
    int SubfolderCount = 0;
    int FileCount = 0; // entries that are not folders
    int JpegCount = 0;
};

// Lists the JPEG files directly inside the folder `item` and counts its subfolders and files; subfolders are
// not entered. Symbolic links count as what they point to; dangling ones are left out, and only regular files are
// listed as photos. An item that is not a folder or cannot be read lists nothing and counts 0.
[[nodiscard]] FolderScan ScanDroppedFolder(const std::string& item);

} // namespace vellicam
