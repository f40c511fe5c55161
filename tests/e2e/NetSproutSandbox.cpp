// Harness of the tool's end-to-end tests, on the shared Sandbox.
#include "NetSproutSandbox.h"

#include <dirent.h>

#include <algorithm>
#include <regex>
#include <sstream>

namespace e2e {
namespace {

// The host folders the sandbox covers; each must exist as a mount point.
const char *const kCoveredFolders[] = {"/Library", "/var/run/SystemConfiguration"};

// Bound for every piece of Python the tests run against the stores.
const char kPythonPrelude[] = R"(import plistlib, sys
def load(path):
    with open(path, 'rb') as f:
        return plistlib.load(f)
def save(value, path=None):
    with open(path or STORE, 'wb') as f:
        plistlib.dump(value, f)
FIRST_BOOT = {
    'CurrentSet': '/Sets/0',
    'NetworkServices': {},
    'Sets': {'0': {'UserDefinedName': 'Automatic',
                   'Network': {'Global': {'IPv4': {'ServiceOrder': []}}, 'Service': {}}}},
}
def service(bsd, subtype=None):
    interface = {'DeviceName': bsd, 'Hardware': 'Ethernet', 'Type': 'Ethernet',
                 'UserDefinedName': 'Ethernet Adaptor (%s)' % bsd}
    if subtype:
        interface.update({'Type': 'PPP', 'SubType': subtype})
    return {'UserDefinedName': 'Ethernet Adaptor (%s)' % bsd, 'Interface': interface,
            'IPv4': {'ConfigMethod': 'DHCP'}}
)";

}  // namespace

Needs NetSproutNeeds()
{
    return Needs{.loopDevices = false, .network = true, .tools = {"ip", "python3", "mount"}};
}

NetSproutSandbox::NetSproutSandbox()
{
    MakeFolders(StoreFolder());
    MakeFolders(root_ + "/SystemConfiguration");
    for (const char *folder : kCoveredFolders) {
        MakeFolders(folder);  // as empty mount points on the host; nothing is mounted there
    }
    env_["PLATFORM_SYSLOG_STDERR"] = "1";
    env_["PLATFORM_IOREGISTRY"] = "";
}

std::string NetSproutSandbox::StoreFolder() const
{
    return root_ + "/Library/Preferences/SystemConfiguration";
}

std::string NetSproutSandbox::StorePath() const
{
    return StoreFolder() + "/preferences.plist";
}

std::string NetSproutSandbox::DynamicStorePath() const
{
    return root_ + "/SystemConfiguration/dynamic-store.plist";
}

std::string NetSproutSandbox::Python(const std::string &code) const
{
    std::string program = std::string(kPythonPrelude) + "STORE = " + Quote(StorePath()) +
                          "\nDYNAMIC = " + Quote(DynamicStorePath()) + "\n" + code + "\n";
    WriteFile(root_ + "/query.py", program);
    std::string output = ShellOutput("python3 " + Quote(root_ + "/query.py") + " 2>" + Quote(root_ + "/query.err"));
    std::string errors = ReadFile(root_ + "/query.err");
    return errors.empty() ? output : "python failed: " + errors;
}

void NetSproutSandbox::WriteFirstBootStore() const
{
    Python("save(FIRST_BOOT)");
}

void NetSproutSandbox::AddVeth(const std::string &name, const std::string &address)
{
    char peerAddress[32];
    snprintf(peerAddress, sizeof peerAddress, "02:00:00:00:00:%02zx", veths_.size() + 1);
    veths_.push_back(Veth{name, address, "vpeer" + std::to_string(veths_.size()), peerAddress});
}

void NetSproutSandbox::UseRegistry(const std::string &path)
{
    env_["PLATFORM_IOREGISTRY"] = path;
}

void NetSproutSandbox::SetEnv(const std::string &name, const std::string &value)
{
    env_[name] = value;
}

void NetSproutSandbox::MakeStoreReadOnly()
{
    readOnlyStore_ = true;
}

std::string NetSproutSandbox::Script(int runs) const
{
    std::string script = "set -eu\n" + VethScript(veths_) +
                         "mount -t sysfs sysfs /sys\n"
                         "mount -t tmpfs -o mode=0755 tmpfs /sys/class/tty\n"
                         "mount --bind " + Quote(root_ + "/Library") + " /Library\n"
                         "mount --bind " + Quote(root_ + "/SystemConfiguration") + " /var/run/SystemConfiguration\n";
    if (readOnlyStore_) {
        std::string folder = "/Library/Preferences/SystemConfiguration";
        script += "mount --bind " + folder + " " + folder + "\nmount -o remount,bind,ro " + folder + "\n";
    }
    script += "set +e\n";
    for (int i = 0; i < runs; i++) {
        std::string run = root_ + "/run" + std::to_string(i);
        script += "(" + Quote(NETSPROUT_BINARY) + " 2>" + Quote(run + ".err") + "; echo $? >" + Quote(run + ".status") +
                  ") &\n";
    }
    return script + "wait\n";
}

std::vector<NetSproutRun> NetSproutSandbox::RunConcurrently(int count)
{
    WriteFile(root_ + "/inside.sh", Script(count));
    pid_t unshare = StartUnshared({"--net", "--mount", "--pid"}, {"sh", root_ + "/inside.sh"}, env_,
                                  root_ + "/sandbox.out", root_ + "/sandbox.err", root_);
    int sandboxStatus = WaitUnshared(unshare);
    std::vector<NetSproutRun> runs;
    for (int i = 0; i < count; i++) {
        std::string run = root_ + "/run" + std::to_string(i);
        NetSproutRun result;
        std::istringstream status(ReadFile(run + ".status"));
        if (!(status >> result.status)) {
            result.status = -1;
        }
        result.stderrText = ReadFile(run + ".err");
        if (sandboxStatus != 0) {
            result.stderrText += "\n--- the sandbox's set-up ---\n" + ReadFile(root_ + "/sandbox.err");
        }
        result.log = LogLinesOf(result.stderrText);
        runs.push_back(result);
    }
    return runs;
}

NetSproutRun NetSproutSandbox::Run()
{
    return RunConcurrently(1).front();
}

std::vector<std::string> NetSproutSandbox::StoreFolderFiles() const
{
    std::vector<std::string> names;
    if (DIR *dir = opendir(StoreFolder().c_str())) {
        while (dirent *entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(name);
            }
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<LogLine> LogLinesOf(const std::string &stderrText)
{
    static const std::regex line(R"(^NetSprout\[[0-9]+\] <([0-7])> (.*)$)");
    std::vector<LogLine> lines;
    std::istringstream in(stderrText);
    std::string text;
    std::smatch match;
    while (std::getline(in, text)) {
        if (std::regex_match(text, match, line)) {
            lines.push_back(LogLine{std::stoi(match[1].str()), match[2].str()});
        }
    }
    return lines;
}

}  // namespace e2e
