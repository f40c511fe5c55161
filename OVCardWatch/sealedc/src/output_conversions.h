/*
 * The output engine's conversions, one helper per kind: integers (with the argument fetched by
 * FetchInteger and the digits made by IntegerDigits), characters, texts, and floating point
 * (the platform's text through FormatFloat). Each makes its text and writes its field.
 *
 * Fixed names (callers rely on them): ConversionSpec, ConvertInteger, ConvertCharacter,
 * ConvertText and ConvertFloat (the engine's driver); the Traits members they call, listed in
 * output_engine.h.
 */
#ifndef SEALEDC_OUTPUT_CONVERSIONS_H
#define SEALEDC_OUTPUT_CONVERSIONS_H

#ifndef __cplusplus
#error "output_conversions.h is C++"
#endif

#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cwchar>

#include "output_writers.h"
#include "sealedc_internal.h"

namespace sealedc {

/* ---- the conversion directive ----------------------------------------------------- */

/* What the parser gathered between "%" and the conversion character; reset at each "%". */
struct ConversionSpec {
    uint32_t flags = 0;
    int width = 0;
    int precision = -1; /* -1: not given */
};

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

/* ---- floating point: the platform's text ---------------------------------------------- */

/* Text-buffer sizes: precision plus the longest integral part and decoration of the type. */
constexpr int kDoubleExtra = 349;
constexpr int kLongDoubleExtra = 4972;

/* Formats one floating value with the platform's formatter and writes its text unchanged.
 * The conversion directive handed to the formatter is built from what the parser
 * understood (flags, "*" for the width and ".*" for the precision, L for a long double, the
 * conversion letter), never copied from the format: the engine's own size letters (ll, I64,
 * w, N, ...) would make the platform read another type or refuse the conversion
 * directive. */
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

}  // namespace sealedc

#endif /* SEALEDC_OUTPUT_CONVERSIONS_H */
