/*
 * Internal declarations of the checked runtime shared by its source files (not installed).
 *
 * Fixed names (callers rely on them): SEALEDC_ADDR, sealedc_check_dest, sealedc_check_copy,
 * sealedc_check_string, sealedc_check_string_count, sealedc_ranges_overlap, sealedc_small_copy and
 * sealedc_small_fill (the memory and string sources); sealedc_out_stream with its fields count
 * and cur, sealedc_output_s, vsnprintf_helper, write_char_a, write_multi_char_a and
 * write_string_a (snprintf_s.c, the output engine, and the engine tests, which include this
 * header); indirectSprintf (the output engine).
 */
#ifndef SEALEDC_INTERNAL_H
#define SEALEDC_INTERNAL_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "sealedc.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Address arithmetic for the overlap tests (pointers into unrelated objects are compared as
 * integers, never with the relational operators). */
#define SEALEDC_ADDR(p) ((uintptr_t)(const void *)(p))

/* The first two tests of every failure classification: a destMax of 0 or above the limit gives
 * ERANGE, then a NULL destination gives EINVAL; neither touches anything. EOK when both pass and
 * the function's own tests follow. */
static inline errno_t sealedc_check_dest(const void *dest, size_t destMax)
{
    if (destMax == 0 || destMax > SEALEDC_MAX_LEN) {
        return ERANGE;
    }
    if (dest == NULL) {
        return EINVAL;
    }
    return EOK;
}

/* The tests the two memory copies share, in their order: the destination tests, then a NULL
 * source and a count above destMax, both of which zero all destMax bytes. EOK when all pass. */
static inline errno_t sealedc_check_copy(void *dest, size_t destMax, const void *src, size_t count)
{
    errno_t ret = sealedc_check_dest(dest, destMax);
    if (ret != EOK) {
        return ret;
    }
    if (src == NULL) {
        memset(dest, 0, destMax);
        return EINVAL_AND_RESET;
    }
    if (count > destMax) {
        memset(dest, 0, destMax);
        return ERANGE_AND_RESET;
    }
    return EOK;
}

/* The tests the string functions share, in their order: the destination tests, then a NULL
 * source, which empties the destination. EOK when all pass. */
static inline errno_t sealedc_check_string(char *dest, size_t destMax, const char *src)
{
    errno_t ret = sealedc_check_dest(dest, destMax);
    if (ret != EOK) {
        return ret;
    }
    if (src == NULL) {
        dest[0] = '\0';
        return EINVAL_AND_RESET;
    }
    return EOK;
}

/* The counted string functions add a count above the limit, which empties the destination. */
static inline errno_t sealedc_check_string_count(char *dest, size_t destMax, const char *src, size_t count)
{
    errno_t ret = sealedc_check_string(dest, destMax, src);
    if (ret == EOK && count > SEALEDC_MAX_LEN) {
        dest[0] = '\0';
        ret = ERANGE_AND_RESET;
    }
    return ret;
}

/* [a, a + na) and [b, b + nb) share a byte. */
static inline int sealedc_ranges_overlap(const void *a, size_t na, const void *b, size_t nb)
{
    uintptr_t ua = SEALEDC_ADDR(a);
    uintptr_t ub = SEALEDC_ADDR(b);
    return (ua < ub) ? (ub - ua < na) : (ua - ub < nb);
}

/* Small copies and fills with inline stores: 8-byte words when the pointers allow it, then
 * single bytes. The word moves go through fixed-size memcpy, which compiles to plain moves. */
static inline void sealedc_small_copy(void *dest, const void *src, size_t count)
{
    unsigned char *d = (unsigned char *)dest;
    const unsigned char *s = (const unsigned char *)src;
    if (((SEALEDC_ADDR(d) | SEALEDC_ADDR(s)) & 7u) == 0) {
        while (count >= 8) {
            uint64_t w;
            memcpy(&w, s, 8);
            memcpy(d, &w, 8);
            d += 8;
            s += 8;
            count -= 8;
        }
    }
    while (count > 0) {
        *d++ = *s++;
        --count;
    }
}

static inline void sealedc_small_fill(void *dest, unsigned char value, size_t count)
{
    unsigned char *d = (unsigned char *)dest;
    if ((value == 0 || value == 0xFF) && (SEALEDC_ADDR(d) & 7u) == 0) {
        uint64_t w = (value == 0) ? 0 : ~(uint64_t)0;
        while (count >= 8) {
            memcpy(d, &w, 8);
            d += 8;
            count -= 8;
        }
    }
    while (count > 0) {
        *d++ = value;
        --count;
    }
}

/* The formatted-output engine's cursor: `count` bytes of room left, `cur` the next write
 * position. Every write decrements count first; the byte is stored only when count was above
 * zero before the decrement, so an overflow leaves count negative. */
typedef struct sealedc_out_stream {
    int32_t count;
    char *cur;
} sealedc_out_stream;

/* The narrow engine: number of characters written, or -1 (format error or overflow). */
int sealedc_output_s(sealedc_out_stream *stream, const char *format, va_list argList);

/* Runs the engine over string[0..size) and terminates it; -2 when the output did not fit
 * (size characters or more), -1 on a format error. */
int vsnprintf_helper(char *string, size_t size, const char *format, va_list argList);

/* The cursor writers. The counter grows by the characters stored and becomes -1 at the first
 * character that finds no room. */
void write_char_a(char ch, sealedc_out_stream *stream, int *counter);
void write_multi_char_a(char ch, int num, sealedc_out_stream *stream, int *counter);
void write_string_a(const char *string, int len, sealedc_out_stream *stream, int *counter);

/* Floating-point text through the platform's formatter (unbounded: the caller sizes the buffer). */
int indirectSprintf(char *buffer, const char *format, ...) __attribute__((format(printf, 2, 3)));

#ifdef __cplusplus
}
#endif

#endif /* SEALEDC_INTERNAL_H */
