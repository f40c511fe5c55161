// Harness of the service's end-to-end tests, on the shared Sandbox: the real OVCardWatch binary in
// private mount and PID namespaces (see fixtures/sandbox), real loop devices holding real ext2
// filesystems.
#ifndef TESTS_E2E_CARDWATCH_SANDBOX_H
#define TESTS_E2E_CARDWATCH_SANDBOX_H

#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "Sandbox.h"
#include "StandInTestSupport.h"

namespace e2e {

// What the service's tests need of the machine.
Needs CardWatchNeeds();

// Files of a connection-manager "CD": "Velmora.app" and the setup image "Setup/VelmoraSetup.dmg"
// (a tar archive whose top folder "Velmora Setup" holds "VelmoraSetup.pkg"), made under folder.
void MakeCDContents(const std::string &folder);

// One run of the service in its sandbox. The folders that stand in for "/Library",
// "/Applications" and "/usr/local/RevediriService" live under Root() and stay readable
// afterwards; "/Volumes" is a tmpfs of the sandbox.
class CardWatchSandbox {
public:
    CardWatchSandbox();
    ~CardWatchSandbox();
    CardWatchSandbox(const CardWatchSandbox &) = delete;
    CardWatchSandbox &operator=(const CardWatchSandbox &) = delete;

    const std::string &Root() const { return root_; }

    // The service's configuration file (absent unless written).
    void WriteConfig(const std::string &text);
    // The connection manager's bundle in /Applications, with its "SysConfig.dat" holding text.
    void WriteSysConfig(const std::string &text);
    std::string SysConfig() const;
    // A registry snapshot from tests/e2e/fixtures ("registry-modem.plist" ...).
    void UseRegistry(const std::string &fixtureName);
    // An environment variable of the sandbox (CW_FINDER, CW_CONSOLE_USER, CW_BOOT_...).
    void SetEnv(const std::string &name, const std::string &value);

    void Start();
    // Ends everything in the sandbox and waits until its namespaces are gone.
    void Stop();
    bool Running() const;

    std::string Log() const;
    std::string Stderr() const;
    // The "open" calls seen so far, one line each.
    std::vector<std::string> OpenCalls() const;
    // The sandbox's mount table (/proc/<pid>/mountinfo of its first process).
    std::string MountInfo() const;

    // Waits until the log holds text; false after the timeout.
    bool WaitForLog(const std::string &text, std::chrono::seconds timeout = std::chrono::seconds(60)) const;
    // Waits until the log holds text at least count times; false after the timeout.
    bool WaitForLogCount(const std::string &text, size_t count,
                         std::chrono::seconds timeout = std::chrono::seconds(60)) const;
    bool WaitForStderr(const std::string &text, std::chrono::seconds timeout = std::chrono::seconds(60)) const;
    // Waits until the service has registered for disk arrivals (its last start-up line and the
    // disk watcher's registration line), so that a disk attached next appears after it.
    bool WaitForWatch(std::chrono::seconds timeout = std::chrono::seconds(60)) const;

    // Runs a shell command line inside the sandbox's namespaces; its exit status.
    int RunInside(const std::string &command) const;
    // Makes the Finder stand-in appear (CW_FINDER=trigger).
    void StartFinder();

private:
    standintest::TempFolder folder_{"cardwatch-e2e"};
    std::string root_ = folder_.path().string();
    std::map<std::string, std::string> env_;
    pid_t unshare_ = -1;
    pid_t first_ = -1;  // process 1 of the sandbox, as the host numbers it
};

}  // namespace e2e

#endif
