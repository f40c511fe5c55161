/*
 * The formatted-input engine, written once over the character type: sealedc_input_s is the
 * engine over char, sealedc_winput_s over wchar_t.
 *
 * Format rules. White space in the format skips any white space in the input; any other
 * character outside a directive must equal the next input character. A directive is
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
 *    format ending inside a directive or a scan set, a text too long for its destination
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
 * The engine is split along its seams: input_source.h (the characters and where they come
 * from), input_format.h (conversion directives and scan sets), input_readers.h (the scanner
 * and its conversion readers), and this file, the driver over the format.
 *
 * Fixed names (callers rely on them): Scan and ClearFirstText (input_engine.cpp and
 * winput_engine.cpp); this file's name, which the sscanf fuzz target includes to reach
 * ScanTraits, ScanSpec, SetText and ParseSpec.
 */
#ifndef SEALEDC_INPUT_ENGINE_H
#define SEALEDC_INPUT_ENGINE_H

#include "input_readers.h"

#include <cstdarg>

namespace sealedc {

/* ---- the driver ----------------------------------------------------------------------- */

/* Walks the format: white space, literal characters, "%%" and conversion directives, each
 * conversion handed to its reader; stops at the first item that does not match or fails. */
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
