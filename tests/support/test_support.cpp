#include "test_support.h"

#include "image/image_io.h"
#include "sheet/output_path.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <unistd.h>

namespace vellicam::test {

namespace fs = std::filesystem;

fs::path DataDir()
{
    if (const char* dir = std::getenv("VELLICAM_TEST_DATA"))
        return dir;
    return fs::path(VELLICAM_SOURCE_DIR) / "tests" / "data";
}

fs::path BinDir()
{
    if (const char* dir = std::getenv("VELLICAM_BIN"))
        return dir;
    return fs::path(VELLICAM_BUILD_DIR) / "bin";
}

ScratchDir::ScratchDir()
{
    std::string pattern = (fs::temp_directory_path() / "vellicam-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a scratch folder");
    path_ = pattern;
}

ScratchDir::~ScratchDir()
{
    std::error_code ec;
    // Tests may have made parts read-only; give the write bits back before removing.
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

Bitmap RandomBitmap(int width, int height, std::uint32_t seed)
{
    Bitmap b;
    if (!b.ResizeUninitialized(width, height))
        throw std::bad_alloc();
    std::mt19937 rng(seed);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = b.Row(y);
        for (std::size_t i = 0; i < b.Stride(); ++i)
            row[i] = static_cast<std::uint8_t>(rng());
    }
    return b;
}

Bitmap SolidBitmap(int width, int height, Rgb colour)
{
    Bitmap b;
    if (!b.ResizeUninitialized(width, height))
        throw std::bad_alloc();
    Fill(b, colour);
    return b;
}

bool SameImage(const Bitmap& actual, const Bitmap& expected, const std::string& label)
{
    if (actual.SameAs(expected))
        return true;
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "unknown";
    for (char& c : name)
        if (c == '/')
            c = '_';
    const fs::path dir = fs::path(VELLICAM_BUILD_DIR) / "test-failures";
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!actual.Empty())
        (void)SavePng((dir / (name + "." + label + ".actual.png")).string(), actual);
    if (!expected.Empty())
        (void)SavePng((dir / (name + "." + label + ".expected.png")).string(), expected);
    return false;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string WriteEarlierSheet(const fs::path& path)
{
    JpegOptions options;
    options.comment = kSheetMark;
    std::string bytes;
    if (!EncodeJpeg(SolidBitmap(16, 16, Rgb { 200, 200, 200 }), options, bytes))
        ADD_FAILURE() << "cannot encode a sheet for " << path;
    WriteFile(path, bytes);
    return bytes;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

} // namespace vellicam::test
