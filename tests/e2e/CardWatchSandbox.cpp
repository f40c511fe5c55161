// Harness of the service's end-to-end tests, on the shared Sandbox.
#include "CardWatchSandbox.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <sstream>
#include <stdexcept>
#include <thread>

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;

// The host folders the sandbox covers; each must exist as a mount point.
const char *const kCoveredFolders[] = {"/Library", "/Applications", "/Volumes", "/usr/local/RevediriService"};

}  // namespace

Needs CardWatchNeeds()
{
    return Needs{.loopDevices = true, .network = false, .tools = {"losetup", "mke2fs", "tar", "nsenter"}};
}

void MakeCDContents(const std::string &folder)
{
    MakeFolders(folder + "/Velmora.app/Contents/MacOS");
    WriteFile(folder + "/Velmora.app/Contents/MacOS/Velmora", "#!/bin/sh\necho Velmora connection manager\n");
    WriteFile(folder + "/Velmora.app/Contents/Info.plist",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
              "\t<key>CFBundleExecutable</key>\n\t<string>Velmora</string>\n</dict>\n</plist>\n");
    std::string image = folder + ".setup";
    MakeFolders(image + "/Velmora Setup");
    WriteFile(image + "/Velmora Setup/VelmoraSetup.pkg", "setup package\n");
    MakeFolders(folder + "/Setup");
    if (Shell("tar -cf " + Quote(folder + "/Setup/VelmoraSetup.dmg") + " -C " + Quote(image) + " 'Velmora Setup'") != 0) {
        throw std::runtime_error("cannot make the setup image");
    }
}

// ---- CardWatchSandbox ----

CardWatchSandbox::CardWatchSandbox()
{
    MakeFolders(root_ + "/Library/StartupItems/OVCardWatch");
    MakeFolders(root_ + "/Applications");
    MakeFolders(root_ + "/RevediriService");
    for (const char *folder : kCoveredFolders) {
        MakeFolders(folder);  // as empty mount points on the host; nothing is mounted there
    }
    env_["CW_OPEN_RECORD"] = root_ + "/open-calls.txt";
    env_["CW_FINDER"] = "now";
    UseRegistry("registry-no-modem.plist");
}

CardWatchSandbox::~CardWatchSandbox()
{
    Stop();  // before the folder goes
}

void CardWatchSandbox::WriteConfig(const std::string &text)
{
    WriteFile(root_ + "/Library/StartupItems/OVCardWatch/config", text);
}

void CardWatchSandbox::WriteSysConfig(const std::string &text)
{
    MakeFolders(root_ + "/Applications/Velmora.app/Contents/Resources");
    WriteFile(root_ + "/Applications/Velmora.app/Contents/Resources/SysConfig.dat", text);
}

std::string CardWatchSandbox::SysConfig() const
{
    return ReadFile(root_ + "/Applications/Velmora.app/Contents/Resources/SysConfig.dat");
}

void CardWatchSandbox::UseRegistry(const std::string &fixtureName)
{
    env_["PLATFORM_IOREGISTRY"] = std::string(CARDWATCH_E2E_FIXTURES) + "/" + fixtureName;
}

void CardWatchSandbox::SetEnv(const std::string &name, const std::string &value)
{
    env_[name] = value;
}

void CardWatchSandbox::Start()
{
    std::map<std::string, std::string> env = env_;
    env["PATH"] = std::string(CARDWATCH_E2E_FIXTURES) + "/bin:" + (getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin");
    unshare_ = StartUnshared({"--mount", "--pid"},
                             {std::string(CARDWATCH_E2E_FIXTURES) + "/sandbox", root_, CARDWATCH_BINARY}, env,
                             root_ + "/service.out", root_ + "/service.err", root_);

    // Process 1 of the sandbox is unshare's only child.
    std::string children = "/proc/" + std::to_string(unshare_) + "/task/" + std::to_string(unshare_) + "/children";
    auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
        std::istringstream in(ReadFile(children));
        pid_t pid = -1;
        if (in >> pid && pid > 0) {
            first_ = pid;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (first_ <= 0) {
        throw std::runtime_error("the sandbox did not start");
    }
}

bool CardWatchSandbox::Running() const
{
    return ProcessAlive(first_) || ProcessAlive(unshare_);
}

void CardWatchSandbox::Stop()
{
    if (unshare_ <= 0) {
        return;
    }
    if (first_ > 0) {
        kill(first_, SIGKILL);  // process 1 of a PID namespace takes every other process with it
    }
    kill(unshare_, SIGKILL);
    waitpid(unshare_, nullptr, 0);
    // The mount namespace (and with it the mounts of the sandbox's disks) goes with its last
    // process: wait for process 1 to be gone for good.
    auto deadline = Clock::now() + std::chrono::seconds(10);
    while (ProcessAlive(first_) && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    unshare_ = -1;
    first_ = -1;
}

std::string CardWatchSandbox::Log() const
{
    return ReadFile(root_ + "/RevediriService/CardWatch.log");
}

std::string CardWatchSandbox::Stderr() const
{
    return ReadFile(root_ + "/service.err");
}

std::vector<std::string> CardWatchSandbox::OpenCalls() const
{
    std::vector<std::string> calls;
    std::istringstream in(ReadFile(root_ + "/open-calls.txt"));
    std::string line;
    while (std::getline(in, line)) {
        calls.push_back(line);
    }
    return calls;
}

std::string CardWatchSandbox::MountInfo() const
{
    return first_ > 0 ? ReadFile("/proc/" + std::to_string(first_) + "/mountinfo") : std::string();
}

namespace {

// Waits until holds() is true; false after the timeout or once the sandbox ended without it.
template <typename Predicate>
bool WaitUntil(const CardWatchSandbox &sandbox, Predicate holds, std::chrono::seconds timeout)
{
    auto deadline = Clock::now() + timeout;
    for (;;) {
        if (holds()) {
            return true;
        }
        if (Clock::now() >= deadline || !sandbox.Running()) {
            return holds();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

}  // namespace

bool CardWatchSandbox::WaitForLog(const std::string &text, std::chrono::seconds timeout) const
{
    return WaitForLogCount(text, 1, timeout);
}

bool CardWatchSandbox::WaitForLogCount(const std::string &text, size_t count, std::chrono::seconds timeout) const
{
    return WaitUntil(*this, [&] { return Count(Log(), text) >= count; }, timeout);
}

bool CardWatchSandbox::WaitForStderr(const std::string &text, std::chrono::seconds timeout) const
{
    return WaitUntil(*this, [&] { return Stderr().find(text) != std::string::npos; }, timeout);
}

bool CardWatchSandbox::WaitForWatch(std::chrono::seconds timeout) const
{
    // The service's last start-up line, then the disk watcher's own line for the registration:
    // a disk attached after that one is new to the service, however slow the machine is.
    return WaitForLog("CardWatch.cpp:main --- value of disable_cdrom is ", timeout) &&
           WaitForStderr("DiskArbitration: peek callback registered", timeout);
}

int CardWatchSandbox::RunInside(const std::string &command) const
{
    if (first_ <= 0) {
        return -1;
    }
    return Shell("nsenter --target " + std::to_string(first_) + " --mount --pid -- sh -c " + Quote(command) +
                 " >/dev/null 2>&1");
}

void CardWatchSandbox::StartFinder()
{
    WriteFile(root_ + "/start-finder", "");
}

}  // namespace e2e
