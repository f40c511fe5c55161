/* Paths into the preferences store: "/" separated keys of nested dictionaries, and links
 * (dictionaries whose "__LINK__" entry names another path). */
#ifndef SC_PREFERENCES_PATH_H
#define SC_PREFERENCES_PATH_H

#include <SystemConfiguration/SCPreferences.h>

CF_EXTERN_C_BEGIN

CFStringRef SCPreferencesPathCreateUniqueChild(SCPreferencesRef prefs, CFStringRef prefix);
CFDictionaryRef SCPreferencesPathGetValue(SCPreferencesRef prefs, CFStringRef path);
CFStringRef SCPreferencesPathGetLink(SCPreferencesRef prefs, CFStringRef path);
Boolean SCPreferencesPathSetValue(SCPreferencesRef prefs, CFStringRef path, CFDictionaryRef value);
Boolean SCPreferencesPathSetLink(SCPreferencesRef prefs, CFStringRef path, CFStringRef link);
Boolean SCPreferencesPathRemoveValue(SCPreferencesRef prefs, CFStringRef path);

CF_EXTERN_C_END

#endif /* SC_PREFERENCES_PATH_H */
