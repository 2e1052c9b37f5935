// The commands of vellicam-cli.
#pragma once

#include <string>
#include <vector>

namespace vellicam::cli {

struct Command {
    const char* name;
    const char* help;
    int (*run)(const std::vector<std::string>& words); // returns the exit status
};

// The command of that name, or nullptr.
[[nodiscard]] const Command* FindCommand(const std::string& name);

} // namespace vellicam::cli
