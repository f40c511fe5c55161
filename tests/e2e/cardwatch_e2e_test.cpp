// End-to-end tests of the OVCardWatch service: the real binary in private namespaces, with the
// platform's folders replaced, stand-ins for "open" and "stat -f%Su" on PATH, a Finder process,
// a registry snapshot, and real loop devices holding real ext2 "CD" images.
//
// The waits are real: ten one-second port probes when the snapshot has no modem port, 15-second
// cycles while no Finder exists. Cases run one at a time (loop devices are machine-wide).
#include "CardWatchSandbox.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using e2e::Count;
using e2e::InOrder;
using e2e::LoopDisk;
using e2e::CardWatchSandbox;
using std::chrono::seconds;

const char kSampleConfig[] =
    "[Volumes]\n"
    "name=Velmora\n"
    "path1=/Volumes/Velmora/Velmora.app/\n"
    "disable_cdrom=false\n";

// Runs the setup image on the CD once.
const char kSetupOnce[] =
    "[SD_THIRDPARTY_SETUP]\n"
    "SD_THIRD_SETUP=yes\n"
    "SD_THIRD_FILE_PATH=Velmora/Setup\n"
    "SD_THIRD_FILE_NAME=VelmoraSetup.dmg\n"
    "SD_RUN_THIRD_FILE_ONCE=yes\n";

const char kSetupOff[] =
    "[SD_THIRDPARTY_SETUP]\n"
    "SD_THIRD_SETUP=No\n";

const char kStarted[] =
    "CardWatch.cpp:main --- \n\n====================================CardWatch started==============================="
    "\n";
const char kPortWait[] = "CardWatch.cpp:main --- wait to again to find comm port at beginning to run autorun...\n";
const char kWatchRdonly[] = "CardWatch.cpp:main --- value of disable_cdrom is false\n";
const char kWatchNobrowse[] = "CardWatch.cpp:main --- value of disable_cdrom is true\n";
const char kPeekEnter[] = "CardWatch.cpp:DiskPeekCallback --- DiskPeekCallback Enter\n";
const char kInserted[] = "CardWatch.cpp:DiskPeekCallback --- ----------------------Device inserted!---------------\n";
const char kPeekExit[] = "CardWatch.cpp:DiskPeekCallback --- DiskPeekCallback exit\n";
const char kMountEnter[] = "CardWatch.cpp:DiskMountCallback --- DiskMountCallback Enter\n";
const char kOwnerCommand[] = "CardWatch.cpp:DiskMountCallback --- ps aux | awk -v PID=";
const char kSameOwner[] = "CardWatch.cpp:DiskMountCallback --- actvie == pname.....\n";
const char kOtherOwner[] = "CardWatch.cpp:DiskMountCallback --- are not same return.....\n";
const char kNoFinder[] = "CardWatch.cpp:DiskMountCallback --- send cmd failed, not run board app\n";
const char kLoggedIn[] = "CardWatch.cpp:DiskMountCallback --- have some one login succ\n";
const char kNewerOS[] = "CardWatch.cpp:DiskMountCallback --- Current Mac OS version is newer than Mac OS X 10.4\n\n";
const char kOpened[] = "CardWatch.cpp:DiskMountCallback --- Run Velmora Program success\n";
const char kApprovalEnter[] = "CardWatch.cpp:DiskMountApproval --- DiskMountApproval Enter\n";
const char kSetupDone[] =
    "CardWatch.cpp:DiskMountApproval --- finish run sd program, and successful, DiskMountApproval exit\n";
const char kSetupFailed[] = "CardWatch.cpp:DiskMountApproval --- finish run program, and error, DiskMountApproval exit \n";
const char kMountExit[] = "CardWatch.cpp:DiskMountCallback --- DiskMountCallback exit\n";
const char kBootDone[] = "CardWatch.cpp:main --- finish run SDProgram at beginning to run autorun\n";
const char kPortFound[] = "CardWatch.cpp:FindCommPort --- FindCommPort success, and exit\n";

class CardWatchE2ETest : public ::testing::Test {
protected:
    void SetUp() override
    {
        E2E_REQUIRE(e2e::CardWatchNeeds());
        sandbox_ = std::make_unique<CardWatchSandbox>();
    }

    void TearDown() override
    {
        if (sandbox_ != nullptr) {
            sandbox_->Stop();  // the sandbox's mounts go first, then the devices behind them
        }
        disks_.clear();
        sandbox_.reset();
    }

    // A disk labelled `label`, holding the connection manager's CD when withCD is set.
    LoopDisk &MakeDisk(const std::string &label, bool withCD = true)
    {
        std::string base = sandbox_->Root() + "/disk" + std::to_string(disks_.size());
        std::string contents;
        if (withCD) {
            contents = base + ".files";
            e2e::MakeCDContents(contents);
        }
        disks_.push_back(std::make_unique<LoopDisk>(base + ".img", label, contents));
        return *disks_.back();
    }

    // Everything the service left, for failure messages.
    std::string Trace() const
    {
        return "\n--- log ---\n" + sandbox_->Log() + "\n--- stderr ---\n" + sandbox_->Stderr();
    }

    void ExpectInOrder(const std::vector<std::string> &texts) const
    {
        std::string missing;
        EXPECT_TRUE(InOrder(sandbox_->Log(), texts, &missing)) << "missing or out of order: " << missing << Trace();
    }

    // The mount-table line of the mount at mountPoint in the sandbox, or "".
    std::string MountLine(const std::string &mountPoint) const
    {
        std::string table = sandbox_->MountInfo();
        size_t at = table.find(" " + mountPoint + " ");
        if (at == std::string::npos) {
            return "";
        }
        size_t start = table.rfind('\n', at);
        size_t end = table.find('\n', at);
        return table.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1));
    }

    // Mount points (field 5 of the sandbox's mount table) of every mount of a device "major:minor".
    std::vector<std::string> MountPointsOf(const std::string &device) const
    {
        std::string numbers = e2e::ShellOutput("lsblk -dno MAJ:MIN " + e2e::Quote(device) + " 2>/dev/null");
        while (!numbers.empty() && (numbers.back() == '\n' || numbers.back() == ' ')) {
            numbers.pop_back();
        }
        while (!numbers.empty() && numbers.front() == ' ') {
            numbers.erase(0, 1);
        }
        std::vector<std::string> points;
        std::string table = sandbox_->MountInfo();
        size_t start = 0;
        while (start < table.size()) {
            size_t end = table.find('\n', start);
            if (end == std::string::npos) {
                end = table.size();
            }
            std::string line = table.substr(start, end - start);
            std::vector<std::string> fields;
            size_t from = 0;
            while (fields.size() < 5) {
                size_t space = line.find(' ', from);
                fields.push_back(line.substr(from, space == std::string::npos ? std::string::npos : space - from));
                if (space == std::string::npos) {
                    break;
                }
                from = space + 1;
            }
            if (fields.size() == 5 && !numbers.empty() && fields[2] == numbers) {
                points.push_back(fields[4]);
            }
            start = end + 1;
        }
        return points;
    }

    std::unique_ptr<CardWatchSandbox> sandbox_;
    std::vector<std::unique_ptr<LoopDisk>> disks_;
};

// ---- Arrival after start ----

// No modem port: ten probes a second apart, no boot-time pass; then the CD arrives and is
// mounted read-only at /Volumes/Velmora, the application opened with path1, the setup package
// run and switched off in SysConfig.dat, every step logged in order; inserted again, the CD gets
// the application opened but no second setup run.
TEST_F(CardWatchE2ETest, ArrivalAfterStartMountsReadOnlyOpensTheAppAndRunsTheSetupOnce)
{
    sandbox_->WriteConfig(kSampleConfig);
    sandbox_->WriteSysConfig(kSetupOnce);
    std::string sysConfigBefore = sandbox_->SysConfig();
    sandbox_->Start();
    ASSERT_TRUE(sandbox_->WaitForWatch()) << Trace();

    LoopDisk &cd = MakeDisk("Velmora");
    cd.Attach();
    ASSERT_TRUE(sandbox_->WaitForLog(kMountExit)) << Trace();

    std::string log = sandbox_->Log();
    EXPECT_EQ(10u, Count(log, kPortWait)) << Trace();
    EXPECT_EQ(10u, Count(log, "CardWatch.cpp:FindCommPort --- FindCommPort Enter\n"));
    EXPECT_EQ(1u, Count(log, kMountEnter)) << "one pass, the arrival's" << Trace();
    ExpectInOrder({kStarted, "CardWatch.cpp:main --- begin to run SDProgram at beginning to run autorun\n", kPortWait,
                   kWatchRdonly, kPeekEnter, kInserted, kPeekExit, kMountEnter, kOwnerCommand, kSameOwner, kLoggedIn,
                   kNewerOS, "RunShellProgram exit true.(open -a \"/Volumes/Velmora/Velmora.app/\")\n", kOpened,
                   kApprovalEnter,
                   "RunShellProgram exit true.(open \"/Volumes/Velmora/Setup/VelmoraSetup.dmg\")\n",
                   "RunShellProgram exit true.(open \"/Volumes/Velmora Setup/VelmoraSetup.pkg\")\n",
                   "Have change value of SD_THIRD_SETUP to No, next time will not run SDProgram\n", kSetupDone,
                   kMountExit});

    EXPECT_NE(sandbox_->Stderr().find("DiskArbitration: mount " + cd.Device() +
                                      " at \"/Volumes/Velmora\" with arguments \"rdonly\" (read-only): mounted"),
              std::string::npos)
        << Trace();
    std::string mount = MountLine("/Volumes/Velmora");
    ASSERT_FALSE(mount.empty()) << sandbox_->MountInfo();
    EXPECT_NE(mount.find(" ro,"), std::string::npos) << mount;
    EXPECT_EQ(0, sandbox_->RunInside("test -d /Volumes/Velmora/Velmora.app"));
    EXPECT_NE(sandbox_->RunInside("touch /Volumes/Velmora/written"), 0) << "the CD volume is writable";

    EXPECT_EQ(sandbox_->OpenCalls(), (std::vector<std::string>{"open -a /Volumes/Velmora/Velmora.app/",
                                                               "open /Volumes/Velmora/Setup/VelmoraSetup.dmg",
                                                               "open /Volumes/Velmora Setup/VelmoraSetup.pkg"}));
    std::string sysConfig = sandbox_->SysConfig();
    EXPECT_EQ(sysConfig.size(), sysConfigBefore.size());
    EXPECT_NE(sysConfig.find(std::string("SD_THIRD_SETUP=No\0\n", 19)), std::string::npos) << sysConfig;

    // The CD ejected and inserted again: the application opens again, the setup does not run.
    ASSERT_EQ(0, sandbox_->RunInside("umount /Volumes/Velmora && rmdir /Volumes/Velmora"));
    cd.Detach();
    std::this_thread::sleep_for(seconds(1));
    cd.Attach();
    ASSERT_TRUE(sandbox_->WaitForLogCount(kMountExit, 2)) << Trace();
    ASSERT_EQ(2u, Count(sandbox_->Log(), kMountExit)) << Trace();
    EXPECT_EQ(1u, Count(sandbox_->Log(), "SD_THIRD_SETUP is not yes, not run SD Program, RunSDProgram exit\n"));
    std::vector<std::string> calls = sandbox_->OpenCalls();
    ASSERT_EQ(4u, calls.size());
    EXPECT_EQ("open -a /Volumes/Velmora/Velmora.app/", calls[3]);
    EXPECT_EQ(sandbox_->SysConfig(), sysConfig);
}

// disable_cdrom=TRUE gives the single argument "nobrowse"; a configured name Foo matches the
// volume labelled Foo and ignores one labelled Velmora.
TEST_F(CardWatchE2ETest, DisableCdromTrueMountsWithNobrowseAndTheConfiguredNameIsTheMatch)
{
    sandbox_->WriteConfig("[Volumes]\nname=Foo\npath1=/Volumes/Foo/Velmora.app/\ndisable_cdrom=TRUE\n");
    sandbox_->WriteSysConfig(kSetupOff);
    sandbox_->Start();
    ASSERT_TRUE(sandbox_->WaitForWatch()) << Trace();
    EXPECT_NE(sandbox_->Log().find(kWatchNobrowse), std::string::npos) << Trace();

    LoopDisk &velmora = MakeDisk("Velmora");
    velmora.Attach();
    ASSERT_TRUE(sandbox_->WaitForStderr("DiskArbitration: disk " + velmora.Name() + " appeared")) << Trace();
    std::this_thread::sleep_for(seconds(1));
    EXPECT_EQ(std::string::npos, sandbox_->Log().find(kPeekEnter)) << "a Velmora volume was taken" << Trace();

    LoopDisk &foo = MakeDisk("Foo");
    foo.Attach();
    ASSERT_TRUE(sandbox_->WaitForLog(kMountExit)) << Trace();

    std::string err = sandbox_->Stderr();
    EXPECT_NE(err.find("DiskArbitration: mount " + foo.Device() +
                       " at \"/Volumes/Foo\" with arguments \"nobrowse\" (read-only): mounted"),
              std::string::npos)
        << Trace();
    EXPECT_EQ(std::string::npos, err.find("DiskArbitration: mount " + velmora.Device())) << Trace();
    EXPECT_EQ(1u, Count(sandbox_->Log(), kPeekEnter));
    EXPECT_NE(sandbox_->RunInside("touch /Volumes/Foo/written"), 0);
    ExpectInOrder({kPeekEnter, kMountEnter, kSameOwner, kLoggedIn,
                   "RunShellProgram exit true.(open -a \"/Volumes/Foo/Velmora.app/\")\n", kOpened,
                   "SD_THIRD_SETUP is not yes, not run SD Program, RunSDProgram exit\n", kSetupFailed, kMountExit});
    EXPECT_EQ(std::vector<std::string>{"open -a /Volumes/Foo/Velmora.app/"}, sandbox_->OpenCalls());
}

// ---- Start-up ----

// The modem port is in the registry and the CD is already mounted: the boot-time pass handles it
// before the watch begins, without any mount request.
TEST_F(CardWatchE2ETest, DevicePresentAtBootIsHandledBeforeTheWatchBegins)
{
    LoopDisk &cd = MakeDisk("Velmora");
    cd.Attach();
    sandbox_->WriteConfig(kSampleConfig);
    sandbox_->WriteSysConfig(kSetupOnce);
    sandbox_->UseRegistry("registry-modem.plist");
    sandbox_->SetEnv("CW_BOOT_DEVICE", cd.Device());
    sandbox_->SetEnv("CW_BOOT_VOLUME", "Velmora");
    sandbox_->Start();
    ASSERT_TRUE(sandbox_->WaitForWatch()) << Trace();

    std::string log = sandbox_->Log();
    EXPECT_EQ(0u, Count(log, kPortWait)) << Trace();
    EXPECT_EQ(1u, Count(log, "CardWatch.cpp:FindCommPort --- FindCommPort Enter\n"));
    ExpectInOrder({kStarted, "CardWatch.cpp:FindCommPort --- /dev/cu.ORVEKAMobile-Diag\n",
                   "CardWatch.cpp:FindCommPort --- /dev/cu.ORVEKAMobile-Pcui\n", kPortFound,
                   "opertor 0 time, IsVolumeExist exit true\n", kMountEnter, kSameOwner, kLoggedIn, kOpened,
                   "RunShellProgram exit true.(open \"/Volumes/Velmora Setup/VelmoraSetup.pkg\")\n", kSetupDone,
                   kMountExit, kBootDone, kWatchRdonly});
    EXPECT_EQ(std::string::npos, log.find(kPeekEnter));
    EXPECT_EQ(std::string::npos, sandbox_->Stderr().find("DiskArbitration: mount ")) << Trace();
    EXPECT_EQ(3u, sandbox_->OpenCalls().size());
}

// Without the modem port the volume present at boot is not handled; the watch begins after the
// ten probes.
TEST_F(CardWatchE2ETest, NoSerialPortMeansTenProbesAndNoBootTimePass)
{
    sandbox_->WriteConfig(kSampleConfig);
    sandbox_->WriteSysConfig(kSetupOnce);
    sandbox_->SetEnv("CW_BOOT_FOLDER", "Velmora/Velmora.app");
    sandbox_->Start();
    ASSERT_TRUE(sandbox_->WaitForWatch()) << Trace();

    std::string log = sandbox_->Log();
    EXPECT_EQ(10u, Count(log, kPortWait)) << Trace();
    EXPECT_EQ(10u, Count(log, "CardWatch.cpp:FindCommPort --- findCommPort failed, FindCommPort exit\n"));
    EXPECT_EQ(10u, Count(log, "CardWatch.cpp:FindCommPort --- /dev/cu.Bluetooth-Modem\n"));
    EXPECT_EQ(std::string::npos, log.find("IsVolumeExist Enter"));
    EXPECT_EQ(std::string::npos, log.find(kMountEnter));
    EXPECT_EQ(std::string::npos, log.find(kBootDone));
    EXPECT_TRUE(sandbox_->OpenCalls().empty());
}

// A volume that arrives while the boot-time pass runs is left to the platform: the peek callback
// is registered only afterwards, and disks present then are never reported.
TEST_F(CardWatchE2ETest, VolumeArrivingDuringTheBootTimePassIsNotHandled)
{
    sandbox_->WriteConfig(kSampleConfig);
    sandbox_->WriteSysConfig(kSetupOff);
    sandbox_->UseRegistry("registry-modem.plist");
    sandbox_->Start();
    // The port is there, the volume not yet: the pass waits for /Volumes/Velmora.
    ASSERT_TRUE(sandbox_->WaitForLog(" 0 time, open (/Volumes/Velmora) failed, open again\n")) << Trace();

    LoopDisk &cd = MakeDisk("Velmora");
    cd.Attach();
    std::this_thread::sleep_for(seconds(2));
    ASSERT_EQ(0, sandbox_->RunInside("mkdir -p /Volumes/Velmora/Velmora.app"));
    ASSERT_TRUE(sandbox_->WaitForWatch()) << Trace();

    // A second Velmora disk after the registration is handled: by the time its pass is over,
    // the watcher has long looked at the first one, which it must have left alone.
    LoopDisk &later = MakeDisk("Velmora");
    later.Attach();
    ASSERT_TRUE(sandbox_->WaitForLogCount(kMountExit, 2)) << Trace();
    ASSERT_EQ(2u, Count(sandbox_->Log(), kMountExit)) << Trace();

    std::string log = sandbox_->Log();
    ExpectInOrder({kPortFound, "IsVolumeExist exit true\n", kMountEnter, kOpened, kMountExit, kBootDone, kWatchRdonly,
                   kPeekEnter, kMountEnter, kMountExit});
    EXPECT_EQ(1u, Count(log, kPeekEnter)) << Trace();
    EXPECT_EQ(std::string::npos, sandbox_->Stderr().find("DiskArbitration: mount " + cd.Device() + " ")) << Trace();
    EXPECT_NE(sandbox_->Stderr().find("DiskArbitration: mount " + later.Device() + " "), std::string::npos) << Trace();
    EXPECT_TRUE(MountPointsOf(cd.Device()).empty());
}

// ---- Console owner and login ----

TEST_F(CardWatchE2ETest, ConsoleOwnedByAnotherAccountEndsThePassWithNothingOpened)
{
    sandbox_->WriteConfig(kSampleConfig);
    sandbox_->WriteSysConfig(kSetupOnce);
    sandbox_->SetEnv("CW_CONSOLE_USER", "nobody");
    std::string sysConfigBefore = sandbox_->SysConfig();
    sandbox_->Start();
    ASSERT_TRUE(sandbox_->WaitForWatch()) << Trace();

    LoopDisk &cd = MakeDisk("Velmora");
    cd.Attach();
    ASSERT_TRUE(sandbox_->WaitForLog(kOtherOwner)) << Trace();
    std::this_thread::sleep_for(seconds(2));

    std::string log = sandbox_->Log();
    ExpectInOrder({kPeekEnter, kPeekExit, kMountEnter, kOwnerCommand, kOtherOwner});
    EXPECT_EQ(std::string::npos, log.find(kSameOwner));
    EXPECT_EQ(std::string::npos, log.find("RunShellCmd"));
    EXPECT_EQ(std::string::npos, log.find(kApprovalEnter));
    EXPECT_EQ(std::string::npos, log.find(kMountExit)) << "the pass ends without its exit line";
    EXPECT_TRUE(sandbox_->OpenCalls().empty());
    EXPECT_EQ(sysConfigBefore, sandbox_->SysConfig());
    // The volume itself was mounted all the same.
    EXPECT_FALSE(MountLine("/Volumes/Velmora").empty());
}

// Nobody logged in to the desktop at first: the wait lines, cycle after cycle, then the pass goes
// on as soon as a Finder process exists.
TEST_F(CardWatchE2ETest, WithoutFinderThePassWaitsAndGoesOnOnceOneAppears)
{
    sandbox_->WriteConfig(kSampleConfig);
    sandbox_->WriteSysConfig(kSetupOff);
    sandbox_->SetEnv("CW_FINDER", "trigger");
    sandbox_->Start();
    ASSERT_TRUE(sandbox_->WaitForWatch()) << Trace();

    LoopDisk &cd = MakeDisk("Velmora");
    cd.Attach();
    ASSERT_TRUE(sandbox_->WaitForLog(kNoFinder)) << Trace();
    EXPECT_EQ(std::string::npos, sandbox_->Log().find(kLoggedIn));
    EXPECT_TRUE(sandbox_->OpenCalls().empty());

    sandbox_->StartFinder();
    ASSERT_TRUE(sandbox_->WaitForLog(kMountExit)) << Trace();
    std::string log = sandbox_->Log();
    ExpectInOrder({kMountEnter, kSameOwner, "Process.cpp:RunShellCmd --- RunShellProgram cmdBuff 1 failed\n", kNoFinder,
                   kLoggedIn, kOpened, kMountExit});
    // One failing probe is ten attempts of the shell runner.
    EXPECT_GE(Count(log, "system failed 9 time"), 1u) << Trace();
    EXPECT_EQ(std::vector<std::string>{"open -a /Volumes/Velmora/Velmora.app/"}, sandbox_->OpenCalls());
}

// ---- Failures ----

// A disk whose filesystem is larger than the device: the label reads, the mount fails. The
// completion callback gets the dissenter and the pass goes on as after a success.
TEST_F(CardWatchE2ETest, FailedMountReachesTheCompletionAndThePassGoesOn)
{
    sandbox_->WriteConfig("[Volumes]\nname=Velmora\npath1=/Applications/Velmora.app/\n");
    sandbox_->WriteSysConfig(kSetupOff);
    sandbox_->Start();
    ASSERT_TRUE(sandbox_->WaitForWatch()) << Trace();

    LoopDisk &cd = MakeDisk("Velmora");
    cd.Attach(1024 * 1024);
    ASSERT_TRUE(sandbox_->WaitForLog(kMountExit)) << Trace();

    std::string err = sandbox_->Stderr();
    size_t line = err.find("DiskArbitration: mount " + cd.Device());
    ASSERT_NE(line, std::string::npos) << Trace();
    EXPECT_NE(err.substr(line, err.find('\n', line) - line).find("failed"), std::string::npos) << Trace();
    EXPECT_TRUE(MountPointsOf(cd.Device()).empty());
    ExpectInOrder({kPeekEnter, kPeekExit, kMountEnter, kSameOwner, kLoggedIn, kOpened, kApprovalEnter, kSetupFailed,
                   kMountExit});
    EXPECT_EQ(std::vector<std::string>{"open -a /Applications/Velmora.app/"}, sandbox_->OpenCalls());
}

// A disk that goes away between its arrival and its mount (detached just before mount(2), by a
// library preloaded into the service): the mount fails cleanly, leaving no folder and no mount
// under /Volumes, and the pass goes on as after a success.
TEST_F(CardWatchE2ETest, DiskGoneBeforeItsMountFailsCleanlyAndThePassGoesOn)
{
    sandbox_->WriteConfig("[Volumes]\nname=Velmora\npath1=/Applications/Velmora.app/\n");
    sandbox_->WriteSysConfig(kSetupOff);
    sandbox_->SetEnv("CW_SERVICE_PRELOAD", CARDWATCH_VANISH_PRELOAD);
    // A sanitized service accepts a library loaded ahead of its runtime.
    const char *asan = getenv("ASAN_OPTIONS");
    sandbox_->SetEnv("ASAN_OPTIONS", std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0");
    sandbox_->Start();
    ASSERT_TRUE(sandbox_->WaitForWatch()) << Trace();

    LoopDisk &cd = MakeDisk("Velmora");
    cd.Attach();
    ASSERT_TRUE(sandbox_->WaitForLog(kMountExit)) << Trace();

    std::string err = sandbox_->Stderr();
    size_t line = err.find("DiskArbitration: mount " + cd.Device() + " at \"/Volumes/Velmora\"");
    ASSERT_NE(line, std::string::npos) << Trace();
    EXPECT_NE(err.substr(line, err.find('\n', line) - line).find(": failed: "), std::string::npos) << Trace();
    EXPECT_EQ(0, sandbox_->RunInside("test ! -e /Volumes/Velmora && ! grep -q ' /Volumes/' /proc/self/mountinfo"))
        << sandbox_->MountInfo();
    ExpectInOrder({kPeekEnter, kPeekExit, kMountEnter, kSameOwner, kLoggedIn, kOpened, kApprovalEnter, kSetupFailed,
                   kMountExit});
    EXPECT_EQ(std::vector<std::string>{"open -a /Applications/Velmora.app/"}, sandbox_->OpenCalls());
    EXPECT_TRUE(sandbox_->Running());
}

// Disk labels that would name a folder outside /Volumes (a slash, "..") or hold control
// characters and bytes that are not UTF-8: the configured name matches them (decoded as the
// platform decodes the label) and the mount point stays one folder directly inside /Volumes.
TEST_F(CardWatchE2ETest, HostileLabelsAreMountedDirectlyInsideVolumes)
{
    const std::string labels[] = {"../../etc", std::string("V\x01\xff" "x/..", 7)};
    for (const std::string &label : labels) {
        SCOPED_TRACE(testing::PrintToString(label));
        if (sandbox_ == nullptr) {
            sandbox_ = std::make_unique<CardWatchSandbox>();
        }
        sandbox_->WriteConfig("[Volumes]\nname=" + label + "\npath1=/Applications/Velmora.app/\n");
        sandbox_->WriteSysConfig(kSetupOff);
        sandbox_->Start();
        ASSERT_TRUE(sandbox_->WaitForWatch()) << Trace();

        LoopDisk &disk = MakeDisk(label);
        disk.Attach();
        ASSERT_TRUE(sandbox_->WaitForLog(kMountExit)) << Trace();
        ASSERT_TRUE(sandbox_->WaitForStderr("DiskArbitration: mount " + disk.Device())) << Trace();

        std::vector<std::string> points = MountPointsOf(disk.Device());
        ASSERT_EQ(1u, points.size()) << sandbox_->MountInfo();
        const std::string &point = points[0];
        ASSERT_EQ(0u, point.rfind("/Volumes/", 0)) << point;
        std::string folder = point.substr(9);
        EXPECT_EQ(std::string::npos, folder.find('/')) << point;
        EXPECT_NE(folder, "..");
        EXPECT_NE(folder, ".");
        EXPECT_NE(sandbox_->RunInside("touch " + e2e::Quote(point) + "/written"), 0);

        sandbox_->Stop();
        disks_.clear();
        sandbox_.reset();
    }
}

// A registry snapshot that does not parse: a clear line on standard error, an empty registry
// (no port found), and the service goes on to watch.
TEST_F(CardWatchE2ETest, UnreadableRegistrySnapshotIsReportedAndTheServiceGoesOn)
{
    sandbox_->WriteConfig(kSampleConfig);
    sandbox_->UseRegistry("registry-broken.plist");
    sandbox_->Start();
    ASSERT_TRUE(sandbox_->WaitForWatch()) << Trace();
    EXPECT_NE(sandbox_->Stderr().find("registry-broken.plist"), std::string::npos) << Trace();
    EXPECT_EQ(10u, Count(sandbox_->Log(), kPortWait));
    EXPECT_TRUE(sandbox_->Running());
}

// Callout paths of the wrong type (a number, data) stay in the registry with a line on standard
// error and are skipped by the probe, neither logged nor matched; a path holding the fragment in
// other letters does not match; the real port is found.
TEST_F(CardWatchE2ETest, WrongTypedCalloutPathsAreSkippedAndTheRealPortIsFound)
{
    sandbox_->WriteConfig(kSampleConfig);
    sandbox_->WriteSysConfig(kSetupOff);
    sandbox_->UseRegistry("registry-wrong-types.plist");
    sandbox_->SetEnv("CW_BOOT_FOLDER", "Velmora/Velmora.app");
    sandbox_->Start();
    ASSERT_TRUE(sandbox_->WaitForWatch()) << Trace();

    std::string log = sandbox_->Log();
    EXPECT_EQ(0u, Count(log, kPortWait)) << Trace();
    ExpectInOrder({"CardWatch.cpp:FindCommPort --- FindCommPort Enter\n",
                   "CardWatch.cpp:FindCommPort --- /dev/cu.orvekamobile-pcui\n",
                   "CardWatch.cpp:FindCommPort --- /dev/cu.ORVEKAMobile-Pcui\n", kPortFound, kMountEnter, kBootDone});
    // Only the two text paths are logged as paths: nothing of the others (nor a stale buffer).
    EXPECT_EQ(2u, Count(log, "CardWatch.cpp:FindCommPort --- /")) << Trace();
    EXPECT_EQ(2u,
              Count(log, "CardWatch.cpp:FindCommPort --- IOCalloutDevice of a port is not a usable path, skip it\n"))
        << Trace();
    EXPECT_NE(sandbox_->Stderr().find("IOCalloutDevice"), std::string::npos) << Trace();
}

}  // namespace
