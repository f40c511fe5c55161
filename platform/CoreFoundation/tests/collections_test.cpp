// Arrays, dictionaries and sets: stable sorting, insertion indexes, insertion-order enumeration,
// custom callbacks.
#include "PlatformTesting.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

CFComparisonResult ByFirstChar(const void *a, const void *b, void *)
{
    UniChar x = CFStringGetCharacterAtIndex(static_cast<CFStringRef>(a), 0);
    UniChar y = CFStringGetCharacterAtIndex(static_cast<CFStringRef>(b), 0);
    return x < y ? kCFCompareLessThan : (x > y ? kCFCompareGreaterThan : kCFCompareEqualTo);
}

CFComparisonResult ByNumber(const void *a, const void *b, void *)
{
    return CFNumberCompare(static_cast<CFNumberRef>(a), static_cast<CFNumberRef>(b), nullptr);
}

CFComparisonResult Random(const void *, const void *, void *context)
{
    auto *rng = static_cast<std::mt19937 *>(context);
    return static_cast<CFComparisonResult>((*rng)() % 3) - 1;
}

std::vector<std::string> Texts(CFArrayRef array)
{
    std::vector<std::string> out;
    for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) {
        out.push_back(Utf8(static_cast<CFStringRef>(CFArrayGetValueAtIndex(array, i))));
    }
    return out;
}

TEST(ArrayTest, SortIsStableAndSafeWithAnyComparator)
{
    CFRef<CFMutableArrayRef> a(NewArray());
    for (const char *s : {"b1", "a1", "b2", "c1", "a2", "b3", "a3"}) {
        CFRef<CFStringRef> v(Str(s));
        CFArrayAppendValue(a, v);
    }
    CFArraySortValues(a, CFRangeMake(0, CFArrayGetCount(a)), ByFirstChar, nullptr);
    EXPECT_EQ((std::vector<std::string>{"a1", "a2", "a3", "b1", "b2", "b3", "c1"}), Texts(a));

    std::mt19937 rng(7);
    CFRef<CFMutableArrayRef> many(NewArray());
    for (int i = 0; i < 200; ++i) {
        CFRef<CFNumberRef> n(Int(i));
        CFArrayAppendValue(many, n);
    }
    CFArraySortValues(many, CFRangeMake(0, 200), Random, &rng);  // nonsense order, but no harm
    EXPECT_EQ(200, CFArrayGetCount(many));
    CFArraySortValues(many, CFRangeMake(0, 200), ByNumber, nullptr);
    for (CFIndex i = 0; i < 200; ++i) {
        long v = -1;
        CFNumberGetValue(static_cast<CFNumberRef>(CFArrayGetValueAtIndex(many, i)), kCFNumberLongType, &v);
        EXPECT_EQ(i, v);
    }
}

TEST(ArrayTest, BinarySearchReturnsTheInsertionIndex)
{
    CFRef<CFMutableArrayRef> a(NewArray());
    for (long v : {10L, 30L, 30L, 50L}) {
        CFRef<CFNumberRef> n(Int(v));
        CFArrayAppendValue(a, n);
    }
    auto search = [&](long v) {
        CFRef<CFNumberRef> n(Int(v));
        return CFArrayBSearchValues(a, CFRangeMake(0, 4), n, ByNumber, nullptr);
    };
    EXPECT_EQ(0, search(5));
    EXPECT_EQ(0, search(10));
    EXPECT_EQ(1, search(20));
    EXPECT_EQ(1, search(30));
    EXPECT_EQ(3, search(40));
    EXPECT_EQ(4, search(60));
    CFRef<CFNumberRef> n(Int(60));
    EXPECT_EQ(2, CFArrayBSearchValues(a, CFRangeMake(1, 1), n, ByNumber, nullptr));
}

TEST(ArrayTest, EditingAndLookUp)
{
    CFRef<CFMutableArrayRef> a(NewArray());
    CFArrayAppendValue(a, CFSTR("x"));
    CFArrayInsertValueAtIndex(a, 0, CFSTR("w"));
    CFArraySetValueAtIndex(a, 2, CFSTR("y"));  // at the end: appends
    CFRef<CFStringRef> x(Str("x"));
    EXPECT_EQ(1, CFArrayGetFirstIndexOfValue(a, CFRangeMake(0, 3), x));
    EXPECT_TRUE(CFArrayContainsValue(a, CFRangeMake(0, 3), x));
    EXPECT_FALSE(CFArrayContainsValue(a, CFRangeMake(2, 1), x));
    const void *values[] = {CFSTR("p"), CFSTR("q")};
    CFArrayReplaceValues(a, CFRangeMake(0, 2), values, 2);
    EXPECT_EQ((std::vector<std::string>{"p", "q", "y"}), Texts(a));
    CFArrayExchangeValuesAtIndices(a, 0, 2);
    EXPECT_EQ((std::vector<std::string>{"y", "q", "p"}), Texts(a));
    EXPECT_EQ(nullptr, CFArrayGetValueAtIndex(a, 3));  // refused, not a crash
    CFRef<CFArrayRef> frozen(CFArrayCreateCopy(nullptr, a));
    CFArrayAppendValue(const_cast<CFMutableArrayRef>(frozen.get()), CFSTR("z"));
    EXPECT_EQ(3, CFArrayGetCount(frozen));
    EXPECT_TRUE(CFEqual(frozen, a));
}

void CollectKeys(const void *key, const void *, void *context)
{
    static_cast<std::vector<std::string> *>(context)->push_back(Utf8(static_cast<CFStringRef>(key)));
}

TEST(DictionaryTest, EnumerateInInsertionOrderThroughChanges)
{
    CFRef<CFMutableDictionaryRef> d(NewDict());
    for (const char *k : {"zeta", "alpha", "mu", "beta"}) {
        CFRef<CFStringRef> key(Str(k));
        CFDictionarySetValue(d, key, kCFBooleanTrue);
    }
    CFDictionarySetValue(d, CFSTR("alpha"), kCFBooleanFalse);  // keeps its place
    CFDictionaryRemoveValue(d, CFSTR("mu"));
    CFDictionaryAddValue(d, CFSTR("zeta"), kCFBooleanFalse);  // present: unchanged
    CFDictionaryReplaceValue(d, CFSTR("nu"), kCFBooleanFalse);  // absent: unchanged
    CFDictionarySetValue(d, CFSTR("mu"), kCFBooleanTrue);
    std::vector<std::string> keys;
    CFDictionaryApplyFunction(d, CollectKeys, &keys);
    EXPECT_EQ((std::vector<std::string>{"zeta", "alpha", "beta", "mu"}), keys);
    EXPECT_EQ(kCFBooleanFalse, CFDictionaryGetValue(d, CFSTR("alpha")));
    EXPECT_EQ(kCFBooleanTrue, CFDictionaryGetValue(d, CFSTR("zeta")));
    const void *k[4];
    const void *v[4];
    CFDictionaryGetKeysAndValues(d, k, v);
    EXPECT_EQ("mu", Utf8(static_cast<CFStringRef>(k[3])));
    EXPECT_EQ(kCFBooleanTrue, v[3]);
}

struct Shortening {
    CFMutableArrayRef array;
    int calls = 0;
};

void RemoveLastWhileVisiting(const void *, void *context)
{
    auto *s = static_cast<Shortening *>(context);
    ++s->calls;
    CFArrayRemoveValueAtIndex(s->array, CFArrayGetCount(s->array) - 1);
}

// An applier that shortens the array it walks ends the walk instead of reading past the end.
TEST(ArrayTest, ApplierThatShortensTheArrayStopsAtItsEnd)
{
    CFRef<CFMutableArrayRef> a(CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks));
    for (int i = 0; i < 4; ++i) {
        CFArrayAppendValue(a, kCFBooleanTrue);
    }
    Shortening s{a};
    CFArrayApplyFunction(a, CFRangeMake(0, 4), RemoveLastWhileVisiting, &s);
    EXPECT_EQ(2, s.calls);
    EXPECT_EQ(2, CFArrayGetCount(a));
}

struct Emptying {
    CFMutableDictionaryRef dict;
    std::vector<std::string> seen;
};

void RemoveAllWhileVisiting(const void *key, const void *value, void *context)
{
    auto *e = static_cast<Emptying *>(context);
    CFDictionaryRemoveAllValues(e->dict);  // the dictionary held the only references
    e->seen.push_back(Utf8(static_cast<CFStringRef>(key)) + "=" + Utf8(static_cast<CFStringRef>(value)));
}

// An applier that changes the dictionary it walks still gets every entry of the snapshot alive.
TEST(DictionaryTest, ApplierThatEmptiesTheDictionaryStillSeesLiveEntries)
{
    CFRef<CFMutableDictionaryRef> d(NewDict());
    for (const char *k : {"one", "two", "three"}) {
        CFStringRef key = Str(k);
        CFStringRef value = CFStringCreateWithFormat(nullptr, nullptr, CFSTR("v-%@"), key);
        CFDictionarySetValue(d, key, value);
        CFRelease(key);
        CFRelease(value);
    }
    long before = PlatformTestingCFLiveObjectCount();
    Emptying e{d, {}};
    CFDictionaryApplyFunction(d, RemoveAllWhileVisiting, &e);
    EXPECT_EQ((std::vector<std::string>{"one=v-one", "two=v-two", "three=v-three"}), e.seen);
    EXPECT_EQ(0, CFDictionaryGetCount(d));
    EXPECT_EQ(before - 6, PlatformTestingCFLiveObjectCount());
}

TEST(DictionaryTest, ManyEntriesSurviveGrowthAndRemoval)
{
    CFRef<CFMutableDictionaryRef> d(NewDict());
    for (long i = 0; i < 2000; ++i) {
        CFRef<CFNumberRef> key(Int(i));
        CFRef<CFStringRef> value(CFStringCreateWithFormat(nullptr, nullptr, CFSTR("v%ld"), i));
        CFDictionarySetValue(d, key, value);
    }
    for (long i = 0; i < 2000; i += 2) {
        CFRef<CFNumberRef> key(Int(i));
        CFDictionaryRemoveValue(d, key);
    }
    EXPECT_EQ(1000, CFDictionaryGetCount(d));
    for (long i = 0; i < 2000; ++i) {
        CFRef<CFNumberRef> key(Int(i));
        const void *value = nullptr;
        bool present = CFDictionaryGetValueIfPresent(d, key, &value);
        ASSERT_EQ(i % 2 == 1, present) << i;
        if (present) {
            EXPECT_EQ("v" + std::to_string(i), Utf8(static_cast<CFStringRef>(value)));
        }
    }
    CFRef<CFNumberRef> asReal(Real(1999.0));
    EXPECT_TRUE(CFDictionaryContainsKey(d, asReal));  // 1999.0 equals the integer key 1999
    CFDictionaryRemoveAllValues(d);
    EXPECT_EQ(0, CFDictionaryGetCount(d));
}

TEST(DictionaryTest, PlainPointerCallbacksCompareByIdentity)
{
    static int a = 1;
    static int b = 1;
    CFRef<CFMutableDictionaryRef> d(CFDictionaryCreateMutable(nullptr, 0, nullptr, nullptr));
    CFDictionarySetValue(d, &a, &b);
    EXPECT_EQ(&b, CFDictionaryGetValue(d, &a));
    EXPECT_FALSE(CFDictionaryContainsKey(d, &b));
    CFRef<CFStringRef> key(Str("copied"));
    CFRef<CFMutableStringRef> mutableKey(CFStringCreateMutableCopy(nullptr, 0, key));
    CFRef<CFMutableDictionaryRef> c(
        CFDictionaryCreateMutable(nullptr, 0, &kCFCopyStringDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    CFDictionarySetValue(c, mutableKey, kCFBooleanTrue);
    CFStringAppend(mutableKey, CFSTR("-changed"));
    EXPECT_TRUE(CFDictionaryContainsKey(c, key));  // the key was copied, not retained
    EXPECT_EQ(1, CFGetRetainCount(mutableKey));
}

TEST(SetTest, HoldDistinctValues)
{
    CFRef<CFMutableSetRef> s(CFSetCreateMutable(nullptr, 0, &kCFTypeSetCallBacks));
    CFRef<CFStringRef> one(Str("svc-1"));
    CFSetAddValue(s, one);
    CFSetAddValue(s, CFSTR("svc-1"));
    CFSetAddValue(s, CFSTR("svc-2"));
    EXPECT_EQ(2, CFSetGetCount(s));
    EXPECT_TRUE(CFSetContainsValue(s, CFSTR("svc-2")));
    EXPECT_EQ(one.get(), CFSetGetValue(s, CFSTR("svc-1")));
    CFSetRemoveValue(s, one);
    EXPECT_EQ(1, CFGetRetainCount(one));
    EXPECT_FALSE(CFSetContainsValue(s, one));
    CFRef<CFSetRef> copy(CFSetCreateCopy(nullptr, s));
    EXPECT_TRUE(CFEqual(copy, s));
}

}  // namespace
