/*
 * For the other framework stand-ins only (never program code): how they make their own object
 * types (SCPreferencesRef, DASessionRef, DADiskRef, ...) CoreFoundation objects, so that
 * CFRetain, CFRelease, CFGetRetainCount, CFGetTypeID, CFEqual, CFHash and CFCopyDescription work
 * on them, and how their Create functions take part in the creation-failure test seam.
 */
#ifndef CF_STAND_IN_H
#define CF_STAND_IN_H

#include <CoreFoundation/CFBase.h>

CF_EXTERN_C_BEGIN

typedef struct {
    const char *className;                        /* "SCPreferences" */
    void (*finalize)(CFTypeRef cf);               /* releases what the object holds; may be NULL */
    Boolean (*equal)(CFTypeRef cf1, CFTypeRef cf2); /* NULL: identity */
    CFHashCode (*hash)(CFTypeRef cf);             /* NULL: the address */
    CFStringRef (*copyDescription)(CFTypeRef cf); /* NULL: "<ClassName 0x...>" */
} CFStandInClass;

/* Registers a class (call once, for instance from a function-local static); the structure must
 * live for the life of the process. */
CF_EXPORT CFTypeID _CFStandInRegisterClass(const CFStandInClass *cls);
/* A new object of the class with a retain count of 1 and extraBytes of zeroed storage (for the
 * stand-in's own fields: a plain C struct, or a pointer to a C++ object that finalize deletes).
 * Counts as a creation for the test seam: returns NULL (allocating nothing) when armed. */
CF_EXPORT CFTypeRef _CFStandInCreateInstance(CFAllocatorRef allocator, CFTypeID typeID, CFIndex extraBytes);
CF_EXPORT void *_CFStandInGetStorage(CFTypeRef cf);

/* Creation scope of the test seam. A Create or Copy function of another stand-in calls
 * _CFStandInCreationBegin() first: false means the seam fails this creation (return NULL at once,
 * allocate nothing). After true, the CoreFoundation creations it makes cannot fail through the
 * seam and are not counted until the matching _CFStandInCreationEnd(). Scopes nest, per thread. */
CF_EXPORT Boolean _CFStandInCreationBegin(void);
CF_EXPORT void _CFStandInCreationEnd(void);

CF_EXTERN_C_END

#endif /* CF_STAND_IN_H */
