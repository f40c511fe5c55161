// Strings: comparison flags, encodings through ICU, normalization, formatting (against the C
// library's snprintf), search and mutation.
#include "PlatformTesting.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

CFComparisonResult Compare(const char *a, const char *b, CFStringCompareFlags flags)
{
    CFRef<CFStringRef> x(Str(a));
    CFRef<CFStringRef> y(Str(b));
    return CFStringCompare(x, y, flags);
}

TEST(StringCompareTest, NoFlagsIsCodeUnitOrder)
{
    EXPECT_EQ(kCFCompareLessThan, Compare("B", "a", 0));
    EXPECT_EQ(kCFCompareGreaterThan, Compare("\xC3\xA9", "z", 0));  // é after z
    EXPECT_EQ(kCFCompareLessThan, Compare("abc", "abcd", 0));
    EXPECT_EQ(kCFCompareEqualTo, Compare("same", "same", 0));
    // A supplementary character (surrogates D83D...) sorts before U+FFFD in code-unit order.
    EXPECT_EQ(kCFCompareLessThan, Compare("\xF0\x9F\x98\x80", "\xEF\xBF\xBD", 0));
}

TEST(StringCompareTest, CaseInsensitiveAndNumericFlags)
{
    EXPECT_EQ(kCFCompareEqualTo, Compare("Modem", "mODEM", kCFCompareCaseInsensitive));
    EXPECT_EQ(kCFCompareLessThan, Compare("abc", "ABD", kCFCompareCaseInsensitive));
    EXPECT_EQ(kCFCompareLessThan, Compare("file2", "file10", kCFCompareNumerically));
    EXPECT_EQ(kCFCompareGreaterThan, Compare("file2", "file10", 0));
    EXPECT_EQ(kCFCompareEqualTo, Compare("file007", "file7", kCFCompareNumerically));
}

TEST(StringCompareTest, LocalizedCollationAloneIsCaseSensitive)
{
    EXPECT_EQ(kCFCompareLessThan, Compare("apple", "Banana", kCFCompareLocalized));
    EXPECT_NE(kCFCompareEqualTo, Compare("a", "A", kCFCompareLocalized));
    EXPECT_EQ(kCFCompareEqualTo, Compare("a", "A", kCFCompareLocalized | kCFCompareCaseInsensitive));
    EXPECT_EQ(kCFCompareLessThan, Compare("\xC3\xA9t\xC3\xA9", "f", kCFCompareLocalized));  // été before f
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
    CFRef<CFStringRef> bullet(Str("\xE2\x80\xA2"));  // U+2022 is 0xA5 in MacRoman
    UInt8 byte = 0;
    CFIndex used = 0;
    EXPECT_EQ(1, CFStringGetBytes(bullet, CFRangeMake(0, 1), kCFStringEncodingMacRoman, 0, false, &byte, 1, &used));
    EXPECT_EQ(0xA5, byte);
}

TEST(StringEncodingTest, AsciiCannotHoldAccentedLetters)
{
    CFRef<CFStringRef> s(Str("caf\xC3\xA9"));
    char buffer[16];
    EXPECT_FALSE(CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingASCII));
    CFIndex used = -1;
    EXPECT_EQ(3, CFStringGetBytes(s, CFRangeMake(0, 4), kCFStringEncodingASCII, 0, false, nullptr, 0, &used));
    EXPECT_EQ(3, used);
    UInt8 lossy[8] = {};
    EXPECT_EQ(4, CFStringGetBytes(s, CFRangeMake(0, 4), kCFStringEncodingASCII, '?', false, lossy, 8, &used));
    EXPECT_EQ(std::string("caf?"), std::string(reinterpret_cast<char *>(lossy), static_cast<size_t>(used)));
    const char high[] = {'a', static_cast<char>(0xC0), 0};
    EXPECT_EQ(nullptr, CFStringCreateWithCString(nullptr, high, kCFStringEncodingASCII));
    EXPECT_EQ(nullptr, CFStringCreateWithCString(nullptr, high, kCFStringEncodingUTF8));
    CFRef<CFStringRef> latin(CFStringCreateWithCString(nullptr, high, kCFStringEncodingISOLatin1));
    EXPECT_EQ(0x00C0, CFStringGetCharacterAtIndex(latin, 1));
    // The loss byte of a Unicode encoding is written as a character of that encoding, so that the
    // bytes stay well formed: a lone surrogate has no UTF-32 form.
    const UniChar lone[] = {'a', 0xD800, 'b'};
    CFRef<CFStringRef> broken(CFStringCreateWithCharacters(nullptr, lone, 3));
    UInt32 units[3] = {};
    EXPECT_EQ(3, CFStringGetBytes(broken, CFRangeMake(0, 3), kCFStringEncodingUTF32LE, '?', false,
                                  reinterpret_cast<UInt8 *>(units), sizeof units, &used));
    EXPECT_EQ(12, used);
    EXPECT_EQ((std::vector<UInt32>{'a', '?', 'b'}), std::vector<UInt32>(units, units + 3));
    UInt8 utf8[8] = {};
    EXPECT_EQ(3, CFStringGetBytes(broken, CFRangeMake(0, 3), kCFStringEncodingUTF8, 0xE9, false, utf8, 8, &used));
    EXPECT_EQ(std::string("a\xC3\xA9" "b"), std::string(reinterpret_cast<char *>(utf8), static_cast<size_t>(used)));
}

// A C string needs room for its terminator: 15 characters fit 16 bytes, 16 do not, whether the
// string keeps 8-bit or 16-bit text (numeric preference keys are read this way).
TEST(StringEncodingTest, CStringMustFitWithItsTerminator)
{
    const UniChar digits16[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9', '0', '1', '2', '3', '4', '5', '6'};
    for (CFIndex length : {15, 16}) {
        std::string digits = std::string("1234567890123456").substr(0, static_cast<size_t>(length));
        CFRef<CFStringRef> eight(Str(digits.c_str()));
        CFRef<CFStringRef> wide(CFStringCreateWithCharacters(nullptr, digits16, length));
        for (CFStringRef s : {eight.get(), wide.get()}) {
            char buffer[16];
            std::memset(buffer, 'x', sizeof buffer);
            Boolean fits = CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingASCII);
            EXPECT_EQ(length == 15, fits != 0) << length;
            if (fits) {
                EXPECT_EQ(digits, std::string(buffer));
            }
        }
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
    CFRef<CFDataRef> external(CFStringCreateExternalRepresentation(nullptr, s, kCFStringEncodingUTF16, 0));
    ASSERT_NE(nullptr, external.get());
    EXPECT_EQ(12, CFDataGetLength(external));  // byte-order mark and five code units
    CFRef<CFStringRef> back(CFStringCreateFromExternalRepresentation(nullptr, external, kCFStringEncodingUTF16));
    EXPECT_TRUE(CFEqual(s, back));
    const UInt8 bigEndian[] = {0xFE, 0xFF, 0x00, 0x41, 0x00, 0xE9};
    CFRef<CFStringRef> be(CFStringCreateWithBytes(nullptr, bigEndian, 6, kCFStringEncodingUTF16, true));
    EXPECT_EQ("A\xC3\xA9", Utf8(be));
}

TEST(StringNormalizationTest, DecomposesAndComposes)
{
    CFRef<CFMutableStringRef> s(CFStringCreateMutableCopy(nullptr, 0, CFSTR("\xC3\xA9t\xC3\xA9")));
    CFStringNormalize(s, kCFStringNormalizationFormD);
    EXPECT_EQ(5, CFStringGetLength(s));
    EXPECT_EQ(0x0301, CFStringGetCharacterAtIndex(s, 1));
    CFStringNormalize(s, kCFStringNormalizationFormC);
    EXPECT_EQ(3, CFStringGetLength(s));
    EXPECT_EQ(kCFCompareEqualTo, Compare("e\xCC\x81", "\xC3\xA9", kCFCompareNonliteral));
}

TEST(StringFormatTest, NumericConversionsMatchTheCLibrary)
{
    char expected[256];
    std::snprintf(expected, sizeof expected, "%d|%5ld|%-4u|%x|%08.3f|%lld|%c|%s|%%|%+i|%.2e|%g|%zu", -42, 123456L, 7u,
                  0xbeefu, 3.14159, -9000000000LL, 'Z', "plain", 5, 12345.678, 0.0001, static_cast<size_t>(99));
    EXPECT_EQ(expected, FormatText(CFSTR("%d|%5ld|%-4u|%x|%08.3f|%lld|%c|%s|%%|%+i|%.2e|%g|%zu"), -42, 123456L, 7u, 0xbeefu,
                               3.14159, -9000000000LL, 'Z', "plain", 5, 12345.678, 0.0001, static_cast<size_t>(99)));
    std::snprintf(expected, sizeof expected, "[%*d] [%-*.*s]", 6, 42, 5, 2, "abc");
    EXPECT_EQ(expected, FormatText(CFSTR("[%*d] [%-*.*s]"), 6, 42, 5, 2, "abc"));
}

TEST(StringFormatTest, ObjectsPositionsAndUnicode)
{
    CFRef<CFNumberRef> n(Int(5));
    EXPECT_EQ("/Sets/0/Network", FormatText(CFSTR("/%@/%@/%@"), CFSTR("Sets"), CFSTR("0"), CFSTR("Network")));
    EXPECT_EQ("/NetworkServices/5", FormatText(CFSTR("%@/%i"), CFSTR("/NetworkServices"), 5));
    EXPECT_EQ("n=5 t=true", FormatText(CFSTR("n=%@ t=%@"), n.get(), kCFBooleanTrue));
    EXPECT_EQ("second first", FormatText(CFSTR("%2$@ %1$@"), CFSTR("first"), CFSTR("second")));
    EXPECT_EQ("caf\xC3\xA9 \xE2\x82\xAC", FormatText(CFSTR("%s %C"), "caf\xC3\xA9", static_cast<UniChar>(0x20AC)));
    EXPECT_EQ("(null)", FormatText(CFSTR("%@"), static_cast<CFTypeRef>(nullptr)));
    EXPECT_EQ("[   ab]", FormatText(CFSTR("[%5@]"), CFSTR("ab")));
}

TEST(StringSearchTest, FindPrefixSuffixSplitAndReplace)
{
    CFRef<CFStringRef> path(Str("Setup:/Network/Service/ABC/IPv4"));
    CFRange r = CFStringFind(path, CFSTR("/"), 0);
    EXPECT_EQ(6, r.location);
    r = CFStringFind(path, CFSTR("/"), kCFCompareBackwards);
    EXPECT_EQ(26, r.location);
    EXPECT_EQ(kCFNotFound, CFStringFind(path, CFSTR("ipv6"), kCFCompareCaseInsensitive).location);
    EXPECT_EQ(27, CFStringFind(path, CFSTR("ipv4"), kCFCompareCaseInsensitive).location);
    EXPECT_TRUE(CFStringHasPrefix(path, CFSTR("Setup:/Network/Service/")));
    EXPECT_TRUE(CFStringHasSuffix(path, CFSTR("/IPv4")));
    CFRef<CFArrayRef> parts(CFStringCreateArrayBySeparatingStrings(nullptr, path, CFSTR("/")));
    ASSERT_EQ(5, CFArrayGetCount(parts));
    EXPECT_EQ("ABC", Utf8(static_cast<CFStringRef>(CFArrayGetValueAtIndex(parts, 3))));
    CFRef<CFStringRef> joined(CFStringCreateByCombiningStrings(nullptr, parts, CFSTR("/")));
    EXPECT_TRUE(CFEqual(joined, path));

    CFRef<CFMutableStringRef> name(CFStringCreateMutableCopy(nullptr, 0, CFSTR("PCI Ethernet Slot %2$@, Port %3$@")));
    EXPECT_EQ(1, CFStringFindAndReplace(name, CFSTR("%2$@"), CFSTR("2"), CFRangeMake(0, CFStringGetLength(name)), 0));
    EXPECT_EQ("PCI Ethernet Slot 2, Port %3$@", Utf8(name));
    CFStringLowercase(name, nullptr);
    EXPECT_EQ("pci ethernet slot 2, port %3$@", Utf8(name));
    CFRef<CFStringRef> number(Str("  -42x"));
    EXPECT_EQ(-42, CFStringGetIntValue(number));
}

TEST(StringMutationTest, ImmutableStringsAndBadRangesAreRefusedWithoutHarm)
{
    CFRef<CFStringRef> fixed(Str("fixed"));
    CFStringAppend(const_cast<CFMutableStringRef>(fixed.get()), CFSTR("!"));
    EXPECT_EQ("fixed", Utf8(fixed));
    CFRef<CFMutableStringRef> m(CFStringCreateMutableCopy(nullptr, 0, fixed));
    CFStringReplace(m, CFRangeMake(3, 10), CFSTR("x"));
    EXPECT_EQ("fixed", Utf8(m));
    EXPECT_EQ(nullptr, CFStringCreateWithSubstring(nullptr, fixed, CFRangeMake(4, 2)));
    CFRef<CFStringRef> copy(CFStringCreateCopy(nullptr, fixed));
    EXPECT_EQ(fixed.get(), copy.get());  // an immutable string copies to itself
    CFRef<CFStringRef> frozen(CFStringCreateCopy(nullptr, m));
    EXPECT_NE(static_cast<CFStringRef>(m.get()), frozen.get());
}

}  // namespace
