// Output folder, sheet names and the sheet's JPEG write.
#include "sheet/output_path.h"

#include "image/folder_scan.h"
#include "image/image_io.h"
#include "sheet/photo_size.h"
#include "sheet/sheet_pdf.h"

#include <cerrno>
#include <filesystem>
#include <functional>
#include <sys/stat.h>
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

std::string OutputFolder(const std::string& folderBoxText, const std::string& photoFolder)
{
    std::string folder = folderBoxText.empty() ? photoFolder : folderBoxText;
    // A typed folder is a folder: without its '/' the sheet's name would run into the folder's own.
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder;
}

bool IsMarkedSheet(const std::string& path)
{
    return JpegHasComment(path, kSheetMark) || IsMarkedSheetPdf(path);
}

std::string SheetNameIn(const std::string& jpegName, SheetFormat format)
{
    if (format == SheetFormat::Jpeg)
        return jpegName;
    const std::size_t dot = jpegName.rfind('.');
    const std::string extension = dot == std::string::npos ? std::string() : jpegName.substr(dot + 1);
    // The j, p and g of "jpg" or "jpeg".
    std::string letters = extension;
    if (extension.size() == 4 && (extension[2] | 0x20) == 'e')
        letters.erase(2, 1);
    if (letters.size() != 3 || (letters[0] | 0x20) != 'j' || (letters[1] | 0x20) != 'p' || (letters[2] | 0x20) != 'g')
        return jpegName + ".pdf";
    // Each letter keeps the case of the one it stands for: p for j, d for p, f for g.
    std::string name = jpegName.substr(0, dot + 1);
    name += letters[0] == 'J' ? 'P' : 'p';
    name += letters[1] == 'P' ? 'D' : 'd';
    name += letters[2] == 'G' ? 'F' : 'f';
    return name;
}

std::string SheetSizeTag(const std::string& photoSizeId, const std::string& paperId)
{
    if (photoSizeId == DefaultPhotoSize().id && paperId == DefaultPaperSize().id)
        return {};
    return "_" + photoSizeId + "_" + paperId;
}

std::string DerivedSheetName(const std::string& photoFileName, const std::string& sizeTag, int number)
{
    const std::string tail = sizeTag + (number > 1 ? "_" + std::to_string(number) : std::string());
    // ".jpeg" rather than ".jpg": the folder scan takes only names ending in .jpg, so a batch run over the photo
    // folder never picks up its own sheets. Copying the cases of j, p and g keeps IMG.jpg and IMG.JPG apart.
    if (IsScannedJpegName(photoFileName)) {
        const std::size_t size = photoFileName.size();
        const char j = photoFileName[size - 3], p = photoFileName[size - 2], g = photoFileName[size - 1];
        std::string name = photoFileName.substr(0, size - 4) + "_sheet" + tail + ".";
        name += j;
        name += p;
        name += p == 'P' ? 'E' : 'e';
        name += g;
        return name;
    }
    // The whole name and a '.' before "sheet": never the sheet of a photo ending in ".jpg", whose "sheet" follows
    // a '_'.
    return photoFileName + ".sheet" + tail + ".jpeg";
}

namespace {

std::string ResolvedPath(const std::string& path)
{
    std::error_code ec;
    fs::path resolved = fs::weakly_canonical(path, ec);
    if (ec) {
        resolved = fs::absolute(path, ec);
        if (ec)
            return path;
    }
    return resolved.lexically_normal().string();
}

} // namespace

bool NameSameFile(const std::string& a, const std::string& b)
{
    if (a.empty() || b.empty())
        return a == b;
    struct stat sa { };
    struct stat sb { };
    if (::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0)
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    return ResolvedPath(a) == ResolvedPath(b);
}

bool SheetTargets::addPhoto(const std::string& path)
{
    struct stat st { };
    bool added = photos_.insert(ResolvedPath(path)).second;
    if (::stat(path.c_str(), &st) == 0)
        added = files_.insert({ static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino) })
                    .second
            && added;
    return added;
}

void SheetTargets::claim(const std::string& sheetPath, const std::string& photo)
{
    sheets_[ResolvedPath(sheetPath)] = ResolvedPath(photo);
}

bool SheetTargets::taken(const std::string& path, const std::string& photo) const
{
    const std::string resolved = ResolvedPath(path);
    if (photos_.count(resolved) > 0)
        return true;
    if (const auto sheet = sheets_.find(resolved); sheet != sheets_.end()
        && (photo.empty() || sheet->second != ResolvedPath(photo)))
        return true;
    struct stat st { };
    return ::stat(path.c_str(), &st) == 0
        && files_.count({ static_cast<unsigned long long>(st.st_dev), static_cast<unsigned long long>(st.st_ino) }) > 0;
}

namespace {

// True when a sheet of `photo` may be written at `path`: nothing is there, or an earlier sheet of ours is.
bool SheetPathFree(const std::string& path, const std::string& photo, const SheetTargets* run)
{
    if (NameSameFile(path, photo) || (run && run->taken(path, photo)))
        return false;
    struct stat st { };
    // lstat: a link, even a dangling one, is the user's. A path that cannot be looked at holds nothing of the
    // user's that the save could replace; the save says why it fails.
    if (::lstat(path.c_str(), &st) != 0)
        return true;
    return S_ISREG(st.st_mode) && IsMarkedSheet(path);
}

} // namespace

std::string OutputPath(const std::string& folderBoxText, const std::string& photoFolder,
    const std::string& currentPhotoPath, const std::string& sizeTag, const SheetTargets* run, SheetFormat format)
{
    const std::string folder = OutputFolder(folderBoxText, photoFolder);
    const std::string name = FileNameOf(currentPhotoPath);
    // A NUL ends a path for the system: such text names no file to keep clear of, and its save fails by itself.
    if (folder.find('\0') != std::string::npos || currentPhotoPath.find('\0') != std::string::npos)
        return folder + SheetNameIn(DerivedSheetName(name, sizeTag), format);
    if (!folderBoxText.empty() && sizeTag.empty()) {
        const std::string path = folder + SheetNameIn(name, format);
        if (SheetPathFree(path, currentPhotoPath, run))
            return path;
    }
    constexpr int kNamesTried = 1000;
    for (int number = 1; number <= kNamesTried; ++number) {
        const std::string path = folder + SheetNameIn(DerivedSheetName(name, sizeTag, number), format);
        if (SheetPathFree(path, currentPhotoPath, run))
            return path;
    }
    return {};
}

bool IsPhotoDone(const std::string& folderBoxText, const std::string& photoFolder, const std::string& currentPhotoPath,
    const std::string& sizeTag, const SheetTargets* run, SheetFormat format)
{
    const std::string path = OutputPath(folderBoxText, photoFolder, currentPhotoPath, sizeTag, run, format);
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(path, ec);
}

std::string OpenFolderTarget(const std::string& folderBoxText, const std::string& photoFolder)
{
    return OutputFolder(folderBoxText, photoFolder);
}

bool IsSheetTemporaryName(const std::string& name)
{
    std::string target;
    if (!IsAtomicWriteTemporaryName(name, &target))
        return false;
    // Only what a sheet save writes: the photo's own name or a derived one, ending in .jpg or .jpeg, or its PDF name.
    const auto endsWith = [&](const char* tail) {
        const std::size_t tailLength = std::char_traits<char>::length(tail);
        if (target.size() <= tailLength)
            return false;
        for (std::size_t i = 0; i < tailLength; ++i) {
            char c = target[target.size() - tailLength + i];
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
            if (c != tail[i])
                return false;
        }
        return true;
    };
    return endsWith(".jpg") || endsWith(".jpeg") || endsWith(".pdf");
}

namespace {

// Removes from `folder` (not its subfolders) the regular files owned by this user whose name `pick` takes, given
// the name and the file's status; links and others' files are never touched. Returns how many were removed.
int RemoveOwnFiles(const std::string& folder, const std::function<bool(const std::string&, const struct stat&)>& pick)
{
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), ec);
    if (ec)
        return 0;
    int removed = 0;
    const uid_t user = ::geteuid();
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        // lstat: a link of that name is not ours, whatever it points to.
        struct stat st { };
        if (::lstat(it->path().c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != user)
            continue;
        if (pick(it->path().filename().string(), st) && ::unlink(it->path().c_str()) == 0)
            ++removed;
    }
    return removed;
}

} // namespace

int RemoveSheetTemporariesOf(const std::string& sheetPath)
{
    const std::string sheetName = FileNameOf(sheetPath);
    if (sheetName.empty())
        return 0;
    return RemoveOwnFiles(FolderOf(sheetPath), [&](const std::string& name, const struct stat&) {
        std::string target;
        return IsAtomicWriteTemporaryName(name, &target) && target == sheetName;
    });
}

int RemoveStaleSheetTemporaries(const std::string& folder, std::time_t now)
{
    // A sheet save writes its temporary within seconds: one last written an hour ago belongs to a save that was
    // killed. Younger ones are left to the saves that may still be running.
    constexpr std::time_t kStaleAfter = 60 * 60;
    return RemoveOwnFiles(folder, [&](const std::string& name, const struct stat& st) {
        return IsSheetTemporaryName(name) && st.st_mtime <= now - kStaleAfter;
    });
}

int EnsureFolder(const std::string& folder, std::string* reason, int* systemError)
{
    const auto refuse = [&](int result, std::string why, int error) {
        if (reason)
            *reason = std::move(why);
        if (systemError)
            *systemError = error;
        return result;
    };
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        fs::create_directories(folder, ec);
        // create_directories reports nothing when a racing writer made the folder first; what counts is whether
        // a folder stands there now.
        if (ec || !fs::is_directory(folder, ec))
            return ec ? refuse(kSaveFolderNotCreated, ec.message(), ec.value())
                      : refuse(kSaveFolderNotCreated, "not a folder", ENOTDIR);
    }
    // A folder that cannot be entered cannot take a file either; a read-only one is left to the write to find.
    if (access(folder.c_str(), X_OK) != 0) {
        const int error = errno;
        return refuse(kSaveFolderUnusable, std::error_code(error, std::generic_category()).message(), error);
    }
    return 0;
}

namespace {

// The sheet save's checks and folder, then `write` (the JPEG's or the PDF's own atomic write).
SaveSheetOutcome SaveSheetFile(const std::string& path, const Bitmap& bitmap, int quality,
    const std::function<IoResult()>& write)
{
    // A path without any folder would land in whatever the current directory happens to be.
    const std::string folder = FolderOf(path);
    if (path.size() <= 2 || folder.empty())
        return { kSaveNoFolder, {}, { ErrorCode::NoFileName, ErrorDomain::File } };
    // Nothing that cannot be encoded creates a folder first.
    if (bitmap.Empty() || quality < 0 || quality > 100 || FileNameOf(path).empty())
        return { kSaveWriteFailed, bitmap.Empty() ? "empty bitmap" : "bad quality or file name",
            { ErrorCode::BadArgument, ErrorDomain::Encode } };

    std::string reason;
    int systemError = 0;
    const int folderResult = EnsureFolder(folder, &reason, &systemError);
    if (folderResult == kSaveFolderNotCreated)
        return { kSaveFolderNotCreated, reason, { ErrorCode::CannotWrite, ErrorDomain::File, reason, 0, 0, systemError } };
    if (folderResult != 0)
        return { kSaveFolderUnusable, reason, { ErrorCode::CannotOpen, ErrorDomain::File, reason, 0, 0, systemError } };

    const IoResult written = write();
    // After the write, so that a folder full of leftovers never delays or stops the sheet itself.
    (void)RemoveStaleSheetTemporaries(folder, std::time(nullptr));
    if (!written)
        return { kSaveWriteFailed, written.message, written.error };
    return { kSheetSaved, {}, {} };
}

JpegOptions SheetJpegOptions(int quality, int dpi)
{
    JpegOptions options;
    options.quality = quality;
    options.dpi = dpi;
    options.comment = kSheetMark;
    return options;
}

} // namespace

SaveSheetOutcome SaveSheetJpeg(const std::string& path, const Bitmap& bitmap, int quality, int dpi)
{
    return SaveSheetFile(path, bitmap, quality, [&] { return SaveJpeg(path, bitmap, SheetJpegOptions(quality, dpi)); });
}

SaveSheetOutcome SaveSheetPdf(
    const std::string& path, const Bitmap& bitmap, int quality, int dpi, const PaperSize& paper)
{
    return SaveSheetFile(
        path, bitmap, quality, [&] { return WriteSheetPdf(path, bitmap, SheetJpegOptions(quality, dpi), paper); });
}

SaveSheetOutcome SaveSheet(
    const std::string& path, const Bitmap& bitmap, int quality, int dpi, const PaperSize& paper, SheetFormat format)
{
    return format == SheetFormat::Pdf ? SaveSheetPdf(path, bitmap, quality, dpi, paper)
                                      : SaveSheetJpeg(path, bitmap, quality, dpi);
}

} // namespace vellicam
