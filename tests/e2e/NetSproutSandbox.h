// Harness of the tool's end-to-end tests, on the shared Sandbox: the real NetSprout binary in
// private network, mount and PID namespaces holding real veth pairs, sysfs mounted again, an empty
// tmpfs over /sys/class/tty (serial ports are not per namespace), and folders of the test bound
// over "/Library" and "/var/run/SystemConfiguration", so that the preferences store and the
// dynamic store stay readable afterwards.
#ifndef TESTS_E2E_NETSPROUT_SANDBOX_H
#define TESTS_E2E_NETSPROUT_SANDBOX_H

#include <map>
#include <string>
#include <vector>

#include "Sandbox.h"
#include "StandInTestSupport.h"

namespace e2e {

// What the tool's tests need of the machine.
Needs NetSproutNeeds();

// One line the tool wrote to the system log.
struct LogLine {
    int priority;
    std::string text;
    bool operator==(const LogLine &) const = default;
};

// What one run of the tool left.
struct NetSproutRun {
    int status = -1;            // the tool's exit status
    std::vector<LogLine> log;   // its system-log lines, in order
    std::string stderrText;     // everything on standard error (the sandbox's set-up included)
};

class NetSproutSandbox {
public:
    NetSproutSandbox();
    NetSproutSandbox(const NetSproutSandbox &) = delete;
    NetSproutSandbox &operator=(const NetSproutSandbox &) = delete;

    // Host paths of the preferences store, its folder and the dynamic store.
    std::string StorePath() const;
    std::string StoreFolder() const;
    std::string DynamicStorePath() const;

    // Runs Python code with plistlib imported and these names bound: STORE and DYNAMIC (the
    // paths above), load(path) and save(value, path=STORE), FIRST_BOOT (the store as the
    // platform leaves it at first boot: one set "Automatic", current, no services) and
    // service(id) (a complete Ethernet service dictionary over a BSD name). Returns its standard
    // output, or "python failed: ..." with its standard error.
    std::string Python(const std::string &code) const;
    // The store as the platform leaves it at first boot.
    void WriteFirstBootStore() const;

    // Veth pairs made inside the namespaces before the tool runs.
    void AddVeth(const std::string &name, const std::string &address);
    // A registry snapshot file read instead of the live system ("" for the live system).
    void UseRegistry(const std::string &path);
    void SetEnv(const std::string &name, const std::string &value);
    // Mounts the store's folder read-only inside the namespaces.
    void MakeStoreReadOnly();

    // Runs the tool once and waits for it.
    NetSproutRun Run();
    // Starts count runs at once in the same namespaces and waits for all of them.
    std::vector<NetSproutRun> RunConcurrently(int count);

    // The files in the store's folder.
    std::vector<std::string> StoreFolderFiles() const;

private:
    std::string Script(int runs) const;

    standintest::TempFolder folder_{"netsprout-e2e"};
    std::string root_ = folder_.path().string();
    std::vector<Veth> veths_;
    std::map<std::string, std::string> env_;
    bool readOnlyStore_ = false;
};

// The system-log lines in a standard error text ("NetSprout[pid] <priority> text").
std::vector<LogLine> LogLinesOf(const std::string &stderrText);

}  // namespace e2e

#endif
