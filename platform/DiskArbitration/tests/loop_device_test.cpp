// Real disks: ext2 images attached as loop devices while a session watches, mounted under a
// private /Volumes (a tmpfs in this process's own mount namespace). Needs root; skipped with a
// message otherwise, except under CI=true where that is a failure.
#include <gtest/gtest.h>

#include <DiskArbitration/DiskArbitration.h>

#include "PlatformTesting.h"
#include "StandInTestSupport.h"
#include "SupportDA.h"

#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

extern char **environ;

using namespace da_test;
namespace fs = std::filesystem;

namespace {

// Runs a program with its arguments (no shell); returns its exit status and standard output.
int RunProgram(const std::vector<std::string> &argv, std::string *output = nullptr)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::vector<char *> args;
    for (const std::string &arg : argv) {
        args.push_back(const_cast<char *>(arg.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    std::string out;
    char buffer[1024];
    ssize_t got;
    while ((got = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        out.append(buffer, static_cast<std::size_t>(got));
    }
    close(pipeFds[0]);
    if (rc != 0) {
        return -1;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    while (!out.empty() && out.back() == '\n') {
        out.pop_back();
    }
    if (output != nullptr) {
        *output = out;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Mount points in this namespace, with the device numbers mounted there.
std::vector<std::pair<std::string, std::string>> Mounts()
{
    std::vector<std::pair<std::string, std::string>> mounts;
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, device, root, point;
        fields >> id >> parent >> device >> root >> point;
        // mountinfo writes space, tab, newline and backslash as octal escapes
        std::string decoded;
        for (std::size_t i = 0; i < point.size(); ++i) {
            if (point[i] == '\\' && i + 3 < point.size()) {
                decoded += static_cast<char>(std::strtol(point.substr(i + 1, 3).c_str(), nullptr, 8));
                i += 3;
            } else {
                decoded += point[i];
            }
        }
        mounts.emplace_back(decoded, device);
    }
    return mounts;
}

std::string DeviceNumbers(const std::string &node)
{
    struct stat st {};
    if (stat(node.c_str(), &st) != 0) {
        return {};
    }
    return std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
}

std::string gSkipReason;

class DALoopDevicesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (geteuid() != 0) {
            gSkipReason = "needs root (loop devices and mount(2))";
            return;
        }
        if (RunProgram({"sh", "-c", "command -v losetup && command -v mkfs.ext2"}) != 0) {
            gSkipReason = "needs losetup and mkfs.ext2";
            return;
        }
        // Everything this process mounts stays in its own namespace, on its own /Volumes.
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            gSkipReason = std::string("cannot make a mount namespace: ") + std::strerror(errno);
            return;
        }
        mkdir("/Volumes", 0755);
        if (mount("tmpfs", "/Volumes", "tmpfs", 0, "mode=755") != 0) {
            gSkipReason = std::string("cannot mount a tmpfs on /Volumes: ") + std::strerror(errno);
        }
    }

    void SetUp() override
    {
        if (!gSkipReason.empty()) {
            const char *ci = std::getenv("CI");
            if (ci != nullptr && std::string(ci) == "true") {
                FAIL() << gSkipReason;
            }
            GTEST_SKIP() << gSkipReason;
        }
        PlatformTestingReset();
        folder_ = std::make_unique<standintest::TempFolder>("da-loop");
        dir_ = folder_->path().string();
        session_ = DASessionCreate(kCFAllocatorDefault);
        DASessionScheduleWithRunLoop(session_, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode);
    }

    void TearDown() override
    {
        if (session_ != nullptr) {
            DASessionUnscheduleFromRunLoop(session_, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode);
            CFRelease(session_);
        }
        for (const auto &[point, device] : Mounts()) {
            if (point.rfind("/Volumes/", 0) == 0) {
                umount2(point.c_str(), MNT_DETACH);
            }
        }
        for (const std::string &device : attached_) {
            RunProgram({"losetup", "-d", device});
        }
        std::error_code ec;
        folder_.reset();
        if (fs::exists("/Volumes")) {
            for (const auto &entry : fs::directory_iterator("/Volumes", ec)) {
                fs::remove_all(entry.path(), ec);
            }
        }
        PlatformTestingReset();
    }

    // A label unique to this process, at most 16 bytes with the prefix.
    std::string Unique(const std::string &prefix)
    {
        return prefix + std::to_string(getpid() % 100000) + static_cast<char>('a' + counter_++);
    }

    // An ext2 image with that label, attached; returns the loop device ("/dev/loop3").
    std::string AttachImage(const std::string &label)
    {
        std::string image = dir_ + "/image" + std::to_string(counter_++) + ".img";
        {
            std::ofstream(image).close();
        }
        fs::resize_file(image, 4 << 20);
        EXPECT_EQ(0, RunProgram({"mkfs.ext2", "-q", "-F", "-L", label, image})) << label;
        std::string device;
        EXPECT_EQ(0, RunProgram({"losetup", "--find", "--show", image}, &device));
        if (!device.empty()) {
            attached_.push_back(device);
        }
        return device;
    }

    static std::string Bsd(const std::string &device) { return device.substr(5); }

    // Registers PeekAndMount for the disks labelled `label`.
    void WatchFor(const std::string &label, Seen &seen)
    {
        CFDictionaryRef match = MatchVolumeName(label);
        DARegisterDiskPeekCallback(session_, match, 0, PeekAndMount, &seen);
        CFRelease(match);
    }

    // Runs the run loop until `seen` has `count` completions; what the stand-in wrote to standard
    // error meanwhile goes to *errors.
    static bool AwaitCompletions(Seen &seen, int count, std::string *errors)
    {
        testing::internal::CaptureStderr();
        bool done = RunUntil([&] { return seen.completions == count; });
        *errors = testing::internal::GetCapturedStderr();
        return done;
    }

    std::unique_ptr<standintest::TempFolder> folder_;
    std::string dir_;
    DASessionRef session_ = nullptr;
    std::vector<std::string> attached_;
    int counter_ = 0;
};

TEST_F(DALoopDevicesTest, ArrivalAfterRegistrationIsMountedReadOnlyUnderVolumes)
{
    std::string label = Unique("Vel");
    Seen seen;
    seen.mountArguments = {"rdonly"};
    DADiskRef kept = nullptr;
    seen.beforeMount = [&](DADiskRef disk) { kept = static_cast<DADiskRef>(CFRetain(disk)); };
    WatchFor(label, seen);

    std::string device = AttachImage(label);
    std::string errors;
    ASSERT_TRUE(AwaitCompletions(seen, 1, &errors)) << errors;
    EXPECT_EQ((std::vector<std::string>{Bsd(device)}), seen.peeked);
    EXPECT_EQ(0, seen.dissenterStatus[0]) << seen.dissenterText[0];
    std::string point = "/Volumes/" + label;
    EXPECT_NE(std::string::npos,
              errors.find("DiskArbitration: mount " + device + " at \"" + point + "\" with arguments \"rdonly\" (read-only): mounted\n"))
        << errors;
    EXPECT_TRUE(fs::exists(point + "/lost+found")) << "the image's own filesystem is mounted there";
    int fd = open((point + "/written").c_str(), O_CREAT | O_WRONLY, 0644);
    EXPECT_EQ(-1, fd);
    EXPECT_EQ(EROFS, errno);
    if (fd >= 0) {
        close(fd);
    }

    ASSERT_NE(nullptr, kept);
    CFDictionaryRef description = DADiskCopyDescription(kept);
    CFURLRef url = static_cast<CFURLRef>(CFDictionaryGetValue(description, kDADiskDescriptionVolumePathKey));
    ASSERT_NE(nullptr, url);
    char path[1024];
    ASSERT_TRUE(CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8 *>(path), sizeof path));
    EXPECT_EQ(point, path);
    EXPECT_TRUE(CFEqual(CFDictionaryGetValue(description, kDADiskDescriptionVolumeKindKey), CFSTR("ext2")));
    CFRelease(description);

    // A second request for a mounted disk is refused; unmounting removes the folder.
    Seen again;
    testing::internal::CaptureStderr();
    DADiskMountWithArguments(kept, nullptr, kDADiskMountOptionDefault, MountDone, &again, nullptr);
    DADiskUnmount(kept, kDADiskUnmountOptionDefault, MountDone, &again);
    ASSERT_TRUE(RunUntil([&] { return again.completions == 2; }));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(kDAReturnBusy, again.dissenterStatus[0]);
    EXPECT_EQ(0, again.dissenterStatus[1]);
    EXPECT_FALSE(fs::exists(point));

    // Mounted again, then unmounted behind the stand-in's back: it no longer claims the mount.
    testing::internal::CaptureStderr();
    DADiskMount(kept, nullptr, kDADiskMountOptionDefault, MountDone, &again);
    ASSERT_TRUE(RunUntil([&] { return again.completions == 3; }));
    EXPECT_EQ(0, again.dissenterStatus[2]);
    ASSERT_EQ(0, umount2(point.c_str(), 0));
    description = DADiskCopyDescription(kept);
    EXPECT_EQ(nullptr, CFDictionaryGetValue(description, kDADiskDescriptionVolumePathKey));
    CFRelease(description);
    DADiskUnmount(kept, kDADiskUnmountOptionDefault, MountDone, &again);
    DADiskMount(kept, nullptr, kDADiskMountOptionDefault, MountDone, &again);
    ASSERT_TRUE(RunUntil([&] { return again.completions == 5; }));
    std::string lines = testing::internal::GetCapturedStderr();
    EXPECT_EQ(kDAReturnNotMounted, again.dissenterStatus[3]);
    EXPECT_EQ(0, again.dissenterStatus[4]) << again.dissenterText[4] << lines;
    EXPECT_NE(std::string::npos, lines.find("with arguments none (read-write): mounted")) << lines;
    CFRelease(kept);
}

TEST_F(DALoopDevicesTest, DisksPresentAtRegistrationAreNeverReported)
{
    std::string before = AttachImage(Unique("pre"));
    Seen seen;
    testing::internal::CaptureStderr();
    DARegisterDiskPeekCallback(session_, nullptr, 0, PeekAndMount, &seen);
    // The line that tells an observer outside the process when arrivals start to count.
    std::string registered = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, registered.find("DiskArbitration: peek callback registered; the ")) << registered;
    std::string after = AttachImage(Unique("post"));
    testing::internal::CaptureStderr();
    bool done = RunUntil([&] { return std::find(seen.peeked.begin(), seen.peeked.end(), Bsd(after)) != seen.peeked.end(); });
    testing::internal::GetCapturedStderr();
    ASSERT_TRUE(done);
    // The scan that found the new disk also saw the old one, and left it alone.
    EXPECT_EQ(seen.peeked.end(), std::find(seen.peeked.begin(), seen.peeked.end(), Bsd(before)));
    // Nobody asked for either: neither is mounted.
    for (const auto &[point, numbers] : Mounts()) {
        EXPECT_NE(DeviceNumbers(before), numbers) << point;
        EXPECT_NE(DeviceNumbers(after), numbers) << point;
    }
}

TEST_F(DALoopDevicesTest, DisksNobodyMatchedAreNotTouched)
{
    std::string wanted = Unique("want");
    Seen seen;
    seen.mountArguments = {"nobrowse"};
    WatchFor(wanted, seen);
    std::string other = AttachImage(Unique("other"));
    std::string mine = AttachImage(wanted);
    std::string errors;
    ASSERT_TRUE(AwaitCompletions(seen, 1, &errors)) << errors;
    EXPECT_EQ((std::vector<std::string>{Bsd(mine)}), seen.peeked);
    EXPECT_EQ(static_cast<uint32_t>(kDADiskOptionMountAutomatic), PlatformTestingDiskOptions(Bsd(other).c_str()));
    bool mineMounted = false;
    for (const auto &[point, numbers] : Mounts()) {
        EXPECT_NE(DeviceNumbers(other), numbers) << point;
        mineMounted |= numbers == DeviceNumbers(mine) && point == "/Volumes/" + wanted;
    }
    EXPECT_TRUE(mineMounted);
}

TEST_F(DALoopDevicesTest, HostileLabelsAreMountedInsideVolumes)
{
    const std::string hostile[] = {"..", "../" + Unique("e"), "/", "a/../" + Unique("b"), "\x01\x1b" + Unique("c"),
                                   "\xff\xfe" + Unique("d")};
    for (const std::string &label : hostile) {
        Seen seen;
        seen.mountArguments = {"nobrowse"};
        DARegisterDiskPeekCallback(session_, nullptr, 0, PeekAndMount, &seen);
        std::string device = AttachImage(label);
        seen.onlyBSDName = Bsd(device);
        testing::internal::CaptureStderr();
        bool done = RunUntil([&] { return seen.completions == 1; });
        std::string errors = testing::internal::GetCapturedStderr();
        DAUnregisterCallback(session_, reinterpret_cast<void *>(PeekAndMount), &seen);
        ASSERT_TRUE(done) << errors;
        EXPECT_EQ(0, seen.dissenterStatus[0]) << seen.dissenterText[0];
        // The label reaches the description as it is (bytes that are not UTF-8 as Mac Roman).
        std::size_t index = std::find(seen.peeked.begin(), seen.peeked.end(), Bsd(device)) - seen.peeked.begin();
        ASSERT_LT(index, seen.peekedNames.size());
        if (label.rfind("\xff", 0) != 0) {
            EXPECT_EQ(label, seen.peekedNames[index]);
        }
        int mounted = 0;
        for (const auto &[point, numbers] : Mounts()) {
            if (numbers == DeviceNumbers(device)) {
                ++mounted;
                EXPECT_EQ("/Volumes", fs::path(point).parent_path().string()) << point;
                std::string folder = fs::path(point).filename().string();
                EXPECT_TRUE(folder != "." && folder != ".." && !folder.empty()) << point;
            }
        }
        EXPECT_EQ(1, mounted) << errors;
    }
}

TEST_F(DALoopDevicesTest, ADiskGoneBeforeItsMountFailsCleanly)
{
    std::string label = Unique("gone");
    Seen seen;
    seen.mountArguments = {"rdonly"};
    std::string device;
    seen.beforeMount = [&](DADiskRef) {
        EXPECT_EQ(0, RunProgram({"losetup", "-d", device}));
        attached_.clear();
    };
    WatchFor(label, seen);
    device = AttachImage(label);
    std::string errors;
    ASSERT_TRUE(AwaitCompletions(seen, 1, &errors)) << errors;
    EXPECT_EQ(kDAReturnNotFound, seen.dissenterStatus[0]);
    EXPECT_EQ("the disk is no longer present", seen.dissenterText[0]);
    EXPECT_NE(std::string::npos, errors.find("(read-only): failed: the disk is no longer present\n")) << errors;
    EXPECT_FALSE(fs::exists("/Volumes/" + label));
}

TEST_F(DALoopDevicesTest, AMountThatFailsLeavesNoFolderAndReachesTheCallback)
{
    std::string label = Unique("bad");
    Seen seen;
    seen.mountArguments = {"rdonly"};
    std::string device;
    // The filesystem goes away under the disk: the superblock is overwritten after the arrival.
    seen.beforeMount = [&](DADiskRef) {
        int fd = open(device.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        std::vector<char> zeros(64 * 1024, 0);
        EXPECT_EQ(static_cast<ssize_t>(zeros.size()), pwrite(fd, zeros.data(), zeros.size(), 0));
        fsync(fd);
        close(fd);
    };
    WatchFor(label, seen);
    device = AttachImage(label);
    std::string errors;
    ASSERT_TRUE(AwaitCompletions(seen, 1, &errors)) << errors;
    EXPECT_NE(0, seen.dissenterStatus[0]);
    EXPECT_FALSE(seen.dissenterText[0].empty());
    EXPECT_NE(std::string::npos, errors.find("at \"/Volumes/" + label + "\" with arguments \"rdonly\" (read-only): failed: ")) << errors;
    EXPECT_FALSE(fs::exists("/Volumes/" + label));
}

TEST_F(DALoopDevicesTest, TakenNamesAndSymbolicLinksAreSteppedAround)
{
    std::string label = Unique("busy");
    fs::create_directories("/Volumes/" + label);
    std::ofstream("/Volumes/" + label + "/someone-elses").close();
    fs::create_directories(dir_ + "/elsewhere");
    fs::create_directory_symlink(dir_ + "/elsewhere", "/Volumes/" + label + " 1");
    Seen seen;
    seen.mountArguments = {"rdonly"};
    WatchFor(label, seen);
    std::string device = AttachImage(label);
    std::string errors;
    ASSERT_TRUE(AwaitCompletions(seen, 1, &errors)) << errors;
    EXPECT_EQ(0, seen.dissenterStatus[0]) << seen.dissenterText[0];
    EXPECT_NE(std::string::npos, errors.find("at \"/Volumes/" + label + " 2\"")) << errors;
    EXPECT_TRUE(fs::exists("/Volumes/" + label + " 2/lost+found"));
    EXPECT_FALSE(fs::exists(dir_ + "/elsewhere/lost+found"));
    EXPECT_TRUE(fs::exists("/Volumes/" + label + "/someone-elses"));
}

}  // namespace
