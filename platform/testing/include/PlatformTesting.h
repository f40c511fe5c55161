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
 * that should leak nothing. */
long PlatformTestingCFLiveObjectCount(void);
/* Folder used as the main bundle (NULL: back to the default); the main bundle is re-created. */
void PlatformTestingSetMainBundlePath(const char *path);
/* Disarms the seam, clears the counters and the main-bundle override. */
void PlatformTestingResetCoreFoundation(void);

#ifdef __cplusplus
}
#endif

#endif /* PLATFORM_TESTING_H */
