// Registry snapshots: an XML (or binary) property list describing a registry tree.
//
// The top level is a dictionary; its IORegistryEntryChildren array holds the top-level entries
// (children of the root). Each entry is a dictionary with
//   IOObjectClass              string, required: the entry's class (at most 127 bytes, as an
//                              io_name_t holds it)
//   IOSuperclasses             array of strings, optional: its ancestry, nearest first
//   IORegistryEntryName        string, optional (default: the class)
//   IORegistryEntryProperties  dictionary, optional: the property table
//   IORegistryEntryChildren    array of entries, optional
// Anything that does not fit is reported on standard error and left out (with the entry's
// children where the entry itself is unusable); the rest of the registry stays.
#include "CFSupport.h"
#include "Registry.h"

#include <IOKit/IOTypes.h>

#include <map>

namespace iokit {
namespace {

constexpr int kMaxDepth = 64;

// Hardware addresses: 6 bytes (Ethernet), or 8 (FireWire's EUI-64).
constexpr CFIndex kEthernetAddressLength = 6;
constexpr CFIndex kFireWireAddressLength = 8;

const char *const kClassKey = "IOObjectClass";
const char *const kSuperclassesKey = "IOSuperclasses";
const char *const kNameKey = "IORegistryEntryName";
const char *const kPropertiesKey = "IORegistryEntryProperties";
const char *const kChildrenKey = "IORegistryEntryChildren";

// The property types the registry's users rely on.
enum class Expect { String, Number, MACAddress };
const std::map<std::string, Expect> &WellKnownProperties()
{
    static const std::map<std::string, Expect> known = {
        {"BSD Name", Expect::String},
        {"IOTTYDevice", Expect::String},
        {"IOTTYBaseName", Expect::String},
        {"IOTTYSuffix", Expect::String},
        {"IOCalloutDevice", Expect::String},
        {"IODialinDevice", Expect::String},
        {"IOSerialBSDClientType", Expect::String},
        {"IOClass", Expect::String},
        {"IOProviderClass", Expect::String},
        {"IOInterfaceType", Expect::Number},
        {"IOInterfaceUnit", Expect::Number},
        {"IOMaxTransferUnit", Expect::Number},
        {"IOChildIndex", Expect::Number},
        {"V92Modem", Expect::Number},
        {"IOMACAddress", Expect::MACAddress},
    };
    return known;
}

class SnapshotReader {
public:
    SnapshotReader(const std::string &origin, Registry &registry) : origin_(origin), registry_(registry) {}

    void Read(CFTypeRef top)
    {
        if (CFGetTypeID(top) != CFDictionaryGetTypeID()) {
            Problem("the top level is " + TypeName(top) + ", not a dictionary; the registry is empty");
            return;
        }
        auto dictionary = static_cast<CFDictionaryRef>(top);
        CFTypeRef children = Lookup(dictionary, kChildrenKey);
        if (children == nullptr) {
            return;  // an empty registry
        }
        if (CFGetTypeID(children) != CFArrayGetTypeID()) {
            Problem(std::string("the top-level ") + kChildrenKey + " is " + TypeName(children) +
                    ", not an array; the registry is empty");
            return;
        }
        AddChildren(registry_.Root(), static_cast<CFArrayRef>(children), "", 1);
    }

private:
    void Problem(const std::string &text) { gComplaints.Report("registry snapshot " + origin_ + ": " + text); }

    static CFTypeRef Lookup(CFDictionaryRef dictionary, const char *key)
    {
        CFStringRef keyString = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
        if (keyString == nullptr) {
            return nullptr;
        }
        CFTypeRef value = CFDictionaryGetValue(dictionary, keyString);
        CFRelease(keyString);
        return value;
    }

    void AddChildren(Entry *parent, CFArrayRef children, const std::string &where, int depth)
    {
        CFIndex count = CFArrayGetCount(children);
        for (CFIndex i = 0; i < count; ++i) {
            AddEntry(parent, CFArrayGetValueAtIndex(children, i), where + "/" + std::to_string(i), depth);
        }
    }

    void AddEntry(Entry *parent, CFTypeRef value, const std::string &where, int depth)
    {
        std::string entryName = "entry " + where;
        if (depth > kMaxDepth) {
            Problem(entryName + " is nested deeper than " + std::to_string(kMaxDepth) + " entries; left out");
            return;
        }
        if (CFGetTypeID(value) != CFDictionaryGetTypeID()) {
            Problem(entryName + " is " + TypeName(value) + ", not a dictionary; left out");
            return;
        }
        auto dictionary = static_cast<CFDictionaryRef>(value);
        std::string className;
        CFTypeRef classValue = Lookup(dictionary, kClassKey);
        if (classValue == nullptr) {
            Problem(entryName + " has no " + kClassKey + "; left out with its children");
            return;
        }
        if (!GetString(classValue, className) || className.empty()) {
            Problem(entryName + ": " + kClassKey + " is " + TypeName(classValue) +
                    (className.empty() && CFGetTypeID(classValue) == CFStringGetTypeID() ? " (empty)" : "") +
                    ", not a class name; left out with its children");
            return;
        }
        if (className.size() >= sizeof(io_name_t)) {
            Problem(entryName + ": " + kClassKey + " is " + std::to_string(className.size()) +
                    " bytes long, more than a class name can be (" + std::to_string(sizeof(io_name_t) - 1) +
                    "); left out with its children");
            return;
        }
        entryName += " (" + className + ")";

        CFTypeRef properties = Lookup(dictionary, kPropertiesKey);
        if (properties != nullptr && CFGetTypeID(properties) != CFDictionaryGetTypeID()) {
            Problem(entryName + ": " + kPropertiesKey + " is " + TypeName(properties) +
                    ", not a dictionary; left out with its children");
            return;
        }

        std::vector<std::string> superclasses;
        if (CFTypeRef supers = Lookup(dictionary, kSuperclassesKey)) {
            bool usable = CFGetTypeID(supers) == CFArrayGetTypeID();
            if (usable) {
                auto array = static_cast<CFArrayRef>(supers);
                for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) {
                    std::string super;
                    if (!GetString(CFArrayGetValueAtIndex(array, i), super) || super.empty()) {
                        usable = false;
                        break;
                    }
                    superclasses.push_back(super);
                }
            }
            if (!usable) {
                superclasses.clear();
                Problem(entryName + ": " + kSuperclassesKey + " is not an array of class names; ignored");
            }
        }

        std::string name;
        if (CFTypeRef nameValue = Lookup(dictionary, kNameKey); nameValue != nullptr && !GetString(nameValue, name)) {
            Problem(entryName + ": " + kNameKey + " is " + TypeName(nameValue) + ", not a string; the class name is used");
        }

        ReportUnknownKeys(dictionary, entryName);
        if (properties != nullptr) {
            CheckPropertyTypes(static_cast<CFDictionaryRef>(properties), entryName);
            CFRetain(properties);
        }
        Entry *entry = registry_.Add(parent, className, superclasses, name, static_cast<CFDictionaryRef>(properties));

        if (CFTypeRef children = Lookup(dictionary, kChildrenKey)) {
            if (CFGetTypeID(children) != CFArrayGetTypeID()) {
                Problem(entryName + ": " + kChildrenKey + " is " + TypeName(children) + ", not an array; no children");
            } else {
                AddChildren(entry, static_cast<CFArrayRef>(children), where, depth + 1);
            }
        }
    }

    void ReportUnknownKeys(CFDictionaryRef dictionary, const std::string &entryName)
    {
        CFIndex count = CFDictionaryGetCount(dictionary);
        std::vector<const void *> keys(static_cast<std::size_t>(count));
        CFDictionaryGetKeysAndValues(dictionary, keys.data(), nullptr);
        for (const void *key : keys) {
            std::string text;
            if (!GetString(key, text)) {
                Problem(entryName + ": a key that is not a string; ignored");
                continue;
            }
            if (text != kClassKey && text != kSuperclassesKey && text != kNameKey && text != kPropertiesKey &&
                text != kChildrenKey) {
                Problem(entryName + ": unknown key \"" + text + "\"; ignored (properties belong in " + kPropertiesKey + ")");
            }
        }
    }

    void CheckPropertyTypes(CFDictionaryRef properties, const std::string &entryName)
    {
        for (const auto &[key, expect] : WellKnownProperties()) {
            CFTypeRef value = Lookup(properties, key.c_str());
            if (value == nullptr) {
                continue;
            }
            CFTypeID type = CFGetTypeID(value);
            std::string wanted;
            if (expect == Expect::String && type != CFStringGetTypeID()) {
                wanted = "a string";
            } else if (expect == Expect::Number && type != CFNumberGetTypeID()) {
                wanted = "a number";
            } else if (expect == Expect::MACAddress &&
                       (type != CFDataGetTypeID() ||
                        (CFDataGetLength(static_cast<CFDataRef>(value)) != kEthernetAddressLength &&
                         CFDataGetLength(static_cast<CFDataRef>(value)) != kFireWireAddressLength))) {
                wanted = "data of 6 or 8 bytes";
            }
            if (!wanted.empty()) {
                std::string found = TypeName(value);
                if (type == CFDataGetTypeID()) {
                    found += " of " + std::to_string(CFDataGetLength(static_cast<CFDataRef>(value))) + " bytes";
                }
                Problem(entryName + ": property \"" + key + "\" should be " + wanted + " but is " + found +
                        "; kept as it is");
            }
        }
    }

    std::string origin_;
    Registry &registry_;
};

}  // namespace

std::shared_ptr<Registry> RegistryFromSnapshotData(const std::string &origin, const std::string &bytes)
{
    auto registry = std::make_shared<Registry>();
    CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(bytes.data()), static_cast<CFIndex>(bytes.size()));
    if (data == nullptr) {
        gComplaints.Report("registry snapshot " + origin + " cannot be read (out of memory); the registry is empty");
        return registry;
    }
    CFErrorRef error = nullptr;
    CFPropertyListRef top = CFPropertyListCreateWithData(nullptr, data, kCFPropertyListImmutable, nullptr, &error);
    CFRelease(data);
    if (top == nullptr) {
        std::string reason = "no property list";
        if (error != nullptr) {
            CFStringRef description = CFErrorCopyDescription(error);
            if (description != nullptr) {
                GetString(description, reason);
                CFRelease(description);
            }
            CFRelease(error);
        }
        gComplaints.Report("registry snapshot " + origin + " is not a property list (" + reason + "); the registry is empty");
        return registry;
    }
    if (error != nullptr) {
        CFRelease(error);
    }
    SnapshotReader(origin, *registry).Read(top);
    CFRelease(top);
    return registry;
}

}  // namespace iokit
