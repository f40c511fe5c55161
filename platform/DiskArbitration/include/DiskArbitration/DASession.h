/*
 * DASession: a connection to the disk watcher. Callbacks registered on a session are delivered
 * on the run loops it is scheduled with; a session that is not scheduled delivers nothing.
 */
#ifndef DISKARBITRATION_DASESSION_H
#define DISKARBITRATION_DASESSION_H

#include <CoreFoundation/CoreFoundation.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct __DASession *DASessionRef;

CFTypeID DASessionGetTypeID(void);
/* A new session (the caller releases it), or NULL. */
DASessionRef DASessionCreate(CFAllocatorRef allocator);
/* Delivers the session's callbacks on the run loop in the mode. A session serves one run loop;
 * it may be scheduled in several of its modes. */
void DASessionScheduleWithRunLoop(DASessionRef session, CFRunLoopRef runLoop, CFStringRef runLoopMode);
void DASessionUnscheduleFromRunLoop(DASessionRef session, CFRunLoopRef runLoop, CFStringRef runLoopMode);

#ifdef __cplusplus
}
#endif

#endif /* DISKARBITRATION_DASESSION_H */
