/* The wide formatted-input engine and clearwDestBuf. */
#include "input_engine.h"

extern "C" {

int sealedc_winput_s(sealedc_in_stream *stream, const wchar_t *format, va_list argList)
{
    return sealedc_in::scan<wchar_t>(stream, format, argList);
}

void clearwDestBuf(const wchar_t *format, va_list argList)
{
    sealedc_in::clearFirstText<wchar_t>(format, argList);
}

} /* extern "C" */
