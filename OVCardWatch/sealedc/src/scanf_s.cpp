/* Formatted input from a string, a file and standard input, for byte and wide characters: the
 * entry points are written once over the character type and differ only in the engine and the
 * clearing function they call.
 *
 * Fixed names (callers rely on them): sscanf_s, vsscanf_s, fscanf_s, vfscanf_s, scanf_s, vscanf_s
 * and their wide twins swscanf_s, vswscanf_s, fwscanf_s, vfwscanf_s, wscanf_s, vwscanf_s,
 * declared in sealedc.h and called by the tests, the benchmarks and the sscanf fuzz target, which
 * also compiles this file by its name. */
#include "input_stream.h"
#include "sealedc.h"

#include <cstring>
#include <cwchar>

namespace {

template <typename CharT>
struct Scanning;

template <>
struct Scanning<char> {
    static int Engine(sealedc_in_stream *s, const char *f, va_list ap) { return sealedc_input_s(s, f, ap); }
    static void Clear(const char *f, va_list ap) { clearDestBuf(f, ap); }
    static size_t Length(const char *text, size_t most) { return strnlen(text, most); }
};

template <>
struct Scanning<wchar_t> {
    static int Engine(sealedc_in_stream *s, const wchar_t *f, va_list ap) { return sealedc_winput_s(s, f, ap); }
    static void Clear(const wchar_t *f, va_list ap) { clearwDestBuf(f, ap); }
    static size_t Length(const wchar_t *text, size_t most) { return wcsnlen(text, most); }
};

/* Runs the engine; a scan that ended its input without assigning anything leaves its first
 * text destination empty rather than holding whatever it held before. */
template <typename CharT>
int RunScan(sealedc_in_stream *stream, const CharT *format, va_list argList)
{
    int r = Scanning<CharT>::Engine(stream, format, argList);
    if (r == -1) {
        Scanning<CharT>::Clear(format, argList);
    }
    return r;
}

template <typename CharT>
int ScanString(const CharT *buffer, const CharT *format, va_list argList)
{
    if (format == nullptr) {
        return -1;
    }
    size_t len = buffer == nullptr ? 0 : Scanning<CharT>::Length(buffer, size_t{SEALEDC_MAX_TEXT_DEST} + 1);
    if (buffer == nullptr || len > SEALEDC_MAX_TEXT_DEST) {
        Scanning<CharT>::Clear(format, argList);
        return -1;
    }
    sealedc_in_stream in;
    sealedc_in_stream_from_string(&in, buffer, static_cast<int32_t>(len));
    return RunScan(&in, format, argList);
}

/* A file, or standard input (read a character at a time, with its push-back given back). */
template <typename CharT>
int ScanFile(FILE *file, bool isStdin, const CharT *format, va_list argList)
{
    if (format == nullptr) {
        return -1;
    }
    if (file == nullptr) {
        Scanning<CharT>::Clear(format, argList);
        return -1;
    }
    sealedc_in_stream in;
    if (isStdin) {
        sealedc_in_stream_from_stdin(&in, file);
    } else {
        sealedc_in_stream_from_file(&in, file);
    }
    flockfile(file);
    int r = RunScan(&in, format, argList);
    funlockfile(file);
    return r;
}

}  // namespace

extern "C" {

int vsscanf_s(const char *buffer, const char *format, va_list argList)
{
    return ScanString(buffer, format, argList);
}

int vfscanf_s(FILE *stream, const char *format, va_list argList)
{
    return ScanFile(stream, false, format, argList);
}

int vscanf_s(const char *format, va_list argList)
{
    return ScanFile(stdin, true, format, argList);
}

int vswscanf_s(const wchar_t *buffer, const wchar_t *format, va_list argList)
{
    return ScanString(buffer, format, argList);
}

int vfwscanf_s(FILE *stream, const wchar_t *format, va_list argList)
{
    return ScanFile(stream, false, format, argList);
}

int vwscanf_s(const wchar_t *format, va_list argList)
{
    return ScanFile(stdin, true, format, argList);
}

int sscanf_s(const char *buffer, const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    int r = vsscanf_s(buffer, format, ap);
    va_end(ap);
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

int scanf_s(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    int r = vscanf_s(format, ap);
    va_end(ap);
    return r;
}

int swscanf_s(const wchar_t *buffer, const wchar_t *format, ...)
{
    va_list ap;
    va_start(ap, format);
    int r = vswscanf_s(buffer, format, ap);
    va_end(ap);
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

int wscanf_s(const wchar_t *format, ...)
{
    va_list ap;
    va_start(ap, format);
    int r = vwscanf_s(format, ap);
    va_end(ap);
    return r;
}

} /* extern "C" */
