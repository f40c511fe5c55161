// What the entity builders' source files share: the hand-over of a finished (or failed) entity
// and the storing of several numbers in one go.
#ifndef MORESCF_DIGEST_INTERNAL_H
#define MORESCF_DIGEST_INTERNAL_H

#include "MoreCFQ.h"
#include "MoreSCFDigest.h"

#include <initializer_list>
#include <utility>

namespace moresc_digest {

// Ends a builder: on success the entity goes to the caller's slot, on failure it is released and
// the slot stays NULL. Returns err.
inline OSStatus HandOverEntity(OSStatus err, CFMutableDictionaryRef entity, CFDictionaryRef *entityPtr)
{
    if (err == noErr) {
        *entityPtr = entity;
    } else {
        CFQRelease(entity);
    }
    MoreSCFAssert((err == noErr) == (*entityPtr != nullptr));
    return err;
}

// Stores each (key, number) in order; stops at the first failure and returns its status.
inline OSStatus SetNumbers(CFMutableDictionaryRef dict, std::initializer_list<std::pair<CFStringRef, long>> entries)
{
    OSStatus err = noErr;
    for (auto it = entries.begin(); err == noErr && it != entries.end(); ++it) {
        err = CFQDictionarySetNumber(dict, it->first, it->second);
    }
    return err;
}

// Stores value under key when the value is given.
inline void SetIfGiven(CFMutableDictionaryRef dict, CFStringRef key, CFTypeRef value)
{
    if (value != nullptr) {
        CFDictionarySetValue(dict, key, value);
    }
}

}  // namespace moresc_digest

#endif  // MORESCF_DIGEST_INTERNAL_H
