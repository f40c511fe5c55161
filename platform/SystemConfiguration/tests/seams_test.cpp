// Every call failing, through the armed-failure seam and through CoreFoundation's creation
// seam: a status, nothing written before the commit, and no CoreFoundation object left behind.
#include "SCTestSupport.h"

namespace {

using namespace sctest;

class SeamsTest : public SCTest {
protected:
    // Values made once, outside the operation, so that the sweeps fail the stand-in's creations.
    CFRef<CFMutableDictionaryRef> iface = Dict({{"Type", CFSTR("Ethernet")}, {"DeviceName", CFSTR("en0")}});
    CFRef<CFMutableDictionaryRef> empty = Dict();
    CFRef<CFStringRef> pattern = Str("State:/.*");

    // One pass over every call; stops at the first failure and answers its status.
    int Scenario()
    {
        std::filesystem::remove(storePath);
        std::filesystem::remove(dynamicPath);
#define STEP(ok)             \
    if (!(ok)) {             \
        return SCError();    \
    }
        CFRef<SCPreferencesRef> prefs(SCPreferencesCreate(nullptr, CFSTR("sweep"), nullptr));
        STEP(prefs);
        STEP(SCPreferencesLock(prefs, false));
        STEP(SCPreferencesSetValue(prefs, CFSTR("CurrentSet"), CFSTR("/Sets/A")));
        STEP(SCPreferencesAddValue(prefs, CFSTR("System"), empty));
        CFRef<CFStringRef> child(SCPreferencesPathCreateUniqueChild(prefs, CFSTR("/NetworkServices")));
        STEP(child);
        STEP(SCPreferencesPathSetValue(prefs, CFSTR("/NetworkServices/S1/Interface"), iface));
        STEP(SCPreferencesPathSetLink(prefs, CFSTR("/Sets/A/Network/Service/S1"), CFSTR("/NetworkServices/S1")));
        STEP(SCPreferencesPathGetValue(prefs, CFSTR("/Sets/A/Network/Service/S1/Interface")));
        STEP(SCPreferencesPathGetLink(prefs, CFSTR("/Sets/A/Network/Service/S1")));
        STEP(SCPreferencesGetValue(prefs, CFSTR("CurrentSet")));
        CFRef<CFArrayRef> keys(SCPreferencesCopyKeyList(prefs));
        STEP(keys);
        STEP(SCPreferencesPathRemoveValue(prefs, child));
        STEP(SCPreferencesRemoveValue(prefs, CFSTR("System")));
        STEP(SCPreferencesCommitChanges(prefs));
        STEP(SCPreferencesApplyChanges(prefs));
        STEP(SCPreferencesUnlock(prefs));
        CFRef<SCNetworkSetRef> set(SCNetworkSetCopyCurrent(prefs));
        STEP(set);
        CFRef<CFArrayRef> services(SCNetworkSetCopyServices(set));
        STEP(services && CFArrayGetCount(services) == 1);
        CFRef<SCDynamicStoreRef> store(SCDynamicStoreCreate(nullptr, CFSTR("sweep"), nullptr, nullptr));
        STEP(store);
        STEP(SCDynamicStoreSetValue(store, CFSTR("State:/x"), empty));
        CFRef<CFArrayRef> list(SCDynamicStoreCopyKeyList(store, pattern));
        STEP(list && CFArrayGetCount(list) == 1);
        CFRef<CFTypeRef> value(SCDynamicStoreCopyValue(store, CFSTR("State:/x")));
        STEP(value);
        STEP(SCDynamicStoreRemoveValue(store, CFSTR("State:/x")));
        CFRef<CFStringRef> key(
            SCDynamicStoreKeyCreateNetworkServiceEntity(nullptr, kSCDynamicStoreDomainSetup, CFSTR("S1"), kSCEntNetIPv4));
        STEP(key);
#undef STEP
        return 0;
    }
};

TEST_F(SeamsTest, EachArmedCallFailsWithItsStatusLeavingNothingBehind)
{
    ASSERT_EQ(0, Scenario());
    long live = PlatformTestingCFLiveObjectCount();
    const char *calls[] = {
        "SCPreferencesCreate", "SCPreferencesLock", "SCPreferencesSetValue", "SCPreferencesAddValue",
        "SCPreferencesPathCreateUniqueChild", "SCPreferencesPathSetValue", "SCPreferencesPathSetLink",
        "SCPreferencesPathGetValue", "SCPreferencesPathGetLink", "SCPreferencesGetValue", "SCPreferencesCopyKeyList",
        "SCPreferencesPathRemoveValue", "SCPreferencesRemoveValue", "SCPreferencesCommitChanges",
        // from here on the store is committed
        "SCPreferencesApplyChanges", "SCPreferencesUnlock", "SCNetworkSetCopyCurrent", "SCNetworkSetCopyServices",
        "SCDynamicStoreCreate", "SCDynamicStoreSetValue", "SCDynamicStoreCopyKeyList", "SCDynamicStoreCopyValue",
        "SCDynamicStoreRemoveValue",
    };
    bool committed = false;
    int32_t status = 4000;
    for (const char *call : calls) {
        SCOPED_TRACE(call);
        committed = committed || std::string(call) == "SCPreferencesApplyChanges";
        PlatformTestingSystemConfigurationFailCall(call, ++status, 0);
        EXPECT_EQ(Scenario(), status);
        EXPECT_EQ(std::filesystem::exists(storePath), committed);
        EXPECT_EQ(PlatformTestingCFLiveObjectCount(), live);
        EXPECT_EQ(0, Scenario()) << "armed once: the next pass succeeds";
    }
    PlatformTestingSystemConfigurationFailCall("SCPreferencesGetValue", 77, PLATFORM_TESTING_EVERY_CALL);
    EXPECT_EQ(77, Scenario());
    EXPECT_EQ(77, Scenario());
    PlatformTestingSystemConfigurationFailCall("SCPreferencesGetValue", 0, 0);
    EXPECT_EQ(0, Scenario());
}

TEST_F(SeamsTest, EachCreationFailingGivesAFailureAndLeaksNothing)
{
    long creations = standintest::FailEachCreation<int>([this] { return Scenario(); }, {kSCStatusFailed});
    EXPECT_GT(creations, 10);
}

}  // namespace
