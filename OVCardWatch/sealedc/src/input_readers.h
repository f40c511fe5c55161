/*
 * The scanner and the readers of its conversions: numbers (d i u o x p and n's store),
 * floating text (e f g) and texts (c s [), each reading its field through the scanner's source
 * and storing it in its destination.
 *
 * Fixed names (callers rely on them): Scanner with Run (defined by the driver in
 * input_engine.h), Stop, FloatText and TextSink (this file and the driver).
 */
#ifndef SEALEDC_INPUT_READERS_H
#define SEALEDC_INPUT_READERS_H

#include "input_format.h"

#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include <strings.h>

namespace sealedc {

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

/* ---- the scanner ---------------------------------------------------------------------- */

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

}  // namespace sealedc

#endif /* SEALEDC_INPUT_READERS_H */
