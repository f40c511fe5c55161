// The trace log: line format, cuts, the size limit, the enabled state and the line counter.
#include "TestSupport.h"

#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

using cwtest::ParseLog;
using cwtest::ReadFile;
using cwtest::WriteFile;

time_t FixedClock()
{
    struct tm when = {};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 0;
    when.tm_mday = 2;
    when.tm_hour = 3;
    when.tm_min = 4;
    when.tm_sec = 5;
    return timegm(&when);
}

class LogTest : public cwtest::LoggedTest {
protected:
    void SetUp() override
    {
        setenv("TZ", "UTC", 1);
        tzset();
        LogSetClockForTesting(FixedClock);
        LoggedTest::SetUp();
    }
    void TearDown() override
    {
        LogSetClockForTesting(nullptr);
        LoggedTest::TearDown();
    }
    // Number of the last line in the log file.
    int LastNumber() const
    {
        auto lines = LogLines();
        return lines.empty() ? 0 : lines.back().number;
    }
};

TEST_F(LogTest, LineFormatIsExact)
{
    Log("/Users/build/OVCardWatch/src/Process.cpp", "RunShellProgram", "value %d and %s", 42, "text");
    const int n = LastNumber();
    EXPECT_EQ(ReadFile(logPath_), "line " + std::to_string(n) +
                                      "===2026-1-2 3:4:5   Process.cpp:RunShellProgram --- value 42 and text\n");
}

TEST_F(LogTest, BaseNameIsTheTextAfterTheLastSlash)
{
    Log("a/src/Process", "F", "one");
    Log("a/src/", "F", "two");
    Log("NoSlash.cpp", "F", "three");
    auto lines = LogLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].where, "Process:F");
    EXPECT_EQ(lines[1].where, ":F");
    EXPECT_EQ(lines[2].where, "NoSlash.cpp:F");
}

TEST_F(LogTest, PercentSignsOfAVariableTextStayAsTheyStand)
{
    const char *path = "/Volumes/100%done/%s%d%n";
    Log(__FILE__, "F", "%s", path);
    EXPECT_EQ(Messages(), std::vector<std::string>{path});
}

TEST_F(LogTest, LongMessageAndLineAreCutAt2047Characters)
{
    std::string longText(3000, 'x');
    Log("/x/Log.cpp", "F", "%s", longText.c_str());
    Log("/x/Log.cpp", "F", "after");
    std::string content = ReadFile(logPath_);
    // The first line lost its line feed: the second line follows it directly.
    size_t second = content.find("line ", 1);
    ASSERT_NE(second, std::string::npos);
    EXPECT_EQ(second, 2047u);
    EXPECT_EQ(content.substr(0, 2047).find('\n'), std::string::npos);
    const int first = LogLines().front().number;
    EXPECT_EQ(content.substr(2047), "line " + std::to_string(first + 1) + "===2026-1-2 3:4:5   Log.cpp:F --- after\n");
}

TEST_F(LogTest, FileOfMoreThanTenMillionBytesIsEmptiedFirst)
{
    // Sparse files make the size test cheap.
    WriteFile(logPath_, "old");
    ASSERT_EQ(truncate(logPath_.c_str(), 10000001), 0);
    Log("/x/Log.cpp", "F", "fresh");
    EXPECT_EQ(ReadFile(logPath_), "line " + std::to_string(LastNumber()) + "===2026-1-2 3:4:5   Log.cpp:F --- fresh\n");

    // The same while the stream is already open.
    ASSERT_EQ(truncate(logPath_.c_str(), 10000005), 0);
    Log("/x/Log.cpp", "F", "again");
    EXPECT_EQ(ReadFile(logPath_), "line " + std::to_string(LastNumber()) + "===2026-1-2 3:4:5   Log.cpp:F --- again\n");
}

TEST_F(LogTest, FileOfExactlyTenMillionBytesIsAppendedTo)
{
    WriteFile(logPath_, "old");
    ASSERT_EQ(truncate(logPath_.c_str(), 10000000), 0);
    Log("/x/Log.cpp", "F", "appended");
    std::string content = ReadFile(logPath_);
    ASSERT_GT(content.size(), 10000000u);
    EXPECT_EQ(content.substr(0, 3), "old");
    auto tail = ParseLog(content.substr(10000000));
    ASSERT_EQ(tail.size(), 1u);
    EXPECT_EQ(tail[0].message, "appended");
    EXPECT_EQ(content.back(), '\n');
}

TEST_F(LogTest, DisabledLoggingWritesNothingAndUsesNoNumber)
{
    Log("/x/Log.cpp", "F", "first");
    const int first = LastNumber();

    CloseLogSystem();
    Log("/x/Log.cpp", "F", "while closed");
    InitLogSystem(nullptr);
    Log("/x/Log.cpp", "F", "missing path");
    std::string tooLong(1024, 'p');
    InitLogSystem(tooLong.c_str());
    Log("/x/Log.cpp", "F", "path too long");
    Log(nullptr, "F", "no file");
    Log("/x/Log.cpp", nullptr, "no function");

    InitLogSystem(logPath_.c_str());
    Log("/x/Log.cpp", "F", "second");
    auto lines = LogLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].message, "second");
    EXPECT_EQ(lines[1].number, first + 1);
}

TEST_F(LogTest, UnopenableFileLosesTheLineButTheNumberingShowsTheGap)
{
    Log("/x/Log.cpp", "F", "before");
    const int before = LastNumber();
    InitLogSystem((dir_ + "/missing/folder/CardWatch.log").c_str());
    Log("/x/Log.cpp", "F", "lost");
    InitLogSystem(logPath_.c_str());
    Log("/x/Log.cpp", "F", "after");
    auto lines = LogLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].number, before + 2);
}

TEST_F(LogTest, ReinitialisingSendsLaterLinesToTheNewFile)
{
    Log("/x/Log.cpp", "F", "to the first file");
    std::string other = dir_ + "/other.log";
    InitLogSystem(other.c_str());
    Log("/x/Log.cpp", "F", "to the second file");
    EXPECT_EQ(ParseLog(ReadFile(other)).size(), 1u);
    EXPECT_EQ(LogLines().size(), 1u);
}

// The child half of the fresh-process test: when the parent starts this binary again with
// CARDWATCH_LOG_CHILD naming the log file, this runs before main and ends the process.
const bool gRunsAsLogChild = [] {
    const char *path = getenv("CARDWATCH_LOG_CHILD");
    if (path == nullptr) {
        return false;
    }
    Log("/x/Log.cpp", "main", "before init");
    InitLogSystem(path);
    Log("/x/Log.cpp", "main", "first of this run");
    _exit(0);  // no stdio flush at exit: the line must already be in the file
}();

// A fresh process numbers from 1 even when the file holds lines of earlier runs, ignores lines
// logged before InitLogSystem, and leaves every line on disk even when it dies without closing.
TEST_F(LogTest, NewProcessStartsAtOneAndEveryLineReachesTheFile)
{
    WriteFile(logPath_, "line 7===2020-1-1 0:0:0   Old.cpp:main --- earlier run\n");
    CloseLogSystem();
    pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        setenv("CARDWATCH_LOG_CHILD", logPath_.c_str(), 1);
        execl("/proc/self/exe", "cardwatch_log_tests", static_cast<char *>(nullptr));
        _exit(127);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    auto lines = LogLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].number, 7);
    EXPECT_EQ(lines[1].number, 1);
    EXPECT_EQ(lines[1].message, "first of this run");
}

}  // namespace
