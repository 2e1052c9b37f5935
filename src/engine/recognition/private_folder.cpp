// The recognition's private work folder.
#include "recognition/private_folder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vellicam {

namespace {

namespace fs = std::filesystem;

int Refuse(int code, std::string* reason, const std::string& text)
{
    if (reason)
        *reason = text;
    return code;
}

int SystemFailure(std::string* reason, const std::string& what)
{
    return Refuse(kPrivateFolderFailed, reason, what + ": " + std::strerror(errno));
}

// Someone who may rename entries in the parent could swap our folder for a link after we checked it; a parent of
// ours or root's, writable by everyone only with the sticky bit (as /tmp), rules that out. A group-writable
// parent is let through: with per-user groups, the usual umask 002 leaves every folder so.
bool SafeParent(const struct stat& st)
{
    if (!S_ISDIR(st.st_mode))
        return false;
    if (st.st_uid != ::geteuid() && st.st_uid != 0)
        return false;
    return (st.st_mode & S_IWOTH) == 0 || (st.st_mode & S_ISVTX) != 0;
}

const char* Environment(const char* name)
{
    return std::getenv(name);
}

// Creates the missing levels of `folder` closed to others, whatever the umask says.
void MakeParents(const fs::path& folder)
{
    fs::path level;
    for (const fs::path& part : folder) {
        level /= part;
        if (level != level.root_path())
            (void)::mkdir(level.c_str(), 0700);
    }
}

// The folder `path` names, without trailing '/'s, in `target`; kPrivateFolderBadPath (with the reason) for a
// relative path or the root.
int FolderTarget(const std::string& path, std::string& target, std::string* reason)
{
    if (path.empty() || path.front() != '/')
        return Refuse(kPrivateFolderBadPath, reason, "not an absolute path: '" + path + "'");
    target = path;
    while (target.size() > 1 && target.back() == '/')
        target.pop_back();
    if (target == "/")
        return Refuse(kPrivateFolderBadPath, reason, "the root is not a private folder");
    return kPrivateFolderReady;
}

} // namespace

int EnsurePrivateFolder(const std::string& path, std::string* reason)
{
    std::string target;
    if (const int refused = FolderTarget(path, target, reason); refused != kPrivateFolderReady)
        return refused;
    const fs::path parent = fs::path(target).parent_path();
    MakeParents(parent);
    struct stat parentStat { };
    if (::stat(parent.c_str(), &parentStat) != 0)
        return SystemFailure(reason, parent.string());
    if (!SafeParent(parentStat))
        return Refuse(kPrivateFolderUnsafeParent, reason, parent.string() + ": others may change it");

    // Two rounds: a file or link of ours that holds the name is removed once and the folder made in its place.
    for (int round = 0; round < 2; ++round) {
        if (::mkdir(target.c_str(), 0700) != 0 && errno != EEXIST)
            return SystemFailure(reason, target);
        const int fd = ::open(target.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            if (errno != ENOTDIR && errno != ELOOP)
                return SystemFailure(reason, target);
            struct stat st { };
            if (::lstat(target.c_str(), &st) != 0)
                return SystemFailure(reason, target);
            if (st.st_uid != ::geteuid())
                return Refuse(kPrivateFolderNotOurs, reason, target + ": held by another user's file");
            if (::unlink(target.c_str()) != 0)
                return SystemFailure(reason, target);
            continue;
        }
        struct stat st { };
        int result = kPrivateFolderReady;
        if (::fstat(fd, &st) != 0)
            result = SystemFailure(reason, target);
        else if (st.st_uid != ::geteuid())
            result = Refuse(kPrivateFolderNotOurs, reason, target + ": another user's folder");
        else if ((st.st_mode & 07777) != 0700 && ::fchmod(fd, 0700) != 0)
            result = SystemFailure(reason, target);
        ::close(fd);
        return result;
    }
    return Refuse(kPrivateFolderFailed, reason, target + ": could not be made a folder");
}

RunFolder::RunFolder(const std::string& privateFolder)
{
    if (privateFolder.empty())
        return;
    // The process id in the name lets a batch remove what a worker it lost left behind (RemoveRunFoldersOf).
    std::string pattern = privateFolder + "/run-" + std::to_string(::getpid()) + "-XXXXXX";
    if (::mkdtemp(pattern.data()))
        path_ = pattern;
}

RunFolder::~RunFolder()
{
    if (path_.empty())
        return;
    std::error_code ec;
    fs::remove_all(path_, ec);
}

int RemoveRunFoldersOf(const std::string& privateFolder, long pid)
{
    if (privateFolder.empty())
        return 0;
    const std::string prefix = "run-" + std::to_string(pid) + "-";
    std::error_code ec;
    fs::directory_iterator it(privateFolder, ec);
    if (ec)
        return 0;
    std::vector<fs::path> found;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        const std::string name = it->path().filename().string();
        if (name.size() != prefix.size() + 6 || name.rfind(prefix, 0) != 0)
            continue;
        // lstat: a link of that name is not ours, whatever it points to.
        struct stat st { };
        if (::lstat(it->path().c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid())
            found.push_back(it->path());
    }
    int removed = 0;
    for (const fs::path& folder : found)
        if (fs::remove_all(folder, ec) > 0 && !ec)
            ++removed;
    return removed;
}

int EnsureUserTemporaryFolder(const std::string& path, std::string* reason)
{
    std::string target;
    if (const int refused = FolderTarget(path, target, reason); refused != kPrivateFolderReady)
        return refused;
    const fs::path parent = fs::path(target).parent_path();
    struct stat parentStat { };
    if (::stat(parent.c_str(), &parentStat) != 0)
        return SystemFailure(reason, parent.string());
    if (!SafeParent(parentStat))
        return Refuse(kPrivateFolderUnsafeParent, reason, parent.string() + ": others may change it");

    const bool made = ::mkdir(target.c_str(), 0700) == 0;
    if (!made && errno != EEXIST)
        return SystemFailure(reason, target);
    // Opened without following a link, and checked on what was opened: a name swapped after the look is not ours.
    const int fd = ::open(target.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ELOOP || errno == ENOTDIR)
            return Refuse(kPrivateFolderNotOurs, reason, target + ": a link or a file holds the name");
        return SystemFailure(reason, target);
    }
    struct stat st { };
    int result = kPrivateFolderReady;
    if (::fstat(fd, &st) != 0)
        result = SystemFailure(reason, target);
    else if (st.st_uid != ::geteuid())
        result = Refuse(kPrivateFolderNotOurs, reason, target + ": another user's folder");
    else if (made && (st.st_mode & 07777) != 0700 && ::fchmod(fd, 0700) != 0) // a umask that took our own bits
        result = SystemFailure(reason, target);
    else if (!made && (st.st_mode & 07777) != 0700)
        result = Refuse(kPrivateFolderNotOurs, reason, target + ": open to others (not mode 0700)");
    ::close(fd);
    return result;
}

std::vector<WorkFolderPlace> RecognitionWorkFolderPlaces(const std::function<const char*(const char*)>& environment)
{
    const auto absolute = [&](const char* name) -> std::string {
        const char* value = environment(name);
        return value && value[0] == '/' ? value : "";
    };
    std::vector<WorkFolderPlace> places;
    // The user's cache folder, as the desktop's base-directory rules name it.
    if (const std::string xdg = absolute("XDG_CACHE_HOME"); !xdg.empty())
        places.push_back({ xdg + "/vellicam/recognition", {} });
    else if (const std::string home = absolute("HOME"); !home.empty())
        places.push_back({ home + "/.cache/vellicam/recognition", {} });
    const std::string user = "vellicam-" + std::to_string(::geteuid());
    for (std::string temporary : { absolute("TMPDIR"), std::string("/tmp") }) {
        while (temporary.size() > 1 && temporary.back() == '/')
            temporary.pop_back();
        if (temporary.empty())
            continue;
        const std::string userFolder = (temporary == "/" ? "" : temporary) + "/" + user;
        if (!places.empty() && places.back().userFolder == userFolder)
            continue; // TMPDIR=/tmp
        places.push_back({ userFolder + "/recognition", userFolder });
    }
    return places;
}

std::string PrepareRecognitionWorkFolder(std::string* reason)
{
    std::string first;
    for (const WorkFolderPlace& place : RecognitionWorkFolderPlaces(Environment)) {
        std::string why;
        const bool ready
            = (place.userFolder.empty() || EnsureUserTemporaryFolder(place.userFolder, &why) == kPrivateFolderReady)
            && EnsurePrivateFolder(place.folder, &why) == kPrivateFolderReady;
        if (ready)
            return place.folder;
        if (first.empty())
            first = place.folder + ": " + why;
    }
    if (reason)
        *reason = first;
    return {};
}

std::string RecognitionWorkFolder()
{
    const std::vector<WorkFolderPlace> places = RecognitionWorkFolderPlaces(Environment);
    return places.empty() ? std::string() : places.front().folder;
}

} // namespace vellicam
