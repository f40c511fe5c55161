// Sets, read back from the store with plistlib: a new set over the sample machine at two system
// versions, the ports a set leaves out, a creation that fails part-way (every failure swept)
// leaving the store as it was, deletion of the current and of another set, and duplication.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "CallFailureSweep.h"
#include "MoreSCFPortScanner.h"
#include "SCFTestSupport.h"

using namespace scftest;

namespace {

// en0 (built in, with an address), fw0 (FireWire, with an address) and en2 (an Ethernet
// controller that reports no address).
std::string NetStack(const char *bsdName, const char *mac, int type)
{
    std::string controller = std::string("<dict><key>IOObjectClass</key><string>IOEthernetController</string>"
                                         "<key>IORegistryEntryProperties</key><dict>"
                                         "<key>IOProviderClass</key><string>IOPCIDevice</string>") +
                             (mac != nullptr ? std::string("<key>IOMACAddress</key><data>") + mac + "</data>" : "") +
                             "</dict><key>IORegistryEntryChildren</key><array><dict><key>IOObjectClass</key><string>" +
                             (type == 6 ? "IOEthernetInterface" : "IONetworkInterface") +
                             "</string><key>IORegistryEntryProperties</key><dict><key>BSD Name</key><string>" + bsdName +
                             "</string><key>IOInterfaceType</key><integer>" + std::to_string(type) +
                             "</integer></dict></dict></array></dict>";
    return "<dict><key>IOObjectClass</key><string>IOPCIDevice</string><key>IORegistryEntryProperties</key><dict>"
           "<key>AAPL,slot-name</key><data>U0xPVC1KMTEA</data></dict>"
           "<key>IORegistryEntryChildren</key><array>" + controller + "</array></dict>";
}
const std::string kFireWireRegistry =
    R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict><key>IORegistryEntryChildren</key><array>)" +
    NetStack("en0", "AAECAwQF", 6) + NetStack("fw0", "AAECAwQG", 144) + NetStack("en2", nullptr, 6) +
    "</array></dict></plist>";

class SetsTest : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        PlatformTestingSetFolderRoot(scripts_.path().c_str());  // no modem scripts
        PlatformTestingSetIORegistrySnapshot((kExamples + "/registry-modem.plist").c_str());
    }

    void UseVersion(const char *version)
    {
        PlatformTestingSetSystemVersion(version);
        MoreSCFForgetSystemVersion();
    }

    // The device names of the scanner's ports, in its order, as JSON.
    static std::string ScannedDevices()
    {
        CFRef<CFArrayRef> ports;
        EXPECT_EQ(noErr, MoreSCCreatePortArray(ports.slot()));
        std::string json = "[";
        for (CFIndex i = 0; ports && i < CFArrayGetCount(ports); i++) {
            auto port = static_cast<CFDictionaryRef>(CFArrayGetValueAtIndex(ports, i));
            json += (i ? ", \"" : "\"") + Text(CFDictionaryGetValue(port, kSCPropNetInterfaceDeviceName)) + "\"";
        }
        return json + "]";
    }

    // The devices of the set's services in its order, as JSON, read with plistlib.
    std::string StoredDevices(const std::string &setID)
    {
        return Stored("[d['NetworkServices'][s]['Interface']['DeviceName'] for s in d['Sets']['" + setID +
                      "']['Network']['Global']['IPv4']['ServiceOrder']]");
    }

    standintest::TempFolder scripts_{"scripts"};
};

TEST_F(SetsTest, ANewSetHasAServicePerPortInTheScannersOrderAndTheVersionsGlobalIPv4Entity)
{
    struct Case {
        const char *version;
        const char *globalKeys;
    } cases[] = {
        {"10.4.11", R"(["PPPOverridePrimary", "ServiceOrder"])"},
        {"10.10.5", R"(["ServiceOrder"])"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.version);
        UseVersion(c.version);
        WriteStore(kFirstBootStore);
        CFRef<CFStringRef> name(Str("Travel"));
        CFRef<CFStringRef> setID;
        ASSERT_EQ(noErr, MoreSCNewSet(name, setID.slot()));
        std::string set = "d['Sets']['" + Text(setID) + "']";
        EXPECT_EQ(std::string("[\"Travel\", ") + c.globalKeys + "]",
                  Stored("[" + set + "['UserDefinedName'], sorted(" + set + "['Network']['Global']['IPv4'])]"));
        EXPECT_EQ(StoredDevices(Text(setID)), ScannedDevices());
        // Linked one to one with the order, the current set untouched.
        EXPECT_EQ("true",
                  Stored("sorted(" + set + "['Network']['Service']) == sorted(" + set +
                         "['Network']['Global']['IPv4']['ServiceOrder']) and all(" + set +
                         "['Network']['Service'][s] == {'__LINK__': '/NetworkServices/' + s} for s in " + set +
                         "['Network']['Service']) and d['CurrentSet'] == '/Sets/0'"));
    }
}

TEST_F(SetsTest, FireWireJoinsFromTenFourAndAPortWithoutAddressThatIsNoModemIsLeftOutWithALogLine)
{
    PlatformTestingSetIORegistrySnapshotText(kFireWireRegistry.c_str());
    struct Case {
        const char *version;
        const char *devices;
    } cases[] = {
        {"10.3.9", R"(["en0"])"},
        {"10.4.11", R"(["en0", "fw0"])"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.version);
        UseVersion(c.version);
        WriteStore(kFirstBootStore);
        PlatformTestingLogCaptureStart();
        CFRef<CFStringRef> name(Str("Office"));
        CFRef<CFStringRef> setID;
        ASSERT_EQ(noErr, MoreSCNewSet(name, setID.slot()));
        EXPECT_EQ(c.devices, StoredDevices(Text(setID)));
        EXPECT_NE(LogLines().find("3 New set: port en2 has no hardware address and is not a modem, skipped\n"),
                  std::string::npos)
            << LogLines();
    }
}

TEST_F(SetsTest, ASetWithoutPortsIsNamedWithAnEmptyServicesDictionary)
{
    PlatformTestingSetIORegistrySnapshotText(
        R"(<?xml version="1.0"?><plist version="1.0"><dict><key>IORegistryEntryChildren</key><array/></dict></plist>)");
    WriteStore(kFirstBootStore);
    CFRef<CFStringRef> name(Str("Empty"));
    CFRef<CFStringRef> setID;
    ASSERT_EQ(noErr, MoreSCNewSet(name, setID.slot()));
    EXPECT_EQ(R"({"Network": {"Global": {"IPv4": {"ServiceOrder": []}}, "Service": {}}, "UserDefinedName": "Empty"})",
              Stored("d['Sets']['" + Text(setID) + "']"));
}

// Every platform call of a creation failing in turn, and every object creation: a failed
// creation hands out no ID and leaves the store as it was (no set, no service of it).
TEST_F(SetsTest, ACreationThatFailsPartWayLeavesTheStoreAsItWas)
{
    WriteStore(kFirstBootStore, "d['Sets']['0']['Network']['Global']['IPv4']['ServiceOrder'] = ['X']\n"
                                "d['Sets']['0']['Network']['Service']['X'] = {'__LINK__': '/NetworkServices/X'}\n"
                                "d['NetworkServices']['X'] = {'UserDefinedName': 'Other'}");
    CFRef<CFPropertyListRef> original(CopyStoreContent());
    ASSERT_TRUE(original);
    const std::string originalBytes = ReadStoreBytes();

    // The second port's service ID cannot be made (the first ID is the set's).
    PlatformTestingSystemConfigurationFailCall("SCPreferencesPathCreateUniqueChild", kSCStatusFailed, 2);
    CFRef<CFStringRef> name(Str("Travel"));
    CFRef<CFStringRef> setID;
    EXPECT_EQ(kSCStatusFailed, MoreSCNewSet(name, setID.slot()));
    PlatformTestingSystemConfigurationFailCall("SCPreferencesPathCreateUniqueChild", 0, 0);
    EXPECT_FALSE(setID);
    CFRef<CFPropertyListRef> after(CopyStoreContent());
    EXPECT_TRUE(CFEqual(original, after)) << Stored("d");

    // The sweeps run over a smaller machine: en0 and fw0 (en2 is left out).
    PlatformTestingSetIORegistrySnapshotText(kFireWireRegistry.c_str());
    UseVersion("10.4.11");
    auto newSet = [&](std::string *result) {
        WriteStoreBytes(originalBytes);
        PlatformTestingSCDeterministicIDs(1);
        CFRef<CFStringRef> id;
        OSStatus err = MoreSCNewSet(name, id.slot());
        CFRef<CFPropertyListRef> stored(CopyStoreContent());
        if (err != noErr) {
            EXPECT_FALSE(id);
            // Unchanged; or, when only the apply after a successful commit failed, the set is in
            // the store complete (two sets, the other service and one per port).
            bool unchanged = CFEqual(original, stored);
            auto root = static_cast<CFDictionaryRef>(stored.get());
            auto count = [&](CFStringRef key) {
                auto value = static_cast<CFDictionaryRef>(CFDictionaryGetValue(root, key));
                return value != nullptr ? CFDictionaryGetCount(value) : -1;
            };
            EXPECT_TRUE(unchanged || (count(kSCPrefSets) == 2 && count(kSCPrefNetworkServices) == 3)) << "status " << err;
        }
        *result = id ? Text(id) : "";
        return err;
    };
    for (const char *call : {"SCPreferencesPathCreateUniqueChild", "SCPreferencesPathSetValue",
                             "SCPreferencesPathGetValue", "SCPreferencesPathGetLink", "SCPreferencesCommitChanges"}) {
        EXPECT_GT(callsweep::FailEachCall(PlatformTestingSystemConfigurationFailCall, call, kSCStatusFailed, newSet,
                                          {coreFoundationUnknownErr}),
                  0u)
            << call;
    }
    standintest::FailEachCreation<OSStatus>(
        [&] {
            std::string ignored;
            return newSet(&ignored);
        },
        {noErr, coreFoundationUnknownErr, kSCStatusFailed, memFullErr, -1, OSStatus(kIOReturnNoMemory)});
}

TEST_F(SetsTest, DeletingTheCurrentSetIsRefusedAndAnotherSetGoesWithTheServicesOnlyItUsed)
{
    // S2 links A (also in S1) and C (in S2 only).
    const char *const withC = "d['Sets']['S2']['Network']['Service']['C'] = {'__LINK__': '/NetworkServices/C'}\n"
                              "d['Sets']['S2']['Network']['Global']['IPv4']['ServiceOrder'].append('C')\n"
                              "d['NetworkServices']['C'] = {'UserDefinedName': 'Gamma'}";
    WriteStore(kStandardStore, withC);
    std::string before = StoreIdentity();
    CFRef<CFStringRef> s1(Str("S1"));
    EXPECT_EQ(paramErr, MoreSCDeleteSet(s1));
    EXPECT_EQ(before, StoreIdentity()) << "the store was written";

    CFRef<CFStringRef> s2(Str("S2"));
    EXPECT_EQ(noErr, MoreSCDeleteSet(s2));
    EXPECT_EQ(R"([["S1"], ["A", "B"]])", Stored("[sorted(d['Sets']), sorted(d['NetworkServices'])]"));

    // A store without a current set keeps no set from deletion; one without services has none
    // to sweep.
    WriteStore(kStandardStore, "del d['CurrentSet']\ndel d['NetworkServices']");
    EXPECT_EQ(noErr, MoreSCDeleteSet(s1));
    EXPECT_EQ(R"(["S2"])", Stored("sorted(d['Sets'])"));
}

TEST_F(SetsTest, ADuplicateHasDeepCopiesOfTheServicesInTheSourcesOrder)
{
    WriteStore(kStandardStore, "d['Sets']['S1']['Network']['Global']['IPv4']['ServiceOrder'] = ['B', 'A']");
    CFRef<CFStringRef> s1(Str("S1"));
    CFRef<CFStringRef> newName(Str("Home copy"));
    CFRef<CFStringRef> copyID;
    ASSERT_EQ(noErr, MoreSCDuplicateSet(s1, newName, copyID.slot()));
    std::string copy = "d['Sets']['" + Text(copyID) + "']";
    std::string order = copy + "['Network']['Global']['IPv4']['ServiceOrder']";
    EXPECT_EQ(R"(["Home copy", ["Beta", "Alpha"], true, [false, false]])",
              Stored("[" + copy + "['UserDefinedName'], [d['NetworkServices'][s]['UserDefinedName'] for s in " + order +
                     "], sorted(" + copy + "['Network']['Service']) == sorted(" + order + "), [s in ('A', 'B') for s in " +
                     order + "]]"));
    EXPECT_EQ("true",
              Stored("[d['NetworkServices'][s] for s in " + order + "] == [d['NetworkServices']['B'], "
                     "d['NetworkServices']['A']]"));

    // Changing a copy leaves the source as it was.
    std::string sourceBefore = Stored("[d['Sets']['S1'], d['NetworkServices']['A'], d['NetworkServices']['B']]");
    CFRef<CFArrayRef> copies;
    ASSERT_EQ(noErr, MoreSCCopyServiceIDs(copyID, copies.slot(), nullptr));
    auto alphaCopy = static_cast<CFStringRef>(CFArrayGetValueAtIndex(copies, 1));
    CFRef<CFStringRef> renamed(Str("Alpha 2"));
    ASSERT_EQ(noErr, MoreSCRenameService(copyID, alphaCopy, renamed));
    CFRef<CFMutableDictionaryRef> ipv4;
    ASSERT_EQ(noErr, MoreSCCopyEntityMutable(copyID, alphaCopy, kSCEntNetIPv4, ipv4.slot()));
    CFDictionarySetValue(ipv4, kSCPropNetIPv4ConfigMethod, kSCValNetIPv4ConfigMethodManual);
    ASSERT_EQ(noErr, MoreSCSetEntity(copyID, alphaCopy, kSCEntNetIPv4, ipv4));
    EXPECT_EQ(sourceBefore, Stored("[d['Sets']['S1'], d['NetworkServices']['A'], d['NetworkServices']['B']]"));
    EXPECT_EQ(R"({"ConfigMethod": "Manual"})", Stored("d['NetworkServices']['" + Text(alphaCopy) + "']['IPv4']"));

    // A source without a service order fails and leaves no copy behind.
    WriteStore(kStandardStore, "del d['Sets']['S2']['Network']['Global']['IPv4']['ServiceOrder']");
    CFRef<CFStringRef> s2(Str("S2"));
    CFRef<CFStringRef> failedID;
    EXPECT_NE(MoreSCDuplicateSet(s2, nullptr, failedID.slot()), noErr);
    EXPECT_FALSE(failedID);
    EXPECT_EQ(R"([["S1", "S2"], ["A", "B"]])", Stored("[sorted(d['Sets']), sorted(d['NetworkServices'])]"));
}

}  // namespace
