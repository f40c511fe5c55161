// Entity builders: the dispatcher by protocol, and the interface and hardware entities
// (Ethernet, AirPort, modem).
#include "MoreSCF.h"
#include "MoreSCFDigest.h"
#include "MoreSCFDigestInternal.h"

#include <syslog.h>

using namespace moresc_digest;

namespace {

bool Equal(CFTypeRef a, CFTypeRef b) { return a != nullptr && b != nullptr && CFEqual(a, b); }

bool IsOneOf(CFStringRef value, std::initializer_list<CFStringRef> allowed)
{
    for (CFStringRef candidate : allowed) {
        if (Equal(value, candidate)) {
            return true;
        }
    }
    return false;
}

// Stores the text of a hardware address under kSCPropMACAddress.
OSStatus SetMacAddress(CFMutableDictionaryRef entity, const UInt8 macAddress[6])
{
    CFStringRef text = nullptr;
    OSStatus err = MoreSCFCreateStringWithMacAddress(macAddress, &text);
    if (err == noErr) {
        CFDictionarySetValue(entity, kSCPropMACAddress, text);
    }
    CFQRelease(text);
    return err;
}

// One row of the dispatcher: the protocol, the line logged before building, the builder.
struct EntityKind {
    CFStringRef protocol;
    const char *logLine;
    OSStatus (*build)(const void *digest, CFDictionaryRef *entity);
};

template <class Digest, OSStatus (*Builder)(const Digest *, CFDictionaryRef *)>
OSStatus Build(const void *digest, CFDictionaryRef *entity)
{
    return Builder(static_cast<const Digest *>(digest), entity);
}

}  // namespace

extern "C" OSStatus MoreSCCreateEntity(CFStringRef protocol, const void *digest, CFDictionaryRef *entity)
{
    MORESCF_REQUIRE(protocol != nullptr);
    MORESCF_REQUIRE(digest != nullptr);
    MORESCF_REQUIRE_SLOT(entity);

    const EntityKind kinds[] = {
        {kSCEntNetInterface, "create Netinterface", Build<InterfaceDigest, MoreSCCreateInterfaceEntity>},
        {kSCEntNetProxies, "create net proxies", Build<ProxiesDigest, MoreSCCreateProxiesEntity>},
        {kSCEntNetDNS, "create dns", Build<DNSDigest, MoreSCCreateDNSEntity>},
        {CFSTR("IPV6DNS"), "create upv6dns", Build<IPv6DNSDigest, MoreSCCreateIPv6DNSEntity>},
        {kSCEntNetIPv4, "create ipv4", Build<IPv4Digest, MoreSCCreateIPv4Entity>},
        {kSCEntNetPPP, "create ppp", Build<PPPDigest, MoreSCCreatePPPEntity>},
        {kSCEntNetAirPort, "create airport", Build<AirPortDigest, MoreSCCreateAirPortEntity>},
        {kSCEntNetEthernet, "create ethernet", Build<EthernetDigest, MoreSCCreateEthernetEntity>},
        {kSCEntNetModem, "create modem", Build<ModemDigest, MoreSCCreateModemEntity>},
    };
    for (const EntityKind &kind : kinds) {
        if (CFEqual(protocol, kind.protocol)) {
            syslog(LOG_ERR, "%s", kind.logLine);
            return kind.build(digest, entity);
        }
    }
    MoreSCFAssert(false && "a protocol the entity builders know");
    return -50;
}

extern "C" OSStatus MoreSCCreateInterfaceEntity(const InterfaceDigest *digest, CFDictionaryRef *entity)
{
    MORESCF_REQUIRE(digest != nullptr);
    MORESCF_REQUIRE_SLOT(entity);
    MORESCF_REQUIRE(digest->deviceName != nullptr && digest->userDefinedName != nullptr);
    MORESCF_REQUIRE(IsOneOf(digest->hardware, {kSCEntNetAirPort, kSCEntNetEthernet, kSCEntNetModem, kSCEntNetFireWire}));
    MORESCF_REQUIRE(IsOneOf(digest->type, {kSCValNetInterfaceTypeEthernet, kSCValNetInterfaceTypePPP,
                                           kSCValNetInterfaceTypeFireWire}));
    MORESCF_REQUIRE(digest->subType == nullptr ||
                    (Equal(digest->type, kSCValNetInterfaceTypePPP) &&
                     IsOneOf(digest->subType, {kSCValNetInterfaceSubTypePPPSerial, kSCValNetInterfaceSubTypePPPoE})));
    bool isModem = Equal(digest->hardware, kSCEntNetModem);
    MORESCF_REQUIRE(digest->variant == nullptr || isModem);

    CFMutableDictionaryRef result = nullptr;
    OSStatus err = CFQDictionaryCreateMutable(&result);
    if (err == noErr) {
        CFDictionarySetValue(result, kSCPropNetInterfaceDeviceName, digest->deviceName);
        CFDictionarySetValue(result, kSCPropUserDefinedName, digest->userDefinedName);
        CFDictionarySetValue(result, kSCPropNetInterfaceHardware, digest->hardware);
        if (isModem && digest->supportsHold) {
            err = CFQDictionarySetNumber(result, kSCPropNetInterfaceSupportsModemOnHold, 1);
        }
    }
    if (err == noErr) {
        CFDictionarySetValue(result, kSCPropNetInterfaceType, digest->type);
        SetIfGiven(result, kSCPropNetInterfaceSubType, digest->subType);
        SetIfGiven(result, CFSTR("HardwareVariant"), digest->variant);
    }
    return HandOverEntity(err, result, entity);
}

extern "C" OSStatus MoreSCCreateEthernetEntity(const EthernetDigest *digest, CFDictionaryRef *entity)
{
    MORESCF_REQUIRE(digest != nullptr);
    MORESCF_REQUIRE_SLOT(entity);

    CFMutableDictionaryRef result = nullptr;
    OSStatus err = CFQDictionaryCreateMutable(&result);
    if (err == noErr) {
        err = SetMacAddress(result, digest->macAddress);
    }
    return HandOverEntity(err, result, entity);
}

extern "C" OSStatus MoreSCCreateAirPortEntity(const AirPortDigest *digest, CFDictionaryRef *entity)
{
    MORESCF_REQUIRE(digest != nullptr);
    MORESCF_REQUIRE_SLOT(entity);

    CFMutableDictionaryRef result = nullptr;
    OSStatus err = CFQDictionaryCreateMutable(&result);
    // From 10.4 the system keeps the AirPort card's address itself.
    if (err == noErr && MoreSCGetSystemVersion() <= 0x103F) {
        err = SetMacAddress(result, digest->macAddress);
    }
    if (err == noErr) {
        SetIfGiven(result, kSCPropNetAirPortPreferredNetwork, digest->preferredNetwork);
    }
    return HandOverEntity(err, result, entity);
}

extern "C" OSStatus MoreSCCreateModemEntity(const ModemDigest *digest, CFDictionaryRef *entity)
{
    MORESCF_REQUIRE(digest != nullptr);
    MORESCF_REQUIRE_SLOT(entity);
    MORESCF_REQUIRE(digest->connectionScript != nullptr);

    CFMutableDictionaryRef result = nullptr;
    OSStatus err = CFQDictionaryCreateMutable(&result);
    if (err == noErr) {
        CFDictionarySetValue(result, kSCPropNetModemConnectionScript, digest->connectionScript);
        err = CFQDictionarySetNumber(result, kSCPropNetModemDataCompression, digest->errorCorrectionAndCompression ? 1 : 0);
    }
    if (err == noErr) {
        CFDictionarySetValue(result, kSCPropNetModemDialMode,
                             digest->waitForDialTone ? kSCValNetModemDialModeWaitForDialTone
                                                     : kSCValNetModemDialModeIgnoreDialTone);
        err = SetNumbers(result, {{kSCPropNetModemErrorCorrection, digest->errorCorrectionAndCompression ? 1 : 0},
                                  {kSCPropNetModemPulseDial, digest->pulseDial ? 1 : 0},
                                  {kSCPropNetModemSpeaker, digest->speaker ? 1 : 0}});
    }
    if (err == noErr && digest->supportsHold) {
        err = SetNumbers(result, {{kSCPropNetModemHoldCallWaitingAudibleAlert, 1},
                                  {kSCPropNetModemHoldDisconnectOnAnswer, 0},
                                  {kSCPropNetModemHoldEnabled, 0},
                                  {kSCPropNetModemHoldReminder, 1},
                                  {kSCPropNetModemHoldReminderTime, 10}});
    }
    return HandOverEntity(err, result, entity);
}
