// One whole NetSprout run against stores of 10, 100 and 1,000 services, and libplist alone
// reading and writing the same store file. The run is the tool's own main (compiled in as
// NetSproutMain, its pause recorded instead of slept) over the sample registry, whose one port of
// the maker gets its service: the scan, the locked look-up through the network-configuration
// views, the creation, the commit (temporary file, fsync, rename) and the apply to the dynamic
// store. Before each run the store goes back to its N services. The files live on /dev/shm where
// it exists, so that the figures are the work of the code, not of a disk.
#include <benchmark/benchmark.h>
#include <plist/plist.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "PlatformTesting.h"

int NetSproutMain(int argc, char **argv);

namespace {

// A service as NetSprout makes them, over device "bench<i>" (never a port of the registry).
plist_t MakeService(int i)
{
    std::string name = "Bench Adaptor (bench" + std::to_string(i) + ")";
    plist_t service = plist_new_dict();
    plist_t interface = plist_new_dict();
    plist_dict_set_item(interface, "DeviceName", plist_new_string(("bench" + std::to_string(i)).c_str()));
    plist_dict_set_item(interface, "Hardware", plist_new_string("Ethernet"));
    plist_dict_set_item(interface, "Type", plist_new_string("Ethernet"));
    plist_dict_set_item(interface, "UserDefinedName", plist_new_string(name.c_str()));
    plist_dict_set_item(service, "Interface", interface);
    plist_dict_set_item(service, "UserDefinedName", plist_new_string(name.c_str()));
    plist_t proxies = plist_new_dict();
    for (const char *key : {"FTPPassive", "ExcludeSimpleHostnames", "ProxyAutoDiscoveryEnable"}) {
        plist_dict_set_item(proxies, key, plist_new_uint(key[0] == 'F' ? 1 : 0));
    }
    plist_dict_set_item(service, "Proxies", proxies);
    plist_dict_set_item(service, "DNS", plist_new_dict());
    plist_t ipv4 = plist_new_dict();
    plist_dict_set_item(ipv4, "ConfigMethod", plist_new_string("DHCP"));
    plist_dict_set_item(service, "IPv4", ipv4);
    plist_t ipv6 = plist_new_dict();
    plist_dict_set_item(ipv6, "ConfigMethod", plist_new_string("Automatic"));
    plist_dict_set_item(service, "IPv6", ipv6);
    plist_t ppp = plist_new_dict();
    for (const char *key : {"__INACTIVE__", "DialOnDemand", "DisconnectOnIdle", "DisconnectOnLogout", "IdleReminder",
                            "CommRedialEnabled", "CommRedialCount", "IPCPCompressionVJ", "LCPEchoEnabled",
                            "VerboseLogging", "ACSPEnabled", "DisconnectOnSleep"}) {
        plist_dict_set_item(ppp, key, plist_new_uint(1));
    }
    plist_dict_set_item(ppp, "Logfile", plist_new_string("/var/log/ppp.log"));
    plist_dict_set_item(service, "PPP", ppp);
    plist_t ethernet = plist_new_dict();
    char address[32];
    std::snprintf(address, sizeof address, "02:00:00:00:%02x:%02x", (i >> 8) & 0xff, i & 0xff);
    plist_dict_set_item(ethernet, "MACAddress", plist_new_string(address));
    plist_dict_set_item(service, "Ethernet", ethernet);
    return service;
}

// The XML text of a store whose current set "Automatic" links and orders `services` services.
std::string MakeStoreText(int services)
{
    plist_t all = plist_new_dict();
    plist_t links = plist_new_dict();
    plist_t order = plist_new_array();
    for (int i = 0; i < services; i++) {
        char id[40];
        std::snprintf(id, sizeof id, "0BE0C4A0-0000-4000-8000-%012X", i);
        plist_dict_set_item(all, id, MakeService(i));
        plist_t link = plist_new_dict();
        plist_dict_set_item(link, "__LINK__", plist_new_string((std::string("/NetworkServices/") + id).c_str()));
        plist_dict_set_item(links, id, link);
        plist_array_append_item(order, plist_new_string(id));
    }
    plist_t ipv4 = plist_new_dict();
    plist_dict_set_item(ipv4, "ServiceOrder", order);
    plist_t global = plist_new_dict();
    plist_dict_set_item(global, "IPv4", ipv4);
    plist_t network = plist_new_dict();
    plist_dict_set_item(network, "Global", global);
    plist_dict_set_item(network, "Service", links);
    plist_t set = plist_new_dict();
    plist_dict_set_item(set, "Network", network);
    plist_dict_set_item(set, "UserDefinedName", plist_new_string("Automatic"));
    plist_t sets = plist_new_dict();
    plist_dict_set_item(sets, "0", set);
    plist_t store = plist_new_dict();
    plist_dict_set_item(store, "CurrentSet", plist_new_string("/Sets/0"));
    plist_dict_set_item(store, "NetworkServices", all);
    plist_dict_set_item(store, "Sets", sets);
    char *xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(store, &xml, &length);
    std::string text(xml, length);
    free(xml);
    plist_free(store);
    return text;
}

std::string ReadAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteAll(const std::string &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// A scratch folder holding the store and the dynamic store, removed at the end.
struct Scratch {
    std::string folder;
    std::string store;
    Scratch()
    {
        std::string pattern = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + std::string("/netsprout-bench.XXXXXX");
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("netsprout_run_bench: mkdtemp");
            std::exit(1);
        }
        folder = pattern;
        store = folder + "/preferences.plist";
    }
    ~Scratch() { std::system(("rm -rf '" + folder + "'").c_str()); }
};

void BM_NetSproutRun(benchmark::State &state)
{
    Scratch scratch;
    std::string original = MakeStoreText(static_cast<int>(state.range(0)));
    PlatformTestingSetPreferencesPath(scratch.store.c_str());
    PlatformTestingSetDynamicStorePath((scratch.folder + "/dynamic-store.plist").c_str());
    PlatformTestingSetIORegistrySnapshot(NETSPROUT_SAMPLE_REGISTRY);
    char name[] = "NetSprout";
    char *argv[] = {name, nullptr};
    for (auto _ : state) {
        state.PauseTiming();
        WriteAll(scratch.store, original);
        state.ResumeTiming();
        benchmark::DoNotOptimize(NetSproutMain(1, argv));
    }
    // The last run must have added exactly one service.
    plist_t after = nullptr;
    std::string text = ReadAll(scratch.store);
    plist_from_xml(text.data(), static_cast<uint32_t>(text.size()), &after);
    plist_t services = after != nullptr ? plist_dict_get_item(after, "NetworkServices") : nullptr;
    if (services == nullptr || plist_dict_get_size(services) != static_cast<uint32_t>(state.range(0)) + 1) {
        state.SkipWithError("the run did not add one service to the store");
    }
    plist_free(after);
    state.counters["store_bytes"] = static_cast<double>(original.size());
    PlatformTestingSetPreferencesPath(nullptr);
    PlatformTestingSetDynamicStorePath(nullptr);
    PlatformTestingSetIORegistrySnapshot(nullptr);
}

// The peer: the same store file read and parsed, then written back, by libplist alone.
void BM_LibplistReadWrite(benchmark::State &state)
{
    Scratch scratch;
    std::string original = MakeStoreText(static_cast<int>(state.range(0)));
    WriteAll(scratch.store, original);
    for (auto _ : state) {
        std::string text = ReadAll(scratch.store);
        plist_t store = nullptr;
        plist_from_xml(text.data(), static_cast<uint32_t>(text.size()), &store);
        char *xml = nullptr;
        uint32_t length = 0;
        plist_to_xml(store, &xml, &length);
        WriteAll(scratch.store, std::string(xml, length));
        free(xml);
        plist_free(store);
    }
    state.counters["store_bytes"] = static_cast<double>(original.size());
}

BENCHMARK(BM_NetSproutRun)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibplistReadWrite)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
