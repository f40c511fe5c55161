// Set recipes over stores read back with plistlib: the PPPoE recipe seen through the network
// configuration views as the provisioning run sees it, the dial-up bundle's DNS rule, failures
// that the recipes now report, the guarded deletion of the current set, the DHCP services of the
// dynamic store and a lease release watched from a second process.
#include <filesystem>
#include <string>
#include <vector>

#include "MoreSCFHelpers.h"
#include "MoreSCFPortScanner.h"
#include "SCFTestSupport.h"

using namespace scftest;

namespace {

// The current set "0" with the modem's Ethernet service "E" (en5, DHCP) and its diagnostics
// port "M" (active); a second set "1" named "Spare" with nothing.
const char *const kModemStore = R"({
  'CurrentSet': '/Sets/0',
  'Sets': {
    '0': {'UserDefinedName': 'Automatic', 'Network': {
      'Service': {'E': {'__LINK__': '/NetworkServices/E'}, 'M': {'__LINK__': '/NetworkServices/M'}},
      'Global': {'IPv4': {'ServiceOrder': ['E', 'M']}}}},
    '1': {'UserDefinedName': 'Spare', 'Network': {'Service': {}, 'Global': {'IPv4': {'ServiceOrder': []}}}}},
  'NetworkServices': {
    'E': {'UserDefinedName': 'Ethernet Adaptor (en5)',
          'Interface': {'DeviceName': 'en5', 'Hardware': 'Ethernet', 'Type': 'Ethernet'},
          'IPv4': {'ConfigMethod': 'DHCP'}, 'DNS': {}},
    'M': {'UserDefinedName': 'ORVEKA Mobile',
          'Interface': {'DeviceName': 'ORVEKAMobile-Diag', 'Hardware': 'Modem', 'Type': 'PPP',
                        'SubType': 'PPPSerial'}}}})";

class RecipesTest : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        PlatformTestingSetFolderRoot(scripts_.path().c_str());
        PlatformTestingSetIORegistrySnapshot((kExamples + "/registry-modem.plist").c_str());
    }

    // What the provisioning run does for the modem's port: the scanner's en5 port gets a service
    // in the current set, committed and applied.
    std::string ProvisionEn5()
    {
        CFRef<CFArrayRef> ports;
        EXPECT_EQ(noErr, MoreSCCreatePortArray(ports.slot()));
        for (CFIndex i = 0; ports && i < CFArrayGetCount(ports); i++) {
            auto port = static_cast<CFDictionaryRef>(CFArrayGetValueAtIndex(ports, i));
            if (Text(CFDictionaryGetValue(port, kSCPropNetInterfaceDeviceName)) == "en5") {
                CFRef<CFStringRef> serviceID;
                EXPECT_EQ(noErr, MoreSCNewService(nullptr, port, serviceID.slot()));
                return Text(serviceID);
            }
        }
        ADD_FAILURE() << "no en5 port";
        return "";
    }

    standintest::TempFolder scripts_{"scripts"};
};

// The provisioning run's existing-service check, through the platform's views: the BSD names of
// the current set's services, a PPP service looked through to the interface it runs over.
std::vector<std::string> CurrentSetDevicesAsTheRunSeesThem(bool *sawPPP)
{
    std::vector<std::string> devices;
    CFRef<CFStringRef> client(Str("NetSprout"));
    CFRef<SCPreferencesRef> prefs(SCPreferencesCreate(nullptr, client, nullptr));
    CFRef<SCNetworkSetRef> set(prefs ? SCNetworkSetCopyCurrent(prefs) : nullptr);
    CFRef<CFArrayRef> services(set ? SCNetworkSetCopyServices(set) : nullptr);
    for (CFIndex i = 0; services && i < CFArrayGetCount(services); i++) {
        SCNetworkInterfaceRef interface =
            SCNetworkServiceGetInterface(static_cast<SCNetworkServiceRef>(CFArrayGetValueAtIndex(services, i)));
        if (interface != nullptr && SCNetworkInterfaceGetInterfaceType(interface) == kSCNetworkInterfaceTypePPP) {
            *sawPPP = true;
            interface = SCNetworkInterfaceGetInterface(interface);
        }
        devices.push_back(interface != nullptr ? Text(SCNetworkInterfaceGetBSDName(interface)) : "<none>");
    }
    return devices;
}

TEST_F(RecipesTest, ThePPPoERecipeOnEn5MakesItsServiceAPPPoEServiceThatStillCountsAsProvisioned)
{
    WriteStore(kModemStore);
    PPPDigest ppp{};
    ppp.active = true;
    CFRef<CFStringRef> en5(Str("en5"));
    CFRef<CFStringRef> name(Str("Mobile"));
    ASSERT_EQ(noErr, MoreSCMakeNewPPPoESet(en5, name, &ppp, nullptr, nullptr, nullptr));
    EXPECT_EQ(R"x([{"DeviceName": "en5", "Hardware": "Ethernet", "SubType": "PPPoE", "Type": "PPP"}, )x"
              R"x({"ConfigMethod": "PPP"}, true, ["0", "1"]])x",
              Stored("[d['NetworkServices']['E']['Interface'], d['NetworkServices']['E']['IPv4'], "
                     "'__INACTIVE__' in d['NetworkServices']['M'], sorted(d['Sets'])]"));

    bool sawPPP = false;
    std::vector<std::string> devices = CurrentSetDevicesAsTheRunSeesThem(&sawPPP);
    EXPECT_TRUE(sawPPP);
    EXPECT_EQ("en5", devices.front());

    // Without a device the first Ethernet port of the scanner is the one.
    WriteStore(kModemStore, "d['NetworkServices']['E']['Interface']['DeviceName'] = 'en0'");
    ASSERT_EQ(noErr, MoreSCMakeNewPPPoESet(nullptr, name, &ppp, nullptr, nullptr, nullptr));
    EXPECT_EQ(R"("PPPoE")", Stored("d['NetworkServices']['E']['Interface']['SubType']"));
}

TEST_F(RecipesTest, TheDialupBundleKeepsTheDNSDigestOverTheIPv6OneAndNeedsADevice)
{
    const UInt32 server = 0x0a000001;  // any order: only its presence is compared
    const char *const v6Server[] = {"fe80::1"};
    DNSDigest dns{1, &server, 0, nullptr};
    IPv6DNSDigest v6{1, v6Server, 0, nullptr};
    CFRef<CFStringRef> en5(Str("en5"));
    CFRef<CFStringRef> name(Str("Dial"));
    struct Case {
        const DNSDigest *dns;
        const char *expected;
    } cases[] = {
        {&dns, R"(["10.0.0.1"])"},
        {nullptr, R"(["fe80::1"])"},
    };
    for (const Case &c : cases) {
        WriteStore(kModemStore);
        ASSERT_EQ(noErr, MoreSCMakeNewDialupSet(en5, name, nullptr, nullptr, nullptr, c.dns, &v6, nullptr));
        std::string got = Stored("d['NetworkServices']['E']['DNS']['ServerAddresses']");
        EXPECT_TRUE(got == c.expected || (c.dns != nullptr && got == R"(["1.0.0.10"])")) << got;
        EXPECT_EQ("true", Stored("'PPP' in d['NetworkServices']['E']"));
    }
    EXPECT_EQ(paramErr, MoreSCMakeNewDialupSet(nullptr, name, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
}

// The recipes used to answer 0 whatever happened; now the first failure is the answer, and the
// walk over the services still goes on past a failing one.
TEST_F(RecipesTest, RecipesReportTheirFirstFailure)
{
    CFRef<CFStringRef> en5(Str("en5"));
    CFRef<CFStringRef> name(Str("Mobile"));
    PPPDigest ppp{};
    ppp.active = true;

    WriteStore(kModemStore);
    PlatformTestingSystemConfigurationFailCall("SCPreferencesCreate", kSCStatusAccessError, PLATFORM_TESTING_EVERY_CALL);
    EXPECT_EQ(kSCStatusAccessError, MoreSCMakeNewPPPoESet(en5, name, &ppp, nullptr, nullptr, nullptr));
    EXPECT_EQ(kSCStatusAccessError, DeleteSet(en5));
    PlatformTestingSystemConfigurationFailCall("SCPreferencesCreate", 0, 0);

    std::string before = Stored("d");
    PlatformTestingSystemConfigurationFailCall("SCPreferencesPathSetValue", kSCStatusFailed, PLATFORM_TESTING_EVERY_CALL);
    EXPECT_EQ(kSCStatusFailed, MoreSCMakeNewDialupSet(en5, name, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    PlatformTestingSystemConfigurationFailCall("SCPreferencesPathSetValue", 0, 0);
    EXPECT_EQ(before, Stored("d"));

    // E's first write fails; M is still switched off, and that is committed.
    PlatformTestingSystemConfigurationFailCall("SCPreferencesPathSetValue", kSCStatusFailed, 0);
    EXPECT_EQ(kSCStatusFailed, MoreSCMakeNewPPPoESet(en5, name, &ppp, nullptr, nullptr, nullptr));
    EXPECT_EQ(R"([true, "Ethernet"])",
              Stored("['__INACTIVE__' in d['NetworkServices']['M'], d['NetworkServices']['E']['Interface']['Type']]"));
}

TEST_F(RecipesTest, DeleteSetReportsTheRefusalToDeleteTheCurrentSetAndMakesNoOtherSetCurrent)
{
    WriteStore(kModemStore);
    std::string before = StoreIdentity();
    CFRef<CFStringRef> en5(Str("en5"));
    CFRef<CFStringRef> other(Str("en9"));
    EXPECT_EQ(paramErr, DeleteSet(en5));
    EXPECT_EQ(noErr, DeleteSet(other));
    EXPECT_EQ(before, StoreIdentity()) << "the store was written";
}

TEST_F(RecipesTest, SetsAreFoundByNamePassingOverSetsWithoutOne)
{
    WriteStore(kModemStore, "d['Sets']['00'] = {'Network': {}}\nd['Sets'] = dict(sorted(d['Sets'].items()))");
    CFRef<CFStringRef> spare(Str("Spare"));
    CFRef<CFStringRef> missing(Str("Nowhere"));
    CFRef<CFStringRef> found;
    EXPECT_EQ(noErr, MoreSCFindSetByUserVisibleNameAndCopyID(spare, found.slot()));
    EXPECT_EQ("1", Text(found));
    CFRef<CFStringRef> none;
    EXPECT_EQ(noErr, MoreSCFindSetByUserVisibleNameAndCopyID(missing, none.slot()));
    EXPECT_FALSE(none);

    CFRef<CFStringRef> modem;
    CFRef<CFStringRef> fireWire;
    EXPECT_EQ(noErr, MoreSCFCopyDefaultPortBSDName(kSCEntNetModem, modem.slot()));
    EXPECT_EQ("ORVEKAMobile-Pcui", Text(modem));
    EXPECT_EQ(noErr, MoreSCFCopyDefaultPortBSDName(kSCEntNetFireWire, fireWire.slot()));
    EXPECT_FALSE(fireWire);

    Boolean active = true;
    EXPECT_EQ(noErr, MoreSCIsDadarTalkActive(nullptr, &active));
    EXPECT_FALSE(active);
    EXPECT_EQ(noErr, MoreSCSetDadarTalkActive(nullptr));
}

TEST_F(RecipesTest, TheDHCPServicesComeFromTheDynamicStore)
{
    CFRef<CFArrayRef> none;
    EXPECT_EQ(noErr, MoreSCCreateActiveDHCPServicesArray(none.slot()));  // no dynamic store yet
    ASSERT_TRUE(none);
    EXPECT_EQ(0, CFArrayGetCount(none));

    WriteStore(kFirstBootStore);
    std::string serviceID = ProvisionEn5();
    CFRef<CFArrayRef> ids;
    ASSERT_EQ(noErr, MoreSCCreateActiveDHCPServicesArray(ids.slot()));
    ASSERT_EQ(1, CFArrayGetCount(ids));
    EXPECT_EQ(Text(CFArrayGetValueAtIndex(ids, 0)), serviceID);

    // A set-up IPv4 entity without a method.
    WriteStore("{'Setup:/Network/Service/X/IPv4': {'Addresses': []}}", "", dynamicStore_);
    CFRef<CFArrayRef> broken;
    EXPECT_EQ(-2, MoreSCCreateActiveDHCPServicesArray(broken.slot()));
    EXPECT_FALSE(broken);
}

// What a second process reads in the dynamic store at each commit of a release.
struct ReleaseWatch {
    RecipesTest *test;
    const standintest::TempFolder *folder;
    std::string dynamicStore;
    std::string key;
    std::vector<std::string> seen;
};

void WatchCommit(const char *, void *context)
{
    auto *watch = static_cast<ReleaseWatch *>(context);
    watch->seen.push_back(RunPython(*watch->folder, "import plistlib\nd = plistlib.load(open('" + watch->dynamicStore +
                                                        "', 'rb'))\nprint('" + watch->key + "' in d)\n"));
}

TEST_F(RecipesTest, ALeaseReleaseIsSeenFromAnotherProcessAndLeavesASwitchedOffEntityOff)
{
    WriteStore(kFirstBootStore);
    std::string serviceID = ProvisionEn5();
    ReleaseWatch watch{this, &folder_, dynamicStore_, "Setup:/Network/Service/" + serviceID + "/IPv4", {}};
    PlatformTestingSetCommitHook(WatchCommit, &watch);
    CFRef<CFStringRef> id(Str(serviceID.c_str()));
    ASSERT_EQ(noErr, MoreSCDHCPRelease(id));
    // Before switching off the lease is published; before switching on again it is gone.
    EXPECT_EQ((std::vector<std::string>{"True", "False"}), watch.seen);
    EXPECT_EQ("false", Stored("'__INACTIVE__' in d['NetworkServices']['" + serviceID + "']['IPv4']"));

    // The user switched IPv4 off: it stays off, and nothing is written.
    ASSERT_EQ(noErr, MoreSCSetEntityActive(nullptr, id, kSCEntNetIPv4, false));
    watch.seen.clear();
    std::string before = StoreIdentity();
    EXPECT_EQ(noErr, MoreSCDHCPRelease(id));
    EXPECT_TRUE(watch.seen.empty());
    EXPECT_EQ(before, StoreIdentity());
    EXPECT_EQ("1", Stored("d['NetworkServices']['" + serviceID + "']['IPv4']['__INACTIVE__']"));
}

}  // namespace
