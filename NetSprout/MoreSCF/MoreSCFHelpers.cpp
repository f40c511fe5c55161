// Set recipes over the preferences model: finding sets and ports, single-service settings
// bundles (dial-up, PPPoE), the guarded deletion of the current set, the DHCP services of the
// dynamic store and the release of a lease.
//
// Ownership: every Copy/Create result is held by a CFHolder and released when it goes; a value
// handed to a caller through an out slot is given up with Release() only on success.
#include "MoreSCFHelpers.h"

#include "MoreCFQ.h"
#include "MoreSCFInternal.h"
#include "MoreSCFPortScanner.h"

using morescf::CFHolder;
using morescf::IsDictionary;
using morescf::IsString;

namespace {

// The modem's own serial devices, whose services a single-service set switches off.
const CFStringRef kModemDiagDevice = CFSTR("ORVEKAMobile-Diag");
const CFStringRef kModemPcuiDevice = CFSTR("ORVEKAMobile-Pcui");
// The builders' name of the IPv6 DNS entity, which a bundle keeps under kSCEntNetDNS.
const CFStringRef kIPv6DNSProtocol = CFSTR("IPV6DNS");
// A set-up IPv4 entity without a configuration method.
constexpr OSStatus kNoConfigMethodErr = -2;

// Big enough for every digest, all zero: what a recipe builds from when no digest is given.
union AnyDigest {
    InterfaceDigest interface;
    EthernetDigest ethernet;
    AirPortDigest airPort;
    ModemDigest modem;
    IPv4Digest ipv4;
    DNSDigest dns;
    IPv6DNSDigest ipv6DNS;
    ProxiesDigest proxies;
    PPPDigest ppp;
    DadarTalkDigest dadarTalk;
};
const AnyDigest kZeroDigest{};

// The first failure of a walk that goes on after failures.
void KeepFirst(OSStatus &first, OSStatus err)
{
    if (first == noErr) {
        first = err;
    }
}

// Applies the bundle to one service on the device: active, then each entity in the bundle's
// order; the first failing entity ends this service.
OSStatus ApplySettingsToService(CFStringRef serviceID, CFArrayRef protocols, CFArrayRef entities)
{
    OSStatus err = MoreSCSetServiceActive(nullptr, serviceID, true);
    for (CFIndex i = 0; err == noErr && i < CFArrayGetCount(protocols); i++) {
        auto protocol = static_cast<CFStringRef>(CFArrayGetValueAtIndex(protocols, i));
        auto entity = static_cast<CFDictionaryRef>(CFArrayGetValueAtIndex(entities, i));
        if (CFEqual(protocol, kSCEntNetInterface)) {
            CFHolder<CFMutableDictionaryRef> interface;
            err = MoreSCCopyEntityMutable(nullptr, serviceID, kSCEntNetInterface, interface.Slot());
            if (err == noErr) {
                err = CFQDictionaryMerge(interface, entity);
            }
            if (err == noErr) {
                err = MoreSCSetEntity(nullptr, serviceID, kSCEntNetInterface, interface);
            }
        } else {
            err = MoreSCSetEntity(nullptr, serviceID, protocol, entity);
        }
    }
    return err;
}

// The service IDs of the current set's order, as listed.
OSStatus CopyCurrentSetServiceIDs(CFArrayRef *serviceIDs)
{
    return MoreSCCopyServiceIDs(nullptr, serviceIDs, nullptr);
}

}  // namespace

OSStatus MoreSCFindSetByUserVisibleNameAndCopyID(CFStringRef name, CFStringRef *setID)
{
    MORESCF_REQUIRE(name != nullptr);
    MORESCF_REQUIRE_SLOT(setID);
    OSStatus err = MoreSCOpen(false, false);
    CFHolder<CFArrayRef> setIDs;
    if (err == noErr) {
        err = MoreSCCopySetIDs(setIDs.Slot(), nullptr);
    }
    for (CFIndex i = 0; err == noErr && *setID == nullptr && i < CFArrayGetCount(setIDs); i++) {
        auto candidate = static_cast<CFStringRef>(CFArrayGetValueAtIndex(setIDs, i));
        CFHolder<CFStringRef> candidateName;
        err = MoreSCCopyUserVisibleNameOfSet(candidate, candidateName.Slot());
        if (err == coreFoundationUnknownErr) {
            err = noErr;  // a set without a name cannot be the one asked for
        } else if (err == noErr && CFEqual(candidateName, name)) {
            *setID = static_cast<CFStringRef>(CFRetain(candidate));
        }
    }
    MoreSCClose(&err, false);
    if (err != noErr && *setID != nullptr) {
        CFRelease(*setID);
        *setID = nullptr;
    }
    return err;
}

OSStatus MoreSCFCopyDefaultPortBSDName(CFStringRef hardware, CFStringRef *deviceName)
{
    MORESCF_REQUIRE(hardware != nullptr);
    MORESCF_REQUIRE_SLOT(deviceName);
    CFHolder<CFArrayRef> ports;
    OSStatus err = MoreSCCreatePortArray(ports.Slot());
    for (CFIndex i = 0; err == noErr && i < CFArrayGetCount(ports); i++) {
        auto port = static_cast<CFDictionaryRef>(CFArrayGetValueAtIndex(ports, i));
        CFTypeRef portHardware = CFDictionaryGetValue(port, kSCPropNetInterfaceHardware);
        CFTypeRef device = CFDictionaryGetValue(port, kSCPropNetInterfaceDeviceName);
        if (portHardware != nullptr && CFEqual(portHardware, hardware) && IsString(device)) {
            *deviceName = static_cast<CFStringRef>(CFRetain(device));
            break;
        }
    }
    return err;
}

OSStatus SetupEntity(CFMutableDictionaryRef settings, CFStringRef protocol, const void *digest)
{
    MORESCF_REQUIRE(settings != nullptr);
    MORESCF_REQUIRE(protocol != nullptr);
    CFHolder<CFDictionaryRef> entity;
    OSStatus err = MoreSCCreateEntity(protocol, digest != nullptr ? digest : &kZeroDigest, entity.Slot());
    if (err == noErr) {
        CFStringRef key = CFEqual(protocol, kIPv6DNSProtocol) ? kSCEntNetDNS : protocol;
        CFDictionaryAddValue(settings, key, entity);
    }
    return err;
}

OSStatus MoreSCMakeNewSingleServiceSet(CFStringRef deviceName, CFStringRef userVisibleName,
                                       CFDictionaryRef settings, CFStringRef *newSetID)
{
    MORESCF_REQUIRE(deviceName != nullptr);
    MORESCF_REQUIRE(userVisibleName != nullptr);
    MORESCF_REQUIRE(settings != nullptr);
    MoreSCFAssert(newSetID == nullptr || *newSetID == nullptr);

    OSStatus err = MoreSCOpen(false, false);
    CFHolder<CFArrayRef> protocols;
    CFHolder<CFArrayRef> entities;
    CFHolder<CFArrayRef> serviceIDs;
    if (err == noErr) {
        err = CFQArrayCreateWithDictionaryKeys(settings, protocols.Slot());
    }
    if (err == noErr) {
        err = CFQArrayCreateWithDictionaryValues(settings, entities.Slot());
    }
    if (err == noErr) {
        err = CopyCurrentSetServiceIDs(serviceIDs.Slot());
    }
    // Every service of the set is looked at, whatever happened to the one before.
    OSStatus walkErr = noErr;
    for (CFIndex i = 0; err == noErr && i < CFArrayGetCount(serviceIDs); i++) {
        auto serviceID = static_cast<CFStringRef>(CFArrayGetValueAtIndex(serviceIDs, i));
        CFHolder<CFStringRef> device;
        if (MoreSCCopyBSDNameOfService(nullptr, serviceID, device.Slot()) != noErr) {
            continue;  // no device: not a service the bundle is for
        }
        if (CFEqual(device, deviceName)) {
            KeepFirst(walkErr, ApplySettingsToService(serviceID, protocols, entities));
        } else if (CFEqual(device, kModemDiagDevice) || CFEqual(device, kModemPcuiDevice)) {
            KeepFirst(walkErr, MoreSCSetServiceActive(nullptr, serviceID, false));
        }
    }
    KeepFirst(err, walkErr);
    // The services that took their settings are committed even when another one failed: each
    // write committed itself at its own level.
    MoreSCClose(&err, true);
    return err;
}

OSStatus MoreSCMakeNewDialupSet(CFStringRef deviceName, CFStringRef userVisibleName, const ModemDigest *modem,
                                const PPPDigest *ppp, const IPv4Digest *ipv4, const DNSDigest *dns,
                                const IPv6DNSDigest *ipv6DNS, CFStringRef *newSetID)
{
    MORESCF_REQUIRE(userVisibleName != nullptr);
    MoreSCFAssert(newSetID == nullptr || *newSetID == nullptr);
    if (deviceName == nullptr) {
        return paramErr;
    }
    CFHolder<CFMutableDictionaryRef> settings;
    OSStatus err = CFQDictionaryCreateMutable(settings.Slot());
    if (err == noErr) {
        err = SetupEntity(settings, kSCEntNetPPP, ppp);
    }
    if (err == noErr && modem != nullptr) {
        err = SetupEntity(settings, kSCEntNetModem, modem);
    }
    if (err == noErr && ipv4 != nullptr) {
        err = SetupEntity(settings, kSCEntNetIPv4, ipv4);
    }
    if (err == noErr && dns != nullptr) {
        err = SetupEntity(settings, kSCEntNetDNS, dns);
    }
    if (err == noErr && ipv6DNS != nullptr) {
        err = SetupEntity(settings, kIPv6DNSProtocol, ipv6DNS);
    }
    if (err == noErr) {
        err = MoreSCMakeNewSingleServiceSet(deviceName, userVisibleName, settings, newSetID);
    }
    return err;
}

OSStatus MoreSCMakeNewPPPoESet(CFStringRef deviceName, CFStringRef userVisibleName, const PPPDigest *ppp,
                               const IPv4Digest *ipv4, const DNSDigest *dns, CFStringRef *newSetID)
{
    MORESCF_REQUIRE(userVisibleName != nullptr);
    MORESCF_REQUIRE(ppp != nullptr && ppp->active);
    MoreSCFAssert(newSetID == nullptr || *newSetID == nullptr);

    CFHolder<CFStringRef> device(deviceName != nullptr ? static_cast<CFStringRef>(CFRetain(deviceName)) : nullptr);
    OSStatus err = noErr;
    if (!device) {
        err = MoreSCFCopyDefaultPortBSDName(kSCEntNetEthernet, device.Slot());
        if (err == noErr && !device) {
            err = paramErr;  // no Ethernet port
        }
    }
    CFHolder<CFMutableDictionaryRef> settings;
    if (err == noErr) {
        err = CFQDictionaryCreateMutable(settings.Slot());
    }
    if (err == noErr) {
        err = SetupEntity(settings, kSCEntNetPPP, ppp);
    }
    if (err == noErr) {
        IPv4Digest viaPPP{};
        viaPPP.configMethod = kSCValNetIPv4ConfigMethodPPP;
        err = SetupEntity(settings, kSCEntNetIPv4, ipv4 != nullptr ? ipv4 : &viaPPP);
    }
    if (err == noErr && dns != nullptr) {
        err = SetupEntity(settings, kSCEntNetDNS, dns);
    }
    if (err == noErr) {
        const void *keys[] = {kSCPropNetInterfaceType, kSCPropNetInterfaceSubType};
        const void *values[] = {kSCValNetInterfaceTypePPP, kSCValNetInterfaceSubTypePPPoE};
        CFHolder<CFDictionaryRef> interface(CFDictionaryCreate(nullptr, keys, values, 2, &kCFTypeDictionaryKeyCallBacks,
                                                               &kCFTypeDictionaryValueCallBacks));
        if (interface) {
            CFDictionaryAddValue(settings, kSCEntNetInterface, interface);
        } else {
            err = coreFoundationUnknownErr;
        }
    }
    if (err == noErr) {
        err = MoreSCMakeNewSingleServiceSet(device, userVisibleName, settings, newSetID);
    }
    return err;
}

OSStatus DeleteSet(CFStringRef deviceName)
{
    MORESCF_REQUIRE(deviceName != nullptr);
    OSStatus err = MoreSCOpen(false, false);
    CFHolder<CFStringRef> currentSetID;
    CFHolder<CFArrayRef> serviceIDs;
    if (err == noErr) {
        err = MoreSCCopyCurrentSet(currentSetID.Slot());
    }
    if (err == noErr) {
        err = CopyCurrentSetServiceIDs(serviceIDs.Slot());
    }
    bool holdsDevice = false;
    for (CFIndex i = 0; err == noErr && !holdsDevice && i < CFArrayGetCount(serviceIDs); i++) {
        CFHolder<CFStringRef> device;
        holdsDevice = MoreSCCopyBSDNameOfService(nullptr, static_cast<CFStringRef>(CFArrayGetValueAtIndex(serviceIDs, i)),
                                                 device.Slot()) == noErr &&
                      CFEqual(device, deviceName);
    }
    // The model keeps the current set: its refusal is the answer, and no other set is made
    // current to get round it.
    if (err == noErr && holdsDevice) {
        err = MoreSCDeleteSet(currentSetID);
    }
    MoreSCClose(&err, true);
    return err;
}

OSStatus MoreSCCreateActiveDHCPServicesArray(CFArrayRef *serviceIDs)
{
    MORESCF_REQUIRE_SLOT(serviceIDs);
    CFStringRef client = MoreSCGetClient();
    CFHolder<SCDynamicStoreRef> store(
        SCDynamicStoreCreate(nullptr, client != nullptr ? client : CFSTR("MoreSCF"), nullptr, nullptr));
    OSStatus err = MoreSCError(store.Get());
    CFHolder<CFStringRef> pattern;
    if (err == noErr) {
        pattern.Reset(SCDynamicStoreKeyCreateNetworkServiceEntity(nullptr, kSCDynamicStoreDomainSetup, kSCCompAnyRegex,
                                                                  kSCEntNetIPv4));
        err = MoreSCError(pattern.Get());
    }
    CFHolder<CFArrayRef> keys;
    if (err == noErr) {
        keys.Reset(SCDynamicStoreCopyKeyList(store, pattern));
        err = MoreSCError(keys.Get());
    }
    CFHolder<CFMutableArrayRef> result;
    if (err == noErr) {
        err = CFQArrayCreateMutable(result.Slot());
    }
    for (CFIndex i = 0; err == noErr && i < CFArrayGetCount(keys); i++) {
        auto key = static_cast<CFStringRef>(CFArrayGetValueAtIndex(keys, i));
        CFHolder<CFPropertyListRef> value(SCDynamicStoreCopyValue(store, key));
        err = MoreSCError(value.Get());
        if (err != noErr) {
            break;
        }
        // The dynamic store is shared with other processes: a value of another shape counts as
        // an entity without a method.
        CFTypeRef method = IsDictionary(value) ? CFDictionaryGetValue(static_cast<CFDictionaryRef>(value.Get()),
                                                                      kSCPropNetIPv4ConfigMethod)
                                               : nullptr;
        if (method == nullptr) {
            err = kNoConfigMethodErr;
        } else if (CFEqual(method, kSCValNetIPv4ConfigMethodDHCP)) {
            // "Setup:/Network/Service/<ID>/IPv4"
            CFHolder<CFArrayRef> parts(CFStringCreateArrayBySeparatingStrings(nullptr, key, CFSTR("/")));
            err = MoreSCError(parts.Get());
            if (err == noErr && CFArrayGetCount(parts) == 5) {
                CFArrayAppendValue(result, CFArrayGetValueAtIndex(parts, 3));
            }
        }
    }
    if (err == noErr) {
        *serviceIDs = result.Release();
    }
    return err;
}

OSStatus MoreSCDHCPRelease(CFStringRef serviceID)
{
    MORESCF_REQUIRE(serviceID != nullptr);
    // The entity the user switched off stays off: only an active one is cycled.
    Boolean wasActive = false;
    OSStatus err = MoreSCOpen(false, false);
    if (err == noErr) {
        err = MoreSCIsEntityActive(nullptr, serviceID, kSCEntNetIPv4, &wasActive);
    }
    if (err == noErr && wasActive) {
        err = MoreSCSetEntityActive(nullptr, serviceID, kSCEntNetIPv4, false);
    }
    MoreSCClose(&err, true);
    if (err == noErr && wasActive) {
        err = MoreSCOpen(false, false);
        if (err == noErr) {
            err = MoreSCSetEntityActive(nullptr, serviceID, kSCEntNetIPv4, true);
        }
        MoreSCClose(&err, true);
    }
    return err;
}

OSStatus MoreSCIsDadarTalkActive(CFStringRef setID, Boolean *active)
{
    MORESCF_REQUIRE(active != nullptr);
    *active = false;
    OSStatus err = MoreSCOpen(false, false);
    CFHolder<CFArrayRef> serviceIDs;
    if (err == noErr) {
        err = MoreSCCopyServiceIDs(setID, serviceIDs.Slot(), nullptr);
    }
    for (CFIndex i = 0; err == noErr && i < CFArrayGetCount(serviceIDs); i++) {
        Boolean serviceActive = false;
        err = MoreSCIsServiceActive(setID, static_cast<CFStringRef>(CFArrayGetValueAtIndex(serviceIDs, i)),
                                    &serviceActive);
    }
    MoreSCClose(&err, false);
    return err;
}

OSStatus MoreSCSetDadarTalkActive(CFStringRef setID)
{
    OSStatus err = MoreSCOpen(false, false);
    CFHolder<CFArrayRef> serviceIDs;
    if (err == noErr) {
        err = MoreSCCopyServiceIDs(setID, serviceIDs.Slot(), nullptr);
    }
    MoreSCClose(&err, false);
    return err;
}
