// The shell runner with the real /bin/sh: attempts, classification of failures, output capture
// through the scratch file, and the escaping of values for double quotes. Sleeps are counted.
#include "PlatformTesting.h"
#include "Process.h"
#include "TestSupport.h"

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>

namespace {

using cwtest::Exists;

class ProcessTest : public cwtest::LoggedTest {
protected:
    void SetUp() override
    {
        LoggedTest::SetUp();
        PlatformTestingResetSleep();
        scratch_ = dir_ + "/cmd.txt";
        ProcessSetScratchPathForTesting(scratch_.c_str());
    }
    void TearDown() override
    {
        ProcessSetScratchPathForTesting(nullptr);
        LoggedTest::TearDown();
    }
    std::string scratch_;
};

std::string Failure(int attempt, const std::string &command)
{
    return "system failed " + std::to_string(attempt) + " time, return 256[Unknown error 256]:(" + command +
           "), err = (";
}

TEST_F(ProcessTest, AttemptsAndTheirFailureLines)
{
    const std::string counter = dir_ + "/count";
    const std::string third = "n=$(cat " + counter + " 2>/dev/null || echo 0); n=$((n+1)); echo $n > " + counter +
                              "; [ $n -ge 3 ]";
    EXPECT_TRUE(RunShellProgram(third.c_str(), 10));
    auto messages = Messages("Process.cpp:RunShellProgram");
    ASSERT_EQ(4u, messages.size());
    EXPECT_EQ("RunShellProgram Enter", messages[0]);
    EXPECT_EQ(Failure(0, third), messages[1].substr(0, Failure(0, third).size()));
    EXPECT_EQ(Failure(1, third), messages[2].substr(0, Failure(1, third).size()));
    EXPECT_EQ("RunShellProgram exit true.(" + third + ")", messages[3]);
    EXPECT_EQ(2u, PlatformTestingSleepSeconds());

    ClearLog();
    EXPECT_FALSE(RunShellProgram("exit 1", 10));
    messages = Messages();
    ASSERT_EQ(12u, messages.size());
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(Failure(i, "exit 1"), messages[static_cast<size_t>(i) + 1].substr(0, Failure(i, "exit 1").size()));
    }
    EXPECT_EQ("(exit 1) false, RunShellProgram exit failed", messages[11]);
    EXPECT_EQ(12u, PlatformTestingSleepCalls());
}

TEST_F(ProcessTest, ShellFailureNoAttemptsAndNoCommand)
{
    EXPECT_FALSE(RunShellProgram("no-such-program-cardwatch", 1));
    const std::string touch = "touch " + dir_ + "/ran";
    EXPECT_FALSE(RunShellProgram(touch.c_str(), 0));
    EXPECT_FALSE(RunShellProgram(nullptr, 10));
    EXPECT_FALSE(RunShellProgram("", 10));  // the shell would call an empty command a success
    EXPECT_FALSE(Exists(dir_ + "/ran"));
    EXPECT_EQ((std::vector<std::string>{
                  "RunShellProgram Enter", "system failed 0 time because shell failed. (no-such-program-cardwatch)",
                  "(no-such-program-cardwatch) false, RunShellProgram exit failed", "RunShellProgram Enter",
                  "(" + touch + ") false, RunShellProgram exit failed", "param error", "param error"}),
              Messages());
    EXPECT_EQ(1u, PlatformTestingSleepCalls());
}

TEST_F(ProcessTest, CaptureIsCutToTheBufferAndTheScratchFileIsRemoved)
{
    char output[8];
    EXPECT_TRUE(RunShellCmd("printf 0123456789", output, sizeof(output)));
    EXPECT_STREQ("0123456", output);
    EXPECT_FALSE(Exists(scratch_));
    EXPECT_EQ((std::vector<std::string>{"enter RunShellCmd (printf 0123456789)", "recv [0123456]"}),
              Messages("Process.cpp:RunShellCmd"));
    EXPECT_TRUE(Logged("RunShellProgram exit true.(printf 0123456789 > " + scratch_ + ")"));
    EXPECT_TRUE(Logged("RunShellProgram exit true.(rm -f " + scratch_ + ")"));
    EXPECT_EQ(1u, PlatformTestingSleepCalls());

    ClearLog();  // empty output: a failure, and still no scratch file
    EXPECT_FALSE(RunShellCmd("true", output, sizeof(output)));
    EXPECT_STREQ("", output);
    EXPECT_FALSE(Exists(scratch_));
    ClearLog();  // a search that finds nothing spends its ten attempts
    EXPECT_FALSE(RunShellCmd("echo Dock | grep 'Finder[.]'", output, sizeof(output)));
    const std::string rm = "rm -f " + scratch_;
    EXPECT_FALSE(RunShellCmd(rm.c_str(), output, sizeof(output)));
    EXPECT_EQ((std::vector<std::string>{"enter RunShellCmd (echo Dock | grep 'Finder[.]')",
                                        "RunShellProgram cmdBuff 1 failed", "enter RunShellCmd (" + rm + ")",
                                        "fopen failed for [No such file or directory]"}),
              Messages("Process.cpp:RunShellCmd"));
}

TEST_F(ProcessTest, BadArgumentsAndOverlongCommandsRunNothing)
{
    const std::string marker = dir_ + "/ran";
    const std::string overlong = "touch " + marker + "; echo " + std::string(1100, 'a');
    char output[16];
    EXPECT_FALSE(RunShellCmd("", output, sizeof(output)));
    EXPECT_FALSE(RunShellCmd(nullptr, output, sizeof(output)));
    EXPECT_FALSE(RunShellCmd("echo x", nullptr, 16));
    EXPECT_FALSE(RunShellCmd("echo x", output, 0));
    EXPECT_FALSE(RunShellCmd(overlong.c_str(), output, sizeof(output)));  // its redirection would be cut
    EXPECT_FALSE(Exists(marker));
    std::vector<std::string> expected(4, "enter RunShellCmd, but parmer is wrong, exit");
    expected.push_back("enter RunShellCmd (" + overlong + ")");
    expected.push_back("command is too long to redirect, RunShellCmd exit failed");
    EXPECT_EQ(expected, Messages());
}

TEST_F(ProcessTest, EscapedValuesAreLiteralInsideDoubleQuotes)
{
    const std::string marker = dir_ + "/pwned";
    const std::string values[] = {"plain /Volumes/Foo Setup", "\"; touch " + marker + "; \"", "$(touch " + marker + ")",
                                  "`touch " + marker + "`", "back\\slash\\\" and \\", "$HOME ${PATH} $1 !x 'q'"};
    for (const std::string &value : values) {
        char escaped[512];
        ASSERT_TRUE(EscapeShellDoubleQuoted(value.c_str(), escaped, sizeof(escaped)));
        char output[512];
        const std::string command = "printf '%s' \"" + std::string(escaped) + "\"";
        ASSERT_TRUE(RunShellCmd(command.c_str(), output, sizeof(output)));
        EXPECT_EQ(value, output);
    }
    EXPECT_FALSE(Exists(marker));
    char small[4];
    EXPECT_TRUE(EscapeShellDoubleQuoted("abc", small, sizeof(small)));
    EXPECT_FALSE(EscapeShellDoubleQuoted("a\"b", small, sizeof(small)));
    EXPECT_STREQ("", small);
    EXPECT_FALSE(EscapeShellDoubleQuoted(nullptr, small, sizeof(small)));
}

// The service's own scratch path, in a private mount namespace with a tmpfs over its folder.
TEST_F(ProcessTest, DefaultScratchFileIsInTheServiceFolder)
{
    if (geteuid() != 0) {
        const char *ci = getenv("CI");
        if (ci != nullptr && std::string(ci) == "true") {
            FAIL() << "needs root for a private mount namespace";
        }
        GTEST_SKIP() << "needs root for a private mount namespace over /usr/local/RevediriService";
    }
    ProcessSetScratchPathForTesting(nullptr);
    const char *folder = "/usr/local/RevediriService";
    ASSERT_TRUE(Exists(folder) || mkdir(folder, 0755) == 0);  // the mount point, empty, on the host
    pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", folder, "tmpfs", 0, nullptr) != 0) {
            _exit(2);
        }
        char output[16];
        bool ok = RunShellCmd("echo service", output, sizeof(output));
        _exit(ok && strcmp(output, "service\n") == 0 && !Exists("/usr/local/RevediriService/cmd.txt") ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(2, WEXITSTATUS(status)) << "could not make the private mount namespace";
    EXPECT_EQ(0, WEXITSTATUS(status));
    EXPECT_TRUE(Logged("RunShellProgram exit true.(echo service > /usr/local/RevediriService/cmd.txt)"));
}

}  // namespace
