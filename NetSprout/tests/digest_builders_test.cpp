// The entity builders at each system version: every key, value and key order of every builder,
// the IPv4 check's answers, the dispatcher, and every creation failure.
#include "MoreSCFDigest.h"
#include "MoreSCFInternal.h"

#include "PlistText.h"
#include "StandInTestSupport.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

using standintest::CFRef;
using standintest::Str;

namespace {

struct Version {
    const char *text;
    UInt32 packed;
};
const Version kVersions[] = {{"10.1.5", 0x1015}, {"10.2.8", 0x1028}, {"10.3.4", 0x1034},
                             {"10.3.5", 0x1035}, {"10.4.11", 0x1049}, {"10.10.5", 0x1099}};

void UseSystemVersion(const char *version)
{
    PlatformTestingSetSystemVersion(version);
    MoreSCFForgetSystemVersion();
}

// One expected entry, present on versions in [from, until).
struct Row {
    const char *key;
    const char *value;
    UInt32 from = 0;
    UInt32 until = UINT_MAX;
};

std::vector<std::pair<std::string, std::string>> Expected(const std::vector<Row> &rows, UInt32 version)
{
    std::vector<std::pair<std::string, std::string>> out;
    for (const Row &row : rows) {
        if (version >= row.from && version < row.until) {
            out.emplace_back(row.key, row.value);
        }
    }
    return out;
}

struct BuilderCase {
    const char *name;
    std::function<OSStatus(CFDictionaryRef *)> build;
    std::vector<Row> rows;
};

class BuildersTest : public standintest::SeamTest {
protected:
    void TearDown() override
    {
        MoreSCFForgetSystemVersion();
        standintest::SeamTest::TearDown();
    }
};

// Digests the cases share; strings live for the whole test program.
const CFStringRef kDomains[] = {Str("example.com"), Str("corp.example")};
const CFStringRef kExceptions[] = {Str("*.local"), Str("169.254/16")};
const UInt32 kServers[] = {htonl(0x0a000035), htonl(0x08080808)};
const char *const kServers6[] = {"2001:db8::53"};

std::vector<BuilderCase> Cases()
{
    static const InterfaceDigest ethernetInterface = {Str("en0"), kSCEntNetEthernet, nullptr, kSCValNetInterfaceTypeEthernet,
                                                      nullptr, Str("Built-in Ethernet"), true};
    static const InterfaceDigest modemInterface = {Str("modem"), kSCEntNetModem, Str("Bluetooth"), kSCValNetInterfaceTypePPP,
                                                   kSCValNetInterfaceSubTypePPPSerial, Str("Internal Modem"), true};
    static const EthernetDigest ethernet = {{0x0a, 0x3f, 0x71, 0x12, 0x34, 0x56}};
    static const AirPortDigest airport = {{0x00, 0x0d, 0x93, 0x01, 0x02, 0x0a}, Str("Home")};
    static const ModemDigest modem = {Str("Dadar Internal 56K Modem (v.90)"), 1, 1, 0, 1, 0};
    static const ModemDigest holdingModem = {Str("Dadar Internal 56K Modem (v.92)"), 0, 0, 1, 0, 1};
    static const IPv4Digest dhcp = {kSCValNetIPv4ConfigMethodDHCP, 0, 0, 0, nullptr};
    static const IPv4Digest dhcpWithID = {kSCValNetIPv4ConfigMethodDHCP, 0, 0, 0, Str("host-7")};
    static const IPv4Digest manual = {kSCValNetIPv4ConfigMethodManual, htonl(0x0a000102), htonl(0xffffff00),
                                      htonl(0x0a000101), nullptr};
    static const DNSDigest noDNS = {0, nullptr, 0, nullptr};
    static const DNSDigest dns = {2, kServers, 2, kDomains};
    static const IPv6DNSDigest dns6 = {1, kServers6, 1, kDomains};
    static CFArrayRef exceptions = CFArrayCreate(nullptr, reinterpret_cast<const void **>(const_cast<CFStringRef *>(kExceptions)),
                                                 2, &kCFTypeArrayCallBacks);
    static const ProxiesDigest passiveOnly = {nullptr, true, 0, nullptr, 0, 0, nullptr, 0, 0, nullptr, 0,
                                              0, nullptr, 0, 0, nullptr, 0, 0, nullptr, 0, false, false};
    static const ProxiesDigest someProxies = {exceptions, false, 0, nullptr, 0, 0, nullptr, 0, 1, Str("proxy.example"), 8080,
                                              0, nullptr, 0, 0, nullptr, 0, 0, Str("socks.example"), 0, true, true};
    static const PPPDigest inactivePPP = {false, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    static const PPPDigest dialUp = {true, Str("Dial-up"), Str("user"), Str("pw"), Str("555-0100"), Str("555-0101"),
                                     &kMoreSCPPPOptionsDefaultTenTwoAndLater[1]};
    static const DadarTalkDigest talkOff = {false};
    static const DadarTalkDigest talkOn = {true};

    // PPP entries every PPP entity has, between the options' timers and the terminal window.
    auto pppRows = [](std::vector<Row> head, std::vector<Row> middle, std::vector<Row> tail) {
        std::vector<Row> rows = std::move(head);
        rows.insert(rows.end(), {{"Logfile", "/tmp/ppp.log", 0, 0x1035}, {"Logfile", "/var/log/ppp.log", 0x1035}});
        rows.insert(rows.end(), middle.begin(), middle.end());
        rows.insert(rows.end(), tail.begin(), tail.end());
        rows.insert(rows.end(), {{"CommUseTerminalScript", "#0", 0x1020},
                                 {"IPCPCompressionVJ", "#1"},
                                 {"LCPEchoEnabled", "#0"},
                                 {"LCPEchoFailure", "#3", 0, 0x1020},
                                 {"LCPEchoFailure", "#4", 0x1020},
                                 {"LCPEchoInterval", "#10"},
                                 {"ACSPEnabled", "#0", 0x1030},
                                 {"DisconnectOnSleep", "#1", 0x1020},
                                 {"DisconnectOnFastUserSwitch", "#1", 0x1040}});
        return rows;
    };

    return {
        {"Ethernet interface (hold ignored)",
         [](CFDictionaryRef *e) { return MoreSCCreateInterfaceEntity(&ethernetInterface, e); },
         {{"DeviceName", "en0"}, {"UserDefinedName", "Built-in Ethernet"}, {"Hardware", "Ethernet"}, {"Type", "Ethernet"}}},
        {"modem interface",
         [](CFDictionaryRef *e) { return MoreSCCreateInterfaceEntity(&modemInterface, e); },
         {{"DeviceName", "modem"}, {"UserDefinedName", "Internal Modem"}, {"Hardware", "Modem"},
          {"SupportsModemOnHold", "#1"}, {"Type", "PPP"}, {"SubType", "PPPSerial"}, {"HardwareVariant", "Bluetooth"}}},
        {"Ethernet", [](CFDictionaryRef *e) { return MoreSCCreateEthernetEntity(&ethernet, e); },
         {{"MACAddress", "0a:3f:71:12:34:56"}}},
        {"AirPort", [](CFDictionaryRef *e) { return MoreSCCreateAirPortEntity(&airport, e); },
         {{"MACAddress", "00:0d:93:01:02:0a", 0, 0x1040}, {"PreferredNetwork", "Home"}}},
        {"modem", [](CFDictionaryRef *e) { return MoreSCCreateModemEntity(&modem, e); },
         {{"ConnectionScript", "Dadar Internal 56K Modem (v.90)"}, {"DataCompression", "#1"}, {"DialMode", "WaitForDialTone"},
          {"ErrorCorrection", "#1"}, {"PulseDial", "#0"}, {"Speaker", "#1"}}},
        {"modem with hold", [](CFDictionaryRef *e) { return MoreSCCreateModemEntity(&holdingModem, e); },
         {{"ConnectionScript", "Dadar Internal 56K Modem (v.92)"}, {"DataCompression", "#0"}, {"DialMode", "IgnoreDialTone"},
          {"ErrorCorrection", "#0"}, {"PulseDial", "#1"}, {"Speaker", "#0"}, {"HoldCallWaitingAudibleAlert", "#1"},
          {"HoldDisconnectOnAnswer", "#0"}, {"HoldEnabled", "#0"}, {"HoldReminder", "#1"}, {"HoldReminderTime", "#10"}}},
        {"IPv4 DHCP", [](CFDictionaryRef *e) { return MoreSCCreateIPv4Entity(&dhcp, e); }, {{"ConfigMethod", "DHCP"}}},
        {"IPv4 DHCP with client ID", [](CFDictionaryRef *e) { return MoreSCCreateIPv4Entity(&dhcpWithID, e); },
         {{"ConfigMethod", "DHCP"}, {"DHCPClientID", "host-7"}}},
        {"IPv4 manual", [](CFDictionaryRef *e) { return MoreSCCreateIPv4Entity(&manual, e); },
         {{"ConfigMethod", "Manual"}, {"Addresses", "[10.0.1.2]"}, {"SubnetMasks", "[255.255.255.0]"}, {"Router", "10.0.1.1"}}},
        {"DNS empty", [](CFDictionaryRef *e) { return MoreSCCreateDNSEntity(&noDNS, e); }, {}},
        {"DNS", [](CFDictionaryRef *e) { return MoreSCCreateDNSEntity(&dns, e); },
         {{"ServerAddresses", "[10.0.0.53, 8.8.8.8]"}, {"SearchDomains", "[example.com, corp.example]"}}},
        {"IPv6 DNS", [](CFDictionaryRef *e) { return MoreSCCreateIPv6DNSEntity(&dns6, e); },
         {{"ServerAddresses", "[2001:db8::53]"}, {"SearchDomains", "[example.com]"}}},
        {"proxies, FTP passive only", [](CFDictionaryRef *e) { return MoreSCCreateProxiesEntity(&passiveOnly, e); },
         {{"FTPPassive", "#1"}, {"FTPEnable", "#0", 0, 0x1030}, {"GopherEnable", "#0", 0, 0x1030},
          {"HTTPEnable", "#0", 0, 0x1030}, {"HTTPSEnable", "#0", 0, 0x1030}, {"RTSPEnable", "#0", 0, 0x1030},
          {"SOCKSEnable", "#0", 0, 0x1030}, {"ExcludeSimpleHostnames", "#0", 0x1040},
          {"ProxyAutoDiscoveryEnable", "#0", 0x1040}}},
        {"proxies", [](CFDictionaryRef *e) { return MoreSCCreateProxiesEntity(&someProxies, e); },
         {{"ExceptionsList", "[*.local, 169.254/16]"}, {"FTPPassive", "#0"}, {"FTPEnable", "#0", 0, 0x1030},
          {"GopherEnable", "#0", 0, 0x1030}, {"HTTPEnable", "#1"}, {"HTTPProxy", "proxy.example"}, {"HTTPPort", "#8080"},
          {"HTTPSEnable", "#0", 0, 0x1030}, {"RTSPEnable", "#0", 0, 0x1030}, {"SOCKSEnable", "#0"},
          {"SOCKSProxy", "socks.example"}, {"ExcludeSimpleHostnames", "#1", 0x1040},
          {"ProxyAutoDiscoveryEnable", "#1", 0x1040}}},
        // Built before the default-options case at each version: the builder must take the
        // version flags itself, whatever a previous version left in them.
        {"PPP with its own options", [](CFDictionaryRef *e) { return MoreSCCreatePPPEntity(&dialUp, e); },
         pppRows({{"UserDefinedName", "Dial-up"}, {"DialOnDemand", "#0"}, {"DisconnectOnIdle", "#0"},
                  {"DisconnectOnIdleTimer", "#1800"}, {"DisconnectOnLogout", "#1"}, {"IdleReminder", "#0"},
                  {"IdleReminderTimer", "#1800"}},
                 {{"VerboseLogging", "#0"}, {"AuthName", "user"}, {"AuthPassword", "<70007700>"},
                  {"CommAlternateRemoteAddress", "555-0101"}},
                 {{"CommDisplayTerminalWindow", "#0"}, {"CommRedialCount", "#1"}, {"CommRedialEnabled", "#1"},
                  {"CommRedialInterval", "#5"}, {"CommRemoteAddress", "555-0100"}})},
        {"PPP with the default options", [](CFDictionaryRef *e) { return MoreSCCreatePPPEntity(&inactivePPP, e); },
         pppRows({{"__INACTIVE__", "#1"}, {"DialOnDemand", "#0"}, {"DisconnectOnIdle", "#1"},
                  {"DisconnectOnIdleTimer", "#900", 0, 0x1020}, {"DisconnectOnIdleTimer", "#600", 0x1020},
                  {"DisconnectOnLogout", "#1"}, {"IdleReminder", "#0"}, {"IdleReminderTimer", "#1800"}},
                 {{"VerboseLogging", "#0", 0, 0x1020}, {"VerboseLogging", "#1", 0x1020}},
                 {{"CommDisplayTerminalWindow", "#0"}, {"CommRedialCount", "#1"}, {"CommRedialEnabled", "#1"},
                  {"CommRedialInterval", "#30", 0, 0x1020}, {"CommRedialInterval", "#5", 0x1020}})},
        {"DadarTalk off", [](CFDictionaryRef *e) { return MoreSCCreateDadarTalkEntity(&talkOff, e); },
         {{"__INACTIVE__", "#1"}}},
        {"DadarTalk on", [](CFDictionaryRef *e) { return MoreSCCreateDadarTalkEntity(&talkOn, e); }, {}},
        {"IPv4 global", [](CFDictionaryRef *e) { return MoreSCCreateGlobalEntity(kSCEntNetIPv4, &talkOn, e); },
         {{"PPPOverridePrimary", "#0", 0, 0x1050}, {"ServiceOrder", "[]"}}},
        {"NetInfo global", [](CFDictionaryRef *e) { return MoreSCCreateNetInfoGlobalEntity(&talkOn, e); }, {}},
    };
}

TEST_F(BuildersTest, EveryBuilderAtEverySystemVersion)
{
    const std::vector<BuilderCase> cases = Cases();
    for (const Version &version : kVersions) {
        UseSystemVersion(version.text);
        ASSERT_EQ(MoreSCGetSystemVersion(), version.packed);
        for (const BuilderCase &c : cases) {
            SCOPED_TRACE(std::string(c.name) + " on " + version.text);
            CFRef<CFDictionaryRef> entity;
            ASSERT_EQ(noErr, c.build(entity.slot()));
            EXPECT_EQ(Expected(c.rows, version.packed), plisttext::Entries(entity)) << plisttext::Text(entity);
        }
    }
}

TEST_F(BuildersTest, DefaultPPPOptionsFollowTheVersionAndThePortKind)
{
    UseSystemVersion("10.1.5");
    EXPECT_EQ(&kMoreSCPPPOptionsDefaultTenOne, MoreSCGetDefaultPPPOptions(false));
    EXPECT_EQ(&kMoreSCPPPOptionsDefaultTenOne, MoreSCGetDefaultPPPOptions(true));
    UseSystemVersion("10.2.8");
    EXPECT_EQ(&kMoreSCPPPOptionsDefaultTenTwoAndLater[0], MoreSCGetDefaultPPPOptions(false));
    EXPECT_EQ(&kMoreSCPPPOptionsDefaultTenTwoAndLater[1], MoreSCGetDefaultPPPOptions(true));
    // The PPPoE record: no idle disconnect, a 1800-second timer, quiet logging.
    const PPPOptions &pppoe = kMoreSCPPPOptionsDefaultTenTwoAndLater[1];
    EXPECT_EQ(0, pppoe.disconnectOnIdle);
    EXPECT_EQ(1800, pppoe.disconnectOnIdleTimer);
    EXPECT_EQ(0, pppoe.verboseLogging);
    EXPECT_EQ(5, pppoe.commRedialInterval);
}

TEST_F(BuildersTest, IPv4CheckAnswersWithItsCodesAndBuildsNothing)
{
    CFRef<CFStringRef> bogus(Str("Carrier pigeon"));
    CFRef<CFStringRef> clientID(Str("host-7"));
    struct Case {
        CFStringRef method;
        CFStringRef clientID;
        OSStatus checked;
        const char *unchecked;  // the entity built with the check off
    };
    const Case cases[] = {
        {bogus, nullptr, kMoreSCIPv4BadConfigMethodErr, "{ConfigMethod=Carrier pigeon}"},
        {kSCValNetIPv4ConfigMethodManual, clientID, kMoreSCIPv4ClientIDNeedsDHCPErr,
         "{ConfigMethod=Manual; DHCPClientID=host-7}"},
        {kSCValNetIPv4ConfigMethodPPP, nullptr, noErr, "{ConfigMethod=PPP}"},
    };
    EXPECT_EQ(kMoreSCIPv4BadConfigMethodErr, 'b' << 24 | 'a' << 16 | 'd' << 8 | '!');
    EXPECT_EQ(kMoreSCIPv4ClientIDNeedsDHCPErr, 'd' << 24 | 'h' << 16 | 'c' << 8 | 'p');
    for (const Case &c : cases) {
        SCOPED_TRACE(c.unchecked);
        IPv4Digest digest = {c.method, 0, 0, 0, c.clientID};
        CFRef<CFDictionaryRef> entity;
        EXPECT_EQ(c.checked, MoreSCCreateIPv4Entity(&digest, entity.slot()));
        EXPECT_EQ(c.checked == noErr, entity.get() != nullptr);
        entity.reset();
        gMoreSCCreateIPv4EntityDontCheck = true;
        OSStatus err = MoreSCCreateIPv4Entity(&digest, entity.slot());
        gMoreSCCreateIPv4EntityDontCheck = false;
        ASSERT_EQ(noErr, err);
        EXPECT_EQ(c.unchecked, plisttext::Text(entity));
    }
    IPv4Digest noMethod = {nullptr, 0, 0, 0, nullptr};
    CFRef<CFDictionaryRef> entity;
    EXPECT_EQ(kMoreSCIPv4BadConfigMethodErr, MoreSCCreateIPv4Entity(&noMethod, entity.slot()));
}

TEST_F(BuildersTest, DispatcherReachesEachBuilderByProtocol)
{
    CFRef<CFStringRef> en5(Str("en5"));
    CFRef<CFStringRef> adaptor(Str("Ethernet Adaptor (en5)"));
    CFRef<CFStringRef> script(Str("script"));
    InterfaceDigest interface = {en5, kSCEntNetEthernet, nullptr, kSCValNetInterfaceTypeEthernet, nullptr, adaptor, false};
    EthernetDigest ethernet = {{0x0a, 0x3f, 0x71, 0, 0, 1}};
    IPv4Digest ipv4 = {kSCValNetIPv4ConfigMethodDHCP, 0, 0, 0, nullptr};
    DNSDigest dns = {1, kServers, 0, nullptr};
    IPv6DNSDigest dns6 = {1, kServers6, 0, nullptr};
    ProxiesDigest proxies = {};
    PPPDigest ppp = {true, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    AirPortDigest airport = {{0, 1, 2, 3, 4, 5}, nullptr};
    ModemDigest modem = {script, 1, 1, 0, 1, 0};
    struct Case {
        CFStringRef protocol;
        const void *digest;
        const char *firstKey;
        const char *logLine;
    };
    CFRef<CFStringRef> ipv6dns(Str("IPV6DNS"));
    const Case cases[] = {
        {kSCEntNetInterface, &interface, "DeviceName", "create Netinterface"},
        {kSCEntNetProxies, &proxies, "FTPPassive", "create net proxies"},
        {kSCEntNetDNS, &dns, "ServerAddresses", "create dns"},
        {ipv6dns, &dns6, "ServerAddresses", "create upv6dns"},
        {kSCEntNetIPv4, &ipv4, "ConfigMethod", "create ipv4"},
        {kSCEntNetPPP, &ppp, "DialOnDemand", "create ppp"},
        {kSCEntNetAirPort, &airport, nullptr, "create airport"},
        {kSCEntNetEthernet, &ethernet, "MACAddress", "create ethernet"},
        {kSCEntNetModem, &modem, "ConnectionScript", "create modem"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(plisttext::Text(c.protocol));
        CFRef<CFDictionaryRef> entity;
        PlatformTestingLogCaptureStart();
        ASSERT_EQ(noErr, MoreSCCreateEntity(c.protocol, c.digest, entity.slot()));
        ASSERT_EQ(1u, PlatformTestingLogLineCount());
        int priority = -1;
        EXPECT_STREQ(PlatformTestingLogLine(0, &priority), c.logLine);
        EXPECT_EQ(3, priority);
        auto entries = plisttext::Entries(entity);
        if (c.firstKey != nullptr) {
            ASSERT_FALSE(entries.empty());
            EXPECT_EQ(c.firstKey, entries.front().first);
        } else {
            EXPECT_TRUE(entries.empty());  // AirPort on 10.10 without a network: nothing
        }
    }
    // The line comes first, also when the builder then refuses.
    CFRef<CFStringRef> bogus(Str("Carrier pigeon"));
    IPv4Digest bad = {bogus, 0, 0, 0, nullptr};
    CFRef<CFDictionaryRef> entity;
    PlatformTestingLogCaptureStart();
    EXPECT_EQ(kMoreSCIPv4BadConfigMethodErr, MoreSCCreateEntity(kSCEntNetIPv4, &bad, entity.slot()));
    ASSERT_EQ(1u, PlatformTestingLogLineCount());
    EXPECT_STREQ(PlatformTestingLogLine(0, nullptr), "create ipv4");
}

TEST_F(BuildersTest, EveryCreationFailureIsReportedAndLeavesNothing)
{
    for (const char *version : {"10.1.5", "10.4.11"}) {
        UseSystemVersion(version);
        for (const BuilderCase &c : Cases()) {
            SCOPED_TRACE(std::string(c.name) + " on " + version);
            standintest::FailEachCreation<OSStatus>(plisttext::Filling<CFDictionaryRef>(c.build), {-4960, -108});
        }
    }
}

}  // namespace
