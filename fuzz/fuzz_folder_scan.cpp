// ScanDroppedFolder over a small folder built from the input: files, subfolders, symbolic links to either, dangling
// and looping links and pipes, under names with odd bytes. The counts must match what was built, and every listed
// photo must be a regular file directly inside the folder with a JPEG name, in byte order.
#include "image/folder_scan.h"
#include "fuzz_support.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace vellicam;
namespace fs = std::filesystem;

namespace {

enum class Kind { File, Folder, LinkToFile, LinkToFolder, Dangling, Loop, Pipe, kCount };

struct Expected {
    int subfolders = 0, files = 0;
    std::set<std::string> photos;
};

// A name of 1..60 bytes with anything but '/' and NUL; "." and ".." are kept out as the folder's own entries.
std::string ConsumeName(FuzzedDataProvider& input)
{
    std::string name = input.ConsumeRandomLengthString(60);
    name.erase(std::remove_if(name.begin(), name.end(), [](char c) { return c == '/' || c == '\0'; }), name.end());
    if (name.empty() || name == "." || name == "..")
        name = "x" + name;
    // Most names should take part in the JPEG rule, so many get an extension in some spelling.
    static const char* const kTails[] = { "", ".jpg", ".JPG", ".jPg", ".jpeg", ".jpg ", "jpg" };
    name += kTails[input.ConsumeIntegralInRange<int>(0, 6)];
    return name;
}

bool Build(const fs::path& folder, Kind kind, const std::string& name, const std::string& content, Expected& expected)
{
    const std::string path = (folder / name).string();
    const std::string inside = (folder.parent_path() / ".targets").string();
    switch (kind) {
    case Kind::File: {
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f)
            return false;
        std::fwrite(content.data(), 1, content.size(), f);
        std::fclose(f);
        ++expected.files;
        if (IsScannedJpegName(name))
            expected.photos.insert(name);
        return true;
    }
    case Kind::Folder:
        if (::mkdir(path.c_str(), 0700) != 0)
            return false;
        ++expected.subfolders;
        return true;
    case Kind::LinkToFile:
        if (::symlink((inside + "/file").c_str(), path.c_str()) != 0)
            return false;
        ++expected.files;
        if (IsScannedJpegName(name))
            expected.photos.insert(name);
        return true;
    case Kind::LinkToFolder:
        if (::symlink(inside.c_str(), path.c_str()) != 0)
            return false;
        ++expected.subfolders;
        return true;
    case Kind::Dangling:
        return ::symlink((inside + "/missing").c_str(), path.c_str()) == 0;
    case Kind::Loop:
        return ::symlink(name.c_str(), path.c_str()) == 0;
    case Kind::Pipe:
        if (::mkfifo(path.c_str(), 0600) != 0)
            return false;
        ++expected.files;
        return true;
    case Kind::kCount:
        break;
    }
    return false;
}

void CheckScan(const FolderScan& scan, const fs::path& folder, const Expected& expected)
{
    FUZZ_CHECK(scan.SubfolderCount == expected.subfolders);
    FUZZ_CHECK(scan.FileCount == expected.files);
    FUZZ_CHECK(scan.JpegCount == static_cast<int>(expected.photos.size()));
    FUZZ_CHECK(scan.JpegCount == static_cast<int>(scan.files.size()));
    FUZZ_CHECK(scan.JpegCount <= scan.FileCount);
    FUZZ_CHECK(std::is_sorted(scan.files.begin(), scan.files.end()));
    const std::string prefix = folder.string() + "/";
    auto photo = expected.photos.begin();
    for (const std::string& path : scan.files) {
        FUZZ_CHECK(path.compare(0, prefix.size(), prefix) == 0);
        const std::string name = path.substr(prefix.size());
        FUZZ_CHECK(name.find('/') == std::string::npos);
        FUZZ_CHECK(IsScannedJpegName(name));
        FUZZ_CHECK(photo != expected.photos.end() && *photo == name);
        ++photo;
        struct stat st { };
        FUZZ_CHECK(::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const fs::path root = [] {
        const std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        const fs::path made = base + "/vellicam-fuzz-scan-" + std::to_string(::getpid());
        fs::create_directories(made / ".targets" / "sub");
        FILE* f = std::fopen((made / ".targets" / "file").c_str(), "wb");
        if (f)
            std::fclose(f);
        std::atexit([] { fs::remove_all(root); });
        return made;
    }();
    const fs::path folder = root / "scan";
    std::error_code ec;
    fs::remove_all(folder, ec);
    if (!fs::create_directory(folder, ec))
        return 0;

    FuzzedDataProvider input(data, size);
    Expected expected;
    std::set<std::string> used;
    const int entries = input.ConsumeIntegralInRange<int>(0, 12);
    for (int i = 0; i < entries && input.remaining_bytes() > 0; ++i) {
        const Kind kind = static_cast<Kind>(input.ConsumeIntegralInRange<int>(0, static_cast<int>(Kind::kCount) - 1));
        const std::string name = ConsumeName(input);
        if (!used.insert(name).second)
            continue;
        const std::string content = input.ConsumeRandomLengthString(16);
        if (!Build(folder, kind, name, content, expected))
            used.erase(name);
    }

    // The links point into a hidden folder beside the scanned one, so they never show up as its own entries.
    const std::string item = folder.string();
    CheckScan(ScanDroppedFolder(item), folder, expected);
    CheckScan(ScanDroppedFolder(item + "/"), folder, expected);

    // Anything that is not a folder lists nothing; a subfolder is scanned as a folder of its own.
    std::string rest = input.ConsumeRemainingBytesAsString();
    rest.erase(std::remove(rest.begin(), rest.end(), '\0'), rest.end());
    const std::string other = (folder / rest).string();
    const FolderScan elsewhere = ScanDroppedFolder(other);
    struct stat st { };
    if (::stat(other.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        FUZZ_CHECK(elsewhere.files.empty());
        FUZZ_CHECK(elsewhere.SubfolderCount == 0 && elsewhere.FileCount == 0 && elsewhere.JpegCount == 0);
    } else {
        FUZZ_CHECK(static_cast<int>(elsewhere.files.size()) == elsewhere.JpegCount);
    }
    return 0;
}
