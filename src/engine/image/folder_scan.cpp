// The scan of a dropped folder.
#include "image/folder_scan.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace vellicam {

namespace fs = std::filesystem;

int EndsWithSeparator(const std::string& path)
{
    if (path.empty())
        return -3;
    if (path.size() > 2047)
        return -2;
    // In UTF-8 no byte of a multi-byte character is '/', so the last byte decides.
    return path.back() == '/' ? 1 : 0;
}

bool IsDroppedJpegName(const std::string& name)
{
    const std::size_t slash = name.rfind('/');
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return false;
    const std::string extension = name.substr(dot);
    return extension == ".jpg" || extension == ".JPG" || extension == ".Jpg";
}

bool IsScannedJpegName(const std::string& name)
{
    if (name.size() < 4)
        return false;
    const char* end = name.data() + name.size() - 4;
    const auto is = [](char c, char lower) { return c == lower || c == lower - 'a' + 'A'; };
    return end[0] == '.' && is(end[1], 'j') && is(end[2], 'p') && is(end[3], 'g');
}

FolderScan ScanDroppedFolder(const std::string& item)
{
    FolderScan scan;
    std::error_code ec;
    if (item.empty() || !fs::is_directory(item, ec))
        return scan;
    fs::directory_iterator it(item, ec);
    if (ec)
        return scan;
    std::vector<std::string> names;
    int subfolders = 0, files = 0;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        std::error_code statError;
        const fs::file_status status = it->status(statError);
        if (statError || !fs::exists(status))
            continue;
        if (fs::is_directory(status)) {
            ++subfolders;
            continue;
        }
        ++files;
        // A pipe or a device named like a photo would hang or mislead the loader.
        const std::string name = it->path().filename().string();
        if (fs::is_regular_file(status) && IsScannedJpegName(name))
            names.push_back(name);
    }
    // An unreadable folder lists nothing, the same as an empty one.
    if (ec)
        return scan;
    // The listing order of a file system is arbitrary; sorted, a batch runs the same way on every machine.
    std::sort(names.begin(), names.end());
    const std::string prefix = EndsWithSeparator(item) == 1 ? item : item + "/";
    scan.files.reserve(names.size());
    for (const std::string& name : names)
        scan.files.push_back(prefix + name);
    scan.SubfolderCount = subfolders;
    scan.FileCount = files;
    scan.JpegCount = static_cast<int>(names.size());
    return scan;
}

} // namespace vellicam
