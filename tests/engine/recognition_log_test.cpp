// The recognition error log.
#include "session/session_texts.h"
#include "sheet/recognition_log.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace vellicam;
namespace fs = std::filesystem;

namespace {

std::tm Time(int year, int month, int day, int hour, int minute, int second)
{
    std::tm t {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return t;
}

TEST(RecognitionLog, TimestampAndLineFormats)
{
    EXPECT_EQ(FormatLogTimestamp(Time(2026, 12, 7, 7, 19, 53)), "2026/12/07 7:19:53");
    EXPECT_EQ(FormatLogTimestamp(Time(2027, 1, 1, 0, 0, 5)), "2027/01/01 0:00:05");
    EXPECT_EQ(FormatLogTimestamp(Time(2026, 3, 31, 23, 59, 59)), "2026/03/31 23:59:59");
    EXPECT_EQ(LogTimestampNow().size() >= 17, true);

    const std::string ts = "2026/12/07 7:19:53";
    EXPECT_EQ(RecognitionErrorLine(RecognitionError::Internal, ts, "/p/a.jpg"),
        "2026/12/07 7:19:53  自動顔認識エラー（内部エラー）:  /p/a.jpg");
    EXPECT_EQ(RecognitionErrorLine(RecognitionError::NotDetected, ts, "/p/a.jpg"),
        "2026/12/07 7:19:53  自動顔認識エラー(非検出):  /p/a.jpg");
    EXPECT_EQ(RecognitionErrorLine(RecognitionError::FalseDetection, ts, "/p/a.jpg"),
        "2026/12/07 7:19:53  自動顔認識エラー(誤検出):  /p/a.jpg");
    EXPECT_EQ(
        LogSeparatorLine(ts), "--------------------------------( 2026/12/07 7:19:53 )--------------------------------");
}

TEST(RecognitionLog, PathFollowsTheOutputFolder)
{
    EXPECT_EQ(RecognitionLogPath("", "/photos/"), "/photos/自動認識エラーログ.txt");
    EXPECT_EQ(RecognitionLogPath("/out/", "/photos/"), "/out/自動認識エラーログ.txt");
    EXPECT_EQ(RecognitionLogPath("/out", "/photos/"), "/out/自動認識エラーログ.txt");
}

TEST(RecognitionLog, AppendsLinesAndSeparatorOnlyToAnExistingLog)
{
    test::ScratchDir dir;
    const std::string path = RecognitionLogPath(dir.Path().string() + "/new/deeper/", "");
    // No log yet: the separator is not written and nothing is created.
    EXPECT_EQ(WriteLogSeparator(path, "2026/12/07 7:19:53").code, kLogNothingToDo);
    EXPECT_FALSE(fs::exists(dir.Path() / "new"));

    const std::string first = RecognitionErrorLine(RecognitionError::NotDetected, "2026/12/07 7:19:53", "/p/a.jpg");
    ASSERT_EQ(WriteRecognitionLog(path, first).code, kLogWritten); // creates both folders
    ASSERT_EQ(WriteLogSeparator(path, "2026/12/07 7:20:00").code, kLogWritten);
    ASSERT_EQ(WriteRecognitionLog(path, "second").code, kLogWritten);
    EXPECT_EQ(test::ReadFile(path),
        first + "\n--------------------------------( 2026/12/07 7:20:00 )--------------------------------\nsecond\n");
}

TEST(RecognitionLog, FolderThatCannotBeCreatedIsReported)
{
    test::ScratchDir dir;
    test::WriteFile(dir.Path() / "plain", "x");
    const std::string folder = dir / "plain/sub";
    const LogWriteOutcome outcome = WriteRecognitionLog(folder + "/" + kRecognitionLogName, "line");
    EXPECT_EQ(outcome.code, kLogFolderNotCreated);
    EXPECT_EQ(outcome.error.code, ErrorCode::CannotWrite);
    EXPECT_FALSE(outcome.error.reason.empty());
    EXPECT_EQ(test::ReadFile(dir.Path() / "plain"), "x");
}

TEST(RecognitionLog, FileThatWillNotOpenIsNotAnError)
{
    test::ScratchDir dir;
    // A folder where the log file should be: opening fails, the run goes on.
    fs::create_directory(dir.Path() / kRecognitionLogName);
    EXPECT_EQ(WriteRecognitionLog(dir / kRecognitionLogName, "line").code, kLogWritten);
    EXPECT_TRUE(fs::is_directory(dir.Path() / kRecognitionLogName));
}

TEST(RecognitionLog, FolderThatCannotBeEnteredIsMinusThree)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    test::ScratchDir dir;
    fs::create_directory(dir.Path() / "shut");
    fs::permissions(dir.Path() / "shut", fs::perms::none);
    EXPECT_EQ(WriteRecognitionLog(dir / "shut/log.txt", "line").code, kLogFolderUnusable);
}

} // namespace
