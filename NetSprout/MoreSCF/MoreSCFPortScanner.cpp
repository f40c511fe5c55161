// Port scanner: network interfaces and serial ports of the I/O registry turned into named, sorted
// port dictionaries.
#include "MoreSCFPortScanner.h"

#include "MoreCFQ.h"
#include "MoreSCF.h"
#include "MoreSCFInternal.h"

#include <CoreServices/CoreServices.h>

#include <syslog.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace {

// The registry's interface types of the two kinds of port this scanner makes (IOInterfaceType),
// and the lengths a hardware address may have.
constexpr int kInterfaceTypeEthernet = 6;
constexpr int kInterfaceTypeFireWire = 144;
constexpr CFIndex kMACLength = 6;
constexpr CFIndex kEUI64Length = 8;

using morescf::CFHolder;

// The installed port name callback (none at start).
MoreSCFPortNameCallback gPortNameCallback = nullptr;

bool IsType(CFTypeRef value, CFTypeID type) { return value != nullptr && CFGetTypeID(value) == type; }
bool IsString(CFTypeRef value) { return IsType(value, CFStringGetTypeID()); }
bool IsNumber(CFTypeRef value) { return IsType(value, CFNumberGetTypeID()); }
bool Equal(CFTypeRef value, CFStringRef text) { return IsString(value) && CFEqual(value, text); }

CFTypeRef CopyProperty(io_object_t object, CFStringRef key)
{
    return IORegistryEntryCreateCFProperty(object, key, kCFAllocatorDefault, 0);
}

// The property on the object or, failing that, on its nearest ancestor that has it.
CFTypeRef SearchProperty(io_object_t object, CFStringRef key)
{
    return IORegistryEntrySearchCFProperty(object, kIOServicePlane, key, kCFAllocatorDefault,
                                           kIORegistryIterateRecursively | kIORegistryIterateParents);
}

// Gives the handle back; a failed release becomes the status unless there is one already.
OSStatus ReleaseObject(io_object_t object, OSStatus err)
{
    kern_return_t released = IOObjectRelease(object);
    return (err != noErr) ? err : static_cast<OSStatus>(released);
}

// The parent in the service plane, or the registry call's status.
OSStatus GetParent(io_object_t object, io_object_t *parent)
{
    return IORegistryEntryGetParentEntry(object, kIOServicePlane, parent);
}

// Stores a string (retained by the dictionary).
void SetString(CFMutableDictionaryRef dict, CFStringRef key, CFStringRef value) { CFDictionarySetValue(dict, key, value); }

// The hardware address text of 6 or 8 bytes: "0a:3f:71:12:34:56".
OSStatus CreateMACFromData(CFDataRef data, CFStringRef *result)
{
    std::string text;
    const UInt8 *bytes = CFDataGetBytePtr(data);
    for (CFIndex i = 0; i < CFDataGetLength(data); i++) {
        char group[4];
        std::snprintf(group, sizeof group, "%2.2x:", bytes[i]);
        text += group;
    }
    while (!text.empty() && text.back() == ':') {
        text.pop_back();
    }
    *result = CFStringCreateWithCString(kCFAllocatorDefault, text.c_str(), kCFStringEncodingASCII);
    return CFQError(*result);
}

// The user-visible slot name of a PCI device ("SLOT-J11" is "2" from 10.2), or NULL.
CFStringRef CopyUserVisibleSlotName(io_object_t device)
{
    CFHolder<CFTypeRef> property(CopyProperty(device, CFSTR("AAPL,slot-name")));
    if (property.Get() == nullptr) {
        return nullptr;
    }
    CFStringRef slot = CreateStringFromProperty(property.Get());
    if (slot == nullptr) {
        return nullptr;
    }
    if (CFStringHasPrefix(slot, CFSTR("SLOT-"))) {
        CFStringRef rest = CFStringCreateWithSubstring(kCFAllocatorDefault, slot, CFRangeMake(5, CFStringGetLength(slot) - 5));
        if (rest != nullptr) {  // without it the whole name serves
            CFRelease(slot);
            slot = rest;
        }
    }
    if (MoreSCGetSystemVersion() < 0x1020) {
        return slot;
    }
    static const std::pair<CFStringRef, CFStringRef> kSlotNumbers[] = {
        {CFSTR("A1"), CFSTR("1")},  {CFSTR("B1"), CFSTR("2")}, {CFSTR("C1"), CFSTR("3")}, {CFSTR("J12"), CFSTR("1")},
        {CFSTR("J11"), CFSTR("2")}, {CFSTR("J10"), CFSTR("3")}, {CFSTR("J9"), CFSTR("4")}, {CFSTR("A"), CFSTR("1")},
        {CFSTR("B"), CFSTR("2")},   {CFSTR("C"), CFSTR("3")},  {CFSTR("D"), CFSTR("4")},
    };
    for (const auto &[from, to] : kSlotNumbers) {
        if (CFEqual(slot, from)) {
            CFRelease(slot);
            return static_cast<CFStringRef>(CFRetain(to));
        }
    }
    return slot;
}

// The port number text of a PCI device's "IOChildIndex" (index + 1), or "unknown".
CFStringRef CopyPortNumber(io_object_t device)
{
    CFHolder<CFTypeRef> index(CopyProperty(device, CFSTR("IOChildIndex")));
    long value = 0;
    CFStringRef text = nullptr;
    if (IsNumber(index.Get()) && CFNumberGetValue(static_cast<CFNumberRef>(index.Get()), kCFNumberLongType, &value)) {
        text = CFStringCreateWithFormat(kCFAllocatorDefault, nullptr, CFSTR("%ld"), value + 1);
    }
    return (text != nullptr) ? text : static_cast<CFStringRef>(CFRetain(CFSTR("unknown")));
}

// Default name of a network interface I on controller C on device D.
OSStatus CopyUserVisibleNameForEthernetLikePort(io_object_t interface, CFMutableDictionaryRef portDict,
                                                CFStringRef *name)
{
    io_object_t controller = 0;
    io_object_t device = 0;
    CFHolder<CFMutableDictionaryRef> controllerProperties;
    CFHolder<CFMutableDictionaryRef> deviceProperties;
    CFHolder<CFTypeRef> bsdName;

    OSStatus err = GetParent(interface, &controller);
    if (err == noErr) {
        err = GetParent(controller, &device);
    }
    if (err == noErr) {
        err = IORegistryEntryCreateCFProperties(controller, controllerProperties.Slot(), kCFAllocatorDefault, 0);
    }
    if (err == noErr) {
        *bsdName.Slot() = CopyProperty(interface, CFSTR("BSD Name"));
        err = IsString(bsdName.Get()) ? OSStatus{noErr} : OSStatus{-1};
    }
    CFStringRef defaultName = nullptr;
    if (err == noErr) {
        CFTypeRef controllerClass = CFDictionaryGetValue(controllerProperties.Get(), CFSTR("IOClass"));
        if (Equal(bsdName.Get(), CFSTR("en0"))) {
            err = CFQDictionarySetNumber(portDict, CFSTR("SortOrder"), 6);
            defaultName = CFSTR("Built-in Ethernet");
        } else if (Equal(bsdName.Get(), CFSTR("fw0"))) {
            err = CFQDictionarySetNumber(portDict, CFSTR("SortOrder"), 7);
            defaultName = CFSTR("Built-in FireWire");
        } else if (IOObjectConformsTo(interface, "IO80211Interface") ||
                   (IsString(controllerClass) && CFStringHasPrefix(static_cast<CFStringRef>(controllerClass), CFSTR("AirPort")))) {
            SetString(portDict, kSCPropNetInterfaceHardware, kSCEntNetAirPort);
            err = CFQDictionarySetNumber(portDict, CFSTR("SortOrder"), 10);
            defaultName = CFSTR("AirPort");
        } else {
            err = IORegistryEntryCreateCFProperties(device, deviceProperties.Slot(), kCFAllocatorDefault, 0);
            bool isRadio = false;
            if (err == noErr) {
                CFTypeRef deviceName = CFDictionaryGetValue(deviceProperties.Get(), CFSTR("name"));
                if (deviceName != nullptr) {
                    CFHolder<CFStringRef> text(CreateStringFromProperty(deviceName));
                    err = (text.Get() != nullptr) ? OSStatus{noErr} : OSStatus{-1};
                    isRadio = Equal(text.Get(), CFSTR("radio"));
                }
            }
            if (err == noErr && isRadio) {
                err = CFQDictionarySetNumber(portDict, CFSTR("SortOrder"), 11);
                defaultName = CFSTR("Wireless Network Adaptor");
            } else if (err == noErr &&
                       Equal(CFDictionaryGetValue(controllerProperties.Get(), CFSTR("IOProviderClass")), CFSTR("IOPCIDevice"))) {
                err = CFQDictionarySetNumber(portDict, CFSTR("SortOrder"), 8);
                // A device without a slot name (a virtual machine's card) is in slot "unknown".
                CFHolder<CFStringRef> slot(CopyUserVisibleSlotName(device));
                SetString(portDict, CFSTR("AAPL,slot-name"), slot.Get() != nullptr ? slot.Get() : CFSTR("unknown"));
                CFTypeRef childIndex = CFDictionaryGetValue(deviceProperties.Get(), CFSTR("IOChildIndex"));
                SInt32 index = 0;
                if (IsNumber(childIndex) && CFNumberGetValue(static_cast<CFNumberRef>(childIndex), kCFNumberSInt32Type, &index)) {
                    CFHolder<CFStringRef> port(CopyPortNumber(device));
                    SetString(portDict, CFSTR("IOChildIndex"), port.Get());
                    defaultName = CFSTR("PCI Ethernet Slot %2$@, Port %3$@");
                } else {
                    defaultName = CFSTR("PCI Ethernet Slot %2$@");
                }
            } else if (err == noErr) {
                SetString(portDict, CFSTR("BSD Name"), static_cast<CFStringRef>(bsdName.Get()));
                defaultName = CFSTR("Ethernet Adaptor (%1$@)");
            }
        }
    }
    if (device != 0) {
        err = ReleaseObject(device, err);
    }
    if (controller != 0) {
        err = ReleaseObject(controller, err);
    }
    if (err == noErr) {
        *name = static_cast<CFStringRef>(CFRetain(defaultName));
    }
    return err;
}

// Default name of a serial port.
OSStatus CopyUserVisibleNameForModemOrSerialPort(io_object_t object, CFMutableDictionaryRef portDict, CFStringRef *name)
{
    CFHolder<CFTypeRef> clientType(CopyProperty(object, CFSTR("IOSerialBSDClientType")));
    if (!IsString(clientType.Get())) {
        return -1;
    }
    bool modemClass = Equal(clientType.Get(), CFSTR("IOModemSerialStream"));
    OSStatus err = modemClass ? CFQDictionarySetNumber(portDict, CFSTR("SortOrder"), 2) : OSStatus{noErr};
    CFHolder<CFTypeRef> baseProperty(CopyProperty(object, CFSTR("IOTTYBaseName")));
    if (err == noErr && !IsString(baseProperty.Get())) {
        err = -1;
    }
    if (err != noErr) {
        return err;
    }
    CFStringRef base = static_cast<CFStringRef>(baseProperty.Get());
    CFHolder<CFTypeRef> productProperty(SearchProperty(object, CFSTR("Product Name")));
    CFHolder<CFStringRef> product(productProperty.Get() != nullptr ? CreateStringFromProperty(productProperty.Get()) : nullptr);

    static const std::pair<CFStringRef, CFStringRef> kFixedNames[] = {
        {CFSTR("modem"), CFSTR("Modem Port")},
        {CFSTR("printer"), CFSTR("Printer Port")},
        {CFSTR("modem-printer"), CFSTR("Modem/Printer Port")},
        {CFSTR("IrDA-IrCOMM"), CFSTR("IrDA Modem Port")},
    };
    CFStringRef defaultName = nullptr;
    if (modemClass && CFEqual(base, CFSTR("modem"))) {
        err = CFQDictionarySetNumber(portDict, CFSTR("SortOrder"), 0);
        defaultName = CFSTR("Internal Modem");
    }
    for (const auto &[baseName, fixedName] : kFixedNames) {
        if (defaultName == nullptr && CFEqual(base, baseName)) {
            defaultName = fixedName;
        }
    }
    if (defaultName == nullptr && CFStringHasPrefix(base, CFSTR("Bluetooth-"))) {
        defaultName = CFSTR("Bluetooth");
    }
    if (defaultName == nullptr && (product.Get() != nullptr || CFEqual(base, CFSTR("usbmodem")))) {
        if (modemClass) {
            err = CFQDictionarySetNumber(portDict, CFSTR("SortOrder"), 1);
        }
        defaultName = (product.Get() != nullptr) ? product.Get() : CFSTR("USB Modem");
    }
    if (defaultName == nullptr) {
        CFHolder<CFMutableStringRef> lower(CFStringCreateMutableCopy(kCFAllocatorDefault, 0, base));
        if (lower.Get() != nullptr) {
            CFStringLowercase(lower.Get(), nullptr);
        }
        SetString(portDict, CFSTR("IOTTYBaseName"), lower.Get() != nullptr ? lower.Get() : CFSTR("unknown"));
        defaultName = CFSTR("%4$@-port");
    }
    if (err == noErr) {
        *name = static_cast<CFStringRef>(CFRetain(defaultName));
    }
    return err;
}

// Replaces the first occurrence of each keyword with the port dictionary's value for its key, in
// one left-to-right pass over the template: inserted text is never scanned again, and a keyword
// whose value is absent (or not a string) stays as written.
OSStatus SubstituteKeywordsInUserVisibleName(CFStringRef templateName, CFDictionaryRef portDict, CFStringRef *name)
{
    static const std::pair<const char *, CFStringRef> kKeywords[] = {
        {"%1$@", CFSTR("BSD Name")},
        {"%2$@", CFSTR("AAPL,slot-name")},
        {"%3$@", CFSTR("IOChildIndex")},
        {"%4$@", CFSTR("IOTTYBaseName")},
    };
    constexpr CFIndex kKeywordLength = 4;
    CFHolder<CFMutableStringRef> result(CFStringCreateMutable(kCFAllocatorDefault, 0));
    if (result.Get() == nullptr) {
        return -1;
    }
    CFIndex length = CFStringGetLength(templateName);
    std::vector<UniChar> chars(static_cast<size_t>(length) + 1);
    CFStringGetCharacters(templateName, CFRangeMake(0, length), chars.data());
    bool used[4] = {false, false, false, false};
    CFIndex runStart = 0;
    CFIndex i = 0;
    while (i < length) {
        int found = -1;
        for (int k = 0; k < 4 && found < 0; k++) {
            bool same = !used[k] && i + kKeywordLength <= length;
            for (CFIndex j = 0; same && j < kKeywordLength; j++) {
                same = chars[static_cast<size_t>(i + j)] == static_cast<UniChar>(kKeywords[k].first[j]);
            }
            found = same ? k : -1;
        }
        if (found < 0) {
            i++;
            continue;
        }
        used[found] = true;
        CFStringAppendCharacters(result.Get(), chars.data() + runStart, i - runStart);
        CFTypeRef value = CFDictionaryGetValue(portDict, kKeywords[found].second);
        if (IsString(value)) {
            CFStringAppend(result.Get(), static_cast<CFStringRef>(value));
        } else {
            CFStringAppendCharacters(result.Get(), chars.data() + i, kKeywordLength);
        }
        i += kKeywordLength;
        runStart = i;
    }
    CFStringAppendCharacters(result.Get(), chars.data() + runStart, length - runStart);
    *name = result.Release();
    return noErr;
}

// The user-visible name: the default by the kind of object, then the callback, then the keywords.
OSStatus CopyUserVisiblePortName(io_object_t object, CFMutableDictionaryRef portDict, CFStringRef *name)
{
    CFHolder<CFStringRef> defaultName;
    OSStatus err = noErr;
    if (IOObjectConformsTo(object, "IONetworkInterface")) {
        err = CopyUserVisibleNameForEthernetLikePort(object, portDict, defaultName.Slot());
    } else if (IOObjectConformsTo(object, "IOSerialBSDClient")) {
        err = CopyUserVisibleNameForModemOrSerialPort(object, portDict, defaultName.Slot());
    } else {
        CFHolder<CFTypeRef> bsdName(CopyProperty(object, CFSTR("BSD Name")));
        err = IsString(bsdName.Get()) ? OSStatus{noErr} : OSStatus{-1};
        if (err == noErr) {
            *defaultName.Slot() = static_cast<CFStringRef>(bsdName.Release());
        }
    }
    CFHolder<CFStringRef> templateName;
    if (err == noErr && gPortNameCallback != nullptr) {
        err = gPortNameCallback(object, portDict, defaultName.Get(), templateName.Slot());
    }
    if (err == noErr && templateName.Get() == nullptr) {
        *templateName.Slot() = CFStringCreateCopy(kCFAllocatorDefault, defaultName.Get());
        err = (templateName.Get() != nullptr) ? OSStatus{noErr} : OSStatus{-1};
    }
    if (err == noErr) {
        err = SubstituteKeywordsInUserVisibleName(templateName.Get(), portDict, name);
    }
    return err;
}

// A matching dictionary for the serial streams of one type.
CFMutableDictionaryRef SerialMatching(CFStringRef streamType)
{
    CFMutableDictionaryRef matching = IOServiceMatching("IOSerialBSDClient");
    if (matching != nullptr) {
        CFDictionarySetValue(matching, CFSTR("IOSerialBSDClientType"), streamType);
    }
    return matching;
}

}  // namespace

extern "C" void MoreSCFSetPortNameCallback(MoreSCFPortNameCallback callback) { gPortNameCallback = callback; }

extern "C" CFStringRef CreateStringFromProperty(CFTypeRef property)
{
    MoreSCFAssert(property != nullptr);
    if (property == nullptr) {
        return nullptr;
    }
    CFStringRef text = nullptr;
    if (CFGetTypeID(property) == CFDataGetTypeID()) {
        CFDataRef data = static_cast<CFDataRef>(property);
        text = CFStringCreateWithBytes(kCFAllocatorDefault, CFDataGetBytePtr(data), CFDataGetLength(data),
                                       kCFStringEncodingMacRoman, false);
    } else if (CFGetTypeID(property) == CFStringGetTypeID()) {
        text = static_cast<CFStringRef>(CFRetain(property));
    }
    // The registry keeps C strings with their terminator.
    CFIndex length = (text != nullptr) ? CFStringGetLength(text) : 0;
    CFIndex kept = length;
    while (kept > 0 && CFStringGetCharacterAtIndex(text, kept - 1) == 0) {
        kept--;
    }
    if (kept != length) {
        CFStringRef trimmed = CFStringCreateWithSubstring(kCFAllocatorDefault, text, CFRangeMake(0, kept));
        CFRelease(text);
        text = trimmed;
    }
    return text;
}

extern "C" long SortOrder(CFDictionaryRef portDict)
{
    CFTypeRef value = CFDictionaryGetValue(portDict, CFSTR("SortOrder"));
    long order = 100;
    if (value != nullptr) {
        MoreSCFAssert(IsNumber(value));
        if (!IsNumber(value) || !CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberLongType, &order)) {
            order = 100;
        }
    }
    return order;
}

extern "C" CFComparisonResult PortSorter(const void *left, const void *right, void *)
{
    MoreSCFAssert(IsType(left, CFDictionaryGetTypeID()) && IsType(right, CFDictionaryGetTypeID()));
    CFDictionaryRef leftDict = static_cast<CFDictionaryRef>(left);
    CFDictionaryRef rightDict = static_cast<CFDictionaryRef>(right);
    long leftOrder = SortOrder(leftDict);
    long rightOrder = SortOrder(rightDict);
    if (leftOrder != rightOrder) {
        return (leftOrder < rightOrder) ? kCFCompareLessThan : kCFCompareGreaterThan;
    }
    CFTypeRef leftName = CFDictionaryGetValue(leftDict, kSCPropUserDefinedName);
    CFTypeRef rightName = CFDictionaryGetValue(rightDict, kSCPropUserDefinedName);
    if (!IsString(leftName) || !IsString(rightName)) {
        return kCFCompareEqualTo;
    }
    return CFStringCompare(static_cast<CFStringRef>(leftName), static_cast<CFStringRef>(rightName), kCFCompareLocalized);
}

extern "C" OSStatus EthernetDeviceToDictProc(io_object_t interface, CFMutableDictionaryRef portDict)
{
    MORESCF_REQUIRE(interface != 0);
    MORESCF_REQUIRE(portDict != nullptr);

    // Only Ethernet-type and FireWire links are ports; anything else is skipped.
    CFHolder<CFTypeRef> typeProperty(CopyProperty(interface, CFSTR("IOInterfaceType")));
    int type = 0;
    if (!IsNumber(typeProperty.Get()) || !CFNumberGetValue(static_cast<CFNumberRef>(typeProperty.Get()), kCFNumberIntType, &type) ||
        (type != kInterfaceTypeEthernet && type != kInterfaceTypeFireWire)) {
        return noErr;
    }
    bool fireWire = (type == kInterfaceTypeFireWire);
    SetString(portDict, kSCPropNetInterfaceHardware, fireWire ? kSCEntNetFireWire : kSCEntNetEthernet);
    SetString(portDict, kSCPropNetInterfaceType, fireWire ? kSCValNetInterfaceTypeFireWire : kSCValNetInterfaceTypeEthernet);
    OSStatus err = CFQDictionarySetNumber(portDict, CFSTR("SortOrder"), fireWire ? 9 : 12);

    CFHolder<CFTypeRef> bsdName(CopyProperty(interface, CFSTR("BSD Name")));
    if (err == noErr && !IsString(bsdName.Get())) {
        err = -1;
    }
    if (err == noErr) {
        SetString(portDict, kSCPropNetInterfaceDeviceName, static_cast<CFStringRef>(bsdName.Get()));
    }
    io_object_t controller = 0;
    if (err == noErr) {
        err = GetParent(interface, &controller);
    }
    if (err == noErr) {
        // Only a 6- or 8-byte address is one; any other value of the controller's is left out.
        CFHolder<CFTypeRef> address(CopyProperty(controller, CFSTR("IOMACAddress")));
        CFIndex length = IsType(address.Get(), CFDataGetTypeID()) ? CFDataGetLength(static_cast<CFDataRef>(address.Get())) : 0;
        if (length == kMACLength || length == kEUI64Length) {
            CFHolder<CFStringRef> text;
            err = CreateMACFromData(static_cast<CFDataRef>(address.Get()), text.Slot());
            if (err == noErr) {
                SetString(portDict, kSCPropMACAddress, text.Get());
            }
        }
        err = ReleaseObject(controller, err);
    }
    return err;
}

extern "C" OSStatus ModemOrSerialDeviceToDictProc(io_object_t object, CFMutableDictionaryRef portDict)
{
    MORESCF_REQUIRE(object != 0);
    MORESCF_REQUIRE(portDict != nullptr);

    CFHolder<CFTypeRef> hidden(SearchProperty(object, CFSTR("HiddenPort")));
    if (hidden.Get() != nullptr) {
        return noErr;
    }
    CFHolder<CFMutableDictionaryRef> properties;
    OSStatus err = IORegistryEntryCreateCFProperties(object, properties.Slot(), kCFAllocatorDefault, 0);
    if (err != noErr) {
        return err;
    }
    CFTypeRef base = CFDictionaryGetValue(properties.Get(), CFSTR("IOTTYBaseName"));
    if (!IsString(base) || CFEqual(base, CFSTR("irda"))) {
        return noErr;
    }
    CFTypeRef device = CFDictionaryGetValue(properties.Get(), CFSTR("IOTTYDevice"));
    if (!IsString(device)) {
        syslog(LOG_ERR, "serial port without a device name left out");
        return noErr;
    }
    err = CFQDictionarySetNumber(portDict, CFSTR("SortOrder"), 5);
    if (err == noErr) {
        SetString(portDict, kSCPropNetInterfaceDeviceName, static_cast<CFStringRef>(device));
        SetString(portDict, kSCPropNetInterfaceHardware, kSCEntNetModem);
        SetString(portDict, kSCPropNetInterfaceType, kSCValNetInterfaceTypePPP);
        SetString(portDict, kSCPropNetInterfaceSubType, kSCValNetInterfaceSubTypePPPSerial);
        if (CFStringHasPrefix(static_cast<CFStringRef>(base), CFSTR("IrDA-IrCOMM"))) {
            err = CFQDictionarySetNumber(portDict, CFSTR("SortOrder"), 4);
            SetString(portDict, CFSTR("HardwareVariant"), CFSTR("IrDA-IrCOMM"));
        } else if (CFStringHasPrefix(static_cast<CFStringRef>(base), CFSTR("Bluetooth"))) {
            err = CFQDictionarySetNumber(portDict, CFSTR("SortOrder"), 3);
            SetString(portDict, CFSTR("HardwareVariant"), CFSTR("Bluetooth"));
        }
    }
    if (err == noErr) {
        // Modem-on-hold support is a number; a value of another shape is left out.
        CFHolder<CFTypeRef> v92(SearchProperty(object, CFSTR("V92Modem")));
        if (IsNumber(v92.Get())) {
            CFDictionarySetValue(portDict, kSCPropNetInterfaceSupportsModemOnHold, v92.Get());
        }
    }
    return err;
}

extern "C" OSStatus AddMatchingDevicesToArray(CFMutableDictionaryRef matching, DeviceToDictProc proc,
                                              CFMutableArrayRef result)
{
    MORESCF_REQUIRE(matching != nullptr);
    MORESCF_REQUIRE(proc != nullptr);
    MORESCF_REQUIRE(result != nullptr);

    io_iterator_t iterator = 0;
    OSStatus err = IOServiceGetMatchingServices(kIOMasterPortDefault, matching, &iterator);
    io_object_t object = 0;
    while (err == noErr && (object = IOIteratorNext(iterator)) != 0) {
        CFHolder<CFMutableDictionaryRef> portDict;
        err = CFQDictionaryCreateMutable(portDict.Slot());
        if (err == noErr) {
            err = proc(object, portDict.Get());
        }
        if (err == noErr && CFDictionaryGetCount(portDict.Get()) > 0) {
            CFHolder<CFStringRef> name;
            err = CopyUserVisiblePortName(object, portDict.Get(), name.Slot());
            if (err == noErr) {
                CFDictionarySetValue(portDict.Get(), kSCPropUserDefinedName, name.Get());
                CFArrayAppendValue(result, portDict.Get());
            }
        }
        err = ReleaseObject(object, err);
    }
    if (iterator != 0) {
        err = ReleaseObject(iterator, err);
    }
    return err;
}

extern "C" OSStatus MoreSCCreatePortArrayOld(CFArrayRef *portArray)
{
    MORESCF_REQUIRE_SLOT(portArray);

    CFMutableArrayRef result = nullptr;
    OSStatus err = CFQArrayCreateMutable(&result);
    struct Scan {
        CFMutableDictionaryRef (*matching)();
        DeviceToDictProc proc;
    };
    const Scan scans[] = {
        {[] { return IOServiceMatching("IONetworkInterface"); }, EthernetDeviceToDictProc},
        {[] { return SerialMatching(CFSTR("IOModemSerialStream")); }, ModemOrSerialDeviceToDictProc},
        {[] { return SerialMatching(CFSTR("IORS232SerialStream")); }, ModemOrSerialDeviceToDictProc},
    };
    for (const Scan &scan : scans) {
        if (err == noErr) {
            CFMutableDictionaryRef matching = scan.matching();
            err = (matching != nullptr) ? AddMatchingDevicesToArray(matching, scan.proc, result) : OSStatus{-4960};
        }
    }
    if (err == noErr) {
        CFArraySortValues(result, CFRangeMake(0, CFArrayGetCount(result)), PortSorter, nullptr);
    } else {
        CFQRelease(result);
        result = nullptr;
    }
    *portArray = result;
    return err;
}

extern "C" OSStatus MoreSCCreatePortArray(CFArrayRef *portArray)
{
    OSStatus err = MoreSCCreatePortArrayOld(portArray);
    MoreSCFAssert((err == noErr) == (portArray != nullptr && *portArray != nullptr));
    return err;
}
