/* The dynamic store: keys and values of the running configuration, shared by every process. */
#ifndef SC_DYNAMIC_STORE_H
#define SC_DYNAMIC_STORE_H

#include <CoreFoundation/CoreFoundation.h>

CF_EXTERN_C_BEGIN

typedef const struct __SCDynamicStore *SCDynamicStoreRef;

typedef struct {
    CFIndex version;
    void *info;
    const void *(*retain)(const void *info);
    void (*release)(const void *info);
    CFStringRef (*copyDescription)(const void *info);
} SCDynamicStoreContext;

typedef void (*SCDynamicStoreCallBack)(SCDynamicStoreRef store, CFArrayRef changedKeys, void *info);

CFTypeID SCDynamicStoreGetTypeID(void);
SCDynamicStoreRef SCDynamicStoreCreate(CFAllocatorRef allocator, CFStringRef name, SCDynamicStoreCallBack callout,
                                       SCDynamicStoreContext *context);
/* Keys matching the POSIX extended regular expression pattern as a whole. */
CFArrayRef SCDynamicStoreCopyKeyList(SCDynamicStoreRef store, CFStringRef pattern);
CFPropertyListRef SCDynamicStoreCopyValue(SCDynamicStoreRef store, CFStringRef key);
Boolean SCDynamicStoreSetValue(SCDynamicStoreRef store, CFStringRef key, CFPropertyListRef value);
Boolean SCDynamicStoreRemoveValue(SCDynamicStoreRef store, CFStringRef key);

CF_EXTERN_C_END

#endif /* SC_DYNAMIC_STORE_H */
