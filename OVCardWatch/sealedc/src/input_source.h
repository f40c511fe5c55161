/*
 * The characters a scan reads: what they are for each character type of the engine (ScanTraits)
 * and where they come from (a string, a file read in blocks, or a stream read one character at
 * a time), with the push-back the scan needs and the positioning of a file when it ends.
 *
 * Fixed names (callers rely on them): Ch, kEof, kNone, ScanTraits and its members (the format,
 * the readers and the driver); ReadChar, UnreadChar and FinishScan (the scanner); ScanTraits
 * with FormatUnit (the sscanf fuzz target, through input_engine.h).
 */
#ifndef SEALEDC_INPUT_SOURCE_H
#define SEALEDC_INPUT_SOURCE_H

#include "input_stream.h"

#include <cctype>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>

namespace sealedc {

/* A character read from the source: 0..255 for bytes, 0..0xFFFFFFFF for wide units. */
using Ch = long long;
constexpr Ch kEof = -1;   /* the source has no more characters */
constexpr Ch kNone = -2;  /* the width is used up; nothing was read */

template <typename CharT>
struct ScanTraits;

template <>
struct ScanTraits<char> {
    static constexpr size_t kMarkBytes = 3; /* UTF-8 byte-order mark EF BB BF */
    static Ch SourceUnit(const char *p) { return static_cast<unsigned char>(*p); }
    static Ch FormatUnit(char c) { return static_cast<unsigned char>(c); }
    static bool IsMark(const char *p, size_t bytes)
    {
        return bytes >= 3 && static_cast<unsigned char>(p[0]) == 0xEF &&
               static_cast<unsigned char>(p[1]) == 0xBB && static_cast<unsigned char>(p[2]) == 0xBF;
    }
    static Ch GetChar(FILE *f)
    {
        int c = fgetc(f);
        return c == EOF ? kEof : static_cast<Ch>(static_cast<unsigned char>(c));
    }
    static void UngetChar(Ch c, FILE *f) { (void)::ungetc(static_cast<int>(c), f); }
    static bool IsSpace(Ch c) { return c >= 0 && c <= 255 && isspace(static_cast<int>(c)) != 0; }
    static double ToDouble(const char *s) { return strtod(s, nullptr); }
    static float ToFloat(const char *s) { return strtof(s, nullptr); }
    static long double ToLongDouble(const char *s) { return strtold(s, nullptr); }
    static Ch DecimalPoint()
    {
        const struct lconv *lc = localeconv();
        return (lc && lc->decimal_point && lc->decimal_point[0]) ? static_cast<unsigned char>(lc->decimal_point[0]) : '.';
    }
};

template <>
struct ScanTraits<wchar_t> {
    static constexpr size_t kMarkBytes = sizeof(wchar_t); /* one U+FEFF unit */
    static Ch SourceUnit(const char *p)
    {
        wchar_t w;
        memcpy(&w, p, sizeof w);
        return static_cast<Ch>(static_cast<uint32_t>(w));
    }
    static Ch FormatUnit(wchar_t c) { return static_cast<Ch>(static_cast<uint32_t>(c)); }
    static bool IsMark(const char *p, size_t bytes) { return bytes >= sizeof(wchar_t) && SourceUnit(p) == 0xFEFF; }
    static Ch GetChar(FILE *f)
    {
        wint_t c = fgetwc(f);
        return c == WEOF ? kEof : static_cast<Ch>(static_cast<uint32_t>(c));
    }
    static void UngetChar(Ch c, FILE *f) { (void)ungetwc(static_cast<wint_t>(c), f); }
    static bool IsSpace(Ch c) { return c >= 0 && c <= 0x7FFFFFFF && iswspace(static_cast<wint_t>(c)) != 0; }
    static double ToDouble(const wchar_t *s) { return wcstod(s, nullptr); }
    static float ToFloat(const wchar_t *s) { return wcstof(s, nullptr); }
    static long double ToLongDouble(const wchar_t *s) { return wcstold(s, nullptr); }
    static Ch DecimalPoint()
    {
        const struct lconv *lc = localeconv();
        if (lc && lc->decimal_point && lc->decimal_point[0]) {
            wint_t w = btowc(static_cast<unsigned char>(lc->decimal_point[0]));
            if (w != WEOF) {
                return static_cast<Ch>(w);
            }
        }
        return '.';
    }
};

/* ---- the source ----------------------------------------------------------------------- */

/* Reads the next block of a file source. Returns false at end of file. A file whose position
 * cannot be told (a pipe, a terminal), or whose block buffer cannot be had, is read a
 * character at a time instead: *switched is set and the caller reads again. */
template <typename CharT>
bool LoadBlock(sealedc_in_stream *s, bool *switched)
{
    *switched = false;
    if (s->flags & SEALEDC_FILE_END) {
        return false;
    }
    const bool first = (s->flags & SEALEDC_BLOCK_BUFFERED) == 0;
    if (first) {
        off_t pos = ftello(s->pf);
        char *block = pos < 0 ? nullptr : static_cast<char *>(malloc(SEALEDC_BLOCK_SIZE + sizeof(CharT)));
        if (block == nullptr) {
            s->flags = (s->flags & ~SEALEDC_FROM_FILE) | SEALEDC_FROM_STDIN;
            *switched = true;
            return false;
        }
        s->block = block;
        s->oriFilePos = static_cast<long long>(pos);
        s->fileRealRead = 0;
        s->flags |= SEALEDC_BLOCK_BUFFERED;
    }
    size_t got = 0;
    while (got < SEALEDC_BLOCK_SIZE) {
        size_t r = fread(s->block + got, 1, SEALEDC_BLOCK_SIZE - got, s->pf);
        if (r == 0) {
            break;
        }
        got += r;
    }
    if (got < SEALEDC_BLOCK_SIZE) {
        s->flags |= SEALEDC_FILE_END;
    }
    const size_t units = got / sizeof(CharT);
    memset(s->block + got, 0, SEALEDC_BLOCK_SIZE + sizeof(CharT) - got);
    if (units == 0) {
        s->flags |= SEALEDC_FILE_END;
        return false;
    }
    s->base = s->block;
    s->cur = s->block;
    s->count = static_cast<int32_t>(units);
    /* A byte-order mark is skipped only where it is one: at the very start of the file. Its
     * bytes count as consumed, so the file is left after the characters actually used. */
    if (first && s->oriFilePos == 0 && ScanTraits<CharT>::IsMark(s->block, got)) {
        s->cur += ScanTraits<CharT>::kMarkBytes;
        s->count -= static_cast<int32_t>(ScanTraits<CharT>::kMarkBytes / sizeof(CharT));
        s->fileRealRead += static_cast<long long>(ScanTraits<CharT>::kMarkBytes);
        if (s->count == 0) {
            return LoadBlock<CharT>(s, switched);
        }
    }
    return true;
}

/* The next character of the source, or kEof. */
template <typename CharT>
Ch ReadChar(sealedc_in_stream *s)
{
    if (s->flags & SEALEDC_FROM_STRING) {
        if (s->count <= 0) {
            return kEof;
        }
        --s->count;
        Ch c = ScanTraits<CharT>::SourceUnit(s->cur);
        s->cur += sizeof(CharT);
        return c;
    }
    if (s->flags & SEALEDC_FROM_FILE) {
        if (s->count <= 0) {
            bool switched = false;
            if (!LoadBlock<CharT>(s, &switched)) {
                return switched ? ReadChar<CharT>(s) : kEof;
            }
        }
        --s->count;
        Ch c = ScanTraits<CharT>::SourceUnit(s->cur);
        s->cur += sizeof(CharT);
        s->fileRealRead += static_cast<long long>(sizeof(CharT));
        return c;
    }
    if (s->pushedBack) {
        s->pushedBack = 0;
        return s->lastChar;
    }
    Ch c = ScanTraits<CharT>::GetChar(s->pf);
    if (c != kEof) {
        s->lastChar = c;
    }
    return c;
}

/* Gives back the character just read (nothing for kEof or kNone). */
template <typename CharT>
void UnreadChar(sealedc_in_stream *s, Ch c)
{
    if (c < 0) {
        return;
    }
    if (s->flags & (SEALEDC_FROM_STRING | SEALEDC_FROM_FILE)) {
        if (s->cur > s->base) {
            s->cur -= sizeof(CharT);
            ++s->count;
            if (s->flags & SEALEDC_FROM_FILE) {
                s->fileRealRead -= static_cast<long long>(sizeof(CharT));
            }
        }
        return;
    }
    s->lastChar = c;
    s->pushedBack = 1;
}

/* Ends a scan: a file is left just after the last character used and its block freed; a
 * character pushed back from a character-at-a-time source goes back to that stream. */
template <typename CharT>
void FinishScan(sealedc_in_stream *s)
{
    if ((s->flags & SEALEDC_FROM_FILE) && (s->flags & SEALEDC_BLOCK_BUFFERED)) {
        (void)fseeko(s->pf, static_cast<off_t>(s->oriFilePos + s->fileRealRead), SEEK_SET);
        free(s->block);
        s->block = nullptr;
        s->flags &= ~(SEALEDC_BLOCK_BUFFERED | SEALEDC_FILE_END);
        s->count = 0;
    }
    if ((s->flags & SEALEDC_FROM_STDIN) && s->pushedBack) {
        ScanTraits<CharT>::UngetChar(s->lastChar, s->pf);
        s->pushedBack = 0;
    }
}

}  // namespace sealedc

#endif /* SEALEDC_INPUT_SOURCE_H */
