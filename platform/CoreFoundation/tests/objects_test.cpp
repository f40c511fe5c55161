// Retain counts, equality across storages and types, number conversions, the creation-failure
// seam and the classes other stand-ins register.
#include "PlatformTesting.h"
#include "TestSupport.h"

#include <CoreFoundation/CFStandIn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
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
    EXPECT_EQ(kCFCompareLessThan, CFNumberCompare(a, c, nullptr));
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
    CFStringAppendCString(built, "\xC3\xA9", kCFStringEncodingUTF8);  // forces 16-bit storage
    CFStringDelete(built, CFRangeMake(3, 1));
    CFStringAppend(built, CFSTR("em"));
    EXPECT_TRUE(CFEqual(eight, sixteen));
    EXPECT_TRUE(CFEqual(eight, built));
    EXPECT_TRUE(CFEqual(CFSTR("modem"), built));
    EXPECT_EQ(CFHash(eight), CFHash(sixteen));
    EXPECT_EQ(CFHash(eight), CFHash(built));
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

TEST_F(NumberTest, GetValueReportsLossyConversions)
{
    CFRef<CFNumberRef> half(Real(3.5));
    int32_t i32 = 0;
    EXPECT_FALSE(CFNumberGetValue(half, kCFNumberSInt32Type, &i32));
    EXPECT_EQ(3, i32);
    CFRef<CFNumberRef> big(Int(300));
    int8_t i8 = 0;
    EXPECT_FALSE(CFNumberGetValue(big, kCFNumberSInt8Type, &i8));
    int16_t i16 = 0;
    EXPECT_TRUE(CFNumberGetValue(big, kCFNumberSInt16Type, &i16));
    EXPECT_EQ(300, i16);
    CFRef<CFNumberRef> odd(Int((1LL << 53) + 1));
    double d = 0;
    EXPECT_FALSE(CFNumberGetValue(odd, kCFNumberDoubleType, &d));
    float f = 0;
    CFRef<CFNumberRef> tenth(Real(0.1));
    EXPECT_FALSE(CFNumberGetValue(tenth, kCFNumberFloatType, &f));
    EXPECT_TRUE(CFNumberGetValue(tenth, kCFNumberDoubleType, &d));
    EXPECT_EQ(0.1, d);
    CFRef<CFNumberRef> whole(Real(42.0));
    long l = 0;
    EXPECT_TRUE(CFNumberGetValue(whole, kCFNumberLongType, &l));
    EXPECT_EQ(42, l);
    CFRef<CFNumberRef> nan(Real(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(CFNumberGetValue(nan, kCFNumberSInt64Type, &l));
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
    url.reset(CFURLCreateWithFileSystemPath(nullptr, CFSTR("/etc/hostname"), kCFURLPOSIXPathStyle, false));
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
    CFRef<CFStringRef> name(CFCopyTypeIDDescription(widgetType));
    EXPECT_EQ("Widget", Utf8(name));
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

using UUIDTest = CoreFoundationTest;

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

// The description made from the domain and code carries the typographic apostrophe as one
// character (U+2019), not as the three bytes of its UTF-8 form.
TEST_F(ErrorTest, DescriptionWithoutTextNamesTheDomainAndCode)
{
    CFRef<CFErrorRef> plain(CFErrorCreate(nullptr, kCFErrorDomainPOSIX, 2, nullptr));
    CFRef<CFStringRef> text(CFErrorCopyDescription(plain));
    EXPECT_EQ("The operation couldn\xE2\x80\x99t be completed. (NSPOSIXErrorDomain error 2.)", Utf8(text));
    EXPECT_EQ(0x2019, CFStringGetCharacterAtIndex(text, 20));
}

}  // namespace
