/*
 * The format side of a scan: one conversion directive parsed into a ScanSpec, and the scan
 * set of a [ conversion.
 *
 * Fixed names (callers rely on them): ScanSpec with its fields, SetText, ParseSpec, ScanSet
 * (the readers and the driver); ScanSpec's fields suppress, conv and wideDest, SetText and
 * ParseSpec (the sscanf fuzz target plans its arguments with this parser, through
 * input_engine.h).
 */
#ifndef SEALEDC_INPUT_FORMAT_H
#define SEALEDC_INPUT_FORMAT_H

#include "input_source.h"

#include <climits>
#include <cstring>

namespace sealedc {

/* ---- the format ----------------------------------------------------------------------- */

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

/* Parses one directive; f points just after "%" and is left after the conversion
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

}  // namespace sealedc

#endif /* SEALEDC_INPUT_FORMAT_H */
