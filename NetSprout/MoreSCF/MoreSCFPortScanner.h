/*
 * Port scanner: the machine's network interfaces and serial ports, from the I/O registry, as an
 * array of port dictionaries in a fixed, user-meaningful order (internal modem first, other
 * Ethernet adaptors last).
 *
 * A port dictionary holds kSCPropNetInterfaceHardware, kSCPropNetInterfaceType,
 * kSCPropNetInterfaceDeviceName, kSCPropUserDefinedName and "SortOrder" for every port; serial
 * ports add kSCPropNetInterfaceSubType, and may add kSCPropNetInterfaceSupportsModemOnHold and
 * "HardwareVariant"; network ports whose controller reports one add kSCPropMACAddress; the keys
 * "BSD Name", "AAPL,slot-name", "IOChildIndex" and "IOTTYBaseName" feed the name template.
 *
 * Registry content is outside data: a value of the wrong shape is left out, never asserted on.
 */
#ifndef MORESCF_PORT_SCANNER_H
#define MORESCF_PORT_SCANNER_H

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/IOKitLib.h>
#include <SystemConfiguration/SystemConfiguration.h>

#include "MoreSCFAssert.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Called while naming each port with the device's registry object, the port dictionary being
 * built, and the default name (possibly a template with "%1$@" "BSD Name", "%2$@"
 * "AAPL,slot-name", "%3$@" "IOChildIndex", "%4$@" "IOTTYBaseName"). It may hand back a template
 * of its own in *userVisibleName (the scanner releases it); a non-zero status ends the scan. */
typedef OSStatus (*MoreSCFPortNameCallback)(io_object_t interface, CFMutableDictionaryRef interfaceInfo,
                                            CFStringRef proposedName, CFStringRef *userVisibleName);

/* Installs the callback (NULL removes it); process-wide, kept between scans. */
void MoreSCFSetPortNameCallback(MoreSCFPortNameCallback callback);

/* A new mutable array of port dictionaries, sorted; all or nothing: on failure *portArray stays
 * NULL and the status is -1 (a required registry property is missing), -4960 (a value could not
 * be created) or the registry call's own. */
OSStatus MoreSCCreatePortArray(CFArrayRef *portArray);
OSStatus MoreSCCreatePortArrayOld(CFArrayRef *portArray);

/* Steps of the scan, also used on their own. */

/* A device procedure fills the port dictionary from the registry object, or leaves it empty to
 * reject the device. */
typedef OSStatus (*DeviceToDictProc)(io_object_t object, CFMutableDictionaryRef portDict);
OSStatus EthernetDeviceToDictProc(io_object_t interface, CFMutableDictionaryRef portDict);
OSStatus ModemOrSerialDeviceToDictProc(io_object_t object, CFMutableDictionaryRef portDict);

/* Builds, names and appends one port dictionary per matching object; consumes `matching`. */
OSStatus AddMatchingDevicesToArray(CFMutableDictionaryRef matching, DeviceToDictProc proc, CFMutableArrayRef result);

/* A new string from a registry text: data (Mac Roman bytes) or a string, trailing NULs removed;
 * NULL for any other type. */
CFStringRef CreateStringFromProperty(CFTypeRef property);

/* The order of two port dictionaries: by "SortOrder" (100 when absent), then by the localised
 * comparison of their user-visible names. */
CFComparisonResult PortSorter(const void *left, const void *right, void *context);
long SortOrder(CFDictionaryRef portDict);

#ifdef __cplusplus
}
#endif

#endif /* MORESCF_PORT_SCANNER_H */
