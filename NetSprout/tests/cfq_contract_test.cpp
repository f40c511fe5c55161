// MoreCFQ: broken caller contracts stop a test or Debug program; a Release program logs them and
// carries on without crashing.
#include "MoreCFQ.h"

#include "CFQTestSupport.h"
#include "MoreSCFAssert.h"

using namespace cfqtest;
using namespace standintest;

namespace {

class CFQContractTest : public SeamTest {
protected:
    void TearDown() override
    {
        MoreSCFAssertSetFatal(1);
        SeamTest::TearDown();
    }
};

void Ignore(CFTypeRef, CFTypeRef, void *) {}

TEST_F(CFQContractTest, BrokenContractsAreFatalInTests)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ASSERT_TRUE(MoreSCFAssertIsFatal());

    CFRef<CFMutableDictionaryRef> occupied(Dict({}));
    CFMutableDictionaryRef slot = occupied.get();
    EXPECT_DEATH(CFQDictionaryCreateMutable(&slot), "assertion failed: \\*\\(result\\) == nullptr");

    const void *path[] = {CFSTR("a")};
    const void *value = nullptr;
    EXPECT_DEATH(CFQDictionaryGetValueAtPath(occupied, path, 0, &value), "pathElementCount > 0");

    CFRef<CFMutableArrayRef> emptyPath(Array({}));
    EXPECT_DEATH(CFQDictionaryGetValueAtPathArray(occupied, emptyPath, &value), "count > 0");

    EXPECT_DEATH(CFQPropertyListShallowApplyFunction(CFSTR("leaf"), Ignore, nullptr), "assertion failed");

    void *block = nullptr;
    EXPECT_DEATH(CFQAllocate(static_cast<size_t>(-1), &block), "bytesToAllocate");

    EXPECT_DEATH(CFQDictionaryMerge(reinterpret_cast<CFMutableDictionaryRef>(const_cast<__CFString *>(CFSTR("x"))), occupied),
                 "assertion failed");
}

TEST_F(CFQContractTest, BrokenContractsAreRefusedWhenOnlyLogged)
{
    MoreSCFAssertSetFatal(0);
    EXPECT_EQ(paramErr, CFQDictionaryCreateMutable(nullptr));
    CFRef<CFMutableDictionaryRef> dict(Dict({}));
    const void *value = nullptr;
    EXPECT_EQ(paramErr, CFQDictionaryGetValueAtPath(dict, nullptr, 1, &value));
    const void *path[] = {CFSTR("a")};
    EXPECT_EQ(paramErr, CFQDictionarySetValueAtPath(dict, path, 0, CFSTR("v")));
    EXPECT_EQ(0, CFDictionaryGetCount(dict));
    void *block = nullptr;
    EXPECT_EQ(memFullErr, CFQAllocate(static_cast<size_t>(-1), &block));
    EXPECT_EQ(nullptr, block);
    CFQPropertyListShallowApplyFunction(CFSTR("leaf"), Ignore, nullptr);  // nothing happens
    EXPECT_EQ(noErr, CFQDictionaryMerge(nullptr, dict));
}

}  // namespace
