// The syslog entry points as the program sees them: each line is formatted once (with %m) and
// handed to the real system log, the test capture and, when wanted, standard error.

// This file defines the very functions that a fortified <syslog.h> would wrap inline.
#undef _FORTIFY_SOURCE
#include "SystemLogInternal.h"

#include <dlfcn.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using RealSyslog = void (*)(int, const char *, ...);

// The C library's own syslog, behind ours: it keeps the platform's behaviour towards the
// machine's log (default identity and facility, /dev/log, nothing when there is no log).
RealSyslog RealSystemLog()
{
    static const RealSyslog real = reinterpret_cast<RealSyslog>(dlsym(RTLD_NEXT, "syslog"));
    return real;
}

// The text of one line. The C library's formatter expands %m from errno, so errno is put back
// to the caller's value before each pass.
__attribute__((format(printf, 2, 0))) std::string Format(int savedErrno, const char *format, va_list arguments)
{
    if (format == nullptr) {
        return std::string();
    }
    char small[512];
    va_list copy;
    va_copy(copy, arguments);
    errno = savedErrno;
    int length = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (length < 0) {
        return std::string(format);
    }
    if (static_cast<std::size_t>(length) < sizeof small) {
        return std::string(small, static_cast<std::size_t>(length));
    }
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    va_copy(copy, arguments);
    errno = savedErrno;
    std::vsnprintf(text.data(), text.size(), format, copy);
    va_end(copy);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

bool MirrorToStandardError()
{
    const char *wanted = std::getenv("PLATFORM_SYSLOG_STDERR");
    return isatty(STDERR_FILENO) || (wanted != nullptr && std::strcmp(wanted, "1") == 0);
}

// "<program>[<pid>] <<level>> <text>" as one write, so that lines of several processes sharing
// the terminal do not interleave.
void WriteStandardError(int level, const std::string &text)
{
    std::string_view body(text);
    while (!body.empty() && body.back() == '\n') {
        body.remove_suffix(1);
    }
    std::string line = std::string(program_invocation_short_name) + "[" + std::to_string(getpid()) + "] <" +
                       std::to_string(level) + "> ";
    line.append(body);
    line += '\n';
    const char *next = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        ssize_t written = write(STDERR_FILENO, next, left);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        next += written;
        left -= static_cast<std::size_t>(written);
    }
}

__attribute__((format(printf, 2, 0))) void Route(int priority, const char *format, va_list arguments)
{
    int savedErrno = errno;
    std::string text = Format(savedErrno, format, arguments);
    int level = LOG_PRI(priority);
    if (RealSyslog real = RealSystemLog()) {
        real(priority, "%s", text.c_str());
    }
    systemlog::Capture(level, text);
    if (MirrorToStandardError()) {
        WriteStandardError(level, text);
    }
    errno = savedErrno;
}

}  // namespace

extern "C" void vsyslog(int priority, const char *format, va_list arguments)
{
    Route(priority, format, arguments);
}

extern "C" void syslog(int priority, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    Route(priority, format, arguments);
    va_end(arguments);
}

// flag asks the fortified formatter to refuse %n in writable formats; the lines of this
// system's programs have constant formats, and the real log gets the text, not the format.
extern "C" void __vsyslog_chk(int priority, int flag, const char *format, va_list arguments)
{
    Route(priority, format, arguments);
}

extern "C" void __syslog_chk(int priority, int flag, const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    Route(priority, format, arguments);
    va_end(arguments);
}
