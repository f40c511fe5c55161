/*
 * DiskArbitration: notice disks as they appear and mount them.
 *
 * A session watches the machine's block devices. A device that gains a medium holding a
 * filesystem (read with libblkid) is a disk; its volume name is the filesystem's label. Disks
 * that are present when a callback is registered are never reported to it; a disk that appears
 * later is reported within a second, on the session's run loop, to every peek callback whose
 * match dictionary its description holds. The watcher reads the superblock of a disk that
 * appeared (to learn its label) and does nothing else with a disk unless asked.
 *
 * DADiskMountWithArguments mounts with mount(2) at "/Volumes/<volume name>" (the name made safe:
 * see the README), read-only for the arguments "rdonly" and "nobrowse", and writes one line per
 * mount to standard error:
 *   DiskArbitration: mount /dev/loop3 at "/Volumes/Velmora" with arguments "rdonly" (read-only): mounted
 * The completion callback runs later on the session's run loop, with a dissenter when the mount
 * failed (the line then ends in "failed: <reason>").
 */
#ifndef DISKARBITRATION_DISKARBITRATION_H
#define DISKARBITRATION_DISKARBITRATION_H

#include <CoreFoundation/CoreFoundation.h>
#include <DiskArbitration/DADisk.h>
#include <DiskArbitration/DADissenter.h>
#include <DiskArbitration/DASession.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t DADiskMountOptions;
enum {
    kDADiskMountOptionDefault = 0x00000000,
    kDADiskMountOptionWhole = 0x00000001
};

typedef uint32_t DADiskUnmountOptions;
enum {
    kDADiskUnmountOptionDefault = 0x00000000,
    kDADiskUnmountOptionForce = 0x00080000,
    kDADiskUnmountOptionWhole = 0x00000001
};

typedef void (*DADiskPeekCallback)(DADiskRef disk, void *context);
typedef void (*DADiskMountCallback)(DADiskRef disk, DADissenterRef dissenter, void *context);
typedef void (*DADiskUnmountCallback)(DADiskRef disk, DADissenterRef dissenter, void *context);

/* Calls `callback` on the session's run loop for each disk that appears from now on and whose
 * description holds every entry of `match` (NULL matches every disk). Lower `order` runs first. */
void DARegisterDiskPeekCallback(DASessionRef session, CFDictionaryRef match, CFIndex order, DADiskPeekCallback callback, void *context);
/* Removes every registration of the callback with that context. */
void DAUnregisterCallback(DASessionRef session, void *callback, void *context);

/* Mounts the disk. path NULL: "/Volumes/<volume name>"; otherwise that folder (it must exist).
 * arguments: a NULL-terminated array of strings, or NULL. The callback (optional) runs on the
 * session's run loop once the request is done. */
void DADiskMountWithArguments(DADiskRef disk, CFURLRef path, DADiskMountOptions options, DADiskMountCallback callback, void *context, CFStringRef arguments[]);
void DADiskMount(DADiskRef disk, CFURLRef path, DADiskMountOptions options, DADiskMountCallback callback, void *context);
/* Unmounts the disk where this stand-in mounted it, and removes the folder. */
void DADiskUnmount(DADiskRef disk, DADiskUnmountOptions options, DADiskUnmountCallback callback, void *context);

#ifdef __cplusplus
}
#endif

#endif /* DISKARBITRATION_DISKARBITRATION_H */
