/* snprintf_s and vsnprintf_s: formatted output into a counted buffer through the library's own
 * engine. A count below destMax cuts the output to count characters; otherwise the whole output
 * must fit.
 *
 * Fixed names (callers rely on them): snprintf_s and vsnprintf_s, declared in sealedc.h and
 * called by the service, the tests, the benchmarks and the snprintf fuzz target;
 * vsnprintf_helper, declared in sealedc_internal.h and called by the engine tests. */
#include "sealedc_internal.h"

/* Largest count taken as a count; the all-ones value means "as much as fits". */
#define SEALEDC_MAX_FORMAT_COUNT 0x7FFFFFFEUL

int vsnprintf_helper(char *string, size_t size, const char *format, va_list argList)
{
    sealedc_out_stream stream;
    stream.count = (int32_t)size;
    stream.cur = string;

    int ret = sealedc_output_s(&stream, format, argList);
    if (ret >= 0) {
        /* The terminator goes through the cursor like any other character. */
        if (stream.count-- > 0) {
            *stream.cur = '\0';
            return ret;
        }
    }
    if (string != NULL) {
        string[size - 1] = '\0';
    }
    return stream.count < 0 ? -2 : -1;
}

int vsnprintf_s(char *strDest, size_t destMax, size_t count, const char *format, va_list argList)
{
    if (format == NULL || strDest == NULL || destMax == 0 || destMax > SEALEDC_MAX_LEN ||
        (count > SEALEDC_MAX_FORMAT_COUNT && count != (size_t)-1)) {
        if (strDest != NULL && destMax != 0) {
            strDest[0] = '\0';
        }
        return -1;
    }

    int ret;
    if (destMax > count) {
        ret = vsnprintf_helper(strDest, count + 1, format, argList);
        if (ret == -2) {
            /* Cut, not cleared: the first count characters stay, terminated. */
            return -1;
        }
    } else {
        ret = vsnprintf_helper(strDest, destMax, format, argList);
        strDest[destMax - 1] = '\0';
    }
    if (ret < 0) {
        strDest[0] = '\0';
        return -1;
    }
    return ret;
}

int snprintf_s(char *strDest, size_t destMax, size_t count, const char *format, ...)
{
    va_list argList;
    va_start(argList, format);
    int ret = vsnprintf_s(strDest, destMax, count, format, argList);
    va_end(argList);
    return ret;
}
