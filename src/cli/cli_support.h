// Argument parsing and JSON output shared by the commands of vellicam-cli.
#pragma once

#include "session/photo_checks.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vellicam::cli {

// Exit statuses of every command.
enum Exit : int {
    kExitOk = 0,
    kExitIoError = 1, // an input cannot be read or an output cannot be written
    kExitUsage = 2,
    kExitRefused = 3, // the engine refused; the result code is printed
};

// Thrown for a bad command line; main turns it into a one-line message and exit status 2.
struct UsageError {
    std::string message;
    std::string path; // the file concerned, or empty when none
};
// Thrown when a file cannot be read or written; main turns it into a message and exit status 1.
struct IoError {
    std::string message;
    std::string path; // the file concerned, or empty when none
};

// The words after the command name: positional arguments, and options given as "--name value", "--name=value"
// or, for flags, "--name" alone.
class Arguments {
public:
    Arguments(const std::vector<std::string>& words, const std::vector<std::string>& valueOptions,
        const std::vector<std::string>& flagOptions);

    [[nodiscard]] const std::vector<std::string>& Positional() const { return positional_; }
    [[nodiscard]] std::optional<std::string> Value(const std::string& name) const;
    [[nodiscard]] bool Flag(const std::string& name) const;
    // Exactly n positional arguments, named for the message when some are missing or too many.
    void ExpectPositional(const std::vector<std::string>& names) const;

private:
    std::vector<std::string> positional_;
    std::map<std::string, std::string> values_;
    std::vector<std::string> flags_;
};

// A whole decimal integer (optional sign) and nothing else, within [min, max].
[[nodiscard]] int ParseInt(const std::string& text, const std::string& what, int min, int max);
// Comma-separated integers, exactly `count` of them.
[[nodiscard]] std::vector<int> ParseIntList(const std::string& text, const std::string& what, std::size_t count);

// A JSON string literal, escaped.
[[nodiscard]] std::string JsonString(const std::string& text);

// The photo's checks as a JSON array: [{"id": ..., "ok": true/false/null, "value": number or null, "rule": ...,
// "text": ...}, ...].
[[nodiscard]] std::string ChecksJson(const std::vector<PhotoCheck>& checks);

// The object a failed command prints on standard output: {"error": MESSAGE, "path": PATH or null when empty}.
[[nodiscard]] std::string ErrorObject(const std::string& message, const std::string& path);

} // namespace vellicam::cli
