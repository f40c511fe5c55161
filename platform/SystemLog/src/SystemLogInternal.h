// Between the interposed syslog entry points and the test capture.
#ifndef SYSTEM_LOG_INTERNAL_H
#define SYSTEM_LOG_INTERNAL_H

#include <cstdarg>
#include <string_view>

// The C library's fortified entry points (what <syslog.h> turns syslog into under
// _FORTIFY_SOURCE); declared here because <syslog.h> declares them only in fortified builds.
extern "C" {
void __syslog_chk(int priority, int flag, const char *format, ...) __attribute__((format(printf, 3, 4)));
void __vsyslog_chk(int priority, int flag, const char *format, va_list arguments)
    __attribute__((format(printf, 3, 0)));
}

namespace systemlog {

// Keeps one formatted line for the test capture when it is on. level: the priority with the
// facility bits cleared.
void Capture(int level, std::string_view text);

}  // namespace systemlog

#endif
