// Entities: the per-protocol dictionaries of a service (or the global ones of a set), read,
// written, added, removed, marked active or inactive, and listed or replaced all at once.
//
// Every operation opens its own session level and closes it, readers without commit and writers
// with commit, so a write is committed by the outermost close. A write that starts with a read
// writes nothing when the read fails.
#include "MoreCFQ.h"
#include "MoreSCFInternal.h"

#include <vector>

using morescf::IsDictionary;

namespace {

// A mutable copy of *dict in *mutableDict (-4960 when it cannot be made).
OSStatus CreateMutableCopy(CFDictionaryRef dict, CFMutableDictionaryRef *mutableDict)
{
    *mutableDict = CFDictionaryCreateMutableCopy(kCFAllocatorDefault, 0, dict);
    return CFQError(*mutableDict);
}

// Inside an open level: the dictionary at the entity path, or at the resolved service path when
// protocol is NULL.
OSStatus CopyEntityOrEntitiesDict(CFStringRef setID, CFStringRef serviceID, CFStringRef protocol,
                                  CFDictionaryRef *dict)
{
    CFStringRef path = nullptr;
    OSStatus err = (protocol != nullptr) ? CopyEntityPath(setID, serviceID, protocol, &path)
                                         : CopyResolvedServicePath(setID, serviceID, &path);
    if (err == noErr) {
        err = CopyDictionaryAtPath(path, dict);
    }
    CFQRelease(path);
    return err;
}

// The readers: one level without commit around CopyEntityOrEntitiesDict, then a mutable copy
// when asked for.
OSStatus ReadEntityOrEntitiesDict(CFStringRef setID, CFStringRef serviceID, CFStringRef protocol,
                                  CFDictionaryRef *dict, CFMutableDictionaryRef *mutableDict)
{
    CFDictionaryRef stored = nullptr;
    OSStatus err = MoreSCOpen(false, false);
    if (err == noErr) {
        err = CopyEntityOrEntitiesDict(setID, serviceID, protocol, &stored);
    }
    MoreSCClose(&err, false);
    if (err == noErr && mutableDict != nullptr) {
        err = CreateMutableCopy(stored, mutableDict);
    } else if (err == noErr) {
        *dict = static_cast<CFDictionaryRef>(CFRetain(stored));
    }
    CFQRelease(stored);
    return err;
}

// The writers: one level with commit around storing dict at the entity path, or at the resolved
// service path when protocol is NULL.
OSStatus WriteEntityOrEntitiesDict(CFStringRef setID, CFStringRef serviceID, CFStringRef protocol,
                                   CFDictionaryRef dict)
{
    OSStatus err = MoreSCOpen(false, false);
    CFStringRef path = nullptr;
    if (err == noErr) {
        err = (protocol != nullptr) ? CopyEntityPath(setID, serviceID, protocol, &path)
                                    : CopyResolvedServicePath(setID, serviceID, &path);
    }
    if (err == noErr) {
        err = MoreSCErrorBoolean(SCPreferencesPathSetValue(MoreSCGetSCPreferencesRef(), path, dict));
    }
    CFQRelease(path);
    MoreSCClose(&err, true);
    return err;
}

// The keys and values of a dictionary, in its enumeration order.
void GetKeysAndValues(CFDictionaryRef dict, std::vector<const void *> &keys, std::vector<const void *> &values)
{
    size_t count = static_cast<size_t>(CFDictionaryGetCount(dict));
    keys.assign(count, nullptr);
    values.assign(count, nullptr);
    CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
}

}  // namespace

// ---- Whole dictionaries and single entities ----

OSStatus MoreSCCopyEntitiesDict(CFStringRef setID, CFStringRef serviceID, CFDictionaryRef *entitiesDict)
{
    MORESCF_REQUIRE_SLOT(entitiesDict);
    OSStatus err = ReadEntityOrEntitiesDict(setID, serviceID, nullptr, entitiesDict, nullptr);
    MoreSCFAssert((err == noErr) == (*entitiesDict != nullptr));
    return err;
}

OSStatus MoreSCCopyEntitiesDictMutable(CFStringRef setID, CFStringRef serviceID, CFMutableDictionaryRef *entitiesDict)
{
    MORESCF_REQUIRE_SLOT(entitiesDict);
    OSStatus err = ReadEntityOrEntitiesDict(setID, serviceID, nullptr, nullptr, entitiesDict);
    MoreSCFAssert((err == noErr) == (*entitiesDict != nullptr));
    return err;
}

OSStatus MoreSCSetEntitiesDict(CFStringRef setID, CFStringRef serviceID, CFDictionaryRef entitiesDict)
{
    MORESCF_REQUIRE(entitiesDict != nullptr);
    return WriteEntityOrEntitiesDict(setID, serviceID, nullptr, entitiesDict);
}

OSStatus MoreSCCopyEntity(CFStringRef setID, CFStringRef serviceID, CFStringRef protocol, CFDictionaryRef *entity)
{
    MORESCF_REQUIRE(protocol != nullptr);
    MORESCF_REQUIRE_SLOT(entity);
    OSStatus err = ReadEntityOrEntitiesDict(setID, serviceID, protocol, entity, nullptr);
    MoreSCFAssert((err == noErr) == (*entity != nullptr));
    return err;
}

OSStatus MoreSCCopyEntityMutable(CFStringRef setID, CFStringRef serviceID, CFStringRef protocol,
                                 CFMutableDictionaryRef *entity)
{
    MORESCF_REQUIRE(protocol != nullptr);
    MORESCF_REQUIRE_SLOT(entity);
    OSStatus err = ReadEntityOrEntitiesDict(setID, serviceID, protocol, nullptr, entity);
    MoreSCFAssert((err == noErr) == (*entity != nullptr));
    return err;
}

OSStatus MoreSCSetEntity(CFStringRef setID, CFStringRef serviceID, CFStringRef protocol, CFDictionaryRef entity)
{
    MORESCF_REQUIRE(protocol != nullptr);
    MORESCF_REQUIRE(entity != nullptr);
    return WriteEntityOrEntitiesDict(setID, serviceID, protocol, entity);
}

// ---- Adding and removing ----

OSStatus MoreSCNewEntity(CFStringRef setID, CFStringRef serviceID, CFStringRef protocol, CFDictionaryRef entity)
{
    MORESCF_REQUIRE(protocol != nullptr);
    MORESCF_REQUIRE(entity != nullptr);

    CFMutableDictionaryRef entitiesDict = nullptr;
    OSStatus err = MoreSCOpen(false, false);
    if (err == noErr) {
        err = MoreSCCopyEntitiesDictMutable(setID, serviceID, &entitiesDict);
    }
    if (err == noErr && CFDictionaryContainsKey(entitiesDict, protocol)) {
        err = paramErr;  // the entity exists already: it stays as it is
    }
    if (err == noErr) {
        CFDictionaryAddValue(entitiesDict, protocol, entity);
        err = MoreSCSetEntitiesDict(setID, serviceID, entitiesDict);
    }
    CFQRelease(entitiesDict);
    MoreSCClose(&err, true);
    return err;
}

OSStatus MoreSCDeleteEntity(CFStringRef setID, CFStringRef serviceID, CFStringRef protocol)
{
    MORESCF_REQUIRE(protocol != nullptr);

    CFMutableDictionaryRef entitiesDict = nullptr;
    OSStatus err = MoreSCOpen(false, false);
    if (err == noErr) {
        err = MoreSCCopyEntitiesDictMutable(setID, serviceID, &entitiesDict);
    }
    // Whether the entity is there depends on the store, not on the caller: a request that
    // contradicts the store, refused without writing.
    if (err == noErr && !CFDictionaryContainsKey(entitiesDict, protocol)) {
        err = paramErr;
    }
    if (err == noErr) {
        CFDictionaryRemoveValue(entitiesDict, protocol);
        err = MoreSCSetEntitiesDict(setID, serviceID, entitiesDict);
    }
    CFQRelease(entitiesDict);
    MoreSCClose(&err, true);
    return err;
}

// ---- Active and inactive ----

OSStatus SetDictionaryActive(CFMutableDictionaryRef dict, Boolean active, Boolean *changed)
{
    MORESCF_REQUIRE(dict != nullptr);
    Boolean isActive = !CFDictionaryContainsKey(dict, kSCResvInactive);
    if (isActive == active) {
        return noErr;
    }
    OSStatus err = noErr;
    if (active) {
        CFDictionaryRemoveValue(dict, kSCResvInactive);
    } else {
        err = CFQDictionarySetNumber(dict, kSCResvInactive, 1);
    }
    if (err == noErr && changed != nullptr) {
        *changed = true;
    }
    return err;
}

OSStatus MoreSCIsEntityActive(CFStringRef setID, CFStringRef serviceID, CFStringRef protocol, Boolean *active)
{
    MORESCF_REQUIRE(protocol != nullptr);
    MORESCF_REQUIRE(active != nullptr);
    CFDictionaryRef entity = nullptr;
    OSStatus err = MoreSCCopyEntity(setID, serviceID, protocol, &entity);
    if (err == noErr) {
        *active = !CFDictionaryContainsKey(entity, kSCResvInactive);
    }
    CFQRelease(entity);
    return err;
}

OSStatus MoreSCSetEntityActive(CFStringRef setID, CFStringRef serviceID, CFStringRef protocol, Boolean active)
{
    MORESCF_REQUIRE(protocol != nullptr);

    CFMutableDictionaryRef entity = nullptr;
    Boolean changed = false;
    OSStatus err = MoreSCOpen(false, false);
    if (err == noErr) {
        err = MoreSCCopyEntityMutable(setID, serviceID, protocol, &entity);
    }
    if (err == noErr) {
        err = SetDictionaryActive(entity, active, &changed);
    }
    if (err == noErr && changed) {
        err = MoreSCSetEntity(setID, serviceID, protocol, entity);
    }
    CFQRelease(entity);
    MoreSCClose(&err, changed);
    return err;
}

// ---- All entities at once ----

OSStatus MoreSCCopyEntities(CFStringRef setID, CFStringRef serviceID, CFArrayRef *entityProtocols,
                            CFArrayRef *entityValues)
{
    MORESCF_REQUIRE(entityProtocols != nullptr || entityValues != nullptr);
    MoreSCFAssert(entityProtocols == nullptr || *entityProtocols == nullptr);
    MoreSCFAssert(entityValues == nullptr || *entityValues == nullptr);

    CFDictionaryRef entitiesDict = nullptr;
    CFMutableArrayRef protocols = nullptr;
    CFMutableArrayRef values = nullptr;
    OSStatus err = MoreSCOpen(false, false);
    if (err == noErr) {
        err = MoreSCCopyEntitiesDict(setID, serviceID, &entitiesDict);
    }
    if (err == noErr && entityProtocols != nullptr) {
        err = CFQArrayCreateMutable(&protocols);
    }
    if (err == noErr && entityValues != nullptr) {
        err = CFQArrayCreateMutable(&values);
    }
    if (err == noErr) {
        std::vector<const void *> keys;
        std::vector<const void *> entries;
        GetKeysAndValues(entitiesDict, keys, entries);
        for (size_t i = 0; i < keys.size(); i++) {
            // Only dictionaries are entities: the name and the inactive mark are not.
            if (!IsDictionary(entries[i])) {
                continue;
            }
            if (protocols != nullptr) {
                CFArrayAppendValue(protocols, keys[i]);
            }
            if (values != nullptr) {
                CFArrayAppendValue(values, entries[i]);
            }
        }
    }
    MoreSCClose(&err, false);

    if (err == noErr) {
        if (entityProtocols != nullptr) {
            *entityProtocols = protocols;
            protocols = nullptr;
        }
        if (entityValues != nullptr) {
            *entityValues = values;
            values = nullptr;
        }
    }
    CFQRelease(entitiesDict);
    CFQRelease(protocols);
    CFQRelease(values);
    return err;
}

OSStatus MoreSCSetEntities(CFStringRef setID, CFStringRef serviceID, CFArrayRef entityProtocols,
                           CFArrayRef entityValues)
{
    MORESCF_REQUIRE(entityProtocols != nullptr);
    MORESCF_REQUIRE(entityValues != nullptr);
    MORESCF_REQUIRE(CFArrayGetCount(entityProtocols) == CFArrayGetCount(entityValues));

    CFMutableDictionaryRef entitiesDict = nullptr;
    OSStatus err = MoreSCOpen(false, false);
    if (err == noErr) {
        err = MoreSCCopyEntitiesDictMutable(setID, serviceID, &entitiesDict);
    }
    if (err == noErr) {
        std::vector<const void *> keys;
        std::vector<const void *> entries;
        GetKeysAndValues(entitiesDict, keys, entries);
        CFIndex deletedCount = 0;
        for (size_t i = 0; i < keys.size(); i++) {
            if (IsDictionary(entries[i])) {
                CFDictionaryRemoveValue(entitiesDict, keys[i]);
                deletedCount += 1;
            }
        }
        CFIndex entityCount = CFArrayGetCount(entityProtocols);
        for (CFIndex i = 0; i < entityCount; i++) {
            CFDictionaryAddValue(entitiesDict, CFArrayGetValueAtIndex(entityProtocols, i),
                                 CFArrayGetValueAtIndex(entityValues, i));
        }
        // Protocols that repeat, or that equal a remaining key (the name, the inactive mark),
        // would silently lose an entity: refused, and nothing is written.
        CFIndex expected = (static_cast<CFIndex>(keys.size()) - deletedCount) + entityCount;
        if (CFDictionaryGetCount(entitiesDict) != expected) {
            err = paramErr;
        }
    }
    if (err == noErr) {
        err = MoreSCSetEntitiesDict(setID, serviceID, entitiesDict);
    }
    CFQRelease(entitiesDict);
    MoreSCClose(&err, true);
    return err;
}
