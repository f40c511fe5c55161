// The port scanner over the live system: this machine's own network interfaces, and a private
// network namespace holding the vendor's veth "en5" (sysfs mounted again, no serial ports).
#include "MoreSCFPortScanner.h"

#include "PlistText.h"
#include "StandInTestSupport.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

using standintest::CFRef;
namespace fs = std::filesystem;

namespace {

std::string ReadLine(const fs::path &path)
{
    std::string line;
    std::ifstream in(path);
    std::getline(in, line);
    return line;
}

// The scan as text, one port per line "<device>|<name>|<sort>|<address>", or "error <status>".
std::string ScanText()
{
    CFRef<CFArrayRef> ports;
    OSStatus err = MoreSCCreatePortArray(ports.slot());
    if (err != noErr) {
        return "error " + std::to_string(err);
    }
    std::string out;
    for (CFIndex i = 0; i < CFArrayGetCount(ports); i++) {
        CFDictionaryRef port = static_cast<CFDictionaryRef>(CFArrayGetValueAtIndex(ports, i));
        CFTypeRef address = CFDictionaryGetValue(port, kSCPropMACAddress);
        out += plisttext::Text(CFDictionaryGetValue(port, kSCPropNetInterfaceDeviceName)) + "|" +
               plisttext::Text(CFDictionaryGetValue(port, kSCPropUserDefinedName)) + "|" +
               plisttext::Text(CFDictionaryGetValue(port, CFSTR("SortOrder"))) + "|" +
               (address != nullptr ? plisttext::Text(address) : "") + "\n";
    }
    return out;
}

bool UnderCI()
{
    const char *ci = std::getenv("CI");
    return ci != nullptr && std::string(ci) == "true";
}

class LivePortsTest : public standintest::SeamTest {};

TEST_F(LivePortsTest, ThisMachinesInterfacesEachOnceWithTheirAddresses)
{
    // The reference: sysfs read here, independently of the IOKit stand-in.
    std::map<std::string, std::string> expected;  // interface -> address
    for (const auto &entry : fs::directory_iterator("/sys/class/net")) {
        std::string type = ReadLine(entry.path() / "type");
        if (type == "1" || type == "24") {
            std::string address = ReadLine(entry.path() / "address");
            expected[entry.path().filename()] = (address.size() == 17 || address.size() == 23) ? address : "";
        }
    }
    CFRef<CFArrayRef> ports;
    ASSERT_EQ(noErr, MoreSCCreatePortArray(ports.slot()));
    std::map<std::string, std::string> found;
    long previousSort = -1;
    for (CFIndex i = 0; i < CFArrayGetCount(ports); i++) {
        CFDictionaryRef port = static_cast<CFDictionaryRef>(CFArrayGetValueAtIndex(ports, i));
        std::string name = plisttext::Text(CFDictionaryGetValue(port, kSCPropUserDefinedName));
        SCOPED_TRACE(plisttext::Text(port));
        EXPECT_EQ(std::string::npos, name.find("%")) << "a keyword was left in the name";
        EXPECT_GE(SortOrder(port), previousSort);
        previousSort = SortOrder(port);
        if (plisttext::Text(CFDictionaryGetValue(port, kSCPropNetInterfaceType)) == "PPP") {
            continue;  // a serial port
        }
        CFTypeRef address = CFDictionaryGetValue(port, kSCPropMACAddress);
        found[plisttext::Text(CFDictionaryGetValue(port, kSCPropNetInterfaceDeviceName))] =
            address != nullptr ? plisttext::Text(address) : "";
        // A card on PCI is named by its slot, "unknown" when the machine reports none.
        if (name.rfind("PCI Ethernet Slot ", 0) == 0) {
            EXPECT_TRUE(CFDictionaryContainsKey(port, CFSTR("AAPL,slot-name")));
        }
    }
    EXPECT_EQ(expected, found);
}

// In a forked child with its own network and mount namespaces: a veth pair "en5" (the vendor's
// address) and "vpeer0" (a locally administered one), sysfs mounted again, an empty tmpfs over
// /sys/class/tty. The child writes "SKIP <reason>" or the scan's text to the pipe.
std::string ScanInNetworkNamespace()
{
    int fds[2];
    if (pipe(fds) != 0) {
        return "SKIP no pipe";
    }
    pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        auto report = [&](const std::string &text) {
            ssize_t ignored = write(fds[1], text.data(), text.size());
            (void) ignored;
            _exit(0);
        };
        if (unshare(CLONE_NEWNET | CLONE_NEWNS) != 0) {
            report("SKIP cannot unshare network and mount namespaces (needs root)");
        }
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("sysfs", "/sys", "sysfs", 0, nullptr) != 0 ||
            mount("tmpfs", "/sys/class/tty", "tmpfs", 0, "size=64k") != 0) {
            report("SKIP cannot mount sysfs and tmpfs in the namespace");
        }
        if (std::system("ip link add en5 address 0a:3f:71:12:34:56 type veth peer name vpeer0 "
                        "address 02:00:00:00:00:07 >/dev/null 2>&1") != 0) {
            report("SKIP cannot create a veth pair with ip link");
        }
        report(ScanText());
    }
    close(fds[1]);
    std::string out;
    char buffer[4096];
    ssize_t got;
    while ((got = read(fds[0], buffer, sizeof buffer)) > 0) {
        out.append(buffer, static_cast<size_t>(got));
    }
    close(fds[0]);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return "child failed: " + out;
    }
    return out;
}

TEST_F(LivePortsTest, VendorVethInANetworkNamespaceIsAnEthernetAdaptorInItsPlace)
{
    std::string scan = ScanInNetworkNamespace();
    if (scan.rfind("SKIP ", 0) == 0) {
        if (UnderCI()) {
            FAIL() << scan.substr(5);
        }
        GTEST_SKIP() << scan.substr(5);
    }
    EXPECT_EQ("en5|Ethernet Adaptor (en5)|#12|0a:3f:71:12:34:56\n"
              "vpeer0|Ethernet Adaptor (vpeer0)|#12|02:00:00:00:00:07\n",
              scan);
}

}  // namespace
