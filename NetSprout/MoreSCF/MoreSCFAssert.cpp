// Reporting of broken contracts (see MoreSCFAssert.h).
#include "MoreSCFAssert.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <syslog.h>

namespace {

#ifdef NDEBUG
std::atomic<bool> gAssertFatal{false};
#else
std::atomic<bool> gAssertFatal{true};
#endif

const char *BaseName(const char *path)
{
    const char *slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

}  // namespace

extern "C" void MoreSCFAssertFailed(const char *condition, const char *file, int line, const char *function)
{
    if (gAssertFatal) {
        std::fprintf(stderr, "%s:%d: %s: assertion failed: %s\n", BaseName(file), line, function, condition);
        std::fflush(stderr);
        std::abort();
    }
    syslog(LOG_ERR, "%s:%d: %s: assertion failed: %s", BaseName(file), line, function, condition);
}

extern "C" void MoreSCFAssertSetFatal(int fatal) { gAssertFatal = (fatal != 0); }

extern "C" int MoreSCFAssertIsFatal(void) { return gAssertFatal ? 1 : 0; }
