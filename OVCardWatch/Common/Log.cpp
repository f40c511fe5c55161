// The service's trace log: one formatted line per call, appended to one file that is emptied
// once it has grown past ten million bytes.
//
// Keep as written: the state names g_szlogFileName, g_blogSystemInitSuccess, g_stream and iCnt
// are the service's known names for them, and every reader of the log parses its line format
// ("line N===Y-M-D h:m:s   File:Function --- message": three equals signs, three spaces, then
// " --- "). Do not tidy them.
#include "Log.h"

#include "CardWatchTestHooks.h"
#include "sealedc.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

namespace {

constexpr size_t kLogPathSize = 1025;
constexpr size_t kLogBufferSize = 2048;
constexpr long kLogSizeLimit = 10000001;  // a file this large or larger is emptied first

char g_szlogFileName[kLogPathSize];
bool g_blogSystemInitSuccess = false;
FILE *g_stream = nullptr;
time_t (*g_clock)(void) = nullptr;

void CloseStream()
{
    if (g_stream != nullptr) {
        fclose(g_stream);
        g_stream = nullptr;
    }
}

const char *BaseName(const char *file)
{
    const char *end = file + strlen(file);
    for (const char *p = end; p != file; --p) {
        if (p[-1] == '/') {
            return p;
        }
    }
    return file;  // no "/" at all: the whole argument names the file
}

}  // namespace

void InitLogSystem(const char *path)
{
    // A stream still open on an earlier file must not receive the lines meant for the new one.
    CloseStream();
    if (path == nullptr || strlen(path) >= kLogPathSize - 1) {
        g_blogSystemInitSuccess = false;
        return;
    }
    strncpy_s(g_szlogFileName, kLogPathSize, path, kLogPathSize - 1);
    g_blogSystemInitSuccess = true;
}

void CloseLogSystem(void)
{
    CloseStream();
    g_blogSystemInitSuccess = false;
}

void Log(const char *file, const char *function, const char *format, ...)
{
    static int iCnt = 0;

    if (file == nullptr || function == nullptr || format == nullptr || !g_blogSystemInitSuccess) {
        return;
    }

    char message[kLogBufferSize];
    message[0] = '\0';
    va_list args;
    va_start(args, format);
    // A message longer than 2047 characters is cut there; one that cannot be formatted is left
    // empty by the formatter.
    (void)vsnprintf_s(message, kLogBufferSize, kLogBufferSize - 1, format, args);
    va_end(args);

    const char *baseName = BaseName(file);

    time_t now = g_clock != nullptr ? g_clock() : time(nullptr);
    struct tm local;
    if (localtime_r(&now, &local) == nullptr) {
        memset_s(&local, sizeof(local), 0, sizeof(local));
    }

    ++iCnt;

    char line[kLogBufferSize];
    line[0] = '\0';
    // A line cut at 2047 characters loses its final line feed.
    (void)snprintf_s(line, kLogBufferSize, kLogBufferSize - 1, "line %d===%d-%d-%d %d:%d:%d   %s:%s --- %s\n", iCnt,
                     local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                     baseName, function, message);

    if (g_stream == nullptr) {
        g_stream = fopen(g_szlogFileName, "a+");
        if (g_stream == nullptr) {
            return;  // the line is lost; the next call tries again
        }
    }

    if (fseek(g_stream, 0, SEEK_END) == 0 && ftell(g_stream) >= kLogSizeLimit) {
        fclose(g_stream);
        g_stream = fopen(g_szlogFileName, "w+");
        if (g_stream == nullptr) {
            return;
        }
    }

    fputs(line, g_stream);
    // The log is the only record of what the service did: a line held in the stream's buffer
    // would be lost if the service were killed.
    fflush(g_stream);
}

void LogSetClockForTesting(time_t (*clock)(void))
{
    g_clock = clock;
}
