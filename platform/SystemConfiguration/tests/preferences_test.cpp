// The preferences object: reading the store, top-level values, paths and links, unique
// children, the last status, and refusing stores that would lose the user's data.
#include "SCTestSupport.h"

namespace {

using namespace sctest;

class PreferencesTest : public SCTest {};

TEST_F(PreferencesTest, MissingStoreIsEmptyAndTopLevelValuesBehave)
{
    CFRef<SCPreferencesRef> prefs = Open();
    ASSERT_TRUE(prefs);
    EXPECT_EQ(0, SCError());
    EXPECT_EQ(CFGetTypeID(prefs), SCPreferencesGetTypeID());
    EXPECT_EQ(nullptr, SCPreferencesGetValue(prefs, CFSTR("CurrentSet")));
    EXPECT_EQ(kSCStatusNoKey, SCError());

    EXPECT_TRUE(SCPreferencesSetValue(prefs, CFSTR("CurrentSet"), CFSTR("/Sets/A")));
    EXPECT_EQ(0, SCError());
    EXPECT_FALSE(SCPreferencesAddValue(prefs, CFSTR("CurrentSet"), CFSTR("/Sets/B")));
    EXPECT_EQ(kSCStatusKeyExists, SCError());
    EXPECT_TRUE(SCPreferencesAddValue(prefs, CFSTR("System"), Dict()));
    EXPECT_EQ("/Sets/A", Text(SCPreferencesGetValue(prefs, CFSTR("CurrentSet"))));

    CFRef<CFArrayRef> keys(SCPreferencesCopyKeyList(prefs));
    ASSERT_TRUE(keys);
    EXPECT_EQ(2, CFArrayGetCount(keys));

    EXPECT_TRUE(SCPreferencesRemoveValue(prefs, CFSTR("System")));
    EXPECT_FALSE(SCPreferencesRemoveValue(prefs, CFSTR("System")));
    EXPECT_EQ(kSCStatusNoKey, SCError());
    EXPECT_STREQ(SCErrorString(kSCStatusStale), "Stale configuration");
    EXPECT_STREQ(SCErrorString(0), "Success!");
    EXPECT_FALSE(std::filesystem::exists(storePath)) << "nothing is written before a commit";
}

TEST_F(PreferencesTest, StoresThatWouldLoseDataAreRefusedAndLeftAlone)
{
    const std::pair<const char *, std::string> cases[] = {
        {"empty", ""},
        {"not a property list", "this is not a property list\n"},
        {"truncated XML", "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Sets</key>"},
        {"array at the top", "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>x</string></array></plist>"},
        {"string at the top", "<?xml version=\"1.0\"?><plist version=\"1.0\"><string>x</string></plist>"},
    };
    for (const auto &[what, bytes] : cases) {
        SCOPED_TRACE(what);
        WriteFile(storePath, bytes);
        CFRef<SCPreferencesRef> prefs(SCPreferencesCreate(nullptr, CFSTR("tests"), nullptr));
        EXPECT_FALSE(prefs);
        EXPECT_EQ(kSCStatusFailed, SCError());
        EXPECT_EQ(ReadFile(storePath), bytes);
        EXPECT_EQ(std::vector<std::string>{"preferences.plist"}, FolderNames(folder.path()));
    }
}

TEST_F(PreferencesTest, PathsCreateIntermediatesFollowLinksAndRefuseBadInput)
{
    CFRef<SCPreferencesRef> prefs = Open();
    CFRef<CFMutableDictionaryRef> ipv4 = Dict({{"ConfigMethod", CFSTR("DHCP")}});
    ASSERT_TRUE(SCPreferencesPathSetValue(prefs, CFSTR("/NetworkServices/S1/IPv4"), ipv4));
    ASSERT_TRUE(SCPreferencesPathSetLink(prefs, CFSTR("/Sets/A/Network/Service/S1"), CFSTR("/NetworkServices/S1")));
    CFRef<CFMutableDictionaryRef> badLink = Dict({{"__LINK__", Dict().get()}});
    ASSERT_TRUE(SCPreferencesPathSetValue(prefs, CFSTR("/Sets/A/Network/Service/S2"), badLink));
    CFRef<CFMutableDictionaryRef> loop = Dict({{"__LINK__", CFSTR("/Loop")}});
    ASSERT_TRUE(SCPreferencesPathSetValue(prefs, CFSTR("/Loop"), loop));

    struct Case {
        const char *path;
        int status;        // of PathGetValue
        const char *link;  // PathGetLink's answer, or NULL with linkStatus
        int linkStatus;
    } cases[] = {
        {"/NetworkServices/S1/IPv4", 0, nullptr, kSCStatusNoLink},
        {"/Sets/A/Network/Service/S1", 0, "/NetworkServices/S1", 0},
        {"/Sets/A/Network/Service/S1/IPv4", 0, nullptr, kSCStatusNoLink},  // through the link
        {"/Sets/A/Network/Service/S2", 0, nullptr, kSCStatusNoLink},       // link is not a string
        {"/Sets/A/Network/Service/S2/IPv4", kSCStatusNoLink, nullptr, kSCStatusNoLink},
        {"/Loop/x", kSCStatusMaxLink, nullptr, kSCStatusMaxLink},
        {"/Sets/B", kSCStatusNoKey, nullptr, kSCStatusNoKey},
        {"/NetworkServices/S1/IPv4/ConfigMethod", kSCStatusNoKey, nullptr, kSCStatusNoKey},  // not a dictionary
        {"/Sets//A", kSCStatusInvalidArgument, nullptr, kSCStatusInvalidArgument},
        {"/Sets/A/", kSCStatusInvalidArgument, nullptr, kSCStatusInvalidArgument},
        {"Sets/A", kSCStatusInvalidArgument, nullptr, kSCStatusInvalidArgument},
        {"", kSCStatusInvalidArgument, nullptr, kSCStatusInvalidArgument},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        CFDictionaryRef value = SCPreferencesPathGetValue(prefs, Str(c.path));
        EXPECT_EQ(c.status, SCError());
        EXPECT_EQ(c.status == 0, value != nullptr);
        CFStringRef link = SCPreferencesPathGetLink(prefs, Str(c.path));
        EXPECT_EQ(Text(link), c.link != nullptr ? c.link : "<none>");
        EXPECT_EQ(SCError(), c.link != nullptr ? 0 : c.linkStatus);
    }
    EXPECT_EQ("DHCP",
              Text(CFDictionaryGetValue(SCPreferencesPathGetValue(prefs, CFSTR("/Sets/A/Network/Service/S1/IPv4")),
                                        CFSTR("ConfigMethod"))));
    // Writes refuse the same bad paths and change nothing.
    for (const char *bad : {"/", "/Sets//A", "/NetworkServices/S1/IPv4/ConfigMethod/x", "/Loop/x"}) {
        EXPECT_FALSE(SCPreferencesPathSetValue(prefs, Str(bad), ipv4)) << bad;
        EXPECT_FALSE(SCPreferencesPathRemoveValue(prefs, Str(bad))) << bad;
    }
    EXPECT_FALSE(SCPreferencesPathSetValue(prefs, CFSTR("/X"), reinterpret_cast<CFDictionaryRef>(CFSTR("text"))));
    EXPECT_EQ(kSCStatusInvalidArgument, SCError());
    EXPECT_TRUE(SCPreferencesPathRemoveValue(prefs, CFSTR("/Sets/A/Network/Service/S1/IPv4")));  // through the link
    EXPECT_EQ(nullptr, SCPreferencesPathGetValue(prefs, CFSTR("/NetworkServices/S1/IPv4")));
    EXPECT_FALSE(SCPreferencesPathRemoveValue(prefs, CFSTR("/NetworkServices/S1/IPv4")));
    EXPECT_EQ(kSCStatusNoKey, SCError());
}

TEST_F(PreferencesTest, LentValuesOutliveTheirReplacement)
{
    CFRef<SCPreferencesRef> prefs = Open();
    ASSERT_TRUE(SCPreferencesPathSetValue(prefs, CFSTR("/NetworkServices/S1"), Dict({{"UserDefinedName", CFSTR("old")}})));
    CFDictionaryRef lent = SCPreferencesPathGetValue(prefs, CFSTR("/NetworkServices/S1"));
    ASSERT_TRUE(SCPreferencesPathSetValue(prefs, CFSTR("/NetworkServices/S1"), Dict({{"UserDefinedName", CFSTR("new")}})));
    ASSERT_TRUE(SCPreferencesRemoveValue(prefs, CFSTR("NetworkServices")));
    EXPECT_EQ("old", Text(CFDictionaryGetValue(lent, CFSTR("UserDefinedName"))));
}

TEST_F(PreferencesTest, UniqueChildrenAreUpperCaseUUIDsOrTheSeamsCounter)
{
    CFRef<SCPreferencesRef> prefs = Open();
    CFRef<CFStringRef> random(SCPreferencesPathCreateUniqueChild(prefs, CFSTR("/NetworkServices")));
    std::string text = Text(random);
    ASSERT_EQ(std::string("/NetworkServices/").size() + 36, text.size()) << text;
    EXPECT_EQ(std::string::npos, text.find_first_not_of("/NetworkServices0123456789ABCDEF-")) << text;
    EXPECT_EQ(0, CFDictionaryGetCount(SCPreferencesPathGetValue(prefs, random)));

    PlatformTestingSCDeterministicIDs(1);
    ASSERT_TRUE(SCPreferencesPathSetValue(prefs, CFSTR("/Sets/00000000-0000-0000-0000-000000000001"), Dict()));
    CFRef<CFStringRef> next(SCPreferencesPathCreateUniqueChild(prefs, CFSTR("/Sets")));
    EXPECT_EQ("/Sets/00000000-0000-0000-0000-000000000002", Text(next)) << "a taken name is skipped";
    CFRef<CFStringRef> none(SCPreferencesPathCreateUniqueChild(prefs, CFSTR("/Sets//")));
    EXPECT_FALSE(none);
    EXPECT_EQ(kSCStatusInvalidArgument, SCError());
}

TEST_F(PreferencesTest, PlistlibReadsWhatIsCommittedAndWritesWhatIsRead)
{
    CFRef<SCPreferencesRef> prefs = Open();
    ASSERT_TRUE(SCPreferencesSetValue(prefs, CFSTR("CurrentSet"), CFSTR("/Sets/A")));
    int number = 1500;
    CFRef<CFNumberRef> mtu(CFNumberCreate(nullptr, kCFNumberIntType, &number));
    ASSERT_TRUE(SCPreferencesPathSetValue(prefs, CFSTR("/NetworkServices/S1/Ethernet"),
                                          Dict({{"MTU", mtu.get()}, {"Note", CFSTR("caf\u00e9 & <b>")}})));
    ASSERT_TRUE(SCPreferencesCommitChanges(prefs));
    int status = 0;
    std::string out = RunPython("import plistlib\n"
                                "d = plistlib.load(open('" + storePath + "', 'rb'))\n"
                                "e = d['NetworkServices']['S1']['Ethernet']\n"
                                "print(d['CurrentSet'], e['MTU'], e['Note'])\n"
                                "d['Sets'] = {'A': {'UserDefinedName': 'Automatic \u00e9'}}\n"
                                "plistlib.dump(d, open('" + storePath + "', 'wb'))\n",
                                &status);
    ASSERT_EQ(0, status) << out;
    EXPECT_EQ("/Sets/A 1500 caf\u00e9 & <b>\n", out);
    CFRef<SCPreferencesRef> again = Open();
    EXPECT_EQ("Automatic \u00e9",
              Text(CFDictionaryGetValue(SCPreferencesPathGetValue(again, CFSTR("/Sets/A")), CFSTR("UserDefinedName"))));
}

}  // namespace
