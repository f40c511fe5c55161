/*
 * CFDate and absolute time: seconds since 2001-01-01 00:00:00 UTC.
 */
#ifndef CF_DATE_H
#define CF_DATE_H

#include <CoreFoundation/CFBase.h>

CF_EXTERN_C_BEGIN

typedef double CFTimeInterval;
typedef CFTimeInterval CFAbsoluteTime;

#define kCFAbsoluteTimeIntervalSince1970 978307200.0L
#define kCFAbsoluteTimeIntervalSince1904 3061152000.0L

CF_EXPORT CFAbsoluteTime CFAbsoluteTimeGetCurrent(void);

typedef const struct __CFDate *CFDateRef;

CF_EXPORT CFTypeID CFDateGetTypeID(void);
CF_EXPORT CFDateRef CFDateCreate(CFAllocatorRef allocator, CFAbsoluteTime at);
CF_EXPORT CFAbsoluteTime CFDateGetAbsoluteTime(CFDateRef theDate);

CF_EXTERN_C_END

#endif /* CF_DATE_H */
