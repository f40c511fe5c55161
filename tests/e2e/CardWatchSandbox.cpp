// Harness of the service's end-to-end tests.
#include "CardWatchSandbox.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;

// The host folders the sandbox covers; each must exist as a mount point.
const char *const kCoveredFolders[] = {"/Library", "/Applications", "/Volumes", "/usr/local/RevediriService"};

void MakeFolders(const std::string &path)
{
    if (Shell("mkdir -p " + Quote(path)) != 0) {
        throw std::runtime_error("cannot create " + path);
    }
}

bool ProcessAlive(pid_t pid)
{
    return pid > 0 && kill(pid, 0) == 0;
}

}  // namespace

int Shell(const std::string &command)
{
    int status = std::system(command.c_str());
    if (status == -1 || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

std::string ShellOutput(const std::string &command)
{
    std::string output;
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, got);
    }
    pclose(pipe);
    return output;
}

std::string Quote(const std::string &text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string MissingPrivileges()
{
    if (geteuid() != 0) {
        return "the service's end-to-end tests run as root (namespaces, loop devices, mounts)";
    }
    if (Shell("unshare --mount --pid --fork --mount-proc true >/dev/null 2>&1") != 0) {
        return "mount and PID namespaces are not available here (unshare failed)";
    }
    if (Shell("command -v losetup mke2fs tar nsenter >/dev/null 2>&1") != 0) {
        return "losetup, mke2fs, tar or nsenter is missing (run scripts/setup)";
    }
    if (Shell("test -e /dev/loop-control || test -e /dev/loop0") != 0) {
        return "no loop devices on this machine";
    }
    return "";
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

// ---- LoopDisk ----

LoopDisk::LoopDisk(const std::string &imagePath, const std::string &label, const std::string &contents) : image_(imagePath)
{
    std::string command = "mke2fs -q -F -t ext2 -L " + Quote(label);
    if (!contents.empty()) {
        command += " -d " + Quote(contents);
    }
    command += " " + Quote(image_) + " 4M >/dev/null 2>&1";
    if (Shell(command) != 0) {
        throw std::runtime_error("mke2fs failed for " + image_);
    }
}

LoopDisk::~LoopDisk()
{
    Detach();
}

std::string LoopDisk::Attach(unsigned long sizeLimit)
{
    std::string command = "losetup --find --show ";
    if (sizeLimit != 0) {
        command += "--sizelimit " + std::to_string(sizeLimit) + " ";
    }
    std::string out = ShellOutput(command + Quote(image_));
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) {
        out.pop_back();
    }
    if (out.rfind("/dev/loop", 0) != 0) {
        throw std::runtime_error("losetup failed for " + image_);
    }
    device_ = out;
    return device_;
}

void LoopDisk::Detach()
{
    if (device_.empty()) {
        return;
    }
    // A device still mounted in a namespace that is going away is detached by the kernel once
    // the last mount goes (losetup marks it for automatic clearing).
    Shell("losetup -d " + Quote(device_) + " >/dev/null 2>&1");
    device_.clear();
}

std::string LoopDisk::Name() const
{
    return device_.empty() ? std::string() : device_.substr(5);
}

// ---- Sandbox ----

Sandbox::Sandbox()
{
    char pattern[] = "/tmp/cardwatch-e2e.XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    root_ = pattern;
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

Sandbox::~Sandbox()
{
    Stop();
    if (!root_.empty() && !Running()) {
        Shell("rm -rf " + Quote(root_));
    }
}

void Sandbox::WriteConfig(const std::string &text)
{
    WriteFile(root_ + "/Library/StartupItems/OVCardWatch/config", text);
}

void Sandbox::WriteSysConfig(const std::string &text)
{
    MakeFolders(root_ + "/Applications/Velmora.app/Contents/Resources");
    WriteFile(root_ + "/Applications/Velmora.app/Contents/Resources/SysConfig.dat", text);
}

std::string Sandbox::SysConfig() const
{
    return ReadFile(root_ + "/Applications/Velmora.app/Contents/Resources/SysConfig.dat");
}

void Sandbox::UseRegistry(const std::string &fixtureName)
{
    env_["PLATFORM_IOREGISTRY"] = std::string(CARDWATCH_E2E_FIXTURES) + "/" + fixtureName;
}

void Sandbox::SetEnv(const std::string &name, const std::string &value)
{
    env_[name] = value;
}

void Sandbox::Start()
{
    std::string sandbox = std::string(CARDWATCH_E2E_FIXTURES) + "/sandbox";
    std::string path = std::string(CARDWATCH_E2E_FIXTURES) + "/bin:" + (getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin");
    std::string out = root_ + "/service.out";
    std::string err = root_ + "/service.err";

    pid_t parent = getpid();
    pid_t child = fork();
    if (child < 0) {
        throw std::runtime_error("fork failed");
    }
    if (child == 0) {
        // Should the test program die without its teardown (a crash, a time-out kill), the
        // sandbox dies with it: unshare's --kill-child then takes the namespace's processes.
        if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) {
            _exit(125);
        }
        for (const auto &[name, value] : env_) {
            setenv(name.c_str(), value.c_str(), 1);
        }
        setenv("PATH", path.c_str(), 1);
        int outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int nullFd = open("/dev/null", O_RDONLY);
        if (outFd < 0 || errFd < 0 || nullFd < 0) {
            _exit(126);
        }
        dup2(nullFd, 0);
        dup2(outFd, 1);
        dup2(errFd, 2);
        chdir(root_.c_str());
        execlp("unshare", "unshare", "--mount", "--pid", "--fork", "--mount-proc", "--propagation", "private",
               "--kill-child", sandbox.c_str(), root_.c_str(), CARDWATCH_BINARY, static_cast<char *>(nullptr));
        _exit(127);
    }
    unshare_ = child;

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

bool Sandbox::Running() const
{
    return ProcessAlive(first_) || ProcessAlive(unshare_);
}

void Sandbox::Stop()
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

std::string Sandbox::Log() const
{
    return ReadFile(root_ + "/RevediriService/CardWatch.log");
}

std::string Sandbox::Stderr() const
{
    return ReadFile(root_ + "/service.err");
}

std::vector<std::string> Sandbox::OpenCalls() const
{
    std::vector<std::string> calls;
    std::istringstream in(ReadFile(root_ + "/open-calls.txt"));
    std::string line;
    while (std::getline(in, line)) {
        calls.push_back(line);
    }
    return calls;
}

std::string Sandbox::MountInfo() const
{
    return first_ > 0 ? ReadFile("/proc/" + std::to_string(first_) + "/mountinfo") : std::string();
}

namespace {

// Waits until holds() is true; false after the timeout or once the sandbox ended without it.
template <typename Predicate>
bool WaitUntil(const Sandbox &sandbox, Predicate holds, std::chrono::seconds timeout)
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

bool Sandbox::WaitForLog(const std::string &text, std::chrono::seconds timeout) const
{
    return WaitForLogCount(text, 1, timeout);
}

bool Sandbox::WaitForLogCount(const std::string &text, size_t count, std::chrono::seconds timeout) const
{
    return WaitUntil(*this, [&] { return Count(Log(), text) >= count; }, timeout);
}

bool Sandbox::WaitForStderr(const std::string &text, std::chrono::seconds timeout) const
{
    return WaitUntil(*this, [&] { return Stderr().find(text) != std::string::npos; }, timeout);
}

bool Sandbox::WaitForWatch(std::chrono::seconds timeout) const
{
    // The service's last start-up line, then the disk watcher's own line for the registration:
    // a disk attached after that one is new to the service, however slow the machine is.
    return WaitForLog("CardWatch.cpp:main --- value of disable_cdrom is ", timeout) &&
           WaitForStderr("DiskArbitration: peek callback registered", timeout);
}

int Sandbox::RunInside(const std::string &command) const
{
    if (first_ <= 0) {
        return -1;
    }
    return Shell("nsenter --target " + std::to_string(first_) + " --mount --pid -- sh -c " + Quote(command) +
                 " >/dev/null 2>&1");
}

void Sandbox::StartFinder()
{
    WriteFile(root_ + "/start-finder", "");
}

size_t Count(const std::string &haystack, const std::string &text)
{
    size_t count = 0;
    for (size_t at = haystack.find(text); at != std::string::npos; at = haystack.find(text, at + text.size())) {
        ++count;
    }
    return count;
}

bool InOrder(const std::string &haystack, const std::vector<std::string> &texts, std::string *missing)
{
    size_t at = 0;
    for (const std::string &text : texts) {
        size_t found = haystack.find(text, at);
        if (found == std::string::npos) {
            if (missing != nullptr) {
                *missing = text;
            }
            return false;
        }
        at = found + text.size();
    }
    return true;
}

}  // namespace e2e
