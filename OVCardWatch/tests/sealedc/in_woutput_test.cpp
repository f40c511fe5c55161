// The wide output engine behind swprintf_s: against the C library's swprintf on generated
// conversions, and the rules of its own (room, cut output, texts that do not convert).
#include <gtest/gtest.h>

#include "sealedc.h"

#include <climits>
#include <clocale>
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
    ASSERT_EQ(got, want) << shown;
    ASSERT_EQ(std::wstring(mine), std::wstring(theirs)) << shown;
}

class FormatGenerator {
public:
    explicit FormatGenerator(uint32_t seed) : rng_(seed) {}

    void runOne()
    {
        std::wstring prefix = chance(50) ? L"<" : L"";
        std::wstring suffix = chance(50) ? L"|%%>" : L"";
        bool starWidth = chance(15);
        bool starPrecision = chance(15);
        int width = pick(-20, 20);
        int precision = pick(-3, 30);
        switch (pick(0, 5)) {
        case 0: integer(prefix, suffix, starWidth, starPrecision, width, precision); break;
        case 1: floating(prefix, suffix, starWidth, starPrecision, width, precision); break;
        case 2: wideText(prefix, suffix, starWidth, starPrecision, width, precision); break;
        case 3: byteText(prefix, suffix, starWidth, starPrecision, width, precision); break;
        case 4: character(prefix, suffix, starWidth, width); break;
        default: pointer(prefix, suffix); break;
        }
    }

private:
    int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
    bool chance(int percent) { return pick(0, 99) < percent; }

    std::wstring flags(const wchar_t *allowed)
    {
        std::wstring f;
        for (const wchar_t *p = allowed; *p; ++p) {
            if (chance(20)) {
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
        return chance(50) && width > 0 ? std::to_wstring(width) : L"";
    }
    std::wstring precisionText(bool star, int precision)
    {
        if (star) {
            return L".*";
        }
        return chance(40) && precision >= 0 ? L"." + std::to_wstring(precision) : L"";
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
        wchar_t conv = convs[pick(0, 5)];
        bool isSigned = conv == L'd' || conv == L'i';
        std::wstring f = flags(isSigned ? L"-+ 0" : L"-#0");
        static const wchar_t *sizes[] = {L"hh", L"h", L"", L"l", L"ll", L"j", L"z", L"t"};
        int s = pick(0, 7);
        std::wstring format = pre + L"%" + f + widthText(sw, w) + precisionText(sp, p) + sizes[s] + conv + post;
        long long v = 0;
        switch (pick(0, 3)) {
        case 0: v = 0; break;
        case 1: v = pick(-300, 300); break;
        case 2: v = static_cast<long long>(rng_()) - INT32_MAX; break;
        default: v = static_cast<long long>((static_cast<uint64_t>(rng_()) << 32) | rng_()); break;
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
        wchar_t conv = convs[pick(0, 5)];
        std::wstring f = flags(L"-+ #0");
        bool isLong = chance(30);
        std::wstring format = pre + L"%" + f + widthText(sw, w) + precisionText(sp, p) + (isLong ? L"L" : L"") + conv + post;
        double v = std::ldexp(static_cast<double>(pick(-100000, 100000)) / 7.0, pick(-30, 60));
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
                              (chance(50) ? L"ls" : L"S") + post;
        call(format, sw, sp, w, p, texts[pick(0, 4)]);
    }

    void byteText(const std::wstring &pre, const std::wstring &post, bool sw, bool sp, int w, int p)
    {
        static const char *texts[] = {"", "b", "byte text", "caf\xC3\xA9", "0123456789abcdef"};
        int t = pick(0, 4);
        // Width and precision count characters, also in the multi-byte text.
        std::wstring format = pre + L"%" + flags(L"-") + widthText(sw, w) + precisionText(sp, p) +
                              (chance(50) ? L"s" : L"hs") + post;
        call(format, sw, sp, w, p, texts[t]);
    }

    void character(const std::wstring &pre, const std::wstring &post, bool sw, int w)
    {
        if (chance(50)) {
            std::wstring format = pre + L"%" + flags(L"-") + widthText(sw, w) + L"lc" + post;
            call(format, sw, false, w, 0, static_cast<wint_t>(chance(50) ? L'\x263A' : L'q'));
        } else {
            std::wstring format = pre + L"%" + flags(L"-") + widthText(sw, w) + L"c" + post;
            call(format, sw, false, w, 0, pick(32, 126));
        }
    }

    void pointer(const std::wstring &pre, const std::wstring &post)
    {
        void *p = chance(20) ? nullptr : reinterpret_cast<void *>(static_cast<uintptr_t>(rng_()) << 12);
        std::wstring format = pre + L"%" + flags(L"-") + (chance(40) ? std::to_wstring(pick(1, 20)) : L"") + L"p" + post;
        expectSame(format, p);
    }

    std::mt19937 rng_;
};

class WideOutput : public ::testing::Test {
protected:
    void SetUp() override { saved_ = setlocale(LC_CTYPE, nullptr); setlocale(LC_CTYPE, "C.UTF-8"); }
    void TearDown() override { setlocale(LC_CTYPE, saved_.c_str()); }
    std::string saved_;
};

TEST_F(WideOutput, AgreesWithTheCLibraryOnGeneratedConversions)
{
    FormatGenerator gen(4242);
    for (int i = 0; i < 5000; ++i) {
        gen.runOne();
        if (HasFatalFailure()) {
            return;
        }
    }
}

TEST_F(WideOutput, OutputMustFitWithItsTerminatorOrTheDestinationIsEmptied)
{
    wchar_t buf[6];
    EXPECT_EQ(swprintf_s(buf, 6, L"%d", 12345), 5);
    EXPECT_STREQ(buf, L"12345");
    EXPECT_EQ(swprintf_s(buf, 6, L"%d", 123456), -1); // no room for the terminator
    EXPECT_STREQ(buf, L"");
    EXPECT_EQ(swprintf_s(buf, 6, L"%ls%ls", L"abc", L"def"), -1);
    EXPECT_STREQ(buf, L"");
    EXPECT_EQ(swprintf_s(buf, 6, L""), 0);
    EXPECT_STREQ(buf, L"");
    wcscpy(buf, L"old");
    EXPECT_EQ(swprintf_s(buf, 0, L"x"), -1); // no room at all: untouched
    EXPECT_STREQ(buf, L"old");
    EXPECT_EQ(swprintf_s(buf, 6, nullptr), -1);
    EXPECT_STREQ(buf, L"");
    wcscpy(buf, L"old");
    EXPECT_EQ(swprintf_s(buf, SIZE_MAX / 2, L"x"), -1); // a size beyond the limit: refused, emptied
    EXPECT_STREQ(buf, L"");
    EXPECT_EQ(swprintf_s(nullptr, 6, L"x"), -1);
}

TEST_F(WideOutput, ByteTextIsMeasuredInCharacters)
{
    wchar_t buf[32];
    // "caf\xC3\xA9" is four characters in five bytes; three two-byte characters cut to two.
    EXPECT_EQ(swprintf_s(buf, 32, L"[%6s|%-5.2s|%.3s]", "caf\xC3\xA9", "\xC3\xA9\xC3\xA9\xC3\xA9", "caf\xC3\xA9"), 18);
    EXPECT_STREQ(buf, L"[  caf\u00E9|\u00E9\u00E9   |caf]");
    // A precision-limited byte text is read no further than its characters' last byte
    // (AddressSanitizer guards the byte after this one, which has no terminator).
    char *bytes = new char[4];
    std::memcpy(bytes, "a\xC3\xA9z", 4);
    EXPECT_EQ(swprintf_s(buf, 32, L"%.3s|%.2s", bytes, bytes), 6);
    EXPECT_STREQ(buf, L"a\u00E9z|a\u00E9");
    delete[] bytes;
    // A sequence cut short by the terminator is no character.
    EXPECT_EQ(swprintf_s(buf, 32, L"%s", "ab\xC3"), -1);
    EXPECT_STREQ(buf, L"");
}

TEST_F(WideOutput, FormatErrorsAndTextsThatDoNotConvertFailTheCall)
{
    wchar_t buf[32];
    EXPECT_EQ(swprintf_s(buf, 32, L"%n", nullptr), -1);
    EXPECT_STREQ(buf, L"");
    EXPECT_EQ(swprintf_s(buf, 32, L"50%"), -1);
    EXPECT_EQ(swprintf_s(buf, 32, L"%s", "ok\xFF"), -1); // bytes that are no character
    EXPECT_STREQ(buf, L"");
    EXPECT_EQ(swprintf_s(buf, 32, L"[%c]", 0xFF), 2); // a lone byte that is no character: nothing
    EXPECT_STREQ(buf, L"[]");
    EXPECT_EQ(swprintf_s(buf, 32, L"%s|%ls", static_cast<char *>(nullptr), static_cast<wchar_t *>(nullptr)), 13);
    EXPECT_STREQ(buf, L"(null)|(null)");
    EXPECT_EQ(swprintf_s(buf, 32, L"%I64d|%Iq", 1LL << 40), 16);
    EXPECT_STREQ(buf, L"1099511627776|Iq");
}

}  // namespace
