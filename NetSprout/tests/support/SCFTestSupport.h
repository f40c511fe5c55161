// Helpers of the preferences model's tests: a fixture that points the preferences store and the
// dynamic store at a scratch folder, and the store written and read back with Python's plistlib
// (a property-list reader nobody here wrote).
#ifndef SCF_TEST_SUPPORT_H
#define SCF_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "MoreCFQ.h"
#include "MoreSCFInternal.h"
#include "PlatformTesting.h"
#include "StandInTestSupport.h"

namespace scftest {

using standintest::CFRef;
using standintest::Str;
using standintest::Text;

// Runs a Python program (text) with python3 and answers what it printed, without the last
// newline; a failing run fails the test.
inline std::string RunPython(const standintest::TempFolder &folder, const std::string &program)
{
    std::string scriptPath = folder / "script.py";
    std::ofstream(scriptPath) << program;
    std::string output;
    FILE *pipe = popen(("python3 " + scriptPath).c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot start python3";
        return output;
    }
    char buffer[4096];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
        output.append(buffer, got);
    }
    EXPECT_EQ(0, pclose(pipe)) << "python3 failed on:\n" << program;
    if (!output.empty() && output.back() == '\n') {
        output.pop_back();
    }
    return output;
}

// The fixture: the stores live in a scratch folder, the seams and the session start neutral,
// and the system log is captured.
class StoreTest : public standintest::SeamTest {
protected:
    void SetUp() override
    {
        standintest::SeamTest::SetUp();
        PlatformTestingSetPreferencesPath(store_.c_str());
        PlatformTestingSetDynamicStorePath(dynamicStore_.c_str());
        PlatformTestingSCDeterministicIDs(1);
        PlatformTestingLogCaptureStart();
        MoreSCFForgetSystemVersion();
    }
    void TearDown() override
    {
        EXPECT_EQ(0, gPrefsOpenCount) << "a session level was left open";
        MoreSCSetClient(nullptr);
        standintest::SeamTest::TearDown();
        MoreSCFForgetSystemVersion();
    }

    // Writes the store from a Python expression of plain values (dicts, lists, strings, ints) held
    // in `d`, after the Python statements of `change` have run on it.
    void WriteStore(const std::string &literal, const std::string &change = "", const std::string &path = "")
    {
        RunPython(folder_, "import plistlib\nd = " + literal + "\n" + change + "\nwith open(" +
                               Quote(path.empty() ? store_ : path) + ", 'wb') as f:\n    plistlib.dump(d, f)\n");
    }

    // The JSON text of a Python expression over the stored property list `d` ("d['Sets']");
    // "missing" when there is no store file, "KeyError" when the expression names nothing.
    std::string Stored(const std::string &expression)
    {
        return RunPython(folder_, "import json, os, plistlib\n"
                                  "if not os.path.exists(" + Quote(store_) + "):\n    print('missing')\n"
                                  "else:\n    d = plistlib.load(open(" + Quote(store_) + ", 'rb'))\n"
                                  "    try:\n        print(json.dumps(" + expression + ", sort_keys=True))\n"
                                  "    except KeyError:\n        print('KeyError')\n");
    }

    std::string ReadStoreBytes() const { return standintest::ReadFile(store_); }
    void WriteStoreBytes(const std::string &bytes) const { standintest::WriteFile(store_, bytes); }

    // The store's content as one property list, read by the stand-in's own reader (fast enough
    // for sweeps); NULL when there is none.
    CFPropertyListRef CopyStoreContent() const
    {
        std::string bytes = ReadStoreBytes();
        CFRef<CFDataRef> data(CFDataCreate(kCFAllocatorDefault, reinterpret_cast<const UInt8 *>(bytes.data()),
                                           static_cast<CFIndex>(bytes.size())));
        return CFPropertyListCreateWithData(kCFAllocatorDefault, data, kCFPropertyListImmutable, nullptr, nullptr);
    }

    // Identifies the store file as written: a commit replaces the file, so this changes exactly
    // when the store is rewritten.
    std::string StoreIdentity() const
    {
        struct stat info {};
        if (stat(store_.c_str(), &info) != 0) {
            return "missing";
        }
        return std::to_string(info.st_ino) + ":" + std::to_string(info.st_mtim.tv_nsec) + ":" +
               std::to_string(info.st_size);
    }

    // The captured log lines, each "<priority> <text>", separated by newlines.
    static std::string LogLines()
    {
        std::string lines;
        for (unsigned i = 0; i < PlatformTestingLogLineCount(); i++) {
            int priority = -1;
            const char *line = PlatformTestingLogLine(i, &priority);
            lines += std::to_string(priority) + " " + (line != nullptr ? line : "") + "\n";
        }
        return lines;
    }

    static std::string Quote(const std::string &text) { return "'" + text + "'"; }

    standintest::TempFolder folder_{"moresc"};
    std::string store_ = folder_ / "preferences.plist";
    std::string dynamicStore_ = folder_ / "dynamic-store.plist";
};

// The IOKit stand-in's sample registry snapshots.
inline const std::string kExamples =
    (std::filesystem::path(__FILE__).parent_path() / "../../../platform/IOKit/examples").string();

// A first-boot store: one set "Automatic", current, without services.
inline const char *const kFirstBootStore = R"({
  'CurrentSet': '/Sets/0',
  'Sets': {'0': {'UserDefinedName': 'Automatic', 'Network': {
      'Service': {}, 'Global': {'IPv4': {'ServiceOrder': []}}}}},
  'NetworkServices': {}})";

// A store with one current set "S1" (name "Home") linking services "A" and "B", and a second set
// "S2" linking "A" only. Service A has a name, three entities and an inactive mark; B has one
// entity.
inline const char *const kStandardStore = R"({
  'CurrentSet': '/Sets/S1',
  'Sets': {
    'S1': {'UserDefinedName': 'Home', 'Network': {
      'Service': {'A': {'__LINK__': '/NetworkServices/A'}, 'B': {'__LINK__': '/NetworkServices/B'}},
      'Global': {'IPv4': {'ServiceOrder': ['A', 'B']}}}},
    'S2': {'UserDefinedName': 'Work', 'Network': {
      'Service': {'A': {'__LINK__': '/NetworkServices/A'}},
      'Global': {'IPv4': {'ServiceOrder': ['A']}}}}},
  'NetworkServices': {
    'A': {'UserDefinedName': 'Alpha', '__INACTIVE__': 1,
          'Interface': {'DeviceName': 'en5', 'Type': 'Ethernet'},
          'IPv4': {'ConfigMethod': 'DHCP'}, 'DNS': {}},
    'B': {'UserDefinedName': 'Beta', 'Interface': {'DeviceName': 'en6'}}}})";

}  // namespace scftest

#endif  // SCF_TEST_SUPPORT_H
