/*
 * Reading the resource a file URL names.
 */
#ifndef CF_URL_ACCESS_H
#define CF_URL_ACCESS_H

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFArray.h>
#include <CoreFoundation/CFData.h>
#include <CoreFoundation/CFDictionary.h>
#include <CoreFoundation/CFString.h>
#include <CoreFoundation/CFURL.h>

CF_EXTERN_C_BEGIN

typedef CFIndex CFURLError;
enum {
    kCFURLUnknownError = -10L,
    kCFURLUnknownSchemeError = -11L,
    kCFURLResourceNotFoundError = -12L,
    kCFURLResourceAccessViolationError = -13L,
    kCFURLRemoteHostUnavailableError = -14L,
    kCFURLImproperArgumentsError = -15L,
    kCFURLUnknownPropertyKeyError = -16L,
    kCFURLPropertyKeyUnavailableError = -17L,
    kCFURLTimeoutError = -18L
};

/* Property keys (values: boolean, number of bytes, date, number, array of URLs). */
CF_EXPORT const CFStringRef kCFURLFileExists;
CF_EXPORT const CFStringRef kCFURLFileDirectoryContents;
CF_EXPORT const CFStringRef kCFURLFileLength;
CF_EXPORT const CFStringRef kCFURLFileLastModificationTime;
CF_EXPORT const CFStringRef kCFURLFilePOSIXMode;
CF_EXPORT const CFStringRef kCFURLFileOwnerID;

/* Reads the file's bytes into *resourceData (when the slot is given) and the desired
 * properties (all of the above when desiredProperties is NULL) into *properties. On failure
 * returns false with *errorCode set: kCFURLResourceNotFoundError for a missing file,
 * kCFURLResourceAccessViolationError for a permission failure, kCFURLUnknownError otherwise (a
 * folder has no data), kCFURLImproperArgumentsError for NULL. When the data object itself cannot
 * be created (creation failure), returns false with *errorCode 0. */
CF_EXPORT Boolean CFURLCreateDataAndPropertiesFromResource(CFAllocatorRef alloc, CFURLRef url, CFDataRef *resourceData, CFDictionaryRef *properties, CFArrayRef desiredProperties, SInt32 *errorCode);

CF_EXTERN_C_END

#endif /* CF_URL_ACCESS_H */
