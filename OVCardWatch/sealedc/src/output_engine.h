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
 *     conversion directive to the parser (ParseDirective: the class-and-state table,
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
 * The writers WriteChar / WriteMultiChar / WriteString (output_writers.h) are generic over the
 * cursor and may be used by the hooks.
 *
 * The pieces live in output_tables.h (flags, states, classes, tables), output_writers.h (the
 * cursor writers, plain text and the field) and output_conversions.h (one helper per kind of
 * conversion); this file holds the parser of a conversion directive and the driver.
 *
 * Fixed names (callers rely on them): OutputEngine (output.cpp and woutput_engine.cpp), and the
 * members a Traits type supplies, listed above, which both engines' Traits define under these
 * names.
 */
#ifndef SEALEDC_OUTPUT_ENGINE_H
#define SEALEDC_OUTPUT_ENGINE_H

#ifndef __cplusplus
#error "output_engine.h is C++"
#endif

#include <climits>
#include <cstdarg>
#include <cstdint>

#include "output_conversions.h"

namespace sealedc {

/* ---- the parser of a conversion directive ----------------------------------------- */

/* How the parse of one conversion directive ended. */
enum class SpecEnd {
    Conversion, /* at a conversion character, which is to be converted */
    Percent,    /* at the second "%" of "%%", which is plain text */
    PlainI,     /* at an I that is no size: the I is plain text and the directive ends */
    Invalid,    /* a byte that cannot stand where it stands, or a width or precision too large */
    Unfinished, /* the format ends inside the directive */
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

/* Parses one conversion directive with the class-and-state table; `fmt` points just after
 * its "%" and is left after the byte that ended it, which for a conversion is in *conversion. */
template <typename Traits>
SpecEnd ParseDirective(const typename Traits::CharType *&fmt, ConversionSpec &spec,
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

/* Walks the format: plain text in runs, each conversion directive parsed and converted.
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
            switch (ParseDirective<Traits>(fmt, spec, &conversion, ap)) {
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
