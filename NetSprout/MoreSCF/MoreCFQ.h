/*
 * MoreCFQ: the property-list utilities every part of NetSprout builds on.
 *
 * Status codes: 0 (noErr) is success; -4960 a platform call that creates, copies or converts a
 * value returned none (or reported failure as a false boolean); -108 (memFullErr) a memory block
 * could not be allocated; -50 (paramErr) key and value arrays of different lengths; -37
 * (bdNamErr) a name that does not fit a 255-character name record; 5400 a key on a dictionary
 * path is absent; 5401 an element on a path is not a dictionary, or a string does not convert
 * completely to the requested encoding. Other codes come unchanged from the platform.
 *
 * Ownership: a function whose name contains Create or Copy gives the caller one reference, given
 * up with CFQRelease (a C string with free(), a block with CFQDeallocate). A Get function lends
 * its result for the life of the container it came from. Containers made here use the standard
 * CFType callbacks, so they retain what is put in and release what is taken out.
 *
 * Out slots of Create/Copy functions: the slot must be supplied and hold NULL on entry; on return
 * the status is 0 exactly when the slot holds a value; after a failure it holds NULL and nothing
 * is leaked. Broken preconditions are programming errors, checked with MoreSCFAssert.
 */
#ifndef MORECFQ_H
#define MORECFQ_H

#include <CoreFoundation/CoreFoundation.h>
#include <CoreServices/CoreServices.h>

#ifdef __cplusplus
extern "C" {
#endif

/* -4960 is the platform's coreFoundationUnknownErr (CoreServices). */
enum {
    kCFQKeyNotFoundErr = 5400,        /* a key on a dictionary path is absent */
    kCFQDataErr = 5401                /* not a dictionary on a path, or an incomplete conversion */
};

/* ---- Status and reference helpers ---- */

/* 0 when ok is true, else -4960. */
OSStatus CFQErrorBoolean(Boolean shouldBeTrue);
/* 0 when a value is given, else -4960. */
OSStatus CFQError(const void *shouldBeNotNULL);
/* Retains cf if it is not NULL; returns cf. */
CFTypeRef CFQRetain(CFTypeRef cf);
/* Releases cf if it is not NULL. */
void CFQRelease(CFTypeRef cf);

/* ---- Memory blocks (the platform's default allocator) ---- */

/* A block of bytesToAllocate bytes (1 byte when 0 is asked for). -108 and *blockPtr NULL when it
 * cannot be allocated. */
OSStatus CFQAllocate(size_t bytesToAllocate, void **blockPtr);
void CFQDeallocate(void *block);

/* ---- Containers ---- */

OSStatus CFQDictionaryCreateMutable(CFMutableDictionaryRef *result);
OSStatus CFQArrayCreateMutable(CFMutableArrayRef *result);

/* An immutable array of the dictionary's keys (values), in the dictionary's enumeration order. */
OSStatus CFQArrayCreateWithDictionaryKeys(CFDictionaryRef dict, CFArrayRef *result);
OSStatus CFQArrayCreateWithDictionaryValues(CFDictionaryRef dict, CFArrayRef *result);

/* An immutable dictionary mapping keys[i] to values[i]; -50 if the arrays differ in length. */
OSStatus CFQDictionaryCreateWithArrayOfKeysAndValues(CFArrayRef keys, CFArrayRef values, CFDictionaryRef *result);

/* Stores value under key as a number of the long type, replacing any previous value. On -4960
 * the dictionary is unchanged. */
OSStatus CFQDictionarySetNumber(CFMutableDictionaryRef dict, const void *key, long value);

/* Stores every entry of src into dst (replacing dst's value for a key both hold). One level deep:
 * a nested dictionary of src replaces dst's value and is not merged into it. Always 0. */
OSStatus CFQDictionaryMerge(CFMutableDictionaryRef dst, CFDictionaryRef src);

/* ---- Strings ---- */

/* A malloc'd zero-terminated copy of str in the encoding (the caller frees it with free()).
 * 5401 if a character cannot be represented in the encoding; -108 if no memory. */
OSStatus CFQStringCopyCString(CFStringRef str, CFStringEncoding encoding, char **cStrPtr);

/* Replaces the string in *strPtr (which must hold one) with a mutable copy in canonical
 * decomposition (form D), releasing the string it held. On -4960 *strPtr is unchanged. */
OSStatus CFQStringNormalize(CFStringRef *strPtr);

/* The main bundle's localized text for key (key itself when there is no translation),
 * normalized as by CFQStringNormalize. The comment is for translators only. */
OSStatus CFQCopyLocalisedNormalisedString(CFStringRef key, CFStringRef comment, CFStringRef *result);

/* A string of the record's characters. A record whose length is above 255 is malformed: -37. */
OSStatus CFQStringCreateWithHFSUniStr255(const HFSUniStr255 *hfsStr, CFStringRef *result);
/* Copies str into the record: -37 (record untouched) if str has 256 characters or more. */
OSStatus CFQStringGetHFSUniStr255(CFStringRef str, HFSUniStr255 *hfsStr);

/* ---- Bundles ---- */

/* The named framework (for example CFSTR("System.framework")) from the system's Frameworks
 * folder, with its executable loaded. The folder look-up's status is passed through. */
OSStatus CFQBundleCreateFromFrameworkName(CFStringRef frameworkName, CFBundleRef *bundlePtr);

/* ---- Nested dictionaries ----
 * A path is a sequence of keys: the first is looked up in the given dictionary, each further key
 * in the value found for the one before. 5400: a key is absent; 5401: a value on the way is not
 * a dictionary. The editors never change a nested dictionary in place: each dictionary on the
 * way to the last key is replaced, in the tree being edited, by a fresh mutable copy, so another
 * owner of a nested dictionary keeps the old contents. Missing levels are not created. */

/* The value at the path, borrowed; *result is written only on success. */
OSStatus CFQDictionaryGetValueAtPath(CFDictionaryRef dict, const void *path[], CFIndex pathElementCount,
                                     const void **result);
/* Stores value under the path's last key (which need not exist yet). */
OSStatus CFQDictionarySetValueAtPath(CFMutableDictionaryRef dict, const void *path[], CFIndex pathElementCount,
                                     const void *value);
/* Removes the path's last key: 5400 if it is absent (the dictionaries on the way have been
 * replaced by copies all the same). */
OSStatus CFQDictionaryRemoveValueAtPath(CFMutableDictionaryRef dict, const void *path[], CFIndex pathElementCount);
/* The mutable dictionary (borrowed from the tree) that holds, or is to hold, the path's last
 * key, after the copy-on-write descent described above. *parentPtr is written only on success. */
OSStatus CFQMutableDictionaryGetParentForPath(CFMutableDictionaryRef dict, const void *path[],
                                              CFIndex pathElementCount, CFMutableDictionaryRef *parentPtr);

/* The same with the path given as a non-empty array of keys. */
OSStatus CFQDictionaryGetValueAtPathArray(CFDictionaryRef dict, CFArrayRef path, const void **result);
OSStatus CFQDictionarySetValueAtPathArray(CFMutableDictionaryRef dict, CFArrayRef path, const void *value);
OSStatus CFQDictionaryRemoveValueAtPathArray(CFMutableDictionaryRef dict, CFArrayRef path);

/* ---- Traversal ---- */

/* True unless node is a dictionary or an array. */
Boolean CFQPropertyListIsLeaf(CFTypeRef node);

typedef void (*CFQPropertyListDeepApplierFunction)(CFTypeRef node, void *context);
/* Calls func on every node of the tree, pre-order (a container before its children; dictionary
 * children in enumeration order, array elements in index order). */
void CFQPropertyListDeepApplyFunction(CFPropertyListRef propList, CFQPropertyListDeepApplierFunction func,
                                      void *context);

typedef void (*CFQPropertyListShallowApplierFunction)(CFTypeRef key, CFTypeRef node, void *context);
/* Calls func(key, child, context) for each direct child of a dictionary (keys in ascending
 * CFStringCompare order) or of an array (key: a number 0, 1, 2, ... of the long type). */
void CFQPropertyListShallowApplyFunction(CFPropertyListRef propList, CFQPropertyListShallowApplierFunction func,
                                         void *context);

/* ---- Loading ---- */

/* Reads an XML (or binary) property list from a file. A read error's platform code is passed
 * through; an unreadable or unparsable file without one is -4960. */
OSStatus CFQPropertyListCreateFromXMLFSRef(const FSRef *xmlFile, CFPropertyListMutabilityOptions options,
                                           CFPropertyListRef *result);
OSStatus CFQPropertyListCreateFromXMLCFURL(CFURLRef xmlFile, CFPropertyListMutabilityOptions options,
                                           CFPropertyListRef *result);

#ifdef __cplusplus
}
#endif

#endif /* MORECFQ_H */
