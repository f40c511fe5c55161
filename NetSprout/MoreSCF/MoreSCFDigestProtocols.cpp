// Entity builders: the protocol entities (IPv4, DNS, IPv6 DNS, proxies, PPP, DadarTalk), the
// PPP default options per system version, and the set's global entities.
#include "MoreSCF.h"
#include "MoreSCFDigest.h"
#include "MoreSCFDigestInternal.h"

using namespace moresc_digest;

static_assert(sizeof(PPPOptions) == 32, "PPPOptions is a 32-byte record");
static_assert(offsetof(PPPOptions, idleReminderTimer) == 4 && offsetof(PPPOptions, disconnectOnIdle) == 8 &&
                  offsetof(PPPOptions, disconnectOnIdleTimer) == 12 && offsetof(PPPOptions, disconnectOnLogout) == 16 &&
                  offsetof(PPPOptions, commRedialCount) == 20 && offsetof(PPPOptions, commRedialInterval) == 24 &&
                  offsetof(PPPOptions, lcpEchoEnabled) == 28 && offsetof(PPPOptions, verboseLogging) == 31,
              "PPPOptions keeps its fixed layout");

// Fields in record order: dial on demand, idle reminder, reserved, idle reminder timer,
// disconnect on idle, reserved, its timer, disconnect on logout, redial enabled, reserved,
// redial count, redial interval, LCP echo, VJ compression, terminal window, verbose logging.
const PPPOptions kMoreSCPPPOptionsDefaultTenOne = {0, 0, {0, 0}, 1800, 1, {0, 0, 0}, 900, 1, 1, {0, 0}, 1, 30, 0, 1, 0, 0};
const PPPOptions kMoreSCPPPOptionsDefaultTenTwoAndLater[2] = {
    {0, 0, {0, 0}, 1800, 1, {0, 0, 0}, 600, 1, 1, {0, 0}, 1, 5, 0, 1, 0, 1},   // modem
    {0, 0, {0, 0}, 1800, 0, {0, 0, 0}, 1800, 1, 1, {0, 0}, 1, 5, 0, 1, 0, 0},  // PPPoE
};

Boolean gTenTwoOrLater = false;
Boolean gTenThreeOrLater = false;
Boolean gTenThreeFiveOrLater = false;
Boolean gTenFourOrLater = false;

Boolean gMoreSCCreateIPv4EntityDontCheck = false;

namespace {

void UpdateVersionFlags()
{
    UInt32 version = MoreSCGetSystemVersion();
    gTenTwoOrLater = version > 0x101F;
    gTenThreeOrLater = version > 0x102F;
    gTenThreeFiveOrLater = version > 0x1034;
    gTenFourOrLater = version > 0x103F;
}

// Stores an array made by create (its status passes through) under key.
template <class Create>
OSStatus SetCreatedArray(CFMutableDictionaryRef dict, CFStringRef key, Create create)
{
    CFArrayRef array = nullptr;
    OSStatus err = create(&array);
    if (err == noErr) {
        CFDictionarySetValue(dict, key, array);
    }
    CFQRelease(array);
    return err;
}

// An array holding the given strings, in order.
OSStatus CreateArrayOfStrings(ItemCount count, const CFStringRef strings[], CFArrayRef *result)
{
    CFMutableArrayRef array = nullptr;
    OSStatus err = CFQArrayCreateMutable(&array);
    for (ItemCount i = 0; err == noErr && i < count; i++) {
        MoreSCFAssert(strings[i] != nullptr);
        if (strings[i] != nullptr) {
            CFArrayAppendValue(array, strings[i]);
        }
    }
    *result = array;
    return err;
}

// The two keys shared by the DNS entities: server addresses (made by createServers) and search
// domains, each only when its count is not 0.
template <class Digest, class CreateServers>
OSStatus CreateDNSLikeEntity(const Digest *digest, CreateServers createServers, CFDictionaryRef *entity)
{
    MORESCF_REQUIRE(digest != nullptr);
    MORESCF_REQUIRE_SLOT(entity);
    MORESCF_REQUIRE(digest->searchDomainCount == 0 || digest->searchDomains != nullptr);

    CFMutableDictionaryRef result = nullptr;
    OSStatus err = CFQDictionaryCreateMutable(&result);
    if (err == noErr && digest->serverAddressCount > 0) {
        err = SetCreatedArray(result, kSCPropNetDNSServerAddresses, createServers);
    }
    if (err == noErr && digest->searchDomainCount > 0) {
        err = SetCreatedArray(result, kSCPropNetDNSSearchDomains, [digest](CFArrayRef *array) {
            return CreateArrayOfStrings(digest->searchDomainCount, digest->searchDomains, array);
        });
    }
    return HandOverEntity(err, result, entity);
}

// Stores the dotted text of a non-zero IPv4 address under key, as a one-element array or alone.
OSStatus SetInetAddress(CFMutableDictionaryRef dict, CFStringRef key, UInt32 address, bool asArray)
{
    if (address == 0) {
        return noErr;
    }
    if (asArray) {
        return SetCreatedArray(dict, key, [address](CFArrayRef *array) {
            return MoreSCFCreateArrayWithInetAddresses(1, &address, array);
        });
    }
    CFStringRef text = nullptr;
    OSStatus err = MoreSCFCreateStringWithInetAddress(address, &text);
    if (err == noErr) {
        CFDictionarySetValue(dict, key, text);
    }
    CFQRelease(text);
    return err;
}

}  // namespace

extern "C" const PPPOptions *MoreSCGetDefaultPPPOptions(Boolean isPPPoE)
{
    UpdateVersionFlags();
    if (!gTenTwoOrLater) {
        return &kMoreSCPPPOptionsDefaultTenOne;
    }
    return &kMoreSCPPPOptionsDefaultTenTwoAndLater[isPPPoE ? 1 : 0];
}

extern "C" OSStatus MoreSCCreateIPv4Entity(const IPv4Digest *digest, CFDictionaryRef *entity)
{
    MORESCF_REQUIRE(digest != nullptr);
    MORESCF_REQUIRE_SLOT(entity);

    // The digest check answers with its own codes and builds nothing.
    if (!gMoreSCCreateIPv4EntityDontCheck) {
        bool knownMethod = false;
        for (CFStringRef method : {kSCValNetIPv4ConfigMethodBOOTP, kSCValNetIPv4ConfigMethodDHCP,
                                   kSCValNetIPv4ConfigMethodINFORM, kSCValNetIPv4ConfigMethodManual,
                                   kSCValNetIPv4ConfigMethodPPP}) {
            knownMethod = knownMethod || (digest->configMethod != nullptr && CFEqual(digest->configMethod, method));
        }
        if (!knownMethod) {
            return kMoreSCIPv4BadConfigMethodErr;
        }
        if (digest->clientID != nullptr && !CFEqual(digest->configMethod, kSCValNetIPv4ConfigMethodDHCP)) {
            return kMoreSCIPv4ClientIDNeedsDHCPErr;
        }
    }
    MORESCF_REQUIRE(digest->configMethod != nullptr);

    CFMutableDictionaryRef result = nullptr;
    OSStatus err = CFQDictionaryCreateMutable(&result);
    if (err == noErr) {
        CFDictionarySetValue(result, kSCPropNetIPv4ConfigMethod, digest->configMethod);
        SetIfGiven(result, kSCPropNetIPv4DHCPClientID, digest->clientID);
        err = SetInetAddress(result, kSCPropNetIPv4Addresses, digest->address, true);
    }
    if (err == noErr) {
        err = SetInetAddress(result, kSCPropNetIPv4SubnetMasks, digest->subnetMask, true);
    }
    if (err == noErr) {
        err = SetInetAddress(result, kSCPropNetIPv4Router, digest->router, false);
    }
    return HandOverEntity(err, result, entity);
}

extern "C" OSStatus MoreSCCreateDNSEntity(const DNSDigest *digest, CFDictionaryRef *entity)
{
    MORESCF_REQUIRE(digest != nullptr);
    return CreateDNSLikeEntity(digest, [digest](CFArrayRef *array) {
        return MoreSCFCreateArrayWithInetAddresses(digest->serverAddressCount, digest->serverAddresses, array);
    }, entity);
}

extern "C" OSStatus MoreSCCreateIPv6DNSEntity(const IPv6DNSDigest *digest, CFDictionaryRef *entity)
{
    MORESCF_REQUIRE(digest != nullptr);
    return CreateDNSLikeEntity(digest, [digest](CFArrayRef *array) {
        return MoreSCFCreateArrayWithIPv6InetAddresses(digest->serverAddressCount, digest->serverIPv6Addresses, array);
    }, entity);
}

extern "C" OSStatus AddProxy(CFMutableDictionaryRef dict, CFStringRef enableKey, CFStringRef proxyKey,
                             CFStringRef portKey, Boolean enabled, CFStringRef proxy, UInt16 port)
{
    MORESCF_REQUIRE(dict != nullptr);
    MORESCF_REQUIRE(enableKey != nullptr);

    // From 10.3 an unused group is left out altogether.
    if (MoreSCGetSystemVersion() >= 0x1030 && !enabled && proxy == nullptr && port == 0) {
        return noErr;
    }
    OSStatus err = CFQDictionarySetNumber(dict, enableKey, enabled ? 1 : 0);
    if (err == noErr && proxyKey != nullptr) {
        SetIfGiven(dict, proxyKey, proxy);
    }
    if (err == noErr && portKey != nullptr && port != 0) {
        err = CFQDictionarySetNumber(dict, portKey, port);
    }
    return err;
}

extern "C" OSStatus MoreSCCreateProxiesEntity(const ProxiesDigest *digest, CFDictionaryRef *entity)
{
    MORESCF_REQUIRE(digest != nullptr);
    MORESCF_REQUIRE_SLOT(entity);

    struct Group {
        CFStringRef enableKey, proxyKey, portKey;
        Boolean enabled;
        CFStringRef proxy;
        UInt16 port;
    };
    const Group groups[] = {
        {kSCPropNetProxiesFTPEnable, kSCPropNetProxiesFTPProxy, kSCPropNetProxiesFTPPort, digest->ftpEnable,
         digest->ftpProxy, digest->ftpPort},
        {kSCPropNetProxiesGopherEnable, kSCPropNetProxiesGopherProxy, kSCPropNetProxiesGopherPort,
         digest->gopherEnable, digest->gopherProxy, digest->gopherPort},
        {kSCPropNetProxiesHTTPEnable, kSCPropNetProxiesHTTPProxy, kSCPropNetProxiesHTTPPort, digest->httpEnable,
         digest->httpProxy, digest->httpPort},
        {kSCPropNetProxiesHTTPSEnable, kSCPropNetProxiesHTTPSProxy, kSCPropNetProxiesHTTPSPort, digest->httpsEnable,
         digest->httpsProxy, digest->httpsPort},
        {kSCPropNetProxiesRTSPEnable, kSCPropNetProxiesRTSPProxy, kSCPropNetProxiesRTSPPort, digest->rtspEnable,
         digest->rtspProxy, digest->rtspPort},
        {kSCPropNetProxiesSOCKSEnable, kSCPropNetProxiesSOCKSProxy, kSCPropNetProxiesSOCKSPort, digest->socksEnable,
         digest->socksProxy, digest->socksPort},
    };

    CFMutableDictionaryRef result = nullptr;
    OSStatus err = CFQDictionaryCreateMutable(&result);
    if (err == noErr) {
        SetIfGiven(result, kSCPropNetProxiesExceptionsList, digest->exceptionsList);
        err = CFQDictionarySetNumber(result, kSCPropNetProxiesFTPPassive, digest->ftpPassive ? 1 : 0);
    }
    for (const Group &group : groups) {
        if (err == noErr) {
            err = AddProxy(result, group.enableKey, group.proxyKey, group.portKey, group.enabled, group.proxy, group.port);
        }
    }
    if (err == noErr && MoreSCGetSystemVersion() >= 0x1040) {
        err = SetNumbers(result, {{CFSTR("ExcludeSimpleHostnames"), digest->excludeSimpleHostnames ? 1 : 0},
                                  {CFSTR("ProxyAutoDiscoveryEnable"), digest->proxyAutoDiscoveryEnable ? 1 : 0}});
    }
    return HandOverEntity(err, result, entity);
}

extern "C" OSStatus MoreSCCreatePPPEntity(const PPPDigest *digest, CFDictionaryRef *entity)
{
    MORESCF_REQUIRE(digest != nullptr);
    MORESCF_REQUIRE_SLOT(entity);

    // The builder reads the version flags, so it sets them itself: a caller that brings its own
    // options has not asked for the defaults, which would otherwise be what sets them.
    UpdateVersionFlags();
    const PPPOptions *options = (digest->options != nullptr) ? digest->options : MoreSCGetDefaultPPPOptions(false);

    CFMutableDictionaryRef result = nullptr;
    OSStatus err = CFQDictionaryCreateMutable(&result);
    if (err == noErr) {
        SetIfGiven(result, kSCPropUserDefinedName, digest->userDefinedName);
        if (!digest->active) {
            err = CFQDictionarySetNumber(result, kSCResvInactive, 1);
        }
    }
    if (err == noErr) {
        err = SetNumbers(result, {{kSCPropNetPPPDialOnDemand, options->dialOnDemand ? 1 : 0},
                                  {kSCPropNetPPPDisconnectOnIdle, options->disconnectOnIdle ? 1 : 0},
                                  {kSCPropNetPPPDisconnectOnIdleTimer, options->disconnectOnIdleTimer},
                                  {kSCPropNetPPPDisconnectOnLogout, options->disconnectOnLogout ? 1 : 0},
                                  {kSCPropNetPPPIdleReminder, options->idleReminder ? 1 : 0},
                                  {kSCPropNetPPPIdleReminderTimer, options->idleReminderTimer}});
    }
    if (err == noErr) {
        CFDictionarySetValue(result, kSCPropNetPPPLogfile,
                             gTenThreeFiveOrLater ? CFSTR("/var/log/ppp.log") : CFSTR("/tmp/ppp.log"));
        err = CFQDictionarySetNumber(result, kSCPropNetPPPVerboseLogging, options->verboseLogging ? 1 : 0);
    }
    if (err == noErr) {
        SetIfGiven(result, kSCPropNetPPPAuthName, digest->authName);
        if (digest->password != nullptr) {
            CFDataRef encoded = nullptr;
            err = MoreSCFCopyEncodedPPPPassword(digest->password, &encoded);
            if (err == noErr) {
                CFDictionarySetValue(result, kSCPropNetPPPAuthPassword, encoded);
            }
            CFQRelease(encoded);
        }
    }
    if (err == noErr) {
        SetIfGiven(result, kSCPropNetPPPCommAlternateRemoteAddress, digest->alternateRemoteAddress);
        err = SetNumbers(result, {{kSCPropNetPPPCommDisplayTerminalWindow, options->commDisplayTerminalWindow ? 1 : 0},
                                  {kSCPropNetPPPCommRedialCount, options->commRedialCount},
                                  {kSCPropNetPPPCommRedialEnabled, options->commRedialEnabled ? 1 : 0},
                                  {kSCPropNetPPPCommRedialInterval, options->commRedialInterval}});
    }
    if (err == noErr) {
        SetIfGiven(result, kSCPropNetPPPCommRemoteAddress, digest->remoteAddress);
        if (gTenTwoOrLater) {
            err = CFQDictionarySetNumber(result, kSCPropNetPPPCommUseTerminalScript, 0);
        }
    }
    if (err == noErr) {
        err = SetNumbers(result, {{kSCPropNetPPPIPCPCompressionVJ, options->ipcpCompressionVJ ? 1 : 0},
                                  {kSCPropNetPPPLCPEchoEnabled, options->lcpEchoEnabled ? 1 : 0},
                                  {kSCPropNetPPPLCPEchoFailure, gTenTwoOrLater ? 4 : 3},
                                  {kSCPropNetPPPLCPEchoInterval, 10}});
    }
    if (err == noErr && gTenThreeOrLater) {
        err = CFQDictionarySetNumber(result, kSCPropNetPPPACSPEnabled, 0);
    }
    if (err == noErr && gTenTwoOrLater) {
        err = CFQDictionarySetNumber(result, kSCPropNetPPPDisconnectOnSleep, 1);
    }
    if (err == noErr && gTenFourOrLater) {
        err = CFQDictionarySetNumber(result, CFSTR("DisconnectOnFastUserSwitch"), 1);
    }
    return HandOverEntity(err, result, entity);
}

extern "C" OSStatus MoreSCCreateDadarTalkEntity(const DadarTalkDigest *digest, CFDictionaryRef *entity)
{
    MORESCF_REQUIRE(digest != nullptr);
    MORESCF_REQUIRE_SLOT(entity);

    CFMutableDictionaryRef result = nullptr;
    OSStatus err = CFQDictionaryCreateMutable(&result);
    if (err == noErr && !digest->active) {
        err = CFQDictionarySetNumber(result, kSCResvInactive, 1);
    }
    return HandOverEntity(err, result, entity);
}

extern "C" OSStatus MoreSCCreateGlobalEntity(CFStringRef protocol, const void *digest, CFDictionaryRef *entity)
{
    MORESCF_REQUIRE(protocol != nullptr && CFEqual(protocol, kSCEntNetIPv4));
    return MoreSCCreateIPv4GlobalEntity(digest, entity);
}

extern "C" OSStatus MoreSCCreateIPv4GlobalEntity(const void *digest, CFDictionaryRef *entity)
{
    MORESCF_REQUIRE(digest != nullptr);
    MORESCF_REQUIRE_SLOT(entity);

    CFMutableDictionaryRef result = nullptr;
    OSStatus err = CFQDictionaryCreateMutable(&result);
    if (err == noErr && MoreSCGetSystemVersion() <= 0x104F) {
        err = CFQDictionarySetNumber(result, kSCPropNetPPPOverridePrimary, 0);
    }
    if (err == noErr) {
        CFArrayRef serviceOrder = CFArrayCreate(kCFAllocatorDefault, nullptr, 0, &kCFTypeArrayCallBacks);
        err = CFQError(serviceOrder);
        if (err == noErr) {
            CFDictionarySetValue(result, kSCPropNetServiceOrder, serviceOrder);
        }
        CFQRelease(serviceOrder);
    }
    return HandOverEntity(err, result, entity);
}

extern "C" OSStatus MoreSCCreateNetInfoGlobalEntity(const void *digest, CFDictionaryRef *entity)
{
    MORESCF_REQUIRE(digest != nullptr);
    MORESCF_REQUIRE_SLOT(entity);

    CFMutableDictionaryRef result = nullptr;
    OSStatus err = CFQDictionaryCreateMutable(&result);
    return HandOverEntity(err, result, entity);
}
