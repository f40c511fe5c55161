/*
 * Test seams of the framework stand-ins. Only tests include this header; program code never
 * does. Every seam is process-wide state of the stand-in it steers and is reset by
 * PlatformTestingReset().
 */
#ifndef PLATFORM_TESTING_H
#define PLATFORM_TESTING_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Puts every seam back to its neutral state (no failures armed, real clock, no capture). */
void PlatformTestingReset(void);

/* Each stand-in that carries seams defines its own reset, which PlatformTestingReset() calls:
 * PlatformTestingResetCoreFoundation, ...CoreServices, ...IOKit, ...DiskArbitration,
 * ...SystemConfiguration, ...SystemLog. */

/* ---- sleep(): replaced in unit-test binaries by a recorder that counts instead of waiting ---- */

/* Number of sleep() calls since the last reset, and the seconds they asked for in total. */
unsigned PlatformTestingSleepCalls(void);
unsigned long PlatformTestingSleepSeconds(void);
/* Optional hook run at each recorded sleep (for instance to create a folder the code waits for);
 * it receives the 1-based index of the call. NULL removes it. */
void PlatformTestingSetSleepHook(void (*hook)(unsigned callIndex, void *context), void *context);
void PlatformTestingResetSleep(void);

/* ---- CoreFoundation: object creation fails on demand ---- */

/* Every Create or Copy function of the CoreFoundation stand-in (and CFAllocatorAllocate and
 * CFAllocatorReallocate) counts as one creation; the creations it makes inside itself do not.
 * A creation the seam fails returns NULL and allocates nothing (CFURLCreateDataAndProperties-
 * FromResource returns false with error code 0). Other stand-ins count their Create functions
 * the same way. */

/* The nth creation from now fails (1 = the next one), once. 0 disarms. */
void PlatformTestingCFFailNthCreation(long nth);
/* The nth creation from now and every one after it fail, until disarmed (0) or reset. */
void PlatformTestingCFFailCreationsFrom(long nth);
/* Creations counted since the last reset (failed ones included): run an operation once, read
 * the count, then fail each of its creations in turn. */
long PlatformTestingCFCreationCount(void);
/* Creations the seam has failed since the last reset. */
long PlatformTestingCFFailedCreationCount(void);
/* CoreFoundation objects alive now (constants excluded): equal before and after an operation
 * that should leak nothing. A bundle's information dictionary and strings tables are loaded on
 * first use and then kept by the bundle: warm them up before taking the first count. */
long PlatformTestingCFLiveObjectCount(void);
/* Folder used as the main bundle (NULL: back to the default); the main bundle is re-created. */
void PlatformTestingSetMainBundlePath(const char *path);
/* Disarms the seam, clears the counters and the main-bundle override. */
void PlatformTestingResetCoreFoundation(void);

/* ---- CoreServices ---- */

/* Folder prefixed to every folder FSFindFolder finds ("/tmp/t" makes the local domain's
 * Frameworks folder "/tmp/t/Library/Frameworks", the user domain's "/tmp/t$HOME/Library/...").
 * NULL or "" removes it. */
void PlatformTestingSetFolderRoot(const char *root);
/* The version Gestalt reports ("10.4.11"), ahead of PLATFORM_SYSTEM_VERSION; NULL removes it. */
void PlatformTestingSetSystemVersion(const char *version);
/* The named call ("FSFindFolder", "FSPathMakeRef", "FSGetCatalogInfo", "FSOpenIterator",
 * "FSGetCatalogInfoBulk", "Gestalt") returns status once, after afterCalls calls of it have
 * succeeded. Several may be armed. */
void PlatformTestingFailCoreServicesCall(const char *function, int32_t status, unsigned afterCalls);
/* Removes the folder root, the version override and every armed failure. */
void PlatformTestingResetCoreServices(void);

/* ---- IOKit ---- */

/* Reads the registry from this snapshot file, ahead of PLATFORM_IOREGISTRY and the live system;
 * NULL removes it. */
void PlatformTestingSetIORegistrySnapshot(const char *path);
/* Reads the registry from this snapshot text (copied), ahead of everything else; NULL removes it. */
void PlatformTestingSetIORegistrySnapshotText(const char *xml);
/* Reads the live registry from this folder laid out as sysfs (class/net, class/tty, devices,
 * bus/pci/slots) instead of "/sys"; NULL goes back to "/sys". */
void PlatformTestingSetIORegistrySysfsRoot(const char *path);
/* Registry handles alive now (objects and iterators): equal before and after code that should
 * release everything it got. */
long PlatformTestingIOKitLiveObjectCount(void);
/* The named call ("IOServiceMatching", "IOServiceGetMatchingServices", "IOObjectRelease",
 * "IORegistryEntryGetParentEntry", "IORegistryEntryCreateCFProperty",
 * "IORegistryEntryCreateCFProperties", "IORegistryEntrySearchCFProperty") fails from now on:
 * status calls return `status`, the others NULL. Status 0 disarms that call. */
void PlatformTestingIOKitFailCall(const char *call, int32_t status);
/* Removes the snapshot and sysfs overrides and every armed failure; snapshot complaints already
 * written may be written again. */
void PlatformTestingResetIOKit(void);

/* ---- DiskArbitration ---- */

/* A disk appears now, in process, without a device behind it: every session scheduled on a run
 * loop gets it as an arrival for the peek callbacks registered now. Its description: volume name
 * `volumeName` (UTF-8; NULL: no name), kind "ext2", BSD name `bsdName` (NULL: "disk9"). Mounting
 * it mounts nothing: the request succeeds when mountStatus is 0 and otherwise fails with a
 * dissenter of that status; the mount line on standard error names the device "<bsdName>
 * (simulated)". */
void PlatformTestingDiskArrival(const char *bsdName, const char *volumeName, int32_t mountStatus);

/* One mount request, as the stand-in saw it. */
typedef struct {
    char bsdName[64];
    char mountPoint[1024];  /* the folder mounted on, or meant when the mount failed */
    char arguments[512];    /* the arguments, each followed by '\n' */
    unsigned argumentCount;
    uint32_t options;       /* the DADiskMountOptions given */
    int withPath;           /* the caller named the folder */
    int32_t status;         /* 0, or the dissenter's status */
    int readOnly;           /* mounted (or meant to be) read-only */
} PlatformTestingDiskMount;
/* Mount requests since the last reset, real and simulated. */
unsigned PlatformTestingDiskMountCount(void);
/* Copies the index-th request (0 first); 0 when there is no such request. */
int PlatformTestingDiskGetMount(unsigned index, PlatformTestingDiskMount *mount);
/* The options the watcher keeps for the disk of that BSD name (kDADiskOptionMountAutomatic for
 * a disk no one changed). */
uint32_t PlatformTestingDiskOptions(const char *bsdName);
/* The named call ("DASessionCreate", "DADiskSetOptions", "DADiskMountWithArguments") fails from
 * now on with `status` (DASessionCreate returns NULL; a mount completes with a dissenter of that
 * status and mounts nothing). Status 0 disarms that call. */
void PlatformTestingDiskArbitrationFailCall(const char *call, int32_t status);
/* Forgets the mount requests, the kept options of simulated disks and every armed failure. */
void PlatformTestingResetDiskArbitration(void);

#ifdef __cplusplus
}
#endif

#endif /* PLATFORM_TESTING_H */
