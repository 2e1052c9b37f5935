// Helpers shared by the tests: data folders, scratch folders, random bitmaps and image comparison.
#pragma once

#include "image/bitmap.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vellicam::test {

// The folder of the project's own test files (tests/data).
std::filesystem::path DataDir();
// The folder where the built programs lie (the program, vellicam-cli, the detector library).
std::filesystem::path BinDir();

// A fresh, empty folder for one test, removed when the object goes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// A bitmap of random colours, reproducible from the seed.
Bitmap RandomBitmap(int width, int height, std::uint32_t seed);
// A bitmap filled with one colour.
Bitmap SolidBitmap(int width, int height, Rgb colour);

// True when the two are equal. Otherwise writes both as PNG into the build folder's test-failures/ folder,
// named after the current test and `label`, so the difference can be looked at.
bool SameImage(const Bitmap& actual, const Bitmap& expected, const std::string& label = "image");

std::string ReadFile(const std::filesystem::path& path);
// The text's lines, without their line ends.
std::vector<std::string> Lines(const std::string& text);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
// Writes a small sheet as the program marks its sheets (one a later sheet may replace) and returns its bytes.
std::string WriteEarlierSheet(const std::filesystem::path& path);

} // namespace vellicam::test
