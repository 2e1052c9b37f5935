// The recognition's private work folder.
#include "recognition/private_folder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

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

} // namespace

int EnsurePrivateFolder(const std::string& path, std::string* reason)
{
    if (path.empty() || path.front() != '/')
        return Refuse(kPrivateFolderBadPath, reason, "not an absolute path: '" + path + "'");

    std::string target = path;
    while (target.size() > 1 && target.back() == '/')
        target.pop_back();
    if (target == "/")
        return Refuse(kPrivateFolderBadPath, reason, "the root is not a private folder");
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
    std::string pattern = privateFolder + "/run-XXXXXX";
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

std::string RecognitionWorkFolder()
{
    // The user's cache folder, as the desktop's base-directory rules name it.
    std::string cache;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && xdg[0] == '/')
        cache = xdg;
    else if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        cache = std::string(home) + "/.cache";
    else
        return {};
    return cache + "/vellicam/recognition";
}

} // namespace vellicam
