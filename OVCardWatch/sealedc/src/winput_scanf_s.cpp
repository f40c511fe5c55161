/* Wide formatted input from a wide string, a file of wide characters and standard input. */
#include "input_stream.h"
#include "sealedc.h"

#include <cwchar>

namespace {

int runScan(sealedc_in_stream *stream, const wchar_t *format, va_list argList)
{
    int r = sealedc_winput_s(stream, format, argList);
    if (r == -1) {
        clearwDestBuf(format, argList);
    }
    return r;
}

int refuse(const wchar_t *format, va_list argList)
{
    clearwDestBuf(format, argList);
    return -1;
}

} // namespace

extern "C" {

int vswscanf_s(const wchar_t *buffer, const wchar_t *format, va_list argList)
{
    if (format == nullptr) {
        return -1;
    }
    size_t len = buffer == nullptr ? 0 : wcsnlen(buffer, static_cast<size_t>(SEALEDC_MAX_TEXT_DEST) + 1);
    if (buffer == nullptr || len > SEALEDC_MAX_TEXT_DEST) {
        return refuse(format, argList);
    }
    sealedc_in_stream stream;
    sealedc_in_stream_from_string(&stream, buffer, static_cast<int32_t>(len));
    return runScan(&stream, format, argList);
}

int swscanf_s(const wchar_t *buffer, const wchar_t *format, ...)
{
    va_list ap;
    va_start(ap, format);
    int r = vswscanf_s(buffer, format, ap);
    va_end(ap);
    return r;
}

int vfwscanf_s(FILE *stream, const wchar_t *format, va_list argList)
{
    if (format == nullptr) {
        return -1;
    }
    if (stream == nullptr) {
        return refuse(format, argList);
    }
    sealedc_in_stream in;
    sealedc_in_stream_from_file(&in, stream);
    flockfile(stream);
    int r = runScan(&in, format, argList);
    funlockfile(stream);
    return r;
}

int fwscanf_s(FILE *stream, const wchar_t *format, ...)
{
    va_list ap;
    va_start(ap, format);
    int r = vfwscanf_s(stream, format, ap);
    va_end(ap);
    return r;
}

int vwscanf_s(const wchar_t *format, va_list argList)
{
    if (format == nullptr) {
        return -1;
    }
    sealedc_in_stream in;
    sealedc_in_stream_from_stdin(&in, stdin);
    flockfile(stdin);
    int r = runScan(&in, format, argList);
    funlockfile(stdin);
    return r;
}

int wscanf_s(const wchar_t *format, ...)
{
    va_list ap;
    va_start(ap, format);
    int r = vwscanf_s(format, ap);
    va_end(ap);
    return r;
}

} /* extern "C" */
