/*
 * DADissenter: the reason a disk operation was refused or failed, as a status and a text.
 */
#ifndef DISKARBITRATION_DADISSENTER_H
#define DISKARBITRATION_DADISSENTER_H

#include <CoreFoundation/CoreFoundation.h>

#ifdef __cplusplus
extern "C" {
#endif

#define err_local_diskarbitration 0xF8DA0000

typedef int32_t DAReturn;
enum {
    kDAReturnSuccess = 0,
    kDAReturnError = (int32_t)(err_local_diskarbitration | 0x01),
    kDAReturnBusy = (int32_t)(err_local_diskarbitration | 0x02),
    kDAReturnBadArgument = (int32_t)(err_local_diskarbitration | 0x03),
    kDAReturnExclusiveAccess = (int32_t)(err_local_diskarbitration | 0x04),
    kDAReturnNoResources = (int32_t)(err_local_diskarbitration | 0x05),
    kDAReturnNotFound = (int32_t)(err_local_diskarbitration | 0x06),
    kDAReturnNotMounted = (int32_t)(err_local_diskarbitration | 0x07),
    kDAReturnNotPermitted = (int32_t)(err_local_diskarbitration | 0x08),
    kDAReturnNotPrivileged = (int32_t)(err_local_diskarbitration | 0x09),
    kDAReturnNotReady = (int32_t)(err_local_diskarbitration | 0x0A),
    kDAReturnNotWritable = (int32_t)(err_local_diskarbitration | 0x0B),
    kDAReturnUnsupported = (int32_t)(err_local_diskarbitration | 0x0C)
};

typedef const struct __DADissenter *DADissenterRef;

CFTypeID DADissenterGetTypeID(void);
/* A new dissenter (the caller releases it); string may be NULL. */
DADissenterRef DADissenterCreate(CFAllocatorRef allocator, DAReturn status, CFStringRef string);
DAReturn DADissenterGetStatus(DADissenterRef dissenter);
/* The text, or NULL; not retained for the caller. */
CFStringRef DADissenterGetStatusString(DADissenterRef dissenter);

#ifdef __cplusplus
}
#endif

#endif /* DISKARBITRATION_DADISSENTER_H */
