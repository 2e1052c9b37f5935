// DecodeJpeg on arbitrary bytes, and now and then the same bytes through LoadJpeg's file path and through
// LoadImageInto's with two decoders: either all read the same picture or all refuse, a refusal leaves the target
// bitmap as it was, and nothing crashes or leaks.
#include "fuzz_support.h"
#include "image/image_io.h"

#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

using namespace vellicam;

namespace {

// A file in memory, named through /proc, for LoadJpeg's stdio source.
class MemoryFile {
public:
    MemoryFile()
        : fd_(::memfd_create("vellicam-fuzz-jpeg", MFD_CLOEXEC))
    {
        if (fd_ >= 0)
            path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~MemoryFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool Write(const std::uint8_t* data, std::size_t size)
    {
        if (fd_ < 0 || ::ftruncate(fd_, 0) != 0)
            return false;
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
            if (n <= 0)
                return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }
    const std::string& Path() const { return path_; }

private:
    int fd_;
    std::string path_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Bitmap fromMemory = fuzz::Sentinel();
    const IoResult decoded = DecodeJpeg(data, size, fromMemory);
    if (decoded) {
        fuzz::CheckDecoded(fromMemory);
        FUZZ_CHECK(decoded.message.empty());
    } else {
        FUZZ_CHECK(!decoded.message.empty());
        FUZZ_CHECK(fuzz::IsSentinel(fromMemory));
    }

    // The file path costs a write and a second decode; one input in eight is enough to keep the two honest.
    if (size == 0 || data[size / 2] % 8 != 0)
        return 0;
    static MemoryFile file;
    if (!file.Write(data, size))
        return 0;
    Bitmap fromFile = fuzz::Sentinel();
    const IoResult loaded = LoadJpeg(file.Path(), fromFile);
    FUZZ_CHECK(loaded.ok == decoded.ok);
    if (loaded)
        FUZZ_CHECK(fromFile.SameAs(fromMemory));
    else
        FUZZ_CHECK(fuzz::IsSentinel(fromFile));

    // Into a canvas, the lower rows of a large enough photo on a second decoder (for what is taken for a JPEG: the
    // canvas's reader goes by the content's first bytes, the decoder alone does not look).
    if (SniffImageFormat(file.Path()) != ImageFormat::Jpeg)
        return 0;
    Bitmap canvas;
    const PhotoPlacement place = [&canvas](int w, int h, int& left, int& top) -> Bitmap* {
        left = top = 0;
        return canvas.ResizeUninitialized(w, h) ? &canvas : nullptr;
    };
    const IoResult placed = LoadImageInto(file.Path(), place, {}, {}, 2);
    FUZZ_CHECK(placed.ok == decoded.ok);
    if (placed)
        FUZZ_CHECK(canvas.SameAs(fromMemory));
    return 0;
}
