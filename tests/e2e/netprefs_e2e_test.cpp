// netprefs, the binary, as root in a private mount namespace whose "/Library" and
// "/var/run/SystemConfiguration" are folders of the test: stores written and read back with
// plistlib, a whole session of commands, and its failures (unknown set, the current set, a store
// that does not parse, a read-only store).
//
// A folder per test, one shell line per run; the privileges check, quoting and file reads are the
// shared harness's (Sandbox.h).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Sandbox.h"
#include "StandInTestSupport.h"

namespace {

const char kCovered[][32] = {"/Library", "/var/run/SystemConfiguration"};

using e2e::Quote;
using e2e::ReadFile;

struct Result {
    int status;
    std::string out;
    std::string err;
};

// Runs a shell command line; its standard error goes to a file of the folder.
Result Shell(const std::string &command, const std::string &errFile)
{
    Result result{-1, "", ""};
    FILE *pipe = popen((command + " 2>" + Quote(errFile)).c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot start: " << command;
        return result;
    }
    char buffer[4096];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
        result.out.append(buffer, got);
    }
    int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.err = ReadFile(errFile);
    return result;
}

class NetprefsE2ETest : public ::testing::Test {
protected:
    void SetUp() override
    {
        E2E_REQUIRE(e2e::Needs{});
        for (const char *folder : kCovered) {
            std::filesystem::create_directories(folder);  // mount points only; never mounted on here
        }
        std::filesystem::create_directories(library_ + "/Preferences/SystemConfiguration");
        std::filesystem::create_directories(run_);
    }

    // netprefs with the arguments (each quoted) in its private namespace; readOnly makes the
    // covered "/Library" read-only.
    Result Netprefs(const std::vector<std::string> &arguments, bool readOnly = false)
    {
        std::string line = "mount --bind " + Quote(library_) + " /Library && mount --bind " + Quote(run_) +
                           " /var/run/SystemConfiguration";
        if (readOnly) {
            line += " && mount -o remount,bind,ro /Library";
        }
        line += " && exec " + Quote(NETPREFS_BINARY);
        for (const std::string &argument : arguments) {
            line += " " + Quote(argument);
        }
        return Shell("PLATFORM_IOREGISTRY=" + Quote(std::string(NETPREFS_EXAMPLES) + "/registry-modem.plist") +
                         " unshare --mount --fork sh -c " + Quote(line),
                     folder_ / "stderr");
    }

    // The JSON of a Python expression over the store `d` (read with plistlib).
    std::string Stored(const std::string &expression)
    {
        std::string script = folder_ / "read.py";
        std::ofstream(script) << "import json, plistlib\nd = plistlib.load(open(" << Quote(Store()) << ", 'rb'))\n"
                              << "print(json.dumps(" << expression << ", sort_keys=True))\n";
        Result result = Shell("python3 " + Quote(script), folder_ / "python-stderr");
        EXPECT_EQ(0, result.status) << result.err;
        if (!result.out.empty() && result.out.back() == '\n') {
            result.out.pop_back();
        }
        return result.out;
    }

    std::string Store() const { return library_ + "/Preferences/SystemConfiguration/preferences.plist"; }

    standintest::TempFolder folder_{"netprefs-e2e"};
    std::string library_ = folder_ / "Library";
    std::string run_ = folder_ / "run";
};

TEST_F(NetprefsE2ETest, ASessionOfCommandsOnAFreshStore)
{
    Result empty = Netprefs({"list"});
    EXPECT_EQ(0, empty.status) << empty.err;
    EXPECT_EQ("", empty.out);

    Result home = Netprefs({"new-set", "Home"});
    ASSERT_EQ(0, home.status) << home.err;
    std::string homeID = home.out.substr(0, home.out.find('\n'));
    ASSERT_EQ(0, Netprefs({"use", "Home"}).status);
    Result away = Netprefs({"duplicate-set", "Home", "Away"});
    ASSERT_EQ(0, away.status) << away.err;
    std::string awayID = away.out.substr(0, away.out.find('\n'));
    ASSERT_EQ(0, Netprefs({"rename-set", "Away", "Travel"}).status);

    // The store as plistlib reads it: Home current, Travel a copy with services of its own.
    auto orderOf = [&](const std::string &id) { return "d['Sets']['" + id + "']['Network']['Global']['IPv4']['ServiceOrder']"; };
    EXPECT_EQ("[\"/Sets/" + homeID + "\", \"Home\", \"Travel\", 5, true, true]",
              Stored("[d['CurrentSet'], d['Sets']['" + homeID + "']['UserDefinedName'], d['Sets']['" + awayID +
                     "']['UserDefinedName'], len(" + orderOf(homeID) + "), set(" + orderOf(homeID) + ") & set(" +
                     orderOf(awayID) + ") == set(), [d['NetworkServices'][s]['Interface']['DeviceName'] for s in " +
                     orderOf(homeID) + "] == [d['NetworkServices'][s]['Interface']['DeviceName'] for s in " +
                     orderOf(awayID) + "]]"));

    // The listing: the sets in the store's order, Home marked, services indented in order.
    Result list = Netprefs({"list"});
    ASSERT_EQ(0, list.status) << list.err;
    std::string homeLine = "* Home  [" + homeID + "]\n";
    std::string travelLine = "  Travel  [" + awayID + "]\n";
    EXPECT_NE(list.out.find(homeLine), std::string::npos) << list.out;
    EXPECT_NE(list.out.find(travelLine), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("    Ethernet Adaptor (en5)  en5  active  ["), std::string::npos) << list.out;
    EXPECT_EQ(12, std::count(list.out.begin(), list.out.end(), '\n')) << list.out;

    // The current set's DHCP services (en0 and en5) are released and published again.
    Result release = Netprefs({"dhcp-release"});
    EXPECT_EQ(0, release.status) << release.err;
    EXPECT_EQ(2, std::count(release.out.begin(), release.out.end(), '\n')) << release.out;
    EXPECT_EQ(0u, release.out.rfind("released ", 0)) << release.out;

    ASSERT_EQ(0, Netprefs({"delete-set", "Travel"}).status);
    EXPECT_EQ("[[\"" + homeID + "\"], 5]", Stored("[sorted(d['Sets']), len(d['NetworkServices'])]"));
}

TEST_F(NetprefsE2ETest, FailuresSayWhyOnStandardErrorAndChangeNothing)
{
    ASSERT_EQ(0, Netprefs({"new-set", "Home"}).status);
    ASSERT_EQ(0, Netprefs({"use", "Home"}).status);
    std::string before = ReadFile(Store());

    struct Case {
        std::vector<std::string> arguments;
        bool readOnly;
        int status;
        const char *err;
    } cases[] = {
        {{"use", "Nowhere"}, false, 1, "netprefs: use: no set named \"Nowhere\"\n"},
        {{"delete-set", "Home"}, false, 1, "netprefs: delete-set: \"Home\" is the current set; make another set current first\n"},
        {{"new-set", "Home"}, false, 1, "netprefs: new-set: a set named \"Home\" exists already\n"},
        {{"new-set", "Work"}, true, 1,
         "netprefs: new-set: permission denied: the network preferences cannot be changed by this user or on this "
         "file system\n"},
        {{"rename-set", "Home"}, false, 2, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.arguments.front());
        Result result = Netprefs(c.arguments, c.readOnly);
        EXPECT_EQ(c.status, result.status);
        if (c.err != nullptr) {
            EXPECT_EQ(result.err, c.err);
        }
        EXPECT_EQ("", result.out);
        EXPECT_EQ(before, ReadFile(Store()));
    }

    // A store that does not parse is left as it is.
    std::ofstream(Store()) << "<plist><dict><key>Sets</key>";
    Result broken = Netprefs({"list"});
    EXPECT_EQ(1, broken.status);
    EXPECT_NE(broken.err.find("netprefs: list: the network preferences could not be read or written (status 1001)\n"),
              std::string::npos)
        << broken.err;
    EXPECT_EQ("<plist><dict><key>Sets</key>", ReadFile(Store()));
}

}  // namespace
