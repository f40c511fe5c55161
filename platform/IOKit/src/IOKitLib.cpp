// The IOKit calls: handles, iterators, matching and property access over the registry model.
#include <IOKit/IOKitLib.h>

#include <CoreFoundation/CFStandIn.h>

#include "CFSupport.h"
#include "Registry.h"
#include "PlatformTesting.h"
#include "StandInKit.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <unordered_map>

const mach_port_t kIOMasterPortDefault = 0;
const mach_port_t kIOMainPortDefault = 0;

namespace iokit {
namespace {

struct Object {
    bool iterator = false;
    long references = 1;
    std::shared_ptr<Registry> registry;  // keeps the entries alive
    Entry *entry = nullptr;              // a registry entry
    std::vector<Entry *> items;          // an iterator's entries
    std::size_t position = 0;
};

std::mutex gObjectMutex;
std::unordered_map<io_object_t, Object> gObjects;
// Handles look like the platform's port names: odd numbers, kHandleStep apart, the first one
// kHandleStep past kHandleBase.
constexpr io_object_t kHandleBase = 0x1003;
constexpr io_object_t kHandleStep = 4;
io_object_t gNextHandle = kHandleBase;

io_object_t NewHandle(Object object)
{
    std::lock_guard<std::mutex> lock(gObjectMutex);
    do {
        gNextHandle += kHandleStep;
    } while (gNextHandle == IO_OBJECT_NULL || gObjects.count(gNextHandle) != 0);
    gObjects.emplace(gNextHandle, std::move(object));
    return gNextHandle;
}

io_object_t NewEntryHandle(const std::shared_ptr<Registry> &registry, Entry *entry)
{
    Object object;
    object.registry = registry;
    object.entry = entry;
    return NewHandle(std::move(object));
}

io_object_t NewIteratorHandle(const std::shared_ptr<Registry> &registry, std::vector<Entry *> items)
{
    Object object;
    object.iterator = true;
    object.registry = registry;
    object.items = std::move(items);
    return NewHandle(std::move(object));
}

// The registry and entry a handle names (the registry kept alive for the caller's use).
bool LookUpEntry(io_object_t handle, std::shared_ptr<Registry> &registry, Entry *&entry)
{
    std::lock_guard<std::mutex> lock(gObjectMutex);
    auto found = gObjects.find(handle);
    if (found == gObjects.end() || found->second.iterator) {
        return false;
    }
    registry = found->second.registry;
    entry = found->second.entry;
    return true;
}

using standin::CreationScope;

CFTypeRef LookupProperty(const Entry &entry, CFStringRef key)
{
    if (entry.properties == nullptr || key == nullptr) {
        return nullptr;
    }
    return CFDictionaryGetValue(entry.properties, key);
}

// IOParentMatch dictionaries nested deeper than this are refused.
constexpr int kMaxParentMatchDepth = 16;

bool Matches(const Entry &entry, CFDictionaryRef matching, int depth = 0);

bool NameMatches(const Entry &entry, CFTypeRef wanted)
{
    std::string name;
    if (GetString(wanted, name)) {
        return name == entry.name;
    }
    if (wanted != nullptr && CFGetTypeID(wanted) == CFArrayGetTypeID()) {
        auto names = static_cast<CFArrayRef>(wanted);
        for (CFIndex i = 0; i < CFArrayGetCount(names); ++i) {
            if (NameMatches(entry, CFArrayGetValueAtIndex(names, i))) {
                return true;
            }
        }
    }
    return false;
}

bool PropertiesMatch(const Entry &entry, CFTypeRef wanted)
{
    if (wanted == nullptr) {
        return false;
    }
    if (CFGetTypeID(wanted) == CFArrayGetTypeID()) {
        auto alternatives = static_cast<CFArrayRef>(wanted);
        for (CFIndex i = 0; i < CFArrayGetCount(alternatives); ++i) {
            if (PropertiesMatch(entry, CFArrayGetValueAtIndex(alternatives, i))) {
                return true;
            }
        }
        return false;
    }
    if (CFGetTypeID(wanted) != CFDictionaryGetTypeID()) {
        return false;
    }
    auto table = static_cast<CFDictionaryRef>(wanted);
    CFIndex count = CFDictionaryGetCount(table);
    std::vector<const void *> keys(static_cast<std::size_t>(count)), values(static_cast<std::size_t>(count));
    CFDictionaryGetKeysAndValues(table, keys.data(), values.data());
    for (CFIndex i = 0; i < count; ++i) {
        CFTypeRef have = LookupProperty(entry, static_cast<CFStringRef>(keys[static_cast<std::size_t>(i)]));
        if (have == nullptr || !CFEqual(have, values[static_cast<std::size_t>(i)])) {
            return false;
        }
    }
    return true;
}

bool Matches(const Entry &entry, CFDictionaryRef matching, int depth)
{
    if (depth > kMaxParentMatchDepth) {
        return false;  // an IOParentMatch nested this deep is not a real request
    }
    CFIndex count = CFDictionaryGetCount(matching);
    std::vector<const void *> keys(static_cast<std::size_t>(count)), values(static_cast<std::size_t>(count));
    CFDictionaryGetKeysAndValues(matching, keys.data(), values.data());
    for (CFIndex i = 0; i < count; ++i) {
        CFTypeRef keyValue = keys[static_cast<std::size_t>(i)];
        CFTypeRef value = values[static_cast<std::size_t>(i)];
        std::string key;
        if (!GetString(keyValue, key)) {
            return false;
        }
        if (key == kIOProviderClassKey) {
            std::string className;
            if (!GetString(value, className) || !entry.ConformsTo(className)) {
                return false;
            }
        } else if (key == kIONameMatchKey) {
            if (!NameMatches(entry, value)) {
                return false;
            }
        } else if (key == kIOPropertyMatchKey) {
            if (!PropertiesMatch(entry, value)) {
                return false;
            }
        } else if (key == kIOParentMatchKey) {
            if (CFGetTypeID(value) != CFDictionaryGetTypeID()) {
                return false;
            }
            bool found = false;
            for (const Entry *ancestor = entry.parent; ancestor != nullptr && !found; ancestor = ancestor->parent) {
                found = Matches(*ancestor, static_cast<CFDictionaryRef>(value), depth + 1);
            }
            if (!found) {
                return false;
            }
        } else if (key == kIOMatchCategoryKey || key == kIOProbeScoreKey) {
            continue;
        } else {
            CFTypeRef have = LookupProperty(entry, static_cast<CFStringRef>(keyValue));
            if (have == nullptr) {
                return false;
            }
            std::string wanted;
            // A serial client matches the generic stream type whatever its own stream type.
            if (key == "IOSerialBSDClientType" && GetString(value, wanted) && wanted == "IOSerialStream" &&
                CFGetTypeID(have) == CFStringGetTypeID()) {
                continue;
            }
            if (!CFEqual(have, value)) {
                return false;
            }
        }
    }
    return true;
}

CFMutableDictionaryRef MatchingWith(const char *key, const char *value)
{
    if (value == nullptr) {
        return nullptr;
    }
    CreationScope scope;
    if (!scope.Granted()) {
        return nullptr;
    }
    CFMutableDictionaryRef matching =
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFStringRef keyString = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    CFStringRef valueString = CreateStringFromBytes(value);
    if (matching != nullptr && keyString != nullptr && valueString != nullptr) {
        CFDictionarySetValue(matching, keyString, valueString);
    } else if (matching != nullptr) {
        CFRelease(matching);
        matching = nullptr;
    }
    if (keyString != nullptr) {
        CFRelease(keyString);
    }
    if (valueString != nullptr) {
        CFRelease(valueString);
    }
    return matching;
}

kern_return_t MatchingEntries(CFDictionaryRef matching, std::shared_ptr<Registry> &registry, std::vector<Entry *> &found)
{
    if (matching == nullptr) {
        return kIOReturnBadArgument;
    }
    if (int32_t failure = ArmedFailure("IOServiceGetMatchingServices")) {
        CFRelease(matching);
        return failure;
    }
    if (CFGetTypeID(matching) != CFDictionaryGetTypeID()) {
        CFRelease(matching);
        return kIOReturnBadArgument;
    }
    {
        CreationScope scope;
        if (!scope.Granted()) {
            CFRelease(matching);
            return kIOReturnNoMemory;
        }
        registry = LoadRegistry();
        for (Entry *entry : registry->Entries()) {
            if (Matches(*entry, matching)) {
                found.push_back(entry);
            }
        }
    }
    CFRelease(matching);
    return kIOReturnSuccess;
}

// Copies the value for the caller (the registry keeps its own). Values are immutable, so the
// copy is the same object with one more reference.
CFTypeRef CopyForCaller(CFTypeRef value)
{
    return value != nullptr ? CFRetain(value) : nullptr;
}

// A name longer than an io_name_t holds is cut before the character that does not fit, so what
// the caller gets is still whole UTF-8.
void CopyName(const std::string &text, char *buffer)
{
    std::size_t length = std::min(text.size(), sizeof(io_name_t) - 1);
    while (length < text.size() && length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) {
        --length;
    }
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

}  // namespace
}  // namespace iokit

using namespace iokit;

extern "C" {

kern_return_t IOMasterPort(mach_port_t bootstrapPort, mach_port_t *mainPort)
{
    if (mainPort == nullptr) {
        return kIOReturnBadArgument;
    }
    *mainPort = kIOMasterPortDefault;
    return kIOReturnSuccess;
}

kern_return_t IOObjectRelease(io_object_t object)
{
    if (int32_t failure = ArmedFailure("IOObjectRelease")) {
        return failure;
    }
    std::shared_ptr<Registry> registry;  // freed outside the lock
    {
        std::lock_guard<std::mutex> lock(gObjectMutex);
        auto found = gObjects.find(object);
        if (found == gObjects.end()) {
            if (object == IO_OBJECT_NULL) {
                return kIOReturnBadArgument;
            }
            std::fprintf(stderr, "IOKit: IOObjectRelease of 0x%x, which is not a live object\n", object);
            return kIOReturnBadArgument;
        }
        if (--found->second.references == 0) {
            registry = std::move(found->second.registry);
            gObjects.erase(found);
        }
    }
    return kIOReturnSuccess;
}

kern_return_t IOObjectRetain(io_object_t object)
{
    std::lock_guard<std::mutex> lock(gObjectMutex);
    auto found = gObjects.find(object);
    if (found == gObjects.end()) {
        return kIOReturnBadArgument;
    }
    ++found->second.references;
    return kIOReturnSuccess;
}

kern_return_t IOObjectGetClass(io_object_t object, io_name_t className)
{
    if (className == nullptr) {
        return kIOReturnBadArgument;
    }
    std::lock_guard<std::mutex> lock(gObjectMutex);
    auto found = gObjects.find(object);
    if (found == gObjects.end()) {
        return kIOReturnBadArgument;
    }
    CopyName(found->second.iterator ? std::string("IOUserIterator") : found->second.entry->ClassName(), className);
    return kIOReturnSuccess;
}

CFStringRef IOObjectCopyClass(io_object_t object)
{
    io_name_t className;
    if (IOObjectGetClass(object, className) != kIOReturnSuccess) {
        return nullptr;
    }
    CreationScope scope;
    return scope.Granted() ? CreateStringFromBytes(className) : nullptr;
}

boolean_t IOObjectConformsTo(io_object_t object, const io_name_t className)
{
    std::shared_ptr<Registry> registry;
    Entry *entry = nullptr;
    if (className == nullptr || !LookUpEntry(object, registry, entry)) {
        return false;
    }
    return entry->ConformsTo(className);
}

boolean_t IOObjectIsEqualTo(io_object_t object, io_object_t anObject)
{
    std::shared_ptr<Registry> registryA, registryB;
    Entry *a = nullptr;
    Entry *b = nullptr;
    if (!LookUpEntry(object, registryA, a) || !LookUpEntry(anObject, registryB, b)) {
        return object == anObject && object != IO_OBJECT_NULL;
    }
    return a == b || (a->location == b->location && a->ClassName() == b->ClassName());
}

io_object_t IOIteratorNext(io_iterator_t iterator)
{
    std::shared_ptr<Registry> registry;
    Entry *entry = nullptr;
    {
        std::lock_guard<std::mutex> lock(gObjectMutex);
        auto found = gObjects.find(iterator);
        if (found == gObjects.end() || !found->second.iterator ||
            found->second.position >= found->second.items.size()) {
            return IO_OBJECT_NULL;
        }
        registry = found->second.registry;
        entry = found->second.items[found->second.position++];
    }
    return NewEntryHandle(registry, entry);
}

void IOIteratorReset(io_iterator_t iterator)
{
    std::lock_guard<std::mutex> lock(gObjectMutex);
    auto found = gObjects.find(iterator);
    if (found != gObjects.end() && found->second.iterator) {
        found->second.position = 0;
    }
}

boolean_t IOIteratorIsValid(io_iterator_t iterator)
{
    std::lock_guard<std::mutex> lock(gObjectMutex);
    auto found = gObjects.find(iterator);
    return found != gObjects.end() && found->second.iterator;
}

CFMutableDictionaryRef IOServiceMatching(const char *name)
{
    if (ArmedFailure("IOServiceMatching") != 0) {
        return nullptr;
    }
    return MatchingWith(kIOProviderClassKey, name);
}

CFMutableDictionaryRef IOServiceNameMatching(const char *name)
{
    return MatchingWith(kIONameMatchKey, name);
}

CFMutableDictionaryRef IOBSDNameMatching(mach_port_t mainPort, uint32_t options, const char *bsdName)
{
    return MatchingWith("BSD Name", bsdName);
}

kern_return_t IOServiceGetMatchingServices(mach_port_t mainPort, CFDictionaryRef matching, io_iterator_t *existing)
{
    if (existing == nullptr) {
        if (matching != nullptr) {
            CFRelease(matching);
        }
        return kIOReturnBadArgument;
    }
    *existing = IO_OBJECT_NULL;
    std::shared_ptr<Registry> registry;
    std::vector<Entry *> found;
    kern_return_t status = MatchingEntries(matching, registry, found);
    if (status != kIOReturnSuccess) {
        return status;
    }
    *existing = NewIteratorHandle(registry, std::move(found));
    return kIOReturnSuccess;
}

io_service_t IOServiceGetMatchingService(mach_port_t mainPort, CFDictionaryRef matching)
{
    std::shared_ptr<Registry> registry;
    std::vector<Entry *> found;
    if (MatchingEntries(matching, registry, found) != kIOReturnSuccess || found.empty()) {
        return IO_OBJECT_NULL;
    }
    return NewEntryHandle(registry, found.front());
}

kern_return_t IORegistryEntryGetParentEntry(io_registry_entry_t entryHandle, const io_name_t plane, io_registry_entry_t *parent)
{
    if (parent == nullptr) {
        return kIOReturnBadArgument;
    }
    *parent = IO_OBJECT_NULL;
    if (int32_t failure = ArmedFailure("IORegistryEntryGetParentEntry")) {
        return failure;
    }
    std::shared_ptr<Registry> registry;
    Entry *entry = nullptr;
    if (!LookUpEntry(entryHandle, registry, entry) || plane == nullptr) {
        return kIOReturnBadArgument;
    }
    if (entry->parent == nullptr) {
        return kIOReturnNoDevice;
    }
    *parent = NewEntryHandle(registry, entry->parent);
    return kIOReturnSuccess;
}

kern_return_t IORegistryEntryGetChildIterator(io_registry_entry_t entryHandle, const io_name_t plane, io_iterator_t *iterator)
{
    if (iterator == nullptr) {
        return kIOReturnBadArgument;
    }
    *iterator = IO_OBJECT_NULL;
    std::shared_ptr<Registry> registry;
    Entry *entry = nullptr;
    if (!LookUpEntry(entryHandle, registry, entry) || plane == nullptr) {
        return kIOReturnBadArgument;
    }
    *iterator = NewIteratorHandle(registry, entry->children);
    return kIOReturnSuccess;
}

kern_return_t IORegistryEntryGetName(io_registry_entry_t entryHandle, io_name_t name)
{
    std::shared_ptr<Registry> registry;
    Entry *entry = nullptr;
    if (name == nullptr || !LookUpEntry(entryHandle, registry, entry)) {
        return kIOReturnBadArgument;
    }
    CopyName(entry->name, name);
    return kIOReturnSuccess;
}

io_registry_entry_t IORegistryGetRootEntry(mach_port_t mainPort)
{
    std::shared_ptr<Registry> registry;
    {
        CreationScope scope;
        if (!scope.Granted()) {
            return IO_OBJECT_NULL;
        }
        registry = LoadRegistry();
    }
    return NewEntryHandle(registry, registry->Root());
}

CFTypeRef IORegistryEntryCreateCFProperty(io_registry_entry_t entryHandle, CFStringRef key, CFAllocatorRef allocator, IOOptionBits options)
{
    std::shared_ptr<Registry> registry;
    Entry *entry = nullptr;
    if (ArmedFailure("IORegistryEntryCreateCFProperty") != 0 || key == nullptr || !LookUpEntry(entryHandle, registry, entry)) {
        return nullptr;
    }
    CFTypeRef value = LookupProperty(*entry, key);
    if (value == nullptr) {
        return nullptr;
    }
    CreationScope scope;
    return scope.Granted() ? CopyForCaller(value) : nullptr;
}

kern_return_t IORegistryEntryCreateCFProperties(io_registry_entry_t entryHandle, CFMutableDictionaryRef *properties, CFAllocatorRef allocator, IOOptionBits options)
{
    if (properties == nullptr) {
        return kIOReturnBadArgument;
    }
    *properties = nullptr;
    if (int32_t failure = ArmedFailure("IORegistryEntryCreateCFProperties")) {
        return failure;
    }
    std::shared_ptr<Registry> registry;
    Entry *entry = nullptr;
    if (!LookUpEntry(entryHandle, registry, entry)) {
        return kIOReturnBadArgument;
    }
    CreationScope scope;
    if (!scope.Granted()) {
        return kIOReturnNoMemory;
    }
    *properties = entry->properties != nullptr
                      ? CFDictionaryCreateMutableCopy(nullptr, 0, entry->properties)
                      : CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    return *properties != nullptr ? kIOReturnSuccess : kIOReturnNoMemory;
}

CFTypeRef IORegistryEntrySearchCFProperty(io_registry_entry_t entryHandle, const io_name_t plane, CFStringRef key, CFAllocatorRef allocator, IOOptionBits options)
{
    std::shared_ptr<Registry> registry;
    Entry *entry = nullptr;
    if (ArmedFailure("IORegistryEntrySearchCFProperty") != 0 || key == nullptr || !LookUpEntry(entryHandle, registry, entry)) {
        return nullptr;
    }
    CFTypeRef value = LookupProperty(*entry, key);
    if (value == nullptr && (options & kIORegistryIterateRecursively) != 0) {
        if ((options & kIORegistryIterateParents) != 0) {
            for (const Entry *at = entry->parent; at != nullptr && value == nullptr; at = at->parent) {
                value = LookupProperty(*at, key);
            }
        } else {
            // Breadth-first through the descendants: the nearest first.
            std::vector<const Entry *> level(entry->children.begin(), entry->children.end());
            while (!level.empty() && value == nullptr) {
                std::vector<const Entry *> next;
                for (const Entry *at : level) {
                    if ((value = LookupProperty(*at, key)) != nullptr) {
                        break;
                    }
                    next.insert(next.end(), at->children.begin(), at->children.end());
                }
                level.swap(next);
            }
        }
    }
    if (value == nullptr) {
        return nullptr;
    }
    CreationScope scope;
    return scope.Granted() ? CopyForCaller(value) : nullptr;
}

long PlatformTestingIOKitLiveObjectCount(void)
{
    std::lock_guard<std::mutex> lock(gObjectMutex);
    return static_cast<long>(gObjects.size());
}

}  // extern "C"
