// Finding the detector's files beside the program or in the installed tree.
#include "recognition/detector_files.h"

#include "recognition/face_detector.h"
#include "recognition/recognition_rules.h"
#include "recognition/recognition_run.h"

#include <filesystem>
#include <string_view>

// The installed folders relative to the installed program's folder, from the build's install layout.
#ifndef VELLICAM_RELATIVE_LIBRARY_DIR
#define VELLICAM_RELATIVE_LIBRARY_DIR "../lib/vellicam"
#endif
#ifndef VELLICAM_RELATIVE_DATA_DIR
#define VELLICAM_RELATIVE_DATA_DIR "../share/vellicam"
#endif

namespace vellicam {

namespace {

namespace fs = std::filesystem;

std::string Folder(const fs::path& path)
{
    std::string text = path.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

bool HasFile(const std::string& folder, std::string_view name)
{
    std::error_code ec;
    return fs::is_regular_file(fs::path(folder) / name, ec);
}

// The first folder holding `name`; else the installed one (the last) when it exists, else the program's own.
std::string Choose(const std::vector<std::string>& folders, std::string_view name)
{
    for (const std::string& folder : folders)
        if (HasFile(folder, name))
            return folder;
    std::error_code ec;
    return fs::is_directory(folders.back(), ec) ? folders.back() : folders.front();
}

std::string Join(const std::string& folder, std::string_view name)
{
    return (fs::path(folder) / name).string();
}

} // namespace

std::string ProgramFolder(std::string* reason)
{
    std::error_code ec;
    const fs::path program = fs::read_symlink("/proc/self/exe", ec);
    if (ec || !program.is_absolute()) {
        if (reason)
            *reason = ec ? ec.message() : "/proc/self/exe is not an absolute path";
        return {};
    }
    return Folder(program.parent_path());
}

DetectorFiles FindDetectorFiles(const std::string& programFolder)
{
    DetectorFiles files;
    if (programFolder.empty())
        return files;
    std::error_code ec;
    fs::path program = fs::absolute(programFolder, ec);
    if (ec)
        program = programFolder;
    const std::string own = Folder(program);
    files.libraryFolders = { own };
    files.dataFolders = { own };
    // An install layout that keeps everything in the program's folder has nothing more to look in.
    if (const std::string installed = Folder(program / VELLICAM_RELATIVE_LIBRARY_DIR); installed != own)
        files.libraryFolders.push_back(installed);
    if (const std::string installed = Folder(program / VELLICAM_RELATIVE_DATA_DIR); installed != own)
        files.dataFolders.push_back(installed);

    files.library = Join(Choose(files.libraryFolders, kDetectorLibraryName), kDetectorLibraryName);
    const std::string data = Choose(files.dataFolders, kFaceCascadeFile);
    files.faceCascade = Join(data, kFaceCascadeFile);
    files.chinCascade = Join(data, kChinCascadeFile);
    files.notice = Join(data, kRecognitionNotice);
    files.personModel = Join(data, kPersonModelFile);
    files.faceModel = Join(data, kFaceModelFile);
    return files;
}

std::string FolderList(const std::vector<std::string>& folders)
{
    std::string text;
    for (size_t i = 0; i < folders.size(); ++i) {
        if (i > 0)
            text += i + 1 == folders.size() ? " or " : ", ";
        text += folders[i];
    }
    return text;
}

} // namespace vellicam
