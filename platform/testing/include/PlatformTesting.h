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

/* afterCalls of every PlatformTesting<Fw>FailCall: the call fails every time from now on (until
 * disarmed with status 0 or reset) instead of once after that many successful calls. */
#define PLATFORM_TESTING_EVERY_CALL 0xFFFFFFFFu

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

/* Every Create or Copy function of the CoreFoundation stand-in (and CFAllocatorAllocate) counts
 * as one creation; the creations it makes inside itself do not.
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
 * "FSGetCatalogInfoBulk", "Gestalt") succeeds afterCalls more times, then returns status once
 * (PLATFORM_TESTING_EVERY_CALL: every time). Status 0 disarms the call. */
void PlatformTestingCoreServicesFailCall(const char *call, int32_t status, unsigned afterCalls);
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
 * "IORegistryEntryCreateCFProperties", "IORegistryEntrySearchCFProperty") succeeds afterCalls
 * more times, then fails once (PLATFORM_TESTING_EVERY_CALL: every time): status calls return
 * `status`, the others NULL. Status 0 disarms that call. */
void PlatformTestingIOKitFailCall(const char *call, int32_t status, unsigned afterCalls);
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
/* The named call ("DASessionCreate", "DADiskSetOptions", "DADiskMountWithArguments") succeeds
 * afterCalls more times, then fails with `status` once (PLATFORM_TESTING_EVERY_CALL: every time;
 * DASessionCreate returns NULL; a mount completes with a dissenter of that status and mounts
 * nothing). Status 0 disarms that call. */
void PlatformTestingDiskArbitrationFailCall(const char *call, int32_t status, unsigned afterCalls);
/* Forgets the mount requests, the kept options of simulated disks and every armed failure. */
void PlatformTestingResetDiskArbitration(void);


/* ---- SystemConfiguration ---- */

/* The preferences store file ("/Library/Preferences/SystemConfiguration/preferences.plist") and
 * the dynamic store file ("/var/run/SystemConfiguration/dynamic-store.plist") used from now on;
 * NULL goes back to the platform's path. Their lock files stay beside them. */
void PlatformTestingSetPreferencesPath(const char *path);
void PlatformTestingSetDynamicStorePath(const char *path);
/* Unique children (SCPreferencesPathCreateUniqueChild) are named from a counter instead of a
 * random UUID: "00000000-0000-0000-0000-" followed by the counter in 12 upper-case hexadecimal
 * digits, starting at `first`. 0 goes back to random UUIDs. */
void PlatformTestingSCDeterministicIDs(unsigned long first);
/* The named call ("SCPreferencesCreate", "SCPreferencesLock", "SCPreferencesUnlock",
 * "SCPreferencesCommitChanges", "SCPreferencesApplyChanges", "SCPreferencesGetValue",
 * "SCPreferencesSetValue", "SCPreferencesPathGetValue", "SCPreferencesPathSetValue",
 * "SCPreferencesPathGetLink", "SCPreferencesPathRemoveValue",
 * "SCPreferencesPathCreateUniqueChild", "SCDynamicStoreCreate", "SCDynamicStoreCopyKeyList",
 * "SCDynamicStoreCopyValue", "SCDynamicStoreSetValue", "SCNetworkSetCopyCurrent",
 * "SCNetworkSetCopyServices", ...) succeeds afterCalls more times, then fails once with status
 * (PLATFORM_TESTING_EVERY_CALL: every time): it returns NULL or false, changes nothing, and
 * SCError() answers status. Status 0 disarms the call. */
void PlatformTestingSystemConfigurationFailCall(const char *call, int32_t status, unsigned afterCalls);
/* "Another writer": runs hook inside each SCPreferencesCommitChanges that has changes to write,
 * before the commit lock is taken (so between the object's read of the store and its commit),
 * with the store's path; the hook may change the store. NULL removes it. */
void PlatformTestingSetCommitHook(void (*hook)(const char *storePath, void *context), void *context);
/* Steps of a commit, in order, at which hook runs (a test in a forked child kills itself there
 * to show what a crash leaves): the temporary file is written, it is synced, it is renamed over
 * the store. NULL removes it. */
enum {
    PLATFORM_TESTING_COMMIT_WRITTEN = 1,
    PLATFORM_TESTING_COMMIT_SYNCED = 2,
    PLATFORM_TESTING_COMMIT_RENAMED = 3
};
void PlatformTestingSetCommitStepHook(void (*hook)(int step, void *context), void *context);
/* Puts the paths, IDs, failures and hooks back. */
void PlatformTestingResetSystemConfiguration(void);

/* ---- SystemLog ---- */

/* Lines the program sent to syslog() since the capture started, with their priority (the
 * level, facility bits cleared) and their formatted text. Capture is off until started. */
void PlatformTestingLogCaptureStart(void);
unsigned PlatformTestingLogLineCount(void);
/* The index-th line (0 first): its text, valid until the capture is restarted or reset, and its
 * priority in *priority (may be NULL); NULL when there is no such line. */
const char *PlatformTestingLogLine(unsigned index, int *priority);
/* Stops the capture and forgets its lines. */
void PlatformTestingResetSystemLog(void);

#ifdef __cplusplus
}
#endif

#endif /* PLATFORM_TESTING_H */
