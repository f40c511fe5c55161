// Sets: the catalogue of sets (the sets dictionary, set IDs, the current set, set names), and
// the operations on whole sets (a new set with a service per port, renaming, deletion,
// duplication with copies of the services).
//
// Every operation opens its own session level and closes it, readers without commit and writers
// with commit. Stored values of the wrong type ("Sets" or a set that is not a dictionary, a
// "CurrentSet" that is not a path "/<key>/<ID>", a name that is not a string) give -4960.
//
// Ownership: every Copy/Create result is held by a CFHolder and released when it goes; a value
// handed to a caller through an out slot is given up with Release() only on success.
#include "MoreCFQ.h"
#include "MoreSCFDigest.h"
#include "MoreSCFInternal.h"
#include "MoreSCFPortScanner.h"

#include <syslog.h>

using morescf::CFHolder;
using morescf::IsDictionary;
using morescf::IsString;

OSStatus MoreSCCopySetsDict(CFDictionaryRef *setsDict)
{
    MORESCF_REQUIRE_SLOT(setsDict);
    OSStatus err = MoreSCOpen(false, false);
    if (err == noErr) {
        CFPropertyListRef sets = SCPreferencesGetValue(MoreSCGetSCPreferencesRef(), kSCPrefSets);
        err = MoreSCError(sets);
        if (err == noErr && !IsDictionary(sets)) {
            err = coreFoundationUnknownErr;
        }
        if (err == noErr) {
            *setsDict = static_cast<CFDictionaryRef>(CFRetain(sets));
        }
    }
    MoreSCClose(&err, false);
    MoreSCFAssert((err == noErr) == (*setsDict != nullptr));
    return err;
}

OSStatus MoreSCSetSetsDict(CFDictionaryRef setsDict)
{
    MORESCF_REQUIRE(setsDict != nullptr);
    OSStatus err = MoreSCOpen(false, false);
    if (err == noErr) {
        err = MoreSCErrorBoolean(SCPreferencesSetValue(MoreSCGetSCPreferencesRef(), kSCPrefSets, setsDict));
    }
    MoreSCClose(&err, true);
    return err;
}

OSStatus MoreSCCopySetIDs(CFArrayRef *setIDs, CFIndex *indexOfCurrentSet)
{
    MORESCF_REQUIRE_SLOT(setIDs);

    CFDictionaryRef setsDict = nullptr;
    CFStringRef currentSetID = nullptr;
    OSStatus err = MoreSCOpen(false, false);
    if (err == noErr) {
        err = MoreSCCopySetsDict(&setsDict);
    }
    if (err == noErr) {
        err = CFQArrayCreateWithDictionaryKeys(setsDict, setIDs);
    }
    if (err == noErr && indexOfCurrentSet != nullptr) {
        err = MoreSCCopyCurrentSet(&currentSetID);
    }
    if (err == noErr && indexOfCurrentSet != nullptr) {
        // The last equal entry; the caller's value stays when the current set is not a key.
        CFIndex count = CFArrayGetCount(*setIDs);
        for (CFIndex i = 0; i < count; i++) {
            if (CFEqual(CFArrayGetValueAtIndex(*setIDs, i), currentSetID)) {
                *indexOfCurrentSet = i;
            }
        }
    }
    MoreSCClose(&err, false);

    if (err != noErr) {
        CFQRelease(*setIDs);
        *setIDs = nullptr;
    }
    CFQRelease(setsDict);
    CFQRelease(currentSetID);
    MoreSCFAssert((err == noErr) == (*setIDs != nullptr));
    return err;
}

OSStatus MoreSCCopyCurrentSet(CFStringRef *setID)
{
    MORESCF_REQUIRE_SLOT(setID);
    CFStringRef setPath = nullptr;
    OSStatus err = MoreSCOpen(false, false);
    if (err == noErr) {
        err = CopySetPath(nullptr, &setPath);
    }
    if (err == noErr) {
        err = CopySeIDFromSePath(setPath, setID);
    }
    MoreSCClose(&err, false);
    CFQRelease(setPath);
    MoreSCFAssert((err == noErr) == (*setID != nullptr));
    return err;
}

OSStatus MoreSCSetCurrentSet(CFStringRef setID)
{
    MORESCF_REQUIRE(setID != nullptr);
    CFStringRef setPath = nullptr;
    OSStatus err = MoreSCOpen(false, false);
    if (err == noErr) {
        err = CreateSetPathWithSetID(setID, &setPath);
    }
    if (err == noErr) {
        err = MoreSCErrorBoolean(SCPreferencesSetValue(MoreSCGetSCPreferencesRef(), kSCPrefCurrentSet, setPath));
    }
    MoreSCClose(&err, true);
    CFQRelease(setPath);
    return err;
}

OSStatus MoreSCCopyUserVisibleNameOfSet(CFStringRef setID, CFStringRef *setName)
{
    MORESCF_REQUIRE(setID != nullptr);
    MORESCF_REQUIRE_SLOT(setName);

    CFStringRef setPath = nullptr;
    CFDictionaryRef set = nullptr;
    OSStatus err = MoreSCOpen(false, false);
    if (err == noErr) {
        err = CreateSetPathWithSetID(setID, &setPath);
    }
    if (err == noErr) {
        err = CopyDictionaryAtPath(setPath, &set);
    }
    if (err == noErr) {
        CFTypeRef name = CFDictionaryGetValue(set, kSCPropUserDefinedName);
        if (IsString(name)) {
            *setName = static_cast<CFStringRef>(CFRetain(name));
        } else {
            err = coreFoundationUnknownErr;  // no name, or not a text
        }
    }
    MoreSCClose(&err, false);
    CFQRelease(setPath);
    CFQRelease(set);
    MoreSCFAssert((err == noErr) == (*setName != nullptr));
    return err;
}

// ---- Whole sets ----

OSStatus MoreSCRenameSet(CFStringRef setID, CFStringRef newName)
{
    MORESCF_REQUIRE(setID != nullptr);
    MORESCF_REQUIRE(newName != nullptr);
    CFHolder<CFStringRef> setPath;
    OSStatus err = MoreSCOpen(false, false);
    if (err == noErr) {
        err = CreateSetPathWithSetID(setID, setPath.Slot());
    }
    if (err == noErr) {
        err = PreferencesPathSetProperty(setPath, kSCPropUserDefinedName, newName);
    }
    MoreSCClose(&err, true);
    return err;
}

OSStatus MoreSCDeleteSet(CFStringRef setID)
{
    MORESCF_REQUIRE(setID != nullptr);
    OSStatus err = MoreSCOpen(false, false);
    bool opened = err == noErr;
    CFHolder<CFStringRef> currentSetID;
    if (err == noErr) {
        err = MoreSCCopyCurrentSet(currentSetID.Slot());
        // A store without a current set has no set that must be kept.
        if (err == kSCStatusNoKey) {
            err = noErr;
        }
    }
    if (err == noErr && currentSetID && CFEqual(setID, currentSetID)) {
        err = paramErr;
    }
    CFHolder<CFStringRef> setPath;
    if (err == noErr) {
        err = CreateSetPathWithSetID(setID, setPath.Slot());
    }
    if (err == noErr) {
        err = MoreSCErrorBoolean(SCPreferencesPathRemoveValue(MoreSCGetSCPreferencesRef(), setPath));
    }
    // The services only this set referred to go with it; a store without services has none.
    if (opened && SCPreferencesGetValue(MoreSCGetSCPreferencesRef(), kSCPrefNetworkServices) != nullptr) {
        OSStatus sweepErr = DeleteUnreferencedServices();
        if (err == noErr) {
            err = sweepErr;
        }
    }
    MoreSCClose(&err, true);
    return err;
}

namespace {

// What a failed creation or duplication of a set takes back: the set (and, through the sweep,
// the services made for it), and the top-level dictionaries it brought into being, so that the
// store is as it was.
struct TopLevelPresence {
    bool sets = false;
    bool services = false;
};

TopLevelPresence NoteTopLevel()
{
    SCPreferencesRef prefs = MoreSCGetSCPreferencesRef();
    return {SCPreferencesGetValue(prefs, kSCPrefSets) != nullptr,
            SCPreferencesGetValue(prefs, kSCPrefNetworkServices) != nullptr};
}

void RemoveIfEmptyAndNew(CFStringRef key, bool existedBefore)
{
    SCPreferencesRef prefs = MoreSCGetSCPreferencesRef();
    CFPropertyListRef value = SCPreferencesGetValue(prefs, key);
    if (!existedBefore && IsDictionary(value) && CFDictionaryGetCount(static_cast<CFDictionaryRef>(value)) == 0) {
        (void) SCPreferencesRemoveValue(prefs, key);
    }
}

void RemoveHalfMadeSet(CFStringRef newSetID, TopLevelPresence before)
{
    (void) MoreSCDeleteSet(newSetID);
    RemoveIfEmptyAndNew(kSCPrefNetworkServices, before.services);
    RemoveIfEmptyAndNew(kSCPrefSets, before.sets);
}

// Stores an empty dictionary at the path.
OSStatus SetEmptyDictionary(CFStringRef path)
{
    CFHolder<CFMutableDictionaryRef> empty;
    OSStatus err = CFQDictionaryCreateMutable(empty.Slot());
    if (err == noErr) {
        err = MoreSCErrorBoolean(SCPreferencesPathSetValue(MoreSCGetSCPreferencesRef(), path, empty));
    }
    return err;
}

// The new set's services and globals, and its IPv4 global entity (which carries the order).
OSStatus AddSetSkeleton(CFStringRef setID)
{
    CFHolder<CFStringRef> servicesPath;
    CFHolder<CFStringRef> globalsPath;
    OSStatus err = CopySetServicesPath(setID, servicesPath.Slot());
    if (err == noErr) {
        err = SetEmptyDictionary(servicesPath);
    }
    if (err == noErr) {
        err = CopySetGlobalsPath(setID, globalsPath.Slot());
    }
    if (err == noErr) {
        err = SetEmptyDictionary(globalsPath);
    }
    CFHolder<CFDictionaryRef> ipv4;
    if (err == noErr) {
        const char emptyDigest[1] = {0};  // the global builder reads nothing of it
        err = MoreSCCreateGlobalEntity(kSCEntNetIPv4, emptyDigest, ipv4.Slot());
    }
    if (err == noErr) {
        err = MoreSCNewEntity(setID, nullptr, kSCEntNetIPv4, ipv4);
    }
    return err;
}

// Whether a set gets a service for the port. FireWire before 10.4 does not; nor does a port
// without a hardware address that is not a modem (an Ethernet controller that reports no
// address): a service cannot be made of it, so it is logged and left out instead of failing
// the whole set.
bool PortBelongsInNewSet(CFDictionaryRef port, UInt32 version)
{
    CFTypeRef hardware = CFDictionaryGetValue(port, kSCPropNetInterfaceHardware);
    if (version < 0x1040 && hardware != nullptr && CFEqual(hardware, kSCEntNetFireWire)) {
        return false;
    }
    if (!CFDictionaryContainsKey(port, kSCPropMACAddress) &&
        (hardware == nullptr || !CFEqual(hardware, kSCEntNetModem))) {
        char device[64] = "?";
        CFTypeRef name = CFDictionaryGetValue(port, kSCPropNetInterfaceDeviceName);
        if (IsString(name)) {
            (void) CFStringGetCString(static_cast<CFStringRef>(name), device, sizeof(device), kCFStringEncodingUTF8);
        }
        syslog(LOG_ERR, "New set: port %s has no hardware address and is not a modem, skipped", device);
        return false;
    }
    return true;
}

OSStatus AddServicesForPorts(CFStringRef setID)
{
    UInt32 version = MoreSCGetSystemVersion();
    CFHolder<CFArrayRef> ports;
    OSStatus err = MoreSCCreatePortArray(ports.Slot());
    for (CFIndex i = 0; err == noErr && i < CFArrayGetCount(ports); i++) {
        auto port = static_cast<CFDictionaryRef>(CFArrayGetValueAtIndex(ports, i));
        if (PortBelongsInNewSet(port, version)) {
            err = MoreSCNewService(setID, port, nullptr);
        }
    }
    return err;
}

}  // namespace

OSStatus MoreSCNewSet(CFStringRef name, CFStringRef *newSetID)
{
    MORESCF_REQUIRE(name != nullptr);
    MoreSCFAssert(newSetID == nullptr || *newSetID == nullptr);
    OSStatus err = MoreSCOpen(false, false);
    TopLevelPresence before;
    CFHolder<CFStringRef> setID;
    CFHolder<CFStringRef> setPath;
    if (err == noErr) {
        before = NoteTopLevel();
        err = MakeNewSeAndCopyIDAndPath(kSCPrefSets, setID.Slot(), setPath.Slot());
    }
    bool made = err == noErr;
    if (err == noErr) {
        err = AddSetSkeleton(setID);
    }
    if (err == noErr) {
        err = AddServicesForPorts(setID);
    }
    if (err == noErr) {
        err = MoreSCRenameSet(setID, name);
    }
    if (err != noErr && made) {
        RemoveHalfMadeSet(setID, before);
    }
    MoreSCClose(&err, true);
    if (err == noErr && newSetID != nullptr) {
        *newSetID = setID.Release();
    }
    return err;
}

namespace {

// Gives the new set (a copy of the source set, still linking to the source's services) a copy
// of each service the source's order resolves to, in that order.
OSStatus DuplicateServicesReferencedBySet(CFStringRef sourceSetID, CFStringRef newSetID)
{
    MORESCF_REQUIRE(newSetID != nullptr);
    CFHolder<CFArrayRef> serviceIDs;
    OSStatus err = MoreSCCopyServiceIDs(sourceSetID, nullptr, serviceIDs.Slot());
    CFHolder<CFMutableDictionaryRef> services;
    CFHolder<CFMutableArrayRef> order;
    if (err == noErr) {
        err = CFQDictionaryCreateMutable(services.Slot());
    }
    if (err == noErr) {
        err = CFQArrayCreateMutable(order.Slot());
    }
    CFIndex count = err == noErr ? CFArrayGetCount(serviceIDs) : 0;
    for (CFIndex i = 0; err == noErr && i < count; i++) {
        CFHolder<CFStringRef> copyID;
        err = DuplicateService(static_cast<CFStringRef>(CFArrayGetValueAtIndex(serviceIDs, i)), copyID.Slot());
        if (err == noErr) {
            err = AddServiceLinkToDict(copyID, services);
        }
        if (err == noErr) {
            CFArrayAppendValue(order, copyID);
        }
    }
    MoreSCFAssert(err != noErr || CFDictionaryGetCount(services) == count);
    MoreSCFAssert(err != noErr || CFArrayGetCount(order) == count);
    if (err == noErr) {
        err = MoreSCSetServicesDict(newSetID, services, order);
    }
    return err;
}

}  // namespace

OSStatus MoreSCDuplicateSet(CFStringRef setID, CFStringRef newName, CFStringRef *newSetID)
{
    MORESCF_REQUIRE(setID != nullptr);
    MoreSCFAssert(newSetID == nullptr || *newSetID == nullptr);
    OSStatus err = MoreSCOpen(false, false);
    TopLevelPresence before;
    CFHolder<CFStringRef> sourcePath;
    CFHolder<CFStringRef> copyID;
    CFHolder<CFStringRef> copyPath;
    if (err == noErr) {
        before = NoteTopLevel();
        err = CreateSetPathWithSetID(setID, sourcePath.Slot());
    }
    if (err == noErr) {
        err = MakeNewSeAndCopyIDAndPath(kSCPrefSets, copyID.Slot(), copyPath.Slot());
    }
    bool made = err == noErr;
    CFHolder<CFDictionaryRef> source;
    if (err == noErr) {
        err = CopyDictionaryAtPath(sourcePath, source.Slot());
    }
    if (err == noErr) {
        CFHolder<CFPropertyListRef> copy(
            CFPropertyListCreateDeepCopy(nullptr, source, kCFPropertyListMutableContainersAndLeaves));
        err = copy ? MoreSCErrorBoolean(SCPreferencesPathSetValue(MoreSCGetSCPreferencesRef(), copyPath,
                                                                  static_cast<CFDictionaryRef>(copy.Get())))
                   : coreFoundationUnknownErr;
    }
    if (err == noErr) {
        err = DuplicateServicesReferencedBySet(setID, copyID);
    }
    if (err == noErr && newName != nullptr) {
        err = MoreSCRenameSet(copyID, newName);
    }
    if (err != noErr && made) {
        RemoveHalfMadeSet(copyID, before);
    }
    MoreSCClose(&err, true);
    if (err == noErr && newSetID != nullptr) {
        *newSetID = copyID.Release();
    }
    return err;
}
