/* The narrow formatted-output engine sealedc_output_s, its tables, its cursor writers and the
 * pass-through to the platform's formatter for floating-point text.
 *
 * Fixed names (callers rely on them): sealedc_output_s, write_char_a, write_multi_char_a,
 * write_string_a and indirectSprintf, declared in sealedc_internal.h and called by snprintf_s.c,
 * the output engine and the engine tests; sealedc__lookuptable_s, which the engine tests read by
 * name as a 91-byte array. */
#include <cstdio>

#include "output_engine.h"

namespace {

/* Index 16 holds the letter of the hexadecimal prefix. */
const char _itoa_upper_digits[] = "0123456789ABCDEFX";
const char _itoa_lower_digits[] = "0123456789abcdefx";
const char STR_NULL_STRING[] = "(null)";
const wchar_t WSTR_NULL_STRING[] = L"(null)";
const char STR_NIL_POINTER[] = "(nil)";

}  // namespace

/* Class of each byte from space to "z" in the low four bits of entry (byte - 32); next state
 * for (class, state) in the high four bits of entry (class * 9 + state). */
extern "C" constexpr unsigned char sealedc__lookuptable_s[sealedc::kLookupTableSize] = {
    0x06, 0x80, 0x80, 0x86, 0x80, 0x81, 0x80, 0x00, 0x00, 0x10, 0x03, 0x86, 0x80,
    0x86, 0x82, 0x80, 0x14, 0x05, 0x05, 0x45, 0x45, 0x45, 0x85, 0x85, 0x85, 0x05,
    0x00, 0x00, 0x30, 0x30, 0x80, 0x50, 0x80, 0x80, 0x00, 0x08, 0x00, 0x28, 0x28,
    0x38, 0x50, 0x57, 0x80, 0x00, 0x07, 0x00, 0x37, 0x30, 0x30, 0x50, 0x50, 0x88,
    0x00, 0x00, 0x00, 0x20, 0x28, 0x80, 0x87, 0x80, 0x80, 0x00, 0x00, 0x00, 0x60,
    0x60, 0x60, 0x68, 0x68, 0x68, 0x08, 0x08, 0x07, 0x78, 0x77, 0x70, 0x77, 0x70,
    0x70, 0x08, 0x08, 0x07, 0x00, 0x08, 0x07, 0x08, 0x00, 0x07, 0x08, 0x00, 0x07,
};

static_assert(sealedc::SameTable(sealedc__lookuptable_s, sealedc::kLookupTable),
              "the lookup table encodes the class and state tables");

namespace {

struct NarrowOutputTraits {
    using CharType = char;
    using StreamType = sealedc_out_stream;

    static constexpr sealedc::OutputTables<char> tables = {
        sealedc__lookuptable_s, _itoa_upper_digits, _itoa_lower_digits,
        STR_NIL_POINTER,        STR_NULL_STRING,    WSTR_NULL_STRING,
    };

    static int NarrowCharText(int ch, char *buf)
    {
        buf[0] = static_cast<char>(ch);
        return 1;
    }

    /* The character's multibyte text under the current locale, or -1 when it has none. */
    static int WideCharText(wint_t ch, char *buf)
    {
        mbstate_t state{};
        size_t n = wcrtomb(buf, static_cast<wchar_t>(ch), &state);
        return n == static_cast<size_t>(-1) ? -1 : static_cast<int>(n);
    }

    /* Bytes are characters here. */
    static int NarrowTextLength(const char *text, int precision, int *bytes)
    {
        *bytes = sealedc::BoundedLength(text, precision);
        return *bytes;
    }

    static bool WriteNarrowText(const char *text, int bytes, sealedc_out_stream *stream, int *counter)
    {
        sealedc::WriteString(text, bytes, stream, counter);
        return true;
    }

    /* Each wide character converted on its own; one without a multibyte form fails the call. */
    static bool WriteWideText(const wchar_t *text, int len, sealedc_out_stream *stream, int *counter)
    {
        char buf[sealedc::kCharTextRoom];
        for (int i = 0; i < len; ++i) {
            mbstate_t state{};
            size_t n = wcrtomb(buf, text[i], &state);
            if (n == static_cast<size_t>(-1)) {
                return false;
            }
            sealedc::WriteString(buf, static_cast<int>(n), stream, counter);
            if (*counter < 0) {
                return true;
            }
        }
        return true;
    }

    static void WriteFloatText(const char *text, int len, sealedc_out_stream *stream, int *counter)
    {
        sealedc::WriteString(text, len, stream, counter);
    }
};

}  // namespace

extern "C" int sealedc_output_s(sealedc_out_stream *stream, const char *format, va_list argList)
{
    return sealedc::OutputEngine<NarrowOutputTraits>(stream, format, argList);
}

extern "C" void write_char_a(char ch, sealedc_out_stream *stream, int *counter)
{
    sealedc::WriteChar(ch, stream, counter);
}

extern "C" void write_multi_char_a(char ch, int num, sealedc_out_stream *stream, int *counter)
{
    sealedc::WriteMultiChar(ch, num, stream, counter);
}

extern "C" void write_string_a(const char *string, int len, sealedc_out_stream *stream, int *counter)
{
    sealedc::WriteString(string, len, stream, counter);
}

/* No size limit: the engine sizes the buffer for the longest text of the conversion directive. */
extern "C" int indirectSprintf(char *buffer, const char *format, ...)
{
    va_list argList;
    va_start(argList, format);
    int ret = vsprintf(buffer, format, argList);
    va_end(argList);
    return ret;
}
