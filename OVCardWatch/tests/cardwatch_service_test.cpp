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
};

// ---- FindCommPort ----

TEST_F(CardWatchServiceTest, FindCommPortMatchesTheFragmentAndFillsTheOutput)
{
    UseRegistry({Port("/dev/cu.Bluetooth-Modem"), Port("/dev/cu.ORVEKAMobile-Pcui", "IORS232SerialStream")});
    long before = PlatformTestingIOKitLiveObjectCount();
    char out[64] = "untouched";
    EXPECT_EQ(FindCommPort("ORVEKAMobile-Pcui", out, sizeof out), 0);
    EXPECT_STREQ(out, "/dev/cu.ORVEKAMobile-Pcui");
    EXPECT_EQ(PortMessages(), (std::vector<std::string>{"FindCommPort Enter", "/dev/cu.Bluetooth-Modem",
                                                        "/dev/cu.ORVEKAMobile-Pcui", "FindCommPort success, and exit"}));
    // The matching port and the iterator are given back on the success path too.
    EXPECT_EQ(PlatformTestingIOKitLiveObjectCount(), before);
}

TEST_F(CardWatchServiceTest, FindCommPortStopsAtTheFirstMatch)
{
    UseRegistry({Port("/dev/cu.ORVEKAMobile-Pcui1"), Port("/dev/cu.ORVEKAMobile-Pcui2"), Port("/dev/cu.Later")});
    char out[64] = "";
    EXPECT_EQ(FindCommPort("ORVEKAMobile-Pcui", out, sizeof out), 0);
    EXPECT_STREQ(out, "/dev/cu.ORVEKAMobile-Pcui1");
    EXPECT_EQ(PortMessages(), (std::vector<std::string>{"FindCommPort Enter", "/dev/cu.ORVEKAMobile-Pcui1",
                                                        "FindCommPort success, and exit"}));
}

TEST_F(CardWatchServiceTest, FindCommPortIsCaseSensitiveAndLeavesTheLastPathOnFailure)
{
    UseRegistry({Port("/dev/cu.orvekamobile-pcui"), Port(""), Port("/dev/cu.ORVEKAMOBILE-PCUI")});
    long before = PlatformTestingIOKitLiveObjectCount();
    char out[64] = "untouched";
    EXPECT_EQ(FindCommPort("ORVEKAMobile-Pcui", out, sizeof out), -1);
    EXPECT_STREQ(out, "/dev/cu.ORVEKAMOBILE-PCUI");
    // The port without a callout path is passed over without a line.
    EXPECT_EQ(PortMessages(), (std::vector<std::string>{"FindCommPort Enter", "/dev/cu.orvekamobile-pcui",
                                                        "/dev/cu.ORVEKAMOBILE-PCUI",
                                                        "findCommPort failed, FindCommPort exit"}));
    EXPECT_EQ(PlatformTestingIOKitLiveObjectCount(), before);
}

// A path too long for the 1024-byte buffer cannot be converted: it is passed over, and neither
// logged, copied nor matched from what the buffer held for the port before it.
TEST_F(CardWatchServiceTest, FindCommPortSkipsAPathItCannotConvert)
{
    const std::string longPath = "/dev/cu.ORVEKAMobile-Pcui" + std::string(1100, 'x');
    UseRegistry({Port("/dev/cu.Before"), Port(longPath), Port("/dev/cu.ORVEKAMobile")});
    long before = PlatformTestingIOKitLiveObjectCount();
    char out[64] = "untouched";
    EXPECT_EQ(FindCommPort("ORVEKAMobile-Pcui", out, sizeof out), -1);
    EXPECT_STREQ(out, "/dev/cu.ORVEKAMobile");
    EXPECT_EQ(PortMessages(), (std::vector<std::string>{"FindCommPort Enter", "/dev/cu.Before",
                                                        "IOCalloutDevice of a port is not a usable path, skip it",
                                                        "/dev/cu.ORVEKAMobile", "findCommPort failed, FindCommPort exit"}));
    EXPECT_EQ(PlatformTestingIOKitLiveObjectCount(), before);
}

TEST_F(CardWatchServiceTest, FindCommPortOutputBufferRules)
{
    UseRegistry({Port("/dev/cu.ORVEKAMobile-Pcui")});
    // Size 0 and no buffer: a probe only.
    char out[16] = "untouched";
    EXPECT_EQ(FindCommPort("ORVEKAMobile-Pcui", out, 0), 0);
    EXPECT_STREQ(out, "untouched");
    EXPECT_EQ(FindCommPort("ORVEKAMobile-Pcui", NULL, 64), 0);
    EXPECT_EQ(FindCommPort("ORVEKAMobile-Pcui", out, -5), 0);
    EXPECT_STREQ(out, "untouched");
    // A small buffer gets the path cut to size - 1 characters; the match uses the whole path.
    char small[8];
    EXPECT_EQ(FindCommPort("ORVEKAMobile-Pcui", small, sizeof small), 0);
    EXPECT_STREQ(small, "/dev/cu");

    // No serial ports at all: failure, buffer untouched.
    UseRegistry({});
    char none[16] = "untouched";
    EXPECT_EQ(FindCommPort("ORVEKAMobile-Pcui", none, sizeof none), -1);
    EXPECT_STREQ(none, "untouched");
    EXPECT_EQ(PortMessages().back(), "findCommPort failed, FindCommPort exit");
}

TEST_F(CardWatchServiceTest, FindCommPortFailures)
{
    EXPECT_EQ(FindCommPort(NULL, NULL, 0), -1);
    EXPECT_EQ(PortMessages(), (std::vector<std::string>{"FindCommPort Enter", "param error."}));

    UseRegistry({Port("/dev/cu.ORVEKAMobile-Pcui")});
    ClearLog();
    PlatformTestingIOKitFailCall("IOServiceGetMatchingServices", kIOReturnError, PLATFORM_TESTING_EVERY_CALL);
    EXPECT_EQ(FindCommPort("ORVEKAMobile-Pcui", NULL, 0), -1);
    EXPECT_EQ(PortMessages().back(), "IOServiceGetMatchingSerices failed, FindCommPort exit");

    PlatformTestingIOKitFailCall("IOServiceGetMatchingServices", 0, PLATFORM_TESTING_EVERY_CALL);
    PlatformTestingIOKitFailCall("IOServiceMatching", kIOReturnError, PLATFORM_TESTING_EVERY_CALL);
    ClearLog();
    EXPECT_EQ(FindCommPort("ORVEKAMobile-Pcui", NULL, 0), -1);
    EXPECT_EQ(PortMessages().back(), "IOServiceGetMatchingSerices failed, FindCommPort exit");

    // A property that cannot be read is a port without a path.
    PlatformTestingIOKitFailCall("IOServiceMatching", 0, PLATFORM_TESTING_EVERY_CALL);
    PlatformTestingIOKitFailCall("IORegistryEntryCreateCFProperty", kIOReturnError, PLATFORM_TESTING_EVERY_CALL);
    long before = PlatformTestingIOKitLiveObjectCount();
    EXPECT_EQ(FindCommPort("ORVEKAMobile-Pcui", NULL, 0), -1);
    EXPECT_EQ(PlatformTestingIOKitLiveObjectCount(), before);
}

// The live registry of this machine (its own serial ports): the probe answers without a crash or
// a leak, and a fragment no device carries is not found.
TEST_F(CardWatchServiceTest, FindCommPortOnTheLiveRegistry)
{
    unsetenv("PLATFORM_IOREGISTRY");
    long before = PlatformTestingIOKitLiveObjectCount();
    EXPECT_EQ(FindCommPort("no-such-port-fragment-7f3a", NULL, 0), -1);
    EXPECT_EQ(PlatformTestingIOKitLiveObjectCount(), before);
    // Every port examined is one of this machine's terminals, by its device path.
    std::vector<std::string> examined;
    for (const std::string &message : PortMessages()) {
        if (message != "FindCommPort Enter" && message != "findCommPort failed, FindCommPort exit") {
            ASSERT_EQ(message.rfind("/dev/", 0), 0u) << message;
            EXPECT_TRUE(cwtest::Exists("/sys/class/tty/" + message.substr(5))) << message;
            examined.push_back(message);
        }
    }
    // The first of them is found by its own path, and the output holds it.
    if (!examined.empty()) {
        char out[kCardWatchCalloutPathSize] = "";
        EXPECT_EQ(FindCommPort(examined[0].c_str(), out, sizeof out), 0);
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
        ASSERT_NE(gMountArgs[0], nullptr);
        CFStringRef argument = CFStringCreateWithCString(NULL, c.argument, kCFStringEncodingUTF8);
        EXPECT_TRUE(CFEqual(gMountArgs[0], argument));
        CFRelease(argument);
        EXPECT_EQ(gMountArgs[1], nullptr);
        std::string expected = std::string("value of disable_cdrom is ") + (std::string(c.argument) == "nobrowse" ? "true" : "false");
        EXPECT_EQ(Messages("CardWatch.cpp:main"), std::vector<std::string>{expected});
    }
    SetMountArguments((dir_ + "/missing").c_str());
    EXPECT_TRUE(CFEqual(gMountArgs[0], CFSTR("rdonly")));
}

TEST_F(CardWatchServiceTest, VolumeNameFromTheConfiguration)
{
    char name[kCardWatchVolumeNameSize];
    ReadVolumeName(Config("[Volumes]\nname = Foo \n").c_str(), name, sizeof name);
    EXPECT_STREQ(name, "Foo");
    ReadVolumeName(Config("[Volumes]\npath1=/x\n").c_str(), name, sizeof name);
    EXPECT_STREQ(name, "Velmora");
    ReadVolumeName((dir_ + "/missing").c_str(), name, sizeof name);
    EXPECT_STREQ(name, "Velmora");

    std::string seventy(70, 'n');
    ReadVolumeName(Config("[Volumes]\nname=" + seventy + "\n").c_str(), name, sizeof name);
    EXPECT_EQ(std::string(name), seventy.substr(0, 63));

    // 62 ASCII characters and a two-byte character: the cut would split it, so it goes whole.
    std::string utf8 = std::string(62, 'a') + "\xc3\xa9" + "b";
    ReadVolumeName(Config("[Volumes]\nname=" + utf8 + "\n").c_str(), name, sizeof name);
    EXPECT_EQ(std::string(name), std::string(62, 'a'));
    // Text that was not UTF-8 to begin with is cut at 63 bytes as it stands.
    std::string latin = std::string(62, 'a') + "\xe9\xe9";
    ReadVolumeName(Config("[Volumes]\nname=" + latin + "\n").c_str(), name, sizeof name);
    EXPECT_EQ(std::string(name), latin.substr(0, 63));
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
        CFMutableDictionaryRef match = CreateDiskMatch(c.name);
        ASSERT_NE(match, nullptr);
        EXPECT_EQ(CFDictionaryGetCount(match), 1);
        CFStringRef expected = CFStringCreateWithCString(NULL, c.name, c.encoding);
        CFTypeRef value = CFDictionaryGetValue(match, kDADiskDescriptionVolumeNameKey);
        ASSERT_NE(value, nullptr);
        EXPECT_TRUE(CFEqual(value, expected));
        CFRelease(expected);
        CFRelease(match);
    }
    // A match that cannot be made whole is no match at all (an empty one would take every disk).
    for (long nth : {1L, 2L}) {
        SCOPED_TRACE(nth);
        long live = PlatformTestingCFLiveObjectCount();
        PlatformTestingCFFailNthCreation(nth);
        EXPECT_EQ(CreateDiskMatch("Velmora"), nullptr);
        EXPECT_EQ(PlatformTestingCFLiveObjectCount(), live);
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
    EXPECT_EQ(PlatformTestingSleepCalls(), 10u);
    EXPECT_EQ(PlatformTestingSleepSeconds(), 10ul);
    auto main = Messages("CardWatch.cpp:main");
    EXPECT_EQ(main, std::vector<std::string>(10, "wait to again to find comm port at beginning to run autorun..."));

    UseRegistry({Port("/dev/cu.ORVEKAMobile-Pcui")});
    PlatformTestingResetSleep();
    ClearLog();
    EXPECT_TRUE(WaitForCommPort("ORVEKAMobile-Pcui", 10));
    EXPECT_EQ(PlatformTestingSleepCalls(), 0u);
    EXPECT_TRUE(Messages("CardWatch.cpp:main").empty());
}

// ---- Open command ----

TEST_F(CardWatchServiceTest, OpenCommandAssembly)
{
    char command[kCardWatchOpenCommandSize];
    BuildOpenCommand(Config("[Volumes]\nname=Velmora\n").c_str(), command, sizeof command);
    EXPECT_STREQ(command, "open -a \"/Volumes/Velmora/Velmora.app/\"");
    EXPECT_TRUE(Logged("Current Mac OS version is newer than Mac OS X 10.4\n"));

    ClearLog();
    BuildOpenCommand((dir_ + "/missing").c_str(), command, sizeof command);
    EXPECT_STREQ(command, "open -a /Volumes/Velmora/Velmora.app/");
    EXPECT_EQ(Messages("CardWatch.cpp:DiskMountCallback"), std::vector<std::string>{"Doesn't find ini file."});

    BuildOpenCommand(Config("[Volumes]\npath1=/Applications/My \"Velmora\" $HOME `id`.app/\n").c_str(), command,
                     sizeof command);
    EXPECT_STREQ(command, "open -a \"/Applications/My \\\"Velmora\\\" \\$HOME \\`id\\`.app/\"");
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
        const char *path = getenv("PATH");
        savedPath_ = path != nullptr ? path : "/usr/bin:/bin";
        std::string fixtures = std::string(getenv("MODEM_SOURCE_DIR") ? getenv("MODEM_SOURCE_DIR") : ".") +
                               "/tests/e2e/fixtures/bin";
        setenv("PATH", (fixtures + ":" + savedPath_).c_str(), 1);
        setenv("CW_CONSOLE_USER", "somebody-else", 1);
        session_ = DASessionCreate(kCFAllocatorDefault);
        ASSERT_NE(session_, nullptr);
    }
    void TearDown() override
    {
        if (session_ != nullptr) {
            DASessionUnscheduleFromRunLoop(session_, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode);
            CFRelease(session_);
        }
        setenv("PATH", savedPath_.c_str(), 1);
        unsetenv("CW_CONSOLE_USER");
        CardWatchServiceTest::TearDown();
    }
    void Watch(const char *name)
    {
        CFMutableDictionaryRef match = CreateDiskMatch(name);
        StartWatching(session_, match);
        CFRelease(match);
    }
    // Runs the run loop until the log holds message (or about five seconds have passed).
    bool RunUntilLogged(const std::string &message)
    {
        for (int i = 0; i < 50 && !Logged(message); ++i) {
            CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0.1, false);
        }
        return Logged(message);
    }

    DASessionRef session_ = nullptr;
    std::string savedPath_;
};

TEST_F(CardWatchPeekTest, ArrivalSwitchesAutomountOffAndMountsWithTheSingleArgument)
{
    gMountArgs[0] = CFSTR("nobrowse");
    Watch("Velmora");
    PlatformTestingDiskArrival("disk7", "Velmora", 0);
    ASSERT_TRUE(RunUntilLogged("are not same return....."));

    EXPECT_EQ(Messages("CardWatch.cpp:DiskPeekCallback"),
              (std::vector<std::string>{"DiskPeekCallback Enter", "----------------------Device inserted!---------------",
                                        "DiskPeekCallback exit"}));
    ASSERT_EQ(PlatformTestingDiskMountCount(), 1u);
    PlatformTestingDiskMount mount;
    ASSERT_TRUE(PlatformTestingDiskGetMount(0, &mount));
    EXPECT_EQ(mount.argumentCount, 1u);
    EXPECT_STREQ(mount.arguments, "nobrowse\n");
    EXPECT_EQ(mount.withPath, 0);
    EXPECT_EQ(mount.options, static_cast<uint32_t>(kDADiskMountOptionDefault));
    EXPECT_EQ(PlatformTestingDiskOptions("disk7") & kDADiskOptionMountAutomatic, 0u);
    auto pass = Messages("CardWatch.cpp:DiskMountCallback");
    ASSERT_EQ(pass.size(), 3u);
    EXPECT_EQ(pass[0], "DiskMountCallback Enter");
    EXPECT_EQ(pass[1].rfind("ps aux | awk -v PID=", 0), 0u);
    EXPECT_EQ(pass[2], "are not same return.....");
}

TEST_F(CardWatchPeekTest, OnlyTheConfiguredNameIsTaken)
{
    gMountArgs[0] = CFSTR("rdonly");
    Watch("Foo");
    PlatformTestingDiskArrival("disk7", "Velmora", 0);
    PlatformTestingDiskArrival("disk8", "foo", 0);
    PlatformTestingDiskArrival("disk9", "Foo", 0);
    ASSERT_TRUE(RunUntilLogged("are not same return....."));
    ASSERT_EQ(PlatformTestingDiskMountCount(), 1u);
    PlatformTestingDiskMount mount;
    ASSERT_TRUE(PlatformTestingDiskGetMount(0, &mount));
    EXPECT_STREQ(mount.bsdName, "disk9");
    EXPECT_STREQ(mount.arguments, "rdonly\n");
    EXPECT_EQ(PlatformTestingDiskOptions("disk7"), static_cast<uint32_t>(kDADiskOptionMountAutomatic));
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
    ASSERT_EQ(PlatformTestingDiskMountCount(), 1u);
    PlatformTestingDiskMount mount;
    ASSERT_TRUE(PlatformTestingDiskGetMount(0, &mount));
    EXPECT_EQ(mount.status, kDAReturnNotFound);
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
            WriteFile(dir_ + "/bin/" + name, text);
            std::filesystem::permissions(dir_ + "/bin/" + name, std::filesystem::perms::owner_all);
        }
        const char *path = getenv("PATH");
        savedPath_ = path != nullptr ? path : "/usr/bin:/bin";
        setenv("PATH", (dir_ + "/bin:" + savedPath_).c_str(), 1);
        setenv("CW_TEST_DIR", dir_.c_str(), 1);
        setenv("CW_TEST_PID", std::to_string(getpid()).c_str(), 1);
        ProcessSetScratchPathForTesting((dir_ + "/cmd.txt").c_str());
        PlatformTestingResetSleep();
    }
    void TearDown() override
    {
        if (!savedPath_.empty()) {
            setenv("PATH", savedPath_.c_str(), 1);
        }
        unsetenv("CW_TEST_DIR");
        unsetenv("CW_TEST_PID");
        ProcessSetScratchPathForTesting(nullptr);
        PlatformTestingResetSleep();
        CardWatchServiceTest::TearDown();
    }
    std::string savedPath_;
};

// Console owned by the service's owner, nobody logged in at first: one failed probe and its
// wait, then the application is opened with the built-in command and the setup step runs (and
// fails, having no configuration), in this order.
TEST_F(CardWatchPassTest, WaitsForALoginThenOpensTheApplicationAndRunsTheSetup)
{
    DiskMountCallback(NULL, NULL, NULL);
    const std::string owner = "ps aux | awk -v PID=" + std::to_string(getpid()) + " '$2 == PID { print $1 }'";
    EXPECT_EQ(Messages("CardWatch.cpp:DiskMountCallback"),
              (std::vector<std::string>{"DiskMountCallback Enter", owner, "actvie == pname.....",
                                        "send cmd failed, not run board app", "have some one login succ",
                                        "Doesn't find ini file.", "Run Velmora Program success",
                                        "DiskMountCallback exit"}));
    EXPECT_EQ(Messages("CardWatch.cpp:DiskMountApproval"),
              (std::vector<std::string>{"DiskMountApproval Enter",
                                        "finish run program, and error, DiskMountApproval exit "}));
    EXPECT_EQ(cwtest::ReadFile(dir_ + "/open.log"), "-a /Volumes/Velmora/Velmora.app/\n");
    // Ten failed probe attempts, the 5-second wait, and the capture's 1-second pause.
    EXPECT_EQ(PlatformTestingSleepSeconds(), 16ul);
    EXPECT_FALSE(cwtest::Exists(dir_ + "/cmd.txt"));
}

}  // namespace
