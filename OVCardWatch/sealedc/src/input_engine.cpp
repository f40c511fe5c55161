/* The byte formatted-input engine, its sources and clearDestBuf.
 *
 * Fixed names (callers rely on them): sealedc_in_stream_from_string, sealedc_in_stream_from_file,
 * sealedc_in_stream_from_stdin, sealedc_input_s and clearDestBuf, declared in input_stream.h and
 * called by scanf_s.cpp. The sscanf fuzz target compiles this file by its name. */
#include "input_engine.h"

extern "C" {

void sealedc_in_stream_from_string(sealedc_in_stream *stream, const void *str, int32_t count)
{
    memset(stream, 0, sizeof *stream);
    stream->flags = SEALEDC_FROM_STRING;
    stream->cur = static_cast<const char *>(str);
    stream->base = static_cast<const char *>(str);
    stream->count = count;
}

void sealedc_in_stream_from_file(sealedc_in_stream *stream, FILE *file)
{
    memset(stream, 0, sizeof *stream);
    stream->flags = SEALEDC_FROM_FILE;
    stream->pf = file;
}

void sealedc_in_stream_from_stdin(sealedc_in_stream *stream, FILE *input)
{
    memset(stream, 0, sizeof *stream);
    stream->flags = SEALEDC_FROM_STDIN;
    stream->pf = input;
}

int sealedc_input_s(sealedc_in_stream *stream, const char *format, va_list argList)
{
    return sealedc::Scan<char>(stream, format, argList);
}

void clearDestBuf(const char *format, va_list argList)
{
    sealedc::ClearFirstText<char>(format, argList);
}

} /* extern "C" */
