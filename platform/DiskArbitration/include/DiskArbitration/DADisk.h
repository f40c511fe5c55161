/*
 * DADisk: a disk (a block device holding a filesystem), its description and its options.
 */
#ifndef DISKARBITRATION_DADISK_H
#define DISKARBITRATION_DADISK_H

#include <CoreFoundation/CoreFoundation.h>
#include <DiskArbitration/DADissenter.h>
#include <DiskArbitration/DASession.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef const struct __DADisk *DADiskRef;

/* Description keys. */
extern const CFStringRef kDADiskDescriptionVolumeKindKey;     /* string: "ext2", "ext4", ... */
extern const CFStringRef kDADiskDescriptionVolumeMountableKey; /* boolean */
extern const CFStringRef kDADiskDescriptionVolumeNameKey;     /* string: the filesystem label */
extern const CFStringRef kDADiskDescriptionVolumeNetworkKey;  /* boolean: false */
extern const CFStringRef kDADiskDescriptionVolumePathKey;     /* URL: the mount point, when mounted here */
extern const CFStringRef kDADiskDescriptionVolumeUUIDKey;     /* UUID: the filesystem's, when it has one */
extern const CFStringRef kDADiskDescriptionMediaBSDNameKey;   /* string: "loop3" */
extern const CFStringRef kDADiskDescriptionMediaNameKey;      /* string: the device name */
extern const CFStringRef kDADiskDescriptionMediaRemovableKey; /* boolean */
extern const CFStringRef kDADiskDescriptionMediaSizeKey;      /* number: bytes */
extern const CFStringRef kDADiskDescriptionMediaWholeKey;     /* boolean: not a partition */
extern const CFStringRef kDADiskDescriptionMediaWritableKey;  /* boolean */
extern const CFStringRef kDADiskDescriptionDevicePathKey;     /* string: "/dev/loop3" */

typedef uint32_t DADiskOptions;
enum {
    kDADiskOptionDefault = 0x00000000,
    kDADiskOptionEjectUponLogout = 0x00000001,
    kDADiskOptionMountAutomatic = 0x00000010,
    kDADiskOptionMountAutomaticNoDefer = 0x00000020,
    kDADiskOptionPrivate = 0x00000100
};

CFTypeID DADiskGetTypeID(void);
/* A disk for a block device by name ("loop3" or "/dev/loop3"), or NULL when the device holds
 * no medium. The caller releases it. */
DADiskRef DADiskCreateFromBSDName(CFAllocatorRef allocator, DASessionRef session, const char *name);
/* A snapshot of the disk's description (the caller releases it), or NULL. */
CFDictionaryRef DADiskCopyDescription(DADiskRef disk);
/* "loop3": the device's name without "/dev/". */
const char *DADiskGetBSDName(DADiskRef disk);
/* Sets (value true) or clears (false) the option bits in `options`; the disk's other options are
 * kept. Options are kept per device by the watcher, for as long as the medium stays. A new disk
 * starts with kDADiskOptionMountAutomatic. */
DAReturn DADiskSetOptions(DADiskRef disk, DADiskOptions options, Boolean value);
DADiskOptions DADiskGetOptions(DADiskRef disk);

#ifdef __cplusplus
}
#endif

#endif /* DISKARBITRATION_DADISK_H */
