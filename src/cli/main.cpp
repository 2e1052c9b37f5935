// vellicam-cli: every image operation of the engine, runnable from a shell. Each command prints one JSON object.
#include "cli_commands.h"
#include "cli_support.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

namespace {

const char* const kProgramHelp = R"(Usage: vellicam-cli COMMAND [ARGS...]

The engine of Vellicam from the command line. Inputs are read by content (JPEG, PNG or binary PPM);
outputs are written in the format of their extension (.jpg/.jpeg, .png, .ppm).

Commands:
  reduce IN OUT --width W --height H   high-quality reduction of IN to W x H
  rotate IN OUT --angle T              the rotated working square at T tenths of a degree
  sharpen IN OUT                       the sharpening filter
  square IN OUT                        the centred black square built when a photo is loaded
  sheet PHOTO OUT --frame L,T,W,H ...  the print sheet of PHOTO (--size, --paper, --list-sizes)
  detect PHOTO [--angle T] [--face N]  automatic face recognition on the working square
  batch INPUT... [--out DIR] [--jobs N] photos and folders to saved sheets, unattended, in parallel

Each command prints one JSON object on standard output; a failed command prints {"error": MESSAGE,
"path": FILE or null} (the message also goes to standard error). Exit status: 0 done, 1 a file could not be
read or written, 2 bad arguments, 3 the engine refused (its result code is printed), 4 a batch
left some photos without a sheet.
Run 'vellicam-cli COMMAND --help' for a command's options.
)";

} // namespace

int main(int argc, char** argv)
{
    using namespace vellicam::cli;
    std::vector<std::string> words(argv + 1, argv + argc);
    if (words.empty()) {
        std::fputs(kProgramHelp, stderr);
        return kExitUsage;
    }
    const std::string command = words.front();
    words.erase(words.begin());
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kProgramHelp, stdout);
        return kExitOk;
    }
    const Command* found = FindCommand(command);
    if (!found) {
        std::fprintf(stderr, "vellicam-cli: unknown command '%s' (try --help)\n", command.c_str());
        return kExitUsage;
    }
    for (const std::string& word : words) {
        if (word == "--")
            break;
        if (word == "--help" || word == "-h") {
            std::fputs(found->help, stdout);
            return kExitOk;
        }
    }
    // Every failure prints its message on standard error and its object on standard output, so that a script
    // reading the output always gets one object.
    const auto fail = [&](const std::string& message, const std::string& path, int status) {
        std::fprintf(stderr, "vellicam-cli %s: %s\n", command.c_str(), message.c_str());
        std::fputs(ErrorObject(message, path).c_str(), stdout);
        return status;
    };
    try {
        return found->run(words);
    } catch (const UsageError& e) {
        return fail(e.message, e.path, kExitUsage);
    } catch (const IoError& e) {
        return fail(e.message, e.path, kExitIoError);
    } catch (const std::bad_alloc&) {
        return fail("not enough memory", {}, kExitIoError);
    } catch (const std::exception& e) {
        return fail(e.what(), {}, kExitIoError);
    }
}
