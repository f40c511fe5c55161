// Arrays, dictionaries and sets: stable sorting, binary search, look-up, insertion-order
// enumeration, custom callbacks, descriptions, and calls refused without harm.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>
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

CFMutableArrayRef ArrayOf(std::initializer_list<const char *> texts)
{
    CFMutableArrayRef a = NewArray();
    for (const char *text : texts) {
        CFRef<CFStringRef> s(Str(text));
        CFArrayAppendValue(a, s);
    }
    return a;
}

using ArrayTest = CoreFoundationTest;

TEST_F(ArrayTest, SortIsStableAndSafeWithAnyComparator)
{
    CFRef<CFMutableArrayRef> a(ArrayOf({"b1", "a1", "b2", "c1", "a2", "b3", "a3"}));
    CFArraySortValues(a, CFRangeMake(0, CFArrayGetCount(a)), ByFirstChar, nullptr);
    EXPECT_EQ((std::vector<std::string>{"a1", "a2", "a3", "b1", "b2", "b3", "c1"}), Texts(a));
    CFRef<CFMutableArrayRef> part(ArrayOf({"z", "c", "b", "a", "y"}));
    CFArraySortValues(part, CFRangeMake(1, 3), ByFirstChar, nullptr);
    EXPECT_EQ((std::vector<std::string>{"z", "a", "b", "c", "y"}), Texts(part));

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
        EXPECT_EQ(i, LongOf(CFArrayGetValueAtIndex(many, i)));
    }
}

TEST_F(ArrayTest, BinarySearchReturnsTheInsertionIndex)
{
    CFRef<CFMutableArrayRef> a(NewArray());
    for (long v : {10L, 30L, 30L, 50L}) {
        CFRef<CFNumberRef> n(Int(v));
        CFArrayAppendValue(a, n);
    }
    const struct {
        long value;
        CFRange range;
        CFIndex expected;
    } cases[] = {
        {5, {0, 4}, 0},  {10, {0, 4}, 0}, {20, {0, 4}, 1}, {30, {0, 4}, 1},
        {40, {0, 4}, 3}, {60, {0, 4}, 4}, {60, {1, 1}, 2}, {5, {2, 2}, 2},
    };
    for (const auto &c : cases) {
        CFRef<CFNumberRef> n(Int(c.value));
        EXPECT_EQ(c.expected, CFArrayBSearchValues(a, c.range, n, ByNumber, nullptr)) << c.value;
    }
}

TEST_F(ArrayTest, LookUpFindsEqualValuesWithinTheRange)
{
    CFRef<CFMutableArrayRef> a(ArrayOf({"w", "x", "y", "x"}));
    CFRef<CFStringRef> x(Str("x"));
    CFRef<CFStringRef> z(Str("z"));
    EXPECT_EQ(1, CFArrayGetFirstIndexOfValue(a, CFRangeMake(0, 4), x));
    EXPECT_EQ(3, CFArrayGetFirstIndexOfValue(a, CFRangeMake(2, 2), x));
    EXPECT_EQ(kCFNotFound, CFArrayGetFirstIndexOfValue(a, CFRangeMake(0, 4), z));
    EXPECT_EQ(3, CFArrayGetLastIndexOfValue(a, CFRangeMake(0, 4), x));
    EXPECT_EQ(1, CFArrayGetLastIndexOfValue(a, CFRangeMake(0, 3), x));
    EXPECT_EQ(kCFNotFound, CFArrayGetLastIndexOfValue(a, CFRangeMake(2, 1), x));
    const void *values[2] = {};
    CFArrayGetValues(a, CFRangeMake(1, 2), values);
    EXPECT_EQ("x", Utf8(static_cast<CFStringRef>(values[0])));
    EXPECT_EQ("y", Utf8(static_cast<CFStringRef>(values[1])));
    CFArrayRemoveValueAtIndex(a, 0);
    EXPECT_EQ((std::vector<std::string>{"x", "y", "x"}), Texts(a));

    CFRef<CFMutableArrayRef> copy(CFArrayCreateMutableCopy(nullptr, 0, a));
    EXPECT_TRUE(CFEqual(copy, a));
    EXPECT_EQ(CFHash(copy), CFHash(a));
    CFArrayAppendValue(copy, z);
    EXPECT_FALSE(CFEqual(copy, a));
    EXPECT_EQ(3, CFArrayGetCount(a));
}

// Every call with a bad index or range, or that would change an immutable array, is reported and
// changes nothing; the reading calls give their neutral answer.
TEST_F(ArrayTest, BadIndexesRangesAndImmutableArraysAreRefusedWithoutHarm)
{
    CFRef<CFMutableArrayRef> a(ArrayOf({"p", "q", "r"}));
    const void *one[] = {CFSTR("p")};
    CFRef<CFArrayRef> fixed(CFArrayCreate(nullptr, one, 1, &kCFTypeArrayCallBacks));
    auto mutableFixed = const_cast<CFMutableArrayRef>(fixed.get());
    const CFRange bad[] = {{-1, 1}, {0, 4}, {3, 1}, {2, -1}, {4, 0}};
    for (CFRange r : bad) {
        EXPECT_EQ(kCFNotFound, CFArrayGetFirstIndexOfValue(a, r, CFSTR("p")));
        EXPECT_EQ(kCFNotFound, CFArrayGetLastIndexOfValue(a, r, CFSTR("p")));
        EXPECT_EQ(r.location, CFArrayBSearchValues(a, r, CFSTR("p"), ByFirstChar, nullptr));
        const void *values[8] = {};
        CFArrayGetValues(a, r, values);
        EXPECT_EQ(nullptr, values[0]);
        CFArraySortValues(a, r, ByFirstChar, nullptr);
    }
    const std::vector<std::function<void()>> refused = {
        [&] { EXPECT_EQ(nullptr, CFArrayGetValueAtIndex(a, 3)); },
        [&] { EXPECT_EQ(nullptr, CFArrayGetValueAtIndex(a, -1)); },
        [&] { CFArrayRemoveValueAtIndex(a, 3); },
        [&] { CFArraySortValues(a, CFRangeMake(0, 3), nullptr, nullptr); },
        [&] { CFArrayBSearchValues(a, CFRangeMake(0, 3), CFSTR("p"), nullptr, nullptr); },
        [&] { CFArrayAppendValue(mutableFixed, CFSTR("x")); },
        [&] { CFArrayRemoveValueAtIndex(mutableFixed, 0); },
        [&] { CFArraySortValues(mutableFixed, CFRangeMake(0, 1), ByFirstChar, nullptr); },
        [&] { CFArrayAppendValue(nullptr, CFSTR("x")); },
    };
    for (const auto &call : refused) {
        call();
    }
    EXPECT_EQ((std::vector<std::string>{"p", "q", "r"}), Texts(a));
    EXPECT_EQ(1, CFArrayGetCount(fixed));
    EXPECT_EQ(0, CFArrayGetCount(nullptr));
    EXPECT_EQ(nullptr, CFArrayCreate(nullptr, nullptr, 2, &kCFTypeArrayCallBacks));
    EXPECT_EQ(nullptr, CFArrayCreate(nullptr, one, -1, &kCFTypeArrayCallBacks));
    EXPECT_EQ(nullptr, CFArrayCreateMutableCopy(nullptr, 0, nullptr));
}

// Arrays of plain pointers keep them as given, compare them with the equal callback or by identity,
// and describe them with the description callback or by address.
CFStringRef DescribeInt(const void *value) { return CFStringCreateWithFormat(nullptr, nullptr, CFSTR("#%d"), *static_cast<const int *>(value)); }
Boolean SameInt(const void *a, const void *b) { return *static_cast<const int *>(a) == *static_cast<const int *>(b); }

TEST_F(ArrayTest, CustomCallbacksAndDescriptions)
{
    static int values[] = {1, 2, 1};
    const void *pointers[] = {&values[0], &values[1]};
    CFArrayCallBacks described = {0, nullptr, nullptr, DescribeInt, SameInt};
    CFRef<CFArrayRef> custom(CFArrayCreate(nullptr, pointers, 2, &described));
    EXPECT_EQ(0, CFArrayGetFirstIndexOfValue(custom, CFRangeMake(0, 2), &values[2]));  // equal by callback
    CFRef<CFStringRef> text(CFCopyDescription(custom));
    EXPECT_EQ("(\n    #1,\n    #2\n)", Utf8(text));
    CFRef<CFArrayRef> plain(CFArrayCreate(nullptr, pointers, 2, nullptr));
    EXPECT_EQ(kCFNotFound, CFArrayGetFirstIndexOfValue(plain, CFRangeMake(0, 2), &values[2]));  // by identity
    EXPECT_EQ(1, CFArrayGetFirstIndexOfValue(plain, CFRangeMake(0, 2), &values[1]));
    CFRef<CFStringRef> addresses(CFCopyDescription(plain));
    EXPECT_EQ(0u, Utf8(addresses).find("(\n    0x"));
    CFRef<CFArrayRef> empty(CFArrayCreate(nullptr, nullptr, 0, &kCFTypeArrayCallBacks));
    CFRef<CFStringRef> emptyText(CFCopyDescription(empty));
    EXPECT_EQ("()", Utf8(emptyText));
}

void CollectKeys(const void *key, const void *, void *context)
{
    static_cast<std::vector<std::string> *>(context)->push_back(Utf8(static_cast<CFStringRef>(key)));
}

using DictionaryTest = CoreFoundationTest;

TEST_F(DictionaryTest, EnumerateInInsertionOrderThroughChanges)
{
    CFRef<CFMutableDictionaryRef> d(NewDict());
    for (const char *k : {"zeta", "alpha", "mu", "beta"}) {
        CFRef<CFStringRef> key(Str(k));
        CFDictionarySetValue(d, key, kCFBooleanTrue);
    }
    CFDictionarySetValue(d, CFSTR("alpha"), kCFBooleanFalse);  // keeps its place
    CFDictionaryRemoveValue(d, CFSTR("mu"));
    CFDictionaryRemoveValue(d, CFSTR("absent"));
    CFDictionaryAddValue(d, CFSTR("zeta"), kCFBooleanFalse);  // present: unchanged
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
    CFDictionaryGetKeysAndValues(d, nullptr, v);
    CFDictionaryGetKeysAndValues(d, k, nullptr);
    EXPECT_EQ("zeta", Utf8(static_cast<CFStringRef>(k[0])));

    CFRef<CFDictionaryRef> frozen(CFDictionaryCreateCopy(nullptr, d));
    EXPECT_TRUE(CFEqual(frozen, d));
    CFDictionarySetValue(const_cast<CFMutableDictionaryRef>(frozen.get()), CFSTR("new"), kCFBooleanTrue);
    CFDictionaryAddValue(const_cast<CFMutableDictionaryRef>(frozen.get()), CFSTR("new"), kCFBooleanTrue);
    CFDictionaryRemoveValue(const_cast<CFMutableDictionaryRef>(frozen.get()), CFSTR("mu"));
    EXPECT_EQ(4, CFDictionaryGetCount(frozen));
    keys.clear();
    CFDictionaryApplyFunction(frozen, CollectKeys, &keys);
    EXPECT_EQ((std::vector<std::string>{"zeta", "alpha", "beta", "mu"}), keys);
}

struct Emptying {
    CFMutableDictionaryRef dict;
    std::vector<std::string> seen;
};

void RemoveAllWhileVisiting(const void *key, const void *value, void *context)
{
    auto *e = static_cast<Emptying *>(context);
    for (const char *k : {"one", "two", "three"}) {
        CFRef<CFStringRef> gone(Str(k));
        CFDictionaryRemoveValue(e->dict, gone);  // the dictionary held the only references
    }
    e->seen.push_back(Utf8(static_cast<CFStringRef>(key)) + "=" + Utf8(static_cast<CFStringRef>(value)));
}

// An applier that changes the dictionary it walks still gets every entry of the snapshot alive.
TEST_F(DictionaryTest, ApplierThatEmptiesTheDictionaryStillSeesLiveEntries)
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

TEST_F(DictionaryTest, ManyEntriesSurviveGrowthAndRemoval)
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
    CFRef<CFDictionaryRef> copy(CFDictionaryCreateCopy(nullptr, d));
    EXPECT_TRUE(CFEqual(copy, d));
    CFRef<CFMutableDictionaryRef> edited(CFDictionaryCreateMutableCopy(nullptr, 0, d));
    CFRef<CFStringRef> other(Str("other"));
    CFDictionarySetValue(edited, asReal, other);
    EXPECT_FALSE(CFEqual(edited, d));
    EXPECT_EQ(1000, CFDictionaryGetCount(edited));
}

TEST_F(DictionaryTest, PlainPointerAndCopiedStringCallbacks)
{
    static int a = 1;
    static int b = 1;
    CFRef<CFMutableDictionaryRef> d(CFDictionaryCreateMutable(nullptr, 0, nullptr, nullptr));
    CFDictionarySetValue(d, &a, &b);
    EXPECT_EQ(&b, CFDictionaryGetValue(d, &a));
    EXPECT_FALSE(CFDictionaryContainsKey(d, &b));
    CFRef<CFMutableDictionaryRef> same(CFDictionaryCreateMutable(nullptr, 0, nullptr, nullptr));
    CFDictionarySetValue(same, &a, &b);
    EXPECT_TRUE(CFEqual(d, same));
    CFRef<CFStringRef> described(CFCopyDescription(d));
    EXPECT_EQ(0u, Utf8(described).find("{\n    0x"));

    CFRef<CFStringRef> key(Str("copied"));
    CFRef<CFMutableStringRef> mutableKey(CFStringCreateMutableCopy(nullptr, 0, key));
    CFRef<CFMutableDictionaryRef> c(
        CFDictionaryCreateMutable(nullptr, 0, &kCFCopyStringDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    CFDictionarySetValue(c, mutableKey, kCFBooleanTrue);
    CFDictionarySetValue(c, kCFBooleanTrue, kCFBooleanFalse);  // not a string: retained
    CFStringAppend(mutableKey, CFSTR("-changed"));
    EXPECT_TRUE(CFDictionaryContainsKey(c, key));  // the key was copied, not retained
    EXPECT_EQ(1, CFGetRetainCount(mutableKey));
    EXPECT_EQ(kCFBooleanFalse, CFDictionaryGetValue(c, kCFBooleanTrue));
}

TEST_F(DictionaryTest, CreatedFromArraysAndRefusingBadArguments)
{
    const void *keys[] = {CFSTR("a"), CFSTR("b"), CFSTR("a")};
    const void *values[] = {CFSTR("1"), CFSTR("2"), CFSTR("3")};
    CFRef<CFDictionaryRef> d(
        CFDictionaryCreate(nullptr, keys, values, 3, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    EXPECT_EQ(2, CFDictionaryGetCount(d));
    EXPECT_EQ("3", Utf8(static_cast<CFStringRef>(CFDictionaryGetValue(d, CFSTR("a")))));  // the later one wins
    EXPECT_EQ(nullptr, CFDictionaryCreate(nullptr, nullptr, values, 1, nullptr, nullptr));
    EXPECT_EQ(nullptr, CFDictionaryCreate(nullptr, keys, values, -1, nullptr, nullptr));
    EXPECT_EQ(nullptr, CFDictionaryCreateCopy(nullptr, nullptr));
    EXPECT_EQ(nullptr, CFDictionaryCreateMutableCopy(nullptr, 0, nullptr));
    EXPECT_EQ(0, CFDictionaryGetCount(nullptr));
    EXPECT_FALSE(CFDictionaryContainsKey(nullptr, CFSTR("a")));
    EXPECT_EQ(nullptr, CFDictionaryGetValue(nullptr, CFSTR("a")));
    CFDictionaryApplyFunction(d, nullptr, nullptr);
    CFDictionaryGetKeysAndValues(nullptr, nullptr, nullptr);
    CFDictionarySetValue(nullptr, CFSTR("a"), CFSTR("b"));
    EXPECT_FALSE(CFEqual(d, CFSTR("a")));
}

// Descriptions of nested containers: one level of indentation per container, strings quoted
// inside containers unless they are plain words, and containers that hold themselves cut off.
TEST_F(DictionaryTest, DescriptionsOfNestedContainers)
{
    CFRef<CFMutableDictionaryRef> d(NewDict());
    CFRef<CFMutableArrayRef> list(ArrayOf({"plain", "two words", "", "q\"uote\\"}));
    CFDictionarySetValue(d, CFSTR("list"), list);
    CFRef<CFNumberRef> seven(Int(7));
    CFDictionarySetValue(d, CFSTR("n"), seven);
    CFRef<CFMutableDictionaryRef> empty(NewDict());
    CFDictionarySetValue(d, CFSTR("empty"), empty);
    CFRef<CFStringRef> text(CFCopyDescription(d));
    EXPECT_EQ("{\n    list = (\n        plain,\n        \"two words\",\n        \"\",\n        \"q\\\"uote\\\\\"\n    );\n"
              "    n = 7;\n    empty = {};\n}",
              Utf8(text));
    CFRef<CFStringRef> top(CFCopyDescription(CFSTR("two words")));
    EXPECT_EQ("two words", Utf8(top));

    CFRef<CFMutableArrayRef> cycle(NewArray());
    CFArrayAppendValue(cycle, cycle);
    CFRef<CFStringRef> cut(CFCopyDescription(cycle));
    EXPECT_NE(std::string::npos, Utf8(cut).find("...)"));
    CFRef<CFMutableArrayRef> cycle2(NewArray());
    CFArrayAppendValue(cycle2, cycle2);
    EXPECT_FALSE(CFEqual(cycle, cycle2));  // the comparison stops at the depth limit
    CFRef<CFMutableDictionaryRef> loop(NewDict());
    CFDictionarySetValue(loop, CFSTR("self"), loop);
    CFRef<CFStringRef> loopText(CFCopyDescription(loop));
    EXPECT_NE(std::string::npos, Utf8(loopText).find("{...}"));
    CFRef<CFMutableDictionaryRef> loop2(NewDict());
    CFDictionarySetValue(loop2, CFSTR("self"), loop2);
    EXPECT_FALSE(CFEqual(loop, loop2));
    CFArrayRemoveValueAtIndex(cycle, 0);
    CFArrayRemoveValueAtIndex(cycle2, 0);
    CFDictionaryRemoveValue(loop, CFSTR("self"));
    CFDictionaryRemoveValue(loop2, CFSTR("self"));
}

using SetTest = CoreFoundationTest;

TEST_F(SetTest, HoldDistinctValuesAndRetainThem)
{
    CFRef<CFMutableSetRef> s(CFSetCreateMutable(nullptr, 0, &kCFTypeSetCallBacks));
    CFRef<CFStringRef> one(Str("svc-1"));
    CFSetAddValue(s, one);
    CFSetAddValue(s, CFSTR("svc-1"));  // equal: not added
    CFSetAddValue(s, CFSTR("svc-2"));
    EXPECT_EQ(2, CFGetRetainCount(one));
    EXPECT_TRUE(CFSetContainsValue(s, CFSTR("svc-2")));
    EXPECT_TRUE(CFSetContainsValue(s, one));
    EXPECT_FALSE(CFSetContainsValue(s, CFSTR("svc-3")));
    EXPECT_FALSE(CFSetContainsValue(nullptr, one));
    CFRef<CFStringRef> text(CFCopyDescription(s));
    EXPECT_EQ("{(\n    svc-1,\n    svc-2\n)}", Utf8(text));

    CFRef<CFMutableSetRef> other(CFSetCreateMutable(nullptr, 0, &kCFTypeSetCallBacks));
    CFSetAddValue(other, CFSTR("svc-2"));
    EXPECT_FALSE(CFEqual(s, other));
    CFSetAddValue(other, one);
    EXPECT_TRUE(CFEqual(s, other));
    EXPECT_EQ(CFHash(s), CFHash(other));
    CFRef<CFMutableSetRef> empty(CFSetCreateMutable(nullptr, 0, &kCFCopyStringSetCallBacks));
    CFRef<CFStringRef> emptyText(CFCopyDescription(empty));
    EXPECT_EQ("{()}", Utf8(emptyText));
    CFSetAddValue(nullptr, one);
    EXPECT_EQ(3, CFGetRetainCount(one));
}

TEST_F(SetTest, ManyValuesAndPlainPointers)
{
    CFRef<CFMutableSetRef> s(CFSetCreateMutable(nullptr, 0, &kCFTypeSetCallBacks));
    for (long i = 0; i < 500; ++i) {
        CFRef<CFNumberRef> n(Int(i % 250));
        CFSetAddValue(s, n);
    }
    for (long i = 0; i < 250; ++i) {
        CFRef<CFNumberRef> n(Real(static_cast<double>(i)));
        ASSERT_TRUE(CFSetContainsValue(s, n)) << i;
    }
    static int a = 1;
    static int b = 1;
    CFRef<CFMutableSetRef> plain(CFSetCreateMutable(nullptr, 0, nullptr));
    CFSetAddValue(plain, &a);
    EXPECT_TRUE(CFSetContainsValue(plain, &a));
    EXPECT_FALSE(CFSetContainsValue(plain, &b));
}

}  // namespace
