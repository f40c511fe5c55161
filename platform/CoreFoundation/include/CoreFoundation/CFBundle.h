/*
 * CFBundle: a folder with an information dictionary, resources and optionally an executable.
 * Layouts: "X.app/Contents/{Info.plist,MacOS/,Resources/}" (and any folder with Contents/),
 * "X.framework/{Resources/Info.plist,X}" or "X.framework/Versions/Current/...", and a plain folder
 * ("Info.plist", "Resources/"). The executable is loaded with dlopen.
 *
 * The main bundle is the .app folder that holds the program ("X.app/Contents/MacOS/prog"), else
 * the program's folder; the variable PLATFORM_MAIN_BUNDLE (a folder path) overrides it.
 * Localized strings come from Resources/<language>.lproj/<table>.strings (languages tried: the
 * development region, "en", "English", "Base") or Resources/<table>.strings; a strings file is
 * the text format ("key" = "value";, UTF-8 or UTF-16 with a byte-order mark) or an XML property
 * list dictionary.
 */
#ifndef CF_BUNDLE_H
#define CF_BUNDLE_H

#include <CoreFoundation/CFBase.h>
#include <CoreFoundation/CFArray.h>
#include <CoreFoundation/CFDictionary.h>
#include <CoreFoundation/CFString.h>
#include <CoreFoundation/CFURL.h>

CF_EXTERN_C_BEGIN

typedef struct __CFBundle *CFBundleRef;

CF_EXPORT const CFStringRef kCFBundleInfoDictionaryVersionKey;
CF_EXPORT const CFStringRef kCFBundleExecutableKey;
CF_EXPORT const CFStringRef kCFBundleIdentifierKey;
CF_EXPORT const CFStringRef kCFBundleVersionKey;
CF_EXPORT const CFStringRef kCFBundleDevelopmentRegionKey;
CF_EXPORT const CFStringRef kCFBundleNameKey;

/* The main bundle is created once and kept for the life of the process (borrowed). */
CF_EXPORT CFBundleRef CFBundleGetMainBundle(void);
/* NULL when the URL does not name an existing folder. */
CF_EXPORT CFBundleRef CFBundleCreate(CFAllocatorRef allocator, CFURLRef bundleURL);

/* The translation of key in tableName ("Localizable" when NULL); when there is none, value (when
 * given and not empty), else key itself. */
CF_EXPORT CFStringRef CFBundleCopyLocalizedString(CFBundleRef bundle, CFStringRef key, CFStringRef value, CFStringRef tableName);

#define CFCopyLocalizedString(key, comment) CFBundleCopyLocalizedString(CFBundleGetMainBundle(), (key), (key), NULL)
#define CFCopyLocalizedStringFromTable(key, tbl, comment) CFBundleCopyLocalizedString(CFBundleGetMainBundle(), (key), (key), (tbl))

CF_EXPORT Boolean CFBundleLoadExecutable(CFBundleRef bundle);
CF_EXPORT Boolean CFBundleIsExecutableLoaded(CFBundleRef bundle);
CF_EXPORT void *CFBundleGetFunctionPointerForName(CFBundleRef bundle, CFStringRef functionName);

CF_EXTERN_C_END

#endif /* CF_BUNDLE_H */
