// In-process tests of the service's own start-up and arrival logic: the modem port probe over
// registry snapshots, the start-up decisions (volume name, match, mount argument, port wait), the
// open-command assembly, and the peek callback on the DiskArbitration stand-in's simulated disks.
#include "CardWatch.h"
#include "INI.h"
#include "PlatformTesting.h"

#include <IOKit/IOKitLib.h>
#include "TestSupport.h"

#include <stdlib.h>

#include <string>
#include <vector>

namespace {

using cwtest::LoggedTest;
using cwtest::WriteFile;

std::string Port(const std::string &callout, const std::string &type = "IOModemSerialStream")
{
    std::string entry =
        "<dict><key>IOObjectClass</key><string>IOSerialBSDClient</string>"
        "<key>IORegistryEntryProperties</key><dict>";
    if (!callout.empty()) {
        entry += "<key>IOCalloutDevice</key><string>" + callout + "</string>";
    }
    return entry + "<key>IOSerialBSDClientType</key><string>" + type + "</string></dict></dict>";
}

std::string Registry(const std::vector<std::string> &entries)
{
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
        "<key>IORegistryEntryChildren</key><array>";
    for (const std::string &entry : entries) {
        xml += entry;
    }
    return xml + "</array></dict></plist>";
}

class CardWatchServiceTest : public LoggedTest {
protected:
    void SetUp() override
    {
        LoggedTest::SetUp();
        PlatformTestingReset();
        gMountArgs[0] = NULL;
        gMountArgs[1] = NULL;
    }
    void TearDown() override
    {
        PlatformTestingReset();
        LoggedTest::TearDown();
    }
    void UseRegistry(const std::vector<std::string> &entries)
    {
        registry_ = Registry(entries);
        PlatformTestingSetIORegistrySnapshotText(registry_.c_str());
    }
    std::string Config(const std::string &text) const
    {
        std::string path = dir_ + "/config";
        WriteFile(path, text);
        return path;
    }
    std::vector<std::string> PortMessages() const { return Messages("CardWatch.cpp:FindCommPort"); }

    std::string registry_;
    cwtest::ScopedEnvironment env_;
};

// ---- FindCommPort ----

TEST_F(CardWatchServiceTest, FindCommPortMatchesTheFragmentAndFillsTheOutput)
{
    UseRegistry({Port("/dev/cu.Bluetooth-Modem"), Port("/dev/cu.ORVEKAMobile-Pcui", "IORS232SerialStream")});
    long before = PlatformTestingIOKitLiveObjectCount();
    char out[64] = "untouched";
    EXPECT_EQ(0, FindCommPort("ORVEKAMobile-Pcui", out, sizeof out));
    EXPECT_STREQ("/dev/cu.ORVEKAMobile-Pcui", out);
    EXPECT_EQ((std::vector<std::string>{"FindCommPort Enter", "/dev/cu.Bluetooth-Modem", "/dev/cu.ORVEKAMobile-Pcui",
                                        "FindCommPort success, and exit"}),
              PortMessages());
    // The matching port and the iterator are given back on the success path too.
    EXPECT_EQ(before, PlatformTestingIOKitLiveObjectCount());
}

TEST_F(CardWatchServiceTest, FindCommPortStopsAtTheFirstMatch)
{
    UseRegistry({Port("/dev/cu.ORVEKAMobile-Pcui1"), Port("/dev/cu.ORVEKAMobile-Pcui2"), Port("/dev/cu.Later")});
    char out[64] = "";
    EXPECT_EQ(0, FindCommPort("ORVEKAMobile-Pcui", out, sizeof out));
    EXPECT_STREQ("/dev/cu.ORVEKAMobile-Pcui1", out);
    EXPECT_EQ((std::vector<std::string>{"FindCommPort Enter", "/dev/cu.ORVEKAMobile-Pcui1",
                                        "FindCommPort success, and exit"}),
              PortMessages());
}

TEST_F(CardWatchServiceTest, FindCommPortIsCaseSensitiveAndLeavesTheLastPathOnFailure)
{
    UseRegistry({Port("/dev/cu.orvekamobile-pcui"), Port(""), Port("/dev/cu.ORVEKAMOBILE-PCUI")});
    long before = PlatformTestingIOKitLiveObjectCount();
    char out[64] = "untouched";
    EXPECT_EQ(-1, FindCommPort("ORVEKAMobile-Pcui", out, sizeof out));
    EXPECT_STREQ("/dev/cu.ORVEKAMOBILE-PCUI", out);
    // The port without a callout path is passed over without a line.
    EXPECT_EQ((std::vector<std::string>{"FindCommPort Enter", "/dev/cu.orvekamobile-pcui", "/dev/cu.ORVEKAMOBILE-PCUI",
                                        "findCommPort failed, FindCommPort exit"}),
              PortMessages());
    EXPECT_EQ(before, PlatformTestingIOKitLiveObjectCount());
}

// A path too long for the 1024-byte buffer cannot be converted: it is passed over, and neither
// logged, copied nor matched from what the buffer held for the port before it.
TEST_F(CardWatchServiceTest, FindCommPortSkipsAPathItCannotConvert)
{
    const std::string longPath = "/dev/cu.ORVEKAMobile-Pcui" + std::string(1100, 'x');
    UseRegistry({Port("/dev/cu.Before"), Port(longPath), Port("/dev/cu.ORVEKAMobile")});
    long before = PlatformTestingIOKitLiveObjectCount();
    char out[64] = "untouched";
    EXPECT_EQ(-1, FindCommPort("ORVEKAMobile-Pcui", out, sizeof out));
    EXPECT_STREQ("/dev/cu.ORVEKAMobile", out);
    EXPECT_EQ((std::vector<std::string>{"FindCommPort Enter", "/dev/cu.Before",
                                        "IOCalloutDevice of a port is not a usable path, skip it",
                                        "/dev/cu.ORVEKAMobile", "findCommPort failed, FindCommPort exit"}),
              PortMessages());
    EXPECT_EQ(before, PlatformTestingIOKitLiveObjectCount());
}

TEST_F(CardWatchServiceTest, FindCommPortOutputBufferRules)
{
    UseRegistry({Port("/dev/cu.ORVEKAMobile-Pcui")});
    // Size 0 and no buffer: a probe only.
    char out[16] = "untouched";
    EXPECT_EQ(0, FindCommPort("ORVEKAMobile-Pcui", out, 0));
    EXPECT_STREQ("untouched", out);
    EXPECT_EQ(0, FindCommPort("ORVEKAMobile-Pcui", NULL, 64));
    EXPECT_EQ(0, FindCommPort("ORVEKAMobile-Pcui", out, -5));
    EXPECT_STREQ("untouched", out);
    // A small buffer gets the path cut to size - 1 characters; the match uses the whole path.
    char small[8];
    EXPECT_EQ(0, FindCommPort("ORVEKAMobile-Pcui", small, sizeof small));
    EXPECT_STREQ("/dev/cu", small);

    // No serial ports at all: failure, buffer untouched.
    UseRegistry({});
    char none[16] = "untouched";
    EXPECT_EQ(-1, FindCommPort("ORVEKAMobile-Pcui", none, sizeof none));
    EXPECT_STREQ("untouched", none);
    EXPECT_EQ("findCommPort failed, FindCommPort exit", PortMessages().back());
}

TEST_F(CardWatchServiceTest, FindCommPortFailures)
{
    EXPECT_EQ(-1, FindCommPort(NULL, NULL, 0));
    EXPECT_EQ((std::vector<std::string>{"FindCommPort Enter", "param error."}), PortMessages());

    UseRegistry({Port("/dev/cu.ORVEKAMobile-Pcui")});
    ClearLog();
    PlatformTestingIOKitFailCall("IOServiceGetMatchingServices", kIOReturnError, PLATFORM_TESTING_EVERY_CALL);
    EXPECT_EQ(-1, FindCommPort("ORVEKAMobile-Pcui", NULL, 0));
    EXPECT_EQ("IOServiceGetMatchingSerices failed, FindCommPort exit", PortMessages().back());

    PlatformTestingIOKitFailCall("IOServiceGetMatchingServices", 0, PLATFORM_TESTING_EVERY_CALL);
    PlatformTestingIOKitFailCall("IOServiceMatching", kIOReturnError, PLATFORM_TESTING_EVERY_CALL);
    ClearLog();
    EXPECT_EQ(-1, FindCommPort("ORVEKAMobile-Pcui", NULL, 0));
    EXPECT_EQ("IOServiceGetMatchingSerices failed, FindCommPort exit", PortMessages().back());

    // A property that cannot be read is a port without a path.
    PlatformTestingIOKitFailCall("IOServiceMatching", 0, PLATFORM_TESTING_EVERY_CALL);
    PlatformTestingIOKitFailCall("IORegistryEntryCreateCFProperty", kIOReturnError, PLATFORM_TESTING_EVERY_CALL);
    long before = PlatformTestingIOKitLiveObjectCount();
    EXPECT_EQ(-1, FindCommPort("ORVEKAMobile-Pcui", NULL, 0));
    EXPECT_EQ(before, PlatformTestingIOKitLiveObjectCount());
}

// The live registry of this machine (its own serial ports): the probe answers without a crash or
// a leak, and a fragment no device carries is not found.
TEST_F(CardWatchServiceTest, FindCommPortOnTheLiveRegistry)
{
    env_.Unset("PLATFORM_IOREGISTRY");
    long before = PlatformTestingIOKitLiveObjectCount();
    EXPECT_EQ(-1, FindCommPort("no-such-port-fragment-7f3a", NULL, 0));
    EXPECT_EQ(before, PlatformTestingIOKitLiveObjectCount());
    // Every port examined is one of this machine's terminals, by its device path.
    std::vector<std::string> examined;
    for (const std::string &message : PortMessages()) {
        if (message != "FindCommPort Enter" && message != "findCommPort failed, FindCommPort exit") {
            ASSERT_EQ(0u, message.rfind("/dev/", 0)) << message;
            EXPECT_TRUE(cwtest::Exists("/sys/class/tty/" + message.substr(5))) << message;
            examined.push_back(message);
        }
    }
    // The first of them is found by its own path, and the output holds it.
    if (!examined.empty()) {
        char out[kCardWatchCalloutPathSize] = "";
        EXPECT_EQ(0, FindCommPort(examined[0].c_str(), out, sizeof out));
        EXPECT_EQ(std::string(out), examined[0]);
    }
}

// ---- Start-up decisions ----

TEST_F(CardWatchServiceTest, MountArgumentFollowsDisableCdrom)
{
    struct Case {
        const char *config;
        const char *argument;
    } cases[] = {
        {"[Volumes]\ndisable_cdrom=TRUE\n", "nobrowse"},
        {"[Volumes]\nname=Velmora\ndisable_cdrom = True \n", "nobrowse"},
        {"[Volumes]\ndisable_cdrom=true\n", "nobrowse"},
        {"[Volumes]\ndisable_cdrom=yes\n", "rdonly"},
        {"[Volumes]\ndisable_cdrom=false\n", "rdonly"},
        {"[Volumes]\nname=Velmora\n", "rdonly"},
        {"[Other]\ndisable_cdrom=true\n", "rdonly"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.config);
        ClearLog();
        SetMountArguments(Config(c.config).c_str());
        ASSERT_NE(nullptr, gMountArgs[0]);
        standintest::CFRef<CFStringRef> argument(CFStringCreateWithCString(NULL, c.argument, kCFStringEncodingUTF8));
        EXPECT_TRUE(CFEqual(gMountArgs[0], argument));
        EXPECT_EQ(nullptr, gMountArgs[1]);
        std::string expected =
            std::string("value of disable_cdrom is ") + (std::string(c.argument) == "nobrowse" ? "true" : "false");
        EXPECT_EQ(std::vector<std::string>{expected}, Messages("CardWatch.cpp:main"));
    }
    SetMountArguments((dir_ + "/missing").c_str());
    EXPECT_TRUE(CFEqual(gMountArgs[0], CFSTR("rdonly")));
}

TEST_F(CardWatchServiceTest, VolumeNameFromTheConfiguration)
{
    char name[kCardWatchVolumeNameSize];
    ReadVolumeName(Config("[Volumes]\nname = Foo \n").c_str(), name, sizeof name);
    EXPECT_STREQ("Foo", name);
    ReadVolumeName(Config("[Volumes]\npath1=/x\n").c_str(), name, sizeof name);
    EXPECT_STREQ("Velmora", name);
    ReadVolumeName((dir_ + "/missing").c_str(), name, sizeof name);
    EXPECT_STREQ("Velmora", name);

    std::string seventy(70, 'n');
    ReadVolumeName(Config("[Volumes]\nname=" + seventy + "\n").c_str(), name, sizeof name);
    EXPECT_EQ(seventy.substr(0, 63), std::string(name));

    // 62 ASCII characters and a two-byte character: the cut would split it, so it goes whole.
    std::string utf8 = std::string(62, 'a') + "\xc3\xa9" + "b";
    ReadVolumeName(Config("[Volumes]\nname=" + utf8 + "\n").c_str(), name, sizeof name);
    EXPECT_EQ(std::string(62, 'a'), std::string(name));
    // Text that was not UTF-8 to begin with is cut at 63 bytes as it stands.
    std::string latin = std::string(62, 'a') + "\xe9\xe9";
    ReadVolumeName(Config("[Volumes]\nname=" + latin + "\n").c_str(), name, sizeof name);
    EXPECT_EQ(latin.substr(0, 63), std::string(name));
}

TEST_F(CardWatchServiceTest, MatchDecodesTheNameAsUTF8ElseMacRoman)
{
    struct Case {
        const char *name;
        CFStringEncoding encoding;
    } cases[] = {
        {"Velmora", kCFStringEncodingUTF8},
        {"Caf\xc3\xa9", kCFStringEncodingUTF8},
        {"Caf\xe9", kCFStringEncodingMacRoman},
        {"V\x01\xff" "x", kCFStringEncodingMacRoman},
        {"\xed\xa0\x80", kCFStringEncodingMacRoman},  // an encoded surrogate is not UTF-8
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        standintest::CFRef<CFMutableDictionaryRef> match(CreateDiskMatch(c.name));
        ASSERT_TRUE(match);
        EXPECT_EQ(1, CFDictionaryGetCount(match));
        standintest::CFRef<CFStringRef> expected(CFStringCreateWithCString(NULL, c.name, c.encoding));
        CFTypeRef value = CFDictionaryGetValue(match, kDADiskDescriptionVolumeNameKey);
        ASSERT_NE(nullptr, value);
        EXPECT_TRUE(CFEqual(value, expected));
    }
    // A match that cannot be made whole is no match at all (an empty one would take every disk).
    for (long nth : {1L, 2L}) {
        SCOPED_TRACE(nth);
        long live = PlatformTestingCFLiveObjectCount();
        PlatformTestingCFFailNthCreation(nth);
        EXPECT_EQ(nullptr, CreateDiskMatch("Velmora"));
        EXPECT_EQ(live, PlatformTestingCFLiveObjectCount());
    }
    PlatformTestingCFFailNthCreation(0);
    EXPECT_TRUE(IsUTF8Text("\xf0\x9f\x92\xbe"));
    EXPECT_FALSE(IsUTF8Text("\xc0\xaf"));  // overlong "/"
    EXPECT_FALSE(IsUTF8Text("\xf4\x90\x80\x80"));
}

TEST_F(CardWatchServiceTest, PortWaitProbesTenTimesOneSecondApart)
{
    UseRegistry({Port("/dev/cu.Bluetooth-Modem")});
    PlatformTestingResetSleep();
    EXPECT_FALSE(WaitForCommPort("ORVEKAMobile-Pcui", 10));
    EXPECT_EQ(10u, PlatformTestingSleepCalls());
    EXPECT_EQ(10ul, PlatformTestingSleepSeconds());
    auto main = Messages("CardWatch.cpp:main");
    EXPECT_EQ(std::vector<std::string>(10, "wait to again to find comm port at beginning to run autorun..."), main);

    UseRegistry({Port("/dev/cu.ORVEKAMobile-Pcui")});
    PlatformTestingResetSleep();
    ClearLog();
    EXPECT_TRUE(WaitForCommPort("ORVEKAMobile-Pcui", 10));
    EXPECT_EQ(0u, PlatformTestingSleepCalls());
    EXPECT_TRUE(Messages("CardWatch.cpp:main").empty());
}

// ---- Open command ----

TEST_F(CardWatchServiceTest, OpenCommandAssembly)
{
    char command[kCardWatchOpenCommandSize];
    BuildOpenCommand(Config("[Volumes]\nname=Velmora\n").c_str(), command, sizeof command);
    EXPECT_STREQ("open -a \"/Volumes/Velmora/Velmora.app/\"", command);
    EXPECT_TRUE(Logged("Current Mac OS version is newer than Mac OS X 10.4\n"));

    ClearLog();
    BuildOpenCommand((dir_ + "/missing").c_str(), command, sizeof command);
    EXPECT_STREQ("open -a /Volumes/Velmora/Velmora.app/", command);
    EXPECT_EQ(std::vector<std::string>{"Doesn't find ini file."}, Messages("CardWatch.cpp:DiskMountCallback"));

    BuildOpenCommand(Config("[Volumes]\npath1=/Applications/My \"Velmora\" $HOME `id`.app/\n").c_str(), command,
                     sizeof command);
    EXPECT_STREQ("open -a \"/Applications/My \\\"Velmora\\\" \\$HOME \\`id\\`.app/\"", command);
}

// The two appends get the room left below 511 characters: an over-long path gives a command cut
// at 511 characters, never an empty one.
TEST_F(CardWatchServiceTest, OpenCommandIsCutAt511Characters)
{
    char command[kCardWatchOpenCommandSize];
    for (size_t length : {500u, 501u, 502u, 503u, 600u}) {
        SCOPED_TRACE(length);
        std::string path = "/" + std::string(length - 1, 'p');
        BuildOpenCommand(Config("[Volumes]\npath1=" + path + "\n").c_str(), command, sizeof command);
        std::string expected = "open -a \"" + path + "\"";
        // path1 itself is cut to 511 characters before the command is built.
        if (path.size() > 511) {
            expected = "open -a \"" + path.substr(0, 511) + "\"";
        }
        EXPECT_EQ(std::string(command), expected.substr(0, 511));
    }
}

// ---- Peek callback on simulated disks ----

class CardWatchPeekTest : public CardWatchServiceTest {
protected:
    void SetUp() override
    {
        CardWatchServiceTest::SetUp();
        // The console belongs to somebody else: every pass ends after the owner check, before
        // any login wait or open.
        const char *source = getenv("MODEM_SOURCE_DIR");
        env_.PrependPath(std::string(source != nullptr ? source : ".") + "/tests/e2e/fixtures/bin");
        env_.Set("CW_CONSOLE_USER", "somebody-else");
        session_.reset(DASessionCreate(kCFAllocatorDefault));
        ASSERT_NE(nullptr, session_.get());
    }
    void TearDown() override
    {
        if (session_) {
            DASessionUnscheduleFromRunLoop(session_, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode);
            session_.reset();
        }
        CardWatchServiceTest::TearDown();
    }
    void Watch(const char *name)
    {
        standintest::CFRef<CFMutableDictionaryRef> match(CreateDiskMatch(name));
        StartWatching(session_, match);
    }
    // Runs the run loop until the log holds message (or about five seconds have passed).
    bool RunUntilLogged(const std::string &message)
    {
        for (int i = 0; i < 50 && !Logged(message); ++i) {
            CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.1, false);
        }
        return Logged(message);
    }

    standintest::CFRef<DASessionRef> session_;
};

TEST_F(CardWatchPeekTest, ArrivalSwitchesAutomountOffAndMountsWithTheSingleArgument)
{
    gMountArgs[0] = CFSTR("nobrowse");
    Watch("Velmora");
    PlatformTestingDiskArrival("disk7", "Velmora", 0);
    ASSERT_TRUE(RunUntilLogged("are not same return....."));

    EXPECT_EQ(
        (std::vector<std::string>{"DiskPeekCallback Enter", "----------------------Device inserted!---------------",
                                  "DiskPeekCallback exit"}),
        Messages("CardWatch.cpp:DiskPeekCallback"));
    ASSERT_EQ(1u, PlatformTestingDiskMountCount());
    PlatformTestingDiskMount mount;
    ASSERT_TRUE(PlatformTestingDiskGetMount(0, &mount));
    EXPECT_EQ(1u, mount.argumentCount);
    EXPECT_STREQ("nobrowse\n", mount.arguments);
    EXPECT_EQ(0, mount.withPath);
    EXPECT_EQ(static_cast<uint32_t>(kDADiskMountOptionDefault), mount.options);
    EXPECT_EQ(0u, PlatformTestingDiskOptions("disk7") & kDADiskOptionMountAutomatic);
    auto pass = Messages("CardWatch.cpp:DiskMountCallback");
    ASSERT_EQ(3u, pass.size());
    EXPECT_EQ("DiskMountCallback Enter", pass[0]);
    EXPECT_EQ(0u, pass[1].rfind("ps aux | awk -v PID=", 0));
    EXPECT_EQ("are not same return.....", pass[2]);
}

TEST_F(CardWatchPeekTest, OnlyTheConfiguredNameIsTaken)
{
    gMountArgs[0] = CFSTR("rdonly");
    Watch("Foo");
    PlatformTestingDiskArrival("disk7", "Velmora", 0);
    PlatformTestingDiskArrival("disk8", "foo", 0);
    PlatformTestingDiskArrival("disk9", "Foo", 0);
    ASSERT_TRUE(RunUntilLogged("are not same return....."));
    ASSERT_EQ(1u, PlatformTestingDiskMountCount());
    PlatformTestingDiskMount mount;
    ASSERT_TRUE(PlatformTestingDiskGetMount(0, &mount));
    EXPECT_STREQ("disk9", mount.bsdName);
    EXPECT_STREQ("rdonly\n", mount.arguments);
    EXPECT_EQ(static_cast<uint32_t>(kDADiskOptionMountAutomatic), PlatformTestingDiskOptions("disk7"));
}

// A failed mount and a failed option change: the pass goes on as after a success.
TEST_F(CardWatchPeekTest, FailuresDoNotStopThePass)
{
    gMountArgs[0] = CFSTR("rdonly");
    Watch("Velmora");
    PlatformTestingDiskArbitrationFailCall("DADiskSetOptions", kDAReturnNotPermitted, PLATFORM_TESTING_EVERY_CALL);
    PlatformTestingDiskArrival("disk7", "Velmora", kDAReturnNotFound);
    ASSERT_TRUE(RunUntilLogged("are not same return....."));
    EXPECT_TRUE(Logged("DADiskSetOptions failed!"));
    ASSERT_EQ(1u, PlatformTestingDiskMountCount());
    PlatformTestingDiskMount mount;
    ASSERT_TRUE(PlatformTestingDiskGetMount(0, &mount));
    EXPECT_EQ(kDAReturnNotFound, mount.status);
    EXPECT_TRUE(Logged("DiskMountCallback Enter"));
}


// ---- One whole arrival pass ----

// Stand-ins earlier on PATH: "stat -f%Su /dev/console" names the service's own owner (as the
// process-owner pipeline sees it), "ps -A" lists a Finder only from its eleventh run on (the
// first login probe spends its ten attempts), and "open" records its arguments.
const char kPassStat[] = R"(#!/bin/sh
ps aux | awk -v PID="$CW_TEST_PID" '$2 == PID { print $1 }'
)";
const char kPassPs[] = R"(#!/bin/sh
if [ "$1" = "-A" ]; then
    n=$(cat "$CW_TEST_DIR/ps-count" 2>/dev/null || echo 0); n=$((n+1)); echo $n > "$CW_TEST_DIR/ps-count"
    [ "$n" -gt 10 ] && echo "  42 ?        00:00:00 Finder.app"
    exit 0
fi
PATH=${PATH#*:} exec ps "$@"
)";
const char kPassOpen[] = R"(#!/bin/sh
printf '%s\n' "$*" >> "$CW_TEST_DIR/open.log"
)";

class CardWatchPassTest : public CardWatchServiceTest {
protected:
    void SetUp() override
    {
        CardWatchServiceTest::SetUp();
        // The pass reads the service's fixed configuration paths: they must be absent here.
        if (cwtest::Exists(CARDWATCH_CONFIG_FILE) || cwtest::Exists(CARDWATCH_SETUP_CONFIG_FILE)) {
            GTEST_SKIP() << "this machine holds the service's configuration files";
        }
        std::filesystem::create_directories(dir_ + "/bin");
        for (const auto &[name, text] : {std::pair{"stat", kPassStat}, {"ps", kPassPs}, {"open", kPassOpen}}) {
            cwtest::WriteScript(dir_ + "/bin/" + name, text);
        }
        env_.PrependPath(dir_ + "/bin");
        env_.Set("CW_TEST_DIR", dir_);
        env_.Set("CW_TEST_PID", std::to_string(getpid()));
        ProcessSetScratchPathForTesting((dir_ + "/cmd.txt").c_str());
        PlatformTestingResetSleep();
    }
    void TearDown() override
    {
        ProcessSetScratchPathForTesting(nullptr);
        PlatformTestingResetSleep();
        CardWatchServiceTest::TearDown();
    }
};

// Console owned by the service's owner, nobody logged in at first: one failed probe and its
// wait, then the application is opened with the built-in command and the setup step runs (and
// fails, having no configuration), in this order.
TEST_F(CardWatchPassTest, WaitsForALoginThenOpensTheApplicationAndRunsTheSetup)
{
    DiskMountCallback(NULL, NULL, NULL);
    const std::string owner = "ps aux | awk -v PID=" + std::to_string(getpid()) + " '$2 == PID { print $1 }'";
    EXPECT_EQ(
        (std::vector<std::string>{"DiskMountCallback Enter", owner, "actvie == pname.....",
                                  "send cmd failed, not run board app", "have some one login succ",
                                  "Doesn't find ini file.", "Run Velmora Program success", "DiskMountCallback exit"}),
        Messages("CardWatch.cpp:DiskMountCallback"));
    EXPECT_EQ(
        (std::vector<std::string>{"DiskMountApproval Enter", "finish run program, and error, DiskMountApproval exit "}),
        Messages("CardWatch.cpp:DiskMountApproval"));
    EXPECT_EQ("-a /Volumes/Velmora/Velmora.app/\n", cwtest::ReadFile(dir_ + "/open.log"));
    // Ten failed probe attempts, the 5-second wait, and the capture's 1-second pause.
    EXPECT_EQ(16ul, PlatformTestingSleepSeconds());
    EXPECT_FALSE(cwtest::Exists(dir_ + "/cmd.txt"));
}

}  // namespace
