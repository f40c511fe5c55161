/* The preferences store: one object is one in-memory copy of the store, read when it is created. */
#ifndef SC_PREFERENCES_H
#define SC_PREFERENCES_H

#include <CoreFoundation/CoreFoundation.h>

CF_EXTERN_C_BEGIN

typedef const struct __SCPreferences *SCPreferencesRef;

CFTypeID SCPreferencesGetTypeID(void);
/* name: the client's name (diagnostics only); prefsID: NULL for the system's store, else the
 * path of another store file (an absolute path, or a name inside the store's folder). */
SCPreferencesRef SCPreferencesCreate(CFAllocatorRef allocator, CFStringRef name, CFStringRef prefsID);
Boolean SCPreferencesLock(SCPreferencesRef prefs, Boolean wait);
Boolean SCPreferencesCommitChanges(SCPreferencesRef prefs);
Boolean SCPreferencesApplyChanges(SCPreferencesRef prefs);
Boolean SCPreferencesUnlock(SCPreferencesRef prefs);
CFArrayRef SCPreferencesCopyKeyList(SCPreferencesRef prefs);
CFPropertyListRef SCPreferencesGetValue(SCPreferencesRef prefs, CFStringRef key);
Boolean SCPreferencesAddValue(SCPreferencesRef prefs, CFStringRef key, CFPropertyListRef value);
Boolean SCPreferencesSetValue(SCPreferencesRef prefs, CFStringRef key, CFPropertyListRef value);
Boolean SCPreferencesRemoveValue(SCPreferencesRef prefs, CFStringRef key);

CF_EXTERN_C_END

#endif /* SC_PREFERENCES_H */
