// Helpers shared by the fuzzers.
#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace vellicam::fuzz {

void Fail(const char* file, int line, const char* what)
{
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, what);
    std::abort();
}

ScratchFile::ScratchFile(const std::string& suffix)
{
    const std::string folder = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    path_ = folder + "/vellicam-fuzz-" + std::to_string(::getpid()) + suffix;
}

ScratchFile::~ScratchFile()
{
    ::unlink(path_.c_str());
}

bool ScratchFile::Write(const std::uint8_t* data, std::size_t size)
{
    const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return ::close(fd) == 0 && done == size;
}

Bitmap Sentinel()
{
    Bitmap bitmap;
    if (!bitmap.Resize(3, 2))
        std::abort();
    bitmap.SetPixel(0, 0, { 1, 2, 3 });
    bitmap.SetPixel(2, 1, { 250, 251, 252 });
    return bitmap;
}

bool IsSentinel(const Bitmap& bitmap)
{
    const Bitmap expected = Sentinel();
    if (bitmap.Width() != expected.Width() || bitmap.Height() != expected.Height())
        return false;
    for (int y = 0; y < expected.Height(); ++y)
        for (int x = 0; x < expected.Width(); ++x)
            if (!(bitmap.Pixel(x, y) == expected.Pixel(x, y)))
                return false;
    return true;
}

void CheckDecoded(const Bitmap& bitmap)
{
    FUZZ_CHECK(!bitmap.Empty());
    FUZZ_CHECK(bitmap.Width() > 0 && bitmap.Height() > 0);
    FUZZ_CHECK(static_cast<std::int64_t>(bitmap.Width()) * bitmap.Height() <= kMaxBitmapPixels);
    FUZZ_CHECK(bitmap.Stride() >= static_cast<std::size_t>(bitmap.Width()) * 3);
}

} // namespace vellicam::fuzz
