// Paths into the preferences store, the links from a set to its services, and new set and
// service identifiers.
//
// The store is outside data: another tool may have written it. A value of the wrong type where a
// path leads, a current set or a link that is not a path "/<key>/<ID>", is a status (-4960), never
// an assertion; assertions check only what callers owe (required arguments, empty out slots, an
// open session).
#include "MoreCFQ.h"
#include "MoreSCFInternal.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>

using morescf::IsDictionary;
using morescf::IsString;

namespace {

CFStringRef StringAt(CFArrayRef array, CFIndex index)
{
    return static_cast<CFStringRef>(CFArrayGetValueAtIndex(array, index));
}

// The components of a path "/<key>/<ID>" (three: empty, key, ID); -4960 for any other shape, or
// for a value that is not a string at all.
OSStatus CopySePathComponents(CFTypeRef sePath, CFArrayRef *components)
{
    MORESCF_REQUIRE_SLOT(components);
    if (!IsString(sePath)) {
        return coreFoundationUnknownErr;
    }
    CFArrayRef parts =
        CFStringCreateArrayBySeparatingStrings(kCFAllocatorDefault, static_cast<CFStringRef>(sePath), CFSTR("/"));
    OSStatus err = CFQError(parts);
    if (err == noErr) {
        bool wellFormed = CFArrayGetCount(parts) == 3 && CFStringGetLength(StringAt(parts, 0)) == 0 &&
                          CFStringGetLength(StringAt(parts, 1)) > 0 && CFStringGetLength(StringAt(parts, 2)) > 0;
        if (wellFormed) {
            *components = parts;
        } else {
            CFRelease(parts);
            err = coreFoundationUnknownErr;
        }
    }
    MoreSCFAssert((err == noErr) == (*components != nullptr));
    return err;
}

// Hands out sePath itself (retained) when it is a path "/<key>/<ID>"; -4960 otherwise.
OSStatus CopyCheckedSePath(CFTypeRef sePath, CFStringRef *checked)
{
    CFArrayRef components = nullptr;
    OSStatus err = CopySePathComponents(sePath, &components);
    if (err == noErr) {
        *checked = static_cast<CFStringRef>(CFRetain(sePath));
    }
    CFQRelease(components);
    return err;
}

// Why a read at path failed, after the platform answered readErr: -4960 when the store holds a
// value of another type than a dictionary at the path or on the way to it (or, for a link, a
// "__LINK__" that is not a string), readErr when the path is simply missing.
OSStatus StoredShapeStatus(CFStringRef path, OSStatus readErr, bool isLink)
{
    CFArrayRef components = CFStringCreateArrayBySeparatingStrings(kCFAllocatorDefault, path, CFSTR("/"));
    if (components == nullptr) {
        return coreFoundationUnknownErr;
    }
    OSStatus err = readErr;
    CFIndex count = CFArrayGetCount(components);
    CFTypeRef value = (count >= 2) ? SCPreferencesGetValue(gPrefsRef, StringAt(components, 1)) : nullptr;
    for (CFIndex i = 2; value != nullptr; i++) {
        if (!IsDictionary(value)) {
            err = coreFoundationUnknownErr;
            break;
        }
        if (i == count) {
            CFTypeRef link = CFDictionaryGetValue(static_cast<CFDictionaryRef>(value), kSCResvLink);
            if (isLink && link != nullptr && !IsString(link)) {
                err = coreFoundationUnknownErr;
            }
            break;
        }
        value = CFDictionaryGetValue(static_cast<CFDictionaryRef>(value), StringAt(components, i));
    }
    CFRelease(components);
    return err;
}

// "<set path>/Network/<component>", or "<set path>/Network/<component>/<entity>" when entity is
// given.
OSStatus CopySetNetworkPath(CFStringRef setID, CFStringRef component, CFStringRef entity, CFStringRef *path)
{
    MORESCF_REQUIRE_SLOT(path);
    CFStringRef setPath = nullptr;
    OSStatus err = CopySetPath(setID, &setPath);
    if (err == noErr) {
        *path = (entity == nullptr)
                    ? CFStringCreateWithFormat(kCFAllocatorDefault, nullptr, CFSTR("%@/%@/%@"), setPath, kSCCompNetwork,
                                               component)
                    : CFStringCreateWithFormat(kCFAllocatorDefault, nullptr, CFSTR("%@/%@/%@/%@"), setPath,
                                               kSCCompNetwork, component, entity);
        err = CFQError(*path);
    }
    CFQRelease(setPath);
    MoreSCFAssert((err == noErr) == (*path != nullptr));
    return err;
}

// "/<topLevelKey>/<ID>" for the set and service paths.
OSStatus CreateTopLevelChildPath(CFStringRef topLevelKey, CFStringRef childID, CFStringRef *path)
{
    MORESCF_REQUIRE(childID != nullptr);
    MORESCF_REQUIRE_SLOT(path);
    *path = CFStringCreateWithFormat(kCFAllocatorDefault, nullptr, CFSTR("/%@/%@"), topLevelKey, childID);
    OSStatus err = CFQError(*path);
    MoreSCFAssert((err == noErr) == (*path != nullptr));
    return err;
}

// The numbered scheme of 10.2.x: the child after the largest numeric key of the parent (0 under
// an empty or missing parent), stored as an empty dictionary. Hands out its path.
OSStatus MakeNumberedChild(CFStringRef parentPath, CFStringRef *newPath)
{
    CFDictionaryRef parent = SCPreferencesPathGetValue(gPrefsRef, parentPath);
    CFDictionaryRef emptyParent = nullptr;
    OSStatus err = noErr;
    if (parent == nullptr) {
        err = StoredShapeStatus(parentPath, MoreSCError(nullptr), false);
        if (err == kSCStatusNoKey) {
            emptyParent = CFDictionaryCreate(kCFAllocatorDefault, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                             &kCFTypeDictionaryValueCallBacks);
            err = CFQError(emptyParent);
            parent = emptyParent;
        }
    } else if (!IsDictionary(parent)) {
        err = coreFoundationUnknownErr;
    }
    // A parent that is itself a link gets no numbered children.
    if (err == noErr && CFDictionaryContainsKey(parent, kSCResvLink)) {
        err = kSCStatusFailed;
    }

    SInt32 number = 0;
    if (err == noErr) {
        SInt32 largest = INT32_MIN;
        CFDictionaryApplyFunction(parent, LargestNumericKey, &largest);
        if (largest == INT32_MAX) {
            err = kSCStatusFailed;  // no number is left
        } else {
            number = (largest == INT32_MIN) ? 0 : largest + 1;
        }
    }
    CFQRelease(emptyParent);

    CFMutableDictionaryRef child = nullptr;
    if (err == noErr) {
        *newPath = CFStringCreateWithFormat(kCFAllocatorDefault, nullptr, CFSTR("%@/%i"), parentPath, (int) number);
        err = CFQError(*newPath);
    }
    if (err == noErr) {
        err = CFQDictionaryCreateMutable(&child);
    }
    if (err == noErr) {
        err = MoreSCErrorBoolean(SCPreferencesPathSetValue(gPrefsRef, *newPath, child));
    }
    CFQRelease(child);
    if (err != noErr) {
        CFQRelease(*newPath);
        *newPath = nullptr;
    }
    return err;
}

}  // namespace

// ---- Path builders ----

OSStatus CreateSetPathWithSetID(CFStringRef setID, CFStringRef *setPath)
{
    return CreateTopLevelChildPath(kSCPrefSets, setID, setPath);
}

OSStatus CreateServicePathWithServiceID(CFStringRef serviceID, CFStringRef *servicePath)
{
    return CreateTopLevelChildPath(kSCPrefNetworkServices, serviceID, servicePath);
}

OSStatus CopySetPath(CFStringRef setID, CFStringRef *setPath)
{
    MORESCF_REQUIRE_SESSION();
    MORESCF_REQUIRE_SLOT(setPath);
    if (setID != nullptr) {
        return CreateSetPathWithSetID(setID, setPath);
    }
    CFTypeRef current = SCPreferencesGetValue(gPrefsRef, kSCPrefCurrentSet);
    OSStatus err = MoreSCError(current);
    if (err == noErr) {
        err = CopyCheckedSePath(current, setPath);
    }
    MoreSCFAssert((err == noErr) == (*setPath != nullptr));
    return err;
}

OSStatus CopySetServicesPath(CFStringRef setID, CFStringRef *path)
{
    return CopySetNetworkPath(setID, kSCCompService, nullptr, path);
}

OSStatus CopySetGlobalsPath(CFStringRef setID, CFStringRef *path)
{
    return CopySetNetworkPath(setID, kSCCompGlobal, nullptr, path);
}

OSStatus CopySetIPv4GlobalPath(CFStringRef setID, CFStringRef *path)
{
    return CopySetNetworkPath(setID, kSCCompGlobal, kSCEntNetIPv4, path);
}

OSStatus CopyResolvedServicePath(CFStringRef setID, CFStringRef serviceID, CFStringRef *path)
{
    MORESCF_REQUIRE_SESSION();
    MORESCF_REQUIRE_SLOT(path);
    if (serviceID == nullptr) {
        return CopySetGlobalsPath(setID, path);
    }

    CFStringRef servicesPath = nullptr;
    CFStringRef linkPath = nullptr;
    OSStatus err = CopySetServicesPath(setID, &servicesPath);
    if (err == noErr) {
        linkPath = CFStringCreateWithFormat(kCFAllocatorDefault, nullptr, CFSTR("%@/%@"), servicesPath, serviceID);
        err = CFQError(linkPath);
    }
    if (err == noErr) {
        CFStringRef target = SCPreferencesPathGetLink(gPrefsRef, linkPath);
        if (target == nullptr) {
            err = StoredShapeStatus(linkPath, MoreSCError(nullptr), true);
        } else {
            err = CopyCheckedSePath(target, path);
        }
    }
    CFQRelease(servicesPath);
    CFQRelease(linkPath);
    MoreSCFAssert((err == noErr) == (*path != nullptr));
    return err;
}

OSStatus CopyEntityPath(CFStringRef setID, CFStringRef serviceID, CFStringRef protocol, CFStringRef *path)
{
    MORESCF_REQUIRE(protocol != nullptr);
    MORESCF_REQUIRE_SLOT(path);
    CFStringRef servicePath = nullptr;
    OSStatus err = CopyResolvedServicePath(setID, serviceID, &servicePath);
    if (err == noErr) {
        *path = CFStringCreateWithFormat(kCFAllocatorDefault, nullptr, CFSTR("%@/%@"), servicePath, protocol);
        err = CFQError(*path);
    }
    CFQRelease(servicePath);
    MoreSCFAssert((err == noErr) == (*path != nullptr));
    return err;
}

OSStatus CopySeIDFromSePath(CFStringRef sePath, CFStringRef *seID)
{
    MORESCF_REQUIRE(sePath != nullptr);
    MORESCF_REQUIRE_SLOT(seID);
    CFArrayRef components = nullptr;
    OSStatus err = CopySePathComponents(sePath, &components);
    if (err == noErr) {
        *seID = static_cast<CFStringRef>(CFRetain(StringAt(components, 2)));
    }
    CFQRelease(components);
    MoreSCFAssert((err == noErr) == (*seID != nullptr));
    return err;
}

// ---- Reading a dictionary ----

OSStatus CopyDictionaryAtPath(CFStringRef path, CFDictionaryRef *dict)
{
    MORESCF_REQUIRE_SESSION();
    MORESCF_REQUIRE(path != nullptr);
    MORESCF_REQUIRE_SLOT(dict);
    CFDictionaryRef value = SCPreferencesPathGetValue(gPrefsRef, path);
    OSStatus err = noErr;
    if (value == nullptr) {
        err = StoredShapeStatus(path, MoreSCError(nullptr), false);
    } else if (!IsDictionary(value)) {
        err = coreFoundationUnknownErr;
    } else {
        *dict = static_cast<CFDictionaryRef>(CFRetain(value));
    }
    MoreSCFAssert((err == noErr) == (*dict != nullptr));
    return err;
}

// ---- New identifiers ----

void LargestNumericKey(const void *key, const void *value, void *context)
{
    (void) value;
    MORESCF_REQUIRE_VOID(context != nullptr);
    SInt32 *largest = static_cast<SInt32 *>(context);

    // Keys come from the store: anything but a short decimal number is not a numbered child.
    if (!IsString(key)) {
        return;
    }
    char text[16];
    if (!CFStringGetCString(static_cast<CFStringRef>(key), text, sizeof(text), kCFStringEncodingASCII)) {
        return;
    }
    if (text[0] < '0' || text[0] > '9') {
        return;
    }
    char *end = nullptr;
    errno = 0;
    long number = std::strtol(text, &end, 10);
    // Numbers beyond the 32-bit range are skipped, not wrapped: a wrapped key would either hide
    // the real largest number or take the last one and leave no number for later children.
    if (errno != 0 || *end != '\0' || number > INT32_MAX) {
        return;
    }
    if (number > *largest) {
        *largest = static_cast<SInt32>(number);
    }
}

OSStatus MakeNewSeAndCopyIDAndPath(CFStringRef topLevelKey, CFStringRef *newSeID, CFStringRef *newSePath)
{
    MORESCF_REQUIRE_SESSION();
    MORESCF_REQUIRE(topLevelKey != nullptr);
    MORESCF_REQUIRE_SLOT(newSeID);
    MORESCF_REQUIRE_SLOT(newSePath);

    CFStringRef parentPath = CFStringCreateWithFormat(kCFAllocatorDefault, nullptr, CFSTR("/%@"), topLevelKey);
    OSStatus err = CFQError(parentPath);
    if (err == noErr) {
        if ((MoreSCGetSystemVersion() & 0xFFF0) == 0x1020) {
            err = MakeNumberedChild(parentPath, newSePath);
        } else {
            *newSePath = SCPreferencesPathCreateUniqueChild(gPrefsRef, parentPath);
            if (*newSePath == nullptr) {
                err = StoredShapeStatus(parentPath, MoreSCError(nullptr), false);
            }
        }
    }
    if (err == noErr) {
        err = CopySeIDFromSePath(*newSePath, newSeID);
    }
    CFQRelease(parentPath);
    if (err != noErr) {
        CFQRelease(*newSePath);
        *newSePath = nullptr;
        CFQRelease(*newSeID);
        *newSeID = nullptr;
    }
    MoreSCFAssert((err == noErr) == ((*newSeID != nullptr) && (*newSePath != nullptr)));
    return err;
}

// ---- Writers ----

OSStatus PreferencesPathSetProperty(CFStringRef path, CFStringRef key, CFTypeRef value)
{
    MORESCF_REQUIRE_SESSION();
    MORESCF_REQUIRE(path != nullptr);
    MORESCF_REQUIRE(key != nullptr);
    MORESCF_REQUIRE(value != nullptr);

    CFDictionaryRef stored = nullptr;
    CFMutableDictionaryRef changed = nullptr;
    OSStatus err = CopyDictionaryAtPath(path, &stored);
    if (err == noErr) {
        changed = CFDictionaryCreateMutableCopy(kCFAllocatorDefault, 0, stored);
        err = CFQError(changed);
    }
    if (err == noErr) {
        CFDictionarySetValue(changed, key, value);
        err = MoreSCErrorBoolean(SCPreferencesPathSetValue(gPrefsRef, path, changed));
    }
    CFQRelease(stored);
    CFQRelease(changed);
    return err;
}

OSStatus AddServiceLinkToDict(CFStringRef serviceID, CFMutableDictionaryRef servicesDict)
{
    MORESCF_REQUIRE(serviceID != nullptr);
    MORESCF_REQUIRE(servicesDict != nullptr);

    CFStringRef servicePath = nullptr;
    CFDictionaryRef link = nullptr;
    OSStatus err = CreateServicePathWithServiceID(serviceID, &servicePath);
    if (err == noErr) {
        const void *keys[] = {kSCResvLink};
        const void *values[] = {servicePath};
        link = CFDictionaryCreate(kCFAllocatorDefault, keys, values, 1, &kCFTypeDictionaryKeyCallBacks,
                                  &kCFTypeDictionaryValueCallBacks);
        err = CFQError(link);
    }
    if (err == noErr) {
        CFDictionaryAddValue(servicesDict, serviceID, link);
    }
    CFQRelease(servicePath);
    CFQRelease(link);
    return err;
}
