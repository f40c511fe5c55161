// Fuzzes the registry snapshot loader: arbitrary bytes become the registry (XML through the text
// seam, binary through a scratch file), which is then walked as the programs walk it: from the
// root down every child iterator, every entry's class, name, properties one by one and as a
// table, its parent, a search up through its ancestors, and matching by the usual classes.
// Whatever the snapshot holds, the calls agree with each other and release every handle and
// object they made.
#include "FuzzCheck.h"
#include "FuzzScratch.h"
#include "PlatformTesting.h"

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/IOBSD.h>
#include <IOKit/IOKitKeys.h>
#include <IOKit/IOKitLib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string gScratch;

void CheckEntry(io_registry_entry_t entry)
{
    io_name_t className;
    FUZZ_CHECK(IOObjectGetClass(entry, className) == KERN_SUCCESS);
    FUZZ_CHECK(std::memchr(className, 0, sizeof className) != nullptr);
    FUZZ_CHECK(IOObjectConformsTo(entry, className));
    CFStringRef classCopy = IOObjectCopyClass(entry);
    FUZZ_CHECK(classCopy != nullptr);
    CFRelease(classCopy);
    io_name_t name;
    FUZZ_CHECK(IORegistryEntryGetName(entry, name) == KERN_SUCCESS);
    FUZZ_CHECK(std::memchr(name, 0, sizeof name) != nullptr);

    CFMutableDictionaryRef properties = nullptr;
    FUZZ_CHECK(IORegistryEntryCreateCFProperties(entry, &properties, kCFAllocatorDefault, 0) == KERN_SUCCESS);
    FUZZ_CHECK(properties != nullptr);
    CFIndex count = CFDictionaryGetCount(properties);
    std::vector<const void *> keys(static_cast<size_t>(count));
    std::vector<const void *> values(static_cast<size_t>(count));
    CFDictionaryGetKeysAndValues(properties, keys.data(), values.data());
    for (CFIndex i = 0; i < count; ++i) {
        FUZZ_CHECK(CFGetTypeID(keys[static_cast<size_t>(i)]) == CFStringGetTypeID());
        CFStringRef key = static_cast<CFStringRef>(keys[static_cast<size_t>(i)]);
        CFTypeRef one = IORegistryEntryCreateCFProperty(entry, key, kCFAllocatorDefault, 0);
        FUZZ_CHECK(one != nullptr && CFEqual(one, values[static_cast<size_t>(i)]));
        CFRelease(one);
        CFTypeRef found = IORegistryEntrySearchCFProperty(entry, kIOServicePlane, key, kCFAllocatorDefault,
                                                          kIORegistryIterateRecursively | kIORegistryIterateParents);
        FUZZ_CHECK(found != nullptr && CFEqual(found, values[static_cast<size_t>(i)]));
        CFRelease(found);
    }
    CFRelease(properties);
    CFTypeRef searched = IORegistryEntrySearchCFProperty(entry, kIOServicePlane, CFSTR(kIOBSDNameKey), kCFAllocatorDefault,
                                                         kIORegistryIterateRecursively | kIORegistryIterateParents);
    if (searched != nullptr) {
        CFRelease(searched);
    }

    io_registry_entry_t parent = 0;
    if (IORegistryEntryGetParentEntry(entry, kIOServicePlane, &parent) == KERN_SUCCESS) {
        FUZZ_CHECK(parent != 0);
        FUZZ_CHECK(!IOObjectIsEqualTo(parent, entry));
        IOObjectRelease(parent);
    }
}

// Every entry under the root, depth first, without recursion.
void WalkTree()
{
    io_registry_entry_t root = IORegistryGetRootEntry(kIOMasterPortDefault);
    if (root == 0) {
        return;
    }
    std::vector<io_registry_entry_t> pending{root};
    size_t visited = 0;
    while (!pending.empty()) {
        io_registry_entry_t entry = pending.back();
        pending.pop_back();
        if (entry != root) {
            CheckEntry(entry);
        }
        ++visited;
        io_iterator_t children = 0;
        if (IORegistryEntryGetChildIterator(entry, kIOServicePlane, &children) == KERN_SUCCESS) {
            while (io_object_t child = IOIteratorNext(children)) {
                pending.push_back(child);
            }
            IOObjectRelease(children);
        }
        IOObjectRelease(entry);
        FUZZ_CHECK(visited < 1000000);
    }
}

void MatchEach(const char *className)
{
    io_iterator_t services = 0;
    if (IOServiceGetMatchingServices(kIOMasterPortDefault, IOServiceMatching(className), &services) != KERN_SUCCESS) {
        return;
    }
    while (io_object_t service = IOIteratorNext(services)) {
        FUZZ_CHECK(IOObjectConformsTo(service, className));
        CheckEntry(service);
        IOObjectRelease(service);
    }
    IOObjectRelease(services);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    gScratch = FuzzScratchPath("ioregistry");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    long liveHandles = PlatformTestingIOKitLiveObjectCount();
    long liveObjects = PlatformTestingCFLiveObjectCount();
    if (size >= 8 && std::memcmp(data, "bplist00", 8) == 0) {
        FuzzWriteScratch(gScratch, data, size);
        PlatformTestingSetIORegistrySnapshot(gScratch.c_str());
    } else {
        std::string text(reinterpret_cast<const char *>(data), size);
        PlatformTestingSetIORegistrySnapshotText(text.c_str()); // the text ends at its first zero byte
    }
    WalkTree();
    for (const char *className : {"IOService", "IOSerialBSDClient", "IOEthernetInterface", "IONetworkInterface",
                                  "IOUSBDevice", "IORegistryEntry"}) {
        MatchEach(className);
    }
    io_iterator_t byName = 0;
    if (IOServiceGetMatchingServices(kIOMasterPortDefault, IOBSDNameMatching(kIOMasterPortDefault, 0, "en5"), &byName) ==
        KERN_SUCCESS) {
        while (io_object_t service = IOIteratorNext(byName)) {
            IOObjectRelease(service);
        }
        IOObjectRelease(byName);
    }
    PlatformTestingResetIOKit();
    std::remove(gScratch.c_str());
    FUZZ_CHECK(PlatformTestingIOKitLiveObjectCount() == liveHandles);
    FUZZ_CHECK(PlatformTestingCFLiveObjectCount() == liveObjects);
    return 0;
}
