// Writing the recognition error log.
#include "sheet/recognition_log.h"

#include "sheet/output_path.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace vellicam {

std::string FormatLogTimestamp(const std::tm& time)
{
    char text[64];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %d:%02d:%02d", time.tm_year + 1900, time.tm_mon + 1, time.tm_mday,
        time.tm_hour, time.tm_min, time.tm_sec);
    return text;
}

std::string LogTimestampNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    return FormatLogTimestamp(local);
}

std::string LogSeparatorLine(const std::string& timestamp)
{
    const std::string dashes(32, '-');
    return dashes + "( " + timestamp + " )" + dashes;
}

namespace {

EngineError LostBy(int error)
{
    return { ErrorCode::CannotWrite, ErrorDomain::File, std::generic_category().message(error), 0, 0, error };
}

} // namespace

LogWriteOutcome WriteRecognitionLog(const std::string& path, const std::string& text)
{
    const std::string folder = FolderOf(path);
    // No folder at all (no output folder and no photo yet): the log has nowhere to go.
    if (folder.empty())
        return { kLogFolderNotCreated, { ErrorCode::NoFileName, ErrorDomain::File, "no folder to write it in" } };
    std::string why;
    int systemError = 0;
    const int folderResult = EnsureFolder(folder, &why, &systemError);
    if (folderResult == kSaveFolderNotCreated)
        return { kLogFolderNotCreated, { ErrorCode::CannotWrite, ErrorDomain::File, why, 0, 0, systemError } };
    if (folderResult != 0)
        return { kLogFolderUnusable, { ErrorCode::CannotOpen, ErrorDomain::File, why, 0, 0, systemError } };

    // A log that will not open or take the line does not stop the run (kLogWritten); `error` says it happened.
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return { kLogWritten, LostBy(errno) };
    // One write call, so that two programs appending at once never interleave inside a line.
    const std::string line = text + "\n";
    std::size_t done = 0;
    EngineError lost;
    while (done < line.size()) {
        const ssize_t written = ::write(fd, line.data() + done, line.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            lost = written < 0 ? LostBy(errno)
                               : EngineError { ErrorCode::CannotWrite, ErrorDomain::File, "nothing was written" };
            break;
        }
        done += static_cast<std::size_t>(written);
    }
    if (::close(fd) != 0 && !lost.Failed())
        lost = LostBy(errno);
    return { kLogWritten, lost };
}

LogWriteOutcome WriteLogSeparator(const std::string& path, const std::string& timestamp)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return { kLogNothingToDo, {} };
    return WriteRecognitionLog(path, LogSeparatorLine(timestamp));
}

} // namespace vellicam
