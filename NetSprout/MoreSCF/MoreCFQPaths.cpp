// MoreCFQ: access by path into nested dictionaries, and traversal of property lists.
#include "MoreCFQ.h"

#include "MoreCFQInternal.h"
#include "MoreSCFAssert.h"

#include <cstdlib>

using namespace morecfq;

namespace {

bool IsDictionary(CFTypeRef value)
{
    return value != nullptr && CFGetTypeID(value) == CFDictionaryGetTypeID();
}

bool IsArray(CFTypeRef value)
{
    return value != nullptr && CFGetTypeID(value) == CFArrayGetTypeID();
}

// Turns a path array into a malloc'd C array of its elements (give it back with free()).
OSStatus PathArrayHelper(CFArrayRef path, const void ***pathElementsPtr)
{
    MORESCF_REQUIRE(path != nullptr);
    MORESCF_REQUIRE_SLOT(pathElementsPtr);
    CFIndex count = CFArrayGetCount(path);
    MORESCF_REQUIRE(count > 0);

    const void **elements = static_cast<const void **>(MallocBlock(static_cast<size_t>(count) * sizeof(void *)));
    OSStatus err = (elements != nullptr) ? OSStatus{noErr} : OSStatus{memFullErr};
    if (err == noErr) {
        CFArrayGetValues(path, CFRangeMake(0, count), elements);
    }
    *pathElementsPtr = elements;
    MoreSCFAssert((err == noErr) == (*pathElementsPtr != nullptr));
    return err;
}

}  // namespace

// ---- Nested dictionaries ----

extern "C" OSStatus CFQDictionaryGetValueAtPath(CFDictionaryRef dict, const void *path[], CFIndex pathElementCount,
                                                const void **result)
{
    MORESCF_REQUIRE(dict != nullptr);
    MORESCF_REQUIRE(path != nullptr);
    MORESCF_REQUIRE(result != nullptr);
    MORESCF_REQUIRE(pathElementCount > 0);

    const void *value = nullptr;
    if (!CFDictionaryGetValueIfPresent(dict, path[0], &value)) {
        return kCFQKeyNotFoundErr;
    }
    for (CFIndex i = 1; i < pathElementCount; i++) {
        if (!IsDictionary(value)) {
            return kCFQDataErr;
        }
        if (!CFDictionaryGetValueIfPresent(static_cast<CFDictionaryRef>(value), path[i], &value)) {
            return kCFQKeyNotFoundErr;
        }
    }
    *result = value;
    return noErr;
}

extern "C" OSStatus CFQMutableDictionaryGetParentForPath(CFMutableDictionaryRef dict, const void *path[],
                                                         CFIndex pathElementCount, CFMutableDictionaryRef *parentPtr)
{
    MORESCF_REQUIRE(dict != nullptr);
    MORESCF_REQUIRE(path != nullptr);
    MORESCF_REQUIRE(parentPtr != nullptr);
    MORESCF_REQUIRE(pathElementCount > 0);

    // Copy-on-write descent: every dictionary on the way to the last key is replaced in the tree
    // by a fresh mutable copy, so a nested dictionary that someone else also holds, or that came
    // immutable from the platform, is never changed in place.
    CFMutableDictionaryRef current = dict;
    for (CFIndex i = 0; i < pathElementCount - 1; i++) {
        const void *child = nullptr;
        if (!CFDictionaryGetValueIfPresent(current, path[i], &child)) {
            return kCFQKeyNotFoundErr;
        }
        if (!IsDictionary(child)) {
            return kCFQDataErr;
        }
        CFMutableDictionaryRef mutableChild =
            CFDictionaryCreateMutableCopy(kCFAllocatorDefault, 0, static_cast<CFDictionaryRef>(child));
        if (mutableChild == nullptr) {
            return coreFoundationUnknownErr;
        }
        CFDictionarySetValue(current, path[i], mutableChild);
        // The tree's reference and the one from the copy.
        MoreSCFAssert(CFGetRetainCount(mutableChild) >= 2);
        CFRelease(mutableChild);  // the tree now owns the copy alone
        current = mutableChild;
    }
    *parentPtr = current;
    return noErr;
}

extern "C" OSStatus CFQDictionarySetValueAtPath(CFMutableDictionaryRef dict, const void *path[],
                                                CFIndex pathElementCount, const void *value)
{
    MORESCF_REQUIRE(value != nullptr);

    CFMutableDictionaryRef parent = nullptr;
    OSStatus err = CFQMutableDictionaryGetParentForPath(dict, path, pathElementCount, &parent);
    if (err == noErr) {
        CFDictionarySetValue(parent, path[pathElementCount - 1], value);
    }
    return err;
}

extern "C" OSStatus CFQDictionaryRemoveValueAtPath(CFMutableDictionaryRef dict, const void *path[],
                                                   CFIndex pathElementCount)
{
    CFMutableDictionaryRef parent = nullptr;
    OSStatus err = CFQMutableDictionaryGetParentForPath(dict, path, pathElementCount, &parent);
    if (err == noErr) {
        if (!CFDictionaryContainsKey(parent, path[pathElementCount - 1])) {
            err = kCFQKeyNotFoundErr;
        } else {
            CFDictionaryRemoveValue(parent, path[pathElementCount - 1]);
        }
    }
    return err;
}

extern "C" OSStatus CFQDictionaryGetValueAtPathArray(CFDictionaryRef dict, CFArrayRef path, const void **result)
{
    const void **elements = nullptr;
    OSStatus err = PathArrayHelper(path, &elements);
    if (err == noErr) {
        err = CFQDictionaryGetValueAtPath(dict, elements, CFArrayGetCount(path), result);
    }
    free(elements);
    return err;
}

extern "C" OSStatus CFQDictionarySetValueAtPathArray(CFMutableDictionaryRef dict, CFArrayRef path, const void *value)
{
    const void **elements = nullptr;
    OSStatus err = PathArrayHelper(path, &elements);
    if (err == noErr) {
        err = CFQDictionarySetValueAtPath(dict, elements, CFArrayGetCount(path), value);
    }
    free(elements);
    return err;
}

extern "C" OSStatus CFQDictionaryRemoveValueAtPathArray(CFMutableDictionaryRef dict, CFArrayRef path)
{
    const void **elements = nullptr;
    OSStatus err = PathArrayHelper(path, &elements);
    if (err == noErr) {
        err = CFQDictionaryRemoveValueAtPath(dict, elements, CFArrayGetCount(path));
    }
    free(elements);
    return err;
}

// ---- Traversal ----

extern "C" Boolean CFQPropertyListIsLeaf(CFTypeRef node)
{
    return !(IsDictionary(node) || IsArray(node));
}

extern "C" void CFQPropertyListDeepApplyFunction(CFPropertyListRef propList, CFQPropertyListDeepApplierFunction func,
                                                 void *context)
{
    MORESCF_REQUIRE_VOID(propList != nullptr);
    MORESCF_REQUIRE_VOID(func != nullptr);

    func(propList, context);

    if (IsDictionary(propList)) {
        CFDictionaryRef dict = static_cast<CFDictionaryRef>(propList);
        CFIndex count = CFDictionaryGetCount(dict);
        if (count > 0) {
            // A snapshot of the keys; without memory for it the children are skipped.
            const void **keys = static_cast<const void **>(MallocBlock(static_cast<size_t>(count) * sizeof(void *)));
            if (keys != nullptr) {
                CFDictionaryGetKeysAndValues(dict, keys, nullptr);
                for (CFIndex i = 0; i < count; i++) {
                    CFTypeRef child = CFDictionaryGetValue(dict, keys[i]);
                    if (child != nullptr) {
                        CFQPropertyListDeepApplyFunction(child, func, context);
                    }
                }
                free(keys);
            }
        }
    } else if (IsArray(propList)) {
        CFArrayRef array = static_cast<CFArrayRef>(propList);
        CFIndex count = CFArrayGetCount(array);
        for (CFIndex i = 0; i < count; i++) {
            CFQPropertyListDeepApplyFunction(CFArrayGetValueAtIndex(array, i), func, context);
        }
    }
}

namespace {

// Orders dictionary keys: strings by CFStringCompare without options. Keys of other types (which
// property lists read from files never have) sort after the strings, grouped by type, so that a
// stray key cannot reach the string comparison.
CFComparisonResult CompareKeys(const void *val1, const void *val2, void *context)
{
    CFTypeID stringType = CFStringGetTypeID();
    CFTypeID type1 = CFGetTypeID(val1);
    CFTypeID type2 = CFGetTypeID(val2);
    if (type1 == stringType && type2 == stringType) {
        return CFStringCompare(static_cast<CFStringRef>(val1), static_cast<CFStringRef>(val2), 0);
    }
    if (type1 == type2) {
        return kCFCompareEqualTo;
    }
    if (type1 == stringType) {
        return kCFCompareLessThan;
    }
    if (type2 == stringType) {
        return kCFCompareGreaterThan;
    }
    return (type1 < type2) ? kCFCompareLessThan : kCFCompareGreaterThan;
}

}  // namespace

extern "C" void CFQPropertyListShallowApplyFunction(CFPropertyListRef propList,
                                                    CFQPropertyListShallowApplierFunction func, void *context)
{
    MORESCF_REQUIRE_VOID(propList != nullptr);
    MORESCF_REQUIRE_VOID(func != nullptr);
    MORESCF_REQUIRE_VOID(IsDictionary(propList) || IsArray(propList));

    if (IsDictionary(propList)) {
        CFDictionaryRef dict = static_cast<CFDictionaryRef>(propList);
        CFIndex count = CFDictionaryGetCount(dict);
        if (count == 0) {
            return;
        }
        const void **keys = static_cast<const void **>(MallocBlock(static_cast<size_t>(count) * sizeof(void *)));
        if (keys == nullptr) {
            return;
        }
        CFDictionaryGetKeysAndValues(dict, keys, nullptr);
        CFArrayRef keysArray = CFArrayCreate(kCFAllocatorDefault, keys, count, &kCFTypeArrayCallBacks);
        CFMutableArrayRef sortedKeys = nullptr;
        if (keysArray != nullptr) {
            sortedKeys = CFArrayCreateMutableCopy(kCFAllocatorDefault, 0, keysArray);
        }
        if (sortedKeys != nullptr) {
            CFArraySortValues(sortedKeys, CFRangeMake(0, count), CompareKeys, nullptr);
            for (CFIndex i = 0; i < count; i++) {
                CFTypeRef key = CFArrayGetValueAtIndex(sortedKeys, i);
                func(key, CFDictionaryGetValue(dict, key), context);
            }
        }
        CFQRelease(sortedKeys);
        CFQRelease(keysArray);
        free(keys);
    } else {
        CFArrayRef array = static_cast<CFArrayRef>(propList);
        CFIndex count = CFArrayGetCount(array);
        for (CFIndex i = 0; i < count; i++) {
            long index = static_cast<long>(i);
            CFNumberRef indexNumber = CFNumberCreate(kCFAllocatorDefault, kCFNumberLongType, &index);
            if (indexNumber != nullptr) {
                func(indexNumber, CFArrayGetValueAtIndex(array, i), context);
                CFRelease(indexNumber);
            }
        }
    }
}
