/*
 * Entity builders: each turns a digest (a plain record describing one protocol or one piece of
 * hardware) into the dictionary stored as that entity of a network service; plus the small
 * encodings the digests need (hardware addresses, IPv4 and IPv6 addresses, the PPP password).
 *
 * Common contract of every builder: the digest is read only and borrowed (the strings and arrays
 * in it are retained by the entity when stored); the out slot must be supplied and hold NULL on
 * entry; on success (status 0) it holds a new mutable dictionary the caller releases; on failure
 * it holds NULL, nothing half-built survives, and the status says why: -4960 a value could not
 * be created, -108 no memory, -1 a hardware address text with fewer than six fields, and the
 * IPv4 check's own codes (kMoreSCIPv4BadConfigMethodErr, kMoreSCIPv4ClientIDNeedsDHCPErr).
 *
 * Several defaults follow the running system's version (MoreSCGetSystemVersion): 0x1020 is 10.2,
 * 0x1030 10.3, 0x1035 10.3.5, 0x1040 10.4, 0x104F the last 10.4 value.
 */
#ifndef MORESCF_DIGEST_H
#define MORESCF_DIGEST_H

#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/CoreServices.h>
#include <SystemConfiguration/SystemConfiguration.h>

#include <stddef.h>

#include "MoreSCFAssert.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Encodings ---- */

/* "0a:3f:71:00:00:01": six lower-case two-digit groups. */
OSStatus MoreSCFCreateStringWithMacAddress(const UInt8 macAddress[6], CFStringRef *result);
/* Parses six colon-separated hexadecimal fields of at most two digits (either case); text after
 * the sixth field is ignored. -4960 for a text longer than 17 characters or not ASCII, -1 when
 * fewer than six fields convert. */
OSStatus MoreSCFStringToMacAddress(CFStringRef macString, UInt8 macAddress[6]);
/* Dotted decimal of an IPv4 address held in network byte order. */
OSStatus MoreSCFCreateStringWithInetAddress(UInt32 address, CFStringRef *result);
/* The IPv6 address text (ASCII) as a string. */
OSStatus MoreSCFCreateStringWithIPv6InetAddress(const char *address, CFStringRef *result);
/* Arrays of the texts of count addresses, in input order (count 0: an empty array). */
OSStatus MoreSCFCreateArrayWithInetAddresses(ItemCount count, const UInt32 addresses[], CFArrayRef *result);
OSStatus MoreSCFCreateArrayWithIPv6InetAddresses(ItemCount count, const char *const addresses[], CFArrayRef *result);
/* The password's UTF-16 code units, two bytes each in host byte order, no byte-order mark and no
 * terminator. */
OSStatus MoreSCFCopyEncodedPPPPassword(CFStringRef password, CFDataRef *result);

/* ---- Interface and hardware digests ---- */

typedef struct InterfaceDigest {
    CFStringRef deviceName;       /* required: "en0", or a serial device */
    CFStringRef hardware;         /* required: kSCEntNetAirPort, ...Ethernet, ...Modem, ...FireWire */
    CFStringRef variant;          /* "IrDA-IrCOMM", "Bluetooth" or NULL; modem hardware only */
    CFStringRef type;             /* required: kSCValNetInterfaceTypeEthernet, ...PPP, ...FireWire */
    CFStringRef subType;          /* PPP only: kSCValNetInterfaceSubTypePPPSerial or ...PPPoE */
    CFStringRef userDefinedName;  /* required */
    Boolean supportsHold;         /* modem-on-hold (modem hardware only) */
} InterfaceDigest;

typedef struct EthernetDigest {
    UInt8 macAddress[6];
} EthernetDigest;

typedef struct AirPortDigest {
    UInt8 macAddress[6];
    CFStringRef preferredNetwork; /* or NULL */
} AirPortDigest;

typedef struct ModemDigest {
    CFStringRef connectionScript; /* required: a modem script's name */
    Boolean errorCorrectionAndCompression;
    Boolean speaker;
    Boolean pulseDial;
    Boolean waitForDialTone;
    Boolean supportsHold;
} ModemDigest;

/* ---- Protocol digests ---- */

typedef struct IPv4Digest {
    CFStringRef configMethod;     /* kSCValNetIPv4ConfigMethodBOOTP, DHCP, INFORM, Manual or PPP */
    UInt32 address;               /* network byte order; 0 = not set */
    UInt32 subnetMask;
    UInt32 router;
    CFStringRef clientID;         /* DHCP only, or NULL */
} IPv4Digest;

typedef struct DNSDigest {
    ItemCount serverAddressCount;
    const UInt32 *serverAddresses;          /* network byte order */
    ItemCount searchDomainCount;
    const CFStringRef *searchDomains;
} DNSDigest;

typedef struct IPv6DNSDigest {
    ItemCount serverAddressCount;
    const char *const *serverIPv6Addresses; /* texts */
    ItemCount searchDomainCount;
    const CFStringRef *searchDomains;
} IPv6DNSDigest;

typedef struct ProxiesDigest {
    CFArrayRef exceptionsList;    /* strings, or NULL */
    Boolean ftpPassive;
    Boolean ftpEnable;
    CFStringRef ftpProxy;
    UInt16 ftpPort;
    Boolean gopherEnable;
    CFStringRef gopherProxy;
    UInt16 gopherPort;
    Boolean httpEnable;
    CFStringRef httpProxy;
    UInt16 httpPort;
    Boolean httpsEnable;
    CFStringRef httpsProxy;
    UInt16 httpsPort;
    Boolean rtspEnable;
    CFStringRef rtspProxy;
    UInt16 rtspPort;
    Boolean socksEnable;
    CFStringRef socksProxy;
    UInt16 socksPort;
    Boolean excludeSimpleHostnames;
    Boolean proxyAutoDiscoveryEnable;
} ProxiesDigest;

/* PPP link options: 32 bytes, this layout exactly. */
typedef struct PPPOptions {
    Boolean dialOnDemand;                /* 0 */
    Boolean idleReminder;                /* 1 */
    UInt8 reserved1[2];
    SInt32 idleReminderTimer;            /* 4, seconds */
    Boolean disconnectOnIdle;            /* 8 */
    UInt8 reserved2[3];
    SInt32 disconnectOnIdleTimer;        /* 12, seconds */
    Boolean disconnectOnLogout;          /* 16 */
    Boolean commRedialEnabled;           /* 17 */
    UInt8 reserved3[2];
    SInt32 commRedialCount;              /* 20 */
    SInt32 commRedialInterval;           /* 24, seconds */
    Boolean lcpEchoEnabled;              /* 28 */
    Boolean ipcpCompressionVJ;           /* 29 */
    Boolean commDisplayTerminalWindow;   /* 30 */
    Boolean verboseLogging;              /* 31 */
} PPPOptions;

typedef struct PPPDigest {
    Boolean active;
    CFStringRef userDefinedName;         /* each of these strings may be NULL */
    CFStringRef authName;
    CFStringRef password;
    CFStringRef remoteAddress;
    CFStringRef alternateRemoteAddress;
    const PPPOptions *options;           /* NULL: the default modem options */
} PPPDigest;

typedef struct DadarTalkDigest {
    Boolean active;
} DadarTalkDigest;

/* The default options before 10.2, and from 10.2 for a modem ([0]) and for PPPoE ([1]). */
extern const PPPOptions kMoreSCPPPOptionsDefaultTenOne;
extern const PPPOptions kMoreSCPPPOptionsDefaultTenTwoAndLater[2];

/* The version flags, recomputed by MoreSCGetDefaultPPPOptions and by the PPP builder itself. */
extern Boolean gTenTwoOrLater;
extern Boolean gTenThreeOrLater;
extern Boolean gTenThreeFiveOrLater;
extern Boolean gTenFourOrLater;

/* Switches the IPv4 digest check off while true (the service builder sets it around its call). */
extern Boolean gMoreSCCreateIPv4EntityDontCheck;

/* The IPv4 check's statuses: 'bad!' a configuration method outside the five, 'dhcp' a client
 * identifier with a method other than DHCP. */
enum {
    kMoreSCIPv4BadConfigMethodErr = 0x62616421,
    kMoreSCIPv4ClientIDNeedsDHCPErr = 0x64686370
};

/* The default options for this system: before 10.2 the ten-one record, from 10.2 the PPPoE
 * record when isPPPoE, else the modem record. Borrowed, constant. */
const PPPOptions *MoreSCGetDefaultPPPOptions(Boolean isPPPoE);

/* ---- Builders ---- */

/* Builds the entity named by protocol (kSCEntNetInterface, ...Proxies, ...DNS, "IPV6DNS",
 * ...IPv4, ...PPP, ...AirPort, ...Ethernet, ...Modem) from the digest of that kind, after writing
 * one line naming it to the system log (priority 3). */
OSStatus MoreSCCreateEntity(CFStringRef protocol, const void *digest, CFDictionaryRef *entity);

OSStatus MoreSCCreateInterfaceEntity(const InterfaceDigest *digest, CFDictionaryRef *entity);
OSStatus MoreSCCreateEthernetEntity(const EthernetDigest *digest, CFDictionaryRef *entity);
OSStatus MoreSCCreateAirPortEntity(const AirPortDigest *digest, CFDictionaryRef *entity);
OSStatus MoreSCCreateModemEntity(const ModemDigest *digest, CFDictionaryRef *entity);

OSStatus MoreSCCreateIPv4Entity(const IPv4Digest *digest, CFDictionaryRef *entity);
OSStatus MoreSCCreateDNSEntity(const DNSDigest *digest, CFDictionaryRef *entity);
OSStatus MoreSCCreateIPv6DNSEntity(const IPv6DNSDigest *digest, CFDictionaryRef *entity);
OSStatus MoreSCCreateProxiesEntity(const ProxiesDigest *digest, CFDictionaryRef *entity);
OSStatus MoreSCCreatePPPEntity(const PPPDigest *digest, CFDictionaryRef *entity);
OSStatus MoreSCCreateDadarTalkEntity(const DadarTalkDigest *digest, CFDictionaryRef *entity);

/* One proxy group: from 10.3 a group that is off, without host and port writes nothing;
 * otherwise the enable key (0 or 1), the host if given and the port if not 0. */
OSStatus AddProxy(CFMutableDictionaryRef dict, CFStringRef enableKey, CFStringRef proxyKey, CFStringRef portKey,
                  Boolean enabled, CFStringRef proxy, UInt16 port);

/* A set's global entity: only kSCEntNetIPv4 is a global protocol. The digest must be given; its
 * contents are not read. */
OSStatus MoreSCCreateGlobalEntity(CFStringRef protocol, const void *digest, CFDictionaryRef *entity);
OSStatus MoreSCCreateIPv4GlobalEntity(const void *digest, CFDictionaryRef *entity);
OSStatus MoreSCCreateNetInfoGlobalEntity(const void *digest, CFDictionaryRef *entity);

#ifdef __cplusplus
}
#endif

#endif /* MORESCF_DIGEST_H */
