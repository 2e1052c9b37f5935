// Main of the window tests: a fixed locale, the offscreen platform, a cache folder of the program's own (so
// recognition's work folders never meet another run's), and the one application object.
#include <QApplication>

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
    std::setlocale(LC_ALL, "C.UTF-8");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::error_code ec;
    std::string pattern = (std::filesystem::temp_directory_path(ec) / "vellicam-test-cache-XXXXXX").string();
    if (mkdtemp(pattern.data())) {
        g_cache = pattern;
        setenv("XDG_CACHE_HOME", g_cache.c_str(), 1);
        std::atexit(RemoveCache);
    }
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
