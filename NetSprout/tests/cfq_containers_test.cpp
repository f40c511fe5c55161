// MoreCFQ: status and reference helpers, blocks, container constructors, numbers and merge.
#include "MoreCFQ.h"

#include "CFQTestSupport.h"

#include <cstring>

using namespace cfqtest;
using namespace standintest;

namespace {

class CFQContainersTest : public SeamTest {};

TEST_F(CFQContainersTest, StatusHelpersAndNullTolerantReferences)
{
    EXPECT_EQ(noErr, CFQErrorBoolean(true));
    EXPECT_EQ(-4960, CFQErrorBoolean(false));
    int something = 0;
    EXPECT_EQ(noErr, CFQError(&something));
    EXPECT_EQ(-4960, CFQError(nullptr));

    EXPECT_EQ(nullptr, CFQRetain(nullptr));
    CFQRelease(nullptr);  // ignored

    CFRef<CFStringRef> str(Str("retained"));
    CFIndex before = CFGetRetainCount(str);
    EXPECT_EQ(CFQRetain(str), str.get());
    EXPECT_EQ(before + 1, CFGetRetainCount(str));
    CFQRelease(str);
    EXPECT_EQ(before, CFGetRetainCount(str));
}

TEST_F(CFQContainersTest, AllocateNeverYieldsAnEmptyBlock)
{
    void *block = nullptr;
    ASSERT_EQ(noErr, CFQAllocate(0, &block));
    ASSERT_NE(block, nullptr);
    static_cast<char *>(block)[0] = 'x';  // the one byte is usable
    CFQDeallocate(block);

    block = nullptr;
    ASSERT_EQ(noErr, CFQAllocate(4096, &block));
    std::memset(block, 0x5A, 4096);
    CFQDeallocate(block);

    block = nullptr;
    PlatformTestingCFFailNthCreation(1);
    EXPECT_EQ(-108, CFQAllocate(16, &block));
    EXPECT_EQ(nullptr, block);
}

TEST_F(CFQContainersTest, MutableContainersUseTheStandardCallbacks)
{
    CFRef<CFMutableDictionaryRef> dict;
    ASSERT_EQ(noErr, CFQDictionaryCreateMutable(dict.slot()));
    CFRef<CFMutableArrayRef> array;
    ASSERT_EQ(noErr, CFQArrayCreateMutable(array.slot()));
    CFRef<CFNumberRef> value(Num(7));
    CFIndex before = CFGetRetainCount(value);
    CFDictionarySetValue(dict, CFSTR("key"), value);
    CFArrayAppendValue(array, value);
    EXPECT_EQ(before + 2, CFGetRetainCount(value));
    // Keys are compared by value, not identity.
    CFRef<CFStringRef> sameKey(Str("key"));
    EXPECT_EQ(CFDictionaryGetValue(dict, sameKey), static_cast<const void *>(value.get()));
}

TEST_F(CFQContainersTest, KeysAndValuesArraysFollowTheDictionary)
{
    CFRef<CFNumberRef> one(Num(1));
    CFRef<CFNumberRef> two(Num(2));
    CFRef<CFNumberRef> three(Num(3));
    CFRef<CFMutableDictionaryRef> dict(Dict({{"a", one}, {"b", two}, {"c", three}}));

    CFRef<CFArrayRef> keys;
    CFRef<CFArrayRef> values;
    ASSERT_EQ(noErr, CFQArrayCreateWithDictionaryKeys(dict, keys.slot()));
    ASSERT_EQ(noErr, CFQArrayCreateWithDictionaryValues(dict, values.slot()));
    ASSERT_EQ(3, CFArrayGetCount(keys));
    ASSERT_EQ(3, CFArrayGetCount(values));
    // Keys and values come in the same enumeration order: pairing them rebuilds the dictionary.
    for (CFIndex i = 0; i < 3; i++) {
        EXPECT_TRUE(CFEqual(CFDictionaryGetValue(dict, CFArrayGetValueAtIndex(keys, i)), CFArrayGetValueAtIndex(values, i)));
    }
    CFRef<CFDictionaryRef> rebuilt;
    ASSERT_EQ(noErr, CFQDictionaryCreateWithArrayOfKeysAndValues(keys, values, rebuilt.slot()));
    EXPECT_TRUE(CFEqual(rebuilt, dict));

    // An empty dictionary gives an empty array.
    CFRef<CFMutableDictionaryRef> empty(Dict({}));
    CFRef<CFArrayRef> noKeys;
    ASSERT_EQ(noErr, CFQArrayCreateWithDictionaryKeys(empty, noKeys.slot()));
    EXPECT_EQ(0, CFArrayGetCount(noKeys));
    CFRef<CFArrayRef> noValues;
    ASSERT_EQ(noErr, CFQArrayCreateWithDictionaryValues(empty, noValues.slot()));
    EXPECT_EQ(0, CFArrayGetCount(noValues));
}

TEST_F(CFQContainersTest, DictionaryFromArraysOfDifferentLengthsIsRefused)
{
    CFRef<CFStringRef> a(Str("a"));
    CFRef<CFStringRef> b(Str("b"));
    CFRef<CFMutableArrayRef> keys(Array({a, b}));
    CFRef<CFMutableArrayRef> values(Array({a}));
    CFRef<CFDictionaryRef> dict;
    EXPECT_EQ(-50, CFQDictionaryCreateWithArrayOfKeysAndValues(keys, values, dict.slot()));
    EXPECT_EQ(nullptr, dict.get());

    // Empty arrays make an empty dictionary.
    CFRef<CFMutableArrayRef> none(Array({}));
    ASSERT_EQ(noErr, CFQDictionaryCreateWithArrayOfKeysAndValues(none, none, dict.slot()));
    EXPECT_EQ(0, CFDictionaryGetCount(dict));
}

TEST_F(CFQContainersTest, SetNumberStoresALongAndReplaces)
{
    CFRef<CFMutableDictionaryRef> dict(Dict({}));
    CFRef<CFStringRef> key(Str("Count"));
    ASSERT_EQ(noErr, CFQDictionarySetNumber(dict, key, -5));
    ASSERT_EQ(noErr, CFQDictionarySetNumber(dict, key, 0x123456789AL));
    CFNumberRef stored = static_cast<CFNumberRef>(CFDictionaryGetValue(dict, key));
    ASSERT_NE(stored, nullptr);
    EXPECT_FALSE(CFNumberIsFloatType(stored));
    EXPECT_EQ(8, CFNumberGetByteSize(stored));
    EXPECT_EQ(0x123456789AL, LongValue(stored));
    EXPECT_EQ(1, CFGetRetainCount(stored)) << "the dictionary holds the only reference";

    // A failed number creation leaves the dictionary as it was.
    PlatformTestingCFFailNthCreation(1);
    EXPECT_EQ(-4960, CFQDictionarySetNumber(dict, key, 99));
    EXPECT_EQ(0x123456789AL, LongValue(CFDictionaryGetValue(dict, key)));
}

TEST_F(CFQContainersTest, MergeReplacesSharedKeysKeepsOthersAndIsOneLevelDeep)
{
    CFRef<CFNumberRef> one(Num(1));
    CFRef<CFNumberRef> two(Num(2));
    CFRef<CFNumberRef> three(Num(3));
    CFRef<CFMutableDictionaryRef> dstInner(Dict({{"x", one}, {"y", two}}));
    CFRef<CFMutableDictionaryRef> srcInner(Dict({{"z", three}}));
    CFRef<CFMutableDictionaryRef> dst(Dict({{"keep", one}, {"shared", one}, {"inner", dstInner}}));
    CFRef<CFMutableDictionaryRef> src(Dict({{"shared", two}, {"new", three}, {"inner", srcInner}}));

    EXPECT_EQ(noErr, CFQDictionaryMerge(dst, src));
    CFRef<CFStringRef> keep(Str("keep"));
    CFRef<CFStringRef> shared(Str("shared"));
    CFRef<CFStringRef> added(Str("new"));
    CFRef<CFStringRef> inner(Str("inner"));
    EXPECT_EQ(4, CFDictionaryGetCount(dst));
    EXPECT_EQ(1, LongValue(CFDictionaryGetValue(dst, keep)));
    EXPECT_EQ(2, LongValue(CFDictionaryGetValue(dst, shared)));
    EXPECT_EQ(3, LongValue(CFDictionaryGetValue(dst, added)));
    // The nested dictionary is replaced by the source's own object, not merged into.
    EXPECT_EQ(CFDictionaryGetValue(dst, inner), static_cast<const void *>(srcInner.get()));
    EXPECT_EQ(2, CFDictionaryGetCount(dstInner));
    // The source is untouched.
    EXPECT_EQ(3, CFDictionaryGetCount(src));

    // Merging a dictionary into itself changes nothing.
    EXPECT_EQ(noErr, CFQDictionaryMerge(dst, dst));
    EXPECT_EQ(4, CFDictionaryGetCount(dst));
}

}  // namespace
