// A folder only this user can reach (mode 0700, owned by us, not a link), for the files handed to the detector.
// Refuses a relative or empty path, a parent another user could rename things in, and a folder owned by someone
// else.
#pragma once

#include <string>

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

// The folder the window's recognition uses: "recognition" in the user's cache folder for this program.
[[nodiscard]] std::string RecognitionWorkFolder();

} // namespace vellicam
