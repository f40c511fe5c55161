/*
 * The formatted-output engine, written once over the character type.
 *
 * `OutputEngine<Traits>(stream, format, argList)` writes through the cursor `stream` and returns
 * the number of characters written, or -1 for a format error, a failed text conversion, or an
 * overflow of the cursor. The narrow instantiation is `sealedc_output_s` (output.cpp); a wide
 * instantiation supplies its own Traits and becomes `sealedc_woutput_s`.
 *
 * Its shape is a small C library's formatter core:
 *   - the driver (WalkFormat) writes plain text in runs (WritePlainText) and hands each
 *     conversion specification to the parser (ParseSpecification: the class-and-state table,
 *     the flags, width, precision and size letters), then to one conversion (Convert);
 *   - the conversions make their text: ConvertInteger (with FetchInteger for the argument and
 *     IntegerDigits for the digits), ConvertCharacter, ConvertText and ConvertFloat (the
 *     platform's text through FormatFloat);
 *   - WriteField writes a converted text with its fill, sign or "0x" prefix and lead zeros.
 *
 * What a Traits type supplies (all members static):
 *
 *   using CharType = ...;     // character of the format and of the output (char, wchar_t)
 *   using StreamType = ...;   // cursor: { int32_t count; CharType *cur; }
 *
 *   static constexpr OutputTables<CharType> tables;  // the engine's own read-only tables
 *
 * The arguments of c and s are wide with l or w (and C and S without h), bytes otherwise.
 *
 *   // c and C: the character's text stored into `buf` (room for kCharTextRoom characters);
 *   // returns its length, or -1 when the character does not convert (the conversion then
 *   // writes nothing at all, not even its fill).
 *   int NarrowCharText(int ch, CharType *buf);
 *   int WideCharText(wint_t ch, CharType *buf);
 *
 *   // s with a byte text: the number of output characters the text makes, which is what the
 *   // width and the precision count, never reading past `precision` characters when one is
 *   // given (-1: none); *bytes receives the bytes they take. -1 when a byte sequence is no
 *   // character: the whole call then fails with -1.
 *   int NarrowTextLength(const char *text, int precision, int *bytes);
 *
 *   // s and S: write a measured text argument through the cursor (`bytes` bytes of a byte
 *   // text, `len` wide characters of a wide text). false when a character does not convert:
 *   // the whole call then fails with -1.
 *   bool WriteNarrowText(const char *text, int bytes, StreamType *stream, int *counter);
 *   bool WriteWideText(const wchar_t *text, int len, StreamType *stream, int *counter);
 *
 *   // e, E, f, F, g, G: write `len` bytes of floating-point text made by the platform's
 *   // formatter (already padded to the width) through the cursor; a wide engine widens them.
 *   void WriteFloatText(const char *text, int len, StreamType *stream, int *counter);
 *
 * The writers WriteChar / WriteMultiChar / WriteString below are generic over the cursor
 * and may be used by the hooks.
 *
 * Fixed names (callers rely on them): OutputEngine, OutputTables, LookupTable, MakeLookupTable,
 * SameTable, kLookupTableSize, kCharTextRoom, BoundedLength, WriteChar, WriteMultiChar and
 * WriteString (output.cpp and woutput_engine.cpp), and the members a Traits type supplies, listed
 * above, which both engines' Traits define under these names.
 */
#ifndef SEALEDC_OUTPUT_ENGINE_H
#define SEALEDC_OUTPUT_ENGINE_H

#ifndef __cplusplus
#error "output_engine.h is C++"
#endif

#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <type_traits>

#include "sealedc_internal.h"

namespace sealedc {

/* Flags of one conversion. */
enum : uint32_t {
    FLAG_SIGN = 0x1,
    FLAG_SIGN_SPACE = 0x2,
    FLAG_LEFT = 0x4,
    FLAG_LEADZERO = 0x8,
    FLAG_LONG = 0x10,
    FLAG_SHORT = 0x20,
    FLAG_SIGNED = 0x40,
    FLAG_ALTERNATE = 0x80,
    FLAG_NEGATIVE = 0x100,
    FLAG_FORCE_OCTAL = 0x200,
    FLAG_LONG_DOUBLE = 0x400,
    FLAG_WIDECHAR = 0x800,
    FLAG_LONGLONG = 0x1000,
    FLAG_CHAR = 0x2000,
    FLAG_POINTER = 0x4000,
    FLAG_I64 = 0x8000,
    FLAG_PTRDIFF = 0x10000,
    FLAG_SIZE = 0x20000,
    FLAG_INTMAX = 0x40000,
};

/* Parser states (the high four bits of the transition entries). */
enum : unsigned {
    STAT_NORMAL = 0,
    STAT_PERCENT = 1,
    STAT_FLAG = 2,
    STAT_WIDTH = 3,
    STAT_DOT = 4,
    STAT_PRECISION = 5,
    STAT_SIZE = 6,
    STAT_TYPE = 7,
    STAT_INVALID = 8,
};

/* Character classes (the low four bits of the entries for bytes 32..122). */
enum : unsigned {
    CLASS_OTHER = 0,
    CLASS_PERCENT = 1,
    CLASS_DOT = 2,
    CLASS_STAR = 3,
    CLASS_ZERO = 4,
    CLASS_DIGIT = 5,
    CLASS_FLAG = 6,
    CLASS_SIZE = 7,
    CLASS_TYPE = 8,
};

constexpr int kLookupTableSize = 91;
constexpr int kTextArea = 512;        /* the engine's text area, in characters */
constexpr int kPrecisionCap = 512;    /* integer precisions above this count as this */
constexpr int kAccumulateLimit = 21474836; /* width/precision above this cannot take a digit */
constexpr int kCharTextRoom = 16;     /* room given to the c/C hooks (at least MB_LEN_MAX) */

/* The read-only tables of one engine; each engine keeps its own copies. */
template <typename CharT>
struct OutputTables {
    const unsigned char *lookup; /* the 91-byte class-and-state table */
    const CharT *upper;          /* "0123456789ABCDEFX" (index 16: the prefix letter) */
    const CharT *lower;          /* "0123456789abcdefx" */
    const CharT *nil;            /* "(nil)" for p of a zero pointer */
    const char *narrowNull;      /* "(null)" for a NULL byte text */
    const wchar_t *wideNull;     /* "(null)" for a NULL wide text */
};

/* The class-and-state table as the parser reads it, built from the two tables it encodes.
 * Each translation unit keeps its own copy as a plain array and checks it against this. */
struct LookupTable {
    unsigned char bytes[kLookupTableSize];
};

constexpr unsigned ClassOfByte(unsigned b)
{
    switch (b) {
    case '%': return CLASS_PERCENT;
    case '.': return CLASS_DOT;
    case '*': return CLASS_STAR;
    case '0': return CLASS_ZERO;
    case ' ': case '#': case '+': case '-': return CLASS_FLAG;
    case 'I': case 'L': case 'N': case 'Z': case 'h': case 'j': case 'l': case 'q': case 't':
    case 'w': case 'z':
        return CLASS_SIZE;
    case 'C': case 'E': case 'F': case 'G': case 'S': case 'X': case 'c': case 'd': case 'e':
    case 'f': case 'g': case 'i': case 'o': case 'p': case 's': case 'u': case 'x':
        return CLASS_TYPE;
    default:
        return (b >= '1' && b <= '9') ? CLASS_DIGIT : CLASS_OTHER;
    }
}

constexpr LookupTable MakeLookupTable()
{
    constexpr unsigned N = STAT_NORMAL, P = STAT_PERCENT, F = STAT_FLAG, W = STAT_WIDTH,
                       D = STAT_DOT, R = STAT_PRECISION, S = STAT_SIZE, T = STAT_TYPE,
                       X = STAT_INVALID;
    /* Next state by class (rows) and current state NORMAL..TYPE (columns). */
    constexpr unsigned next[9][8] = {
        {N, X, X, X, X, X, X, N}, /* other */
        {P, N, X, X, X, X, X, P}, /* percent */
        {N, D, D, D, X, X, X, N}, /* dot */
        {N, W, W, X, R, X, X, N}, /* star */
        {N, F, F, W, R, R, X, N}, /* zero */
        {N, W, W, W, R, R, X, N}, /* digit */
        {N, F, F, X, X, X, X, N}, /* flag */
        {N, S, S, S, S, S, S, N}, /* size */
        {N, T, T, T, T, T, T, N}, /* type */
    };
    LookupTable t{};
    for (unsigned b = 32; b <= 122; ++b) {
        t.bytes[b - 32] = static_cast<unsigned char>(ClassOfByte(b));
    }
    for (unsigned c = 0; c < 9; ++c) {
        for (unsigned s = 0; s < 8; ++s) {
            t.bytes[c * 9 + s] = static_cast<unsigned char>(t.bytes[c * 9 + s] | (next[c][s] << 4));
        }
    }
    return t;
}

constexpr LookupTable kLookupTable = MakeLookupTable();

constexpr bool SameTable(const unsigned char (&a)[kLookupTableSize], const LookupTable &b)
{
    for (int i = 0; i < kLookupTableSize; ++i) {
        if (a[i] != b.bytes[i]) {
            return false;
        }
    }
    return true;
}

/* Class of a format character: the table is indexed by the character as an unsigned value, so
 * bytes above 0x7F (UTF-8 in logged paths) are class other like every byte outside 32..122. */
template <typename CharT>
inline unsigned CharClass(const unsigned char *table, CharT ch)
{
    using U = std::make_unsigned_t<CharT>;
    auto u = static_cast<uint32_t>(static_cast<U>(ch)) - 32u;
    return (u < static_cast<uint32_t>(kLookupTableSize)) ? (table[u] & 0x0Fu) : CLASS_OTHER;
}

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

/* ---- floating point ------------------------------------------------------------------- */

/* Text-buffer sizes: precision plus the longest integral part and decoration of the type. */
constexpr int kDoubleExtra = 349;
constexpr int kLongDoubleExtra = 4972;

/* Formats one floating value with the platform's formatter and writes its text unchanged.
 * The conversion specification handed to the formatter is built from what the parser
 * understood (flags, "*" for the width and ".*" for the precision, L for a long double, the
 * conversion letter), never copied from the format: the engine's own size letters (ll, I64,
 * w, N, ...) would make the platform read another type or refuse the conversion
 * specification. */
template <typename Traits>
void FormatFloat(char conversion, uint32_t flags, int width, int precision, double value,
                  long double ldValue, typename Traits::StreamType *stream, int *counter,
                  char *area)
{
    const bool isLong = (flags & FLAG_LONG_DOUBLE) != 0;
    int prec = precision < 0 ? 6 : precision;
    if (prec == 0 && (conversion == 'g' || conversion == 'G')) {
        prec = 1;
    }
    const int extra = isLong ? kLongDoubleExtra : kDoubleExtra;
    if (prec > INT_MAX - extra) {
        return; /* the text size would pass 0x7FFFFFFF: no output */
    }
    int size = prec + extra;
    if (width > size) {
        size = width;
    }
    char *buffer = area;
    char *heap = nullptr;
    if (size >= kTextArea) {
        heap = static_cast<char *>(malloc(static_cast<size_t>(size) + 2));
        if (heap == nullptr) {
            return;
        }
        buffer = heap;
    }

    char spec[16];
    int n = 0;
    spec[n++] = '%';
    if (flags & FLAG_LEFT) spec[n++] = '-';
    if (flags & FLAG_SIGN) spec[n++] = '+';
    if (flags & FLAG_SIGN_SPACE) spec[n++] = ' ';
    if (flags & FLAG_ALTERNATE) spec[n++] = '#';
    if (flags & FLAG_LEADZERO) spec[n++] = '0';
    spec[n++] = '*';
    spec[n++] = '.';
    spec[n++] = '*';
    if (isLong) spec[n++] = 'L';
    spec[n++] = conversion;
    spec[n] = '\0';

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    int len = isLong ? indirectSprintf(buffer, spec, width, prec, ldValue)
                     : indirectSprintf(buffer, spec, width, prec, value);
#pragma GCC diagnostic pop
    if (len > 0) {
        Traits::WriteFloatText(buffer, len, stream, counter);
    }
    free(heap);
}

/* ---- the conversion specification ----------------------------------------------------- */

/* What the parser gathered between "%" and the conversion character; reset at each "%". */
struct ConversionSpec {
    uint32_t flags = 0;
    int width = 0;
    int precision = -1; /* -1: not given */
};

/* How the parse of one conversion specification ended. */
enum class SpecEnd {
    Conversion, /* at a conversion character, which is to be converted */
    Percent,    /* at the second "%" of "%%", which is plain text */
    PlainI,     /* at an I that is no size: the I is plain text and the specification ends */
    Invalid,    /* a byte that cannot stand where it stands, or a width or precision too large */
    Unfinished, /* the format ends inside the specification */
};

template <typename C>
inline void AddFlag(uint32_t &flags, C ch)
{
    switch (ch) {
    case C('+'): flags |= FLAG_SIGN; break;
    case C(' '): flags |= FLAG_SIGN_SPACE; break;
    case C('-'): flags |= FLAG_LEFT; break;
    case C('#'): flags |= FLAG_ALTERNATE; break;
    case C('0'): flags |= FLAG_LEADZERO; break;
    default: break;
    }
}

/* A digit of the width, or "*": the next int argument, a negative one setting the left flag.
 * false when the width can take no more digits. */
template <typename C>
inline bool AddWidth(ConversionSpec &spec, C ch, va_list &ap)
{
    if (ch == C('*')) {
        int w = va_arg(ap, int);
        if (w < 0) {
            spec.flags |= FLAG_LEFT;
            /* The magnitude of INT_MIN does not fit: it counts as the largest width. */
            w = (w == INT_MIN) ? INT_MAX : -w;
        }
        spec.width = w;
        return true;
    }
    if (spec.width > kAccumulateLimit) {
        return false;
    }
    spec.width = spec.width * 10 + static_cast<int>(ch - C('0'));
    return true;
}

/* A digit of the precision, or "*": the next int argument, a negative one meaning "not given".
 * false when the precision can take no more digits. */
template <typename C>
inline bool AddPrecision(ConversionSpec &spec, C ch, va_list &ap)
{
    if (ch == C('*')) {
        int p = va_arg(ap, int);
        spec.precision = (p < 0) ? -1 : p;
        return true;
    }
    if (spec.precision > kAccumulateLimit) {
        return false;
    }
    if (spec.precision < 0) {
        spec.precision = 0; /* digits after a negative "*": they are the precision */
    }
    spec.precision = spec.precision * 10 + static_cast<int>(ch - C('0'));
    return true;
}

/* A size letter; `fmt` points just after it and moves past the letters that belong to it (the
 * second l of ll, the digits of I64 and I32). false for an I that is no size. */
template <typename C>
inline bool AddSize(uint32_t &flags, C ch, const C *&fmt)
{
    switch (ch) {
    case C('h'):
        /* The second h of hh is read as a size letter of its own; the char flag wins. */
        flags |= (*fmt == C('h')) ? FLAG_CHAR : FLAG_SHORT;
        break;
    case C('l'):
        if (*fmt == C('l')) {
            flags |= FLAG_LONGLONG;
            ++fmt;
        } else {
            flags |= FLAG_LONG;
        }
        break;
    case C('q'):
    case C('L'):
        flags |= FLAG_LONG_DOUBLE | FLAG_LONGLONG;
        break;
    case C('j'): flags |= FLAG_INTMAX; break;
    case C('z'): flags |= FLAG_SIZE; break;
    case C('t'): flags |= FLAG_PTRDIFF; break;
    case C('w'): flags |= FLAG_WIDECHAR; break;
    case C('I'):
        if (fmt[0] == C('6') && fmt[1] == C('4')) {
            fmt += 2;
            flags |= FLAG_I64;
        } else if (fmt[0] == C('3') && fmt[1] == C('2')) {
            fmt += 2;
            flags &= ~static_cast<uint32_t>(FLAG_I64);
        } else if (fmt[0] == C('d') || fmt[0] == C('i') || fmt[0] == C('o') || fmt[0] == C('u') ||
                   fmt[0] == C('x') || fmt[0] == C('X')) {
            flags |= FLAG_I64; /* the conversion character is read next */
        } else {
            return false;
        }
        break;
    default: /* N and Z change nothing */
        break;
    }
    return true;
}

/* Parses one conversion specification with the class-and-state table; `fmt` points just after
 * its "%" and is left after the byte that ended it, which for a conversion is in *conversion. */
template <typename Traits>
SpecEnd ParseSpecification(const typename Traits::CharType *&fmt, ConversionSpec &spec,
                           typename Traits::CharType *conversion, va_list &ap)
{
    using C = typename Traits::CharType;
    const unsigned char *table = Traits::tables.lookup;
    /* The common case, a conversion character right after the "%", needs no state. */
    if (CharClass(table, *fmt) == CLASS_TYPE) {
        *conversion = *fmt++;
        return SpecEnd::Conversion;
    }
    unsigned state = STAT_PERCENT;
    for (;;) {
        const C ch = *fmt;
        if (ch == C('\0')) {
            return SpecEnd::Unfinished;
        }
        ++fmt;
        state = table[CharClass(table, ch) * 9 + state] >> 4;
        switch (state) {
        case STAT_NORMAL: /* only "%%" leads back to plain text */
            return SpecEnd::Percent;
        case STAT_FLAG:
            AddFlag(spec.flags, ch);
            break;
        case STAT_WIDTH:
            if (!AddWidth(spec, ch, ap)) {
                return SpecEnd::Invalid;
            }
            break;
        case STAT_DOT:
            spec.precision = 0;
            break;
        case STAT_PRECISION:
            if (!AddPrecision(spec, ch, ap)) {
                return SpecEnd::Invalid;
            }
            break;
        case STAT_SIZE:
            if (!AddSize(spec.flags, ch, fmt)) {
                return SpecEnd::PlainI;
            }
            break;
        case STAT_TYPE:
            *conversion = ch;
            return SpecEnd::Conversion;
        default: /* STAT_INVALID */
            return SpecEnd::Invalid;
        }
    }
}

/* ---- plain text and the field ---------------------------------------------------------- */

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

/* ---- integers ------------------------------------------------------------------------- */

/* The digits of v in radix 8, 10 or 16, written right to left so that they end just before
 * `end`; returns the first. Zero has no digits. */
template <typename C>
inline C *IntegerDigits(uint64_t v, unsigned radix, const C *digits, C *end)
{
    C *q = end;
    if (radix == 10) {
        if (v <= 0xFFFFFFFFu) {
            /* 32-bit division is much cheaper, and most values fit. */
            uint32_t w = static_cast<uint32_t>(v);
            while (w != 0) {
                *--q = digits[w % 10];
                w /= 10;
            }
        } else {
            while (v != 0) {
                *--q = digits[v % 10];
                v /= 10;
            }
        }
    } else if (radix == 16) {
        while (v != 0) {
            *--q = digits[v & 0xF];
            v >>= 4;
        }
    } else {
        while (v != 0) {
            *--q = digits[v & 0x7];
            v >>= 3;
        }
    }
    return q;
}

/* Fetches the argument of an integer conversion with the width its flags give and returns its
 * magnitude; a negative signed value sets the negative flag. Values not of a 64-bit kind are
 * cut to 32 bits. */
inline uint64_t FetchInteger(uint32_t &flags, va_list &ap)
{
    const bool isSigned = (flags & FLAG_SIGNED) != 0;
    uint64_t v;
    if (flags & FLAG_POINTER) {
        v = reinterpret_cast<uintptr_t>(va_arg(ap, void *));
    } else if (flags & (FLAG_I64 | FLAG_LONGLONG | FLAG_LONG)) {
        v = va_arg(ap, unsigned long long);
    } else if (flags & FLAG_CHAR) {
        int a = va_arg(ap, int);
        v = isSigned ? static_cast<uint64_t>(static_cast<int64_t>(static_cast<signed char>(a)))
                     : static_cast<uint64_t>(static_cast<unsigned char>(a));
    } else if (flags & FLAG_SHORT) {
        int a = va_arg(ap, int);
        v = isSigned ? static_cast<uint64_t>(static_cast<int64_t>(static_cast<short>(a)))
                     : static_cast<uint64_t>(static_cast<unsigned short>(a));
    } else if (flags & (FLAG_PTRDIFF | FLAG_SIZE | FLAG_INTMAX)) {
        v = va_arg(ap, unsigned long long);
    } else {
        int a = va_arg(ap, int);
        v = isSigned ? static_cast<uint64_t>(static_cast<int64_t>(a))
                     : static_cast<uint64_t>(static_cast<unsigned>(a));
    }
    if (isSigned && static_cast<int64_t>(v) < 0) {
        flags |= FLAG_NEGATIVE;
        v = 0 - v;
    }
    if (!(flags & (FLAG_LONG | FLAG_LONGLONG | FLAG_PTRDIFF | FLAG_SIZE | FLAG_INTMAX | FLAG_I64))) {
        v &= 0xFFFFFFFFu;
    }
    return v;
}

/* d, i, u, o, x, X and p: the digits in the text area, zeros up to the precision, the sign or
 * the "0x" prefix, then the field. */
template <typename Traits>
void ConvertInteger(typename Traits::CharType conversion, ConversionSpec spec, va_list &ap,
                    typename Traits::StreamType *stream, int *counter, typename Traits::CharType *area)
{
    using C = typename Traits::CharType;
    uint32_t flags = spec.flags;
    int precision = spec.precision;
    const C *digits = Traits::tables.lower;
    unsigned radix = 10;
    bool hex = false;
    switch (conversion) {
    case C('d'):
    case C('i'):
        flags |= FLAG_SIGNED;
        break;
    case C('o'):
        radix = 8;
        if (flags & FLAG_ALTERNATE) {
            flags |= FLAG_FORCE_OCTAL;
        }
        break;
    case C('X'):
        digits = Traits::tables.upper;
        radix = 16;
        hex = true;
        break;
    case C('x'):
        radix = 16;
        hex = true;
        break;
    case C('p'):
        precision = 0;
        flags |= FLAG_ALTERNATE | FLAG_POINTER | FLAG_I64;
        radix = 16;
        hex = true;
        break;
    default: /* u */
        break;
    }

    const uint64_t v = FetchInteger(flags, ap);
    if (precision < 0) {
        precision = 1;
    } else {
        if (!(flags & FLAG_POINTER)) {
            flags &= ~static_cast<uint32_t>(FLAG_LEADZERO);
        }
        if (precision > kPrecisionCap) {
            precision = kPrecisionCap;
        }
    }

    C *end = area + kTextArea;
    C *q = IntegerDigits(v, radix, digits, end);
    while (end - q < precision) {
        *--q = C('0');
    }
    if ((flags & FLAG_FORCE_OCTAL) && (q == end || *q != C('0'))) {
        *--q = C('0');
    }
    const C *text = q;
    int textLen = static_cast<int>(end - q);

    C prefix[2];
    int prefixLen = 0;
    if (flags & FLAG_SIGNED) {
        if (flags & FLAG_NEGATIVE) {
            prefix[prefixLen++] = C('-');
        } else if (flags & FLAG_SIGN) {
            prefix[prefixLen++] = C('+');
        } else if (flags & FLAG_SIGN_SPACE) {
            prefix[prefixLen++] = C(' ');
        }
    } else if (hex && (flags & FLAG_ALTERNATE) && v != 0) {
        prefix[prefixLen++] = C('0');
        prefix[prefixLen++] = digits[16];
    }
    if ((flags & FLAG_POINTER) && v == 0) {
        text = Traits::tables.nil;
        textLen = 5;
        flags &= ~static_cast<uint32_t>(FLAG_LEADZERO);
    }
    WriteField(flags, spec.width, prefix, prefixLen, textLen, stream, counter, [&] {
        WriteString(text, textLen, stream, counter);
        return true;
    });
}

/* ---- characters, texts, floating point ------------------------------------------------ */

/* c and C: one character, byte or wide; one that does not convert writes nothing at all. */
template <typename Traits>
void ConvertCharacter(ConversionSpec spec, va_list &ap, typename Traits::StreamType *stream, int *counter,
                      typename Traits::CharType *area)
{
    using C = typename Traits::CharType;
    int textLen;
    if (spec.flags & (FLAG_LONG | FLAG_WIDECHAR)) {
        textLen = Traits::WideCharText(static_cast<wint_t>(va_arg(ap, wint_t)), area);
    } else {
        textLen = Traits::NarrowCharText(va_arg(ap, int), area);
    }
    if (textLen < 0) {
        return;
    }
    const uint32_t flags = spec.flags & ~static_cast<uint32_t>(FLAG_LEADZERO);
    WriteField(flags, spec.width, static_cast<const C *>(nullptr), 0, textLen, stream, counter, [&] {
        WriteString(area, textLen, stream, counter);
        return true;
    });
}

/* s and S: a text argument, byte or wide, NULL printing "(null)", at most `precision`
 * characters. false when a character does not convert: the whole call fails. Inlined into the
 * driver: the service's log lines are mostly texts, and the call costs them measurably. */
template <typename Traits>
[[gnu::always_inline]] inline bool ConvertText(ConversionSpec spec, va_list &ap, typename Traits::StreamType *stream,
                                               int *counter)
{
    using C = typename Traits::CharType;
    const uint32_t flags = spec.flags & ~static_cast<uint32_t>(FLAG_LEADZERO);
    const C *noPrefix = nullptr;
    if (spec.flags & (FLAG_LONG | FLAG_WIDECHAR)) {
        const wchar_t *text = va_arg(ap, const wchar_t *);
        if (text == nullptr) {
            text = Traits::tables.wideNull;
        }
        const int len = BoundedLength(text, spec.precision);
        return WriteField(flags, spec.width, noPrefix, 0, len, stream, counter,
                          [&] { return Traits::WriteWideText(text, len, stream, counter); });
    }
    const char *text = va_arg(ap, const char *);
    if (text == nullptr) {
        text = Traits::tables.narrowNull;
    }
    int bytes = 0;
    const int len = Traits::NarrowTextLength(text, spec.precision, &bytes);
    if (len < 0) {
        return false;
    }
    return WriteField(flags, spec.width, noPrefix, 0, len, stream, counter,
                      [&] { return Traits::WriteNarrowText(text, bytes, stream, counter); });
}

/* e, E, f, F, g and G: the platform's text, written as it is. */
template <typename Traits>
void ConvertFloat(char conversion, ConversionSpec spec, va_list &ap, typename Traits::StreamType *stream,
                  int *counter, char *area)
{
    double value = 0.0;
    long double ldValue = 0.0L;
    if (spec.flags & FLAG_LONG_DOUBLE) {
        ldValue = va_arg(ap, long double);
    } else {
        value = va_arg(ap, double);
    }
    FormatFloat<Traits>(conversion, spec.flags, spec.width, spec.precision, value, ldValue, stream, counter,
                        area);
}

/* ---- the driver ----------------------------------------------------------------------- */

/* The engine's text area: integer digits and character texts in output characters, floating
 * text in bytes. */
template <typename C>
union TextArea {
    C text[kTextArea];
    char bytes[kTextArea];
};

/* Performs the conversion `conversion` (a character of class TYPE) and writes its field. false
 * when the whole call must fail. */
template <typename Traits>
bool Convert(typename Traits::CharType conversion, ConversionSpec &spec, va_list &ap,
             typename Traits::StreamType *stream, int *counter, TextArea<typename Traits::CharType> &area)
{
    using C = typename Traits::CharType;
    switch (conversion) {
    case C('C'):
    case C('S'):
        /* Upper case without h, l or w: a wide argument. */
        if (!(spec.flags & (FLAG_SHORT | FLAG_LONG | FLAG_WIDECHAR))) {
            spec.flags |= FLAG_WIDECHAR;
        }
        if (conversion == C('S')) {
            return ConvertText<Traits>(spec, ap, stream, counter);
        }
        ConvertCharacter<Traits>(spec, ap, stream, counter, area.text);
        return true;
    case C('c'):
        ConvertCharacter<Traits>(spec, ap, stream, counter, area.text);
        return true;
    case C('s'):
        return ConvertText<Traits>(spec, ap, stream, counter);
    case C('e'):
    case C('E'):
    case C('f'):
    case C('F'):
    case C('g'):
    case C('G'):
        ConvertFloat<Traits>(static_cast<char>(conversion), spec, ap, stream, counter, area.bytes);
        return true;
    case C('d'):
    case C('i'):
    case C('u'):
    case C('o'):
    case C('x'):
    case C('X'):
    case C('p'):
        ConvertInteger<Traits>(conversion, spec, ap, stream, counter, area.text);
        return true;
    default: /* no other character is of class TYPE */
        return true;
    }
}

/* Walks the format: plain text in runs, each conversion specification parsed and converted.
 * Stops at the first failure or overflow (-1). */
template <typename Traits>
int WalkFormat(typename Traits::StreamType *stream, const typename Traits::CharType *fmt, va_list &ap)
{
    using C = typename Traits::CharType;
    TextArea<C> area;
    int counter = 0;
    while (*fmt != C('\0')) {
        if (*fmt != C('%')) {
            fmt = WritePlainText(fmt, stream, &counter);
        } else {
            ++fmt;
            ConversionSpec spec;
            C conversion = C('\0');
            switch (ParseSpecification<Traits>(fmt, spec, &conversion, ap)) {
            case SpecEnd::Conversion:
                if (!Convert<Traits>(conversion, spec, ap, stream, &counter, area)) {
                    return -1;
                }
                break;
            case SpecEnd::Percent:
                fmt = WritePlainText(fmt - 1, stream, &counter);
                break;
            case SpecEnd::PlainI:
                WriteChar(C('I'), stream, &counter);
                break;
            default: /* Invalid, Unfinished */
                return -1;
            }
        }
        if (counter < 0) {
            return -1;
        }
    }
    return counter;
}

template <typename Traits>
int OutputEngine(typename Traits::StreamType *stream, const typename Traits::CharType *format,
                  va_list argList)
{
    if (*format == typename Traits::CharType('\0')) {
        return 0;
    }
    va_list ap;
    va_copy(ap, argList);
    const int counter = WalkFormat<Traits>(stream, format, ap);
    va_end(ap);
    return counter;
}

}  // namespace sealedc

#endif /* SEALEDC_OUTPUT_ENGINE_H */
