// The private folder recognition works in: made ours and closed to others, refused where others could change it.
#include "recognition/private_folder.h"
#include "test_support.h"

#include <sys/stat.h>

#include <filesystem>
#include <gtest/gtest.h>

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

} // namespace
} // namespace vellicam::test
