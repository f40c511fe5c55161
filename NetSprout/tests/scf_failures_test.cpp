// The failure sweep: for each operation, every SystemConfiguration call it makes fails in turn,
// then every CoreFoundation creation. Each failure gives a status, commits nothing (the store
// file stays as it was), leaves no session level open and leaks no object.
#include <fstream>
#include <iterator>
#include <functional>
#include <string>

#include "SCFTestSupport.h"

using namespace scftest;

namespace {

class FailureSweepTest : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        WriteStore(kStandardStore);
        pristine_ = ReadStoreBytes();
    }

    // Puts the standard store back and runs op. A failed run leaves the store as it was, except
    // when only the apply failed: then the whole change was committed before it.
    OSStatus RunOnFreshStore(const char *name, const std::function<OSStatus()> &op)
    {
        WriteStoreBytes(pristine_);
        PlatformTestingSCDeterministicIDs(1);
        PlatformTestingLogCaptureStart();
        OSStatus err = op();
        EXPECT_EQ(0, gPrefsOpenCount) << name;
        std::string after = ReadStoreBytes();
        if (err == noErr) {
            succeeded_ = after;
        } else if (after != pristine_) {
            EXPECT_TRUE(after == succeeded_) << name << ": a failed run committed part of its change";
            EXPECT_EQ("3 scf apply changes err:" + std::to_string(err) + "\n", LogLines())
                << name << ": a failed run committed";
        }
        return err;
    }

    std::string pristine_;
    std::string succeeded_;  // the store after the last successful run
};

struct Operation {
    const char *name;
    const char *version;
    std::function<OSStatus()> run;
};

// Inside one level closed with commit, as the services' and sets' operations call them.
OSStatus InOneLevel(const std::function<OSStatus()> &step)
{
    OSStatus err = MoreSCOpen(false, false);
    if (err == noErr) {
        err = step();
    }
    MoreSCClose(&err, true);
    return err;
}

std::vector<Operation> Operations()
{
    static CFStringRef a = CFSTR("A");
    static CFStringRef b = CFSTR("B");
    static CFStringRef s2 = CFSTR("S2");
    auto newSe = [] {
        CFStringRef id = nullptr;
        CFStringRef path = nullptr;
        OSStatus err = MakeNewSeAndCopyIDAndPath(kSCPrefNetworkServices, &id, &path);
        CFQRelease(id);
        CFQRelease(path);
        return err;
    };
    return {
        {"MoreSCNewEntity", "10.10.5", [] {
             CFDictionaryRef empty = CFDictionaryCreate(kCFAllocatorDefault, nullptr, nullptr, 0,
                                                        &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
             OSStatus err = (empty == nullptr) ? coreFoundationUnknownErr
                                               : MoreSCNewEntity(nullptr, b, kSCEntNetProxies, empty);
             CFQRelease(empty);
             return err;
         }},
        {"MoreSCSetEntityActive", "10.10.5", [] { return MoreSCSetEntityActive(nullptr, a, kSCEntNetIPv4, false); }},
        {"MoreSCSetEntities", "10.10.5", [] {
             CFArrayRef none = CFArrayCreate(kCFAllocatorDefault, nullptr, 0, &kCFTypeArrayCallBacks);
             OSStatus err = (none == nullptr) ? coreFoundationUnknownErr : MoreSCSetEntities(s2, a, none, none);
             CFQRelease(none);
             return err;
         }},
        {"MoreSCCopyEntities", "10.10.5", [] {
             CFArrayRef protocols = nullptr;
             CFArrayRef entities = nullptr;
             OSStatus err = MoreSCCopyEntities(nullptr, a, &protocols, &entities);
             CFQRelease(protocols);
             CFQRelease(entities);
             return err;
         }},
        {"MakeNewSeAndCopyIDAndPath numbered", "10.2.8", [newSe] { return InOneLevel(newSe); }},
        {"MakeNewSeAndCopyIDAndPath unique", "10.4.11", [newSe] { return InOneLevel(newSe); }},
        {"PreferencesPathSetProperty", "10.10.5", [] {
             return InOneLevel([] {
                 return PreferencesPathSetProperty(CFSTR("/NetworkServices/B/Interface"), kSCPropNetInterfaceDeviceName,
                                                   CFSTR("en7"));
             });
         }},
        {"MoreSCCopySetIDs", "10.10.5", [] {
             CFArrayRef ids = nullptr;
             CFIndex index = -1;
             OSStatus err = MoreSCCopySetIDs(&ids, &index);
             CFQRelease(ids);
             return err;
         }},
        {"MoreSCCopyUserVisibleNameOfSet", "10.10.5", [] {
             CFStringRef name = nullptr;
             OSStatus err = MoreSCCopyUserVisibleNameOfSet(s2, &name);
             CFQRelease(name);
             return err;
         }},
        {"MoreSCSetCurrentSet", "10.10.5", [] { return MoreSCSetCurrentSet(s2); }},
    };
}

TEST_F(FailureSweepTest, EachSystemConfigurationCallFailsInTurn)
{
    const char *calls[] = {"SCPreferencesCreate",        "SCPreferencesCommitChanges", "SCPreferencesApplyChanges",
                           "SCPreferencesGetValue",      "SCPreferencesSetValue",      "SCPreferencesPathGetValue",
                           "SCPreferencesPathSetValue",  "SCPreferencesPathGetLink",
                           "SCPreferencesPathCreateUniqueChild"};
    for (const Operation &operation : Operations()) {
        PlatformTestingSetSystemVersion(operation.version);
        MoreSCFForgetSystemVersion();
        ASSERT_EQ(noErr, RunOnFreshStore(operation.name, operation.run)) << operation.name;  // warms up
        long live = PlatformTestingCFLiveObjectCount();
        int failures = 0;
        for (const char *call : calls) {
            for (unsigned after = 0; after < 64; after++) {
                PlatformTestingSystemConfigurationFailCall(call, kSCStatusAccessError, after);
                OSStatus err = RunOnFreshStore(operation.name, operation.run);
                PlatformTestingSystemConfigurationFailCall(call, 0, 0);
                if (err == noErr) {
                    break;  // the operation makes fewer calls than that
                }
                failures++;
                EXPECT_EQ(kSCStatusAccessError, err) << operation.name << ": " << call << " failing after " << after;
                EXPECT_EQ(PlatformTestingCFLiveObjectCount(), live) << operation.name << ": " << call << " leaked";
            }
        }
        EXPECT_GE(failures, 2) << operation.name;
    }
}

TEST_F(FailureSweepTest, EachCreationFailsInTurn)
{
    for (const Operation &operation : Operations()) {
        SCOPED_TRACE(operation.name);
        PlatformTestingSetSystemVersion(operation.version);
        MoreSCFForgetSystemVersion();
        long creations = standintest::FailEachCreation<OSStatus>(
            [&] { return RunOnFreshStore(operation.name, operation.run); },
            {coreFoundationUnknownErr, memFullErr, kSCStatusFailed});
        EXPECT_GT(creations, 0) << operation.name;
    }
}

}  // namespace
