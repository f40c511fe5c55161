// CFError: a domain, a code and a user-information dictionary; the error domains and keys.
#include "StringInternal.h"

#include <string>

using namespace cf;

struct __CFError final : Object {
    CFStringRef domain;
    CFIndex code;
    CFDictionaryRef info;
    __CFError(CFStringRef d, CFIndex c, CFDictionaryRef i)
        : Object(kTypeError), domain(static_cast<CFStringRef>(CFRetain(d))), code(c),
          info(static_cast<CFDictionaryRef>(CFRetain(i)))
    {
    }
    ~__CFError() override
    {
        CFRelease(domain);
        CFRelease(info);
    }
    const char *className() const override { return "CFError"; }
    bool equal(const Object *other) const override
    {
        auto *o = static_cast<const __CFError *>(other);
        return code == o->code && CFEqual(domain, o->domain) && CFEqual(info, o->info);
    }
    CFHashCode hash() const override { return static_cast<CFHashCode>(code); }
    std::u16string describe() const override
    {
        CFStringRef text = static_cast<CFStringRef>(CFDictionaryGetValue(info, kCFErrorDescriptionKey));
        if (text != nullptr && CFGetTypeID(text) == CFStringGetTypeID()) {
            return stringText(text);
        }
        // The apostrophe is U+2019, written as its UTF-8 bytes (u16 takes ASCII only).
        return fromUTF8("The operation couldn\xE2\x80\x99t be completed. (") + stringText(domain) + u16(" error ") +
               u16(std::to_string(code).c_str()) + u16(".)");
    }
};

CF_CONSTANT_STRING(kCFErrorDomainPOSIX, "NSPOSIXErrorDomain")
CF_CONSTANT_STRING(kCFErrorDomainOSStatus, "NSOSStatusErrorDomain")
CF_CONSTANT_STRING(kCFErrorDomainMach, "NSMachErrorDomain")
CF_CONSTANT_STRING(kCFErrorDomainCocoa, "NSCocoaErrorDomain")
CF_CONSTANT_STRING(kCFErrorDescriptionKey, "NSDescription")
CF_CONSTANT_STRING(kCFErrorDebugDescriptionKey, "NSDebugDescription")
CF_CONSTANT_STRING(kCFErrorLocalizedDescriptionKey, "NSLocalizedDescription")
CF_CONSTANT_STRING(kCFErrorFilePathKey, "NSFilePath")

extern "C" {

CFErrorRef CFErrorCreate(CFAllocatorRef, CFErrorDomain domain, CFIndex code, CFDictionaryRef userInfo)
{
    if (domain == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    CFDictionaryRef info = userInfo != nullptr
                               ? CFDictionaryCreateCopy(nullptr, userInfo)
                               : CFDictionaryCreate(nullptr, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                    &kCFTypeDictionaryValueCallBacks);
    auto *e = new __CFError(domain, code, info);
    CFRelease(info);
    return e;
}

CFIndex CFErrorGetCode(CFErrorRef err)
{
    const __CFError *e = as<__CFError>(err, kTypeError);
    return e == nullptr ? 0 : e->code;
}

CFStringRef CFErrorCopyDescription(CFErrorRef err)
{
    const __CFError *e = as<__CFError>(err, kTypeError);
    if (e == nullptr) {
        return nullptr;
    }
    CF_CREATE_OR_RETURN(nullptr);
    return makeString(e->describe());
}

}  // extern "C"
