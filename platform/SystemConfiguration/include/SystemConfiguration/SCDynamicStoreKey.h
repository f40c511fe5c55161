/* Keys of the dynamic store: "<domain>/Network/Service/<serviceID>/<entity>" and
 * "<domain>/Network/Global/<entity>". */
#ifndef SC_DYNAMIC_STORE_KEY_H
#define SC_DYNAMIC_STORE_KEY_H

#include <CoreFoundation/CoreFoundation.h>

CF_EXTERN_C_BEGIN

CFStringRef SCDynamicStoreKeyCreateNetworkServiceEntity(CFAllocatorRef allocator, CFStringRef domain,
                                                        CFStringRef serviceID, CFStringRef entity);
CFStringRef SCDynamicStoreKeyCreateNetworkGlobalEntity(CFAllocatorRef allocator, CFStringRef domain,
                                                       CFStringRef entity);

CF_EXTERN_C_END

#endif /* SC_DYNAMIC_STORE_KEY_H */
