// Fuzzes the preferences store with arbitrary store files. A file the stand-in refuses must make
// SCPreferencesCreate fail with a status and stay as it was, byte for byte; a file it takes is
// walked through the value, path, link and network-configuration calls, changed, committed,
// applied and read back. Nothing made may outlive the walk.
#include "FuzzCheck.h"
#include "FuzzScratch.h"
#include "PlatformTesting.h"

#include <SystemConfiguration/SystemConfiguration.h>

#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string gFolder;
std::string gStore;

std::string ReadAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The keys of a dictionary value (none for anything else).
std::vector<CFStringRef> StringKeys(CFTypeRef value)
{
    std::vector<CFStringRef> keys;
    if (value == nullptr || CFGetTypeID(value) != CFDictionaryGetTypeID()) {
        return keys;
    }
    auto dict = static_cast<CFDictionaryRef>(value);
    std::vector<const void *> all(static_cast<size_t>(CFDictionaryGetCount(dict)));
    CFDictionaryGetKeysAndValues(dict, all.data(), nullptr);
    for (const void *key : all) {
        if (CFGetTypeID(key) == CFStringGetTypeID()) {
            keys.push_back(static_cast<CFStringRef>(key));
        }
    }
    return keys;
}

CFStringRef NewPath(CFStringRef a, CFStringRef b, CFStringRef c = nullptr)
{
    return c == nullptr ? CFStringCreateWithFormat(nullptr, nullptr, CFSTR("/%@/%@"), a, b)
                        : CFStringCreateWithFormat(nullptr, nullptr, CFSTR("/%@/%@/%@"), a, b, c);
}

// Every set's dictionary, its services' links and their targets.
void WalkSets(SCPreferencesRef prefs)
{
    for (CFStringRef setID : StringKeys(SCPreferencesGetValue(prefs, kSCPrefSets))) {
        CFStringRef setPath = NewPath(kSCPrefSets, setID);
        FUZZ_CHECK(setPath != nullptr);
        (void)SCPreferencesPathGetValue(prefs, setPath);
        CFStringRef servicesPath =
            CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%@/%@/%@"), setPath, kSCCompNetwork, kSCCompService);
        for (CFStringRef serviceID : StringKeys(SCPreferencesPathGetValue(prefs, servicesPath))) {
            CFStringRef linkPath = CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%@/%@"), servicesPath, serviceID);
            CFStringRef target = SCPreferencesPathGetLink(prefs, linkPath);
            if (target != nullptr) {
                (void)SCPreferencesPathGetValue(prefs, target);
            }
            (void)SCPreferencesPathGetValue(prefs, linkPath);
            CFRelease(linkPath);
        }
        CFRelease(servicesPath);
        CFRelease(setPath);
    }
}

// The current set's services as the provisioning run sees them.
void WalkViews(SCPreferencesRef prefs)
{
    SCNetworkSetRef set = SCNetworkSetCopyCurrent(prefs);
    if (set == nullptr) {
        return;
    }
    (void)SCNetworkSetGetSetID(set);
    (void)SCNetworkSetGetName(set);
    CFArrayRef services = SCNetworkSetCopyServices(set);
    for (CFIndex i = 0; services != nullptr && i < CFArrayGetCount(services); i++) {
        auto service = static_cast<SCNetworkServiceRef>(CFArrayGetValueAtIndex(services, i));
        (void)SCNetworkServiceGetServiceID(service);
        (void)SCNetworkServiceGetName(service);
        for (SCNetworkInterfaceRef interface = SCNetworkServiceGetInterface(service); interface != nullptr;
             interface = SCNetworkInterfaceGetInterface(interface)) {
            (void)SCNetworkInterfaceGetInterfaceType(interface);
            (void)SCNetworkInterfaceGetBSDName(interface);
        }
    }
    if (services != nullptr) {
        CFRelease(services);
    }
    CFRelease(set);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    gFolder = FuzzScratchPath("scpreferences");
    FUZZ_CHECK(mkdir(gFolder.c_str(), 0700) == 0 || errno == EEXIST);
    gStore = gFolder + "/preferences.plist";
    PlatformTestingSetPreferencesPath(gStore.c_str());
    PlatformTestingSetDynamicStorePath((gFolder + "/dynamic-store.plist").c_str());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string input(reinterpret_cast<const char *>(data), size);
    FuzzWriteScratch(gStore, data, size);
    long live = PlatformTestingCFLiveObjectCount();

    SCPreferencesRef prefs = SCPreferencesCreate(nullptr, CFSTR("fuzz"), nullptr);
    if (prefs == nullptr) {
        FUZZ_CHECK(SCError() != kSCStatusOK);
        FUZZ_CHECK(ReadAll(gStore) == input);
        FUZZ_CHECK(PlatformTestingCFLiveObjectCount() == live);
        return 0;
    }
    CFArrayRef keys = SCPreferencesCopyKeyList(prefs);
    FUZZ_CHECK(keys != nullptr);
    CFRelease(keys);
    (void)SCPreferencesGetValue(prefs, kSCPrefCurrentSet);
    WalkSets(prefs);
    WalkViews(prefs);

    // A change, committed and applied, then read back by a second object.
    CFDictionaryRef empty = CFDictionaryCreate(nullptr, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                               &kCFTypeDictionaryValueCallBacks);
    CFStringRef path = NewPath(CFSTR("FuzzWritten"), CFSTR("Child"));
    (void)SCPreferencesRemoveValue(prefs, CFSTR("FuzzWritten"));
    FUZZ_CHECK(SCPreferencesPathSetValue(prefs, path, empty));
    if (!SCPreferencesCommitChanges(prefs)) {
        // The reader takes text XML cannot carry (control characters in a key, say), which the
        // writer refuses to write: the commit then fails with a status and the store stays.
        FUZZ_CHECK(SCError() != kSCStatusOK);
        FUZZ_CHECK(ReadAll(gStore) == input);
        CFRelease(prefs);
        CFRelease(path);
        CFRelease(empty);
        FUZZ_CHECK(PlatformTestingCFLiveObjectCount() == live);
        return 0;
    }
    (void)SCPreferencesApplyChanges(prefs);
    CFRelease(prefs);

    SCPreferencesRef again = SCPreferencesCreate(nullptr, CFSTR("fuzz"), nullptr);
    FUZZ_CHECK(again != nullptr);
    CFDictionaryRef written = SCPreferencesPathGetValue(again, path);
    FUZZ_CHECK(written != nullptr && CFEqual(written, empty));
    CFRelease(again);
    CFRelease(path);
    CFRelease(empty);
    FUZZ_CHECK(PlatformTestingCFLiveObjectCount() == live);
    return 0;
}
