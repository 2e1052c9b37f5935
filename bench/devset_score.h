// The development set's score: how many of its photos `vellicam-cli detect` frames right.
#pragma once

#include <string>

namespace vellicam::bench {

// Scores the set in `folder` ("" for the project's tests/data/devset) and prints the result; returns 0 when every
// photo is right, 1 otherwise, 2 when the set or the command is missing.
int RunDevsetScore(const std::string& folder);

} // namespace vellicam::bench
