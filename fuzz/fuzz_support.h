// Helpers shared by the fuzzers: a checked invariant that stops the run, and a scratch file in memory.
#pragma once

#include "image/bitmap.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace vellicam::fuzz {

// Stops the run with a message; libFuzzer saves the input that led here.
[[noreturn]] void Fail(const char* file, int line, const char* what);

#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition))                                                                                              \
            ::vellicam::fuzz::Fail(__FILE__, __LINE__, #condition);                                                    \
    } while (0)

// A file of the process's own in /dev/shm (or /tmp), rewritten for each input and removed at exit, so that the
// readers that only take a path see the fuzzer's bytes without touching the disk.
class ScratchFile {
public:
    // `suffix` becomes the end of the file's name (".jpg", ".png" ...).
    explicit ScratchFile(const std::string& suffix);
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // Replaces the file's content; false when the write fails (a full /dev/shm), and the input is then skipped.
    [[nodiscard]] bool Write(const std::uint8_t* data, std::size_t size);
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// A small bitmap with a known content, to check that a failed read leaves its target as it was.
Bitmap Sentinel();
[[nodiscard]] bool IsSentinel(const Bitmap& bitmap);

// What a successful read has to look like: a non-empty bitmap within the engine's size limit.
void CheckDecoded(const Bitmap& bitmap);

} // namespace vellicam::fuzz
