/*
 * Set recipes: ready-made operations composed from the preferences model, the entity builders
 * and the port scanner. Find a set by name, find the device of the first port of a kind,
 * configure the service of one device from a bundle of entities (dial-up and PPPoE), refuse to
 * delete the current set when it holds a device, list the services whose set-up IPv4
 * configuration uses DHCP, and release a DHCP lease.
 *
 * Statuses are those of the model (MoreSCF.h): 0 success, the platform's status, 1001, -4960,
 * -50, and -2 for a set-up IPv4 entity without a configuration method. Where a recipe walks
 * several services, one service's failure does not stop the others; the first failing status is
 * the one returned.
 */
#ifndef MORESCF_HELPERS_H
#define MORESCF_HELPERS_H

#include <CoreFoundation/CoreFoundation.h>

#include "MoreSCF.h"
#include "MoreSCFDigest.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The ID of the first set (in the sets dictionary's order) whose user-visible name equals name
 * exactly; *setID stays NULL, with status 0, when there is none. Sets without a name are passed
 * over. */
OSStatus MoreSCFindSetByUserVisibleNameAndCopyID(CFStringRef name, CFStringRef *setID);

/* The device name of the first port of the port scanner whose hardware is hardware
 * (kSCEntNetEthernet and the like); *deviceName stays NULL, with status 0, when there is none. */
OSStatus MoreSCFCopyDefaultPortBSDName(CFStringRef hardware, CFStringRef *deviceName);

/* Builds the entity of protocol from the digest (NULL: an all-zero digest) and adds it to the
 * settings bundle (protocol -> entity) unless the bundle has one already. "IPV6DNS" lands
 * under kSCEntNetDNS. */
OSStatus SetupEntity(CFMutableDictionaryRef settings, CFStringRef protocol, const void *digest);

/* Applies the settings bundle to the current set: every service on deviceName is made active
 * and gets the bundle's entities (the bundle's interface entity is merged into the service's,
 * every other one replaces the service's); the services of the modem's own serial devices
 * ("ORVEKAMobile-Diag", "ORVEKAMobile-Pcui") are made inactive. Makes no new set: *newSetID
 * (optional) is left alone. userVisibleName is required and not stored. */
OSStatus MoreSCMakeNewSingleServiceSet(CFStringRef deviceName, CFStringRef userVisibleName,
                                       CFDictionaryRef settings, CFStringRef *newSetID);

/* The dial-up recipe: a PPP entity (from an all-zero digest when ppp is NULL) and, for each
 * digest given, the modem, IPv4, DNS and IPv6 DNS entities (the IPv6 one only without a DNS
 * digest), applied to deviceName's service. No device name: -50. */
OSStatus MoreSCMakeNewDialupSet(CFStringRef deviceName, CFStringRef userVisibleName, const ModemDigest *modem,
                                const PPPDigest *ppp, const IPv4Digest *ipv4, const DNSDigest *dns,
                                const IPv6DNSDigest *ipv6DNS, CFStringRef *newSetID);

/* The PPPoE recipe: PPP (ppp required, active), IPv4 (method PPP when ipv4 is NULL), DNS when
 * given, and the interface type PPP, subtype PPPoE merged into the Ethernet service of
 * deviceName (NULL: the first Ethernet port; none: -50). */
OSStatus MoreSCMakeNewPPPoESet(CFStringRef deviceName, CFStringRef userVisibleName, const PPPDigest *ppp,
                               const IPv4Digest *ipv4, const DNSDigest *dns, CFStringRef *newSetID);

/* When a service of the current set uses deviceName, asks for the current set to be deleted,
 * which the model refuses: -50, nothing deleted. 0 when no service uses it. */
OSStatus DeleteSet(CFStringRef deviceName);

/* The IDs of the services whose IPv4 entity in the dynamic store's set-up keys uses DHCP. */
OSStatus MoreSCCreateActiveDHCPServicesArray(CFArrayRef *serviceIDs);

/* Releases the DHCP lease of a service of the current set: its IPv4 entity is switched off and
 * applied, then on and applied. An IPv4 entity that is already off is left off (status 0). */
OSStatus MoreSCDHCPRelease(CFStringRef serviceID);

/* *active is always false; the status says whether the set's services could be read. */
OSStatus MoreSCIsDadarTalkActive(CFStringRef setID, Boolean *active);
/* Reads the set's services and changes nothing. */
OSStatus MoreSCSetDadarTalkActive(CFStringRef setID);

#ifdef __cplusplus
}
#endif

#endif /* MORESCF_HELPERS_H */
