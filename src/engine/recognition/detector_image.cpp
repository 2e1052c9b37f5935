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

// At most 65280 each.
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

int DetectorImageFactor(int imageWidth, int imageHeight)
{
    const int side = std::max(imageWidth, imageHeight);
    if (side <= kDetectorImageLongSide)
        return 1;
    return (side + kDetectorImageLongSide - 1) / kDetectorImageLongSide;
}

bool MakeDetectorImage(const Bitmap& image, int factor, GreyImage& grey)
{
    if (image.Empty() || factor < 1)
        return false;
    const int imageWidth = image.Width(), imageHeight = image.Height();
    const int w = (imageWidth + factor - 1) / factor, h = (imageHeight + factor - 1) / factor;
    GreyImage made { w, h, std::vector<std::uint8_t>(static_cast<std::size_t>(w) * h) };
    std::vector<std::uint32_t> sums(static_cast<std::size_t>(w));
    std::vector<std::uint16_t> greys(static_cast<std::size_t>(imageWidth));
    std::uint8_t* out = made.pixels.data();
    for (int by = 0; by < h; ++by) {
        std::fill(sums.begin(), sums.end(), 0u);
        const int y0 = by * factor, y1 = std::min(imageHeight, y0 + factor);
        for (int y = y0; y < y1; ++y) {
            GreyRow(image.Row(y), imageWidth, greys.data());
            const std::uint16_t* g = greys.data();
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
            out[static_cast<std::size_t>(by) * w + bx] = BlockGrey(sums[static_cast<std::size_t>(bx)], count);
        }
    }
    grey = std::move(made);
    return true;
}

std::string WriteDetectorImage(const Bitmap& image, int factor, const std::string& path)
{
    if (image.Empty() || factor < 1)
        return "no image to hand to the detector";
    GreyImage grey;
    try {
        (void)MakeDetectorImage(image, factor, grey);
    } catch (const std::bad_alloc&) {
        return "no memory for the detector's image";
    }
    return WriteGreyImage(grey, path);
}

std::string WriteGreyImage(const GreyImage& grey, const std::string& path)
{
    const std::string header = "P5\n" + std::to_string(grey.width) + " " + std::to_string(grey.height) + "\n255\n";
    std::vector<std::uint8_t> bytes;
    try {
        bytes.reserve(header.size() + grey.pixels.size());
    } catch (const std::bad_alloc&) {
        return "no memory for the detector's image";
    }
    bytes.insert(bytes.end(), header.begin(), header.end());
    bytes.insert(bytes.end(), grey.pixels.begin(), grey.pixels.end());

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
