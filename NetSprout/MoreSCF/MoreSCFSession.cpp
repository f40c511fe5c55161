// The preferences session: open and close, the statuses of platform failures, the client name,
// and the system version by which the model picks version-dependent behaviour.
#include "MoreSCFInternal.h"

#include <CoreServices/CoreServices.h>

#include <syslog.h>

SInt32 gPrefsOpenCount = 0;
SCPreferencesRef gPrefsRef = nullptr;
Boolean gPrefsDirty = false;
Boolean gPrefsLocked = false;

namespace {

// The name given to the platform object at the next outermost open; NULL means "MoreSCF".
CFStringRef gClientName = nullptr;

// The cached system version; 0 until it is first asked.
UInt32 sMoreSCSystemVersion = 0;

// The session's invariants, checked on entry to and exit from every open and close. err is the
// status of the open being checked (noErr elsewhere): only a first open that failed to create
// the object leaves a level without one.
void AssertSessionInvariants(OSStatus err)
{
    MoreSCFAssert(gPrefsOpenCount >= 0);
    MoreSCFAssert((gPrefsOpenCount == 0) == (gPrefsRef == nullptr) ||
                  ((gPrefsOpenCount == 1) && (err != noErr) && (gPrefsRef == nullptr)));
    MoreSCFAssert(!gPrefsDirty || (gPrefsOpenCount != 0));
    MoreSCFAssert(!gPrefsDirty || (gPrefsRef != nullptr));
    MoreSCFAssert(!gPrefsLocked || (gPrefsOpenCount != 0));
    MoreSCFAssert(!gPrefsLocked || (gPrefsRef != nullptr));
}

// Commits the session's changes and, when that worked, applies them; the status of the first
// step that failed. A failed commit is logged here; the caller logs the overall result.
OSStatus CommitAndApply(void)
{
    OSStatus result = MoreSCErrorBoolean(SCPreferencesCommitChanges(gPrefsRef));
    if (result != noErr) {
        syslog(LOG_ERR, "scf commit changes err:%d", (int) result);
        return result;
    }
    return MoreSCErrorBoolean(SCPreferencesApplyChanges(gPrefsRef));
}

}  // namespace

// ---- Statuses ----

OSStatus MoreSCToOSStatus(int scStatus) { return static_cast<OSStatus>(scStatus); }

OSStatus MoreSCErrorBoolean(Boolean ok)
{
    if (ok) {
        return noErr;
    }
    int status = SCError();
    return (status != kSCStatusOK) ? MoreSCToOSStatus(status) : MoreSCToOSStatus(kSCStatusFailed);
}

OSStatus MoreSCError(const void *value) { return MoreSCErrorBoolean(value != nullptr); }

// ---- Client name ----

OSStatus MoreSCSetClient(CFStringRef name)
{
    // Retain before releasing, so that setting the current name again keeps it alive.
    if (name != nullptr) {
        CFRetain(name);
    }
    if (gClientName != nullptr) {
        CFRelease(gClientName);
    }
    gClientName = name;
    return noErr;
}

CFStringRef MoreSCGetClient(void) { return gClientName; }

// ---- Open and close ----

OSStatus MoreSCOpen(Boolean lockThePrefs, Boolean waitForLock)
{
    MoreSCFAssert(!waitForLock || lockThePrefs);
    AssertSessionInvariants(noErr);

    OSStatus err = noErr;
    if (gPrefsOpenCount == 0) {
        CFStringRef name = (gClientName != nullptr) ? gClientName : CFSTR("MoreSCF");
        gPrefsRef = SCPreferencesCreate(kCFAllocatorDefault, name, nullptr);
        err = MoreSCError(gPrefsRef);
    } else if (gPrefsRef == nullptr) {
        // A nested open under a first open that failed (its caller should have skipped its
        // work): there is no object to work on.
        err = MoreSCToOSStatus(kSCStatusNoPrefsSession);
    }
    if (err == noErr && lockThePrefs && !gPrefsLocked) {
        err = MoreSCErrorBoolean(SCPreferencesLock(gPrefsRef, waitForLock));
        gPrefsLocked = (err == noErr);
    }
    // Every open counts, also a failed one: its caller closes it like any other.
    gPrefsOpenCount += 1;

    AssertSessionInvariants(err);
    return err;
}

void MoreSCClose(OSStatus *err, Boolean commit)
{
    MORESCF_REQUIRE_VOID(err != nullptr);
    MORESCF_REQUIRE_VOID(gPrefsOpenCount > 0);
    AssertSessionInvariants(gPrefsRef == nullptr ? OSStatus{kSCStatusFailed} : OSStatus{noErr});

    // A failed level never marks the session, and never clears an inner level's mark either.
    if (commit && *err == noErr) {
        gPrefsDirty = true;
    }
    gPrefsOpenCount -= 1;

    if (gPrefsOpenCount == 0) {
        if (gPrefsDirty) {
            OSStatus result = CommitAndApply();
            if (*err == noErr) {
                *err = result;
                syslog(LOG_ERR, "scf apply changes err:%d", (int) result);
            }
            gPrefsDirty = false;
        }
        if (gPrefsLocked) {
            // The lock goes with the object anyway; a refusal to unlock is still reported, so
            // that a caller's success is not claimed over it.
            OSStatus unlockErr = MoreSCErrorBoolean(SCPreferencesUnlock(gPrefsRef));
            if (*err == noErr) {
                *err = unlockErr;
            }
            gPrefsLocked = false;
        }
        if (gPrefsRef != nullptr) {
            CFRelease(gPrefsRef);
            gPrefsRef = nullptr;
        }
    }

    AssertSessionInvariants(noErr);
}

SCPreferencesRef MoreSCGetSCPreferencesRef(void)
{
    MoreSCFAssert(gPrefsRef != nullptr);
    return gPrefsRef;
}

// ---- System version ----

UInt32 MoreSCGetSystemVersion(void)
{
    if (sMoreSCSystemVersion != 0) {
        return sMoreSCSystemVersion;
    }
    SInt32 major = 0;
    SInt32 minor = 0;
    OSErr majorErr = Gestalt(gestaltSystemVersionMajor, &major);
    OSErr minorErr = Gestalt(gestaltSystemVersionMinor, &minor);
    MoreSCFAssert(majorErr == noErr && minorErr == noErr);
    if (majorErr == noErr && minorErr == noErr && major == 10 && minor >= 10) {
        sMoreSCSystemVersion = 0x1099;
        return sMoreSCSystemVersion;
    }
    SInt32 packed = 0;
    OSErr packedErr = Gestalt(gestaltSystemVersion, &packed);
    MoreSCFAssert(packedErr == noErr);
    sMoreSCSystemVersion = static_cast<UInt32>(packed);
    return sMoreSCSystemVersion;
}

void MoreSCFForgetSystemVersion(void) { sMoreSCSystemVersion = 0; }
