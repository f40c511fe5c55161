// Services: creating a complete service for a port, and the other service operations of a set
// (its services dictionary and service order, IDs, names, device names, active state, renaming,
// duplication, deletion) with the sweep of services that no set refers to any more.
//
// Ownership: every Copy/Create result below is held by a CFHolder and released when it goes;
// a value handed to a caller through an out slot is given up with Release() only on success.
#include "MoreSCFInternal.h"

#include "MoreCFQ.h"
#include "MoreSCFCCLScanner.h"
#include "MoreSCFDigest.h"

#include <initializer_list>
#include <vector>

using morescf::IsDictionary;
using morescf::CFHolder;
using morescf::IsString;

namespace {

// The modem entity's starting point: no script yet; error correction and compression, speaker
// and waiting for the dial tone on; pulse dialling and call hold off.
const ModemDigest kMoreSCModemDigestDefault = {nullptr, true, true, false, true, false};

// The set's service order and services dictionary, read together. The order should list as
// many IDs as the dictionary has links, or one more; a stored pair that breaks that relation
// came from another writer and is tolerated: adding and removing change both by one as usual.
struct ServicesAndOrder {
    CFHolder<CFMutableDictionaryRef> services;
    CFHolder<CFMutableArrayRef> order;
};

OSStatus CopyServicesAndOrderMutable(CFStringRef setID, ServicesAndOrder &out)
{
    return MoreSCCopyServicesDictMutable(setID, out.services.Slot(), out.order.Slot());
}

// The index of the last occurrence of value in array, or kCFNotFound.
CFIndex LastIndexOf(CFArrayRef array, CFTypeRef value)
{
    return CFArrayGetLastIndexOfValue(array, CFRangeMake(0, CFArrayGetCount(array)), value);
}

bool IsOneOf(CFTypeRef value, std::initializer_list<CFStringRef> choices)
{
    for (CFStringRef choice : choices) {
        if (value != nullptr && CFEqual(value, choice)) {
            return true;
        }
    }
    return false;
}

// What a port dictionary must hold for a service to be made of it. The scanner builds it from
// registry content, so a port of the wrong shape is refused with paramErr rather than asserted.
OSStatus CheckPortDictionary(CFDictionaryRef port)
{
    CFTypeRef name = CFDictionaryGetValue(port, kSCPropUserDefinedName);
    CFTypeRef hardware = CFDictionaryGetValue(port, kSCPropNetInterfaceHardware);
    CFTypeRef type = CFDictionaryGetValue(port, kSCPropNetInterfaceType);
    CFTypeRef device = CFDictionaryGetValue(port, kSCPropNetInterfaceDeviceName);
    CFTypeRef subType = CFDictionaryGetValue(port, kSCPropNetInterfaceSubType);
    CFTypeRef address = CFDictionaryGetValue(port, kSCPropMACAddress);
    CFTypeRef variant = CFDictionaryGetValue(port, CFSTR("HardwareVariant"));
    bool isModem = hardware != nullptr && CFEqual(hardware, kSCEntNetModem);
    bool ok = IsString(name) && IsString(device) &&
              IsOneOf(hardware, {kSCEntNetEthernet, kSCEntNetAirPort, kSCEntNetModem, kSCEntNetFireWire}) &&
              IsOneOf(type, {kSCValNetInterfaceTypeEthernet, kSCValNetInterfaceTypePPP, kSCValNetInterfaceTypeFireWire}) &&
              (CFEqual(type, kSCValNetInterfaceTypePPP) == (subType != nullptr)) &&
              (subType == nullptr ||
               IsOneOf(subType, {kSCValNetInterfaceSubTypePPPSerial, kSCValNetInterfaceSubTypePPPoE})) &&
              (isModem == (address == nullptr)) && (address == nullptr || IsString(address)) &&
              (variant == nullptr || (isModem && IsString(variant)));
    return ok ? OSStatus{noErr} : OSStatus{paramErr};
}

// The call-hold flag of a port without a hardware address: a number that reads as a non-zero
// long integer.
Boolean PortSupportsHold(CFDictionaryRef port)
{
    CFTypeRef value = CFDictionaryGetValue(port, kSCPropNetInterfaceSupportsModemOnHold);
    long hold = 0;
    return value != nullptr && CFGetTypeID(value) == CFNumberGetTypeID() &&
           CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberLongType, &hold) && hold != 0;
}

// Builds an entity with the dispatcher and adds it to the service.
OSStatus AddEntityToService(CFStringRef setID, CFStringRef serviceID, CFStringRef protocol, const void *digest)
{
    CFHolder<CFDictionaryRef> entity;
    OSStatus err = MoreSCCreateEntity(protocol, digest, entity.Slot());
    if (err == noErr) {
        err = MoreSCNewEntity(setID, serviceID, protocol, entity);
    }
    return err;
}

// The default modem script's name, or "" when no script is installed.
OSStatus CopyDefaultConnectionScript(CFStringRef *script)
{
    CFHolder<CFArrayRef> scripts;
    CFIndex defaultIndex = 0;
    OSStatus err = MoreSCCreateCCLArray(scripts.Slot(), &defaultIndex);
    if (err != noErr) {
        return err;
    }
    if (CFArrayGetCount(scripts) > 0 && defaultIndex >= 0 && defaultIndex < CFArrayGetCount(scripts)) {
        *script = static_cast<CFStringRef>(CFRetain(CFArrayGetValueAtIndex(scripts, defaultIndex)));
        return noErr;
    }
    *script = CFStringCreateCopy(nullptr, CFSTR(""));
    return *script != nullptr ? OSStatus{noErr} : OSStatus{coreFoundationUnknownErr};
}

// The hardware entity of a port: AirPort and Ethernet from the address, the modem from the
// defaults and the catalogue's script, nothing for FireWire.
OSStatus AddHardwareEntity(CFStringRef setID, CFStringRef serviceID, CFDictionaryRef port, Boolean supportsHold)
{
    CFTypeRef hardware = CFDictionaryGetValue(port, kSCPropNetInterfaceHardware);
    if (CFEqual(hardware, kSCEntNetFireWire)) {
        return noErr;
    }
    if (CFEqual(hardware, kSCEntNetModem)) {
        CFHolder<CFStringRef> script;
        OSStatus err = CopyDefaultConnectionScript(script.Slot());
        if (err != noErr) {
            return err;
        }
        ModemDigest modem = kMoreSCModemDigestDefault;
        modem.connectionScript = script;
        modem.errorCorrectionAndCompression = true;
        modem.speaker = true;
        modem.waitForDialTone = true;
        modem.pulseDial = false;
        modem.supportsHold = supportsHold;
        return AddEntityToService(setID, serviceID, kSCEntNetModem, &modem);
    }
    auto address = static_cast<CFStringRef>(CFDictionaryGetValue(port, kSCPropMACAddress));
    if (CFEqual(hardware, kSCEntNetAirPort)) {
        AirPortDigest airPort{};
        OSStatus err = MoreSCFStringToMacAddress(address, airPort.macAddress);
        return err != noErr ? err : AddEntityToService(setID, serviceID, kSCEntNetAirPort, &airPort);
    }
    EthernetDigest ethernet{};
    OSStatus err = MoreSCFStringToMacAddress(address, ethernet.macAddress);
    return err != noErr ? err : AddEntityToService(setID, serviceID, kSCEntNetEthernet, &ethernet);
}

// The entities of a new service, in their order: interface, proxies (10.2 and later), DNS,
// IPv4, IPv6 (10.3 and later), PPP, hardware.
OSStatus AddServiceEntities(CFStringRef setID, CFStringRef serviceID, CFDictionaryRef port, UInt32 version)
{
    bool hasAddress = CFDictionaryContainsKey(port, kSCPropMACAddress);
    Boolean supportsHold = hasAddress ? false : PortSupportsHold(port);

    InterfaceDigest interface{};
    interface.deviceName = static_cast<CFStringRef>(CFDictionaryGetValue(port, kSCPropNetInterfaceDeviceName));
    interface.userDefinedName = static_cast<CFStringRef>(CFDictionaryGetValue(port, kSCPropUserDefinedName));
    interface.hardware = static_cast<CFStringRef>(CFDictionaryGetValue(port, kSCPropNetInterfaceHardware));
    interface.type = static_cast<CFStringRef>(CFDictionaryGetValue(port, kSCPropNetInterfaceType));
    if (!hasAddress) {
        interface.subType = static_cast<CFStringRef>(CFDictionaryGetValue(port, kSCPropNetInterfaceSubType));
    }
    interface.variant = static_cast<CFStringRef>(CFDictionaryGetValue(port, CFSTR("HardwareVariant")));
    interface.supportsHold = supportsHold;
    OSStatus err = AddEntityToService(setID, serviceID, kSCEntNetInterface, &interface);

    if (err == noErr && version >= 0x1020) {
        ProxiesDigest proxies{};
        proxies.ftpPassive = true;
        err = AddEntityToService(setID, serviceID, kSCEntNetProxies, &proxies);
    }
    if (err == noErr) {
        DNSDigest dns{};
        err = AddEntityToService(setID, serviceID, kSCEntNetDNS, &dns);
    }
    if (err == noErr) {
        IPv4Digest ipv4{};
        ipv4.configMethod = hasAddress ? kSCValNetIPv4ConfigMethodDHCP : kSCValNetIPv4ConfigMethodPPP;
        gMoreSCCreateIPv4EntityDontCheck = true;
        err = AddEntityToService(setID, serviceID, kSCEntNetIPv4, &ipv4);
        gMoreSCCreateIPv4EntityDontCheck = false;
    }
    if (err == noErr && version >= 0x1030) {
        const void *keys[] = {kSCPropNetIPv6ConfigMethod};
        const void *values[] = {kSCValNetIPv6ConfigMethodAutomatic};
        CFHolder<CFDictionaryRef> ipv6(CFDictionaryCreate(nullptr, keys, values, 1, &kCFTypeDictionaryKeyCallBacks,
                                                          &kCFTypeDictionaryValueCallBacks));
        err = ipv6 ? MoreSCNewEntity(setID, serviceID, kSCEntNetIPv6, ipv6) : coreFoundationUnknownErr;
    }
    if (err == noErr) {
        PPPOptions options = *MoreSCGetDefaultPPPOptions(hasAddress);
        PPPDigest ppp{};
        ppp.active = !hasAddress;
        ppp.options = &options;
        CFHolder<CFDictionaryRef> entity;
        err = MoreSCCreatePPPEntity(&ppp, entity.Slot());
        if (err == noErr) {
            err = MoreSCNewEntity(setID, serviceID, kSCEntNetPPP, entity);
        }
    }
    if (err == noErr) {
        err = AddHardwareEntity(setID, serviceID, port, supportsHold);
    }
    return err;
}

// Takes back what a failed creation added, so that the store is as it was before: the link and
// the last occurrence of the ID in the order (where they got in), the service dictionary, and
// the services dictionary itself when the creation was what made it.
void RemoveHalfMadeService(CFStringRef setID, CFStringRef serviceID, CFStringRef servicePath,
                           bool hadServicesDictionary)
{
    SCPreferencesRef prefs = MoreSCGetSCPreferencesRef();
    ServicesAndOrder current;
    if (CopyServicesAndOrderMutable(setID, current) == noErr) {
        bool linked = CFDictionaryContainsKey(current.services, serviceID);
        CFIndex ordered = LastIndexOf(current.order, serviceID);
        if (linked || ordered != kCFNotFound) {
            CFDictionaryRemoveValue(current.services, serviceID);
            if (ordered != kCFNotFound) {
                CFArrayRemoveValueAtIndex(current.order, ordered);
            }
            (void) MoreSCSetServicesDict(setID, current.services, current.order);
        }
    }
    (void) SCPreferencesPathRemoveValue(prefs, servicePath);
    if (!hadServicesDictionary) {
        CFPropertyListRef services = SCPreferencesGetValue(prefs, kSCPrefNetworkServices);
        if (services != nullptr && CFGetTypeID(services) == CFDictionaryGetTypeID() &&
            CFDictionaryGetCount(static_cast<CFDictionaryRef>(services)) == 0) {
            (void) SCPreferencesRemoveValue(prefs, kSCPrefNetworkServices);
        }
    }
}

}  // namespace

OSStatus AddServiceToSet(CFStringRef setID, CFStringRef serviceID)
{
    MORESCF_REQUIRE(serviceID != nullptr);
    OSStatus err = MoreSCOpen(false, false);
    ServicesAndOrder current;
    if (err == noErr) {
        err = CopyServicesAndOrderMutable(setID, current);
    }
    if (err == noErr) {
        err = AddServiceLinkToDict(serviceID, current.services);
    }
    if (err == noErr) {
        CFArrayAppendValue(current.order, serviceID);
        err = MoreSCSetServicesDict(setID, current.services, current.order);
    }
    MoreSCClose(&err, true);
    return err;
}

OSStatus MoreSCNewService(CFStringRef setID, CFDictionaryRef port, CFStringRef *newServiceID)
{
    MORESCF_REQUIRE(port != nullptr);
    MoreSCFAssert(newServiceID == nullptr || *newServiceID == nullptr);
    OSStatus err = CheckPortDictionary(port);
    if (err != noErr) {
        return err;
    }
    UInt32 version = MoreSCGetSystemVersion();
    err = MoreSCOpen(false, false);
    CFHolder<CFStringRef> serviceID;
    CFHolder<CFStringRef> servicePath;
    bool hadServicesDictionary = false;
    Boolean wasDirty = gPrefsDirty;
    if (err == noErr) {
        CFPropertyListRef services = SCPreferencesGetValue(MoreSCGetSCPreferencesRef(), kSCPrefNetworkServices);
        hadServicesDictionary = services != nullptr;
        err = MakeNewSeAndCopyIDAndPath(kSCPrefNetworkServices, serviceID.Slot(), servicePath.Slot());
    }
    bool made = err == noErr;
    if (err == noErr) {
        err = AddServiceToSet(setID, serviceID);
    }
    if (err == noErr) {
        err = MoreSCRenameService(setID, serviceID,
                                  static_cast<CFStringRef>(CFDictionaryGetValue(port, kSCPropUserDefinedName)));
    }
    if (err == noErr) {
        err = AddServiceEntities(setID, serviceID, port, version);
    }
    if (err != noErr && made) {
        // The steps that succeeded marked the session for commit; with their work taken back
        // there is nothing of this call's to commit, so the mark is put back as it was: a
        // creation that fails on its own writes nothing at all.
        RemoveHalfMadeService(setID, serviceID, servicePath, hadServicesDictionary);
        gPrefsDirty = wasDirty;
    }
    MoreSCClose(&err, true);
    if (err == noErr && newServiceID != nullptr) {
        *newServiceID = serviceID.Release();
    }
    return err;
}

// ---- The services dictionary and service order of a set ----

namespace {

// Reads the services dictionary and/or the service order of a set, as stored (borrowed from the
// session's store) — each must have the type it should: a store is outside data.
OSStatus GetServicesDictAndOrder(CFStringRef setID, CFDictionaryRef *services, CFArrayRef *order)
{
    SCPreferencesRef prefs = MoreSCGetSCPreferencesRef();
    OSStatus err = noErr;
    if (services != nullptr) {
        CFHolder<CFStringRef> path;
        err = CopySetServicesPath(setID, path.Slot());
        if (err == noErr) {
            CFDictionaryRef value = SCPreferencesPathGetValue(prefs, path);
            err = MoreSCError(value);
            *services = value;
        }
    }
    if (err == noErr && order != nullptr) {
        CFHolder<CFStringRef> path;
        err = CopySetIPv4GlobalPath(setID, path.Slot());
        if (err == noErr) {
            CFDictionaryRef global = SCPreferencesPathGetValue(prefs, path);
            CFTypeRef value = global != nullptr ? CFDictionaryGetValue(global, kSCPropNetServiceOrder) : nullptr;
            if (value == nullptr || CFGetTypeID(value) != CFArrayGetTypeID()) {
                err = coreFoundationUnknownErr;
            } else {
                *order = static_cast<CFArrayRef>(value);
            }
        }
    }
    return err;
}

}  // namespace

OSStatus MoreSCCopyServicesDict(CFStringRef setID, CFDictionaryRef *servicesDict, CFArrayRef *serviceOrder)
{
    MORESCF_REQUIRE(servicesDict != nullptr || serviceOrder != nullptr);
    MoreSCFAssert(servicesDict == nullptr || *servicesDict == nullptr);
    MoreSCFAssert(serviceOrder == nullptr || *serviceOrder == nullptr);
    OSStatus err = MoreSCOpen(false, false);
    CFDictionaryRef services = nullptr;
    CFArrayRef order = nullptr;
    if (err == noErr) {
        err = GetServicesDictAndOrder(setID, servicesDict != nullptr ? &services : nullptr,
                                      serviceOrder != nullptr ? &order : nullptr);
    }
    if (err == noErr) {
        if (servicesDict != nullptr) {
            *servicesDict = static_cast<CFDictionaryRef>(CFRetain(services));
        }
        if (serviceOrder != nullptr) {
            *serviceOrder = static_cast<CFArrayRef>(CFRetain(order));
        }
    }
    MoreSCClose(&err, false);
    return err;
}

OSStatus MoreSCCopyServicesDictMutable(CFStringRef setID, CFMutableDictionaryRef *servicesDict,
                                       CFMutableArrayRef *serviceOrder)
{
    MORESCF_REQUIRE(servicesDict != nullptr || serviceOrder != nullptr);
    MoreSCFAssert(servicesDict == nullptr || *servicesDict == nullptr);
    MoreSCFAssert(serviceOrder == nullptr || *serviceOrder == nullptr);
    OSStatus err = MoreSCOpen(false, false);
    CFDictionaryRef services = nullptr;
    CFArrayRef order = nullptr;
    if (err == noErr) {
        err = GetServicesDictAndOrder(setID, &services, &order);
    }
    CFHolder<CFMutableDictionaryRef> servicesCopy;
    CFHolder<CFMutableArrayRef> orderCopy;
    if (err == noErr) {
        servicesCopy.Reset(CFDictionaryCreateMutableCopy(nullptr, 0, services));
        orderCopy.Reset(CFArrayCreateMutableCopy(nullptr, 0, order));
        if (!servicesCopy || !orderCopy) {
            err = coreFoundationUnknownErr;
        }
    }
    if (err == noErr) {
        if (servicesDict != nullptr) {
            *servicesDict = servicesCopy.Release();
        }
        if (serviceOrder != nullptr) {
            *serviceOrder = orderCopy.Release();
        }
    }
    MoreSCClose(&err, false);
    return err;
}

OSStatus MoreSCSetServicesDict(CFStringRef setID, CFDictionaryRef servicesDict, CFArrayRef serviceOrder)
{
    MORESCF_REQUIRE(servicesDict != nullptr || serviceOrder != nullptr);
    OSStatus err = MoreSCOpen(false, false);
    if (err == noErr && servicesDict != nullptr) {
        CFHolder<CFStringRef> path;
        err = CopySetServicesPath(setID, path.Slot());
        if (err == noErr) {
            err = MoreSCErrorBoolean(SCPreferencesPathSetValue(MoreSCGetSCPreferencesRef(), path, servicesDict));
        }
    }
    if (err == noErr && serviceOrder != nullptr) {
        CFHolder<CFStringRef> path;
        err = CopySetIPv4GlobalPath(setID, path.Slot());
        if (err == noErr) {
            err = PreferencesPathSetProperty(path, kSCPropNetServiceOrder, serviceOrder);
        }
    }
    MoreSCClose(&err, true);
    return err;
}

OSStatus MoreSCCopyServiceIDs(CFStringRef setID, CFArrayRef *localIDs, CFArrayRef *resolvedIDs)
{
    MORESCF_REQUIRE(localIDs != nullptr || resolvedIDs != nullptr);
    MoreSCFAssert(localIDs == nullptr || *localIDs == nullptr);
    MoreSCFAssert(resolvedIDs == nullptr || *resolvedIDs == nullptr);
    OSStatus err = MoreSCOpen(false, false);
    CFHolder<CFArrayRef> order;
    if (err == noErr) {
        err = MoreSCCopyServicesDict(setID, nullptr, order.Slot());
    }
    CFHolder<CFMutableArrayRef> local;
    CFHolder<CFMutableArrayRef> resolved;
    if (err == noErr && localIDs != nullptr) {
        err = CFQArrayCreateMutable(local.Slot());
    }
    if (err == noErr && resolvedIDs != nullptr) {
        err = CFQArrayCreateMutable(resolved.Slot());
    }
    if (err == noErr) {
        for (CFIndex i = 0; i < CFArrayGetCount(order); i++) {
            CFTypeRef entry = CFArrayGetValueAtIndex(order, i);
            if (!IsString(entry)) {
                continue;
            }
            auto serviceID = static_cast<CFStringRef>(entry);
            if (local) {
                CFArrayAppendValue(local, serviceID);
            }
            if (resolved) {
                // An entry without a link is left out of the resolved list only.
                CFHolder<CFStringRef> path;
                CFHolder<CFStringRef> resolvedID;
                if (CopyResolvedServicePath(setID, serviceID, path.Slot()) == noErr &&
                    CopySeIDFromSePath(path, resolvedID.Slot()) == noErr) {
                    CFArrayAppendValue(resolved, resolvedID);
                }
            }
        }
        if (localIDs != nullptr) {
            *localIDs = local.Release();
        }
        if (resolvedIDs != nullptr) {
            *resolvedIDs = resolved.Release();
        }
    }
    MoreSCClose(&err, false);
    return err;
}

// ---- One service of a set ----

namespace {

// The service's whole dictionary, resolved through the set's link; the value at key must be of
// type typeID (a store is outside data: anything else is -4960).
OSStatus CopyServiceValue(CFStringRef setID, CFStringRef serviceID, CFStringRef key, CFTypeID typeID,
                          CFTypeRef *value)
{
    CFHolder<CFDictionaryRef> service;
    OSStatus err = MoreSCCopyEntitiesDict(setID, serviceID, service.Slot());
    if (err == noErr) {
        CFTypeRef found = CFDictionaryGetValue(service, key);
        if (found == nullptr || CFGetTypeID(found) != typeID) {
            err = coreFoundationUnknownErr;
        } else {
            *value = CFRetain(found);
        }
    }
    return err;
}

}  // namespace

OSStatus MoreSCRenameService(CFStringRef setID, CFStringRef serviceID, CFStringRef newName)
{
    MORESCF_REQUIRE(serviceID != nullptr);
    MORESCF_REQUIRE(newName != nullptr);
    OSStatus err = MoreSCOpen(false, false);
    CFHolder<CFStringRef> path;
    if (err == noErr) {
        err = CopyResolvedServicePath(setID, serviceID, path.Slot());
    }
    if (err == noErr) {
        err = PreferencesPathSetProperty(path, kSCPropUserDefinedName, newName);
    }
    MoreSCClose(&err, true);
    return err;
}

OSStatus MoreSCCopyUserVisibleNameOfService(CFStringRef setID, CFStringRef serviceID, CFStringRef *userVisibleName)
{
    MORESCF_REQUIRE(serviceID != nullptr);
    MORESCF_REQUIRE_SLOT(userVisibleName);
    OSStatus err = MoreSCOpen(false, false);
    if (err == noErr) {
        err = CopyServiceValue(setID, serviceID, kSCPropUserDefinedName, CFStringGetTypeID(),
                               reinterpret_cast<CFTypeRef *>(userVisibleName));
    }
    MoreSCClose(&err, false);
    return err;
}

OSStatus MoreSCCopyBSDNameOfService(CFStringRef setID, CFStringRef serviceID, CFStringRef *bsdName)
{
    MORESCF_REQUIRE(serviceID != nullptr);
    MORESCF_REQUIRE_SLOT(bsdName);
    OSStatus err = MoreSCOpen(false, false);
    CFHolder<CFDictionaryRef> interface;
    if (err == noErr) {
        err = CopyServiceValue(setID, serviceID, kSCEntNetInterface, CFDictionaryGetTypeID(),
                               reinterpret_cast<CFTypeRef *>(interface.Slot()));
    }
    if (err == noErr) {
        CFTypeRef name = CFDictionaryGetValue(interface, kSCPropNetInterfaceDeviceName);
        if (IsString(name)) {
            *bsdName = static_cast<CFStringRef>(CFRetain(name));
        } else {
            err = coreFoundationUnknownErr;
        }
    }
    MoreSCClose(&err, false);
    return err;
}

OSStatus MoreSCIsServiceActive(CFStringRef setID, CFStringRef serviceID, Boolean *active)
{
    MORESCF_REQUIRE(serviceID != nullptr);
    MORESCF_REQUIRE(active != nullptr);
    OSStatus err = MoreSCOpen(false, false);
    CFHolder<CFDictionaryRef> service;
    if (err == noErr) {
        err = MoreSCCopyEntitiesDict(setID, serviceID, service.Slot());
    }
    if (err == noErr) {
        *active = !CFDictionaryContainsKey(service, kSCResvInactive);
    }
    MoreSCClose(&err, false);
    return err;
}

OSStatus MoreSCSetServiceActive(CFStringRef setID, CFStringRef serviceID, Boolean active)
{
    MORESCF_REQUIRE(serviceID != nullptr);
    OSStatus err = MoreSCOpen(false, false);
    CFHolder<CFMutableDictionaryRef> service;
    Boolean changed = false;
    if (err == noErr) {
        err = MoreSCCopyEntitiesDictMutable(setID, serviceID, service.Slot());
    }
    if (err == noErr) {
        err = SetDictionaryActive(service, active, &changed);
    }
    if (err == noErr && changed) {
        err = MoreSCSetEntitiesDict(setID, serviceID, service);
    }
    MoreSCClose(&err, changed);
    return err;
}

// ---- Deletion, the sweep, duplication ----

namespace {

// Adds to referenced the ID behind every link of the set's services dictionary.
void AddLinkTargets(CFStringRef setID, CFMutableSetRef referenced)
{
    CFHolder<CFStringRef> path;
    if (CopySetServicesPath(setID, path.Slot()) != noErr) {
        return;
    }
    CFDictionaryRef services = SCPreferencesPathGetValue(MoreSCGetSCPreferencesRef(), path);
    if (services == nullptr) {
        return;
    }
    CFIndex count = CFDictionaryGetCount(services);
    std::vector<const void *> links(static_cast<size_t>(count));
    CFDictionaryGetKeysAndValues(services, nullptr, links.data());
    for (const void *link : links) {
        if (CFGetTypeID(link) != CFDictionaryGetTypeID()) {
            continue;
        }
        CFTypeRef target = CFDictionaryGetValue(static_cast<CFDictionaryRef>(link), kSCResvLink);
        CFHolder<CFStringRef> serviceID;
        if (IsString(target) && CopySeIDFromSePath(static_cast<CFStringRef>(target), serviceID.Slot()) == noErr) {
            CFSetAddValue(referenced, serviceID);
        }
    }
}

}  // namespace

OSStatus DeleteUnreferencedServices(void)
{
    MORESCF_REQUIRE_SESSION();
    CFHolder<CFMutableSetRef> referenced(CFSetCreateMutable(nullptr, 0, &kCFTypeSetCallBacks));
    OSStatus err = referenced ? OSStatus{noErr} : OSStatus{coreFoundationUnknownErr};
    CFHolder<CFArrayRef> setIDs;
    if (err == noErr) {
        err = MoreSCCopySetIDs(setIDs.Slot(), nullptr);
    }
    // Referenced: every service a set's order resolves to, and every service a set links to.
    for (CFIndex i = 0; err == noErr && i < CFArrayGetCount(setIDs); i++) {
        auto setID = static_cast<CFStringRef>(CFArrayGetValueAtIndex(setIDs, i));
        CFHolder<CFArrayRef> resolved;
        err = MoreSCCopyServiceIDs(setID, nullptr, resolved.Slot());
        if (err == noErr) {
            for (CFIndex k = 0; k < CFArrayGetCount(resolved); k++) {
                CFSetAddValue(referenced, CFArrayGetValueAtIndex(resolved, k));
            }
            AddLinkTargets(setID, referenced);
        }
    }
    CFHolder<CFArrayRef> serviceIDs;
    if (err == noErr) {
        CFPropertyListRef services = SCPreferencesGetValue(MoreSCGetSCPreferencesRef(), kSCPrefNetworkServices);
        err = MoreSCError(services);
        if (err == noErr && CFGetTypeID(services) != CFDictionaryGetTypeID()) {
            err = coreFoundationUnknownErr;
        }
        if (err == noErr) {
            err = CFQArrayCreateWithDictionaryKeys(static_cast<CFDictionaryRef>(services), serviceIDs.Slot());
        }
    }
    for (CFIndex i = 0; err == noErr && i < CFArrayGetCount(serviceIDs); i++) {
        auto serviceID = static_cast<CFStringRef>(CFArrayGetValueAtIndex(serviceIDs, i));
        if (CFSetContainsValue(referenced, serviceID)) {
            continue;
        }
        CFHolder<CFStringRef> path;
        err = CreateServicePathWithServiceID(serviceID, path.Slot());
        if (err == noErr) {
            err = MoreSCErrorBoolean(SCPreferencesPathRemoveValue(MoreSCGetSCPreferencesRef(), path));
        }
    }
    return err;
}

OSStatus MoreSCDeleteService(CFStringRef setID, CFStringRef serviceID)
{
    MORESCF_REQUIRE(serviceID != nullptr);
    OSStatus err = MoreSCOpen(false, false);
    bool opened = err == noErr;
    ServicesAndOrder current;
    if (err == noErr) {
        err = CopyServicesAndOrderMutable(setID, current);
    }
    if (err == noErr) {
        CFIndex index = CFArrayGetFirstIndexOfValue(current.order, CFRangeMake(0, CFArrayGetCount(current.order)),
                                                    serviceID);
        MoreSCFAssert(CFDictionaryContainsKey(current.services, serviceID));
        MoreSCFAssert(index != kCFNotFound);
        CFDictionaryRemoveValue(current.services, serviceID);
        if (index != kCFNotFound) {
            CFArrayRemoveValueAtIndex(current.order, index);
        }
        err = MoreSCSetServicesDict(setID, current.services, current.order);
        if (err == noErr) {
            err = DeleteUnreferencedServices();
        }
    } else if (opened) {
        (void) DeleteUnreferencedServices();
    }
    MoreSCClose(&err, true);
    return err;
}

OSStatus DuplicateService(CFStringRef serviceID, CFStringRef *newServiceID)
{
    MORESCF_REQUIRE(serviceID != nullptr);
    MORESCF_REQUIRE_SLOT(newServiceID);
    MORESCF_REQUIRE_SESSION();
    SCPreferencesRef prefs = MoreSCGetSCPreferencesRef();
    CFHolder<CFStringRef> newID;
    CFHolder<CFStringRef> newPath;
    OSStatus err = MakeNewSeAndCopyIDAndPath(kSCPrefNetworkServices, newID.Slot(), newPath.Slot());
    CFHolder<CFStringRef> oldPath;
    if (err == noErr) {
        err = CreateServicePathWithServiceID(serviceID, oldPath.Slot());
    }
    CFDictionaryRef original = nullptr;
    if (err == noErr) {
        original = SCPreferencesPathGetValue(prefs, oldPath);
        err = MoreSCError(original);
    }
    if (err == noErr) {
        CFHolder<CFPropertyListRef> copy(
            CFPropertyListCreateDeepCopy(nullptr, original, kCFPropertyListMutableContainersAndLeaves));
        err = copy ? MoreSCErrorBoolean(SCPreferencesPathSetValue(prefs, newPath, static_cast<CFDictionaryRef>(copy.Get())))
                   : coreFoundationUnknownErr;
    }
    if (err == noErr) {
        *newServiceID = newID.Release();
    }
    return err;
}

OSStatus MoreSCDuplicateService(CFStringRef setID, CFStringRef serviceID, CFStringRef newName,
                                CFStringRef *newServiceID)
{
    MORESCF_REQUIRE(serviceID != nullptr);
    MoreSCFAssert(newServiceID == nullptr || *newServiceID == nullptr);
    OSStatus err = MoreSCOpen(false, false);
    bool opened = err == noErr;
    CFHolder<CFStringRef> copyID;
    if (err == noErr) {
        err = DuplicateService(serviceID, copyID.Slot());
    }
    if (err == noErr) {
        err = AddServiceToSet(setID, copyID);
    }
    if (err == noErr && newName != nullptr) {
        err = MoreSCRenameService(setID, copyID, newName);
    }
    if (err != noErr && opened) {
        (void) DeleteUnreferencedServices();
    }
    MoreSCClose(&err, true);
    if (err == noErr && newServiceID != nullptr) {
        *newServiceID = copyID.Release();
    }
    return err;
}
