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

#ifdef __cplusplus
}
#endif

#endif /* PLATFORM_TESTING_H */
