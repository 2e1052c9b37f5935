// vellicam-cli batch: photos and folders worked from file to saved sheet without a window, on every core.
#pragma once

#include <string>
#include <vector>

namespace vellicam::cli {

extern const char kBatchHelp[];
int RunBatch(const std::vector<std::string>& words);

// The program folder the detector's files are searched from (FindDetectorFiles: beside it, then the installed
// tree): the program's own, or VELLICAM_DETECTOR_DIR when set.
[[nodiscard]] std::string DetectorFolder();

} // namespace vellicam::cli
