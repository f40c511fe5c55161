// What the model's source files share and nothing else sees: the session's state and helpers,
// the paths into the store, links and new identifiers.
//
// Paths: a set lives at "/Sets/<set ID>", a service at "/NetworkServices/<service ID>". A set's
// services dictionary ("<set>/Network/Service") maps service IDs to link dictionaries
// ({"__LINK__": "/NetworkServices/<ID>"}); its global entities are under "<set>/Network/Global",
// and the IPv4 one carries the service order. A set ID of NULL means the current set (the path
// stored under "CurrentSet"); a service ID of NULL means the set's global entities.
//
// Every Copy/Create function here hands out one reference through an out slot that must be
// empty on entry; the status is 0 exactly when the slot is filled.
#ifndef MORESCF_INTERNAL_H
#define MORESCF_INTERNAL_H

#include "MoreSCF.h"

#include <utility>

namespace morescf {

// Owns one CoreFoundation reference for the length of a function; Release() gives it up (to an
// out slot, on success).
template <class Ref>
class CFHolder {
public:
    CFHolder() = default;
    explicit CFHolder(Ref ref) : ref_(ref) {}
    CFHolder(const CFHolder &) = delete;
    CFHolder &operator=(const CFHolder &) = delete;
    ~CFHolder() { Reset(); }
    void Reset(Ref ref = nullptr)
    {
        if (ref_ != nullptr) {
            CFRelease(ref_);
        }
        ref_ = ref;
    }
    Ref Release() { return std::exchange(ref_, nullptr); }
    Ref Get() const { return ref_; }
    Ref *Slot() { return &ref_; }
    operator Ref() const { return ref_; }
    explicit operator bool() const { return ref_ != nullptr; }

private:
    Ref ref_ = nullptr;
};

// Type tests of values read from the store, which may hold anything.
inline bool IsDictionary(CFTypeRef value) { return value != nullptr && CFGetTypeID(value) == CFDictionaryGetTypeID(); }
inline bool IsString(CFTypeRef value) { return value != nullptr && CFGetTypeID(value) == CFStringGetTypeID(); }

}  // namespace morescf

// ---- Session state (MoreSCFSession.cpp) ----

// Open levels; the session's platform object (from the first open to the last close); a level
// closed with changes to commit; the session holds the platform's preferences lock.
extern SInt32 gPrefsOpenCount;
extern SCPreferencesRef gPrefsRef;
extern Boolean gPrefsDirty;
extern Boolean gPrefsLocked;

// The precondition of every helper that works inside a session.
#define MORESCF_REQUIRE_SESSION() MORESCF_REQUIRE(gPrefsOpenCount > 0 && gPrefsRef != nullptr)

// Forgets the cached system version, so that the next MoreSCGetSystemVersion asks the platform
// again. For tests, which change the version the platform reports; the programs never call it.
void MoreSCFForgetSystemVersion(void);

// ---- Paths and links (MoreSCFPaths.cpp) ----

// "/Sets/<setID>" and "/NetworkServices/<serviceID>"; they do not touch the store.
OSStatus CreateSetPathWithSetID(CFStringRef setID, CFStringRef *setPath);
OSStatus CreateServicePathWithServiceID(CFStringRef serviceID, CFStringRef *servicePath);

// The set's path; for a NULL set ID the stored "CurrentSet", which must be a path "/<key>/<ID>"
// (-4960 otherwise; missing: the platform's status).
OSStatus CopySetPath(CFStringRef setID, CFStringRef *setPath);
// "<set>/Network/Service", "<set>/Network/Global" and "<set>/Network/Global/IPv4".
OSStatus CopySetServicesPath(CFStringRef setID, CFStringRef *path);
OSStatus CopySetGlobalsPath(CFStringRef setID, CFStringRef *path);
OSStatus CopySetIPv4GlobalPath(CFStringRef setID, CFStringRef *path);

// The path a service entry of the set links to (a NULL service ID: the set's globals path). No
// link gives the platform's status; a link that is not a path "/<key>/<ID>" gives -4960.
OSStatus CopyResolvedServicePath(CFStringRef setID, CFStringRef serviceID, CFStringRef *path);
// "<resolved service path>/<protocol>".
OSStatus CopyEntityPath(CFStringRef setID, CFStringRef serviceID, CFStringRef protocol, CFStringRef *path);

// The ID of a path "/<key>/<ID>"; any other shape gives -4960. Does not touch the store.
OSStatus CopySeIDFromSePath(CFStringRef sePath, CFStringRef *seID);

// Makes a new, empty child dictionary under the top-level key (kSCPrefSets or
// kSCPrefNetworkServices) and hands out its ID and path: numbered children on 10.2.x, the
// platform's unique children on every other version.
OSStatus MakeNewSeAndCopyIDAndPath(CFStringRef topLevelKey, CFStringRef *newSeID, CFStringRef *newSePath);

// The per-entry function of the numeric IDs: raises *(SInt32 *) context to the key's number
// when the key is a decimal number from 0 to 2147483647; other keys are skipped.
void LargestNumericKey(const void *key, const void *value, void *context);

// Sets one key of the dictionary stored at path (which must exist).
OSStatus PreferencesPathSetProperty(CFStringRef path, CFStringRef key, CFTypeRef value);

// Adds {"__LINK__": "/NetworkServices/<serviceID>"} under serviceID to a set's services
// dictionary, in memory; an existing entry for the ID stays as it is.
OSStatus AddServiceLinkToDict(CFStringRef serviceID, CFMutableDictionaryRef servicesDict);

// The dictionary stored at path. Missing gives the platform's status; a value of another type
// at the path, or on the way to it, gives -4960.
OSStatus CopyDictionaryAtPath(CFStringRef path, CFDictionaryRef *dict);

// ---- Entities (MoreSCFEntities.cpp) ----

// Marks the dictionary active (no "__INACTIVE__") or inactive ("__INACTIVE__" = 1). *changed,
// when given, becomes true when the dictionary changed and is otherwise left alone.
OSStatus SetDictionaryActive(CFMutableDictionaryRef dict, Boolean active, Boolean *changed);

// ---- Services (MoreSCFServices.cpp) ----

// Links the service into the set and appends its ID to the set's service order.
OSStatus AddServiceToSet(CFStringRef setID, CFStringRef serviceID);
// Inside an open session: a deep copy of the service under a new ID.
OSStatus DuplicateService(CFStringRef serviceID, CFStringRef *newServiceID);
// Inside an open session: removes every service that no set refers to, by its service order or
// by a link.
OSStatus DeleteUnreferencedServices(void);

#endif  // MORESCF_INTERNAL_H
