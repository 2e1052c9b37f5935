// Shared main of every test program: a fixed locale, so number formatting never depends on the machine, and a
// cache folder of the program's own, so recognition's work folders never meet another run's.
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace {

std::string g_cache;

void RemoveCache()
{
    std::error_code ec;
    std::filesystem::remove_all(g_cache, ec);
}

} // namespace

int main(int argc, char** argv)
{
    setenv("LC_ALL", "C.UTF-8", 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::setlocale(LC_ALL, "C.UTF-8");
    std::error_code ec;
    std::string pattern = (std::filesystem::temp_directory_path(ec) / "vellicam-test-cache-XXXXXX").string();
    if (mkdtemp(pattern.data())) {
        g_cache = pattern;
        setenv("XDG_CACHE_HOME", g_cache.c_str(), 1);
        std::atexit(RemoveCache);
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
