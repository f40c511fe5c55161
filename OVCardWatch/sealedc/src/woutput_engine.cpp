/* The wide formatted-output engine sealedc_woutput_s: the output engine instantiated over
 * wchar_t with its own tables, "(null)" texts and conversions of byte text to wide text.
 *
 * Fixed names (callers rely on them): sealedc_woutput_s, declared in input_woutput.h and called by
 * swprintf_s.cpp. */
#include "input_woutput.h"
#include "output_engine.h"

namespace {

/* Index 16 holds the letter of the hexadecimal prefix. */
const wchar_t kWideUpperDigits[] = L"0123456789ABCDEFX";
const wchar_t kWideLowerDigits[] = L"0123456789abcdefx";
const char kNarrowNullText[] = "(null)";
const wchar_t kWideNullText[] = L"(null)";
const wchar_t kWideNilPointer[] = L"(nil)";

/* The wide engine's own copy of the class-and-state table, made by the builder the byte
 * engine's table is checked against. */
constexpr sealedc::LookupTable kWideLookupTable = sealedc::MakeLookupTable();

struct WideOutputTraits {
    using CharType = wchar_t;
    using StreamType = sealedc_wout_stream;

    static constexpr sealedc::OutputTables<wchar_t> tables = {
        kWideLookupTable.bytes, kWideUpperDigits, kWideLowerDigits,
        kWideNilPointer,        kNarrowNullText,  kWideNullText,
    };

    /* A byte as a wide character under the current locale; -1 (nothing written) when the byte
     * is no character on its own. */
    static int NarrowCharText(int ch, wchar_t *buf)
    {
        wint_t w = btowc(static_cast<unsigned char>(ch));
        if (w == WEOF) {
            return -1;
        }
        buf[0] = static_cast<wchar_t>(w);
        return 1;
    }

    static int WideCharText(wint_t ch, wchar_t *buf)
    {
        buf[0] = static_cast<wchar_t>(ch);
        return 1;
    }

    /* Walks byte text one multi-byte character at a time, handing each byte to mbrtowc on its
     * own so that nothing past a character's last byte is read (a precision-limited text need
     * not be terminated). Stops at the terminator, after maxChars characters (when not -1) or
     * at maxBytes bytes; put(wc) takes each character and returns false to stop. Returns the
     * characters walked, or -1 when a sequence is no character; *used receives their bytes. */
    template <typename Put>
    static int WalkNarrowText(const char *text, int maxChars, int maxBytes, int *used, Put put)
    {
        mbstate_t state{};
        int chars = 0;
        int i = 0;
        while ((maxChars < 0 || chars < maxChars) && i < maxBytes && text[i] != '\0') {
            wchar_t wc = 0;
            size_t n;
            do {
                n = mbrtowc(&wc, text + i, 1, &state);
                ++i;
            } while (n == static_cast<size_t>(-2) && i < maxBytes && text[i] != '\0');
            if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2)) {
                return -1;
            }
            ++chars;
            if (!put(wc)) {
                break;
            }
        }
        *used = i;
        return chars;
    }

    /* Width and precision count characters, as the C library's wide formatter counts them. */
    static int NarrowTextLength(const char *text, int precision, int *bytes)
    {
        return WalkNarrowText(text, precision, INT_MAX, bytes, [](wchar_t) { return true; });
    }

    static bool WriteNarrowText(const char *text, int bytes, sealedc_wout_stream *stream, int *counter)
    {
        int used = 0;
        return WalkNarrowText(text, -1, bytes, &used, [stream, counter](wchar_t wc) {
                   sealedc::WriteChar(wc, stream, counter);
                   return *counter >= 0;
               }) >= 0;
    }

    static bool WriteWideText(const wchar_t *text, int len, sealedc_wout_stream *stream, int *counter)
    {
        sealedc::WriteString(text, len, stream, counter);
        return true;
    }

    /* The platform's floating text is ASCII: widened byte by byte in small runs. */
    static void WriteFloatText(const char *text, int len, sealedc_wout_stream *stream, int *counter)
    {
        wchar_t run[64];
        int done = 0;
        while (done < len && *counter >= 0) {
            int n = len - done > 64 ? 64 : len - done;
            for (int i = 0; i < n; ++i) {
                run[i] = static_cast<wchar_t>(static_cast<unsigned char>(text[done + i]));
            }
            sealedc::WriteString(run, n, stream, counter);
            done += n;
        }
    }
};

}  // namespace

extern "C" int sealedc_woutput_s(sealedc_wout_stream *stream, const wchar_t *format, va_list argList)
{
    return sealedc::OutputEngine<WideOutputTraits>(stream, format, argList);
}
