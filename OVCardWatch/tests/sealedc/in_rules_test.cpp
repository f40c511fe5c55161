// The checked scanner's own rules: sizes after text destinations, what a failure returns and
// leaves behind, the sources, and the decisions on numbers and the floating text.
#include <gtest/gtest.h>

#include "SealedcTestSupport.h"
#include "sealedc.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <unistd.h>

namespace {

TEST(InputTextRulesTest, TextThatDoesNotFitEmptiesItsDestinationAndEndsTheScan)
{
    int before = 0;
    char small[8] = "zzzzzzz"; // room for four
    int after = 77;
    EXPECT_EQ(-2, sscanf_s("5 toolong 9", "%d %s %d", &before, small, 4u, &after));
    EXPECT_EQ(5, before);      // assigned before the overflow: stays assigned
    EXPECT_EQ('\0', small[0]); // emptied, not overrun
    EXPECT_STREQ("oozzzz", small + 1);
    EXPECT_EQ(77, after);      // the scan ended

    char exact[4];
    EXPECT_EQ(1, sscanf_s("abc", "%s", exact, 4u)); // three characters and the terminator fit
    EXPECT_STREQ("abc", exact);

    char set[3] = "zz";
    EXPECT_EQ(-2, sscanf_s("aaa", "%[a]", set, 3u));
    EXPECT_EQ('\0', set[0]);

    // c keeps no place for a terminator: three characters fit in three bytes, four do not.
    char three[3];
    EXPECT_EQ(1, sscanf_s("abc", "%3c", three, 3u));
    EXPECT_EQ(0, memcmp(three, "abc", 3));
    char two[2] = {'q', 'q'};
    EXPECT_EQ(-2, sscanf_s("abc", "%3c", two, 2u));
    EXPECT_EQ('\0', two[0]);
    EXPECT_EQ('b', two[1]); // filled up to the overflow, then emptied at its first character
}

TEST(InputTextRulesTest, SizeArgumentIsCheckedBeforeAnythingIsWritten)
{
    char buf[4] = "zzz";
    EXPECT_EQ(-2, sscanf_s("a", "%s", buf, 0u)); // size 0: refused, nothing written
    EXPECT_STREQ("zzz", buf);
    EXPECT_EQ(-2, sscanf_s("a", "%c", buf, 0u));
    EXPECT_STREQ("zzz", buf);
    EXPECT_EQ(-2, sscanf_s("a", "%s", buf, 0x80000000u));
    EXPECT_STREQ("zzz", buf);

    wchar_t wbuf[4] = L"zzz";
    EXPECT_EQ(-2, sscanf_s("a", "%ls", wbuf, 0x20000000u)); // wide sizes stay below 0x20000000
    EXPECT_EQ(L'z', wbuf[0]);
    EXPECT_EQ(1, sscanf_s("a", "%ls", wbuf, 4u));
    EXPECT_STREQ(L"a", wbuf);
}

TEST(InputFormatRulesTest, CallerErrorsEndTheScanWithMinusTwo)
{
    int a = 0;
    int b = 0;
    EXPECT_EQ(-2, sscanf_s("12 34", "%d %0d", &a, &b)); // width written as 0
    EXPECT_EQ(12, a);
    EXPECT_EQ(0, b);
    EXPECT_EQ(-2, sscanf_s("12 34", "%d %d", &a, static_cast<int *>(nullptr))); // NULL destination
    EXPECT_EQ(-2, sscanf_s("12", "%y", &a));     // no such conversion
    EXPECT_EQ(-2, sscanf_s("12", "%a", &a));
    EXPECT_EQ(-2, sscanf_s("12", "%", &a));      // format ends inside a directive
    EXPECT_EQ(-2, sscanf_s("12", "%5l", &a));
    char buf[8];
    EXPECT_EQ(-2, sscanf_s("ab", "%[ab", buf, 8u)); // scan set without its closing bracket
    EXPECT_EQ(-2, sscanf_s("12", "%Iq", &a));       // I must be followed by 64, 32 or the conversion
}

TEST(InputFormatRulesTest, ResultsForInputThatEndsOrDiffers)
{
    int a = -5;
    int b = -5;
    EXPECT_EQ(-1, sscanf_s("", "%d", &a));
    EXPECT_EQ(-1, sscanf_s("   ", "%d", &a));
    EXPECT_EQ(0, sscanf_s("x", "%d", &a));
    EXPECT_EQ(0, sscanf_s("-", "%d", &a)); // a sign is a character of the item: a mismatch
    EXPECT_EQ(1, sscanf_s("7", "%d %d", &a, &b));
    EXPECT_EQ(-1, sscanf_s("7", "%*d %d", &b)); // nothing assigned when the input ended
    EXPECT_EQ(1, sscanf_s("7;", "%d,%d", &a, &b));
    EXPECT_EQ(7, a);
    EXPECT_EQ(-5, b);
}

TEST(InputFormatRulesTest, CountConversionStoresCharactersUsedAndIsNotCounted)
{
    int a = 0;
    int n1 = -1;
    long long n2 = -1;
    signed char n3 = -1;
    EXPECT_EQ(1, sscanf_s("  42abc", "%d%n%*3c%lln", &a, &n1, &n2));
    EXPECT_EQ(4, n1);
    EXPECT_EQ(7, n2);
    EXPECT_EQ(0, sscanf_s("xy", "x%hhn", &n3));
    EXPECT_EQ(1, n3);
}

TEST(InputFormatRulesTest, SizeModifiersChooseTheStoredWidth)
{
    union {
        uint64_t all;
        unsigned char b[8];
    } u;
    u.all = UINT64_MAX;
    EXPECT_EQ(1, sscanf_s("300", "%hhd", &u.b[0]));
    EXPECT_EQ(44, u.b[0]);
    EXPECT_EQ(0xFF, u.b[1]); // only one byte written

    long long big = 0;
    EXPECT_EQ(1, sscanf_s("123456789012", "%I64d", &big));
    EXPECT_EQ(123456789012LL, big);
    big = 0;
    EXPECT_EQ(1, sscanf_s("-123456789012", "%Id", &big));
    EXPECT_EQ(-123456789012LL, big);
    u.all = UINT64_MAX;
    EXPECT_EQ(1, sscanf_s("ff", "%I32x", &u.all));
    EXPECT_EQ(0xFFu, u.all & 0xFFFFFFFFu);
    EXPECT_EQ(0xFFFFFFFFu, u.all >> 32);
    short h = 0;
    EXPECT_EQ(1, sscanf_s("70000", "%hu", &h));
    EXPECT_EQ(70000 % 65536, static_cast<unsigned short>(h));
    int plain = 0;
    EXPECT_EQ(1, sscanf_s("17", "%FNd", &plain)); // F and N mean nothing
    EXPECT_EQ(17, plain);
    unsigned upper = 0;
    EXPECT_EQ(1, sscanf_s("1F", "%X", &upper));
    EXPECT_EQ(0x1Fu, upper);
    EXPECT_EQ(1, sscanf_s("21", "%D", &plain)); // conversions ignore case
    EXPECT_EQ(21, plain);
}

TEST(InputNumberRulesTest, OverflowSaturatesInSixtyFourBitsThenCuts)
{
    long long s = 0;
    unsigned long long u = 0;
    EXPECT_EQ(1, sscanf_s("99999999999999999999", "%lld", &s));
    EXPECT_EQ(LLONG_MAX, s);
    EXPECT_EQ(1, sscanf_s("-99999999999999999999", "%lld", &s));
    EXPECT_EQ(LLONG_MIN, s);
    EXPECT_EQ(1, sscanf_s("-9223372036854775808", "%lld", &s));
    EXPECT_EQ(LLONG_MIN, s);
    EXPECT_EQ(1, sscanf_s("99999999999999999999", "%llu", &u));
    EXPECT_EQ(ULLONG_MAX, u);
    EXPECT_EQ(1, sscanf_s("-1", "%llu", &u));
    EXPECT_EQ(ULLONG_MAX, u);
    int i = 0;
    EXPECT_EQ(1, sscanf_s("4294967297", "%d", &i)); // fits 64 bits: cut to 32
    EXPECT_EQ(1, i);
}

TEST(InputNumberRulesTest, BasesPrefixesAndPointers)
{
    int v = 0;
    EXPECT_EQ(1, sscanf_s("0x1f", "%i", &v));
    EXPECT_EQ(31, v);
    EXPECT_EQ(1, sscanf_s("017", "%i", &v));
    EXPECT_EQ(15, v);
    EXPECT_EQ(1, sscanf_s("-12", "%i", &v));
    EXPECT_EQ(-12, v);
    unsigned x = 9;
    char rest[4];
    EXPECT_EQ(2, sscanf_s("0xg", "%x%s", &x, rest, 4u)); // "0x" alone reads as 0
    EXPECT_EQ(0u, x);
    EXPECT_STREQ("g", rest);
    EXPECT_EQ(2, sscanf_s("1234", "%2d%d", &v, &x)); // width counts digits
    EXPECT_EQ(12, v);
    EXPECT_EQ(34u, x);

    void *p = nullptr;
    EXPECT_EQ(1, sscanf_s("0x7ffe12345678", "%p", &p));
    EXPECT_EQ(0x7ffe12345678u, reinterpret_cast<uintptr_t>(p));
    EXPECT_EQ(1, sscanf_s("DEADbeef", "%p", &p));
    EXPECT_EQ(0xDEADBEEFu, reinterpret_cast<uintptr_t>(p));
    EXPECT_EQ(0, sscanf_s("(nil)", "%p", &p));
}

TEST(InputFloatRulesTest, FloatingTextGrowsPastItsLocalAreaAndConvertsExactly)
{
    // 400 digits after the point and an exponent: the text outgrows 350 characters (twice).
    std::string text = "0." + std::string(799, '0') + "12345e802";
    double d = 0;
    EXPECT_EQ(1, sscanf_s(text.c_str(), "%lf", &d));
    EXPECT_DOUBLE_EQ(d, 123.45);
    std::string digits = std::string(360, '9');
    long double ld = 0;
    EXPECT_EQ(1, sscanf_s(digits.c_str(), "%Lg", &ld));
    EXPECT_EQ(strtold(digits.c_str(), nullptr), ld);
    float f = 0;
    EXPECT_EQ(1, sscanf_s("-2.5E-1x", "%f", &f));
    EXPECT_EQ(-0.25f, f);
    EXPECT_EQ(1, sscanf_s("123456", "%3lf", &d));
    EXPECT_EQ(123.0, d);
    EXPECT_EQ(0, sscanf_s(".", "%lf", &d));
    EXPECT_EQ(0, sscanf_s("inf", "%lf", &d));
}

TEST(InputScanSetsTest, RangesCaretsAndLeadingBracket)
{
    char out[16];
    EXPECT_EQ(1, sscanf_s("]a]b-c", "%[]a-]", out, 16u));
    EXPECT_STREQ("]a]", out);
    EXPECT_EQ(1, sscanf_s("hello world", "%[^ ]", out, 16u));
    EXPECT_STREQ("hello", out);
    EXPECT_EQ(1, sscanf_s("x]y", "%[^]]", out, 16u));
    EXPECT_STREQ("x", out);
    EXPECT_EQ(1, sscanf_s("c0-9a", "%[a-c0-9-]", out, 16u));
    EXPECT_STREQ("c0-9a", out);
    EXPECT_EQ(0, sscanf_s("zz", "%[a-c]", out, 16u));
    EXPECT_EQ(1, sscanf_s("\xe9\xff", "%[\xe0-\xff]", out, 16u)); // bytes above 127 are members too
    EXPECT_STREQ("\xe9\xff", out);
}

TEST(InputEntryPointsTest, RefusedOrEmptyScansLeaveTheFirstTextDestinationEmpty)
{
    int a = 3;
    char first[8] = "old";
    char second[8] = "old";
    EXPECT_EQ(-1, sscanf_s(nullptr, "%d%s%s", &a, first, 8u, second, 8u));
    EXPECT_STREQ("", first);
    EXPECT_STREQ("old", second);
    strcpy(first, "old");
    EXPECT_EQ(-1, sscanf_s("", "%*s%c", first, 8u));
    EXPECT_STREQ("", first);
    EXPECT_EQ(-1, sscanf_s("x", nullptr));
    EXPECT_EQ(-1, fscanf_s(nullptr, "%d", &a));
    wchar_t wfirst[4] = L"old";
    EXPECT_EQ(-1, swscanf_s(nullptr, L"%ls", wfirst, 4u));
    EXPECT_EQ(L'\0', wfirst[0]);
}

// ---- file sources ---------------------------------------------------------------------

class FileSourceTest : public ::testing::Test {
protected:
    void SetUp() override { file_ = tmpfile(); ASSERT_NE(file_, nullptr); }
    void TearDown() override { fclose(file_); }
    void write(const std::string &bytes)
    {
        ASSERT_EQ(bytes.size(), fwrite(bytes.data(), 1, bytes.size(), file_));
        rewind(file_);
    }
    FILE *file_ = nullptr;
};

TEST_F(FileSourceTest, LeavesTheFileJustAfterTheLastCharacterUsedAcrossBlocks)
{
    // The second number straddles the first 1024-byte block's end.
    std::string text = std::string(1020, ' ') + "123456 789 tail";
    write(text);
    int a = 0;
    int b = 0;
    EXPECT_EQ(2, fscanf_s(file_, "%d%d", &a, &b));
    EXPECT_EQ(123456, a);
    EXPECT_EQ(789, b);
    EXPECT_EQ(static_cast<long>(text.size() - 5), ftell(file_));
    char rest[8];
    EXPECT_EQ(1, fscanf_s(file_, "%s", rest, 8u)); // a second scan goes on from there
    EXPECT_STREQ("tail", rest);
    EXPECT_EQ(-1, fscanf_s(file_, "%s", rest, 8u));
}

TEST_F(FileSourceTest, StopsBeforeTheCharacterThatDidNotMatch)
{
    write("12,34;56");
    int a = 0;
    int b = 0;
    EXPECT_EQ(2, fscanf_s(file_, "%d,%d,", &a, &b));
    EXPECT_EQ(5, ftell(file_)); // the ";" was given back
    EXPECT_EQ(';', fgetc(file_));
}

TEST_F(FileSourceTest, SkipsAByteOrderMarkAtTheStartAndCountsIt)
{
    write("\xEF\xBB\xBF" "42 rest");
    int a = 0;
    EXPECT_EQ(1, fscanf_s(file_, "%d", &a));
    EXPECT_EQ(42, a);
    EXPECT_EQ(5, ftell(file_)); // three mark bytes and two digits
    char rest[8];
    EXPECT_EQ(1, fscanf_s(file_, "%s", rest, 8u));
    EXPECT_STREQ("rest", rest);
}

TEST_F(FileSourceTest, KeepsMarkBytesThatAreNotAtTheStartOfTheFile)
{
    // The same bytes at the start of a later scan (and of a later block) are data.
    std::string text = "1 " + std::string("\xEF\xBB\xBF") + "x" + std::string(1020, ' ') + "\xEF\xBB\xBF" "y";
    write(text);
    int a = 0;
    EXPECT_EQ(1, fscanf_s(file_, "%d ", &a));
    char mark[8];
    EXPECT_EQ(1, fscanf_s(file_, "%s", mark, 8u));
    EXPECT_STREQ("\xEF\xBB\xBF" "x", mark);
    EXPECT_EQ(1, fscanf_s(file_, "%s", mark, 8u));
    EXPECT_STREQ("\xEF\xBB\xBF" "y", mark);
}

TEST_F(FileSourceTest, WideFileOfWideUnitsWithItsMark)
{
    std::wstring text = L"\xFEFF" L"31 w\x263A";
    ASSERT_EQ(text.size(), fwrite(text.data(), sizeof(wchar_t), text.size(), file_));
    rewind(file_);
    int a = 0;
    EXPECT_EQ(1, fwscanf_s(file_, L"%d", &a));
    EXPECT_EQ(31, a);
    EXPECT_EQ(static_cast<long>(3 * sizeof(wchar_t)), ftell(file_));
    wchar_t word[4];
    EXPECT_EQ(1, fwscanf_s(file_, L"%ls", word, 4u));
    EXPECT_STREQ(L"w\x263A", word);
}

TEST(CharacterSourcesTest, PipeAndStandardInputGiveBackThePushedCharacter)
{
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    ASSERT_EQ(7, ::write(fds[1], "77 next", 7));
    close(fds[1]);
    FILE *in = fdopen(fds[0], "r");
    ASSERT_NE(in, nullptr);
    int a = 0;
    EXPECT_EQ(1, fscanf_s(in, "%d", &a)); // a pipe cannot be positioned: read one at a time
    EXPECT_EQ(77, a);
    EXPECT_EQ(' ', fgetc(in));
    fclose(in);

    char data[] = "5x";
    FILE *fake = fmemopen(data, 2, "r");
    ASSERT_NE(fake, nullptr);
    FILE *saved = stdin;
    stdin = fake;
    int v = 0;
    int r = scanf_s("%d", &v);
    int next = fgetc(stdin);
    stdin = saved;
    fclose(fake);
    EXPECT_EQ(1, r);
    EXPECT_EQ(5, v);
    EXPECT_EQ('x', next);
}

// ---- wide characters ------------------------------------------------------------------

class WideTextTest : public sealedctest::Utf8LocaleTest {};

TEST_F(WideTextTest, ByteScannerConvertsMultiByteTextIntoWideDestinations)
{
    wchar_t w[8];
    EXPECT_EQ(1, sscanf_s("h\xC3\xA9llo", "%ls", w, 8u));
    EXPECT_STREQ(L"h\u00E9llo", w);
    EXPECT_EQ(1, sscanf_s("a\xFF" "b", "%S", w, 8u)); // S without h is wide; a bad byte is "?"
    EXPECT_STREQ(L"a?b", w);
    // A byte that breaks a sequence is read again on its own: here the delimiter, and a
    // character that starts right after a lone lead byte.
    wchar_t w2[8];
    EXPECT_EQ(2, sscanf_s("a\xC3 b\xC3\xC3\xA9", "%ls %ls", w, 8u, w2, 8u));
    EXPECT_STREQ(L"a?", w);
    EXPECT_STREQ(L"b?\u00E9", w2);
    wchar_t one = 0;
    EXPECT_EQ(1, sscanf_s("\xE2\x98\xBA", "%lc", &one, 1u)); // one multi-byte character
    EXPECT_EQ(L'\x263A', one);
    char narrow[4];
    EXPECT_EQ(1, sscanf_s("ab", "%hS", narrow, 4u));
    EXPECT_STREQ("ab", narrow);
}

TEST_F(WideTextTest, WideScannerStoresBytesOrWideCharacters)
{
    char bytes[8];
    wchar_t wide[8];
    int n = 0;
    EXPECT_EQ(3, swscanf_s(L"\u00E9t\u00E9 12 \x263Ax", L"%s %d %ls", bytes, 8u, &n, wide, 8u));
    EXPECT_STREQ("\xC3\xA9t\xC3\xA9", bytes);
    EXPECT_EQ(12, n);
    EXPECT_STREQ(L"\x263Ax", wide);
    char tight[4] = "zz";
    EXPECT_EQ(-2, swscanf_s(L"\u00E9\u00E9", L"%s", tight, 4u)); // four bytes do not fit in three
    EXPECT_EQ('\0', tight[0]);
    EXPECT_EQ(1, swscanf_s(L"\x263A\x263B-", L"%l[\x2600-\x26FF]", wide, 8u)); // set above 255
    EXPECT_STREQ(L"\x263A\x263B", wide);
    EXPECT_EQ(1, swscanf_s(L"ab\x263A", L"%l[^\x263A]", wide, 8u));
    EXPECT_STREQ(L"ab", wide);
}

}  // namespace
