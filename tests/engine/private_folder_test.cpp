// The private folder recognition works in: made ours and closed to others, refused where others could change it.
#include "recognition/private_folder.h"
#include "test_support.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <unistd.h>
#include <vector>

namespace vellicam::test {
namespace {

namespace fs = std::filesystem;

unsigned Mode(const std::string& path)
{
    struct stat st { };
    return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0xFFFFu;
}

TEST(PrivateFolder, IsMadeOursAndClosedToOthers)
{
    ScratchDir dir;
    const std::string folder = dir / "a/b/recognition";
    ASSERT_EQ(EnsurePrivateFolder(folder), kPrivateFolderReady);
    EXPECT_EQ(Mode(folder), 0700u);

    ::chmod(folder.c_str(), 0755);
    ASSERT_EQ(EnsurePrivateFolder(folder + "/"), kPrivateFolderReady);
    EXPECT_EQ(Mode(folder), 0700u);

    // A link in its place is replaced by a folder; what it pointed at stays as it was.
    fs::create_directory(dir / "elsewhere");
    ::chmod((dir / "elsewhere").c_str(), 0755);
    fs::remove(folder);
    fs::create_directory_symlink(dir / "elsewhere", folder);
    ASSERT_EQ(EnsurePrivateFolder(folder), kPrivateFolderReady);
    EXPECT_TRUE(fs::is_directory(fs::symlink_status(folder)));
    EXPECT_EQ(Mode(dir / "elsewhere"), 0755u);

    fs::remove(folder);
    WriteFile(folder, "x");
    ASSERT_EQ(EnsurePrivateFolder(folder), kPrivateFolderReady);
    EXPECT_TRUE(fs::is_directory(folder));
}

TEST(PrivateFolder, RefusesRelativePathsAndParentsOthersMayChange)
{
    ScratchDir dir;
    EXPECT_EQ(EnsurePrivateFolder(""), kPrivateFolderBadPath);
    EXPECT_EQ(EnsurePrivateFolder("relative/recognition"), kPrivateFolderBadPath);

    const std::string open = dir / "open";
    fs::create_directory(open);
    ::chmod(open.c_str(), 0777);
    std::string reason;
    EXPECT_EQ(EnsurePrivateFolder(open + "/recognition", &reason), kPrivateFolderUnsafeParent);
    EXPECT_FALSE(reason.empty());
    EXPECT_FALSE(fs::exists(open + "/recognition"));
    // The sticky bit keeps others from renaming what is ours, as in /tmp.
    ::chmod(open.c_str(), 01777);
    EXPECT_EQ(EnsurePrivateFolder(open + "/recognition"), kPrivateFolderReady);
}

TEST(PrivateFolder, WorkFolderPlacesFollowTheEnvironment)
{
    const std::string user = "vellicam-" + std::to_string(::geteuid());
    const auto temporary = [&](const std::string& folder) { return folder + "/" + user + "/recognition"; };
    struct Case {
        const char *xdg, *home, *tmpdir;
        std::vector<std::string> folders;
    };
    const Case cases[] = {
        { "/c", "/h", "/t", { "/c/vellicam/recognition", temporary("/t"), temporary("/tmp") } },
        { nullptr, "/h", nullptr, { "/h/.cache/vellicam/recognition", temporary("/tmp") } },
        { "relative", "/h", "", { "/h/.cache/vellicam/recognition", temporary("/tmp") } },
        // env -i: no home at all.
        { nullptr, nullptr, nullptr, { temporary("/tmp") } },
        { nullptr, "", "/t//", { temporary("/t"), temporary("/tmp") } },
        { nullptr, nullptr, "/tmp/", { temporary("/tmp") } },
        { nullptr, nullptr, "/", { "/" + user + "/recognition", temporary("/tmp") } },
    };
    for (const Case& c : cases) {
        const std::vector<WorkFolderPlace> places = RecognitionWorkFolderPlaces([&](const char* name) -> const char* {
            const std::string n = name;
            return n == "XDG_CACHE_HOME" ? c.xdg : n == "HOME" ? c.home : n == "TMPDIR" ? c.tmpdir : nullptr;
        });
        std::vector<std::string> folders;
        for (const WorkFolderPlace& place : places) {
            folders.push_back(place.folder);
            // A place in a shared temporary folder names the per-user folder it must check first.
            const bool shared = place.folder.find("/" + user + "/") != std::string::npos;
            EXPECT_EQ(place.userFolder.empty(), !shared) << place.folder;
            if (shared) {
                EXPECT_EQ(place.userFolder + "/recognition", place.folder);
            }
        }
        EXPECT_EQ(folders, c.folders) << (c.tmpdir ? c.tmpdir : "no TMPDIR");
    }
}

// In a shared temporary folder the per-user folder is made 0700, or taken only as it is when already ours, 0700 and
// not a link: someone who made it first could watch or swap the photos put there. Nothing found is changed.
TEST(PrivateFolder, APerUserFolderInASharedTemporaryFolderIsTakenOnlyWhenOursAndClosed)
{
    ScratchDir dir;
    const std::string tmp = dir / "tmp";
    fs::create_directory(tmp);
    ::chmod(tmp.c_str(), 01777);
    fs::create_directory(dir / "mine");
    ::chmod((dir / "mine").c_str(), 0700);
    enum Setup { Nothing, Closed, Open, Link, File, Others };
    struct Case {
        const char* what;
        Setup setup;
        int result;
    };
    const Case cases[] = {
        { "missing: made", Nothing, kPrivateFolderReady },
        { "ours and 0700", Closed, kPrivateFolderReady },
        { "ours but 0755", Open, kPrivateFolderNotOurs },
        { "a link to a 0700 folder of ours", Link, kPrivateFolderNotOurs },
        { "a file", File, kPrivateFolderNotOurs },
        { "another user's", Others, kPrivateFolderNotOurs },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string folder = tmp + "/vellicam-test";
        fs::remove_all(folder);
        if (c.setup == Closed || c.setup == Open || c.setup == Others) {
            fs::create_directory(folder);
            ::chmod(folder.c_str(), c.setup == Open ? 0755 : 0700);
        }
        if (c.setup == Others && (::geteuid() != 0 || ::chown(folder.c_str(), 65534, 65534) != 0))
            continue; // only root can make a folder another user's
        if (c.setup == Link)
            fs::create_directory_symlink(dir / "mine", folder);
        if (c.setup == File)
            WriteFile(folder, "x");
        const unsigned before = Mode(folder);
        std::string reason;
        EXPECT_EQ(EnsureUserTemporaryFolder(folder, &reason), c.result) << reason;
        if (c.result == kPrivateFolderReady) {
            EXPECT_EQ(Mode(folder), 0700u);
            EXPECT_TRUE(fs::is_directory(fs::symlink_status(folder)));
        } else {
            EXPECT_FALSE(reason.empty());
            EXPECT_EQ(Mode(folder), before);
        }
    }
    EXPECT_EQ(Mode(dir / "mine"), 0700u);
    ::chmod(tmp.c_str(), 0777);
    EXPECT_EQ(EnsureUserTemporaryFolder(tmp + "/vellicam-test"), kPrivateFolderUnsafeParent)
        << "a temporary folder all may write in without the sticky bit";
}

// Without a home the work folder is made in $TMPDIR; a home whose cache cannot be made gives way to it too.
TEST(PrivateFolder, WithoutAUsableHomeTheTemporaryFolderServes)
{
    ScratchDir dir;
    const std::string user = "vellicam-" + std::to_string(::geteuid());
    WriteFile(dir / "file", "not a folder");
    const auto keep = [](const char* name) {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    };
    const std::optional<std::string> xdg = keep("XDG_CACHE_HOME"), home = keep("HOME"), tmpdir = keep("TMPDIR");
    ::unsetenv("XDG_CACHE_HOME");
    ::setenv("TMPDIR", dir.Path().c_str(), 1);
    const std::string unmakeable = dir / "file"; // a home whose .cache cannot be made
    for (const char* homeValue : { static_cast<const char*>(nullptr), unmakeable.c_str() }) {
        if (homeValue)
            ::setenv("HOME", homeValue, 1);
        else
            ::unsetenv("HOME");
        std::string reason;
        EXPECT_EQ(PrepareRecognitionWorkFolder(&reason), dir / user + "/recognition") << reason;
        EXPECT_EQ(Mode(dir / user), 0700u);
        EXPECT_EQ(Mode(dir / user + "/recognition"), 0700u);
    }
    const auto restore = [](const char* name, const std::optional<std::string>& value) {
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    };
    restore("XDG_CACHE_HOME", xdg);
    restore("HOME", home);
    restore("TMPDIR", tmpdir);
}

} // namespace
} // namespace vellicam::test
