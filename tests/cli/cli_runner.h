// Runs vellicam-cli from a test as a shell would, under a time limit, and captures what it printed.
#pragma once

#include "test_support.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace vellicam::test {

struct CliRun {
    int status = -1; // the exit status, or -1 when the program did not exit by itself
    bool timedOut = false;
    std::string out;
    std::string err;
};

inline std::string ShellQuote(const std::string& word)
{
    std::string q = "'";
    for (char c : word)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs vellicam-cli with the words, the environment assignments ("NAME=value") added (a first "-i" starts from an
// empty environment instead, as `env -i` does), no standard input, and
// a limit of `seconds`: a hang shows as timedOut, a crash as a status of -1 or 128 + the signal.
inline CliRun RunCli(
    const std::vector<std::string>& words, const std::vector<std::string>& environment = {}, int seconds = 120)
{
    ScratchDir logs;
    std::string command = "env";
    for (const auto& e : environment)
        command += " " + ShellQuote(e);
    command += " timeout -s KILL " + std::to_string(seconds) + " " + ShellQuote((BinDir() / "vellicam-cli").string());
    for (const auto& w : words)
        command += " " + ShellQuote(w);
    command += " >" + ShellQuote(logs / "out") + " 2>" + ShellQuote(logs / "err") + " </dev/null";
    CliRun run;
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.timedOut = run.status == 137; // timeout(1) reports a killed child as 128 + 9
    run.out = ReadFile(logs / "out");
    run.err = ReadFile(logs / "err");
    return run;
}

// What a failed run has to print on standard output: the message it gave on standard error
// ("vellicam-cli COMMAND: MESSAGE") and the file concerned (null when `path` is empty), as one JSON object. The
// tests' paths and messages hold nothing JSON escapes.
inline std::string ErrorObjectFor(const CliRun& run, const std::string& path)
{
    const std::size_t colon = run.err.find(": ");
    const std::string message
        = colon == std::string::npos ? std::string() : run.err.substr(colon + 2, run.err.size() - colon - 3);
    return "{\"error\": \"" + message + "\", \"path\": " + (path.empty() ? "null" : "\"" + path + "\"") + "}\n";
}

// Makes `folder` a program folder holding the stand-in detector library and cascade files, for commands run with
// VELLICAM_DETECTOR_DIR pointing there.
inline void MakeStandInProgram(const std::filesystem::path& folder)
{
    std::filesystem::create_directory(folder);
    std::filesystem::create_symlink(
        std::filesystem::path(VELLICAM_BUILD_DIR) / "standin/full/libfacedetect.so", folder / "libfacedetect.so");
    WriteFile(folder / "haarcascade_frontalface_default.xml", "<faces/>");
    WriteFile(folder / "ago.xml", "<chins/>");
}

} // namespace vellicam::test
