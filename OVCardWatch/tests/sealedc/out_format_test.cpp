// snprintf_s / vsnprintf_s: argument refusals, the counted-mode cut against the bounded mode,
// and the format table (flags, width, precision, size modifiers, conversions, invalid cases).
#include <gtest/gtest.h>

#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <limits>
#include <string>

#include "SealedcTestSupport.h"
#include "sealedc.h"

// The engine accepts size letters and conversions the compiler's printf checker does not know.
#pragma GCC diagnostic ignored "-Wformat"
#pragma GCC diagnostic ignored "-Wformat-extra-args"
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
#pragma GCC diagnostic ignored "-Wformat-zero-length"

namespace {

constexpr size_t kAllOnes = static_cast<size_t>(-1);

// Formats into a large buffer with the all-ones count; "<-1>" stands for a failed call, after
// which the destination must be empty.
std::string F(const char *format, ...)
{
    static char buf[4096];
    std::memset(buf, '#', sizeof buf);
    va_list ap;
    va_start(ap, format);
    int r = vsnprintf_s(buf, sizeof buf, kAllOnes, format, ap);
    va_end(ap);
    if (r < 0) {
        EXPECT_EQ('\0', buf[0]) << format;
        return "<-1>";
    }
    EXPECT_EQ(static_cast<size_t>(r), std::strlen(buf)) << format;
    return std::string(buf, static_cast<size_t>(r));
}

TEST(SnprintfArgumentsTest, RefusalsInOrder)
{
    char buf[8];
    std::memset(buf, '#', sizeof buf);
    // destMax 0: nothing written at all.
    EXPECT_EQ(-1, snprintf_s(buf, 0, 4, "abc"));
    EXPECT_EQ('#', buf[0]);
    // destMax above the limit, NULL format, bad counts: -1 and an empty destination.
    EXPECT_EQ(-1, snprintf_s(buf, SEALEDC_MAX_LEN + 1, 4, "abc"));
    EXPECT_EQ('\0', buf[0]);
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(-1, snprintf_s(buf, 8, 4, nullptr));
    EXPECT_EQ('\0', buf[0]);
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(-1, snprintf_s(buf, 8, 0x7FFFFFFF, "abc"));
    EXPECT_EQ('\0', buf[0]);
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(-1, snprintf_s(buf, 8, kAllOnes - 1, "abc"));
    EXPECT_EQ('\0', buf[0]);
    EXPECT_EQ(-1, snprintf_s(nullptr, 8, 4, "abc"));
    // The largest count and the all-ones count are accepted.
    EXPECT_EQ(3, snprintf_s(buf, 8, 0x7FFFFFFE, "abc"));
    EXPECT_STREQ("abc", buf);
    EXPECT_EQ(3, snprintf_s(buf, 8, kAllOnes, "abc"));
    EXPECT_EQ(0, snprintf_s(buf, 8, kAllOnes, ""));
    EXPECT_STREQ("", buf);
}

TEST(SnprintfArgumentsTest, CountedModeCutsBoundedModeClears)
{
    char buf[8];
    std::memset(buf, '#', sizeof buf);
    // Counted mode (count below destMax): the output is cut to count characters, result -1.
    EXPECT_EQ(-1, snprintf_s(buf, 8, 7, "%s", "0123456789"));
    EXPECT_STREQ("0123456", buf);
    EXPECT_EQ(-1, snprintf_s(buf, 8, 3, "%d", 123456));
    EXPECT_STREQ("123", buf);
    EXPECT_EQ('5', buf[5]);  // beyond the cut nothing changed from the previous call
    EXPECT_EQ(-1, snprintf_s(buf, 8, 0, "x"));
    EXPECT_STREQ("", buf);
    // Output of exactly count characters fits.
    EXPECT_EQ(7, snprintf_s(buf, 8, 7, "%s", "0123456"));
    EXPECT_STREQ("0123456", buf);
    // Bounded mode (count of destMax or more): output that does not fit empties the buffer.
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(-1, snprintf_s(buf, 8, 8, "%s", "0123456789"));
    EXPECT_EQ('\0', buf[0]);
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(-1, snprintf_s(buf, 8, kAllOnes, "%s", "01234567"));  // no room for terminator
    EXPECT_EQ('\0', buf[0]);
    EXPECT_EQ('\0', buf[7]);
    EXPECT_EQ(7, snprintf_s(buf, 8, kAllOnes, "%s", "0123456"));
    // A format error clears the destination in both modes, even after output was written.
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(-1, snprintf_s(buf, 8, 7, "ab%n", nullptr));
    EXPECT_EQ('\0', buf[0]);
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(-1, snprintf_s(buf, 8, kAllOnes, "ab%"));
    EXPECT_EQ('\0', buf[0]);
    // A cut in the middle of a fill or a prefix.
    EXPECT_EQ(-1, snprintf_s(buf, 8, 5, "%10d", 7));
    EXPECT_STREQ("     ", buf);
    EXPECT_EQ(-1, snprintf_s(buf, 8, 1, "%#x", 255));
    EXPECT_STREQ("0", buf);
}

TEST(FormatTest, FlagsWidthPrecision)
{
    EXPECT_EQ("  007", F("%5.3d", 7));
    EXPECT_EQ("ff  ", F("%-4x", 255));
    EXPECT_EQ("010", F("%#o", 8));
    EXPECT_EQ("0", F("%#o", 0));
    EXPECT_EQ("0", F("%#.0o", 0));
    EXPECT_EQ("0", F("%#x", 0));
    EXPECT_EQ("0XFF", F("%#X", 255));
    EXPECT_EQ("+0", F("%+d", 0));
    EXPECT_EQ(" 5", F("% d", 5));
    EXPECT_EQ("+5", F("%+ d", 5));
    EXPECT_EQ("-0005", F("%05d", -5));
    EXPECT_EQ("-5   ", F("%-05d", -5));
    EXPECT_EQ("   -005", F("%07.3d", -5));  // a precision drops the lead zeros
    EXPECT_EQ("0x00ff", F("%#06x", 255));
    EXPECT_EQ("", F("%.0d", 0));
    EXPECT_EQ("   ", F("%3.0x", 0));
    EXPECT_EQ("    7", F("%*d", 5, 7));
    EXPECT_EQ("7    |", F("%*d|", -5, 7));  // a negative "*" width left-justifies
    EXPECT_EQ("007", F("%.*d", 3, 7));
    EXPECT_EQ("7", F("%.*d", -4, 7));  // a negative "*" precision counts as none
    EXPECT_EQ(std::string(34, ' ') + "7", F("%*5d", 3, 7));  // digits after "*" continue the width
    EXPECT_EQ("4294967295", F("%u", -1));
    EXPECT_EQ("-2147483648", F("%d", INT_MIN));
    EXPECT_EQ("37777777777", F("%o", -1));
}

TEST(FormatTest, SizeModifiers)
{
    EXPECT_EQ("44", F("%hhd", 300));
    EXPECT_EQ("-1", F("%hhd", 255));
    EXPECT_EQ("255", F("%hhu", -1));
    EXPECT_EQ("-1", F("%hd", 65535));
    EXPECT_EQ("65535", F("%hu", -1));
    EXPECT_EQ("-1", F("%ld", -1L));
    EXPECT_EQ("18446744073709551615", F("%lu", -1L));
    EXPECT_EQ("-9223372036854775808", F("%lld", LLONG_MIN));
    EXPECT_EQ("ffffffffffffffff", F("%llx", -1LL));
    EXPECT_EQ("1099511627776", F("%I64d", 1LL << 40));
    EXPECT_EQ("1099511627776", F("%Id", 1LL << 40));
    EXPECT_EQ("10000000000", F("%IX", 1LL << 40));
    EXPECT_EQ("-1", F("%I32d", -1));
    EXPECT_EQ("-1|7", F("%I64I32d|%d", -1, 7));  // I32 clears an earlier I64
    EXPECT_EQ("-1", F("%Ld", -1LL));
    EXPECT_EQ("-1", F("%qd", -1LL));
    EXPECT_EQ("-1", F("%jd", static_cast<intmax_t>(-1)));
    EXPECT_EQ("18446744073709551615", F("%zu", SIZE_MAX));
    EXPECT_EQ("-1", F("%td", static_cast<ptrdiff_t>(-1)));
    EXPECT_EQ("7", F("%Nd", 7));
    EXPECT_EQ("7", F("%Zd", 7));
    EXPECT_EQ("-1", F("%lhd", -1L));  // long wins over short
    // I followed by anything else is plain text and ends the conversion directive.
    EXPECT_EQ("Iq", F("%Iq"));
    EXPECT_EQ("Iq|7", F("%-5Iq|%d", 7));
    EXPECT_EQ("I", F("%I"));
}

TEST(FormatTest, TextAndCharacterConversions)
{
    EXPECT_EQ("(null)", F("%s", static_cast<char *>(nullptr)));
    EXPECT_EQ("(nu", F("%.3s", static_cast<char *>(nullptr)));
    EXPECT_EQ("ab", F("%.2s", "abc"));
    EXPECT_EQ("   ab", F("%05s", "ab"));  // lead-zero pads text with spaces
    EXPECT_EQ("ab   ", F("%-5s", "ab"));
    EXPECT_EQ("    x", F("%05c", 'x'));
    EXPECT_EQ("A", F("%c", 0x141));  // the low byte of the int
    EXPECT_EQ("wide", F("%ls", L"wide"));
    EXPECT_EQ("wide", F("%S", L"wide"));
    EXPECT_EQ("wide", F("%ws", L"wide"));
    EXPECT_EQ("narrow", F("%hS", "narrow"));
    EXPECT_EQ("(null)", F("%ls", static_cast<wchar_t *>(nullptr)));
    EXPECT_EQ("  wi", F("%4.2ls", L"wide"));
    EXPECT_EQ("W", F("%C", L'W'));
    EXPECT_EQ("W", F("%lc", L'W'));
    EXPECT_EQ("n", F("%hC", 'n'));
    // Bytes above 0x7F in the format and in texts pass unchanged (UTF-8 paths).
    EXPECT_EQ("/Volumes/Vélmora/é", F("/Volumes/V\xc3\xa9lmora/%s", "\xc3\xa9"));
}

TEST(FormatTest, PrecisionLimitedTextIsReadNoFurther)
{
    // Texts without a terminator, exactly as long as the precision (AddressSanitizer guards
    // the byte after them).
    char *bytes = new char[5];
    std::memcpy(bytes, "abcde", 5);
    EXPECT_EQ("abcde|abc", F("%.5s|%.*s", bytes, 3, bytes));
    EXPECT_EQ("  abcde", F("%7.5s", bytes));
    delete[] bytes;
    wchar_t *wide = new wchar_t[4];
    std::wmemcpy(wide, L"wxyz", 4);
    EXPECT_EQ("wxyz|wx", F("%.4ls|%.2S", wide, wide));
    delete[] wide;
}

TEST(FormatTest, WideCharactersThatDoNotConvert)
{
    // In the C locale a wide character above 0x7F has no multibyte form.
    sealedctest::LocaleScope plain("C");
    // c: the conversion writes nothing, not even its fill, and the call goes on.
    EXPECT_EQ("[]ok", F("[%5lc]ok", static_cast<wint_t>(0x263A)));
    // s: the whole call fails.
    EXPECT_EQ("<-1>", F("ab%ls", L"x\u263Ay"));
    sealedctest::LocaleScope utf8("C.UTF-8");
    if (utf8.Active()) {
        EXPECT_EQ("[\xe2\x98\xba]", F("[%lc]", static_cast<wint_t>(0x263A)));
        EXPECT_EQ("x\xe2\x98\xbay", F("%ls", L"x\u263Ay"));
    }
}

TEST(FormatTest, Pointers)
{
    EXPECT_EQ("(nil)", F("%p", nullptr));
    EXPECT_EQ("     (nil)", F("%010p", nullptr));  // lead-zero dropped for the nil text
    EXPECT_EQ("(nil)     ", F("%-10p", nullptr));
    void *p = reinterpret_cast<void *>(0x1234abcdULL);
    EXPECT_EQ("0x1234abcd", F("%p", p));
    EXPECT_EQ("0x1234abcd", F("%.20p", p));  // a given precision is ignored
    EXPECT_EQ("0x001234abcd", F("%012p", p));
    EXPECT_EQ("  0x1234abcd", F("%12p", p));
}

TEST(FormatTest, InvalidDirectives)
{
    int n = 0;
    EXPECT_EQ("<-1>", F("%n", &n));
    EXPECT_EQ("<-1>", F("%a", 1.0));
    EXPECT_EQ("<-1>", F("%A", 1.0));
    EXPECT_EQ("<-1>", F("%b", 1));
    EXPECT_EQ("<-1>", F("%k", 1));
    EXPECT_EQ("<-1>", F("%5%"));  // a percent sign inside a directive
    EXPECT_EQ("<-1>", F("%-**d", 1, 2, 3));
    EXPECT_EQ("<-1>", F("%5*d", 1, 2));
    EXPECT_EQ("<-1>", F("%..3d", 1));
    EXPECT_EQ("<-1>", F("%.-3d", 1));
    EXPECT_EQ("<-1>", F("%.3-d", 1));
    EXPECT_EQ("<-1>", F("%h5d", 1));
    EXPECT_EQ("<-1>", F("%\xc3\xa9", 1));
    // A format that ends inside a directive.
    EXPECT_EQ("<-1>", F("abc%"));
    EXPECT_EQ("<-1>", F("abc%-5"));
    EXPECT_EQ("<-1>", F("%.3"));
    EXPECT_EQ("<-1>", F("%l"));
    EXPECT_EQ("%", F("%%"));
    EXPECT_EQ("100%", F("%d%%", 100));
}

TEST(FormatTest, WidthAndPrecisionLimits)
{
    // Accumulation stops with -1 when the value so far is above 21474836.
    EXPECT_EQ("<-1>", F("%214748370d", 1));
    EXPECT_EQ("<-1>", F("%.214748370d", 1));
    EXPECT_EQ("<-1>", F("%*0d", 21474837, 1));
    // 21474836 itself may still take a digit (the output then overflows the buffer).
    EXPECT_EQ("<-1>", F("%214748369d", 1));
    char small[8];
    EXPECT_EQ(-1, snprintf_s(small, sizeof small, kAllOnes, "%.214748369d", 1));
    // Precision 600 is capped at 512.
    std::string capped = F("%.600d", 1);
    EXPECT_EQ(512u, capped.size());
    EXPECT_EQ(std::string(511, '0') + "1", capped);
    EXPECT_EQ(std::string(509, '0') + "777", F("%.600o", 511));
    EXPECT_EQ("0x" + std::string(510, '0') + "ff", F("%#.513x", 255));
    // Force-octal adds no "0" to a text that the precision already starts with one.
    EXPECT_EQ(std::string(501, '0') + "10000000000", F("%#.999o", 1 << 30));
}

TEST(FormatTest, FloatingConversionsAreTheirOwnText)
{
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const double kNan = std::numeric_limits<double>::quiet_NaN();
    char ref[1024];
    struct Case {
        const char *fmt;
        double v;
    } cases[] = {
        {"%f", 1.5},       {"%e", -12345.678}, {"%E", 1e-300},   {"%g", 0.0001},
        {"%G", 1e20},      {"%F", 3.25},       {"%.0f", 2.5},    {"%#.0f", 2.0},
        {"%+10.3f", 3.14159}, {"%-10.2e|", 9.99}, {"%010.2f", -1.5}, {"% g", 7.0},
        {"%.0g", 123.0},   {"%#g", 1.0},       {"%.15g", 0.1},    {"%f", 1e308},
        {"%30.20e", -0.0}, {"%g", kInf},       {"%5.1f", -kInf},  {"%f", kNan},
    };
    for (const Case &c : cases) {
        std::snprintf(ref, sizeof ref, c.fmt, c.v);
        EXPECT_EQ(std::string(ref), F(c.fmt, c.v)) << c.fmt;
    }
    std::snprintf(ref, sizeof ref, "%-*.*f|", 12, 3, 2.0);
    EXPECT_EQ(std::string(ref), F("%*.*f|", -12, 3, 2.0));
    // Texts of 512 characters or more go through a heap buffer.
    std::snprintf(ref, sizeof ref, "%.600f", 1.0 / 3.0);
    EXPECT_EQ(std::string(ref), F("%.600f", 1.0 / 3.0));
    std::snprintf(ref, sizeof ref, "%700.2f", 5.0);
    EXPECT_EQ(std::string(ref), F("%700.2f", 5.0));
    // Long double through L and q.
    std::snprintf(ref, sizeof ref, "%.20Lf", 1.0L / 3.0L);
    EXPECT_EQ(std::string(ref), F("%.20Lf", 1.0L / 3.0L));
    EXPECT_EQ(std::string(ref), F("%.20qf", 1.0L / 3.0L));
    // A precision whose text size would pass 0x7FFFFFFF produces nothing; the parse goes on.
    EXPECT_EQ("[]7", F("[%.*f]%d", 0x7FFFFEA3, 1.0, 7));
    EXPECT_EQ("[]7", F("[%.*Lf]%d", 2147478676, 1.0L, 7));
}

TEST(FormatTest, FloatingDirectiveBuiltFromWhatWasParsed)
{
    // The engine's own size letters never reach the platform's formatter: each of these is a
    // double formatted as "%f" would format it, and the next argument is still in place.
    EXPECT_EQ("2.500000|7", F("%llf|%d", 2.5, 7));
    EXPECT_EQ("2.500000|7", F("%lf|%d", 2.5, 7));
    EXPECT_EQ("2.500000|7", F("%I64f|%d", 2.5, 7));
    EXPECT_EQ("2.500000|7", F("%I32f|%d", 2.5, 7));
    EXPECT_EQ("2.500000|7", F("%wf|%d", 2.5, 7));
    EXPECT_EQ("2.500000|7", F("%Nf|%d", 2.5, 7));
    EXPECT_EQ("2.500000|7", F("%hf|%d", 2.5, 7));
    EXPECT_EQ("2.500000|7", F("%jf|%d", 2.5, 7));
    EXPECT_EQ("   +2.50e+00|7", F("%+12.2I64e|%d", 2.5, 7));
    EXPECT_EQ("+2.50|7", F("%+.2I64f|%d", 2.5, 7));
    EXPECT_EQ("0002.5|7", F("%06.1I64f|%d", 2.5, 7));
    // Long directives (more than 15 characters in the format) are no different.
    EXPECT_EQ("+2.500    ", F("%+-+-+-+- 010.3f", 2.5));
    EXPECT_EQ("+2.500    |7", F("%+-+-+-+-010.3Lf|%d", 2.5L, 7));
}

}  // namespace
