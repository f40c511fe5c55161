// MoreCFQ: access by path into nested dictionaries, and the copy-on-write descent of the editors.
#include "MoreCFQ.h"

#include "CFQTestSupport.h"

#include <vector>

using namespace cfqtest;
using namespace standintest;

namespace {

// A tree shaped like a preferences store:
//   { Sets: { S1: { Name: "Home", Network: { Service: { A: 1 } } } }, Flag: "text" }
class CFQPathsTest : public SeamTest {
protected:
    void SetUp() override
    {
        SeamTest::SetUp();
        one.reset(Num(1));
        home.reset(Str("Home"));
        text.reset(Str("text"));
        service.reset(Dict({{"A", one}}));
        network.reset(Dict({{"Service", service}}));
        set.reset(Dict({{"Name", home}, {"Network", network}}));
        sets.reset(Dict({{"S1", set}}));
        root.reset(Dict({{"Sets", sets}, {"Flag", text}}));
    }

    CFRef<CFNumberRef> one;
    CFRef<CFStringRef> home;
    CFRef<CFStringRef> text;
    CFRef<CFMutableDictionaryRef> service;
    CFRef<CFMutableDictionaryRef> network;
    CFRef<CFMutableDictionaryRef> set;
    CFRef<CFMutableDictionaryRef> sets;
    CFRef<CFMutableDictionaryRef> root;
};

TEST_F(CFQPathsTest, GetFollowsNestedDictionaries)
{
    const void *value = nullptr;
    const void *full[] = {CFSTR("Sets"), CFSTR("S1"), CFSTR("Network"), CFSTR("Service"), CFSTR("A")};
    ASSERT_EQ(noErr, CFQDictionaryGetValueAtPath(root, full, 5, &value));
    EXPECT_EQ(value, static_cast<const void *>(one.get()));

    // One key is a plain look-up.
    const void *flag[] = {CFSTR("Flag")};
    ASSERT_EQ(noErr, CFQDictionaryGetValueAtPath(root, flag, 1, &value));
    EXPECT_EQ(value, static_cast<const void *>(text.get()));
    const void *absent[] = {CFSTR("Nope")};
    value = nullptr;
    EXPECT_EQ(5400, CFQDictionaryGetValueAtPath(root, absent, 1, &value));
    EXPECT_EQ(nullptr, value) << "the slot is written only on success";

    // An absent key deeper down, and a string where a dictionary is needed.
    const void *deepAbsent[] = {CFSTR("Sets"), CFSTR("S2"), CFSTR("Name")};
    EXPECT_EQ(5400, CFQDictionaryGetValueAtPath(root, deepAbsent, 3, &value));
    const void *throughString[] = {CFSTR("Sets"), CFSTR("S1"), CFSTR("Name"), CFSTR("X")};
    EXPECT_EQ(5401, CFQDictionaryGetValueAtPath(root, throughString, 4, &value));
    EXPECT_EQ(nullptr, value);
}

TEST_F(CFQPathsTest, SetChangesOnlyTheTreesCopyOfASharedNestedDictionary)
{
    // A second container shares the nested "Network" dictionary with the tree.
    CFRef<CFMutableArrayRef> otherOwner(Array({network}));
    ASSERT_GE(CFGetRetainCount(network), 2);
    CFIndex sharedCount = CFGetRetainCount(network);

    CFRef<CFNumberRef> two(Num(2));
    const void *path[] = {CFSTR("Sets"), CFSTR("S1"), CFSTR("Network"), CFSTR("Service"), CFSTR("B")};
    ASSERT_EQ(noErr, CFQDictionarySetValueAtPath(root, path, 5, two));

    // The tree sees the new value...
    const void *value = nullptr;
    ASSERT_EQ(noErr, CFQDictionaryGetValueAtPath(root, path, 5, &value));
    EXPECT_EQ(value, static_cast<const void *>(two.get()));

    // ...through fresh copies at every level on the path, each owned by the tree alone.
    const void *treeNetwork = nullptr;
    ASSERT_EQ(noErr, CFQDictionaryGetValueAtPath(root, path, 3, &treeNetwork));
    EXPECT_NE(treeNetwork, static_cast<const void *>(network.get()));
    EXPECT_EQ(1, CFGetRetainCount(treeNetwork));
    const void *treeSets = CFDictionaryGetValue(root, CFSTR("Sets"));
    EXPECT_NE(treeSets, static_cast<const void *>(sets.get()));

    // The other owner still sees the old nested dictionary, unchanged.
    EXPECT_EQ(CFArrayGetValueAtIndex(otherOwner, 0), static_cast<const void *>(network.get()));
    EXPECT_EQ(1, CFDictionaryGetCount(service));
    EXPECT_FALSE(CFDictionaryContainsKey(service, CFSTR("B")));
    EXPECT_EQ(CFGetRetainCount(network), sharedCount);
    // The dictionaries the tree held before the edit are untouched as well.
    EXPECT_EQ(CFDictionaryGetValue(set, CFSTR("Network")), static_cast<const void *>(network.get()));
    EXPECT_EQ(CFDictionaryGetValue(sets, CFSTR("S1")), static_cast<const void *>(set.get()));

    // Unchanged levels keep their values: the copies are shallow.
    const void *name[] = {CFSTR("Sets"), CFSTR("S1"), CFSTR("Name")};
    ASSERT_EQ(noErr, CFQDictionaryGetValueAtPath(root, name, 3, &value));
    EXPECT_EQ(value, static_cast<const void *>(home.get()));
}

// Value callbacks that retain like the standard ones and record the count each stored value has
// just after the tree took its reference.
std::vector<CFIndex> gCountsWhenStored;
const void *RecordingRetain(CFAllocatorRef, const void *value)
{
    CFRetain(value);
    gCountsWhenStored.push_back(CFGetRetainCount(value));
    return value;
}
void StandardRelease(CFAllocatorRef, const void *value) { CFRelease(value); }

TEST_F(CFQPathsTest, EachCopyIsHeldTwiceWhenHungIntoTheTree)
{
    // The moment a level's copy is stored, it has the tree's reference and the one from its
    // creation; the creation's reference is then given up, leaving the tree as sole owner.
    CFDictionaryValueCallBacks recording = kCFTypeDictionaryValueCallBacks;
    recording.retain = RecordingRetain;
    recording.release = StandardRelease;
    CFRef<CFMutableDictionaryRef> tree(
        CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &recording));
    CFDictionarySetValue(tree, CFSTR("Sets"), sets);
    gCountsWhenStored.clear();

    const void *path[] = {CFSTR("Sets"), CFSTR("S1"), CFSTR("Name")};
    ASSERT_EQ(noErr, CFQDictionarySetValueAtPath(tree, path, 3, text));
    ASSERT_FALSE(gCountsWhenStored.empty());
    EXPECT_GE(gCountsWhenStored.front(), 2) << "the copy of Sets when hung into the tree";
    EXPECT_EQ(1, CFGetRetainCount(CFDictionaryGetValue(tree, CFSTR("Sets"))));
}

TEST_F(CFQPathsTest, SetReplacesAnImmutableNestedDictionaryByAMutableCopy)
{
    CFRef<CFDictionaryRef> frozen(CFDictionaryCreateCopy(kCFAllocatorDefault, network));
    CFDictionarySetValue(set, CFSTR("Network"), frozen);
    const void *path[] = {CFSTR("Sets"), CFSTR("S1"), CFSTR("Network"), CFSTR("Added")};
    ASSERT_EQ(noErr, CFQDictionarySetValueAtPath(root, path, 4, one));
    EXPECT_EQ(1, CFDictionaryGetCount(frozen));
    const void *value = nullptr;
    EXPECT_EQ(noErr, CFQDictionaryGetValueAtPath(root, path, 4, &value));
}

TEST_F(CFQPathsTest, SetCreatesNoMissingLevels)
{
    const void *missing[] = {CFSTR("Sets"), CFSTR("S2"), CFSTR("Name")};
    EXPECT_EQ(5400, CFQDictionarySetValueAtPath(root, missing, 3, home));
    CFDictionaryRef treeSets = static_cast<CFDictionaryRef>(CFDictionaryGetValue(root, CFSTR("Sets")));
    EXPECT_FALSE(CFDictionaryContainsKey(treeSets, CFSTR("S2")));
    EXPECT_TRUE(CFEqual(treeSets, sets));
    EXPECT_EQ(1, CFDictionaryGetCount(sets));

    const void *throughString[] = {CFSTR("Flag"), CFSTR("X")};
    EXPECT_EQ(5401, CFQDictionarySetValueAtPath(root, throughString, 2, home));
    EXPECT_EQ(CFDictionaryGetValue(root, CFSTR("Flag")), static_cast<const void *>(text.get()));

    // A one-key path sets in the given dictionary itself, adding the key.
    const void *top[] = {CFSTR("New")};
    ASSERT_EQ(noErr, CFQDictionarySetValueAtPath(root, top, 1, one));
    EXPECT_EQ(CFDictionaryGetValue(root, CFSTR("New")), static_cast<const void *>(one.get()));
}

TEST_F(CFQPathsTest, RemoveDeletesTheLastKeyOrReportsItAbsent)
{
    CFRef<CFMutableArrayRef> otherOwner(Array({service}));
    const void *path[] = {CFSTR("Sets"), CFSTR("S1"), CFSTR("Network"), CFSTR("Service"), CFSTR("A")};
    ASSERT_EQ(noErr, CFQDictionaryRemoveValueAtPath(root, path, 5));
    const void *value = nullptr;
    EXPECT_EQ(5400, CFQDictionaryGetValueAtPath(root, path, 5, &value));
    EXPECT_TRUE(CFDictionaryContainsKey(service, CFSTR("A"))) << "the shared dictionary keeps its entry";

    EXPECT_EQ(5400, CFQDictionaryRemoveValueAtPath(root, path, 5));
    const void *missing[] = {CFSTR("Sets"), CFSTR("S9"), CFSTR("A")};
    EXPECT_EQ(5400, CFQDictionaryRemoveValueAtPath(root, missing, 3));
    const void *throughString[] = {CFSTR("Flag"), CFSTR("A")};
    EXPECT_EQ(5401, CFQDictionaryRemoveValueAtPath(root, throughString, 2));
}

TEST_F(CFQPathsTest, ParentForPathIsTheTreesMutableCopy)
{
    const void *path[] = {CFSTR("Sets"), CFSTR("S1"), CFSTR("Name")};
    CFMutableDictionaryRef parent = nullptr;
    ASSERT_EQ(noErr, CFQMutableDictionaryGetParentForPath(root, path, 3, &parent));
    EXPECT_NE(parent, set.get());
    CFDictionaryRef treeSets = static_cast<CFDictionaryRef>(CFDictionaryGetValue(root, CFSTR("Sets")));
    EXPECT_EQ(CFDictionaryGetValue(treeSets, CFSTR("S1")), static_cast<const void *>(parent));
    EXPECT_EQ(1, CFGetRetainCount(parent));
    // A one-key path's parent is the dictionary itself.
    CFMutableDictionaryRef top = nullptr;
    ASSERT_EQ(noErr, CFQMutableDictionaryGetParentForPath(root, path, 1, &top));
    EXPECT_EQ(top, root.get());
}

TEST_F(CFQPathsTest, ArrayPathTwinsBehaveLikeTheCArrayForms)
{
    CFRef<CFMutableArrayRef> path(Array({CFSTR("Sets"), CFSTR("S1"), CFSTR("Network"), CFSTR("Service"), CFSTR("A")}));
    const void *value = nullptr;
    ASSERT_EQ(noErr, CFQDictionaryGetValueAtPathArray(root, path, &value));
    EXPECT_EQ(value, static_cast<const void *>(one.get()));

    CFRef<CFNumberRef> five(Num(5));
    ASSERT_EQ(noErr, CFQDictionarySetValueAtPathArray(root, path, five));
    ASSERT_EQ(noErr, CFQDictionaryGetValueAtPathArray(root, path, &value));
    EXPECT_EQ(5, LongValue(value));
    EXPECT_EQ(1, LongValue(CFDictionaryGetValue(service, CFSTR("A"))));

    ASSERT_EQ(noErr, CFQDictionaryRemoveValueAtPathArray(root, path));
    EXPECT_EQ(5400, CFQDictionaryGetValueAtPathArray(root, path, &value));
    EXPECT_EQ(5400, CFQDictionaryRemoveValueAtPathArray(root, path));

    // The C array of a twin is allocated; without memory the twin fails with -108.
    PlatformTestingCFFailNthCreation(1);
    EXPECT_EQ(-108, CFQDictionaryGetValueAtPathArray(root, path, &value));
}

}  // namespace
