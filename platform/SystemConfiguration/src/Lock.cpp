// The preferences lock: an advisory cross-process flock on "<store>-lock", held by one object
// until it unlocks or goes; an object without changes of its own reads the store again when it
// gets the lock, so that it works on what the previous holder committed (parsed again only when
// the bytes differ from those its tree came from).
#include "SCInternal.h"

extern "C" Boolean SCPreferencesLock(SCPreferencesRef prefs, Boolean wait)
{
    sc::PrefsImpl *p = sc::PrefsOf(prefs);
    if (p == nullptr) {
        return sc::Fail(kSCStatusInvalidArgument);
    }
    if (int armed = sc::ArmedFailure("SCPreferencesLock")) {
        return sc::Fail(armed);
    }
    if (p->lock.Held()) {
        return sc::Fail(kSCStatusLocked);
    }
    if (int status = p->lock.Acquire(p->path + "-lock", true, wait, true); status != 0) {
        return sc::Fail(status);
    }
    if (!p->changed) {
        sc::FileBytes file;
        if (int status = sc::ReadFileBytes(p->path, &file); status != 0) {
            p->lock.Release();
            return sc::Fail(status);
        }
        // Bytes the object's own tree was parsed from would parse to the same tree again.
        sc::Digest digest = sc::DigestOf(file);
        if (!p->asRead || digest != p->digest) {
            sc::CFRef<CFMutableDictionaryRef> root;
            if (int status = sc::StoreOf(file, p->path, &root); status != 0) {
                p->lock.Release();
                return sc::Fail(status);
            }
            sc::Retire(*p, p->root);
            p->root = std::move(root);
            p->digest = digest;
            p->asRead = true;
        }
    }
    return sc::Succeed();
}

extern "C" Boolean SCPreferencesUnlock(SCPreferencesRef prefs)
{
    sc::PrefsImpl *p = sc::PrefsOf(prefs);
    if (p == nullptr) {
        return sc::Fail(kSCStatusInvalidArgument);
    }
    if (int armed = sc::ArmedFailure("SCPreferencesUnlock")) {
        return sc::Fail(armed);
    }
    if (!p->lock.Held()) {
        return sc::Fail(kSCStatusNeedLock);
    }
    p->lock.Release();
    return sc::Succeed();
}
