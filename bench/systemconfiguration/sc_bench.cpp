// One preferences transaction on stores of 10, 100 and 1,000 services (seven entities each):
// SCPreferencesCreate, one SCPreferencesPathSetValue and SCPreferencesCommitChanges through the
// stand-in, against libplist alone doing the same work on the same file (read it, parse it,
// change one entity, write XML, write the file). The stand-in also takes its commit lock,
// re-reads the store to compare digests, syncs and renames; the files live in /dev/shm when it
// exists, so that the disk does not drown the comparison.
#include <SystemConfiguration/SystemConfiguration.h>
#include <benchmark/benchmark.h>
#include <plist/plist.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string ServiceID(int i)
{
    char id[40];
    std::snprintf(id, sizeof id, "6B1F0C2A-0000-4000-8000-%012X", i);
    return id;
}

// The XML of a store shaped like the system's: each service with its Interface, IPv4, IPv6, DNS,
// Proxies, an inactive PPP and Ethernet entity, linked from set "0", which is current.
std::string StoreXML(int services)
{
    std::ostringstream x;
    auto key = [&](const std::string &k) { x << "<key>" << k << "</key>"; };
    auto str = [&](const std::string &k, const std::string &v) { key(k); x << "<string>" << v << "</string>"; };
    auto num = [&](const std::string &k, int v) { key(k); x << "<integer>" << v << "</integer>"; };
    x << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>";
    str("CurrentSet", "/Sets/0");
    key("NetworkServices");
    x << "<dict>";
    for (int i = 0; i < services; i++) {
        std::string name = "Ethernet Adaptor (en" + std::to_string(i) + ")";
        key(ServiceID(i));
        x << "<dict>";
        key("DNS"), x << "<dict/>";
        key("Ethernet"), x << "<dict/>";
        key("IPv4"), x << "<dict>", str("ConfigMethod", "DHCP"), x << "</dict>";
        key("IPv6"), x << "<dict>", str("ConfigMethod", "Automatic"), x << "</dict>";
        key("Interface"), x << "<dict>", str("DeviceName", "en" + std::to_string(i)), str("Hardware", "Ethernet");
        str("Type", "Ethernet"), str("UserDefinedName", name), x << "</dict>";
        key("PPP"), x << "<dict>", num("DialOnDemand", 0), num("IdleReminderTimer", 1800), num("LCPEchoInterval", 10);
        num("VerboseLogging", 0), num("__INACTIVE__", 1), x << "</dict>";
        key("Proxies"), x << "<dict>";
        key("ExceptionsList"), x << "<array><string>*.local</string><string>169.254/16</string></array>";
        for (const char *p : {"FTP", "Gopher", "HTTP", "HTTPS", "RTSP", "SOCKS"}) {
            num(std::string(p) + "Enable", 0);
        }
        num("FTPPassive", 1), x << "</dict>";
        str("UserDefinedName", name);
        x << "</dict>";
    }
    x << "</dict>";
    key("Sets"), x << "<dict>", key("0"), x << "<dict>", key("Network"), x << "<dict>";
    key("Global"), x << "<dict>", key("IPv4"), x << "<dict>", key("ServiceOrder"), x << "<array>";
    for (int i = 0; i < services; i++) {
        x << "<string>" << ServiceID(i) << "</string>";
    }
    x << "</array></dict></dict>";
    key("Service"), x << "<dict>";
    for (int i = 0; i < services; i++) {
        key(ServiceID(i)), x << "<dict>", str("__LINK__", "/NetworkServices/" + ServiceID(i)), x << "</dict>";
    }
    x << "</dict></dict>";
    str("UserDefinedName", "Automatic");
    x << "</dict></dict></dict></plist>\n";
    return x.str();
}

std::string ScratchStore(int services)
{
    std::filesystem::path base = std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
    std::filesystem::path folder = base / ("sc_bench_" + std::to_string(services));
    std::filesystem::create_directories(folder);
    std::string path = (folder / "preferences.plist").string();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << StoreXML(services);
    return path;
}

void StandInTransaction(benchmark::State &state)
{
    int services = static_cast<int>(state.range(0));
    std::string path = ScratchStore(services);
    CFStringRef prefsID = CFStringCreateWithCString(nullptr, path.c_str(), kCFStringEncodingUTF8);
    std::string target = "/NetworkServices/" + ServiceID(services / 2) + "/IPv4";
    CFStringRef entityPath = CFStringCreateWithCString(nullptr, target.c_str(), kCFStringEncodingUTF8);
    long counter = 0;
    for (auto _ : state) {
        SCPreferencesRef prefs = SCPreferencesCreate(nullptr, CFSTR("bench"), prefsID);
        CFMutableDictionaryRef ipv4 =
            CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
        CFNumberRef n = CFNumberCreate(nullptr, kCFNumberLongType, &++counter);
        CFDictionarySetValue(ipv4, CFSTR("ConfigMethod"), CFSTR("Manual"));
        CFDictionarySetValue(ipv4, CFSTR("Generation"), n);
        bool ok = prefs != nullptr && SCPreferencesPathSetValue(prefs, entityPath, ipv4) && SCPreferencesCommitChanges(prefs);
        CFRelease(n);
        CFRelease(ipv4);
        if (prefs != nullptr) {
            CFRelease(prefs);
        }
        if (!ok) {
            state.SkipWithError("the transaction failed");
            break;
        }
    }
    CFRelease(entityPath);
    CFRelease(prefsID);
}

void LibplistTransaction(benchmark::State &state)
{
    int services = static_cast<int>(state.range(0));
    std::string path = ScratchStore(services);
    std::string id = ServiceID(services / 2);
    long counter = 0;
    for (auto _ : state) {
        std::ifstream in(path, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        plist_t root = nullptr;
        plist_from_xml(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
        plist_t service = plist_dict_get_item(plist_dict_get_item(root, "NetworkServices"), id.c_str());
        plist_t ipv4 = plist_new_dict();
        plist_dict_set_item(ipv4, "ConfigMethod", plist_new_string("Manual"));
        plist_dict_set_item(ipv4, "Generation", plist_new_uint(static_cast<uint64_t>(++counter)));
        plist_dict_set_item(service, "IPv4", ipv4);
        char *xml = nullptr;
        uint32_t length = 0;
        plist_to_xml(root, &xml, &length);
        std::ofstream(path, std::ios::binary | std::ios::trunc).write(xml, length);
        plist_to_xml_free(xml);
        plist_free(root);
    }
}

}  // namespace

BENCHMARK(StandInTransaction)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(LibplistTransaction)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
