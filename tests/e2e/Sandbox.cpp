// What every end-to-end harness shares: privileges, the shell, files, programs in private
// namespaces, loop devices and veth pairs.
#include "Sandbox.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace e2e {

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

bool UnderCI()
{
    const char *ci = getenv("CI");
    return ci != nullptr && std::string(ci) == "true";
}

std::string MissingPrivileges(const Needs &needs)
{
    if (geteuid() != 0) {
        return "the end-to-end tests run as root (namespaces, mounts, loop devices, veths)";
    }
    std::string flags = needs.network ? "--net --mount --pid" : "--mount --pid";
    if (Shell("unshare " + flags + " --fork --mount-proc true >/dev/null 2>&1") != 0) {
        return "private " + std::string(needs.network ? "network, " : "") +
               "mount and PID namespaces are not available here (unshare failed)";
    }
    for (const std::string &tool : needs.tools) {
        if (Shell("command -v " + Quote(tool) + " >/dev/null 2>&1") != 0) {
            return tool + " is missing (run scripts/setup)";
        }
    }
    if (needs.loopDevices && Shell("test -e /dev/loop-control || test -e /dev/loop0") != 0) {
        return "no loop devices on this machine";
    }
    if (needs.network &&
        Shell("unshare --net sh -c 'ip link add e2eprobe type veth peer name e2eprobe1' >/dev/null 2>&1") != 0) {
        return "veth pairs cannot be made here (ip link add ... type veth failed)";
    }
    return "";
}

pid_t StartUnshared(const std::vector<std::string> &namespaces, const std::vector<std::string> &argv,
                    const std::map<std::string, std::string> &env, const std::string &outPath,
                    const std::string &errPath, const std::string &cwd)
{
    std::vector<std::string> words{"unshare"};
    words.insert(words.end(), namespaces.begin(), namespaces.end());
    for (const char *flag : {"--fork", "--mount-proc", "--propagation", "private", "--kill-child"}) {
        words.emplace_back(flag);
    }
    words.insert(words.end(), argv.begin(), argv.end());
    std::vector<char *> args;
    for (std::string &word : words) {
        args.push_back(word.data());
    }
    args.push_back(nullptr);

    pid_t parent = getpid();
    pid_t child = fork();
    if (child < 0) {
        throw std::runtime_error("fork failed");
    }
    if (child == 0) {
        // Should the test program die without its teardown (a crash, a time-out kill), the
        // namespaces die with it: unshare's --kill-child then takes their processes.
        if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) {
            _exit(125);
        }
        for (const auto &[name, value] : env) {
            setenv(name.c_str(), value.c_str(), 1);
        }
        int outFd = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int errFd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int nullFd = open("/dev/null", O_RDONLY);
        if (outFd < 0 || errFd < 0 || nullFd < 0 || chdir(cwd.c_str()) != 0) {
            _exit(126);
        }
        dup2(nullFd, 0);
        dup2(outFd, 1);
        dup2(errFd, 2);
        execvp(args[0], args.data());
        _exit(127);
    }
    return child;
}

int WaitUnshared(pid_t unshare)
{
    int status = 0;
    if (waitpid(unshare, &status, 0) != unshare || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

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

std::string VethScript(const std::vector<Veth> &veths)
{
    std::string script;
    for (const Veth &veth : veths) {
        script += "ip link add " + Quote(veth.name) + " address " + Quote(veth.address) + " type veth peer name " +
                  Quote(veth.peer) + " address " + Quote(veth.peerAddress) + "\n";
        script += "ip link set " + Quote(veth.name) + " up\nip link set " + Quote(veth.peer) + " up\n";
    }
    return script;
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
