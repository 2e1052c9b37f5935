// Output folder, sheet names and the sheet's JPEG write.
#include "sheet/output_path.h"

#include "image/image_io.h"

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace vellicam {

namespace fs = std::filesystem;

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {};
    // The root keeps its separator: without it the folder of "/a.jpg" would read as no folder at all.
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string FileNameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string OutputFolder(const std::string& edit3Text, const std::string& photoFolder)
{
    return edit3Text.empty() ? photoFolder : edit3Text;
}

std::string DerivedSheetName(const std::string& photoFileName)
{
    const std::size_t dot = photoFileName.rfind('.');
    const std::string base = dot == std::string::npos ? photoFileName : photoFileName.substr(0, dot);
    // ".jpeg" rather than ".jpg": the folder scan takes only names ending in .jpg, so a batch run over the photo
    // folder never picks up its own sheets.
    return base + "_sheet.jpeg";
}

std::string OutputPath(
    const std::string& edit3Text, const std::string& photoFolder, const std::string& currentPhotoPath)
{
    const std::string name = FileNameOf(currentPhotoPath);
    if (!edit3Text.empty())
        return edit3Text + name;
    return photoFolder + DerivedSheetName(name);
}

bool IsPhotoDone(const std::string& edit3Text, const std::string& photoFolder, const std::string& currentPhotoPath)
{
    std::error_code ec;
    return fs::is_regular_file(OutputPath(edit3Text, photoFolder, currentPhotoPath), ec);
}

std::string OpenFolderTarget(const std::string& edit3Text, const std::string& photoFolder)
{
    const std::string folder = OutputFolder(edit3Text, photoFolder);
    const std::size_t slash = folder.rfind('/');
    return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

int EnsureFolder(const std::string& folder, std::string* reason)
{
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        fs::create_directories(folder, ec);
        // create_directories reports nothing when a racing writer made the folder first; what counts is whether
        // a folder stands there now.
        if (ec || !fs::is_directory(folder, ec)) {
            if (reason)
                *reason = ec ? ec.message() : "not a folder";
            return kSaveFolderNotCreated;
        }
    }
    // A folder that cannot be entered cannot take a file either; a read-only one is left to the write to find.
    if (access(folder.c_str(), X_OK) != 0) {
        if (reason)
            *reason = std::error_code(errno, std::generic_category()).message();
        return kSaveFolderUnusable;
    }
    return 0;
}

SaveSheetOutcome SaveSheetJpeg(const std::string& path, const Bitmap& bitmap, int quality, int dpi)
{
    static const char* const kNoFolder = "保存先フォルダが指定されていません。";
    static const char* const kCannotCreate = "保存先フォルダを作成出来ません。";
    static const char* const kSaveFailed = "保存に失敗しました。";

    // A path without any folder would land in whatever the current directory happens to be.
    const std::string folder = FolderOf(path);
    if (path.size() <= 2 || folder.empty())
        return { kSaveNoFolder, kNoFolder, {} };
    // Nothing that cannot be encoded creates a folder first.
    if (bitmap.Empty() || quality < 0 || quality > 100 || FileNameOf(path).empty())
        return { kSaveWriteFailed, kSaveFailed, bitmap.Empty() ? "empty bitmap" : "bad quality or file name" };

    std::string reason;
    const int folderResult = EnsureFolder(folder, &reason);
    if (folderResult == kSaveFolderNotCreated)
        return { kSaveFolderNotCreated, std::string(kCannotCreate) + "\n" + folder, reason };
    if (folderResult != 0)
        return { kSaveFolderUnusable, kCannotCreate, reason };

    JpegOptions options;
    options.quality = quality;
    options.dpi = dpi;
    const IoResult written = SaveJpeg(path, bitmap, options);
    if (!written)
        return { kSaveWriteFailed, kSaveFailed, written.message };
    return { kSheetSaved, {}, {} };
}

} // namespace vellicam
