// The shell runner with the real /bin/sh: attempts, classification of failures, output capture
// through the scratch file, and the quoting helpers. Sleeps are counted by the recorder.
#include "Process.h"
#include "PlatformTesting.h"
#include "TestSupport.h"

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>

#include <cstdio>

namespace {

using cwtest::Exists;
using cwtest::ReadFile;

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

bool StartsWith(const std::string &text, const std::string &prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

TEST_F(ProcessTest, SucceedsAtTheThirdAttemptAfterTwoFailures)
{
    std::string counter = dir_ + "/count";
    std::string command = "n=$(cat " + counter + " 2>/dev/null || echo 0); n=$((n+1)); echo $n > " + counter +
                          "; [ $n -ge 3 ]";
    EXPECT_TRUE(RunShellProgram(command.c_str(), 10));
    auto messages = Messages();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0], "RunShellProgram Enter");
    EXPECT_TRUE(StartsWith(messages[1], "system failed 0 time, return 256[Unknown error 256]:(" + command + "), err = ("))
        << messages[1];
    EXPECT_TRUE(StartsWith(messages[2], "system failed 1 time, return 256[")) << messages[2];
    EXPECT_EQ(messages[3], "RunShellProgram exit true.(" + command + ")");
    EXPECT_EQ(PlatformTestingSleepCalls(), 2u);
    EXPECT_EQ(PlatformTestingSleepSeconds(), 2u);
    EXPECT_EQ(LogLines()[0].where, "Process.cpp:RunShellProgram");
}

TEST_F(ProcessTest, TenFailuresAreNumberedZeroToNine)
{
    EXPECT_FALSE(RunShellProgram("exit 1", 10));
    auto messages = Messages();
    ASSERT_EQ(messages.size(), 12u);
    for (int i = 0; i < 10; ++i) {
        EXPECT_TRUE(StartsWith(messages[static_cast<size_t>(i) + 1],
                               "system failed " + std::to_string(i) + " time, return 256[Unknown error 256]:(exit 1), err = ("));
    }
    EXPECT_EQ(messages[11], "(exit 1) false, RunShellProgram exit failed");
    EXPECT_EQ(PlatformTestingSleepCalls(), 10u);
}

TEST_F(ProcessTest, StatusOf127IsAShellFailure)
{
    EXPECT_FALSE(RunShellProgram("no-such-program-cardwatch", 1));
    EXPECT_EQ(Messages(), (std::vector<std::string>{
                              "RunShellProgram Enter",
                              "system failed 0 time because shell failed. (no-such-program-cardwatch)",
                              "(no-such-program-cardwatch) false, RunShellProgram exit failed"}));
    EXPECT_EQ(PlatformTestingSleepCalls(), 1u);
}

TEST_F(ProcessTest, NoAttemptsAndNoCommand)
{
    std::string marker = dir_ + "/ran";
    std::string command = "touch " + marker;
    EXPECT_FALSE(RunShellProgram(command.c_str(), 0));
    EXPECT_FALSE(Exists(marker));
    EXPECT_FALSE(RunShellProgram(nullptr, 10));
    EXPECT_EQ(Messages(), (std::vector<std::string>{"RunShellProgram Enter",
                                                    "(" + command + ") false, RunShellProgram exit failed",
                                                    "param error"}));
    EXPECT_EQ(PlatformTestingSleepCalls(), 0u);
}

TEST_F(ProcessTest, CaptureIsCutToTheBufferAndTheScratchFileIsRemoved)
{
    char output[8];
    memset(output, 'z', sizeof(output));
    EXPECT_TRUE(RunShellCmd("printf 0123456789", output, sizeof(output)));
    EXPECT_STREQ(output, "0123456");
    EXPECT_FALSE(Exists(scratch_));
    auto messages = Messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.front(), "enter RunShellCmd (printf 0123456789)");
    EXPECT_TRUE(Logged("RunShellProgram exit true.(printf 0123456789 > " + scratch_ + ")"));
    EXPECT_TRUE(Logged("recv [0123456]"));
    EXPECT_TRUE(Logged("RunShellProgram exit true.(rm -f " + scratch_ + ")"));
    EXPECT_EQ(PlatformTestingSleepCalls(), 1u);
}

TEST_F(ProcessTest, EmptyOutputIsAFailureAndStillRemovesTheScratchFile)
{
    char output[64];
    EXPECT_FALSE(RunShellCmd("true", output, sizeof(output)));
    EXPECT_STREQ(output, "");
    EXPECT_TRUE(Logged("fread failed"));
    EXPECT_FALSE(Exists(scratch_));
}

TEST_F(ProcessTest, SearchWithoutMatchSpendsItsAttempts)
{
    char output[64];
    EXPECT_FALSE(RunShellCmd("echo Dock | grep 'Finder[.]'", output, sizeof(output)));
    EXPECT_TRUE(Logged("RunShellProgram cmdBuff 1 failed"));
    EXPECT_EQ(PlatformTestingSleepCalls(), 10u);
}

TEST_F(ProcessTest, VanishedScratchFileIsReported)
{
    char output[64];
    std::string command = "rm -f " + scratch_;
    EXPECT_FALSE(RunShellCmd(command.c_str(), output, sizeof(output)));
    EXPECT_TRUE(Logged("fopen failed for [No such file or directory]"));
}

TEST_F(ProcessTest, BadArgumentsAndOverlongCommandsRunNothing)
{
    std::string marker = dir_ + "/ran";
    char output[16];
    EXPECT_FALSE(RunShellCmd("", output, sizeof(output)));
    EXPECT_FALSE(RunShellCmd(nullptr, output, sizeof(output)));
    EXPECT_FALSE(RunShellCmd("echo x", nullptr, 16));
    EXPECT_FALSE(RunShellCmd("echo x", output, 0));
    EXPECT_EQ(Messages(), std::vector<std::string>(4, "enter RunShellCmd, but parmer is wrong, exit"));

    // A command whose redirection would be cut is not run at all.
    ClearLog();
    std::string command = "touch " + marker + "; echo " + std::string(1100, 'a');
    EXPECT_FALSE(RunShellCmd(command.c_str(), output, sizeof(output)));
    EXPECT_FALSE(Exists(marker));
    EXPECT_TRUE(Logged("command is too long to redirect, RunShellCmd exit failed"));
}

// Runs text through the real shell inside double quotes and returns what the shell made of it.
std::string ShellRoundTrip(const std::string &quotedWord)
{
    std::string command = "printf '%s' " + quotedWord;
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return "<popen failed>";
    }
    std::string result;
    char chunk[256];
    size_t got;
    while ((got = fread(chunk, 1, sizeof(chunk), pipe)) > 0) {
        result.append(chunk, got);
    }
    pclose(pipe);
    return result;
}

TEST_F(ProcessTest, QuotingHelpersTurnHostileValuesIntoLiteralWords)
{
    std::string marker = dir_ + "/pwned";
    const std::vector<std::string> values = {
        "plain /Volumes/Velmora/Velmora.app/",
        "\"; touch " + marker + "; \"",
        "$(touch " + marker + ")",
        "`touch " + marker + "`",
        "back\\slash\\\" and \\",
        "$HOME ${PATH} $1 !x",
        "it's 'single'; touch " + marker,
        "line\nfeed",
    };
    for (const std::string &value : values) {
        char escaped[512];
        ASSERT_TRUE(EscapeShellDoubleQuoted(value.c_str(), escaped, sizeof(escaped)));
        EXPECT_EQ(ShellRoundTrip("\"" + std::string(escaped) + "\""), value);
        char quoted[512];
        ASSERT_TRUE(QuoteShellWord(value.c_str(), quoted, sizeof(quoted)));
        EXPECT_EQ(ShellRoundTrip(quoted), value);
    }
    EXPECT_FALSE(Exists(marker));

    char escaped[512];
    ASSERT_TRUE(EscapeShellDoubleQuoted("/Volumes/Foo Setup", escaped, sizeof(escaped)));
    EXPECT_STREQ(escaped, "/Volumes/Foo Setup");  // ordinary values are unchanged

    char small[4];
    EXPECT_FALSE(EscapeShellDoubleQuoted("abcd", small, sizeof(small)));
    EXPECT_STREQ(small, "");
    EXPECT_TRUE(EscapeShellDoubleQuoted("abc", small, sizeof(small)));
    EXPECT_FALSE(EscapeShellDoubleQuoted("a\"b", small, sizeof(small)));
    EXPECT_FALSE(QuoteShellWord("ab", small, sizeof(small)));
    EXPECT_TRUE(QuoteShellWord("a", small, sizeof(small)));
    EXPECT_STREQ(small, "'a'");
    EXPECT_FALSE(QuoteShellWord(nullptr, small, sizeof(small)));
}

// The service's own scratch path, in a private mount namespace with a tmpfs over its folder.
TEST_F(ProcessTest, DefaultScratchFileIsTheServiceFolder)
{
    if (geteuid() != 0) {
        if (getenv("CI") != nullptr && std::string(getenv("CI")) == "true") {
            FAIL() << "needs root for a private mount namespace";
        }
        GTEST_SKIP() << "needs root for a private mount namespace over /usr/local/RevediriService";
    }
    ProcessSetScratchPathForTesting(nullptr);
    const char *folder = "/usr/local/RevediriService";
    ASSERT_TRUE(Exists(folder) || mkdir(folder, 0755) == 0);  // the mount point, empty, on the host
    pid_t child = fork();
    ASSERT_NE(child, -1);
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
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(WEXITSTATUS(status), 2) << "could not set up the private mount namespace";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(Logged("RunShellProgram exit true.(echo service > /usr/local/RevediriService/cmd.txt)"));
}

}  // namespace
