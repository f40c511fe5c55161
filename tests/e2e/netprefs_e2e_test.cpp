// netprefs, the binary, as root in a private mount namespace whose "/Library" and
// "/var/run/SystemConfiguration" are folders of the test: stores written and read back with
// plistlib, a whole session of commands, and its failures (unknown set, the current set, a store
// that does not parse, a read-only store).
//
// The harness is this file's own: a folder per test, one shell line per run.
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

#include "StandInTestSupport.h"

namespace {

const char kCovered[][32] = {"/Library", "/var/run/SystemConfiguration"};

std::string Quote(const std::string &text)
{
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

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

class NetprefsE2E : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string missing;
        if (geteuid() != 0) {
            missing = "not root";
        } else if (system("unshare --mount true 2>/dev/null") != 0) {
            missing = "no private mount namespaces here";
        }
        if (!missing.empty()) {
            const char *ci = getenv("CI");
            if (ci != nullptr && std::string(ci) == "true") {
                FAIL() << "cannot run netprefs' end-to-end tests under CI: " << missing;
            }
            GTEST_SKIP() << "skipped: " << missing;
        }
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
        EXPECT_EQ(result.status, 0) << result.err;
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

TEST_F(NetprefsE2E, ASessionOfCommandsOnAFreshStore)
{
    Result empty = Netprefs({"list"});
    EXPECT_EQ(empty.status, 0) << empty.err;
    EXPECT_EQ(empty.out, "");

    Result home = Netprefs({"new-set", "Home"});
    ASSERT_EQ(home.status, 0) << home.err;
    std::string homeID = home.out.substr(0, home.out.find('\n'));
    ASSERT_EQ(Netprefs({"use", "Home"}).status, 0);
    Result away = Netprefs({"duplicate-set", "Home", "Away"});
    ASSERT_EQ(away.status, 0) << away.err;
    std::string awayID = away.out.substr(0, away.out.find('\n'));
    ASSERT_EQ(Netprefs({"rename-set", "Away", "Travel"}).status, 0);

    // The store as plistlib reads it: Home current, Travel a copy with services of its own.
    auto orderOf = [&](const std::string &id) { return "d['Sets']['" + id + "']['Network']['Global']['IPv4']['ServiceOrder']"; };
    EXPECT_EQ(Stored("[d['CurrentSet'], d['Sets']['" + homeID + "']['UserDefinedName'], d['Sets']['" + awayID +
                     "']['UserDefinedName'], len(" + orderOf(homeID) + "), set(" + orderOf(homeID) + ") & set(" +
                     orderOf(awayID) + ") == set(), [d['NetworkServices'][s]['Interface']['DeviceName'] for s in " +
                     orderOf(homeID) + "] == [d['NetworkServices'][s]['Interface']['DeviceName'] for s in " +
                     orderOf(awayID) + "]]"),
              "[\"/Sets/" + homeID + "\", \"Home\", \"Travel\", 5, true, true]");

    // The listing: the sets in the store's order, Home marked, services indented in order.
    Result list = Netprefs({"list"});
    ASSERT_EQ(list.status, 0) << list.err;
    std::string homeLine = "* Home  [" + homeID + "]\n";
    std::string travelLine = "  Travel  [" + awayID + "]\n";
    EXPECT_NE(list.out.find(homeLine), std::string::npos) << list.out;
    EXPECT_NE(list.out.find(travelLine), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("    Ethernet Adaptor (en5)  en5  active  ["), std::string::npos) << list.out;
    EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 12) << list.out;

    // The current set's DHCP services (en0 and en5) are released and published again.
    Result release = Netprefs({"dhcp-release"});
    EXPECT_EQ(release.status, 0) << release.err;
    EXPECT_EQ(std::count(release.out.begin(), release.out.end(), '\n'), 2) << release.out;
    EXPECT_EQ(release.out.rfind("released ", 0), 0u) << release.out;

    ASSERT_EQ(Netprefs({"delete-set", "Travel"}).status, 0);
    EXPECT_EQ(Stored("[sorted(d['Sets']), len(d['NetworkServices'])]"), "[[\"" + homeID + "\"], 5]");
}

TEST_F(NetprefsE2E, FailuresSayWhyOnStandardErrorAndChangeNothing)
{
    ASSERT_EQ(Netprefs({"new-set", "Home"}).status, 0);
    ASSERT_EQ(Netprefs({"use", "Home"}).status, 0);
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
        EXPECT_EQ(result.status, c.status);
        if (c.err != nullptr) {
            EXPECT_EQ(result.err, c.err);
        }
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(ReadFile(Store()), before);
    }

    // A store that does not parse is left as it is.
    std::ofstream(Store()) << "<plist><dict><key>Sets</key>";
    Result broken = Netprefs({"list"});
    EXPECT_EQ(broken.status, 1);
    EXPECT_NE(broken.err.find("netprefs: list: the network preferences could not be read or written (status 1001)\n"),
              std::string::npos)
        << broken.err;
    EXPECT_EQ(ReadFile(Store()), "<plist><dict><key>Sets</key>");
}

}  // namespace
