// Modem script catalogue: the installed modem scripts of every folder domain, and the default one.
#include "MoreSCFCCLScanner.h"

#include "MoreCFQ.h"
#include "MoreSCF.h"
#include "MoreSCFPortScanner.h"

#include <initializer_list>

namespace {

// The default script's name once known (set, or worked out by the first call that asks).
CFStringRef gDefaultCCL = nullptr;

constexpr ItemCount kBulkCount = 50;
constexpr CFOptionFlags kCCLCompareFlags = kCFCompareCaseInsensitive | kCFCompareLocalized | kCFCompareNumerically;

CFComparisonResult CompareCCLNames(const void *left, const void *right, void *)
{
    return CFStringCompare(static_cast<CFStringRef>(left), static_cast<CFStringRef>(right), kCCLCompareFlags);
}

// A script is a visible file: not a folder, not flagged invisible, not named with a leading ".".
OSStatus MyIsVisibleFile(const FSRef *ref, Boolean *visible)
{
    FSCatalogInfo info;
    HFSUniStr255 name;
    OSStatus err = FSGetCatalogInfo(ref, kFSCatInfoNodeFlags | kFSCatInfoFinderInfo, &info, &name, nullptr, nullptr);
    if (err == noErr) {
        const FileInfo *finderInfo = reinterpret_cast<const FileInfo *>(info.finderInfo);
        *visible = (info.nodeFlags & kFSNodeIsDirectoryMask) == 0 && (finderInfo->finderFlags & kIsInvisible) == 0 &&
                   !(name.length > 0 && name.unicode[0] == '.');
    }
    return err;
}

// Appends the names of the folder's visible files, up to 50 entries per bulk call.
OSStatus AddCCLsInFolderToArray(const FSRef *folder, CFMutableArrayRef array)
{
    void *refBlock = nullptr;
    void *nameBlock = nullptr;
    OSStatus err = CFQAllocate(kBulkCount * sizeof(FSRef), &refBlock);
    if (err == noErr) {
        err = CFQAllocate(kBulkCount * sizeof(HFSUniStr255), &nameBlock);
    }
    FSRef *refs = static_cast<FSRef *>(refBlock);
    HFSUniStr255 *names = static_cast<HFSUniStr255 *>(nameBlock);

    FSIterator iterator = nullptr;
    if (err == noErr) {
        err = FSOpenIterator(folder, kFSIterateFlat, &iterator);
    }
    bool done = (err != noErr);
    while (!done) {
        ItemCount count = 0;
        err = FSGetCatalogInfoBulk(iterator, kBulkCount, &count, nullptr, kFSCatInfoNone, nullptr, refs, nullptr, names);
        done = (err != noErr);
        if (err == errFSNoMoreItems) {
            err = noErr;
        }
        for (ItemCount i = 0; err == noErr && i < count; i++) {
            Boolean visible = false;
            err = MyIsVisibleFile(&refs[i], &visible);
            if (err == noErr && visible) {
                CFStringRef name = CFStringCreateWithCharacters(kCFAllocatorDefault, names[i].unicode, names[i].length);
                err = CFQError(name);
                if (err == noErr) {
                    CFArrayAppendValue(array, name);
                }
                CFQRelease(name);
            }
        }
        done = done || (err != noErr);
    }
    if (iterator != nullptr) {
        OSStatus closeErr = FSCloseIterator(iterator);
        err = (err != noErr) ? err : closeErr;
    }
    CFQDeallocate(nameBlock);
    CFQDeallocate(refBlock);
    return err;
}

// Adds the scripts of one domain's folder; a domain without the folder adds nothing.
OSStatus AddCCLsInDomain(FSVolumeRefNum domain, CFMutableArrayRef array, bool *found)
{
    FSRef folder;
    OSStatus err = FSFindFolder(domain, kModemScriptsFolderType, kDontCreateFolder, &folder);
    if (err == fnfErr) {
        return noErr;
    }
    if (err == noErr) {
        *found = true;
        err = AddCCLsInFolderToArray(&folder, array);
    }
    return err;
}

// The default script: the one already stored; else, before 10.4, the v.92 script when the
// internal modem supports modem-on-hold; else the v.90 script. Stored for later calls.
OSStatus GetDefaultCCL(CFStringRef *name)
{
    if (gDefaultCCL != nullptr) {
        *name = gDefaultCCL;
        return noErr;
    }
    CFStringRef chosen = CFSTR("Dadar Internal 56K Modem (v.90)");
    OSStatus err = noErr;
    if (MoreSCGetSystemVersion() <= 0x103F) {
        CFArrayRef ports = nullptr;
        err = MoreSCCreatePortArray(&ports);
        CFIndex count = (err == noErr) ? CFArrayGetCount(ports) : 0;
        for (CFIndex i = 0; i < count; i++) {
            CFDictionaryRef port = static_cast<CFDictionaryRef>(CFArrayGetValueAtIndex(ports, i));
            CFTypeRef hardware = CFDictionaryGetValue(port, kSCPropNetInterfaceHardware);
            CFTypeRef device = CFDictionaryGetValue(port, kSCPropNetInterfaceDeviceName);
            if (hardware != nullptr && CFEqual(hardware, kSCEntNetModem) && device != nullptr &&
                CFEqual(device, CFSTR("modem"))) {
                // The on-hold value came from the registry: 1 is v.92, anything else (or none) v.90.
                CFTypeRef hold = CFDictionaryGetValue(port, kSCPropNetInterfaceSupportsModemOnHold);
                int value = 0;
                if (hold != nullptr && CFGetTypeID(hold) == CFNumberGetTypeID() &&
                    CFNumberGetValue(static_cast<CFNumberRef>(hold), kCFNumberIntType, &value) && value == 1) {
                    chosen = CFSTR("Dadar Internal 56K Modem (v.92)");
                }
                break;
            }
        }
        CFQRelease(ports);
    }
    if (err == noErr) {
        MoreSCSetDefaultCCL(chosen);
        *name = gDefaultCCL;
    }
    return err;
}

}  // namespace

extern "C" void MoreSCSetDefaultCCL(CFStringRef name)
{
    CFQRetain(name);
    CFQRelease(gDefaultCCL);
    gDefaultCCL = name;
}

extern "C" OSStatus MoreSCCreateCCLArray(CFArrayRef *result, CFIndex *indexOfDefaultCCL)
{
    MORESCF_REQUIRE_SLOT(result);

    CFMutableArrayRef array = nullptr;
    OSStatus err = CFQArrayCreateMutable(&array);
    bool found = false;
    for (FSVolumeRefNum domain : {kUserDomain, kNetworkDomain, kLocalDomain, kSystemDomain}) {
        if (err == noErr) {
            err = AddCCLsInDomain(domain, array, &found);
        }
    }
    if (err == noErr && !found) {
        err = AddCCLsInDomain(kOnSystemDisk, array, &found);
    }
    if (err == noErr) {
        CFArraySortValues(array, CFRangeMake(0, CFArrayGetCount(array)), CompareCCLNames, nullptr);
        // Names equal but for case sort together in no particular order ("Generic", "generic",
        // "Generic"), so a name is compared with every name of its group, not just the one before.
        CFIndex groupStart = 0;
        for (CFIndex i = 1; i < CFArrayGetCount(array); i++) {
            CFTypeRef name = CFArrayGetValueAtIndex(array, i);
            if (CompareCCLNames(CFArrayGetValueAtIndex(array, i - 1), name, nullptr) != kCFCompareEqualTo) {
                groupStart = i;
                continue;
            }
            for (CFIndex j = groupStart; j < i; j++) {
                if (CFEqual(CFArrayGetValueAtIndex(array, j), name)) {
                    CFArrayRemoveValueAtIndex(array, i--);
                    break;
                }
            }
        }
    }
    CFIndex index = 0;
    if (err == noErr && indexOfDefaultCCL != nullptr) {
        CFStringRef defaultName = nullptr;
        err = GetDefaultCCL(&defaultName);
        CFIndex count = (err == noErr) ? CFArrayGetCount(array) : 0;
        if (count > 0) {
            CFIndex at = CFArrayBSearchValues(array, CFRangeMake(0, count), defaultName, CompareCCLNames, nullptr);
            if (at < count && CompareCCLNames(CFArrayGetValueAtIndex(array, at), defaultName, nullptr) == kCFCompareEqualTo) {
                index = at;
            }
        }
    }
    if (err != noErr) {
        CFQRelease(array);
        array = nullptr;
    } else if (indexOfDefaultCCL != nullptr) {
        *indexOfDefaultCCL = index;
        MoreSCFAssert(CFArrayGetCount(array) == 0 || index < CFArrayGetCount(array));
    }
    *result = array;
    MoreSCFAssert((err == noErr) == (*result != nullptr));
    return err;
}
