// Sets: the catalogue of sets (the sets dictionary, set IDs, the current set, set names).
//
// Every operation opens its own session level and closes it, readers without commit and writers
// with commit. Stored values of the wrong type ("Sets" or a set that is not a dictionary, a
// "CurrentSet" that is not a path "/<key>/<ID>", a name that is not a string) give -4960.
#include "MoreCFQ.h"
#include "MoreSCFInternal.h"

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
