// The user's cache of loaded models: a file per model under $XDG_CACHE_HOME/vellicam/ (else ~/.cache/vellicam/),
// holding the model as flat data that reads in milliseconds where its own format takes seconds to parse. Each file
// names the source it was made from by size and modification time, and carries a format version, its length and a
// checksum of its contents: a file that is stale, short, foreign or damaged is not used (the caller rebuilds it).
// Writing goes through a temporary file in the same folder and a rename, so a reader never sees half a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vellicam::facedetect {

// The cache folder as the desktop's base-directory rules name it (only absolute paths count): empty without
// XDG_CACHE_HOME and HOME, and then nothing is cached.
[[nodiscard]] std::filesystem::path ModelCacheFolder();

// What a cache file was made from: the source file's size and modification time (nanoseconds since the epoch).
struct CacheSource {
    std::uint64_t Size = 0;
    std::int64_t Time = 0;
    bool operator==(const CacheSource&) const = default;
};

// The key of a source file; false when it cannot be examined.
[[nodiscard]] bool CacheSourceOf(const std::filesystem::path& file, CacheSource& source);

// A cache file's contents, mapped read-only; valid while the object lives.
class CachedModel {
public:
    ~CachedModel();
    CachedModel(const CachedModel&) = delete;
    CachedModel& operator=(const CachedModel&) = delete;

    [[nodiscard]] const unsigned char* Data() const { return data_; }
    [[nodiscard]] std::size_t Size() const { return size_; }

    // Maps `file` when it is a cache file of `kind` made from `source` and its contents match its checksum;
    // nullptr otherwise (missing, stale, short, damaged or unreadable). Never throws.
    [[nodiscard]] static std::unique_ptr<CachedModel> Open(
        const std::filesystem::path& file, std::uint32_t kind, const CacheSource& source);

private:
    CachedModel() = default;
    void* mapping_ = nullptr;
    std::size_t mappedSize_ = 0;
    const unsigned char* data_ = nullptr;
    std::size_t size_ = 0;
};

// Writes `data` as the cache file of `kind` made from `source`: into a temporary file beside `file`, then renamed
// over it. Creates the folder when needed. False (and nothing left behind) when the folder cannot be written.
[[nodiscard]] bool WriteCachedModel(const std::filesystem::path& file, std::uint32_t kind, const CacheSource& source,
    const unsigned char* data, std::size_t size);

// The binary this code was linked into (the library, or a tool that links the search directly): what a cache file
// made by its code, not from a source file alone, is made from. Empty when it cannot be told.
[[nodiscard]] std::filesystem::path CacheOwnBinary();

// The checksum the cache files carry: 64 bits from three CRC-32Cs over the bytes, at memory speed where the processor
// has a CRC-32C instruction. The same value everywhere: a cache folder may be shared by machines of other kinds.
[[nodiscard]] std::uint64_t CacheChecksum(const unsigned char* data, std::size_t size);
// The same checksum from tables alone, as machines without the instruction compute it.
[[nodiscard]] std::uint64_t CacheChecksumByTable(const unsigned char* data, std::size_t size);

} // namespace vellicam::facedetect
