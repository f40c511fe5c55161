/*
 * Property lists: deep copies and the XML (and binary) formats. The formats are read and written
 * through libplist. The XML writer sorts dictionary keys (CFStringCompare, no options) and refuses
 * (returns NULL) any value that the reader would not read back identically: a non-property-list
 * object, a dictionary key that is not a string, text holding characters XML cannot carry, a
 * non-finite real, or nesting deeper than the reader accepts. The readers refuse nesting deeper
 * than kCFPropertyListMaxDepth.
 */
#ifndef CF_PROPERTY_LIST_H
#define CF_PROPERTY_LIST_H

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFData.h>
#include <CoreFoundation/CFError.h>

CF_EXTERN_C_BEGIN

typedef CFOptionFlags CFPropertyListMutabilityOptions;
enum {
    kCFPropertyListImmutable = 0,
    kCFPropertyListMutableContainers = 1,
    kCFPropertyListMutableContainersAndLeaves = 2
};

typedef CFIndex CFPropertyListFormat;
enum {
    kCFPropertyListOpenStepFormat = 1,
    kCFPropertyListXMLFormat_v1_0 = 100,
    kCFPropertyListBinaryFormat_v1_0 = 200
};

enum {
    kCFPropertyListReadCorruptError = 3840,
    kCFPropertyListReadUnknownVersionError = 3841,
    kCFPropertyListReadStreamError = 3842,
    kCFPropertyListWriteStreamError = 3851
};

/* Deepest nesting of containers the readers accept (and the writers produce). */
#define kCFPropertyListMaxDepth 512

/* Containers are always new objects. Leaves: with kCFPropertyListMutableContainersAndLeaves
 * strings and data become new mutable copies; otherwise immutable strings and data, and all
 * numbers, booleans and dates, are the same objects, retained. NULL for a value that is not a
 * property list (or too deep). */
CF_EXPORT CFPropertyListRef CFPropertyListCreateDeepCopy(CFAllocatorRef allocator, CFPropertyListRef propertyList, CFOptionFlags mutabilityOption);
CF_EXPORT Boolean CFPropertyListIsValid(CFPropertyListRef plist, CFPropertyListFormat format);

/* Older interface: XML only on writing; reading accepts XML and binary. */
CF_EXPORT CFDataRef CFPropertyListCreateXMLData(CFAllocatorRef allocator, CFPropertyListRef propertyList);
CF_EXPORT CFPropertyListRef CFPropertyListCreateFromXMLData(CFAllocatorRef allocator, CFDataRef xmlData, CFOptionFlags mutabilityOption, CFStringRef *errorString);

/* Newer interface. Writing supports the XML and binary formats (OpenStep: NULL and an error).
 * Reading accepts XML and binary; *format (optional) receives the format found. Errors are
 * kCFErrorDomainCocoa errors with codes above. */
CF_EXPORT CFDataRef CFPropertyListCreateData(CFAllocatorRef allocator, CFPropertyListRef propertyList, CFPropertyListFormat format, CFOptionFlags options, CFErrorRef *error);
CF_EXPORT CFPropertyListRef CFPropertyListCreateWithData(CFAllocatorRef allocator, CFDataRef data, CFOptionFlags options, CFPropertyListFormat *format, CFErrorRef *error);

CF_EXTERN_C_END

#endif /* CF_PROPERTY_LIST_H */
