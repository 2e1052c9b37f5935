// The recognition error log: a text file in the output folder that lists the photos recognition failed on, with a
// dated separator at the start of each sheet run. Lines are only ever appended. Its name and its lines' labels are
// the session's words (session_texts.h).
#pragma once

#include "core/engine_error.h"

#include <ctime>
#include <string>

namespace vellicam {

// "yyyy/MM/dd H:mm:ss", the hour without a leading zero: 2026/12/07 7:19:53.
[[nodiscard]] std::string FormatLogTimestamp(const std::tm& time);
// The current local time in that form.
[[nodiscard]] std::string LogTimestampNow();

// The dated separator written at the start of a sheet run: 32 dashes, "( time stamp )", 32 dashes.
[[nodiscard]] std::string LogSeparatorLine(const std::string& timestamp);

enum LogWriteResult : int {
    kLogWritten = 0, // also when the file would not open: the log never stops a run
    kLogNothingToDo = 1, // the separator was not written because there is no log yet
    kLogFolderNotCreated = -2,
    kLogFolderUnusable = -3,
};

struct LogWriteOutcome {
    int code = kLogWritten;
    // Why the text is not in the log, whatever the code (the system's reason and errno when it gave them); None
    // when it is. Only kLogFolderNotCreated is for the user to hear of (the session words it); the rest is lost
    // quietly.
    EngineError error;
};

// Appends text and "\n" to the file at `path` in one write, creating the file and its folder (all levels) when
// missing. Never truncates and never reads the file.
[[nodiscard]] LogWriteOutcome WriteRecognitionLog(const std::string& path, const std::string& text);

// Appends the separator only when the log already exists, so that a log always starts with an error line.
[[nodiscard]] LogWriteOutcome WriteLogSeparator(const std::string& path, const std::string& timestamp);

} // namespace vellicam
