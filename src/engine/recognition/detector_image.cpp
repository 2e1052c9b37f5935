// The reduced grey copy handed to the detector library.
#include "recognition/detector_image.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace vellicam {

int DetectorImageFactor(int imageWidth, int imageHeight)
{
    const int side = std::max(imageWidth, imageHeight);
    if (side <= kDetectorImageLongSide)
        return 1;
    return (side + kDetectorImageLongSide - 1) / kDetectorImageLongSide;
}

std::string WriteDetectorImage(const Bitmap& image, int factor, const std::string& path)
{
    if (image.Empty() || factor < 1)
        return "no image to hand to the detector";
    const int imageWidth = image.Width(), imageHeight = image.Height();
    const int w = (imageWidth + factor - 1) / factor, h = (imageHeight + factor - 1) / factor;
    const std::string header = "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    std::vector<std::uint8_t> bytes;
    std::vector<std::uint32_t> sums;
    try {
        bytes.resize(header.size() + static_cast<std::size_t>(w) * h);
        sums.resize(static_cast<std::size_t>(w));
    } catch (const std::bad_alloc&) {
        return "no memory for the detector's image";
    }
    std::memcpy(bytes.data(), header.data(), header.size());
    std::uint8_t* out = bytes.data() + header.size();
    for (int by = 0; by < h; ++by) {
        std::fill(sums.begin(), sums.end(), 0u);
        const int y0 = by * factor, y1 = std::min(imageHeight, y0 + factor);
        for (int y = y0; y < y1; ++y) {
            const std::uint8_t* p = image.Row(y);
            for (int bx = 0; bx < w; ++bx) {
                const int columns = std::min(imageWidth, (bx + 1) * factor) - bx * factor;
                std::uint32_t sum = 0;
                for (int i = 0; i < columns; ++i, p += 3)
                    // Blue, green, red with the BT.601 weights in 1/256: 29, 150, 77.
                    sum += 29u * p[0] + 150u * p[1] + 77u * p[2];
                sums[static_cast<std::size_t>(bx)] += sum;
            }
        }
        for (int bx = 0; bx < w; ++bx) {
            const std::uint32_t count
                = static_cast<std::uint32_t>(y1 - y0) * (std::min(imageWidth, (bx + 1) * factor) - bx * factor);
            out[static_cast<std::size_t>(by) * w + bx] = static_cast<std::uint8_t>((sums[bx] / count + 128) >> 8);
        }
    }

    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return path + ": " + std::strerror(errno);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : ENOSPC;
            ::close(fd);
            ::unlink(path.c_str());
            return path + ": " + std::strerror(error);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(path.c_str());
        return path + ": " + std::strerror(error);
    }
    return {};
}

} // namespace vellicam
