// Registration of timed pairs: our operation beside its OpenCV (or libjpeg-turbo) counterpart on the same input.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vellicam::bench {

struct Pair {
    std::string name; // what is timed, with the sizes
    std::string reference; // what it is compared with
    double target; // the largest acceptable ratio ours / reference
    std::function<void()> setup; // run once, untimed, before either side
    std::function<void()> ours;
    std::function<void()> theirs;
    std::function<void()> teardown; // run once after both sides
    std::function<void()> beforeOurs; // run untimed before every timed run of ours (resetting state)
};

std::vector<Pair>& Registry();

struct Register {
    explicit Register(Pair pair) { Registry().push_back(std::move(pair)); }
};

} // namespace vellicam::bench
