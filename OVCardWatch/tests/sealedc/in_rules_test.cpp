// The checked scanner's own rules: sizes after text destinations, what a failure returns and
// leaves behind, the sources, and the decisions on numbers and the floating text.
#include <gtest/gtest.h>

#include "sealedc.h"

#include <cfloat>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <unistd.h>

namespace {

TEST(InputTextRules, TextThatDoesNotFitEmptiesItsDestinationAndEndsTheScan)
{
    int before = 0;
    char small[8] = "zzzzzzz"; // room for four
    int after = 77;
    EXPECT_EQ(sscanf_s("5 toolong 9", "%d %s %d", &before, small, 4u, &after), -2);
    EXPECT_EQ(before, 5);      // assigned before the overflow: stays assigned
    EXPECT_EQ(small[0], '\0'); // emptied, not overrun
    EXPECT_STREQ(small + 1, "oozzzz");
    EXPECT_EQ(after, 77);      // the scan ended

    char exact[4];
    EXPECT_EQ(sscanf_s("abc", "%s", exact, 4u), 1); // three characters and the terminator fit
    EXPECT_STREQ(exact, "abc");

    char set[3] = "zz";
    EXPECT_EQ(sscanf_s("aaa", "%[a]", set, 3u), -2);
    EXPECT_EQ(set[0], '\0');

    // c keeps no place for a terminator: three characters fit in three bytes, four do not.
    char three[3];
    EXPECT_EQ(sscanf_s("abc", "%3c", three, 3u), 1);
    EXPECT_EQ(memcmp(three, "abc", 3), 0);
    char two[2] = {'q', 'q'};
    EXPECT_EQ(sscanf_s("abc", "%3c", two, 2u), -2);
    EXPECT_EQ(two[0], '\0');
    EXPECT_EQ(two[1], 'b'); // filled up to the overflow, then emptied at its first character
}

TEST(InputTextRules, SizeArgumentIsCheckedBeforeAnythingIsWritten)
{
    char buf[4] = "zzz";
    EXPECT_EQ(sscanf_s("a", "%s", buf, 0u), -2); // size 0: refused, nothing written
    EXPECT_STREQ(buf, "zzz");
    EXPECT_EQ(sscanf_s("a", "%c", buf, 0u), -2);
    EXPECT_STREQ(buf, "zzz");
    EXPECT_EQ(sscanf_s("a", "%s", buf, 0x80000000u), -2);
    EXPECT_STREQ(buf, "zzz");

    wchar_t wbuf[4] = L"zzz";
    EXPECT_EQ(sscanf_s("a", "%ls", wbuf, 0x20000000u), -2); // wide sizes stay below 0x20000000
    EXPECT_EQ(wbuf[0], L'z');
    EXPECT_EQ(sscanf_s("a", "%ls", wbuf, 4u), 1);
    EXPECT_STREQ(wbuf, L"a");
}

TEST(InputFormatRules, CallerErrorsEndTheScanWithMinusTwo)
{
    int a = 0;
    int b = 0;
    EXPECT_EQ(sscanf_s("12 34", "%d %0d", &a, &b), -2); // width written as 0
    EXPECT_EQ(a, 12);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(sscanf_s("12 34", "%d %d", &a, static_cast<int *>(nullptr)), -2); // NULL destination
    EXPECT_EQ(sscanf_s("12", "%y", &a), -2);     // no such conversion
    EXPECT_EQ(sscanf_s("12", "%a", &a), -2);
    EXPECT_EQ(sscanf_s("12", "%", &a), -2);      // format ends inside a specification
    EXPECT_EQ(sscanf_s("12", "%5l", &a), -2);
    char buf[8];
    EXPECT_EQ(sscanf_s("ab", "%[ab", buf, 8u), -2); // scan set without its closing bracket
    EXPECT_EQ(sscanf_s("12", "%Iq", &a), -2);       // I must be followed by 64, 32 or the conversion
}

TEST(InputFormatRules, ResultsForInputThatEndsOrDiffers)
{
    int a = -5;
    int b = -5;
    EXPECT_EQ(sscanf_s("", "%d", &a), -1);
    EXPECT_EQ(sscanf_s("   ", "%d", &a), -1);
    EXPECT_EQ(sscanf_s("x", "%d", &a), 0);
    EXPECT_EQ(sscanf_s("-", "%d", &a), 0); // a sign is a character of the item: a mismatch
    EXPECT_EQ(sscanf_s("7", "%d %d", &a, &b), 1);
    EXPECT_EQ(sscanf_s("7", "%*d %d", &b), -1); // nothing assigned when the input ended
    EXPECT_EQ(sscanf_s("7;", "%d,%d", &a, &b), 1);
    EXPECT_EQ(a, 7);
    EXPECT_EQ(b, -5);
}

TEST(InputFormatRules, CountConversionStoresCharactersUsedAndIsNotCounted)
{
    int a = 0;
    int n1 = -1;
    long long n2 = -1;
    signed char n3 = -1;
    EXPECT_EQ(sscanf_s("  42abc", "%d%n%*3c%lln", &a, &n1, &n2), 1);
    EXPECT_EQ(n1, 4);
    EXPECT_EQ(n2, 7);
    EXPECT_EQ(sscanf_s("xy", "x%hhn", &n3), 0);
    EXPECT_EQ(n3, 1);
}

TEST(InputFormatRules, SizeModifiersChooseTheStoredWidth)
{
    union {
        uint64_t all;
        unsigned char b[8];
    } u;
    u.all = UINT64_MAX;
    EXPECT_EQ(sscanf_s("300", "%hhd", &u.b[0]), 1);
    EXPECT_EQ(u.b[0], 44);
    EXPECT_EQ(u.b[1], 0xFF); // only one byte written

    long long big = 0;
    EXPECT_EQ(sscanf_s("123456789012", "%I64d", &big), 1);
    EXPECT_EQ(big, 123456789012LL);
    big = 0;
    EXPECT_EQ(sscanf_s("-123456789012", "%Id", &big), 1);
    EXPECT_EQ(big, -123456789012LL);
    u.all = UINT64_MAX;
    EXPECT_EQ(sscanf_s("ff", "%I32x", &u.all), 1);
    EXPECT_EQ(u.all & 0xFFFFFFFFu, 0xFFu);
    EXPECT_EQ(u.all >> 32, 0xFFFFFFFFu);
    short h = 0;
    EXPECT_EQ(sscanf_s("70000", "%hu", &h), 1);
    EXPECT_EQ(static_cast<unsigned short>(h), 70000 % 65536);
    int plain = 0;
    EXPECT_EQ(sscanf_s("17", "%FNd", &plain), 1); // F and N mean nothing
    EXPECT_EQ(plain, 17);
    unsigned upper = 0;
    EXPECT_EQ(sscanf_s("1F", "%X", &upper), 1);
    EXPECT_EQ(upper, 0x1Fu);
    EXPECT_EQ(sscanf_s("21", "%D", &plain), 1); // conversions ignore case
    EXPECT_EQ(plain, 21);
}

TEST(InputNumberRules, OverflowSaturatesInSixtyFourBitsThenCuts)
{
    long long s = 0;
    unsigned long long u = 0;
    EXPECT_EQ(sscanf_s("99999999999999999999", "%lld", &s), 1);
    EXPECT_EQ(s, LLONG_MAX);
    EXPECT_EQ(sscanf_s("-99999999999999999999", "%lld", &s), 1);
    EXPECT_EQ(s, LLONG_MIN);
    EXPECT_EQ(sscanf_s("-9223372036854775808", "%lld", &s), 1);
    EXPECT_EQ(s, LLONG_MIN);
    EXPECT_EQ(sscanf_s("99999999999999999999", "%llu", &u), 1);
    EXPECT_EQ(u, ULLONG_MAX);
    EXPECT_EQ(sscanf_s("-1", "%llu", &u), 1);
    EXPECT_EQ(u, ULLONG_MAX);
    int i = 0;
    EXPECT_EQ(sscanf_s("4294967297", "%d", &i), 1); // fits 64 bits: cut to 32
    EXPECT_EQ(i, 1);
}

TEST(InputNumberRules, BasesPrefixesAndPointers)
{
    int v = 0;
    EXPECT_EQ(sscanf_s("0x1f", "%i", &v), 1);
    EXPECT_EQ(v, 31);
    EXPECT_EQ(sscanf_s("017", "%i", &v), 1);
    EXPECT_EQ(v, 15);
    EXPECT_EQ(sscanf_s("-12", "%i", &v), 1);
    EXPECT_EQ(v, -12);
    unsigned x = 9;
    char rest[4];
    EXPECT_EQ(sscanf_s("0xg", "%x%s", &x, rest, 4u), 2); // "0x" alone reads as 0
    EXPECT_EQ(x, 0u);
    EXPECT_STREQ(rest, "g");
    EXPECT_EQ(sscanf_s("1234", "%2d%d", &v, &x), 2); // width counts digits
    EXPECT_EQ(v, 12);
    EXPECT_EQ(x, 34u);

    void *p = nullptr;
    EXPECT_EQ(sscanf_s("0x7ffe12345678", "%p", &p), 1);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p), 0x7ffe12345678u);
    EXPECT_EQ(sscanf_s("DEADbeef", "%p", &p), 1);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p), 0xDEADBEEFu);
    EXPECT_EQ(sscanf_s("(nil)", "%p", &p), 0);
}

TEST(InputFloatRules, FloatingTextGrowsPastItsLocalAreaAndConvertsExactly)
{
    // 400 digits after the point and an exponent: the text outgrows 350 characters (twice).
    std::string text = "0." + std::string(799, '0') + "12345e802";
    double d = 0;
    EXPECT_EQ(sscanf_s(text.c_str(), "%lf", &d), 1);
    EXPECT_DOUBLE_EQ(d, 123.45);
    std::string digits = std::string(360, '9');
    long double ld = 0;
    EXPECT_EQ(sscanf_s(digits.c_str(), "%Lg", &ld), 1);
    EXPECT_EQ(ld, strtold(digits.c_str(), nullptr));
    float f = 0;
    EXPECT_EQ(sscanf_s("-2.5E-1x", "%f", &f), 1);
    EXPECT_EQ(f, -0.25f);
    EXPECT_EQ(sscanf_s("123456", "%3lf", &d), 1);
    EXPECT_EQ(d, 123.0);
    EXPECT_EQ(sscanf_s(".", "%lf", &d), 0);
    EXPECT_EQ(sscanf_s("inf", "%lf", &d), 0);
}

TEST(InputScanSets, RangesCaretsAndLeadingBracket)
{
    char out[16];
    EXPECT_EQ(sscanf_s("]a]b-c", "%[]a-]", out, 16u), 1);
    EXPECT_STREQ(out, "]a]");
    EXPECT_EQ(sscanf_s("hello world", "%[^ ]", out, 16u), 1);
    EXPECT_STREQ(out, "hello");
    EXPECT_EQ(sscanf_s("x]y", "%[^]]", out, 16u), 1);
    EXPECT_STREQ(out, "x");
    EXPECT_EQ(sscanf_s("c0-9a", "%[a-c0-9-]", out, 16u), 1);
    EXPECT_STREQ(out, "c0-9a");
    EXPECT_EQ(sscanf_s("zz", "%[a-c]", out, 16u), 0);
    EXPECT_EQ(sscanf_s("\xe9\xff", "%[\xe0-\xff]", out, 16u), 1); // bytes above 127 are members too
    EXPECT_STREQ(out, "\xe9\xff");
}

TEST(InputEntryPoints, RefusedOrEmptyScansLeaveTheFirstTextDestinationEmpty)
{
    int a = 3;
    char first[8] = "old";
    char second[8] = "old";
    EXPECT_EQ(sscanf_s(nullptr, "%d%s%s", &a, first, 8u, second, 8u), -1);
    EXPECT_STREQ(first, "");
    EXPECT_STREQ(second, "old");
    strcpy(first, "old");
    EXPECT_EQ(sscanf_s("", "%*s%c", first, 8u), -1);
    EXPECT_STREQ(first, "");
    EXPECT_EQ(sscanf_s("x", nullptr), -1);
    EXPECT_EQ(fscanf_s(nullptr, "%d", &a), -1);
    wchar_t wfirst[4] = L"old";
    EXPECT_EQ(swscanf_s(nullptr, L"%ls", wfirst, 4u), -1);
    EXPECT_EQ(wfirst[0], L'\0');
}

// ---- file sources ---------------------------------------------------------------------

class FileSource : public ::testing::Test {
protected:
    void SetUp() override { file_ = tmpfile(); ASSERT_NE(file_, nullptr); }
    void TearDown() override { fclose(file_); }
    void write(const std::string &bytes)
    {
        ASSERT_EQ(fwrite(bytes.data(), 1, bytes.size(), file_), bytes.size());
        rewind(file_);
    }
    FILE *file_ = nullptr;
};

TEST_F(FileSource, LeavesTheFileJustAfterTheLastCharacterUsedAcrossBlocks)
{
    // The second number straddles the first 1024-byte block's end.
    std::string text = std::string(1020, ' ') + "123456 789 tail";
    write(text);
    int a = 0;
    int b = 0;
    EXPECT_EQ(fscanf_s(file_, "%d%d", &a, &b), 2);
    EXPECT_EQ(a, 123456);
    EXPECT_EQ(b, 789);
    EXPECT_EQ(ftell(file_), static_cast<long>(text.size() - 5));
    char rest[8];
    EXPECT_EQ(fscanf_s(file_, "%s", rest, 8u), 1); // a second scan goes on from there
    EXPECT_STREQ(rest, "tail");
    EXPECT_EQ(fscanf_s(file_, "%s", rest, 8u), -1);
}

TEST_F(FileSource, StopsBeforeTheCharacterThatDidNotMatch)
{
    write("12,34;56");
    int a = 0;
    int b = 0;
    EXPECT_EQ(fscanf_s(file_, "%d,%d,", &a, &b), 2);
    EXPECT_EQ(ftell(file_), 5); // the ";" was given back
    EXPECT_EQ(fgetc(file_), ';');
}

TEST_F(FileSource, SkipsAByteOrderMarkAtTheStartAndCountsIt)
{
    write("\xEF\xBB\xBF" "42 rest");
    int a = 0;
    EXPECT_EQ(fscanf_s(file_, "%d", &a), 1);
    EXPECT_EQ(a, 42);
    EXPECT_EQ(ftell(file_), 5); // three mark bytes and two digits
    char rest[8];
    EXPECT_EQ(fscanf_s(file_, "%s", rest, 8u), 1);
    EXPECT_STREQ(rest, "rest");
}

TEST_F(FileSource, KeepsMarkBytesThatAreNotAtTheStartOfTheFile)
{
    // The same bytes at the start of a later scan (and of a later block) are data.
    std::string text = "1 " + std::string("\xEF\xBB\xBF") + "x" + std::string(1020, ' ') + "\xEF\xBB\xBF" "y";
    write(text);
    int a = 0;
    EXPECT_EQ(fscanf_s(file_, "%d ", &a), 1);
    char mark[8];
    EXPECT_EQ(fscanf_s(file_, "%s", mark, 8u), 1);
    EXPECT_STREQ(mark, "\xEF\xBB\xBF" "x");
    EXPECT_EQ(fscanf_s(file_, "%s", mark, 8u), 1);
    EXPECT_STREQ(mark, "\xEF\xBB\xBF" "y");
}

TEST_F(FileSource, WideFileOfWideUnitsWithItsMark)
{
    std::wstring text = L"\xFEFF" L"31 w\x263A";
    ASSERT_EQ(fwrite(text.data(), sizeof(wchar_t), text.size(), file_), text.size());
    rewind(file_);
    int a = 0;
    EXPECT_EQ(fwscanf_s(file_, L"%d", &a), 1);
    EXPECT_EQ(a, 31);
    EXPECT_EQ(ftell(file_), static_cast<long>(3 * sizeof(wchar_t)));
    wchar_t word[4];
    EXPECT_EQ(fwscanf_s(file_, L"%ls", word, 4u), 1);
    EXPECT_STREQ(word, L"w\x263A");
}

TEST(CharacterSources, PipeAndStandardInputGiveBackThePushedCharacter)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(::write(fds[1], "77 next", 7), 7);
    close(fds[1]);
    FILE *in = fdopen(fds[0], "r");
    ASSERT_NE(in, nullptr);
    int a = 0;
    EXPECT_EQ(fscanf_s(in, "%d", &a), 1); // a pipe cannot be positioned: read one at a time
    EXPECT_EQ(a, 77);
    EXPECT_EQ(fgetc(in), ' ');
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
    EXPECT_EQ(r, 1);
    EXPECT_EQ(v, 5);
    EXPECT_EQ(next, 'x');
}

// ---- wide characters ------------------------------------------------------------------

class WideText : public ::testing::Test {
protected:
    void SetUp() override { saved_ = setlocale(LC_CTYPE, nullptr); setlocale(LC_CTYPE, "C.UTF-8"); }
    void TearDown() override { setlocale(LC_CTYPE, saved_.c_str()); }
    std::string saved_;
};

TEST_F(WideText, ByteScannerConvertsMultiByteTextIntoWideDestinations)
{
    wchar_t w[8];
    EXPECT_EQ(sscanf_s("h\xC3\xA9llo", "%ls", w, 8u), 1);
    EXPECT_STREQ(w, L"h\u00E9llo");
    EXPECT_EQ(sscanf_s("a\xFF" "b", "%S", w, 8u), 1); // S without h is wide; a bad byte is "?"
    EXPECT_STREQ(w, L"a?b");
    // A byte that breaks a sequence is read again on its own: here the delimiter, and a
    // character that starts right after a lone lead byte.
    wchar_t w2[8];
    EXPECT_EQ(sscanf_s("a\xC3 b\xC3\xC3\xA9", "%ls %ls", w, 8u, w2, 8u), 2);
    EXPECT_STREQ(w, L"a?");
    EXPECT_STREQ(w2, L"b?\u00E9");
    wchar_t one = 0;
    EXPECT_EQ(sscanf_s("\xE2\x98\xBA", "%lc", &one, 1u), 1); // one multi-byte character
    EXPECT_EQ(one, L'\x263A');
    char narrow[4];
    EXPECT_EQ(sscanf_s("ab", "%hS", narrow, 4u), 1);
    EXPECT_STREQ(narrow, "ab");
}

TEST_F(WideText, WideScannerStoresBytesOrWideCharacters)
{
    char bytes[8];
    wchar_t wide[8];
    int n = 0;
    EXPECT_EQ(swscanf_s(L"\u00E9t\u00E9 12 \x263Ax", L"%s %d %ls", bytes, 8u, &n, wide, 8u), 3);
    EXPECT_STREQ(bytes, "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(n, 12);
    EXPECT_STREQ(wide, L"\x263Ax");
    char tight[4] = "zz";
    EXPECT_EQ(swscanf_s(L"\u00E9\u00E9", L"%s", tight, 4u), -2); // four bytes do not fit in three
    EXPECT_EQ(tight[0], '\0');
    EXPECT_EQ(swscanf_s(L"\x263A\x263B-", L"%l[\x2600-\x26FF]", wide, 8u), 1); // set above 255
    EXPECT_STREQ(wide, L"\x263A\x263B");
    EXPECT_EQ(swscanf_s(L"ab\x263A", L"%l[^\x263A]", wide, 8u), 1);
    EXPECT_STREQ(wide, L"ab");
}

}  // namespace
