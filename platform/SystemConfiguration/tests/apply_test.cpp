// The dynamic store (a file shared by processes, whole-key regular expressions) and apply, which
// publishes exactly the current set's active services and entities as its "Setup:" keys.
#include "SCTestSupport.h"

namespace {

using namespace sctest;

class ApplyTest : public SCTest {
protected:
    std::vector<std::string> Keys(const char *pattern)
    {
        CFRef<SCDynamicStoreRef> store(SCDynamicStoreCreate(nullptr, CFSTR("tests"), nullptr, nullptr));
        CFRef<CFArrayRef> keys(SCDynamicStoreCopyKeyList(store, Str(pattern)));
        std::vector<std::string> texts;
        for (CFIndex i = 0; keys && i < CFArrayGetCount(keys); i++) {
            texts.push_back(Text(CFArrayGetValueAtIndex(keys, i)));
        }
        return texts;
    }
    bool Apply()
    {
        CFRef<SCPreferencesRef> prefs = Open();
        return prefs && SCPreferencesApplyChanges(prefs);
    }
};

TEST_F(ApplyTest, DynamicStoreKeysValuesAndWholeKeyPatterns)
{
    CFRef<SCDynamicStoreRef> store(SCDynamicStoreCreate(nullptr, CFSTR("tests"), nullptr, nullptr));
    ASSERT_TRUE(store);
    CFRef<CFStringRef> ipv4(SCDynamicStoreKeyCreateNetworkServiceEntity(nullptr, kSCDynamicStoreDomainSetup, CFSTR("S1"),
                                                                        kSCEntNetIPv4));
    CFRef<CFStringRef> global(SCDynamicStoreKeyCreateNetworkGlobalEntity(nullptr, kSCDynamicStoreDomainState, kSCEntNetDNS));
    EXPECT_EQ("Setup:/Network/Service/S1/IPv4", Text(ipv4));
    EXPECT_EQ("State:/Network/Global/DNS", Text(global));
    EXPECT_TRUE(SCDynamicStoreSetValue(store, ipv4, Dict({{"ConfigMethod", CFSTR("DHCP")}})));
    EXPECT_TRUE(SCDynamicStoreSetValue(store, CFSTR("Setup:/Network/Service/S1/IPv4Extra"), Dict()));
    EXPECT_TRUE(SCDynamicStoreSetValue(store, CFSTR("Setup:/Network/Service/S2/IPv4"), Dict()));
    EXPECT_TRUE(SCDynamicStoreSetValue(store, global, CFSTR("text")));

    CFRef<CFStringRef> pattern(
        SCDynamicStoreKeyCreateNetworkServiceEntity(nullptr, kSCDynamicStoreDomainSetup, kSCCompAnyRegex, kSCEntNetIPv4));
    EXPECT_EQ((std::vector<std::string>{"Setup:/Network/Service/S1/IPv4", "Setup:/Network/Service/S2/IPv4"}),
              Keys(Text(pattern).c_str()));
    EXPECT_EQ(2u, Keys("State:.*|Setup:/Network/Service/S1/IPv4Extra").size());
    EXPECT_EQ(std::vector<std::string>{}, Keys("Network")) << "a pattern matches whole keys only";
    CFRef<CFArrayRef> bad(SCDynamicStoreCopyKeyList(store, CFSTR("([")));
    EXPECT_FALSE(bad);
    EXPECT_EQ(kSCStatusInvalidArgument, SCError());

    CFRef<CFTypeRef> value(SCDynamicStoreCopyValue(store, ipv4));
    ASSERT_TRUE(value);
    EXPECT_EQ("DHCP", Text(CFDictionaryGetValue(static_cast<CFDictionaryRef>(value.get()), CFSTR("ConfigMethod"))));
    EXPECT_TRUE(SCDynamicStoreRemoveValue(store, ipv4));
    EXPECT_FALSE(SCDynamicStoreRemoveValue(store, ipv4));
    EXPECT_EQ(kSCStatusNoKey, SCError());
    CFRef<CFTypeRef> gone(SCDynamicStoreCopyValue(store, ipv4));
    EXPECT_FALSE(gone);
    EXPECT_EQ(kSCStatusNoKey, SCError());

    // Another process sees the same store, and plistlib reads it and writes one we read.
    EXPECT_EQ(0,
              InChild([] {
                  CFRef<SCDynamicStoreRef> other(SCDynamicStoreCreate(nullptr, CFSTR("child"), nullptr, nullptr));
                  CFRef<CFTypeRef> text(SCDynamicStoreCopyValue(other, CFSTR("State:/Network/Global/DNS")));
                  return Text(text) == "text" ? 0 : 1;
              }));
    int status = 0;
    std::string out = RunPython("import plistlib\n"
                                "p = '" + dynamicPath + "'\n"
                                "d = plistlib.load(open(p, 'rb'))\n"
                                "print(sorted(d))\n"
                                "d['State:/Network/Global/IPv4'] = {'Router': '10.0.0.1'}\n"
                                "plistlib.dump(d, open(p, 'wb'))\n",
                                &status);
    ASSERT_EQ(0, status) << out;
    EXPECT_EQ("['Setup:/Network/Service/S1/IPv4Extra', 'Setup:/Network/Service/S2/IPv4', 'State:/Network/Global/DNS']\n",
              out);
    EXPECT_EQ(1u, Keys("State:/Network/Global/IPv4").size());
}

TEST_F(ApplyTest, ApplyPublishesExactlyTheCurrentSetAndRemovesStaleSetupKeys)
{
    CommitSampleStore();
    CFRef<SCDynamicStoreRef> store(SCDynamicStoreCreate(nullptr, CFSTR("tests"), nullptr, nullptr));
    ASSERT_TRUE(SCDynamicStoreSetValue(store, CFSTR("Setup:/Network/Service/OLD/IPv4"), Dict()));
    ASSERT_TRUE(SCDynamicStoreSetValue(store, CFSTR("State:/Network/Global/IPv4"), Dict()));
    ASSERT_TRUE(Apply());
    EXPECT_EQ(0, SCError());
    EXPECT_EQ(Keys("Setup:.*"), (std::vector<std::string>{
                                    "Setup:/Network/Global/IPv4",
                                    "Setup:/Network/Service/S1/DNS",
                                    "Setup:/Network/Service/S1/IPv4",
                                    "Setup:/Network/Service/S1/Interface",
                                    "Setup:/Network/Service/S3/IPv4Extra",
                                    "Setup:/Network/Service/S3/Interface",
                                    "Setup:/Network/Service/S3/PPP",
                                    "Setup:/Network/Service/S4/Interface",
                                    "Setup:/Network/Service/S4/Modem",
                                    "Setup:/Network/Service/S5/IPv4",
                                }));
    EXPECT_EQ(1u, Keys("State:.*").size()) << "apply replaces Setup: keys only";
    EXPECT_EQ((std::vector<std::string>{"Setup:/Network/Service/S1/IPv4", "Setup:/Network/Service/S5/IPv4"}),
              Keys("Setup:/Network/Service/[^/]+/IPv4"));

    // Switching the current set removes what no longer holds; a current set that names nothing,
    // or is not a string, publishes nothing and is no failure.
    CFRef<SCPreferencesRef> prefs = Open();
    ASSERT_TRUE(SCPreferencesSetValue(prefs, CFSTR("CurrentSet"), CFSTR("/Sets/B")));
    ASSERT_TRUE(SCPreferencesCommitChanges(prefs));
    ASSERT_TRUE(SCPreferencesApplyChanges(prefs));
    EXPECT_EQ((std::vector<std::string>{"Setup:/Network/Service/S6/IPv4", "Setup:/Network/Service/S6/Interface"}),
              Keys("Setup:.*"));
    int number = 7;
    CFRef<CFNumberRef> notAString(CFNumberCreate(nullptr, kCFNumberIntType, &number));
    for (CFTypeRef current : {static_cast<CFTypeRef>(CFSTR("/Sets/Nothing")), static_cast<CFTypeRef>(CFSTR("/Sets//A")),
                              static_cast<CFTypeRef>(notAString.get())}) {
        ASSERT_TRUE(SCPreferencesSetValue(prefs, CFSTR("CurrentSet"), current));
        ASSERT_TRUE(SCPreferencesCommitChanges(prefs));
        EXPECT_TRUE(SCPreferencesApplyChanges(prefs));
        EXPECT_EQ(std::vector<std::string>{}, Keys("Setup:.*"));
    }
}

// Apply publishes what the store file holds: never an object's uncommitted changes, another
// process's commit made after the object read the store, and from an object that committed
// exactly what a fresh reader of its file would publish (a date's fraction of a second and a
// real number included). A dynamic store that already holds those bytes is left as it is; one
// with the same content written otherwise is written again.
TEST_F(ApplyTest, ApplyPublishesTheFileNotTheObjectAndRewritesOnlyChangedBytes)
{
    CommitSampleStore();
    auto published = [&] { return Keys("Setup:.*"); };
    CFRef<SCPreferencesRef> changed = Open();
    ASSERT_TRUE(SCPreferencesSetValue(changed, CFSTR("CurrentSet"), CFSTR("/Sets/B")));
    ASSERT_TRUE(SCPreferencesApplyChanges(changed));
    std::vector<std::string> setA = published();
    ASSERT_EQ(10u, setA.size());

    CFRef<SCPreferencesRef> reader = Open();
    ASSERT_TRUE(SCPreferencesCommitChanges(changed));  // another object makes B current
    ASSERT_TRUE(SCPreferencesApplyChanges(reader));
    EXPECT_EQ((std::vector<std::string>{"Setup:/Network/Service/S6/IPv4", "Setup:/Network/Service/S6/Interface"}),
              published());

    CFRef<SCPreferencesRef> writer = Open();
    double ratio = 0.1;
    CFRef<CFNumberRef> real(CFNumberCreate(nullptr, kCFNumberFloat64Type, &ratio));
    CFRef<CFDateRef> lease(CFDateCreate(nullptr, 700000000.75));
    ASSERT_TRUE(SCPreferencesPathSetValue(writer, CFSTR("/NetworkServices/S6/IPv4"),
                                          Dict({{"ConfigMethod", CFSTR("DHCP")}, {"Ratio", real.get()}, {"Lease", lease.get()}})));
    ASSERT_TRUE(SCPreferencesCommitChanges(writer));
    ASSERT_TRUE(SCPreferencesApplyChanges(writer));
    std::string fromWriter = ReadFile(dynamicPath);
    std::filesystem::remove(dynamicPath);
    ASSERT_TRUE(Apply());
    EXPECT_EQ(ReadFile(dynamicPath), fromWriter);

    struct stat before {};
    ASSERT_EQ(0, stat(dynamicPath.c_str(), &before));
    ASSERT_TRUE(Apply());
    struct stat after {};
    ASSERT_EQ(0, stat(dynamicPath.c_str(), &after));
    EXPECT_EQ(after.st_ino, before.st_ino) << "an unchanged dynamic store is not replaced";
    int status = 0;
    std::string out = RunPython("import plistlib\n"
                                "p = '" + dynamicPath + "'\n"
                                "d = plistlib.load(open(p, 'rb'))\n"
                                "plistlib.dump(d, open(p, 'wb'), sort_keys=False)\n",
                                &status);
    ASSERT_EQ(0, status) << out;
    ASSERT_NE(ReadFile(dynamicPath), fromWriter);
    ASSERT_TRUE(Apply());
    EXPECT_EQ(ReadFile(dynamicPath), fromWriter);
}

TEST_F(ApplyTest, UnparsableDynamicStoreIsReportedAndLeftAlone)
{
    std::filesystem::create_directories(folder.path() / "run");
    WriteFile(dynamicPath, "garbage");
    CFRef<SCDynamicStoreRef> store(SCDynamicStoreCreate(nullptr, CFSTR("tests"), nullptr, nullptr));
    EXPECT_FALSE(SCDynamicStoreSetValue(store, CFSTR("State:/x"), Dict()));
    EXPECT_EQ(kSCStatusFailed, SCError());
    EXPECT_FALSE(Apply());
    EXPECT_EQ(kSCStatusFailed, SCError());
    EXPECT_EQ("garbage", ReadFile(dynamicPath));
}

}  // namespace
