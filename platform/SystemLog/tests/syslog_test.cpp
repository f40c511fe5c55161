// The system log route: every entry point reaches the capture with its level and text formatted
// once; standard error mirrors lines only when asked; the real log (/dev/log) gets each line.
#include "PlatformTesting.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

extern "C" {
void __syslog_chk(int priority, int flag, const char *format, ...) __attribute__((format(printf, 3, 4)));
void __vsyslog_chk(int priority, int flag, const char *format, va_list arguments)
    __attribute__((format(printf, 3, 0)));
}

namespace {

__attribute__((format(printf, 2, 3))) void ThroughVsyslog(int priority, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    vsyslog(priority, format, arguments);
    va_end(arguments);
}

__attribute__((format(printf, 2, 3))) void ThroughVsyslogChk(int priority, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    __vsyslog_chk(priority, 1, format, arguments);
    va_end(arguments);
}

class SystemLogTest : public ::testing::Test {
protected:
    void SetUp() override { PlatformTestingLogCaptureStart(); }
    void TearDown() override { PlatformTestingResetSystemLog(); }
};

TEST_F(SystemLogTest, EveryEntryPointCapturesTheLineOnceWithItsLevel)
{
    const std::string longText(10000, 'x');
    struct Case {
        const char *what;
        std::function<void()> log;
        int level;
        std::string text;
    };
    const Case cases[] = {
        {"syslog, no facility", [] { syslog(LOG_ERR, "Found %d device", 1); }, LOG_ERR, "Found 1 device"},
        {"syslog, facility cleared", [] { syslog(LOG_DAEMON | LOG_INFO, "Is ppp interface"); }, LOG_INFO,
         "Is ppp interface"},
        {"syslog, highest facility", [] { syslog(LOG_LOCAL7 | LOG_DEBUG, "%s=%u", "n", 7u); }, LOG_DEBUG, "n=7"},
        {"syslog, level 0", [] { syslog(LOG_USER | LOG_EMERG, "emergency"); }, LOG_EMERG, "emergency"},
        {"vsyslog", [] { ThroughVsyslog(LOG_WARNING, "%s:%d", "file.cpp", 12); }, LOG_WARNING, "file.cpp:12"},
        {"__syslog_chk", [] { __syslog_chk(LOG_LOCAL0 | LOG_ERR, 1, "chk %x", 255u); }, LOG_ERR, "chk ff"},
        {"__vsyslog_chk", [] { ThroughVsyslogChk(LOG_NOTICE, "vchk %c", 'z'); }, LOG_NOTICE, "vchk z"},
        {"%m is errno's text",
         [] {
             errno = ENOENT;
             syslog(LOG_ERR, "open failed: %m");
         },
         LOG_ERR, std::string("open failed: ") + std::strerror(ENOENT)},
        {"%%m stays literal",
         [] {
             errno = ENOENT;
             syslog(LOG_ERR, "100%%mile");
         },
         LOG_ERR, "100%mile"},
        {"a line longer than any buffer", [&] { syslog(LOG_ERR, "<%s>", longText.c_str()); }, LOG_ERR,
         "<" + longText + ">"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        PlatformTestingLogCaptureStart();
        errno = EAGAIN;
        c.log();
        EXPECT_TRUE(errno == EAGAIN || errno == ENOENT) << "errno changed to " << errno;
        ASSERT_EQ(1u, PlatformTestingLogLineCount());
        int level = -1;
        const char *text = PlatformTestingLogLine(0, &level);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(level, c.level);
        EXPECT_EQ(c.text, std::string(text));
    }
}

TEST(SystemLogCaptureTest, IsOffUntilStartedAndForgetsOnReset)
{
    PlatformTestingResetSystemLog();
    syslog(LOG_ERR, "before the capture");
    EXPECT_EQ(0u, PlatformTestingLogLineCount());
    PlatformTestingLogCaptureStart();
    syslog(LOG_ERR, "first");
    const char *first = PlatformTestingLogLine(0, nullptr);
    for (int i = 0; i < 100; ++i) {
        syslog(LOG_INFO, "line %d", i);
    }
    EXPECT_EQ(101u, PlatformTestingLogLineCount());
    EXPECT_STREQ(first, "first") << "a text handed out moved when lines were added";
    EXPECT_EQ(nullptr, PlatformTestingLogLine(101, nullptr));
    PlatformTestingResetSystemLog();
    EXPECT_EQ(0u, PlatformTestingLogLineCount());
    syslog(LOG_ERR, "after the reset");
    EXPECT_EQ(0u, PlatformTestingLogLineCount());
}

// Runs body in a child process with a pipe as its output; returns what the child wrote there
// and its exit status.
struct ChildResult {
    std::string output;
    int exitCode = -1;
};
ChildResult RunInChild(const std::function<int(int outputFd)> &body)
{
    int fds[2];
    if (pipe(fds) != 0) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return {};
    }
    pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        _exit(body(fds[1]));
    }
    close(fds[1]);
    ChildResult result;
    char buffer[4096];
    ssize_t got;
    while ((got = read(fds[0], buffer, sizeof buffer)) > 0) {
        result.output.append(buffer, static_cast<std::size_t>(got));
    }
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

TEST(SystemLogStandardErrorTest, MirrorsOneLineOnlyWhenAsked)
{
    struct Case {
        const char *variable;  // PLATFORM_SYSLOG_STDERR, or NULL for unset
        bool ownNewline;  // the line ends in its own newline, which is not doubled
        bool mirrored;
    };
    const Case cases[] = {
        {"1", false, true},
        {"1", true, true},
        {nullptr, false, false},
        {"0", false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.variable != nullptr ? c.variable : "(unset)");
        ChildResult result = RunInChild([&](int out) {
            dup2(out, STDERR_FILENO);  // a pipe, not a terminal
            if (c.variable != nullptr) {
                setenv("PLATFORM_SYSLOG_STDERR", c.variable, 1);
            } else {
                unsetenv("PLATFORM_SYSLOG_STDERR");
            }
            if (c.ownNewline) {
                syslog(LOG_LOCAL2 | LOG_ERR, "Found %d device\n", 1);
            } else {
                syslog(LOG_LOCAL2 | LOG_ERR, "Found %d device", 1);
            }
            return 0;
        });
        ASSERT_EQ(0, result.exitCode);
        if (c.mirrored) {
            // The child's pid is not known here before it runs; check the shape around it.
            std::string prefix = std::string(program_invocation_short_name) + "[";
            ASSERT_EQ(0u, result.output.rfind(prefix, 0)) << result.output;
            std::size_t close = result.output.find("] ");
            ASSERT_NE(close, std::string::npos) << result.output;
            std::string pid = result.output.substr(prefix.size(), close - prefix.size());
            EXPECT_FALSE(pid.empty());
            EXPECT_EQ(std::string::npos, pid.find_first_not_of("0123456789")) << result.output;
            EXPECT_EQ("] <3> Found 1 device\n", result.output.substr(close));
        } else {
            EXPECT_EQ("", result.output);
        }
    }
}

// In a private mount namespace a datagram socket bound at /dev/log plays the machine's log.
TEST(SystemLogRealLogTest, ReceivesEachLine)
{
    constexpr int kNoNamespace = 77, kNoSocket = 78, kNothingArrived = 79;
    ChildResult result = RunInChild([&](int out) {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", "/dev", "tmpfs", 0, "mode=0755") != 0) {
            dprintf(out, "%s", std::strerror(errno));
            return kNoNamespace;
        }
        int log = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, "/dev/log");
        if (log < 0 || bind(log, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
            dprintf(out, "%s", std::strerror(errno));
            return kNoSocket;
        }
        timeval wait{5, 0};
        setsockopt(log, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        closelog();  // a connection inherited from the test process leads to the host's log
        syslog(LOG_LOCAL1 | LOG_WARNING, "real log line %d", 42);
        char datagram[2048];
        ssize_t got = recv(log, datagram, sizeof datagram, 0);
        if (got <= 0) {
            return kNothingArrived;
        }
        if (write(out, datagram, static_cast<std::size_t>(got)) != got) {
            return kNothingArrived;
        }
        return 0;
    });
    if (result.exitCode == kNoNamespace) {
        const char *ci = std::getenv("CI");
        if (ci != nullptr && std::strcmp(ci, "true") == 0) {
            FAIL() << "no private mount namespace under CI (needs root): " << result.output;
        }
        GTEST_SKIP() << "no private mount namespace (needs root): " << result.output;
    }
    ASSERT_EQ(0, result.exitCode) << result.output;
    // "<facility * 8 + level>" first, the line itself last.
    EXPECT_EQ(0u, result.output.rfind("<" + std::to_string(LOG_LOCAL1 | LOG_WARNING) + ">", 0)) << result.output;
    std::string tail = std::string(program_invocation_short_name) + ": real log line 42";
    ASSERT_GE(result.output.size(), tail.size()) << result.output;
    EXPECT_EQ(result.output.substr(result.output.size() - tail.size()), tail) << result.output;
}

}  // namespace
