// Runs every registered pair, best of several runs each, and prints the times and their ratio.
// Usage: vellicam_bench [substring]   (only pairs whose name contains the substring)
//        vellicam_bench --devset [FOLDER]   (the development set's recognition score, devset_score.h)
#include "bench_pairs.h"
#include "devset_score.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace vellicam::bench {

std::vector<Pair>& Registry()
{
    static std::vector<Pair> pairs;
    return pairs;
}

} // namespace vellicam::bench

namespace {

double BestSeconds(const std::function<void()>& run, const std::function<void()>& before = {})
{
    using Clock = std::chrono::steady_clock;
    double best = 1e30, total = 0;
    // At least three runs, more while the total stays under two seconds, at most fifteen.
    for (int i = 0; i < 15 && (i < 3 || total < 2.0); ++i) {
        if (before)
            before();
        const auto start = Clock::now();
        run();
        const double s = std::chrono::duration<double>(Clock::now() - start).count();
        best = std::min(best, s);
        total += s;
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--devset") == 0)
        return vellicam::bench::RunDevsetScore(argc > 2 ? argv[2] : "");
    cv::setNumThreads(1); // both sides single-threaded
    const char* filter = argc > 1 ? argv[1] : "";
    std::printf("%-58s %11s %11s %7s %7s\n", "operation (reference)", "ours ms", "ref ms", "ratio", "target");
    int misses = 0;
    for (auto& pair : vellicam::bench::Registry()) {
        if (!std::strstr(pair.name.c_str(), filter))
            continue;
        if (pair.setup)
            pair.setup();
        const double ours = BestSeconds(pair.ours, pair.beforeOurs);
        const double theirs = BestSeconds(pair.theirs);
        if (pair.teardown)
            pair.teardown();
        const double ratio = ours / theirs;
        const bool ok = ratio <= pair.target;
        misses += ok ? 0 : 1;
        const std::string label = pair.name + " (" + pair.reference + ")";
        std::printf("%-58s %11.2f %11.2f %7.2f %6.2f%s\n", label.c_str(), ours * 1e3, theirs * 1e3, ratio, pair.target,
            ok ? "" : "  over target");
        std::fflush(stdout);
    }
    return misses == 0 ? 0 : 1;
}
