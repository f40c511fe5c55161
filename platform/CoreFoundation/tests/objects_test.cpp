// Retain counts, equality across storages and types, numbers, booleans, dates, UUIDs, errors,
// allocators and descriptions, the creation-failure seam and the classes other stand-ins register.
#include "TestSupport.h"

#include <CoreFoundation/CFStandIn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

using RetainCountTest = CoreFoundationTest;

TEST_F(RetainCountTest, ContainersRetainWhatTheyHoldAndReleaseItOnRemovalAndFree)
{
    CFRef<CFStringRef> value(Str("value"));
    CFRef<CFStringRef> key(Str("key"));
    ASSERT_EQ(1, CFGetRetainCount(value));
    {
        CFRef<CFMutableArrayRef> array(NewArray());
        CFArrayAppendValue(array, value);
        CFArrayAppendValue(array, value);
        EXPECT_EQ(3, CFGetRetainCount(value));
        CFArrayRemoveValueAtIndex(array, 0);
        EXPECT_EQ(2, CFGetRetainCount(value));

        CFRef<CFMutableDictionaryRef> dict(NewDict());
        CFDictionarySetValue(dict, key, value);
        EXPECT_EQ(3, CFGetRetainCount(value));
        EXPECT_EQ(2, CFGetRetainCount(key));
        // Storing the value already there retains before it releases: nothing is freed.
        CFDictionarySetValue(dict, key, value);
        EXPECT_EQ(3, CFGetRetainCount(value));

        CFRef<CFMutableDictionaryRef> shallow(CFDictionaryCreateMutableCopy(nullptr, 0, dict));
        EXPECT_EQ(4, CFGetRetainCount(value));
        CFDictionaryRemoveValue(dict, key);
        EXPECT_EQ(3, CFGetRetainCount(value));
        EXPECT_EQ(2, CFGetRetainCount(key));
    }
    EXPECT_EQ(1, CFGetRetainCount(value));
    EXPECT_EQ(1, CFGetRetainCount(key));
}

TEST_F(RetainCountTest, StoringTheOnlyReferenceAgainKeepsTheValueAlive)
{
    CFRef<CFMutableDictionaryRef> dict(NewDict());
    CFStringRef value = Str("only");
    CFDictionarySetValue(dict, CFSTR("k"), value);
    CFRelease(value);  // the dictionary holds the last reference
    ASSERT_EQ(1, CFGetRetainCount(value));
    CFDictionarySetValue(dict, CFSTR("k"), value);
    EXPECT_EQ(1, CFGetRetainCount(value));
    EXPECT_EQ("only", Utf8(static_cast<CFStringRef>(CFDictionaryGetValue(dict, CFSTR("k")))));
}

TEST_F(RetainCountTest, DeepCopiesShareImmutableLeavesAndCopyEveryContainer)
{
    CFRef<CFStringRef> leaf(Str("leaf"));
    CFRef<CFNumberRef> number(Int(7));
    CFRef<CFMutableDictionaryRef> inner(NewDict());
    CFDictionarySetValue(inner, CFSTR("n"), number);
    CFRef<CFMutableDictionaryRef> outer(NewDict());
    CFDictionarySetValue(outer, CFSTR("s"), leaf);
    CFDictionarySetValue(outer, CFSTR("inner"), inner);

    {
        CFRef<CFDictionaryRef> copy(static_cast<CFDictionaryRef>(
            CFPropertyListCreateDeepCopy(nullptr, outer, kCFPropertyListImmutable)));
        ASSERT_NE(nullptr, copy.get());
        EXPECT_TRUE(CFEqual(copy, outer));
        // The test's reference, the original dictionary's and the copy's.
        EXPECT_EQ(3, CFGetRetainCount(leaf));
        EXPECT_EQ(3, CFGetRetainCount(number));
        EXPECT_NE(CFDictionaryGetValue(copy, CFSTR("inner")), inner.get());
        EXPECT_EQ(2, CFGetRetainCount(inner));
        // An immutable copy refuses changes.
        CFDictionarySetValue(const_cast<CFMutableDictionaryRef>(copy.get()), CFSTR("x"), leaf);
        EXPECT_EQ(2, CFDictionaryGetCount(copy));
    }
    EXPECT_EQ(2, CFGetRetainCount(leaf));
    {
        CFRef<CFMutableDictionaryRef> copy(static_cast<CFMutableDictionaryRef>(const_cast<void *>(
            CFPropertyListCreateDeepCopy(nullptr, outer, kCFPropertyListMutableContainersAndLeaves))));
        CFTypeRef copiedLeaf = CFDictionaryGetValue(copy, CFSTR("s"));
        EXPECT_NE(copiedLeaf, leaf.get());
        EXPECT_EQ(2, CFGetRetainCount(leaf));
        CFStringAppend(static_cast<CFMutableStringRef>(const_cast<void *>(copiedLeaf)), CFSTR("!"));
        EXPECT_EQ("leaf!", Utf8(static_cast<CFStringRef>(copiedLeaf)));
        CFDictionarySetValue(copy, CFSTR("x"), leaf);
        EXPECT_EQ(3, CFDictionaryGetCount(copy));
    }
}

TEST_F(RetainCountTest, ConstantsAreShared)
{
    EXPECT_EQ(CFSTR("modem"), CFSTR("modem"));
    CFIndex before = CFGetRetainCount(kCFBooleanTrue);
    CFRelease(CFRetain(kCFBooleanTrue));
    CFRelease(CFSTR("modem"));
    EXPECT_EQ(before, CFGetRetainCount(kCFBooleanTrue));
    EXPECT_EQ(CFStringGetTypeID(), CFGetTypeID(CFSTR("x")));
}

using EqualityTest = CoreFoundationTest;

TEST_F(EqualityTest, NumbersCompareByValueAcrossTypesButBooleansAreNeverNumbers)
{
    int32_t three = 3;
    double threeReal = 3.0;
    double threeAndHalf = 3.5;
    int64_t one = 1;
    CFRef<CFNumberRef> a(CFNumberCreate(nullptr, kCFNumberSInt32Type, &three));
    CFRef<CFNumberRef> b(CFNumberCreate(nullptr, kCFNumberDoubleType, &threeReal));
    CFRef<CFNumberRef> c(CFNumberCreate(nullptr, kCFNumberDoubleType, &threeAndHalf));
    CFRef<CFNumberRef> d(CFNumberCreate(nullptr, kCFNumberSInt64Type, &one));
    EXPECT_TRUE(CFEqual(a, b));
    EXPECT_EQ(CFHash(a), CFHash(b));
    EXPECT_FALSE(CFEqual(a, c));
    EXPECT_FALSE(CFEqual(d, kCFBooleanTrue));
    EXPECT_FALSE(CFEqual(kCFBooleanTrue, d));
    EXPECT_EQ(kCFNumberSInt32Type, CFNumberGetType(a));
    EXPECT_EQ(kCFNumberFloat64Type, CFNumberGetType(b));
    long v = 10;
    CFRef<CFNumberRef> l(CFNumberCreate(nullptr, kCFNumberLongType, &v));
    EXPECT_EQ(kCFNumberSInt64Type, CFNumberGetType(l));
}

TEST_F(EqualityTest, StringsCompareByCharactersWhateverTheirStorage)
{
    const UniChar units[] = {'m', 'o', 'd', 'e', 'm'};
    CFRef<CFStringRef> eight(Str("modem"));
    CFRef<CFStringRef> sixteen(CFStringCreateWithCharacters(nullptr, units, 5));
    CFRef<CFMutableStringRef> built(CFStringCreateMutable(nullptr, 0));
    CFStringAppend(built, CFSTR("mod"));
    CFStringAppendCharacters(built, units + 3, 2);
    EXPECT_TRUE(CFEqual(eight, sixteen));
    EXPECT_TRUE(CFEqual(eight, built));
    EXPECT_TRUE(CFEqual(CFSTR("modem"), built));
    EXPECT_EQ(CFHash(eight), CFHash(sixteen));
    EXPECT_EQ(CFHash(eight), CFHash(built));
    // 8-bit text against UTF-16 text of the same length, and UTF-16 against UTF-16.
    CFRef<CFStringRef> accented(Str("mod\xC3\xA9m"));
    CFRef<CFStringRef> accented2(Str("mod\xC3\xA9m"));
    CFRef<CFStringRef> other(Str("mod\xC3\xA8m"));
    EXPECT_FALSE(CFEqual(eight, accented));
    EXPECT_FALSE(CFEqual(accented, eight));
    EXPECT_TRUE(CFEqual(accented, accented2));
    EXPECT_FALSE(CFEqual(accented, other));
    EXPECT_EQ(CFHash(accented), CFHash(accented2));
}

TEST_F(EqualityTest, DictionariesIgnoreOrder)
{
    CFRef<CFMutableDictionaryRef> a(NewDict());
    CFRef<CFMutableDictionaryRef> b(NewDict());
    CFDictionarySetValue(a, CFSTR("x"), CFSTR("1"));
    CFDictionarySetValue(a, CFSTR("y"), CFSTR("2"));
    CFDictionarySetValue(b, CFSTR("y"), CFSTR("2"));
    CFDictionarySetValue(b, CFSTR("x"), CFSTR("1"));
    EXPECT_TRUE(CFEqual(a, b));
    EXPECT_EQ(CFHash(a), CFHash(b));
    CFDictionarySetValue(b, CFSTR("x"), CFSTR("3"));
    EXPECT_FALSE(CFEqual(a, b));
}

using NumberTest = CoreFoundationTest;

// A value written in the representation of a number type, and read back from it.
void PutAs(CFNumberType type, double value, void *out)
{
    switch (type) {
    case kCFNumberSInt8Type: case kCFNumberCharType: *static_cast<int8_t *>(out) = static_cast<int8_t>(value); break;
    case kCFNumberSInt16Type: case kCFNumberShortType: *static_cast<int16_t *>(out) = static_cast<int16_t>(value); break;
    case kCFNumberSInt32Type: case kCFNumberIntType: *static_cast<int32_t *>(out) = static_cast<int32_t>(value); break;
    case kCFNumberFloat32Type: case kCFNumberFloatType: *static_cast<float *>(out) = static_cast<float>(value); break;
    case kCFNumberFloat64Type: case kCFNumberDoubleType: case kCFNumberCGFloatType: *static_cast<double *>(out) = value; break;
    default: *static_cast<int64_t *>(out) = static_cast<int64_t>(value); break;
    }
}

double ReadAs(CFNumberType type, const void *in)
{
    switch (type) {
    case kCFNumberSInt8Type: case kCFNumberCharType: return *static_cast<const int8_t *>(in);
    case kCFNumberSInt16Type: case kCFNumberShortType: return *static_cast<const int16_t *>(in);
    case kCFNumberSInt32Type: case kCFNumberIntType: return *static_cast<const int32_t *>(in);
    case kCFNumberFloat32Type: case kCFNumberFloatType: return *static_cast<const float *>(in);
    case kCFNumberFloat64Type: case kCFNumberDoubleType: case kCFNumberCGFloatType: return *static_cast<const double *>(in);
    default: return static_cast<double>(*static_cast<const int64_t *>(in));
    }
}

// Every creation type: the storage type and size it gives, and a small value that comes back
// exactly through every type.
TEST_F(NumberTest, EveryTypeKeepsItsStorageAndConvertsSmallValuesExactly)
{
    const struct {
        CFNumberType type;
        CFNumberType storage;
        CFIndex size;
    } types[] = {
        {kCFNumberSInt8Type, kCFNumberSInt8Type, 1},      {kCFNumberCharType, kCFNumberSInt8Type, 1},
        {kCFNumberSInt16Type, kCFNumberSInt16Type, 2},    {kCFNumberShortType, kCFNumberSInt16Type, 2},
        {kCFNumberSInt32Type, kCFNumberSInt32Type, 4},    {kCFNumberIntType, kCFNumberSInt32Type, 4},
        {kCFNumberSInt64Type, kCFNumberSInt64Type, 8},    {kCFNumberLongType, kCFNumberSInt64Type, 8},
        {kCFNumberLongLongType, kCFNumberSInt64Type, 8},  {kCFNumberCFIndexType, kCFNumberSInt64Type, 8},
        {kCFNumberNSIntegerType, kCFNumberSInt64Type, 8}, {kCFNumberFloat32Type, kCFNumberFloat32Type, 4},
        {kCFNumberFloatType, kCFNumberFloat32Type, 4},    {kCFNumberFloat64Type, kCFNumberFloat64Type, 8},
        {kCFNumberDoubleType, kCFNumberFloat64Type, 8},   {kCFNumberCGFloatType, kCFNumberFloat64Type, 8},
    };
    for (const auto &from : types) {
        alignas(8) unsigned char in[8] = {};
        PutAs(from.type, -100, in);
        CFRef<CFNumberRef> n(CFNumberCreate(nullptr, from.type, in));
        ASSERT_NE(nullptr, n.get()) << from.type;
        EXPECT_EQ(from.storage, CFNumberGetType(n)) << from.type;
        EXPECT_EQ(from.size, CFNumberGetByteSize(n)) << from.type;
        bool isFloat = from.storage == kCFNumberFloat32Type || from.storage == kCFNumberFloat64Type;
        EXPECT_EQ(isFloat, CFNumberIsFloatType(n) != 0) << from.type;
        for (const auto &to : types) {
            alignas(8) unsigned char out[8] = {};
            EXPECT_TRUE(CFNumberGetValue(n, to.type, out)) << from.type << " to " << to.type;
            EXPECT_EQ(-100.0, ReadAs(to.type, out)) << from.type << " to " << to.type;
        }
    }
    int value = 1;
    CFRef<CFNumberRef> one(CFNumberCreate(nullptr, kCFNumberIntType, &value));
    EXPECT_EQ(nullptr, CFNumberCreate(nullptr, 0, &value));
    EXPECT_EQ(nullptr, CFNumberCreate(nullptr, kCFNumberMaxType + 1, &value));
    EXPECT_EQ(nullptr, CFNumberCreate(nullptr, kCFNumberIntType, nullptr));
    EXPECT_FALSE(CFNumberGetValue(one, kCFNumberMaxType + 1, &value));
    EXPECT_FALSE(CFNumberGetValue(one, kCFNumberIntType, nullptr));
    EXPECT_FALSE(CFNumberGetValue(nullptr, kCFNumberIntType, &value));
    EXPECT_EQ(0, CFNumberGetType(nullptr));
    EXPECT_EQ(0, CFNumberGetByteSize(nullptr));
    EXPECT_FALSE(CFNumberIsFloatType(nullptr));
}

// Conversions that lose something return false and store the C-style result.
TEST_F(NumberTest, GetValueReportsLossyConversions)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        bool real;
        double value;
        CFNumberType to;
        bool exact;
        double stored;  // NaN: not checked
    } cases[] = {
        {true, 3.5, kCFNumberSInt32Type, false, 3},
        {false, 300, kCFNumberSInt8Type, false, 44},
        {false, 300, kCFNumberSInt16Type, true, 300},
        {false, 9007199254740993.0, kCFNumberDoubleType, false, nan},  // 2^53 + 1
        {false, 16777217, kCFNumberFloatType, false, 16777216},
        {true, 0.1, kCFNumberFloatType, false, nan},
        {true, 0.1, kCFNumberDoubleType, true, 0.1},
        {true, 42.0, kCFNumberLongType, true, 42},
        {true, nan, kCFNumberSInt64Type, false, 0},
        {true, nan, kCFNumberFloatType, true, nan},
        {true, 1e20, kCFNumberSInt32Type, false, 2147483647},
        {true, -1e20, kCFNumberSInt32Type, false, -2147483648.0},
        {true, 2147483647.0, kCFNumberSInt32Type, true, 2147483647},
        {true, 1e19, kCFNumberSInt64Type, false, 9223372036854775807.0},
        {true, -129, kCFNumberSInt8Type, false, -128},
    };
    for (const auto &c : cases) {
        CFRef<CFNumberRef> n(c.real ? Real(c.value) : Int(static_cast<long long>(c.value)));
        if (!c.real && c.value > 9e15) {
            n.reset(Int(9007199254740993LL));
        }
        alignas(8) unsigned char out[8] = {};
        EXPECT_EQ(c.exact, CFNumberGetValue(n, c.to, out) != 0) << c.value << " to " << c.to;
        if (!std::isnan(c.stored)) {
            EXPECT_EQ(c.stored, ReadAs(c.to, out)) << c.value << " to " << c.to;
        }
    }
}

// Numbers compare by value across their types, whole reals hash like the integers they equal,
// and the %@ text is the shortest text that reads back.
TEST_F(NumberTest, EqualityHashesAndTexts)
{
    const double inf = std::numeric_limits<double>::infinity();
    CFRef<CFNumberRef> nan(Real(std::numeric_limits<double>::quiet_NaN()));
    CFRef<CFNumberRef> plusInf(Real(inf));
    CFRef<CFNumberRef> half(Real(0.5));
    CFRef<CFNumberRef> sameHalf(Real(0.5));
    CFRef<CFNumberRef> minusOne(Int(-1));
    EXPECT_TRUE(CFEqual(kCFNumberNaN, nan));
    EXPECT_EQ(CFHash(kCFNumberNaN), CFHash(nan));
    EXPECT_TRUE(CFEqual(kCFNumberPositiveInfinity, plusInf));
    EXPECT_FALSE(CFEqual(kCFNumberPositiveInfinity, kCFNumberNegativeInfinity));
    EXPECT_FALSE(CFEqual(nan, half));
    EXPECT_FALSE(CFEqual(half, nan));
    EXPECT_TRUE(CFEqual(half, sameHalf));
    EXPECT_EQ(CFHash(half), CFHash(sameHalf));
    EXPECT_FALSE(CFEqual(half, minusOne));
    const struct {
        CFNumberRef number;
        const char *text;
    } texts[] = {
        {kCFNumberNaN, "nan"}, {kCFNumberPositiveInfinity, "+infinity"}, {kCFNumberNegativeInfinity, "-infinity"},
        {half, "0.5"},         {minusOne, "-1"},
    };
    for (const auto &t : texts) {
        EXPECT_EQ(t.text, FormatText(CFSTR("%@"), t.number));
        CFRef<CFStringRef> description(CFCopyDescription(t.number));
        EXPECT_EQ(t.text, Utf8(description));
    }
}

using BooleanTest = CoreFoundationTest;

TEST_F(BooleanTest, TwoConstantsThatAreNeverEqual)
{
    EXPECT_TRUE(CFBooleanGetValue(kCFBooleanTrue));
    EXPECT_FALSE(CFBooleanGetValue(kCFBooleanFalse));
    EXPECT_FALSE(CFBooleanGetValue(nullptr));
    EXPECT_FALSE(CFBooleanGetValue(reinterpret_cast<CFBooleanRef>(CFSTR("true"))));
    EXPECT_FALSE(CFEqual(kCFBooleanTrue, kCFBooleanFalse));
    EXPECT_NE(CFHash(kCFBooleanTrue), CFHash(kCFBooleanFalse));
    EXPECT_EQ(CFBooleanGetTypeID(), CFGetTypeID(kCFBooleanFalse));
    EXPECT_EQ("true false", FormatText(CFSTR("%@ %@"), kCFBooleanTrue, kCFBooleanFalse));
}

using DateTest = CoreFoundationTest;

TEST_F(DateTest, AbsoluteTimesEqualityAndDescriptions)
{
    const struct {
        CFAbsoluteTime at;
        const char *text;
    } dates[] = {
        {0, "2001-01-01 00:00:00 +0000"},
        {-978307200.0, "1970-01-01 00:00:00 +0000"},
        {-992490360.0, "1969-07-20 20:14:00 +0000"},
        {86399.75, "2001-01-01 23:59:59 +0000"},
    };
    for (const auto &d : dates) {
        CFRef<CFDateRef> date(CFDateCreate(nullptr, d.at));
        CFRef<CFDateRef> same(CFDateCreate(nullptr, d.at));
        CFRef<CFDateRef> later(CFDateCreate(nullptr, d.at + 1));
        EXPECT_EQ(d.at, CFDateGetAbsoluteTime(date));
        EXPECT_TRUE(CFEqual(date, same));
        EXPECT_EQ(CFHash(date), CFHash(same));
        EXPECT_FALSE(CFEqual(date, later));
        CFRef<CFStringRef> text(CFCopyDescription(date));
        EXPECT_EQ(d.text, Utf8(text));
    }
    EXPECT_EQ(0, CFDateGetAbsoluteTime(nullptr));
    EXPECT_GT(CFAbsoluteTimeGetCurrent(), 700000000.0);  // after 2023
}

using UUIDTest = CoreFoundationTest;

TEST_F(UUIDTest, RandomUUIDsAreVersion4AndTheirTextReadsBack)
{
    CFRef<CFUUIDRef> a(CFUUIDCreate(nullptr));
    CFRef<CFUUIDRef> b(CFUUIDCreate(nullptr));
    ASSERT_NE(nullptr, a.get());
    EXPECT_FALSE(CFEqual(a, b));
    CFRef<CFStringRef> text(CFUUIDCreateString(nullptr, a));
    std::string t = Utf8(text);
    ASSERT_EQ(36u, t.size());
    EXPECT_EQ('4', t[14]);
    EXPECT_NE(std::string::npos, std::string("89AB").find(t[19]));
    CFRef<CFUUIDRef> back(CFUUIDCreateFromString(nullptr, text));
    EXPECT_TRUE(CFEqual(a, back));
    EXPECT_EQ(CFHash(a), CFHash(back));
    CFRef<CFStringRef> description(CFCopyDescription(a));
    EXPECT_EQ("<CFUUID> " + t, Utf8(description));
    EXPECT_EQ(nullptr, CFUUIDCreateString(nullptr, nullptr));
    EXPECT_EQ(nullptr, CFUUIDCreateString(nullptr, reinterpret_cast<CFUUIDRef>(CFSTR("x"))));
}

// Only the 8-4-4-4-12 text of hexadecimal digits is a UUID; the text form is upper case.
TEST_F(UUIDTest, TextThatIsNotAUUIDIsRefused)
{
    const struct {
        const char *text;
        const char *canonical;  // NULL: refused
    } cases[] = {
        {"0a3f7100-1234-4abc-8def-00000000beef", "0A3F7100-1234-4ABC-8DEF-00000000BEEF"},
        {"FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF", "FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF"},
        {"0a3f7100-1234-4abc-8def-00000000bee", nullptr},     // too short
        {"0a3f7100-1234-4abc-8def-00000000beeff", nullptr},   // too long
        {"0a3f71001-234-4abc-8def-00000000beef", nullptr},    // dash misplaced
        {"0a3f7100-1234-4abc-8def-00000000beeg", nullptr},    // not a digit
        {" a3f7100-1234-4abc-8def-00000000beef", nullptr},    // space
        {"+a3f7100-1234-4abc-8def-00000000beef", nullptr},    // sign
        {"-1-1-1-1-1234-4abc-8def-00000000beef", nullptr},    // signs inside
        {"0x3f7100-1234-4abc-8def-00000000beef", nullptr},    // prefix
        {"0a3f7100_1234_4abc_8def_00000000beef", nullptr},    // not dashes
        {"", nullptr},
    };
    for (const auto &c : cases) {
        CFRef<CFStringRef> text(Str(c.text));
        CFRef<CFUUIDRef> uuid(CFUUIDCreateFromString(nullptr, text));
        if (c.canonical == nullptr) {
            EXPECT_EQ(nullptr, uuid.get()) << c.text;
            continue;
        }
        ASSERT_NE(nullptr, uuid.get()) << c.text;
        CFRef<CFStringRef> back(CFUUIDCreateString(nullptr, uuid));
        EXPECT_EQ(c.canonical, Utf8(back));
    }
    EXPECT_EQ(nullptr, CFUUIDCreateFromString(nullptr, nullptr));
}

using ErrorTest = CoreFoundationTest;

TEST_F(ErrorTest, DescriptionsCodesAndEquality)
{
    CFRef<CFErrorRef> plain(CFErrorCreate(nullptr, kCFErrorDomainPOSIX, 2, nullptr));
    CFRef<CFStringRef> text(CFErrorCopyDescription(plain));
    EXPECT_EQ("The operation couldn\xE2\x80\x99t be completed. (NSPOSIXErrorDomain error 2.)", Utf8(text));
    EXPECT_EQ(2, CFErrorGetCode(plain));
    CFRef<CFMutableDictionaryRef> info(NewDict());
    CFDictionarySetValue(info, kCFErrorDescriptionKey, CFSTR("the file is locked"));
    CFRef<CFErrorRef> described(CFErrorCreate(nullptr, kCFErrorDomainCocoa, 3840, info));
    CFDictionarySetValue(info, kCFErrorDescriptionKey, CFSTR("changed afterwards"));  // the error keeps a copy
    CFRef<CFStringRef> describedText(CFErrorCopyDescription(described));
    EXPECT_EQ("the file is locked", Utf8(describedText));
    CFRef<CFStringRef> viaDescription(CFCopyDescription(described));
    EXPECT_EQ("the file is locked", Utf8(viaDescription));
    CFRef<CFMutableDictionaryRef> notText(NewDict());
    CFDictionarySetValue(notText, kCFErrorDescriptionKey, kCFBooleanTrue);
    CFRef<CFErrorRef> odd(CFErrorCreate(nullptr, kCFErrorDomainOSStatus, -50, notText));
    CFRef<CFStringRef> oddText(CFErrorCopyDescription(odd));
    EXPECT_EQ("The operation couldn\xE2\x80\x99t be completed. (NSOSStatusErrorDomain error -50.)", Utf8(oddText));

    CFRef<CFErrorRef> again(CFErrorCreate(nullptr, kCFErrorDomainPOSIX, 2, nullptr));
    CFRef<CFErrorRef> otherCode(CFErrorCreate(nullptr, kCFErrorDomainPOSIX, 3, nullptr));
    EXPECT_TRUE(CFEqual(plain, again));
    EXPECT_EQ(CFHash(plain), CFHash(again));
    EXPECT_FALSE(CFEqual(plain, otherCode));
    EXPECT_EQ(nullptr, CFErrorCreate(nullptr, nullptr, 1, nullptr));
    EXPECT_EQ(nullptr, CFErrorCopyDescription(nullptr));
    EXPECT_EQ(0, CFErrorGetCode(nullptr));
}

using DataTest = CoreFoundationTest;

TEST_F(DataTest, CopiesMutationAndDescriptions)
{
    const UInt8 bytes[] = {0, 1, 2, 3, 0xFF};
    CFRef<CFDataRef> d(CFDataCreate(nullptr, bytes, 5));
    CFRef<CFStringRef> text(CFCopyDescription(d));
    EXPECT_EQ("<00010203 ff>", Utf8(text));
    CFRef<CFDataRef> copy(CFDataCreateCopy(nullptr, d));
    EXPECT_EQ(d.get(), copy.get());  // immutable data copies to itself
    CFRef<CFMutableDataRef> m(CFDataCreateMutableCopy(nullptr, 0, d));
    CFDataAppendBytes(m, bytes, 2);
    EXPECT_EQ(7, CFDataGetLength(m));
    EXPECT_FALSE(CFEqual(m, d));
    CFRef<CFDataRef> frozen(CFDataCreateCopy(nullptr, m));
    EXPECT_NE(static_cast<CFDataRef>(m.get()), frozen.get());
    EXPECT_TRUE(CFEqual(m, frozen));
    EXPECT_EQ(CFHash(m), CFHash(frozen));
    CFDataAppendBytes(const_cast<CFMutableDataRef>(d.get()), bytes, 1);  // refused
    CFDataAppendBytes(m, nullptr, 3);
    CFDataAppendBytes(m, bytes, -1);
    EXPECT_EQ(5, CFDataGetLength(d));
    EXPECT_EQ(7, CFDataGetLength(m));

    CFRef<CFMutableDataRef> grown(CFDataCreateMutable(nullptr, 1 << 12));
    for (int i = 0; i < 1000; ++i) {
        CFDataAppendBytes(grown, bytes, 5);
    }
    EXPECT_EQ(5000, CFDataGetLength(grown));
    EXPECT_EQ(0xFF, CFDataGetBytePtr(grown)[4999]);
    CFRef<CFDataRef> empty(CFDataCreate(nullptr, nullptr, 0));
    CFRef<CFStringRef> emptyText(CFCopyDescription(empty));
    EXPECT_EQ("<>", Utf8(emptyText));
    EXPECT_EQ(nullptr, CFDataCreate(nullptr, nullptr, 1));
    EXPECT_EQ(nullptr, CFDataCreate(nullptr, bytes, -1));
    EXPECT_EQ(nullptr, CFDataCreateCopy(nullptr, nullptr));
    EXPECT_EQ(nullptr, CFDataCreateMutableCopy(nullptr, 0, nullptr));
    EXPECT_EQ(0, CFDataGetLength(nullptr));
    EXPECT_EQ(nullptr, CFDataGetBytePtr(nullptr));
}

// Data over the caller's bytes: used in place, freed by the deallocator given (the bytes stay
// the caller's with kCFAllocatorNull); a copy of such data owns its bytes.
TEST_F(DataTest, NoCopyDataUsesTheCallersBytes)
{
    UInt8 kept[] = {'a', 'b', 'c'};
    CFRef<CFDataRef> borrowed(CFDataCreateWithBytesNoCopy(nullptr, kept, 3, kCFAllocatorNull));
    EXPECT_EQ(kept, CFDataGetBytePtr(borrowed));
    CFRef<CFDataRef> copy(CFDataCreateCopy(nullptr, borrowed));
    EXPECT_NE(kept, CFDataGetBytePtr(copy));
    kept[0] = 'x';
    EXPECT_EQ("xbc", TextOf(borrowed));
    EXPECT_EQ("abc", TextOf(copy));
    auto *owned = static_cast<UInt8 *>(CFAllocatorAllocate(kCFAllocatorMalloc, 4, 0));
    ASSERT_NE(nullptr, owned);
    std::memcpy(owned, "wxyz", 4);
    CFRef<CFDataRef> adopted(CFDataCreateWithBytesNoCopy(nullptr, owned, 4, kCFAllocatorMalloc));
    EXPECT_EQ("wxyz", TextOf(adopted));
    adopted.reset();  // frees the bytes (the sanitizer build sees a leak or a double free otherwise)
    CFRef<CFDataRef> none(CFDataCreateWithBytesNoCopy(nullptr, nullptr, 0, kCFAllocatorNull));
    EXPECT_EQ(0, CFDataGetLength(none));
    EXPECT_EQ(nullptr, CFDataCreateWithBytesNoCopy(nullptr, nullptr, 2, kCFAllocatorNull));
}

using RuntimeTest = CoreFoundationTest;

// NULL, constants and allocators: every object call has an answer for them.
TEST_F(RuntimeTest, NullConstantsAndAllocators)
{
    EXPECT_EQ(nullptr, CFRetain(nullptr));
    CFRelease(nullptr);
    EXPECT_EQ(0, CFGetRetainCount(nullptr));
    EXPECT_EQ(0u, CFGetTypeID(nullptr));
    EXPECT_EQ(0u, CFHash(nullptr));
    EXPECT_EQ(nullptr, CFCopyDescription(nullptr));
    EXPECT_TRUE(CFEqual(nullptr, nullptr));
    EXPECT_FALSE(CFEqual(nullptr, kCFNull));
    EXPECT_FALSE(CFEqual(kCFNull, nullptr));
    const struct {
        CFTypeRef object;
        const char *text;
    } constants[] = {
        {kCFNull, "<CFNull>"},
        {kCFAllocatorSystemDefault, "<CFAllocator kCFAllocatorSystemDefault>"},
        {kCFAllocatorMalloc, "<CFAllocator kCFAllocatorMalloc>"},
        {kCFAllocatorNull, "<CFAllocator kCFAllocatorNull>"},
    };
    for (const auto &c : constants) {
        CFIndex count = CFGetRetainCount(c.object);
        CFRelease(CFRetain(c.object));
        CFRelease(c.object);  // constants live forever
        EXPECT_EQ(count, CFGetRetainCount(c.object));
        CFRef<CFStringRef> text(CFCopyDescription(c.object));
        EXPECT_EQ(c.text, Utf8(text));
        EXPECT_EQ(c.text, FormatText(CFSTR("%@"), c.object));
    }
    EXPECT_EQ(CFHash(kCFNull), CFHash(kCFNull));
    EXPECT_EQ(nullptr, CFAllocatorAllocate(kCFAllocatorNull, 16, 0));
    EXPECT_EQ(nullptr, CFAllocatorAllocate(nullptr, -1, 0));
    void *block = CFAllocatorAllocate(kCFAllocatorSystemDefault, 16, 0);
    ASSERT_NE(nullptr, block);
    CFAllocatorDeallocate(kCFAllocatorNull, block);  // frees nothing
    CFAllocatorDeallocate(kCFAllocatorSystemDefault, block);
}

using CreationSeamTest = CoreFoundationTest;

TEST_F(CreationSeamTest, TheNthCreationFailsOnceAndAllocatesNothing)
{
    long live = PlatformTestingCFLiveObjectCount();
    PlatformTestingCFFailNthCreation(2);
    CFRef<CFStringRef> first(Str("first"));
    EXPECT_NE(nullptr, first.get());
    long afterFirst = PlatformTestingCFLiveObjectCount();
    EXPECT_EQ(live + 1, afterFirst);
    CFStringRef second = Str("second");
    EXPECT_EQ(nullptr, second);
    EXPECT_EQ(afterFirst, PlatformTestingCFLiveObjectCount());
    CFRef<CFStringRef> third(Str("third"));
    EXPECT_NE(nullptr, third.get());
    EXPECT_EQ(1, PlatformTestingCFFailedCreationCount());
    EXPECT_EQ(nullptr, CFAllocatorAllocate(nullptr, 0, 0));
}

TEST_F(CreationSeamTest, NestedCreationsCountOnceAndCannotFailHalfWay)
{
    CFRef<CFMutableDictionaryRef> tree(NewDict());
    CFRef<CFMutableArrayRef> list(NewArray());
    CFArrayAppendValue(list, CFSTR("a"));
    CFDictionarySetValue(tree, CFSTR("list"), list);
    long before = PlatformTestingCFCreationCount();
    CFRef<CFPropertyListRef> copy(CFPropertyListCreateDeepCopy(nullptr, tree, kCFPropertyListMutableContainersAndLeaves));
    EXPECT_EQ(before + 1, PlatformTestingCFCreationCount());
    long live = PlatformTestingCFLiveObjectCount();
    PlatformTestingCFFailNthCreation(1);
    EXPECT_EQ(nullptr, CFPropertyListCreateDeepCopy(nullptr, tree, kCFPropertyListMutableContainersAndLeaves));
    EXPECT_EQ(live, PlatformTestingCFLiveObjectCount());
}

TEST_F(CreationSeamTest, FailingFromTheNthOnFailsEveryLaterCreationUntilReset)
{
    PlatformTestingCFFailCreationsFrom(1);
    EXPECT_EQ(nullptr, CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    EXPECT_EQ(nullptr, CFCopyDescription(CFSTR("x")));
    EXPECT_EQ(nullptr, CFAllocatorAllocate(nullptr, 16, 0));
    SInt32 code = -1;
    CFDataRef data = nullptr;
    CFRef<CFURLRef> url;
    EXPECT_FALSE(CFURLCreateDataAndPropertiesFromResource(nullptr, nullptr, &data, nullptr, nullptr, &code));
    PlatformTestingResetCoreFoundation();
    url.reset(FileURL("/etc/hostname"));
    PlatformTestingCFFailCreationsFrom(1);
    EXPECT_FALSE(CFURLCreateDataAndPropertiesFromResource(nullptr, url, &data, nullptr, nullptr, &code));
    EXPECT_EQ(0, code);
    EXPECT_EQ(nullptr, data);
    PlatformTestingCFFailCreationsFrom(0);
    void *block = CFAllocatorAllocate(nullptr, 16, 0);
    EXPECT_NE(nullptr, block);
    CFAllocatorDeallocate(nullptr, block);
}

struct Widget {
    int *finalized;
};

void FinalizeWidget(CFTypeRef cf) { ++*static_cast<Widget *>(_CFStandInGetStorage(cf))->finalized; }

using StandInClassTest = CoreFoundationTest;

TEST_F(StandInClassTest, RegisteredClassesBehaveAsObjects)
{
    static const CFStandInClass widgetClass = {"Widget", FinalizeWidget, nullptr, nullptr, nullptr};
    static CFTypeID widgetType = _CFStandInRegisterClass(&widgetClass);
    int finalized = 0;
    CFTypeRef widget = _CFStandInCreateInstance(nullptr, widgetType, sizeof(Widget));
    ASSERT_NE(nullptr, widget);
    static_cast<Widget *>(_CFStandInGetStorage(widget))->finalized = &finalized;
    EXPECT_EQ(widgetType, CFGetTypeID(widget));
    CFRetain(widget);
    EXPECT_EQ(2, CFGetRetainCount(widget));
    CFRef<CFStringRef> description(CFCopyDescription(widget));
    EXPECT_EQ(0u, Utf8(description).find("<Widget"));
    CFRelease(widget);
    CFRelease(widget);
    EXPECT_EQ(1, finalized);

    PlatformTestingCFFailNthCreation(1);
    EXPECT_EQ(nullptr, _CFStandInCreateInstance(nullptr, widgetType, sizeof(Widget)));
    PlatformTestingCFFailNthCreation(1);
    EXPECT_FALSE(_CFStandInCreationBegin());
    ASSERT_TRUE(_CFStandInCreationBegin());
    PlatformTestingCFFailNthCreation(1);
    CFRef<CFStringRef> inside(Str("made inside a stand-in's creation"));
    EXPECT_NE(nullptr, inside.get());
    _CFStandInCreationEnd();
}

// A class with its own equality, hash and description: CFEqual, CFHash, CFCopyDescription and
// %@ use them; a description callback that gives nothing falls back to the class name.
struct Tag {
    int value;
};

Boolean SameTag(CFTypeRef a, CFTypeRef b)
{
    return static_cast<Tag *>(_CFStandInGetStorage(a))->value == static_cast<Tag *>(_CFStandInGetStorage(b))->value;
}
CFHashCode HashTag(CFTypeRef cf) { return static_cast<CFHashCode>(static_cast<Tag *>(_CFStandInGetStorage(cf))->value); }
CFStringRef DescribeTag(CFTypeRef cf)
{
    int value = static_cast<Tag *>(_CFStandInGetStorage(cf))->value;
    return value < 0 ? nullptr : CFStringCreateWithFormat(nullptr, nullptr, CFSTR("<Tag %d>"), value);
}

TEST_F(StandInClassTest, ClassCallbacksAnswerForTheirObjects)
{
    static const CFStandInClass tagClass = {"Tag", nullptr, SameTag, HashTag, DescribeTag};
    static CFTypeID tagType = _CFStandInRegisterClass(&tagClass);
    auto make = [](int value) {
        CFTypeRef tag = _CFStandInCreateInstance(nullptr, tagType, sizeof(Tag));
        static_cast<Tag *>(_CFStandInGetStorage(tag))->value = value;
        return tag;
    };
    CFRef<CFTypeRef> a(make(7));
    CFRef<CFTypeRef> b(make(7));
    CFRef<CFTypeRef> c(make(8));
    CFRef<CFTypeRef> silent(make(-1));
    EXPECT_TRUE(CFEqual(a, b));
    EXPECT_FALSE(CFEqual(a, c));
    EXPECT_EQ(7u, CFHash(a));
    EXPECT_EQ("<Tag 7>", FormatText(CFSTR("%@"), a.get()));
    CFRef<CFStringRef> fallback(CFCopyDescription(silent));
    EXPECT_EQ(0u, Utf8(fallback).find("<Tag 0x"));
    EXPECT_EQ(nullptr, _CFStandInCreateInstance(nullptr, tagType, -1));
    EXPECT_EQ(nullptr, _CFStandInCreateInstance(nullptr, 99999, 0));
    EXPECT_EQ(nullptr, _CFStandInGetStorage(CFSTR("not a stand-in object")));
    EXPECT_EQ(nullptr, _CFStandInGetStorage(nullptr));
}

}  // namespace
