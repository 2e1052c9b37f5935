// The recognition error log: a text file in the output folder that lists the photos recognition failed on, with a
// dated separator at the start of each sheet run. Lines are only ever appended.
#pragma once

#include "core/engine_error.h"

#include <ctime>
#include <string>

namespace vellicam {

inline constexpr const char* kRecognitionLogName = "自動認識エラーログ.txt";

// The log's path: inside the output folder (OutputFolder: the box's text as a folder, or the photo folder).
[[nodiscard]] std::string RecognitionLogPath(const std::string& folderBoxText, const std::string& photoFolder);

// "yyyy/MM/dd H:mm:ss", the hour without a leading zero: 2026/12/07 7:19:53.
[[nodiscard]] std::string FormatLogTimestamp(const std::tm& time);
// The current local time in that form.
[[nodiscard]] std::string LogTimestampNow();

enum class RecognitionError {
    Internal, // the detector failed inside
    NotDetected, // no face found
    FalseDetection, // the proposed frame covers more than 90 % of the image
};

// time stamp + the error's label + the photo's path.
[[nodiscard]] std::string RecognitionErrorLine(
    RecognitionError error, const std::string& timestamp, const std::string& photoPath);
// time stamp + the sheet's label + the photo's path + why it got no sheet: an unattended run's failed sheet.
[[nodiscard]] std::string SheetErrorLine(
    const std::string& timestamp, const std::string& photoPath, const std::string& reason);
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
