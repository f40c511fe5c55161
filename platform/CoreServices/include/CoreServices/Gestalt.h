/*
 * Gestalt: the system version selectors. The version reported is PLATFORM_SYSTEM_VERSION
 * ("10.4.11" and the like) or, when that is not set, "10.10.5".
 */
#ifndef CORESERVICES_GESTALT_H
#define CORESERVICES_GESTALT_H

#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/MacErrors.h>

#ifdef __cplusplus
extern "C" {
#endif

enum {
    gestaltSystemVersion = 0x73797376U,        /* 'sysv': packed 0xMMmb, minor and fix capped at 9 */
    gestaltSystemVersionMajor = 0x73797331U,   /* 'sys1' */
    gestaltSystemVersionMinor = 0x73797332U,   /* 'sys2' */
    gestaltSystemVersionBugFix = 0x73797333U   /* 'sys3' */
};

/* 0 and the answer in *response, or gestaltUndefSelectorErr for any other selector. */
OSErr Gestalt(OSType selector, SInt32 *response);

#ifdef __cplusplus
}
#endif

#endif /* CORESERVICES_GESTALT_H */
