/* Byte formatted input from a string, a file and standard input. */
#include "input_stream.h"
#include "sealedc.h"

#include <cstring>

namespace {

/* Runs the engine; a scan that ended its input without assigning anything leaves its first
 * text destination empty rather than holding whatever it held before. */
int runScan(sealedc_in_stream *stream, const char *format, va_list argList)
{
    int r = sealedc_input_s(stream, format, argList);
    if (r == -1) {
        clearDestBuf(format, argList);
    }
    return r;
}

int refuse(const char *format, va_list argList)
{
    clearDestBuf(format, argList);
    return -1;
}

} // namespace

extern "C" {

int vsscanf_s(const char *buffer, const char *format, va_list argList)
{
    if (format == nullptr) {
        return -1;
    }
    size_t len = buffer == nullptr ? 0 : strnlen(buffer, static_cast<size_t>(SEALEDC_MAX_TEXT_DEST) + 1);
    if (buffer == nullptr || len > SEALEDC_MAX_TEXT_DEST) {
        return refuse(format, argList);
    }
    sealedc_in_stream stream;
    sealedc_in_stream_from_string(&stream, buffer, static_cast<int32_t>(len));
    return runScan(&stream, format, argList);
}

int sscanf_s(const char *buffer, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    int r = vsscanf_s(buffer, format, ap);
    va_end(ap);
    return r;
}

int vfscanf_s(FILE *stream, const char *format, va_list argList)
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

int fscanf_s(FILE *stream, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    int r = vfscanf_s(stream, format, ap);
    va_end(ap);
    return r;
}

int vscanf_s(const char *format, va_list argList)
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

int scanf_s(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    int r = vscanf_s(format, ap);
    va_end(ap);
    return r;
}

} /* extern "C" */
