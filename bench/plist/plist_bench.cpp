// Reading and writing a 1,000-service network preferences store (XML property list) through the
// CoreFoundation stand-in, against libplist alone parsing and writing the same bytes. The
// stand-in's reader and writer use libplist and convert to and from objects; the ratio of the
// paired benchmarks is the stand-in's overhead.
#include <CoreFoundation/CoreFoundation.h>
#include <benchmark/benchmark.h>
#include <plist/plist.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Set(CFMutableDictionaryRef d, const char *key, CFTypeRef value)
{
    CFStringRef k = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    CFDictionarySetValue(d, k, value);
    CFRelease(k);
    CFRelease(value);
}

CFStringRef Text(const char *text) { return CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8); }

CFMutableDictionaryRef Dict()
{
    return CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
}

CFNumberRef Number(long v) { return CFNumberCreate(nullptr, kCFNumberLongType, &v); }

// A store shaped like the system's network preferences: services with their entities, one set
// linking them all, its service order.
CFDictionaryRef MakeStore(int services)
{
    CFMutableDictionaryRef store = Dict();
    CFMutableDictionaryRef all = Dict();
    CFMutableDictionaryRef links = Dict();
    CFMutableArrayRef order = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    for (int i = 0; i < services; ++i) {
        CFUUIDRef uuid = CFUUIDCreate(nullptr);
        CFStringRef id = CFUUIDCreateString(nullptr, uuid);
        CFRelease(uuid);
        char name[64];
        std::snprintf(name, sizeof name, "Ethernet Adaptor (en%d)", i);
        char device[16];
        std::snprintf(device, sizeof device, "en%d", i);

        CFMutableDictionaryRef service = Dict();
        CFMutableDictionaryRef iface = Dict();
        Set(iface, "DeviceName", Text(device));
        Set(iface, "Hardware", Text("Ethernet"));
        Set(iface, "Type", Text("Ethernet"));
        Set(iface, "UserDefinedName", Text(name));
        Set(service, "Interface", iface);
        CFMutableDictionaryRef ipv4 = Dict();
        Set(ipv4, "ConfigMethod", Text("DHCP"));
        Set(service, "IPv4", ipv4);
        CFMutableDictionaryRef ipv6 = Dict();
        Set(ipv6, "ConfigMethod", Text("Automatic"));
        Set(service, "IPv6", ipv6);
        Set(service, "DNS", Dict());
        CFMutableDictionaryRef proxies = Dict();
        CFMutableArrayRef exceptions = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
        CFArrayAppendValue(exceptions, CFSTR("*.local"));
        CFArrayAppendValue(exceptions, CFSTR("169.254/16"));
        Set(proxies, "ExceptionsList", exceptions);
        Set(proxies, "FTPPassive", Number(1));
        for (const char *g : {"FTP", "Gopher", "HTTP", "HTTPS", "RTSP", "SOCKS"}) {
            std::string key = std::string(g) + "Enable";
            Set(proxies, key.c_str(), Number(0));
        }
        Set(service, "Proxies", proxies);
        CFMutableDictionaryRef ppp = Dict();
        Set(ppp, "__INACTIVE__", Number(1));
        Set(ppp, "DialOnDemand", Number(0));
        Set(ppp, "IdleReminderTimer", Number(1800));
        Set(ppp, "LCPEchoInterval", Number(10));
        Set(ppp, "VerboseLogging", Number(0));
        Set(service, "PPP", ppp);
        Set(service, "Ethernet", Dict());
        Set(service, "UserDefinedName", Text(name));
        CFDictionarySetValue(all, id, service);
        CFRelease(service);

        CFMutableDictionaryRef link = Dict();
        CFStringRef target = CFStringCreateWithFormat(nullptr, nullptr, CFSTR("/NetworkServices/%@"), id);
        Set(link, "__LINK__", target);
        CFDictionarySetValue(links, id, link);
        CFRelease(link);
        CFArrayAppendValue(order, id);
        CFRelease(id);
    }
    Set(store, "NetworkServices", all);
    CFMutableDictionaryRef set = Dict();
    CFMutableDictionaryRef network = Dict();
    CFMutableDictionaryRef global = Dict();
    CFMutableDictionaryRef ipv4 = Dict();
    Set(ipv4, "ServiceOrder", order);
    Set(global, "IPv4", ipv4);
    Set(network, "Global", global);
    Set(network, "Service", links);
    Set(set, "Network", network);
    Set(set, "UserDefinedName", Text("Automatic"));
    CFMutableDictionaryRef sets = Dict();
    Set(sets, "0", set);
    Set(store, "Sets", sets);
    Set(store, "CurrentSet", Text("/Sets/0"));
    return store;
}

struct Fixture {
    CFDictionaryRef store = nullptr;
    CFDataRef xml = nullptr;
    plist_t parsed = nullptr;
    Fixture()
    {
        store = MakeStore(1000);
        xml = CFPropertyListCreateData(nullptr, store, kCFPropertyListXMLFormat_v1_0, 0, nullptr);
        if (xml == nullptr) {
            std::fprintf(stderr, "plist_bench: the store could not be written\n");
            std::exit(1);
        }
        plist_from_xml(reinterpret_cast<const char *>(CFDataGetBytePtr(xml)), static_cast<uint32_t>(CFDataGetLength(xml)),
                       &parsed);
    }
};

Fixture &Shared()
{
    static Fixture fixture;
    return fixture;
}

void BM_Read_StandIn(benchmark::State &state)
{
    Fixture &f = Shared();
    for (auto _ : state) {
        CFPropertyListRef plist = CFPropertyListCreateWithData(nullptr, f.xml, kCFPropertyListMutableContainers, nullptr, nullptr);
        benchmark::DoNotOptimize(plist);
        CFRelease(plist);
    }
    state.SetBytesProcessed(state.iterations() * CFDataGetLength(f.xml));
}

void BM_Read_LibplistAlone(benchmark::State &state)
{
    Fixture &f = Shared();
    for (auto _ : state) {
        plist_t plist = nullptr;
        plist_from_xml(reinterpret_cast<const char *>(CFDataGetBytePtr(f.xml)), static_cast<uint32_t>(CFDataGetLength(f.xml)),
                       &plist);
        benchmark::DoNotOptimize(plist);
        plist_free(plist);
    }
    state.SetBytesProcessed(state.iterations() * CFDataGetLength(f.xml));
}

void BM_Write_StandIn(benchmark::State &state)
{
    Fixture &f = Shared();
    for (auto _ : state) {
        CFDataRef data = CFPropertyListCreateData(nullptr, f.store, kCFPropertyListXMLFormat_v1_0, 0, nullptr);
        benchmark::DoNotOptimize(data);
        CFRelease(data);
    }
    state.SetBytesProcessed(state.iterations() * CFDataGetLength(f.xml));
}

void BM_Write_LibplistAlone(benchmark::State &state)
{
    Fixture &f = Shared();
    for (auto _ : state) {
        char *out = nullptr;
        uint32_t length = 0;
        plist_to_xml(f.parsed, &out, &length);
        benchmark::DoNotOptimize(out);
        std::free(out);
    }
    state.SetBytesProcessed(state.iterations() * CFDataGetLength(f.xml));
}

// libplist building a tree of the same shape and writing it: the floor of any writer that
// goes through libplist's tree.
void BM_Write_LibplistBuildTree(benchmark::State &state)
{
    Fixture &f = Shared();
    for (auto _ : state) {
        plist_t copy = plist_copy(f.parsed);
        char *out = nullptr;
        uint32_t length = 0;
        plist_to_xml(copy, &out, &length);
        benchmark::DoNotOptimize(out);
        std::free(out);
        plist_free(copy);
    }
    state.SetBytesProcessed(state.iterations() * CFDataGetLength(f.xml));
}

}  // namespace

BENCHMARK(BM_Read_StandIn)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read_LibplistAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write_StandIn)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write_LibplistAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write_LibplistBuildTree)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
