/* The wide formatted-input engine and clearwDestBuf.
 *
 * Fixed names (callers rely on them): sealedc_winput_s and clearwDestBuf, declared in
 * input_stream.h and called by scanf_s.cpp. The sscanf fuzz target compiles this file by its
 * name. */
#include "input_engine.h"

extern "C" {

int sealedc_winput_s(sealedc_in_stream *stream, const wchar_t *format, va_list argList)
{
    return sealedc::Scan<wchar_t>(stream, format, argList);
}

void clearwDestBuf(const wchar_t *format, va_list argList)
{
    sealedc::ClearFirstText<wchar_t>(format, argList);
}

} /* extern "C" */
