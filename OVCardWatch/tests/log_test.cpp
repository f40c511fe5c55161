// The trace log: line format, cuts, the size limit, the enabled state and the line counter.
#include "TestSupport.h"

#include <sys/wait.h>

namespace {

using cwtest::ParseLog;
using cwtest::ReadFile;
using cwtest::WriteFile;

time_t FixedClock()
{
    struct tm when = {};
    when.tm_year = 2026 - 1900;
    when.tm_mday = 2;
    when.tm_hour = 3;
    when.tm_min = 4;
    when.tm_sec = 5;
    return timegm(&when);
}

// The child half of NewProcessStartsAtOne: when the test starts this binary again with
// CARDWATCH_LOG_CHILD naming the log file, this runs before main and ends the process.
const bool gRunsAsLogChild = [] {
    const char *path = getenv("CARDWATCH_LOG_CHILD");
    if (path != nullptr) {
        Log("/x/Log.cpp", "main", "before init");
        InitLogSystem(path);
        Log("/x/Log.cpp", "main", "first of this run");
        _exit(0);  // no stdio flush at exit: the line must already be in the file
    }
    return false;
}();

class LogTest : public cwtest::LoggedTest {
protected:
    void SetUp() override
    {
        env_.Set("TZ", "UTC");
        tzset();
        LogSetClockForTesting(FixedClock);
        LoggedTest::SetUp();
    }
    void TearDown() override
    {
        LogSetClockForTesting(nullptr);
        LoggedTest::TearDown();
    }
    std::string Line(int number, const std::string &rest) const
    {
        return "line " + std::to_string(number) + "===2026-1-2 3:4:5   " + rest;
    }
    int LastNumber() const { return LogLines().back().number; }

    cwtest::ScopedEnvironment env_;
};

TEST_F(LogTest, LineFormatBaseNameAndPercentSigns)
{
    Log("/Users/build/OVCardWatch/src/Process.cpp", "RunShellProgram", "value %d and %s", 42, "text");
    const int n = LastNumber();
    Log("a/src/Process", "F", "%s", "/Volumes/100%done/%s%n");
    Log("a/src/", "F", "trailing slash");
    Log("NoSlash.cpp", "F", "no slash");
    EXPECT_EQ(Line(n, "Process.cpp:RunShellProgram --- value 42 and text\n") +
                  Line(n + 1, "Process:F --- /Volumes/100%done/%s%n\n") + Line(n + 2, ":F --- trailing slash\n") +
                  Line(n + 3, "NoSlash.cpp:F --- no slash\n"),
              ReadFile(logPath_));
}

TEST_F(LogTest, LongLineIsCutAt2047CharactersWithoutItsLineFeed)
{
    Log("/x/Log.cpp", "F", "%s", std::string(3000, 'x').c_str());
    const int n = LastNumber();
    Log("/x/Log.cpp", "F", "after");
    std::string content = ReadFile(logPath_);
    EXPECT_EQ(Line(n, "Log.cpp:F --- ") + std::string(2047 - Line(n, "Log.cpp:F --- ").size(), 'x'),
              content.substr(0, 2047));
    EXPECT_EQ(Line(n + 1, "Log.cpp:F --- after\n"), content.substr(2047));
}

TEST_F(LogTest, SizeLimitEmptiesTheFileFromTenMillionAndOneBytes)
{
    WriteFile(logPath_, "old");
    ASSERT_EQ(0, truncate(logPath_.c_str(), 10000000));  // sparse
    Log("/x/Log.cpp", "F", "appended");
    std::string content = ReadFile(logPath_);
    EXPECT_EQ("old", content.substr(0, 3));
    ASSERT_EQ(1u, ParseLog(content.substr(10000000)).size());

    // 10,000,001 bytes or more, with the stream already open and with a fresh one.
    for (bool reopen : {false, true}) {
        ASSERT_EQ(0, truncate(logPath_.c_str(), 10000001));
        if (reopen) {
            InitLogSystem(logPath_.c_str());
        }
        Log("/x/Log.cpp", "F", "fresh");
        EXPECT_EQ(Line(LastNumber(), "Log.cpp:F --- fresh\n"), ReadFile(logPath_));
    }
}

TEST_F(LogTest, DisabledLoggingWritesNothingAndUsesNoNumber)
{
    Log("/x/Log.cpp", "F", "first");
    const int first = LastNumber();
    CloseLogSystem();
    Log("/x/Log.cpp", "F", "while closed");
    InitLogSystem(nullptr);
    Log("/x/Log.cpp", "F", "missing path");
    InitLogSystem(std::string(1024, 'p').c_str());
    Log("/x/Log.cpp", "F", "path too long");
    InitLogSystem(logPath_.c_str());
    Log(nullptr, "F", "no file");
    Log("/x/Log.cpp", nullptr, "no function");
    Log("/x/Log.cpp", "F", "second");
    auto lines = LogLines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(first + 1, lines[1].number);
}

TEST_F(LogTest, UnopenableFileLosesTheLineAndTheNumberingShowsTheGap)
{
    Log("/x/Log.cpp", "F", "before");
    const int before = LastNumber();
    InitLogSystem((dir_ + "/missing/CardWatch.log").c_str());
    Log("/x/Log.cpp", "F", "lost");
    InitLogSystem(logPath_.c_str());  // also: later lines go to the newly named file
    Log("/x/Log.cpp", "F", "after");
    auto lines = LogLines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(before + 2, lines[1].number);
}

// A fresh process numbers from 1 although the file holds lines of an earlier run, ignores lines
// before InitLogSystem, and leaves its line on disk though it dies without closing.
TEST_F(LogTest, NewProcessStartsAtOneAndEveryLineReachesTheFile)
{
    WriteFile(logPath_, "line 7===2020-1-1 0:0:0   Old.cpp:main --- earlier run\n");
    CloseLogSystem();
    pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        setenv("CARDWATCH_LOG_CHILD", logPath_.c_str(), 1);
        execl("/proc/self/exe", "cardwatch_log_tests", static_cast<char *>(nullptr));
        _exit(127);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    auto lines = LogLines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(1, lines[1].number);
    EXPECT_EQ("first of this run", lines[1].message);
}

}  // namespace
