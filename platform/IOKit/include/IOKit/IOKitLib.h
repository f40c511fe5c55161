/*
 * IOKit: the I/O registry as user programs see it. Objects (network interfaces, controllers,
 * serial ports, the devices they hang off) have a class with its superclasses, a name, a
 * property table and a parent. Programs find them through matching dictionaries, walk them with
 * iterators, read their properties and go up to their parents.
 *
 * Where the registry comes from: the XML property-list file named by the environment variable
 * PLATFORM_IOREGISTRY (a registry snapshot), or, without it, the running Linux system
 * (network interfaces from /sys/class/net, serial ports from /sys/class/tty). The registry is
 * read afresh by each IOServiceGetMatchingServices / IOServiceGetMatchingService call; the
 * objects an iterator yields stay valid (and unchanged) until they are released.
 */
#ifndef IOKIT_IOKITLIB_H
#define IOKIT_IOKITLIB_H

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/IOKitKeys.h>
#include <IOKit/IOReturn.h>
#include <IOKit/IOTypes.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The default main port: 0. IOMasterPort gives the same. */
extern const mach_port_t kIOMasterPortDefault;
extern const mach_port_t kIOMainPortDefault;
kern_return_t IOMasterPort(mach_port_t bootstrapPort, mach_port_t *mainPort);

/* Registry iteration options. */
enum {
    kIORegistryIterateRecursively = 0x00000001,
    kIORegistryIterateParents = 0x00000002
};

/* ---- Objects ---- */

/* Each handle a function returns is one reference; IOObjectRelease gives it back (0 is
 * kIOReturnSuccess; releasing 0 or a handle that is not alive is kIOReturnBadArgument). */
kern_return_t IOObjectRelease(io_object_t object);
kern_return_t IOObjectRetain(io_object_t object);
/* The object's class ("IOEthernetInterface"); an iterator's is "IOUserIterator". */
kern_return_t IOObjectGetClass(io_object_t object, io_name_t className);
CFStringRef IOObjectCopyClass(io_object_t object);
/* True when the object's class is className or inherits from it. */
boolean_t IOObjectConformsTo(io_object_t object, const io_name_t className);
/* True when both handles name the same registry entry. */
boolean_t IOObjectIsEqualTo(io_object_t object, io_object_t anObject);

/* ---- Iterators ---- */

/* The next object (a new reference), or 0 at the end. */
io_object_t IOIteratorNext(io_iterator_t iterator);
void IOIteratorReset(io_iterator_t iterator);
boolean_t IOIteratorIsValid(io_iterator_t iterator);

/* ---- Matching ---- */

/* A new mutable dictionary { IOProviderClass = name }, or NULL (name NULL, or creation failed). */
CFMutableDictionaryRef IOServiceMatching(const char *name);
/* A new mutable dictionary { IONameMatch = name }. */
CFMutableDictionaryRef IOServiceNameMatching(const char *name);
/* A new mutable dictionary { "BSD Name" = bsdName }. */
CFMutableDictionaryRef IOBSDNameMatching(mach_port_t mainPort, uint32_t options, const char *bsdName);

/* Every registry object that matches, in registry order, as an iterator (empty when none
 * matches). Consumes one reference of `matching`, also on failure.
 * Matching: IOProviderClass names a class the object conforms to; IONameMatch a name (or array
 * of names) equal to the object's name; IOPropertyMatch a dictionary whose every entry the
 * object's properties hold; IOParentMatch a matching dictionary some ancestor matches;
 * IOMatchCategory and IOProbeScore are ignored; any other key must be a property of the object
 * with an equal value, except that IOSerialBSDClientType = "IOSerialStream" matches every serial
 * stream type. */
kern_return_t IOServiceGetMatchingServices(mach_port_t mainPort, CFDictionaryRef matching, io_iterator_t *existing);
/* The first matching object (a new reference), or 0. Consumes one reference of `matching`. */
io_service_t IOServiceGetMatchingService(mach_port_t mainPort, CFDictionaryRef matching);

/* ---- Registry entries ---- */

/* The parent (provider) in the plane; the root entry has none (kIOReturnNoDevice, *parent 0). */
kern_return_t IORegistryEntryGetParentEntry(io_registry_entry_t entry, const io_name_t plane, io_registry_entry_t *parent);
/* The children in the plane, in registry order. */
kern_return_t IORegistryEntryGetChildIterator(io_registry_entry_t entry, const io_name_t plane, io_iterator_t *iterator);
kern_return_t IORegistryEntryGetName(io_registry_entry_t entry, io_name_t name);
/* The root of the registry (a new reference). */
io_registry_entry_t IORegistryGetRootEntry(mach_port_t mainPort);

/* The property's value (the caller releases it), or NULL when the entry has no such property. */
CFTypeRef IORegistryEntryCreateCFProperty(io_registry_entry_t entry, CFStringRef key, CFAllocatorRef allocator, IOOptionBits options);
/* All properties as a new mutable dictionary. */
kern_return_t IORegistryEntryCreateCFProperties(io_registry_entry_t entry, CFMutableDictionaryRef *properties, CFAllocatorRef allocator, IOOptionBits options);
/* Looks for the property on the entry and, with kIORegistryIterateRecursively, then on its
 * ancestors (with kIORegistryIterateParents) or its descendants (without), the nearest first. */
CFTypeRef IORegistryEntrySearchCFProperty(io_registry_entry_t entry, const io_name_t plane, CFStringRef key, CFAllocatorRef allocator, IOOptionBits options);

#ifdef __cplusplus
}
#endif

#endif /* IOKIT_IOKITLIB_H */
