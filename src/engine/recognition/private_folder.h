// A folder only this user can reach (mode 0700, owned by us, not a link), for the files handed to the detector.
// Refuses a relative or empty path, a parent another user could rename things in, and a folder owned by someone
// else.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vellicam {

enum PrivateFolderResult : int {
    kPrivateFolderReady = 0,
    kPrivateFolderBadPath = -1, // empty or relative
    kPrivateFolderUnsafeParent = -2, // the parent is another user's, or writable by all without the sticky bit
    kPrivateFolderNotOurs = -3, // the name is held by something of another user's
    kPrivateFolderFailed = -4, // the system refused to create, enter or fix it
};

// Makes `path` a folder with mode 0700 owned by the effective user, creating its missing parents and the folder
// itself (missing levels closed to others too). A folder of ours with a wider mode is narrowed; a file or a link of
// ours in its place is removed first. On a failure `reason` (when given) gets the system's words.
[[nodiscard]] int EnsurePrivateFolder(const std::string& path, std::string* reason = nullptr);

// A fresh folder of one run's own (mode 0700) inside a private folder, removed with its contents when the object
// goes: two windows recognising at once must not hand each other's image to the detector, and a portrait has no
// business lingering in a cache.
class RunFolder {
public:
    // Empty Path() when the folder could not be made.
    explicit RunFolder(const std::string& privateFolder);
    ~RunFolder();
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;
    [[nodiscard]] const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// Removes the run folders that process `pid` made in `privateFolder` (a RunFolder's name carries its maker's process
// id) with their contents: what a process killed while recognising left behind. Only folders of ours are touched;
// call it before the process is reaped, so that its id cannot have passed to another process yet. Returns how many
// were removed.
int RemoveRunFoldersOf(const std::string& privateFolder, long pid);

// Makes `path`, a per-user folder directly inside a temporary folder others share (/tmp), ready: created with mode
// 0700 when missing; when it exists it must be a folder (not a link) of ours with mode 0700 already, since someone
// else may have made it first to watch or swap what we put there. Nothing of another's is removed or changed. The
// temporary folder itself must be root's or ours, and sticky when writable by all.
[[nodiscard]] int EnsureUserTemporaryFolder(const std::string& path, std::string* reason = nullptr);

// One place recognition may work in.
struct WorkFolderPlace {
    std::string folder; // the work folder itself
    std::string userFolder; // the per-user folder in a shared temporary folder it lies in; "" for the user's cache
};

// Where recognition may work, best first, with `environment` standing for getenv: "vellicam/recognition" in the
// user's cache folder (XDG_CACHE_HOME, else HOME/.cache, absolute paths only), then "recognition" in the per-user
// folder "vellicam-<uid>" of $TMPDIR and of /tmp. Without a home (cron, a service, a container) or with a cache
// that cannot be made, the temporary folders serve.
[[nodiscard]] std::vector<WorkFolderPlace> RecognitionWorkFolderPlaces(
    const std::function<const char*(const char*)>& environment);

// The first of the places (for this process's environment) that can be made ready, made ready; "" when none can,
// `reason` (when given) then saying why the first could not.
[[nodiscard]] std::string PrepareRecognitionWorkFolder(std::string* reason = nullptr);

// The folder the window's recognition uses when the user's cache can be had: the first place for this process's
// environment.
[[nodiscard]] std::string RecognitionWorkFolder();

} // namespace vellicam
