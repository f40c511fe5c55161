// Services, read back from the store with plistlib: complete services for each kind of port and
// system version, a failed creation that leaves the store as it was, ports of the wrong shape,
// the ID lists, activation, renaming, duplication, deletion and the sweep.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "CallFailureSweep.h"
#include "SCFTestSupport.h"

using namespace scftest;

namespace {

// A port dictionary as the scanner makes them: texts for every key, numbers where given.
CFDictionaryRef NewPort(std::initializer_list<std::pair<const char *, const char *>> texts,
                        std::initializer_list<std::pair<const char *, long>> numbers = {})
{
    CFMutableDictionaryRef port = CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks,
                                                            &kCFTypeDictionaryValueCallBacks);
    for (const auto &[key, text] : texts) {
        CFRef<CFStringRef> k(Str(key));
        CFRef<CFStringRef> v(Str(text));
        CFDictionarySetValue(port, k, v);
    }
    for (const auto &[key, number] : numbers) {
        CFRef<CFStringRef> k(Str(key));
        CFRef<CFNumberRef> v(CFNumberCreate(kCFAllocatorDefault, kCFNumberLongType, &number));
        CFDictionarySetValue(port, k, v);
    }
    return port;
}

CFDictionaryRef NewEthernetPort(const char *device = "en5", const char *address = "0a:3f:71:12:34:56")
{
    std::string name = std::string("Ethernet Adaptor (") + device + ")";
    CFDictionaryRef port = NewPort({{"UserDefinedName", name.c_str()},
                                    {"Hardware", "Ethernet"},
                                    {"Type", "Ethernet"},
                                    {"DeviceName", device},
                                    {"MACAddress", address}});
    return port;
}

class ServicesTest : public StoreTest {
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        // Modem scripts come from an empty folder tree; the registry holds no modem.
        PlatformTestingSetFolderRoot(scripts_.path().c_str());
        PlatformTestingSetIORegistrySnapshot((kExamples + "/registry-no-modem.plist").c_str());
    }

    standintest::TempFolder scripts_{"scripts"};
};

struct VersionCase {
    const char *version;
    const char *entities;  // the service's keys, sorted
    const char *firstID;
};

TEST_F(ServicesTest, AnEthernetPortGetsACompleteServiceLinkedAndOrderedLastAtEveryVersion)
{
    const VersionCase cases[] = {
        {"10.10.5",
         R"x(["DNS", "Ethernet", "IPv4", "IPv6", "Interface", "PPP", "Proxies", "UserDefinedName"])x",
         "00000000-0000-0000-0000-000000000001"},
        {"10.4.11",
         R"x(["DNS", "Ethernet", "IPv4", "IPv6", "Interface", "PPP", "Proxies", "UserDefinedName"])x",
         "00000000-0000-0000-0000-000000000001"},
        {"10.2.8", R"x(["DNS", "Ethernet", "IPv4", "Interface", "PPP", "Proxies", "UserDefinedName"])x", "0"},
        {"10.1.5", R"x(["DNS", "Ethernet", "IPv4", "Interface", "PPP", "UserDefinedName"])x",
         "00000000-0000-0000-0000-000000000001"},
    };
    for (const VersionCase &c : cases) {
        SCOPED_TRACE(c.version);
        PlatformTestingSetSystemVersion(c.version);
        MoreSCFForgetSystemVersion();
        PlatformTestingSCDeterministicIDs(1);
        WriteStore(kFirstBootStore, "d['Sets']['0']['Network']['Global']['IPv4']['ServiceOrder'] = ['X']\n"
                                    "d['Sets']['0']['Network']['Service']['X'] = {'__LINK__': '/NetworkServices/X'}\n"
                                    "d['NetworkServices']['X'] = {'UserDefinedName': 'Other'}");
        PlatformTestingLogCaptureStart();
        CFRef<CFDictionaryRef> port(NewEthernetPort());
        CFRef<CFStringRef> serviceID;
        ASSERT_EQ(noErr, MoreSCNewService(nullptr, port, serviceID.slot()));
        std::string id = Text(serviceID);
        EXPECT_EQ(c.firstID, id);
        std::string service = "d['NetworkServices']['" + id + "']";
        EXPECT_EQ(c.entities, Stored("sorted(" + service + ")"));
        EXPECT_EQ(R"x(["Ethernet Adaptor (en5)", {"DeviceName": "en5", "Hardware": "Ethernet", "Type": "Ethernet", )x"
                  R"x("UserDefinedName": "Ethernet Adaptor (en5)"}, {"ConfigMethod": "DHCP"}, )x"
                  R"x({"MACAddress": "0a:3f:71:12:34:56"}, 1])x",
                  Stored("[" + service + "['UserDefinedName'], " + service + "['Interface'], " + service +
                         "['IPv4'], " + service + "['Ethernet'], " + service + "['PPP'].get('__INACTIVE__')]"));
        EXPECT_EQ("[[\"X\", \"" + id + "\"], {\"__LINK__\": \"/NetworkServices/" + id + "\"}]",
                  Stored("[d['Sets']['0']['Network']['Global']['IPv4']['ServiceOrder'], "
                         "d['Sets']['0']['Network']['Service']['" + id + "']]"));
        EXPECT_EQ("3 create Netinterface\n" + std::string(strcmp(c.version, "10.1.5") == 0 ? "" : "3 create net proxies\n") +
                      "3 create dns\n3 create ipv4\n3 create ethernet\n3 scf apply changes err:0\n",
                  LogLines());
    }
}

TEST_F(ServicesTest, ModemAndFireWirePortsGetTheirOwnEntities)
{
    WriteStore(kFirstBootStore);
    struct Case {
        const char *name;
        long hold;  // -1: no hold key
        const char *expected;
    } cases[] = {
        {"with hold", 1, R"x([{"ConfigMethod": "PPP"}, null, "", 10, 1])x"},
        {"hold zero", 0, R"x([{"ConfigMethod": "PPP"}, null, "", 0, 0])x"},
        {"no hold key", -1, R"x([{"ConfigMethod": "PPP"}, null, "", 0, 0])x"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::initializer_list<std::pair<const char *, long>> hold = {{"SupportsModemOnHold", c.hold}};
        CFRef<CFDictionaryRef> port(NewPort({{"UserDefinedName", "Internal Modem"},
                                             {"Hardware", "Modem"},
                                             {"Type", "PPP"},
                                             {"SubType", "PPPSerial"},
                                             {"DeviceName", "cu.modem"}},
                                            c.hold < 0 ? std::initializer_list<std::pair<const char *, long>>{} : hold));
        CFRef<CFStringRef> serviceID;
        ASSERT_EQ(noErr, MoreSCNewService(nullptr, port, serviceID.slot()));
        std::string service = "d['NetworkServices']['" + Text(serviceID) + "']";
        EXPECT_EQ(c.expected,
                  Stored("[" + service + "['IPv4'], " + service + "['PPP'].get('__INACTIVE__'), " + service +
                         "['Modem']['ConnectionScript'], " + service + "['Modem'].get('HoldReminderTime', 0), " +
                         service + "['Interface'].get('SupportsModemOnHold', 0)]"));
    }
    CFRef<CFDictionaryRef> fireWire(NewPort({{"UserDefinedName", "Built-in FireWire"},
                                             {"Hardware", "FireWire"},
                                             {"Type", "FireWire"},
                                             {"DeviceName", "fw0"},
                                             {"MACAddress", "00:11:22:33:44:55:66:77"}}));
    CFRef<CFStringRef> fireWireID;
    ASSERT_EQ(noErr, MoreSCNewService(nullptr, fireWire, fireWireID.slot()));
    EXPECT_EQ(R"x(["DNS", "IPv4", "IPv6", "Interface", "PPP", "Proxies", "UserDefinedName"])x",
              Stored("sorted(d['NetworkServices']['" + Text(fireWireID) + "'])"));
}

TEST_F(ServicesTest, PortsOfTheWrongShapeAreRefusedAndNothingIsWritten)
{
    WriteStore(kFirstBootStore);
    std::string before = StoreIdentity();
    const std::vector<CFDictionaryRef> ports = {
        NewPort({{"UserDefinedName", "No address"}, {"Hardware", "Ethernet"}, {"Type", "Ethernet"}, {"DeviceName", "en1"}}),
        NewPort({{"UserDefinedName", "PPP without subtype"}, {"Hardware", "Modem"}, {"Type", "PPP"}, {"DeviceName", "m"}}),
        NewPort({{"UserDefinedName", "Subtype without PPP"}, {"Hardware", "Ethernet"}, {"Type", "Ethernet"},
                 {"SubType", "PPPoE"}, {"DeviceName", "en1"}, {"MACAddress", "0a:3f:71:00:00:01"}}),
        NewPort({{"UserDefinedName", "Unknown hardware"}, {"Hardware", "Token"}, {"Type", "Ethernet"},
                 {"DeviceName", "en1"}, {"MACAddress", "0a:3f:71:00:00:01"}}),
        NewPort({{"UserDefinedName", "Variant on Ethernet"}, {"Hardware", "Ethernet"}, {"Type", "Ethernet"},
                 {"DeviceName", "en1"}, {"MACAddress", "0a:3f:71:00:00:01"}, {"HardwareVariant", "Bluetooth"}}),
        NewPort({{"Hardware", "Ethernet"}, {"Type", "Ethernet"}, {"DeviceName", "en1"}, {"MACAddress", "0a:3f:71:00:00:01"}}),
    };
    for (CFDictionaryRef port : ports) {
        CFRef<CFDictionaryRef> owned(port);
        CFRef<CFStringRef> serviceID;
        EXPECT_EQ(paramErr, MoreSCNewService(nullptr, port, serviceID.slot()));
        EXPECT_EQ(nullptr, serviceID.get());
    }
    EXPECT_EQ(before, StoreIdentity());
}

// A failed creation takes back what it added: after any failing store call or creation the
// store file is as it was, byte for byte (a failing apply comes after the commit and is the
// exception: the complete service is then in the store).
TEST_F(ServicesTest, AFailedCreationLeavesTheStoreAsItWas)
{
    WriteStore(kFirstBootStore, "d['Sets']['0']['Network']['Global']['IPv4']['ServiceOrder'] = ['X']\n"
                                "d['Sets']['0']['Network']['Service']['X'] = {'__LINK__': '/NetworkServices/X'}\n"
                                "d['NetworkServices']['X'] = {'UserDefinedName': 'Other'}");
    const std::string original = ReadStoreBytes();
    CFRef<CFDictionaryRef> port(NewEthernetPort());
    // One creation; afterwards the store holds what it held before, or (when only the apply after
    // the commit failed) the complete service.
    CFRef<CFPropertyListRef> createdContent;
    unsigned failures = 0;
    auto create = [&](const std::string &what) {
        WriteStoreBytes(original);
        PlatformTestingSCDeterministicIDs(1);
        CFRef<CFStringRef> serviceID;
        OSStatus err = MoreSCNewService(nullptr, port, serviceID.slot());
        EXPECT_EQ(0, gPrefsOpenCount);
        CFRef<CFPropertyListRef> after(CopyStoreContent());
        if (err != noErr) {
            failures++;
            bool asBefore = ReadStoreBytes() == original;
            bool applyFailed = after && createdContent && CFEqual(after, createdContent);
            EXPECT_TRUE(asBefore || applyFailed) << what << ", status " << err << ": the store changed";
        } else if (!createdContent) {
            createdContent.reset(after.get() != nullptr ? CFRetain(after.get()) : nullptr);
        }
        return err;
    };
    auto op = [&](std::string *result) {
        OSStatus err = create("a failing call");
        *result = err == noErr ? "created" : "";
        return err;
    };
    for (const char *call : {"SCPreferencesCreate", "SCPreferencesGetValue", "SCPreferencesSetValue",
                             "SCPreferencesPathGetValue", "SCPreferencesPathSetValue", "SCPreferencesPathGetLink",
                             "SCPreferencesPathCreateUniqueChild", "SCPreferencesCommitChanges"}) {
        callsweep::FailEachCall(PlatformTestingSystemConfigurationFailCall, call, kSCStatusFailed, op,
                                {kSCStatusNoKey, coreFoundationUnknownErr});
    }
    EXPECT_GT(failures, 10u);
    // Each CoreFoundation creation of the operation failing in turn.
    long before = PlatformTestingCFCreationCount();
    ASSERT_EQ(noErr, create("no failure"));
    long creations = PlatformTestingCFCreationCount() - before;
    for (long nth = 1; nth <= creations; nth++) {
        PlatformTestingCFFailNthCreation(nth);
        create("creation " + std::to_string(nth));
        PlatformTestingCFFailNthCreation(0);
    }
}

TEST_F(ServicesTest, IDListsActivationRenamingAndDuplication)
{
    WriteStore(kStandardStore, "d['Sets']['S1']['Network']['Global']['IPv4']['ServiceOrder'].append('C')");
    CFRef<CFArrayRef> local;
    CFRef<CFArrayRef> resolved;
    ASSERT_EQ(noErr, MoreSCCopyServiceIDs(nullptr, local.slot(), resolved.slot()));
    EXPECT_EQ(3, CFArrayGetCount(local)) << "C has no link: listed, not resolved";
    EXPECT_EQ(2, CFArrayGetCount(resolved));

    CFRef<CFStringRef> a(Str("A"));
    CFRef<CFStringRef> b(Str("B"));
    std::string before = StoreIdentity();
    EXPECT_EQ(noErr, MoreSCSetServiceActive(nullptr, a, false));
    EXPECT_EQ(before, StoreIdentity()) << "already inactive: nothing written";
    EXPECT_EQ(noErr, MoreSCSetServiceActive(nullptr, a, true));
    Boolean active = false;
    EXPECT_EQ(noErr, MoreSCIsServiceActive(nullptr, a, &active));
    EXPECT_TRUE(active);

    CFRef<CFStringRef> name(Str("Renamed"));
    EXPECT_EQ(noErr, MoreSCRenameService(nullptr, b, name));
    CFRef<CFStringRef> bsdName;
    EXPECT_EQ(noErr, MoreSCCopyBSDNameOfService(nullptr, b, bsdName.slot()));
    EXPECT_EQ("en6", Text(bsdName));

    CFRef<CFStringRef> copyName(Str("Copy"));
    CFRef<CFStringRef> copyID;
    ASSERT_EQ(noErr, MoreSCDuplicateService(nullptr, a, copyName, copyID.slot()));
    std::string copy = Text(copyID);
    EXPECT_EQ("[\"Copy\", {\"ConfigMethod\": \"DHCP\"}, \"" + copy + "\"]",
              Stored("[d['NetworkServices']['" + copy + "']['UserDefinedName'], d['NetworkServices']['" + copy +
                     "']['IPv4'], d['Sets']['S1']['Network']['Global']['IPv4']['ServiceOrder'][-1]]"));
    EXPECT_EQ("\"Alpha\"", Stored("d['NetworkServices']['A']['UserDefinedName']")) << "the source is unchanged";
}

// The sweep keeps what any set refers to, by its order or by a link, and removes the rest.
TEST_F(ServicesTest, DeletingAServiceSweepsOnlyServicesNoSetRefersTo)
{
    WriteStore(kStandardStore,
               "d['NetworkServices']['Linked'] = {'UserDefinedName': 'Linked only'}\n"
               "d['Sets']['S2']['Network']['Service']['Linked'] = {'__LINK__': '/NetworkServices/Linked'}\n"
               "d['NetworkServices']['Orphan'] = {'UserDefinedName': 'Nobody'}");
    CFRef<CFStringRef> a(Str("A"));
    CFRef<CFStringRef> b(Str("B"));
    EXPECT_EQ(noErr, MoreSCDeleteService(nullptr, a));
    EXPECT_EQ(R"x(["A", "B", "Linked"])x", Stored("sorted(d['NetworkServices'])")) << "S2 still orders A";
    EXPECT_EQ(noErr, MoreSCDeleteService(nullptr, b));
    EXPECT_EQ(R"x([["A", "Linked"], {"Global": {"IPv4": {"ServiceOrder": []}}, "Service": {}}])x",
              Stored("[sorted(d['NetworkServices']), d['Sets']['S1']['Network']]"));
}

}  // namespace
