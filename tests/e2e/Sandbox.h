// What every end-to-end harness shares: the privileges check, the shell, files, programs started
// in private namespaces, loop devices holding real filesystems, and veth pairs. The
// program-specific harnesses (CardWatchSandbox, NetSproutSandbox) are built on these.
#ifndef TESTS_E2E_SANDBOX_H
#define TESTS_E2E_SANDBOX_H

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace e2e {

// What a harness needs of this machine beyond root and mount and PID namespaces.
struct Needs {
    bool loopDevices = false;     // /dev/loop*
    bool network = false;         // network namespaces and veth pairs
    std::vector<std::string> tools;  // commands that must be on PATH
};

// Why these tests cannot run here (not root, no namespaces, a missing tool), or "" when they can.
std::string MissingPrivileges(const Needs &needs);

// Skips the current test with the reason when the machine lacks what it needs, and fails it
// instead under CI=true, where a skipped end-to-end test would hide a broken set-up.
#define E2E_REQUIRE(needs)                                                            \
    do {                                                                              \
        std::string e2eMissing_ = ::e2e::MissingPrivileges(needs);                    \
        if (!e2eMissing_.empty()) {                                                   \
            if (::e2e::UnderCI()) {                                                   \
                FAIL() << "cannot run the end-to-end tests under CI: " << e2eMissing_; \
            }                                                                         \
            GTEST_SKIP() << "skipped: " << e2eMissing_;                               \
        }                                                                             \
    } while (0)
bool UnderCI();

// Runs a shell command line; its exit status (or -1).
int Shell(const std::string &command);
// Runs a shell command line and returns its standard output.
std::string ShellOutput(const std::string &command);
// Quotes text as one word for the shell.
std::string Quote(const std::string &text);

std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::string &text);
void MakeFolders(const std::string &path);
bool ProcessAlive(pid_t pid);

// Starts `unshare <namespaces> --fork --mount-proc --propagation private --kill-child <argv>` with
// env added to the environment, standard input from /dev/null and the outputs to the files
// outPath and errPath, in folder cwd. Should the test program die without its teardown, the
// namespaces die with it. Returns unshare's process ID.
pid_t StartUnshared(const std::vector<std::string> &namespaces, const std::vector<std::string> &argv,
                    const std::map<std::string, std::string> &env, const std::string &outPath,
                    const std::string &errPath, const std::string &cwd);
// Waits for a process started by StartUnshared; its exit status (or -1).
int WaitUnshared(pid_t unshare);

// An ext2 image with a label, attached as a loop device on demand and detached when it goes.
class LoopDisk {
public:
    // contents: a folder copied into the filesystem ("" for an empty one).
    LoopDisk(const std::string &imagePath, const std::string &label, const std::string &contents);
    ~LoopDisk();
    LoopDisk(const LoopDisk &) = delete;
    LoopDisk &operator=(const LoopDisk &) = delete;

    // Attaches the image; sizeLimit (bytes, 0: whole image) cuts the device short of its
    // filesystem, so that the label reads but a mount fails. Returns "/dev/loopN".
    std::string Attach(unsigned long sizeLimit = 0);
    void Detach();
    const std::string &Device() const { return device_; }
    // "loopN"
    std::string Name() const;

private:
    std::string image_;
    std::string device_;
};

// One veth pair: the end a program under test sees as a port, and its peer. Both ends are
// Ethernet links, so the peer gets a locally administered address ("02:...").
struct Veth {
    std::string name;         // "en5"
    std::string address;      // "0a:3f:71:12:34:56"
    std::string peer;         // "vpeer5"
    std::string peerAddress;  // "02:00:00:00:00:05"
};
// Shell lines that make the pairs, both ends up, in the current network namespace.
std::string VethScript(const std::vector<Veth> &veths);

// Counts the occurrences of text in haystack.
size_t Count(const std::string &haystack, const std::string &text);
// True when every text occurs in haystack, each after the previous one; on failure, names the
// first missing one in *missing.
bool InOrder(const std::string &haystack, const std::vector<std::string> &texts, std::string *missing);

}  // namespace e2e

#endif
