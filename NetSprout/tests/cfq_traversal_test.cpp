// MoreCFQ: leaf test, deep (pre-order) and shallow traversal.
#include "MoreCFQ.h"

#include "CFQTestSupport.h"

#include <string>
#include <vector>

using namespace cfqtest;
using namespace standintest;

namespace {

class CFQTraversalTest : public SeamTest {};

std::string Describe(CFTypeRef node)
{
    CFTypeID type = CFGetTypeID(node);
    if (type == CFDictionaryGetTypeID()) {
        return "dict";
    }
    if (type == CFArrayGetTypeID()) {
        return "array";
    }
    if (type == CFNumberGetTypeID()) {
        return std::to_string(LongValue(node));
    }
    return standintest::Text(node);
}

void RecordNode(CFTypeRef node, void *context)
{
    static_cast<std::vector<std::string> *>(context)->push_back(Describe(node));
}

void RecordChild(CFTypeRef key, CFTypeRef node, void *context)
{
    static_cast<std::vector<std::string> *>(context)->push_back(Describe(key) + "=" + Describe(node));
}

TEST_F(CFQTraversalTest, LeavesAreEverythingButContainers)
{
    CFRef<CFMutableDictionaryRef> dict(Dict({}));
    CFRef<CFMutableArrayRef> array(Array({}));
    CFRef<CFStringRef> str(Str("s"));
    CFRef<CFNumberRef> num(Num(1));
    CFRef<CFDataRef> data(CFDataCreate(kCFAllocatorDefault, reinterpret_cast<const UInt8 *>("d"), 1));
    EXPECT_FALSE(CFQPropertyListIsLeaf(dict));
    EXPECT_FALSE(CFQPropertyListIsLeaf(array));
    EXPECT_TRUE(CFQPropertyListIsLeaf(str));
    EXPECT_TRUE(CFQPropertyListIsLeaf(num));
    EXPECT_TRUE(CFQPropertyListIsLeaf(data));
    EXPECT_TRUE(CFQPropertyListIsLeaf(kCFBooleanTrue));
}

TEST_F(CFQTraversalTest, DeepApplyVisitsContainersBeforeTheirChildren)
{
    CFRef<CFStringRef> first(Str("first"));
    CFRef<CFStringRef> second(Str("second"));
    CFRef<CFMutableArrayRef> array(Array({first, second}));
    CFRef<CFMutableDictionaryRef> dict(Dict({{"list", array}}));
    std::vector<std::string> seen;
    CFQPropertyListDeepApplyFunction(dict, RecordNode, &seen);
    EXPECT_EQ((std::vector<std::string>{"dict", "array", "first", "second"}), seen);

    // Deeper: an array of a dictionary and a number; a leaf alone is one call.
    CFRef<CFNumberRef> seven(Num(7));
    CFRef<CFMutableArrayRef> outer(Array({dict, seven}));
    seen.clear();
    CFQPropertyListDeepApplyFunction(outer, RecordNode, &seen);
    EXPECT_EQ((std::vector<std::string>{"array", "dict", "array", "first", "second", "7"}), seen);
    seen.clear();
    CFQPropertyListDeepApplyFunction(seven, RecordNode, &seen);
    EXPECT_EQ((std::vector<std::string>{"7"}), seen);
}

TEST_F(CFQTraversalTest, DeepApplySkipsTheChildrenWhenTheSnapshotCannotBeMade)
{
    CFRef<CFStringRef> leaf(Str("leaf"));
    CFRef<CFMutableDictionaryRef> dict(Dict({{"k", leaf}}));
    std::vector<std::string> seen;
    PlatformTestingCFFailNthCreation(1);
    CFQPropertyListDeepApplyFunction(dict, RecordNode, &seen);
    EXPECT_EQ((std::vector<std::string>{"dict"}), seen);
}

TEST_F(CFQTraversalTest, ShallowApplyVisitsDictionaryKeysInAscendingOrder)
{
    CFRef<CFNumberRef> one(Num(1));
    CFRef<CFNumberRef> two(Num(2));
    CFRef<CFNumberRef> three(Num(3));
    CFRef<CFMutableDictionaryRef> dict(Dict({{"b", two}, {"c", three}, {"B", one}, {"a", one}}));
    std::vector<std::string> seen;
    CFQPropertyListShallowApplyFunction(dict, RecordChild, &seen);
    // Plain comparison: upper case before lower case.
    EXPECT_EQ((std::vector<std::string>{"B=1", "a=1", "b=2", "c=3"}), seen);

    CFRef<CFMutableDictionaryRef> empty(Dict({}));
    seen.clear();
    CFQPropertyListShallowApplyFunction(empty, RecordChild, &seen);
    EXPECT_TRUE(seen.empty());
}

TEST_F(CFQTraversalTest, ShallowApplyPassesArrayIndexesAsNumbers)
{
    CFRef<CFStringRef> x(Str("x"));
    CFRef<CFStringRef> y(Str("y"));
    CFRef<CFStringRef> z(Str("z"));
    CFRef<CFMutableArrayRef> array(Array({x, y, z}));
    std::vector<std::string> seen;
    CFQPropertyListShallowApplyFunction(array, RecordChild, &seen);
    EXPECT_EQ((std::vector<std::string>{"0=x", "1=y", "2=z"}), seen);

    // An index whose number cannot be made is skipped; the others are still visited.
    seen.clear();
    PlatformTestingCFFailNthCreation(2);
    CFQPropertyListShallowApplyFunction(array, RecordChild, &seen);
    EXPECT_EQ((std::vector<std::string>{"0=x", "2=z"}), seen);
}

TEST_F(CFQTraversalTest, ShallowApplyCallsNothingWithoutItsScratchSpace)
{
    CFRef<CFNumberRef> one(Num(1));
    CFRef<CFMutableDictionaryRef> dict(Dict({{"a", one}, {"b", one}}));
    long live = PlatformTestingCFLiveObjectCount();
    for (long nth = 1; nth <= 3; nth++) {  // the key block, the key array, its sorted copy
        std::vector<std::string> seen;
        PlatformTestingCFFailNthCreation(nth);
        CFQPropertyListShallowApplyFunction(dict, RecordChild, &seen);
        PlatformTestingCFFailNthCreation(0);
        EXPECT_TRUE(seen.empty()) << "creation " << nth;
        EXPECT_EQ(PlatformTestingCFLiveObjectCount(), live) << "creation " << nth;
    }
}

}  // namespace
