// The wide output engine behind swprintf_s: against the C library's swprintf on generated
// conversions, and the rules of its own (room, cut output, texts that do not convert).
#include <gtest/gtest.h>

#include "SealedcTestSupport.h"
#include "sealedc.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <random>
#include <string>

namespace {

constexpr size_t kRoom = 256;

template <typename... A>
void expectSame(const std::wstring &format, A... args)
{
    wchar_t mine[kRoom];
    wchar_t theirs[kRoom];
    int got = swprintf_s(mine, kRoom, format.c_str(), args...);
    int want = swprintf(theirs, kRoom, format.c_str(), args...);
    ASSERT_GE(want, 0);
    std::string shown(format.begin(), format.end());
    ASSERT_EQ(want, got) << shown;
    ASSERT_EQ(std::wstring(theirs), std::wstring(mine)) << shown;
}

class FormatGenerator : private sealedctest::RandomPicks<std::mt19937> {
public:
    explicit FormatGenerator(uint32_t seed) : RandomPicks(seed) {}

    void runOne()
    {
        std::wstring prefix = Chance(50) ? L"<" : L"";
        std::wstring suffix = Chance(50) ? L"|%%>" : L"";
        bool starWidth = Chance(15);
        bool starPrecision = Chance(15);
        int width = Pick(-20, 20);
        int precision = Pick(-3, 30);
        switch (Pick(0, 5)) {
        case 0: integer(prefix, suffix, starWidth, starPrecision, width, precision); break;
        case 1: floating(prefix, suffix, starWidth, starPrecision, width, precision); break;
        case 2: wideText(prefix, suffix, starWidth, starPrecision, width, precision); break;
        case 3: byteText(prefix, suffix, starWidth, starPrecision, width, precision); break;
        case 4: character(prefix, suffix, starWidth, width); break;
        default: pointer(prefix, suffix); break;
        }
    }

private:

    std::wstring flags(const wchar_t *allowed)
    {
        std::wstring f;
        for (const wchar_t *p = allowed; *p; ++p) {
            if (Chance(20)) {
                f += *p;
            }
        }
        return f;
    }
    std::wstring widthText(bool star, int width)
    {
        if (star) {
            return L"*";
        }
        return Chance(50) && width > 0 ? std::to_wstring(width) : L"";
    }
    std::wstring precisionText(bool star, int precision)
    {
        if (star) {
            return L".*";
        }
        return Chance(40) && precision >= 0 ? L"." + std::to_wstring(precision) : L"";
    }

    // Calls expectSame with the "*" arguments in front of the value.
    template <typename V>
    void call(const std::wstring &format, bool starWidth, bool starPrecision, int width, int precision, V value)
    {
        if (starWidth && starPrecision) {
            expectSame(format, width, precision, value);
        } else if (starWidth) {
            expectSame(format, width, value);
        } else if (starPrecision) {
            expectSame(format, precision, value);
        } else {
            expectSame(format, value);
        }
    }

    void integer(const std::wstring &pre, const std::wstring &post, bool sw, bool sp, int w, int p)
    {
        static const wchar_t convs[] = L"diuoxX";
        wchar_t conv = convs[Pick(0, 5)];
        bool isSigned = conv == L'd' || conv == L'i';
        std::wstring f = flags(isSigned ? L"-+ 0" : L"-#0");
        static const wchar_t *sizes[] = {L"hh", L"h", L"", L"l", L"ll", L"j", L"z", L"t"};
        int s = Pick(0, 7);
        std::wstring format = pre + L"%" + f + widthText(sw, w) + precisionText(sp, p) + sizes[s] + conv + post;
        long long v = 0;
        switch (Pick(0, 3)) {
        case 0: v = 0; break;
        case 1: v = Pick(-300, 300); break;
        case 2: v = static_cast<long long>(Raw()) - INT32_MAX; break;
        default: v = static_cast<long long>((static_cast<uint64_t>(Raw()) << 32) | Raw()); break;
        }
        if (s >= 3) {
            call(format, sw, sp, w, p, v);
        } else {
            call(format, sw, sp, w, p, static_cast<int>(v));
        }
    }

    void floating(const std::wstring &pre, const std::wstring &post, bool sw, bool sp, int w, int p)
    {
        static const wchar_t convs[] = L"eEfFgG";
        wchar_t conv = convs[Pick(0, 5)];
        std::wstring f = flags(L"-+ #0");
        bool isLong = Chance(30);
        std::wstring format = pre + L"%" + f + widthText(sw, w) + precisionText(sp, p) + (isLong ? L"L" : L"") + conv + post;
        double v = std::ldexp(static_cast<double>(Pick(-100000, 100000)) / 7.0, Pick(-30, 60));
        if (isLong) {
            call(format, sw, sp, w, p, static_cast<long double>(v) / 3.0L);
        } else {
            call(format, sw, sp, w, p, v);
        }
    }

    void wideText(const std::wstring &pre, const std::wstring &post, bool sw, bool sp, int w, int p)
    {
        static const wchar_t *texts[] = {L"", L"a", L"wide text", L"\x263A smile", L"0123456789abcdef"};
        std::wstring format = pre + L"%" + flags(L"-") + widthText(sw, w) + precisionText(sp, p) +
                              (Chance(50) ? L"ls" : L"S") + post;
        call(format, sw, sp, w, p, texts[Pick(0, 4)]);
    }

    void byteText(const std::wstring &pre, const std::wstring &post, bool sw, bool sp, int w, int p)
    {
        static const char *texts[] = {"", "b", "byte text", "caf\xC3\xA9", "0123456789abcdef"};
        int t = Pick(0, 4);
        // Width and precision count characters, also in the multi-byte text.
        std::wstring format = pre + L"%" + flags(L"-") + widthText(sw, w) + precisionText(sp, p) +
                              (Chance(50) ? L"s" : L"hs") + post;
        call(format, sw, sp, w, p, texts[t]);
    }

    void character(const std::wstring &pre, const std::wstring &post, bool sw, int w)
    {
        if (Chance(50)) {
            std::wstring format = pre + L"%" + flags(L"-") + widthText(sw, w) + L"lc" + post;
            call(format, sw, false, w, 0, static_cast<wint_t>(Chance(50) ? L'\x263A' : L'q'));
        } else {
            std::wstring format = pre + L"%" + flags(L"-") + widthText(sw, w) + L"c" + post;
            call(format, sw, false, w, 0, Pick(32, 126));
        }
    }

    void pointer(const std::wstring &pre, const std::wstring &post)
    {
        void *p = Chance(20) ? nullptr : reinterpret_cast<void *>(static_cast<uintptr_t>(Raw()) << 12);
        std::wstring format = pre + L"%" + flags(L"-") + (Chance(40) ? std::to_wstring(Pick(1, 20)) : L"") + L"p" + post;
        expectSame(format, p);
    }

};

class WideOutputTest : public sealedctest::Utf8LocaleTest {};

TEST_F(WideOutputTest, AgreesWithTheCLibraryOnGeneratedConversions)
{
    FormatGenerator gen(4242);
    for (int i = 0; i < 5000; ++i) {
        gen.runOne();
        if (HasFatalFailure()) {
            return;
        }
    }
}

TEST_F(WideOutputTest, OutputMustFitWithItsTerminatorOrTheDestinationIsEmptied)
{
    wchar_t buf[6];
    EXPECT_EQ(5, swprintf_s(buf, 6, L"%d", 12345));
    EXPECT_STREQ(L"12345", buf);
    EXPECT_EQ(-1, swprintf_s(buf, 6, L"%d", 123456)); // no room for the terminator
    EXPECT_STREQ(L"", buf);
    EXPECT_EQ(-1, swprintf_s(buf, 6, L"%ls%ls", L"abc", L"def"));
    EXPECT_STREQ(L"", buf);
    EXPECT_EQ(0, swprintf_s(buf, 6, L""));
    EXPECT_STREQ(L"", buf);
    wcscpy(buf, L"old");
    EXPECT_EQ(-1, swprintf_s(buf, 0, L"x")); // no room at all: untouched
    EXPECT_STREQ(L"old", buf);
    EXPECT_EQ(-1, swprintf_s(buf, 6, nullptr));
    EXPECT_STREQ(L"", buf);
    wcscpy(buf, L"old");
    EXPECT_EQ(-1, swprintf_s(buf, SIZE_MAX / 2, L"x")); // a size beyond the limit: refused, emptied
    EXPECT_STREQ(L"", buf);
    EXPECT_EQ(-1, swprintf_s(nullptr, 6, L"x"));
}

TEST_F(WideOutputTest, ByteTextIsMeasuredInCharacters)
{
    wchar_t buf[32];
    // "caf\xC3\xA9" is four characters in five bytes; three two-byte characters cut to two.
    EXPECT_EQ(18, swprintf_s(buf, 32, L"[%6s|%-5.2s|%.3s]", "caf\xC3\xA9", "\xC3\xA9\xC3\xA9\xC3\xA9", "caf\xC3\xA9"));
    EXPECT_STREQ(L"[  caf\u00E9|\u00E9\u00E9   |caf]", buf);
    // A precision-limited byte text is read no further than its characters' last byte
    // (AddressSanitizer guards the byte after this one, which has no terminator).
    char *bytes = new char[4];
    std::memcpy(bytes, "a\xC3\xA9z", 4);
    EXPECT_EQ(6, swprintf_s(buf, 32, L"%.3s|%.2s", bytes, bytes));
    EXPECT_STREQ(L"a\u00E9z|a\u00E9", buf);
    delete[] bytes;
    // A sequence cut short by the terminator is no character.
    EXPECT_EQ(-1, swprintf_s(buf, 32, L"%s", "ab\xC3"));
    EXPECT_STREQ(L"", buf);
}

TEST_F(WideOutputTest, FormatErrorsAndTextsThatDoNotConvertFailTheCall)
{
    wchar_t buf[32];
    EXPECT_EQ(-1, swprintf_s(buf, 32, L"%n", nullptr));
    EXPECT_STREQ(L"", buf);
    EXPECT_EQ(-1, swprintf_s(buf, 32, L"50%"));
    EXPECT_EQ(-1, swprintf_s(buf, 32, L"%s", "ok\xFF")); // bytes that are no character
    EXPECT_STREQ(L"", buf);
    EXPECT_EQ(2, swprintf_s(buf, 32, L"[%c]", 0xFF)); // a lone byte that is no character: nothing
    EXPECT_STREQ(L"[]", buf);
    EXPECT_EQ(13, swprintf_s(buf, 32, L"%s|%ls", static_cast<char *>(nullptr), static_cast<wchar_t *>(nullptr)));
    EXPECT_STREQ(L"(null)|(null)", buf);
    EXPECT_EQ(16, swprintf_s(buf, 32, L"%I64d|%Iq", 1LL << 40));
    EXPECT_STREQ(L"1099511627776|Iq", buf);
}

}  // namespace
