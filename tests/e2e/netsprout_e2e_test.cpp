// End-to-end tests of the NetSprout tool: the real binary in private network, mount and PID
// namespaces, real veth pairs (or a registry snapshot), the preferences store and the dynamic
// store in folders of the test, read back with Python's plistlib; the system-log lines read with
// their priorities from the log's mirror on standard error.
#include "NetSproutSandbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

using e2e::LogLine;
using e2e::NetSproutRun;
using e2e::NetSproutSandbox;

const char kModemAddress[] = "0a:3f:71:12:34:56";

// The lines of one qualifying port that gets its service.
const std::vector<LogLine> kCreated = {
    {3, "create Netinterface"}, {3, "create net proxies"}, {3, "create dns"}, {3, "create ipv4"},
    {3, "create ethernet"},     {3, "scf apply changes err:0"}, {3, "Create service success"},
};
const std::vector<LogLine> kOtherMaker = {{3, "Not orveka device"}, {3, "Not orveka ethernet device"}};
const std::vector<LogLine> kNotEthernet = {{3, "Not ethernet device"}, {3, "Not orveka ethernet device"}};
const std::vector<LogLine> kExists = {{3, "service exists"}, {3, "Interface exists"}};

std::vector<LogLine> Lines(std::initializer_list<std::vector<LogLine>> parts)
{
    std::vector<LogLine> all;
    for (const auto &part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

std::vector<LogLine> Start(int devices)
{
    return {{3, "Start to create network interface"}, {3, "Found " + std::to_string(devices) + " device"}};
}

std::string Show(const std::vector<LogLine> &lines)
{
    std::string text;
    for (const LogLine &line : lines) {
        text += "  <" + std::to_string(line.priority) + "> " + line.text + "\n";
    }
    return text;
}

// The complete service of an Ethernet port of the maker, as Python compares it: the name, the
// seven entities with every key and value (the PPP entity inactive, with the PPPoE defaults).
std::string ExpectedService(const std::string &bsdName, const std::string &address)
{
    std::string name = "'Ethernet Adaptor (" + bsdName + ")'";
    return "{'UserDefinedName': " + name +
           ",\n"
           " 'Interface': {'DeviceName': '" + bsdName + "', 'Hardware': 'Ethernet', 'Type': 'Ethernet', "
           "'UserDefinedName': " + name +
           "},\n"
           " 'Proxies': {'FTPPassive': 1, 'ExcludeSimpleHostnames': 0, 'ProxyAutoDiscoveryEnable': 0},\n"
           " 'DNS': {},\n"
           " 'IPv4': {'ConfigMethod': 'DHCP'},\n"
           " 'IPv6': {'ConfigMethod': 'Automatic'},\n"
           " 'PPP': {'__INACTIVE__': 1, 'DialOnDemand': 0, 'DisconnectOnIdle': 0, 'DisconnectOnIdleTimer': 1800,\n"
           "         'DisconnectOnLogout': 1, 'IdleReminder': 0, 'IdleReminderTimer': 1800,\n"
           "         'Logfile': '/var/log/ppp.log', 'VerboseLogging': 0, 'CommDisplayTerminalWindow': 0,\n"
           "         'CommRedialCount': 1, 'CommRedialEnabled': 1, 'CommRedialInterval': 5,\n"
           "         'CommUseTerminalScript': 0, 'IPCPCompressionVJ': 1, 'LCPEchoEnabled': 0, 'LCPEchoFailure': 4,\n"
           "         'LCPEchoInterval': 10, 'ACSPEnabled': 0, 'DisconnectOnSleep': 1,\n"
           "         'DisconnectOnFastUserSwitch': 1},\n"
           " 'Ethernet': {'MACAddress': '" + address + "'}}";
}

class NetSproutE2ETest : public ::testing::Test {
protected:
    void SetUp() override
    {
        E2E_REQUIRE(e2e::NetSproutNeeds());
        sandbox_ = std::make_unique<NetSproutSandbox>();
        sandbox_->WriteFirstBootStore();
    }

    // Checks in Python against the stores; "ok" when every check holds, else what went wrong.
    std::string Check(const std::string &code) const { return sandbox_->Python(code); }

    // The store holds, in the current set, exactly the complete services of these ports (BSD
    // name and address) in this order, each linked and ordered, with the dynamic store's Setup:
    // keys of each; "ok" or what differs.
    std::string CheckServices(const std::vector<std::pair<std::string, std::string>> &ports) const
    {
        std::string expected = "[";
        for (const auto &[bsd, address] : ports) {
            expected += ExpectedService(bsd, address) + ",\n";
        }
        expected += "]";
        return Check("s = load(STORE)\nd = load(DYNAMIC)\nexpected = " + expected +
                     "\n"
                     "problems = []\n"
                     "current = s['Sets']['0']\n"
                     "order = current['Network']['Global']['IPv4']['ServiceOrder']\n"
                     "links = current['Network']['Service']\n"
                     "if s['CurrentSet'] != '/Sets/0': problems.append('current set %r' % s['CurrentSet'])\n"
                     "if len(order) != len(expected) or sorted(links) != sorted(order) or "
                     "sorted(s['NetworkServices']) != sorted(order):\n"
                     "    problems.append('order %r, links %r, services %r' % (order, sorted(links), "
                     "sorted(s['NetworkServices'])))\n"
                     "else:\n"
                     "    for sid, want in zip(order, expected):\n"
                     "        if links[sid] != {'__LINK__': '/NetworkServices/' + sid}: problems.append('link %r' % links[sid])\n"
                     "        got = s['NetworkServices'][sid]\n"
                     "        if got != want: problems.append('service %s: %r' % (sid, got))\n"
                     "    keys = {'Setup:/Network/Global/IPv4'}\n"
                     "    for sid in order:\n"
                     "        keys |= {'Setup:/Network/Service/%s/%s' % (sid, e) for e in "
                     "('Interface', 'Proxies', 'DNS', 'IPv4', 'IPv6', 'Ethernet')}\n"
                     "    if set(d) != keys: problems.append('dynamic store keys %r' % sorted(d))\n"
                     "    elif d['Setup:/Network/Global/IPv4'] != {'ServiceOrder': order}:\n"
                     "        problems.append('dynamic order %r' % d['Setup:/Network/Global/IPv4'])\n"
                     "print('\\n'.join(problems) if problems else 'ok', end='')");
    }

    std::string Trace(const NetSproutRun &run) const
    {
        return "\n--- log ---\n" + Show(run.log) + "--- stderr ---\n" + run.stderrText + "--- store ---\n" +
               e2e::ReadFile(sandbox_->StorePath());
    }

    std::unique_ptr<NetSproutSandbox> sandbox_;
};

// One veth of the maker on a first-boot store, on a recent and an old system: the complete
// service, linked into the current set and last in its order, published as Setup: keys, the log
// in the run's order (the peer is a port of another maker), exit 0. The same from the sample
// registry snapshot, where the serial ports and the built-in port give their own lines.
TEST_F(NetSproutE2ETest, OneQualifyingPortGetsOneCompleteService)
{
    struct Case {
        const char *name;
        const char *version;
        bool snapshot;
        std::vector<LogLine> log;
    };
    const Case cases[] = {
        {"veth on 10.10.5", "10.10.5", false, Lines({Start(2), kCreated, kOtherMaker, {}})},
        {"veth on 10.4.11", "10.4.11", false, Lines({Start(2), kCreated, kOtherMaker, {}})},
        {"sample snapshot", "10.10.5", true,
         Lines({Start(5), kNotEthernet, kNotEthernet, kNotEthernet, kOtherMaker, kCreated})},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        sandbox_ = std::make_unique<NetSproutSandbox>();
        sandbox_->WriteFirstBootStore();
        sandbox_->SetEnv("PLATFORM_SYSTEM_VERSION", c.version);
        if (c.snapshot) {
            sandbox_->UseRegistry(NETSPROUT_SAMPLE_REGISTRY);
        } else {
            sandbox_->AddVeth("en5", kModemAddress);
        }
        NetSproutRun run = sandbox_->Run();
        EXPECT_EQ(0, run.status) << Trace(run);
        EXPECT_EQ(run.log, c.log) << Trace(run);
        EXPECT_EQ("ok", CheckServices({{"en5", kModemAddress}})) << Trace(run);
        EXPECT_EQ("Automatic\n", Check("print(load(STORE)['Sets']['0']['UserDefinedName'])"));
    }
}

// A second run finds the first run's service: "service exists", "Interface exists", nothing
// created, the store file unchanged byte for byte.
TEST_F(NetSproutE2ETest, SecondRunCreatesNothing)
{
    sandbox_->AddVeth("en5", kModemAddress);
    NetSproutRun first = sandbox_->Run();
    ASSERT_EQ("ok", CheckServices({{"en5", kModemAddress}})) << Trace(first);
    std::string before = e2e::ReadFile(sandbox_->StorePath());

    NetSproutRun second = sandbox_->Run();
    EXPECT_EQ(0, second.status);
    EXPECT_EQ(second.log, Lines({Start(2), kExists, kOtherMaker})) << Trace(second);
    EXPECT_EQ(before, e2e::ReadFile(sandbox_->StorePath()));
}

// What the current set already holds decides: a PPPoE service over en5 in the current set counts
// as using it ("Is ppp interface" at priority 6, nothing created); a service for en5 only in
// another set does not (a new service in the current set, the other set untouched).
TEST_F(NetSproutE2ETest, ExistingServicesAreLookedForInTheCurrentSetOnly)
{
    sandbox_->AddVeth("en5", kModemAddress);
    ASSERT_EQ("",
              Check("s = dict(FIRST_BOOT)\n"
                    "s['NetworkServices'] = {'PPPOE': service('en5', 'PPPoE')}\n"
                    "s['Sets']['0']['Network']['Service'] = {'PPPOE': {'__LINK__': '/NetworkServices/PPPOE'}}\n"
                    "s['Sets']['0']['Network']['Global']['IPv4']['ServiceOrder'] = ['PPPOE']\n"
                    "save(s)"));
    std::string before = e2e::ReadFile(sandbox_->StorePath());
    NetSproutRun run = sandbox_->Run();
    EXPECT_EQ(0, run.status);
    EXPECT_EQ(run.log, Lines({Start(2), {{6, "Is ppp interface"}}, kExists, kOtherMaker})) << Trace(run);
    EXPECT_EQ(before, e2e::ReadFile(sandbox_->StorePath()));

    ASSERT_EQ("",
              Check("s = FIRST_BOOT\n"
                    "s['NetworkServices'] = {'ELSEWHERE': service('en5')}\n"
                    "s['Sets']['1'] = {'UserDefinedName': 'Office', 'Network': {'Global': {'IPv4': "
                    "{'ServiceOrder': ['ELSEWHERE']}}, 'Service': {'ELSEWHERE': {'__LINK__': "
                    "'/NetworkServices/ELSEWHERE'}}}}\n"
                    "save(s)"));
    run = sandbox_->Run();
    EXPECT_EQ(0, run.status);
    EXPECT_EQ(run.log, Lines({Start(2), kCreated, kOtherMaker})) << Trace(run);
    EXPECT_EQ("1 True en5\n['ELSEWHERE'] True\n",
              Check("s = load(STORE)\n"
                    "order = s['Sets']['0']['Network']['Global']['IPv4']['ServiceOrder']\n"
                    "print(len(order), order[0] != 'ELSEWHERE', s['NetworkServices'][order[0]]['Interface']['DeviceName'])\n"
                    "print(s['Sets']['1']['Network']['Global']['IPv4']['ServiceOrder'], "
                    "s['NetworkServices']['ELSEWHERE'] == service('en5'))"))
        << Trace(run);
}

// Two ports of the maker: two services in port order, the first committed and applied before
// the second port is looked at.
TEST_F(NetSproutE2ETest, TwoQualifyingPortsGetTwoServicesInOrder)
{
    sandbox_->AddVeth("en5", kModemAddress);
    sandbox_->AddVeth("en6", "0a:3f:71:00:00:06");
    NetSproutRun run = sandbox_->Run();
    EXPECT_EQ(0, run.status);
    EXPECT_EQ(run.log, Lines({Start(4), kCreated, kCreated, kOtherMaker, kOtherMaker})) << Trace(run);
    EXPECT_EQ("ok", CheckServices({{"en5", kModemAddress}, {"en6", "0a:3f:71:00:00:06"}})) << Trace(run);
}

// Runs that end early or create nothing: no ports at all; a registry whose ports cannot be
// listed (exit 255); a store without a current set (the look-up and the creation both fail, the
// store stays as it was).
TEST_F(NetSproutE2ETest, RunsWithoutAServiceToCreate)
{
    NetSproutRun run = sandbox_->Run();
    EXPECT_EQ(0, run.status);
    EXPECT_EQ(run.log, Start(0)) << Trace(run);

    std::string before = e2e::ReadFile(sandbox_->StorePath());
    sandbox_->UseRegistry(std::string(NETSPROUT_E2E_FIXTURES) + "/registry-nameless-ethernet.plist");
    run = sandbox_->Run();
    EXPECT_EQ(255, run.status) << Trace(run);
    ASSERT_EQ(2u, run.log.size()) << Trace(run);
    EXPECT_EQ(run.log[0], (LogLine{3, "Start to create network interface"}));
    EXPECT_EQ(3, run.log[1].priority);
    EXPECT_EQ(0u, run.log[1].text.rfind("Create port array failed, error is ", 0)) << Trace(run);
    EXPECT_NE(run.log[1].text, "Create port array failed, error is 0");
    EXPECT_EQ(before, e2e::ReadFile(sandbox_->StorePath()));

    sandbox_->UseRegistry("");
    sandbox_->AddVeth("en5", kModemAddress);
    ASSERT_EQ("", Check("s = FIRST_BOOT\ndel s['CurrentSet']\nsave(s)"));
    before = e2e::ReadFile(sandbox_->StorePath());
    run = sandbox_->Run();
    EXPECT_EQ(0, run.status);
    ASSERT_GE(run.log.size(), 4u) << Trace(run);
    EXPECT_EQ(run.log[2], (LogLine{3, "Get network set failed"})) << Trace(run);
    EXPECT_EQ(0u, run.log[run.log.size() - 3].text.rfind("Create service failed, error is ", 0)) << Trace(run);
    EXPECT_EQ(kOtherMaker, std::vector<LogLine>(run.log.end() - 2, run.log.end())) << Trace(run);
    EXPECT_EQ(before, e2e::ReadFile(sandbox_->StorePath()));
}

// A creation that fails half-way (an 8-byte hardware address, which the Ethernet entity cannot
// hold) leaves the store as it was, so that a later run tries again; a store folder that cannot
// be written gives 1003 and leaves no stray file. Each run still ends with 0.
TEST_F(NetSproutE2ETest, FailedCreationsLeaveTheStoreAsItWas)
{
    std::string before = e2e::ReadFile(sandbox_->StorePath());
    sandbox_->UseRegistry(std::string(NETSPROUT_E2E_FIXTURES) + "/registry-long-address.plist");
    for (int attempt = 0; attempt < 2; attempt++) {
        SCOPED_TRACE("attempt " + std::to_string(attempt));
        NetSproutRun run = sandbox_->Run();
        EXPECT_EQ(0, run.status);
        ASSERT_GE(run.log.size(), 3u) << Trace(run);
        EXPECT_EQ(0u, run.log.back().text.rfind("Create service failed, error is ", 0)) << Trace(run);
        EXPECT_EQ(1, std::count(run.log.begin(), run.log.end(), LogLine{3, "create Netinterface"})) << Trace(run);
        EXPECT_EQ(before, e2e::ReadFile(sandbox_->StorePath()));
    }

    // Read-only with the lock files the runs above left, then in a fresh folder without them (the
    // locked look-up cannot be had: "Create preference failed", and the creation fails alone).
    for (bool fresh : {false, true}) {
        SCOPED_TRACE(fresh ? "fresh folder" : "lock files present");
        if (fresh) {
            sandbox_ = std::make_unique<NetSproutSandbox>();
            sandbox_->WriteFirstBootStore();
        }
        sandbox_->UseRegistry("");
        sandbox_->AddVeth("en5", kModemAddress);
        sandbox_->MakeStoreReadOnly();
        before = e2e::ReadFile(sandbox_->StorePath());
        std::vector<std::string> files = sandbox_->StoreFolderFiles();
        NetSproutRun run = sandbox_->Run();
        EXPECT_EQ(0, run.status);
        EXPECT_EQ(std::count(run.log.begin(), run.log.end(), LogLine{3, "Create preference failed"}), fresh ? 1 : 0)
            << Trace(run);
        EXPECT_NE(std::find(run.log.begin(), run.log.end(), LogLine{3, "Create service failed, error is 1003"}),
                  run.log.end())
            << Trace(run);
        EXPECT_EQ(before, e2e::ReadFile(sandbox_->StorePath()));
        EXPECT_EQ(sandbox_->StoreFolderFiles(), files);
    }
}

// Ten runs started at once over two ports of the maker: exactly two services, a store that
// reads, no stray file beside it, and every run ends with 0.
TEST_F(NetSproutE2ETest, TenRunsAtOnceCreateEachServiceOnce)
{
    sandbox_->AddVeth("en5", kModemAddress);
    sandbox_->AddVeth("en6", "0a:3f:71:00:00:06");
    std::vector<NetSproutRun> runs = sandbox_->RunConcurrently(10);
    size_t created = 0;
    for (const NetSproutRun &run : runs) {
        EXPECT_EQ(0, run.status) << Trace(run);
        created += std::count(run.log.begin(), run.log.end(), LogLine{3, "Create service success"});
    }
    EXPECT_EQ(2u, created);
    EXPECT_EQ("ok", CheckServices({{"en5", kModemAddress}, {"en6", "0a:3f:71:00:00:06"}})) << Trace(runs[0]);
    for (const std::string &name : sandbox_->StoreFolderFiles()) {
        EXPECT_TRUE(name == "preferences.plist" || name == "preferences.plist-lock" ||
                    name == "preferences.plist-commit-lock")
            << name;
    }
}

}  // namespace
