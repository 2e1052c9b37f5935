// The cache files of loaded models: a 64-byte header (what, from which source, how long, its checksum) and the
// model's flat data after it.
#include "model_cache.h"

#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vellicam::facedetect {

namespace {

constexpr char kMagic[8] = { 'V', 'L', 'C', 'M', 'O', 'D', 'E', 'L' };
// Raised whenever the header, the checksum or a model's flat layout changes, so that older files are rebuilt, not
// misread.
constexpr std::uint32_t kFormat = 2;

struct FileHeader {
    char Magic[8];
    std::uint32_t Format;
    std::uint32_t Kind;
    std::uint64_t SourceSize;
    std::int64_t SourceTime;
    std::uint64_t PayloadSize;
    std::uint64_t Checksum;
    unsigned char Reserved[16];
};
static_assert(sizeof(FileHeader) == 64, "the header keeps the payload 64-byte aligned in the mapping");

bool WriteAll(int fd, const void* data, std::size_t size)
{
    const auto* p = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

std::filesystem::path ModelCacheFolder()
{
    const auto absolute = [](const char* name) -> std::string {
        const char* value = std::getenv(name);
        return value && value[0] == '/' ? value : "";
    };
    if (const std::string xdg = absolute("XDG_CACHE_HOME"); !xdg.empty())
        return std::filesystem::path(xdg) / "vellicam";
    if (const std::string home = absolute("HOME"); !home.empty())
        return std::filesystem::path(home) / ".cache" / "vellicam";
    return {};
}

bool CacheSourceOf(const std::filesystem::path& file, CacheSource& source)
{
    struct stat st { };
    if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    source.Size = static_cast<std::uint64_t>(st.st_size);
    source.Time = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

std::filesystem::path CacheOwnBinary()
{
    Dl_info info {};
    if (dladdr(reinterpret_cast<void*>(&CacheOwnBinary), &info) == 0 || !info.dli_fname)
        return {};
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::canonical(info.dli_fname, ec);
    return ec ? std::filesystem::path() : self;
}

namespace {

// CRC-32C (Castagnoli's polynomial, reflected), eight tables of it so that a word of eight bytes takes eight lookups.
struct CrcTables {
    std::uint32_t Of[8][256];
};

constexpr CrcTables MakeCrcTables()
{
    CrcTables t {};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c >> 1) ^ (0x82F63B78u & (0u - (c & 1u)));
        t.Of[0][n] = c;
    }
    for (int k = 1; k < 8; ++k)
        for (std::uint32_t n = 0; n < 256; ++n)
            t.Of[k][n] = (t.Of[k - 1][n] >> 8) ^ t.Of[0][t.Of[k - 1][n] & 0xFF];
    return t;
}

constexpr CrcTables kCrc = MakeCrcTables();

// Eight bytes in file order, whatever the machine's own order.
std::uint64_t LittleEndianWord(const unsigned char* p)
{
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    if constexpr (std::endian::native == std::endian::big)
        w = __builtin_bswap64(w);
    return w;
}

std::uint32_t CrcByte(std::uint32_t crc, unsigned char byte)
{
    return (crc >> 8) ^ kCrc.Of[0][(crc ^ byte) & 0xFF];
}

// What the processor's crc32 instruction computes for a word.
struct TableCrc {
    std::uint32_t operator()(std::uint32_t crc, const unsigned char* p) const
    {
        const std::uint64_t w = LittleEndianWord(p) ^ crc;
        const auto& t = kCrc.Of;
        return t[7][w & 0xFF] ^ t[6][(w >> 8) & 0xFF] ^ t[5][(w >> 16) & 0xFF] ^ t[4][(w >> 24) & 0xFF]
            ^ t[3][(w >> 32) & 0xFF] ^ t[2][(w >> 40) & 0xFF] ^ t[1][(w >> 48) & 0xFF] ^ t[0][w >> 56];
    }
};

// Three CRCs over the three thirds of the whole words, so that three words are in flight at once (the instruction
// takes three cycles and starts one each cycle), the bytes after them onto the last; 64 bits mixed from the three
// and the size.
template <typename WordCrc>
[[gnu::always_inline]] inline std::uint64_t ThreeLaneChecksum(const unsigned char* data, std::size_t size, WordCrc crc)
{
    const std::size_t third = size / 24 * 8;
    std::uint32_t lane[3] = { ~0u, ~0u, ~0u };
    for (std::size_t i = 0; i < third; i += 8) {
        lane[0] = crc(lane[0], data + i);
        lane[1] = crc(lane[1], data + third + i);
        lane[2] = crc(lane[2], data + 2 * third + i);
    }
    for (std::size_t i = 3 * third; i < size; ++i)
        lane[2] = CrcByte(lane[2], data[i]);
    std::uint64_t h = (static_cast<std::uint64_t>(lane[0]) << 32 | lane[1])
        ^ (static_cast<std::uint64_t>(lane[2]) * 0x9E3779B185EBCA87ull) ^ (size * 0xC2B2AE3D27D4EB4Full);
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    return h;
}

#if defined(__x86_64__)
struct InstructionCrc {
    __attribute__((target("sse4.2"))) std::uint32_t operator()(std::uint32_t crc, const unsigned char* p) const
    {
        std::uint64_t w;
        std::memcpy(&w, p, sizeof w);
        return static_cast<std::uint32_t>(__builtin_ia32_crc32di(crc, w));
    }
};

__attribute__((target("sse4.2"))) std::uint64_t InstructionChecksum(const unsigned char* data, std::size_t size)
{
    return ThreeLaneChecksum(data, size, InstructionCrc {});
}
#endif

} // namespace

std::uint64_t CacheChecksum(const unsigned char* data, std::size_t size)
{
#if defined(__x86_64__)
    static const bool instruction = __builtin_cpu_supports("sse4.2");
    if (instruction)
        return InstructionChecksum(data, size);
#endif
    return CacheChecksumByTable(data, size);
}

std::uint64_t CacheChecksumByTable(const unsigned char* data, std::size_t size)
{
    return ThreeLaneChecksum(data, size, TableCrc {});
}

CachedModel::~CachedModel()
{
    if (mapping_)
        ::munmap(mapping_, mappedSize_);
}

std::unique_ptr<CachedModel> CachedModel::Open(
    const std::filesystem::path& file, std::uint32_t kind, const CacheSource& source)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st { };
    FileHeader header {};
    const bool plausible = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)
        && static_cast<std::size_t>(st.st_size) > sizeof header
        && ::pread(fd, &header, sizeof header, 0) == static_cast<ssize_t>(sizeof header)
        && std::memcmp(header.Magic, kMagic, sizeof kMagic) == 0 && header.Format == kFormat && header.Kind == kind
        && header.SourceSize == source.Size && header.SourceTime == source.Time
        && header.PayloadSize == static_cast<std::uint64_t>(st.st_size) - sizeof header;
    if (!plausible) {
        ::close(fd);
        return nullptr;
    }
    // Populated at once: every page is read right after (the checksum), and faulting them in one by one costs more.
    // Asked for in huge pages: a file read from the disk into such a mapping stays in the page cache in 2 MB pieces
    // (WriteCachedModel leaves a new file to be read so), and every later process maps and unmaps those whole, a
    // fraction of a millisecond for the 66 MB landmark cache instead of some fifteen milliseconds of page by page.
    const std::size_t mappedSize = static_cast<std::size_t>(st.st_size);
#if defined(MADV_HUGEPAGE) && defined(MADV_POPULATE_READ)
    void* mapping = ::mmap(nullptr, mappedSize, PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapping != MAP_FAILED) {
        (void)::madvise(mapping, mappedSize, MADV_HUGEPAGE); // only advice: ignored where huge pages are off
        (void)::madvise(mapping, mappedSize, MADV_POPULATE_READ); // an older system: the checksum faults them in
    }
#else
    void* mapping = ::mmap(nullptr, mappedSize, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
#endif
    ::close(fd);
    if (mapping == MAP_FAILED)
        return nullptr;
    std::unique_ptr<CachedModel> model(new (std::nothrow) CachedModel());
    if (!model) {
        ::munmap(mapping, mappedSize);
        return nullptr;
    }
    model->mapping_ = mapping;
    model->mappedSize_ = mappedSize;
    model->data_ = static_cast<const unsigned char*>(mapping) + sizeof header;
    model->size_ = static_cast<std::size_t>(header.PayloadSize);
    if (CacheChecksum(model->data_, model->size_) != header.Checksum)
        return nullptr;
    return model;
}

bool WriteCachedModel(const std::filesystem::path& file, std::uint32_t kind, const CacheSource& source,
    const unsigned char* data, std::size_t size)
{
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    if (ec)
        return false;
    // A name of its own per writer, so two programs filling the cache at once each rename a whole file.
    std::string temporary = (file.parent_path() / ("." + file.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    FileHeader header {};
    std::memcpy(header.Magic, kMagic, sizeof kMagic);
    header.Format = kFormat;
    header.Kind = kind;
    header.SourceSize = source.Size;
    header.SourceTime = source.Time;
    header.PayloadSize = size;
    header.Checksum = CacheChecksum(data, size);
    // The mode mkostemp gives (0600) is kept: the cache is the user's own.
    const bool written = WriteAll(fd, &header, sizeof header) && WriteAll(fd, data, size);
    // On the disk before it replaces anything, and then out of the page cache, so that the next reader brings it
    // back in the huge pages it asks for (CachedModel::Open) rather than finding it in the small ones written here.
    if (written && ::fdatasync(fd) == 0)
        (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(temporary.c_str(), file.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace vellicam::facedetect
