// The live source on this machine: the registry's network interfaces against what the kernel
// reports through getifaddrs, and virtual links made in a network namespace of the test's own.
#include <gtest/gtest.h>

#include <IOKit/IOKitLib.h>

#include "PlatformTesting.h"
#include "TestSupport.h"

#include <ifaddrs.h>
#include <linux/if_arp.h>
#include <linux/if_packet.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

using namespace iokit_test;

namespace {

std::string Hex(const std::vector<uint8_t> &bytes)
{
    std::string text;
    char pair[4];
    for (uint8_t byte : bytes) {
        std::snprintf(pair, sizeof pair, text.empty() ? "%02x" : ":%02x", byte);
        text += pair;
    }
    return text;
}

// Ethernet-type links as the kernel lists them: name -> hardware address.
std::map<std::string, std::string> KernelEthernetLinks()
{
    std::map<std::string, std::string> links;
    struct ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0) {
        return links;
    }
    for (struct ifaddrs *at = list; at != nullptr; at = at->ifa_next) {
        if (at->ifa_addr == nullptr || at->ifa_addr->sa_family != AF_PACKET) {
            continue;
        }
        const auto *link = reinterpret_cast<const struct sockaddr_ll *>(at->ifa_addr);
        if (link->sll_hatype == ARPHRD_ETHER) {
            links[at->ifa_name] = Hex(std::vector<uint8_t>(link->sll_addr, link->sll_addr + link->sll_halen));
        }
    }
    freeifaddrs(list);
    return links;
}

// The registry's network interfaces: BSD name -> "address class-of-device".
std::map<std::string, std::string> RegistryInterfaces()
{
    std::map<std::string, std::string> interfaces;
    std::vector<io_object_t> found = Matching(IOServiceMatching("IONetworkInterface"));
    for (io_object_t interface : found) {
        io_object_t controller = Parent(interface);
        io_object_t device = Parent(controller);
        if (NumberProperty(interface, "IOInterfaceType") == 6) {
            interfaces[StringProperty(interface, "BSD Name")] =
                Hex(DataProperty(controller, "IOMACAddress")) + " " + ClassOf(device);
        }
        IOObjectRelease(controller);
        IOObjectRelease(device);
    }
    ReleaseAll(found);
    return interfaces;
}

bool Privileged(std::string &why)
{
    if (geteuid() != 0) {
        why = "needs root to make a network namespace";
        return false;
    }
    return true;
}

TEST(IOKitLiveMachineTest, EveryEthernetLinkOfTheKernelIsARegistryInterfaceWithItsAddress)
{
    PlatformTestingReset();
    // Links made or removed meanwhile by someone else (a test's network namespace being set up)
    // would make the two views differ: compare a registry read between two equal kernel views.
    std::map<std::string, std::string> kernel;
    std::map<std::string, std::string> registry;
    for (int attempt = 0; attempt < 5; ++attempt) {
        kernel = KernelEthernetLinks();
        registry = RegistryInterfaces();
        if (KernelEthernetLinks() == kernel) {
            break;
        }
    }
    ASSERT_EQ(kernel.size(), registry.size());
    for (const auto &[name, address] : kernel) {
        ASSERT_EQ(1u, registry.count(name)) << name;
        EXPECT_EQ(address, registry[name].substr(0, registry[name].find(' '))) << name;
    }
}

TEST(IOKitLiveMachineTest, VirtualLinksOfANetworkNamespaceWithTheVendorsAddress)
{
    std::string why;
    if (!Privileged(why)) {
        if (std::getenv("CI") != nullptr && std::string(std::getenv("CI")) == "true") {
            FAIL() << why;
        }
        GTEST_SKIP() << why;
    }
    int pipeFds[2];
    ASSERT_EQ(0, pipe(pipeFds));
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A network namespace of its own, with sysfs remounted so that it shows that namespace.
        close(pipeFds[0]);
        std::string report;
        if (unshare(CLONE_NEWNET | CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("sysfs", "/sys", "sysfs", 0, nullptr) != 0) {
            report = "error: namespace";
        } else if (std::system("ip link add vs0 address 0a:3f:71:aa:bb:01 type veth peer name vs1 address 0a:3f:71:aa:bb:02") != 0) {
            report = "error: ip link";
        } else {
            for (const auto &[name, description] : RegistryInterfaces()) {
                report += name + " " + description + "\n";
            }
            report += "kernel";
            for (const auto &[name, address] : KernelEthernetLinks()) {
                report += " " + name;
            }
        }
        ssize_t written = write(pipeFds[1], report.data(), report.size());
        _exit(written == static_cast<ssize_t>(report.size()) ? 0 : 1);
    }
    close(pipeFds[1]);
    std::string report;
    char buffer[4096];
    ssize_t got;
    while ((got = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        report.append(buffer, static_cast<std::size_t>(got));
    }
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << report;
    EXPECT_EQ("vs0 0a:3f:71:aa:bb:01 IOResources\n"
              "vs1 0a:3f:71:aa:bb:02 IOResources\n"
              "kernel vs0 vs1",
              report);
}

}  // namespace
