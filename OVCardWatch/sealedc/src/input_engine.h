/*
 * The formatted-input engine, written once over the character type: sealedc_input_s is the
 * engine over char, sealedc_winput_s over wchar_t.
 *
 * Format rules. White space in the format skips any white space in the input; any other
 * character outside a specification must equal the next input character. A specification is
 * "%", an optional "*" (convert, do not assign), an optional decimal width (a width written as 0
 * is an error), size modifiers (hh h l ll L q j z t I64 I32 I w; F and N are accepted and
 * ignored) and the conversion character, compared without regard to case. Every conversion but
 * c, [ and n skips white space first. Each assigned c, s or [ takes a pointer and then the
 * destination's size in characters as an unsigned (32-bit) number.
 *
 * Decisions this engine makes:
 *  - Result: the number of fields assigned when the format is used up or the input does not
 *    match (a literal that differs, a number without digits, a text conversion that reads
 *    nothing); -1 instead when nothing was assigned and the input ended before the item that
 *    stopped the scan had a character (as the C library does);
 *    -2 when the scan is stopped by an error of the caller rather than of the input: a width
 *    of 0, a NULL destination, a text size of 0 or above the limit, an unknown conversion, a
 *    format ending inside a specification or a scan set, a text too long for its destination
 *    (emptied) and a floating text that cannot get more memory. Fields assigned before a stop
 *    stay assigned.
 *  - Numbers are gathered in 64 bits. A value beyond 64 bits saturates as strtoll/strtoull do:
 *    d and i give INT64_MAX or INT64_MIN, u o x and p give UINT64_MAX; a minus sign before an
 *    unsigned conversion negates modulo 2^64. The value is then cut to the destination's width.
 *  - p reads what x reads: hexadecimal digits after an optional 0x or 0X, stored in 64 bits.
 *  - "0x" not followed by a hexadecimal digit reads as 0 (the x is used).
 *  - Floating text is sign, digits, the locale's decimal point, digits and an exponent part; at
 *    least one digit is needed. The text gathered is used up even when its tail does not
 *    convert ("1e" reads as 1, as the C library does); inf, nan and hexadecimal floats are not
 *    read.
 *  - Scan sets: a reversed range such as z-a is no range (z, - and a are members, as in the C
 *    library); a "-" first or last is itself a member. The wide engine tests characters above
 *    255 against the set's text.
 *  - In the wide engine, as in the C library's wide scanners, s, c and [ store bytes (each
 *    character converted with wcrtomb, "?" where it does not convert) unless l or w, or S or C
 *    without h, asks for wide characters. Width counts characters read; for a wide destination
 *    of the byte engine one multi-byte character counts once.
 *
 * Fixed names (callers rely on them): Scan and ClearFirstText (input_engine.cpp and
 * winput_engine.cpp); ScanTraits with FormatUnit, ScanSpec with its fields suppress, conv and
 * wideDest, SetText and ParseSpec (the sscanf fuzz target plans its arguments with the scanner's
 * own specification parser).
 */
#ifndef SEALEDC_INPUT_ENGINE_H
#define SEALEDC_INPUT_ENGINE_H

#include "input_stream.h"

#include <cctype>
#include <climits>
#include <clocale>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>

#include <strings.h>

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

/* ---- the source ---------------------------------------------------------------------- */

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

/* ---- the format ---------------------------------------------------------------------- */

struct ScanSpec {
    bool suppress = false;
    long long width = -1;   /* -1: none given */
    int bits = 32;          /* integer destination width */
    bool hFlag = false;
    bool lFlag = false;     /* l: double, wide text */
    bool longDouble = false;
    bool wFlag = false;
    bool upper = false;     /* conversion written in upper case */
    char conv = 0;          /* lower-case conversion character */
    bool wideDest = false;  /* c, s, [ store wide characters */
};

template <typename CharT>
struct SetText {
    const CharT *begin = nullptr; /* first member character (after ^ ) */
    const CharT *end = nullptr;   /* the closing ] */
    bool complement = false;
};

inline bool IsDigit(Ch c) { return c >= '0' && c <= '9'; }

/* Parses one specification; f points just after "%" and is left after the conversion
 * character (after the closing ] of a scan set). false: the format is in error. */
template <typename CharT>
bool ParseSpec(const CharT *&f, ScanSpec &sp, SetText<CharT> &set)
{
    using T = ScanTraits<CharT>;
    if (T::FormatUnit(*f) == '*') {
        sp.suppress = true;
        ++f;
    }
    if (IsDigit(T::FormatUnit(*f))) {
        long long w = 0;
        while (IsDigit(T::FormatUnit(*f))) {
            w = w * 10 + (T::FormatUnit(*f) - '0');
            if (w > INT_MAX) {
                return false;
            }
            ++f;
        }
        if (w == 0) {
            return false;
        }
        sp.width = w;
    }
    for (;;) {
        Ch m = T::FormatUnit(*f);
        if (m == 'h') {
            sp.hFlag = true;
            if (T::FormatUnit(f[1]) == 'h') {
                sp.bits = 8;
                ++f;
            } else {
                sp.bits = 16;
            }
        } else if (m == 'l') {
            if (T::FormatUnit(f[1]) == 'l') {
                sp.bits = 64;
                sp.longDouble = true;
                ++f;
            } else {
                sp.bits = static_cast<int>(sizeof(long) * 8);
                sp.lFlag = true;
            }
        } else if (m == 'L' || m == 'q') {
            sp.bits = 64;
            sp.longDouble = true;
        } else if (m == 'j' || m == 'z' || m == 't') {
            sp.bits = 64;
        } else if (m == 'I') {
            Ch n1 = T::FormatUnit(f[1]);
            if (n1 == '6' && T::FormatUnit(f[2]) == '4') {
                sp.bits = 64;
                f += 2;
            } else if (n1 == '3' && T::FormatUnit(f[2]) == '2') {
                sp.bits = 32;
                f += 2;
            } else if (n1 == 'd' || n1 == 'i' || n1 == 'o' || n1 == 'u' || n1 == 'x' || n1 == 'X') {
                sp.bits = 64;
            } else {
                return false;
            }
        } else if (m == 'w') {
            sp.wFlag = true;
        } else if (m == 'F' || m == 'N') {
            /* accepted, no meaning */
        } else {
            break;
        }
        ++f;
    }
    Ch c = T::FormatUnit(*f);
    if (c == 0) {
        return false;
    }
    ++f;
    if (c >= 'A' && c <= 'Z') {
        sp.upper = true;
        c += 'a' - 'A';
    }
    switch (c) {
    case 'c': case 's': case '[': case 'n': case 'd': case 'i': case 'u': case 'o': case 'x':
    case 'p': case 'e': case 'f': case 'g':
        break;
    default:
        return false;
    }
    sp.conv = static_cast<char>(c);
    sp.wideDest = sp.lFlag || sp.wFlag || (sp.upper && !sp.hFlag && (c == 'c' || c == 's'));
    if (c == '[') {
        if (T::FormatUnit(*f) == '^') {
            set.complement = true;
            ++f;
        }
        set.begin = f;
        if (T::FormatUnit(*f) == ']') {
            ++f;
        }
        while (T::FormatUnit(*f) != ']') {
            if (*f == 0) {
                return false;
            }
            ++f;
        }
        set.end = f;
        ++f;
    }
    return true;
}

/* Calls fn(lo, hi) for every member range written in a scan set. */
template <typename CharT, typename Fn>
void ForEachRange(const SetText<CharT> &set, Fn fn)
{
    using T = ScanTraits<CharT>;
    const CharT *p = set.begin;
    if (p < set.end && T::FormatUnit(*p) == ']') {
        fn(Ch(']'), Ch(']'));
        ++p;
    }
    while (p < set.end) {
        Ch lo = T::FormatUnit(*p);
        if (p + 2 < set.end && T::FormatUnit(p[1]) == '-') {
            Ch hi = T::FormatUnit(p[2]);
            if (hi >= lo) {
                fn(lo, hi);
                p += 3;
            } else {
                fn(lo, lo); /* a reversed range is no range: its three characters are members */
                ++p;
            }
        } else {
            fn(lo, lo);
            ++p;
        }
    }
}

template <typename CharT>
struct ScanSet {
    unsigned char bits[32];
    SetText<CharT> text;

    explicit ScanSet(const SetText<CharT> &t) : text(t)
    {
        memset(bits, 0, sizeof bits);
        ForEachRange(text, [this](Ch lo, Ch hi) {
            for (Ch c = lo; c <= hi && c < 256; ++c) {
                bits[c >> 3] = static_cast<unsigned char>(bits[c >> 3] | (1u << (c & 7)));
            }
        });
        if (text.complement) {
            for (unsigned char &b : bits) {
                b = static_cast<unsigned char>(~b);
            }
        }
    }

    bool Contains(Ch c) const
    {
        if (c < 256) {
            return (bits[c >> 3] >> (c & 7)) & 1u;
        }
        bool member = false;
        ForEachRange(text, [&member, c](Ch lo, Ch hi) {
            if (c >= lo && c <= hi) {
                member = true;
            }
        });
        return member != text.complement;
    }
};

/* The floating text: a local area of 350 characters, replaced by a heap block of twice the
 * size whenever it fills; a heap block is cleared before it is released. */
template <typename CharT>
class FloatText {
public:
    FloatText() { local_[0] = 0; } /* an empty text reads as the empty string */
    FloatText(const FloatText &) = delete;
    FloatText &operator=(const FloatText &) = delete;
    ~FloatText() { Release(); }

    bool Push(Ch c)
    {
        if (len_ + 1 >= cap_ && !Grow()) {
            return false;
        }
        data_[len_++] = static_cast<CharT>(c);
        data_[len_] = 0;
        return true;
    }
    const CharT *Text() const { return data_; }
    size_t Length() const { return len_; }
    bool OnHeap() const { return heap_ != nullptr; }

private:
    static constexpr size_t kLocal = 350;

    bool Grow()
    {
        const size_t maxUnits = 0x7FFFFFFFu / sizeof(CharT);
        if (cap_ >= maxUnits) {
            return false;
        }
        size_t want = cap_ * 2 > maxUnits ? maxUnits : cap_ * 2;
        CharT *bigger = static_cast<CharT *>(malloc(want * sizeof(CharT)));
        if (bigger == nullptr) {
            return false;
        }
        memcpy(bigger, data_, (len_ + 1) * sizeof(CharT));
        Release();
        heap_ = bigger;
        data_ = bigger;
        cap_ = want;
        return true;
    }
    void Release()
    {
        if (heap_ != nullptr) {
            explicit_bzero(heap_, cap_ * sizeof(CharT));
            free(heap_);
            heap_ = nullptr;
        }
    }

    CharT local_[kLocal]; /* only its first character is set up front; Push() keeps it terminated */
    CharT *heap_ = nullptr;
    CharT *data_ = local_;
    size_t cap_ = kLocal;
    size_t len_ = 0;
};

/* ---- the engine ---------------------------------------------------------------------- */

/* Done: go on. Input: the input ended before the item had a character. Mismatch: the input
 * does not match. Error: the caller's format or arguments are wrong, or a text does not fit. */
enum class Stop { Done, Input, Mismatch, Error };

template <typename CharT>
class Scanner {
public:
    Scanner(sealedc_in_stream *stream, const CharT *format) : s_(stream), format_(format) {}

    int Run(va_list &ap);

private:
    using T = ScanTraits<CharT>;

    Ch Get()
    {
        Ch c = ReadChar<CharT>(s_);
        if (c != kEof) {
            ++consumed_;
        }
        return c;
    }
    void Unget(Ch c)
    {
        if (c >= 0) {
            UnreadChar<CharT>(s_, c);
            --consumed_;
        }
    }
    /* Reads past white space; returns the first other character, or kEof. */
    Ch SkipWhite()
    {
        Ch c;
        do {
            c = Get();
        } while (c != kEof && T::IsSpace(c));
        return c;
    }

    /* A number or floating field being read: its destination (none when suppressed), the
     * characters its width still allows (-1: no width) and the character at hand. */
    struct Field {
        void *dest = nullptr;
        long long width = -1;
        Ch c = kEof;
    };
    /* Takes the field's destination (a NULL one is the caller's error) and reads its first
     * character after white space; Input when the input ended first. */
    Stop BeginField(const ScanSpec &sp, va_list &ap, Field &fld)
    {
        if (!sp.suppress) {
            fld.dest = va_arg(ap, void *);
            if (fld.dest == nullptr) {
                return Stop::Error;
            }
        }
        fld.width = sp.width;
        fld.c = SkipWhite();
        if (fld.c == kEof) {
            return Stop::Input;
        }
        if (fld.width > 0) {
            --fld.width;
        }
        return Stop::Done;
    }
    /* Moves to the field's next character; kNone once the width is used up. */
    void Advance(Field &fld)
    {
        if (fld.width == 0) {
            fld.c = kNone;
            return;
        }
        if (fld.width > 0) {
            --fld.width;
        }
        fld.c = Get();
    }

    Stop Number(const ScanSpec &sp, va_list &ap);
    Stop Floating(const ScanSpec &sp, va_list &ap);
    Stop Text(const ScanSpec &sp, const SetText<CharT> &set, va_list &ap);

    static void StoreInt(void *p, int bits, uint64_t v)
    {
        switch (bits) {
        case 8: { uint8_t x = static_cast<uint8_t>(v); memcpy(p, &x, sizeof x); break; }
        case 16: { uint16_t x = static_cast<uint16_t>(v); memcpy(p, &x, sizeof x); break; }
        case 64: { memcpy(p, &v, sizeof v); break; }
        default: { uint32_t x = static_cast<uint32_t>(v); memcpy(p, &x, sizeof x); break; }
        }
    }

    sealedc_in_stream *s_;
    const CharT *format_;
    int assigned_ = 0;
    long long consumed_ = 0;
};

inline int DigitValue(Ch c)
{
    if (c >= '0' && c <= '9') {
        return static_cast<int>(c - '0');
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<int>(c - 'a' + 10);
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<int>(c - 'A' + 10);
    }
    return 99;
}

template <typename CharT>
Stop Scanner<CharT>::Number(const ScanSpec &sp, va_list &ap)
{
    Field fld;
    Stop begun = BeginField(sp, ap, fld);
    if (begun != Stop::Done) {
        return begun;
    }
    int base = 10;
    const bool isSigned = sp.conv == 'd' || sp.conv == 'i';
    if (sp.conv == 'o') {
        base = 8;
    } else if (sp.conv == 'x' || sp.conv == 'p') {
        base = 16;
    } else if (sp.conv == 'i') {
        base = 0;
    }
    bool negative = false;
    if (fld.c == '+' || fld.c == '-') {
        negative = fld.c == '-';
        Advance(fld);
    }
    int digits = 0;
    if ((base == 16 || base == 0) && fld.c == '0') {
        digits = 1;
        Advance(fld);
        if (fld.c == 'x' || fld.c == 'X') {
            base = 16;
            Advance(fld);
        } else if (base == 0) {
            base = 8;
        }
    } else if (base == 0) {
        base = 10;
    }
    uint64_t acc = 0;
    bool overflow = false;
    for (;;) {
        int d = DigitValue(fld.c);
        if (d >= base) {
            break;
        }
        if (acc > (UINT64_MAX - static_cast<uint64_t>(d)) / static_cast<uint64_t>(base)) {
            overflow = true;
        } else {
            acc = acc * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
        }
        ++digits;
        Advance(fld);
    }
    Unget(fld.c);
    if (digits == 0) {
        return Stop::Mismatch;
    }
    uint64_t value;
    if (isSigned) {
        const uint64_t limit = negative ? (uint64_t(1) << 63) : static_cast<uint64_t>(INT64_MAX);
        if (overflow || acc > limit) {
            value = negative ? (uint64_t(1) << 63) : static_cast<uint64_t>(INT64_MAX);
        } else {
            value = negative ? (0 - acc) : acc;
        }
    } else {
        value = overflow ? UINT64_MAX : (negative ? (0 - acc) : acc);
    }
    if (!sp.suppress) {
        StoreInt(fld.dest, sp.conv == 'p' ? 64 : sp.bits, value);
        ++assigned_;
    }
    return Stop::Done;
}

template <typename CharT>
Stop Scanner<CharT>::Floating(const ScanSpec &sp, va_list &ap)
{
    Field fld;
    Stop begun = BeginField(sp, ap, fld);
    if (begun != Stop::Done) {
        return begun;
    }
    FloatText<CharT> buf;
    const Ch point = T::DecimalPoint();
    bool fits = true;
    /* Keeps the character at hand in the text and moves on. */
    auto take = [&]() {
        fits = fits && buf.Push(fld.c);
        Advance(fld);
    };
    auto takeDigits = [&]() {
        int n = 0;
        for (; fits && IsDigit(fld.c); ++n) {
            take();
        }
        return n;
    };
    if (fld.c == '+' || fld.c == '-') {
        take();
    }
    int mantissa = takeDigits();
    if (fits && fld.c == point) {
        take();
        mantissa += takeDigits();
    }
    if (fits && mantissa > 0 && (fld.c == 'e' || fld.c == 'E')) {
        take();
        if (fits && (fld.c == '+' || fld.c == '-')) {
            take();
        }
        takeDigits();
    }
    if (!fits) {
        return Stop::Error;
    }
    Unget(fld.c);
    if (mantissa == 0) {
        return Stop::Mismatch;
    }
    /* The text gathered is used up even where its tail does not convert ("1e" reads as 1). */
    auto store = [&](auto v) {
        if (!sp.suppress) {
            memcpy(fld.dest, &v, sizeof v);
        }
    };
    if (sp.longDouble) {
        store(T::ToLongDouble(buf.Text()));
    } else if (sp.lFlag) {
        store(T::ToDouble(buf.Text()));
    } else {
        /* Converted straight to float: rounding through double could differ in the last bit. */
        store(T::ToFloat(buf.Text()));
    }
    if (!sp.suppress) {
        ++assigned_;
    }
    return Stop::Done;
}

/* s stops before these, whatever the locale says about white space. */
inline bool IsTextStop(Ch c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

/* Stores one character read by a text conversion into the destination. false: no room. */
template <typename CharT>
struct TextSink;

template <>
struct TextSink<char> {
    /* The byte engine: bytes stored as they are, or gathered into wide characters. A byte that
     * breaks a multi-byte sequence is given back (it may be a delimiter or start a character of
     * its own) and the broken sequence is stored as "?". */
    template <typename GetMore, typename GiveBack>
    static bool Put(bool wideDest, void *dest, size_t room, size_t &stored, Ch c, mbstate_t &st, GetMore more,
                    GiveBack giveBack)
    {
        if (!wideDest) {
            if (dest != nullptr) {
                if (stored >= room) {
                    return false;
                }
                static_cast<char *>(dest)[stored] = static_cast<char>(c);
            }
            ++stored;
            return true;
        }
        wchar_t wc = 0;
        char b = static_cast<char>(c);
        size_t r = mbrtowc(&wc, &b, 1, &st);
        while (r == static_cast<size_t>(-2)) {
            Ch n = more();
            if (n < 0) {
                r = static_cast<size_t>(-1);
                break;
            }
            b = static_cast<char>(n);
            r = mbrtowc(&wc, &b, 1, &st);
            if (r == static_cast<size_t>(-1)) {
                giveBack(n);
            }
        }
        if (r == static_cast<size_t>(-1)) {
            wc = L'?';
            memset(&st, 0, sizeof st);
        }
        if (dest != nullptr) {
            if (stored >= room) {
                return false;
            }
            static_cast<wchar_t *>(dest)[stored] = wc;
        }
        ++stored;
        return true;
    }
};

template <>
struct TextSink<wchar_t> {
    /* The wide engine: wide characters stored as they are, or converted to bytes. */
    template <typename GetMore, typename GiveBack>
    static bool Put(bool wideDest, void *dest, size_t room, size_t &stored, Ch c, mbstate_t &st, GetMore, GiveBack)
    {
        if (wideDest) {
            if (dest != nullptr) {
                if (stored >= room) {
                    return false;
                }
                static_cast<wchar_t *>(dest)[stored] = static_cast<wchar_t>(c);
            }
            ++stored;
            return true;
        }
        char mb[MB_LEN_MAX];
        size_t n = wcrtomb(mb, static_cast<wchar_t>(c), &st);
        if (n == static_cast<size_t>(-1)) {
            mb[0] = '?';
            n = 1;
            memset(&st, 0, sizeof st);
        }
        if (dest != nullptr) {
            if (stored + n > room) {
                return false;
            }
            memcpy(static_cast<char *>(dest) + stored, mb, n);
        }
        stored += n;
        return true;
    }
};

template <typename CharT>
Stop Scanner<CharT>::Text(const ScanSpec &sp, const SetText<CharT> &setText, va_list &ap)
{
    void *dest = nullptr;
    size_t room = 0;
    if (!sp.suppress) {
        dest = va_arg(ap, void *);
        if (dest == nullptr) {
            return Stop::Error;
        }
        unsigned size = va_arg(ap, unsigned);
        /* A size of 0 has no room even for the terminator: refused before anything is written. */
        if (size == 0 || size > SEALEDC_MAX_TEXT_DEST || (sp.wideDest && size >= SEALEDC_WIDE_TEXT_DEST_LIMIT)) {
            return Stop::Error;
        }
        room = sp.conv == 'c' ? size : size - 1;
    }
    const ScanSet<CharT> set = sp.conv == '[' ? ScanSet<CharT>(setText) : ScanSet<CharT>(SetText<CharT>());
    long long width = sp.width > 0 ? sp.width : (sp.conv == 'c' ? 1 : -1);
    bool havePending = false;
    Ch pending = kEof;
    if (sp.conv == 's') {
        pending = SkipWhite();
        havePending = true;
    }
    size_t stored = 0;
    bool any = false;
    bool endedFirst = false;
    mbstate_t st;
    memset(&st, 0, sizeof st);
    auto more = [this]() { return Get(); };
    auto giveBack = [this](Ch c) { Unget(c); };
    while (width != 0) {
        Ch c;
        if (havePending) {
            c = pending;
            havePending = false;
        } else {
            c = Get();
        }
        if (c == kEof) {
            endedFirst = !any;
            break;
        }
        if ((sp.conv == 's' && IsTextStop(c)) || (sp.conv == '[' && !set.Contains(c))) {
            Unget(c);
            break;
        }
        if (width > 0) {
            --width;
        }
        any = true;
        if (!TextSink<CharT>::Put(sp.wideDest, dest, room, stored, c, st, more, giveBack)) {
            /* The text does not fit: the destination is emptied, never overrun. */
            if (sp.wideDest) {
                static_cast<wchar_t *>(dest)[0] = 0;
            } else {
                static_cast<char *>(dest)[0] = 0;
            }
            Unget(c);
            return Stop::Error;
        }
    }
    if (!any) {
        return endedFirst ? Stop::Input : Stop::Mismatch;
    }
    if (!sp.suppress) {
        if (sp.conv != 'c') {
            if (sp.wideDest) {
                static_cast<wchar_t *>(dest)[stored] = 0;
            } else {
                static_cast<char *>(dest)[stored] = 0;
            }
        }
        ++assigned_;
    }
    return Stop::Done;
}

template <typename CharT>
int Scanner<CharT>::Run(va_list &ap)
{
    Stop stop = Stop::Done;
    const CharT *f = format_;
    while (*f != 0) {
        const Ch fc = T::FormatUnit(*f);
        if (T::IsSpace(fc)) {
            while (*f != 0 && T::IsSpace(T::FormatUnit(*f))) {
                ++f;
            }
            Unget(SkipWhite());
            continue;
        }
        if (fc != '%') {
            /* A multi-byte character of the format is compared one byte at a time. */
            Ch c = Get();
            if (c != fc) {
                Unget(c);
                stop = c == kEof ? Stop::Input : Stop::Mismatch;
                break;
            }
            ++f;
            continue;
        }
        ++f;
        if (T::FormatUnit(*f) == '%') {
            Ch c = SkipWhite();
            if (c != '%') {
                Unget(c);
                stop = c == kEof ? Stop::Input : Stop::Mismatch;
                break;
            }
            ++f;
            continue;
        }
        ScanSpec sp;
        SetText<CharT> set;
        if (!ParseSpec(f, sp, set)) {
            stop = Stop::Error;
            break;
        }
        switch (sp.conv) {
        case 'n':
            if (!sp.suppress) {
                void *dest = va_arg(ap, void *);
                if (dest == nullptr) {
                    stop = Stop::Error;
                    break;
                }
                StoreInt(dest, sp.bits, static_cast<uint64_t>(consumed_));
            }
            break;
        case 'c': case 's': case '[':
            stop = Text(sp, set, ap);
            break;
        case 'e': case 'f': case 'g':
            stop = Floating(sp, ap);
            break;
        default:
            stop = Number(sp, ap);
            break;
        }
        if (stop != Stop::Done) {
            break;
        }
    }
    FinishScan<CharT>(s_);
    switch (stop) {
    case Stop::Done:
        return assigned_;
    case Stop::Input:
        return assigned_ == 0 ? -1 : assigned_;
    case Stop::Mismatch:
        return assigned_;
    default:
        return -2;
    }
}

/* Behind clearDestBuf and clearwDestBuf: empties the first c, s or [ destination the format names. */
template <typename CharT>
void ClearFirstText(const CharT *format, va_list argList)
{
    if (format == nullptr) {
        return;
    }
    va_list ap;
    va_copy(ap, argList);
    const CharT *f = format;
    while (*f != 0) {
        if (ScanTraits<CharT>::FormatUnit(*f) != '%') {
            ++f;
            continue;
        }
        ++f;
        if (ScanTraits<CharT>::FormatUnit(*f) == '%') {
            ++f;
            continue;
        }
        ScanSpec sp;
        SetText<CharT> set;
        if (!ParseSpec(f, sp, set)) {
            break;
        }
        if (sp.suppress) {
            continue;
        }
        void *dest = va_arg(ap, void *);
        if (sp.conv == 'c' || sp.conv == 's' || sp.conv == '[') {
            unsigned size = va_arg(ap, unsigned);
            if (dest != nullptr && size >= 1 && size <= SEALEDC_MAX_TEXT_DEST) {
                if (sp.wideDest) {
                    static_cast<wchar_t *>(dest)[0] = 0;
                } else {
                    static_cast<char *>(dest)[0] = 0;
                }
            }
            break;
        }
    }
    va_end(ap);
}

template <typename CharT>
int Scan(sealedc_in_stream *stream, const CharT *format, va_list argList)
{
    if (stream == nullptr || format == nullptr) {
        return -1;
    }
    va_list ap;
    va_copy(ap, argList);
    Scanner<CharT> scanner(stream, format);
    int r = scanner.Run(ap);
    va_end(ap);
    return r;
}

}  // namespace sealedc

#endif /* SEALEDC_INPUT_ENGINE_H */
