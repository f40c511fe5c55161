/*
 * Everything the output engine writes goes through these: the cursor writers, plain text in
 * runs, and one converted field with its fill, prefix and lead zeros.
 *
 * Fixed names (callers rely on them): WriteChar, WriteMultiChar, WriteString and BoundedLength
 * (the engine, and the Traits of output.cpp and woutput_engine.cpp); WritePlainText and
 * WriteField (the engine).
 */
#ifndef SEALEDC_OUTPUT_WRITERS_H
#define SEALEDC_OUTPUT_WRITERS_H

#ifndef __cplusplus
#error "output_writers.h is C++"
#endif

#include <climits>
#include <cstddef>
#include <cstring>
#include <cwchar>

#include "output_tables.h"

namespace sealedc {

/* ---- cursor writers ------------------------------------------------------------------- */

template <typename Stream, typename CharT>
inline void WriteChar(CharT ch, Stream *stream, int *counter)
{
    if (stream->count-- > 0) {
        *stream->cur++ = ch;
        ++*counter;
    } else {
        *counter = -1;
    }
}

template <typename Stream, typename CharT>
inline void WriteMultiChar(CharT ch, int num, Stream *stream, int *counter)
{
    if (num <= 0) {
        return;
    }
    if (stream->count > num) {
        auto *cur = stream->cur;
        for (int i = 0; i < num; ++i) {
            cur[i] = ch;
        }
        stream->cur = cur + num;
        stream->count -= num;
        *counter += num;
        return;
    }
    for (; num > 0; --num) {
        WriteChar(ch, stream, counter);
        if (*counter < 0) {
            return;
        }
    }
}

template <typename Stream, typename CharT>
inline void WriteString(const CharT *text, int len, Stream *stream, int *counter)
{
    if (len <= 0) {
        return;
    }
    if (stream->count > len) {
        auto *cur = stream->cur;
        if (len > 11) {
            std::memcpy(cur, text, static_cast<size_t>(len) * sizeof(CharT));
        } else {
            for (int i = 0; i < len; ++i) {
                cur[i] = text[i];
            }
        }
        stream->cur = cur + len;
        stream->count -= len;
        *counter += len;
        return;
    }
    for (int i = 0; i < len; ++i) {
        WriteChar(text[i], stream, counter);
        if (*counter < 0) {
            return;
        }
    }
}

/* Length of a text argument, never reading past `precision` characters when one is given. */
inline int BoundedLength(const char *text, int precision)
{
    size_t n = precision >= 0 ? strnlen(text, static_cast<size_t>(precision)) : strlen(text);
    return n > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
}

inline int BoundedLength(const wchar_t *text, int precision)
{
    size_t n = precision >= 0 ? wcsnlen(text, static_cast<size_t>(precision)) : wcslen(text);
    return n > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(n);
}

/* ---- plain text and the field --------------------------------------------------------- */

/* Writes `run[0]` and the plain text after it up to the next "%" or the end of the format in one
 * piece; returns where it stopped. */
template <typename Stream, typename C>
inline const C *WritePlainText(const C *run, Stream *stream, int *counter)
{
    const C *end = run + 1;
    while (*end != C('%') && *end != C('\0')) {
        ++end;
    }
    size_t runLen = static_cast<size_t>(end - run);
    WriteString(run, runLen > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(runLen), stream,
                counter);
    return end;
}

/* Writes one converted field: the fill up to the width, the prefix (sign or "0x"), the zeros of
 * the lead-zero flag and the text, in the order the flags ask for. `textLen` is the text's length
 * in output characters; writeText() writes it and returns false when the whole call must fail. */
template <typename Stream, typename C, typename WriteText>
inline bool WriteField(uint32_t flags, int width, const C *prefix, int prefixLen, int textLen, Stream *stream,
                       int *counter, WriteText writeText)
{
    const int fill = width - textLen - prefixLen;
    if (!(flags & (FLAG_LEFT | FLAG_LEADZERO))) {
        WriteMultiChar(C(' '), fill, stream, counter);
    }
    WriteString(prefix, prefixLen, stream, counter);
    if ((flags & (FLAG_LEFT | FLAG_LEADZERO)) == FLAG_LEADZERO) {
        WriteMultiChar(C('0'), fill, stream, counter);
    }
    if (!writeText()) {
        return false;
    }
    if (flags & FLAG_LEFT) {
        WriteMultiChar(C(' '), fill, stream, counter);
    }
    return true;
}

}  // namespace sealedc

#endif /* SEALEDC_OUTPUT_WRITERS_H */
