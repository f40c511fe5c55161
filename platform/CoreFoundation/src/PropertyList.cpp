// Property lists: validity, deep copies and the XML and binary formats through libplist.
//
// libplist (2.2) is used for the XML and binary syntax; the conversion to and from objects is
// done here, and so are the repairs for what libplist gets wrong:
//  - its parser recurses without a limit (deep nesting overflows the stack): the nesting depth is
//    checked on the text before libplist sees it;
//  - its integers are 64-bit patterns with an internal sign flag that the API does not show: an
//    integer whose top bit is set is told apart (-1 or 18446744073709551615) from its own text,
//    and an unsigned value above the signed range is written through a parsed node;
//  - its dates are 32-bit seconds in the API (1933 to 2069): dates outside are read from their
//    text and written through a parsed node;
//  - its writer emits control characters raw (XML cannot carry them) and carriage returns raw
//    (XML readers turn them into line feeds): the first kind is refused before writing, the
//    second is written as a character reference.
#include "PropertyListInternal.h"

#include <cstring>
#include <string>
#include <vector>

using namespace cf;
using namespace cf::plist;

namespace {

bool isPlistType(CFTypeID t)
{
    return t == CFStringGetTypeID() || t == CFNumberGetTypeID() || t == CFBooleanGetTypeID() ||
           t == CFDataGetTypeID() || t == CFDateGetTypeID() || t == CFArrayGetTypeID() ||
           t == CFDictionaryGetTypeID();
}

// ---- Validity ----

bool valid(CFTypeRef value, int depth, std::string &reason)
{
    if (value == nullptr) {
        reason = "a value is missing (NULL)";
        return false;
    }
    if (depth > kMaxDepth) {
        reason = std::string("the nesting is deeper than ") + std::to_string(kMaxDepth) + " levels";
        return false;
    }
    CFTypeID t = CFGetTypeID(value);
    if (!isPlistType(t)) {
        reason = "a value of a type that property lists cannot hold";
        return false;
    }
    if (t == CFArrayGetTypeID()) {
        CFArrayRef a = static_cast<CFArrayRef>(value);
        for (CFIndex i = 0, n = CFArrayGetCount(a); i < n; ++i) {
            if (!valid(CFArrayGetValueAtIndex(a, i), depth + 1, reason)) {
                return false;
            }
        }
    } else if (t == CFDictionaryGetTypeID()) {
        CFDictionaryRef d = static_cast<CFDictionaryRef>(value);
        CFIndex n = CFDictionaryGetCount(d);
        std::vector<const void *> keys(static_cast<size_t>(n));
        std::vector<const void *> values(static_cast<size_t>(n));
        CFDictionaryGetKeysAndValues(d, keys.data(), values.data());
        for (CFIndex i = 0; i < n; ++i) {
            if (keys[static_cast<size_t>(i)] == nullptr || CFGetTypeID(keys[static_cast<size_t>(i)]) != CFStringGetTypeID()) {
                reason = "a dictionary key that is not a string";
                return false;
            }
            if (!valid(values[static_cast<size_t>(i)], depth + 1, reason)) {
                return false;
            }
        }
    }
    return true;
}

// ---- Deep copy ----

CFTypeRef deepCopy(CFTypeRef value, CFOptionFlags option, int depth)
{
    if (value == nullptr || depth > kMaxDepth) {
        return nullptr;
    }
    CFTypeID t = CFGetTypeID(value);
    if (t == CFStringGetTypeID()) {
        return option == kCFPropertyListMutableContainersAndLeaves
                   ? static_cast<CFTypeRef>(CFStringCreateMutableCopy(nullptr, 0, static_cast<CFStringRef>(value)))
                   : CFStringCreateCopy(nullptr, static_cast<CFStringRef>(value));
    }
    if (t == CFDataGetTypeID()) {
        return option == kCFPropertyListMutableContainersAndLeaves
                   ? static_cast<CFTypeRef>(CFDataCreateMutableCopy(nullptr, 0, static_cast<CFDataRef>(value)))
                   : CFDataCreateCopy(nullptr, static_cast<CFDataRef>(value));
    }
    if (t == CFNumberGetTypeID() || t == CFBooleanGetTypeID() || t == CFDateGetTypeID()) {
        return CFRetain(value);
    }
    bool mutableContainer = option != kCFPropertyListImmutable;
    if (t == CFArrayGetTypeID()) {
        CFArrayRef a = static_cast<CFArrayRef>(value);
        CFIndex n = CFArrayGetCount(a);
        CFMutableArrayRef copy = newArray(static_cast<size_t>(n));
        for (CFIndex i = 0; i < n; ++i) {
            CFTypeRef element = deepCopy(CFArrayGetValueAtIndex(a, i), option, depth + 1);
            if (element == nullptr) {
                CFRelease(copy);
                return nullptr;
            }
            CFArrayAppendValue(copy, element);
            CFRelease(element);
        }
        if (!mutableContainer) {
            freeze(copy);
        }
        return copy;
    }
    if (t == CFDictionaryGetTypeID()) {
        CFDictionaryRef d = static_cast<CFDictionaryRef>(value);
        CFIndex n = CFDictionaryGetCount(d);
        std::vector<const void *> keys(static_cast<size_t>(n));
        std::vector<const void *> values(static_cast<size_t>(n));
        CFDictionaryGetKeysAndValues(d, keys.data(), values.data());
        CFMutableDictionaryRef copy = newDictionary(static_cast<size_t>(n));
        for (CFIndex i = 0; i < n; ++i) {
            CFTypeRef key = deepCopy(keys[static_cast<size_t>(i)], kCFPropertyListImmutable, depth + 1);
            CFTypeRef element = deepCopy(values[static_cast<size_t>(i)], option, depth + 1);
            if (key == nullptr || element == nullptr) {
                CFRelease(key);
                CFRelease(element);
                CFRelease(copy);
                return nullptr;
            }
            CFDictionarySetValue(copy, key, element);
            CFRelease(key);
            CFRelease(element);
        }
        if (!mutableContainer) {
            freeze(copy);
        }
        return copy;
    }
    return nullptr;
}

CFErrorRef makeError(CFIndex code, const std::string &text)
{
    CFStringRef description = makeStringUTF8(text);
    if (description == nullptr) {
        description = makeString(fromUTF8(text));
    }
    const void *keys[] = {kCFErrorDescriptionKey};
    const void *values[] = {description};
    CFDictionaryRef info =
        CFDictionaryCreate(nullptr, keys, values, 1, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    CFErrorRef error = CFErrorCreate(nullptr, kCFErrorDomainCocoa, code, info);
    CFRelease(info);
    CFRelease(description);
    return error;
}

CFDataRef writeData(CFPropertyListRef plist, CFPropertyListFormat format, std::string &reason, CFIndex &code)
{
    code = kCFPropertyListWriteStreamError;
    if (format != kCFPropertyListXMLFormat_v1_0 && format != kCFPropertyListBinaryFormat_v1_0) {
        reason = "the format is not supported for writing (XML and binary are)";
        return nullptr;
    }
    if (format == kCFPropertyListXMLFormat_v1_0) {
        std::string text;
        if (!writeXMLText(plist, text, reason)) {
            return nullptr;
        }
        return CFDataCreate(nullptr, reinterpret_cast<const UInt8 *>(text.data()), static_cast<CFIndex>(text.size()));
    }
    PlistHolder root(toNode(plist, reason));
    if (!root) {
        return nullptr;
    }
    return writeBinary(root.get(), reason);
}

CFPropertyListRef readData(CFDataRef data, CFOptionFlags option, CFPropertyListFormat *format, std::string &reason)
{
    if (data == nullptr) {
        reason = "no data";
        return nullptr;
    }
    const char *bytes = reinterpret_cast<const char *>(CFDataGetBytePtr(data));
    CFIndex length = CFDataGetLength(data);
    if (length <= 0) {
        reason = "the data is empty";
        return nullptr;
    }
    if (length > static_cast<CFIndex>(UINT32_MAX / 2)) {
        reason = "the data is too large";
        return nullptr;
    }
    if (length >= 8 && std::memcmp(bytes, "bplist00", 8) == 0) {
        return readBinary(bytes, static_cast<size_t>(length), option, format, reason);
    }
    return readXML(bytes, static_cast<size_t>(length), option, format, reason);
}

}  // namespace

extern "C" {

CFPropertyListRef CFPropertyListCreateDeepCopy(CFAllocatorRef, CFPropertyListRef propertyList, CFOptionFlags option)
{
    std::string reason;
    if (!valid(propertyList, 0, reason)) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    return deepCopy(propertyList, option, 0);
}

Boolean CFPropertyListIsValid(CFPropertyListRef plist, CFPropertyListFormat format)
{
    std::string reason;
    if (!valid(plist, 0, reason)) {
        return false;
    }
    if (format == kCFPropertyListXMLFormat_v1_0) {
        std::string text;
        return writeXMLText(plist, text, reason);
    }
    return format == kCFPropertyListBinaryFormat_v1_0;
}

CFDataRef CFPropertyListCreateXMLData(CFAllocatorRef, CFPropertyListRef propertyList)
{
    CF_CREATE_OR_RETURN(nullptr);
    std::string reason;
    CFIndex code = 0;
    CFDataRef data = writeData(propertyList, kCFPropertyListXMLFormat_v1_0, reason, code);
    if (data == nullptr) {
        report("property list not written: " + reason);
    }
    return data;
}

CFDataRef CFPropertyListCreateData(CFAllocatorRef, CFPropertyListRef propertyList, CFPropertyListFormat format,
                                   CFOptionFlags, CFErrorRef *error)
{
    if (error != nullptr) {
        *error = nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    std::string reason;
    CFIndex code = 0;
    CFDataRef data = writeData(propertyList, format, reason, code);
    if (data == nullptr && error != nullptr) {
        *error = makeError(code, "The property list could not be written: " + reason + ".");
    }
    return data;
}

CFPropertyListRef CFPropertyListCreateFromXMLData(CFAllocatorRef, CFDataRef xmlData, CFOptionFlags mutabilityOption,
                                                  CFStringRef *errorString)
{
    if (errorString != nullptr) {
        *errorString = nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    std::string reason;
    CFPropertyListRef result = readData(xmlData, mutabilityOption, nullptr, reason);
    if (result == nullptr && errorString != nullptr) {
        *errorString = makeString(fromUTF8("The property list could not be read: " + reason + "."));
    }
    return result;
}

CFPropertyListRef CFPropertyListCreateWithData(CFAllocatorRef, CFDataRef data, CFOptionFlags options,
                                               CFPropertyListFormat *format, CFErrorRef *error)
{
    if (error != nullptr) {
        *error = nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    std::string reason;
    CFPropertyListRef result = readData(data, options, format, reason);
    if (result == nullptr && error != nullptr) {
        *error = makeError(kCFPropertyListReadCorruptError, "The property list could not be read: " + reason + ".");
    }
    return result;
}

}  // extern "C"
