// MoreCFQ: status and reference helpers, blocks, container constructors, numbers and merge.
#include "MoreCFQ.h"

#include "CFQTestSupport.h"

#include <cstring>

using namespace cfqtest;
using namespace standintest;

namespace {

class CFQContainers : public SeamTest {};

TEST_F(CFQContainers, StatusHelpersAndNullTolerantReferences)
{
    EXPECT_EQ(CFQErrorBoolean(true), noErr);
    EXPECT_EQ(CFQErrorBoolean(false), -4960);
    int something = 0;
    EXPECT_EQ(CFQError(&something), noErr);
    EXPECT_EQ(CFQError(nullptr), -4960);

    EXPECT_EQ(CFQRetain(nullptr), nullptr);
    CFQRelease(nullptr);  // ignored

    CFRef<CFStringRef> str(Str("retained"));
    CFIndex before = CFGetRetainCount(str);
    EXPECT_EQ(CFQRetain(str), str.get());
    EXPECT_EQ(CFGetRetainCount(str), before + 1);
    CFQRelease(str);
    EXPECT_EQ(CFGetRetainCount(str), before);
}

TEST_F(CFQContainers, AllocateNeverYieldsAnEmptyBlock)
{
    void *block = nullptr;
    ASSERT_EQ(CFQAllocate(0, &block), noErr);
    ASSERT_NE(block, nullptr);
    static_cast<char *>(block)[0] = 'x';  // the one byte is usable
    CFQDeallocate(block);

    block = nullptr;
    ASSERT_EQ(CFQAllocate(4096, &block), noErr);
    std::memset(block, 0x5A, 4096);
    CFQDeallocate(block);

    block = nullptr;
    PlatformTestingCFFailNthCreation(1);
    EXPECT_EQ(CFQAllocate(16, &block), -108);
    EXPECT_EQ(block, nullptr);
}

TEST_F(CFQContainers, MutableContainersUseTheStandardCallbacks)
{
    CFRef<CFMutableDictionaryRef> dict;
    ASSERT_EQ(CFQDictionaryCreateMutable(dict.slot()), noErr);
    CFRef<CFMutableArrayRef> array;
    ASSERT_EQ(CFQArrayCreateMutable(array.slot()), noErr);
    CFRef<CFNumberRef> value(Num(7));
    CFIndex before = CFGetRetainCount(value);
    CFDictionarySetValue(dict, CFSTR("key"), value);
    CFArrayAppendValue(array, value);
    EXPECT_EQ(CFGetRetainCount(value), before + 2);
    // Keys are compared by value, not identity.
    CFRef<CFStringRef> sameKey(Str("key"));
    EXPECT_EQ(CFDictionaryGetValue(dict, sameKey), static_cast<const void *>(value.get()));
}

TEST_F(CFQContainers, KeysAndValuesArraysFollowTheDictionary)
{
    CFRef<CFNumberRef> one(Num(1));
    CFRef<CFNumberRef> two(Num(2));
    CFRef<CFNumberRef> three(Num(3));
    CFRef<CFMutableDictionaryRef> dict(Dict({{"a", one}, {"b", two}, {"c", three}}));

    CFRef<CFArrayRef> keys;
    CFRef<CFArrayRef> values;
    ASSERT_EQ(CFQArrayCreateWithDictionaryKeys(dict, keys.slot()), noErr);
    ASSERT_EQ(CFQArrayCreateWithDictionaryValues(dict, values.slot()), noErr);
    ASSERT_EQ(CFArrayGetCount(keys), 3);
    ASSERT_EQ(CFArrayGetCount(values), 3);
    // Keys and values come in the same enumeration order: pairing them rebuilds the dictionary.
    for (CFIndex i = 0; i < 3; i++) {
        EXPECT_TRUE(CFEqual(CFDictionaryGetValue(dict, CFArrayGetValueAtIndex(keys, i)), CFArrayGetValueAtIndex(values, i)));
    }
    CFRef<CFDictionaryRef> rebuilt;
    ASSERT_EQ(CFQDictionaryCreateWithArrayOfKeysAndValues(keys, values, rebuilt.slot()), noErr);
    EXPECT_TRUE(CFEqual(rebuilt, dict));

    // An empty dictionary gives an empty array.
    CFRef<CFMutableDictionaryRef> empty(Dict({}));
    CFRef<CFArrayRef> noKeys;
    ASSERT_EQ(CFQArrayCreateWithDictionaryKeys(empty, noKeys.slot()), noErr);
    EXPECT_EQ(CFArrayGetCount(noKeys), 0);
    CFRef<CFArrayRef> noValues;
    ASSERT_EQ(CFQArrayCreateWithDictionaryValues(empty, noValues.slot()), noErr);
    EXPECT_EQ(CFArrayGetCount(noValues), 0);
}

TEST_F(CFQContainers, DictionaryFromArraysOfDifferentLengthsIsRefused)
{
    CFRef<CFStringRef> a(Str("a"));
    CFRef<CFStringRef> b(Str("b"));
    CFRef<CFMutableArrayRef> keys(Array({a, b}));
    CFRef<CFMutableArrayRef> values(Array({a}));
    CFRef<CFDictionaryRef> dict;
    EXPECT_EQ(CFQDictionaryCreateWithArrayOfKeysAndValues(keys, values, dict.slot()), -50);
    EXPECT_EQ(dict.get(), nullptr);

    // Empty arrays make an empty dictionary.
    CFRef<CFMutableArrayRef> none(Array({}));
    ASSERT_EQ(CFQDictionaryCreateWithArrayOfKeysAndValues(none, none, dict.slot()), noErr);
    EXPECT_EQ(CFDictionaryGetCount(dict), 0);
}

TEST_F(CFQContainers, SetNumberStoresALongAndReplaces)
{
    CFRef<CFMutableDictionaryRef> dict(Dict({}));
    CFRef<CFStringRef> key(Str("Count"));
    ASSERT_EQ(CFQDictionarySetNumber(dict, key, -5), noErr);
    ASSERT_EQ(CFQDictionarySetNumber(dict, key, 0x123456789AL), noErr);
    CFNumberRef stored = static_cast<CFNumberRef>(CFDictionaryGetValue(dict, key));
    ASSERT_NE(stored, nullptr);
    EXPECT_FALSE(CFNumberIsFloatType(stored));
    EXPECT_EQ(CFNumberGetByteSize(stored), 8);
    EXPECT_EQ(LongValue(stored), 0x123456789AL);
    EXPECT_EQ(CFGetRetainCount(stored), 1) << "the dictionary holds the only reference";

    // A failed number creation leaves the dictionary as it was.
    PlatformTestingCFFailNthCreation(1);
    EXPECT_EQ(CFQDictionarySetNumber(dict, key, 99), -4960);
    EXPECT_EQ(LongValue(CFDictionaryGetValue(dict, key)), 0x123456789AL);
}

TEST_F(CFQContainers, MergeReplacesSharedKeysKeepsOthersAndIsOneLevelDeep)
{
    CFRef<CFNumberRef> one(Num(1));
    CFRef<CFNumberRef> two(Num(2));
    CFRef<CFNumberRef> three(Num(3));
    CFRef<CFMutableDictionaryRef> dstInner(Dict({{"x", one}, {"y", two}}));
    CFRef<CFMutableDictionaryRef> srcInner(Dict({{"z", three}}));
    CFRef<CFMutableDictionaryRef> dst(Dict({{"keep", one}, {"shared", one}, {"inner", dstInner}}));
    CFRef<CFMutableDictionaryRef> src(Dict({{"shared", two}, {"new", three}, {"inner", srcInner}}));

    EXPECT_EQ(CFQDictionaryMerge(dst, src), noErr);
    CFRef<CFStringRef> keep(Str("keep"));
    CFRef<CFStringRef> shared(Str("shared"));
    CFRef<CFStringRef> added(Str("new"));
    CFRef<CFStringRef> inner(Str("inner"));
    EXPECT_EQ(CFDictionaryGetCount(dst), 4);
    EXPECT_EQ(LongValue(CFDictionaryGetValue(dst, keep)), 1);
    EXPECT_EQ(LongValue(CFDictionaryGetValue(dst, shared)), 2);
    EXPECT_EQ(LongValue(CFDictionaryGetValue(dst, added)), 3);
    // The nested dictionary is replaced by the source's own object, not merged into.
    EXPECT_EQ(CFDictionaryGetValue(dst, inner), static_cast<const void *>(srcInner.get()));
    EXPECT_EQ(CFDictionaryGetCount(dstInner), 2);
    // The source is untouched.
    EXPECT_EQ(CFDictionaryGetCount(src), 3);

    // Merging a dictionary into itself changes nothing.
    EXPECT_EQ(CFQDictionaryMerge(dst, dst), noErr);
    EXPECT_EQ(CFDictionaryGetCount(dst), 4);
}

}  // namespace
