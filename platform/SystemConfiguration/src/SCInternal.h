// What the parts of the SystemConfiguration stand-in share: the records behind its CF objects,
// the last status, paths into a stored dictionary, and the file primitives (whole reads, flock
// files, atomic replacement) that the preferences store and the dynamic store both stand on.
#ifndef SYSTEMCONFIGURATION_SC_INTERNAL_H
#define SYSTEMCONFIGURATION_SC_INTERNAL_H

#include <SystemConfiguration/SystemConfiguration.h>

#include <CoreFoundation/CFStandIn.h>

#include "StandInKit.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace sc {

using standin::CFRef;

inline const char *const kDefaultPreferencesPath = "/Library/Preferences/SystemConfiguration/preferences.plist";
inline const char *const kDefaultDynamicStorePath = "/var/run/SystemConfiguration/dynamic-store.plist";

// ---- The last status (Error.cpp) ----

void SetError(int status);
inline bool Fail(int status)
{
    SetError(status);
    return false;
}
template <class T>
T *FailWith(int status)
{
    SetError(status);
    return nullptr;
}
inline bool Succeed()
{
    SetError(kSCStatusOK);
    return true;
}
template <class T>
T Succeed(T value)
{
    SetError(kSCStatusOK);
    return value;
}
// EACCES, EPERM and EROFS are an access error (1003); every other errno a plain failure (1001).
int StatusForErrno(int error);

// ---- Seams and diagnostics (Seams.cpp) ----

std::string PreferencesPath();
std::string DynamicStorePath();
// The status the named call is armed to fail with now, 0 when it runs normally.
int32_t ArmedFailure(const char *call);
// The next deterministic unique-child name, or "" when IDs are random.
std::string NextDeterministicID();
void RunCommitHook(const std::string &storePath);
// Commit steps a test may stop the process at (PlatformTestingSetCommitStepHook).
void ReachedCommitStep(int step);
standin::Reporter &Diagnostics();

// ---- CF objects of the stand-in ----

// Registers an object type whose storage is one pointer to Impl, deleted when the object goes.
template <class Impl>
CFTypeID RegisterType(const char *className)
{
    static const CFStandInClass cls = {
        className,
        [](CFTypeRef cf) { delete *static_cast<Impl **>(_CFStandInGetStorage(cf)); },
        nullptr, nullptr, nullptr};
    return _CFStandInRegisterClass(&cls);
}
// A new object owning impl; NULL (and impl deleted) when it cannot be made.
template <class Impl>
CFTypeRef NewObject(CFAllocatorRef allocator, CFTypeID type, std::unique_ptr<Impl> impl)
{
    CFTypeRef object = _CFStandInCreateInstance(allocator, type, sizeof(Impl *));
    if (object != nullptr) {
        *static_cast<Impl **>(_CFStandInGetStorage(object)) = impl.release();
    }
    return object;
}
// The record of an object of the type, or NULL for NULL or an object of another type.
template <class Impl>
Impl *ImplOf(CFTypeRef object, CFTypeID type)
{
    if (object == nullptr || CFGetTypeID(object) != type) {
        return nullptr;
    }
    return *static_cast<Impl **>(_CFStandInGetStorage(object));
}

// ---- Files (Commit.cpp) ----

// What a file held when it was read: nothing (missing) or its bytes.
struct FileBytes {
    bool exists = false;
    std::string bytes;
};
// Reads the whole file; a missing file is not an error. Status 0 or the errno's status.
int ReadFileBytes(const std::string &path, FileBytes *file);

// The content digest of what a file held, compared to notice a store changed under an object.
struct Digest {
    bool exists = false;
    std::size_t size = 0;
    std::size_t hash = 0;
    bool operator==(const Digest &) const = default;
};
Digest DigestOf(const FileBytes &file);

// One flock on a lock file beside a store, released when the holder goes.
class FileLock {
public:
    FileLock() = default;
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;
    ~FileLock() { Release(); }
    // Status 0, 3002 when wait is false and another holds it, else the errno's status. The
    // lock file (and, with createFolder, its folder) is created when missing.
    int Acquire(const std::string &lockPath, bool exclusive, bool wait, bool createFolder);
    void Release();
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

// Replaces the file at path with bytes: a temporary file in the same folder, written and
// synced, renamed over the file, then the folder synced. steps: report the commit steps to the
// test seam. Status 0 or the errno's status; a failure leaves no temporary file.
int ReplaceFileAtomically(const std::string &path, std::string_view bytes, bool steps);

// ---- Property lists ----

// The XML bytes of a property list; false when it cannot be written.
bool XMLBytesOf(CFPropertyListRef plist, std::string *bytes);
// A store read from bytes: a mutable dictionary with mutable containers. Bytes that are empty,
// do not parse, or whose top level is not a dictionary give 1001 and one diagnostic line naming
// what (the store, the dynamic store) and the path.
int ParseDictionary(std::string_view bytes, const char *what, const std::string &path, CFRef<CFMutableDictionaryRef> *out);

// ---- Paths into a stored dictionary (Paths.cpp) ----

using PathKeys = std::vector<CFRef<CFStringRef>>;
// The keys of a path: "/" is the root (no keys). A path that is not a string, does not begin
// with "/" or has an empty component gives 1002.
int SplitPath(CFTypeRef path, PathKeys *keys);
// The dictionary at keys[0, count) below root. Links ("__LINK__") of the dictionaries on the way
// are followed; the one at the end only with followLast. 1004 when a key is missing or holds no
// dictionary, 3004 for a link that is not a path, 3006 for too many links. With reached, a
// missing key ends the walk without failing: *reached is then the number of keys walked.
int WalkPath(CFDictionaryRef root, const PathKeys &keys, std::size_t count, bool followLast, CFDictionaryRef *out,
             std::size_t *reached = nullptr);
// WalkPath on a path string, links followed to the end.
int LookUpPath(CFDictionaryRef root, CFTypeRef path, CFDictionaryRef *out);
// A string of UTF-8 text (all text here comes from CF strings or from this stand-in).
CFStringRef CreateUTF8String(std::string_view text);
// The last component of a path string ("" when there is none).
std::string LastComponent(CFStringRef path);

// Calls visit(serviceID, service) for each service of a set that resolves through its link, in
// the order of the set's service keys (sorted). The ID is the last component of the link. False
// when an ID could not be made (the walk then stops).
bool ForEachLinkedService(CFDictionaryRef root, CFDictionaryRef set,
                          const std::function<void(CFStringRef serviceID, CFDictionaryRef service)> &visit);
// The set "CurrentSet" names in *set and its ID in *setID: status 0; 1004 when "CurrentSet" is
// missing, not a string, or names no set; 1001 when the look-up itself failed.
int CurrentSetOf(CFDictionaryRef root, CFDictionaryRef *set, std::string *setID);

// ---- The preferences object (Preferences.cpp) ----

struct PrefsImpl {
    std::string name;
    std::string path;
    CFRef<CFMutableDictionaryRef> root;
    Digest digest;                   // of the store as this object last read or wrote it
    bool changed = false;            // changes not committed yet
    bool asRead = false;             // root is exactly what the store's bytes (digest) parsed to
    FileLock lock;                   // the preferences lock (SCPreferencesLock)
    CFRef<CFMutableArrayRef> retired;  // replaced values kept alive: callers may still hold them
};
CFTypeID PrefsType();
inline PrefsImpl *PrefsOf(SCPreferencesRef prefs) { return ImplOf<PrefsImpl>(prefs, PrefsType()); }
// Reads a store: a missing file is an empty store. Status 0 or the failure's.
int LoadStore(const std::string &path, CFRef<CFMutableDictionaryRef> *root, Digest *digest);
// The store a file read by ReadFileBytes holds: a missing file is an empty store.
int StoreOf(const FileBytes &file, const std::string &path, CFRef<CFMutableDictionaryRef> *root);
// Keeps a value that is about to be replaced or removed alive as long as the object.
void Retire(PrefsImpl &prefs, CFTypeRef value);
// A deep copy with mutable containers of a property-list value, or NULL when it is not one.
CFPropertyListRef MutableCopyOf(CFPropertyListRef value);

// ---- The dynamic store (DynamicStore.cpp) ----

// Reads the whole dynamic store at path under its lock (shared).
int ReadDynamicStore(const std::string &path, CFRef<CFMutableDictionaryRef> *out);
// Reads, changes and writes back the dynamic store at path under its lock (exclusive). change
// answers a status; anything but 0 writes nothing and is answered.
int UpdateDynamicStore(const std::string &path, const std::function<int(CFMutableDictionaryRef)> &change);

}  // namespace sc

#endif
