// The reduced grey copy handed to the detector library.
#include "recognition/detector_image.h"

#include "image/bgr_planes.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

namespace vellicam {

namespace {

// The grey of each pixel of a row in 1/256: blue, green, red with the BT.601 weights 29, 150, 77 (at most 65280).
void GreyRow(const std::uint8_t* p, int width, std::uint16_t* grey)
{
    int x = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i wb = _mm_set1_epi16(29), wg = _mm_set1_epi16(150), wr = _mm_set1_epi16(77);
    for (; x + 16 <= width; x += 16) {
        __m128i b, g, r;
        Deinterleave(p + 3 * x, b, g, r);
        // Each product and the sum stay below 65536: 16-bit lanes, read as unsigned.
        const __m128i lo = _mm_add_epi16(
            _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(b, zero), wb), _mm_mullo_epi16(_mm_unpacklo_epi8(g, zero), wg)),
            _mm_mullo_epi16(_mm_unpacklo_epi8(r, zero), wr));
        const __m128i hi = _mm_add_epi16(
            _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(b, zero), wb), _mm_mullo_epi16(_mm_unpackhi_epi8(g, zero), wg)),
            _mm_mullo_epi16(_mm_unpackhi_epi8(r, zero), wr));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(grey + x), lo);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(grey + x + 8), hi);
    }
#endif
    for (; x < width; ++x) {
        const std::uint8_t* q = p + 3 * x;
        grey[x] = static_cast<std::uint16_t>(29u * q[0] + 150u * q[1] + 77u * q[2]);
    }
}

} // namespace

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
    std::vector<std::uint16_t> grey;
    try {
        bytes.resize(header.size() + static_cast<std::size_t>(w) * h);
        sums.resize(static_cast<std::size_t>(w));
        grey.resize(static_cast<std::size_t>(imageWidth));
    } catch (const std::bad_alloc&) {
        return "no memory for the detector's image";
    }
    std::memcpy(bytes.data(), header.data(), header.size());
    std::uint8_t* out = bytes.data() + header.size();
    for (int by = 0; by < h; ++by) {
        std::fill(sums.begin(), sums.end(), 0u);
        const int y0 = by * factor, y1 = std::min(imageHeight, y0 + factor);
        for (int y = y0; y < y1; ++y) {
            GreyRow(image.Row(y), imageWidth, grey.data());
            const std::uint16_t* g = grey.data();
            for (int bx = 0; bx < w; ++bx) {
                const int columns = std::min(imageWidth, (bx + 1) * factor) - bx * factor;
                std::uint32_t sum = 0;
                for (int i = 0; i < columns; ++i)
                    sum += *g++;
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
