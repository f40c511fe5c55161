// MoreCFQ: status and reference helpers, memory blocks, containers, strings, bundles and
// property-list loading. The path editors and the traversals are in MoreCFQPaths.cpp.
#include "MoreCFQ.h"

#include "MoreCFQInternal.h"
#include "MoreSCFAssert.h"

#include <cstdlib>

// ---- Status and reference helpers ----

extern "C" OSStatus CFQErrorBoolean(Boolean shouldBeTrue)
{
    return shouldBeTrue ? OSStatus{noErr} : OSStatus{coreFoundationUnknownErr};
}

extern "C" OSStatus CFQError(const void *shouldBeNotNULL)
{
    return (shouldBeNotNULL != nullptr) ? OSStatus{noErr} : OSStatus{coreFoundationUnknownErr};
}

extern "C" CFTypeRef CFQRetain(CFTypeRef cf)
{
    if (cf != nullptr) {
        (void) CFRetain(cf);
    }
    return cf;
}

extern "C" void CFQRelease(CFTypeRef cf)
{
    if (cf != nullptr) {
        CFRelease(cf);
    }
}

// ---- Memory blocks ----

extern "C" OSStatus CFQAllocate(size_t bytesToAllocate, void **blockPtr)
{
    MoreSCFAssert(((CFIndex) bytesToAllocate) >= 0);
    MORESCF_REQUIRE_SLOT(blockPtr);
    if (((CFIndex) bytesToAllocate) < 0) {
        return memFullErr;
    }
    // Never ask for 0 bytes: a successful call always yields a block.
    CFIndex size = (bytesToAllocate == 0) ? 1 : (CFIndex) bytesToAllocate;
    *blockPtr = CFAllocatorAllocate(kCFAllocatorDefault, size, 0);
    OSStatus err = (*blockPtr != nullptr) ? OSStatus{noErr} : OSStatus{memFullErr};
    MoreSCFAssert((err == noErr) == (*blockPtr != nullptr));
    return err;
}

extern "C" void CFQDeallocate(void *block)
{
    if (block != nullptr) {
        CFAllocatorDeallocate(kCFAllocatorDefault, block);
    }
}

namespace morecfq {

OSStatus AllocatePointers(CFIndex count, const void ***blockPtr)
{
    // A block whose size would not fit a CFIndex cannot be had.
    if (count < 0 || static_cast<size_t>(count) > static_cast<size_t>(LONG_MAX) / sizeof(void *)) {
        return memFullErr;
    }
    void *block = nullptr;
    OSStatus err = CFQAllocate(static_cast<size_t>(count) * sizeof(void *), &block);
    *blockPtr = static_cast<const void **>(block);
    return err;
}

void *MallocBlock(size_t bytes)
{
    // The C library's malloc, reached through the platform's malloc allocator (which allocates
    // with malloc, so the block is given back with free()); going through CoreFoundation lets the
    // creation-failure seam make this allocation fail too.
    if (bytes == 0 || bytes > static_cast<size_t>(LONG_MAX)) {
        return nullptr;
    }
    return CFAllocatorAllocate(kCFAllocatorMalloc, static_cast<CFIndex>(bytes), 0);
}

}  // namespace morecfq

using namespace morecfq;

// ---- Containers ----

extern "C" OSStatus CFQDictionaryCreateMutable(CFMutableDictionaryRef *result)
{
    MORESCF_REQUIRE_SLOT(result);
    *result = CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks,
                                        &kCFTypeDictionaryValueCallBacks);
    OSStatus err = CFQError(*result);
    MoreSCFAssert((err == noErr) == (*result != nullptr));
    return err;
}

extern "C" OSStatus CFQArrayCreateMutable(CFMutableArrayRef *result)
{
    MORESCF_REQUIRE_SLOT(result);
    *result = CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks);
    OSStatus err = CFQError(*result);
    MoreSCFAssert((err == noErr) == (*result != nullptr));
    return err;
}

namespace {

// Keys (wantKeys) or values of the dictionary as an immutable array, in enumeration order.
OSStatus ArrayCreateWithDictionaryKeysOrValues(CFDictionaryRef dict, bool wantKeys, CFArrayRef *result)
{
    MORESCF_REQUIRE(dict != nullptr);
    MORESCF_REQUIRE_SLOT(result);

    CFIndex count = CFDictionaryGetCount(dict);
    const void **block = nullptr;
    OSStatus err = AllocatePointers(count, &block);
    if (err == noErr) {
        CFDictionaryGetKeysAndValues(dict, wantKeys ? block : nullptr, wantKeys ? nullptr : block);
        *result = CFArrayCreate(kCFAllocatorDefault, block, count, &kCFTypeArrayCallBacks);
        err = CFQError(*result);
    }
    CFQDeallocate(block);

    MoreSCFAssert((err == noErr) == (*result != nullptr));
    MoreSCFAssert(err != noErr || CFArrayGetCount(*result) == CFDictionaryGetCount(dict));
    return err;
}

}  // namespace

extern "C" OSStatus CFQArrayCreateWithDictionaryKeys(CFDictionaryRef dict, CFArrayRef *result)
{
    return ArrayCreateWithDictionaryKeysOrValues(dict, true, result);
}

extern "C" OSStatus CFQArrayCreateWithDictionaryValues(CFDictionaryRef dict, CFArrayRef *result)
{
    return ArrayCreateWithDictionaryKeysOrValues(dict, false, result);
}

extern "C" OSStatus CFQDictionaryCreateWithArrayOfKeysAndValues(CFArrayRef keys, CFArrayRef values,
                                                               CFDictionaryRef *result)
{
    MORESCF_REQUIRE(keys != nullptr);
    MORESCF_REQUIRE(values != nullptr);
    MORESCF_REQUIRE_SLOT(result);

    CFIndex count = CFArrayGetCount(keys);
    if (count != CFArrayGetCount(values)) {
        return paramErr;
    }
    const void **keysBlock = nullptr;
    const void **valuesBlock = nullptr;
    OSStatus err = AllocatePointers(count, &keysBlock);
    if (err == noErr) {
        err = AllocatePointers(count, &valuesBlock);
    }
    if (err == noErr) {
        CFArrayGetValues(keys, CFRangeMake(0, count), keysBlock);
        CFArrayGetValues(values, CFRangeMake(0, count), valuesBlock);
        *result = CFDictionaryCreate(kCFAllocatorDefault, keysBlock, valuesBlock, count,
                                     &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
        err = CFQError(*result);
    }
    CFQDeallocate(keysBlock);
    CFQDeallocate(valuesBlock);

    MoreSCFAssert((err == noErr) == (*result != nullptr));
    return err;
}

extern "C" OSStatus CFQDictionarySetNumber(CFMutableDictionaryRef dict, const void *key, long value)
{
    MORESCF_REQUIRE(dict != nullptr);
    MORESCF_REQUIRE(key != nullptr);

    CFNumberRef number = CFNumberCreate(kCFAllocatorDefault, kCFNumberLongType, &value);
    OSStatus err = CFQError(number);
    if (err == noErr) {
        CFDictionarySetValue(dict, key, number);
    }
    CFQRelease(number);
    return err;
}

namespace {

// One entry of the source of a merge: stored into the destination dictionary (the context).
void MergeOne(const void *key, const void *value, void *context)
{
    CFMutableDictionaryRef dst = static_cast<CFMutableDictionaryRef>(context);
    MoreSCFAssert(dst != nullptr && CFGetTypeID(dst) == CFDictionaryGetTypeID());
    if (dst == nullptr) {
        return;
    }
    CFDictionarySetValue(dst, key, value);
}

}  // namespace

extern "C" OSStatus CFQDictionaryMerge(CFMutableDictionaryRef dst, CFDictionaryRef src)
{
    MoreSCFAssert(dst != nullptr && CFGetTypeID(dst) == CFDictionaryGetTypeID());
    MoreSCFAssert(src != nullptr && CFGetTypeID(src) == CFDictionaryGetTypeID());
    if (dst == nullptr || src == nullptr || CFGetTypeID(dst) != CFDictionaryGetTypeID() ||
        CFGetTypeID(src) != CFDictionaryGetTypeID()) {
        return noErr;
    }
    // A dictionary merged into itself is already complete (and must not change while it is
    // being enumerated).
    if (static_cast<CFDictionaryRef>(dst) != src) {
        CFDictionaryApplyFunction(src, MergeOne, dst);
    }
    return noErr;
}

// ---- Strings ----

extern "C" OSStatus CFQStringCopyCString(CFStringRef str, CFStringEncoding encoding, char **cStrPtr)
{
    MORESCF_REQUIRE(str != nullptr);
    MORESCF_REQUIRE_SLOT(cStrPtr);

    // Measure: the bytes the whole string needs, with no loss byte and no byte-order mark.
    CFIndex length = CFStringGetLength(str);
    CFRange whole = CFRangeMake(0, length);
    CFIndex byteCount = 0;
    CFIndex measured = CFStringGetBytes(str, whole, encoding, 0, false, nullptr, 0, &byteCount);

    OSStatus err = noErr;
    char *cStr = nullptr;
    if (measured != length || byteCount < 0) {
        err = kCFQDataErr;  // a character the encoding cannot represent
    } else {
        cStr = static_cast<char *>(MallocBlock(static_cast<size_t>(byteCount) + 1));
        if (cStr == nullptr) {
            err = memFullErr;
        }
    }
    if (err == noErr) {
        UInt8 *bytes = reinterpret_cast<UInt8 *>(cStr);
        // A guard just past the space the conversion may use proves that it wrote no more.
        bytes[byteCount] = 0xA5;
        CFIndex used = 0;
        CFIndex converted = CFStringGetBytes(str, whole, encoding, 0, false, bytes, byteCount, &used);
        if (converted != length) {
            err = kCFQDataErr;
        } else {
            MoreSCFAssert(((const UInt8 *) cStr)[byteCount] == 0xA5);
            MoreSCFAssert(used >= 0 && used <= byteCount);
            bytes[byteCount] = 0;
            if (used >= 0 && used < byteCount) {
                bytes[used] = 0;
            }
        }
    }
    if (err != noErr) {
        free(cStr);
        cStr = nullptr;
    }
    *cStrPtr = cStr;
    MoreSCFAssert((err == noErr) == (*cStrPtr != nullptr));
    return err;
}

extern "C" OSStatus CFQStringNormalize(CFStringRef *strPtr)
{
    MORESCF_REQUIRE(strPtr != nullptr);
    MORESCF_REQUIRE(*strPtr != nullptr);

    CFMutableStringRef normal = CFStringCreateMutableCopy(kCFAllocatorDefault, 0, *strPtr);
    OSStatus err = CFQError(normal);
    if (err == noErr) {
        CFStringNormalize(normal, kCFStringNormalizationFormD);
        CFQRelease(*strPtr);
        *strPtr = normal;
    }
    return err;
}

extern "C" OSStatus CFQCopyLocalisedNormalisedString(CFStringRef key, CFStringRef comment, CFStringRef *result)
{
    MORESCF_REQUIRE(key != nullptr);
    MORESCF_REQUIRE(comment != nullptr);
    MORESCF_REQUIRE_SLOT(result);

    CFBundleRef mainBundle = CFBundleGetMainBundle();
    CFStringRef str = nullptr;
    OSStatus err = CFQError(mainBundle);
    if (err == noErr) {
        str = CFBundleCopyLocalizedString(mainBundle, key, key, nullptr);
        err = CFQError(str);
    }
    if (err == noErr) {
        err = CFQStringNormalize(&str);
    }
    if (err != noErr) {
        CFQRelease(str);
        str = nullptr;
    }
    *result = str;
    MoreSCFAssert((err == noErr) == (*result != nullptr));
    return err;
}

extern "C" OSStatus CFQStringCreateWithHFSUniStr255(const HFSUniStr255 *hfsStr, CFStringRef *result)
{
    MORESCF_REQUIRE(hfsStr != nullptr);
    MORESCF_REQUIRE_SLOT(result);

    // The record holds at most 255 characters; a larger length would read past its end.
    if (hfsStr->length > 255) {
        return bdNamErr;
    }
    *result = CFStringCreateWithCharacters(kCFAllocatorDefault, hfsStr->unicode, hfsStr->length);
    OSStatus err = CFQError(*result);
    MoreSCFAssert((err == noErr) == (*result != nullptr));
    return err;
}

extern "C" OSStatus CFQStringGetHFSUniStr255(CFStringRef str, HFSUniStr255 *hfsStr)
{
    MORESCF_REQUIRE(str != nullptr);
    MORESCF_REQUIRE(hfsStr != nullptr);

    CFIndex length = CFStringGetLength(str);
    if (length > 255) {
        return bdNamErr;
    }
    hfsStr->length = static_cast<UInt16>(length);
    CFStringGetCharacters(str, CFRangeMake(0, length), hfsStr->unicode);
    return noErr;
}

// ---- Bundles ----

extern "C" OSStatus CFQBundleCreateFromFrameworkName(CFStringRef frameworkName, CFBundleRef *bundlePtr)
{
    MORESCF_REQUIRE(frameworkName != nullptr);
    MORESCF_REQUIRE_SLOT(bundlePtr);

    CFURLRef frameworksURL = nullptr;
    CFURLRef bundleURL = nullptr;
    CFBundleRef bundle = nullptr;

    FSRef frameworksFolder;
    OSStatus err = FSFindFolder(kOnAppropriateDisk, kFrameworksFolderType, true, &frameworksFolder);
    if (err == noErr) {
        frameworksURL = CFURLCreateFromFSRef(kCFAllocatorSystemDefault, &frameworksFolder);
        err = CFQError(frameworksURL);
    }
    if (err == noErr) {
        bundleURL = CFURLCreateCopyAppendingPathComponent(kCFAllocatorSystemDefault, frameworksURL, frameworkName,
                                                          false);
        err = CFQError(bundleURL);
    }
    if (err == noErr) {
        bundle = CFBundleCreate(kCFAllocatorSystemDefault, bundleURL);
        err = CFQError(bundle);
    }
    if (err == noErr) {
        err = CFQErrorBoolean(CFBundleLoadExecutable(bundle));
    }

    CFQRelease(bundleURL);
    CFQRelease(frameworksURL);
    if (err != noErr) {
        CFQRelease(bundle);
        bundle = nullptr;
    }
    *bundlePtr = bundle;
    MoreSCFAssert((err == noErr) == (*bundlePtr != nullptr));
    return err;
}

// ---- Loading ----

extern "C" OSStatus CFQPropertyListCreateFromXMLFSRef(const FSRef *xmlFile, CFPropertyListMutabilityOptions options,
                                                      CFPropertyListRef *result)
{
    MORESCF_REQUIRE(xmlFile != nullptr);
    MORESCF_REQUIRE_SLOT(result);

    CFURLRef url = CFURLCreateFromFSRef(kCFAllocatorDefault, xmlFile);
    OSStatus err = CFQError(url);
    if (err == noErr) {
        err = CFQPropertyListCreateFromXMLCFURL(url, options, result);
    }
    CFQRelease(url);
    MoreSCFAssert((err == noErr) == (*result != nullptr));
    return err;
}

extern "C" OSStatus CFQPropertyListCreateFromXMLCFURL(CFURLRef xmlFile, CFPropertyListMutabilityOptions options,
                                                      CFPropertyListRef *result)
{
    MORESCF_REQUIRE(xmlFile != nullptr);
    MORESCF_REQUIRE_SLOT(result);

    CFDataRef xmlData = nullptr;
    SInt32 readError = 0;
    Boolean read = CFURLCreateDataAndPropertiesFromResource(kCFAllocatorDefault, xmlFile, &xmlData, nullptr,
                                                            nullptr, &readError);
    OSStatus err;
    if (readError != 0) {
        err = readError;  // the platform's own code; nothing is parsed, even if data came back
    } else if (!read || xmlData == nullptr) {
        err = coreFoundationUnknownErr;
    } else {
        *result = CFPropertyListCreateFromXMLData(kCFAllocatorDefault, xmlData, options, nullptr);
        err = CFQError(*result);
    }
    CFQRelease(xmlData);
    MoreSCFAssert((err == noErr) == (*result != nullptr));
    return err;
}
