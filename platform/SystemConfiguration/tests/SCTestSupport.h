// Helpers of the SystemConfiguration stand-in's tests: a fixture whose store and dynamic store
// live in a scratch folder, CF value shorthands, whole-file reads and writes, Python's plistlib as
// an independent reader and writer, and forked children.
#ifndef SYSTEMCONFIGURATION_SC_TEST_SUPPORT_H
#define SYSTEMCONFIGURATION_SC_TEST_SUPPORT_H

#include <SystemConfiguration/SystemConfiguration.h>

#include "StandInTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace sctest {

using standintest::CFRef;
using standintest::ReadFile;
using standintest::Text;
using standintest::WriteFile;

// A held string from UTF-8 text.
inline CFRef<CFStringRef> Str(const std::string &text)
{
    return CFRef<CFStringRef>(standintest::Str(text.c_str()));
}

// A dictionary of string keys to values (strings or other CF values), built in one expression.
inline CFRef<CFMutableDictionaryRef> Dict(std::initializer_list<std::pair<const char *, CFTypeRef>> entries = {})
{
    CFRef<CFMutableDictionaryRef> dict(
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    for (const auto &[key, value] : entries) {
        CFDictionarySetValue(dict, Str(key), value);
    }
    return dict;
}

// The names in a folder, sorted.
inline std::vector<std::string> FolderNames(const std::filesystem::path &folder)
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Runs a Python program with python3; its standard output, and its exit status in *status.
inline std::string RunPython(const std::string &program, int *status)
{
    std::string script = ::testing::TempDir() + "/sc_plistlib_" + std::to_string(getpid()) + ".py";
    WriteFile(script, program);
    FILE *pipe = popen(("python3 " + script + " 2>&1").c_str(), "r");
    std::string output;
    char buffer[4096];
    size_t got = 0;
    while (pipe != nullptr && (got = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, got);
    }
    int raw = pipe != nullptr ? pclose(pipe) : -1;
    *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::remove(script.c_str());
    return output;
}

// Starts body in a forked child, which exits with body's status.
inline pid_t StartChild(const std::function<int()> &body)
{
    fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        _exit(body());
    }
    return child;
}

// The child's exit status (128 + signal when it was killed).
inline int WaitChild(pid_t child)
{
    int raw = 0;
    waitpid(child, &raw, 0);
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

inline int InChild(const std::function<int()> &body) { return WaitChild(StartChild(body)); }

// Every test works on a store and a dynamic store in its own scratch folder.
class SCTest : public standintest::SeamTest {
protected:
    void SetUp() override
    {
        SeamTest::SetUp();
        storePath = folder / "preferences.plist";
        dynamicPath = folder / "run/dynamic-store.plist";
        PlatformTestingSetPreferencesPath(storePath.c_str());
        PlatformTestingSetDynamicStorePath(dynamicPath.c_str());
    }
    CFRef<SCPreferencesRef> Open()
    {
        CFRef<SCPreferencesRef> prefs(SCPreferencesCreate(nullptr, CFSTR("tests"), nullptr));
        EXPECT_TRUE(prefs) << "SCError " << SCError();
        return prefs;
    }
    // Sets one path and commits it through a new object; true on success.
    bool CommitOne(const std::string &path, CFDictionaryRef value)
    {
        CFRef<SCPreferencesRef> prefs(SCPreferencesCreate(nullptr, CFSTR("tests"), nullptr));
        return prefs && SCPreferencesPathSetValue(prefs, Str(path), value) && SCPreferencesCommitChanges(prefs);
    }

    // A store whose current set "A" links: S1 Ethernet en0 (an inactive AppleTalk entity), S2
    // an inactive service, S3 PPPoE over en5, S4 PPP serial, S5 without an "Interface" entity,
    // and S9, a dangling link. S6 is linked from set "B" only. Set A's globals: IPv4 (the
    // service order) and an inactive Proxies entity.
    void CommitSampleStore()
    {
        CFRef<SCPreferencesRef> prefs = Open();
        auto set = [&](const std::string &path, CFDictionaryRef value) {
            EXPECT_TRUE(SCPreferencesPathSetValue(prefs, Str(path), value)) << path;
        };
        auto iface = [](const char *type, const char *subType, const char *device) {
            CFRef<CFMutableDictionaryRef> entity = Dict({{"Type", Str(type).get()}, {"DeviceName", Str(device).get()}});
            if (subType != nullptr) {
                CFDictionarySetValue(entity, CFSTR("SubType"), Str(subType));
            }
            return entity;
        };
        CFRef<CFMutableDictionaryRef> dhcp = Dict({{"ConfigMethod", CFSTR("DHCP")}});
        CFRef<CFMutableDictionaryRef> inactive = Dict({{"__INACTIVE__", CFSTR("")}});
        set("/NetworkServices/S1", Dict({{"UserDefinedName", CFSTR("Ethernet")}, {"Interface", iface("Ethernet", nullptr, "en0").get()},
                                          {"IPv4", dhcp.get()}, {"DNS", Dict().get()}, {"AppleTalk", inactive.get()}}));
        set("/NetworkServices/S2", Dict({{"__INACTIVE__", CFSTR("")}, {"Interface", iface("Ethernet", nullptr, "en1").get()},
                                          {"IPv4", dhcp.get()}}));
        set("/NetworkServices/S3", Dict({{"UserDefinedName", CFSTR("PPPoE")}, {"Interface", iface("PPP", "PPPoE", "en5").get()},
                                          {"PPP", Dict().get()}, {"IPv4Extra", dhcp.get()}}));
        set("/NetworkServices/S4", Dict({{"Interface", iface("PPP", "PPPSerial", "ORVEKAMobile-Pcui").get()},
                                          {"Modem", Dict().get()}}));
        set("/NetworkServices/S5", Dict({{"UserDefinedName", CFSTR("bare")}, {"IPv4", dhcp.get()}}));
        set("/NetworkServices/S6", Dict({{"Interface", iface("Ethernet", nullptr, "en6").get()}, {"IPv4", dhcp.get()}}));
        for (const char *id : {"S1", "S2", "S3", "S4", "S5", "S9"}) {
            EXPECT_TRUE(SCPreferencesPathSetLink(prefs, Str(std::string("/Sets/A/Network/Service/") + id),
                                                 Str(std::string("/NetworkServices/") + id)));
        }
        EXPECT_TRUE(SCPreferencesPathSetLink(prefs, CFSTR("/Sets/B/Network/Service/S6"), CFSTR("/NetworkServices/S6")));
        set("/Sets/A/Network/Global/IPv4", Dict({{"ServiceOrder", CFSTR("S1")}}));
        set("/Sets/A/Network/Global/Proxies", inactive);
        set("/Sets/A", Dict({{"UserDefinedName", CFSTR("Automatic")}, {"Network", CFDictionaryGetValue(
            SCPreferencesPathGetValue(prefs, CFSTR("/Sets/A")), CFSTR("Network"))}}));
        EXPECT_TRUE(SCPreferencesSetValue(prefs, CFSTR("CurrentSet"), CFSTR("/Sets/A")));
        EXPECT_TRUE(SCPreferencesCommitChanges(prefs));
    }

    standintest::TempFolder folder{"sc"};
    std::string storePath;
    std::string dynamicPath;
};

}  // namespace sctest

#endif
