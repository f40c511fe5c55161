/*
 * The wide formatted-output engine: the output engine over a wide format and a wide cursor.
 *
 * Fixed names (callers rely on them): sealedc_wout_stream with its fields count and cur,
 * SEALEDC_WIDE_MAX_LEN and sealedc_woutput_s (swprintf_s.cpp and woutput_engine.cpp).
 */
#ifndef SEALEDC_INPUT_WOUTPUT_H
#define SEALEDC_INPUT_WOUTPUT_H

#include <stdarg.h>
#include <stdint.h>
#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The wide cursor: `count` wide characters of room left, `cur` the next write position; the
 * same decrement-then-store rule as the byte cursor. */
typedef struct sealedc_wout_stream {
    int32_t count;
    wchar_t *cur;
} sealedc_wout_stream;

/* Largest destination of the wide formatted output, in wide characters. */
#define SEALEDC_WIDE_MAX_LEN (0x7FFFFFFFUL / sizeof(wchar_t))

/* Number of wide characters written, or -1 (format error, a text that does not convert, or
 * overflow of the cursor). In the C library's manner for wide output, s and c take byte text
 * (converted under the current locale) and l, w, and S or C without h take wide text. */
int sealedc_woutput_s(sealedc_wout_stream *stream, const wchar_t *format, va_list argList);

#ifdef __cplusplus
}
#endif

#endif /* SEALEDC_INPUT_WOUTPUT_H */
