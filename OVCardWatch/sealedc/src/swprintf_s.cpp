/* Wide formatted output into a counted wide buffer.
 *
 * Fixed names (callers rely on them): swprintf_s and vswprintf_s, declared in sealedc.h and called
 * by the tests. */
#include "input_woutput.h"
#include "sealedc.h"

extern "C" {

int vswprintf_s(wchar_t *strDest, size_t destMax, const wchar_t *format, va_list argList)
{
    /* As with the byte functions, a refused call empties a destination it may touch. */
    if (strDest == nullptr || destMax == 0) {
        return -1;
    }
    if (format == nullptr || destMax > SEALEDC_WIDE_MAX_LEN) {
        strDest[0] = L'\0';
        return -1;
    }
    sealedc_wout_stream stream;
    stream.count = static_cast<int32_t>(destMax);
    stream.cur = strDest;
    va_list ap;
    va_copy(ap, argList);
    int r = sealedc_woutput_s(&stream, format, ap);
    va_end(ap);
    /* The whole output and its terminator must fit; otherwise the destination is emptied. */
    if (r >= 0 && stream.count > 0) {
        *stream.cur = L'\0';
        return r;
    }
    strDest[0] = L'\0';
    return -1;
}

int swprintf_s(wchar_t *strDest, size_t destMax, const wchar_t *format, ...)
{
    va_list ap;
    va_start(ap, format);
    int r = vswprintf_s(strDest, destMax, format, ap);
    va_end(ap);
    return r;
}

} /* extern "C" */
