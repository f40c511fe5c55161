// Strings: comparison flags, encodings through ICU, normalization, formatting (against the C
// library's snprintf where the two agree), splitting and mutation.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

CFComparisonResult Compare(const char *a, const char *b, CFStringCompareFlags flags)
{
    CFRef<CFStringRef> x(Str(a));
    CFRef<CFStringRef> y(Str(b));
    return CFStringCompare(x, y, flags);
}

TEST(StringCompareTest, FlagsTable)
{
    const struct {
        const char *a;
        const char *b;
        CFStringCompareFlags flags;
        CFComparisonResult expected;
    } cases[] = {
        // No flags: UTF-16 code-unit order, 8-bit and 16-bit storage alike.
        {"B", "a", 0, kCFCompareLessThan},
        {"\xC3\xA9", "z", 0, kCFCompareGreaterThan},  // é after z
        {"abc", "abcd", 0, kCFCompareLessThan},
        {"abcd", "abc", 0, kCFCompareGreaterThan},
        {"same", "same", 0, kCFCompareEqualTo},
        {"\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9", 0, kCFCompareEqualTo},
        // A supplementary character (surrogates D83D...) sorts before U+FFFD in code-unit order.
        {"\xF0\x9F\x98\x80", "\xEF\xBF\xBD", 0, kCFCompareLessThan},
        // Case-insensitive and numeric.
        {"Modem", "mODEM", kCFCompareCaseInsensitive, kCFCompareEqualTo},
        {"abc", "ABD", kCFCompareCaseInsensitive, kCFCompareLessThan},
        {"Stra\xC3\x9F" "e", "STRASSE", kCFCompareCaseInsensitive, kCFCompareEqualTo},  // ß folds to ss
        {"file2", "file10", kCFCompareNumerically, kCFCompareLessThan},
        {"file2", "file10", 0, kCFCompareGreaterThan},
        {"file007", "file7", kCFCompareNumerically, kCFCompareEqualTo},
        {"file12", "file13", kCFCompareNumerically, kCFCompareLessThan},
        {"v10a", "v10", kCFCompareNumerically, kCFCompareGreaterThan},
        {"File2", "file10", kCFCompareNumerically | kCFCompareCaseInsensitive, kCFCompareLessThan},
        // Forced ordering breaks the ties of a case-insensitive comparison.
        {"a", "A", kCFCompareCaseInsensitive | kCFCompareForcedOrdering, kCFCompareGreaterThan},
        // Localized: ICU collation, case-sensitive unless asked otherwise.
        {"apple", "Banana", kCFCompareLocalized, kCFCompareLessThan},
        {"a", "A", kCFCompareLocalized, kCFCompareLessThan},
        {"a", "A", kCFCompareLocalized | kCFCompareCaseInsensitive, kCFCompareEqualTo},
        {"a", "A", kCFCompareLocalized | kCFCompareCaseInsensitive | kCFCompareForcedOrdering, kCFCompareGreaterThan},
        {"\xC3\xA9t\xC3\xA9", "f", kCFCompareLocalized, kCFCompareLessThan},  // été before f
        {"x9", "x10", kCFCompareLocalized | kCFCompareNumerically, kCFCompareLessThan},
        // Diacritics and normalization.
        {"\xC3\xA9", "e", kCFCompareDiacriticInsensitive, kCFCompareEqualTo},
        {"\xC3\x89", "e", kCFCompareDiacriticInsensitive, kCFCompareGreaterThan},
        {"\xC3\x89", "e", kCFCompareDiacriticInsensitive | kCFCompareCaseInsensitive, kCFCompareEqualTo},
        {"e\xCC\x81", "\xC3\xA9", kCFCompareNonliteral, kCFCompareEqualTo},
        {"e\xCC\x81", "\xC3\xA9", 0, kCFCompareLessThan},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.expected, Compare(c.a, c.b, c.flags)) << c.a << " / " << c.b << " flags " << c.flags;
    }
    CFRef<CFStringRef> x(Str("x"));
    EXPECT_EQ(kCFCompareEqualTo, CFStringCompare(nullptr, nullptr, 0));
    EXPECT_EQ(kCFCompareLessThan, CFStringCompare(nullptr, x, 0));
    EXPECT_EQ(kCFCompareGreaterThan, CFStringCompare(x, nullptr, 0));
}

CFComparisonResult SortByFlags(const void *a, const void *b, void *context)
{
    return CFStringCompare(static_cast<CFStringRef>(a), static_cast<CFStringRef>(b),
                           *static_cast<CFStringCompareFlags *>(context));
}

TEST(StringCompareTest, ModemScriptOrderWithFlags97)
{
    CFStringCompareFlags flags = 97;
    EXPECT_EQ(kCFCompareLessThan, Compare("modem 9", "Modem 10", flags));
    CFRef<CFMutableArrayRef> names(NewArray());
    for (const char *name : {"Modem 10", "modem 9", "Alpha", "modem 100", "Modem 9b"}) {
        CFRef<CFStringRef> s(Str(name));
        CFArrayAppendValue(names, s);
    }
    CFArraySortValues(names, CFRangeMake(0, CFArrayGetCount(names)), SortByFlags, &flags);
    std::vector<std::string> sorted;
    for (CFIndex i = 0; i < CFArrayGetCount(names); ++i) {
        sorted.push_back(Utf8(static_cast<CFStringRef>(CFArrayGetValueAtIndex(names, i))));
    }
    EXPECT_EQ((std::vector<std::string>{"Alpha", "modem 9", "Modem 9b", "Modem 10", "modem 100"}), sorted);
    CFRef<CFStringRef> probe(Str("MODEM 10"));
    EXPECT_EQ(3, CFArrayBSearchValues(names, CFRangeMake(0, 5), probe, SortByFlags, &flags));
}

std::string Bytes(std::initializer_list<int> values)
{
    std::string out;
    for (int v : values) {
        out.push_back(static_cast<char>(v));
    }
    return out;
}

// Bytes in each encoding: the text they decode to (or refusal), and the same bytes when the text
// is encoded again as an external representation.
TEST(StringEncodingTest, DecodeAndEncodeTable)
{
    const struct {
        CFStringEncoding encoding;
        std::string bytes;
        bool external;
        const char *text;        // UTF-8; NULL: the bytes are refused
        bool roundTrips;         // encoding the text again gives the bytes
    } cases[] = {
        {kCFStringEncodingUTF8, "caf\xC3\xA9", false, "caf\xC3\xA9", true},
        {kCFStringEncodingUTF8, "\xEF\xBB\xBFX", false, "X", false},  // the byte-order mark is dropped
        {kCFStringEncodingUTF8, "a\xC0", false, nullptr, false},
        {kCFStringEncodingUTF8, "\xF0\x9F\x98\x80", false, "\xF0\x9F\x98\x80", true},
        {kCFStringEncodingASCII, "plain", false, "plain", true},
        {kCFStringEncodingASCII, "a\x80", false, nullptr, false},
        {kCFStringEncodingMacRoman, "caf\x8E", false, "caf\xC3\xA9", true},
        {kCFStringEncodingMacRoman, "\xA5", false, "\xE2\x80\xA2", true},
        {kCFStringEncodingISOLatin1, "\xC0\xFF", false, "\xC3\x80\xC3\xBF", true},
        {kCFStringEncodingWindowsLatin1, "\x80", false, "\xE2\x82\xAC", true},
        {kCFStringEncodingUTF16BE, Bytes({0, 'A', 0, 0xE9}), false, "A\xC3\xA9", true},
        {kCFStringEncodingUTF16LE, Bytes({'A', 0, 0xE9, 0}), false, "A\xC3\xA9", true},
        {kCFStringEncodingUTF16BE, Bytes({0xD8, 0x3D, 0xDE, 0}), false, "\xF0\x9F\x98\x80", true},
        {kCFStringEncodingUTF16BE, Bytes({0, 'A', 0}), false, nullptr, false},  // odd length
        {kCFStringEncodingUTF16, Bytes({0xFE, 0xFF, 0, 'A', 0, 0xE9}), true, "A\xC3\xA9", false},
        {kCFStringEncodingUTF16, Bytes({0xFF, 0xFE, 'A', 0, 0xE9, 0}), true, "A\xC3\xA9", true},
        {kCFStringEncodingUTF16, Bytes({'A', 0}), false, "A", true},  // host order (little-endian)
        {kCFStringEncodingUTF32BE, Bytes({0, 1, 0xF6, 0}), false, "\xF0\x9F\x98\x80", true},
        {kCFStringEncodingUTF32LE, Bytes({'A', 0, 0, 0}), false, "A", true},
        {kCFStringEncodingUTF32, Bytes({0, 0, 0xFE, 0xFF, 0, 0, 0, 'A'}), true, "A", false},
        {kCFStringEncodingUTF32, Bytes({0xFF, 0xFE, 0, 0, 'A', 0, 0, 0}), true, "A", true},
        {kCFStringEncodingUTF32BE, Bytes({0, 0x11, 0, 0}), false, nullptr, false},     // above U+10FFFF
        {kCFStringEncodingUTF32BE, Bytes({0, 0, 0xD8, 0}), false, nullptr, false},     // a surrogate
        {kCFStringEncodingUTF32LE, Bytes({'A', 0, 0}), false, nullptr, false},         // not a multiple of 4
        {0x0BFF, "x", false, nullptr, false},                                         // not available here
    };
    for (const auto &c : cases) {
        SCOPED_TRACE("encoding " + std::to_string(c.encoding) + " text " + (c.text != nullptr ? c.text : "(refused)"));
        CFRef<CFStringRef> s(CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8 *>(c.bytes.data()),
                                                     static_cast<CFIndex>(c.bytes.size()), c.encoding, c.external));
        if (c.text == nullptr) {
            EXPECT_EQ(nullptr, s.get());
            continue;
        }
        ASSERT_NE(nullptr, s.get());
        EXPECT_EQ(c.text, Utf8(s));
        if (!c.roundTrips) {
            continue;
        }
        CFIndex length = CFStringGetLength(s);
        CFIndex used = -1;
        EXPECT_EQ(length, CFStringGetBytes(s, CFRangeMake(0, length), c.encoding, 0, c.external, nullptr, 0, &used));
        std::string back(static_cast<size_t>(used), '\0');
        EXPECT_EQ(length, CFStringGetBytes(s, CFRangeMake(0, length), c.encoding, 0, c.external,
                                           reinterpret_cast<UInt8 *>(back.data()), used, &used));
        EXPECT_EQ(c.bytes, back);
    }
    EXPECT_EQ(nullptr, CFStringCreateWithBytes(nullptr, nullptr, 2, kCFStringEncodingUTF8, false));
    EXPECT_EQ(nullptr, CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8 *>("a"), -1, kCFStringEncodingUTF8, false));
    EXPECT_EQ(nullptr, CFStringCreateWithCString(nullptr, nullptr, kCFStringEncodingUTF8));
    CFRef<CFStringRef> empty(CFStringCreateWithBytes(nullptr, nullptr, 0, kCFStringEncodingUTF16, false));
    EXPECT_EQ(0, CFStringGetLength(empty));
}

TEST(StringEncodingTest, MacRomanByteAboveAsciiConvertsBothWays)
{
    const char roman[] = {'c', 'a', 'f', static_cast<char>(0x8E), 0};  // 0x8E is é in MacRoman
    CFRef<CFStringRef> s(CFStringCreateWithCString(nullptr, roman, kCFStringEncodingMacRoman));
    ASSERT_NE(nullptr, s.get());
    EXPECT_EQ(4, CFStringGetLength(s));
    EXPECT_EQ(0x00E9, CFStringGetCharacterAtIndex(s, 3));
    EXPECT_EQ("caf\xC3\xA9", Utf8(s));
    char back[8] = {};
    ASSERT_TRUE(CFStringGetCString(s, back, sizeof back, kCFStringEncodingMacRoman));
    EXPECT_STREQ(roman, back);
}

TEST(StringEncodingTest, CharactersTheEncodingCannotHoldStopTheConversionOrBecomeTheLossByte)
{
    CFRef<CFStringRef> s(Str("caf\xC3\xA9"));
    char buffer[16];
    EXPECT_FALSE(CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingASCII));
    EXPECT_STREQ("", buffer);
    CFIndex used = -1;
    EXPECT_EQ(3, CFStringGetBytes(s, CFRangeMake(0, 4), kCFStringEncodingASCII, 0, false, nullptr, 0, &used));
    EXPECT_EQ(3, used);
    UInt8 lossy[8] = {};
    EXPECT_EQ(4, CFStringGetBytes(s, CFRangeMake(0, 4), kCFStringEncodingASCII, '?', false, lossy, 8, &used));
    EXPECT_EQ(std::string("caf?"), std::string(reinterpret_cast<char *>(lossy), static_cast<size_t>(used)));
    // A lone surrogate has no UTF-8 or UTF-32 form.
    const UniChar lone[] = {'a', 0xD800, 'b'};
    CFRef<CFStringRef> broken(CFStringCreateWithCharacters(nullptr, lone, 3));
    EXPECT_EQ(1, CFStringGetBytes(broken, CFRangeMake(0, 3), kCFStringEncodingUTF8, 0, false, nullptr, 0, &used));
    EXPECT_EQ(3, CFStringGetBytes(broken, CFRangeMake(0, 3), kCFStringEncodingUTF32LE, '?', false, nullptr, 0, &used));
    EXPECT_EQ(12, used);
    EXPECT_FALSE(CFStringGetCString(broken, buffer, sizeof buffer, kCFStringEncodingUTF8));
    // A bad range converts nothing.
    used = -1;
    EXPECT_EQ(0, CFStringGetBytes(s, CFRangeMake(2, 5), kCFStringEncodingUTF8, 0, false, nullptr, 0, &used));
    EXPECT_EQ(0, used);
    EXPECT_EQ(0, CFStringGetBytes(s, CFRangeMake(0, 4), 0x0BFF, 0, false, nullptr, 0, nullptr));
    // The byte-order mark of an external representation must fit too.
    UInt8 tiny[1];
    EXPECT_EQ(0, CFStringGetBytes(s, CFRangeMake(0, 4), kCFStringEncodingUTF16, 0, true, tiny, 1, &used));
    EXPECT_EQ(0, used);
}

// A C string needs room for its terminator: 15 characters fit 16 bytes, 16 do not, whether the
// text is plain ASCII or must be converted (numeric preference keys are read this way).
TEST(StringEncodingTest, CStringMustFitWithItsTerminator)
{
    for (CFIndex length : {15, 16}) {
        std::string digits = std::string("1234567890123456").substr(0, static_cast<size_t>(length));
        CFRef<CFStringRef> ascii(Str(digits.c_str()));
        for (CFStringEncoding encoding : {kCFStringEncodingASCII, kCFStringEncodingUTF8, kCFStringEncodingUTF16LE}) {
            char buffer[16];
            std::memset(buffer, 'x', sizeof buffer);
            Boolean fits = CFStringGetCString(ascii, buffer, sizeof buffer, encoding);
            bool expected = length == 15 && encoding != kCFStringEncodingUTF16LE;
            EXPECT_EQ(expected, fits != 0) << length << " in " << encoding;
            if (fits) {
                EXPECT_EQ(digits, std::string(buffer));
            }
        }
    }
    CFRef<CFStringRef> accented(Str("\xC3\xA9t\xC3\xA9"));
    char three[4];
    EXPECT_FALSE(CFStringGetCString(accented, three, sizeof three, kCFStringEncodingUTF8));  // 5 bytes
    char six[6];
    EXPECT_TRUE(CFStringGetCString(accented, six, sizeof six, kCFStringEncodingUTF8));
    EXPECT_STREQ("\xC3\xA9t\xC3\xA9", six);
    EXPECT_FALSE(CFStringGetCString(accented, nullptr, 6, kCFStringEncodingUTF8));
    EXPECT_FALSE(CFStringGetCString(accented, six, 0, kCFStringEncodingUTF8));
    EXPECT_FALSE(CFStringGetCString(nullptr, six, sizeof six, kCFStringEncodingUTF8));
    EXPECT_STREQ("", six);
}

TEST(StringEncodingTest, DirectPointersAndSizes)
{
    CFRef<CFStringRef> ascii(Str("modem"));
    CFRef<CFStringRef> wide(Str("mod\xC3\xA9m"));
    for (CFStringEncoding encoding : {kCFStringEncodingASCII, kCFStringEncodingUTF8, kCFStringEncodingMacRoman,
                                      kCFStringEncodingISOLatin1, kCFStringEncodingWindowsLatin1}) {
        const char *direct = CFStringGetCStringPtr(ascii, encoding);
        ASSERT_NE(nullptr, direct) << encoding;
        EXPECT_STREQ("modem", direct);
        EXPECT_EQ(nullptr, CFStringGetCStringPtr(wide, encoding));
    }
    EXPECT_EQ(nullptr, CFStringGetCStringPtr(ascii, kCFStringEncodingUTF16));
    EXPECT_EQ(nullptr, CFStringGetCStringPtr(nullptr, kCFStringEncodingUTF8));
    const struct {
        CFStringEncoding encoding;
        CFIndex perCharacter;
    } sizes[] = {
        {kCFStringEncodingUTF8, 3},    {kCFStringEncodingUTF16, 2},   {kCFStringEncodingUTF16BE, 2},
        {kCFStringEncodingUTF16LE, 2}, {kCFStringEncodingUTF32, 4},   {kCFStringEncodingUTF32BE, 4},
        {kCFStringEncodingUTF32LE, 4}, {kCFStringEncodingMacRoman, 1}, {kCFStringEncodingASCII, 1},
    };
    for (const auto &s : sizes) {
        EXPECT_EQ(10 * s.perCharacter, CFStringGetMaximumSizeForEncoding(10, s.encoding)) << s.encoding;
    }
}

TEST(StringEncodingTest, Utf8AndUtf16MeasureAndNeverSplitACharacter)
{
    CFRef<CFStringRef> s(Str("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"));  // a é € 😀
    EXPECT_EQ(5, CFStringGetLength(s));
    CFIndex used = 0;
    EXPECT_EQ(5, CFStringGetBytes(s, CFRangeMake(0, 5), kCFStringEncodingUTF8, 0, false, nullptr, 0, &used));
    EXPECT_EQ(10, used);
    UInt8 small[8];
    EXPECT_EQ(3, CFStringGetBytes(s, CFRangeMake(0, 5), kCFStringEncodingUTF8, 0, false, small, 8, &used));
    EXPECT_EQ(6, used);
    EXPECT_EQ(3, CFStringGetBytes(s, CFRangeMake(0, 5), kCFStringEncodingUTF16BE, 0, false, small, 7, &used));
    EXPECT_EQ(6, used);
    UniChar units[5] = {};
    CFStringGetCharacters(s, CFRangeMake(3, 2), units);
    EXPECT_EQ(0xD83D, units[0]);
    EXPECT_EQ(0xDE00, units[1]);
    CFStringGetCharacters(s, CFRangeMake(4, 2), units);  // refused
    CFStringGetCharacters(s, CFRangeMake(0, 1), nullptr);
    EXPECT_EQ(0xD83D, units[0]);
    EXPECT_EQ(0, CFStringGetCharacterAtIndex(s, 5));
    EXPECT_EQ(0, CFStringGetCharacterAtIndex(s, -1));
    EXPECT_EQ(0, CFStringGetCharacterAtIndex(nullptr, 0));
}

TEST(StringNormalizationTest, DecomposesAndComposes)
{
    CFRef<CFMutableStringRef> s(CFStringCreateMutableCopy(nullptr, 0, CFSTR("\xC3\xA9t\xC3\xA9")));
    CFStringNormalize(s, kCFStringNormalizationFormD);
    EXPECT_EQ(5, CFStringGetLength(s));
    EXPECT_EQ(0x0301, CFStringGetCharacterAtIndex(s, 1));
    CFStringNormalize(s, kCFStringNormalizationFormC);
    EXPECT_EQ(3, CFStringGetLength(s));
    CFRef<CFMutableStringRef> ligature(CFStringCreateMutableCopy(nullptr, 0, CFSTR("\xEF\xAC\x81")));  // ﬁ
    CFStringNormalize(ligature, kCFStringNormalizationFormKC);
    EXPECT_EQ("fi", Utf8(ligature));
    CFRef<CFMutableStringRef> angstrom(CFStringCreateMutableCopy(nullptr, 0, CFSTR("\xE2\x84\xAB")));  // Å sign
    CFStringNormalize(angstrom, kCFStringNormalizationFormKD);
    EXPECT_EQ("A\xCC\x8A", Utf8(angstrom));
    CFStringNormalize(angstrom, 99);  // not a form: unchanged
    EXPECT_EQ("A\xCC\x8A", Utf8(angstrom));
    CFRef<CFMutableStringRef> ascii(CFStringCreateMutableCopy(nullptr, 0, CFSTR("plain")));
    CFStringNormalize(ascii, kCFStringNormalizationFormD);
    EXPECT_EQ("plain", Utf8(ascii));
    CFStringNormalize(const_cast<CFMutableStringRef>(CFSTR("\xC3\xA9")), kCFStringNormalizationFormD);  // refused
    EXPECT_EQ(1, CFStringGetLength(CFSTR("\xC3\xA9")));
}

TEST(StringFormatTest, NumericConversionsMatchTheCLibrary)
{
    char expected[256];
    std::snprintf(expected, sizeof expected, "%d|%5ld|%-4u|%x|%08.3f|%lld|%c|%s|%%|%+i|%.2e|%g|%zu", -42, 123456L, 7u,
                  0xbeefu, 3.14159, -9000000000LL, 'Z', "plain", 5, 12345.678, 0.0001, static_cast<size_t>(99));
    EXPECT_EQ(expected, FormatText(CFSTR("%d|%5ld|%-4u|%x|%08.3f|%lld|%c|%s|%%|%+i|%.2e|%g|%zu"), -42, 123456L, 7u,
                                   0xbeefu, 3.14159, -9000000000LL, 'Z', "plain", 5, 12345.678, 0.0001,
                                   static_cast<size_t>(99)));
    std::snprintf(expected, sizeof expected, "[%*d] [%-*.*s] [%*d]", 6, 42, 5, 2, "abc", -4, 7);
    EXPECT_EQ(expected, FormatText(CFSTR("[%*d] [%-*.*s] [%*d]"), 6, 42, 5, 2, "abc", -4, 7));
    std::snprintf(expected, sizeof expected, "%hhd %hd %hhu %hu %o %X %#x %td %jd %Lf %.*f %a", 300, 70000, 300, 70000,
                  8u, 255u, 255u, static_cast<ptrdiff_t>(-3), static_cast<intmax_t>(-4), 2.5L, -1, 1.25, 1.0);
    EXPECT_EQ(expected, FormatText(CFSTR("%hhd %hd %hhu %hu %o %X %#x %td %jd %Lf %.*f %a"), 300, 70000, 300, 70000,
                                   8u, 255u, 255u, static_cast<ptrdiff_t>(-3), static_cast<intmax_t>(-4), 2.5L, -1,
                                   1.25, 1.0));
    // The platform's own conversions: %D %U %O take a long, %qd a long long.
    EXPECT_EQ("-5 5 10 -6", FormatText(CFSTR("%D %U %O %qd"), -5L, 5UL, 8UL, -6LL));
    // Output longer than the conversion's first buffer.
    std::string wide = FormatText(CFSTR("%300d|"), 1);
    EXPECT_EQ(301u, wide.size());
    EXPECT_EQ("1|", wide.substr(299));
}

TEST(StringFormatTest, ObjectsPositionsAndUnicode)
{
    CFRef<CFNumberRef> n(Int(5));
    const UniChar units[] = {'m', 0x00F6, 'd', 0};
    const char roman[] = {'c', 'a', 'f', static_cast<char>(0x8E), 0};  // not UTF-8: read as MacRoman
    const struct {
        std::string actual;
        const char *expected;
    } cases[] = {
        {FormatText(CFSTR("/%@/%@/%@"), CFSTR("Sets"), CFSTR("0"), CFSTR("Network")), "/Sets/0/Network"},
        {FormatText(CFSTR("%@/%i"), CFSTR("/NetworkServices"), 5), "/NetworkServices/5"},
        {FormatText(CFSTR("n=%@ t=%@"), n.get(), kCFBooleanTrue), "n=5 t=true"},
        {FormatText(CFSTR("%2$@ %1$@"), CFSTR("first"), CFSTR("second")), "second first"},
        {FormatText(CFSTR("%4$@ and %1$@ and %4$@"), CFSTR("a"), 2, 3, CFSTR("d")), "d and a and d"},  // unnamed: ints
        {FormatText(CFSTR("%s %C"), "caf\xC3\xA9", static_cast<UniChar>(0x20AC)), "caf\xC3\xA9 \xE2\x82\xAC"},
        {FormatText(CFSTR("%s|%.2s|%s"), roman, "abc", static_cast<const char *>(nullptr)), "caf\xC3\xA9|ab|(null)"},
        {FormatText(CFSTR("%S|%.2S|%S"), units, units, static_cast<const UniChar *>(nullptr)), "m\xC3\xB6" "d|m\xC3\xB6|(null)"},
        {FormatText(CFSTR("%c%c"), 'A', 0x8E), "A\xC3\xA9"},
        {FormatText(CFSTR("%@"), static_cast<CFTypeRef>(nullptr)), "(null)"},
        {FormatText(CFSTR("[%5@] [%-5@] [%.3@]"), CFSTR("ab"), CFSTR("ab"), CFSTR("abcdef")), "[   ab] [ab   ] [abc]"},
        {FormatText(CFSTR("%*2$d|"), 7, 4), "   7|"},
        {FormatText(CFSTR("%.*2$f|"), 3.14159, 2), "3.14|"},
        {FormatText(CFSTR("100%% sure %k %")), "100% sure %k %"},  // unknown and incomplete stay text
        {FormatText(CFSTR("%5")), "%5"},
        {FormatText(CFSTR("plain")), "plain"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.expected, c.actual);
    }
    int marker = 0;
    char pointer[32];
    std::snprintf(pointer, sizeof pointer, "%p", static_cast<void *>(&marker));
    EXPECT_EQ(pointer, FormatText(CFSTR("%p"), static_cast<void *>(&marker)));
    EXPECT_EQ(nullptr, CFStringCreateWithFormat(nullptr, nullptr, nullptr));
    CFRef<CFStringRef> made(CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%d-%@"), 1, CFSTR("x")));
    EXPECT_EQ("1-x", Utf8(made));
}

TEST(StringSearchTest, PrefixAndSplit)
{
    CFRef<CFStringRef> path(Str("Setup:/Network/Service/ABC/IPv4"));
    EXPECT_TRUE(CFStringHasPrefix(path, CFSTR("Setup:/Network/Service/")));
    EXPECT_TRUE(CFStringHasPrefix(path, CFSTR("")));
    EXPECT_FALSE(CFStringHasPrefix(path, CFSTR("Setup:/Network/Services")));
    EXPECT_FALSE(CFStringHasPrefix(CFSTR("Set"), CFSTR("Setup")));
    EXPECT_FALSE(CFStringHasPrefix(nullptr, CFSTR("")));
    const struct {
        const char *text;
        const char *separator;
        std::vector<std::string> parts;
    } splits[] = {
        {"Setup:/Network/Service/ABC/IPv4", "/", {"Setup:", "Network", "Service", "ABC", "IPv4"}},
        {"/a//b/", "/", {"", "a", "", "b", ""}},
        {"a::b::c", "::", {"a", "b", "c"}},
        {"no separator", "/", {"no separator"}},
        {"whole", "", {"whole"}},
        {"", "/", {""}},
        {"\xC3\xA9/\xC3\xA8", "/", {"\xC3\xA9", "\xC3\xA8"}},
    };
    for (const auto &split : splits) {
        CFRef<CFStringRef> text(Str(split.text));
        CFRef<CFStringRef> separator(Str(split.separator));
        CFRef<CFArrayRef> parts(CFStringCreateArrayBySeparatingStrings(nullptr, text, separator));
        std::vector<std::string> got;
        for (CFIndex i = 0; i < CFArrayGetCount(parts); ++i) {
            got.push_back(Utf8(static_cast<CFStringRef>(CFArrayGetValueAtIndex(parts, i))));
        }
        EXPECT_EQ(split.parts, got) << split.text;
    }
    EXPECT_EQ(nullptr, CFStringCreateArrayBySeparatingStrings(nullptr, path, nullptr));
}

TEST(StringMutationTest, AppendLowercaseAndRefusalsWithoutHarm)
{
    CFRef<CFStringRef> fixed(Str("fixed"));
    CFStringAppend(const_cast<CFMutableStringRef>(fixed.get()), CFSTR("!"));
    CFStringAppendCharacters(const_cast<CFMutableStringRef>(fixed.get()), reinterpret_cast<const UniChar *>(u"!"), 1);
    CFStringLowercase(const_cast<CFMutableStringRef>(CFSTR("UPPER")), nullptr);
    EXPECT_EQ("fixed", Utf8(fixed));
    EXPECT_EQ("UPPER", Utf8(CFSTR("UPPER")));

    CFRef<CFMutableStringRef> m(CFStringCreateMutableCopy(nullptr, 0, fixed));
    CFStringAppend(m, CFSTR(" \xC3\x89T\xC3\x89 "));
    const UniChar more[] = {'O', 'K', 0x0130};  // İ lower-cases to i and a combining dot
    CFStringAppendCharacters(m, more, 3);
    CFStringAppendCharacters(m, nullptr, 2);
    CFStringAppendCharacters(m, more, 0);
    EXPECT_EQ("fixed \xC3\x89T\xC3\x89 OK\xC4\xB0", Utf8(m));
    CFStringLowercase(m, nullptr);
    EXPECT_EQ("fixed \xC3\xA9t\xC3\xA9 oki\xCC\x87", Utf8(m));
    // A long text leaves the space inside the object for memory of its own, and comes back.
    std::string longText(200, 'x');
    CFRef<CFStringRef> longString(Str(longText.c_str()));
    CFRef<CFMutableStringRef> grown(CFStringCreateMutable(nullptr, 0));
    CFStringAppend(grown, longString);
    CFStringAppend(grown, CFSTR("\xC3\xA9"));
    EXPECT_EQ(longText + "\xC3\xA9", Utf8(grown));

    EXPECT_EQ(nullptr, CFStringCreateWithSubstring(nullptr, fixed, CFRangeMake(4, 2)));
    EXPECT_EQ(nullptr, CFStringCreateWithSubstring(nullptr, fixed, CFRangeMake(-1, 2)));
    CFRef<CFStringRef> middle(CFStringCreateWithSubstring(nullptr, fixed, CFRangeMake(1, 3)));
    EXPECT_EQ("ixe", Utf8(middle));
    CFRef<CFStringRef> copy(CFStringCreateCopy(nullptr, fixed));
    EXPECT_EQ(fixed.get(), copy.get());  // an immutable string copies to itself
    CFRef<CFStringRef> frozen(CFStringCreateCopy(nullptr, m));
    EXPECT_NE(static_cast<CFStringRef>(m.get()), frozen.get());
    EXPECT_TRUE(CFEqual(m, frozen));
    EXPECT_EQ(nullptr, CFStringCreateCopy(nullptr, nullptr));
    EXPECT_EQ(nullptr, CFStringCreateMutableCopy(nullptr, 0, nullptr));
    EXPECT_EQ(nullptr, CFStringCreateWithCharacters(nullptr, nullptr, 1));
    EXPECT_EQ(nullptr, CFStringCreateWithCharacters(nullptr, more, -1));
    EXPECT_EQ(0, CFStringGetLength(nullptr));
}

// CFSTR constants: one object per text, alive for ever, for UTF-8 text and (read leniently) for
// bytes that are not UTF-8.
TEST(StringConstantTest, OneImmortalObjectPerText)
{
    EXPECT_EQ(CFSTR("modem"), CFSTR("modem"));
    EXPECT_NE(CFSTR("modem"), CFSTR("Modem"));
    EXPECT_EQ("\xC3\xA9t\xC3\xA9", Utf8(CFSTR("\xC3\xA9t\xC3\xA9")));
    EXPECT_EQ("a\xEF\xBF\xBD" "b", Utf8(CFSTR("a\xFF" "b")));
    EXPECT_EQ(nullptr, __CFStringMakeConstantString(nullptr));
    EXPECT_EQ("kCFRunLoopDefaultMode", Utf8(kCFRunLoopDefaultMode));
    EXPECT_EQ("NSPOSIXErrorDomain", Utf8(kCFErrorDomainPOSIX));
    EXPECT_EQ("CFBundleExecutable", Utf8(kCFBundleExecutableKey));
    EXPECT_EQ("kCFURLFileLength", Utf8(kCFURLFileLength));
    EXPECT_TRUE(CFEqual(kCFURLFileExists, CFSTR("kCFURLFileExists")));
}

}  // namespace
